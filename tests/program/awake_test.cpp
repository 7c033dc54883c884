// SPDX-License-Identifier: GPL-3.0-or-later
// The device stays awake from Start to Stop, and is let go when the program
// ends; a refused Start asks for nothing.
#include "alarm/monitor.h"
#include "platform/platform.h"
#include "platform/sim/sim_power.h"
#include "program_fixture.h"

using AwakeTest = ProgramTest;

TEST_F(AwakeTest, KeptAwakeFromStartToStopAndUntilTheEnd)
{
    StoreSettings({});
    SimSetEndTime(Tick(60));
    SimAt(Tick(5), [] {
        EXPECT_TRUE(SimExecutionStateCalls().empty()); // nothing before Start
        SimPressMenuBarButton(SimMainWindow(), 0);
    });
    SimAt(Tick(6), [] {
        ASSERT_EQ(monitor.monitoring, 1);
        ASSERT_EQ(SimExecutionStateCalls().size(), 1u);
        EXPECT_EQ(SimExecutionStateCalls()[0].flags, ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        EXPECT_TRUE(SimKeptAwake());
        SimPressMenuBarButton(SimMainWindow(), 0);
    });
    SimAt(Tick(7), [] {
        ASSERT_EQ(monitor.monitoring, 0);
        ASSERT_EQ(SimExecutionStateCalls().size(), 2u);
        EXPECT_EQ(SimExecutionStateCalls()[1].flags, ES_CONTINUOUS);
        EXPECT_FALSE(SimKeptAwake());
        SimPressMenuBarButton(SimMainWindow(), 0);
    });
    SimAt(Tick(8), [] { EXPECT_TRUE(SimKeptAwake()); });
    EXPECT_EQ(RunProgram(), 0);
    // The program ended while monitoring: the device may sleep again.
    EXPECT_FALSE(SimKeptAwake());
    EXPECT_EQ(SimExecutionStateCalls().back().flags, ES_CONTINUOUS);
}

TEST_F(AwakeTest, RefusedStartAsksForNothing)
{
    StoredSettings stored;
    stored.phoneNumber = u"";
    StoreSettings(stored);
    SimSetEndTime(Tick(60));
    SimAt(Tick(5), [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimAt(Tick(6), [] {
        EXPECT_EQ(monitor.monitoring, 0);
        EXPECT_TRUE(SimExecutionStateCalls().empty());
    });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_FALSE(SimKeptAwake());
}
