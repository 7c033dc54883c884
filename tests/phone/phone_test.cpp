// SPDX-License-Identifier: GPL-3.0-or-later
// PhoneMakeCall through each backend and the news it gives. The ModemManager
// backends talk to a python3-dbusmock ModemManager on a private dbus-daemon
// that stands in for the system bus.
#include "../private_bus.h"
#include "platform/phone.h"
#include "platform/phone/phone_backend.h"
#include "platform/window.h"
#include "support.h"

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
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The window the phone tells of news: here, a count of the messages posted.
static std::map<std::pair<HWND, UINT>, int> postedMessages;

BOOL PostMessageW(HWND window, UINT message, WPARAM, LPARAM)
{
    ++postedMessages[{window, message}];
    return TRUE;
}

namespace {

const QString kMmService = QStringLiteral("org.freedesktop.ModemManager1");
const QString kMmPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kModemPath = QStringLiteral("/org/freedesktop/ModemManager1/Modem/0");
const QString kMockIface = QStringLiteral("org.freedesktop.DBus.Mock");

// The private bus and the Qt application, for the whole test program.
struct BusEnvironment : testing::Environment {
    PrivateBus bus;
    QTemporaryDir* stateHome = nullptr;

    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "phone_test";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // reachable through qApp for the whole run
        // The phone's findings go to the event log; its file goes here.
        stateHome = new QTemporaryDir;
        qputenv("XDG_STATE_HOME", stateHome->path().toUtf8());

        StartPrivateBus(&bus);
    }

