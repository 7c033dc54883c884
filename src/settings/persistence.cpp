// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/nls.h"
#include "platform/registry.h"
#include "platform/strings.h"
#include "resources/ids.h"
#include "settings/settings.h"

std::int32_t firstUse;
StoreCopy storeCopy;

namespace {

constexpr int textBufferUnits = 256;

// The number field of setting `index`; null for a call number.
std::int32_t* NumberField(int index)
{
    const StoredSetting& setting = storedSettings[index];
    return setting.field != nullptr ? &(settings.*(setting.field)) : nullptr;
}

// What a query of one value found.
constexpr std::int32_t VALUE_READ = 0;       // *value holds its bytes
constexpr std::int32_t VALUE_ABSENT = 1;     // not in the store
constexpr std::int32_t VALUE_UNREADABLE = 2; // there, but larger than a read takes, or failing

std::int32_t QueryValue(HKEY key, LPCWSTR name, StoredValueCopy* value)
{
    DWORD size = storedValueLimit;
    const LONG result = RegQueryValueExW(key, name, nullptr, &value->type, value->bytes, &size);
    if (result == ERROR_FILE_NOT_FOUND)
        return VALUE_ABSENT;
    if (result != ERROR_SUCCESS)
        return VALUE_UNREADABLE;
    value->size = size > storedValueLimit ? storedValueLimit : size;
    value->known = 1;
    return VALUE_READ;
}

// The stored bytes need not end in a null or even be a whole number of
// units, so the text is ended at the last whole unit, never beyond it.
void TextOf(const StoredValueCopy& value, WCHAR (&buffer)[textBufferUnits])
{
    const DWORD units = value.size / sizeof(WCHAR);
    for (DWORD i = 0; i < units; ++i)
        buffer[i] = static_cast<WCHAR>(value.bytes[2 * i] | (value.bytes[2 * i + 1] << 8));
    buffer[units] = 0;
}

// Reads a value as text; false when it is absent or unreadable.
bool ReadText(HKEY key, LPCWSTR name, WCHAR (&buffer)[textBufferUnits])
{
    StoredValueCopy value{};
    if (QueryValue(key, name, &value) != VALUE_READ)
        return false;
    TextOf(value, buffer);
    return true;
}

// Sets setting `index` from a value read from the store. A number longer
// than the field is refused whole: a cut number would ring somebody else.
void TakeValue(int index, const StoredValueCopy& value)
{
    WCHAR buffer[textBufferUnits];
    TextOf(value, buffer);
    if (NumberField(index) != nullptr) {
        *NumberField(index) = _wtoi(buffer);
        return;
    }
    const std::size_t length = wcslen(buffer);
    if (length >= static_cast<std::size_t>(phoneNumberCapacity))
        return;
    WCHAR(&number)[phoneNumberCapacity] = settings.*(storedSettings[index].text);
    for (std::size_t i = 0; i <= length; ++i)
        number[i] = buffer[i];
}

// Setting `index` as a save writes it: decimal text, or the number as typed,
// each with its terminating null.
void FormatValue(int index, StoredValueCopy* value)
{
    WCHAR text[settingValueUnits];
    FormatSettingValue(settings, index, text);
    const std::size_t units = wcslen(text) + 1;
    for (std::size_t i = 0; i < units; ++i) {
        value->bytes[2 * i] = static_cast<BYTE>(text[i] & 0xFF);
        value->bytes[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    value->known = 1;
    value->type = REG_SZ;
    value->size = static_cast<DWORD>(2 * units);
}

bool SameValue(const StoredValueCopy& a, const StoredValueCopy& b)
{
    if (a.known == 0 || b.known == 0 || a.type != b.type || a.size != b.size)
        return false;
    for (DWORD i = 0; i < a.size; ++i) {
        if (a.bytes[i] != b.bytes[i])
            return false;
    }
    return true;
}

// Reads the values into the record and notes what the store held of
// each. A value the store lacks is noted as the record has it, so that the
// next save fills it in; one of the later rows takes its default first, as
// a store written before the row existed says nothing about it.
void ReadValues(HKEY key)
{
    for (int index = 0; index < settingNameCount; ++index) {
        StoredValueCopy& held = storeCopy.values[index];
        held = StoredValueCopy{};
        const std::int32_t found = QueryValue(key, storedSettings[index].name, &held);
        if (found == VALUE_READ) {
            TakeValue(index, held);
            continue;
        }
        // A later row that an older store does not hold (or cannot give):
        // its default, not what the record held before.
        if (index >= firstReleaseSettingCount)
            SetDefaultSetting(&settings, index);
        if (found == VALUE_ABSENT)
            FormatValue(index, &held);
    }
}

// Whether setting `index` holds a fresh install's value.
bool AtDefault(int index)
{
    SettingsRecord fresh{};
    SetDefaultSetting(&fresh, index);
    WCHAR ours[settingValueUnits], theirs[settingValueUnits];
    FormatSettingValue(settings, index, ours);
    FormatSettingValue(fresh, index, theirs);
    return wcscmp(ours, theirs) == 0;
}

// No store yet: the defaults, noted as the values a first save writes.
void UseDefaults()
{
    SetDefaultSettings(&settings);
    for (int index = 0; index < settingNameCount; ++index)
        FormatValue(index, &storeCopy.values[index]);
}

LONG WriteText(HKEY key, LPCWSTR name, LPCWSTR text)
{
    const auto size = static_cast<DWORD>(sizeof(WCHAR) * (wcslen(text) + 1));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
}

LONG WriteNumber(HKEY key, LPCWSTR name, std::int32_t value)
{
    WCHAR buffer[textBufferUnits];
    wsprintfW(buffer, u"%d", value);
    return WriteText(key, name, buffer);
}

// Keeps the first failure of a series of writes.
void KeepFirstFailure(LONG* kept, LONG result)
{
    if (*kept == ERROR_SUCCESS)
        *kept = result;
}

// Why a save failed, for the user (string id) and for the event log.
struct SaveFailure {
    LONG result;
    UINT textId;
    LPCWSTR logWords;
};

const SaveFailure saveFailures[] = {
    {ERROR_ACCESS_DENIED, strStoreAccessDenied, u"access denied"},
    {ERROR_DISK_FULL, strStoreFull, u"disk full"},
    {ERROR_WRITE_PROTECT, strStoreReadOnly, u"read-only storage"},
    {ERROR_FILE_INVALID, strStoreNotAFile, u"not a file in the settings file's place"},
    {ERROR_PATH_NOT_FOUND, strStoreNoFolder, u"folder cannot be created"},
    {ERROR_FILE_TOO_LARGE, strStoreTooLarge, u"the settings file is larger than 64 MB"},
    {ERROR_FILE_CORRUPT, strStoreCutShort,
     u"the settings file is cut short: its last line has no end"},
    {ERROR_INVALID_OWNER, strStoreOtherOwner,
     u"the settings file or its folder belongs to another user"},
    {ERROR_INVALID_ACL, strStoreOpenToOthers, u"others may change the settings file or its folder"},
};
const SaveFailure otherSaveFailure = {ERROR_SUCCESS, strStoreError, u"read or write error"};

const SaveFailure& FindSaveFailure(LONG result)
{
    for (const SaveFailure& failure : saveFailures) {
        if (failure.result == result)
            return failure;
    }
    return otherSaveFailure;
}

} // namespace

LONG LoadSettings()
{
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath, 0, 0, &key);
    if (result != ERROR_SUCCESS) {
        UseDefaults();
        ComputeLimits();
        return result;
    }
    ReadValues(key);

    // The marker's content is never looked at: any readable value means the
    // first start has already happened.
    WCHAR marker[textBufferUnits];
    if (!ReadText(key, firstUseValueName, marker)) {
        WriteNumber(key, firstUseValueName, 1);
        firstUse = 1;
    }

    RegCloseKey(key);
    ComputeLimits();
    return result;
}

LONG WriteFirstSettings()
{
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath, 0, 0, &key);
    if (result == ERROR_SUCCESS)
        RegCloseKey(key);
    if (result != ERROR_FILE_NOT_FOUND && result != ERROR_PATH_NOT_FOUND)
        return result;
    UseDefaults();
    settings.Language = GetUserDefaultUILanguage() == LANG_GERMAN_GERMANY ? 0 : 1;
    return SaveSettings();
}

