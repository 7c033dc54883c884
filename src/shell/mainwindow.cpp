// SPDX-License-Identifier: GPL-3.0-or-later
#include <string_view>

#include "alarm/monitor.h"
#include "alarm/watch.h"
#include "audio/capture.h"
#include "platform/eventlog.h"
#include "platform/platform.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/ui.h"

ShellState shell;

static void LoadText(UINT stringId, LPWSTR buffer, int capacity)
{
    LoadLocalString(shell.appInstance, stringId, buffer, capacity);
}

// What the alarm shows and takes, done by the shell and the screen.
MonitorHooks monitorHooks = {TakeChangedSettings,  PaintMeters, PaintStatus,
                             ShowMonitoringChange, TellUser,    LoadText};

// The pictures' ids by slot.
static const UINT screenBitmapIds[screenBitmapCount] = {bmpDummy,     bmpBottle, bmpAlarmClock,
                                                        bmpTelephone, bmpStop,   bmpPlay};

// The platform's own buttons follow the chosen language, German for an
// unknown one as with the menu bar.
static void SetPlatformLanguage()
{
    SetThreadUILanguage(CurrentLanguage().platformLanguage);
}

static BOOL BuildMainMenuBar(HWND window, HWND* bar)
{
    SHMENUBARINFO info{};
    info.cbSize = sizeof info;
    info.hwndParent = window;
    info.dwFlags = 0;
    info.nToolBarId = CurrentLanguage().mainMenuBar; // German for an unknown Language
    info.hInstRes = shell.appInstance;
    if (!SHCreateMenuBar(&info))
        return FALSE;
    *bar = info.hwndMB;
    return TRUE;
}

int CreateMainMenuBar(HWND window)
{
    if (!BuildMainMenuBar(window, &shell.menuBarWindow))
        return -1;
    return LoadStringW(shell.appInstance, strAppTitle, shell.appTitle, 256) > 0 ? 0 : -1;
}

// A store that exists but cannot be read, or is not to be trusted. The
// others (none yet, not even its folder) are a first start.
static bool StoreRefused(LONG result)
{
    return result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND &&
           result != ERROR_PATH_NOT_FOUND;
}

// Said once, with its reason: without it the user would only hear that no
// number is set, and look for the fault in the wrong place.
static void ReportRefusedStore(HWND window, LONG result)
{
    WCHAR line[256];
    wsprintfW(line, u"settings not read: %s (error %d); the defaults apply and nothing is saved",
              SaveFailureLogWords(result), result);
    AppendEventLog(EVENTLOG_ERROR_TYPE, line);
    WCHAR failed[256] = {}, reason[256] = {}, meanwhile[256] = {}, text[1024];
    LoadLocalString(shell.appInstance, strReadFailed, failed, 255);
    LoadLocalString(shell.appInstance, SaveFailureTextId(result), reason, 255);
    LoadLocalString(shell.appInstance, strDefaultsMeanwhile, meanwhile, 255);
    // Standard error keeps one line.
    LPCWSTR gap = shell.unattendedStart != 0 ? u" " : u"\n\n";
    wsprintfW(text, u"%s%s%s%s%s", failed, gap, reason, gap, meanwhile);
    TellUserText(window, text, MB_OK | MB_ICONEXCLAMATION);
}

// The box names the device's own error on its second line, so that a
// parent can tell a microphone in use from one that is missing.
static void TellNoRecorder(HWND window)
{
    WCHAR failed[256] = {}, format[256] = {}, error[128] = {}, reason[256], text[600];
    LoadLocalString(shell.appInstance, strNoRecorder, failed, 255);
    LoadLocalString(shell.appInstance, strRecorderError, format, 255);
    waveInGetErrorTextW(microphone.startResult, error, 128);
    wsprintfW(reason, format, error);
    // Standard error keeps one line.
    wsprintfW(text, u"%s%s%s", failed, shell.unattendedStart != 0 ? u" " : u"\n", reason);
    TellUserText(window, text, MB_OK | MB_ICONHAND);
}

static LRESULT CreateMainWindow(HWND window)
{
    AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"program started");
    // A start nobody attends leaves the first store, and so the question of
    // the language, to the first start somebody sees.
    if (shell.unattendedStart == 0)
        WriteFirstSettings();
    const LONG stored = LoadSettings();
    shell.storeProblem = StoreRefused(stored) ? stored : ERROR_SUCCESS;
    SetPlatformLanguage();
    LRESULT result = CreateMainMenuBar(window);
    for (int slot = 0; slot < screenBitmapCount; ++slot)
        shell.screenBitmaps[slot] = LoadBitmapW(shell.appInstance, screenBitmapIds[slot]);
    monitor.clockRedraw = ticksPerSecond;
    SYSTEMTIME now;
    GetLocalTime(&now);
    monitor.clockHour = now.wHour;
    monitor.clockMinute = now.wMinute;
    PhoneSetNotifyWindow(window, WM_PHONENEWS);
    bool listening = StartCapture();
    ReportMicrophone();
    // The timer runs before the failure is told: monitoring and the
    // ten-second retry of the microphone must not wait for somebody to
    // close the box.
    SetTimer(window, monitorTimerId, tickPeriodMs, nullptr);
    if (!listening)
        TellNoRecorder(window); // the ten-second restart tries again
    if (shell.storeProblem != ERROR_SUCCESS)
        ReportRefusedStore(window, shell.storeProblem);
    // Nobody would answer the first-use language dialog of an unattended
    // start: it is left to the menu.
    if (shell.unattendedStart != 0)
        PostMessageW(window, WM_COMMAND, cmdStartStop, 0);
    else if (firstUse != 0)
        PostMessageW(window, WM_COMMAND, cmdLanguageDialog, 0);
    return result;
}

