// SPDX-License-Identifier: GPL-3.0-or-later
// The "command:PROGRAM" backend: each call runs a program with the number as
// its one argument, and nothing it starts outlives the call or the program.
#include "platform/eventlog.h"
#include "platform/phone.h"
#include "platform/phone/phone_backend.h"
#include "platform/phone/phone_internal.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using phone_internal::ReportCall;
using phone_internal::ResolveProgram;

// The running call command; at most one.
struct CommandRun {
    QProcess* process = nullptr; // null when none runs
    LONG id = 0;
    qint64 group = 0;      // its process group, the same number as its pid
    bool timedOut = false; // killed by the timeout
    bool finished = false; // its news is given
};

struct CommandBackend {
    QString program; // as it will be started
    int timeoutMs = 60000;
    CommandRun run;
};

CommandBackend command;

void KillCommandGroup()
{
    if (command.run.group > 0) {
        ::kill(static_cast<pid_t>(-command.run.group), SIGKILL);
    }
}

void FinishCommand(DWORD event, const QString& reason)
{
    CommandRun run = command.run;
    command.run = CommandRun{};
    if (run.process != nullptr) {
        run.process->deleteLater();
    }
    // Status 0 is the program's word that its call got through.
    if (event == PHONE_EVENT_ENDED) {
        ReportCall(run.id, PHONE_EVENT_PLACED, QString());
        ReportCall(run.id, PHONE_EVENT_ANSWERED, QString());
    }
    ReportCall(run.id, event, reason);
}

void OnCommandFinished(int exitCode, QProcess::ExitStatus status)
{
    // The leader is reaped; its group still stands while anything it left
    // runs in it, so the number cannot belong to anybody else yet.
    KillCommandGroup();
    if (command.run.timedOut) {
        FinishCommand(PHONE_EVENT_FAILED, QStringLiteral("timed out after %1 s")
                                              .arg(QString::number(command.timeoutMs / 1000.0)));
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
    QProcess* process = command.run.process;
    if (process == nullptr || process->state() == QProcess::NotRunning) {
        return;
    }
    QObject::disconnect(process, nullptr, nullptr, nullptr);
    KillCommandGroup();
    process->waitForFinished(2000);
}

void RunCommand(LONG id, const QString& number)
{
    if (command.run.process != nullptr) {
        ReportCall(id, PHONE_EVENT_FAILED,
                   QStringLiteral("the call command for the previous call is still running"));
        return;
    }
    static bool exitHookSet = false;
    if (!exitHookSet) {
        exitHookSet = std::atexit(KillRunningCommandAtExit) == 0;
    }
    // No shell: the number reaches the program as one argv entry, whatever it holds.
    auto* process = new QProcess;
    process->setProgram(command.program);
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
    command.run = CommandRun{process, id, 0, false, false};

    QObject::connect(process, &QProcess::finished, process, OnCommandFinished);
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart || command.run.process != process) {
                return;
            }
            KillCommandGroup(); // the watcher, started before the exec failed
            FinishCommand(
                PHONE_EVENT_FAILED,
                QStringLiteral("cannot start %1: %2").arg(command.program, process->errorString()));
        });
    auto* timer = new QTimer(process);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, process, [process] {
        if (command.run.process != process) {
            return;
        }
        command.run.timedOut = true;
        KillCommandGroup();
    });
    process->start();
    // A start that failed at once has already given its news.
    if (command.run.process == process) {
        command.run.group = process->processId();
        timer->start(command.timeoutMs);
    }
}

bool ChooseCommand(const QString& program, QString* problem)
{
    const QString resolved = program.isEmpty() ? QString() : ResolveProgram(program);
    if (resolved.isEmpty()) {
        *problem = program.isEmpty()
                       ? QStringLiteral("command: needs a program, as in command:PROGRAM")
                       : QStringLiteral("command: %1 is not an executable file or a program on "
                                        "PATH")
                             .arg(program);
        return false;
    }
    command.program = resolved;
    return true;
}

void StartCommand()
{
    phone_internal::WriteDiagnostic(
        EVENTLOG_INFORMATION_TYPE,
        QStringLiteral("calls go to the command %1").arg(command.program));
}

} // namespace

namespace phone_internal {

QString ResolveProgram(const QString& program)
{
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

// A command still running when another choice starts gives its news as
// ever: it is bounded by its timeout.
const PhoneBackendOps commandBackend = {
    .choice = "command:",
    .shown = "command:PROGRAM",
    .name = "command",
    .choose = ChooseCommand,
    .start = StartCommand,
    .stop = nullptr,
    .dial = RunCommand,
    .route = [] { return PHONE_ROUTE_COMMAND; },
    .message = nullptr,
    .ready = [] { return true; },
};

} // namespace phone_internal

void SetPhoneCommandTimeout(int milliseconds)
{
    command.timeoutMs = milliseconds;
}
