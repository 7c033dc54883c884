// SPDX-License-Identifier: GPL-3.0-or-later
// Settings by their stored names, for a start without a screen: NAME=VALUE
// under the same rules as the dialogs, and back.
#include "platform/strings.h"
#include "settings/settings.h"

namespace {

// The units of `text` before its '=' (or its end).
std::size_t NameLength(LPCWSTR text)
{
    std::size_t length = 0;
    while (text[length] != u'\0' && text[length] != u'=')
        ++length;
    return length;
}

// The row of the setting that `text` names (up to its '='); null if none.
const StoredSetting* FindSetting(LPCWSTR text)
{
    const int index = FindSettingIndex(text);
    return index >= 0 ? &storedSettings[index] : nullptr;
}

std::int32_t CheckBounds(const StoredSetting& setting, std::int64_t value)
{
    if (setting.field == nullptr)
        return SETTING_UNKNOWN;
    return value >= setting.low && value <= setting.high ? SETTING_OK : SETTING_OUT_OF_RANGE;
}

// "(VolSensi, VolThresh, ...)": every setting's name, for a refusal.
LPCWSTR SettingNamesWords()
{
    static WCHAR words[256] = {};
    if (words[0] != u'\0')
        return words;
    wsprintfW(words, u"no such setting (");
    for (int index = 0; index < settingNameCount; ++index)
        wsprintfW(words + wcslen(words), index == 0 ? u"%s" : u", %s", storedSettings[index].name);
    wsprintfW(words + wcslen(words), u")");
    return words;
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

std::int32_t AssignNumber(WCHAR (&field)[phoneNumberCapacity], LPCWSTR value)
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
        field[i] = value[i];
    for (; i < phoneNumberCapacity; ++i)
        field[i] = u'\0';
    return SETTING_OK;
}

} // namespace

int FindSettingIndex(LPCWSTR text)
{
    const std::size_t length = NameLength(text);
    for (int index = 0; index < settingNameCount; ++index) {
        LPCWSTR name = storedSettings[index].name;
        if (wcslen(name) != length)
            continue;
        std::size_t i = 0;
        while (i < length && name[i] == text[i])
            ++i;
        if (i == length)
            return index;
    }
    return -1;
}

std::int32_t AssignSetting(SettingsRecord* record, LPCWSTR assignment)
{
    const std::size_t equals = NameLength(assignment);
    if (assignment[equals] != u'=')
        return SETTING_NOT_ASSIGNMENT;
    const StoredSetting* setting = FindSetting(assignment);
    if (setting == nullptr)
        return SETTING_UNKNOWN;
    LPCWSTR value = assignment + equals + 1;
    if (setting->field == nullptr)
        return AssignNumber(record->*(setting->text), value);
    std::int64_t number = 0;
    std::int32_t result = ReadDigits(value, &number);
    if (result == SETTING_OK)
        result = CheckBounds(*setting, number);
    if (result == SETTING_OK)
        record->*(setting->field) = static_cast<std::int32_t>(number);
    return result;
}

std::int32_t CheckSettingValue(LPCWSTR name, std::int32_t value)
{
    const StoredSetting* setting = FindSetting(name);
    return setting != nullptr ? CheckBounds(*setting, value) : SETTING_UNKNOWN;
}

LPCWSTR SettingRefusalWords(LPCWSTR assignment, std::int32_t result)
{
    switch (result) {
    case SETTING_NOT_ASSIGNMENT:
        return u"not NAME=VALUE";
    case SETTING_UNKNOWN:
        return SettingNamesWords();
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
    const StoredSetting* setting = FindSetting(assignment);
    switch (setting != nullptr ? setting->kind : KIND_NUMBER) {
    case KIND_PERCENT:
        return u"a percentage: a whole number from 0 to 100";
    case KIND_COUNT: {
        static WCHAR words[80]; // window thread only, as every setting is
        wsprintfW(words, u"a whole number from %d to %d, digits only", setting->low, setting->high);
        return words;
    }
    case KIND_LANGUAGE:
        return u"0 (German) or 1 (English)";
    default:
        return u"";
    }
}

void SetDefaultSetting(SettingsRecord* record, int index)
{
    const StoredSetting& setting = storedSettings[index];
    if (setting.field != nullptr) {
        record->*(setting.field) = setting.defaultValue;
        return;
    }
    for (WCHAR& unit : record->*(setting.text))
        unit = u'\0';
}

void SetDefaultSettings(SettingsRecord* record)
{
    for (int index = 0; index < settingNameCount; ++index)
        SetDefaultSetting(record, index);
}

void FormatSettingValue(const SettingsRecord& record, int index, LPWSTR buffer)
{
    const StoredSetting& setting = storedSettings[index];
    if (setting.field != nullptr) {
        wsprintfW(buffer, u"%d", record.*(setting.field));
        return;
    }
    // Bounded copy: the field need not end in a terminator.
    const WCHAR(&number)[phoneNumberCapacity] = record.*(setting.text);
    int length = 0;
    while (length < callNumberMaxLength && number[length] != u'\0') {
        buffer[length] = number[length];
        ++length;
    }
    buffer[length] = u'\0';
}

std::int32_t MakeSettingUsable(SettingsRecord* record, int index)
{
    const StoredSetting& setting = storedSettings[index];
    if (setting.field == nullptr) {
        switch (CheckCallNumber(record->*(setting.text))) {
        case CALLNUMBER_OK:
        case CALLNUMBER_EMPTY:
            return SETTING_OK;
        default:
            for (WCHAR& unit : record->*(setting.text))
                unit = u'\0';
            return SETTING_NOT_CALL_NUMBER;
        }
    }
    std::int32_t& value = record->*(setting.field);
    if (CheckBounds(setting, value) == SETTING_OK)
        return SETTING_OK;
    // ComputeLimits clamps a percentage, and the phone the ring time; a
    // negative pause or limit works as 0; any other language is German.
    value = setting.kind != KIND_LANGUAGE && value > setting.high ? setting.high : setting.low;
    return SETTING_OUT_OF_RANGE;
}

LPCWSTR SettingWarningWords(LPCWSTR assignment)
{
    const StoredSetting* setting = FindSetting(assignment);
    std::int64_t value = -1;
    if (setting == nullptr || setting->zeroWords == nullptr ||
        assignment[NameLength(assignment)] != u'=' ||
        ReadDigits(assignment + NameLength(assignment) + 1, &value) != SETTING_OK || value != 0)
        return nullptr;
    return setting->zeroWords;
}

void FormatSetting(const SettingsRecord& record, int index, LPWSTR buffer)
{
    WCHAR value[settingValueUnits];
    FormatSettingValue(record, index, value);
    wsprintfW(buffer, u"%s=%s", storedSettings[index].name, value);
}
