// SPDX-License-Identifier: GPL-3.0-or-later
#include <limits>

#include "alarm/monitor.h"
#include "alarm/watch.h"
#include "audio/capture.h"
#include "platform/system.h"
#include "settings/settings.h"

MonitorState monitor;

static void RefreshClock()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wHour != monitor.clockHour || now.wMinute != monitor.clockMinute) {
        monitor.clockHour = now.wHour;
        monitor.clockMinute = now.wMinute;
    }
}

// PhoneDelay x 60 saturated at the 32-bit limits: an edited store may hold a
// delay whose product would overflow.
static std::int32_t DelayFromMinutes(std::int32_t minutes)
{
    std::int64_t seconds = static_cast<std::int64_t>(minutes) * 60;
    if (seconds > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (seconds < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(seconds);
}

static void RestartCapture()
{
    StopCapture();
    StartCapture();
    ReportMicrophone();
    monitor.tickCount = 0;
    if (monitor.callPending == 1)
        monitor.delaySeconds = DelayFromMinutes(settings.PhoneDelay);
    monitor.callPending = 0;
}

static void IntegrateCryMeter()
{
    if (capture.level.load() >= limits.volLimit)
        monitor.cryMeter = monitor.cryMeter + 0.02;
    else
        monitor.cryMeter = monitor.cryMeter - 0.005;
    if (monitor.cryMeter > 1.0)
        monitor.cryMeter = 1.0;
    else if (monitor.cryMeter < 0.0)
        monitor.cryMeter = 0.0;
}

void MonitorTick(HWND window)
{
    monitor.tickCount = monitor.tickCount + 1;
    if (monitor.tickCount % ticksPerSecond == 0) {
        RefreshClock();
        // Down by one, floor 0; written so that a saturated negative delay
        // cannot overflow.
        monitor.delaySeconds = monitor.delaySeconds > 1 ? monitor.delaySeconds - 1 : 0;
        WatchEverySecond();
    }
    if (monitor.tickCount >= ticksPerRestart) {
        // A copy that nobody looks at takes what --set stored within ten
        // seconds.
        monitorHooks.takeChangedSettings(window);
        RestartCapture();
    }
    IntegrateCryMeter();
    monitorHooks.showMeters(window);
    PlaceCallIfDue(window);
    WarnIfNoWayToCall();
    monitorHooks.showStatus(window);
}