    void TearDown() override
    {
        StopPrivateBus(&bus);
        delete stateHome;
        stateHome = nullptr;
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
        process_.start(busEnvironment->bus.python,
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

    QStringList DialledNumbers() const { return Numbers(QStringLiteral("GetDialledNumbers")); }
    QStringList HungUpNumbers() const { return Numbers(QStringLiteral("GetHungUpNumbers")); }

    QStringList Numbers(const QString& method) const
    {
        const QDBusMessage reply = QDBusConnection::systemBus().call(
            QDBusMessage::createMethodCall(kMmService, kMmPath, kMockIface, method));
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
        if (!busEnvironment->bus.skipReason.isEmpty()) {
            GTEST_SKIP() << busEnvironment->bus.skipReason.toStdString();
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

// A fake window handle for the news messages.
HWND const newsWindow = reinterpret_cast<HWND>(0x1000);
constexpr UINT newsMessage = 0x8001;

TEST_F(PhoneBusTest, StartUpSaysWhereCallsGo)
{
    struct Case {
        const char* backend;
        QString parameters;
        const char* line;
        DWORD route;
    };
    const Case cases[] = {
        {"automatic", QStringLiteral("{}"),
         "calls go to the modem /org/freedesktop/ModemManager1/Modem/0", PHONE_ROUTE_MODEM},
        {"automatic", QString(), "no modem: ModemManager not reachable", PHONE_ROUTE_NONE},
        {"automatic", QStringLiteral("{\"state\": 7}"), "is not registered with a network",
         PHONE_ROUTE_NONE},
        {"modemmanager", QStringLiteral("{\"voice\": false}"),
         "no modem: no modem with voice support; calls will fail until a modem is ready",
         PHONE_ROUTE_MODEM},
        {"modemmanager", QStringLiteral("{}"),
         "calls go to the modem /org/freedesktop/ModemManager1/Modem/0", PHONE_ROUTE_MODEM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.backend) + " " + c.parameters.toStdString());
        StartMock(c.parameters);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(SetPhoneBackend(c.backend, nullptr));
        StreamCapture err(STDERR_FILENO);
        StartPhoneBackend();
        EXPECT_TRUE(SpinUntil([&] { return Contains(err.Text(), c.line); })) << err.Text();
        EXPECT_EQ(PhoneGetRoute(), c.route);
        if (c.route == PHONE_ROUTE_NONE) {
            EXPECT_TRUE(Contains(err.Text(), "calls will only be logged")) << err.Text();
        }
    }
}

// Without a choice the modem is looked for at each call: a call before the
// modem registers is only logged, and says so; the next one is dialled.
TEST_F(PhoneBusTest, AModemThatRegistersLaterIsDialled)
{
    ASSERT_TRUE(SetPhoneBackend("automatic", nullptr));
    LONG logged = 0;
    {
        StreamCapture out(STDOUT_FILENO);
        logged = PlaceCall(u"0301234");
        ASSERT_GT(logged, 0);
        const News end = WaitForEnd(logged);
        EXPECT_EQ(end.event, PHONE_EVENT_LOGGED);
        EXPECT_TRUE(Contains(end.reason, "no modem")) << end.reason;
        EXPECT_TRUE(Contains(out.Text(), "call only logged, not placed: 0301234")) << out.Text();
    }
    EXPECT_EQ(PhoneGetRoute(), PHONE_ROUTE_NONE);

    StartMock(QStringLiteral("{}"));
    ASSERT_FALSE(HasFatalFailure());
    const LONG dialled = PlaceCall(u"0301234");
    EXPECT_GT(dialled, logged);
    ASSERT_TRUE(SpinUntil([&] { return !NewsOf(dialled).empty(); })) << "no news";
    EXPECT_EQ(Events(dialled).front(), PHONE_EVENT_PLACED); // the answer may be there too
    EXPECT_EQ(mock_.DialledNumbers(), QStringList{QStringLiteral("0301234")});
    EXPECT_EQ(PhoneGetRoute(), PHONE_ROUTE_MODEM);

    // ModemManager going away ends the call rather than leaving it open.
    mock_.Stop();
    EXPECT_EQ(WaitForEnd(dialled).event, PHONE_EVENT_ENDED);

    // The route is looked at again once the last look is old enough.
    SetPhoneModemLookInterval(0);
    EXPECT_TRUE(SpinUntil([] { return PhoneGetRoute() == PHONE_ROUTE_NONE; }));
    SetPhoneModemLookInterval(30000);
}

// Placed once it rings, and over only when hung up: while it is active the
// program holds its next call back.
TEST_F(PhoneBusTest, ACallIsPlacedWhenItRingsAndEndsWhenHungUp)
{
    // Start answers late, as a real network does.
    StartMock(QStringLiteral("{\"start_delay_ms\": 1500}"));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(SetPhoneBackend("modemmanager", nullptr));
    PhoneSetNotifyWindow(newsWindow, newsMessage);
    postedMessages.clear();

    StreamCapture err(STDERR_FILENO);
    const LONG id = PlaceCall(u"+49 170 1234567");
    ASSERT_GT(id, 0);
    EXPECT_TRUE(NewsOf(id).empty()); // PhoneMakeCall did not wait for the modem
    ASSERT_TRUE(SpinUntil([&] { return !NewsOf(id).empty(); })) << err.Text();
    // The mock goes from ringing to active at once: the answer may be there too.
    EXPECT_EQ(Events(id).front(), PHONE_EVENT_PLACED);
    EXPECT_EQ(mock_.DialledNumbers(), QStringList{QStringLiteral("+49 170 1234567")});
    const std::string text = err.Text();
    const std::size_t dialing = text.find("call to +49 170 1234567: dialing");
    const std::size_t ringing = text.find("call to +49 170 1234567: ringing");
    ASSERT_NE(dialing, std::string::npos) << text;
    ASSERT_NE(ringing, std::string::npos) << text;
    EXPECT_LT(dialing, ringing);

    // Active: answered, and no end, however long it lasts.
    SpinUntil([] { return false; }, 500);
    EXPECT_EQ(Events(id), (std::vector<DWORD>{PHONE_EVENT_PLACED, PHONE_EVENT_ANSWERED}));

    const QDBusMessage hangup = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
        kMmService, QStringLiteral("/org/freedesktop/ModemManager1/Call/0"),
        QStringLiteral("org.freedesktop.ModemManager1.Call"), QStringLiteral("Hangup")));
    ASSERT_EQ(hangup.type(), QDBusMessage::ReplyMessage) << hangup.errorMessage().toStdString();
    EXPECT_EQ(WaitForEnd(id).event, PHONE_EVENT_ENDED);
    EXPECT_EQ(Events(id),
              (std::vector<DWORD>{PHONE_EVENT_PLACED, PHONE_EVENT_ANSWERED, PHONE_EVENT_ENDED}));
    EXPECT_TRUE(
        SpinUntil([&] { return mock_.ModemMethodCalls(QStringLiteral("DeleteCall")) == 1; }));
    EXPECT_EQ((postedMessages[{newsWindow, newsMessage}]), 3);
    PhoneSetNotifyWindow(nullptr, 0);
}

// A call that rings and is hung up by the callee before it is ever active
// was not answered: it ends without ANSWERED, so the next number is tried.
TEST_F(PhoneBusTest, ACallHungUpWhileRingingWasNotAnswered)
{
    StartMock(QStringLiteral("{\"answer\": false}"));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(SetPhoneBackend("modemmanager", nullptr));
    const LONG id = PlaceCall(u"0301234");
    ASSERT_TRUE(SpinUntil([&] { return !NewsOf(id).empty(); }));
    const QDBusMessage hangup = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
        kMmService, QStringLiteral("/org/freedesktop/ModemManager1/Call/0"),
        QStringLiteral("org.freedesktop.ModemManager1.Call"), QStringLiteral("Hangup")));
    ASSERT_EQ(hangup.type(), QDBusMessage::ReplyMessage) << hangup.errorMessage().toStdString();
    const News end = WaitForEnd(id);
    EXPECT_EQ(Events(id), (std::vector<DWORD>{PHONE_EVENT_PLACED, PHONE_EVENT_ENDED}));
    EXPECT_EQ(end.reason, "");
}

