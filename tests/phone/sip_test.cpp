// SPDX-License-Identifier: GPL-3.0-or-later
// SIP calls through baresip: the account file and its line, the addresses
// numbers become, and real baresip processes against a provider's answers
// (a few lines of Python on loopback) and against a second baresip that
// answers.
#include "platform/alsa/wave_source.h"
#include "platform/phone.h"
#include "platform/phone/phone_backend.h"
#include "platform/phone/sip_account.h"
#include "platform/window.h"
#include "sip_support.h"
#include "support.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

BOOL PostMessageW(HWND, UINT, WPARAM, LPARAM)
{
    return TRUE;
}

namespace {

const char kSecret[] = "Geheim-4711";

// A home of its own for the whole run: settings, account, event log,
// baresip's private folder.
struct HomeEnvironment : testing::Environment {
    QTemporaryDir* home = nullptr;

    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "sip_test";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // reachable through qApp for the whole run
        home = new QTemporaryDir;
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR",
                                     "TMPDIR", "CRADLECOM_SYSTEM_ROOT"})
            qputenv(variable, home->path().toUtf8());
        QDir(home->path()).mkpath(QStringLiteral("cradlecom"));
    }

    void TearDown() override
    {
        delete home;
        home = nullptr;
    }

    QString Path(const QString& name) const { return QDir(home->path()).filePath(name); }
};

HomeEnvironment* homeEnvironment =
    static_cast<HomeEnvironment*>(testing::AddGlobalTestEnvironment(new HomeEnvironment));

QString AccountPath()
{
    return homeEnvironment->Path(QStringLiteral("cradlecom/sip-account"));
}

QString EventLog()
{
    return QString::fromUtf8(
        ReadWholeFile(homeEnvironment->Path(QStringLiteral("cradlecom/events.log"))));
}

// ---- The account line and the addresses -------------------------------------

TEST(SipAccount, LinesThatAreTakenAndRefused)
{
    SipAccount account;
    QString problem;
    ASSERT_TRUE(ParseSipAccount("# the parents' line\n\n\"Cradle\" <sip:4930123@sip.example.net;"
                                "transport=tcp>;auth_pass=\"se;cret\";"
                                "outbound=\"sip:proxy.example.net;transport=tcp\";regint=600\n",
                                &account, &problem))
        << problem.toStdString();
    EXPECT_EQ(account.address, QStringLiteral("sip:4930123@sip.example.net"));
    EXPECT_EQ(account.hostPort, QStringLiteral("sip.example.net"));
    EXPECT_EQ(account.secrets, QStringList{QStringLiteral("se;cret")});
    EXPECT_TRUE(account.registers);
    EXPECT_TRUE(account.line.startsWith(QLatin1String("\"Cradle\" <sip:")));

    // A password in the address itself is kept out of the name that is logged.
    ASSERT_TRUE(ParseSipAccount("<sips:anna:pw1@[::1]:5071>;regint=0", &account, &problem));
    EXPECT_EQ(account.address, QStringLiteral("sips:anna@[::1]:5071"));
    EXPECT_EQ(account.scheme, QStringLiteral("sips"));
    EXPECT_EQ(account.secrets, QStringList{QStringLiteral("pw1")});
    EXPECT_FALSE(account.registers);

    struct Refused {
        QByteArray text;
        const char* why;
    };
    const Refused refused[] = {
        {"", "no account line"},
        {"# only a comment\n", "no account line"},
        {"sip:user@host", "no <sip:...> address"},
        {"<tel:+4930123>", "not a sip: address"},
        {"<sip:host.example>", "no user@host"},
        {"<sip:user@>", "no user@host"},
        {"<sip:user@host/x>", "no user@host"},
        {"<sip:a@h>\n<sip:b@h>", "more than one account line"},
        {"<sip:a@h>;auth_pass=x\r/quit", "control characters"},
        {"<sip:a@h>;auth_pass=\xff\xfe", "invalid UTF-8"},
        {"<sip:a@h>;answermode=auto", "never answers calls"},
        // baresip reads the parameter inside the quotes all the same.
        {"<sip:a@h>;x=\"a;answermode=auto;b\"", "never answers calls"},
        {QByteArray(3000, 'x').prepend("<sip:a@h>;x="), "too long"},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.text.toStdString());
        problem.clear();
        EXPECT_FALSE(ParseSipAccount(r.text, &account, &problem));
        EXPECT_TRUE(problem.contains(QLatin1String(r.why))) << problem.toStdString();
    }
}

