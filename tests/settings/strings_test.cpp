// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/strings.h"

namespace {

std::u16string Format(int& length, LPCWSTR format, int a, int b = 0)
{
    WCHAR buffer[1024];
    length = wsprintfW(buffer, format, a, b);
    return buffer;
}

TEST(WideStrings, FormatsSupportedConversions)
{
    int length = 0;
    EXPECT_EQ(Format(length, u"%d", 50), u"50");
    EXPECT_EQ(length, 2);
    EXPECT_EQ(Format(length, u"%d", -5), u"-5");
    EXPECT_EQ(Format(length, u"%d", INT_MIN), u"-2147483648");
    EXPECT_EQ(Format(length, u"%d", 0), u"0");
    EXPECT_EQ(Format(length, u"%02d:%02d", 7, 45), u"07:45");
    EXPECT_EQ(Format(length, u"%02d", 123), u"123");
    EXPECT_EQ(Format(length, u"%03d", -5), u"-05");
    EXPECT_EQ(Format(length, u"%u%%", -1), u"4294967295%");
    EXPECT_EQ(length, 11);
    EXPECT_EQ(Format(length, u"%q%d", 3), u"%q3"); // unknown: kept, no argument used

    WCHAR buffer[64];
    EXPECT_EQ(wsprintfW(buffer, u"[%s|%s]", u"Ruf", u""), 6);
    EXPECT_EQ(std::u16string(buffer), u"[Ruf|]");
}

TEST(WideStrings, FormatStopsAtTheBufferLimit)
{
    std::u16string longText(2000, u'x');
    std::u16string out(1100, u'#');
    EXPECT_EQ(wsprintfW(out.data(), u"%s", longText.c_str()), 1023);
    EXPECT_EQ(out[1022], u'x');
    EXPECT_EQ(out[1023], u'\0');
    EXPECT_EQ(out[1024], u'#');
}

TEST(WideStrings, WtoiReadsLeadingNumberAndClamps)
{
    EXPECT_EQ(_wtoi(u"  \t-17abc"), -17);
    EXPECT_EQ(_wtoi(u"+8"), 8);
    EXPECT_EQ(_wtoi(u"- 8"), 0);
    EXPECT_EQ(_wtoi(u""), 0);
    EXPECT_EQ(_wtoi(u"x1"), 0);
    EXPECT_EQ(_wtoi(u"0000000000000000000012"), 12);
    EXPECT_EQ(_wtoi(u"2147483647"), INT_MAX);
    EXPECT_EQ(_wtoi(u"2147483648"), INT_MAX);
    EXPECT_EQ(_wtoi(u"-2147483648"), INT_MIN);
    EXPECT_EQ(_wtoi(u"-2147483649"), INT_MIN);
    EXPECT_EQ(_wtoi(u"123456789012345678901234567890"), INT_MAX);
    EXPECT_EQ(wcslen(u"Notruf"), 6u);
    EXPECT_EQ(wcslen(u""), 0u);
}

} // namespace
