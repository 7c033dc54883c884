// SPDX-License-Identifier: GPL-3.0-or-later
// The cry check on tones, noise and real recordings, and calibration on a
// dead microphone, a loud room and a quiet one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "audio/calibration.h"
#include "audio/capture.h"
#include "audio/cry_check.h"
#include "platform/recording/recording.h"
#include "settings/settings.h"

namespace {

constexpr int blockSamples = captureBufferBytes / 2;
constexpr double rate = 11025.0;

std::vector<std::int16_t> Load(const std::string& path)
{
    std::vector<std::int16_t> samples;
    std::string error;
    EXPECT_TRUE(LoadRecording(path, 11025, &samples, &error)) << path << ": " << error;
    return samples;
}

// A voice-like tone: the fundamental and seven harmonics falling by 1/k.
std::vector<std::int16_t> Harmonic(double hz, double amplitude)
{
    std::vector<std::int16_t> block(blockSamples);
    const double pi = std::acos(-1.0);
    for (int i = 0; i < blockSamples; ++i) {
        double v = 0.0;
        for (int k = 1; k <= 8; ++k)
            v += std::sin(2.0 * pi * hz * k * i / rate) / k;
        block[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(amplitude * v / 2.7);
    }
    return block;
}

// A voice-like sound whose pitch follows pitchAt(seconds), its phase
// unbroken from sample to sample.
template <typename Pitch> std::vector<std::int16_t> Sound(double seconds, Pitch pitchAt)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * rate));
    const double pi = std::acos(-1.0);
    double phase = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        phase += 2.0 * pi * pitchAt(static_cast<double>(i) / rate) / rate;
        double v = 0.0;
        for (int k = 1; k <= 8; ++k)
            v += std::sin(k * phase) / k;
        samples[i] = static_cast<std::int16_t>(3000.0 * v);
    }
    return samples;
}

// The verdict on each block of a sound, one after the other.
std::vector<bool> Verdicts(const std::vector<std::int16_t>& samples)
{
    std::vector<bool> verdicts;
    CryCheckState state{};
    for (std::size_t at = 0; at + blockSamples <= samples.size(); at += blockSamples)
        verdicts.push_back(BlockSoundsLikeCry(reinterpret_cast<const char*>(&samples[at]), &state));
    return verdicts;
}

int Passed(const std::vector<bool>& verdicts, std::size_t from)
{
    return static_cast<int>(
        std::count(verdicts.begin() + static_cast<std::ptrdiff_t>(from), verdicts.end(), true));
}

bool Verdict(const std::vector<std::int16_t>& block, CryCheckState* state)
{
    return BlockSoundsLikeCry(reinterpret_cast<const char*>(block.data()), state);
}

std::int32_t Peak(const std::int16_t* samples)
{
    std::int32_t peak = 0;
    for (int i = 0; i < blockSamples; ++i)
        peak = std::max(peak, std::abs(std::int32_t{samples[i]}));
    return peak;
}

// Of a recording's blocks whose peak reaches `least`: how many, and how
// many the check passes, one block after the other as capture hands them.
struct Passing {
    int loud = 0;
    int passed = 0;
};
Passing PassingBlocks(const std::vector<std::int16_t>& samples, std::int32_t least)
{
    Passing count;
    CryCheckState state{};
    for (std::size_t at = 0; at + blockSamples <= samples.size(); at += blockSamples) {
        bool passed = BlockSoundsLikeCry(reinterpret_cast<const char*>(&samples[at]), &state);
        if (Peak(&samples[at]) >= least) {
            ++count.loud;
            count.passed += passed ? 1 : 0;
        }
    }
    return count;
}

std::vector<std::int32_t> BlockPeaks(const std::vector<std::int16_t>& samples)
{
    std::vector<std::int32_t> peaks;
    for (std::size_t at = 0; at + blockSamples <= samples.size(); at += blockSamples)
        peaks.push_back(Peak(&samples[at]));
    return peaks;
}

} // namespace

