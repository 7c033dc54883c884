// SPDX-License-Identifier: GPL-3.0-or-later
// What the SIP tests share: free ports on loopback, a baresip callee that
// answers by itself and records what it hears, the baresip children of this
// process, and private files.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>
#include <vector>

// Whether baresip is installed; the tests that need it are skipped without.
bool BaresipInstalled();

// An even port P on 127.0.0.1 with P and P + 1 free for UDP and TCP (baresip
// takes P + 1 for TLS); 0 when none was found.
int FreePortPair();

// Whether something listens for TCP connections on 127.0.0.1:port.
bool PortAcceptsConnections(int port);

// Writes bytes to path with the given mode (made exactly so).
bool WriteFileWithMode(const QString& path, const QByteArray& bytes, int mode);
QByteArray ReadWholeFile(const QString& path);

// The phone's baresip processes whose parent is this process (not a callee).
std::vector<pid_t> BaresipChildren();
// Dead, or a zombie that nobody has reaped yet.
bool ProcessGone(pid_t pid);

// A second SIP user agent: baresip on 127.0.0.1:port as sip:cb@127.0.0.1:port
// that answers every call at once, sends silence and records what it hears
// (baresip's sndfile module). Ends itself after `lifetimeSeconds`. As a
// caller, it dials `dial` at once, under `displayName`.
class Callee {
public:
    ~Callee() { Stop(); }
    bool Start(int port, int lifetimeSeconds = 90, const QString& dial = QString(),
               const QString& displayName = QString());
    // Ends it as a user would: its calls are hung up first.
    void HangUp();
    // Ends it, at once if it does not end by itself; bounded.
    void Stop();
    QString Address() const;
    // What it said on standard output so far.
    QString Output();
    // The recording of what it heard in its first call; empty before one.
    QString HeardRecording() const;
    // Seconds of sound in that recording so far.
    double HeardSeconds() const;

private:
    QTemporaryDir folder_;
    QProcess process_;
    QString output_;
    int port_ = 0;
};
