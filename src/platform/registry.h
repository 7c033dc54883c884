// A registry-like store of named values under keys.
//
// Guarantees to the caller:
// - Key paths are compared exactly; value names too.
// - RegQueryValueExW copies at most *size bytes. A value larger than *size
//   is refused with ERROR_MORE_DATA and *size set to the size it needs;
//   nothing is copied then. On success *size is the stored size and *type
//   the stored type (either pointer may be null).
// - Writes made between opening (or creating) a key and closing it become
//   visible to other processes together, when the key is closed; a crash
//   before that leaves the store as it was. Reads through the open key see
//   the writes already made through it.
// - Window thread only.
#pragma once

#include "platform/types.h"

using REGSAM = DWORD;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

extern const HKEY HKEY_LOCAL_MACHINE;

LONG RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD reserved, LPCWSTR keyClass, DWORD options,
                     REGSAM access, const void* security, HKEY* result, DWORD* disposition);
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size);
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegCloseKey(HKEY key);
