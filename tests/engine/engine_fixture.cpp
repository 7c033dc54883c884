// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine_fixture.h"

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

void ResetEngine()
{
    StopCapture();
    SimReset();
    capture.waveIn = nullptr;
    capture.peak = 0;
    capture.level = 0.0;
    capture.captureClosing = false;
    capture.bufferSlot[0] = capture.bufferSlot[1] = nullptr;
    capture.nextSlot = 0;
    settings = SettingsRecord{};
    limits.sensiFactor = 0.0;
    limits.volLimit = 0.0;
    limits.cryLimit = 0.0;
    monitor = MonitorState{};
}

std::vector<std::int16_t> Constant(std::size_t count, std::int16_t value)
{
    return std::vector<std::int16_t>(count, value);
}
