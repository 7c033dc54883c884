// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/common/registry_keys.h"

#include <set>

namespace {

PlatformKey rootKey{true, {}, {}, false, {}, {}};
std::set<HKEY> openKeys;

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

} // namespace

const HKEY HKEY_LOCAL_MACHINE = &rootKey;

LONG OpenStoreKey(const KeyStore& store, HKEY root, LPCWSTR subKey, bool create, HKEY* result,
                  DWORD* disposition)
{
    if (result == nullptr || !IsUsable(root)) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    const std::string location = root->isRoot ? store.locate() : root->location;
    const std::u16string path = FullPath(root, subKey);
    StoreValues values;
    bool exists = false;
    const LONG read = store.read(location, path, create, &values, &exists);
    if (read != ERROR_SUCCESS) {
        return read;
    }
    if (!exists && !create) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (create && disposition != nullptr) {
        *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    auto* key = new PlatformKey{false, location, path, !exists, std::move(values), {}};
    openKeys.insert(key);
    *result = key;
    return ERROR_SUCCESS;
}

LONG QueryStoreValue(HKEY key, LPCWSTR valueName, DWORD* type, BYTE* data, DWORD* size)
{
    if (!IsUsable(key) || key->isRoot || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    auto found = key->values.find(Text(valueName));
    if (found == key->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const StoredValue& value = found->second;
    const auto needed = static_cast<DWORD>(value.bytes.size());
    if (data != nullptr && needed > *size) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        for (DWORD i = 0; i < needed; ++i) {
            data[i] = value.bytes[i];
        }
    }
    if (size != nullptr) {
        *size = needed;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    return ERROR_SUCCESS;
}

LONG SetStoreValue(const KeyStore& store, HKEY key, LPCWSTR valueName, DWORD type, const BYTE* data,
                   DWORD size)
{
    if (!IsUsable(key) || key->isRoot || (data == nullptr && size != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::u16string name = Text(valueName);
    if (store.write != nullptr) {
        const LONG taken = store.write(name);
        if (taken != ERROR_SUCCESS) {
            return taken;
        }
    }
    StoredValue value{type, std::vector<BYTE>(data, data + size)};
    key->values[name] = value;
    key->pending[name] = std::move(value);
    return ERROR_SUCCESS;
}

LONG CloseStoreKey(const KeyStore& store, HKEY key)
{
    if (key == &rootKey) {
        return ERROR_SUCCESS;
    }
    if (key == nullptr || openKeys.erase(key) == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    LONG result = ERROR_SUCCESS;
    if (key->createKey || !key->pending.empty()) {
        result = store.commit(*key);
    }
    delete key;
    return result;
}

long OpenStoreKeyCount()
{
    return static_cast<long>(openKeys.size());
}
