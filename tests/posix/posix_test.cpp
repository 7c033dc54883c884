// SPDX-License-Identifier: GPL-3.0-or-later
// Heap, local time and sleeping on POSIX.
#include <chrono>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>

#include "platform/system.h"

namespace {

TEST(PosixSystem, ZeroInitClearsABlockThatHeldData)
{
    for (std::size_t bytes : {std::size_t{16}, std::size_t{4096}, std::size_t{100000}}) {
        auto* dirty = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, bytes));
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0xAB, bytes);
        EXPECT_EQ(LocalFree(dirty), nullptr);
        auto* clean = static_cast<unsigned char*>(LocalAlloc(LPTR, bytes));
        ASSERT_NE(clean, nullptr);
        for (std::size_t i = 0; i < bytes; ++i)
            ASSERT_EQ(clean[i], 0) << bytes << " at " << i;
        EXPECT_EQ(LocalFree(clean), nullptr);
    }
    void* empty = LocalAlloc(LPTR, 0);
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(LocalFree(empty), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(PosixSystem, LocalTimeIsTheWallClockInTheLocalZone)
{
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    // Read between two readings of the wall clock: the local time, turned
    // back into seconds, lies between them, even across the turn of a
    // minute, an hour or a day (in the hour that comes twice, one of the two
    // readings of it does).
    std::time_t before = std::time(nullptr);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::time_t after = std::time(nullptr);
    bool between = false;
    for (int daylightSaving : {0, 1}) {
        std::tm fields{};
        fields.tm_year = now.wYear - 1900;
        fields.tm_mon = now.wMonth - 1;
        fields.tm_mday = now.wDay;
        fields.tm_hour = now.wHour;
        fields.tm_min = now.wMinute;
        fields.tm_sec = now.wSecond;
        fields.tm_isdst = daylightSaving;
        std::time_t read = std::mktime(&fields);
        std::tm back{};
        localtime_r(&read, &back);
        if (read >= before && read <= after && back.tm_hour == now.wHour) {
            between = true;
            EXPECT_EQ(now.wDayOfWeek, back.tm_wday);
        }
    }
    EXPECT_TRUE(between) << now.wYear << "-" << now.wMonth << "-" << now.wDay << " " << now.wHour
                         << ":" << now.wMinute << ":" << now.wSecond;
    EXPECT_LT(now.wMilliseconds, 1000);
}

TEST(PosixSystem, SleepWaitsAtLeastTheTimeAsked)
{
    auto begun = std::chrono::steady_clock::now();
    Sleep(40);
    auto waited = std::chrono::steady_clock::now() - begun;
    EXPECT_GE(waited, std::chrono::milliseconds(40));
}

} // namespace
