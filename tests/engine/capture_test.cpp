// SPDX-License-Identifier: GPL-3.0-or-later
// The capture engine against the simulated device: the two-slot rotation,
// stop while buffers come back, the failure paths, and the thread seam.
#include <atomic>
#include <chrono>
#include <thread>

#include "audio/capture.h"
#include "engine_fixture.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

using CaptureTest = EngineTest;

static bool Deliver(std::int16_t value, int count = 2048)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count), value);
    return SimWaveDeliver(samples.data(), count);
}

// After any number of returned buffers the slots hold exactly the two
// queued buffers, the one due next in nextSlot; a restart begins at slot 0.
TEST_F(CaptureTest, SlotsRotateAndDesignateTheQueuedBuffers)
{
    limits.sensiFactor = 15250.0;
    ASSERT_TRUE(StartCapture());
    EXPECT_EQ(SimWaveQueued(), 2);
    EXPECT_EQ(SimHeapLiveBlocks(), 4); // two headers, two data blocks
    for (int i = 1; i <= 101; ++i) {
        WAVEHDR* due = capture.bufferSlot[capture.nextSlot];
        WAVEHDR* other = capture.bufferSlot[1 - capture.nextSlot];
        int slotBefore = capture.nextSlot;
        ASSERT_TRUE(Deliver(static_cast<std::int16_t>(i)));
        EXPECT_EQ(capture.nextSlot, 1 - slotBefore);
        EXPECT_EQ(capture.bufferSlot[1 - slotBefore], other);
        EXPECT_NE(capture.bufferSlot[slotBefore], due); // replaced
        EXPECT_NE(capture.bufferSlot[slotBefore], nullptr);
        EXPECT_EQ(capture.peak.load(), i);
        EXPECT_EQ(SimWaveQueued(), 2);
        EXPECT_EQ(SimHeapLiveBlocks(), 4);
    }
    EXPECT_EQ(capture.nextSlot, 1);
    StopCapture();
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
    EXPECT_FALSE(SimWaveIsOpen());
    ASSERT_TRUE(StartCapture());
    EXPECT_EQ(capture.nextSlot, 0);
    ASSERT_TRUE(Deliver(5));
    EXPECT_EQ(capture.nextSlot, 1);
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();
}

TEST_F(CaptureTest, ShortBufferIsReplacedButNotMeasured)
{
    limits.sensiFactor = 15250.0;
    ASSERT_TRUE(StartCapture());
    ASSERT_TRUE(Deliver(7625));
    EXPECT_EQ(capture.level.load(), 0.5);
    ASSERT_TRUE(Deliver(15250, 2047));
    EXPECT_EQ(capture.peak.load(), 7625);
    EXPECT_EQ(capture.level.load(), 0.5);
    EXPECT_EQ(SimWaveQueued(), 2);
    EXPECT_EQ(SimHeapLiveBlocks(), 4);
}

// The buffers that a reset returns are left to StopCapture, which releases
// each once; level keeps the last full buffer's value.
TEST_F(CaptureTest, StopLeavesReturnedBuffersToItselfAndKeepsLevel)
{
    limits.sensiFactor = 15250.0;
    ASSERT_TRUE(StartCapture());
    ASSERT_TRUE(Deliver(7625));
    long returnedBefore = SimWaveBuffersReturned();
    StopCapture();
    EXPECT_EQ(SimWaveBuffersReturned(), returnedBefore + 2);
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
    EXPECT_EQ(capture.bufferSlot[0], nullptr);
    EXPECT_EQ(capture.bufferSlot[1], nullptr);
    EXPECT_EQ(capture.waveIn, nullptr);
    EXPECT_FALSE(capture.captureClosing);
    EXPECT_EQ(capture.level.load(), 0.5);
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();

    // A stopped engine makes no device call, however often it is stopped.
    long resets = SimWaveCalls(SimWaveOp::Reset);
    long closes = SimWaveCalls(SimWaveOp::Close);
    StopCapture();
    StopCapture();
    EXPECT_EQ(SimWaveCalls(SimWaveOp::Reset), resets);
    EXPECT_EQ(SimWaveCalls(SimWaveOp::Close), closes);
}

