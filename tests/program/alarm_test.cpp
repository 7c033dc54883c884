// SPDX-License-Identifier: GPL-3.0-or-later
// Start/Stop and the call decision: the six conditions, the call limit per
// run, the quiet time after a call, and the whole road from a loud room to
// the calls.
#include <cmath>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/platform.h"
#include "program_fixture.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "ui/layout.h"

using AlarmTest = ProgramTest;

namespace {

// A call is due: monitoring on, no delay, meter at its limit, nothing
// pending, a number, calls left.
void MakeCallDue()
{
    monitor.monitoring = 1;
    monitor.delaySeconds = 0;
    monitor.cryMeter = 0.5;
    limits.cryLimit = 0.5;
    monitor.callPending = 0;
    std::u16string number = u"0170 555";
    std::copy(number.begin(), number.end(), settings.PhoneNumber);
    monitor.callsMade = 2;
    settings.PhoneMaxCalls = 3;
    monitor.tickCount = 42;
}

} // namespace

// Each condition alone holds the call back and changes nothing; equal
// meter and limit, and a negative delay, let it through.
TEST_F(AlarmTest, EveryConditionHoldsTheCallBack)
{
    struct Case {
        const char* name;
        void (*breakIt)();
    } cases[] = {
        {"monitoring off", [] { monitor.monitoring = 0; }},
        {"delay running", [] { monitor.delaySeconds = 1; }},
        {"meter below limit", [] { monitor.cryMeter = std::nextafter(0.5, 0.0); }},
        {"call pending", [] { monitor.callPending = 1; }},
        {"no number", [] { settings.PhoneNumber[0] = u'\0'; }},
        {"limit reached", [] { monitor.callsMade = 3; }},
        {"no calls allowed",
         [] {
             settings.PhoneMaxCalls = 0;
             monitor.callsMade = 0;
         }},
    };
    for (const Case& c : cases) {
        ResetProgram();
        ASSERT_TRUE(StartCapture());
        MakeCallDue();
        c.breakIt();
        MonitorState before = monitor;
        PlaceCallIfDue(nullptr);
        EXPECT_TRUE(SimCalls().empty()) << c.name;
        EXPECT_EQ(monitor.callsMade, before.callsMade) << c.name;
        EXPECT_EQ(monitor.tickCount, 42) << c.name;
        EXPECT_TRUE(SimWaveIsOpen()) << c.name;
    }

    ResetProgram();
    ASSERT_TRUE(StartCapture());
    MakeCallDue();
    monitor.delaySeconds = -180; // from a negative delay in the store
    PlaceCallIfDue(nullptr);
    std::vector<SimCall> calls = SimCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].number, u"0170 555");
    EXPECT_EQ(calls[0].flags, PMCF_DEFAULT);
    EXPECT_EQ(monitor.callsMade, 3);
    EXPECT_EQ(monitor.tickCount, 0);
    EXPECT_EQ(monitor.cryMeter, 0.0);
    EXPECT_EQ(monitor.callPending, 1);
    EXPECT_FALSE(SimWaveIsOpen()); // the microphone is released before the call
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
}

