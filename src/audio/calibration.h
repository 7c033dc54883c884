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
void CalibrateRoomWith(const std::int32_t* peaks, std::int32_t count, const CalibrationRule& rule,
                       Calibration* result);
// The least block peak that counts as loud under VolSensi and VolThresh, by
// the same arithmetic as the level and the tick; 32769 when none does.
std::int32_t LoudPeakOf(std::int32_t volSensi, std::int32_t volThresh);
// Why CalibrateRoom refused, in short English words; empty for CALIBRATION_OK.
const char* CalibrationRefusalWords(std::int32_t outcome);
