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
#include "ui/layout.h"

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
        stored.Language = c.language;
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
    stored.Language = 1;
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
              std::vector<std::string>{"Cradlecom: Cannot initialize the recorder device ! "
                                       "Device error: no driver (error 6)"});
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
        if (text.time <= when &&
            text.rect.top == screenLayout.statusTop + screenLayout.statusLineHeight)
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
    stored.Language = 1;
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
// nobody watches asks it to monitor, naming the number it would call, and
// says what became of that; the status tells a service manager. A plain
// second start only brings it to the front, silently.
TEST_F(UnattendedTest, AnotherCopyIsAskedToMonitorAndTheAnswerIsTold)
{
    struct Case {
        LRESULT answer;
        int status;
        std::vector<std::string> told; // on standard error, besides the log
        const char* logged;
    };
    const Case cases[] = {
        {REMOTE_START_DONE, 0, {}, "monitoring started in the copy that runs already"},
        {REMOTE_START_RUNNING, 0, {}, "monitoring is on already in the copy that runs"},
        {REMOTE_START_NO_NUMBER,
         2,
         {"Cradlecom: Please define a valid call number first !"},
         "monitoring not started: the copy that runs already has no valid number to call"},
        {REMOTE_START_OTHER_NUMBER,
         2,
         {},
         "monitoring not started: the copy that runs already calls another number; start "
         "monitoring there, or end it and start again"},
        {0, 1, {}, "monitoring not started: the copy that runs already did not answer"},
    };
    for (const Case& c : cases) {
        ResetProgram();
        StoredSettings stored;
        stored.Language = 1;
        stored.phoneNumber = u"0301234";
        StoreSettings(stored);
        SimHoldForeignLock(u"CradleCom", -1);
        HWND running = SimDeclareForeignWindow(u"CradleCom", u"Cradlecom", 0);
        SimSetForeignAnswer(running, c.answer);
        UnattendedStart();
        EXPECT_EQ(RunProgram(), c.status) << c.logged;
        EXPECT_EQ(SimMainWindow(), nullptr);
        EXPECT_EQ(SimActivations().size(), 1u);
        ASSERT_EQ(SimForeignCopyData().size(), 1u);
        const SimCopyData sent = SimForeignCopyData()[0];
        EXPECT_EQ(sent.code, COPYDATA_START_MONITORING);
        const unsigned char number[] = {'0', 0, '3', 0, '0', 0, '1', 0, '2', 0, '3', 0, '4', 0};
        EXPECT_EQ(sent.data, std::vector<unsigned char>(std::begin(number), std::end(number)));
        EXPECT_EQ(EventTexts(), std::vector<std::string>{c.logged});
        EXPECT_EQ(SimStandardError(), c.told);
    }

    // The lock held and no window: nobody to ask, so no success either.
    ResetProgram();
    SimHoldForeignLock(u"CradleCom", -1);
    UnattendedStart();
    EXPECT_EQ(RunProgram(), 1);
    EXPECT_EQ(SimMainWindow(), nullptr);
    EXPECT_EQ(EventTexts(), std::vector<std::string>{"monitoring not started: another copy "
                                                     "holds the lock but shows no window"});

    // Attended, a second start only brings the copy to the front.
    ResetProgram();
    SimHoldForeignLock(u"CradleCom", -1);
    SimDeclareForeignWindow(u"CradleCom", u"Cradlecom", 0);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(SimActivations().size(), 1u);
    EXPECT_TRUE(SimForeignCopyData().empty());
    EXPECT_TRUE(EventTexts().empty());
}

// The running copy, asked by another start (a start it makes is in the
// tests of the real program): without a valid number, or with another
// number than that start's, it refuses, without a box that would wait for
// somebody, and logs why; when it monitors already it says so.
TEST_F(UnattendedTest, ARunningCopyAskedByAnotherStartRefusesWithTheReason)
{
    struct Case {
        std::u16string stored;
        std::u16string asked;
        bool monitoringBefore;
        LRESULT answer;
        std::vector<std::string> logged;
    };
    const Case cases[] = {
        {u"0301234",
         u"0301234",
         true,
         REMOTE_START_RUNNING,
         {"another start asked for monitoring, which is on already"}},
        {u"",
         u"",
         false,
         REMOTE_START_NO_NUMBER,
         {"another start asks for monitoring", "monitoring not started: no number to call"}},
        {u"0301234",
         u"0170 0000000",
         false,
         REMOTE_START_OTHER_NUMBER,
         {"monitoring not started at another start's request: it would call 0170 0000000, "
          "this copy calls 0301234"}},
    };
    for (const Case& c : cases) {
        ResetProgram();
        StoredSettings stored;
        stored.phoneNumber = c.stored;
        StoreSettings(stored);
        LRESULT answer = 0;
        std::vector<std::string> logged;
        SimAt(Tick(5), [&] {
            if (c.monitoringBefore)
                SendMessageW(SimMainWindow(), WM_COMMAND, 500, 0); // Start
            const std::size_t before = EventTexts().size();
            std::u16string asked = c.asked;
            COPYDATASTRUCT request{COPYDATA_START_MONITORING,
                                   static_cast<DWORD>(asked.size() * sizeof(char16_t)),
                                   asked.data()};
            answer =
                SendMessageW(SimMainWindow(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&request));
            const std::vector<std::string> all = EventTexts();
            logged.assign(all.begin() + static_cast<long>(before), all.end());
        });
        SimSetEndTime(Tick(10));
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(logged, c.logged);
        EXPECT_EQ(monitor.monitoring, c.answer == REMOTE_START_DONE || c.monitoringBefore);
        EXPECT_TRUE(SimMessageBoxes().empty());
    }
}

} // namespace
