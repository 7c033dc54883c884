// SPDX-License-Identifier: GPL-3.0-or-later
// The device fed from a recording: mixed to mono, resampled to 11025 Hz and
// paced like a microphone, then silent or, looping, again from the start.
// The recording is opened once, when chosen: it plays on when its file is
// deleted or replaced, even by a pipe.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/alsa/wave_source.h"
#include "support.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int fileRate = 8000;
constexpr double toneHz = 440.0;
constexpr int captureRate = 11025;

// `toneSeconds` of a 440 Hz tone, 16000 on the left and 8000 on the right,
// so that the mono mix peaks at 12000; then `quietSeconds` of silence.
std::string WriteToneFile(const std::string& name, double toneSeconds, double quietSeconds = 0.0)
{
    std::string path = FixtureFolder() + "/" + name;
    SF_INFO info{};
    info.samplerate = fileRate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    const int tone = static_cast<int>(toneSeconds * fileRate);
    const int frames = tone + static_cast<int>(quietSeconds * fileRate);
    std::vector<short> samples(2 * static_cast<std::size_t>(frames));
    for (int i = 0; i < tone; ++i) {
        double wave = std::sin(2.0 * pi * toneHz * i / fileRate);
        samples[static_cast<std::size_t>(2 * i)] = static_cast<short>(std::lround(16000 * wave));
        samples[static_cast<std::size_t>(2 * i + 1)] = static_cast<short>(std::lround(8000 * wave));
    }
    sf_writef_short(file, samples.data(), frames);
    sf_close(file);
    return path;
}

// Opens the device on the chosen source and collects `count` buffers.
std::vector<std::int16_t> Capture(int count)
{
    CallbackLog log;
    log.requeueUntil = count;
    WAVEFORMATEX format = CaptureFormat();
    HWAVEIN device = nullptr;
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
    EXPECT_TRUE(log.WaitForData(count, 10000));
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

bool Loud(std::int16_t sample)
{
    return std::abs(sample) > 1000;
}

// The stretches of tone in `samples`: [first, last] loud sample of each,
// gaps of less than 100 samples (the tone's zero crossings) bridged.
std::vector<std::pair<int, int>> ToneStretches(const std::vector<std::int16_t>& samples)
{
    std::vector<std::pair<int, int>> stretches;
    for (int i = 0; i < static_cast<int>(samples.size()); ++i) {
        if (!Loud(samples[static_cast<std::size_t>(i)]))
            continue;
        if (stretches.empty() || i - stretches.back().second > 100)
            stretches.push_back({i, i});
        stretches.back().second = i;
    }
    return stretches;
}

int EndedEvents()
{
    std::ifstream log(FixtureFolder() + "/cradlecom/events.log");
    std::stringstream text;
    text << log.rdbuf();
    const std::string all = text.str();
    int count = 0;
    for (std::size_t at = all.find("recording ended"); at != std::string::npos;
         at = all.find("recording ended", at + 1))
        ++count;
    return count;
}

// The tone arrives whole, at the capture rate and as the mix of its
// channels, and silence follows. Where in the first buffer it begins depends
// on when the capture thread first ran, so only its length is checked.
TEST(RecordingWaveIn, PlaysAToneAtTheCaptureRateThenSilenceAndEndsOnce)
{
    std::string path = WriteToneFile("tone.flac", 1.0);
    std::string error;
    ASSERT_TRUE(SetWaveInputSource(path.c_str(), &error)) << error;
    const int endedBefore = EndedEvents();
    std::vector<std::int16_t> samples = Capture(8); // 16384 samples, 1.49 s
    ASSERT_EQ(samples.size(), 8u * 2048u);

    std::vector<std::pair<int, int>> stretches = ToneStretches(samples);
    ASSERT_EQ(stretches.size(), 1u);
    const auto [first, last] = stretches[0];
    EXPECT_NEAR(last - first, captureRate, 60); // one second at the capture rate
    ASSERT_LT(last + 300, 16384) << "the tone started late: " << first;

    int peak = 0;
    int rises = 0;
    for (int i = first + 500; i < first + 9500; ++i) {
        int value = samples[static_cast<std::size_t>(i)];
        peak = std::max(peak, std::abs(value));
        if (samples[static_cast<std::size_t>(i - 1)] < 0 && value >= 0)
            ++rises;
    }
    EXPECT_NEAR(peak, 12000, 240);
    EXPECT_NEAR(rises / (9000.0 / captureRate), toneHz, 3.0);
    for (std::size_t i = static_cast<std::size_t>(last) + 300; i < samples.size(); ++i)
        ASSERT_EQ(samples[i], 0) << "at " << i;

    // The room's clock ran on while the device was closed: the tone is over,
    // and its end was told once however often the device is opened again.
    for (int restart = 0; restart < 3; ++restart) {
        samples = Capture(2);
        ASSERT_EQ(samples.size(), 2u * 2048u);
        for (std::int16_t value : samples)
            ASSERT_EQ(value, 0);
    }
    EXPECT_EQ(EndedEvents(), endedBefore + 1);

    // Choosing the recording again starts it again.
    ASSERT_TRUE(SetWaveInputSource(path.c_str(), &error)) << error;
    samples = Capture(1);
    ASSERT_EQ(samples.size(), 2048u);
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 11000);
    unlink(path.c_str());
}

