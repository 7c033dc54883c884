// SPDX-License-Identifier: GPL-3.0-or-later
// Starts and stops of the capture engine by the hundred thousand (this
// share on the simulated device, the rest on ALSA in tests/alsa) against a
// device thread that returns buffers at random moments. Under
// ThreadSanitizer: no report. Everywhere: after every stop the engine holds
// nothing, and no buffer was freed twice, freed while queued or queued twice.
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "audio/capture.h"
#include "engine_fixture.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

using CaptureStressTest = EngineTest;

namespace {

constexpr int simulatedCycles = 90000;

// Between start and stop: nothing, a yield, a short sleep or a short spin,
// so that stops meet the device thread in every phase of a return.
void Linger(std::mt19937& random)
{
    switch (random() % 8) {
    case 0:
    case 1:
    case 2:
        break;
    case 3:
    case 4:
        std::this_thread::yield();
        break;
    case 5:
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 100));
        break;
    default: {
        auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(random() % 30);
        while (std::chrono::steady_clock::now() < until) {
        }
        break;
    }
    }
}

} // namespace

TEST_F(CaptureStressTest, StartsAndStopsAgainstBuffersComingBackAtRandom)
{
    limits.sensiFactor = 15250.0;
    SimWaveSetThreaded(true, 7625);
    SimWaveSetThreadedPauses(40, 20240611);
    std::atomic<long> data{0};
    SimWaveSetCallbackObserver([&](UINT message) {
        if (message == MM_WIM_DATA)
            data.fetch_add(1);
    });
    std::mt19937 random(7);
    for (int cycle = 0; cycle < simulatedCycles; ++cycle) {
        ASSERT_TRUE(StartCapture()) << "cycle " << cycle;
        Linger(random);
        StopCapture();
        ASSERT_EQ(SimHeapLiveBlocks(), 0) << "cycle " << cycle;
        ASSERT_EQ(SimFaults(), 0) << "cycle " << cycle << ": " << SimLastFault();
    }
    // Every stop hands both queued buffers back, and full ones came back
    // from the thread along the way and were measured.
    EXPECT_GE(data.load(), 2L * simulatedCycles);
    EXPECT_GT(SimWaveFullBuffersReturned(), 0);
    EXPECT_EQ(capture.level.load(), 0.5);
    EXPECT_FALSE(SimWaveIsOpen());
}