// A child's cry is pitched well above a man's voice or a hum; noise and a
// knock have no pitch at all.
TEST(CryCheck, PassesPitchedCryLikeSoundOnly)
{
    CryCheckState state{};
    EXPECT_TRUE(Verdict(Harmonic(400.0, 8000.0), &state));
    state = {};
    EXPECT_FALSE(Verdict(Harmonic(120.0, 8000.0), &state));
    // So quiet a cry is still a cry: the check asks about the sound's
    // shape; loudness is the threshold's business.
    state = {};
    EXPECT_TRUE(Verdict(Harmonic(400.0, 60.0), &state));

    std::vector<std::int16_t> noise(blockSamples);
    std::uint32_t seed = 12345;
    for (std::int16_t& s : noise) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<std::int16_t>(static_cast<std::int32_t>(seed >> 16) - 32768);
    }
    state = {};
    EXPECT_FALSE(Verdict(noise, &state));
    std::vector<std::int16_t> click(blockSamples, 0);
    click[700] = 30000;
    click[701] = -30000;
    state = {};
    EXPECT_FALSE(Verdict(click, &state));
    std::vector<std::int16_t> silence(blockSamples, 0);
    state = {};
    EXPECT_FALSE(Verdict(silence, &state));

    // The breath between two bouts: the block right after a cry-like one
    // passes, the next one no longer.
    state = {};
    EXPECT_TRUE(Verdict(Harmonic(400.0, 8000.0), &state));
    EXPECT_TRUE(Verdict(noise, &state));
    EXPECT_FALSE(Verdict(noise, &state));
}

// A bell, a horn or a siren is pitched like a cry, but it holds its pitch
// or glides it along a straight line; a child's pitch wanders. Once the
// check has followed such a tone for a quarter of a second, it stops
// passing it, also across a leap of an octave (as the pitch search's
// reading of a tone may leap).
TEST(CryCheck, RefusesHeldAndGlidingTonesButNotAWanderingVoice)
{
    std::vector<bool> held = Verdicts(Sound(2.0, [](double) { return 400.0; }));
    EXPECT_TRUE(held[0]);
    EXPECT_EQ(Passed(held, 2), 0);
    std::vector<bool> siren =
        Verdicts(Sound(2.0, [](double t) { return 500.0 * std::pow(2.0, t / 2.0); }));
    EXPECT_EQ(Passed(siren, 2), 0);
    std::vector<bool> octave =
        Verdicts(Sound(2.0, [](double t) { return t < 1.0 ? 400.0 : 800.0; }));
    EXPECT_EQ(Passed(octave, 2), 0);

    // Around 400 Hz, nudged by up to 3 % every 23 ms, as a crying child's
    // pitch moves.
    std::vector<double> steps(100);
    std::uint32_t seed = 99;
    double wander = 0.0;
    for (double& step : steps) {
        seed = seed * 1664525u + 1013904223u;
        wander = 0.7 * wander + 0.03 * ((seed >> 8) / 16777216.0 - 0.5) * 2.0;
        step = wander;
    }
    std::vector<bool> voice = Verdicts(Sound(2.0, [&](double t) {
        return 400.0 * std::exp(steps[static_cast<std::size_t>(t / 0.023) % steps.size()]);
    }));
    EXPECT_GE(Passed(voice, 0), static_cast<int>(voice.size()) - 1);
}

TEST(CryCheck, PassesRecordedCriesAndNotTheDishes)
{
    // -30 dBFS: the loud part of each recording.
    constexpr std::int32_t loud = 1036;
    Passing cries = PassingBlocks(Load(CRADLECOM_DATA_DIR "/cry_bouts.flac"), loud);
    ASSERT_GT(cries.loud, 40);
    EXPECT_GE(cries.passed, cries.loud / 3) << cries.passed << " of " << cries.loud;
    Passing dishes = PassingBlocks(Load(CRADLECOM_TEST_DATA_DIR "/dishes.flac"), loud);
    ASSERT_GT(dishes.loud, 30);
    EXPECT_EQ(dishes.passed, 0) << "of " << dishes.loud;
}

