// SPDX-License-Identifier: GPL-3.0-or-later
// The soak: the whole program on the simulated platform for days of
// simulated time over a looping recording, with faults injected at random
// but reproducibly from one seed, and invariants checked on every tick.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/sim/sim.h"

// What the soak injects, for the counts it reports.
enum SoakFault {
    FAULT_WAVE_OPEN,       // the device refuses to open
    FAULT_WAVE_PREPARE,    // ... to prepare a buffer
    FAULT_WAVE_ADD,        // ... to queue a buffer
    FAULT_WAVE_START,      // ... to start
    FAULT_SHORT_BUFFER,    // a buffer comes back short
    FAULT_STALL,           // the device thread stalls
    FAULT_HEAP,            // an allocation fails
    FAULT_STORE_CREATE,    // the store cannot be opened for a save
    FAULT_STORE_COMMIT,    // a save's commit fails
    FAULT_CALL_PLACED,     // a call is placed and soon over
    FAULT_CALL_LONG,       // a call stays active for minutes
    FAULT_CALL_FAILED,     // a call fails
    FAULT_CALL_LOGGED,     // a call is only logged
    FAULT_CALL_UNANSWERED, // a call rings and nobody answers
    FAULT_START_STOP,      // Start/Stop pressed
    FAULT_MIC_DIALOG,      // the microphone dialog used
    FAULT_PHONE_DIALOG,    // the phone dialog used
    FAULT_CONTACT_DIALOG,  // the contact dialog opened
    FAULT_LANGUAGE,        // the language dialog used
    FAULT_EXIT_REFUSED,    // Exit pressed and answered No
    FAULT_RESTART,         // Exit pressed and answered Yes; the program starts again
    FAULT_DISK_FULL,       // the disk the nights are recorded to fills up
    FAULT_MIC_GONE,        // the device delivers nothing for minutes
    faultKinds
};
const char* FaultName(int kind);

struct SoakOptions {
    double days = 1.0;
    std::uint64_t seed = 1;
    // Every this many simulated hours a line of progress on standard error;
    // 0: none.
    double progressHours = 0.0;
    bool echoEvents = false; // the program's event log on standard error
    // Run after every tick's checks, for the soak's own test: it breaks the
    // program there on purpose, to show that the soak catches it.
    std::function<void()> afterTick;
};

// The sounds of the looping recording, at the capture rate.
struct SoakSounds {
    std::vector<std::int16_t> hum;     // a quiet room
    std::vector<std::int16_t> nursery; // quiet, then crying
};
// Decodes data/room_hum.flac and data/nursery.flac from `dataDir`.
bool LoadSoakSounds(const std::string& dataDir, SoakSounds* sounds, std::string* error);

struct SoakResult {
    bool passed = true;
    std::string invariant; // the invariant that failed
    std::string detail;    // what was seen
    double failedAt = 0.0; // simulated seconds since the soak's start
    double seconds = 0.0;  // simulated seconds run
    long ticks = 0;
    long sessions = 0; // program runs, from start to exit
    long calls = 0;    // call requests
    long buffers = 0;  // full capture buffers measured
    long saves = 0;    // settings saved
    long failedSaves = 0;
    long injected[faultKinds] = {};
};

SoakResult RunSoak(const SoakOptions& options, const SoakSounds& sounds);

// "day 2 03:25:10.7": days counted from 1, the soak starting at midnight.
std::string SoakClock(double seconds);
// The failure as one line with the seed and the time that replay it.
std::string FailureLine(const SoakOptions& options, const SoakResult& result);

// ---- The soak's parts ------------------------------------------------------

// A stream of the sounds without end: stretches of the quiet room of random
// length, each followed by the nursery's cries, from its own seed.
class SoakInput {
public:
    SoakInput(const SoakSounds& sounds, std::uint64_t seed);
    long Read(std::int16_t* samples, long count);

private:
    void NextPiece();
    const SoakSounds& sounds;
    std::mt19937_64 random;
    const std::vector<std::int16_t>* piece = nullptr;
    std::int64_t position = 0; // in the current piece
    std::int64_t left = 0;     // samples of it still to play
};

// A number from [low, high] of the soak's generator; the same on every
// standard library.
std::int64_t Draw(std::mt19937_64& random, std::int64_t low, std::int64_t high);
