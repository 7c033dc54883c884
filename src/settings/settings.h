// SPDX-License-Identifier: GPL-3.0-or-later
// The user's settings, the limits derived from them, their persistence, the
// localised strings and the language table.
#pragma once

#include <atomic>
#include <cstdint>
#include <iterator>

#include "platform/nls.h"
#include "platform/types.h"

constexpr int phoneNumberCapacity = 25; // 24 characters and the terminator
constexpr int callNumberMaxLength = phoneNumberCapacity - 1;

// What CheckCallNumber finds in a text.
constexpr std::int32_t CALLNUMBER_OK = 0;       // may be dialled
constexpr std::int32_t CALLNUMBER_EMPTY = 1;    // no text at all
constexpr std::int32_t CALLNUMBER_TOO_LONG = 2; // more than callNumberMaxLength characters
constexpr std::int32_t CALLNUMBER_BAD =
    3; // a character that is not allowed, no digit, or a leading -

// The settings that outlive a run (storedSettings below); field names are
// the stored value names. Window thread only.
struct SettingsRecord {
    std::int32_t Language;                   // 0 German, 1 English
    std::int32_t VolSensi;                   // microphone sensitivity, percent
    std::int32_t VolThresh;                  // loudness threshold, percent
    std::int32_t CryThresh;                  // cry threshold, percent
    WCHAR PhoneNumber[phoneNumberCapacity];  // number to call; empty: none
    std::int32_t PhoneDelay;                 // minutes of pause after a call
    std::int32_t PhoneMaxCalls;              // calls per monitoring run
    std::int32_t PhoneRingSeconds;           // an unanswered call is hung up after this
    WCHAR PhoneNumber2[phoneNumberCapacity]; // tried when PhoneNumber does not answer; empty: none
    WCHAR PhoneNumber3[phoneNumberCapacity]; // tried after PhoneNumber2; empty: none
    std::int32_t RecordNights;               // 1: every monitoring run is recorded
    std::int32_t RecordNightsMB;             // megabytes the night recordings may take
    std::int32_t CryCheck;                   // 1: only a block that sounds like a cry is loud
    std::int32_t DimScreen;                  // 1: the screen dims while monitoring runs untouched
    std::int32_t NotifyStart;                // 1: a message to the parent at each Start
};
using CallNumberField = WCHAR (SettingsRecord::*)[phoneNumberCapacity];

// How long a call may ring unanswered, in seconds: long enough for a phone
// to ring through to its owner, short enough that the next number comes in
// time.
constexpr std::int32_t phoneRingSecondsLow = 10;
constexpr std::int32_t phoneRingSecondsHigh = 300;

// The store's key of the settings: a value for each setting, and the
// marker that the first start has happened (its content is never read).
constexpr LPCWSTR settingsKeyPath = u"Software\\Veltrano\\CradleCom\\Settings";
constexpr LPCWSTR firstUseValueName = u"FirstUse";

// The languages the program speaks (the rows of `languages` below).
constexpr int languageCount = 2;

// How a setting's value is checked, by its dialog and by NAME=VALUE.
constexpr std::int32_t KIND_PERCENT = 0;  // digits, low to high: the microphone dialog's range
constexpr std::int32_t KIND_COUNT = 1;    // digits only, as the phone dialog's boxes take them
constexpr std::int32_t KIND_NUMBER = 2;   // empty, or a call number (CheckCallNumber)
constexpr std::int32_t KIND_LANGUAGE = 3; // one of the language dialog's buttons

// The dialog that sets a setting.
constexpr std::int32_t SETTINGS_DIALOG_MICROPHONE = 0;
constexpr std::int32_t SETTINGS_DIALOG_PHONE = 1;
constexpr std::int32_t SETTINGS_DIALOG_LANGUAGE = 2;
constexpr std::int32_t SETTINGS_DIALOG_NONE = 3; // --set alone (a service's choice)

