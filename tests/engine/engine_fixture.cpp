// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine_fixture.h"

#include "audio/capture.h"
#include "platform/sim/sim.h"
#include "shell/shell.h"

void ResetEngine()
{
    StopCapture();
    SimReset();
    ClearRuntimeState();
}

std::vector<std::int16_t> Constant(std::size_t count, std::int16_t value)
{
    return std::vector<std::int16_t>(count, value);
}
