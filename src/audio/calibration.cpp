// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/calibration.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "audio/capture.h"
#include "settings/settings.h"

const CalibrationRule calibrationRule[2] = {{22.0, 50}, {8.0, 30}};

namespace {

constexpr double fullScale = 32768.0;
// The room's loud end: what it reaches in all but one block in twenty, so
// that a single click or a cough does not set the line.
constexpr double roomPercentile = 0.95;
// A microphone whose blocks peak at 1 or less hears nothing: even a quiet
// room's noise moves a few steps.
constexpr std::int32_t silentPeak = 1;
// The highest line that a child crying across the room still clears well
// (a block peak of about -24 dBFS at the gain the marked nights assume).
constexpr double highestLineDbfs = -24.0;

double Dbfs(double peak)
{
    return 20.0 * std::log10(std::max(peak, 1.0) / fullScale);
}

} // namespace

std::int32_t LoudPeakOf(std::int32_t volSensi, std::int32_t volThresh)
{
    double factor = SensiFactorOf(volSensi);
    double limit = LimitOf(volThresh);
    // The level rises with the peak, so the least loud peak is found by halves.
    std::int32_t low = 0, high = 32769;
    while (low < high) {
        std::int32_t mid = (low + high) / 2;
        if (LevelOfPeak(mid, factor) >= limit)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

static void CalibrateRoomWith(const std::int32_t* peaks, std::int32_t count,
                              const CalibrationRule& rule, Calibration* result)
{
    *result = Calibration{};
    if (count < calibrationLeastBlocks) {
        result->outcome = CALIBRATION_TOO_SHORT;
        return;
    }
    std::vector<std::int32_t> sorted(peaks, peaks + count);
    auto at = sorted.begin() + static_cast<std::ptrdiff_t>(roomPercentile * (count - 1));
    std::nth_element(sorted.begin(), at, sorted.end());
    double room = *at;
    result->roomDbfs = Dbfs(room);
    if (*std::max_element(sorted.begin(), sorted.end()) <= silentPeak) {
        result->outcome = CALIBRATION_SILENT;
        return;
    }
    double line = room * std::pow(10.0, rule.marginDb / 20.0);
    result->lineDbfs = Dbfs(line);
    if (result->lineDbfs > highestLineDbfs) {
        result->outcome = CALIBRATION_TOO_LOUD;
        return;
    }
    // A pair on the dialogs' steps of 5 whose line lies within half a
    // decibel of the one wanted, the threshold as near the middle of the bar
    // as can be, so that both the room and a cry show on it; with none so
    // near, the nearest.
    double nearest = 1e9;
    std::int32_t middle = 1000;
    for (std::int32_t sensi = 0; sensi <= 100; sensi += 5) {
        for (std::int32_t thresh = 5; thresh <= 100; thresh += 5) {
            std::int32_t loud = LoudPeakOf(sensi, thresh);
            double error = std::abs(Dbfs(loud) - result->lineDbfs);
            std::int32_t offCentre = std::abs(thresh - 50);
            bool better = error <= 0.5 ? nearest > 0.5 || offCentre < middle
                                       : nearest > 0.5 && error < nearest;
            if (better) {
                nearest = error;
                middle = offCentre;
                result->VolSensi = sensi;
                result->VolThresh = thresh;
                result->loudPeak = loud;
            }
        }
    }
    result->CryThresh = rule.cryThresh;
    result->lineDbfs = Dbfs(result->loudPeak);
    result->outcome = CALIBRATION_OK;
}

void CalibrateRoom(const std::int32_t* peaks, std::int32_t count, bool cryCheck,
                   Calibration* result)
{
    CalibrateRoomWith(peaks, count, calibrationRule[cryCheck ? 1 : 0], result);
}

std::int32_t CalibrationBlocks(std::int32_t seconds)
{
    std::int64_t samples = std::int64_t{seconds} * 11025;
    return static_cast<std::int32_t>((samples + captureBufferBytes / 2 - 1) /
                                     (captureBufferBytes / 2));
}

void CalibrateSamples(const std::int16_t* samples, std::int64_t count, bool cryCheck,
                      Calibration* result)
{
    constexpr std::int64_t block = captureBufferBytes / 2;
    std::vector<std::int32_t> peaks;
    for (std::int64_t start = 0; start + block <= count; start += block)
        peaks.push_back(PeakOfBlock(reinterpret_cast<const char*>(samples + start)));
    CalibrateRoom(peaks.data(), static_cast<std::int32_t>(peaks.size()), cryCheck, result);
}

void ListenToRoom(std::int32_t blocks)
{
    std::lock_guard<std::mutex> lock(capture.guard);
    capture.room.heard = 0;
    capture.room.wanted = std::clamp(blocks, 0, roomMostBlocks);
}

bool RoomHeard()
{
    std::lock_guard<std::mutex> lock(capture.guard);
    return capture.room.heard >= capture.room.wanted;
}

void CalibrateHeardRoom(bool cryCheck, Calibration* result)
{
    std::vector<std::int32_t> peaks;
    {
        // Copied out, so that the capture callback does not wait on the sums.
        std::lock_guard<std::mutex> lock(capture.guard);
        peaks.assign(capture.room.peaks, capture.room.peaks + capture.room.heard);
        capture.room.wanted = capture.room.heard; // nothing more is kept
    }
    CalibrateRoom(peaks.data(), static_cast<std::int32_t>(peaks.size()), cryCheck, result);
}

const char* CalibrationRefusalWords(std::int32_t outcome)
{
    switch (outcome) {
    case CALIBRATION_TOO_SHORT:
        return "too little of the room was heard";
    case CALIBRATION_SILENT:
        return "the microphone gives nothing (only silence)";
    case CALIBRATION_TOO_LOUD:
        return "the room is too loud: a cry across it would not stand out";
    default:
        return "";
    }
}