struct StoredSetting {
    LPCWSTR name;                        // the stored value's name, and NAME in NAME=VALUE
    std::int32_t kind;                   // KIND_*
    std::int32_t dialog;                 // SETTINGS_DIALOG_*
    std::int32_t SettingsRecord::*field; // its number; null for a call number
    CallNumberField text;                // its call number; null for a number
    std::int32_t defaultValue;           // a fresh install's (a call number's is empty)
    std::int32_t low, high;              // the numbers its dialog and NAME=VALUE take
    LPCWSTR zeroWords;                   // what a 0 costs the user, said by --set; null: nothing
};

// Every stored setting, in the store's order: the order of every load and
// save. A new setting is a field above, a row here and its dialog's control.
inline constexpr StoredSetting storedSettings[] = {
    {u"VolSensi", KIND_PERCENT, SETTINGS_DIALOG_MICROPHONE, &SettingsRecord::VolSensi, nullptr, 50,
     0, 100, nullptr},
    {u"VolThresh", KIND_PERCENT, SETTINGS_DIALOG_MICROPHONE, &SettingsRecord::VolThresh, nullptr,
     50, 0, 100, nullptr},
    {u"CryThresh", KIND_PERCENT, SETTINGS_DIALOG_MICROPHONE, &SettingsRecord::CryThresh, nullptr,
     50, 0, 100, nullptr},
    {u"PhoneNumber", KIND_NUMBER, SETTINGS_DIALOG_PHONE, nullptr, &SettingsRecord::PhoneNumber, 0,
     0, 0, nullptr},
    {u"PhoneDelay", KIND_COUNT, SETTINGS_DIALOG_PHONE, &SettingsRecord::PhoneDelay, nullptr, 1, 0,
     INT32_MAX, nullptr},
    {u"PhoneMaxCalls", KIND_COUNT, SETTINGS_DIALOG_PHONE, &SettingsRecord::PhoneMaxCalls, nullptr,
     10, 0, INT32_MAX,
     u"0 means that no call is ever placed, however the child cries (stored all the same)"},
    {u"Language", KIND_LANGUAGE, SETTINGS_DIALOG_LANGUAGE, &SettingsRecord::Language, nullptr, 0, 0,
     languageCount - 1, nullptr},
    {u"RecordNights", KIND_COUNT, SETTINGS_DIALOG_NONE, &SettingsRecord::RecordNights, nullptr, 0,
     0, 1, nullptr},
    {u"RecordNightsMB", KIND_COUNT, SETTINGS_DIALOG_NONE, &SettingsRecord::RecordNightsMB, nullptr,
     2000, 1, INT32_MAX, nullptr},
    {u"CryCheck", KIND_COUNT, SETTINGS_DIALOG_MICROPHONE, &SettingsRecord::CryCheck, nullptr, 0, 0,
     1, nullptr},
    {u"DimScreen", KIND_COUNT, SETTINGS_DIALOG_LANGUAGE, &SettingsRecord::DimScreen, nullptr, 1, 0,
     1, nullptr},
    {u"PhoneRingSeconds", KIND_COUNT, SETTINGS_DIALOG_PHONE, &SettingsRecord::PhoneRingSeconds,
     nullptr, 45, phoneRingSecondsLow, phoneRingSecondsHigh, nullptr},
    {u"PhoneNumber2", KIND_NUMBER, SETTINGS_DIALOG_PHONE, nullptr, &SettingsRecord::PhoneNumber2, 0,
     0, 0, nullptr},
    {u"PhoneNumber3", KIND_NUMBER, SETTINGS_DIALOG_PHONE, nullptr, &SettingsRecord::PhoneNumber3, 0,
     0, 0, nullptr},
    {u"NotifyStart", KIND_COUNT, SETTINGS_DIALOG_PHONE, &SettingsRecord::NotifyStart, nullptr, 0, 0,
     1, nullptr},
};
constexpr int settingNameCount = static_cast<int>(std::size(storedSettings));
// The rows the store has always held. The rows after them came later and are
// written only once they differ from their default (or the store holds them
// already), so that a store nobody changed stays as it was written.
constexpr int firstReleaseSettingCount = 7;
static_assert(settingNameCount <= 32, "settings are told apart by the bits of a 32-bit mask");

