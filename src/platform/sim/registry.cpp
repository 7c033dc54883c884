// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_registry.h"

namespace {

struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

using ValueMap = std::map<std::u16string, StoredValue>;

std::map<std::u16string, ValueMap> store;
std::set<HKEY> openKeys;
long generation = 0; // bumped by a clear, so older keys drop their writes
long writeCount = 0;
bool failOpen = false;
bool failCreate = false;
LONG failCommit = ERROR_SUCCESS; // the next commit's result, when not ERROR_SUCCESS
std::multiset<std::u16string> failWrites;

} // namespace

struct PlatformKey {
    bool isRoot = false;
    std::u16string path;
    long generation = 0;
    bool createKey = false; // the key did not exist when it was created
    ValueMap pending;       // writes not yet visible in the store
};

namespace {

PlatformKey rootKey{true, {}, 0, false, {}};

std::u16string Text(LPCWSTR text)
{
    return text != nullptr ? std::u16string(text) : std::u16string();
}

bool IsUsable(HKEY key)
{
    return key == &rootKey || openKeys.count(key) != 0;
}

std::u16string FullPath(HKEY root, LPCWSTR subKey)
{
    const std::u16string sub = Text(subKey);
    if (root->isRoot || sub.empty()) {
        return root->isRoot ? sub : root->path;
    }
    return root->path + u"\\" + sub;
}

HKEY NewKey(const std::u16string& path, bool createKey)
{
    auto* key = new PlatformKey{false, path, generation, createKey, {}};
    openKeys.insert(key);
    return key;
}

} // namespace

const HKEY HKEY_LOCAL_MACHINE = &rootKey;

LONG RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD, REGSAM, HKEY* result)
{
    if (result == nullptr || !IsUsable(root)) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (failOpen) {
        return ERROR_ACCESS_DENIED;
    }
    const std::u16string path = FullPath(root, subKey);
    if (store.count(path) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = NewKey(path, false);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD, LPCWSTR, DWORD, REGSAM, const void*,
                     HKEY* result, DWORD* disposition)
{
    if (result == nullptr || !IsUsable(root)) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (failCreate) {
        return ERROR_ACCESS_DENIED;
    }
    const std::u16string path = FullPath(root, subKey);
    const bool exists = store.count(path) != 0;
    if (disposition != nullptr) {
        *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    *result = NewKey(path, !exists);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    if (key == nullptr || key->isRoot || !IsUsable(key) || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::u16string name = Text(valueName);
    const StoredValue* value = nullptr;
    if (key->generation == generation) {
        auto pending = key->pending.find(name);
        if (pending != key->pending.end()) {
            value = &pending->second;
        }
    }
    if (value == nullptr) {
        auto values = store.find(key->path);
        if (values != store.end()) {
            auto found = values->second.find(name);
            if (found != values->second.end()) {
                value = &found->second;
            }
        }
    }
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    const auto needed = static_cast<DWORD>(value->bytes.size());
    if (data != nullptr && needed > *size) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        for (DWORD i = 0; i < needed; ++i) {
            data[i] = value->bytes[i];
        }
    }
    if (size != nullptr) {
        *size = needed;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    if (key == nullptr || key->isRoot || !IsUsable(key) || (data == nullptr && size != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::u16string name = Text(valueName);
    auto failure = failWrites.find(name);
    if (failure != failWrites.end()) {
        failWrites.erase(failure);
        return ERROR_ACCESS_DENIED;
    }
    StoredValue& value = key->pending[name];
    value.type = type;
    value.bytes.assign(data, data + size);
    ++writeCount;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (key == &rootKey) {
        return ERROR_SUCCESS;
    }
    if (key == nullptr || openKeys.erase(key) == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key->generation == generation && (key->createKey || !key->pending.empty()) &&
        failCommit != ERROR_SUCCESS) {
        const LONG result = failCommit;
        failCommit = ERROR_SUCCESS;
        delete key;
        return result;
    }
    if (key->generation == generation && (key->createKey || !key->pending.empty())) {
        ValueMap& values = store[key->path];
        for (auto& [name, value] : key->pending) {
            values[name] = std::move(value);
        }
    }
    delete key;
    return ERROR_SUCCESS;
}

void SimRegistryClear()
{
    store.clear();
    ++generation;
    writeCount = 0;
    failOpen = false;
    failCreate = false;
    failCommit = ERROR_SUCCESS;
    failWrites.clear();
}

void SimRegistrySetValue(const std::u16string& path, const std::u16string& name, DWORD type,
                         const std::vector<BYTE>& bytes)
{
    store[path][name] = StoredValue{type, bytes};
}

void SimRegistrySetText(const std::u16string& path, const std::u16string& name,
                        const std::u16string& text)
{
    std::vector<BYTE> bytes;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char16_t unit = i < text.size() ? text[i] : u'\0';
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    SimRegistrySetValue(path, name, REG_SZ, bytes);
}

void SimRegistryCreateKey(const std::u16string& path)
{
    store[path];
}

void SimRegistryDeleteValue(const std::u16string& path, const std::u16string& name)
{
    auto values = store.find(path);
    if (values != store.end()) {
        values->second.erase(name);
    }
}

bool SimRegistryGetValue(const std::u16string& path, const std::u16string& name, DWORD* type,
                         std::vector<BYTE>* bytes)
{
    auto values = store.find(path);
    if (values == store.end()) {
        return false;
    }
    auto found = values->second.find(name);
    if (found == values->second.end()) {
        return false;
    }
    if (type != nullptr) {
        *type = found->second.type;
    }
    if (bytes != nullptr) {
        *bytes = found->second.bytes;
    }
    return true;
}

bool SimRegistryKeyExists(const std::u16string& path)
{
    return store.count(path) != 0;
}

void SimRegistryFailOpen(bool fail)
{
    failOpen = fail;
}

void SimRegistryFailCreate(bool fail)
{
    failCreate = fail;
}

void SimRegistryFailCommit(LONG code)
{
    failCommit = code;
}

void SimRegistryFailWriteOf(const std::u16string& name)
{
    failWrites.insert(name);
}

long SimRegistryWriteCount()
{
    return writeCount;
}

long SimRegistryOpenKeys()
{
    return static_cast<long>(openKeys.size());
}

namespace {
SimResetHook registryReset(SimRegistryClear);
} // namespace
