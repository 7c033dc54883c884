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

std::int32_t CheckCallNumber(LPCWSTR text)
{
    if (text == nullptr || text[0] == u'\0')
        return CALLNUMBER_EMPTY;
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
