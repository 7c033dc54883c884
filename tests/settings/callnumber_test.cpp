// SPDX-License-Identifier: GPL-3.0-or-later
// The one rule for what may be dialled.
#include <gtest/gtest.h>

#include <string>

#include "settings/settings.h"

namespace {

struct NumberCase {
    const char16_t* text;
    std::int32_t check;
};

TEST(CallNumber, DigitsAndDiallingMarksOnlyNeverAnOption)
{
    const NumberCase cases[] = {
        {u"+49 (170) 123-45/67", CALLNUMBER_OK},
        {u"*31#0171 2345", CALLNUMBER_OK},
        {u"0", CALLNUMBER_OK},
        {u" -5", CALLNUMBER_OK}, // the space keeps it from reading as an option
        {u"", CALLNUMBER_EMPTY},
        {u"-5", CALLNUMBER_BAD},
        {u"--help", CALLNUMBER_BAD},
        {u"0171 2345; rm x", CALLNUMBER_BAD},
        {u"0171\n2345", CALLNUMBER_BAD},
        {u"0171\t2345", CALLNUMBER_BAD},
        {u"01712345a", CALLNUMBER_BAD},
        {u"0171 \u0663", CALLNUMBER_BAD}, // an Arabic-Indic digit is no dialling digit
        {u"+-() /#*", CALLNUMBER_BAD},    // nothing to dial
        {u"   ", CALLNUMBER_BAD},
        {u"123456789012345678901234", CALLNUMBER_OK},
        {u"1234567890123456789012345", CALLNUMBER_TOO_LONG},
        {u"abcdefghijklmnopqrstuvwxyz", CALLNUMBER_TOO_LONG},
    };
    for (const NumberCase& c : cases) {
        std::u16string text(c.text);
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        EXPECT_EQ(CheckCallNumber(c.text), c.check);
        EXPECT_EQ(IsCallNumber(c.text), c.check == CALLNUMBER_OK);
    }
    EXPECT_EQ(CheckCallNumber(nullptr), CALLNUMBER_EMPTY);
}

// A SIP address is dialled as it is: one word of printable ASCII.
TEST(CallNumber, SipAddressesAreOneWord)
{
    const NumberCase cases[] = {
        {u"sip:cb@127.0.0.1:5071", CALLNUMBER_OK},
        {u"SIPS:grandma@fritz.box", CALLNUMBER_OK},
        {u"Sip:**610@fritz.box", CALLNUMBER_OK},
        {u"sip:", CALLNUMBER_BAD},
        {u"sip:a b@host", CALLNUMBER_BAD},
        {u"sip:a@host\n/quit", CALLNUMBER_BAD},
        {u"sip:a@h>;x", CALLNUMBER_BAD},
        {u"sip:\u00e4@host", CALLNUMBER_BAD},
        {u"si:a@host", CALLNUMBER_BAD},
        {u"sip:parent@sip.example.org", CALLNUMBER_TOO_LONG},
    };
    for (const NumberCase& c : cases) {
        std::u16string text(c.text);
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        EXPECT_EQ(CheckCallNumber(c.text), c.check);
    }
}

// A full field without its terminator is judged from its 25 units alone.
TEST(CallNumber, ReadsNoFurtherThanTheField)
{
    struct {
        WCHAR field[phoneNumberCapacity];
        WCHAR beyond[4];
    } record;
    for (WCHAR& unit : record.field)
        unit = u'5';
    record.beyond[0] = u'x';
    EXPECT_EQ(CheckCallNumber(record.field), CALLNUMBER_TOO_LONG);
    record.field[phoneNumberCapacity - 1] = u'\0';
    EXPECT_EQ(CheckCallNumber(record.field), CALLNUMBER_OK);
}

} // namespace
