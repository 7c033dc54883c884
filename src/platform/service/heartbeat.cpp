// SPDX-License-Identifier: GPL-3.0-or-later
// The heartbeat: an HTTP GET through Qt Network, answered on the window
// thread's event loop. The URL often holds the server's key for this
// device, so the log names only its host.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include "platform/eventlog.h"
#include "platform/service.h"
#include "platform/service/heartbeat_options.h"

namespace {

struct Heartbeat {
    QUrl url; // empty: none asked for
    DWORD intervalSeconds = 300;
    int timeoutMs = 30000;
    QNetworkAccessManager* network = nullptr; // made at the first beat
    QNetworkReply* pending = nullptr;         // the beat under way
    bool failing = false;                     // the last beat failed
};

Heartbeat heartbeat;

void Log(WORD type, const QString& text)
{
    AppendEventLog(type, reinterpret_cast<LPCWSTR>(text.utf16()));
}

void OnAnswer(QNetworkReply* reply)
{
    if (heartbeat.pending == reply)
        heartbeat.pending = nullptr;
    reply->deleteLater();
    const QString host = heartbeat.url.host();
    if (reply->error() != QNetworkReply::NoError) {
        heartbeat.failing = true;
        Log(EVENTLOG_WARNING_TYPE,
            QStringLiteral("heartbeat to %1 failed: %2").arg(host, reply->errorString()));
    } else if (heartbeat.failing) {
        heartbeat.failing = false;
        Log(EVENTLOG_INFORMATION_TYPE, QStringLiteral("heartbeat to %1 answered again").arg(host));
    }
}

} // namespace

DWORD HeartbeatGetInterval()
{
    return heartbeat.url.isEmpty() ? 0 : heartbeat.intervalSeconds;
}

void HeartbeatSend()
{
    if (heartbeat.url.isEmpty())
        return;
    // One at a time: a beat still under way is bounded by its timeout and
    // tells its own failure.
    if (heartbeat.pending != nullptr)
        return;
    if (heartbeat.network == nullptr)
        heartbeat.network = new QNetworkAccessManager;
    QNetworkRequest request(heartbeat.url);
    request.setTransferTimeout(heartbeat.timeoutMs);
    QNetworkReply* reply = heartbeat.network->get(request);
    heartbeat.pending = reply;
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply] { OnAnswer(reply); });
}

bool SetHeartbeatUrl(const char* url, std::string* error)
{
    const QUrl parsed(QString::fromUtf8(url != nullptr ? url : ""), QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        *error = "--heartbeat needs an http:// or https:// URL, not \"" +
                 std::string(url != nullptr ? url : "") + "\"";
        return false;
    }
    heartbeat.url = parsed;
    return true;
}

bool SetHeartbeatInterval(const char* seconds, std::string* error)
{
    const QString text = QString::fromUtf8(seconds != nullptr ? seconds : "");
    bool number = false;
    const uint value = text.toUInt(&number);
    bool digits = !text.isEmpty();
    for (const QChar c : text)
        digits = digits && c.isDigit();
    if (!number || !digits || value < 1 || value > 86400) {
        *error = "--heartbeat-interval needs whole seconds from 1 to 86400, not \"" +
                 text.toStdString() + "\"";
        return false;
    }
    heartbeat.intervalSeconds = value;
    return true;
}

void SetHeartbeatTimeout(int milliseconds)
{
    heartbeat.timeoutMs = milliseconds;
}
