// SPDX-License-Identifier: GPL-3.0-or-later
// The notify command: each message runs a program with the text as its one
// argument, without a shell, so that a two-line script reaches whatever the
// parent reads at night. Exit status 0 within the bound counts as sent.
#include "platform/phone/phone_backend.h"
#include "platform/phone/phone_internal.h"

#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <csignal>
#include <list>

#include <sys/types.h>
#include <unistd.h>

#include "platform/phone.h"

namespace {

using phone_internal::ReportCall;

struct NotifyRun {
    QProcess* process;
    LONG id;
    qint64 group; // its process group, the same number as its pid
    bool timedOut;
};

struct NotifyCommand {
    QString program; // empty: none chosen
    int timeoutMs = 60000;
    std::list<NotifyRun> running;
};

NotifyCommand notify;

std::list<NotifyRun>::iterator Find(const QProcess* process)
{
    for (auto it = notify.running.begin(); it != notify.running.end(); ++it) {
        if (it->process == process)
            return it;
    }
    return notify.running.end();
}

void KillGroup(const NotifyRun& run)
{
    if (run.group > 0)
        ::kill(static_cast<pid_t>(-run.group), SIGKILL);
}

QString Channel()
{
    return QStringLiteral("notify command %1").arg(notify.program);
}

void Finish(QProcess* process, DWORD event, const QString& reason)
{
    const auto it = Find(process);
    if (it == notify.running.end())
        return;
    const LONG id = it->id;
    KillGroup(*it); // whatever it left running
    notify.running.erase(it);
    process->deleteLater();
    ReportCall(id, event, reason);
}

void OnFinished(QProcess* process, int exitCode, QProcess::ExitStatus status)
{
    const auto it = Find(process);
    if (it == notify.running.end())
        return;
    if (it->timedOut)
        Finish(process, PHONE_EVENT_MESSAGE_FAILED,
               Channel() + QStringLiteral(": timed out after %1")
                               .arg(phone_internal::SecondsText(notify.timeoutMs)));
    else if (status == QProcess::CrashExit)
        Finish(process, PHONE_EVENT_MESSAGE_FAILED,
               Channel() + QStringLiteral(": killed by signal %1").arg(exitCode));
    else if (exitCode != 0)
        Finish(process, PHONE_EVENT_MESSAGE_FAILED,
               Channel() + QStringLiteral(": exit status %1").arg(exitCode));
    else
        Finish(process, PHONE_EVENT_MESSAGE_SENT, Channel());
}

} // namespace

namespace phone_internal {

bool RunNotifyCommand(LONG id, const QString& text)
{
    if (notify.program.isEmpty())
        return false;
    auto* process = new QProcess;
    process->setProgram(notify.program);
    process->setArguments(QStringList{text});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    notify.running.push_back(NotifyRun{process, id, 0, false});
    QObject::connect(process, &QProcess::finished, process,
                     [process](int exitCode, QProcess::ExitStatus status) {
                         OnFinished(process, exitCode, status);
                     });
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                Finish(process, PHONE_EVENT_MESSAGE_FAILED,
                       Channel() +
                           QStringLiteral(": cannot start: %1").arg(process->errorString()));
        });
    auto* timer = new QTimer(process);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, process, [process] {
        const auto it = Find(process);
        if (it == notify.running.end())
            return;
        it->timedOut = true;
        KillGroup(*it);
    });
    process->start();
    const auto it = Find(process);
    if (it != notify.running.end()) {
        it->group = process->processId();
        timer->start(notify.timeoutMs);
    }
    return true;
}

void KillNotifyCommands()
{
    while (!notify.running.empty()) {
        NotifyRun run = notify.running.front();
        QObject::disconnect(run.process, nullptr, nullptr, nullptr);
        KillGroup(run);
        run.process->waitForFinished(2000);
        notify.running.pop_front();
        ReportCall(run.id, PHONE_EVENT_MESSAGE_FAILED,
                   Channel() + QStringLiteral(": still running when the program ended"));
        delete run.process;
    }
}

} // namespace phone_internal

bool SetPhoneNotify(const char* choice, std::string* error)
{
    const QString text = QString::fromUtf8(choice != nullptr ? choice : "");
    const QString prefix = QStringLiteral("command:");
    if (!text.startsWith(prefix)) {
        *error = "unknown notify channel \"" + text.toStdString() + "\" (use command:PROGRAM)";
        return false;
    }
    const QString program = text.mid(prefix.size());
    const QString resolved =
        program.isEmpty() ? QString() : phone_internal::ResolveProgram(program);
    if (resolved.isEmpty()) {
        *error = program.isEmpty() ? "notify: needs a program, as in command:PROGRAM"
                                   : "notify: " + program.toStdString() +
                                         " is not an executable file or a program on PATH";
        return false;
    }
    notify.program = resolved;
    return true;
}

void SetPhoneNotifyTimeout(int milliseconds)
{
    notify.timeoutMs = milliseconds;
}
