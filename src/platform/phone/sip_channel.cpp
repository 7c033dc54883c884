// SPDX-License-Identifier: GPL-3.0-or-later
// The few MQTT 3.1.1 packets baresip's mqtt module (libmosquitto) sends and
// expects, for one client: CONNECT, SUBSCRIBE, PUBLISH at QoS 0 or 1,
// PINGREQ and DISCONNECT.
#include "platform/phone/sip_channel.h"

#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <sys/un.h>

namespace {

constexpr int kLargestPacket = 1 << 20; // far more than any event; more is garbage
const QString kTopic = QStringLiteral("/cradlecom");

struct SipChannel {
    QLocalServer* server = nullptr;
    QLocalSocket* socket = nullptr; // baresip's connection, once it came
    qint64 peer = 0;                // the only process answered
    bool subscribed = false;
    QByteArray input; // received, not yet a whole packet
    SipChannelHandlers handlers;
};

SipChannel channel;

void DropConnection()
{
    QLocalSocket* socket = channel.socket;
    channel.socket = nullptr;
    channel.subscribed = false;
    channel.input.clear();
    if (socket != nullptr) {
        QObject::disconnect(socket, nullptr, nullptr, nullptr);
        socket->abort();
        socket->deleteLater();
    }
}

void Break(const QString& problem)
{
    const bool wasConnected = channel.socket != nullptr;
    DropConnection();
    if (wasConnected && channel.handlers.broken)
        channel.handlers.broken(problem);
}

void WritePacket(unsigned char type, const QByteArray& body)
{
    if (channel.socket == nullptr)
        return;
    QByteArray packet(1, static_cast<char>(type));
    qsizetype length = body.size();
    do {
        char digit = static_cast<char>(length % 128);
        length /= 128;
        if (length > 0)
            digit = static_cast<char>(digit | 0x80);
        packet += digit;
    } while (length > 0);
    channel.socket->write(packet + body);
    channel.socket->flush();
}

QByteArray TwoBytes(qsizetype value)
{
    QByteArray bytes;
    bytes += static_cast<char>((value >> 8) & 0xFF);
    bytes += static_cast<char>(value & 0xFF);
    return bytes;
}

int TwoBytesAt(const QByteArray& bytes, qsizetype at)
{
    return (static_cast<unsigned char>(bytes[at]) << 8) | static_cast<unsigned char>(bytes[at + 1]);
}

void Deliver(const QByteArray& topic, const QByteArray& payload)
{
    const QJsonObject object = QJsonDocument::fromJson(payload).object();
    if (topic == kTopic.toUtf8() + "/event") {
        if (channel.handlers.event)
            channel.handlers.event(object);
    } else if (topic.startsWith(kTopic.toUtf8() + "/command_resp/")) {
        if (channel.handlers.response)
            channel.handlers.response(object);
    }
}

// One whole packet: its first byte and what follows the length.
void HandlePacket(unsigned char header, const QByteArray& body)
{
    switch (header >> 4) {
    case 1: // CONNECT: accepted
        WritePacket(0x20, QByteArray(2, '\0'));
        return;
    case 3: { // PUBLISH
        const int qos = (header >> 1) & 3;
        const qsizetype topicEnd = body.size() >= 2 ? 2 + TwoBytesAt(body, 0) : body.size() + 1;
        const qsizetype payloadAt = topicEnd + (qos > 0 ? 2 : 0);
        if (qos > 1 || payloadAt > body.size()) {
            Break(QStringLiteral("sent a message the program does not understand"));
            return;
        }
        if (qos == 1)
            WritePacket(0x40, body.mid(topicEnd, 2));
        Deliver(body.mid(2, topicEnd - 2), body.mid(payloadAt));
        return;
    }
    case 8: { // SUBSCRIBE: every filter granted at QoS 0
        QByteArray granted = body.left(2);
        for (qsizetype at = 2; at + 2 <= body.size(); at += 3 + TwoBytesAt(body, at))
            granted += '\0';
        WritePacket(0x90, granted);
        if (!channel.subscribed) {
            channel.subscribed = true;
            if (channel.handlers.ready)
                channel.handlers.ready();
        }
        return;
    }
    case 10: // UNSUBSCRIBE
        WritePacket(0xB0, body.left(2));
        return;
    case 12: // PINGREQ
        WritePacket(0xD0, QByteArray());
        return;
    case 14: // DISCONNECT: baresip is on its way out
        DropConnection();
        return;
    default:
        return;
    }
}

void OnReadable()
{
    if (channel.socket == nullptr)
        return;
    channel.input += channel.socket->readAll();
    while (channel.socket != nullptr && channel.input.size() >= 2) {
        qsizetype length = 0;
        qsizetype at = 1;
        int shift = 0;
        bool whole = false;
        while (at < channel.input.size() && at <= 4 && !whole) {
            const auto digit = static_cast<unsigned char>(channel.input[at++]);
            length |= static_cast<qsizetype>(digit & 0x7F) << shift;
            shift += 7;
            whole = (digit & 0x80) == 0;
        }
        if (!whole && at > 4) {
            Break(QStringLiteral("sent a message the program does not understand"));
            return;
        }
        if (whole && length > kLargestPacket) {
            Break(QStringLiteral("sent a message too large to be one of its events"));
            return;
        }
        if (!whole || channel.input.size() < at + length)
            return;
        const auto header = static_cast<unsigned char>(channel.input[0]);
        const QByteArray body = channel.input.mid(at, length);
        channel.input.remove(0, at + length);
        HandlePacket(header, body);
    }
}

qint64 PeerProcess(QLocalSocket* socket)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                   &credentials, &size) != 0)
        return 0;
    return credentials.pid;
}

