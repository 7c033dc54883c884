// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/common/utf8.h"
#include "platform/store/store_file.h"

namespace {

constexpr DWORD typeText = 1; // REG_SZ

enum class Field { KeyPath, Name, Text };

const char hexDigits[] = "0123456789ABCDEF";

void AppendEscapedByte(std::string& out, unsigned char byte)
{
    out += '%';
    out += hexDigits[byte >> 4];
    out += hexDigits[byte & 0x0F];
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string EncodeText(const std::u16string& text, Field field)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        const bool high = cp >= 0xD800 && cp <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
        const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
        const bool edge = out.empty() || i + 1 == text.size();
        bool escape = surrogate || control || cp == '%';
        if (field == Field::Name) {
            escape = escape || cp == '=' || (out.empty() && (cp == '[' || cp == '#' || cp == ';'));
        }
        if (field != Field::KeyPath && edge && (cp == ' ' || cp == '\t')) {
            // Blanks at the ends would be trimmed away on reading.
            escape = escape || field == Field::Name || i + 1 == text.size();
        }
        const std::string bytes = EncodeUtf8(cp);
        if (escape) {
            for (char byte : bytes) {
                AppendEscapedByte(out, static_cast<unsigned char>(byte));
            }
        } else {
            out += bytes;
        }
    }
    return out;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::u16string> DecodeText(std::string_view encoded)
{
    std::string bytes;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            bytes += encoded[i];
            continue;
        }
        if (i + 2 >= encoded.size()) {
            return std::nullopt;
        }
        const int hi = HexValue(encoded[i + 1]);
        const int lo = HexValue(encoded[i + 2]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(hi * 16 + lo);
        i += 2;
    }

    std::u16string text;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        std::uint32_t cp = 0;
        std::uint32_t least = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
            least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
            least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + static_cast<std::size_t>(extra) >= bytes.size()) {
            return std::nullopt;
        }
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF) {
            return std::nullopt;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            text += static_cast<char16_t>(0xD800 + (cp >> 10));
            text += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            text += static_cast<char16_t>(cp);
        }
        i += 1 + static_cast<std::size_t>(extra);
    }
    return text;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsWellFormedText(const StoredValue& value)
{
    const std::size_t size = value.bytes.size();
    return value.type == typeText && size >= 2 && size % 2 == 0 && value.bytes[size - 2] == 0 &&
           value.bytes[size - 1] == 0;
}

std::optional<StoredValue> ParseText(std::string_view encoded)
{
    std::optional<std::u16string> text = DecodeText(encoded);
    if (!text) {
        return std::nullopt;
    }
    StoredValue value{typeText, {}};
    for (std::size_t i = 0; i <= text->size(); ++i) {
        const char16_t unit = i < text->size() ? (*text)[i] : u'\0';
        value.bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        value.bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    return value;
}

// `hex(type):` then byte pairs, which may be separated by blanks or commas.
std::optional<StoredValue> ParseHex(std::string_view rest)
{
    std::size_t close = rest.find("):");
    if (close == std::string_view::npos || close == 0 || close > 10) {
        return std::nullopt;
    }
    std::uint64_t type = 0;
    for (char c : rest.substr(0, close)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        type = type * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (type > UINT32_MAX) {
        return std::nullopt;
    }
    StoredValue value{static_cast<DWORD>(type), {}};
    std::string_view data = rest.substr(close + 2);
    for (std::size_t i = 0; i < data.size();) {
        if (IsBlank(data[i]) || data[i] == ',') {
            ++i;
            continue;
        }
        if (i + 1 >= data.size()) {
            return std::nullopt;
        }
        const int hi = HexValue(data[i]);
        const int lo = HexValue(data[i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        value.bytes.push_back(static_cast<BYTE>(hi * 16 + lo));
        i += 2;
    }
    return value;
}

std::optional<StoredValue> ParseValue(std::string_view text)
{
    if (text.substr(0, 3) == "sz:") {
        return ParseText(text.substr(3));
    }
    if (text.substr(0, 4) == "hex(") {
        return ParseHex(text.substr(4));
    }
    return std::nullopt;
}

} // namespace

StoreKeys ParseStoreText(const std::string& text)
{
    StoreKeys keys;
    StoreValues* current = nullptr; // null until a valid key line
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);

        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == ';') {
            continue;
        }
        if (trimmed.front() == '[') {
            current = nullptr;
            if (trimmed.size() >= 2 && trimmed.back() == ']') {
                std::optional<std::u16string> path =
                    DecodeText(trimmed.substr(1, trimmed.size() - 2));
                if (path) {
                    current = &keys[*path];
                }
            }
            continue;
        }
        const std::size_t equals = trimmed.find('=');
        if (current == nullptr || equals == std::string_view::npos) {
            continue;
        }
        std::optional<std::u16string> name = DecodeText(Trim(trimmed.substr(0, equals)));
        std::string_view data = trimmed.substr(equals + 1);
        while (!data.empty() && IsBlank(data.front())) {
            data.remove_prefix(1);
        }
        std::optional<StoredValue> value = ParseValue(data);
        if (name && value) {
            (*current)[*name] = std::move(*value);
        }
    }
    return keys;
}

bool IsCutShort(const std::string& text)
{
    return !text.empty() && text.back() != '\n';
}

std::string FormatStoreText(const StoreKeys& keys)
{
    std::string out = "# Cradlecom settings. Written whole by the program; values that\n"
                      "# cannot be read are dropped at its next save.\n";
    for (const auto& [path, values] : keys) {
        out += '\n';
        out += '[';
        out += EncodeText(path, Field::KeyPath);
        out += "]\n";
        for (const auto& [name, value] : values) {
            out += EncodeText(name, Field::Name);
            out += " = ";
            if (IsWellFormedText(value)) {
                std::u16string text;
                for (std::size_t i = 0; i + 2 < value.bytes.size(); i += 2) {
                    text += static_cast<char16_t>(value.bytes[i] | (value.bytes[i + 1] << 8));
                }
                out += "sz:";
                out += EncodeText(text, Field::Text);
            } else {
                out += "hex(" + std::to_string(value.type) + "):";
                for (std::size_t i = 0; i < value.bytes.size(); ++i) {
                    out += i == 0 ? "" : " ";
                    out += hexDigits[value.bytes[i] >> 4];
                    out += hexDigits[value.bytes[i] & 0x0F];
                }
            }
            out += '\n';
        }
    }
    return out;
}