static void DestroyMainWindow(HWND window)
{
    KillTimer(window, monitorTimerId);
    // Monitoring that ends with the program is the parent's to know.
    TellMonitoringEnds();
    PhoneSetNotifyWindow(nullptr, 0);
    CloseCaptureDevice();
    EndNightRecording();                    // after capture: the last buffer is in it
    SetThreadExecutionState(ES_CONTINUOUS); // monitoring ends with the window
    for (HBITMAP& bitmap : shell.screenBitmaps)
        DeleteObject(bitmap);
    AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"program ended");
    PostQuitMessage(shell.exitStatus);
}

// The bar, the platform's buttons and the screen in the current language.
static void ShowLanguage(HWND window)
{
    SetPlatformLanguage();
    // The previous bar's handle stays only if the new one cannot be built.
    if (BuildMainMenuBar(window, &shell.menuBarWindow))
        ShowMonitoringCaption();
}

void TakeChangedSettings(HWND window)
{
    std::uint32_t taken = 0;
    const LONG result =
        TakeStoredSettings(shell.dialogOpen != 0 ? phoneSettingBits : everySettingBits, &taken);
    if (StoreRefused(result) && result != shell.storeProblem) {
        WCHAR line[256];
        wsprintfW(line, u"settings in the store not taken: %s (error %d)",
                  SaveFailureLogWords(result), result);
        AppendEventLog(EVENTLOG_ERROR_TYPE, line);
    }
    shell.storeProblem = StoreRefused(result) ? result : ERROR_SUCCESS;
    if (taken == 0)
        return;
    WCHAR line[1024] = u"settings taken from the store:";
    for (int index = 0; index < settingNameCount; ++index) {
        if ((taken & (1u << index)) == 0)
            continue;
        WCHAR setting[64];
        FormatSetting(settings, index, setting);
        wsprintfW(line + wcslen(line), u" %s", setting);
    }
    AppendEventLog(EVENTLOG_INFORMATION_TYPE, line);
    if ((taken & microphoneSettingBits) != 0)
        ComputeLimits();
    if ((taken & languageSettingBit) != 0) {
        ShowLanguage(window);
        monitor.clockRedraw = ticksPerSecond;
        InvalidateRect(window, nullptr, TRUE);
    }
}

// Each dialog starts from the settings as they are stored now. While it is
// open, the phone's settings are still taken (before a call): no dialog
// changes them before its OK.
static LRESULT RunDialog(HWND window, UINT id, DLGPROC procedure)
{
    HRSRC resource = FindResourceW(shell.appInstance, id, RT_DIALOG);
    auto* dialogTemplate =
        static_cast<const DLGTEMPLATE*>(LoadResource(shell.appInstance, resource));
    if (dialogTemplate == nullptr)
        return -1;
    TakeChangedSettings(window);
    shell.dialogOpen = 1;
    const LRESULT result =
        DialogBoxIndirectParamW(shell.appInstance, dialogTemplate, window, procedure, 0);
    shell.dialogOpen = 0;
    return result;
}

// A save that failed is told, with its reason, and logged; the values stay
// in memory until the program ends.
static void SaveAndReport(HWND window)
{
    const LONG result = SaveSettings();
    LogSaveResult(result);
    if (result == ERROR_SUCCESS)
        return;
    WCHAR failed[256] = {}, reason[256] = {}, kept[256] = {}, text[1024];
    LoadLocalString(shell.appInstance, strSaveFailed, failed, 255);
    LoadLocalString(shell.appInstance, SaveFailureTextId(result), reason, 255);
    LoadLocalString(shell.appInstance, strValuesKeptUntilExit, kept, 255);
    wsprintfW(text, u"%s\n\n%s\n\n%s", failed, reason, kept);
    MessageBoxW(window, text, shell.appTitle, MB_OK | MB_ICONEXCLAMATION);
}

static void RunSettingsDialog(HWND window, UINT id, DLGPROC procedure)
{
    if (RunDialog(window, id, procedure) == 0) {
        ComputeLimits();
        SaveAndReport(window);
    }
}

static void RunLanguageDialog(HWND window)
{
    if (RunDialog(window, dlgLanguage, LanguageDlgProc) != 0)
        return;
    SaveAndReport(window);
    ShowLanguage(window);
}

static void ConfirmExit(HWND window)
{
    WCHAR text[256] = {};
    LoadLocalString(shell.appInstance, strExitQuestion, text, 255);
    if (MessageBoxW(window, text, shell.appTitle, MB_YESNO | MB_ICONQUESTION) == IDYES)
        DestroyWindow(window);
}

