// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated night recordings, for tests and the tools: kept in memory,
// written at once on the caller's thread, with a full disk to order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/nights.h"
#include "platform/sim/sim.h"

struct SimNightRecording {
    std::string name; // as the real one names its file: YYYY-MM-DD_HH-MM-SS.flac
    DWORD rate;
    std::uint64_t capBytes;
    std::vector<std::int16_t> samples; // what the file would hold (when kept)
    std::int64_t written;              // samples it holds, kept or not
    SimTime opened;
    SimTime closed; // -1 while open
    bool stopped;   // a write failed and stopped it
};
// Every recording since the last reset, in the order they were opened.
std::vector<SimNightRecording> SimNightRecordings();
// The disk fills up: the write that would take the open recording (or a
// later one) past `samples` fails as a full disk does. Below 0: never.
void SimNightRecordingFullAfter(std::int64_t samples);
// Whether the samples are kept (so by default) or only counted, for runs of
// days.
void SimNightRecordingKeepSamples(bool keep);
