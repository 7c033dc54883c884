// SPDX-License-Identifier: GPL-3.0-or-later
// Voice calls over SIP through baresip, which runs as a child of the program
// for as long as the SIP backend is chosen, with a configuration of its own
// in a private folder.
//
// baresip is driven, and followed, through the private channel of
// sip_channel.h: JSON commands and events over a Unix socket in the
// program's own folder. A control port (ctrl_tcp, the console, httpd) would
// be open to every user of the machine, a private network namespace would
// cut baresip off from the provider, and the lines baresip writes mix its
// own words with what a caller chose (a display name may hold a line of its
// own). Only the monitor's own call is followed, by the id baresip gives it;
// every incoming call is refused at once. The account line, password and
// all, goes through the same channel, so that no other file holds it;
// baresip logs every command it is given, so its output goes nowhere.
//
// Here: the call, from the dial to its last news, and what baresip says of
// it. baresip's process is in sip_baresip.cpp, its configuration in
// sip_config.cpp.
#include "platform/phone/sip_internal.h"

#include "platform/phone/phone_backend.h"
#include "platform/phone/phone_internal.h"
#include "platform/phone/sip_channel.h"

#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/eventlog.h"
#include "platform/phone.h"
#include "platform/recording/recording.h"

namespace sip_internal {

SipPhone sip;

QString AccountText(const QString& text)
{
    return WithoutSecrets(text, sip.account);
}

void Note(WORD type, const QString& text)
{
    phone_internal::WriteDiagnostic(type, AccountText(text));
}

QString Escaped(const QString& text)
{
    QString shown;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace sip_internal

namespace {

using namespace sip_internal;
using phone_internal::DurationText;
using phone_internal::ReportCall;
using phone_internal::SecondsText;

constexpr int kReadyTimeoutMs = 20000;   // a call waits this long for baresip to come up
constexpr int kOrphanTries = 5;          // hang-ups of a call whose id never came
constexpr int kCallRate = 8000;          // G.711, the one codec loaded
constexpr int kRoomSecondsPerCall = 300; // of a recording, the most one call carries
constexpr int kSilentSeconds = 60;       // what a call carries after the recording's end

// ---- The call ---------------------------------------------------------------

void StopCallGuard()
{
    if (sip.callGuard != nullptr)
        sip.callGuard->stop();
}

void ForgetCallId(const QString& callId)
{
    if (callId.isEmpty() || sip.endedIds.contains(callId))
        return;
    sip.endedIds << callId;
    if (sip.endedIds.size() > 16)
        sip.endedIds.removeFirst();
}

// The call's last news; the next call may come.
void FinishCall(DWORD event, const QString& reason)
{
    const LONG id = sip.call.id;
    ForgetCallId(sip.call.callId);
    sip.call = SipCall{};
    StopCallGuard();
    if (id != 0)
        ReportCall(id, event, AccountText(reason));
}

// Why a call could carry no sound, when baresip's reason says so: opening
// the sound source fails with a negative errno, which baresip words as
// "Unknown error -N" (a SIP status always comes as "CODE Reason").
QString SoundProblem(const QString& reason)
{
    static const QRegularExpression deviceError(QStringLiteral("^Unknown error -(\\d+)$"));
    const QRegularExpressionMatch match = deviceError.match(reason);
    if (!match.hasMatch())
        return QString();
    const QString why = QString::fromLocal8Bit(std::strerror(match.captured(1).toInt()));
    const WaveInputSourceInfo input = GetWaveInputSource();
    if (input.recording)
        return QStringLiteral("cannot play the recording into the call (%1)").arg(why);
    return QStringLiteral("cannot open the microphone %1 (%2)")
        .arg(Escaped(QString::fromStdString(input.name)), why);
}

void EndCall(const QString& reason)
{
    const SipCall call = sip.call;
    // A call that rang but could carry no sound has failed all the same:
    // nobody heard the room.
    const QString soundProblem = SoundProblem(reason);
    if (!soundProblem.isEmpty()) {
        FinishCall(PHONE_EVENT_FAILED, soundProblem);
    } else if (call.placed) {
        // baresip words a hang-up from the far end as a reset connection.
        const QString why = reason == QLatin1String("Connection reset by peer")
                                ? QStringLiteral("the other side hung up")
                                : reason;
        Note(EVENTLOG_INFORMATION_TYPE,
             why.isEmpty() ? QStringLiteral("call to %1 ended").arg(call.address)
                           : QStringLiteral("call to %1 ended: %2").arg(call.address, why));
        FinishCall(PHONE_EVENT_ENDED, QString());
    } else {
        FinishCall(PHONE_EVENT_FAILED,
                   reason.isEmpty() ? QStringLiteral("the call ended before it rang") : reason);
    }
}

void ArmCallGuard(int milliseconds);

void PlaceCall(const QString& how)
{
    Note(EVENTLOG_INFORMATION_TYPE, QStringLiteral("call to %1: %2").arg(sip.call.address, how));
    if (sip.call.placed)
        return;
    sip.call.placed = true;
    ReportCall(sip.call.id, PHONE_EVENT_PLACED, QString());
}

void OnAnswered()
{
    if (sip.call.answered)
        return;
    sip.call.answered = true;
    PlaceCall(QStringLiteral("answered"));
    ReportCall(sip.call.id, PHONE_EVENT_ANSWERED, QString());
    ArmCallGuard(sip.longestCallMs);
}

// Hangs up the one call of baresip's with this id.
void HangUpById(const QString& accountAor, const QString& callId)
{
    SendSipCommand(
        QStringLiteral("hangup"), QString(), QStringLiteral("hangup"),
        {{QStringLiteral("accountaor"), accountAor}, {QStringLiteral("callid"), callId}});
}

// Hangs up the monitor's call in baresip: by its id, or, before any event
// told it, the newest call, until baresip says an outgoing one has closed.
void HangUpCall()
{
    if (!sip.call.callId.isEmpty()) {
        HangUpById(sip.call.accountAor, sip.call.callId);
        return;
    }
    sip.orphan = true;
    sip.orphanTries = 1;
    SendSipCommand(QStringLiteral("hangup"), QString(), QStringLiteral("orphan"));
}

void Dial();

void OnCallGuard()
{
    if (sip.call.id == 0)
        return;
    if (!sip.call.dialled) {
        FinishCall(PHONE_EVENT_FAILED,
                   (sip.ready ? QStringLiteral("the sound for the call was not ready within %1 s")
                              : QStringLiteral("baresip did not get ready within %1 s"))
                       .arg(kReadyTimeoutMs / 1000));
        return;
    }
    // A call that never ends would hold every later call back.
    HangUpCall();
    // Worded and reported as the modem's bounds are: a call that rang and
    // was not answered carried no sound from the room.
    if (sip.call.answered)
        FinishCall(PHONE_EVENT_ENDED,
                   QStringLiteral("still connected after %1").arg(DurationText(sip.longestCallMs)));
    else if (sip.call.placed)
        FinishCall(PHONE_EVENT_ENDED, phone_internal::UnansweredText(sip.ringTimeoutMs));
    else
        FinishCall(
            PHONE_EVENT_FAILED,
            QStringLiteral("the call did not ring within %1").arg(SecondsText(sip.ringTimeoutMs)));
}

void ArmCallGuard(int milliseconds)
{
    if (sip.callGuard == nullptr) {
        sip.callGuard = new QTimer;
        sip.callGuard->setSingleShot(true);
        QObject::connect(sip.callGuard, &QTimer::timeout, OnCallGuard);
    }
    sip.callGuard->start(milliseconds);
}

// The answer to a call's dial is told by the call's own request id.
QString DialToken()
{
    return QStringLiteral("dial %1").arg(sip.call.id);
}

void Dial()
{
    if (sip.call.id == 0 || sip.call.dialled || !sip.ready || sip.call.roomPending || sip.orphan)
        return;
    sip.call.dialled = true;
    ArmCallGuard(sip.ringTimeoutMs);
    Note(EVENTLOG_INFORMATION_TYPE, QStringLiteral("calling %1").arg(sip.call.address));
    SendSipCommand(QStringLiteral("dial"), sip.call.address, DialToken());
}

// ---- What baresip says ------------------------------------------------------

void NoteRegistration(bool registered, const QString& detail)
{
    const QString state = registered ? QStringLiteral("registered") : detail;
    if (state == sip.registration)
        return;
    sip.registration = state;
    if (registered)
        Note(EVENTLOG_INFORMATION_TYPE,
             QStringLiteral("registered as %1 (%2)").arg(sip.account.address, detail));
    else
        Note(EVENTLOG_ERROR_TYPE,
             QStringLiteral("registration of %1 failed: %2").arg(sip.account.address, detail));
}

void OnReady()
{
    sip.ready = true;
    SendWaitingMessages();
    if (!sip.account.registers) {
        Note(EVENTLOG_INFORMATION_TYPE,
             QStringLiteral("%1 does not register (regint=0); calls go straight to the address "
                            "dialled")
                 .arg(sip.account.address));
    }
    Dial();
}

// Nobody may call in: a call the monitor answered would let the caller
// listen to the room.
void RefuseIncomingCall(const QJsonObject& event)
{
    const QString callId = event.value(QStringLiteral("id")).toString();
    // The caller chooses an incoming call's id; hanging up one that copies
    // the monitor's own would end the monitor's call. It stays unanswered.
    if (!callId.isEmpty() && callId != sip.call.callId)
        HangUpById(event.value(QStringLiteral("accountaor")).toString(), callId);
    Note(EVENTLOG_WARNING_TYPE,
         QStringLiteral("incoming call refused from %1")
             .arg(Escaped(event.value(QStringLiteral("peeruri")).toString().left(200))));
}

} // namespace

namespace sip_internal {

void OnEvent(const QJsonObject& event)
{
    const QString type = event.value(QStringLiteral("type")).toString();
    const QString kind = event.value(QStringLiteral("class")).toString();
    const QString param = event.value(QStringLiteral("param")).toString();
    if (kind == QLatin1String("register")) {
        if (type == QLatin1String("REGISTER_OK"))
            NoteRegistration(true, param);
        else if (type == QLatin1String("REGISTER_FAIL"))
            NoteRegistration(false, param);
        return;
    }
    if (kind != QLatin1String("call"))
        return;
    const QString direction = event.value(QStringLiteral("direction")).toString();
    const QString callId = event.value(QStringLiteral("id")).toString();
    const QString aor = event.value(QStringLiteral("accountaor")).toString();
    if (direction == QLatin1String("incoming")) {
        if (type == QLatin1String("CALL_INCOMING"))
            RefuseIncomingCall(event);
        return;
    }
    // Only the program dials out, one call at a time: an outgoing call that
    // is not one given up before is the monitor's.
    if (direction != QLatin1String("outgoing") || callId.isEmpty() || sip.endedIds.contains(callId))
        return;
    if (sip.orphan) {
        // The call given up before its id came.
        ForgetCallId(callId);
        if (type != QLatin1String("CALL_CLOSED"))
            HangUpById(aor, callId);
        sip.orphan = false;
        Dial();
        return;
    }
    if (sip.call.id == 0 || !sip.call.dialled)
        return;
    if (sip.call.callId.isEmpty()) {
        sip.call.callId = callId;
        sip.call.accountAor = aor;
    } else if (callId != sip.call.callId) {
        return;
    }
    if (type == QLatin1String("CALL_RINGING") || type == QLatin1String("CALL_PROGRESS"))
        PlaceCall(QStringLiteral("ringing"));
    else if (type == QLatin1String("CALL_ESTABLISHED"))
        OnAnswered();
    else if (type == QLatin1String("CALL_CLOSED"))
        EndCall(param);
}

void OnResponse(const QJsonObject& response)
{
    const QString token = response.value(QStringLiteral("token")).toString();
    const bool ok = response.value(QStringLiteral("ok")).toBool();
    if (token == QLatin1String("account")) {
        // Its data repeats the account line: never shown.
        if (ok)
            OnReady();
        else
            Note(EVENTLOG_ERROR_TYPE, QStringLiteral("baresip did not take the account line of %1")
                                          .arg(sip.account.address));
    } else if (token.startsWith(QLatin1String("message "))) {
        AnswerMessage(token, ok, response.value(QStringLiteral("data")).toString());
    } else if (!ok && sip.call.dialled && token == DialToken()) {
        FinishCall(PHONE_EVENT_FAILED,
                   QStringLiteral("baresip could not dial %1: %2")
                       .arg(sip.call.address,
                            response.value(QStringLiteral("data")).toString().trimmed()));
    } else if (token == QLatin1String("orphan") && sip.orphan) {
        // Events come before the answer: no outgoing call has closed, so the
        // newest call was another (an incoming one being refused).
        if (sip.orphanTries++ < kOrphanTries) {
            SendSipCommand(QStringLiteral("hangup"), QString(), QStringLiteral("orphan"));
        } else {
            sip.orphan = false;
            Dial();
        }
    }
}

void OnChannelReady()
{
    SendSipCommand(QStringLiteral("uanew"), sip.account.line, QStringLiteral("account"));
    // Whatever the account line says: calls wait to be refused.
    SendSipCommand(QStringLiteral("answermode"), QStringLiteral("manual"),
                   QStringLiteral("answermode"));
}

void EndCallWithBaresip(const QString& why)
{
    if (sip.call.id != 0 && sip.call.dialled) {
        if (sip.call.placed)
            EndCall(QStringLiteral("baresip %1").arg(why));
        else
            FinishCall(PHONE_EVENT_FAILED, QStringLiteral("baresip %1 during the call").arg(why));
    }
}

bool ReadAccount(QString* problem)
{
    SipAccount account;
    if (!ReadSipAccount(SipAccountPath(), &account, problem)) {
        sip.accountRead = false;
        return false;
    }
    sip.account = account;
    sip.accountRead = true;
    return true;
}

} // namespace sip_internal

namespace {

// The room for a call when the program listens to a recording: what plays
// from where the room's clock has got to, at most kRoomSecondsPerCall, as
// 8000 Hz mono WAV for baresip's aufile; after the recording's end, silence.
// Runs on a thread of its own (decoding minutes of sound takes a while);
// the empty text on success, else why not.
QString WriteRoomRecording(const WaveInputSourceInfo& input, const QString& path)
{
    std::string error;
    RecordingStream* stream = OpenRecordingStream(input.name, kCallRate, &error);
    if (stream == nullptr)
        return QStringLiteral("cannot read the recording for the call: %1")
            .arg(QString::fromStdString(error));
    SkipRecordingStream(stream, input.playedSeconds);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kRoomSecondsPerCall) * kCallRate);
    const long got = ReadRecordingStream(stream, samples.data(), static_cast<long>(samples.size()));
    CloseRecordingStream(stream);
    samples.resize(got > 0 ? static_cast<std::size_t>(got)
                           : static_cast<std::size_t>(kSilentSeconds) * kCallRate,
                   0);
    if (!WriteWavFile(QFile::encodeName(path).toStdString(), kCallRate, 1, samples.data(),
                      samples.size(), &error))
        return QStringLiteral("cannot write the sound for the call to %1").arg(path);
    return QString();
}

// Writes the call's sound on a thread of its own and dials when it is there.
void PrepareRoom(const WaveInputSourceInfo& input)
{
    sip.call.roomPending = true;
    auto problem = std::make_shared<QString>();
    QThread* worker = QThread::create(
        [input, path = sip.roomRecording, problem] { *problem = WriteRoomRecording(input, path); });
    QObject::connect(worker, &QThread::finished, worker, [worker, problem, id = sip.call.id] {
        worker->deleteLater();
        if (sip.call.id != id)
            return;
        sip.call.roomPending = false;
        if (!problem->isEmpty())
            FinishCall(PHONE_EVENT_FAILED, *problem);
        else
            Dial();
    });
    worker->start();
}

void StopSip()
{
    if (sip.call.id != 0)
        FinishCall(sip.call.placed ? PHONE_EVENT_ENDED : PHONE_EVENT_FAILED,
                   QStringLiteral("the phone was set to another way of calling"));
    StopBaresip();
}

void StartSip()
{
    StopSip();
    sip.restartDelayMs = 0;
    QString problem;
    if (!ReadAccount(&problem)) {
        phone_internal::WriteDiagnostic(
            EVENTLOG_ERROR_TYPE,
            QStringLiteral("sip account refused: %1; calls will fail until it is "
                           "mended")
                .arg(problem));
        return;
    }
    Note(
        EVENTLOG_INFORMATION_TYPE,
        QStringLiteral("calls go over SIP as %1 through %2").arg(sip.account.address, sip.program));
    const WaveInputSourceInfo input = GetWaveInputSource();
    if (!input.recording) {
        const QString device = QString::fromStdString(input.name);
        static const QRegularExpression bare(QStringLiteral("^(plug)?hw(:|$)"));
        if (bare.match(device).hasMatch())
            Note(EVENTLOG_WARNING_TYPE,
                 QStringLiteral("the microphone %1 cannot be shared: while a call runs, the "
                                "program's own listening and the call may take it from each "
                                "other; choose a shared device such as default or dsnoop")
                     .arg(Escaped(device)));
    }
    StartBaresip();
}

void CallThroughSip(LONG id, const QString& number)
{
    if (sip.call.id != 0) {
        ReportCall(id, PHONE_EVENT_FAILED, QStringLiteral("the previous call is still under way"));
        return;
    }
    // An account mended since start-up is taken from this call on.
    QString problem;
    if (!sip.accountRead && !ReadAccount(&problem)) {
        ReportCall(id, PHONE_EVENT_FAILED, QStringLiteral("sip account refused: %1").arg(problem));
        return;
    }
    const QString address = SipAddressForNumber(number, sip.account, &problem);
    if (address.isEmpty()) {
        ReportCall(id, PHONE_EVENT_FAILED, problem);
        return;
    }
    if (!MakeFolder(&problem)) {
        ReportCall(id, PHONE_EVENT_FAILED, problem);
        return;
    }
    if (sip.process == nullptr && (sip.restartTimer == nullptr || !sip.restartTimer->isActive()))
        problem = StartBaresip();
    if (!problem.isEmpty()) {
        ReportCall(id, PHONE_EVENT_FAILED, problem);
        return;
    }
    sip.call = SipCall{};
    sip.call.id = id;
    sip.call.number = number;
    sip.call.address = address;
    const WaveInputSourceInfo input = GetWaveInputSource();
    if (input.recording)
        PrepareRoom(input);
    if (sip.ready && !sip.call.roomPending) {
        Dial();
    } else {
        ArmCallGuard(kReadyTimeoutMs);
    }
}

// baresip runs with the account, and the account is registered (or needs
// no registration).
bool SipReady()
{
    return sip.process != nullptr && sip.ready &&
           (!sip.account.registers || sip.registration == QLatin1String("registered"));
}

} // namespace

namespace phone_internal {

const PhoneBackendOps sipBackend = {
    .choice = "sip",
    .shown = "sip",
    .name = "sip",
    .choose = FindBaresip,
    .start = StartSip,
    .stop = StopSip,
    .dial = CallThroughSip,
    .route = [] { return PHONE_ROUTE_SIP; },
    .message = MessageThroughSip,
    .ready = SipReady,
};

} // namespace phone_internal

void SetPhoneSipRingTimeout(int milliseconds)
{
    sip.ringTimeoutMs = milliseconds;
}

void SetPhoneSipLongestCall(int milliseconds)
{
    sip.longestCallMs = milliseconds;
}
