// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated event log's controls, for tests and the tools.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim.h"

struct SimEvent {
    SimTime time;
    WORD type;        // EVENTLOG_*
    std::string text; // as the real log writes it: UTF-8, escaped
};
// Every event since the last reset, in order.
std::vector<SimEvent> SimEventLog();
// The lines written to standard error (WriteStandardErrorW) since the last
// reset, as UTF-8, escaped like the log's.
std::vector<std::string> SimStandardError();
// Also writes each event to standard error as it comes, stamped with the
// simulated time (the replay and soak tools use it); off after a reset.
void SimEchoEventLog(bool echo);
// Called with every event as it is appended (on the appending thread, the
// log's lock not held); null to stop. Cleared by a reset.
void SimOnEventLogged(std::function<void(const SimEvent& event)> observer);
