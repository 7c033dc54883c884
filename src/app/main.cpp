// The process entry on Linux: takes the platform's options, then runs the
// system's own start-up.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/screenshots.h"
#include "platform/alsa/wave_source.h"
#include "platform/phone/phone_backend.h"
#include "platform/posix/runtime_folder.h"
#include "platform/qt/qt_platform.h"
#include "platform/system.h"
#include "platform/window.h"
#include "shell/shell.h"

struct PlatformInstance {
    int unused;
};
static PlatformInstance programInstance;

static void PrintHelp()
{
    std::printf("usage: cradlecom [--input SOURCE [--loop]] [--phone BACKEND] [-platform NAME]\n"
                "\n"
                "Listens in the room and calls the stored number when the child cries.\n"
                "\n"
                "  --input default       the microphone (ALSA device \"default\"; the default)\n"
                "  --input alsa:DEVICE   another ALSA capture device, e.g. alsa:plughw:1,0\n"
                "  --input FILE          a recording, played in real time as if in the room\n"
                "  --loop                play the recording over and over\n"
                "  --phone automatic     look for a registered voice modem at each call and\n"
                "                        dial it; without one the call is only logged (the\n"
                "                        default)\n"
                "  --phone modemmanager  call through ModemManager; fail without a modem\n"
                "  --phone command:PROG  run PROG with the number as its only argument\n"
                "  --phone log           only write each call request to standard output\n"
                "  --screenshots DIR     save the main screen and every dialog in both\n"
                "                        languages as PNG files in DIR, then exit\n"
                "  -platform offscreen   run without a display (Qt's own option)\n"
                "  --help, --version\n");
}

static std::string screenshotDirectory;

static bool TakeOption(const char* option, const char* value, std::string* error)
{
    if (std::strcmp(option, "--screenshots") == 0) {
        screenshotDirectory = value;
        return true;
    }
    if (std::strcmp(option, "--input") == 0)
        return SetWaveInputSource(value, error);
    if (std::strcmp(option, "--phone") == 0)
        return SetPhoneBackend(value, error);
    *error = std::string("unknown option ") + option;
    return false;
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("cradlecom %s\n", CRADLECOM_VERSION);
            return 0;
        }
    }
    QtPlatformInit(&argc, argv);
    bool inputChosen = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--loop") == 0) {
            SetWaveInputLoop(true);
            continue;
        }
        std::string error;
        if (i + 1 >= argc || !TakeOption(argv[i], argv[i + 1], &error)) {
            if (error.empty())
                error = std::string("missing value for ") + argv[i];
            std::fprintf(stderr, "cradlecom: %s (see --help)\n", error.c_str());
            return 2;
        }
        inputChosen = inputChosen || std::strcmp(argv[i], "--input") == 0;
        ++i;
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
