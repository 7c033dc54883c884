// SPDX-License-Identifier: GPL-3.0-or-later
// Whether one capture block sounds like a crying child: strongly periodic,
// pitched where an infant cries, its energy in the band a cry fills, its
// pitch wandering as a voice's does and not held like a machine's. Plain
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
    // A voice's pitch wanders; a bell, a horn, a siren or a beep holds it,
    // or glides along a straight line. A frame whose pitch and that of the
    // steadyFrames - 1 frames before it (one unbroken track) lie within
    // steadyGlide (natural log, RMS) of a straight glide is no cry.
    std::int32_t steadyFrames;
    float steadyGlide;
};

// Chosen on marked nights of real cries and household sounds. Six frames
// are 0.28 s, less than a bout of crying and than a bell's ring; 0.8 % lies
// between how far the pitch search strays on a held or gliding tone (bells
// and sirens: under 0.4 % in nine frames of ten) and how far a crying
// child's pitch does (1 % or more in half of its frames).
constexpr CryRule cryRule{0.85f, 250.0f, 1200.0f, 2, 0.5f, 6, 0.008f};

// The longest stretch of a pitch track the check keeps.
constexpr int cryTrackFrames = 8;
static_assert(cryRule.steadyFrames >= 3 && cryRule.steadyFrames <= cryTrackFrames);

// Carried from block to block while the microphone listens, through the
// periodic restarts of capture (they lose less than a block); all zero when
// listening begins.
struct CryCheckState {
    std::int32_t lastLikeCry; // 1 when the previous block was cry-like
    std::int32_t trackFrames; // frames of the pitch track followed now, up to cryTrackFrames
    // Their pitch (natural log of Hz), the latest last, octave jumps of the
    // pitch search folded away.
    float track[cryTrackFrames];
};

// The features of one block of 2048 little-endian 16-bit samples.
void MeasureCryFeatures(const char* data, CryFeatures* features);
// The verdict on one block from its features, the rule and what the blocks
// before it left in *state (which it updates): cry-like by the rule, or the
// block right after a cry-like one (the breath between two bouts).
bool FeaturesLikeCry(const CryFeatures& features, const CryRule& rule, CryCheckState* state);
// The same on the block's samples, with cryRule.
bool BlockSoundsLikeCry(const char* data, CryCheckState* state);