TEST(Calibration, RefusesADeadMicrophoneALoudRoomAndTooLittle)
{
    Calibration result;
    std::vector<std::int32_t> zeros(200, 0);
    for (bool check : {false, true}) {
        CalibrateRoom(zeros.data(), 200, check, &result);
        EXPECT_EQ(result.outcome, CALIBRATION_SILENT);
    }
    // A kitchen in full swing is no room to set a cry threshold in.
    std::vector<std::int32_t> kitchen = BlockPeaks(Load(CRADLECOM_TEST_DATA_DIR "/dishes.flac"));
    for (bool check : {false, true}) {
        CalibrateRoom(kitchen.data(), static_cast<std::int32_t>(kitchen.size()), check, &result);
        EXPECT_EQ(result.outcome, CALIBRATION_TOO_LOUD) << result.roomDbfs;
    }
    std::vector<std::int32_t> room = BlockPeaks(Load(CRADLECOM_DATA_DIR "/room_hum.flac"));
    CalibrateRoom(room.data(), calibrationLeastBlocks - 1, false, &result);
    EXPECT_EQ(result.outcome, CALIBRATION_TOO_SHORT);
    EXPECT_STRNE(CalibrationRefusalWords(CALIBRATION_TOO_LOUD), "");
}

// Calibrated in a humming room, the monitor hears a cry from 2.5 m (a block
// RMS of -25 dBFS at its 90th percentile, as the marked nights set it) and
// not the hum, even when it grows louder.
TEST(Calibration, QuietRoomGivesALineACryAcrossTheRoomClears)
{
    std::vector<std::int16_t> hum = Load(CRADLECOM_DATA_DIR "/room_hum.flac");
    std::vector<std::int32_t> room = BlockPeaks(hum);
    std::vector<std::int16_t> cry = Load(CRADLECOM_DATA_DIR "/cry_bouts.flac");
    std::vector<double> rms;
    for (std::size_t at = 0; at + blockSamples <= cry.size(); at += blockSamples) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + blockSamples; ++i)
            sum += static_cast<double>(cry[i]) * cry[i];
        rms.push_back(std::sqrt(sum / blockSamples));
    }
    std::sort(rms.begin(), rms.end());
    double gain = 32768.0 * std::pow(10.0, -25.0 / 20.0) / rms[rms.size() * 9 / 10];
    for (std::int16_t& s : cry)
        s = static_cast<std::int16_t>(std::lround(s * gain));
    std::vector<std::int32_t> cryPeaks = BlockPeaks(cry);

    for (bool check : {false, true}) {
        Calibration result;
        CalibrateRoom(room.data(), static_cast<std::int32_t>(room.size()), check, &result);
        ASSERT_EQ(result.outcome, CALIBRATION_OK) << CalibrationRefusalWords(result.outcome);
        double factor = SensiFactorOf(result.VolSensi);
        double limit = LimitOf(result.VolThresh);
        int roomLoud = 0, cryLoud = 0;
        // Even twice as loud (a fan turned up, a window open), the room stays
        // below the line.
        for (std::int32_t peak : room)
            roomLoud += LevelOfPeak(2 * peak, factor) >= limit ? 1 : 0;
        for (std::int32_t peak : cryPeaks)
            cryLoud += LevelOfPeak(peak, factor) >= limit ? 1 : 0;
        EXPECT_EQ(roomLoud, 0) << result.VolSensi << "/" << result.VolThresh;
        // The cry has its pauses; its bouts must count.
        EXPECT_GE(cryLoud, static_cast<int>(cryPeaks.size()) / 2)
            << result.VolSensi << "/" << result.VolThresh;
        EXPECT_EQ(LevelOfPeak(result.loudPeak, factor) >= limit, true);
        EXPECT_EQ(LevelOfPeak(result.loudPeak - 1, factor) >= limit, false);
    }
}
