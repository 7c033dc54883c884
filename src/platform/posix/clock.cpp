// SPDX-License-Identifier: GPL-3.0-or-later
// Local wall-clock time and sleeping.
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

#include "platform/system.h"

void GetLocalTime(SYSTEMTIME* time)
{
    // localtime_r need not read TZ by itself; do it once.
    static std::once_flag zoneRead;
    std::call_once(zoneRead, [] { tzset(); });

    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday); // 0 is Sunday
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
