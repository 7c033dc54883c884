// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm/watch.h"
#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/eventlog.h"
#include "platform/platform.h"
#include "resources/ids.h"
#include "settings/settings.h"

WatchState watch;

namespace {

struct WordKind {
    UINT text;       // German string id
    LPCWSTR logName; // as the event log names it
};

const WordKind wordKinds[wordKindCount] = {
    {strWordMicrophoneSilent, u"microphone silent"}, {strWordMicrophoneBack, u"microphone back"},
    {strWordCallsImpossible, u"calls impossible"},   {strWordCallsBack, u"calls back"},
    {strWordMonitoringEnded, u"monitoring ended"},   {strWordMonitoringOn, u"monitoring on"},
};

} // namespace

// Who hears of it: the one place that chooses.
static LPCWSTR MessageRecipient()
{
    return settings.PhoneNumber;
}

// Sends message `kind` unless one of its kind went less than
// messageKindSeconds ago; false when it must wait (it stays due).
static bool SendWord(std::int32_t kind)
{
    if (watch.seconds < watch.allowedFrom[kind])
        return false;
    watch.allowedFrom[kind] = watch.seconds + messageKindSeconds;
    WCHAR format[256] = {};
    monitorHooks.loadText(wordKinds[kind].text, format, 255);
    WCHAR text[512] = {};
    if (kind == WORD_MONITORING_ON)
        wsprintfW(text, format, settings.PhoneMaxCalls, settings.PhoneNumber);
    else
        wsprintfW(text, u"%s", format);
    LPCWSTR to = MessageRecipient();
    const LONG id = IsCallNumber(to) ? PhoneSendMessage(to, text) : 0;
    watch.messageIds[kind] = id;
    WCHAR line[1024] = {};
    if (id != 0) {
        wsprintfW(line, u"message (%s) to %s: %s", wordKinds[kind].logName, to, text);
        AppendEventLog(EVENTLOG_INFORMATION_TYPE, line);
    } else {
        wsprintfW(line,
                  IsCallNumber(to) ? u"message (%s) not sent: no way to send one; choose "
                                     u"--notify command:PROGRAM, a modem or --phone sip"
                                   : u"message (%s) not sent: no number to send it to",
                  wordKinds[kind].logName);
        AppendEventLog(EVENTLOG_WARNING_TYPE, line);
    }
    return true;
}

void LogMessageNews(LONG id, DWORD event, LPCWSTR reason)
{
    LPCWSTR name = u"earlier";
    for (std::int32_t kind = 0; kind < wordKindCount; ++kind) {
        if (watch.messageIds[kind] == id)
            name = wordKinds[kind].logName;
    }
    WCHAR line[1024] = {};
    const bool sent = event == PHONE_EVENT_MESSAGE_SENT;
    wsprintfW(line, sent ? u"message (%s) sent: %s" : u"message (%s) failed: %s", name, reason);
    AppendEventLog(sent ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_ERROR_TYPE, line);
}

static void ForgetFaults()
{
    watch.buffersSeen = capture.fullBuffers.load();
    watch.silentSeconds = 0;
    watch.heardAt = -1;
    watch.noCallSeconds = 0;
    watch.microphoneTold = 0;
    watch.callsTold = 0;
    watch.heartbeatWait = 0;
}

// A fault that has lasted is told once (kind `fault`), and its end (the
// kind after it) once it was told; each waits while its kind may not go.
static void TellFaultAndEnd(bool lasted, bool over, std::int32_t* told, std::int32_t fault)
{
    if (lasted && *told == 0) {
        if (SendWord(fault))
            *told = 1;
    } else if (over && *told == 1) {
        if (SendWord(fault + 1))
            *told = 0;
    }
}

// The microphone is silent when no full buffer came; while a call holds
// it (until the restart after the call) the count waits.
static void WatchMicrophone()
{
    const std::uint32_t buffers = capture.fullBuffers.load();
    if (buffers != watch.buffersSeen) {
        watch.silentSeconds = 0;
        watch.heardAt = watch.seconds;
    } else if (monitor.callPending == 0)
        watch.silentSeconds = watch.silentSeconds + 1;
    watch.buffersSeen = buffers;
    TellFaultAndEnd(watch.silentSeconds >= microphoneSilentSeconds, watch.silentSeconds == 0,
                    &watch.microphoneTold, WORD_MICROPHONE_SILENT);
}

static void WatchPhone()
{
    if (PhoneCanCall())
        watch.noCallSeconds = 0;
    else
        watch.noCallSeconds = watch.noCallSeconds + 1;
    TellFaultAndEnd(watch.noCallSeconds > callsImpossibleSeconds, watch.noCallSeconds == 0,
                    &watch.callsTold, WORD_CALLS_IMPOSSIBLE);
}

// A beat says that all is well: none until the microphone has been heard
// since Start, none while it or the phone is in doubt, the first at once
// when both are well again.
static void BeatIfHealthy()
{
    const DWORD interval = HeartbeatGetInterval();
    if (interval == 0)
        return;
    const bool heard =
        watch.heardAt >= 0 && watch.seconds - watch.heardAt < heartbeatSilenceSeconds;
    if (!heard || watch.noCallSeconds > 0) {
        watch.heartbeatWait = 0;
        return;
    }
    if (watch.heartbeatWait <= 0) {
        HeartbeatSend();
        watch.heartbeatWait = static_cast<std::int32_t>(interval);
    }
    watch.heartbeatWait = watch.heartbeatWait - 1;
}

void WatchEverySecond()
{
    watch.seconds = watch.seconds + 1;
    ServiceReportAlive();
    if (monitor.monitoring == 0) {
        ForgetFaults();
        return;
    }
    WatchMicrophone();
    WatchPhone();
    BeatIfHealthy();
}

void TellMonitoringOn()
{
    ForgetFaults();
    if (settings.NotifyStart == 1)
        SendWord(WORD_MONITORING_ON);
}

void TellMonitoringEnds()
{
    if (monitor.monitoring == 0)
        return;
    SendWord(WORD_MONITORING_ENDED);
    PhoneFinishMessages(endingMessageWaitMs);
    ReceivePhoneNews();
}
