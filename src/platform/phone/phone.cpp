// SPDX-License-Identifier: GPL-3.0-or-later
// PhoneMakeCall, the news it gives, and the choice of backend.
#include "platform/phone.h"
#include "platform/eventlog.h"
#include "platform/phone/phone_backend.h"
#include "platform/phone/phone_internal.h"
#include "platform/posix/standard_streams.h"
#include "platform/window.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <deque>

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class BackendKind { Automatic, ModemManager, Command, Log, Sip };

// The running call command; at most one.
struct CommandRun {
    QProcess* process = nullptr; // null when none runs
    LONG id = 0;
    qint64 group = 0;      // its process group, the same number as its pid
    bool timedOut = false; // killed by the timeout
    bool finished = false; // its news is given
};

struct PhoneState {
    BackendKind kind = BackendKind::Automatic;
    QString program; // for Command
    LONG nextId = 1;
    std::deque<PHONECALLEVENT> news;
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;
    int commandTimeoutMs = 60000;
    int modemLookIntervalMs = 30000;
    // Automatic: what the last look for a modem found.
    bool modemSeen = false;
    bool looking = false;
    QElapsedTimer lastLook; // invalid before the first look
    CommandRun command;
};

PhoneState phone;

// The program as it will be started, or empty when it cannot be run.
QString ResolveProgram(const QString& program)
{
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

// The terminal sees that nothing was dialled, not a line that reads like a call.
void PrintOnlyLogged(const QString& number)
{
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    }
    // Queued, as the event log is: a stopped terminal never holds up the call.
    QueueStandardOutput(std::string(stamp) +
                        " call only logged, not placed: " + number.toStdString() + "\n");
}

// ---- Automatic choice: the modem looked for at each call ------------------

void NoteLook(const QString& modemPath)
{
    phone.modemSeen = !modemPath.isEmpty();
    phone.lastLook.start();
}

void RefreshModemLook()
{
    if (phone.looking) {
        return;
    }
    phone.looking = true;
    phone_internal::LookForModem([](const QString& modemPath, const QString&) {
        phone.looking = false;
        NoteLook(modemPath);
    });
}

void CallThroughModem(LONG id, const QString& number, bool onlyLogWithoutModem)
{
    phone_internal::LookForModem(
        [id, number, onlyLogWithoutModem](const QString& modemPath, const QString& problem) {
            if (onlyLogWithoutModem) {
                NoteLook(modemPath);
            }
            if (!modemPath.isEmpty()) {
                phone_internal::DialThroughModem(id, number, modemPath);
            } else if (onlyLogWithoutModem) {
                PrintOnlyLogged(number);
                phone_internal::ReportCall(id, PHONE_EVENT_LOGGED, problem);
            } else {
                phone_internal::ReportCall(id, PHONE_EVENT_FAILED, problem);
            }
        });
}

// ---- Call commands --------------------------------------------------------

void KillCommandGroup()
{
    if (phone.command.group > 0) {
        ::kill(static_cast<pid_t>(-phone.command.group), SIGKILL);
    }
}

void FinishCommand(DWORD event, const QString& reason)
{
    CommandRun run = phone.command;
    phone.command = CommandRun{};
    if (run.process != nullptr) {
        run.process->deleteLater();
    }
    if (event == PHONE_EVENT_ENDED) {
        phone_internal::ReportCall(run.id, PHONE_EVENT_PLACED, QString());
    }
    phone_internal::ReportCall(run.id, event, reason);
}

void OnCommandFinished(int exitCode, QProcess::ExitStatus status)
{
    // The leader is reaped; its group still stands while anything it left
    // runs in it, so the number cannot belong to anybody else yet.
    KillCommandGroup();
    if (phone.command.timedOut) {
        FinishCommand(PHONE_EVENT_FAILED,
                      QStringLiteral("timed out after %1 s")
                          .arg(QString::number(phone.commandTimeoutMs / 1000.0)));
    } else if (status == QProcess::CrashExit) {
        FinishCommand(PHONE_EVENT_FAILED, QStringLiteral("killed by signal %1").arg(exitCode));
    } else if (exitCode != 0) {
        FinishCommand(PHONE_EVENT_FAILED, QStringLiteral("exit status %1").arg(exitCode));
    } else {
        FinishCommand(PHONE_EVENT_ENDED, QString());
    }
}

