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

// Clock.
void SimSetNow(SimTime now);
const std::vector<std::int16_t>* SimInput(); // null when no input was set
