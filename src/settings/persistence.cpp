// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry.h"
#include "platform/strings.h"
#include "settings/settings.h"

std::int32_t firstUse;

namespace {

constexpr LPCWSTR settingsKeyPath = u"Software\\Veltrano\\CradleCom\\Settings";
constexpr int textBufferUnits = 256;
constexpr DWORD readLimitBytes = 250;

// Reads a value as text. The stored bytes need not end in a null or even be
// a whole number of units, so the text is ended at the last whole unit
// returned, never beyond it.
bool ReadText(HKEY key, LPCWSTR name, WCHAR (&buffer)[textBufferUnits])
{
    DWORD type = REG_NONE;
    DWORD size = readLimitBytes;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (size > readLimitBytes) {
        size = readLimitBytes;
    }
    buffer[size / sizeof(WCHAR)] = 0;
    return true;
}

void ReadNumber(HKEY key, LPCWSTR name, std::int32_t& field)
{
    WCHAR buffer[textBufferUnits];
    if (ReadText(key, name, buffer)) {
        field = _wtoi(buffer);
    }
}

// A number longer than the field is refused whole: a cut number would
// ring somebody else.
void ReadPhoneNumber(HKEY key)
{
    WCHAR buffer[textBufferUnits];
    if (!ReadText(key, u"PhoneNumber", buffer)) {
        return;
    }
    const std::size_t length = wcslen(buffer);
    if (length >= static_cast<std::size_t>(phoneNumberCapacity)) {
        return;
    }
    for (std::size_t i = 0; i <= length; ++i) {
        settings.PhoneNumber[i] = buffer[i];
    }
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
    {ERROR_ACCESS_DENIED, 1041, u"access denied"},
    {ERROR_DISK_FULL, 1042, u"disk full"},
    {ERROR_WRITE_PROTECT, 1043, u"read-only storage"},
    {ERROR_FILE_INVALID, 1044, u"not a file in the settings file's place"},
    {ERROR_PATH_NOT_FOUND, 1045, u"folder cannot be created"},
};
const SaveFailure otherSaveFailure = {ERROR_SUCCESS, 1046, u"read or write error"};

const SaveFailure& FindSaveFailure(LONG result)
{
    for (const SaveFailure& failure : saveFailures) {
        if (failure.result == result)
            return failure;
    }
    return otherSaveFailure;
}

} // namespace

static void UseDefaults()
{
    settings.VolSensi = 50;
    settings.VolThresh = 50;
    settings.CryThresh = 50;
    settings.PhoneDelay = 1;
    settings.PhoneMaxCalls = 10;
}

static void ReadValues(HKEY key)
{
    ReadNumber(key, u"VolSensi", settings.VolSensi);
    ReadNumber(key, u"VolThresh", settings.VolThresh);
    ReadNumber(key, u"CryThresh", settings.CryThresh);
    ReadPhoneNumber(key);
    ReadNumber(key, u"PhoneDelay", settings.PhoneDelay);
    ReadNumber(key, u"PhoneMaxCalls", settings.PhoneMaxCalls);
    ReadNumber(key, u"Language", settings.Language);
}

void LoadSettings()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath, 0, 0, &key) != ERROR_SUCCESS) {
        UseDefaults();
        ComputeLimits();
        return;
    }
    ReadValues(key);

    // The marker's content is never looked at: any readable value means the
    // first start has already happened.
    WCHAR marker[textBufferUnits];
    if (!ReadText(key, u"FirstUse", marker)) {
        WriteNumber(key, u"FirstUse", 1);
        firstUse = 1;
    }

    RegCloseKey(key);
    ComputeLimits();
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

LONG SaveSettings()
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, settingsKeyPath, 0, u"", 0, 0, nullptr, &key,
                                  &disposition);
    if (result != ERROR_SUCCESS)
        return result;

    // The field is copied through a buffer that is always terminated, so an
    // unterminated field can never be read past its end.
    WCHAR number[textBufferUnits];
    int length = 0;
    while (length < phoneNumberCapacity - 1 && settings.PhoneNumber[length] != 0) {
        number[length] = settings.PhoneNumber[length];
        ++length;
    }
    number[length] = 0;

    // A failed write does not stop the others; the first failure is told.
    KeepFirstFailure(&result, WriteNumber(key, u"VolSensi", settings.VolSensi));
    KeepFirstFailure(&result, WriteNumber(key, u"VolThresh", settings.VolThresh));
    KeepFirstFailure(&result, WriteNumber(key, u"CryThresh", settings.CryThresh));
    KeepFirstFailure(&result, WriteText(key, u"PhoneNumber", number));
    KeepFirstFailure(&result, WriteNumber(key, u"PhoneDelay", settings.PhoneDelay));
    KeepFirstFailure(&result, WriteNumber(key, u"PhoneMaxCalls", settings.PhoneMaxCalls));
    KeepFirstFailure(&result, WriteNumber(key, u"Language", settings.Language));

    // The writes reach the store only here.
    KeepFirstFailure(&result, RegCloseKey(key));
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
