// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

static bool IsCallNumberCharacter(WCHAR c)
{
    if (c >= u'0' && c <= u'9')
        return true;
    switch (c) {
    case u'+':
    case u'*':
    case u'#':
    case u' ':
    case u'-':
    case u'/':
    case u'(':
    case u')':
        return true;
    default:
        return false;
    }
}

// "sip:" or "sips:" in any case: the length of the prefix, else 0.
static int SipPrefixLength(LPCWSTR text)
{
    const char16_t* prefixes[] = {u"sip:", u"sips:"};
    for (const char16_t* prefix : prefixes) {
        int i = 0;
        for (; prefix[i] != u'\0'; ++i) {
            WCHAR c = text[i] >= u'A' && text[i] <= u'Z' ? text[i] + 32 : text[i];
            if (c != prefix[i])
                break;
        }
        if (prefix[i] == u'\0')
            return i;
    }
    return 0;
}

// A SIP address: printable ASCII without spaces, quotes or angle brackets
// after its prefix, so that it stays one word wherever it goes.
static std::int32_t CheckSipAddress(LPCWSTR text, int prefixLength)
{
    int length = prefixLength;
    bool allowed = true;
    while (text[length] != u'\0') {
        if (length == callNumberMaxLength)
            return CALLNUMBER_TOO_LONG;
        WCHAR c = text[length];
        allowed = allowed && c > u' ' && c < 0x7F && c != u'"' && c != u'<' && c != u'>';
        ++length;
    }
    return allowed && length > prefixLength ? CALLNUMBER_OK : CALLNUMBER_BAD;
}

std::int32_t CheckCallNumber(LPCWSTR text)
{
    if (text == nullptr || text[0] == u'\0')
        return CALLNUMBER_EMPTY;
    if (int prefixLength = SipPrefixLength(text))
        return CheckSipAddress(text, prefixLength);
    int length = 0;
    bool allowed = text[0] != u'-';
    bool digit = false;
    while (text[length] != u'\0') {
        if (length == callNumberMaxLength)
            return CALLNUMBER_TOO_LONG;
        allowed = allowed && IsCallNumberCharacter(text[length]);
        digit = digit || (text[length] >= u'0' && text[length] <= u'9');
        ++length;
    }
    return allowed && digit ? CALLNUMBER_OK : CALLNUMBER_BAD;
}

bool IsCallNumber(LPCWSTR text)
{
    return CheckCallNumber(text) == CALLNUMBER_OK;
}
