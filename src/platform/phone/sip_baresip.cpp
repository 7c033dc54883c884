// SPDX-License-Identifier: GPL-3.0-or-later
// baresip's process: found when the backend is chosen, started with a
// private folder of its own, started again when it ends by itself, and
// ended, with its call, when the backend is left or the program ends;
// nothing of it outlives the program.
#include "platform/phone/sip_internal.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "platform/eventlog.h"
#include "platform/phone/sip_channel.h"
#include "platform/posix/runtime_folder.h"

namespace {

using namespace sip_internal;

constexpr int kQuitTimeoutMs = 1500;   // baresip's time to hang up and end at exit
constexpr int kLineLossGraceMs = 1000; // a broken channel, while baresip may still be ending
constexpr int kSteadyRunMs = 60000;    // a baresip that ran this long is restarted at once
constexpr int kLongestRestartDelayMs = 60000;

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.write(bytes) == bytes.size() && file.flush();
}

void ScheduleRestart()
{
    if (sip.restartTimer == nullptr) {
        sip.restartTimer = new QTimer;
        sip.restartTimer->setSingleShot(true);
        QObject::connect(sip.restartTimer, &QTimer::timeout, [] { StartBaresip(); });
    }
    sip.restartTimer->start(sip.restartDelayMs);
}

void ForgetBaresip()
{
    sip.process = nullptr;
    sip.ready = false;
    sip.registration.clear();
    sip.endedIds.clear();
    sip.orphan = false;
    ExpectSipChannelPeer(0);
}

// baresip is gone without being asked to go.
void OnBaresipGone(const QString& why)
{
    QProcess* process = sip.process;
    ForgetBaresip();
    if (process != nullptr) {
        QObject::disconnect(process, nullptr, nullptr, nullptr);
        if (process->state() != QProcess::NotRunning)
            process->kill();
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
    EndCallWithBaresip(why);
    ScheduleRestart();
}

// The channel broke while baresip may still be ending by itself: its end,
// when it comes soon, tells more.
void OnChannelBroken(const QString& problem)
{
    QProcess* process = sip.process;
    if (process == nullptr)
        return;
    QTimer::singleShot(kLineLossGraceMs, process, [process, problem] {
        if (sip.process == process)
            OnBaresipGone(problem);
    });
}

// Nothing of baresip outlives the program.
void StopAtExit()
{
    StopBaresip();
    CloseSipChannel();
    delete sip.folder;
    sip.folder = nullptr;
}

} // namespace

namespace sip_internal {

bool FindBaresip(const QString&, QString* problem)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("baresip"));
    if (program.isEmpty()) {
        *problem = QStringLiteral("sip: baresip is not installed (Debian package baresip-core)");
        return false;
    }
    sip.program = program;
    return true;
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

// The call it carries is hung up: baresip does so when asked to end by SIGTERM.
void StopBaresip()
{
    QProcess* process = sip.process;
    ForgetBaresip();
    if (sip.restartTimer != nullptr)
        sip.restartTimer->stop();
    if (process == nullptr)
        return;
    QObject::disconnect(process, nullptr, nullptr, nullptr);
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(kQuitTimeoutMs)) {
            process->kill();
            process->waitForFinished(kQuitTimeoutMs);
        }
    }
    delete process;
}

QString StartBaresip()
{
    if (sip.process != nullptr || !sip.accountRead)
        return QString();
    QString problem;
    QByteArray config;
    if (MakeFolder(&problem)) {
        const QString channelPath = sip.folder->filePath(QStringLiteral("channel"));
        if (OpenSipChannel(channelPath, {OnChannelReady, OnEvent, OnResponse, OnChannelBroken},
                           &problem))
            config = BaresipConfig(GetWaveInputSource(), channelPath, &problem);
    }
    // The one contact, the parent's, or none: the module would fill a
    // missing file with examples.
    const QByteArray contact =
        sip.contact.isEmpty() ? QByteArray() : "\"parent\" <" + sip.contact.toUtf8() + ">\n";
    if (problem.isEmpty() &&
        (!WriteFile(sip.folder->filePath(QStringLiteral("contacts")), contact) ||
         !WriteFile(sip.folder->filePath(QStringLiteral("current_contact")), sip.contact.toUtf8())))
        problem = QStringLiteral("cannot write baresip's contacts in %1").arg(sip.folder->path());
    if (problem.isEmpty() && !WriteFile(sip.folder->filePath(QStringLiteral("config")), config))
        problem =
            QStringLiteral("cannot write baresip's configuration in %1").arg(sip.folder->path());
    if (!problem.isEmpty()) {
        problem = QStringLiteral("cannot start baresip: %1").arg(problem);
        Note(EVENTLOG_ERROR_TYPE, problem);
        return problem;
    }
    if (!sip.exitHookSet)
        sip.exitHookSet = std::atexit(StopAtExit) == 0;

    auto* process = new QProcess;
    process->setProgram(sip.program);
    process->setArguments({QStringLiteral("-f"), sip.folder->path()});
    // Its log repeats every command it is given, the account line included.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->setChildProcessModifier([parent = getpid()] {
        // Ends with the program even when the program is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        // A process group of its own: Ctrl+C or a signal to the program's
        // group is for the program, which ends baresip itself, last.
        ::setpgid(0, 0);
    });
    sip.process = process;
    sip.ready = false;
    QObject::connect(process, &QProcess::finished, process,
                     [process](int code, QProcess::ExitStatus status) {
                         if (sip.process != process)
                             return;
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
        ExpectSipChannelPeer(process->processId());
    return QString();
}

} // namespace sip_internal
