// SPDX-License-Identifier: GPL-3.0-or-later
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
// - Results are the platform's error codes. Opening or creating a key fails
//   when the store exists but cannot be read, and RegCloseKey returns the
//   result of committing the key's writes (then nothing of them is kept):
//     ERROR_FILE_NOT_FOUND     the key or value does not exist (open, query);
//     ERROR_PATH_NOT_FOUND     the store's folder is missing and cannot be
//                              made (a file stands where a folder must be);
//     ERROR_ACCESS_DENIED      the store or its folder may not be read or
//                              written;
//     ERROR_FILE_INVALID       something that is not a store file (a folder,
//                              a pipe, a device) stands in the store's place;
//     ERROR_INVALID_OWNER      the store or its folder belongs to another user;
//     ERROR_INVALID_ACL        others may change the store or its folder;
//     ERROR_FILE_TOO_LARGE     the store is larger than any store written;
//     ERROR_FILE_CORRUPT       the store was cut short (its last line has no
//                              end);
//     ERROR_DISK_FULL          no room left to write the store;
//     ERROR_WRITE_PROTECT      the store lies on read-only storage;
//     ERROR_READ_FAULT, ERROR_WRITE_FAULT  any other failure to read or write.
//   A store that exists but cannot be read is never replaced: every commit
//   to it fails and it stays as it is.
// - Opening the store never waits (a pipe in its place is refused at once),
//   and a commit never writes through a link: the new content goes to a
//   fresh file of its own that then takes the store's place.
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
