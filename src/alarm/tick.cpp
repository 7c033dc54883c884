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

// Loud: the level at or above the line and, with the cry check on, the
// block that gave it sounding like a cry.
static bool TickIsLoud()
{
    if (capture.level.load() < limits.volLimit)
        return false;
    return limits.cryCheck.load() != 1 || capture.likeCry.load() == 1;
}

static void IntegrateCryMeter()
{
    if (TickIsLoud())
        monitor.cryMeter = monitor.cryMeter + 0.02;
    else
        monitor.cryMeter = monitor.cryMeter - 0.005;
    if (monitor.cryMeter > 1.0)
        monitor.cryMeter = 1.0;
    else if (monitor.cryMeter < 0.0)
        monitor.cryMeter = 0.0;
}

// The recorded run's file begins here, at a tick's end, with capture
// started afresh, as a replay starts its file; not while a call just placed
// holds the audio path (the next restart then fills in the silence).
static void BeginRecordedRun()
{
    const bool restart = monitor.callPending == 0;
    if (restart) {
        StopCapture();
        capture.level.store(0.0);
        capture.peak.store(0);
    }
    BeginNightRecording(settings.RecordNightsMB);
    if (!restart)
        return;
    StartCapture();
    ReportMicrophone();
    monitor.tickCount = 0;
}

void MonitorTick(HWND window)
{
    monitor.tickCount = monitor.tickCount + 1;
    AdvanceNightRecording(tickPeriodMs);
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
    if (night.pending == 1 && monitor.monitoring == 1)
        BeginRecordedRun();
}
