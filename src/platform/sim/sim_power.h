// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated device's wakefulness, for tests: every request the program
// made of it.
#pragma once

#include <vector>

#include "platform/power.h"
#include "platform/sim/sim.h"

struct SimExecutionStateCall {
    SimTime time;
    EXECUTION_STATE flags; // as passed
};
// Every SetThreadExecutionState since the last reset, in order.
std::vector<SimExecutionStateCall> SimExecutionStateCalls();
// Whether the device is kept awake now.
bool SimKeptAwake();