// Both ends are close-on-exec and nothing is ever written: the read end
// reaches end-of-file only once this process is gone, however it ended.
int lifeline[2] = {-1, -1};

// In the command's process between fork and exec, so only calls that are
// safe there. A watcher joins the command's group and kills the group when
// the lifeline ends: a program killed with SIGKILL leaves no call command
// behind. Forked twice and reaped at once, the watcher is no child of the
// command, which may wait for all of its own.
void StartCommandWatcher(int readEnd)
{
    const pid_t middle = ::fork();
    if (middle == 0) {
        if (::fork() == 0) {
            // Nothing but the lifeline: a descriptor of the command's kept
            // open here would keep a pipe of somebody else's open.
            ::dup2(readEnd, 0);
            if (::close_range(1, ~0U, 0) != 0) {
                for (int fd = 1; fd < 1024; ++fd)
                    ::close(fd);
            }
            char byte;
            while (::read(0, &byte, 1) < 0 && errno == EINTR) {
            }
            ::kill(0, SIGKILL);
        }
        ::_exit(0);
    }
    if (middle > 0)
        ::waitpid(middle, nullptr, 0);
}

// Nothing of a call command outlives the program.
void KillRunningCommandAtExit()
{
    QProcess* process = phone.command.process;
    if (process == nullptr || process->state() == QProcess::NotRunning) {
        return;
    }
    QObject::disconnect(process, nullptr, nullptr, nullptr);
    KillCommandGroup();
    process->waitForFinished(2000);
}

void RunCommand(LONG id, const QString& number)
{
    if (phone.command.process != nullptr) {
        phone_internal::ReportCall(
            id, PHONE_EVENT_FAILED,
            QStringLiteral("the call command for the previous call is still running"));
        return;
    }
    static bool exitHookSet = false;
    if (!exitHookSet) {
        exitHookSet = std::atexit(KillRunningCommandAtExit) == 0;
    }
    // No shell: the number reaches the program as one argv entry, whatever it holds.
    auto* process = new QProcess;
    process->setProgram(phone.program);
    process->setArguments(QStringList{number});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    // A group of its own, so that a timeout or the exit can kill all it started.
    if (lifeline[1] < 0 && ::pipe2(lifeline, O_CLOEXEC) != 0)
        lifeline[0] = lifeline[1] = -1;
    const int lifelineEnd = lifeline[0];
    process->setChildProcessModifier([lifelineEnd] {
        ::setpgid(0, 0);
        if (lifelineEnd >= 0)
            StartCommandWatcher(lifelineEnd);
    });
    phone.command = CommandRun{process, id, 0, false, false};

    QObject::connect(process, &QProcess::finished, process, OnCommandFinished);
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart || phone.command.process != process) {
                return;
            }
            KillCommandGroup(); // the watcher, started before the exec failed
            FinishCommand(
                PHONE_EVENT_FAILED,
                QStringLiteral("cannot start %1: %2").arg(phone.program, process->errorString()));
        });
    auto* timer = new QTimer(process);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, process, [process] {
        if (phone.command.process != process) {
            return;
        }
        phone.command.timedOut = true;
        KillCommandGroup();
    });
    process->start();
    // A start that failed at once has already given its news.
    if (phone.command.process == process) {
        phone.command.group = process->processId();
        timer->start(phone.commandTimeoutMs);
    }
}

} // namespace

