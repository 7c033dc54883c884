// SPDX-License-Identifier: GPL-3.0-or-later
// Chooses where the heartbeat goes and how often. Called by the program's
// start-up (and tests) before the window; not thread-safe.
#pragma once

#include <string>

// An http: or https: URL that each heartbeat GETs. False with *error for
// anything else.
bool SetHeartbeatUrl(const char* url, std::string* error);
// Seconds between heartbeats, 1 or more; 300 unless set. False with *error
// for anything that is not such a whole number.
bool SetHeartbeatInterval(const char* seconds, std::string* error);
// How long one heartbeat may take before it counts as failed; 30000 ms
// unless set.
void SetHeartbeatTimeout(int milliseconds);
