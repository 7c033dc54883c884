// SPDX-License-Identifier: GPL-3.0-or-later
// The monitoring tick: its order of steps, the cry meter's exact doubles,
// the ten-second restart and the delay after a call.
#include <cmath>
#include <limits>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "engine_fixture.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

using TickTest = EngineTest;

static void Ticks(int count)
{
    for (int i = 0; i < count; ++i)
        MonitorTick(nullptr);
}

TEST_F(TickTest, CryMeterRisesAndFallsInExactSteps)
{
    limits.volLimit = 0.5;
    capture.level = 0.5; // equal counts as loud
    Ticks(10);
    EXPECT_EQ(monitor.cryMeter, 0.19999999999999998);
    EXPECT_LT(monitor.cryMeter, 0.2); // a limit of 0.2 is met only on the 11th tick
    Ticks(1);
    EXPECT_GE(monitor.cryMeter, 0.2);
    Ticks(14);
    EXPECT_GE(monitor.cryMeter, 0.5);
    monitor.cryMeter = 0.0;
    Ticks(24);
    EXPECT_LT(monitor.cryMeter, 0.5);
    Ticks(1);
    EXPECT_GE(monitor.cryMeter, 0.5); // reached on the 25th loud tick
    Ticks(25);
    EXPECT_EQ(monitor.cryMeter, 1.0); // the 50th gives exactly 1.0
    monitor.cryMeter = 0.99;
    Ticks(1);
    EXPECT_EQ(monitor.cryMeter, 1.0); // clamped

    capture.level = std::nextafter(0.5, 0.0); // just below: quiet
    monitor.cryMeter = 1.0;
    Ticks(199);
    EXPECT_GT(monitor.cryMeter, 0.0);
    Ticks(1);
    EXPECT_EQ(monitor.cryMeter, 0.0);
    Ticks(1);
    EXPECT_EQ(monitor.cryMeter, 0.0); // clamped at 0
}

// The per-second step runs before the restart on tick 100, and the clock
// fields change only on per-second steps.
TEST_F(TickTest, PerSecondStepThenRestartOnTheHundredthTick)
{
    SimSetLocalTime(7, 5);
    monitor.delaySeconds = 12;
    Ticks(9);
    EXPECT_EQ(monitor.delaySeconds, 12);
    EXPECT_EQ(monitor.clockHour, 0);
    Ticks(1);
    EXPECT_EQ(monitor.delaySeconds, 11);
    EXPECT_EQ(monitor.clockHour, 7);
    EXPECT_EQ(monitor.clockMinute, 5);
    SimSetLocalTime(7, 6);
    Ticks(9);
    EXPECT_EQ(monitor.clockMinute, 5);
    Ticks(80);
    EXPECT_EQ(monitor.tickCount, 99);
    long opens = SimWaveCalls(SimWaveOp::Open);
    Ticks(1);
    EXPECT_EQ(monitor.tickCount, 0);
    EXPECT_EQ(monitor.delaySeconds, 2); // ten steps, the tenth before the restart
    EXPECT_EQ(monitor.clockMinute, 6);
    EXPECT_EQ(SimWaveCalls(SimWaveOp::Open), opens + 1); // capture restarted
    EXPECT_TRUE(SimWaveIsOpen());
    Ticks(20);
    EXPECT_EQ(monitor.delaySeconds, 0);
    Ticks(10);
    EXPECT_EQ(monitor.delaySeconds, 0); // stays at 0
}

TEST_F(TickTest, RestartArmsTheDelayOnlyAfterACall)
{
    settings.PhoneDelay = 2;
    monitor.tickCount = 99;
    Ticks(1);
    EXPECT_EQ(monitor.delaySeconds, 0);
    monitor.tickCount = 99;
    monitor.callPending = 1;
    Ticks(1);
    EXPECT_EQ(monitor.delaySeconds, 120);
    EXPECT_EQ(monitor.callPending, 0);
    monitor.tickCount = 99;
    Ticks(1);
    EXPECT_EQ(monitor.delaySeconds, 119); // not armed again
}

// An edited store can hold a delay whose product leaves 32 bits: it
// saturates instead of wrapping, and a negative one counts as no delay.
TEST_F(TickTest, DelayProductSaturates)
{
    struct Row {
        std::int32_t minutes;
        std::int32_t armed;
    } rows[] = {
        {std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max()},
        {40000000, std::numeric_limits<std::int32_t>::max()},
        {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min()},
        {-3, -180},
    };
    for (const Row& row : rows) {
        settings.PhoneDelay = row.minutes;
        monitor.tickCount = 99;
        monitor.callPending = 1;
        Ticks(1);
        EXPECT_EQ(monitor.delaySeconds, row.armed) << row.minutes;
        Ticks(10);
        EXPECT_EQ(monitor.delaySeconds, row.armed > 0 ? row.armed - 1 : 0) << row.minutes;
    }
}

// With capture running on a recording, the tick sees each buffer's level
// as it comes; the restart every ten seconds keeps it coming.
TEST_F(TickTest, LevelFollowsTheInputAcrossRestarts)
{
    settings.VolSensi = 50;
    settings.VolThresh = 50;
    ComputeLimits();
    std::vector<std::int16_t> input(11025 * 25, 0);
    for (std::size_t i = 11025 * 12; i < 11025 * 20; ++i)
        input[i] = static_cast<std::int16_t>(i % 2 == 0 ? 16000 : -16000);
    SimSetInput(input);
    ASSERT_TRUE(StartCapture());
    SimSetTimerSink([](HWND window, std::uintptr_t) { MonitorTick(window); });
    SimAddTimer(nullptr, 100, 11025);
    SimRunUntil(11025 * 100); // ten seconds of silence
    EXPECT_EQ(capture.level.load(), 0.0);
    EXPECT_EQ(monitor.cryMeter, 0.0);
    SimRunUntil(11025 * 180); // eighteen seconds: six of them loud
    EXPECT_EQ(capture.level.load(), 1.0);
    EXPECT_EQ(monitor.cryMeter, 1.0);
    SimRunUntil(SimEndTime());
    EXPECT_EQ(capture.level.load(), 0.0);
    EXPECT_LT(monitor.cryMeter, 1.0);
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();
}
