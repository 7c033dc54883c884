// SPDX-License-Identifier: GPL-3.0-or-later
#include "sip_support.h"

#include "platform/recording/recording.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// Whether a socket of type binds to, or (connecting) reaches, 127.0.0.1:port.
bool Reaches(int type, int port, bool connecting)
{
    const int fd = ::socket(AF_INET, type, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto* where = reinterpret_cast<sockaddr*>(&address);
    const bool done = (connecting ? ::connect(fd, where, sizeof address)
                                  : ::bind(fd, where, sizeof address)) == 0;
    ::close(fd);
    return done;
}

bool CanBind(int type, int port)
{
    return Reaches(type, port, false);
}

} // namespace

bool BaresipInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("baresip")).isEmpty();
}

int FreePortPair()
{
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> pick(10000, 29999);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = 2 * pick(random);
        if (CanBind(SOCK_DGRAM, port) && CanBind(SOCK_STREAM, port) &&
            CanBind(SOCK_DGRAM, port + 1) && CanBind(SOCK_STREAM, port + 1))
            return port;
    }
    return 0;
}

bool PortAcceptsConnections(int port)
{
    return Reaches(SOCK_STREAM, port, true);
}

bool WriteFileWithMode(const QString& path, const QByteArray& bytes, int mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

QByteArray ReadWholeFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<pid_t> BaresipChildren()
{
    std::vector<pid_t> children;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = static_cast<pid_t>(entry.toInt(&number));
        if (!number)
            continue;
        const QByteArray stat = ReadWholeFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const int open = stat.indexOf('(');
        const int close = stat.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (stat.mid(open + 1, close - open - 1) == "baresip" && fields.size() > 1 &&
            fields.at(0) != "Z" && fields.at(1).toInt() == getpid() &&
            ReadWholeFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).contains("/cradlecom-sip-"))
            children.push_back(pid);
    }
    return children;
}

bool ProcessGone(pid_t pid)
{
    if (::kill(pid, 0) != 0)
        return true;
    const QByteArray stat = ReadWholeFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const int close = stat.lastIndexOf(')');
    return close < 0 || stat.mid(close + 2, 1) == "Z";
}

bool Callee::Start(int port, int lifetimeSeconds, const QString& dial, const QString& displayName)
{
    port_ = port;
    const QDir dir(folder_.path());
    dir.mkdir(QStringLiteral("heard"));
    // Longer than any call: at the end of its file aufile ends the call.
    const std::vector<std::int16_t> silence(std::size_t{120} * 8000);
    if (!WriteWavFile(QFile::encodeName(dir.filePath(QStringLiteral("silence.wav"))).toStdString(),
                      8000, 1, silence.data(), silence.size(), nullptr))
        return false;
    const QByteArray config =
        QStringLiteral("poll_method poll\n"
                       "sip_listen 127.0.0.1:%1\n"
                       "audio_player aufile,/dev/null\n"
                       "audio_source aufile,%2\n"
                       "module_path /usr/lib/baresip/modules\n"
                       "module g711.so\n"
                       "module aufile.so\n"
                       "module sndfile.so\n"
                       "module stdio.so\n"
                       "snd_path %3\n"
                       "module_app account.so\n"
                       "module_app menu.so\n")
            .arg(port)
            .arg(dir.filePath(QStringLiteral("silence.wav")), dir.filePath(QStringLiteral("heard")))
            .toUtf8();
    const QString name =
        displayName.isEmpty() ? QString() : QStringLiteral("\"%1\" ").arg(displayName);
    const QByteArray account = QStringLiteral("%1<sip:cb@127.0.0.1:%2>;regint=0;answermode=auto\n")
                                   .arg(name)
                                   .arg(port)
                                   .toUtf8();
    if (!WriteFileWithMode(dir.filePath(QStringLiteral("config")), config, 0600) ||
        !WriteFileWithMode(dir.filePath(QStringLiteral("accounts")), account, 0600))
        return false;
    // Its UI (a message received) writes to standard error.
    process_.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = {QStringLiteral("-f"), folder_.path(), QStringLiteral("-t"),
                             QString::number(lifetimeSeconds)};
    if (!dial.isEmpty())
        arguments << QStringLiteral("-e") << QStringLiteral("/dial ") + dial;
    process_.start(QStringLiteral("baresip"), arguments);
    if (!process_.waitForStarted(5000))
        return false;
    // Up once it says so.
    for (int i = 0; i < 100 && !Output().contains(QLatin1String("baresip is ready.")); ++i)
        process_.waitForReadyRead(100);
    return Output().contains(QLatin1String("baresip is ready."));
}

void Callee::HangUp()
{
    if (process_.state() != QProcess::NotRunning)
        process_.terminate();
}

void Callee::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

QString Callee::Address() const
{
    return QStringLiteral("sip:cb@127.0.0.1:%1").arg(port_);
}

QString Callee::Output()
{
    output_ += QString::fromUtf8(process_.readAllStandardOutput());
    return output_;
}

QString Callee::HeardRecording() const
{
    const QDir heard(QDir(folder_.path()).filePath(QStringLiteral("heard")));
    const QStringList names =
        heard.entryList({QStringLiteral("dump-*-dec.wav")}, QDir::Files, QDir::Name);
    return names.isEmpty() ? QString() : heard.filePath(names.first());
}

double Callee::HeardSeconds() const
{
    const QString path = HeardRecording();
    if (path.isEmpty())
        return 0.0;
    // 16-bit mono at 8000 Hz after a 44-byte header.
    const qint64 size = QFileInfo(path).size();
    return size > 44 ? static_cast<double>(size - 44) / 16000.0 : 0.0;
}
