// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's parts, shared by its files: the invariants checked after every
// tick (invariants.cpp), the user and the faults played from the seed
// (user.cpp), and the sessions from start to exit (soak.cpp).
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "alarm/monitor.h"
#include "platform/platform.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_window.h"
#include "resources/ids.h"
#include "settings/settings.h"
#include "soak.h"

namespace soakparts {

constexpr SimTime tickUnits = simUnitsPerSecond * tickPeriodMs / 1000;
constexpr SimTime second = simUnitsPerSecond;
constexpr SimTime minute = 60 * second;
constexpr SimTime hour = 60 * minute;
constexpr SimTime day = 24 * hour;
constexpr long restartTicks = ticksPerRestart;

// A fault armed at the device or the heap: it fires when the counter of its
// operation reaches `target`.
struct ArmedFault {
    bool heap;
    SimWaveOp op;
    long target;
};

// A call outcome queued at the phone, in the order the calls will take them.
struct QueuedOutcome {
    int kind;
    SimTime hangUpAfter; // from the request; 0: the call ends by itself
};

enum DialogEnding { END_OK, END_CANCEL, END_BACK, END_CLOSE };

// One program run, from start to exit. Soak time = `offset` + SimNow().
struct Session {
    long ticks = 0;
    double meter = 0.0;    // the cry meter after the last tick
    SimTime disturbed = 0; // capture may rightly be down until a restart period after this
    std::vector<ArmedFault> armed;
    long fullSeen = 0;
    long lastFullTick = 0;
    // The rules of calling, as the log and the phone show them.
    bool monitoringOn = false;
    long runCalls = 0;     // calls since the last "monitoring on"
    long callTick = -1;    // tick of the last call
    long restartTick = -1; // the capture restart after it, while still to come
    long nextCallTick = 0; // the first tick a call may come on
    int roundIndex = -1;   // the round's number the last call dialled; -1: no round
    std::size_t callsSeen = 0;
    long requestLines = 0;     // "call requested" lines in the log
    bool heldBackTold = false; // since "monitoring on", the log said why a call was not placed
    std::deque<QueuedOutcome> outcomes;
    // Local time as the soak set it.
    int hour = 0;
    int minute = 0;
    SimTime localChanged = 0;
    // The user.
    bool exitYes = false; // the next exit question is answered Yes
    bool forceOk = false; // the next dialog ends with OK: a store fault waits for its save
    bool disarmCreate = false;
    bool boxOpen = false; // a message box is open: nothing else can be pressed
    std::map<std::u16string, std::u16string> store; // as the last save (or the start) left it
    SimTime endedAt = -1;                           // "program ended"
    std::string microphoneLine;                     // the last "microphone ..." line
    // The night: the last input the platform told, and since when.
    DWORD lastInput = 0;
    SimTime inputAt = 0;
    long watchFromTick = 0;                         // the tick of the last "monitoring on"
    SimTime silentToldAt = -1;                      // the last message of a silent microphone
};

struct Soak {
    const SoakOptions* options = nullptr;
    SoakResult* result = nullptr;
    std::mt19937_64 random;
    SimTime offset = 0;
    SimTime nextProgress = 0;
    bool drawing = false;
    bool failed = false;
    Session s;
};

extern Soak soak;

// ---- Shared helpers (soak.cpp) ----------------------------------------------

std::string Narrow(const std::u16string& text);
double Seconds(SimTime units);
// Soak time of `sessionTime`, as SoakClock writes it.
std::string At(SimTime sessionTime);
std::string Format(const char* format, ...);
// The first failure ends the soak; the run ends at once.
void Fail(const char* invariant, const std::string& detail);
std::int64_t DrawUnits(SimTime low, SimTime high);
template <typename T, std::size_t n> const T& Pick(const T (&choices)[n])
{
    return choices[Draw(soak.random, 0, static_cast<std::int64_t>(n) - 1)];
}

// The settings' values in the store, as text up to the first null;
// "<absent>" for each one missing.
std::map<std::u16string, std::u16string> ReadStore();
// Setting `index` of `record` as a save stores it.
std::u16string StoredText(const SettingsRecord& record, int index);

// ---- The invariants (invariants.cpp) ------------------------------------------

void OnEvent(const SimEvent& event);
void OnTick(HWND window, UINT_PTR id);
// After WinMain returned `exitCode`: everything released, the log agrees.
void CheckExit(int exitCode);

// ---- The user and the faults (user.cpp) -----------------------------------------

// The outcome the phone gives the next call.
void QueueOutcome();
void UseDialog(HWND dialog);
int AnswerBox(const SimMessageBox& box);
void Inject(int kind);
// Injects a fault or a user's action now and again.
void Chaos();

} // namespace soakparts
