// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_options.h"

#include <QString>
#include <cstdio>

#include "audio/calibration.h"
#include "audio/capture.h"
#include "platform/common/event_text.h"
#include "platform/registry.h"
#include "platform/store/store_file.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/wave.h"
#include "settings/settings.h"

namespace {

std::string Local(LPCWSTR text)
{
    return QString::fromStdU16String(std::u16string(text)).toLocal8Bit().toStdString();
}

// The store as it stands, into `settings` (the defaults when there is none
// yet, not even its folder); false after telling why not.
bool ReadStore(const char* consequence)
{
    const LONG result = ReadSettings();
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)
        return true;
    std::fprintf(stderr, "cradlecom: cannot read the settings in %s: %s (error %ld)%s\n",
                 StoreFilePath().c_str(), Local(SaveFailureLogWords(result)).c_str(),
                 static_cast<long>(result), consequence);
    return false;
}

// Values that are taken but cost the user something, said once they are stored.
void WarnOfCosts(const std::vector<std::string>& assignments)
{
    for (const std::string& assignment : assignments) {
        std::u16string text = QString::fromLocal8Bit(assignment).toStdU16String();
        if (LPCWSTR words = SettingWarningWords(text.c_str()))
            std::fprintf(stderr, "cradlecom: --set %s: %s\n", assignment.c_str(),
                         Local(words).c_str());
    }
}

} // namespace

int SetSettings(const std::vector<std::string>& assignments)
{
    if (!ReadStore("; nothing written"))
        return 1;
    SettingsRecord changed = settings;
    bool refused = false;
    for (const std::string& assignment : assignments) {
        std::u16string text = QString::fromLocal8Bit(assignment).toStdU16String();
        std::int32_t result = AssignSetting(&changed, text.c_str());
        if (result != SETTING_OK) {
            std::fprintf(stderr, "cradlecom: --set %s: %s\n", assignment.c_str(),
                         Local(SettingRefusalWords(text.c_str(), result)).c_str());
            refused = true;
        }
    }
    if (refused) {
        std::fprintf(stderr, "cradlecom: nothing written\n");
        return 2;
    }
    settings = changed;
    ComputeLimits();
    const LONG result = SaveSettings();
    LogSaveResult(result);
    if (result == ERROR_SUCCESS)
        WarnOfCosts(assignments);
    return result == ERROR_SUCCESS ? 0 : 1;
}

int CalibrateSettings(int seconds)
{
    if (!ReadStore("; nothing written"))
        return 1;
    ComputeLimits();
    ClearCaptureState();
    ListenToRoom(CalibrationBlocks(seconds));
    std::fprintf(stderr, "cradlecom: listening to the room for %d s; keep it quiet\n", seconds);
    if (!StartCapture()) {
        WCHAR error[128] = {};
        waveInGetErrorTextW(microphone.startResult, error, 128);
        StopCapture();
        std::fprintf(stderr,
                     "cradlecom: --calibrate: the microphone cannot be opened: %s; "
                     "nothing written\n",
                     Local(error).c_str());
        return 1;
    }
    // A device that stops giving sound is not waited for long after the time.
    for (int waited = 0; !RoomHeard() && waited < (seconds + 5) * 1000; waited += 100)
        Sleep(100);
    StopCapture();
    Calibration found;
    CalibrateHeardRoom(settings.CryCheck == 1, &found);
    if (found.outcome == CALIBRATION_OK || found.outcome == CALIBRATION_TOO_LOUD)
        std::printf("room level: %.1f dBFS\n", found.roomDbfs);
    if (found.outcome != CALIBRATION_OK) {
        std::fflush(stdout);
        std::fprintf(stderr, "cradlecom: --calibrate: %s; nothing written\n",
                     CalibrationRefusalWords(found.outcome));
        return 1;
    }
    std::printf("loudness line: %.1f dBFS, %.0f dB above the room (CryCheck=%d)\n", found.lineDbfs,
                found.lineDbfs - found.roomDbfs, settings.CryCheck == 1 ? 1 : 0);
    std::vector<std::string> chosen = {"VolSensi=" + std::to_string(found.VolSensi),
                                       "VolThresh=" + std::to_string(found.VolThresh),
                                       "CryThresh=" + std::to_string(found.CryThresh)};
    for (const std::string& assignment : chosen)
        std::printf("%s\n", assignment.c_str());
    std::fflush(stdout);
    return SetSettings(chosen);
}

int PrintSettings()
{
    if (!ReadStore(""))
        return 1;
    // Standard output stays what --set takes back; a stored value it would
    // refuse is told on standard error, its control characters escaped.
    SettingsRecord shown = settings;
    for (int index = 0; index < settingNameCount; ++index) {
        WCHAR line[64];
        const std::int32_t check = MakeSettingUsable(&shown, index);
        if (check != SETTING_OK) {
            FormatSetting(settings, index, line);
            std::fprintf(stderr,
                         "cradlecom: the store holds %s, which --set does not take (%s); shown as "
                         "it works\n",
                         QString::fromStdString(EventLogText(line)).toLocal8Bit().constData(),
                         Local(SettingRefusalWords(line, check)).c_str());
        }
        FormatSetting(shown, index, line);
        std::printf("%s\n", Local(line).c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
