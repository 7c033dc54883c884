// SPDX-License-Identifier: GPL-3.0-or-later
// The monitoring tick, the cry meter, Start/Stop and the call decision.
// This room decides; what it shows and what it takes from the store go
// through the hooks the shell sets.
#pragma once

#include "platform/types.h"

// The tick: the main window's timer, its period, and what the tick counts.
// Once a second the clock is read and the pause after a call counts down;
// every ten seconds capture is restarted.
constexpr std::uintptr_t monitorTimerId = 100;
constexpr UINT tickPeriodMs = 100;
constexpr std::int32_t ticksPerSecond = 1000 / tickPeriodMs;
constexpr std::int32_t ticksPerRestart = 10 * ticksPerSecond;

// Window thread only.
struct MonitorState {
    std::int32_t monitoring;   // 1 while monitoring is on
    std::int32_t callPending;  // 1 from a call until the next ten-second restart
    std::int32_t callsMade;    // calls placed since the last Start
    std::int32_t delaySeconds; // seconds before another call may be placed; <= 0: none
    std::int32_t tickCount;    // ticks since the last restart or call, 0 to ticksPerRestart
    double cryMeter;           // 0.0 to 1.0: +0.02 per loud tick, -0.005 per quiet one
    std::int32_t clockHour;    // local time last read, 0 to 23
    std::int32_t clockMinute;  // 0 to 59
    std::int32_t clockRedraw;  // text band drawn when PaintMeters counts it to ticksPerSecond
};

extern MonitorState monitor;

// How far the last call request got; `answered` in CallState tells whether
// somebody took it.
constexpr std::int32_t CALL_NONE = 0;      // none requested yet
constexpr std::int32_t CALL_REQUESTED = 1; // handed to the phone, no news yet
constexpr std::int32_t CALL_PLACED = 2;    // ringing or active, or its command runs on
constexpr std::int32_t CALL_ENDED = 3;     // placed and over
constexpr std::int32_t CALL_FAILED = 4;    // never placed, or carried no sound
constexpr std::int32_t CALL_LOGGED = 5;    // only written to the log

// The numbers a round of calls tries in turn: PhoneNumber, PhoneNumber2,
// PhoneNumber3.
constexpr int roundNumberCount = 3;

// The program's last call request, and the round it belongs to: a due call
// dials PhoneNumber, and each call that is not answered or fails the next
// number there is; the round ends when an answered call ends, or after the
// last number. Window thread only.
struct CallState {
    LONG callId;                // the phone's id for it; 0 when none or refused at once
    std::int32_t outcome;       // CALL_*
    std::int32_t answered;      // 1 once the phone said somebody took the call
    std::int32_t hour;          // local time it was requested, 0 to 23
    std::int32_t minute;        // 0 to 59
    WCHAR number[256];          // the number requested, for the log lines
    WCHAR reason[256];          // why it failed (CALL_FAILED), for the status lines
    std::int32_t numberRefused; // 1 once a call held back by the number was logged this run
    std::int32_t limitLogged;   // 1 once a call held back by PhoneMaxCalls was logged this run
    std::int32_t routeWarning;  // ROUTE_WARNING_*
    std::int32_t roundRunning;  // 1 from a round's first request until it ends
    std::int32_t roundIndex;    // which of the round's numbers the last request dialled, 0 to 2
    std::int32_t roundCalls;    // requests in the running round
};

// The warning that no call can be placed, which an unattended start asks for.
constexpr std::int32_t ROUTE_WARNING_NONE = 0;    // not asked for, or a route was found
constexpr std::int32_t ROUTE_WARNING_AWAITED = 1; // asked for; the phone does not know yet
constexpr std::int32_t ROUTE_WARNING_GIVEN = 2;   // given: the phone found no way

extern CallState phoneCall;

// The message the phone posts when it has news.
constexpr UINT WM_PHONENEWS = WM_APP + 1;

// What the alarm asks of the rooms around it. The shell fills it in with
// its own and the screen's functions; each is called on the window thread
// with the main window.
struct MonitorHooks {
    // Takes what another program saved in the store (before a restart and
    // before a call).
    void (*takeChangedSettings)(HWND window);
    // Draws the level and the cry meter: on every tick, before the call
    // decision.
    void (*showMeters)(HWND window);
    // Draws the status lines: at every tick's end.
    void (*showStatus)(HWND window);
    // Shows that monitoring was switched on or off (the Start/Stop caption
    // and picture).
    void (*showMonitoring)(HWND window);
    // Tells the user string `stringId` (a German id) in a box of `style`.
    void (*tellUser)(HWND window, UINT stringId, UINT style);
    // Loads string `stringId` (a German id) in the chosen language.
    void (*loadText)(UINT stringId, LPWSTR buffer, int capacity);
};
extern MonitorHooks monitorHooks;

void MonitorTick(HWND window);
void ToggleMonitoring(HWND window);
// Start for a request from outside the window (a second start's --start),
// with monitoring off: as Start, but a refusal is only logged, as nobody
// may be at this screen to close a box. True when monitoring is on.
bool StartMonitoringOnRequest(HWND window);
void PlaceCallIfDue(HWND window);
// True while the last request is neither over nor failed: no other call may start.
bool CallInProgress();
// Takes the phone's news and logs it.
void ReceivePhoneNews();
// Once the warning is awaited and the phone knows it has no way to place a
// call, gives it: on standard error and in the event log, with how to
// choose a way (the status lines show it as well).
void WarnIfNoWayToCall();