TEST(SipAccount, NumbersAreDialledAtTheAccountsHost)
{
    SipAccount account;
    QString problem;
    ASSERT_TRUE(ParseSipAccount("<sip:anna@fritz.box:5060>;auth_pass=pw", &account, &problem));
    struct Case {
        QString number;
        QString address; // empty: refused
    };
    const Case cases[] = {
        {QStringLiteral("+49 (170) 123-45/67"), QStringLiteral("sip:+491701234567@fritz.box:5060")},
        {QStringLiteral("**610"), QStringLiteral("sip:**610@fritz.box:5060")},
        {QStringLiteral("*31#0171"), QStringLiteral("sip:*31%230171@fritz.box:5060")},
        {QStringLiteral("sip:cb@127.0.0.1:5071"), QStringLiteral("sip:cb@127.0.0.1:5071")},
        {QStringLiteral("SIPS:oma@example.org"), QStringLiteral("SIPS:oma@example.org")},
        {QStringLiteral("sip:"), QString()},
        {QStringLiteral("sip:a b@h"), QString()},
        {QStringLiteral("sip:a@h\n/quit"), QString()},
        {QStringLiteral("0171; /quit"), QString()},
        {QStringLiteral("- ()"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number.toStdString());
        problem.clear();
        EXPECT_EQ(SipAddressForNumber(c.number, account, &problem), c.address);
        EXPECT_EQ(problem.isEmpty(), !c.address.isEmpty()) << problem.toStdString();
    }
    EXPECT_EQ(WithoutSecrets(QStringLiteral("a pw and pw"), account),
              QStringLiteral("a *** and ***"));
}

TEST(SipAccount, OnlyAPrivateFileOfTheUsersOwnIsRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sip-account"));
    const QByteArray line = "<sip:anna@example.org>;auth_pass=pw\n";
    SipAccount account;
    QString problem;

    EXPECT_FALSE(ReadSipAccount(path, &account, &problem));
    EXPECT_TRUE(problem.contains(QLatin1String("is missing"))) << problem.toStdString();

    struct Case {
        int mode;
        const char* why; // null: taken
    };
    const Case cases[] = {
        {0600, nullptr},
        {0400, nullptr},
        {0644, "may be read by others (mode 0644); chmod 600"},
        {0640, "may be read by others (mode 0640)"},
        {0602, "may be read by others (mode 0602)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_TRUE(WriteFileWithMode(path, line, c.mode));
        problem.clear();
        EXPECT_EQ(ReadSipAccount(path, &account, &problem), c.why == nullptr);
        if (c.why != nullptr) {
            EXPECT_TRUE(problem.contains(QLatin1String(c.why))) << problem.toStdString();
        } else {
            EXPECT_EQ(account.address, QStringLiteral("sip:anna@example.org"));
        }
    }
    // A link is not followed, even to a private file.
    const QString target = dir.filePath(QStringLiteral("real"));
    ASSERT_TRUE(WriteFileWithMode(target, line, 0600));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(target, path));
    EXPECT_FALSE(ReadSipAccount(path, &account, &problem));
    EXPECT_TRUE(problem.contains(QLatin1String("is a link"))) << problem.toStdString();
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sip-account")));
    EXPECT_FALSE(ReadSipAccount(path, &account, &problem));
    EXPECT_TRUE(problem.contains(QLatin1String("not a regular file"))) << problem.toStdString();
    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("sip-account")));
    // Another user's file, however private, is not the user's account.
    if (geteuid() == 0) {
        ASSERT_TRUE(WriteFileWithMode(path, line, 0600));
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        EXPECT_FALSE(ReadSipAccount(path, &account, &problem));
        EXPECT_TRUE(problem.contains(QLatin1String("belongs to another user")))
            << problem.toStdString();
    }
}

