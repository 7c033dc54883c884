// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the program for days of simulated time with faults injected from a
// seed, checking its invariants on every tick; prints what it did and the
// first invariant that failed, with the seed and time that replay it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "soak.h"

namespace {

constexpr const char* tool = "cradlecom-soak";

void PrintUsage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: %s [--days N] [--seed S] [--data DIR] [--progress HOURS] [--events]\n"
                 "  --days N          simulated days to run (default 1; fractions allowed)\n"
                 "  --seed S          the seed every fault and every user action comes from\n"
                 "                    (default 1)\n"
                 "  --data DIR        where room_hum.flac and nursery.flac are (default: the\n"
                 "                    source tree's data folder)\n"
                 "  --progress HOURS  a line on standard error every HOURS simulated hours\n"
                 "  --events          the program's event log on standard error\n"
                 "Exit status: 0 every invariant held, 1 one failed, 2 bad usage or data.\n",
                 tool);
}

bool ParseNumber(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

int main(int argc, char** argv)
{
    SoakOptions options;
    std::string data = CRADLECOM_DATA_DIR;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        double number = 0.0;
        if (arg == "--help") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--events") {
            options.echoEvents = true;
        } else if (arg == "--days" && hasValue && ParseNumber(argv[++i], &number) && number > 0.0 &&
                   number <= 3650.0) {
            options.days = number;
        } else if (arg == "--seed" && hasValue) {
            char* end = nullptr;
            const char* text = argv[++i];
            options.seed = std::strtoull(text, &end, 10);
            if (end == text || *end != '\0' || text[0] == '-') {
                std::fprintf(stderr, "%s: --seed takes a whole number: %s\n", tool, text);
                return 2;
            }
        } else if (arg == "--data" && hasValue) {
            data = argv[++i];
        } else if (arg == "--progress" && hasValue && ParseNumber(argv[++i], &number) &&
                   number >= 0.0) {
            options.progressHours = number;
        } else {
            std::fprintf(stderr, "%s: bad argument: %s\n", tool, arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    SoakSounds sounds;
    std::string error;
    if (!LoadSoakSounds(data, &sounds, &error)) {
        std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
        return 2;
    }
    auto wallStart = std::chrono::steady_clock::now();
    double cpuStart = CpuSeconds();
    SoakResult result = RunSoak(options, sounds);
    double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    double cpu = CpuSeconds() - cpuStart;

    double days = result.seconds / 86400.0;
    std::printf("%s: %.3f simulated days, seed %llu: %s\n", tool, days,
                static_cast<unsigned long long>(options.seed),
                result.passed ? "every invariant held" : "an invariant failed");
    std::printf("time: wall %.2f s, cpu %.2f s, %.1f simulated days per wall-clock minute\n", wall,
                cpu, wall > 0.0 ? days / (wall / 60.0) : 0.0);
    std::printf("runs: %ld program starts, %ld ticks, %ld full buffers, %ld calls, %ld saves, "
                "%ld failed saves\n",
                result.sessions, result.ticks, result.buffers, result.calls, result.saves,
                result.failedSaves);
    long total = 0;
    for (long count : result.injected)
        total += count;
    std::printf("injected: %ld\n", total);
    for (int kind = 0; kind < faultKinds; ++kind)
        std::printf("  %-26s %ld\n", FaultName(kind), result.injected[kind]);
    if (!result.passed) {
        std::fprintf(stderr, "%s: %s\n", tool, FailureLine(options, result).c_str());
        return 1;
    }
    return 0;
}
