// SPDX-License-Identifier: GPL-3.0-or-later
// The "modemmanager" and "automatic" backends: voice calls through
// ModemManager on the system bus. Every step that waits for ModemManager is
// asynchronous and answered through the Qt event loop of the calling
// thread, so the window thread never stalls on a dialling modem.
#include "platform/phone/phone_backend.h"
#include "platform/phone/phone_internal.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <functional>

#include "platform/eventlog.h"
#include "platform/phone.h"

namespace {

using phone_internal::ReportCall;
using phone_internal::WriteDiagnostic;

const QString kService = QStringLiteral("org.freedesktop.ModemManager1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kObjectManagerIface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kModemIface = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString kVoiceIface = QStringLiteral("org.freedesktop.ModemManager1.Modem.Voice");
const QString kCallIface = QStringLiteral("org.freedesktop.ModemManager1.Call");
const QString kMessagingIface = QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging");
const QString kSmsIface = QStringLiteral("org.freedesktop.ModemManager1.Sms");

constexpr int kStateRegistered = 8; // MM_MODEM_STATE_REGISTERED; higher states are usable too
constexpr int kCallRingingOut = 2;
constexpr int kCallActive = 4;
constexpr int kCallTerminated = 7;

constexpr int kListTimeoutMs = 25000;
constexpr int kCreateTimeoutMs = 30000;
constexpr int kStartTimeoutMs = 120000; // Start answers only once the network has set up the call

// A call that never ends would hold every later call back: one that nobody
// has answered this long after it was dialled is hung up, and so is one
// still connected after the active limit.
int ringTimeoutMs = 120000;
int activeLimitMs = 30 * 60 * 1000;

struct ModemChoice {
    QString modemPath; // empty when no usable modem
    QString problem;
};

QString DescribeError(const QDBusMessage& reply)
{
    const QString text = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        reply.errorName().endsWith(QLatin1String(".Unauthorized"))) {
        return QStringLiteral("permission denied (%1)").arg(text);
    }
    return text;
}

// Picks the first registered voice modem from a GetManagedObjects reply.
ModemChoice ChooseModem(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {
            {},
            QStringLiteral("no modem: ModemManager not reachable (%1)").arg(DescribeError(reply))};
    }
    if (reply.arguments().isEmpty() || !reply.arguments().at(0).canConvert<QDBusArgument>()) {
        return {{}, QStringLiteral("no modem: unexpected modem list from ModemManager")};
    }
    const QDBusArgument list = qvariant_cast<QDBusArgument>(reply.arguments().at(0));
    int modems = 0;
    QString voiceModem;
    int voiceState = 0;
    list.beginMap();
    while (!list.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        list.beginMapEntry();
        list >> path >> interfaces;
        list.endMapEntry();
        if (!interfaces.contains(kModemIface)) {
            continue;
        }
        ++modems;
        if (!interfaces.contains(kVoiceIface)) {
            continue;
        }
        const int state = interfaces.value(kModemIface).value(QStringLiteral("State")).toInt();
        if (state >= kStateRegistered) {
            list.endMap();
            return {path.path(), {}};
        }
        if (voiceModem.isEmpty()) {
            voiceModem = path.path();
            voiceState = state;
        }
    }
    list.endMap();
    if (modems == 0) {
        return {{}, QStringLiteral("no modem: ModemManager lists no modem")};
    }
    if (voiceModem.isEmpty()) {
        return {{}, QStringLiteral("no modem: no modem with voice support")};
    }
    return {{},
            QStringLiteral("no modem: modem %1 is not registered with a network (state %2)")
                .arg(voiceModem)
                .arg(voiceState)};
}

QDBusMessage ListModemsMessage()
{
    return QDBusMessage::createMethodCall(kService, kManagerPath, kObjectManagerIface,
                                          QStringLiteral("GetManagedObjects"));
}

