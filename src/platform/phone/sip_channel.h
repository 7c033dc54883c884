// SPDX-License-Identifier: GPL-3.0-or-later
// The private line between the program and its baresip: baresip's mqtt
// module, pointed at a Unix socket in the program's own folder (mode 0700),
// with the program itself as the one broker it talks to. Commands go to
// baresip as JSON and its events come back as JSON: the call's id, its
// direction and the far end's words are separate fields that no caller's
// display name can spill into. No network port is opened, and only the
// baresip process the program started is answered. Window thread only.
#pragma once

#include <QJsonObject>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

struct SipChannelHandlers {
    std::function<void()> ready;                        // baresip listens for commands
    std::function<void(const QJsonObject&)> event;      // one of baresip's events
    std::function<void(const QJsonObject&)> response;   // a command's answer: token, ok, data
    std::function<void(const QString& problem)> broken; // the line is gone or garbled
};

// Listens at path (in a folder nobody else may enter). False with the reason.
bool OpenSipChannel(const QString& path, const SipChannelHandlers& handlers, QString* problem);
// Only process pid may connect from now on; its earlier connection, if any, is dropped.
void ExpectSipChannelPeer(qint64 pid);
// The configuration lines that point baresip's mqtt module at the channel.
std::vector<std::pair<QString, QString>> SipChannelConfig(const QString& path);
// Sends a command (a long command of baresip's menu, without its slash);
// its answer comes with token. fields are added to the request as they are
// (accountaor and callid choose the call it is for).
void SendSipCommand(const QString& command, const QString& params, const QString& token,
                    const QJsonObject& fields = QJsonObject());
// Whether baresip is connected and listens.
bool SipChannelReady();
void CloseSipChannel();
