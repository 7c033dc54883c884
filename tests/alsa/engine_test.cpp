// SPDX-License-Identifier: GPL-3.0-or-later
// The capture engine on the ALSA device: what it measures, how it fails and
// how it stands up to being started and stopped many times.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "audio/capture.h"
#include "platform/alsa/wave_source.h"
#include "settings/settings.h"
#include "support.h"

namespace {

constexpr std::int32_t loudPeak = 12345;

void UseSource(const char* source)
{
    FixtureFolder();
    std::string error;
    ASSERT_TRUE(SetWaveInputSource(source, &error)) << error;
}

void ExpectStopped()
{
    std::lock_guard<std::mutex> lock(capture.guard);
    EXPECT_EQ(capture.waveIn, nullptr);
    EXPECT_EQ(capture.bufferSlot[0], nullptr);
    EXPECT_EQ(capture.bufferSlot[1], nullptr);
    EXPECT_FALSE(capture.captureClosing);
}

bool WaitForPeak(std::int32_t peak, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (capture.peak.load() == peak)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(AlsaCaptureEngine, MeasuresTheLoudStretchThatFollowsSilence)
{
    UseSource("alsa:cc_stream");
    // One buffer of silence, then a pattern whose largest magnitude is a
    // negative sample, for as long as the engine reads.
    std::vector<std::int16_t> loud(256);
    for (std::size_t i = 0; i < loud.size(); ++i)
        loud[i] = static_cast<std::int16_t>(i % 4 == 1 ? -loudPeak : (i % 4 == 3 ? 9000 : -300));
    StreamWriter writer;
    writer.Start(std::vector<std::int16_t>(2048, 0), loud);

    limits.sensiFactor.store(15250.0);
    capture.peak.store(-1);
    ASSERT_TRUE(StartCapture());
    EXPECT_TRUE(WaitForPeak(loudPeak, 5000)) << "last peak " << capture.peak.load();
    StopCapture();
    writer.Finish();

    EXPECT_EQ(capture.peak.load(), loudPeak);
    EXPECT_DOUBLE_EQ(capture.level.load(), MapRange(loudPeak, 0.0, 15250.0, 0.0, 1.0));
    EXPECT_NEAR(capture.level.load(), 12345.0 / 15250.0, 1e-12);
    ExpectStopped();
}

TEST(AlsaCaptureEngine, ADeviceThatCannotBeOpenedFailsAndIsTriedAgain)
{
    UseSource("alsa:cc_missing");
    EXPECT_FALSE(StartCapture());
    EXPECT_EQ(capture.waveIn, nullptr);
    StopCapture();
    ExpectStopped();

    UseSource("alsa:cc_counter");
    EXPECT_TRUE(StartCapture());
    StopCapture();
    ExpectStopped();
}

TEST(AlsaCaptureEngine, SurvivesHundredsOfStartsAndStops)
{
    // The counter device runs free, so buffers come back all the time and
    // stops meet callbacks in every phase.
    UseSource("alsa:cc_counter");
    limits.sensiFactor.store(500.0);
    capture.peak.store(-1);
    for (int cycle = 0; cycle < 300; ++cycle) {
        ASSERT_TRUE(StartCapture()) << "cycle " << cycle;
        if (cycle % 10 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        StopCapture();
    }
    ExpectStopped();
    // Whatever was measured last is the peak of one of the counter's four
    // buffers or of the silence after them, never of a torn buffer.
    std::int32_t peak = capture.peak.load();
    EXPECT_TRUE(peak == 4096 || peak == 2048 || peak == 2047 || peak == 4095 || peak == 0) << peak;
}

// A FIFO that stops delivering holds the capture thread in its read. The
// stop comes back all the same, the next start is refused as a device that
// does not answer, and once the FIFO delivers again capture runs again. The
// test holds the FIFO open, so that it never lacks a writer.
TEST(AlsaCaptureEngine, ASourceThatStopsDeliveringNeverHoldsTheStop)
{
    UseSource("alsa:cc_stream");
    int fifo = open((FixtureFolder() + "/stream.fifo").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    auto deliver = [fifo](std::int16_t value, std::size_t count) {
        std::vector<std::int16_t> samples(count, value);
        ASSERT_EQ(write(fifo, samples.data(), count * 2), static_cast<ssize_t>(count * 2));
    };
    deliver(7000, 2048); // one buffer, then nothing
    limits.sensiFactor.store(15250.0);
    ASSERT_TRUE(StartCapture());
    ASSERT_TRUE(WaitForPeak(7000, 5000));

    std::atomic<bool> stopped{false};
    std::thread stop([&stopped] {
        StopCapture();
        stopped = true;
    });
    for (int waited = 0; waited < 10000 && !stopped; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bool returned = stopped;
    if (!returned)
        deliver(0, 256); // lets the read go, so that the test can end
    stop.join();
    ASSERT_TRUE(returned) << "StopCapture waited for a read that never came";
    ExpectStopped();
    ASSERT_FALSE(StartCapture());
    EXPECT_EQ(microphone.startResult, MMSYSERR_HANDLEBUSY);

    deliver(9000, 3 * 2048);
    bool heard = false;
    for (int attempt = 0; attempt < 200 && !heard; ++attempt) {
        StopCapture();
        heard = StartCapture();
        if (!heard)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(heard && WaitForPeak(9000, 5000)) << capture.peak.load();
    close(fifo); // the end of the FIFO lets the last read go
    StopCapture();
}

} // namespace