// Deleted, or replaced by a pipe that nobody writes to, between restarts:
// the recording plays on from where the room's clock is, and no restart
// waits on the pipe.
TEST(RecordingWaveIn, DeletedOrReplacedRecordingPlaysOnWithoutBlocking)
{
    for (bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced by a pipe" : "deleted");
        std::string path = WriteToneFile("gone.flac", 3.0);
        std::string error;
        ASSERT_TRUE(SetWaveInputSource(path.c_str(), &error)) << error;
        std::vector<std::int16_t> before = Capture(1);
        ASSERT_EQ(unlink(path.c_str()), 0);
        if (replaced) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        }
        // A restart that waited on the pipe would never come back.
        auto restarts = std::async(std::launch::async, [] {
            std::vector<std::vector<std::int16_t>> runs;
            for (int restart = 0; restart < 3; ++restart)
                runs.push_back(Capture(2));
            return runs;
        });
        if (restarts.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "a restart waits on the replaced file";
            std::_Exit(1); // the hung restart cannot be joined
        }
        EXPECT_EQ(ToneStretches(before).size(), 1u);
        // Each restart hears nothing but the tone: it played on.
        for (const std::vector<std::int16_t>& run : restarts.get()) {
            ASSERT_EQ(run.size(), 2u * 2048u);
            std::vector<std::pair<int, int>> stretches = ToneStretches(run);
            ASSERT_EQ(stretches.size(), 1u);
            EXPECT_GT(stretches[0].second - stretches[0].first, 4000);
        }
        unlink(path.c_str());
    }
}

// A quarter second of tone and a quarter of silence, over and over: four
// stretches of tone in 1.49 s, each as long as the recorded one, and every
// pass the same samples, although only the first is read from the file.
TEST(RecordingWaveIn, LoopPlaysTheRecordingOverAndOver)
{
    std::string path = WriteToneFile("loop.flac", 0.25, 0.25);
    std::string error;
    ASSERT_TRUE(SetWaveInputSource(path.c_str(), &error)) << error;
    SetWaveInputLoop(true);
    const int endedBefore = EndedEvents();
    std::vector<std::int16_t> samples = Capture(8);
    SetWaveInputLoop(false);
    ASSERT_EQ(samples.size(), 8u * 2048u);
    std::vector<std::pair<int, int>> stretches = ToneStretches(samples);
    ASSERT_GE(stretches.size(), 2u);
    // Whole passes lie between the first and the last stretch.
    for (std::size_t i = 1; i + 1 < stretches.size(); ++i) {
        EXPECT_NEAR(stretches[i].second - stretches[i].first, captureRate / 4, 60) << i;
        EXPECT_NEAR(stretches[i + 1].first - stretches[i].first, captureRate / 2, 10) << i;
    }
    EXPECT_GE(stretches.size(), 3u);
    // Every pass gives the very samples of the first: one lag near half a
    // second repeats the whole capture exactly.
    bool repeats = false;
    for (std::size_t lag = captureRate / 2 - 8; lag <= captureRate / 2 + 8 && !repeats; ++lag)
        repeats = std::equal(samples.begin() + static_cast<std::ptrdiff_t>(lag), samples.end(),
                             samples.begin());
    EXPECT_TRUE(repeats);
    EXPECT_EQ(EndedEvents(), endedBefore); // a loop never ends
    unlink(path.c_str());
}

} // namespace
