// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration: from what the microphone heard of the quiet room, the
// sensitivity and loudness threshold under which a child crying across the
// room is loud and the room's own sound is not.
#pragma once

#include <cstdint>

// What CalibrateRoom found.
constexpr std::int32_t CALIBRATION_OK = 0;
constexpr std::int32_t CALIBRATION_TOO_SHORT = 1; // too few blocks to judge the room
constexpr std::int32_t CALIBRATION_SILENT = 2;    // the microphone gave nothing
constexpr std::int32_t CALIBRATION_TOO_LOUD = 3;  // a cry across the room would not stand out

// Seconds of room the least; blocks come about 5.4 a second.
constexpr std::int32_t calibrationLeastBlocks = 27;
// How long a calibration may listen, in seconds, and how long it does
// unless told otherwise.
constexpr std::int32_t calibrationLeastSeconds = 5;
constexpr std::int32_t calibrationMostSeconds = 600;
constexpr std::int32_t calibrationDefaultSeconds = 30;

struct Calibration {
    std::int32_t outcome;   // CALIBRATION_*
    double roomDbfs;        // the room's loud end: a high percentile of the block peaks, dBFS
    double lineDbfs;        // the loudness line chosen, as a block peak in dBFS
    std::int32_t VolSensi;  // the settings chosen; with a refusal, 0
    std::int32_t VolThresh; //
    std::int32_t CryThresh; //
    std::int32_t loudPeak;  // the least block peak that counts as loud under them
};

// How far above the room the line sits (dB), and the cry threshold, with and
// without the cry check.
struct CalibrationRule {
    double marginDb;
    std::int32_t cryThresh;
};
extern const CalibrationRule calibrationRule[2]; // [0] without the cry check, [1] with it

// From the peaks (0 to 32768) of `count` consecutive blocks of the quiet room.
void CalibrateRoom(const std::int32_t* peaks, std::int32_t count, bool cryCheck,
                   Calibration* result);
// The least block peak that counts as loud under VolSensi and VolThresh, by
// the same arithmetic as the level and the tick; 32769 when none does.
std::int32_t LoudPeakOf(std::int32_t volSensi, std::int32_t volThresh);
// The capture buffers that `seconds` of listening bring, rounded up.
std::int32_t CalibrationBlocks(std::int32_t seconds);
// From the first `count` samples of a recording, taken as consecutive
// capture buffers.
void CalibrateSamples(const std::int16_t* samples, std::int64_t count, bool cryCheck,
                      Calibration* result);

// Listening through the capture engine while it runs: the peaks of the next
// `blocks` full buffers are kept (at most roomMostBlocks); 0 ends a
// listening and forgets what it kept. Window thread.
void ListenToRoom(std::int32_t blocks);
// Whether all the buffers asked for came.
bool RoomHeard();
// Ends the listening and calibrates on what it kept, which stays until the
// next ListenToRoom (so that it can be calibrated on again, the cry check
// turned on or off).
void CalibrateHeardRoom(bool cryCheck, Calibration* result);

// Why CalibrateRoom refused, in short English words; empty for CALIBRATION_OK.
const char* CalibrationRefusalWords(std::int32_t outcome);
