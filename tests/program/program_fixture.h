// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the whole program on the simulated platform: settings in the
// simulated store, a recording (or silence) as the microphone, scripted
// presses at virtual times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "alarm/monitor.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_window.h"
#include "settings/settings.h"

extern const std::u16string settingsKey;

constexpr SimTime tickUnits = simUnitsPerSecond * tickPeriodMs / 1000; // one tick

// Everything back to process start: records, simulated platform, store.
void ResetProgram();

// Stores the settings of a confirmed earlier run, with the first-use marker,
// so that no dialog opens at start: a fresh install's settings (each
// setting's row gives its default), a number to call, and what a test sets.
// The number is stored as its text, even one the program refuses; the
// record's own PhoneNumber field is not used.
struct StoredSettings : SettingsRecord {
    StoredSettings() : SettingsRecord{} { SetDefaultSettings(this); }
    std::u16string phoneNumber = u"+49 170 1234567";
    bool firstUse = true;
};
void StoreSettings(const StoredSettings& stored);

// Input: `quietSeconds` of silence, then `loudSeconds` of a loud tone, and
// so on, alternating.
std::vector<std::int16_t> QuietLoud(std::vector<double> seconds);

// Runs WinMain until the end of the run (or an earlier exit); its result.
int RunProgram();

// The time of tick n (the first tick is 1).
constexpr SimTime Tick(long n)
{
    return n * tickUnits;
}

std::u16string Text(const char* utf8);

// The texts of the event log since the last reset, in order.
std::vector<std::string> EventTexts();
// How many events read exactly `text`.
int EventCount(const std::string& text);

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override { ResetProgram(); }
    void TearDown() override { ResetProgram(); }
};
