// SPDX-License-Identifier: GPL-3.0-or-later
// The process entry on Linux: reads the command line before anything needs
// a display, does what needs none, then makes the application and runs the
// system's own start-up.
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/screenshots.h"
#include "app/settings_options.h"
#include "audio/calibration.h"
#include "audio/capture.h"
#include "platform/alsa/wave_source.h"
#include "platform/phone/phone_backend.h"
#include "platform/posix/eventlog_file.h"
#include "platform/posix/runtime_folder.h"
#include "platform/qt/qt_platform.h"
#include "platform/service/heartbeat_options.h"
#include "platform/window.h"
#include "shell/shell.h"

struct PlatformInstance {
    int unused;
};
static PlatformInstance programInstance;

// What the options chose; written while the command line is read.
static std::string screenshotDirectory;
static bool inputChosen = false;
static bool startChosen = false;
static std::vector<std::string> settingsToSet; // --set NAME=VALUE, in order
static bool settingsToGet = false;
// Runs instead of the window when an option asks for it; the exit status.
static int (*runInstead)() = nullptr;

static bool TakeInput(const std::string& value, std::string* error)
{
    inputChosen = true;
    return SetWaveInputSource(value.c_str(), error);
}

static bool TakeLoop(const std::string&, std::string*)
{
    SetWaveInputLoop(true);
    return true;
}

static bool TakePhone(const std::string& value, std::string* error)
{
    return SetPhoneBackend(value.c_str(), error);
}

static bool TakeNotify(const std::string& value, std::string* error)
{
    return SetPhoneNotify(value.c_str(), error);
}

static bool TakeHeartbeat(const std::string& value, std::string* error)
{
    return SetHeartbeatUrl(value.c_str(), error);
}

static bool TakeHeartbeatInterval(const std::string& value, std::string* error)
{
    return SetHeartbeatInterval(value.c_str(), error);
}

static bool TakeScreenshots(const std::string& value, std::string* error)
{
    if (value.empty()) {
        *error = "--screenshots needs a folder";
        return false;
    }
    screenshotDirectory = value;
    return true;
}