// ---- baresip ------------------------------------------------------------------

class SipCallTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!BaresipInstalled())
            GTEST_SKIP() << "baresip is not installed";
        callerPort_ = FreePortPair();
        ASSERT_NE(callerPort_, 0);
        // The program's baresip listens on loopback only, on a port of its own.
        WriteSipConfig();
        ASSERT_FALSE(HasFatalFailure());
        std::string error;
        ASSERT_TRUE(SetPhoneBackend("sip", &error)) << error;
        // A recording as the room: baresip plays it; there is no sound card.
        ASSERT_TRUE(SetWaveInputSource(CRADLECOM_DATA_DIR "/cry_bouts.flac", &error)) << error;
    }

    void TearDown() override
    {
        // Another backend ends baresip; none is left for the next test.
        SetPhoneBackend("log", nullptr);
        StartPhoneBackend();
        EXPECT_TRUE(SpinUntil([] { return BaresipChildren().empty(); }, 5000));
        provider_.kill();
        provider_.waitForFinished(3000);
        SetPhoneSipRingTimeout(120000);
        SetPhoneSipLongestCall(30 * 60 * 1000);
    }

    void WriteSipConfig(const QString& extra = QString())
    {
        ASSERT_TRUE(WriteFileWithMode(
            homeEnvironment->Path(QStringLiteral("cradlecom/sip-config")),
            QStringLiteral("sip_listen 127.0.0.1:%1\n%2").arg(callerPort_).arg(extra).toUtf8(),
            0644));
    }

    void WriteAccount(const QString& line, int mode = 0600)
    {
        ASSERT_TRUE(WriteFileWithMode(AccountPath(), line.toUtf8() + '\n', mode));
    }

    // The provider on its own port; its log of requests.
    void StartProvider(const QString& inviteAnswer, const QString& registerAnswer)
    {
        provider_.kill();
        provider_.waitForFinished(3000);
        providerPort_ = FreePortPair();
        ASSERT_NE(providerPort_, 0);
        providerLog_ = homeEnvironment->Path(QStringLiteral("provider-%1.log").arg(providerPort_));
        provider_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        provider_.start(QStringLiteral("python3"),
                        {QStringLiteral(SIP_PROVIDER), QString::number(providerPort_), inviteAnswer,
                         registerAnswer, providerLog_});
        ASSERT_TRUE(provider_.waitForStarted(5000));
        // Up once its port is taken: it opens its log after that.
        ASSERT_TRUE(SpinUntil([this] { return QFileInfo::exists(providerLog_); }, 5000));
    }

    QString ProviderRequests() const { return QString::fromUtf8(ReadWholeFile(providerLog_)); }

    QString ProviderHost() const { return QStringLiteral("127.0.0.1:%1").arg(providerPort_); }

    int callerPort_ = 0;
    int providerPort_ = 0;
    QString providerLog_;
    QProcess provider_;
};