void OnReply(const QDBusPendingCall& pending, std::function<void(const QDBusMessage&)> done)
{
    auto* watcher = new QDBusPendingCallWatcher(pending);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, done = std::move(done)]() {
                         done(watcher->reply());
                         watcher->deleteLater();
                     });
}

const char* CallStateName(int state)
{
    switch (state) {
    case 1:
        return "dialing";
    case kCallRingingOut:
        return "ringing";
    case 3:
        return "ringing in";
    case kCallActive:
        return "active";
    case 5:
        return "held";
    case 6:
        return "waiting";
    case kCallTerminated:
        return "terminated";
    default:
        return "unknown state";
    }
}

struct CallRecord {
    LONG id = 0;
    QString number;
    QString modemPath;
    QString owner;       // unique bus name of ModemManager
    bool placed = false; // has rung or been active
    bool active = false; // has been answered
};

// Follows our calls to their end: their StateChanged signals, and
// ModemManager going away. QtDBus needs slots for that.
class CallWatcher : public QObject {
    Q_OBJECT
public:
    QHash<QString, CallRecord> calls; // by call object path

    CallWatcher()
        : serviceWatcher_(kService, QDBusConnection::systemBus(),
                          QDBusServiceWatcher::WatchForUnregistration)
    {
        connect(&serviceWatcher_, &QDBusServiceWatcher::serviceUnregistered, this,
                &CallWatcher::OnServiceGone);
    }

    void Follow(const QString& callPath, const CallRecord& record)
    {
        calls.insert(callPath, record);
        QDBusConnection::systemBus().connect(record.owner, callPath, kCallIface,
                                             QStringLiteral("StateChanged"), this,
                                             SLOT(OnStateChanged(int, int, uint, QDBusMessage)));
    }

    // Reports the call's last news, stops following it and, while
    // ModemManager is there, has it drop the call object.
    void Finish(const QString& callPath, DWORD event, const QString& reason, bool deleteCall = true)
    {
        const CallRecord record = calls.take(callPath);
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.disconnect(record.owner, callPath, kCallIface, QStringLiteral("StateChanged"), this,
                       SLOT(OnStateChanged(int, int, uint, QDBusMessage)));
        if (deleteCall) {
            QDBusMessage remove = QDBusMessage::createMethodCall(
                kService, record.modemPath, kVoiceIface, QStringLiteral("DeleteCall"));
            remove << QVariant::fromValue(QDBusObjectPath(callPath));
            bus.call(remove, QDBus::NoBlock);
        }
        ReportCall(record.id, event, reason);
    }

public slots:
    void OnStateChanged(int oldState, int newState, uint reason, const QDBusMessage& message)
    {
        Q_UNUSED(oldState);
        const auto found = calls.find(message.path());
        if (found == calls.end()) {
            return;
        }
        QString text = QStringLiteral("call to %1: %2")
                           .arg(found->number, QLatin1String(CallStateName(newState)));
        if (newState == kCallTerminated) {
            text += QStringLiteral(" (reason %1)").arg(reason);
        }
        WriteDiagnostic(EVENTLOG_INFORMATION_TYPE, text);
        if ((newState == kCallRingingOut || newState == kCallActive) && !found->placed) {
            found->placed = true;
            ReportCall(found->id, PHONE_EVENT_PLACED, QString());
        }
        if (newState == kCallActive && !found->active) {
            found->active = true;
            ReportCall(found->id, PHONE_EVENT_ANSWERED, QString());
            HangUpLater(message.path(), found->id, activeLimitMs);
        } else if (newState == kCallTerminated) {
            if (found->placed) {
                Finish(message.path(), PHONE_EVENT_ENDED, QString());
            } else {
                Finish(message.path(), PHONE_EVENT_FAILED,
                       QStringLiteral("the call ended before it rang (reason %1)").arg(reason));
            }
        }
    }