// Bit i: setting i of storedSettings, for the settings set by `dialog`.
constexpr std::uint32_t SettingBitsOf(std::int32_t dialog)
{
    std::uint32_t bits = 0;
    for (int index = 0; index < settingNameCount; ++index) {
        if (storedSettings[index].dialog == dialog)
            bits |= 1u << index;
    }
    return bits;
}
constexpr std::uint32_t microphoneSettingBits = SettingBitsOf(SETTINGS_DIALOG_MICROPHONE);
constexpr std::uint32_t phoneSettingBits = SettingBitsOf(SETTINGS_DIALOG_PHONE);
constexpr std::uint32_t languageSettingBit = SettingBitsOf(SETTINGS_DIALOG_LANGUAGE);
constexpr std::uint32_t everySettingBits = (1u << settingNameCount) - 1;

// Recomputed from the settings by ComputeLimits. volLimit and cryLimit are
// window-thread only; sensiFactor and cryCheck are also read by the capture
// callback, so they are published whole.
struct DerivedLimits {
    std::atomic<double> sensiFactor;    // 500.0 to 30000.0: peak at which level is 1.0
    std::atomic<std::int32_t> cryCheck; // 1: the capture callback judges each block
    double volLimit;                    // 0.0 to 1.0: loudness that counts as loud
    double cryLimit;                    // 0.0 to 1.0: cry meter that places a call
};

extern SettingsRecord settings;
extern DerivedLimits limits;
extern std::int32_t firstUse; // 1 when this start wrote the first-use marker

// What the store held of each setting as far as this process knows: the
// value it last read there or wrote, or, where the store had none, the
// record's. A save writes only what differs from it (and what the store
// lacks), so that it never undoes what another program saved since; a value
// the store holds otherwise now was saved by another program.
constexpr DWORD storedValueLimit = 250; // bytes a read takes
struct StoredValueCopy {
    std::int32_t known; // 0: nothing known (never read, or unreadable): always written
    DWORD type;
    DWORD size; // bytes, at most storedValueLimit
    BYTE bytes[storedValueLimit];
};
struct StoreCopy {
    StoredValueCopy values[settingNameCount]; // in the store's order
};
extern StoreCopy storeCopy; // window thread only

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
// Fills the record (the defaults when the key cannot be opened), writes the
// first-use marker when it is missing. ERROR_SUCCESS, or the store's code for
// why the key could not be opened (ERROR_FILE_NOT_FOUND when there is none
// yet).
LONG LoadSettings();
// When there is no store at all, writes the defaults as a new key, with
// Language from the user's locale (German for a German one, else English)
// and without the first-use marker, as an installer would: the LoadSettings
// that follows then finds the key without its marker, and the first start
// asks for the language. ERROR_SUCCESS when there was a key already or it
// was written; else the store's code.
LONG WriteFirstSettings();
// LoadSettings without the first-use marker: fills the record (the defaults
// when the key cannot be opened) and never writes. ERROR_SUCCESS, or the
// store's code for why the key could not be opened (ERROR_FILE_NOT_FOUND
// when there is none yet).
LONG ReadSettings();
// Writes what changed (above). ERROR_SUCCESS, or the store's code for the
// first failure; the record in memory is kept either way.
LONG SaveSettings();
// Takes into the record every setting among `fields` (bit i: setting i in
// the store's order) that another program saved since this one last read or
// wrote it, read as LoadSettings reads it; *taken tells those whose value
// changed. The store's code when the key cannot be opened, and then nothing
// changes.
LONG TakeStoredSettings(std::uint32_t fields, std::uint32_t* taken);
// Why a save failed: the id of the text that tells the user (German id),
// and short English words for the event log.
UINT SaveFailureTextId(LONG result);
LPCWSTR SaveFailureLogWords(LONG result);
// Writes a save's outcome (SaveSettings' result) to the event log.
void LogSaveResult(LONG result);

