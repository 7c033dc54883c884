// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <random>

#include "platform/store/store_file.h"

namespace {

// Any keys, names and values, including unpaired surrogates, nulls and
// every byte, come back from the text form unchanged.
TEST(StoreFormat, RandomContentRoundTrips)
{
    std::mt19937 random(77);
    const char16_t alphabet[] = {u'a',   u' ',   u'\t',  u'%',   u'=',   u'[',    u']',    u'#',
                                 u';',   u'\\',  u'\n',  u'\r',  u'\0',  u'\x7f', u'\x85', u'\xe4',
                                 0xD83D, 0xDC76, 0xDBFF, 0xDFFF, 0xFFFF, u'\x1b', u'"',    u':'};
    auto text = [&](std::size_t most) {
        std::u16string s;
        for (std::size_t n = random() % (most + 1); n > 0; --n) {
            s += alphabet[random() % std::size(alphabet)];
        }
        return s;
    };
    for (int round = 0; round < 300; ++round) {
        StoreKeys keys;
        for (int k = static_cast<int>(random() % 3); k >= 0; --k) {
            StoreValues& values = keys[text(12)];
            for (int v = static_cast<int>(random() % 5); v > 0; --v) {
                StoredValue value;
                value.type = random() % 3 == 0 ? static_cast<DWORD>(random()) : 1u;
                if (random() % 2 == 0) {
                    for (char16_t unit : text(20) + u'\0') {
                        value.bytes.push_back(static_cast<BYTE>(unit & 0xFF));
                        value.bytes.push_back(static_cast<BYTE>(unit >> 8));
                    }
                } else {
                    for (std::size_t n = random() % 9; n > 0; --n) {
                        value.bytes.push_back(static_cast<BYTE>(random()));
                    }
                }
                values[text(10)] = value;
            }
        }
        const std::string formatted = FormatStoreText(keys);
        const StoreKeys parsed = ParseStoreText(formatted);
        ASSERT_EQ(parsed.size(), keys.size()) << formatted;
        for (const auto& [path, values] : keys) {
            auto found = parsed.find(path);
            ASSERT_NE(found, parsed.end()) << formatted;
            ASSERT_EQ(found->second.size(), values.size()) << formatted;
            for (const auto& [name, value] : values) {
                auto other = found->second.find(name);
                ASSERT_NE(other, found->second.end()) << formatted;
                EXPECT_EQ(other->second.type, value.type) << formatted;
                EXPECT_EQ(other->second.bytes, value.bytes) << formatted;
            }
        }
        // One value per line, never a raw control character in the text.
        for (char c : formatted) {
            EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << formatted;
        }
    }
}

} // namespace
