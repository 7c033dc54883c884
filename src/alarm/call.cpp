#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "shell/shell.h"

static void SetStartStopCaption(UINT stringId)
{
    WCHAR text[256] = {};
    LoadLocalString(shell.appInstance, stringId, text, 255);
    TBBUTTONINFOW caption{};
    caption.cbSize = sizeof caption;
    caption.dwMask = TBIF_TEXT;
    caption.pszText = text;
    SendMessageW(shell.menuBarWindow, TB_SETBUTTONINFOW, 500, reinterpret_cast<LPARAM>(&caption));
}

// The strip holds the Start/Stop picture; the next paint draws it anew.
static void InvalidateStartStopStrip(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    double width = client.right;
    RECT strip{static_cast<LONG>(width * 0.4), 120, static_cast<LONG>(width * 0.6), client.bottom};
    InvalidateRect(window, &strip, TRUE);
}

static void RefuseStartWithoutNumber(HWND window)
{
    WCHAR text[256] = {};
    LoadLocalString(shell.appInstance, 1002, text, 255);
    MessageBoxW(window, text, shell.appTitle, MB_OK | MB_ICONEXCLAMATION);
}

void ToggleMonitoring(HWND window)
{
    if (monitor.monitoring == 1) {
        SetStartStopCaption(1003);
        monitor.monitoring = 0;
        monitor.clockRedraw = 10;
        SetThreadExecutionState(ES_CONTINUOUS); // the device may sleep again
    } else {
        if (settings.PhoneNumber[0] == u'\0') {
            RefuseStartWithoutNumber(window);
            return;
        }
        SetStartStopCaption(1004);
        monitor.cryMeter = 0.0;
        monitor.clockRedraw = 10;
        monitor.monitoring = 1;
        monitor.callsMade = 0;
        monitor.delaySeconds = 0;
        // No sleep while listening for the child.
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    }
    InvalidateStartStopStrip(window);
}

static bool CallIsDue()
{
    return monitor.monitoring != 0 && monitor.delaySeconds <= 0 &&
           monitor.cryMeter >= limits.cryLimit && monitor.callPending == 0 &&
           settings.PhoneNumber[0] != u'\0' && monitor.callsMade < settings.PhoneMaxCalls;
}

void PlaceCallIfDue(HWND)
{
    if (!CallIsDue())
        return;
    // The microphone is released before the phone takes the audio path.
    StopCapture();
    monitor.callsMade = monitor.callsMade + 1;
    monitor.tickCount = 0;
    monitor.cryMeter = 0.0;
    monitor.callPending = 1;

    WCHAR number[256] = {};
    for (int i = 0; i < phoneNumberCapacity && settings.PhoneNumber[i] != u'\0'; ++i)
        number[i] = settings.PhoneNumber[i];
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    request.pszDestAddress = number;
    PhoneMakeCall(&request);
}
