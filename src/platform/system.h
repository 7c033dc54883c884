// SPDX-License-Identifier: GPL-3.0-or-later
// Heap, local time, sleeping and the named lock.
#pragma once

#include "platform/types.h"

// Heap. LocalAlloc returns null when the heap cannot supply the block;
// LMEM_ZEROINIT clears it. Any thread may call these.
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
void* LocalAlloc(UINT flags, std::size_t bytes);
void* LocalFree(void* block); // null on success

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
void GetLocalTime(SYSTEMTIME* time);

void Sleep(DWORD milliseconds);

// A lock by name, one per user: every process of the user finds the same
// lock whatever its environment, and no other user can take or block it.
// It lives until its last handle is closed or its process ends (a crashed
// process never leaves it behind). After CreateMutexW, GetLastError tells
// ERROR_ALREADY_EXISTS when another holder had it; null with
// ERROR_ACCESS_DENIED when the user has no private place for locks.
HANDLE CreateMutexW(const void* securityAttributes, BOOL initialOwner, LPCWSTR name);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();
