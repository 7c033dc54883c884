// SPDX-License-Identifier: GPL-3.0-or-later
// Reading recordings: a file at the capture rate arrives sample for sample,
// channels are averaged, float samples that are not numbers are silence,
// other rates are resampled, a phone's compressed recording is refused with
// how to convert it, and a WAV file is written whole or not at all.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "platform/recording/recording.h"

namespace {

class RecordingTest : public ::testing::Test {
protected:
    std::filesystem::path folder;

    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/recording-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Write(const std::string& name, int rate, int channels, int format,
                      const std::vector<short>& frames)
    {
        std::string path = (folder / name).string();
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
        sf_write_short(file, frames.data(), static_cast<sf_count_t>(frames.size()));
        sf_close(file);
        return path;
    }

    std::string WriteFloats(const std::string& name, int rate, const std::vector<float>& values)
    {
        std::string path = (folder / name).string();
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
        sf_write_float(file, values.data(), static_cast<sf_count_t>(values.size()));
        sf_close(file);
        return path;
    }
};

std::vector<std::int16_t> ReadAll(const std::string& path)
{
    std::vector<std::int16_t> samples;
    std::string error;
    EXPECT_TRUE(LoadRecording(path, 11025, &samples, &error)) << error;
    return samples;
}

// Noise-like, full scale at its extremes.
std::vector<short> Noise(int count)
{
    std::vector<short> samples(static_cast<std::size_t>(count));
    std::uint32_t x = 12345;
    for (short& sample : samples) {
        x = x * 1664525u + 1013904223u;
        sample = static_cast<short>(static_cast<std::int32_t>(x >> 16) - 32768);
    }
    samples[10] = -32768;
    samples[11] = 32767;
    return samples;
}

} // namespace

// 16-bit mono at 11025 Hz, as WAV and as FLAC: every sample as it is, read
// in pieces of any size.
TEST_F(RecordingTest, TheCaptureRateArrivesSampleForSample)
{
    std::vector<short> noise = Noise(30011);
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16}) {
        std::string path = Write("noise" + std::to_string(format), 11025, 1, format, noise);
        std::vector<std::int16_t> read = ReadAll(path);
        ASSERT_EQ(read.size(), noise.size());
        EXPECT_TRUE(std::equal(read.begin(), read.end(), noise.begin()));

        std::string error;
        RecordingStream* stream = OpenRecordingStream(path, 11025, &error);
        ASSERT_NE(stream, nullptr) << error;
        std::vector<std::int16_t> pieces;
        std::vector<std::int16_t> piece(777);
        long got = 0;
        while ((got = ReadRecordingStream(stream, piece.data(), 777)) > 0)
            pieces.insert(pieces.end(), piece.begin(), piece.begin() + got);
        EXPECT_EQ(ReadRecordingStream(stream, piece.data(), 777), 0);
        CloseRecordingStream(stream);
        EXPECT_EQ(pieces, read);
    }
}

// Two channels are averaged; a half rounds to the even neighbour.
TEST_F(RecordingTest, ChannelsAreAveraged)
{
    std::vector<short> frames = {2, 3, 3, 4, -3, -4, 100, -100, 32767, 32767, -32768, -32767};
    std::vector<std::int16_t> read =
        ReadAll(Write("stereo.wav", 11025, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, frames));
    EXPECT_EQ(read, (std::vector<std::int16_t>{2, 4, -4, 0, 32767, -32768}));
}

// Float samples at the capture rate are rounded once, without a filter;
// NaN and infinities are silence, and what lies beyond full scale is clipped.
TEST_F(RecordingTest, FloatSamplesAreRoundedAndNotNumbersAreSilence)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = {0.5f, nan, -1.0f, inf, 1234.0f / 32768, -inf, 2.0f, -0.25f};
    std::vector<std::int16_t> read = ReadAll(WriteFloats("float.wav", 11025, values));
    EXPECT_EQ(read, (std::vector<std::int16_t>{16384, 0, -32768, 0, 1234, 0, 32767, -8192}));
}