// A call that rings for ever, or stays connected for ever, would hold every
// later call back: the modem hangs it up after its bound, and the next call
// is dialled.
TEST_F(PhoneBusTest, ACallThatNeverEndsIsHungUpAfterItsBound)
{
    struct Case {
        QString parameters;
        std::vector<DWORD> events;
        const char* reason;
    };
    const Case cases[] = {
        {QStringLiteral("{\"answer\": false}"),
         {PHONE_EVENT_PLACED, PHONE_EVENT_ENDED},
         "not answered within 1.5 s, hung up"},
        {QStringLiteral("{}"),
         {PHONE_EVENT_PLACED, PHONE_EVENT_ANSWERED, PHONE_EVENT_ENDED},
         "still connected after 2 s"},
    };
    ASSERT_TRUE(SetPhoneBackend("modemmanager", nullptr));
    PhoneSetRingTimeout(1500); // as PhoneRingSeconds gives it
    SetPhoneModemActiveLimit(2000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameters.toStdString());
        StartMock(c.parameters);
        ASSERT_FALSE(HasFatalFailure());
        const LONG first = PlaceCall(u"0301234");
        const News end = WaitForEnd(first);
        EXPECT_EQ(Events(first), c.events);
        EXPECT_EQ(end.reason, c.reason);
        EXPECT_EQ(mock_.HungUpNumbers(), QStringList{QStringLiteral("0301234")});
        const LONG next = PlaceCall(u"0307654");
        ASSERT_TRUE(SpinUntil([&] { return !NewsOf(next).empty(); }));
        EXPECT_EQ(Events(next).front(), PHONE_EVENT_PLACED);
        EXPECT_EQ(mock_.DialledNumbers(),
                  (QStringList{QStringLiteral("0301234"), QStringLiteral("0307654")}));
        EXPECT_EQ(WaitForEnd(next).event, c.events.back());
    }
    PhoneSetRingTimeout(120000);
    SetPhoneModemActiveLimit(30 * 60 * 1000);
}

