// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 for the platform's files and names.
#pragma once

#include <cstdint>
#include <string>

// The bytes of one code point. A lone surrogate keeps its own three-byte
// form, so that any UTF-16 text can be written and read back unchanged.
std::string EncodeUtf8(std::uint32_t codePoint);