// Another rate is resampled to 11025 Hz; a NaN in it does not spread.
TEST_F(RecordingTest, OtherRatesAreResampled)
{
    std::vector<float> tone(8000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * 440 * i / 8000.0));
    tone[4000] = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::int16_t> read = ReadAll(WriteFloats("tone.wav", 8000, tone));
    EXPECT_NEAR(static_cast<double>(read.size()), 11025.0, 4.0);
    int peak = 0;
    for (std::int16_t sample : read)
        peak = std::max(peak, std::abs(int{sample}));
    EXPECT_NEAR(peak, 16384, 400);
}

// Skipping a second of a recording at the capture rate lands on sample
// 11025, also where the file cannot seek that far.
TEST_F(RecordingTest, SkipLandsOnTheSampleOfThatTime)
{
    std::vector<short> noise = Noise(11025 * 2);
    std::string path = Write("skip.wav", 11025, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, noise);
    std::string error;
    RecordingStream* stream = OpenRecordingStream(path, 11025, &error);
    ASSERT_NE(stream, nullptr) << error;
    SkipRecordingStream(stream, 1.0);
    std::int16_t sample = 0;
    ASSERT_EQ(ReadRecordingStream(stream, &sample, 1), 1);
    EXPECT_EQ(sample, noise[11025]);
    SkipRecordingStream(stream, 5.0);
    EXPECT_EQ(ReadRecordingStream(stream, &sample, 1), 0);
    CloseRecordingStream(stream);
}

// Below 44 Hz the converter cannot reach 11025 Hz: refused at the open with
// the reason, rather than a recording that seems to end at once.
TEST_F(RecordingTest, ARateTheConverterCannotBridgeIsRefusedWithTheReason)
{
    std::vector<short> samples(200, 1000);
    std::string error;
    std::string path = Write("slow.wav", 43, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, samples);
    EXPECT_EQ(OpenRecordingStream(path, 11025, &error), nullptr);
    EXPECT_EQ(error, path + ": a sample rate of 43 Hz cannot be brought to 11025 Hz (the least "
                            "is 44 Hz)");
    std::vector<std::int16_t> read =
        ReadAll(Write("slowest.wav", 44, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, samples));
    EXPECT_NEAR(static_cast<double>(read.size()), 200 * 11025.0 / 44, 300.0);
}

// A written WAV file reads back sample for sample, replaces the file it is
// written over, and is its owner's alone (a call's sound is the room); one
// that cannot be written says where and leaves nothing behind.
TEST_F(RecordingTest, AWrittenWavFileIsWholeOrNothing)
{
    const std::string path = (folder / "room.wav").string();
    std::string error;
    ASSERT_TRUE(WriteWavFile(path, 11025, 1, Noise(100).data(), 100, &error)) << error;
    const std::vector<short> noise = Noise(20011);
    ASSERT_TRUE(WriteWavFile(path, 11025, 1, noise.data(), noise.size(), &error)) << error;
    const std::vector<std::int16_t> read = ReadAll(path);
    EXPECT_TRUE(std::equal(read.begin(), read.end(), noise.begin(), noise.end()));
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

    // A folder where the file should go: written, but it cannot take its place.
    const std::string taken = (folder / "taken.wav").string();
    std::filesystem::create_directory(taken);
    EXPECT_FALSE(WriteWavFile(taken, 11025, 1, noise.data(), noise.size(), &error));
    EXPECT_NE(error.find(taken), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(taken + ".part"));
}

