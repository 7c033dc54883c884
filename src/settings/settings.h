// SPDX-License-Identifier: GPL-3.0-or-later
// The user's settings, the limits derived from them, their persistence and
// the localised strings.
#pragma once

#include <atomic>

#include "platform/types.h"

constexpr int phoneNumberCapacity = 25; // 24 characters and the terminator
constexpr int callNumberMaxLength = phoneNumberCapacity - 1;

// What CheckCallNumber finds in a text.
constexpr std::int32_t CALLNUMBER_OK = 0;       // may be dialled
constexpr std::int32_t CALLNUMBER_EMPTY = 1;    // no text at all
constexpr std::int32_t CALLNUMBER_TOO_LONG = 2; // more than callNumberMaxLength characters
constexpr std::int32_t CALLNUMBER_BAD =
    3; // a character that is not allowed, no digit, or a leading -

// The seven settings that outlive a run; field names are the stored value
// names. Window thread only.
struct SettingsRecord {
    std::int32_t Language;                  // 0 German, 1 English; default 0
    std::int32_t VolSensi;                  // microphone sensitivity, percent; default 50
    std::int32_t VolThresh;                 // loudness threshold, percent; default 50
    std::int32_t CryThresh;                 // cry threshold, percent; default 50
    WCHAR PhoneNumber[phoneNumberCapacity]; // number to call; empty: none
    std::int32_t PhoneDelay;                // minutes of pause after a call; default 1
    std::int32_t PhoneMaxCalls;             // calls per monitoring run; default 10
};

// Recomputed from the settings by ComputeLimits. volLimit and cryLimit are
// window-thread only; sensiFactor is also read by the capture callback, so it
// is published whole.
struct DerivedLimits {
    std::atomic<double> sensiFactor; // 500.0 to 30000.0: peak at which level is 1.0
    double volLimit;                 // 0.0 to 1.0: loudness that counts as loud
    double cryLimit;                 // 0.0 to 1.0: cry meter that places a call
};

extern SettingsRecord settings;
extern DerivedLimits limits;
extern std::int32_t firstUse; // 1 when this start wrote the first-use marker

void ComputeLimits();
// sensiFactor for a VolSensi, and volLimit or cryLimit for a VolThresh or
// CryThresh, as ComputeLimits derives them.
double SensiFactorOf(std::int32_t volSensi);
double LimitOf(std::int32_t percent);
// A call number holds digits, spaces and + * # - / ( ), at least one digit,
// does not begin with - (a program would take it for an option), and has at
// most callNumberMaxLength characters. So may a SIP address: "sip:" or
// "sips:" (in any case) and more, in printable ASCII without spaces, quotes
// or angle brackets. Reads at most callNumberMaxLength + 1
// units of text, so a full PhoneNumber field is safe.
std::int32_t CheckCallNumber(LPCWSTR text);
bool IsCallNumber(LPCWSTR text);
void LoadSettings();
// LoadSettings without the first-use marker: fills the record (the defaults
// when the key cannot be opened) and never writes. ERROR_SUCCESS, or the
// store's code for why the key could not be opened (ERROR_FILE_NOT_FOUND
// when there is none yet).
LONG ReadSettings();
// ERROR_SUCCESS, or the store's code for the first failure; the record in
// memory is kept either way.
LONG SaveSettings();
// Why a save failed: the id of the text that tells the user (German id),
// and short English words for the event log.
UINT SaveFailureTextId(LONG result);
LPCWSTR SaveFailureLogWords(LONG result);

// Settings by their stored names, as NAME=VALUE: for a start without a
// screen. What AssignSetting finds:
constexpr std::int32_t SETTING_OK = 0;
constexpr std::int32_t SETTING_NOT_ASSIGNMENT = 1;  // no '=' in it
constexpr std::int32_t SETTING_UNKNOWN = 2;         // no setting has that name
constexpr std::int32_t SETTING_NOT_DIGITS = 3;      // a number that is not all digits
constexpr std::int32_t SETTING_OUT_OF_RANGE = 4;    // a number the setting does not take
constexpr std::int32_t SETTING_NUMBER_TOO_LONG = 5; // PhoneNumber beyond callNumberMaxLength
constexpr std::int32_t SETTING_NOT_CALL_NUMBER = 6; // PhoneNumber that CheckCallNumber refuses
constexpr int settingNameCount = 7;

// Sets the setting that NAME=VALUE names in *record when the value passes
// the dialogs' rules: VolSensi, VolThresh, CryThresh 0 to 100; PhoneDelay
// and PhoneMaxCalls digits only within the 32-bit range (the phone dialog's
// digit boxes); PhoneNumber empty or a call number; Language 0 or 1.
// Numbers are decimal digits without sign or spaces. Anything else leaves
// *record as it was.
std::int32_t AssignSetting(SettingsRecord* record, LPCWSTR assignment);
// A whole number against the rule of the numeric setting `name`:
// SETTING_OK, SETTING_OUT_OF_RANGE, or SETTING_UNKNOWN (also for PhoneNumber).
std::int32_t CheckSettingValue(LPCWSTR name, std::int32_t value);
// Why AssignSetting refused `assignment`, in short English words.
LPCWSTR SettingRefusalWords(LPCWSTR assignment, std::int32_t result);
// Writes NAME=VALUE of setting `index` (0 to settingNameCount - 1, in the
// store's order) of `record`, in the form AssignSetting takes back, into a
// buffer of at least 64 units.
void FormatSetting(const SettingsRecord& record, int index, LPWSTR buffer);

// Loads German string `id` or, in English, id + 4000. A Language other than
// 0 or 1 loads the German text.
void LoadLocalString(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity);