// A start that fails part-way keeps what it made; the next stop releases
// exactly that.
TEST_F(CaptureTest, HalfFailedStartsAreTakenDownByStop)
{
    struct Case {
        SimWaveOp op;
        int nth;
        long blocksAfterStart;
        bool deviceOpen;
    } cases[] = {
        {SimWaveOp::Open, 1, 0, false}, {SimWaveOp::Prepare, 1, 0, true},
        {SimWaveOp::Add, 1, 0, true},   {SimWaveOp::Prepare, 2, 2, true},
        {SimWaveOp::Add, 2, 2, true},   {SimWaveOp::Start, 1, 4, true},
    };
    for (const Case& c : cases) {
        ResetEngine();
        SimWaveFailNth(c.op, c.nth);
        EXPECT_FALSE(StartCapture());
        EXPECT_EQ(SimHeapLiveBlocks(), c.blocksAfterStart);
        EXPECT_EQ(SimWaveIsOpen(), c.deviceOpen);
        StopCapture();
        EXPECT_EQ(SimHeapLiveBlocks(), 0);
        EXPECT_FALSE(SimWaveIsOpen());
        EXPECT_EQ(SimFaults(), 0) << SimLastFault();
        // And the engine starts again afterwards.
        EXPECT_TRUE(StartCapture());
        StopCapture();
    }
}

TEST_F(CaptureTest, HeapFailureFailsStartAndSkipsRequeue)
{
    for (int nth = 1; nth <= 4; ++nth) {
        ResetEngine();
        SimHeapFailNth(nth);
        EXPECT_FALSE(StartCapture()) << nth;
        StopCapture();
        EXPECT_EQ(SimHeapLiveBlocks(), 0) << nth;
    }
    ResetEngine();
    limits.sensiFactor = 15250.0;
    ASSERT_TRUE(StartCapture());
    SimHeapFailNth(1); // the replacement's header
    ASSERT_TRUE(Deliver(7625));
    EXPECT_EQ(capture.level.load(), 0.5); // still measured
    EXPECT_EQ(SimWaveQueued(), 1);
    EXPECT_EQ(capture.bufferSlot[0], nullptr);
    EXPECT_NE(capture.bufferSlot[1], nullptr);
    ASSERT_TRUE(Deliver(100)); // the other buffer comes back normally
    EXPECT_EQ(capture.bufferSlot[0], nullptr);
    EXPECT_NE(capture.bufferSlot[1], nullptr);
    EXPECT_EQ(SimWaveQueued(), 1);
    StopCapture();
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();
}

// A replacement the device refuses is released at once and its slot left
// empty; the returned buffer's slot is found by its header, so the rotation
// cannot release a buffer the device still holds.
TEST_F(CaptureTest, RefusedReplacementLeavesItsSlotEmpty)
{
    for (SimWaveOp op : {SimWaveOp::Prepare, SimWaveOp::Add}) {
        ResetEngine();
        limits.sensiFactor = 15250.0;
        ASSERT_TRUE(StartCapture());
        SimWaveFailNth(op, 1);
        WAVEHDR* survivor = capture.bufferSlot[1];
        ASSERT_TRUE(Deliver(1000));
        EXPECT_EQ(capture.bufferSlot[0], nullptr);
        EXPECT_EQ(capture.bufferSlot[1], survivor);
        EXPECT_EQ(SimHeapLiveBlocks(), 2);
        ASSERT_TRUE(Deliver(2000));
        EXPECT_EQ(capture.peak.load(), 2000);
        EXPECT_EQ(capture.bufferSlot[0], nullptr);
        EXPECT_NE(capture.bufferSlot[1], nullptr);
        EXPECT_NE(capture.bufferSlot[1], survivor);
        ASSERT_TRUE(Deliver(3000));
        EXPECT_EQ(capture.peak.load(), 3000);
        StopCapture();
        EXPECT_EQ(SimHeapLiveBlocks(), 0);
        EXPECT_EQ(SimFaults(), 0) << SimLastFault();
        // The next start restores two queued buffers.
        ASSERT_TRUE(StartCapture());
        EXPECT_EQ(SimWaveQueued(), 2);
        StopCapture();
    }
}

// A plain close would be refused while the device holds both buffers; the
// engine is taken down fully instead.
TEST_F(CaptureTest, CloseTakesTheEngineDownFully)
{
    ASSERT_TRUE(StartCapture());
    CloseCaptureDevice();
    EXPECT_FALSE(SimWaveIsOpen());
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
    EXPECT_EQ(capture.waveIn, nullptr);
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();
}

TEST_F(CaptureTest, OtherMessagesChangeNothing)
{
    ASSERT_TRUE(StartCapture());
    WAVEHDR* head = capture.bufferSlot[0];
    OnCaptureBuffer(capture.waveIn, MM_WIM_OPEN, 0, reinterpret_cast<DWORD_PTR>(head), 0);
    OnCaptureBuffer(capture.waveIn, MM_WIM_CLOSE, 0, reinterpret_cast<DWORD_PTR>(head), 0);
    EXPECT_EQ(capture.bufferSlot[0], head);
    EXPECT_EQ(capture.nextSlot, 0);
    EXPECT_EQ(SimHeapLiveBlocks(), 4);
}