    // After `milliseconds`, a call still followed under this id that has
    // not been answered yet (or, once answered, at all) is hung up.
    void HangUpLater(const QString& callPath, LONG id, int milliseconds)
    {
        const bool answered = calls.value(callPath).active;
        QTimer::singleShot(milliseconds, this, [this, callPath, id, answered, milliseconds] {
            const auto found = calls.constFind(callPath);
            if (found == calls.constEnd() || found->id != id || found->active != answered)
                return;
            QDBusConnection::systemBus().call(
                QDBusMessage::createMethodCall(found->owner, callPath, kCallIface,
                                               QStringLiteral("Hangup")),
                QDBus::NoBlock);
            if (answered)
                Finish(callPath, PHONE_EVENT_ENDED,
                       QStringLiteral("still connected after %1")
                           .arg(phone_internal::DurationText(milliseconds)));
            else if (found->placed)
                Finish(callPath, PHONE_EVENT_ENDED, phone_internal::UnansweredText(milliseconds));
            else
                Finish(callPath, PHONE_EVENT_FAILED,
                       QStringLiteral("the call did not ring within %1")
                           .arg(phone_internal::SecondsText(milliseconds)));
        });
    }

    void OnServiceGone()
    {
        for (const QString& callPath : calls.keys()) {
            if (calls.value(callPath).placed) {
                Finish(callPath, PHONE_EVENT_ENDED, QString(), false);
            } else {
                Finish(callPath, PHONE_EVENT_FAILED, QStringLiteral("ModemManager went away"),
                       false);
            }
        }
    }

private:
    QDBusServiceWatcher serviceWatcher_;
};

// Lives as long as the process; reachable, so never reported as a leak.
CallWatcher* callWatcher = nullptr;

void StartCall(const QString& callPath, const CallRecord& record)
{
    if (callWatcher == nullptr) {
        callWatcher = new CallWatcher;
    }
    // Follow before Start: the first state changes arrive before Start answers.
    callWatcher->Follow(callPath, record);
    QDBusMessage start =
        QDBusMessage::createMethodCall(record.owner, callPath, kCallIface, QStringLiteral("Start"));
    OnReply(QDBusConnection::systemBus().asyncCall(start, kStartTimeoutMs),
            [callPath](const QDBusMessage& reply) {
                if (reply.type() == QDBusMessage::ReplyMessage ||
                    !callWatcher->calls.contains(callPath)) {
                    return;
                }
                if (callWatcher->calls.value(callPath).placed) {
                    callWatcher->Finish(callPath, PHONE_EVENT_ENDED, QString());
                } else {
                    callWatcher->Finish(callPath, PHONE_EVENT_FAILED, DescribeError(reply));
                }
            });
    callWatcher->HangUpLater(callPath, record.id, ringTimeoutMs);
}

// Empty when the system bus can be reached, else why not.
QString SystemBusProblem()
{
    if (QCoreApplication::instance() == nullptr) {
        return QStringLiteral("no bus: no Qt event loop");
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return QStringLiteral("no bus: the system bus cannot be reached (%1)")
            .arg(bus.lastError().message());
    }
    return QString();
}

// Asks ModemManager, without waiting, for a registered voice modem. done
// runs later on this thread with the modem's path, or with an empty path
// and what is missing.
using ModemFound = std::function<void(const QString& modemPath, const QString& problem)>;
void LookForModem(ModemFound done)
{
    const QString problem = SystemBusProblem();
    if (!problem.isEmpty()) {
        done(QString(), problem);
        return;
    }
    OnReply(QDBusConnection::systemBus().asyncCall(ListModemsMessage(), kListTimeoutMs),
            [done = std::move(done)](const QDBusMessage& reply) {
                const ModemChoice choice = ChooseModem(reply);
                done(choice.modemPath, choice.problem);
            });
}

