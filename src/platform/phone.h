// The phone: places a voice call. The result is never read by the system.
#pragma once

#include "platform/types.h"

constexpr DWORD PMCF_DEFAULT = 0x00000001;

struct PHONEMAKECALLINFO {
    DWORD cbSize;
    DWORD dwFlags;
    LPCWSTR pszDestAddress;
    LPCWSTR pszAppName;
    LPCWSTR pszCalledParty;
    LPCWSTR pszComment;
};

// Asks the phone to call pszDestAddress. Returns at once; the call goes on
// without the caller. The request and its text need not outlive the call.
LONG PhoneMakeCall(PHONEMAKECALLINFO* request);
