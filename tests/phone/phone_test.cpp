// PhoneMakeCall through each backend. The ModemManager backend talks to a
// python3-dbusmock ModemManager on a private dbus-daemon that stands in for
// the system bus.
#include "platform/phone.h"
#include "platform/phone/phone_backend.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <regex>
#include <string>

// Readable failure messages for QString and QStringList.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString kMmService = QStringLiteral("org.freedesktop.ModemManager1");
const QString kMmPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kModemPath = QStringLiteral("/org/freedesktop/ModemManager1/Modem/0");
const QString kMockIface = QStringLiteral("org.freedesktop.DBus.Mock");

// Redirects standard output or standard error (by descriptor) into a
// temporary file for as long as it lives.
class StreamCapture {
public:
    explicit StreamCapture(int fd) : fd_(fd)
    {
        std::fflush(stdout);
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~StreamCapture()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(saved_, fd_);
        close(saved_);
        std::fclose(file_);
    }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::string Text() const
    {
        std::fflush(stdout);
        std::fflush(stderr);
        struct stat info {};
        fstat(fileno(file_), &info);
        std::string text(static_cast<std::size_t>(info.st_size), '\0');
        const ssize_t got = pread(fileno(file_), text.data(), text.size(), 0);
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return text;
    }

private:
    int fd_;
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

// Runs the event loop until done() holds or timeoutMs pass.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QTimer wake; // keeps WaitForMoreEvents from sleeping past the deadline
    wake.start(10);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Hands number to PhoneMakeCall from a buffer that is wiped right after, as
// the caller's buffer may be.
LONG PlaceCall(const std::u16string& number)
{
    std::u16string buffer = number;
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    request.pszDestAddress = buffer.c_str();
    const LONG result = PhoneMakeCall(&request);
    buffer.assign(buffer.size(), u'X');
    return result;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The private bus and the Qt application, for the whole test program.
struct BusEnvironment : testing::Environment {
    QString skipReason;
    QString python; // one that can import dbusmock
    QProcess* daemon = nullptr;

    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "phone_test";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // reachable through qApp for the whole run

        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            skipReason = QStringLiteral("dbus-daemon is not installed");
            return;
        }
        for (const QString& candidate :
             {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
            if (QProcess::execute(candidate,
                                  {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) == 0) {
                python = candidate;
                break;
            }
        }
        if (python.isEmpty()) {
            skipReason = QStringLiteral("python3-dbusmock is not installed");
            return;
        }
        daemon = new QProcess;
        daemon->setStandardErrorFile(QProcess::nullDevice()); // only its fd-limit notice
        daemon->start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--print-address"),
                       QStringLiteral("--nofork")});
        if (!daemon->waitForStarted(5000) || !daemon->waitForReadyRead(5000)) {
            skipReason = QStringLiteral("dbus-daemon did not start");
            return;
        }
        const QByteArray address = daemon->readLine().trimmed();
        // Must happen before QtDBus first opens the system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    }

    void TearDown() override
    {
        if (daemon != nullptr) {
            daemon->terminate();
            daemon->waitForFinished(3000);
            delete daemon;
            daemon = nullptr;
        }
    }
};

BusEnvironment* busEnvironment =
    static_cast<BusEnvironment*>(testing::AddGlobalTestEnvironment(new BusEnvironment));

// One python3-dbusmock ModemManager on the private bus.
class MockModemManager {
public:
    ~MockModemManager() { Stop(); }

    bool Start(const QString& parameters)
    {
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(logDir_.filePath(QStringLiteral("mock.err")));
        process_.start(busEnvironment->python,
                       {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                        QStringLiteral("--system"), QStringLiteral("--template"),
                        QStringLiteral(PHONE_MOCK_TEMPLATE), QStringLiteral("-p"), parameters,
                        QStringLiteral("-l"), logDir_.filePath(QStringLiteral("mock.log"))});
        if (!process_.waitForStarted(5000)) {
            return false;
        }
        return SpinUntil(
                   [this] { return Registered() || process_.state() == QProcess::NotRunning; },
                   10000) &&
               Registered();
    }