// Settings by their stored names, as NAME=VALUE: for a start without a
// screen. What AssignSetting finds:
constexpr std::int32_t SETTING_OK = 0;
constexpr std::int32_t SETTING_NOT_ASSIGNMENT = 1;  // no '=' in it
constexpr std::int32_t SETTING_UNKNOWN = 2;         // no setting has that name
constexpr std::int32_t SETTING_NOT_DIGITS = 3;      // a number that is not all digits
constexpr std::int32_t SETTING_OUT_OF_RANGE = 4;    // a number the setting does not take
constexpr std::int32_t SETTING_NUMBER_TOO_LONG = 5; // a call number beyond callNumberMaxLength
constexpr std::int32_t SETTING_NOT_CALL_NUMBER = 6; // a call number CheckCallNumber refuses

// Sets the setting that NAME=VALUE names in *record when the value passes
// its row's rule (storedSettings): a percentage, a count or a language as
// decimal digits without sign or spaces within the row's bounds; the call
// number empty or a call number. Anything else leaves *record as it was.
std::int32_t AssignSetting(SettingsRecord* record, LPCWSTR assignment);
// A whole number against the rule of the numeric setting `name`:
// SETTING_OK, SETTING_OUT_OF_RANGE, or SETTING_UNKNOWN (also for a call number).
std::int32_t CheckSettingValue(LPCWSTR name, std::int32_t value);
// Why AssignSetting refused `assignment`, in short English words.
LPCWSTR SettingRefusalWords(LPCWSTR assignment, std::int32_t result);
// The index in storedSettings of the setting that `text` names (up to its
// '=' or its end); -1 when none does.
int FindSettingIndex(LPCWSTR text);

// Every setting of *record as a fresh install has it; or only setting `index`.
void SetDefaultSettings(SettingsRecord* record);
void SetDefaultSetting(SettingsRecord* record, int index);
// The value of setting `index` of `record` as the store holds it and
// NAME=VALUE gives it: decimal digits, or the call number (at most
// callNumberMaxLength units, even from a field without a terminator).
constexpr int settingValueUnits = 32;
void FormatSettingValue(const SettingsRecord& record, int index, LPWSTR buffer);

// What an assignment AssignSetting takes costs the user, in short English
// words (PhoneMaxCalls=0: no call is ever placed); null when nothing.
LPCWSTR SettingWarningWords(LPCWSTR assignment);
// Writes NAME=VALUE of setting `index` (0 to settingNameCount - 1, in the
// store's order) of `record`, in the form AssignSetting takes back, into a
// buffer of at least 64 units.
void FormatSetting(const SettingsRecord& record, int index, LPWSTR buffer);
// Brings setting `index` of *record, when AssignSetting would refuse it
// (only an edited store holds such a value), to the value AssignSetting
// takes that works as the stored one does: a percentage beyond its bounds
// to the bound ComputeLimits clamps it to, a negative pause or call limit
// to 0, a Language other than 0 or 1 to 0 (German), and a call number that
// is no call number, never dialled, to none. SETTING_OK when it was taken
// as it is, else why not (SETTING_OUT_OF_RANGE, SETTING_NOT_CALL_NUMBER).
std::int32_t MakeSettingUsable(SettingsRecord* record, int index);

// The languages the program speaks, one row each; the stored Language is
// the row's index. A new language is a row here and its texts in the
// resource script (its strings at the German ids plus its offset, its
// radio button and flag in the language dialog).
struct LanguageRow {
    UINT mainMenuBar;        // the main window's menu bar
    UINT dialogMenuBar;      // every dialog's menu bar
    UINT stringOffset;       // added to a German string id
    LANGID platformLanguage; // of the platform's own texts (the standard buttons)
    int languageButton;      // its radio button in the language dialog
    const char* code;        // two letters that name its screenshots
};
extern const LanguageRow languages[languageCount];
// The row of `language`; null for a Language no row has (only an edited
// store holds one).
const LanguageRow* FindLanguage(std::int32_t language);
// The row of the current Language; German's for a Language no row has, so
// that every text, bar and button exists.
const LanguageRow& CurrentLanguage();

// Loads string `id` (a German id) in the current language.
void LoadLocalString(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity);
