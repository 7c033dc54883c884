// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm/monitor.h"
#include "alarm/watch.h"
#include "audio/capture.h"
#include "platform/eventlog.h"
#include "platform/platform.h"
#include "resources/ids.h"
#include "settings/settings.h"

CallState phoneCall;

// A stored number that is no call number is refused like an empty one: it
// is never dialled.
static void LogRefusedStart()
{
    WCHAR text[1024] = {};
    if (settings.PhoneNumber[0] == u'\0')
        wsprintfW(text, u"monitoring not started: no number to call");
    else
        wsprintfW(text, u"monitoring not started: not a call number: %s", settings.PhoneNumber);
    AppendEventLog(EVENTLOG_WARNING_TYPE, text);
}

void ToggleMonitoring(HWND window)
{
    if (monitor.monitoring == 1) {
        monitor.monitoring = 0;
        monitor.clockRedraw = ticksPerSecond;
        monitorHooks.showMonitoring(window);
        AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"monitoring off");
        SetThreadExecutionState(ES_CONTINUOUS); // the device may sleep again
    } else {
        if (!IsCallNumber(settings.PhoneNumber)) {
            LogRefusedStart();
            monitorHooks.tellUser(window, strNoCallNumber, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        monitor.cryMeter = 0.0;
        monitor.clockRedraw = ticksPerSecond;
        monitor.monitoring = 1;
        monitor.callsMade = 0;
        monitor.delaySeconds = 0;
        phoneCall.numberRefused = 0;
        phoneCall.limitLogged = 0;
        monitorHooks.showMonitoring(window);
        AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"monitoring on");
        TellMonitoringOn();
        // No sleep while listening for the child.
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    }
}

bool StartMonitoringOnRequest(HWND window)
{
    if (!IsCallNumber(settings.PhoneNumber)) {
        LogRefusedStart();
        return false;
    }
    ToggleMonitoring(window);
    return monitor.monitoring == 1;
}

bool CallInProgress()
{
    return phoneCall.outcome == CALL_REQUESTED || phoneCall.outcome == CALL_PLACED;
}

// Once per run: the call would be due but for the number (emptied or
// changed in the dialog while monitoring runs, or edited in the store).
static void LogRefusedNumber()
{
    if (phoneCall.numberRefused != 0)
        return;
    phoneCall.numberRefused = 1;
    WCHAR text[1024] = {};
    if (settings.PhoneNumber[0] == u'\0')
        wsprintfW(text, u"call not placed: no number to call");
    else
        wsprintfW(text, u"call not placed: not a call number: %s", settings.PhoneNumber);
    AppendEventLog(EVENTLOG_ERROR_TYPE, text);
}

// Once per run: the call would be due but for PhoneMaxCalls (0, or less
// from an edited store, allows none).
static void LogCallLimit()
{
    if (phoneCall.limitLogged != 0)
        return;
    phoneCall.limitLogged = 1;
    WCHAR text[64] = {};
    wsprintfW(text, u"call limit reached (%d)", settings.PhoneMaxCalls);
    AppendEventLog(EVENTLOG_WARNING_TYPE, text);
}

// A call still ringing or active (or its command still running) holds the
// next one back until it is over.
static bool CallIsDue()
{
    bool pause = monitor.delaySeconds > 0;
    if (monitor.monitoring == 0 || pause || !(monitor.cryMeter >= limits.cryLimit) ||
        monitor.callPending != 0 || CallInProgress())
        return false;
    if (settings.PhoneNumber[0] == u'\0') {
        LogRefusedNumber();
        return false;
    }
    if (monitor.callsMade >= settings.PhoneMaxCalls) {
        LogCallLimit();
        return false;
    }
    if (!IsCallNumber(settings.PhoneNumber)) {
        LogRefusedNumber();
        return false;
    }
    return true;
}

static void LogCall(WORD type, LPCWSTR format, LPCWSTR reason)
{
    WCHAR text[1024] = {};
    wsprintfW(text, format, phoneCall.number, reason);
    AppendEventLog(type, text);
}