    void Stop()
    {
        if (process_.state() == QProcess::NotRunning) {
            return;
        }
        process_.terminate();
        process_.waitForFinished(3000);
        SpinUntil([] { return !Registered(); }, 3000);
    }

    QStringList DialledNumbers() const
    {
        const QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
            kMmService, kMmPath, kMockIface, QStringLiteral("GetDialledNumbers")));
        return reply.arguments().value(0).toStringList();
    }

    int ModemMethodCalls(const QString& method) const
    {
        QDBusMessage ask = QDBusMessage::createMethodCall(kMmService, kModemPath, kMockIface,
                                                          QStringLiteral("GetMethodCalls"));
        ask << method;
        const QDBusMessage reply = QDBusConnection::systemBus().call(ask);
        const QDBusArgument calls = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
        int count = 0;
        calls.beginArray();
        while (!calls.atEnd()) {
            calls.beginStructure();
            qulonglong stamp = 0;
            QVariantList args;
            calls >> stamp >> args;
            calls.endStructure();
            ++count;
        }
        calls.endArray();
        return count;
    }

    std::string Diagnostics() const
    {
        QFile err(logDir_.filePath(QStringLiteral("mock.err")));
        return err.open(QIODevice::ReadOnly) ? err.readAll().toStdString() : std::string();
    }

    static bool Registered()
    {
        return QDBusConnection::systemBus().interface()->isServiceRegistered(kMmService);
    }

private:
    QTemporaryDir logDir_;
    QProcess process_;
};

class PhoneBusTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!busEnvironment->skipReason.isEmpty()) {
            GTEST_SKIP() << busEnvironment->skipReason.toStdString();
        }
        ASSERT_FALSE(MockModemManager::Registered()) << "a ModemManager is left on the test bus";
    }

    // Starts a mock with these template parameters; "" means no ModemManager.
    void StartMock(const QString& parameters)
    {
        mock_.Stop();
        if (parameters.isEmpty()) {
            return;
        }
        ASSERT_TRUE(mock_.Start(parameters)) << mock_.Diagnostics();
    }

    MockModemManager mock_;
};

TEST_F(PhoneBusTest, DefaultChoiceTakesARegisteredVoiceModemElseTheLog)
{
    struct Case {
        QString parameters;
        const char* backend;
        const char* warning; // nullptr: no line at all
    };
    const Case cases[] = {
        {QStringLiteral("{}"), "modemmanager", nullptr},
        {QStringLiteral("{\"state\": 11}"), "modemmanager", nullptr},
        {QString(), "log", "ModemManager not reachable"},
        {QStringLiteral("{\"modem\": false}"), "log", "no modem"},
        {QStringLiteral("{\"voice\": false}"), "log", "no modem with voice support"},
        {QStringLiteral("{\"state\": 7}"), "log", "not registered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameters.isEmpty() ? std::string("no ModemManager")
                                            : c.parameters.toStdString());
        StartMock(c.parameters);
        ASSERT_FALSE(HasFatalFailure());
        std::string text;
        {
            StreamCapture err(STDERR_FILENO);
            ChooseDefaultPhoneBackend();
            text = err.Text();
        }
        EXPECT_STREQ(PhoneBackendName(), c.backend);
        if (c.warning == nullptr) {
            EXPECT_EQ(text, "");
        } else {
            EXPECT_TRUE(Contains(text, c.warning)) << text;
            EXPECT_TRUE(Contains(text, "calls will only be logged")) << text;
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        }
    }
}

