// SPDX-License-Identifier: GPL-3.0-or-later
// The engine on the three kinds of simulated input: a stream gives what the
// same samples given whole give, holds only a bounded window of them however
// long it is, and an input known by its peaks measures the same.
#include <algorithm>

#include "audio/capture.h"
#include "engine_fixture.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

using InputTest = EngineTest;

namespace {

// Noise-like samples whose loudness changes every few buffers.
std::int16_t SampleAt(std::int64_t i)
{
    std::uint64_t x =
        static_cast<std::uint64_t>(i) * 6364136223846793005ull + 1442695040888963407ull;
    x ^= x >> 29;
    auto amplitude = static_cast<std::int64_t>((i / 5000) % 7 + 1) * 4000;
    return static_cast<std::int16_t>(static_cast<std::int64_t>(x % 65536) % amplitude -
                                     amplitude / 2);
}

std::vector<std::int16_t> Samples(std::int64_t count)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i)
        samples[static_cast<std::size_t>(i)] = SampleAt(i);
    return samples;
}

// A stream of `length` samples made on demand; `position` counts what was read.
struct Generator {
    std::int64_t length;
    std::int64_t position = 0;
    long reads = 0;
    long Read(std::int16_t* out, long count)
    {
        ++reads;
        long given = static_cast<long>(std::clamp<std::int64_t>(length - position, 0, count));
        for (long j = 0; j < given; ++j)
            out[j] = SampleAt(position + j);
        position += given;
        return given;
    }
};

struct Seen {
    SimTime time;
    std::int32_t peak;
    bool operator==(const Seen&) const = default;
};

// Capture restarted every 10 s (as the tick does) until the input ends;
// what every returned full buffer measured, and when.
std::vector<Seen> RunRestarts(SimTime until)
{
    std::vector<Seen> seen;
    SimWaveSetCallbackObserver([&](UINT message) {
        if (message == MM_WIM_DATA)
            seen.push_back(Seen{SimNow(), capture.peak.load()});
    });
    limits.sensiFactor = 15250.0;
    StartCapture();
    for (SimTime restart = 110250; restart <= until; restart += 110250) {
        if (!SimRunUntil(restart))
            break;
        StopCapture();
        StartCapture();
    }
    SimRunUntil(until);
    StopCapture();
    SimWaveSetCallbackObserver(nullptr);
    return seen;
}

} // namespace

// Whole, streamed, or known by peaks: the same buffers at the same times
// with the same peaks, and the same end (which falls on no restart).
TEST_F(InputTest, StreamAndPeaksMeasureWhatTheWholeInputMeasures)
{
    const std::int64_t length = 11025 * 35 + 777;
    const SimTime until = 10 * length + 50000;
    std::vector<std::int16_t> whole = Samples(length);
    SimSetInput(whole);
    std::vector<Seen> expected = RunRestarts(until);
    SimTime end = SimEndTime();
    ASSERT_EQ(end, 10 * length);
    ASSERT_GT(expected.size(), 150u);

    ResetEngine();
    Generator generator{length};
    SimSetInputStream([&](std::int16_t* out, long count) { return generator.Read(out, count); });
    EXPECT_EQ(SimEndTime(), INT64_MAX); // not read to its end yet
    EXPECT_EQ(RunRestarts(until), expected);
    EXPECT_EQ(SimEndTime(), end);

    ResetEngine();
    SimSetInputPeaks(length, [&](std::int64_t start, std::int32_t* peak) {
        if (start < 0 || start + 2048 > length)
            return false;
        *peak = 0;
        for (std::int64_t i = start; i < start + 2048; ++i)
            *peak = std::max(*peak, std::abs(std::int32_t{whole[static_cast<std::size_t>(i)]}));
        return true;
    });
    EXPECT_EQ(RunRestarts(until), expected);
    EXPECT_EQ(SimFaults(), 0);
}

// A stream far longer than memory would hold: after half an hour of
// capture, and after a jump of ten minutes with no device open, a bounded
// window of it was ever held, and reading kept pace with the clock.
TEST_F(InputTest, AStreamIsHeldOnlyInABoundedWindow)
{
    Generator generator{std::int64_t{1} << 40};
    SimSetInputStream([&](std::int16_t* out, long count) { return generator.Read(out, count); });
    limits.sensiFactor = 15250.0;
    const SimTime halfHour = 30 * 60 * simUnitsPerSecond;
    std::vector<Seen> seen = RunRestarts(halfHour);
    EXPECT_GT(seen.size(), 180u * 53u); // the full buffers, and those cut short by restarts
    const long bound = 2 * 2048 + 2 * 16384;
    EXPECT_LE(SimInputHeldMost(), bound);
    EXPECT_GE(generator.position, halfHour / 10);
    EXPECT_LE(generator.position, halfHour / 10 + bound);

    EXPECT_TRUE(SimRunUntil(halfHour + 10 * 60 * simUnitsPerSecond));
    EXPECT_LE(SimInputHeldMost(), bound);
    EXPECT_GE(generator.position, (halfHour + 10 * 60 * simUnitsPerSecond) / 10);
    EXPECT_EQ(SimEndTime(), INT64_MAX);
}

// A stream that ends between two buffers ends the run there, and a stream
// that is empty ends it at once.
TEST_F(InputTest, AStreamsEndIsFoundWhenItIsReached)
{
    Generator generator{5000};
    SimSetInputStream([&](std::int16_t* out, long count) { return generator.Read(out, count); });
    limits.sensiFactor = 15250.0;
    ASSERT_TRUE(StartCapture());
    EXPECT_FALSE(SimRunUntil(100000));
    EXPECT_EQ(SimEndTime(), 50000);
    EXPECT_EQ(SimNow(), 50000);
    EXPECT_EQ(SimWaveBuffersReturned(), 2); // 2 x 2048 of 5000 samples
    StopCapture();

    ResetEngine();
    Generator empty{0};
    SimSetInputStream([&](std::int16_t* out, long count) { return empty.Read(out, count); });
    EXPECT_FALSE(SimRunUntil(10));
    EXPECT_EQ(SimEndTime(), 0);
}