// Every rate read before is read still, from the least to the most the
// converter takes, with its length at 11025 Hz and a tone in the band at
// its loudness; from twice that rate on (a phone's 44.1 and 48 kHz), a
// tone above the band is gone, as a microphone at 11025 Hz does not hear it.
TEST_F(RecordingTest, EveryRateKeepsItsLengthAndLoudness)
{
    for (int rate : {44, 8000, 16000, 22050, 32000, 44056, 44100, 48000, 96000, 2822400}) {
        auto frames = static_cast<std::size_t>(rate < 1000 ? rate * 20 : rate / 2);
        auto tone = [&](double hertz) {
            std::vector<float> values(frames);
            for (std::size_t i = 0; i < frames; ++i)
                values[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * hertz * i / rate));
            return values;
        };
        auto peakOfMiddle = [](const std::vector<std::int16_t>& samples) {
            int peak = 0;
            for (std::size_t i = samples.size() / 10; i < samples.size() * 9 / 10; ++i)
                peak = std::max(peak, std::abs(int{samples[i]}));
            return peak;
        };
        std::string name = std::to_string(rate);
        std::vector<std::int16_t> read =
            ReadAll(WriteFloats(name + ".wav", rate, tone(rate / 4.0 < 3000 ? rate / 4.0 : 3000)));
        EXPECT_NEAR(static_cast<double>(read.size()), frames * 11025.0 / rate, 4.0) << rate;
        EXPECT_NEAR(peakOfMiddle(read), 16384, 250) << rate;
        if (rate >= 22050) {
            read = ReadAll(WriteFloats(name + "-high.wav", rate, tone(7000)));
            EXPECT_LT(peakOfMiddle(read), 100) << rate;
        }
    }
}

// A phone's recording reads the same in pieces of any size as whole, and
// again after a rewind, as a looping input plays it.
TEST_F(RecordingTest, APhonesRateReadsTheSameInPiecesAndAfterARewind)
{
    std::string path =
        Write("phone.wav", 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, Noise(44100 * 2 * 3 + 2));
    std::vector<std::int16_t> whole = ReadAll(path);
    EXPECT_NEAR(static_cast<double>(whole.size()), 11025 * 3, 1.0);
    std::string error;
    RecordingStream* stream = OpenRecordingStream(path, 11025, &error);
    ASSERT_NE(stream, nullptr) << error;
    for (long pieceSize : {777L, 5000L}) {
        std::vector<std::int16_t> pieces;
        std::vector<std::int16_t> piece(static_cast<std::size_t>(pieceSize));
        long got = 0;
        while ((got = ReadRecordingStream(stream, piece.data(), pieceSize)) > 0)
            pieces.insert(pieces.end(), piece.begin(), piece.begin() + got);
        EXPECT_EQ(pieces, whole) << "pieces of " << pieceSize;
        ASSERT_TRUE(RewindRecordingStream(stream));
    }
    CloseRecordingStream(stream);
}

// What a phone records and is not read says how to convert it, in words a
// shell takes as they stand.
TEST_F(RecordingTest, APhonesCompressedRecordingIsRefusedWithHowToConvertIt)
{
    std::string path = (folder / "Tuesday's night.m4a").string();
    std::ofstream(path, std::ios::binary) << std::string("\0\0\0\x1c"
                                                         "ftypM4A \0\0\0\0M4A isommp42\0\0\0\x08"
                                                         "free",
                                                         36)
                                          << std::string(4000, '\x5a');
    std::string error;
    EXPECT_EQ(OpenRecordingStream(path, 11025, &error), nullptr);
    std::string quoted = "'" + folder.string() + "/Tuesday'\\''s night";
    EXPECT_EQ(error, path +
                         ": MPEG-4 audio (.m4a, AAC) is not read; convert it first, for "
                         "example: ffmpeg -i " +
                         quoted + ".m4a' " + quoted + ".flac'");
    std::ofstream(path, std::ios::binary) << std::string(4000, '\x5a');
    EXPECT_EQ(OpenRecordingStream(path, 11025, &error), nullptr);
    EXPECT_EQ(error, path + ": Format not recognised.");
}
