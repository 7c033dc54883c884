// SPDX-License-Identifier: GPL-3.0-or-later
// A dbus-daemon of the test's own standing in for the system bus, and a
// python3 that can run python3-dbusmock on it.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

struct PrivateBus {
    QString python; // one that can import dbusmock
    QProcess* daemon = nullptr;
    QString skipReason; // why the bus's tests cannot run; empty when they can
};

// Starts the daemon (`prepare`, when given, sees its process first) and
// points DBUS_SYSTEM_BUS_ADDRESS at it. Call it before QtDBus first opens
// the system bus. False, with the skip reason set, when a part is missing.
template <typename Prepare> bool StartPrivateBus(PrivateBus* bus, Prepare prepare)
{
    for (const QString& candidate :
         {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        if (QProcess::execute(candidate,
                              {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) == 0) {
            bus->python = candidate;
            break;
        }
    }
    if (bus->python.isEmpty()) {
        bus->skipReason = QStringLiteral("python3-dbusmock is not installed");
        return false;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        bus->skipReason = QStringLiteral("dbus-daemon is not installed");
        return false;
    }
    bus->daemon = new QProcess;
    bus->daemon->setStandardErrorFile(QProcess::nullDevice()); // only its fd-limit notice
    prepare(bus->daemon);
    bus->daemon->start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--print-address"),
                        QStringLiteral("--nofork")});
    if (!bus->daemon->waitForStarted(5000) || !bus->daemon->waitForReadyRead(5000)) {
        bus->skipReason = QStringLiteral("dbus-daemon did not start");
        return false;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus->daemon->readLine().trimmed());
    return true;
}

inline bool StartPrivateBus(PrivateBus* bus)
{
    return StartPrivateBus(bus, [](QProcess*) {});
}

inline void StopPrivateBus(PrivateBus* bus)
{
    if (bus->daemon != nullptr) {
        bus->daemon->terminate();
        bus->daemon->waitForFinished(3000);
        delete bus->daemon;
        bus->daemon = nullptr;
    }
}
