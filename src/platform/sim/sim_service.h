// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated service manager and heartbeat server, for tests and the
// soak: what the program told them, and when.
#pragma once

#include <vector>

#include "platform/service.h"
#include "platform/sim/sim.h"

// When READY was told; -1 when never.
SimTime SimServiceReadyTime();
// When the watchdog was last pinged; -1 when never.
SimTime SimServiceLastAlive();
long SimServiceAliveCount();
// What HeartbeatGetInterval answers; 0 (none) until set.
void SimSetHeartbeatInterval(DWORD seconds);
// Every heartbeat sent, in order.
std::vector<SimTime> SimHeartbeats();