// The returned buffers follow the input exactly: a capture started at t0
// takes samples from ceil(t0 / 10) on, and its j-th buffer returns at
// 10 (first + 2048 j).
TEST_F(CaptureTest, BuffersFollowTheVirtualClock)
{
    std::vector<std::int16_t> input(20000, 0);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<std::int16_t>(i % 4096 == 4095 ? 30000 : (i / 2048) * 10);
    SimSetInput(input);
    limits.sensiFactor = 15250.0;
    SimRunUntil(15); // start between samples 1 and 2
    ASSERT_TRUE(StartCapture());
    std::vector<std::pair<SimTime, std::int32_t>> seen;
    SimWaveSetCallbackObserver([&](UINT message) {
        if (message == MM_WIM_DATA)
            seen.emplace_back(SimNow(), capture.peak.load());
    });
    SimRunUntil(10 * (2 + 2 * 2048));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, 10 * (2 + 2048));
    EXPECT_EQ(seen[1].first, 10 * (2 + 2 * 2048));
    // Samples 2 .. 2049: values 0 and 10 (from 2048 on).
    EXPECT_EQ(seen[0].second, 10);
    // Samples 2050 .. 4097 include sample 4095 (30000).
    EXPECT_EQ(seen[1].second, 30000);
    // A reset now returns the head with the samples captured so far.
    SimRunUntil(10 * (2 + 2 * 2048) + 1000);
    long before = SimWaveBuffersReturned();
    StopCapture();
    EXPECT_EQ(SimWaveBuffersReturned(), before + 2);
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(capture.peak.load(), 30000); // partial buffers are not measured
}

// Thousands of start/stop cycles while a device thread returns buffers as
// fast as they are queued. Run under ThreadSanitizer and AddressSanitizer:
// no race, no leak, no buffer freed twice or while queued.
TEST_F(CaptureTest, StartStopRacesWithTheDeviceThread)
{
    limits.sensiFactor = 15250.0;
    SimWaveSetThreaded(true, 7625);
    std::atomic<long> callbacks{0};
    SimWaveSetCallbackObserver([&](UINT message) {
        if (message == MM_WIM_DATA)
            callbacks.fetch_add(1);
    });
    for (int cycle = 0; cycle < 2000; ++cycle) {
        ASSERT_TRUE(StartCapture());
        if (cycle % 3 == 0)
            std::this_thread::yield();
        StopCapture();
        ASSERT_EQ(SimHeapLiveBlocks(), 0) << cycle;
    }
    // Running undisturbed, the device thread's buffers are measured.
    ASSERT_TRUE(StartCapture());
    for (int wait = 0; wait < 5000 && capture.level.load() != 0.5; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CloseCaptureDevice();
    EXPECT_GE(callbacks.load(), 4000); // every stop hands two buffers back
    EXPECT_EQ(capture.level.load(), 0.5);
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
    EXPECT_EQ(SimFaults(), 0) << SimLastFault();
    EXPECT_FALSE(SimWaveIsOpen());
}

// The device faults the soak injects: a short buffer comes back early with
// only its samples and is not measured, the next one starts after it; a
// stalled device returns its buffer late, and what came in meanwhile is
// lost; a buffer queued twice is a fault.
TEST_F(CaptureTest, ShortBuffersStallsAndBuffersQueuedTwice)
{
    std::vector<std::int16_t> input(20000);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<std::int16_t>(i / 1000 * 10 + 1);
    SimSetInput(input);
    limits.sensiFactor = 15250.0;
    std::vector<std::pair<SimTime, std::int32_t>> seen;
    SimWaveSetCallbackObserver([&](UINT message) {
        if (message == MM_WIM_DATA)
            seen.emplace_back(SimNow(), capture.peak.load());
    });
    ASSERT_TRUE(StartCapture());
    SimWaveShortNext(1000);
    SimRunUntil(10 * 3048);
    SimWaveStall(10 * 9000);
    SimRunUntil(10 * 11048);
    const std::vector<std::pair<SimTime, std::int32_t>> expected = {
        {10 * 1000, 0},    // samples 0 to 999, not measured
        {10 * 3048, 31},   // 1000 to 3047
        {10 * 9000, 51},   // 3048 to 5095, late
        {10 * 11048, 111}, // 9000 to 11047
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(SimWaveFullBuffersReturned(), 3);

    EXPECT_EQ(waveInAddBuffer(capture.waveIn, capture.bufferSlot[0], sizeof(WAVEHDR)),
              WAVERR_STILLPLAYING);
    EXPECT_EQ(SimFaults(), 1);
    EXPECT_EQ(SimLastFault(), "buffer queued twice");
    StopCapture();
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
    EXPECT_EQ(SimWaveQueued(), 0);
}
