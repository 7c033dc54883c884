// Runs the listening engine on the simulated platform over a recording, as
// fast as the CPU allows, and reports what the cry meter did.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/recording/recording.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

namespace {

struct ReplayOptions {
    std::string recording;
    std::string tracePath;
};

struct ReplayRun {
    std::FILE* trace = nullptr;
    long ticks = 0;
    double highestCry = 0.0;
    double highestCryAt = 0.0;
};

ReplayRun run;

void Usage()
{
    std::fprintf(stderr,
                 "usage: cradlecom-replay RECORDING [--set Name=Value ...] [--trace FILE.csv]\n"
                 "  Name: VolSensi, VolThresh, CryThresh, PhoneNumber, PhoneDelay,\n"
                 "        PhoneMaxCalls, Language\n");
}

bool ParseNumber(const char* text, std::int32_t* value)
{
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    *value = static_cast<std::int32_t>(parsed);
    return true;
}

bool SetField(const std::string& assignment)
{
    std::size_t equals = assignment.find('=');
    if (equals == std::string::npos)
        return false;
    std::string name = assignment.substr(0, equals);
    std::string value = assignment.substr(equals + 1);
    if (name == "PhoneNumber") {
        if (value.size() >= phoneNumberCapacity)
            return false;
        std::fill(std::begin(settings.PhoneNumber), std::end(settings.PhoneNumber), u'\0');
        for (std::size_t i = 0; i < value.size(); ++i)
            settings.PhoneNumber[i] = static_cast<WCHAR>(static_cast<unsigned char>(value[i]));
        return true;
    }
    struct Field {
        const char* name;
        std::int32_t* target;
    } fields[] = {
        {"VolSensi", &settings.VolSensi},     {"VolThresh", &settings.VolThresh},
        {"CryThresh", &settings.CryThresh},   {"PhoneDelay", &settings.PhoneDelay},
        {"PhoneMaxCalls", &settings.PhoneMaxCalls}, {"Language", &settings.Language},
    };
    for (const Field& field : fields) {
        if (name == field.name)
            return ParseNumber(value.c_str(), field.target);
    }
    return false;
}

bool ParseArguments(int argc, char** argv, ReplayOptions* options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--set" && i + 1 < argc) {
            if (!SetField(argv[++i])) {
                std::fprintf(stderr, "cradlecom-replay: bad setting '%s'\n", argv[i]);
                return false;
            }
        } else if (arg == "--trace" && i + 1 < argc) {
            options->tracePath = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            return false;
        } else if (!arg.empty() && arg[0] != '-' && options->recording.empty()) {
            options->recording = arg;
        } else {
            std::fprintf(stderr, "cradlecom-replay: unknown argument '%s'\n", arg.c_str());
            return false;
        }
    }
    return !options->recording.empty();
}

double Seconds(SimTime time)
{
    return static_cast<double>(time) / simUnitsPerSecond;
}

void OnTick(HWND window, std::uintptr_t)
{
    MonitorTick(window);
    ++run.ticks;
    double seconds = Seconds(SimNow());
    if (monitor.cryMeter > run.highestCry) {
        run.highestCry = monitor.cryMeter;
        run.highestCryAt = seconds;
    }
    if (run.trace != nullptr)
        std::fprintf(run.trace, "%ld,%.17g,%.17g,%.17g,%d,%d,%d\n", run.ticks, seconds,
                     capture.level.load(), monitor.cryMeter, monitor.monitoring,
                     monitor.callsMade, monitor.delaySeconds);
}

} // namespace

int main(int argc, char** argv)
{
    // The settings a fresh install has.
    settings.VolSensi = 50;
    settings.VolThresh = 50;
    settings.CryThresh = 50;
    settings.PhoneDelay = 1;
    settings.PhoneMaxCalls = 10;
    ReplayOptions options;
    if (!ParseArguments(argc, argv, &options)) {
        Usage();
        return 2;
    }
    std::vector<std::int16_t> samples;
    std::string error;
    if (!LoadRecording(options.recording, 11025, &samples, &error)) {
        std::fprintf(stderr, "cradlecom-replay: %s\n", error.c_str());
        return 1;
    }
    if (!options.tracePath.empty()) {
        run.trace = std::fopen(options.tracePath.c_str(), "w");
        if (run.trace == nullptr) {
            std::fprintf(stderr, "cradlecom-replay: %s: %s\n", options.tracePath.c_str(),
                         std::strerror(errno));
            return 1;
        }
        std::fprintf(run.trace, "tick,seconds,level,cryMeter,monitoring,callsMade,delaySeconds\n");
    }

    SimReset();
    SimSetInput(std::move(samples));
    ComputeLimits();
    StartCapture();
    SimSetTimerSink(OnTick);
    SimAddTimer(nullptr, 100, 11025);
    SimRunUntil(SimEndTime());
    CloseCaptureDevice();

    if (run.trace != nullptr)
        std::fclose(run.trace);
    std::printf("recording: %s\n", options.recording.c_str());
    std::printf("duration: %.3f s, ticks: %ld\n", Seconds(SimEndTime()), run.ticks);
    std::printf("highest cry meter: %.3f at %.1f s\n", run.highestCry, run.highestCryAt);
    return 0;
}
