// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/common/event_text.h"

#include <cstdio>

#include "platform/common/utf8.h"
#include "platform/eventlog.h"

std::string EventLogText(LPCWSTR text)
{
    std::string line;
    if (text == nullptr)
        return line;
    for (const WCHAR* at = text; *at != 0; ++at) {
        std::uint32_t unit = *at;
        if (unit >= 0xD800 && unit <= 0xDBFF && at[1] >= 0xDC00 && at[1] <= 0xDFFF) {
            line += EncodeUtf8(0x10000 + ((unit - 0xD800) << 10) + (at[1] - 0xDC00));
            ++at;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            line += EncodeUtf8(0xFFFD);
        } else if (unit == '\\') {
            line += "\\\\";
        } else if (unit == '\n') {
            line += "\\n";
        } else if (unit == '\r') {
            line += "\\r";
        } else if (unit == '\t') {
            line += "\\t";
        } else if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(unit));
            line += escaped;
        } else {
            line += EncodeUtf8(unit);
        }
    }
    return line;
}

const char* EventLogKind(WORD type)
{
    if (type == EVENTLOG_ERROR_TYPE)
        return "error";
    if (type == EVENTLOG_WARNING_TYPE)
        return "warning";
    return "info";
}
