// SPDX-License-Identifier: GPL-3.0-or-later
// Settings by their stored names, for a start without a screen: NAME=VALUE
// under the same rules as the dialogs, and back.
#include "platform/strings.h"
#include "settings/settings.h"

namespace {

// How a setting's value is written and checked.
constexpr std::int32_t KIND_PERCENT = 0;  // digits, 0 to 100 (the microphone dialog's range)
constexpr std::int32_t KIND_COUNT = 1;    // digits only, as the phone dialog's boxes take them
constexpr std::int32_t KIND_NUMBER = 2;   // empty, or a call number
constexpr std::int32_t KIND_LANGUAGE = 3; // a row of the language table: 0 German or 1 English

struct NamedSetting {
    LPCWSTR name;
    std::int32_t kind;
    std::int32_t SettingsRecord::*field; // null for PhoneNumber
};

// In the store's order.
const NamedSetting namedSettings[settingNameCount] = {
    {u"VolSensi", KIND_PERCENT, &SettingsRecord::VolSensi},
    {u"VolThresh", KIND_PERCENT, &SettingsRecord::VolThresh},
    {u"CryThresh", KIND_PERCENT, &SettingsRecord::CryThresh},
    {u"PhoneNumber", KIND_NUMBER, nullptr},
    {u"PhoneDelay", KIND_COUNT, &SettingsRecord::PhoneDelay},
    {u"PhoneMaxCalls", KIND_COUNT, &SettingsRecord::PhoneMaxCalls},
    {u"Language", KIND_LANGUAGE, &SettingsRecord::Language},
};

// The units of `text` before its '=' (or its end).
std::size_t NameLength(LPCWSTR text)
{
    std::size_t length = 0;
    while (text[length] != u'\0' && text[length] != u'=')
        ++length;
    return length;
}

// The setting that `text` names (up to its '='); null if none.
const NamedSetting* FindSetting(LPCWSTR text)
{
    const std::size_t length = NameLength(text);
    for (const NamedSetting& setting : namedSettings) {
        if (wcslen(setting.name) != length)
            continue;
        std::size_t i = 0;
        while (i < length && setting.name[i] == text[i])
            ++i;
        if (i == length)
            return &setting;
    }
    return nullptr;
}

std::int32_t CheckKind(std::int32_t kind, std::int64_t value)
{
    switch (kind) {
    case KIND_PERCENT:
        return value >= 0 && value <= 100 ? SETTING_OK : SETTING_OUT_OF_RANGE;
    case KIND_COUNT:
        return value >= 0 && value <= INT32_MAX ? SETTING_OK : SETTING_OUT_OF_RANGE;
    case KIND_LANGUAGE:
        return value >= 0 && value < languageCount ? SETTING_OK : SETTING_OUT_OF_RANGE;
    default:
        return SETTING_UNKNOWN;
    }
}

// Decimal digits only, no sign and no spaces: what a digit box lets through.
// Stops counting past the 32-bit range, which is all that matters here.
std::int32_t ReadDigits(LPCWSTR text, std::int64_t* value)
{
    if (text[0] == u'\0')
        return SETTING_NOT_DIGITS;
    std::int64_t sum = 0;
    for (std::size_t i = 0; text[i] != u'\0'; ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return SETTING_NOT_DIGITS;
        if (sum <= INT32_MAX)
            sum = sum * 10 + (text[i] - u'0');
    }
    *value = sum;
    return SETTING_OK;
}

std::int32_t AssignNumber(SettingsRecord* record, LPCWSTR value)
{
    switch (CheckCallNumber(value)) {
    case CALLNUMBER_OK:
    case CALLNUMBER_EMPTY:
        break;
    case CALLNUMBER_TOO_LONG:
        return SETTING_NUMBER_TOO_LONG;
    default:
        return SETTING_NOT_CALL_NUMBER;
    }
    // CheckCallNumber has bounded the length: the text fits the field.
    int i = 0;
    for (; value[i] != u'\0'; ++i)
        record->PhoneNumber[i] = value[i];
    for (; i < phoneNumberCapacity; ++i)
        record->PhoneNumber[i] = u'\0';
    return SETTING_OK;
}

} // namespace

