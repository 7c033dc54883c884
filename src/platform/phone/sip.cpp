// SPDX-License-Identifier: GPL-3.0-or-later
// Voice calls over SIP through baresip, which runs as a child of the program
// for as long as the SIP backend is chosen, with a configuration of its own
// in a private folder.
//
// baresip is driven through its standard input (its stdio module) and
// followed through the lines it writes on standard output. A control port
// (ctrl_tcp, the console) would be open to every user of the machine, and a
// private network namespace would cut baresip off from the provider; the
// pipe is reachable by this program alone. The account line, password and
// all, goes through the same pipe, so that no other file holds it; baresip
// echoes what it is given on standard error, which therefore goes nowhere.
#include "platform/phone/phone_internal.h"
#include "platform/phone/sip_account.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "platform/alsa/wave_source.h"
#include "platform/eventlog.h"
#include "platform/phone.h"
#include "platform/posix/runtime_folder.h"
#include "platform/recording/recording.h"

namespace {

using phone_internal::ReportCall;
using phone_internal::WriteDiagnostic;

constexpr int kReadyTimeoutMs = 20000; // a call waits this long for baresip to come up
constexpr int kQuitTimeoutMs = 1500;   // baresip's time to hang up and end at exit
constexpr int kSteadyRunMs = 60000;    // a baresip that ran this long is restarted at once
constexpr int kLongestRestartDelayMs = 60000;
constexpr int kCallRate = 8000;          // G.711, the one codec loaded
constexpr int kRoomSecondsPerCall = 300; // of a recording, the most one call carries
constexpr int kSilentSeconds = 60;       // what a call carries after the recording's end

// The one call under way.
struct SipCall {
    LONG id = 0;              // 0 when there is none
    QString address;          // the sip: address dialled
    bool dialled = false;     // the dial command has gone to baresip
    bool connecting = false;  // baresip has begun this very call
    bool placed = false;      // it rang or was answered
    QString audioProblem;     // why baresip could not open the sound, if it said so
    bool roomPending = false; // the recording's sound for it is being written
};

// Touched on the window thread only.
struct SipPhone {
    QString program;                 // baresip, as found when the backend was chosen
    SipAccount account;              // valid while accountRead
    bool accountRead = false;        // the account file was read and accepted
    QTemporaryDir* folder = nullptr; // baresip's configuration; gone at exit
    QString roomRecording;           // a recording's sound for the call, in folder; else empty
    QProcess* process = nullptr;     // null while baresip is not running
    bool ready = false;              // baresip said it is ready
    QElapsedTimer startedAt;         // when the running baresip was started
    int restartDelayMs = 0;          // the wait before the next restart
    QTimer* restartTimer = nullptr;  // runs while a restart is due
    QByteArray partialLine;          // output not yet ended by a newline
    QString registration;            // the registration state last logged
    SipCall call;
    QTimer* callGuard = nullptr; // bounds the wait for baresip and for the call to ring
    int ringTimeoutMs = 120000;  // a call that has not rung by then is hung up
    bool exitHookSet = false;
};

SipPhone sip;

QString AccountText(const QString& text)
{
    return WithoutSecrets(text, sip.account);
}

void Note(WORD type, const QString& text)
{
    WriteDiagnostic(type, AccountText(text));
}

// Where baresip finds its modules: the first folder that has the codec.
QString ModuleFolder()
{
    for (const char* folder :
         {"/usr/lib/baresip/modules", "/usr/lib/x86_64-linux-gnu/baresip/modules",
          "/usr/lib/aarch64-linux-gnu/baresip/modules",
          "/usr/lib/arm-linux-gnueabihf/baresip/modules", "/usr/lib64/baresip/modules",
          "/usr/local/lib/baresip/modules"}) {
        if (QFileInfo::exists(QString::fromLatin1(folder) + QStringLiteral("/g711.so")))
            return QString::fromLatin1(folder);
    }
    return QStringLiteral("/usr/lib/baresip/modules");
}

struct ConfigLine {
    QString key;
    QString value;
};

// The user's additions from sip-config: each replaces the program's line of
// the same name; modules are added. Refused ones are logged and left out.
std::vector<ConfigLine> UserConfigLines()
{
    std::vector<ConfigLine> lines;
    const QString path = SipConfigPath();
    if (path.isEmpty())
        return lines;
    QByteArray content;
    bool missing = false;
    QString problem;
    if (!ReadUserFile(path, 022, &content, &missing, &problem)) {
        if (!missing)
            Note(EVENTLOG_ERROR_TYPE, QStringLiteral("%1; its lines are left out").arg(problem));
        return lines;
    }
    for (const QByteArray& raw : content.split('\n')) {
        const QString line = QString::fromUtf8(raw.trimmed());
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype space = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
        lines.push_back({space < 0 ? line : line.left(space),
                         space < 0 ? QString() : line.mid(space + 1).trimmed()});
    }
    return lines;
}

bool IsModuleKey(const QString& key)
{
    return key == QLatin1String("module") || key == QLatin1String("module_app") ||
           key == QLatin1String("module_tmp");
}

// baresip's configuration: the microphone the program listens to (or the
// recording it plays), nothing played into the room, G.711, no video.
QByteArray BaresipConfig(const WaveInputSourceInfo& input)
{
    std::vector<ConfigLine> lines = {
        {QStringLiteral("module_path"), ModuleFolder()},
        {QStringLiteral("poll_method"), QStringLiteral("poll")},
        {QStringLiteral("audio_source"),
         input.recording ? QStringLiteral("aufile,") + sip.roomRecording
                         : QStringLiteral("alsa,") + QString::fromStdString(input.name)},
        // The far end's voice and ring tones go to a bridge that nobody
        // listens to: the room hears nothing.
        {QStringLiteral("audio_player"), QStringLiteral("aubridge,cradlecom-discard")},
        {QStringLiteral("audio_alert"), QStringLiteral("aubridge,cradlecom-discard")},
        {QStringLiteral("module"), QStringLiteral("stdio.so")},
        {QStringLiteral("module"), QStringLiteral("g711.so")},
        {QStringLiteral("module"), QStringLiteral("aubridge.so")},
        {QStringLiteral("module"),
         input.recording ? QStringLiteral("aufile.so") : QStringLiteral("alsa.so")},
    };
    // What an account line may ask for (medianat=, mediaenc=), where installed.
    const QString modules = ModuleFolder();
    for (const char* optional : {"stun.so", "turn.so", "ice.so", "srtp.so"}) {
        if (QFileInfo::exists(modules + QLatin1Char('/') + QLatin1String(optional)))
            lines.push_back({QStringLiteral("module"), QString::fromLatin1(optional)});
    }
    lines.push_back({QStringLiteral("module_app"), QStringLiteral("menu.so")});
    for (const ConfigLine& extra : UserConfigLines()) {
        if (!IsModuleKey(extra.key)) {
            lines.erase(
                std::remove_if(lines.begin(), lines.end(),
                               [&extra](const ConfigLine& line) { return line.key == extra.key; }),
                lines.end());
        }
        lines.push_back(extra);
    }
    QByteArray text = "# Written by cradlecom for one run of baresip; made anew at every start.\n";
    for (const ConfigLine& line : lines)
        text += (line.key + QLatin1Char(' ') + line.value).toUtf8() + '\n';
    return text;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.write(bytes) == bytes.size() && file.flush();
}

void PutLittleEndian(QByteArray* bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes->append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

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
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    QByteArray wav = "RIFF";
    PutLittleEndian(&wav, 36 + dataBytes, 4);
    wav += "WAVEfmt ";
    PutLittleEndian(&wav, 16, 4);
    PutLittleEndian(&wav, 1, 2); // PCM
    PutLittleEndian(&wav, 1, 2); // mono
    PutLittleEndian(&wav, kCallRate, 4);
    PutLittleEndian(&wav, kCallRate * 2, 4);
    PutLittleEndian(&wav, 2, 2);
    PutLittleEndian(&wav, 16, 2);
    wav += "data";
    PutLittleEndian(&wav, dataBytes, 4);
    for (const std::int16_t sample : samples)
        PutLittleEndian(&wav, static_cast<std::uint16_t>(sample), 2);
    // Whole or not at all: baresip may open it the moment it is there.
    const QString part = path + QStringLiteral(".part");
    if (!WriteFile(part, wav) || std::rename(QFile::encodeName(part).constData(),
                                             QFile::encodeName(path).constData()) != 0) {
        QFile::remove(part);
        return QStringLiteral("cannot write the sound for the call to %1").arg(path);
    }
    return QString();
}

bool MakeFolder(QString* problem)
{
    if (sip.folder != nullptr)
        return true;
    std::string runtime;
    std::string error;
    if (!UserRuntimeFolder(&runtime, &error)) {
        *problem =
            QStringLiteral("no private folder for baresip: %1").arg(QString::fromStdString(error));
        return false;
    }
    // QTemporaryDir makes it 0700.
    auto* folder = new QTemporaryDir(QString::fromStdString(runtime) +
                                     QStringLiteral("/cradlecom-sip-XXXXXX"));
    if (!folder->isValid()) {
        *problem = QStringLiteral("no private folder for baresip: %1").arg(folder->errorString());
        delete folder;
        return false;
    }
    sip.folder = folder;
    sip.roomRecording = folder->filePath(QStringLiteral("room.wav"));
    return true;
}

// ---- The call ---------------------------------------------------------------

void StopCallGuard()
{
    if (sip.callGuard != nullptr)
        sip.callGuard->stop();
}

// The call's last news; the next call may come.
void FinishCall(DWORD event, const QString& reason)
{
    const LONG id = sip.call.id;
    sip.call = SipCall{};
    StopCallGuard();
    if (id != 0)
        ReportCall(id, event, AccountText(reason));
}

void EndCall(const QString& reason)
{
    const SipCall call = sip.call;
    // A call that rang but could carry no sound has failed all the same:
    // nobody heard the room.
    if (!call.audioProblem.isEmpty()) {
        FinishCall(PHONE_EVENT_FAILED, call.audioProblem);
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

void PlaceCall(const QString& how)
{
    Note(EVENTLOG_INFORMATION_TYPE, QStringLiteral("call to %1: %2").arg(sip.call.address, how));
    if (sip.call.placed)
        return;
    sip.call.placed = true;
    StopCallGuard();
    ReportCall(sip.call.id, PHONE_EVENT_PLACED, QString());
}

void SendCommand(const QString& command)
{
    if (sip.process != nullptr)
        sip.process->write(command.toUtf8() + '\n');
}

void ArmCallGuard(int milliseconds)
{
    if (sip.callGuard == nullptr) {
        sip.callGuard = new QTimer;
        sip.callGuard->setSingleShot(true);
        QObject::connect(sip.callGuard, &QTimer::timeout, [] {
            if (sip.call.id == 0)
                return;
            if (!sip.call.dialled) {
                FinishCall(PHONE_EVENT_FAILED,
                           (sip.ready ? QStringLiteral("the sound for the call was not ready "
                                                       "within %1 s")
                                      : QStringLiteral("baresip did not get ready within %1 s"))
                               .arg(kReadyTimeoutMs / 1000));
                return;
            }
            // A call that never rings would hold every later call back.
            SendCommand(QStringLiteral("/hangup"));
            FinishCall(PHONE_EVENT_FAILED, QStringLiteral("the call did not ring within %1 s")
                                               .arg(sip.ringTimeoutMs / 1000.0));
        });
    }
    sip.callGuard->start(milliseconds);
}

void Dial()
{
    if (sip.call.id == 0 || sip.call.dialled || !sip.ready || sip.call.roomPending)
        return;
    sip.call.dialled = true;
    ArmCallGuard(sip.ringTimeoutMs);
    Note(EVENTLOG_INFORMATION_TYPE, QStringLiteral("calling %1").arg(sip.call.address));
    SendCommand(QStringLiteral("/dial ") + sip.call.address);
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
    if (!sip.account.registers) {
        Note(EVENTLOG_INFORMATION_TYPE,
             QStringLiteral("%1 does not register (regint=0); calls go straight to the address "
                            "dialled")
                 .arg(sip.account.address));
    }
    Dial();
}

void HandleLine(const QString& line)
{
    static const QRegularExpression registered(
        QStringLiteral("^\\S+: \\{[^}]*\\} (\\d{3} .*?)(?: \\[\\d+ bindings?\\])?$"));
    static const QRegularExpression registrationFailed(QStringLiteral("^reg: \\S+: (.+)$"));
    static const QRegularExpression progress(QStringLiteral("^call: SIP Progress: (\\d{3})\\b"));
    static const QRegularExpression closed(QStringLiteral("^\\S.*: session closed: (.*)$"));
    static const QRegularExpression terminated(QStringLiteral("^\\S+: Call with .* terminated"));
    static const QRegularExpression microphoneFailed(
        QStringLiteral("^alsa: could not open ausrc device '(.*)' \\((.*)\\)$"));
    static const QRegularExpression sourceFailed(
        QStringLiteral("^audio: start_source failed \\((.*)\\): (.*)$"));

    if (line == QLatin1String("baresip is ready.")) {
        OnReady();
        return;
    }
    QRegularExpressionMatch match = registered.match(line);
    if (match.hasMatch()) {
        NoteRegistration(match.captured(1).startsWith(QLatin1Char('2')), match.captured(1));
        return;
    }
    match = registrationFailed.match(line);
    if (match.hasMatch()) {
        NoteRegistration(false, match.captured(1));
        return;
    }
    if (sip.call.id == 0 || !sip.call.dialled)
        return;
    // Lines about an earlier call come before this call's first line.
    if (!sip.call.connecting) {
        sip.call.connecting = line.startsWith(QLatin1String("call: connecting to '"));
        return;
    }
    match = progress.match(line);
    if (match.hasMatch()) {
        const int code = match.captured(1).toInt();
        if (code == 180 || code == 183)
            PlaceCall(QStringLiteral("ringing"));
        return;
    }
    if (line.contains(QLatin1String(": Call established: "))) {
        PlaceCall(QStringLiteral("answered"));
        return;
    }
    match = microphoneFailed.match(line);
    if (match.hasMatch()) {
        sip.call.audioProblem = QStringLiteral("cannot open the microphone %1 (%2)")
                                    .arg(match.captured(1), match.captured(2));
        return;
    }
    match = sourceFailed.match(line);
    if (match.hasMatch()) {
        // Said after ALSA's own reason, when there is one; that one tells more.
        if (sip.call.audioProblem.isEmpty())
            sip.call.audioProblem = QStringLiteral("cannot open the sound source %1: %2")
                                        .arg(match.captured(1), match.captured(2));
        return;
    }
    match = closed.match(line);
    if (match.hasMatch()) {
        EndCall(match.captured(1));
        return;
    }
    if (terminated.match(line).hasMatch())
        EndCall(QString());
}

void OnOutput()
{
    if (sip.process == nullptr)
        return;
    sip.partialLine += sip.process->readAllStandardOutput();
    static const QRegularExpression colours(QStringLiteral("\x1b\\[[0-9;]*m"));
    qsizetype end;
    while ((end = sip.partialLine.indexOf('\n')) >= 0) {
        QString line = QString::fromUtf8(sip.partialLine.left(end));
        sip.partialLine.remove(0, end + 1);
        line.remove(colours);
        HandleLine(line.trimmed());
    }
}

// ---- baresip's life ---------------------------------------------------------

void StartBaresip();

void ScheduleRestart()
{
    if (sip.restartTimer == nullptr) {
        sip.restartTimer = new QTimer;
        sip.restartTimer->setSingleShot(true);
        QObject::connect(sip.restartTimer, &QTimer::timeout, [] { StartBaresip(); });
    }
    sip.restartTimer->start(sip.restartDelayMs);
}

// baresip is gone without being asked to go.
void OnBaresipGone(const QString& why)
{
    QProcess* process = sip.process;
    sip.process = nullptr;
    sip.ready = false;
    sip.partialLine.clear();
    sip.registration.clear();
    if (process != nullptr) {
        QObject::disconnect(process, nullptr, nullptr, nullptr);
        process->deleteLater();
    }
    // One that ran for a while is started again at once; one that keeps
    // ending soon waits longer each time, up to a minute.
    if (sip.startedAt.isValid() && sip.startedAt.elapsed() >= kSteadyRunMs)
        sip.restartDelayMs = 0;
    else if (sip.restartDelayMs == 0)
        sip.restartDelayMs = 1000;
    else
        sip.restartDelayMs = std::min(2 * sip.restartDelayMs, kLongestRestartDelayMs);
    Note(EVENTLOG_ERROR_TYPE, QStringLiteral("baresip %1; starting it again in %2 s")
                                  .arg(why, QString::number(sip.restartDelayMs / 1000.0)));
    if (sip.call.id != 0 && sip.call.dialled) {
        if (sip.call.placed)
            EndCall(QStringLiteral("baresip %1").arg(why));
        else
            FinishCall(PHONE_EVENT_FAILED, QStringLiteral("baresip %1 during the call").arg(why));
    }
    ScheduleRestart();
}

// Nothing of baresip outlives the program; the call it carries is hung up.
void StopBaresip()
{
    QProcess* process = sip.process;
    sip.process = nullptr;
    sip.ready = false;
    sip.partialLine.clear();
    sip.registration.clear();
    if (sip.restartTimer != nullptr)
        sip.restartTimer->stop();
    if (process == nullptr)
        return;
    QObject::disconnect(process, nullptr, nullptr, nullptr);
    if (process->state() != QProcess::NotRunning) {
        process->write("/quit\n");
        if (!process->waitForFinished(kQuitTimeoutMs)) {
            process->kill();
            process->waitForFinished(kQuitTimeoutMs);
        }
    }
    delete process;
}

void StopAtExit()
{
    StopBaresip();
    delete sip.folder;
    sip.folder = nullptr;
}

void StartBaresip()
{
    if (sip.process != nullptr || !sip.accountRead)
        return;
    QString problem;
    if (!MakeFolder(&problem)) {
        Note(EVENTLOG_ERROR_TYPE, problem);
        return;
    }
    const WaveInputSourceInfo input = GetWaveInputSource();
    if (!WriteFile(sip.folder->filePath(QStringLiteral("config")), BaresipConfig(input))) {
        Note(EVENTLOG_ERROR_TYPE,
             QStringLiteral("cannot write baresip's configuration in %1").arg(sip.folder->path()));
        return;
    }
    if (!sip.exitHookSet)
        sip.exitHookSet = std::atexit(StopAtExit) == 0;

    auto* process = new QProcess;
    process->setProgram(sip.program);
    process->setArguments({QStringLiteral("-f"), sip.folder->path()});
    // baresip repeats its input there, the account line included.
    process->setStandardErrorFile(QProcess::nullDevice());
    process->setChildProcessModifier([parent = getpid()] {
        // Ends with the program even when the program is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
    });
    sip.process = process;
    sip.ready = false;
    sip.partialLine.clear();
    QObject::connect(process, &QProcess::readyReadStandardOutput, process, OnOutput);
    QObject::connect(process, &QProcess::finished, process,
                     [process](int code, QProcess::ExitStatus status) {
                         if (sip.process != process)
                             return;
                         OnOutput();
                         OnBaresipGone(status == QProcess::CrashExit
                                           ? QStringLiteral("was killed by signal %1").arg(code)
                                           : QStringLiteral("ended with exit status %1").arg(code));
                     });
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart && sip.process == process)
                OnBaresipGone(
                    QStringLiteral("could not be started (%1)").arg(process->errorString()));
        });
    sip.startedAt.start();
    process->start();
    if (sip.process == process)
        SendCommand(QStringLiteral("/uanew ") + sip.account.line);
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

} // namespace

namespace phone_internal {

bool FindBaresip(QString* problem)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("baresip"));
    if (program.isEmpty()) {
        *problem = QStringLiteral("sip: baresip is not installed (Debian package baresip-core)");
        return false;
    }
    sip.program = program;
    return true;
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
        WriteDiagnostic(EVENTLOG_ERROR_TYPE,
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
                     .arg(device));
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
    sip.call = SipCall{};
    sip.call.id = id;
    sip.call.address = address;
    const WaveInputSourceInfo input = GetWaveInputSource();
    if (input.recording)
        PrepareRoom(input);
    if (sip.process == nullptr && (sip.restartTimer == nullptr || !sip.restartTimer->isActive()))
        StartBaresip();
    if (sip.ready && !sip.call.roomPending) {
        Dial();
    } else {
        ArmCallGuard(kReadyTimeoutMs);
    }
}

void SetSipRingTimeout(int milliseconds)
{
    sip.ringTimeoutMs = milliseconds;
}

} // namespace phone_internal