TEST_F(PhoneBusTest, ModemFailuresAreReportedWithTheirReason)
{
    struct Case {
        QString parameters;
        const char* reason;
    };
    const Case cases[] = {
        {QString(), "no modem: ModemManager not reachable"},
        {QStringLiteral("{\"modem\": false}"), "no modem: ModemManager lists no modem"},
        {QStringLiteral("{\"voice\": false}"), "no modem: no modem with voice support"},
        {QStringLiteral("{\"state\": 7}"),
         "no modem: modem /org/freedesktop/ModemManager1/Modem/0 is not registered"},
        {QStringLiteral(
             "{\"start_error\": \"org.freedesktop.ModemManager1.Error.Core.Unauthorized\"}"),
         "permission denied (org.freedesktop.ModemManager1.Error.Core.Unauthorized"},
    };
    ASSERT_TRUE(SetPhoneBackend("modemmanager", nullptr));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameters.isEmpty() ? std::string("no ModemManager")
                                            : c.parameters.toStdString());
        StartMock(c.parameters);
        ASSERT_FALSE(HasFatalFailure());
        const LONG id = PlaceCall(u"0301234");
        const News end = WaitForEnd(id);
        EXPECT_EQ(Events(id), std::vector<DWORD>{PHONE_EVENT_FAILED});
        EXPECT_TRUE(Contains(end.reason, c.reason)) << end.reason;
        if (!c.parameters.isEmpty()) {
            EXPECT_EQ(mock_.DialledNumbers(), QStringList());
        }
    }
    // The refused call's object is not left behind on the modem.
    EXPECT_TRUE(
        SpinUntil([&] { return mock_.ModemMethodCalls(QStringLiteral("DeleteCall")) == 1; }));
}

// ---- Call commands ----------------------------------------------------------

// Writes an executable shell script into dir.
QString WriteScript(const QTemporaryDir& dir, const QString& name, const QByteArray& body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QString();
    }
    file.write("#!/bin/sh\n" + body);
    file.close();
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// The pid written into the file, 0 when there is none yet.
pid_t PidIn(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? static_cast<pid_t>(file.readAll().trimmed().toInt())
                                          : 0;
}

// Dead, or a zombie that nobody has reaped yet.
bool Gone(pid_t pid)
{
    if (::kill(pid, 0) != 0) {
        return true;
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close >= 0 && text.mid(close + 2, 1) == "Z";
}

bool UseCommand(const QString& script)
{
    std::string error;
    const bool chosen = SetPhoneBackend(("command:" + script.toStdString()).c_str(), &error);
    EXPECT_TRUE(chosen) << error;
    return chosen;
}

TEST(PhoneCommandTest, TheExitStatusDecidesAndFailuresSayWhy)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        QByteArray body;
        std::vector<DWORD> events;
        const char* reason;
    };
    const Case cases[] = {
        {"exit 0\n", {PHONE_EVENT_PLACED, PHONE_EVENT_ANSWERED, PHONE_EVENT_ENDED}, ""},
        {"exit 3\n", {PHONE_EVENT_FAILED}, "exit status 3"},
        {"kill -KILL $$\n", {PHONE_EVENT_FAILED}, "killed by signal 9"},
        {"kill -TERM $$\n", {PHONE_EVENT_FAILED}, "killed by signal 15"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        ASSERT_TRUE(UseCommand(WriteScript(dir, QStringLiteral("dial%1").arg(++n), c.body)));
        const LONG id = PlaceCall(u"0301234");
        ASSERT_GT(id, 0);
        const News end = WaitForEnd(id);
        EXPECT_EQ(Events(id), c.events);
        EXPECT_EQ(end.reason, c.reason);
    }
}