namespace phone_internal {

void WriteDiagnostic(WORD type, const QString& text)
{
    const QString line = QStringLiteral("phone: ") + text;
    AppendEventLog(type, reinterpret_cast<LPCWSTR>(line.utf16()));
}

QString SecondsText(int milliseconds)
{
    return QStringLiteral("%1 s").arg(QString::number(milliseconds / 1000.0));
}

QString DurationText(int milliseconds)
{
    if (milliseconds >= 60000 && milliseconds % 60000 == 0)
        return QStringLiteral("%1 minutes").arg(milliseconds / 60000);
    return SecondsText(milliseconds);
}

void ReportCall(LONG id, DWORD event, const QString& reason)
{
    PHONECALLEVENT news{};
    news.callId = id;
    news.event = event;
    const int length = std::min<int>(static_cast<int>(reason.size()), phoneReasonCapacity - 1);
    for (int i = 0; i < length; ++i) {
        news.reason[i] = reason.at(i).unicode();
    }
    phone.news.push_back(news);
    if (phone.notifyWindow != nullptr) {
        PostMessageW(phone.notifyWindow, phone.notifyMessage, 0, 0);
    }
}

} // namespace phone_internal

bool SetPhoneBackend(const char* choice, std::string* error)
{
    const QString text = QString::fromUtf8(choice != nullptr ? choice : "");
    const QString commandPrefix = QStringLiteral("command:");
    if (text == QLatin1String("automatic")) {
        phone.kind = BackendKind::Automatic;
        return true;
    }
    if (text == QLatin1String("modemmanager")) {
        phone.kind = BackendKind::ModemManager;
        return true;
    }
    if (text == QLatin1String("log")) {
        phone.kind = BackendKind::Log;
        return true;
    }
    if (text == QLatin1String("sip")) {
        QString problem;
        if (!phone_internal::FindBaresip(&problem)) {
            if (error != nullptr)
                *error = problem.toStdString();
            return false;
        }
        phone.kind = BackendKind::Sip;
        return true;
    }
    if (text.startsWith(commandPrefix)) {
        const QString program = text.mid(commandPrefix.size());
        const QString resolved = program.isEmpty() ? QString() : ResolveProgram(program);
        if (resolved.isEmpty()) {
            if (error != nullptr) {
                *error = program.isEmpty()
                             ? std::string("command: needs a program, as in command:PROGRAM")
                             : "command: " + program.toStdString() +
                                   " is not an executable file or a program on PATH";
            }
            return false;
        }
        phone.kind = BackendKind::Command;
        phone.program = resolved;
        return true;
    }
    if (error != nullptr) {
        *error = "unknown phone backend \"" + text.toStdString() +
                 "\" (use automatic, modemmanager, command:PROGRAM, sip or log)";
    }
    return false;
}

void StartPhoneBackend()
{
    using phone_internal::WriteDiagnostic;
    if (phone.kind == BackendKind::Sip) {
        phone_internal::StartSip();
        return;
    }
    phone_internal::StopSip();
    switch (phone.kind) {
    case BackendKind::Sip:
        return;
    case BackendKind::Log:
        WriteDiagnostic(EVENTLOG_WARNING_TYPE,
                        QStringLiteral("calls will only be logged, never placed"));
        return;
    case BackendKind::Command:
        WriteDiagnostic(EVENTLOG_INFORMATION_TYPE,
                        QStringLiteral("calls go to the command %1").arg(phone.program));
        return;
    case BackendKind::ModemManager:
    case BackendKind::Automatic:
        break;
    }
    const bool automatic = phone.kind == BackendKind::Automatic;
    const QString busProblem = phone_internal::SystemBusProblem();
    if (!busProblem.isEmpty()) {
        WriteDiagnostic(automatic ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE,
                        busProblem + (automatic ? QStringLiteral("; calls will only be logged")
                                                : QStringLiteral("; calls will fail")));
        if (automatic) {
            NoteLook(QString());
        }
        return;
    }
    phone.looking = automatic;
    phone_internal::LookForModem([automatic](const QString& modemPath, const QString& problem) {
        if (automatic) {
            phone.looking = false;
            NoteLook(modemPath);
        }
        if (!modemPath.isEmpty()) {
            WriteDiagnostic(EVENTLOG_INFORMATION_TYPE,
                            QStringLiteral("calls go to the modem %1").arg(modemPath));
        } else {
            WriteDiagnostic(automatic ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE,
                            problem + (automatic
                                           ? QStringLiteral("; calls will only be logged until "
                                                            "a modem is ready")
                                           : QStringLiteral("; calls will fail until a modem "
                                                            "is ready")));
        }
    });
}