// Dials number through the modem, reporting PLACED, ENDED or FAILED for id.
void DialThroughModem(LONG id, const QString& number, const QString& modemPath)
{
    WriteDiagnostic(EVENTLOG_INFORMATION_TYPE,
                    QStringLiteral("calling %1 through %2").arg(number, modemPath));
    QDBusMessage create = QDBusMessage::createMethodCall(kService, modemPath, kVoiceIface,
                                                         QStringLiteral("CreateCall"));
    create << QVariantMap{{QStringLiteral("number"), number}};
    OnReply(QDBusConnection::systemBus().asyncCall(create, kCreateTimeoutMs),
            [id, number, modemPath](const QDBusMessage& reply) {
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                    ReportCall(
                        id, PHONE_EVENT_FAILED,
                        QStringLiteral("the modem refused the call: %1").arg(DescribeError(reply)));
                    return;
                }
                const QString callPath =
                    qvariant_cast<QDBusObjectPath>(reply.arguments().at(0)).path();
                CallRecord record;
                record.id = id;
                record.number = number;
                record.modemPath = modemPath;
                record.owner = reply.service();
                StartCall(callPath, record);
            });
}

// ---- Short messages -------------------------------------------------------------

constexpr int kSmsTimeoutMs = 60000; // Send answers once the network has taken the message

void ReportSms(LONG id, const QString& number, const QString& problem)
{
    if (problem.isEmpty())
        ReportCall(id, PHONE_EVENT_MESSAGE_SENT, QStringLiteral("SMS to %1").arg(number));
    else
        ReportCall(id, PHONE_EVENT_MESSAGE_FAILED,
                   QStringLiteral("SMS to %1: %2").arg(number, problem));
}

// Has the modem make the message (Messaging.Create) and send it (Sms.Send);
// the message object is dropped again either way.
void SendSms(LONG id, const QString& number, const QString& text, const QString& modemPath)
{
    QDBusMessage create = QDBusMessage::createMethodCall(kService, modemPath, kMessagingIface,
                                                         QStringLiteral("Create"));
    create << QVariantMap{{QStringLiteral("number"), number}, {QStringLiteral("text"), text}};
    OnReply(
        QDBusConnection::systemBus().asyncCall(create, kCreateTimeoutMs),
        [id, number, modemPath](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                ReportSms(
                    id, number,
                    QStringLiteral("the modem refused the message: %1").arg(DescribeError(reply)));
                return;
            }
            const QString smsPath = qvariant_cast<QDBusObjectPath>(reply.arguments().at(0)).path();
            const QString owner = reply.service();
            QDBusMessage send =
                QDBusMessage::createMethodCall(owner, smsPath, kSmsIface, QStringLiteral("Send"));
            OnReply(QDBusConnection::systemBus().asyncCall(send, kSmsTimeoutMs),
                    [id, number, modemPath, smsPath](const QDBusMessage& sent) {
                        QDBusMessage remove = QDBusMessage::createMethodCall(
                            kService, modemPath, kMessagingIface, QStringLiteral("Delete"));
                        remove << QVariant::fromValue(QDBusObjectPath(smsPath));
                        QDBusConnection::systemBus().call(remove, QDBus::NoBlock);
                        ReportSms(id, number,
                                  sent.type() == QDBusMessage::ReplyMessage
                                      ? QString()
                                      : QStringLiteral("not sent: %1").arg(DescribeError(sent)));
                    });
        });
}

void MessageThroughModem(LONG id, const QString& number, const QString& text)
{
    LookForModem([id, number, text](const QString& modemPath, const QString& problem) {
        if (modemPath.isEmpty())
            ReportSms(id, number, problem);
        else
            SendSms(id, number, text, modemPath);
    });
}

// ---- The two choices ----------------------------------------------------------

// Automatic: what the last look for a modem found.
struct ModemLook {
    bool seen = false;
    bool looking = false;
    QElapsedTimer last; // invalid before the first look
    int intervalMs = 30000;
};

ModemLook look;

void NoteLook(const QString& modemPath)
{
    look.seen = !modemPath.isEmpty();
    look.last.start();
}

