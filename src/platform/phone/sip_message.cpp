// SPDX-License-Identifier: GPL-3.0-or-later
// Messages for the parent over SIP: baresip's contact module sends a SIP
// MESSAGE to its current contact, which it reads from its folder at its
// start (sip_baresip.cpp writes it from `sip.contact`).
#include "platform/phone/sip_internal.h"

#include "platform/phone/phone_internal.h"
#include "platform/phone/sip_account.h"
#include "platform/phone/sip_channel.h"

#include "platform/phone.h"

namespace {

using namespace sip_internal;
using phone_internal::ReportCall;

constexpr int kMessageTimeoutMs = 20000; // for baresip to come up and take it

QString MessageToken(LONG id)
{
    return QStringLiteral("message %1").arg(id);
}

// The message's one piece of news; it is forgotten.
void FinishMessage(LONG id, bool sent, const QString& why)
{
    for (auto it = sip.messages.begin(); it != sip.messages.end(); ++it) {
        if (it->id != id)
            continue;
        const QString channel = QStringLiteral("SIP MESSAGE to %1").arg(it->address);
        sip.messages.erase(it);
        if (sent)
            ReportCall(id, PHONE_EVENT_MESSAGE_SENT, channel);
        else
            ReportCall(id, PHONE_EVENT_MESSAGE_FAILED,
                       AccountText(channel + QStringLiteral(": ") + why));
        return;
    }
}

} // namespace

namespace sip_internal {

void SendWaitingMessages()
{
    if (!sip.ready)
        return;
    for (SipMessage& message : sip.messages) {
        if (message.handed || message.address != sip.contact)
            continue;
        message.handed = true;
        SendSipCommand(QStringLiteral("message"), message.text, MessageToken(message.id));
    }
}

void AnswerMessage(const QString& token, bool ok, const QString& data)
{
    for (const SipMessage& message : sip.messages) {
        if (token == MessageToken(message.id)) {
            FinishMessage(message.id, ok,
                          QStringLiteral("baresip could not send it: %1").arg(data.trimmed()));
            return;
        }
    }
}

// A message to another address than the contact starts baresip anew with
// that one (never during a call), and goes once it is ready.
void MessageThroughSip(LONG id, const QString& number, const QString& text)
{
    QString problem;
    const QString address = sip.accountRead || ReadAccount(&problem)
                                ? SipAddressForNumber(number, sip.account, &problem)
                                : QString();
    sip.messages.push_back(SipMessage{id, address.isEmpty() ? number : address, text, false});
    if (address.isEmpty()) {
        FinishMessage(id, false, problem);
        return;
    }
    QTimer::singleShot(kMessageTimeoutMs, [id] {
        FinishMessage(
            id, false,
            QStringLiteral("baresip did not take it within %1 s").arg(kMessageTimeoutMs / 1000));
    });
    if (address != sip.contact) {
        if (sip.call.id != 0) {
            FinishMessage(id, false, QStringLiteral("a call is under way"));
            return;
        }
        sip.contact = address;
        StopBaresip();
    }
    if (sip.process == nullptr && (sip.restartTimer == nullptr || !sip.restartTimer->isActive()))
        problem = StartBaresip();
    if (!problem.isEmpty())
        FinishMessage(id, false, problem);
    else
        SendWaitingMessages();
}

} // namespace sip_internal