const char* PhoneBackendName()
{
    switch (phone.kind) {
    case BackendKind::ModemManager:
        return "modemmanager";
    case BackendKind::Command:
        return "command";
    case BackendKind::Log:
        return "log";
    case BackendKind::Sip:
        return "sip";
    case BackendKind::Automatic:
        break;
    }
    return "automatic";
}

void SetPhoneCommandTimeout(int milliseconds)
{
    phone.commandTimeoutMs = milliseconds;
}

void SetPhoneSipRingTimeout(int milliseconds)
{
    phone_internal::SetSipRingTimeout(milliseconds);
}

void SetPhoneSipLongestCall(int milliseconds)
{
    phone_internal::SetSipLongestCall(milliseconds);
}

void SetPhoneModemRingTimeout(int milliseconds)
{
    phone_internal::SetModemRingTimeout(milliseconds);
}

void SetPhoneModemActiveLimit(int milliseconds)
{
    phone_internal::SetModemActiveLimit(milliseconds);
}

void SetPhoneModemLookInterval(int milliseconds)
{
    phone.modemLookIntervalMs = milliseconds;
}

LONG PhoneMakeCall(PHONEMAKECALLINFO* request)
{
    if (request == nullptr || request->pszDestAddress == nullptr ||
        request->pszDestAddress[0] == u'\0') {
        return 0;
    }
    // Copied now: the request need not outlive this call.
    const QString number = QString::fromUtf16(request->pszDestAddress);
    const LONG id = phone.nextId++;
    switch (phone.kind) {
    case BackendKind::Automatic:
        CallThroughModem(id, number, true);
        break;
    case BackendKind::ModemManager:
        CallThroughModem(id, number, false);
        break;
    case BackendKind::Command:
        RunCommand(id, number);
        break;
    case BackendKind::Sip:
        phone_internal::CallThroughSip(id, number);
        break;
    case BackendKind::Log:
        PrintOnlyLogged(number);
        phone_internal::ReportCall(id, PHONE_EVENT_LOGGED,
                                   QStringLiteral("the phone is set to log calls only"));
        break;
    }
    return id;
}

void PhoneSetNotifyWindow(HWND window, UINT message)
{
    phone.notifyWindow = window;
    phone.notifyMessage = message;
}

BOOL PhoneGetCallEvent(PHONECALLEVENT* event)
{
    if (event == nullptr || phone.news.empty()) {
        return FALSE;
    }
    *event = phone.news.front();
    phone.news.pop_front();
    return TRUE;
}

DWORD PhoneGetRoute()
{
    switch (phone.kind) {
    case BackendKind::ModemManager:
        return PHONE_ROUTE_MODEM;
    case BackendKind::Command:
        return PHONE_ROUTE_COMMAND;
    case BackendKind::Log:
        return PHONE_ROUTE_LOG;
    case BackendKind::Sip:
        return PHONE_ROUTE_SIP;
    case BackendKind::Automatic:
        break;
    }
    if (!phone.lastLook.isValid() || phone.lastLook.elapsed() >= phone.modemLookIntervalMs) {
        RefreshModemLook();
    }
    if (phone.modemSeen)
        return PHONE_ROUTE_MODEM;
    return phone.lastLook.isValid() ? PHONE_ROUTE_NONE : PHONE_ROUTE_LOG;
}
