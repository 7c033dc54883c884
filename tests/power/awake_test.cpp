// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping the device awake through logind: python3-dbusmock's logind on a
// private dbus-daemon stands in for the system bus. First the platform
// operation alone, then the whole program on Qt's offscreen platform: the
// inhibitor is held from Start to Stop and let go when the program ends.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/prctl.h>

#include "../private_bus.h"
#include "../private_home.h"
#include "../silence_wav.h"
#include "platform/alsa/wave_source.h"
#include "platform/phone/phone_backend.h"
#include "platform/platform.h"
#include "platform/posix/eventlog_file.h"
#include "platform/qt/qt_platform.h"
#include "shell/shell.h"

struct PlatformInstance {
    int unused;
};

namespace {

PlatformInstance programInstance;
std::filesystem::path home;
PrivateBus bus;

const QString loginService = QStringLiteral("org.freedesktop.login1");

struct Inhibitor {
    QString what, who, why, mode;
};

bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QTimer wake; // keeps the wait from sleeping past the deadline
    wake.start(10);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A helper process ends with the test, even when the test is killed.
void EndWithTheTest(QProcess* process)
{
    process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

bool LogindRegistered()
{
    return QDBusConnection::systemBus().interface()->isServiceRegistered(loginService);
}

// What logind holds now, as the mock lists it.
std::vector<Inhibitor> Inhibitors()
{
    QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
        loginService, QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors")));
    std::vector<Inhibitor> held;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return held;
    const QDBusArgument list = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
    list.beginArray();
    while (!list.atEnd()) {
        Inhibitor entry;
        uint user = 0, process = 0;
        list.beginStructure();
        list >> entry.what >> entry.who >> entry.why >> entry.mode >> user >> process;
        list.endStructure();
        held.push_back(entry);
    }
    list.endArray();
    return held;
}

bool Held()
{
    return !Inhibitors().empty();
}

// python3-dbusmock's logind on the private bus, for as long as it lives.
class MockLogind {
public:
    MockLogind()
    {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        EndWithTheTest(&process);
        process.start(bus.python,
                      {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                       QStringLiteral("--template"), QStringLiteral("logind")});
        started = process.waitForStarted(5000) && SpinUntil([this] {
                      return LogindRegistered() || process.state() == QProcess::NotRunning;
                  }) &&
                  LogindRegistered();
    }
    ~MockLogind()
    {
        process.terminate();
        process.waitForFinished(3000);
        SpinUntil([] { return !LogindRegistered(); }, 3000);
    }
    MockLogind(const MockLogind&) = delete;
    MockLogind& operator=(const MockLogind&) = delete;

    bool started = false;

private:
    QProcess process;
};

std::string EventLogText()
{
    std::ifstream file(EventLogPath());
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class AwakeTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.skipReason.isEmpty())
            GTEST_SKIP() << bus.skipReason.toStdString();
    }
};

TEST_F(AwakeTest, HeldWhileAskedForAndLetGoAfter)
{
    MockLogind logind;
    ASSERT_TRUE(logind.started);
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED), ES_CONTINUOUS);
    ASSERT_TRUE(SpinUntil(Held));
    std::vector<Inhibitor> held = Inhibitors();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].what, QStringLiteral("sleep:idle"));
    EXPECT_EQ(held[0].who, QStringLiteral("Cradlecom"));
    EXPECT_EQ(held[0].why, QStringLiteral("Listening for the child"));
    EXPECT_EQ(held[0].mode, QStringLiteral("block"));

    // Asked again while held: still one lock.
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED),
              ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    SpinUntil([] { return false; }, 200);
    EXPECT_EQ(Inhibitors().size(), 1u);
    // A call without ES_CONTINUOUS changes nothing.
    EXPECT_EQ(SetThreadExecutionState(ES_SYSTEM_REQUIRED), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);

    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_TRUE(SpinUntil([] { return !Held(); }));

    // Let go before logind has answered: the late lock is not kept.
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    SetThreadExecutionState(ES_CONTINUOUS);
    SpinUntil([] { return false; }, 500);
    EXPECT_FALSE(Held());
    // And taken again after that.
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_TRUE(SpinUntil(Held));
    SetThreadExecutionState(ES_CONTINUOUS);
    EXPECT_TRUE(SpinUntil([] { return !Held(); }));
    EXPECT_EQ(EventLogText().find("awake"), std::string::npos) << EventLogText();
}