// A command that never ends by itself: each run is noted in "runs", and
// the files "leader" and "child" tell its pid and that of what it started.
QString WriteHangingScript(const QTemporaryDir& dir)
{
    return WriteScript(dir, QStringLiteral("hang"),
                       "echo started >> \"$(dirname \"$0\")/runs\"\n"
                       "echo $$ > \"$(dirname \"$0\")/leader.tmp\"\n"
                       "sleep 600 &\n"
                       "echo $! > \"$(dirname \"$0\")/child.tmp\"\n"
                       "mv \"$(dirname \"$0\")/leader.tmp\" \"$(dirname \"$0\")/leader\"\n"
                       "mv \"$(dirname \"$0\")/child.tmp\" \"$(dirname \"$0\")/child\"\n"
                       "wait\n");
}

// A command that hangs is killed with all it started once the timeout has
// passed; until then no second command starts.
TEST(PhoneCommandTest, AHangingCommandTimesOutAndNeverRunsTwice)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(UseCommand(WriteHangingScript(dir)));
    SetPhoneCommandTimeout(1500);
    const LONG first = PlaceCall(u"0301234");
    ASSERT_TRUE(SpinUntil([&] { return PidIn(dir.filePath(QStringLiteral("child"))) != 0; }));
    const pid_t leader = PidIn(dir.filePath(QStringLiteral("leader")));
    const pid_t child = PidIn(dir.filePath(QStringLiteral("child")));
    EXPECT_FALSE(Gone(leader));
    EXPECT_FALSE(Gone(child));

    const LONG second = PlaceCall(u"0301234");
    const News refused = WaitForEnd(second);
    EXPECT_EQ(refused.event, PHONE_EVENT_FAILED);
    EXPECT_TRUE(Contains(refused.reason, "still running")) << refused.reason;
    EXPECT_TRUE(NewsOf(first).empty());

    const News end = WaitForEnd(first);
    EXPECT_EQ(Events(first), std::vector<DWORD>{PHONE_EVENT_FAILED});
    EXPECT_EQ(end.reason, "timed out after 1.5 s");
    EXPECT_TRUE(SpinUntil([&] { return Gone(leader) && Gone(child); }, 5000));
    QFile runs(dir.filePath(QStringLiteral("runs")));
    ASSERT_TRUE(runs.open(QIODevice::ReadOnly));
    EXPECT_EQ(runs.readAll(), QByteArray("started\n"));
    SetPhoneCommandTimeout(60000);
}

// A command still running when the program ends does not outlive it, nor
// what it started: neither after an ordinary end nor after a SIGKILL.
TEST(PhoneCommandTest, NothingOutlivesTheProgram)
{
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed" : "ended");
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QStringList arguments{WriteHangingScript(dir), dir.filePath(QStringLiteral("child"))};
        if (killed)
            arguments << QStringLiteral("stay");
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral(PHONE_EXIT_HELPER), arguments);
        if (killed) {
            ASSERT_TRUE(helper.waitForReadyRead(20000));
            helper.kill();
        }
        ASSERT_TRUE(helper.waitForFinished(20000));
        EXPECT_EQ(helper.exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);
        EXPECT_EQ(helper.exitCode(), killed ? SIGKILL : 0);
        const pid_t leader = PidIn(dir.filePath(QStringLiteral("leader")));
        const pid_t child = PidIn(dir.filePath(QStringLiteral("child")));
        ASSERT_NE(leader, 0);
        ASSERT_NE(child, 0);
        EXPECT_TRUE(SpinUntil([&] { return Gone(leader) && Gone(child); }, 5000));
    }
}

