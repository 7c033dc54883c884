// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/common/utf8.h"

std::string EncodeUtf8(std::uint32_t cp)
{
    std::string bytes;
    if (cp < 0x80) {
        bytes += static_cast<char>(cp);
    } else if (cp < 0x800) {
        bytes += static_cast<char>(0xC0 | (cp >> 6));
        bytes += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        bytes += static_cast<char>(0xE0 | (cp >> 12));
        bytes += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (cp >> 18));
        bytes += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return bytes;
}