std::int32_t AssignSetting(SettingsRecord* record, LPCWSTR assignment)
{
    const std::size_t equals = NameLength(assignment);
    if (assignment[equals] != u'=')
        return SETTING_NOT_ASSIGNMENT;
    const NamedSetting* setting = FindSetting(assignment);
    if (setting == nullptr)
        return SETTING_UNKNOWN;
    LPCWSTR value = assignment + equals + 1;
    if (setting->kind == KIND_NUMBER)
        return AssignNumber(record, value);
    std::int64_t number = 0;
    std::int32_t result = ReadDigits(value, &number);
    if (result == SETTING_OK)
        result = CheckKind(setting->kind, number);
    if (result == SETTING_OK)
        record->*(setting->field) = static_cast<std::int32_t>(number);
    return result;
}

std::int32_t CheckSettingValue(LPCWSTR name, std::int32_t value)
{
    const NamedSetting* setting = FindSetting(name);
    if (setting == nullptr || setting->kind == KIND_NUMBER)
        return SETTING_UNKNOWN;
    return CheckKind(setting->kind, value);
}

LPCWSTR SettingRefusalWords(LPCWSTR assignment, std::int32_t result)
{
    switch (result) {
    case SETTING_NOT_ASSIGNMENT:
        return u"not NAME=VALUE";
    case SETTING_UNKNOWN:
        return u"no such setting (VolSensi, VolThresh, CryThresh, PhoneNumber, PhoneDelay, "
               u"PhoneMaxCalls, Language)";
    case SETTING_NOT_DIGITS:
    case SETTING_OUT_OF_RANGE:
        break;
    case SETTING_NUMBER_TOO_LONG:
        return u"a call number has at most 24 characters";
    case SETTING_NOT_CALL_NUMBER:
        return u"not a call number (digits, spaces and + * # - / ( ), not beginning with -; "
               u"or a sip: address)";
    default:
        return u"";
    }
    const NamedSetting* setting = FindSetting(assignment);
    switch (setting != nullptr ? setting->kind : KIND_NUMBER) {
    case KIND_PERCENT:
        return u"a percentage: a whole number from 0 to 100";
    case KIND_COUNT:
        return u"a whole number from 0 to 2147483647, digits only";
    case KIND_LANGUAGE:
        return u"0 (German) or 1 (English)";
    default:
        return u"";
    }
}

LPCWSTR SettingName(int index)
{
    return namedSettings[index].name;
}

std::int32_t* SettingNumberField(SettingsRecord* record, int index)
{
    const NamedSetting& setting = namedSettings[index];
    return setting.field != nullptr ? &(record->*(setting.field)) : nullptr;
}

std::int32_t MakeSettingUsable(SettingsRecord* record, int index)
{
    const NamedSetting& setting = namedSettings[index];
    if (setting.kind == KIND_NUMBER) {
        switch (CheckCallNumber(record->PhoneNumber)) {
        case CALLNUMBER_OK:
        case CALLNUMBER_EMPTY:
            return SETTING_OK;
        default:
            for (WCHAR& unit : record->PhoneNumber)
                unit = u'\0';
            return SETTING_NOT_CALL_NUMBER;
        }
    }
    std::int32_t& value = record->*(setting.field);
    if (CheckKind(setting.kind, value) == SETTING_OK)
        return SETTING_OK;
    // ComputeLimits clamps a percentage; a negative pause or limit works as
    // 0; any other language is German.
    value = setting.kind == KIND_PERCENT && value > 100 ? 100 : 0;
    return SETTING_OUT_OF_RANGE;
}

LPCWSTR SettingWarningWords(LPCWSTR assignment)
{
    const NamedSetting* setting = FindSetting(assignment);
    std::int64_t value = -1;
    if (setting == nullptr || setting->field != &SettingsRecord::PhoneMaxCalls ||
        assignment[NameLength(assignment)] != u'=' ||
        ReadDigits(assignment + NameLength(assignment) + 1, &value) != SETTING_OK || value != 0)
        return nullptr;
    return u"0 means that no call is ever placed, however the child cries (stored all the same)";
}

void FormatSetting(const SettingsRecord& record, int index, LPWSTR buffer)
{
    const NamedSetting& setting = namedSettings[index];
    if (setting.kind != KIND_NUMBER) {
        wsprintfW(buffer, u"%s=%d", setting.name, record.*(setting.field));
        return;
    }
    // Bounded copy: the field need not end in a terminator.
    WCHAR number[phoneNumberCapacity] = {};
    for (int i = 0; i < phoneNumberCapacity - 1 && record.PhoneNumber[i] != u'\0'; ++i)
        number[i] = record.PhoneNumber[i];
    wsprintfW(buffer, u"%s=%s", setting.name, number);
}
