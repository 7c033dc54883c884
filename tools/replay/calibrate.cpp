// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration on the start of a recording, as if the room were listened to.
#include "audio/calibration.h"
#include "platform/recording/recording.h"
#include "replay.h"

bool CalibrateFromRecording(RecordingStream* stream, int seconds, ReplaySettings* chosen,
                            std::string* said)
{
    std::vector<std::int16_t> head(static_cast<std::size_t>(seconds) * captureRate);
    long got = ReadRecordingStream(stream, head.data(), static_cast<long>(head.size()));
    if (!RewindRecordingStream(stream)) {
        *said = "the recording cannot be read again from its start";
        return false;
    }
    Calibration found;
    CalibrateSamples(head.data(), got, chosen->CryCheck == 1, &found);
    if (found.outcome != CALIBRATION_OK) {
        *said = CalibrationRefusalWords(found.outcome);
        return false;
    }
    chosen->VolSensi = found.VolSensi;
    chosen->VolThresh = found.VolThresh;
    chosen->CryThresh = found.CryThresh;
    char text[160];
    std::snprintf(text, sizeof text,
                  "room %.1f dBFS, line %.1f dBFS (CryCheck %d): VolSensi %d, VolThresh %d, "
                  "CryThresh %d",
                  found.roomDbfs, found.lineDbfs, chosen->CryCheck, found.VolSensi, found.VolThresh,
                  found.CryThresh);
    *said = text;
    return true;
}
