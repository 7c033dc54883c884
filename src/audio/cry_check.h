// SPDX-License-Identifier: GPL-3.0-or-later
// Whether one capture block sounds like a crying child: strongly periodic,
// pitched where an infant cries, its energy in the band a cry fills. Plain
// functions on the 2048-sample blocks of the capture thread; nothing is
// allocated and nothing blocks.
#pragma once

#include <cstdint>

// A block is looked at as four frames of 512 samples (46 ms each).
constexpr int cryFrames = 4;
constexpr int cryFrameSamples = 512;

// What one block measured.
struct CryFeatures {
    float pitch[cryFrames];       // Hz of the frame's period; 0 when it has none
    float periodicity[cryFrames]; // normalised autocorrelation at that period, up to about 1
    float bandShare;              // share of the 100-4000 Hz energy in 300-3000 Hz; 0 in silence
};

// When a block counts as cry-like.
struct CryRule {
    float periodicity; // a frame's least periodicity
    float lowHz;       // a frame's pitch range
    float highHz;
    std::int32_t frames; // frames of a block that must pass
    float bandShare;     // the block's least share of energy in the cry band
};

// Chosen on marked nights of real cries and household sounds.
constexpr CryRule cryRule{0.85f, 250.0f, 1200.0f, 2, 0.5f};

// Carried from block to block of one capture run; all zero at its start.
struct CryCheckState {
    std::int32_t lastLikeCry; // 1 when the previous block was cry-like
};

// The features of one block of 2048 little-endian 16-bit samples.
void MeasureCryFeatures(const char* data, CryFeatures* features);
// The rule alone, on features already measured.
bool FeaturesLikeCry(const CryFeatures& features, const CryRule& rule);
// The verdict on one block: cry-like by the rule, or the block right after
// a cry-like one (the breath between two bouts). Updates *state.
bool BlockSoundsLikeCry(const char* data, CryCheckState* state);