void OnConnection()
{
    while (QLocalSocket* socket = channel.server->nextPendingConnection()) {
        // Nobody else can reach the folder; this keeps even the user's other
        // programs and an earlier baresip off the line.
        if (channel.peer == 0 || PeerProcess(socket) != channel.peer || channel.socket != nullptr) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        channel.socket = socket;
        QObject::connect(socket, &QLocalSocket::readyRead, socket, OnReadable);
        QObject::connect(socket, &QLocalSocket::disconnected, socket, [socket] {
            if (channel.socket == socket)
                Break(QStringLiteral("closed its line to the program"));
        });
        OnReadable();
    }
}

} // namespace

bool OpenSipChannel(const QString& path, const SipChannelHandlers& handlers, QString* problem)
{
    channel.handlers = handlers;
    if (channel.server != nullptr && channel.server->fullServerName() == path)
        return true;
    CloseSipChannel();
    if (QFile::encodeName(path).size() >= static_cast<qsizetype>(sizeof(sockaddr_un{}.sun_path))) {
        *problem = QStringLiteral("the path %1 is too long for a socket").arg(path);
        return false;
    }
    auto* server = new QLocalServer;
    QLocalServer::removeServer(path);
    if (!server->listen(path)) {
        *problem = QStringLiteral("cannot listen at %1: %2").arg(path, server->errorString());
        delete server;
        return false;
    }
    QObject::connect(server, &QLocalServer::newConnection, server, OnConnection);
    channel.server = server;
    return true;
}

void ExpectSipChannelPeer(qint64 pid)
{
    DropConnection();
    channel.peer = pid;
}

std::vector<std::pair<QString, QString>> SipChannelConfig(const QString& path)
{
    // Port 0 makes libmosquitto take the host as a Unix socket's path.
    return {{QStringLiteral("mqtt_broker_host"), path},
            {QStringLiteral("mqtt_broker_port"), QStringLiteral("0")},
            {QStringLiteral("mqtt_broker_clientid"), QStringLiteral("cradlecom-baresip")},
            {QStringLiteral("mqtt_basetopic"), kTopic.mid(1)}};
}

void SendSipCommand(const QString& command, const QString& params, const QString& token,
                    const QJsonObject& fields)
{
    if (!SipChannelReady())
        return;
    QJsonObject request = fields;
    request.insert(QStringLiteral("command"), command);
    request.insert(QStringLiteral("params"), params);
    request.insert(QStringLiteral("token"), token);
    const QByteArray topic = kTopic.toUtf8() + "/command/cradlecom";
    WritePacket(0x30, TwoBytes(topic.size()) + topic +
                          QJsonDocument(request).toJson(QJsonDocument::Compact));
}

bool SipChannelReady()
{
    return channel.socket != nullptr && channel.subscribed;
}

void CloseSipChannel()
{
    DropConnection();
    channel.peer = 0;
    if (channel.server != nullptr) {
        QObject::disconnect(channel.server, nullptr, nullptr, nullptr);
        channel.server->close();
        delete channel.server;
        channel.server = nullptr;
    }
}
