// SPDX-License-Identifier: GPL-3.0-or-later
// The ALSA share of the capture engine's hundred thousand starts and stops
// (the rest run on the simulated device in tests/engine): the real device
// thread reading the file plugin's free-running counter, so that buffers
// come back while the engine starts and stops. Under ThreadSanitizer: no
// report; everywhere: a stopped engine holds nothing.
#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "audio/capture.h"
#include "platform/alsa/wave_source.h"
#include "settings/settings.h"
#include "support.h"

namespace {

constexpr int alsaCycles = 10000;

TEST(AlsaCaptureStress, StartsAndStopsAgainstTheDeviceThread)
{
    FixtureFolder();
    std::string error;
    ASSERT_TRUE(SetWaveInputSource("alsa:cc_counter", &error)) << error;
    limits.sensiFactor.store(500.0);
    capture.peak.store(-1);
    std::mt19937 random(11);
    for (int cycle = 0; cycle < alsaCycles; ++cycle) {
        ASSERT_TRUE(StartCapture()) << "cycle " << cycle;
        if (random() % 4 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
        StopCapture();
        std::lock_guard<std::mutex> lock(capture.guard);
        ASSERT_EQ(capture.waveIn, nullptr) << "cycle " << cycle;
        ASSERT_EQ(capture.bufferSlot[0], nullptr) << "cycle " << cycle;
        ASSERT_EQ(capture.bufferSlot[1], nullptr) << "cycle " << cycle;
        ASSERT_FALSE(capture.captureClosing) << "cycle " << cycle;
    }
    // Something was measured, and only ever a whole buffer of the counter
    // or of the silence after it.
    std::int32_t peak = capture.peak.load();
    EXPECT_TRUE(peak == 4096 || peak == 2048 || peak == 2047 || peak == 4095 || peak == 0) << peak;
}

} // namespace
