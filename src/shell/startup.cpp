// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm/monitor.h"
#include "alarm/watch.h"
#include "audio/capture.h"
#include "platform/eventlog.h"
#include "platform/platform.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/ui.h"

static const WCHAR className[] = u"CradleCom";

HRESULT ActivatePreviousInstance(LPCWSTR name, LPCWSTR title, int* activated)
{
    *activated = 0;
    for (int attemptsLeft = 5; attemptsLeft > 0; --attemptsLeft) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
        if (mutex == nullptr)
            return E_FAIL;
        if (GetLastError() != static_cast<DWORD>(ERROR_ALREADY_EXISTS))
            return S_OK; // the first copy keeps its lock for the life of the process
        CloseHandle(mutex);
        HWND running = FindWindowW(name, title);
        if (running == nullptr) {
            Sleep(500);
            running = FindWindowW(name, title);
        }
        if (running != nullptr) {
            // Raised where nobody can see it, it would show nothing at all.
            if (!IsWindowVisible(running)) {
                *activated = ACTIVATED_UNSEEN;
                return S_OK;
            }
            // The low bit also brings the window's open dialog to the front.
            SetForegroundWindow(
                reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(running) | 1));
            *activated = ACTIVATED_RAISED;
            return S_OK;
        }
    }
    return E_FAIL;
}

void ClearRuntimeState()
{
    for (HBITMAP& bitmap : shell.screenBitmaps)
        bitmap = nullptr;
    shell.exitStatus = 0;
    shell.lastInput = 0;
    shell.idleTicks = 0;
    shell.dimmed = 0;
    ClearCaptureState();
    settings = SettingsRecord{};
    storeCopy = StoreCopy{};
    limits.sensiFactor.store(0.0);
    limits.volLimit = 0.0;
    limits.cryLimit = 0.0;
    monitor = MonitorState{};
    phoneCall = CallState{};
    watch = WatchState{};
    statusScreen = StatusScreen{};
    firstUse = 0;
}

static bool RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, icoProgram);
    windowClass.hbrBackground = GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = className;
    return RegisterClassW(&windowClass) != 0;
}

// A start given --start beside a running copy: asks that copy to monitor,
// as Start there would, and says what became of it, so that nobody takes a
// start that did nothing for one that watches. The exit status: 0 when it
// monitors, 2 when it refused (a restart cannot mend that), 1 when it did
// not answer.
static int AskRunningCopyToMonitor(LPCWSTR title)
{
    ReadSettings(); // the number this start would call, and its language
    COPYDATASTRUCT request{};
    request.dwData = COPYDATA_START_MONITORING;
    request.cbData = static_cast<DWORD>(wcslen(settings.PhoneNumber) * sizeof(WCHAR));
    request.lpData = settings.PhoneNumber;
    HWND running = FindWindowW(className, title);
    const LRESULT answer = running != nullptr ? SendMessageW(running, WM_COPYDATA, 0,
                                                             reinterpret_cast<LPARAM>(&request))
                                              : 0;
    switch (answer) {
    case REMOTE_START_DONE:
        AppendEventLog(EVENTLOG_INFORMATION_TYPE,
                       u"monitoring started in the copy that runs already");
        return 0;
    case REMOTE_START_RUNNING:
        AppendEventLog(EVENTLOG_INFORMATION_TYPE,
                       u"monitoring is on already in the copy that runs");
        return 0;
    case REMOTE_START_NO_NUMBER:
        TellUser(nullptr, strNoCallNumber, MB_OK | MB_ICONEXCLAMATION);
        AppendEventLog(EVENTLOG_WARNING_TYPE, u"monitoring not started: the copy that runs "
                                              u"already has no valid number to call");
        return 2;
    case REMOTE_START_OTHER_NUMBER:
        AppendEventLog(EVENTLOG_WARNING_TYPE,
                       u"monitoring not started: the copy that runs already calls another "
                       u"number; start monitoring there, or end it and start again");
        return 2;
    default:
        AppendEventLog(EVENTLOG_WARNING_TYPE,
                       u"monitoring not started: the copy that runs already did not answer");
        return 1;
    }
}

// A start beside a copy that runs where nobody can see it (the service's,
// offscreen): tapping the launcher must not seem to do nothing. Said in a
// box where this start has a screen, else on standard error, with how to
// see it; the status 1.
static int TellRunningCopyUnseen()
{
    ReadSettings(); // the language to say it in
    WCHAR text[512] = {};
    LoadLocalString(shell.appInstance, strRunningUnseen, text, 511);
    AppendEventLog(EVENTLOG_WARNING_TYPE,
                   u"not started: a copy runs already where nobody can see its window; "
                   u"end it (systemctl --user stop cradlecom) to start one here");
    if (GetSystemMetrics(SM_CMONITORS) > 0) {
        MessageBoxW(nullptr, text, shell.appTitle, MB_OK | MB_ICONEXCLAMATION);
    } else {
        WCHAR line[600];
        wsprintfW(line, u"%s: %s", shell.appTitle, text);
        WriteStandardErrorW(line);
    }
    return 1;
}

int WinMain(HINSTANCE instance, HINSTANCE, char*, int showCommand)
{
    shell.appInstance = instance;
    WCHAR title[20] = {};
    if (LoadStringW(instance, strAppTitle, title, 20) == 0)
        return 0;
    int activated = 0;
    HRESULT status = ActivatePreviousInstance(className, title, &activated);
    if (status < 0 || activated != 0) {
        for (int i = 0; i < 20 && title[i] != u'\0'; ++i)
            shell.appTitle[i] = title[i]; // the caption of what this start tells
        // An unattended start still asks a copy nobody sees to monitor.
        if (shell.unattendedStart == 0)
            return activated == ACTIVATED_UNSEEN ? TellRunningCopyUnseen() : 0;
        if (activated != 0)
            return AskRunningCopyToMonitor(title);
        AppendEventLog(EVENTLOG_WARNING_TYPE,
                       u"monitoring not started: another copy holds the lock but shows no window");
        return 1;
    }
    ClearRuntimeState();
    if (!RegisterMainWindowClass(instance))
        return 0;
    HWND window =
        CreateWindowExW(0, className, title, WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    ServiceReportReady(); // the service manager may count the program as up
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