TEST_F(PhoneBusTest, CallReachesTheModemWithTheNumberUnchangedAndIsFollowedToItsEnd)
{
    // Start answers late, as a real network does, to show PhoneMakeCall does not wait.
    StartMock(QStringLiteral("{\"start_delay_ms\": 1500}"));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(SetPhoneBackend("modemmanager", nullptr));

    StreamCapture err(STDERR_FILENO);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(PlaceCall(u"+49 170 1234567"), 0);
    EXPECT_LT(clock.elapsed(), 1000);

    // The window thread's event loop must keep turning while the modem dials.
    qint64 longestStall = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
    heartbeat.start(20);
    ASSERT_TRUE(SpinUntil([&] { return Contains(err.Text(), "active"); })) << err.Text();
    heartbeat.stop();
    EXPECT_LT(longestStall, 1000);
    EXPECT_EQ(mock_.DialledNumbers(), QStringList{QStringLiteral("+49 170 1234567")});
    const std::string text = err.Text();
    const std::size_t dialing = text.find("call to +49 170 1234567: dialing");
    const std::size_t ringing = text.find("call to +49 170 1234567: ringing");
    const std::size_t active = text.find("call to +49 170 1234567: active");
    ASSERT_NE(dialing, std::string::npos) << text;
    ASSERT_NE(ringing, std::string::npos) << text;
    EXPECT_LT(dialing, ringing);
    EXPECT_LT(ringing, active);

    // The far end hangs up: the end is reported and the call object deleted.
    const QDBusMessage hangup = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
        kMmService, QStringLiteral("/org/freedesktop/ModemManager1/Call/0"),
        QStringLiteral("org.freedesktop.ModemManager1.Call"), QStringLiteral("Hangup")));
    ASSERT_EQ(hangup.type(), QDBusMessage::ReplyMessage) << hangup.errorMessage().toStdString();
    EXPECT_TRUE(SpinUntil([&] {
        return Contains(err.Text(), "call to +49 170 1234567: terminated");
    })) << err.Text();
    EXPECT_TRUE(
        SpinUntil([&] { return mock_.ModemMethodCalls(QStringLiteral("DeleteCall")) == 1; }));
}

TEST_F(PhoneBusTest, FailuresGoToStandardErrorAndTheProgramGoesOn)
{
    struct Case {
        QString parameters;
        const char* message;
    };
    const Case cases[] = {
        {QString(), "call to 0301234 not placed: ModemManager not reachable"},
        {QStringLiteral("{\"modem\": false}"),
         "call to 0301234 not placed: ModemManager lists no modem"},
        {QStringLiteral("{\"voice\": false}"),
         "call to 0301234 not placed: no modem with voice support"},
        {QStringLiteral("{\"state\": 7}"),
         "call to 0301234 not placed: modem /org/freedesktop/ModemManager1/Modem/0 is not "
         "registered"},
        {QStringLiteral(
             "{\"start_error\": \"org.freedesktop.ModemManager1.Error.Core.Unauthorized\"}"),
         "call to 0301234 failed: org.freedesktop.ModemManager1.Error.Core.Unauthorized"},
    };
    ASSERT_TRUE(SetPhoneBackend("modemmanager", nullptr));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameters.isEmpty() ? std::string("no ModemManager")
                                            : c.parameters.toStdString());
        StartMock(c.parameters);
        ASSERT_FALSE(HasFatalFailure());
        StreamCapture err(STDERR_FILENO);
        // Accepted for dialling: the failure shows only later, on standard error.
        EXPECT_EQ(PlaceCall(u"0301234"), 0);
        EXPECT_TRUE(SpinUntil([&] { return Contains(err.Text(), c.message); })) << err.Text();
        if (!c.parameters.isEmpty()) {
            EXPECT_EQ(mock_.DialledNumbers(), QStringList());
        }
    }
    // The refused call's object is not left behind on the modem.
    EXPECT_TRUE(
        SpinUntil([&] { return mock_.ModemMethodCalls(QStringLiteral("DeleteCall")) == 1; }));
}

