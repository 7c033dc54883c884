// SPDX-License-Identifier: GPL-3.0-or-later
// The wave-input device on ALSA, driven directly: queue order, reset and
// close as the capture engine relies on them.
#include <gtest/gtest.h>

#include "platform/alsa/wave_source.h"
#include "support.h"

namespace {

HWAVEIN OpenDevice(const char* source, CallbackLog* log)
{
    FixtureFolder();
    std::string error;
    EXPECT_TRUE(SetWaveInputSource(source, &error)) << error;
    WAVEFORMATEX format = CaptureFormat();
    HWAVEIN device = nullptr;
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, LogCallback,
                         reinterpret_cast<DWORD_PTR>(log), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return device;
}

void QueueAll(HWAVEIN device, BufferSet& buffers)
{
    for (WAVEHDR& header : buffers.headers) {
        ASSERT_EQ(waveInPrepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
}

void ExpectReturned(const ReturnedBuffer& event, const WAVEHDR* header, DWORD bytes)
{
    EXPECT_EQ(event.message, MM_WIM_DATA);
    EXPECT_EQ(event.header, header);
    EXPECT_EQ(event.bytesRecorded, bytes);
    EXPECT_TRUE(event.flags & WHDR_DONE);
    EXPECT_TRUE(event.flags & WHDR_PREPARED);
    EXPECT_FALSE(event.flags & WHDR_INQUEUE);
}

TEST(AlsaWaveIn, FillsBuffersInQueueOrderWithTheSamplesRead)
{
    CallbackLog log;
    log.requeueUntil = 2; // the first buffer goes round once more
    HWAVEIN device = OpenDevice("alsa:cc_counter", &log);
    ASSERT_NE(device, nullptr);
    BufferSet buffers(3);
    QueueAll(device, buffers);
    ASSERT_EQ(waveInStart(device), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitForData(4, 5000));
    waveInReset(device);
    for (WAVEHDR& header : buffers.headers)
        EXPECT_EQ(waveInUnprepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(device), MMSYSERR_NOERROR);

    std::vector<ReturnedBuffer> events = log.Snapshot();
    ASSERT_EQ(events.front().message, MM_WIM_OPEN);
    ASSERT_EQ(events.back().message, MM_WIM_CLOSE);
    const WAVEHDR* order[] = {&buffers.headers[0], &buffers.headers[1], &buffers.headers[2],
                              &buffers.headers[0]};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const ReturnedBuffer& event = events[static_cast<std::size_t>(i + 1)];
        ExpectReturned(event, order[i], 4096);
        ASSERT_EQ(event.samples.size(), 2048u);
        for (int s = 0; s < 2048; ++s)
            ASSERT_EQ(event.samples[static_cast<std::size_t>(s)], CounterSample(i * 2048 + s));
    }
}

TEST(AlsaWaveIn, ResetReturnsThePartlyFilledHeadThenTheEmptyOnes)
{
    std::vector<std::int16_t> once(2048 + 512);
    for (std::size_t i = 0; i < once.size(); ++i)
        once[i] = static_cast<std::int16_t>(i * 3 + 1);
    StreamWriter writer;
    writer.Start(once, {});
    CallbackLog log;
    HWAVEIN device = OpenDevice("alsa:cc_stream", &log);
    ASSERT_NE(device, nullptr);
    BufferSet buffers(3);
    QueueAll(device, buffers);
    ASSERT_EQ(waveInStart(device), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitForData(1, 5000));
    // The rest is in the FIFO already; give the capture thread time to take it.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_EQ(waveInReset(device), MMSYSERR_NOERROR);

    std::vector<ReturnedBuffer> events = log.Snapshot();
    ASSERT_EQ(events.size(), 4u);
    ExpectReturned(events[1], &buffers.headers[0], 4096);
    ExpectReturned(events[2], &buffers.headers[1], 1024);
    ExpectReturned(events[3], &buffers.headers[2], 0);
    ASSERT_EQ(events[2].samples.size(), 512u);
    for (std::size_t i = 0; i < 512; ++i)
        ASSERT_EQ(events[2].samples[i], once[2048 + i]);

    writer.Finish(); // lets the capture thread out of its read
    ASSERT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Snapshot().back().message, MM_WIM_CLOSE);
}

TEST(AlsaWaveIn, KeepsTheQueueRulesAndSendsCloseLast)
{
    CallbackLog log;
    HWAVEIN device = OpenDevice("alsa:cc_counter", &log);
    ASSERT_NE(device, nullptr);
    BufferSet buffers(3);
    WAVEHDR& first = buffers.headers[0];
    WAVEHDR& second = buffers.headers[1];
    WAVEHDR& unprepared = buffers.headers[2];

    EXPECT_EQ(waveInAddBuffer(device, &unprepared, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    for (WAVEHDR* header : {&first, &second}) {
        ASSERT_EQ(waveInPrepareHeader(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_TRUE(header->dwFlags & WHDR_PREPARED);
        ASSERT_EQ(waveInAddBuffer(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_TRUE(header->dwFlags & WHDR_INQUEUE);
    }
    EXPECT_EQ(waveInAddBuffer(device, &first, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInUnprepareHeader(device, &first, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInClose(device), WAVERR_STILLPLAYING);

    // Never started: both come back empty, in order, before reset returns.
    ASSERT_EQ(waveInReset(device), MMSYSERR_NOERROR);
    std::vector<ReturnedBuffer> events = log.Snapshot();
    ASSERT_EQ(events.size(), 3u);
    ExpectReturned(events[1], &first, 0);
    ExpectReturned(events[2], &second, 0);

    EXPECT_EQ(waveInUnprepareHeader(device, &first, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_FALSE(first.dwFlags & WHDR_PREPARED);
    ASSERT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    events = log.Snapshot();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events.back().message, MM_WIM_CLOSE);
}

TEST(AlsaWaveIn, RefusesWhatItCannotOpen)
{
    FixtureFolder();
    CallbackLog log;
    auto instance = reinterpret_cast<DWORD_PTR>(&log);
    HWAVEIN device = nullptr;
    ASSERT_TRUE(SetWaveInputSource("alsa:cc_counter", nullptr));
    WAVEFORMATEX stereo = CaptureFormat(11025, 2);
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &stereo, LogCallback, instance, CALLBACK_FUNCTION),
              WAVERR_BADFORMAT);
    WAVEFORMATEX eightBit = CaptureFormat(11025, 1, 8);
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &eightBit, LogCallback, instance, CALLBACK_FUNCTION),
              WAVERR_BADFORMAT);
    ASSERT_TRUE(SetWaveInputSource("alsa:cc_missing", nullptr));
    WAVEFORMATEX format = CaptureFormat();
    EXPECT_NE(waveInOpen(&device, WAVE_MAPPER, &format, LogCallback, instance, CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(device, nullptr);
    EXPECT_TRUE(log.Snapshot().empty()); // no MM_WIM_OPEN for a device that did not open

    std::string error;
    EXPECT_FALSE(SetWaveInputSource("", &error));
    EXPECT_FALSE(SetWaveInputSource("alsa:", &error));
    error.clear();
    EXPECT_FALSE(SetWaveInputSource("/nonexistent/room.wav", &error));
    EXPECT_NE(error.find("/nonexistent/room.wav"), std::string::npos);
}

} // namespace