// Missing, readable by others, or not an account line: the log says why at
// start-up, no baresip runs, and every call fails with the reason until the
// file is mended; then the next call goes out.
TEST_F(SipCallTest, ARefusedAccountIsToldAndMendedOnesAreTaken)
{
    struct Case {
        const char* name;
        QByteArray content; // empty: no file
        int mode;
        const char* why;
    };
    const Case cases[] = {
        {"missing", QByteArray(), 0600, "sip-account is missing"},
        {"readable by others", "<sip:anna@example.org>;auth_pass=Geheim-4711\n", 0644,
         "may be read by others (mode 0644)"},
        {"garbage", "\x01\x02 Geheim-4711\n", 0600, "control characters"},
        {"no address", "anna;auth_pass=Geheim-4711\n", 0600, "no <sip:...> address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(AccountPath());
        if (!c.content.isEmpty()) {
            ASSERT_TRUE(WriteFileWithMode(AccountPath(), c.content, c.mode));
        }
        StreamCapture err(STDERR_FILENO);
        StartPhoneBackend();
        const std::string said = err.Text();
        EXPECT_TRUE(Contains(said, "phone: sip account refused: ")) << said;
        EXPECT_TRUE(Contains(said, c.why)) << said;
        EXPECT_FALSE(Contains(said, kSecret)) << said;
        EXPECT_EQ(PhoneGetRoute(), PHONE_ROUTE_SIP);
        const LONG id = PlaceCall(u"0301234");
        const News end = WaitForEnd(id);
        EXPECT_EQ(Events(id), std::vector<DWORD>{PHONE_EVENT_FAILED});
        EXPECT_TRUE(Contains(end.reason, "sip account refused")) << end.reason;
        EXPECT_TRUE(Contains(end.reason, c.why)) << end.reason;
        EXPECT_TRUE(BaresipChildren().empty());
    }

    StartProvider(QStringLiteral("486 Busy Here"), QStringLiteral("200 OK"));
    ASSERT_FALSE(HasFatalFailure());
    WriteAccount(QStringLiteral("<sip:anna@%1>;regint=0").arg(ProviderHost()));
    const LONG id = PlaceCall(u"0301234");
    EXPECT_EQ(WaitForEnd(id, 20000).reason, "486 Busy Here");
    EXPECT_TRUE(ProviderRequests().contains(
        QStringLiteral("INVITE sip:0301234@%1 SIP/2.0").arg(ProviderHost())))
        << ProviderRequests().toStdString();
}

// The provider's answers, as the provider gave them: registration at
// start-up, a busy line, a wrong number, a call that never rings. The
// password is in none of what the program writes or shows.
TEST_F(SipCallTest, TheProvidersAnswersAreReportedAndThePasswordKept)
{
    StartProvider(QStringLiteral("486 Busy Here"), QStringLiteral("200 OK"));
    ASSERT_FALSE(HasFatalFailure());
    WriteAccount(QStringLiteral("\"Cradle\" <sip:anna@%1>;auth_pass=%2;regint=600")
                     .arg(ProviderHost(), QLatin1String(kSecret)));
    StreamCapture err(STDERR_FILENO);
    StartPhoneBackend();
    const QString address = QStringLiteral("sip:anna@%1").arg(ProviderHost());
    EXPECT_TRUE(SpinUntil(
        [&] {
            return Contains(err.Text(),
                            "phone: registered as " + address.toStdString() + " (200 OK)");
        },
        10000))
        << err.Text();
    EXPECT_TRUE(Contains(err.Text(), "phone: calls go over SIP as " + address.toStdString()))
        << err.Text();

    LONG id = PlaceCall(u"+49 170 1234567");
    News end = WaitForEnd(id, 20000);
    EXPECT_EQ(Events(id), std::vector<DWORD>{PHONE_EVENT_FAILED});
    EXPECT_EQ(end.reason, "486 Busy Here");
    EXPECT_TRUE(ProviderRequests().contains(
        QStringLiteral("INVITE sip:+491701234567@%1 SIP/2.0").arg(ProviderHost())))
        << ProviderRequests().toStdString();

    // While baresip runs, its command line and environment hold no password.
    const std::vector<pid_t> children = BaresipChildren();
    ASSERT_EQ(children.size(), 1u);
    for (const char* part : {"cmdline", "environ"}) {
        const QByteArray text =
            ReadWholeFile(QStringLiteral("/proc/%1/%2").arg(children[0]).arg(QLatin1String(part)));
        EXPECT_FALSE(text.isEmpty()) << part;
        EXPECT_FALSE(text.contains(kSecret)) << part;
    }

    // Another provider that refuses the registration and knows no such number.
    StartProvider(QStringLiteral("404 Not Found"), QStringLiteral("403 Forbidden"));
    ASSERT_FALSE(HasFatalFailure());
    WriteAccount(
        QStringLiteral("<sip:anna@%1>;auth_pass=%2").arg(ProviderHost(), QLatin1String(kSecret)));
    StartPhoneBackend();
    const std::string refused = "phone: registration of sip:anna@" + ProviderHost().toStdString() +
                                " failed: 403 Forbidden";
    EXPECT_TRUE(SpinUntil([&] { return Contains(err.Text(), refused); }, 10000)) << err.Text();
    id = PlaceCall(u"0301234");
    end = WaitForEnd(id, 20000);
    EXPECT_EQ(Events(id), std::vector<DWORD>{PHONE_EVENT_FAILED});
    EXPECT_EQ(end.reason, "404 Not Found");

    // A call that never rings is hung up and holds no later call back.
    StartProvider(QStringLiteral("100 Trying"), QStringLiteral("200 OK"));
    ASSERT_FALSE(HasFatalFailure());
    WriteAccount(QStringLiteral("<sip:anna@%1>;regint=0;auth_pass=%2")
                     .arg(ProviderHost(), QLatin1String(kSecret)));
    StartPhoneBackend();
    SetPhoneSipRingTimeout(1500);
    id = PlaceCall(u"0301234");
    end = WaitForEnd(id, 20000);
    EXPECT_EQ(Events(id), std::vector<DWORD>{PHONE_EVENT_FAILED});
    EXPECT_EQ(end.reason, "the call did not ring within 1.5 s");
    const LONG next = PlaceCall(u"0309999");
    end = WaitForEnd(next, 20000);
    EXPECT_EQ(end.reason, "the call did not ring within 1.5 s");
    EXPECT_TRUE(ProviderRequests().contains(QLatin1String("CANCEL sip:0301234@")))
        << ProviderRequests().toStdString();
    EXPECT_TRUE(ProviderRequests().contains(QLatin1String("INVITE sip:0309999@")))
        << ProviderRequests().toStdString();

    // Nothing the program wrote holds the password: not what it said, not
    // the event log, not a file in its folders.
    EXPECT_FALSE(Contains(err.Text(), kSecret)) << err.Text();
    EXPECT_FALSE(EventLog().contains(QLatin1String(kSecret)));
    QDirIterator files(homeEnvironment->home->path(), QDir::Files | QDir::Hidden,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        if (file != AccountPath()) {
            EXPECT_FALSE(ReadWholeFile(file).contains(kSecret)) << file.toStdString();
        }
    }
}

// A second baresip answers: the call is placed; no second call while it
// runs; baresip killed during the call ends it, is logged and started
// again, and the next call goes out; a microphone that cannot be opened
// fails the call with the reason.
TEST_F(SipCallTest, ACallIsPlacedAndSurvivesBaresipDying)
{
    Callee callee;
    const int calleePort = FreePortPair();
    ASSERT_NE(calleePort, 0);
    ASSERT_TRUE(callee.Start(calleePort)) << callee.Output().toStdString();
    WriteAccount(QStringLiteral("<sip:monitor@127.0.0.1:%1>;regint=0").arg(calleePort));
    StreamCapture err(STDERR_FILENO);
    StartPhoneBackend();

    const std::u16string number = callee.Address().toStdU16String();
    const LONG first = PlaceCall(number);
    ASSERT_TRUE(SpinUntil([&] { return !NewsOf(first).empty(); }, 20000)) << err.Text();
    EXPECT_EQ(Events(first).front(), PHONE_EVENT_PLACED); // the answer may be there too
    EXPECT_TRUE(SpinUntil([&] { return callee.HeardSeconds() > 1.0; }, 10000));
    EXPECT_TRUE(Contains(err.Text(), "does not register (regint=0)")) << err.Text();
    EXPECT_TRUE(
        Contains(err.Text(), "phone: call to " + callee.Address().toStdString() + ": answered"))
        << err.Text();

    const LONG second = PlaceCall(number);
    const News refused = WaitForEnd(second);
    EXPECT_EQ(refused.event, PHONE_EVENT_FAILED);
    EXPECT_EQ(refused.reason, "the previous call is still under way");
    EXPECT_EQ(Events(first), (std::vector<DWORD>{PHONE_EVENT_PLACED, PHONE_EVENT_ANSWERED}));

    const std::vector<pid_t> children = BaresipChildren();
    ASSERT_EQ(children.size(), 1u);
    ASSERT_EQ(::kill(children[0], SIGKILL), 0);
    EXPECT_EQ(WaitForEnd(first).event, PHONE_EVENT_ENDED);
    EXPECT_TRUE(Contains(err.Text(), "phone: baresip was killed by signal 9; starting it again "
                                     "in 1 s"))
        << err.Text();
    ASSERT_TRUE(SpinUntil(
        [&] {
            const std::vector<pid_t> now = BaresipChildren();
            return now.size() == 1 && now[0] != children[0];
        },
        10000));
    const LONG third = PlaceCall(number);
    ASSERT_TRUE(SpinUntil([&] { return !NewsOf(third).empty(); }, 20000)) << err.Text();
    EXPECT_EQ(Events(third).front(), PHONE_EVENT_PLACED);
    // The callee hangs up: the call is over.
    callee.HangUp();
    EXPECT_EQ(WaitForEnd(third, 60000).event, PHONE_EVENT_ENDED);
    EXPECT_TRUE(Contains(err.Text(), "phone: call to " + callee.Address().toStdString() +
                                         " ended: the other side hung up"))
        << err.Text();

    // A microphone baresip cannot open: the call fails and says why, even
    // after it rang.
    Callee another;
    const int anotherPort = FreePortPair();
    ASSERT_TRUE(another.Start(anotherPort)) << another.Output().toStdString();
    WriteAccount(QStringLiteral("<sip:monitor@127.0.0.1:%1>;regint=0").arg(anotherPort));
    std::string error;
    ASSERT_TRUE(SetWaveInputSource("alsa:cc_no_such_microphone", &error)) << error;
    StartPhoneBackend();
    const LONG mute = PlaceCall(another.Address().toStdU16String());
    const News end = WaitForEnd(mute, 20000);
    EXPECT_EQ(end.event, PHONE_EVENT_FAILED);
    EXPECT_EQ(end.reason, "cannot open the microphone cc_no_such_microphone (No such file or "
                          "directory)");
}

// A message for the parent reaches the parent's baresip as a SIP MESSAGE
// (its own UI prints it), and the news names the address.
TEST_F(SipCallTest, AMessageReachesTheParentsBaresip)
{
    Callee parent;
    const int parentPort = FreePortPair();
    ASSERT_NE(parentPort, 0);
    ASSERT_TRUE(parent.Start(parentPort)) << parent.Output().toStdString();
    WriteAccount(QStringLiteral("<sip:monitor@127.0.0.1:%1>;regint=0").arg(parentPort));
    StreamCapture err(STDERR_FILENO);
    StartPhoneBackend();
    const std::u16string to = parent.Address().toStdU16String();
    const LONG id =
        PhoneSendMessage(to.c_str(), u"Cradlecom: Das Mikrofon liefert seit 60 s keinen Ton.");
    const News news = WaitForEnd(id, 20000);
    EXPECT_EQ(news.event, PHONE_EVENT_MESSAGE_SENT) << news.reason << err.Text();
    EXPECT_EQ(news.reason, "SIP MESSAGE to " + parent.Address().toStdString());
    EXPECT_TRUE(SpinUntil(
        [&] {
            return parent.Output().contains(
                QStringLiteral("\"Cradlecom: Das Mikrofon liefert seit 60 s keinen Ton.\""));
        },
        10000))
        << parent.Output().toStdString() << err.Text();
}

// ---- What nobody else may do ---------------------------------------------

// Strangers call the monitor while its own call is still trying: one plainly,
// one whose display name holds what baresip prints for an answered call; each
// hangs up. Each is refused at once and logged; the monitor's call is neither
// failed by a stranger's hang-up nor placed by the name, and ends by its bound.
TEST_F(SipCallTest, CallersCannotTouchTheMonitorsCall)
{
    StartProvider(QStringLiteral("100 Trying"), QStringLiteral("200 OK"));
    ASSERT_FALSE(HasFatalFailure());
    WriteAccount(QStringLiteral("<sip:anna@%1>;regint=0").arg(ProviderHost()));
    StreamCapture err(STDERR_FILENO);
    StartPhoneBackend();
    SetPhoneSipRingTimeout(10000);
    const LONG id = PlaceCall(u"0301234");
    ASSERT_TRUE(SpinUntil([&] { return ProviderRequests().contains(QLatin1String("INVITE")); }));
    for (const char* name : {"Nachbar", "x: Call established: y"}) {
        SCOPED_TRACE(name);
        Callee stranger;
        const int port = FreePortPair();
        ASSERT_TRUE(stranger.Start(port, 30,
                                   QStringLiteral("sip:anna@127.0.0.1:%1").arg(callerPort_),
                                   QLatin1String(name)))
            << stranger.Output().toStdString();
        EXPECT_TRUE(
            SpinUntil([&] { return stranger.Output().contains(QLatin1String("486")); }, 5000))
            << stranger.Output().toStdString();
        stranger.HangUp();
        stranger.Stop();
        EXPECT_TRUE(Contains(err.Text(), "phone: incoming call refused from sip:cb@127.0.0.1:" +
                                             std::to_string(port)))
            << err.Text();
        EXPECT_TRUE(NewsOf(id).empty());
    }
    const News end = WaitForEnd(id, 20000);
    EXPECT_EQ(Events(id), std::vector<DWORD>{PHONE_EVENT_FAILED});
    EXPECT_EQ(end.reason, "the call did not ring within 10 s");
}

// A control module in sip-config, or one smuggled in by a line break in the
// microphone's name, is refused with the reason, and no control port opens.
TEST_F(SipCallTest, NoControlPortIsOpened)
{
    StartProvider(QStringLiteral("486 Busy Here"), QStringLiteral("200 OK"));
    ASSERT_FALSE(HasFatalFailure());
    WriteAccount(QStringLiteral("<sip:anna@%1>;regint=0").arg(ProviderHost()));
    const int control = FreePortPair();
    const QString lines =
        QStringLiteral("module ctrl_tcp.so\nctrl_tcp_listen 127.0.0.1:%1\n").arg(control);
    WriteSipConfig(lines);
    StreamCapture err(STDERR_FILENO);
    StartPhoneBackend();
    // baresip ran, every module loaded.
    EXPECT_EQ(WaitForEnd(PlaceCall(u"0301234"), 20000).reason, "486 Busy Here");
    EXPECT_FALSE(PortAcceptsConnections(control));
    EXPECT_TRUE(Contains(err.Text(), "sip-config, line 2 (module ctrl_tcp.so) refused: baresip "
                                     "takes commands from the program alone"))
        << err.Text();

    WriteSipConfig();
    std::string error;
    ASSERT_TRUE(SetWaveInputSource(("alsa:default\n" + lines).toStdString().c_str(), &error));
    StartPhoneBackend();
    const News end = WaitForEnd(PlaceCall(u"0301234"), 20000);
    EXPECT_EQ(end.event, PHONE_EVENT_FAILED);
    EXPECT_TRUE(Contains(end.reason, "alsa,default\\x0amodule ctrl_tcp.so") &&
                Contains(end.reason, "holds control characters"))
        << end.reason;
    EXPECT_FALSE(PortAcceptsConnections(control));
}

// A call the far end never ends, or that rings and rings, holds no later
// call back.
TEST_F(SipCallTest, CallsThatNeverEndAreEndedAfterTheirBounds)
{
    Callee callee;
    ASSERT_TRUE(callee.Start(FreePortPair())) << callee.Output().toStdString();
    WriteAccount(QStringLiteral("<sip:monitor@%1>;regint=0").arg(callee.Address().mid(7)));
    StreamCapture err(STDERR_FILENO);
    StartPhoneBackend();
    SetPhoneSipLongestCall(3000);
    const LONG id = PlaceCall(callee.Address().toStdU16String());
    EXPECT_EQ(WaitForEnd(id, 20000).reason, "still connected after 3 s");
    EXPECT_EQ(Events(id),
              (std::vector<DWORD>{PHONE_EVENT_PLACED, PHONE_EVENT_ANSWERED, PHONE_EVENT_ENDED}));
    EXPECT_TRUE(SpinUntil([&] { return callee.Output().contains(QLatin1String("terminated")); }));

    // A callee that only rings is hung up after the ring time PhoneRingSeconds
    // gives, not answered, and the next number is dialled at once.
    StartProvider(QStringLiteral("180 Ringing"), QStringLiteral("200 OK"));
    ASSERT_FALSE(HasFatalFailure());
    WriteAccount(QStringLiteral("<sip:anna@%1>;regint=0").arg(ProviderHost()));
    StartPhoneBackend();
    PhoneSetRingTimeout(1500);
    const LONG ringing = PlaceCall(u"0301234");
    EXPECT_EQ(WaitForEnd(ringing, 20000).reason, "not answered within 1.5 s, hung up");
    EXPECT_EQ(Events(ringing), (std::vector<DWORD>{PHONE_EVENT_PLACED, PHONE_EVENT_ENDED}));
    const LONG next = PlaceCall(u"0307654");
    EXPECT_EQ(WaitForEnd(next, 20000).reason, "not answered within 1.5 s, hung up");
    EXPECT_EQ(Events(next), (std::vector<DWORD>{PHONE_EVENT_PLACED, PHONE_EVENT_ENDED}));
    PhoneSetRingTimeout(120000);
}

// Nothing of baresip outlives the program: not when it ends with a call
// under way, not when it is killed. Ended by Ctrl+C (SIGINT to its whole
// process group) while no call runs, the program ends baresip itself and
// logs no false error.
TEST_F(SipCallTest, NothingOutlivesTheProgram)
{
    for (const QString how : {"return", "hang", "interrupt"}) {
        SCOPED_TRACE(how.toStdString());
        StartProvider(how == QLatin1String("interrupt") ? QStringLiteral("486 Busy Here")
                                                        : QStringLiteral("180 Ringing"),
                      QStringLiteral("200 OK"));
        ASSERT_FALSE(HasFatalFailure());
        WriteAccount(QStringLiteral("<sip:anna@%1>;regint=0").arg(ProviderHost()));
        QProcess helper;
        helper.setChildProcessModifier([] { ::setpgid(0, 0); });
        helper.start(QStringLiteral(SIP_EXIT_HELPER), {QStringLiteral("0301234"), how});
        ASSERT_TRUE(helper.waitForReadyRead(20000));
        const QList<QByteArray> said = helper.readLine().trimmed().split(' ');
        ASSERT_EQ(said.size(), 2) << said.value(0).toStdString();
        const pid_t baresip = static_cast<pid_t>(said[0].toInt());
        const QString folder = QString::fromUtf8(said[1]);
        ASSERT_GT(baresip, 0);
        EXPECT_TRUE(QFileInfo::exists(folder));
        if (how == QLatin1String("hang"))
            helper.kill();
        if (how == QLatin1String("interrupt")) {
            ASSERT_EQ(::kill(-static_cast<pid_t>(helper.processId()), SIGINT), 0);
        }
        ASSERT_TRUE(helper.waitForFinished(10000));
        if (how != QLatin1String("hang")) {
            EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(helper.exitCode(), 0);
            EXPECT_FALSE(QFileInfo::exists(folder));
        }
        const QString logged = QString::fromUtf8(helper.readAllStandardError());
        EXPECT_FALSE(logged.contains(QLatin1String("starting it again"))) << logged.toStdString();
        EXPECT_TRUE(SpinUntil([&] { return ProcessGone(baresip); }, 5000));
        // A killed program leaves its folder to the runtime folder's owner.
        QDir(folder).removeRecursively();
    }
}

} // namespace