TEST(PhoneCommandTest, NumberIsOneArgumentAndNoShellSeesIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("record-argv"));
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // Each run writes its argument count and arguments to a file of its own.
        file.write(
            "#!/bin/sh\n"
            "out=\"$(dirname \"$0\")/argv-$$\"\n"
            "{ echo \"$#\"; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > \"$out.tmp\"\n"
            "mv \"$out.tmp\" \"$out.txt\"\n");
    }
    ASSERT_TRUE(QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner));
    const bool tmpXExisted = QFile::exists(QStringLiteral("/tmp/x"));
    const std::string inside =
        "555 && touch " + dir.filePath(QStringLiteral("y")).toStdString() + " `id` | tee z";

    ASSERT_TRUE(SetPhoneBackend(("command:" + script.toStdString()).c_str(), nullptr));
    EXPECT_STREQ(PhoneBackendName(), "command");
    EXPECT_EQ(PlaceCall(u"123; touch /tmp/x $(id)"), 0);
    EXPECT_EQ(PlaceCall(std::u16string(inside.begin(), inside.end())), 0);

    QDir folder(dir.path());
    const auto records = [&] {
        return folder.entryList({QStringLiteral("argv-*.txt")}, QDir::Files);
    };
    ASSERT_TRUE(SpinUntil([&] { return records().size() == 2; }, 5000)) << records().size();
    QStringList seen;
    for (const QString& name : records()) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        seen << QString::fromUtf8(file.readAll());
    }
    seen.sort();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("1\n[123; touch /tmp/x $(id)]\n"),
                                 QStringLiteral("1\n[%1]\n").arg(QString::fromStdString(inside))}));
    QStringList all = folder.entryList(QDir::Files | QDir::NoDotAndDotDot);
    all.sort();
    EXPECT_EQ(all.size(), 3) << all.join(QLatin1Char(' ')).toStdString();
    if (!tmpXExisted) {
        EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/x")));
    }
}

TEST(PhoneCommandTest, BadProgramsAreRefusedOrReported)
{
    std::string error;
    ASSERT_TRUE(SetPhoneBackend("log", nullptr));
    EXPECT_FALSE(SetPhoneBackend("command:", &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(SetPhoneBackend("command:/nonexistent/dialler", &error));
    EXPECT_TRUE(Contains(error, "/nonexistent/dialler")) << error;
    EXPECT_FALSE(SetPhoneBackend("telepathy", &error));
    EXPECT_STREQ(PhoneBackendName(), "log"); // refusals leave the choice alone

    // A program that goes away after it was chosen: reported, not dialled.
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("dial"));
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 0\n");
    }
    ASSERT_TRUE(QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    ASSERT_TRUE(SetPhoneBackend(("command:" + script.toStdString()).c_str(), &error)) << error;
    ASSERT_TRUE(QFile::remove(script));
    StreamCapture err(STDERR_FILENO);
    EXPECT_NE(PlaceCall(u"0301234"), 0);
    EXPECT_TRUE(Contains(err.Text(), "cannot start")) << err.Text();
}

TEST(PhoneLogTest, PrintsTheNumberWithATimestamp)
{
    ASSERT_TRUE(SetPhoneBackend("log", nullptr));
    StreamCapture out(STDOUT_FILENO);
    EXPECT_EQ(PlaceCall(u"+4912345678"), 0);
    EXPECT_EQ(PlaceCall(u"+49 \u260E 1"), 0); // UTF-16 arrives as UTF-8
    const std::regex expected(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d call: \\+4912345678\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d call: \\+49 \xE2\x98\x8E 1\n");
    EXPECT_TRUE(std::regex_match(out.Text(), expected)) << out.Text();
}

TEST(PhoneLogTest, RequestsWithoutANumberAreRefused)
{
    ASSERT_TRUE(SetPhoneBackend("log", nullptr));
    StreamCapture out(STDOUT_FILENO);
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    EXPECT_NE(PhoneMakeCall(nullptr), 0);
    EXPECT_NE(PhoneMakeCall(&request), 0);
    request.pszDestAddress = u"";
    EXPECT_NE(PhoneMakeCall(&request), 0);
    EXPECT_EQ(out.Text(), "");
}

} // namespace
