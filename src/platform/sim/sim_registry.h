// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated registry's controls, for tests.
//
// The store lives in memory, one per process, and keeps the meaning of the
// real one: a key reads the store as it was when the key was opened, with
// the key's own writes; writes through a key become visible here when the
// key is closed; values keep their exact type and bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

// Empties the store and clears every injected failure and counter. Keys
// still open stay valid, but their writes are dropped.
void SimRegistryClear();

// Stores a value directly, creating its key. Paths and names are compared
// exactly.
void SimRegistrySetValue(const std::u16string& path, const std::u16string& name, DWORD type,
                         const std::vector<BYTE>& bytes);
// Convenience: stores `text` as REG_SZ with its terminating null.
void SimRegistrySetText(const std::u16string& path, const std::u16string& name,
                        const std::u16string& text);
// Creates an empty key.
void SimRegistryCreateKey(const std::u16string& path);
void SimRegistryDeleteValue(const std::u16string& path, const std::u16string& name);

// Returns false when the value does not exist; type and bytes may be null.
bool SimRegistryGetValue(const std::u16string& path, const std::u16string& name, DWORD* type,
                         std::vector<BYTE>* bytes);
bool SimRegistryKeyExists(const std::u16string& path);

// Injected failures: every RegOpenKeyExW, or every RegCreateKeyExW, fails
// while set; the next RegSetValueExW of `name` fails once.
void SimRegistryFailOpen(bool fail);
void SimRegistryFailCreate(bool fail);
void SimRegistryFailWriteOf(const std::u16string& name);
// The next RegCloseKey that would commit writes fails with `code` instead
// and drops them, as a full disk would.
void SimRegistryFailCommit(LONG code);

// Successful RegSetValueExW calls since the last clear.
long SimRegistryWriteCount();
// Keys opened or created and not yet closed.
long SimRegistryOpenKeys();
