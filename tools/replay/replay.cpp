// Runs the whole program on the simulated platform over a recording, as
// fast as the CPU allows: Start pressed at a chosen time, every call request
// recorded, a trace of every tick.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/platform.h"
#include "platform/recording/recording.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_window.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

struct ReplayOptions {
    std::string recording;
    std::string tracePath;
    double startSeconds = 0.0;
};

struct ReplayRun {
    std::FILE* trace = nullptr;
    long ticks = 0;
    double highestCry = 0.0;
    double highestCryAt = 0.0;
};

ReplayRun run;

constexpr SimTime tickUnits = simUnitsPerSecond / 10;

void Usage()
{
    std::fprintf(stderr,
                 "usage: cradlecom-replay RECORDING [--set Name=Value ...] [--start SECONDS]\n"
                 "                        [--trace FILE.csv]\n"
                 "  Name: VolSensi, VolThresh, CryThresh, PhoneNumber, PhoneDelay,\n"
                 "        PhoneMaxCalls, Language\n"
                 "  --start: when Start is pressed (default 0, before the first tick)\n");
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

// The settings as a fresh install has them; --set changes them.
struct ReplaySettings {
    std::int32_t VolSensi = 50;
    std::int32_t VolThresh = 50;
    std::int32_t CryThresh = 50;
    std::string PhoneNumber;
    std::int32_t PhoneDelay = 1;
    std::int32_t PhoneMaxCalls = 10;
    std::int32_t Language = 0;
};

ReplaySettings chosen;

bool SetField(const std::string& assignment)
{
    std::size_t equals = assignment.find('=');
    if (equals == std::string::npos)
        return false;
    std::string name = assignment.substr(0, equals);
    std::string value = assignment.substr(equals + 1);
    if (name == "PhoneNumber") {
        chosen.PhoneNumber = value;
        return value.size() < phoneNumberCapacity;
    }
    struct Field {
        const char* name;
        std::int32_t* target;
    } fields[] = {
        {"VolSensi", &chosen.VolSensi},           {"VolThresh", &chosen.VolThresh},
        {"CryThresh", &chosen.CryThresh},         {"PhoneDelay", &chosen.PhoneDelay},
        {"PhoneMaxCalls", &chosen.PhoneMaxCalls}, {"Language", &chosen.Language},
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
        } else if (arg == "--start" && i + 1 < argc) {
            char* end = nullptr;
            options->startSeconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || options->startSeconds < 0) {
                std::fprintf(stderr, "cradlecom-replay: bad start '%s'\n", argv[i]);
                return false;
            }
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

std::u16string Wide(const std::string& text)
{
    std::u16string wide;
    for (unsigned char c : text)
        wide.push_back(c);
    return wide;
}

// The store as a confirmed earlier run left it, first-use marker included,
// so that no dialog opens.
void StoreSettings()
{
    const std::u16string key = u"Software\\Veltrano\\CradleCom\\Settings";
    auto number = [&](const char16_t* name, std::int32_t value) {
        SimRegistrySetText(key, name, Wide(std::to_string(value)));
    };
    number(u"VolSensi", chosen.VolSensi);
    number(u"VolThresh", chosen.VolThresh);
    number(u"CryThresh", chosen.CryThresh);
    SimRegistrySetText(key, u"PhoneNumber", Wide(chosen.PhoneNumber));
    number(u"PhoneDelay", chosen.PhoneDelay);
    number(u"PhoneMaxCalls", chosen.PhoneMaxCalls);
    number(u"Language", chosen.Language);
    SimRegistrySetText(key, u"FirstUse", u"1");
}

double Seconds(SimTime time)
{
    return static_cast<double>(time) / simUnitsPerSecond;
}

// Runs one unit after tick `n`, when the tick's message has been handled:
// no buffer returns at such a time, as buffers return on multiples of ten.
void RecordTick(long n)
{
    run.ticks = n;
    double seconds = Seconds(n * tickUnits);
    if (monitor.cryMeter > run.highestCry) {
        run.highestCry = monitor.cryMeter;
        run.highestCryAt = seconds;
    }
    if (run.trace != nullptr)
        std::fprintf(run.trace, "%ld,%.17g,%.17g,%.17g,%d,%d,%d\n", n, seconds,
                     capture.level.load(), monitor.cryMeter, monitor.monitoring, monitor.callsMade,
                     monitor.delaySeconds);
    if ((n + 1) * tickUnits <= SimEndTime())
        SimAt((n + 1) * tickUnits + 1, [n] { RecordTick(n + 1); });
}

std::string Narrow(const std::u16string& text)
{
    std::string narrow;
    for (char16_t c : text)
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

} // namespace

int main(int argc, char** argv)
{
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
    StoreSettings();
    SimSetInput(std::move(samples));
    auto startAt = static_cast<SimTime>(options.startSeconds * simUnitsPerSecond);
    SimAt(startAt, [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimAt(tickUnits + 1, [] { RecordTick(1); });
    int exitCode = WinMain(SimInstance(), nullptr, nullptr, SW_SHOW);

    if (run.trace != nullptr)
        std::fclose(run.trace);
    std::printf("recording: %s\n", options.recording.c_str());
    std::printf("duration: %.3f s, ticks: %ld, exit code: %d\n", Seconds(SimEndTime()), run.ticks,
                exitCode);
    std::printf("highest cry meter: %.3f at %.1f s\n", run.highestCry, run.highestCryAt);
    bool refused = false;
    for (const SimMessageBox& box : SimMessageBoxes()) {
        std::printf("message at %.1f s: %s\n", Seconds(box.time), Narrow(box.text).c_str());
        refused = refused || box.type == (MB_OK | MB_ICONEXCLAMATION);
    }
    std::vector<SimCall> calls = SimCalls();
    std::printf("calls: %zu\n", calls.size());
    for (const SimCall& call : calls)
        std::printf("  call at %.1f s to %s\n", Seconds(call.time), Narrow(call.number).c_str());
    if (refused) {
        std::fprintf(stderr, "cradlecom-replay: Start was refused: no phone number is set "
                             "(use --set PhoneNumber=...)\n");
        return 3;
    }
    if (SimFaults() != 0) {
        std::fprintf(stderr, "cradlecom-replay: platform fault: %s\n", SimLastFault().c_str());
        return 4;
    }
    return exitCode;
}