TEST_F(AlarmTest, StartNeedsANumberAndRelabelsTheButton)
{
    StoredSettings stored;
    stored.phoneNumber = u"";
    StoreSettings(stored);
    SimSetEndTime(Tick(60));
    SimAt(Tick(5), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimAt(Tick(6), [] {
        EXPECT_EQ(monitor.monitoring, 0);
        EXPECT_EQ(SimMenuBarButtons(SimMainWindow())[0].text, u"Start");
        EXPECT_TRUE(SimInvalidations().empty());
    });
    EXPECT_EQ(RunProgram(), 0);
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text("Bitte tragen Sie vorher eine gültige Telefonnummer ein !"));
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONEXCLAMATION);

    ResetProgram();
    StoreSettings({});
    SimSetEndTime(Tick(60));
    SimAt(Tick(5), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimAt(Tick(6), [] {
        EXPECT_EQ(monitor.monitoring, 1);
        EXPECT_EQ(SimMenuBarButtons(SimMainWindow())[0].text, u"Stopp");
        std::vector<SimInvalidation> strips = SimInvalidations();
        ASSERT_FALSE(strips.empty());
        const RECT& strip = strips.back().rect;
        // The middle column of the 240 x 268 screen, from above the picture.
        EXPECT_EQ(strip.left, static_cast<LONG>(240 * screenLayout.middleLeft));
        EXPECT_EQ(strip.top, screenLayout.middleStripTop);
        EXPECT_EQ(strip.right, static_cast<LONG>(240 * screenLayout.middleRight));
        EXPECT_EQ(strip.bottom, 268);
        EXPECT_TRUE(strips.back().erase);
        monitor.callsMade = 2; // Stop leaves counters alone
    });
    SimAt(Tick(7), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimAt(Tick(8), [] {
        EXPECT_EQ(monitor.monitoring, 0);
        EXPECT_EQ(monitor.callsMade, 2);
        EXPECT_EQ(SimMenuBarButtons(SimMainWindow())[0].text, u"Start");
    });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(SimMessageBoxes().empty());
}

// Loud from the start, no pause: the meter reaches 0.5 on the 25th loud
// tick (tick 26, the first buffer returns after tick 1). A call clears the
// level, so each later call needs 25 loud ticks of the restarted capture,
// whose first buffer returns after the tick following the restart: calls 126
// ticks apart, three times per run.
TEST_F(AlarmTest, CallLimitPerRunAndCallsOnRestartTicks)
{
    StoredSettings stored;
    stored.PhoneDelay = 0;
    stored.PhoneMaxCalls = 3;
    StoreSettings(stored);
    SimSetInput(QuietLoud({0.0, 90.0}));
    SimAt(0, [] { PostMessageW(SimMainWindow(), WM_COMMAND, 500, 0); });
    SimAt(Tick(600), [] { SimPressMenuBarButton(SimMainWindow(), 0); }); // Stop
    SimAt(Tick(601), [] { SimPressMenuBarButton(SimMainWindow(), 0); }); // Start
    EXPECT_EQ(RunProgram(), 0);
    std::vector<SimCall> calls = SimCalls();
    ASSERT_EQ(calls.size(), 6u);
    std::vector<SimTime> expected = {Tick(26), Tick(152), Tick(278)};
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(calls[i].time, expected[i]) << i;
    // After Stop and Start the meter starts from 0 again.
    EXPECT_GT(calls[3].time, Tick(601));
    EXPECT_EQ(calls[4].time - calls[3].time, Tick(126));
    EXPECT_EQ(calls[5].time - calls[4].time, Tick(126));
    for (const SimCall& call : calls)
        EXPECT_EQ(call.number, u"+49 170 1234567");
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();
}

// Stop and Start soon after a call reset the counters, but the pending
// call still arms the quiet time at its restart.
TEST_F(AlarmTest, StopStartAfterACallKeepsTheQuietTime)
{
    StoredSettings stored;
    stored.PhoneDelay = 1;
    StoreSettings(stored);
    SimSetInput(QuietLoud({0.0, 120.0}));
    SimAt(0, [] { PostMessageW(SimMainWindow(), WM_COMMAND, 500, 0); });
    SimAt(Tick(30), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimAt(Tick(31), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimAt(Tick(32), [] {
        EXPECT_EQ(monitor.callsMade, 0);
        EXPECT_EQ(monitor.callPending, 1);
    });
    SimAt(Tick(127), [] { EXPECT_EQ(monitor.delaySeconds, 60 - 0); });
    EXPECT_EQ(RunProgram(), 0);
    std::vector<SimCall> calls = SimCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].time, Tick(26));
    // 100 ticks to the restart, then 60 per-second steps of 10 ticks.
    EXPECT_EQ(calls[1].time, Tick(126 + 600));
}
