// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/common/registry_keys.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_registry.h"

namespace {

std::map<std::u16string, StoreValues> store;
long generation = 0; // bumped by a clear: keys opened before it lie in a store gone
long writeCount = 0;
bool failOpen = false;
bool failCreate = false;
LONG failCommit = ERROR_SUCCESS; // the next commit's result, when not ERROR_SUCCESS
std::multiset<std::u16string> failWrites;

std::string Generation()
{
    return std::to_string(generation);
}

LONG ReadKey(const std::string&, const std::u16string& path, bool create, StoreValues* values,
             bool* exists)
{
    if (create ? failCreate : failOpen) {
        return ERROR_ACCESS_DENIED;
    }
    auto found = store.find(path);
    *exists = found != store.end();
    if (*exists) {
        *values = found->second;
    }
    return ERROR_SUCCESS;
}

LONG TakeWrite(const std::u16string& name)
{
    auto failure = failWrites.find(name);
    if (failure != failWrites.end()) {
        failWrites.erase(failure);
        return ERROR_ACCESS_DENIED;
    }
    ++writeCount;
    return ERROR_SUCCESS;
}

// A key of a store since cleared drops its writes.
LONG CommitKey(const PlatformKey& key)
{
    if (key.location != Generation()) {
        return ERROR_SUCCESS;
    }
    if (failCommit != ERROR_SUCCESS) {
        const LONG result = failCommit;
        failCommit = ERROR_SUCCESS;
        return result;
    }
    StoreValues& values = store[key.path];
    for (const auto& [name, value] : key.pending) {
        values[name] = value;
    }
    return ERROR_SUCCESS;
}

const KeyStore simStore{Generation, ReadKey, TakeWrite, CommitKey};

} // namespace

LONG RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD, REGSAM, HKEY* result)
{
    return OpenStoreKey(simStore, root, subKey, false, result, nullptr);
}

LONG RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD, LPCWSTR, DWORD, REGSAM, const void*,
                     HKEY* result, DWORD* disposition)
{
    return OpenStoreKey(simStore, root, subKey, true, result, disposition);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    return QueryStoreValue(key, valueName, type, data, size);
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    return SetStoreValue(simStore, key, valueName, type, data, size);
}

LONG RegCloseKey(HKEY key)
{
    return CloseStoreKey(simStore, key);
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
    return OpenStoreKeyCount();
}

namespace {
SimResetHook registryReset(SimRegistryClear);
} // namespace
