// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated day of the program with faults injected from a fixed seed:
// every invariant holds, every kind of fault was injected, and the same
// seed gives the same run.
#include <gtest/gtest.h>

#include "soak.h"

namespace {

const SoakSounds& Sounds()
{
    static SoakSounds sounds;
    static bool loaded = [] {
        std::string error;
        bool ok = LoadSoakSounds(CRADLECOM_DATA_DIR, &sounds, &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }();
    EXPECT_TRUE(loaded);
    return sounds;
}

TEST(Soak, ADayWithEveryKindOfFaultKeepsEveryInvariant)
{
    SoakOptions options;
    options.days = 1.0;
    options.seed = 2024;
    SoakResult result = RunSoak(options, Sounds());
    ASSERT_TRUE(result.passed) << FailureLine(options, result);
    EXPECT_DOUBLE_EQ(result.seconds, 86400.0);
    // A restart every few hours (after a pause of up to two minutes), a
    // 100 ms tick all along.
    EXPECT_GE(result.sessions, 3);
    EXPECT_GT(result.ticks, 86400L * 10 - 1200L * result.sessions);
    // The run did what it claims: calls, saves that worked and failed, and
    // every kind of fault, many of them.
    EXPECT_GE(result.calls, 10);
    EXPECT_GE(result.saves, 10);
    EXPECT_GE(result.failedSaves, 5);
    long injected = 0;
    for (int kind = 0; kind < faultKinds; ++kind) {
        EXPECT_GT(result.injected[kind], 0) << FaultName(kind);
        injected += result.injected[kind];
    }
    EXPECT_GT(injected, 500);
}

// Everything comes from the seed: two runs of it are the same run, and
// another seed is another run.
TEST(Soak, TheSeedAloneGivesTheRun)
{
    SoakOptions options;
    options.days = 0.05;
    options.seed = 77;
    SoakResult first = RunSoak(options, Sounds());
    SoakResult again = RunSoak(options, Sounds());
    options.seed = 78;
    SoakResult other = RunSoak(options, Sounds());
    ASSERT_TRUE(first.passed) << FailureLine(options, first);
    EXPECT_EQ(again.ticks, first.ticks);
    EXPECT_EQ(again.sessions, first.sessions);
    EXPECT_EQ(again.calls, first.calls);
    EXPECT_EQ(again.buffers, first.buffers);
    EXPECT_EQ(again.saves, first.saves);
    EXPECT_EQ(again.failedSaves, first.failedSaves);
    for (int kind = 0; kind < faultKinds; ++kind)
        EXPECT_EQ(again.injected[kind], first.injected[kind]) << FaultName(kind);
    bool same =
        other.buffers == first.buffers && other.calls == first.calls && other.saves == first.saves;
    EXPECT_FALSE(same);
}

TEST(Soak, TheClockReadsAsDaysAndTimeOfDay)
{
    EXPECT_EQ(SoakClock(0.0), "day 1 00:00:00.0");
    EXPECT_EQ(SoakClock(86399.95), "day 1 23:59:59.9");
    EXPECT_EQ(SoakClock(2 * 86400.0 + 3 * 3600 + 25 * 60 + 10.7), "day 3 03:25:10.7");
}

} // namespace