static void RequestCall()
{
    for (WCHAR& unit : phoneCall.number)
        unit = u'\0';
    for (int i = 0; i < phoneNumberCapacity && settings.PhoneNumber[i] != u'\0'; ++i)
        phoneCall.number[i] = settings.PhoneNumber[i];
    SYSTEMTIME now;
    GetLocalTime(&now);
    phoneCall.hour = now.wHour;
    phoneCall.minute = now.wMinute;
    phoneCall.outcome = CALL_REQUESTED;
    LogCall(EVENTLOG_INFORMATION_TYPE, u"call requested: %s", u"");

    WCHAR number[256] = {};
    for (int i = 0; i < phoneNumberCapacity && phoneCall.number[i] != u'\0'; ++i)
        number[i] = phoneCall.number[i];
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    request.pszDestAddress = number;
    phoneCall.callId = PhoneMakeCall(&request);
    if (phoneCall.callId <= 0) {
        phoneCall.callId = 0;
        phoneCall.outcome = CALL_FAILED;
        LogCall(EVENTLOG_ERROR_TYPE, u"call failed: %s: %s", u"the phone refused the request");
    }
}

void PlaceCallIfDue(HWND window)
{
    if (!CallIsDue())
        return;
    // The number may have been changed by another program since it was read.
    monitorHooks.takeChangedSettings(window);
    if (!CallIsDue())
        return;
    // The microphone is released before the phone takes the audio path.
    StopCapture();
    // What was measured before the call says nothing about the room after
    // it: without this the meter would climb on a stale loud level while
    // capture is down, and call again about a silent room.
    capture.level.store(0.0);
    capture.peak.store(0);
    monitor.callsMade = monitor.callsMade + 1;
    monitor.tickCount = 0;
    monitor.cryMeter = 0.0;
    monitor.callPending = 1;
    RequestCall();
}

static void ApplyCallNews(PHONECALLEVENT& news)
{
    const bool reasonGiven = news.reason[0] != u'\0';
    if (!reasonGiven)
        wsprintfW(news.reason, u"no reason given");
    switch (news.event) {
    case PHONE_EVENT_PLACED:
        phoneCall.outcome = CALL_PLACED;
        LogCall(EVENTLOG_INFORMATION_TYPE, u"call placed: %s", u"");
        break;
    case PHONE_EVENT_ENDED:
        phoneCall.outcome = CALL_ENDED;
        // A reason only when the phone hung up itself.
        LogCall(EVENTLOG_INFORMATION_TYPE, reasonGiven ? u"call ended: %s: %s" : u"call ended: %s",
                news.reason);
        break;
    case PHONE_EVENT_FAILED:
        phoneCall.outcome = CALL_FAILED;
        LogCall(EVENTLOG_ERROR_TYPE, u"call failed: %s: %s", news.reason);
        break;
    case PHONE_EVENT_LOGGED:
        phoneCall.outcome = CALL_LOGGED;
        LogCall(EVENTLOG_WARNING_TYPE, u"call only logged, not placed: %s: %s", news.reason);
        break;
    default:
        break;
    }
}

void ReceivePhoneNews()
{
    PHONECALLEVENT news{};
    while (PhoneGetCallEvent(&news)) {
        news.reason[phoneReasonCapacity - 1] = u'\0';
        if (news.event == PHONE_EVENT_MESSAGE_SENT || news.event == PHONE_EVENT_MESSAGE_FAILED) {
            LogMessageNews(news.callId, news.event, news.reason);
            continue;
        }
        // Only the current request's news counts; no other is outstanding.
        if (phoneCall.callId != 0 && news.callId == phoneCall.callId)
            ApplyCallNews(news);
    }
}

void WarnIfNoWayToCall()
{
    if (phoneCall.routeWarning != ROUTE_WARNING_AWAITED)
        return;
    // Only logging: asked for (nothing to warn of), or the phone has not
    // looked yet.
    const DWORD route = PhoneGetRoute();
    if (route == PHONE_ROUTE_LOG)
        return;
    if (route != PHONE_ROUTE_NONE) {
        phoneCall.routeWarning = ROUTE_WARNING_NONE;
        return;
    }
    phoneCall.routeWarning = ROUTE_WARNING_GIVEN;
    AppendEventLog(EVENTLOG_WARNING_TYPE,
                   u"no way to place a call: every call will only be logged; choose one with "
                   u"--phone modemmanager, --phone sip or --phone command:PROGRAM");
    WriteStandardErrorW(u"Cradlecom: no way to place a call: no modem was found and no other "
                        u"way is chosen, so when the child cries nobody is called, the call is "
                        u"only logged. Choose one with --phone modemmanager, --phone sip or "
                        u"--phone command:PROGRAM (see cradlecom(1)).");
}
