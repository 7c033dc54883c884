// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers that turn sound into loudness: MapRange, the limits derived
// from the settings, and the peak search of one buffer.
#include <cstring>
#include <vector>

#include "audio/capture.h"
#include "engine_fixture.h"
#include "settings/settings.h"

using LevelsTest = EngineTest;

// Clamping, the equal-bounds guard and the operation order all show in the
// results; a reordered formula or a missing clamp changes one of them.
TEST_F(LevelsTest, MapRangeClampsAndGuardsEqualBounds)
{
    EXPECT_EQ(MapRange(5, 3, 3, 10, 20), 0.0);
    EXPECT_EQ(MapRange(-5, 0, 100, 0, 1), 0.0);
    EXPECT_EQ(MapRange(150, 0, 100, 0, 1), 1.0);
    EXPECT_EQ(MapRange(25, 0, 100, 0, 1), 0.25);
    EXPECT_EQ(MapRange(35, 0, 100, 0, 1), 35.0 / 100.0);
    // Reversed source range: the low clamp then the high clamp leave fromHigh.
    EXPECT_EQ(MapRange(50, 100, 0, 0, 1), 1.0);
    EXPECT_EQ(MapRange(50, 0, 100, -30000, -500), -15250.0);
}

TEST_F(LevelsTest, LimitsFollowTheSettingsWithClamping)
{
    EXPECT_EQ(limits.sensiFactor.load(), 0.0); // nothing computed yet
    struct Row {
        int sensi, thresh, cry;
        double factor, vol, cryLimit;
    } rows[] = {
        {0, 0, 35, 30000.0, 0.0, 35.0 / 100.0}, {50, 50, 50, 15250.0, 0.5, 0.5},
        {100, 100, 100, 500.0, 1.0, 1.0},       {150, 250, 0, 500.0, 1.0, 0.0},
        {-10, -5, -1, 30000.0, 0.0, 0.0},       {10, 20, 20, 27050.0, 0.2, 0.2},
        {90, 99, 1, 3450.0, 0.99, 0.01},
    };
    for (const Row& row : rows) {
        settings.VolSensi = row.sensi;
        settings.VolThresh = row.thresh;
        settings.CryThresh = row.cry;
        ComputeLimits();
        EXPECT_EQ(limits.sensiFactor.load(), row.factor) << row.sensi;
        EXPECT_EQ(limits.volLimit, row.vol) << row.thresh;
        EXPECT_EQ(limits.cryLimit, row.cryLimit) << row.cry;
    }
    // Every whole sensitivity gives the exact factor 30000 - 295 x sensi.
    for (int sensi = 0; sensi <= 100; ++sensi) {
        settings.VolSensi = sensi;
        ComputeLimits();
        EXPECT_EQ(limits.sensiFactor.load(), 30000.0 - 295.0 * sensi) << sensi;
    }
}

static std::vector<char> Block(const std::vector<std::int16_t>& samples)
{
    std::vector<char> block(captureBufferBytes, 0);
    std::memcpy(block.data(), samples.data(), std::min(block.size(), samples.size() * 2));
    return block;
}

static void Measure(std::vector<std::int16_t> samples, double factor)
{
    samples.resize(2048, 0);
    limits.sensiFactor = factor;
    std::vector<char> block = Block(samples);
    MeasureBuffer(block.data());
}

TEST_F(LevelsTest, PeakCountsMinus32768AsFullScale)
{
    for (double factor : {500.0, 15250.0, 30000.0}) {
        std::vector<std::int16_t> samples(2048, 0);
        samples[1000] = -32768;
        Measure(samples, factor);
        EXPECT_EQ(capture.peak.load(), 32768);
        EXPECT_EQ(capture.level.load(), 1.0);
    }
    // The bytes 0x00 0x80 read as -32768, 0xFF 0x7F as 32767.
    std::vector<char> block(captureBufferBytes, 0);
    block[10] = 0x00;
    block[11] = static_cast<char>(0x80);
    limits.sensiFactor = 15250.0;
    MeasureBuffer(block.data());
    EXPECT_EQ(capture.peak.load(), 32768);
    block[11] = 0x00;
    block[20] = static_cast<char>(0xFF);
    block[21] = 0x7F;
    MeasureBuffer(block.data());
    EXPECT_EQ(capture.peak.load(), 32767);
}

// Each of the eight lanes and both ends of the buffer must be searched.
TEST_F(LevelsTest, LargestMagnitudeWinsWhereverItStands)
{
    for (int position : {0, 1, 7, 8, 1023, 2040, 2046, 2047}) {
        std::vector<std::int16_t> samples(2048, 100);
        samples[position] = position % 2 == 0 ? -9000 : 9000;
        Measure(samples, 15250.0);
        EXPECT_EQ(capture.peak.load(), 9000) << position;
    }
}

TEST_F(LevelsTest, LevelScalesWithPeakAndSaturates)
{
    Measure({}, 15250.0);
    EXPECT_EQ(capture.peak.load(), 0);
    EXPECT_EQ(capture.level.load(), 0.0);
    Measure({7625}, 15250.0);
    EXPECT_EQ(capture.level.load(), 0.5);
    Measure({15250}, 15250.0);
    EXPECT_EQ(capture.level.load(), 1.0);
    Measure({15251}, 15250.0);
    EXPECT_EQ(capture.level.load(), 1.0);
    Measure({250}, 500.0);
    EXPECT_EQ(capture.level.load(), 0.5);
    Measure({15000}, 30000.0);
    EXPECT_EQ(capture.level.load(), 0.5);
    Measure({30000}, 30000.0);
    EXPECT_EQ(capture.level.load(), 1.0);
    Measure({20000}, 0.0); // before the limits are computed
    EXPECT_EQ(capture.level.load(), 0.0);
    EXPECT_EQ(capture.peak.load(), 20000);
}