// The start that an unattended launch asked for. Refused (no call number),
// the program ends with status 2, so that a service manager shows it.
static void StartUnattended(HWND window)
{
    if (monitor.monitoring == 0)
        ToggleMonitoring(window);
    shell.unattendedStart = 0;
    if (monitor.monitoring == 0) {
        shell.exitStatus = 2;
        DestroyWindow(window);
        return;
    }
    // Nobody may see the screen: a start without a way to call must be told.
    phoneCall.routeWarning = ROUTE_WARNING_AWAITED;
}

// The number a start request names, as text for the log: at most 63 units.
static void RequestedNumber(const COPYDATASTRUCT* request, WCHAR (&number)[64])
{
    const auto* units = static_cast<const WCHAR*>(request->lpData);
    DWORD count = request->cbData / sizeof(WCHAR);
    DWORD i = 0;
    for (; i < count && i < 63; ++i)
        number[i] = units[i];
    number[i] = u'\0';
}

// Another start given --start asks this copy to monitor, naming the number
// it would call. It starts only when this copy calls the same number: a
// start that read other settings (the demonstration's own, or settings
// changed since this copy read its own) must not make this copy call a
// number that start's user did not choose.
static LRESULT AnswerStartRequest(HWND window, const COPYDATASTRUCT* request)
{
    WCHAR asked[64];
    RequestedNumber(request, asked);
    const bool sameNumber =
        request->cbData / sizeof(WCHAR) < 64 && std::u16string_view(asked) == settings.PhoneNumber;
    WCHAR line[1024];
    if (!sameNumber) {
        wsprintfW(line,
                  u"monitoring not started at another start's request: it would call %s, "
                  u"this copy calls %s",
                  asked, settings.PhoneNumber);
        AppendEventLog(EVENTLOG_WARNING_TYPE, line);
        return REMOTE_START_OTHER_NUMBER;
    }
    if (monitor.monitoring == 1) {
        AppendEventLog(EVENTLOG_INFORMATION_TYPE,
                       u"another start asked for monitoring, which is on already");
        return REMOTE_START_RUNNING;
    }
    AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"another start asks for monitoring");
    return StartMonitoringOnRequest(window) ? REMOTE_START_DONE : REMOTE_START_NO_NUMBER;
}

static LRESULT ReceiveCopyData(HWND window, LPARAM lParam)
{
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (data == nullptr || data->dwData != COPYDATA_START_MONITORING)
        return 0;
    return AnswerStartRequest(window, data);
}

// The whole wParam is the command: a notification code in the high half
// matches none.
static bool RunCommand(HWND window, WPARAM command)
{
    switch (command) {
    case cmdMicrophoneDialog:
        RunSettingsDialog(window, dlgMicrophone, MicDlgProc);
        return true;
    case cmdPhoneDialog:
        RunSettingsDialog(window, dlgPhone, PhoneDlgProc);
        return true;
    case cmdContactDialog:
        RunDialog(window, dlgContact, ContactDlgProc);
        return true;
    case cmdLanguageDialog:
        RunLanguageDialog(window);
        return true;
    case cmdStartStop:
        if (shell.unattendedStart != 0)
            StartUnattended(window);
        else
            ToggleMonitoring(window);
        return true;
    case cmdExit:
        ConfirmExit(window);
        return true;
    default:
        return false;
    }
}

// The night: while monitoring runs untouched for a minute, the window dims;
// any key or touch (which only wakes it) or the end of monitoring brings it
// back. Off with DimScreen=0.
static constexpr std::int32_t dimAfterTicks = 60 * ticksPerSecond;

static void DimWhenIdle(HWND window)
{
    LASTINPUTINFO input{sizeof input, 0};
    GetLastInputInfo(&input);
    if (input.dwTime != shell.lastInput) {
        shell.lastInput = input.dwTime;
        shell.idleTicks = 0;
    } else if (shell.idleTicks < dimAfterTicks) {
        ++shell.idleTicks;
    }
    const std::int32_t dim =
        settings.DimScreen != 0 && monitor.monitoring == 1 && shell.idleTicks >= dimAfterTicks;
    if (dim != shell.dimmed && DimWindow(window, dim != 0 ? TRUE : FALSE))
        shell.dimmed = dim;
}

LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return CreateMainWindow(window);
    case WM_DESTROY:
        DestroyMainWindow(window);
        return 1;
    case WM_PAINT:
        PaintMainScreen(window);
        return 1;
    case WM_COMMAND:
        if (RunCommand(window, wParam))
            return 1;
        break;
    case WM_TIMER:
        MonitorTick(window);
        DimWhenIdle(window);
        return 1;
    case WM_SYSCOMMAND:
        // The title bar's close button is the user asking to exit, as the
        // menu's Exit is; a WM_CLOSE from outside still ends at once.
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            ConfirmExit(window);
            return 0;
        }
        break;
    case WM_COPYDATA:
        return ReceiveCopyData(window, lParam);
    case WM_PHONENEWS:
        ReceivePhoneNews();
        return 1;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
