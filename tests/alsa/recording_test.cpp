// The device fed from a recording: mixed to mono, resampled to 11025 Hz and
// paced like a microphone, then silent.
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include "platform/alsa/wave_source.h"
#include "support.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int fileRate = 8000;
constexpr double toneHz = 440.0;

// One second of a 440 Hz tone, 16000 on the left and 8000 on the right, so
// that the mono mix peaks at 12000.
std::string WriteToneFile()
{
    std::string path = FixtureFolder() + "/tone.flac";
    SF_INFO info{};
    info.samplerate = fileRate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<short> frames(2 * fileRate);
    for (int i = 0; i < fileRate; ++i) {
        double wave = std::sin(2.0 * pi * toneHz * i / fileRate);
        frames[static_cast<std::size_t>(2 * i)] = static_cast<short>(std::lround(16000 * wave));
        frames[static_cast<std::size_t>(2 * i + 1)] = static_cast<short>(std::lround(8000 * wave));
    }
    sf_writef_short(file, frames.data(), fileRate);
    sf_close(file);
    return path;
}

// Opens the device on the chosen source and collects `count` buffers.
std::vector<std::int16_t> Capture(int count, double* seconds)
{
    CallbackLog log;
    log.requeueUntil = count;
    WAVEFORMATEX format = CaptureFormat();
    HWAVEIN device = nullptr;
    auto begun = std::chrono::steady_clock::now();
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, LogCallback,
                         reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    if (device == nullptr)
        return {};
    BufferSet buffers(2);
    for (WAVEHDR& header : buffers.headers) {
        waveInPrepareHeader(device, &header, sizeof(WAVEHDR));
        waveInAddBuffer(device, &header, sizeof(WAVEHDR));
    }
    waveInStart(device);
    EXPECT_TRUE(log.WaitForData(count, 5000));
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    {
        std::lock_guard<std::mutex> guard(log.lock);
        log.requeueUntil = 0;
    }
    waveInReset(device);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    std::vector<std::int16_t> samples;
    int taken = 0;
    for (const ReturnedBuffer& event : log.Snapshot()) {
        if (event.message != MM_WIM_DATA || taken == count)
            continue;
        EXPECT_EQ(event.bytesRecorded, 4096u);
        samples.insert(samples.end(), event.samples.begin(), event.samples.end());
        ++taken;
    }
    return samples;
}

TEST(RecordingWaveIn, PlaysAToneAtTheCaptureRateInRealTimeThenSilence)
{
    std::string path = WriteToneFile();
    std::string error;
    ASSERT_TRUE(SetWaveInputSource(path.c_str(), &error)) << error;
    double seconds = 0.0;
    std::vector<std::int16_t> samples = Capture(8, &seconds); // 16384 samples, 1.49 s
    ASSERT_EQ(samples.size(), 8u * 2048u);
    EXPECT_GT(seconds, 1.35); // not faster than a microphone

    int first = -1;
    int last = -1;
    for (int i = 0; i < static_cast<int>(samples.size()); ++i) {
        if (std::abs(samples[static_cast<std::size_t>(i)]) > 1000) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    EXPECT_LT(first, 20);
    EXPECT_NEAR(last, 11025, 60); // one second at the capture rate

    int peak = 0;
    int rises = 0;
    for (int i = 1000; i < 10000; ++i) {
        int value = samples[static_cast<std::size_t>(i)];
        peak = std::max(peak, std::abs(value));
        if (samples[static_cast<std::size_t>(i - 1)] < 0 && value >= 0)
            ++rises;
    }
    EXPECT_NEAR(peak, 12000, 240);
    EXPECT_NEAR(rises / (9000.0 / 11025.0), toneHz, 3.0);
    for (std::size_t i = 11300; i < samples.size(); ++i)
        ASSERT_EQ(samples[i], 0) << "at " << i;

    // The room's clock ran on while the device was closed: the tone is over.
    samples = Capture(2, &seconds);
    ASSERT_EQ(samples.size(), 2u * 2048u);
    for (std::int16_t value : samples)
        ASSERT_EQ(value, 0);

    // Choosing the recording again starts it again.
    ASSERT_TRUE(SetWaveInputSource(path.c_str(), &error)) << error;
    samples = Capture(1, &seconds);
    ASSERT_EQ(samples.size(), 2048u);
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 11000);
    unlink(path.c_str());
}

} // namespace