TEST(PhoneCommandTest, NumberIsOneArgumentAndNoShellSeesIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Each run writes its argument count and arguments to a file of its own.
    const QString script = WriteScript(
        dir, QStringLiteral("record-argv"),
        "out=\"$(dirname \"$0\")/argv-$$\"\n"
        "{ echo \"$#\"; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > \"$out.tmp\"\n"
        "mv \"$out.tmp\" \"$out.txt\"\n");
    const bool tmpXExisted = QFile::exists(QStringLiteral("/tmp/x"));
    const std::string inside =
        "555 && touch " + dir.filePath(QStringLiteral("y")).toStdString() + " `id` | tee z";

    ASSERT_TRUE(UseCommand(script));
    EXPECT_STREQ(PhoneBackendName(), "command");
    EXPECT_EQ(PhoneGetRoute(), PHONE_ROUTE_COMMAND);
    EXPECT_EQ(WaitForEnd(PlaceCall(u"123; touch /tmp/x $(id)")).event, PHONE_EVENT_ENDED);
    EXPECT_EQ(WaitForEnd(PlaceCall(std::u16string(inside.begin(), inside.end()))).event,
              PHONE_EVENT_ENDED);

    QDir folder(dir.path());
    const QStringList records = folder.entryList({QStringLiteral("argv-*.txt")}, QDir::Files);
    ASSERT_EQ(records.size(), 2);
    QStringList seen;
    for (const QString& name : records) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        seen << QString::fromUtf8(file.readAll());
    }
    seen.sort();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("1\n[123; touch /tmp/x $(id)]\n"),
                                 QStringLiteral("1\n[%1]\n").arg(QString::fromStdString(inside))}));
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 3);
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
    const QString script = WriteScript(dir, QStringLiteral("dial"), "exit 0\n");
    ASSERT_TRUE(UseCommand(script));
    ASSERT_TRUE(QFile::remove(script));
    const News end = WaitForEnd(PlaceCall(u"0301234"));
    EXPECT_EQ(end.event, PHONE_EVENT_FAILED);
    EXPECT_TRUE(Contains(end.reason, "cannot start")) << end.reason;
}

TEST(PhoneLogTest, SaysTheCallWasOnlyLogged)
{
    ASSERT_TRUE(SetPhoneBackend("log", nullptr));
    EXPECT_EQ(PhoneGetRoute(), PHONE_ROUTE_LOG);
    StreamCapture out(STDOUT_FILENO);
    const LONG first = PlaceCall(u"+4912345678");
    const LONG second = PlaceCall(u"+49 \u260E 1"); // UTF-16 arrives as UTF-8
    // Each line: "YYYY-MM-DD hh:mm:ss " and then the words.
    const std::string text = out.Text();
    const std::string tails[] = {"call only logged, not placed: +4912345678",
                                 "call only logged, not placed: +49 \xE2\x98\x8E 1"};
    std::size_t at = 0;
    for (const std::string& tail : tails) {
        const std::size_t end = text.find('\n', at);
        ASSERT_NE(end, std::string::npos) << text;
        const std::string line = text.substr(at, end - at);
        ASSERT_EQ(line.size(), 20 + tail.size()) << line;
        for (std::size_t i : {4u, 7u})
            EXPECT_EQ(line[i], '-') << line;
        for (std::size_t i : {13u, 16u})
            EXPECT_EQ(line[i], ':') << line;
        EXPECT_EQ(line[10], ' ') << line;
        EXPECT_EQ(line.substr(20), tail);
        at = end + 1;
    }
    EXPECT_EQ(at, text.size()) << text;
    EXPECT_EQ(Events(first), std::vector<DWORD>{PHONE_EVENT_LOGGED});
    EXPECT_EQ(Events(second), std::vector<DWORD>{PHONE_EVENT_LOGGED});
    EXPECT_NE(first, second);
}

TEST(PhoneLogTest, RequestsWithoutANumberAreRefusedAndNotReported)
{
    ASSERT_TRUE(SetPhoneBackend("log", nullptr));
    CollectNews();
    const std::size_t before = newsByCall.size();
    StreamCapture out(STDOUT_FILENO);
    PHONEMAKECALLINFO request{};
    request.cbSize = sizeof request;
    request.dwFlags = PMCF_DEFAULT;
    EXPECT_EQ(PhoneMakeCall(nullptr), 0);
    EXPECT_EQ(PhoneMakeCall(&request), 0);
    request.pszDestAddress = u"";
    EXPECT_EQ(PhoneMakeCall(&request), 0);
    EXPECT_EQ(out.Text(), "");
    CollectNews();
    EXPECT_EQ(newsByCall.size(), before);
}

} // namespace
