// SPDX-License-Identifier: GPL-3.0-or-later
// What watches the program from outside: the service manager that restarts
// a program that hangs, and a heartbeat to a server of the parent's choice
// that raises the alarm when the beats stop (a power cut, a crash).
//
// Window thread only; nothing here waits for the service manager or the
// network.
#pragma once

#include "platform/types.h"

// Tells the service manager that the program is up (its window is shown);
// nothing when no service manager started it.
void ServiceReportReady();
// Tells the service manager that the window thread still runs; a manager
// that watches it restarts the program when this stops for long.
void ServiceReportAlive();

// Seconds between heartbeats; 0 when none is asked for.
DWORD HeartbeatGetInterval();
// Sends one heartbeat and returns at once. A failure goes to the event log
// (and so does the first beat that gets through after one); it is never
// fatal.
void HeartbeatSend();
