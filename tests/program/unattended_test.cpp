// SPDX-License-Identifier: GPL-3.0-or-later
// A start that nobody watches: monitoring starts as soon as the window is
// up, and what would wait in a box goes to standard error instead.
#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/platform.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_phone.h"
#include "program_fixture.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

using UnattendedTest = ProgramTest;

void UnattendedStart()
{
    shell.unattendedStart = 1;
}

// No number, a number that breaks the rules: the reason in the chosen
// language on standard error, status 2, the window gone at once, and never
// a box or a dialog (not even the first-use one).
TEST_F(UnattendedTest, StartWithoutANumberEndsWithStatusTwoAndTheReason)
{
    struct Case {
        std::u16string number;
        int language;
        const char* told;
        const char* logged;
    };
    const Case cases[] = {
        {u"", 0, "Cradlecom: Bitte tragen Sie vorher eine g\xc3\xbcltige Telefonnummer ein !",
         "monitoring not started: no number to call"},
        {u"--help", 1, "Cradlecom: Please define a valid call number first !",
         "monitoring not started: not a call number: --help"},
    };
    for (const Case& c : cases) {
        ResetProgram();
        StoredSettings stored;
        stored.phoneNumber = c.number;
        stored.language = c.language;
        stored.firstUse = false; // would open the language dialog at this start
        StoreSettings(stored);
        SimSetEndTime(Tick(600));
        UnattendedStart();
        EXPECT_EQ(RunProgram(), 2);
        EXPECT_LT(SimNow(), Tick(2)); // ended on the posted start, before any tick
        EXPECT_FALSE(SimWindowAlive(SimMainWindow()));
        EXPECT_EQ(SimStandardError(), std::vector<std::string>{c.told});
        EXPECT_TRUE(SimMessageBoxes().empty());
        EXPECT_TRUE(SimDialogRuns().empty());
        EXPECT_EQ(monitor.monitoring, 0);
        EXPECT_EQ(EventCount(c.logged), 1);
        EXPECT_EQ(EventTexts().back(), "program ended");
        EXPECT_FALSE(SimWaveIsOpen());
        EXPECT_EQ(SimHeapLiveBlocks(), 0);
    }
}

// With a number: on before the first tick, as after a press of Start, and
// the call comes from the crying. The first-use dialog is left to the menu.
// Once the start is done, the program is as ever: a later refused Start
// shows its box and the program runs on.
TEST_F(UnattendedTest, StartWithANumberMonitorsAndCallsThenBehavesAsEver)
{
    StoredSettings stored;
    stored.firstUse = false;
    StoreSettings(stored);
    SimSetInput(QuietLoud({2.0, 10.0, 20.0}));
    UnattendedStart();
    std::u16string caption;
    SimAt(Tick(1), [&] {
        EXPECT_EQ(monitor.monitoring, 1);
        caption = SimMenuBarButtons(SimMainWindow())[0].text;
    });
    SimAt(Tick(250), [] {
        settings.PhoneNumber[0] = u'\0';
        SimPressMenuBarButton(SimMainWindow(), 0); // Stop
        SimPressMenuBarButton(SimMainWindow(), 0); // Start, refused
    });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(caption, u"Stopp");
    EXPECT_TRUE(SimDialogRuns().empty());
    EXPECT_EQ(EventCount("monitoring on"), 1);
    ASSERT_EQ(SimCalls().size(), 1u);
    EXPECT_GT(SimCalls()[0].time, Tick(20)); // the crying, not the start, made it
    EXPECT_LT(SimCalls()[0].time, Tick(120));
    ASSERT_EQ(SimMessageBoxes().size(), 1u);
    EXPECT_EQ(SimMessageBoxes()[0].time, Tick(250));
    EXPECT_TRUE(SimStandardError().empty());
}