void RefreshModemLook()
{
    if (look.looking) {
        return;
    }
    look.looking = true;
    LookForModem([](const QString& modemPath, const QString&) {
        look.looking = false;
        NoteLook(modemPath);
    });
}

void CallThroughModem(LONG id, const QString& number, bool onlyLogWithoutModem)
{
    LookForModem(
        [id, number, onlyLogWithoutModem](const QString& modemPath, const QString& problem) {
            if (onlyLogWithoutModem) {
                NoteLook(modemPath);
            }
            if (!modemPath.isEmpty()) {
                DialThroughModem(id, number, modemPath);
            } else if (onlyLogWithoutModem) {
                phone_internal::PrintOnlyLogged(number);
                ReportCall(id, PHONE_EVENT_LOGGED, problem);
            } else {
                ReportCall(id, PHONE_EVENT_FAILED, problem);
            }
        });
}

// Checks the bus at once and looks for the modem without waiting; what it
// finds is logged when the answer comes.
void StartModem(bool automatic)
{
    const QString busProblem = SystemBusProblem();
    if (!busProblem.isEmpty()) {
        WriteDiagnostic(automatic ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE,
                        busProblem + (automatic ? QStringLiteral("; calls will only be logged")
                                                : QStringLiteral("; calls will fail")));
        if (automatic) {
            NoteLook(QString());
        }
        return;
    }
    look.looking = automatic;
    LookForModem([automatic](const QString& modemPath, const QString& problem) {
        if (automatic) {
            look.looking = false;
            NoteLook(modemPath);
        }
        if (!modemPath.isEmpty()) {
            WriteDiagnostic(EVENTLOG_INFORMATION_TYPE,
                            QStringLiteral("calls go to the modem %1").arg(modemPath));
        } else {
            WriteDiagnostic(automatic ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE,
                            problem + (automatic
                                           ? QStringLiteral("; calls will only be logged until "
                                                            "a modem is ready")
                                           : QStringLiteral("; calls will fail until a modem "
                                                            "is ready")));
        }
    });
}

// A look older than the interval starts another one, without waiting.
DWORD AutomaticRoute()
{
    if (!look.last.isValid() || look.last.elapsed() >= look.intervalMs) {
        RefreshModemLook();
    }
    if (look.seen)
        return PHONE_ROUTE_MODEM;
    return look.last.isValid() ? PHONE_ROUTE_NONE : PHONE_ROUTE_LOG;
}

} // namespace

namespace phone_internal {

const PhoneBackendOps automaticBackend = {
    .choice = "automatic",
    .shown = "automatic",
    .name = "automatic",
    .choose = nullptr,
    .start = [] { StartModem(true); },
    .stop = nullptr,
    .dial = [](LONG id, const QString& number) { CallThroughModem(id, number, true); },
    .route = AutomaticRoute,
    .message = MessageThroughModem,
    .ready = [] { return AutomaticRoute() == PHONE_ROUTE_MODEM; },
};

const PhoneBackendOps modemManagerBackend = {
    .choice = "modemmanager",
    .shown = "modemmanager",
    .name = "modemmanager",
    .choose = nullptr,
    .start = [] { StartModem(false); },
    .stop = nullptr,
    .dial = [](LONG id, const QString& number) { CallThroughModem(id, number, false); },
    .route = [] { return PHONE_ROUTE_MODEM; },
    .message = MessageThroughModem,
    .ready = [] { return AutomaticRoute() == PHONE_ROUTE_MODEM; },
};

} // namespace phone_internal

void SetPhoneModemRingTimeout(int milliseconds)
{
    ringTimeoutMs = milliseconds;
}

void SetPhoneModemActiveLimit(int milliseconds)
{
    activeLimitMs = milliseconds;
}

void SetPhoneModemLookInterval(int milliseconds)
{
    look.intervalMs = milliseconds;
}

#include "modemmanager.moc"
