// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/strings.h"

#include <cstdarg>
#include <cstdint>

namespace {

constexpr int formatCapacity = 1024; // units, with the terminator

// Appends to the output while room is left; the last unit is kept for the
// terminator.
struct FormatOutput {
    LPWSTR buffer;
    int length;
};

void Put(FormatOutput& out, WCHAR unit)
{
    if (out.length < formatCapacity - 1) {
        out.buffer[out.length++] = unit;
    }
}

void PutNumber(FormatOutput& out, std::uint64_t magnitude, bool negative, int width, bool zeroPad)
{
    WCHAR digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<WCHAR>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const int used = count + (negative ? 1 : 0);
    if (negative && zeroPad) {
        Put(out, u'-');
    }
    for (int i = used; i < width; ++i) {
        Put(out, zeroPad ? u'0' : u' ');
    }
    if (negative && !zeroPad) {
        Put(out, u'-');
    }
    while (count > 0) {
        Put(out, digits[--count]);
    }
}

bool IsSpace(WCHAR unit)
{
    return unit == u' ' || (unit >= u'\t' && unit <= u'\r');
}

} // namespace

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...)
{
    if (buffer == nullptr) {
        return 0;
    }
    FormatOutput out{buffer, 0};
    if (format == nullptr) {
        buffer[0] = 0;
        return 0;
    }
    va_list args;
    va_start(args, format);
    for (LPCWSTR p = format; *p != 0; ++p) {
        if (*p != u'%') {
            Put(out, *p);
            continue;
        }
        LPCWSTR start = p;
        ++p;
        bool zeroPad = false;
        if (*p == u'0') {
            zeroPad = true;
            ++p;
        }
        int width = 0;
        while (*p >= u'0' && *p <= u'9') {
            if (width < formatCapacity) {
                width = width * 10 + (*p - u'0');
            }
            ++p;
        }
        if (*p == u'd') {
            const int value = va_arg(args, int);
            const auto wide = static_cast<std::int64_t>(value);
            PutNumber(out, static_cast<std::uint64_t>(wide < 0 ? -wide : wide), wide < 0, width,
                      zeroPad);
        } else if (*p == u'u') {
            PutNumber(out, va_arg(args, unsigned int), false, width, zeroPad);
        } else if (*p == u's') {
            LPCWSTR text = va_arg(args, LPCWSTR);
            if (text == nullptr) {
                text = u"(null)";
            }
            for (; *text != 0; ++text) {
                Put(out, *text);
            }
        } else if (*p == u'%') {
            Put(out, u'%');
        } else {
            // Not a conversion this formatter knows: keep the text as written
            // and consume no argument.
            for (LPCWSTR q = start; q < p; ++q) {
                Put(out, *q);
            }
            if (*p == 0) {
                break;
            }
            Put(out, *p);
        }
    }
    va_end(args);
    buffer[out.length] = 0;
    return out.length;
}

int _wtoi(LPCWSTR text)
{
    if (text == nullptr) {
        return 0;
    }
    while (IsSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == u'-' || *text == u'+') {
        negative = *text == u'-';
        ++text;
    }
    // Accumulate past the 32-bit range only as far as needed to know that
    // the result saturates.
    std::int64_t value = 0;
    constexpr std::int64_t saturated = static_cast<std::int64_t>(INT32_MAX) + 1;
    while (*text >= u'0' && *text <= u'9') {
        if (value <= saturated) {
            value = value * 10 + (*text - u'0');
        }
        ++text;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int>(value);
}

std::size_t wcslen(LPCWSTR text)
{
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

int wcscmp(LPCWSTR a, LPCWSTR b)
{
    std::size_t i = 0;
    while (a[i] != 0 && a[i] == b[i]) {
        ++i;
    }
    return static_cast<int>(a[i]) - static_cast<int>(b[i]);
}
