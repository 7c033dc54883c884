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
        // Stop ends the round: no further number is dialled.
        phoneCall.roundRunning = 0;
        monitor.clockRedraw = ticksPerSecond;
        monitorHooks.showMonitoring(window);
        AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"monitoring off");
        EndNightRecording();
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
        night.pending = settings.RecordNights == 1 || night.asked == 1 ? 1 : 0;
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
        monitor.callPending != 0 || CallInProgress() || phoneCall.roundRunning != 0)
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

// The number of the round at `index`: PhoneNumber, PhoneNumber2, PhoneNumber3.
static const WCHAR* RoundNumber(int index)
{
    const CallNumberField fields[roundNumberCount] = {
        &SettingsRecord::PhoneNumber, &SettingsRecord::PhoneNumber2, &SettingsRecord::PhoneNumber3};
    return settings.*fields[index];
}

static void RequestCall(const WCHAR* dialled)
{
    for (WCHAR& unit : phoneCall.number)
        unit = u'\0';
    for (int i = 0; i < phoneNumberCapacity && dialled[i] != u'\0'; ++i)
        phoneCall.number[i] = dialled[i];
    SYSTEMTIME now;
    GetLocalTime(&now);
    phoneCall.hour = now.wHour;
    phoneCall.minute = now.wMinute;
    phoneCall.outcome = CALL_REQUESTED;
    phoneCall.answered = 0;
    phoneCall.reason[0] = u'\0';
    phoneCall.roundCalls = phoneCall.roundCalls + 1;
    LogCall(EVENTLOG_INFORMATION_TYPE, u"call requested: %s", u"");

    WCHAR number[256] = {};
    for (int i = 0; i < phoneNumberCapacity && phoneCall.number[i] != u'\0'; ++i)
        number[i] = phoneCall.number[i];
    // An edited store may hold any ring time; the phone gets one it can use.
    std::int32_t ringSeconds = settings.PhoneRingSeconds;
    ringSeconds = ringSeconds < phoneRingSecondsLow    ? phoneRingSecondsLow
                  : ringSeconds > phoneRingSecondsHigh ? phoneRingSecondsHigh
                                                       : ringSeconds;
    PhoneSetRingTimeout(static_cast<DWORD>(ringSeconds) * 1000);
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    request.pszDestAddress = number;
    phoneCall.callId = PhoneMakeCall(&request);
    if (phoneCall.callId <= 0) {
        phoneCall.callId = 0;
        phoneCall.outcome = CALL_FAILED;
        wsprintfW(phoneCall.reason, u"the phone refused the request");
        LogCall(EVENTLOG_ERROR_TYPE, u"call failed: %s: %s", phoneCall.reason);
    }
}

// Every call of a round does what a call did before rounds: the microphone
// released, the meter emptied, and the pause armed at the restart after it,
// so that the pause runs from the round's last call.
static void DialRoundNumber(int index)
{
    // The microphone is released before the phone takes the audio path.
    StopCapture();
    // What was measured before the call says nothing about the room after
    // it: without this the meter would climb on a stale loud level while
    // capture is down, and call again about a silent room.
    capture.level.store(0.0);
    capture.peak.store(0);
    monitor.tickCount = 0;
    monitor.cryMeter = 0.0;
    monitor.callPending = 1;
    phoneCall.roundIndex = index;
    RequestCall(RoundNumber(index));
}

static void EndRound()
{
    phoneCall.roundRunning = 0;
    if (phoneCall.roundCalls < 2)
        return;
    WCHAR text[64] = {};
    wsprintfW(text, u"call round over: no answer from %d numbers", phoneCall.roundCalls);
    AppendEventLog(EVENTLOG_WARNING_TYPE, text);
}

// The next number of the round after the last one dialled; -1 when none is
// left. A number that is no call number (only an edited store holds one) is
// passed over, and the log says so.
static int NextRoundNumber()
{
    for (int index = phoneCall.roundIndex + 1; index < roundNumberCount; ++index) {
        const WCHAR* number = RoundNumber(index);
        if (number[0] == u'\0')
            continue;
        if (IsCallNumber(number))
            return index;
        WCHAR text[1024] = {};
        wsprintfW(text, u"call not placed: not a call number: %s", number);
        AppendEventLog(EVENTLOG_ERROR_TYPE, text);
    }
    return -1;
}

// A round whose last call was not answered or failed goes on with the next
// number, on the first tick after that call is over, whatever the meter
// says; true when it runs on.
static bool ContinueRound(HWND window)
{
    if (phoneCall.roundRunning == 0 || CallInProgress())
        return phoneCall.roundRunning != 0;
    // The numbers may have been changed by another program meanwhile.
    monitorHooks.takeChangedSettings(window);
    const int next = NextRoundNumber();
    if (next < 0 || monitor.monitoring == 0) {
        EndRound();
        return false;
    }
    DialRoundNumber(next);
    return true;
}

void PlaceCallIfDue(HWND window)
{
    if (ContinueRound(window) || !CallIsDue())
        return;
    // The number may have been changed by another program since it was read.
    monitorHooks.takeChangedSettings(window);
    if (!CallIsDue())
        return;
    // A round counts as one call, however many numbers it tries.
    monitor.callsMade = monitor.callsMade + 1;
    phoneCall.roundRunning = 1;
    phoneCall.roundCalls = 0;
    DialRoundNumber(0);
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
    case PHONE_EVENT_ANSWERED:
        phoneCall.answered = 1;
        LogCall(EVENTLOG_INFORMATION_TYPE, u"call answered: %s", u"");
        break;
    case PHONE_EVENT_ENDED:
        phoneCall.outcome = CALL_ENDED;
        // Somebody heard the room: the round has done its work. (An answered
        // call that then fails carried no sound: the round goes on.)
        if (phoneCall.answered != 0)
            phoneCall.roundRunning = 0;
        // A reason only when the phone hung up itself.
        if (phoneCall.answered != 0)
            LogCall(EVENTLOG_INFORMATION_TYPE,
                    reasonGiven ? u"call ended: %s: %s" : u"call ended: %s", news.reason);
        else
            LogCall(EVENTLOG_WARNING_TYPE,
                    reasonGiven ? u"call not answered: %s: %s" : u"call not answered: %s",
                    news.reason);
        break;
    case PHONE_EVENT_FAILED:
        phoneCall.outcome = CALL_FAILED;
        for (int i = 0; i < phoneReasonCapacity; ++i)
            phoneCall.reason[i] = news.reason[i];
        LogCall(EVENTLOG_ERROR_TYPE, u"call failed: %s: %s", news.reason);
        break;
    case PHONE_EVENT_LOGGED:
        phoneCall.outcome = CALL_LOGGED;
        // Every other number would only be logged as well.
        phoneCall.roundRunning = 0;
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