static int PrintEvents()
{
    std::string error;
    if (!PrintEventLogTail(50, stdout, &error)) {
        std::fprintf(stderr, "cradlecom: cannot read the event log: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

static bool TakeEvents(const std::string&, std::string*)
{
    runInstead = PrintEvents;
    return true;
}

static bool TakeRecord(const std::string&, std::string*)
{
    night.asked = 1;
    return true;
}

static bool TakeStart(const std::string&, std::string*)
{
    startChosen = true;
    return true;
}

// --set and --get together: the writes first, then what the store holds.
static int RunSettings()
{
    int status = settingsToSet.empty() ? 0 : SetSettings(settingsToSet);
    if (status == 0 && settingsToGet)
        status = PrintSettings();
    return status;
}

static bool TakeSet(const std::string& value, std::string*)
{
    settingsToSet.push_back(value);
    runInstead = RunSettings;
    return true;
}

static int calibrationSeconds = 0;

static int RunCalibration()
{
    return CalibrateSettings(calibrationSeconds);
}

static bool TakeCalibrate(const std::string& value, std::string* error)
{
    calibrationSeconds = calibrationDefaultSeconds;
    if (!value.empty()) {
        char* end = nullptr;
        long seconds = std::strtol(value.c_str(), &end, 10);
        if (*end != '\0' || value[0] < '0' || value[0] > '9' || seconds < calibrationLeastSeconds ||
            seconds > calibrationMostSeconds) {
            *error = "--calibrate takes whole seconds from " +
                     std::to_string(calibrationLeastSeconds) + " to " +
                     std::to_string(calibrationMostSeconds) + ", not '" + value + "'";
            return false;
        }
        calibrationSeconds = static_cast<int>(seconds);
    }
    runInstead = RunCalibration;
    return true;
}

static bool TakeGet(const std::string&, std::string*)
{
    settingsToGet = true;
    runInstead = RunSettings;
    return true;
}

// Every option of the program, in the order --help shows them.
static const ProgramOption programOptions[] = {
    {"input", "SOURCE",
     "where the sound comes from:\n"
     "  default      the microphone (ALSA \"default\");\n"
     "               the default\n"
     "  alsa:DEVICE  another ALSA capture device,\n"
     "               e.g. alsa:plughw:1,0\n"
     "  FILE         a recording, played in real time\n"
     "               as if it were in the room",
     TakeInput},
    {"loop", nullptr, "play the recording over and over", TakeLoop},
    {"start", nullptr,
     "start monitoring as soon as the window is up, as\n"
     "Start does; for a device nobody watches. Without\n"
     "a valid number, say so and exit with status 2;\n"
     "a microphone that fails is reported on standard\n"
     "error and tried again every ten seconds. Beside\n"
     "a running copy, have it start monitoring",
     TakeStart},
    {"record", nullptr,
     "keep what the microphone hears while monitoring\n"
     "is on, one FLAC file per run in\n"
     "$XDG_STATE_HOME/cradlecom/nights/, for\n"
     "cradlecom-replay; as RecordNights=1 does",
     TakeRecord},
    {"phone", "BACKEND",
     "how calls are placed:\n"
     "  automatic     look for a registered voice modem\n"
     "                at each call and dial it; without\n"
     "                one, only log the call (the default)\n"
     "  modemmanager  through ModemManager; fail without\n"
     "                a modem\n"
     "  command:PROG  run PROG with the number\n"
     "  log           only write each call to standard\n"
     "                output\n"
     "  sip           over SIP through baresip, with the\n"
     "                account in ~/.config/cradlecom/\n"
     "                sip-account",
     TakePhone},
    {"notify", "CHANNEL",
     "where word goes when monitoring stops watching\n"
     "(the microphone silent, no way to call, the\n"
     "program ending), besides an SMS through the\n"
     "modem or a SIP MESSAGE:\n"
     "  command:PROG  run PROG with the message",
     TakeNotify},
    {"heartbeat", "URL",
     "GET URL at every interval while monitoring is on\n"
     "and the microphone and the calls work, so that a\n"
     "server raises the alarm when the beats stop",
     TakeHeartbeat},
    {"heartbeat-interval", "SECONDS", "seconds between heartbeats (default 300)",
     TakeHeartbeatInterval},
    {"screenshots", "DIR",
     "save the main screen and every dialog in both\n"
     "languages as PNG files in DIR, then exit",
     TakeScreenshots},
    {"events", nullptr, "print the last 50 lines of the event log and exit", TakeEvents},
    {"set", "NAME=VALUE",
     "store a setting and exit; may be given more than\n"
     "once, and any bad value writes none of them.\n"
     "VolSensi, VolThresh, CryThresh: 0 to 100;\n"
     "PhoneNumber: a call number, or empty for none;\n"
     "PhoneDelay (minutes), PhoneMaxCalls: 0 or more;\n"
     "Language: 0 German, 1 English; CryCheck: 0 or 1\n"
     "(1: only what sounds like a cry is loud);\n"
     "RecordNights: 1 records every run (as --record),\n"
     "RecordNightsMB: the room the recordings may take\n"
     "(2000); NotifyStart: 1 sends a message at every\n"
     "Start; PhoneRingSeconds: 10 to 300; PhoneNumber2,\n"
     "PhoneNumber3: tried in turn when a call is not\n"
     "answered. Needs no display; a copy that runs\n"
     "already takes the change within ten seconds",
     TakeSet},
    {"get", nullptr,
     "print every setting as NAME=VALUE, one a line,\n"
     "in the form --set takes, and exit",
     TakeGet},
    {"calibrate", "SECONDS",
     "listen to the quiet room for SECONDS (5 to 600;\n"
     "30 without a value) through the chosen --input,\n"
     "print its level and the VolSensi, VolThresh and\n"
     "CryThresh chosen from it (for the stored CryCheck),\n"
     "store them as --set does, and exit. A room too\n"
     "loud or a microphone that gives nothing is\n"
     "refused with the reason and status 1",
     TakeCalibrate, true},
};

int main(int argc, char** argv)
{
    std::vector<std::string> qtArguments;
    int status = ReadCommandLine(argc, argv, programOptions,
                                 static_cast<int>(std::size(programOptions)), &qtArguments);
    if (status >= 0)
        return status;
    if (runInstead != nullptr && (startChosen || !screenshotDirectory.empty())) {
        std::fprintf(stderr,
                     "cradlecom: --set, --get, --calibrate and --events run without the window; "
                     "--start and --screenshots need it: give them separately\n"
                     "Try 'cradlecom --help' for more information.\n");
        return 2;
    }
    if (runInstead != nullptr)
        return runInstead();
    if (startChosen && !screenshotDirectory.empty()) {
        std::fprintf(stderr, "cradlecom: --start and --screenshots cannot be combined\n"
                             "Try 'cradlecom --help' for more information.\n");
        return 2;
    }
    if (!DisplayAvailable(qtArguments))
        return 2;

    // Only Qt's own options reach the application; they outlive it.
    static std::vector<std::string> qtStorage;
    static std::vector<char*> qtArgv;
    qtStorage = qtArguments;
    for (std::string& argument : qtStorage)
        qtArgv.push_back(argument.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtStorage.size());
    if (!QtPlatformInit(&qtArgc, qtArgv.data()))
        return 2;

    // The screenshots keep to a lock, a socket and a store of their own, so
    // they neither meet nor change a copy that runs.
    if (!screenshotDirectory.empty()) {
        std::string problem;
        if (!PrepareScreenshots(screenshotDirectory, inputChosen, &problem)) {
            FinishScreenshots();
            std::fprintf(stderr, "cradlecom: no screenshots: %s\n", problem.c_str());
            return 1;
        }
        StartScreenshots(screenshotDirectory);
    }

    // Without a private folder for the lock, a second copy could run and call
    // as well: better not to start at all, and say why.
    std::string runtimeFolder;
    std::string runtimeError;
    if (!UserRuntimeFolder(&runtimeFolder, &runtimeError)) {
        std::fprintf(stderr, "cradlecom: cannot make sure that only one copy runs: %s\n",
                     runtimeError.c_str());
        return 1;
    }
    shell.unattendedStart = startChosen ? 1 : 0;
    StartPhoneBackend();
    int exitCode = WinMain(&programInstance, nullptr, nullptr, SW_SHOW);
    if (!screenshotDirectory.empty()) {
        FinishScreenshots();
        if (exitCode == 0 && !ScreenshotsComplete()) {
            std::fprintf(stderr, "cradlecom: not every screenshot could be written\n");
            return 1;
        }
    }
    return exitCode;
}
