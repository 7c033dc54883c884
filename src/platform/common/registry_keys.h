// SPDX-License-Identifier: GPL-3.0-or-later
// The registry's keys over a store, as the simulated store and the settings
// file share them: the root key, the keys open, what a key read at its
// opening and the writes made through it, and the checks of every call's
// arguments. A store says how a key is read from it and how a key's writes
// become part of it; the calls of platform/registry.h are then one line
// each.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"

struct StoredValue {
    DWORD type = 0;
    std::vector<BYTE> bytes;
};
using StoreValues = std::map<std::u16string, StoredValue>;

struct PlatformKey {
    bool isRoot = false;
    std::string location; // which store the key lies in, as its store names it
    std::u16string path;
    bool createKey = false; // the key was missing when it was created
    StoreValues values;     // as read at opening, with this key's writes
    StoreValues pending;    // this key's writes, for the commit
};

struct KeyStore {
    // The store a key opened from the root lies in now.
    std::string (*locate)();
    // Reads key `path` of the store at `location` into *values (*exists
    // false when the store has no such key). `create`: the key is opened to
    // be written. ERROR_SUCCESS, or why the store cannot be read (or, for
    // `create`, written).
    LONG(*read)
    (const std::string& location, const std::u16string& path, bool create, StoreValues* values,
     bool* exists);
    // ERROR_SUCCESS when a write of `name` is taken, else why not; null:
    // every write is.
    LONG (*write)(const std::u16string& name);
    // Makes the key's writes (and the key, when it was created) part of the
    // store, together: ERROR_SUCCESS, or why not, and then nothing of them.
    LONG (*commit)(const PlatformKey& key);
};

// RegOpenKeyExW (create false) and RegCreateKeyExW (create true).
LONG OpenStoreKey(const KeyStore& store, HKEY root, LPCWSTR subKey, bool create, HKEY* result,
                  DWORD* disposition);
LONG QueryStoreValue(HKEY key, LPCWSTR valueName, DWORD* type, BYTE* data, DWORD* size);
LONG SetStoreValue(const KeyStore& store, HKEY key, LPCWSTR valueName, DWORD type, const BYTE* data,
                   DWORD size);
LONG CloseStoreKey(const KeyStore& store, HKEY key);
// Keys opened or created and not yet closed.
long OpenStoreKeyCount();
