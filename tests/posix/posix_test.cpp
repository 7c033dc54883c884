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
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::time_t seconds = std::time(nullptr);
    std::tm expected{};
    localtime_r(&seconds, &expected);
    EXPECT_EQ(now.wYear, expected.tm_year + 1900);
    EXPECT_EQ(now.wMonth, expected.tm_mon + 1);
    EXPECT_EQ(now.wDay, expected.tm_mday);
    EXPECT_EQ(now.wDayOfWeek, expected.tm_wday);
    EXPECT_EQ(now.wHour, expected.tm_hour);
    int got = now.wMinute * 60 + now.wSecond;
    int want = expected.tm_min * 60 + expected.tm_sec;
    EXPECT_LE(std::abs(got - want), 1); // read a moment apart
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
