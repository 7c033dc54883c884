// SPDX-License-Identifier: GPL-3.0-or-later
// The night writer's cost: HOURS of a recording (looped) handed over as the
// capture callback hands it, a buffer of 2048 samples at a time, in bursts
// the ring holds; prints the CPU the process spent (the writer's encoding,
// nearly all of it), the samples dropped, and the file's size per hour.
// Usage: cradlecom-night-writer RECORDING HOURS (in a private XDG_STATE_HOME).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "platform/nights.h"
#include "platform/recording/recording.h"

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: cradlecom-night-writer RECORDING HOURS\n");
        return 2;
    }
    std::vector<SHORT> room;
    std::string error;
    if (!LoadRecording(argv[1], 11025, &room, &error) || room.size() < 2048) {
        std::fprintf(stderr, "cradlecom-night-writer: %s\n", error.c_str());
        return 1;
    }
    const double hours = std::atof(argv[2]);
    const auto blocks = static_cast<long>(hours * 3600 * 11025 / 2048);
    double before = CpuSeconds();
    HNIGHTREC recording = NightRecordingOpen(11025, 100000000000u);
    if (recording == nullptr)
        return 1;
    std::size_t at = 0;
    for (long n = 0; n < blocks; ++n) {
        if (at + 2048 > room.size())
            at = 0;
        NightRecordingWrite(recording, room.data() + at, 2048);
        at += 2048;
        if (n % 64 == 63) // 12 s of sound: a fraction of what the ring holds
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    NightRecordingClose(recording);
    double cpu = CpuSeconds() - before;
    std::uintmax_t bytes = 0;
    const char* state = std::getenv("XDG_STATE_HOME");
    for (const auto& entry : std::filesystem::directory_iterator(
             std::string(state != nullptr ? state : ".") + "/cradlecom/nights"))
        if (entry.path().extension() == ".flac")
            bytes += entry.file_size();
    std::printf("%.2f h of sound: %.2f s of CPU (%.3f%% of real time), %.1f MB a night hour\n",
                hours, cpu, 100.0 * cpu / (hours * 3600), static_cast<double>(bytes) / 1e6 / hours);
    return 0;
}