// Without logind the program goes on; the event log hears of it once.
TEST_F(AwakeTest, WithoutLogindLoggedOnce)
{
    ASSERT_FALSE(LogindRegistered());
    for (int attempt = 0; attempt < 2; ++attempt) {
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        ASSERT_TRUE(SpinUntil([] { return EventLogText().find("awake") != std::string::npos; }));
        SpinUntil([] { return false; }, 300);
        SetThreadExecutionState(ES_CONTINUOUS);
    }
    std::string log = EventLogText();
    std::size_t first = log.find("cannot keep the device awake");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("cannot keep the device awake", first + 1), std::string::npos) << log;

    // logind comes later: the next Start takes the lock.
    MockLogind logind;
    ASSERT_TRUE(logind.started);
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_TRUE(SpinUntil(Held));
    SetThreadExecutionState(ES_CONTINUOUS);
    EXPECT_TRUE(SpinUntil([] { return !Held(); }));
}

// The whole program: Start, Stop, Start, then the window closes.
struct Run {
    int step = 0;
    int polls = 0;
    bool heldAtStart = false, freeAtStop = false, heldAgain = false;
};
Run run;

void Drive()
{
    ++run.polls;
    HWND window = FindWindowW(u"CradleCom", u"Cradlecom");
    if (window == nullptr)
        return;
    switch (run.step) {
    case 0:
    case 2:
    case 4:
        PostMessageW(window, WM_COMMAND, 500, 0);
        ++run.step;
        break;
    case 1:
        if (Held()) {
            run.heldAtStart = true;
            ++run.step;
        }
        break;
    case 3:
        if (!Held()) {
            run.freeAtStop = true;
            ++run.step;
        }
        break;
    case 5:
        if (Held()) {
            run.heldAgain = true;
            PostMessageW(window, WM_CLOSE, 0, 0);
            ++run.step;
        }
        break;
    default:
        break;
    }
    if (run.polls == 200) // bounded: a run that never gets there ends, and fails
        PostMessageW(window, WM_CLOSE, 0, 0);
}

TEST_F(AwakeTest, ProgramHoldsItFromStartToStopAndToItsEnd)
{
    MockLogind logind;
    ASSERT_TRUE(logind.started);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, Drive);
    timer.start(50);
    EXPECT_EQ(WinMain(&programInstance, nullptr, nullptr, SW_SHOW), 0);
    timer.stop();
    EXPECT_TRUE(run.heldAtStart);
    EXPECT_TRUE(run.freeAtStop);
    EXPECT_TRUE(run.heldAgain);
    EXPECT_EQ(run.step, 6);
    EXPECT_TRUE(SpinUntil([] { return !Held(); })) << "still held after the program ended";
}

// A number to call and no first-use dialog, so that Start is taken.
bool StoreSettings()
{
    std::filesystem::create_directories(home / "cradlecom");
    std::ofstream store(home / "cradlecom" / "registry");
    store << "[Software\\Veltrano\\CradleCom\\Settings]\n"
             "PhoneNumber = sz:01712345\n"
             "FirstUse = sz:1\n";
    return static_cast<bool>(store);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const std::string made = MakePrivateHome("awake");
    if (made.empty())
        return 1;
    home = made;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QtPlatformInit(&argc, argv);
    StartPrivateBus(&bus, EndWithTheTest);
    std::string silence = WriteSilenceWav(home, 1);
    std::string error;
    int result = 1;
    if (silence.empty() || !StoreSettings() || !SetWaveInputSource(silence.c_str(), &error) ||
        !SetPhoneBackend("log", &error))
        std::fprintf(stderr, "awake_test: cannot prepare the run: %s\n", error.c_str());
    else
        result = RUN_ALL_TESTS();
    StopPrivateBus(&bus);
    std::filesystem::remove_all(home);
    return result;
}
