// The monitoring tick, the cry meter, Start/Stop and the call decision.
#pragma once

#include "platform/types.h"

// Window thread only.
struct MonitorState {
    std::int32_t monitoring;   // 1 while monitoring is on
    std::int32_t callPending;  // 1 from a call until the next ten-second restart
    std::int32_t callsMade;    // calls placed since the last Start
    std::int32_t delaySeconds; // seconds before another call may be placed; <= 0: none
    std::int32_t tickCount;    // ticks since the last restart or call, 0 to 100
    double cryMeter;           // 0.0 to 1.0: +0.02 per loud tick, -0.005 per quiet one
    std::int32_t clockHour;    // local time last read, 0 to 23
    std::int32_t clockMinute;  // 0 to 59
    std::int32_t clockRedraw;  // text band drawn when PaintMeters counts it to 10
};

extern MonitorState monitor;

void MonitorTick(HWND window);
void ToggleMonitoring(HWND window);
void PlaceCallIfDue(HWND window);