// A microphone that fails at start: message 1001 on standard error instead
// of a box, monitoring on all the same, and the ten-second restart tries
// again until the microphone answers; the log says both.
TEST_F(UnattendedTest, MicrophoneFailureAtStartIsToldAndTriedAgain)
{
    StoredSettings stored;
    stored.language = 1;
    StoreSettings(stored);
    SimSetInput(QuietLoud({25.0, 10.0}));
    SimWaveFailNth(SimWaveOp::Open, 1);
    SimAt(Tick(50), [] { SimWaveFailNth(SimWaveOp::Open, 1); }); // the first restart too
    bool openBeforeSecondRestart = true;
    SimAt(Tick(199), [&] { openBeforeSecondRestart = SimWaveIsOpen(); });
    UnattendedStart();
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(SimMessageBoxes().empty());
    EXPECT_EQ(SimStandardError(),
              std::vector<std::string>{"Cradlecom: Cannot initialize the recorder device !"});
    EXPECT_FALSE(openBeforeSecondRestart);
    EXPECT_GE(SimWaveCalls(SimWaveOp::Open), 3);
    const std::vector<std::string> texts = EventTexts();
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[1], "microphone failed: no driver (error 6)");
    EXPECT_EQ(texts[2], "monitoring on");
    EXPECT_EQ(EventCount("microphone recovered"), 1);
    EXPECT_EQ(SimCalls().size(), 1u); // the crying after the recovery is heard
}

// The status line that tells where calls go, as the screen shows it at `when`.
std::u16string RouteLineAt(SimTime when)
{
    std::u16string line;
    for (const SimText& text : SimTextLog()) {
        if (text.time <= when && text.rect.top == 176 + 16)
            line = text.text;
    }
    return line;
}

// Without a way to call (the phone has looked for a modem and found none),
// a start nobody watches says so once, on standard error and in the log,
// with how to choose a way, and the status line says it while it lasts.
// Calls only logged because that was asked for, or a modem found, say
// nothing.
TEST_F(UnattendedTest, AStartWithoutAWayToCallSaysSoOnce)
{
    const std::string logged = "no way to place a call: every call will only be logged; choose "
                               "one with --phone modemmanager, --phone sip or --phone "
                               "command:PROGRAM";
    StoredSettings stored;
    stored.language = 1;
    StoreSettings(stored);
    SimSetEndTime(Tick(2500));
    SimSetPhoneRoute(PHONE_ROUTE_LOG);                              // not looked yet
    SimAt(Tick(20), [] { SimSetPhoneRoute(PHONE_ROUTE_NONE); });    // found none
    SimAt(Tick(1500), [] { SimSetPhoneRoute(PHONE_ROUTE_MODEM); }); // a modem registers
    SimAt(Tick(2000), [] { SimSetPhoneRoute(PHONE_ROUTE_NONE); });  // and goes away
    UnattendedStart();
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(SimStandardError().size(), 1u);
    EXPECT_NE(SimStandardError()[0].find("nobody is called"), std::string::npos);
    EXPECT_NE(SimStandardError()[0].find("--phone command:PROGRAM"), std::string::npos);
    EXPECT_EQ(EventCount(logged), 1);
    EXPECT_EQ(RouteLineAt(Tick(19)), u"Calls are only logged");
    EXPECT_EQ(RouteLineAt(Tick(1499)), u"No way to place calls!");
    EXPECT_EQ(RouteLineAt(Tick(1999)), u"Calls go to the modem");
    EXPECT_EQ(RouteLineAt(Tick(2500)), u"No way to place calls!");
    EXPECT_EQ(monitor.monitoring, 1);

    for (DWORD route : {PHONE_ROUTE_LOG, PHONE_ROUTE_MODEM}) {
        ResetProgram();
        StoreSettings(stored);
        SimSetEndTime(Tick(600));
        SimSetPhoneRoute(route);
        UnattendedStart();
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_TRUE(SimStandardError().empty()) << route;
        EXPECT_EQ(EventCount(logged), 0) << route;
    }
}

// Another copy runs: it is brought to the front as ever, and a start that
// nobody watches leaves a line saying why it did nothing; one that finds
// the lock held and no window says that.
TEST_F(UnattendedTest, AnotherCopyRunningIsLogged)
{
    SimHoldForeignLock(u"CradleCom", -1);
    SimDeclareForeignWindow(u"CradleCom", u"Cradlecom", 0);
    UnattendedStart();
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimMainWindow(), nullptr);
    EXPECT_EQ(SimActivations().size(), 1u);
    EXPECT_EQ(EventTexts(), std::vector<std::string>{"monitoring not started: another copy runs"});

    ResetProgram();
    SimHoldForeignLock(u"CradleCom", -1);
    UnattendedStart();
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimMainWindow(), nullptr);
    EXPECT_EQ(EventTexts(), std::vector<std::string>{"monitoring not started: another copy "
                                                     "holds the lock but shows no window"});

    // Attended, a second start stays silent.
    ResetProgram();
    SimHoldForeignLock(u"CradleCom", -1);
    SimDeclareForeignWindow(u"CradleCom", u"Cradlecom", 0);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(EventTexts().empty());
}

} // namespace
