// SPDX-License-Identifier: GPL-3.0-or-later
// The soak catches what it claims to: against the program broken on purpose
// in one place at a time, it fails with the invariant that the break
// violates, and says how to replay it.
#include <gtest/gtest.h>

#include "alarm/monitor.h"
#include "alarm/watch.h"
#include "platform/sim/sim.h"
#include "soak.h"

namespace {

// The breaks, made after a tick of the soak: 1 keeps the next buffer the
// capture engine releases (its header and its data stay allocated), 2 makes
// the program forget the pause after a call, so that it calls again while
// the pause should run, 3 lets a round go on to the next number after an
// answered call has ended.
int brokenBuild = 0; // the break of the run under way; 0: none
LONG reopened = 0;   // break 3: the answered call whose round it reopened

void BreakProgram()
{
    if (brokenBuild == 1) {
        brokenBuild = 0;
        SimHeapKeepNextFrees(2);
    } else if (brokenBuild == 2) {
        monitor.delaySeconds = 0;
    } else if (brokenBuild == 3 && phoneCall.answered != 0 && phoneCall.outcome == CALL_ENDED &&
               phoneCall.callId != reopened) {
        reopened = phoneCall.callId;
        phoneCall.roundRunning = 1;
    } else if (brokenBuild == 4) {
        // The word of a silent microphone always waits another second.
        watch.allowedFrom[WORD_MICROPHONE_SILENT] = watch.seconds + 2;
    }
}

SoakResult SoakBroken(int broken, double days, SoakOptions* options)
{
    static SoakSounds sounds;
    static bool loaded = [] {
        std::string error;
        return LoadSoakSounds(CRADLECOM_DATA_DIR, &sounds, &error);
    }();
    EXPECT_TRUE(loaded);
    options->days = days;
    options->seed = 2024;
    options->afterTick = BreakProgram;
    brokenBuild = broken;
    SoakResult result = RunSoak(*options, sounds);
    brokenBuild = 0;
    return result;
}

TEST(SoakAgainstABrokenBuild, AKeptBufferFailsTheBufferInvariant)
{
    SoakOptions options;
    SoakResult result = SoakBroken(1, 1.0, &options);
    ASSERT_FALSE(result.passed);
    EXPECT_EQ(result.invariant,
              "capture buffers: every buffer allocated is released exactly once, none queued "
              "twice");
    // The first buffer comes back 0.19 s in; the next tick sees it kept.
    EXPECT_DOUBLE_EQ(result.failedAt, 0.2);
    std::string line = FailureLine(options, result);
    EXPECT_NE(line.find("seed 2024, day 1 00:00:00.2"), std::string::npos) << line;
    EXPECT_NE(line.find("--seed 2024 --days"), std::string::npos) << line;
}

TEST(SoakAgainstABrokenBuild, ACallDuringThePauseFailsTheDelayInvariant)
{
    SoakOptions options;
    SoakResult first = SoakBroken(2, 1.0, &options);
    ASSERT_FALSE(first.passed);
    EXPECT_EQ(first.invariant, "calls: none while the delay runs") << first.detail;
    EXPECT_NE(first.detail.find("before the pause after the call at"), std::string::npos)
        << first.detail;
    EXPECT_GT(first.calls, 1);
    // The failure replays exactly from its seed.
    SoakResult again = SoakBroken(2, 1.0, &options);
    EXPECT_EQ(again.failedAt, first.failedAt);
    EXPECT_EQ(again.detail, first.detail);
}

TEST(SoakAgainstABrokenBuild, ANumberCalledAfterAnAnswerFailsTheRoundInvariant)
{
    SoakOptions options;
    SoakResult result = SoakBroken(3, 1.0, &options);
    ASSERT_FALSE(result.passed);
    EXPECT_EQ(result.invariant,
              "calls: a round's next number only after a call not answered or failed, in turn")
        << result.detail;
}

TEST(SoakAgainstABrokenBuild, ASilenceNeverToldFailsTheMessageInvariant)
{
    SoakOptions options;
    SoakResult result = SoakBroken(4, 2.0, &options);
    ASSERT_FALSE(result.passed);
    EXPECT_EQ(result.invariant,
              "messages: a microphone silent for a minute while monitoring is told, once per "
              "half-hour")
        << result.detail;
}

// The switch off, the same build passes: the failures above are the breaks'.
TEST(SoakAgainstABrokenBuild, TheSameBuildUnbrokenPasses)
{
    SoakOptions options;
    SoakResult result = SoakBroken(0, 0.05, &options);
    EXPECT_TRUE(result.passed) << FailureLine(options, result);
}

} // namespace
