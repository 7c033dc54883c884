// SPDX-License-Identifier: GPL-3.0-or-later
// Wide-string helpers of the core library, on UTF-16 text.
#pragma once

#include "platform/types.h"

// Formats like the platform's wsprintfW: supports %d, %u, %s (UTF-16),
// %% and a zero-padded width such as %02d. Writes at most 1024 units with
// the terminator; returns the number of units written without it.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);

// Leading white space, an optional sign, then decimal digits up to the first
// other character; 0 when there is no digit. A number beyond the 32-bit range
// gives INT32_MAX or INT32_MIN.
int _wtoi(LPCWSTR text);

std::size_t wcslen(LPCWSTR text);
// Negative, 0 or positive as a sorts before, equals or after b, unit by unit.
int wcscmp(LPCWSTR a, LPCWSTR b);
