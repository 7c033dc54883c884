// SPDX-License-Identifier: GPL-3.0-or-later
// The process entry on Linux: reads the command line before anything needs
// a display, does what needs none, then makes the application and runs the
// system's own start-up.
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/screenshots.h"
#include "platform/alsa/wave_source.h"
#include "platform/phone/phone_backend.h"
#include "platform/posix/eventlog_file.h"
#include "platform/posix/runtime_folder.h"
#include "platform/qt/qt_platform.h"
#include "platform/system.h"
#include "platform/window.h"
#include "shell/shell.h"

struct PlatformInstance {
    int unused;
};
static PlatformInstance programInstance;

// What the options chose; written while the command line is read.
static std::string screenshotDirectory;
static bool inputChosen = false;
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
    {"screenshots", "DIR",
     "save the main screen and every dialog in both\n"
     "languages as PNG files in DIR, then exit",
     TakeScreenshots},
    {"events", nullptr, "print the last 50 lines of the event log and exit", TakeEvents},
};

int main(int argc, char** argv)
{
    std::vector<std::string> qtArguments;
    int status = ReadCommandLine(argc, argv, programOptions,
                                 static_cast<int>(std::size(programOptions)), &qtArguments);
    if (status >= 0)
        return status;
    if (runInstead != nullptr)
        return runInstead();
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
    QtPlatformInit(&qtArgc, qtArgv.data());

    // Without a private folder for the lock, a second copy could run and call
    // as well: better not to start at all, and say why.
    std::string runtimeFolder;
    std::string runtimeError;
    if (!UserRuntimeFolder(&runtimeFolder, &runtimeError)) {
        std::fprintf(stderr, "cradlecom: cannot make sure that only one copy runs: %s\n",
                     runtimeError.c_str());
        return 1;
    }
    std::string silence;
    if (!screenshotDirectory.empty()) {
        std::string problem;
        if (!ScreenshotFolderUsable(screenshotDirectory, &problem)) {
            std::fprintf(stderr, "cradlecom: no screenshots: %s\n", problem.c_str());
            return 1;
        }
        // On silence, whatever microphone there is, and never a real call.
        silence = WriteSilence();
        if (!inputChosen && (silence.empty() || !SetWaveInputSource(silence.c_str(), nullptr))) {
            std::fprintf(stderr, "cradlecom: cannot prepare silence for the screenshots\n");
            return 1;
        }
        SetPhoneBackend("log", nullptr);
        StartScreenshots(screenshotDirectory);
    }
    StartPhoneBackend();
    int exitCode = WinMain(&programInstance, nullptr, nullptr, SW_SHOW);
    if (!silence.empty())
        std::remove(silence.c_str());
    if (!screenshotDirectory.empty() && exitCode == 0 && !ScreenshotsComplete()) {
        HANDLE lock = CreateMutexW(nullptr, FALSE, u"CradleCom");
        bool running =
            lock != nullptr && GetLastError() == static_cast<DWORD>(ERROR_ALREADY_EXISTS);
        std::fprintf(stderr, "cradlecom: %s\n",
                     running ? "another copy is running; no screenshots taken (end it first)"
                             : "not every screenshot could be written");
        return 1;
    }
    return exitCode;
}
