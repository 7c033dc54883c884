// SPDX-License-Identifier: GPL-3.0-or-later
// Shared between the simulated platform's parts; not for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim.h"

// Each part registers how it returns to its start; SimReset runs them all.
struct SimResetHook {
    explicit SimResetHook(void (*reset)());
};

void SimRecordFault(const std::string& what);

// Wave device, driven by the clock.
SimTime SimWaveNextReturnTime(); // INT64_MAX when none is due
void SimWaveReturnDue();         // returns the buffer due at SimNow()
bool SimHeapOwnsQueuedBlock(const void* block);
// The first sample the device may still record into a buffer it holds;
// INT64_MAX when it holds none.
std::int64_t SimWaveKeepFrom();

// Clock.
void SimSetNow(SimTime now);

// The input, as the wave device reads it.
bool SimInputSet();
bool SimInputIsPeaks();
// Makes the samples before `upTo` available as far as the input has them
// (letting go of a stream's samples before `keepFrom`); the number of
// samples the input has before `upTo`.
std::int64_t SimInputReach(std::int64_t upTo, std::int64_t keepFrom);
// Sample `start` onwards, once SimInputReach has made them available.
const std::int16_t* SimInputSamples(std::int64_t start);
// Peak mode: the largest magnitude of the full buffer starting at `start`.
bool SimInputPeak(std::int64_t start, std::int32_t* peak);
// Whether the input ends before `time`; reads a stream as far as it must
// to tell, on the grounds that nothing happens before `time`.
bool SimInputEndsBefore(SimTime time);