LONG ReadSettings()
{
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath, 0, 0, &key);
    if (result != ERROR_SUCCESS) {
        UseDefaults();
    } else {
        ReadValues(key);
        RegCloseKey(key);
    }
    ComputeLimits();
    return result;
}

// A save writes, in the store's order, each value this process changed since
// it last read or wrote it, and each value the store lacks. A value this
// process left alone is not written, so that what another program saved in
// the meantime stays; the store merges the writes into the file as it is
// then, under its lock.
LONG SaveSettings()
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath, 0, u"", 0, 0, nullptr, &key,
                                  &disposition);
    if (result != ERROR_SUCCESS)
        return result;

    StoredValueCopy written[settingNameCount] = {};
    for (int index = 0; index < settingNameCount; ++index) {
        StoredValueCopy ours{};
        FormatValue(index, &ours);
        StoredValueCopy theirs{};
        if (SameValue(ours, storeCopy.values[index])) {
            if (QueryValue(key, storedSettings[index].name, &theirs) != VALUE_ABSENT)
                continue;
            if (index >= firstReleaseSettingCount && AtDefault(index))
                continue;
        }
        // A failed write does not stop the others; the first failure is told.
        const LONG write =
            RegSetValueExW(key, storedSettings[index].name, 0, REG_SZ, ours.bytes, ours.size);
        KeepFirstFailure(&result, write);
        if (write == ERROR_SUCCESS)
            written[index] = ours;
    }

    // The writes reach the store only here.
    const LONG commit = RegCloseKey(key);
    KeepFirstFailure(&result, commit);
    for (int index = 0; commit == ERROR_SUCCESS && index < settingNameCount; ++index) {
        if (written[index].known != 0)
            storeCopy.values[index] = written[index];
    }
    return result;
}

LONG TakeStoredSettings(std::uint32_t fields, std::uint32_t* taken)
{
    *taken = 0;
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath, 0, 0, &key);
    if (result != ERROR_SUCCESS)
        return result;
    for (int index = 0; index < settingNameCount; ++index) {
        if ((fields & (1u << index)) == 0)
            continue;
        StoredValueCopy& held = storeCopy.values[index];
        StoredValueCopy theirs{};
        const std::int32_t found = QueryValue(key, storedSettings[index].name, &theirs);
        if (found == VALUE_UNREADABLE)
            held.known = 0; // the next save writes the record's value
        if (found != VALUE_READ || SameValue(theirs, held))
            continue;
        StoredValueCopy before{}, after{};
        FormatValue(index, &before);
        TakeValue(index, theirs);
        FormatValue(index, &after);
        held = theirs;
        if (!SameValue(before, after))
            *taken |= 1u << index;
    }
    RegCloseKey(key);
    return result;
}

UINT SaveFailureTextId(LONG result)
{
    return FindSaveFailure(result).textId;
}

LPCWSTR SaveFailureLogWords(LONG result)
{
    return FindSaveFailure(result).logWords;
}
