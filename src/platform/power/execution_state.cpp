// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping the device awake through logind: while the program asks for it, it
// holds an inhibitor lock ("sleep:idle", mode "block") taken on the system
// bus; closing the lock's descriptor releases it. Every bus step is
// asynchronous, answered on the window thread's event loop.
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <fcntl.h>
#include <unistd.h>

#include "platform/eventlog.h"
#include "platform/power.h"

namespace {

// Window thread only.
struct AwakeState {
    EXECUTION_STATE state = ES_CONTINUOUS; // what the program asked for last
    int lock = -1;                         // the inhibitor's descriptor while held
    bool asking = false;                   // an Inhibit request is on its way
    bool failureLogged = false;            // the event log has heard of a failure
};
AwakeState awake;

void LogFailure(const QString& reason)
{
    if (awake.failureLogged)
        return;
    awake.failureLogged = true;
    QString text = QStringLiteral("cannot keep the device awake (logind): ") + reason;
    AppendEventLog(EVENTLOG_WARNING_TYPE, reinterpret_cast<LPCWSTR>(text.utf16()));
}

bool Wanted()
{
    return (awake.state & ES_SYSTEM_REQUIRED) != 0;
}

void TakeAnswer(QDBusPendingCallWatcher* watcher)
{
    awake.asking = false;
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError()) {
        LogFailure(reply.error().message());
        return;
    }
    // The reply keeps its own copy of the descriptor and closes it when it goes.
    int lock = fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (lock < 0) {
        LogFailure(QStringLiteral("no usable descriptor in the answer"));
        return;
    }
    if (Wanted() && awake.lock < 0)
        awake.lock = lock;
    else
        close(lock); // released while the request was on its way
}

void AskForLock()
{
    if (awake.lock >= 0 || awake.asking)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        LogFailure(QStringLiteral("no system bus: ") + bus.lastError().message());
        return;
    }
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    request << QStringLiteral("sleep:idle") << QStringLiteral("Cradlecom")
            << QStringLiteral("Listening for the child") << QStringLiteral("block");
    awake.asking = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [](QDBusPendingCallWatcher* finished) {
                         TakeAnswer(finished);
                         finished->deleteLater();
                     });
}

void ReleaseLock()
{
    if (awake.lock >= 0) {
        close(awake.lock);
        awake.lock = -1;
    }
}

} // namespace

EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags)
{
    EXECUTION_STATE previous = awake.state;
    if ((flags & ES_CONTINUOUS) == 0)
        return previous;
    awake.state = flags;
    if (Wanted())
        AskForLock();
    else
        ReleaseLock();
    return previous;
}
