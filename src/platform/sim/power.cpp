// SPDX-License-Identifier: GPL-3.0-or-later
// The device's wakefulness: requests are recorded; the device never sleeps.
#include "platform/power.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_power.h"

namespace {

struct SimPowerState {
    EXECUTION_STATE state = ES_CONTINUOUS;
    std::vector<SimExecutionStateCall> calls;
};

SimPowerState power;

void ResetPower()
{
    power = SimPowerState{};
}

SimResetHook powerReset(ResetPower);

} // namespace

EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags)
{
    power.calls.push_back(SimExecutionStateCall{SimNow(), flags});
    EXECUTION_STATE previous = power.state;
    if ((flags & ES_CONTINUOUS) != 0)
        power.state = flags;
    return previous;
}

std::vector<SimExecutionStateCall> SimExecutionStateCalls()
{
    return power.calls;
}

bool SimKeptAwake()
{
    return (power.state & ES_SYSTEM_REQUIRED) != 0;
}
