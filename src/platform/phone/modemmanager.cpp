// Voice calls through ModemManager on the system bus. Every step that waits
// for ModemManager is asynchronous and answered through the Qt event loop of
// the calling thread, so the window thread never stalls on a dialling modem.
#include "platform/phone/phone_internal.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QHash>
#include <QObject>
#include <QVariantMap>

#include <functional>

namespace {

const QString kService = QStringLiteral("org.freedesktop.ModemManager1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kObjectManagerIface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kModemIface = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString kVoiceIface = QStringLiteral("org.freedesktop.ModemManager1.Modem.Voice");
const QString kCallIface = QStringLiteral("org.freedesktop.ModemManager1.Call");

constexpr int kStateRegistered = 8; // MM_MODEM_STATE_REGISTERED; higher states are usable too
constexpr int kCallTerminated = 7;

constexpr int kProbeTimeoutMs = 5000;
constexpr int kListTimeoutMs = 25000;
constexpr int kCreateTimeoutMs = 30000;
constexpr int kStartTimeoutMs = 120000; // Start answers only once the network has set up the call

struct ModemChoice {
    QString modemPath; // empty when no usable modem
    QString problem;
};

QString DescribeError(const QDBusMessage& reply)
{
    return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
}

// Picks the first registered voice modem from a GetManagedObjects reply.
ModemChoice ChooseModem(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {{}, QStringLiteral("ModemManager not reachable (%1)").arg(DescribeError(reply))};
    }
    if (reply.arguments().isEmpty() || !reply.arguments().at(0).canConvert<QDBusArgument>()) {
        return {{}, QStringLiteral("unexpected modem list from ModemManager")};
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
        return {{}, QStringLiteral("ModemManager lists no modem")};
    }
    if (voiceModem.isEmpty()) {
        return {{}, QStringLiteral("no modem with voice support")};
    }
    return {{},
            QStringLiteral("modem %1 is not registered with a network (state %2)")
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
    case 2:
        return "ringing";
    case 3:
        return "ringing in";
    case 4:
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
    QString number;
    QString modemPath;
    QString owner; // unique bus name of ModemManager
};

// Receives the StateChanged signals of our calls; QtDBus needs a slot for that.
class CallWatcher : public QObject {
    Q_OBJECT
public:
    QHash<QString, CallRecord> calls; // by call object path

    void Follow(const QString& callPath, const CallRecord& record)
    {
        calls.insert(callPath, record);
        QDBusConnection::systemBus().connect(record.owner, callPath, kCallIface,
                                             QStringLiteral("StateChanged"), this,
                                             SLOT(OnStateChanged(int, int, uint, QDBusMessage)));
    }

    // Stops following the call and has ModemManager drop its call object.
    void Forget(const QString& callPath)
    {
        const CallRecord record = calls.take(callPath);
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.disconnect(record.owner, callPath, kCallIface, QStringLiteral("StateChanged"), this,
                       SLOT(OnStateChanged(int, int, uint, QDBusMessage)));
        QDBusMessage remove = QDBusMessage::createMethodCall(
            kService, record.modemPath, kVoiceIface, QStringLiteral("DeleteCall"));
        remove << QVariant::fromValue(QDBusObjectPath(callPath));
        bus.call(remove, QDBus::NoBlock);
    }

public slots:
    void OnStateChanged(int oldState, int newState, uint reason, const QDBusMessage& message)
    {
        Q_UNUSED(oldState);
        const auto found = calls.constFind(message.path());
        if (found == calls.constEnd()) {
            return;
        }
        QString text = QStringLiteral("call to %1: %2")
                           .arg(found->number, QLatin1String(CallStateName(newState)));
        if (newState == kCallTerminated) {
            text += QStringLiteral(" (reason %1)").arg(reason);
        }
        phone_internal::WriteDiagnostic(text);
        if (newState == kCallTerminated) {
            Forget(message.path());
        }
    }
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
            [callPath, number = record.number](const QDBusMessage& reply) {
                if (reply.type() == QDBusMessage::ReplyMessage) {
                    return;
                }
                phone_internal::WriteDiagnostic(
                    QStringLiteral("call to %1 failed: %2").arg(number, DescribeError(reply)));
                if (callWatcher->calls.contains(callPath)) {
                    callWatcher->Forget(callPath);
                }
            });
}

void CreateCall(const QString& number, const QString& modemPath)
{
    QDBusMessage create = QDBusMessage::createMethodCall(kService, modemPath, kVoiceIface,
                                                         QStringLiteral("CreateCall"));
    create << QVariantMap{{QStringLiteral("number"), number}};
    OnReply(
        QDBusConnection::systemBus().asyncCall(create, kCreateTimeoutMs),
        [number, modemPath](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                phone_internal::WriteDiagnostic(QStringLiteral("modem %1 refused a call to %2: %3")
                                                    .arg(modemPath, number, DescribeError(reply)));
                return;
            }
            const QString callPath = qvariant_cast<QDBusObjectPath>(reply.arguments().at(0)).path();
            StartCall(callPath, CallRecord{number, modemPath, reply.service()});
        });
}

} // namespace

namespace phone_internal {

bool HasUsableModem(QString* why)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        *why = QStringLiteral("no system bus (%1)").arg(bus.lastError().message());
        return false;
    }
    const ModemChoice choice =
        ChooseModem(bus.call(ListModemsMessage(), QDBus::Block, kProbeTimeoutMs));
    *why = choice.problem;
    return !choice.modemPath.isEmpty();
}

bool StartModemManagerCall(const QString& number)
{
    if (QCoreApplication::instance() == nullptr) {
        WriteDiagnostic(QStringLiteral("call to %1 not placed: no Qt event loop").arg(number));
        return false;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        WriteDiagnostic(QStringLiteral("call to %1 not placed: no system bus (%2)")
                            .arg(number, bus.lastError().message()));
        return false;
    }
    OnReply(
        bus.asyncCall(ListModemsMessage(), kListTimeoutMs), [number](const QDBusMessage& reply) {
            const ModemChoice choice = ChooseModem(reply);
            if (choice.modemPath.isEmpty()) {
                WriteDiagnostic(
                    QStringLiteral("call to %1 not placed: %2").arg(number, choice.problem));
                return;
            }
            WriteDiagnostic(QStringLiteral("calling %1 through %2").arg(number, choice.modemPath));
            CreateCall(number, choice.modemPath);
        });
    return true;
}

} // namespace phone_internal

#include "modemmanager.moc"
