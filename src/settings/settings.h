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
// A call number holds digits, spaces and + * # - / ( ), at least one digit,
// does not begin with - (a program would take it for an option), and has at
// most callNumberMaxLength characters. So may a SIP address: "sip:" or
// "sips:" (in any case) and more, in printable ASCII without spaces, quotes
// or angle brackets. Reads at most callNumberMaxLength + 1
// units of text, so a full PhoneNumber field is safe.
std::int32_t CheckCallNumber(LPCWSTR text);
bool IsCallNumber(LPCWSTR text);
void LoadSettings();
// ERROR_SUCCESS, or the store's code for the first failure; the record in
// memory is kept either way.
LONG SaveSettings();
// Why a save failed: the id of the text that tells the user (German id),
// and short English words for the event log.
UINT SaveFailureTextId(LONG result);
LPCWSTR SaveFailureLogWords(LONG result);

// Loads German string `id` or, in English, id + 4000. A Language other than
// 0 or 1 loads the German text.
void LoadLocalString(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity);
