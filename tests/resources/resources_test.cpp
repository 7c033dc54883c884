// SPDX-License-Identifier: GPL-3.0-or-later
// The resource table and its loaders: texts in both languages, menus and
// menu-bar records, dialog templates, pictures, icon and version.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/common/bitmap.h"
#include "platform/dialog.h"
#include "platform/menu.h"
#include "platform/resource.h"
#include "resources/ids.h"
#include "resources/resources.h"
#include "settings/settings.h"

namespace {

constexpr std::uint32_t background = 0xD4E6FF; // 0x00RRGGBB of the main window's colour

const UINT germanIds[] = {1000, 1001, 1002, 1003, 1004, 1005, 1008, 1009, 1010,
                          1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018};

std::u16string Load(UINT id, int capacity = 256)
{
    std::vector<WCHAR> buffer(static_cast<std::size_t>(capacity) + 1, u'#');
    const int length = LoadStringW(nullptr, id, buffer.data(), capacity);
    if (length == 0) {
        return u"";
    }
    return std::u16string(buffer.data());
}

std::u16string LoadLocal(UINT id)
{
    WCHAR buffer[256] = u"unfilled";
    LoadLocalString(nullptr, id, buffer, 255);
    return buffer;
}

template <typename T> const T* Find(UINT id, UINT type)
{
    HRSRC resource = FindResourceW(nullptr, id, type);
    if (resource == nullptr) {
        return nullptr;
    }
    EXPECT_EQ(SizeofResource(nullptr, resource), sizeof(T)) << "type " << type << " id " << id;
    return static_cast<const T*>(LoadResource(nullptr, resource));
}

// A duplicate would make one of two resources unreachable; a size that
// disagrees with the text would cut or overrun it.
TEST(ResourceTable, EntriesAreUniqueAndStringSizesMatchTheirText)
{
    std::set<std::pair<UINT, UINT>> seen;
    for (std::size_t i = 0; i < resourceCount; ++i) {
        const PlatformResource& entry = resourceTable[i];
        EXPECT_TRUE(seen.insert({entry.type, entry.id}).second)
            << "type " << entry.type << " id " << entry.id << " twice";
        ASSERT_NE(entry.data, nullptr);
        ASSERT_GT(entry.size, 0u) << "id " << entry.id;
        if (entry.type == RT_STRING) {
            const auto* text = static_cast<const WCHAR*>(entry.data);
            const std::size_t units = std::u16string(text).size();
            EXPECT_EQ(entry.size, units * sizeof(WCHAR)) << "string " << entry.id;
        }
    }
    EXPECT_EQ(FindResourceW(nullptr, 1006, RT_STRING), nullptr);
    EXPECT_EQ(FindResourceW(nullptr, 113, RT_MENU), nullptr); // a dialog id, not a menu
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
}

// A missing or empty twin would leave a user of that language with a blank
// label or message. Over the whole table: every text in a language's range
// has its twin in every other language, and no two ranges overlap; a text
// in no range is one of the shared ones.
TEST(Strings, EveryLocalisedTextHasItsTwinInEveryLanguage)
{
    for (UINT id : germanIds) {
        EXPECT_FALSE(Load(id).empty()) << id;
        EXPECT_FALSE(Load(id + 4000).empty()) << id + 4000;
    }
    const UINT span = strLocalEnd - strLocalFirst;
    for (int i = 0; i < languageCount; ++i) {
        const LanguageRow& a = languages[i];
        for (int j = i + 1; j < languageCount; ++j) {
            const LanguageRow& b = languages[j];
            EXPECT_GE(std::max(a.stringOffset, b.stringOffset) -
                          std::min(a.stringOffset, b.stringOffset),
                      span)
                << a.code << " and " << b.code << " share ids";
        }
    }
    int localised = 0;
    for (std::size_t i = 0; i < resourceCount; ++i) {
        const PlatformResource& entry = resourceTable[i];
        if (entry.type != RT_STRING)
            continue;
        const LanguageRow* owner = nullptr;
        for (const LanguageRow& row : languages) {
            if (entry.id >= strLocalFirst + row.stringOffset &&
                entry.id < strLocalEnd + row.stringOffset)
                owner = &row;
        }
        if (owner == nullptr) {
            EXPECT_GE(entry.id, strSharedFirst) << "string " << entry.id << " has no language";
            continue;
        }
        ++localised;
        const UINT germanId = entry.id - owner->stringOffset;
        for (const LanguageRow& row : languages)
            EXPECT_FALSE(Load(germanId + row.stringOffset).empty())
                << "string " << entry.id << " (" << owner->code << ") has no " << row.code
                << " twin at " << germanId + row.stringOffset;
    }
    EXPECT_GT(localised, static_cast<int>(std::size(germanIds)) * languageCount);
    for (UINT id : {10000u, 10001u, 40012u, 40014u, 40019u, 40021u, 40024u, 40025u}) {
        EXPECT_FALSE(Load(id).empty()) << id;
    }
    EXPECT_TRUE(Load(14000).empty()); // the product name has no English twin
}

// The texts are the system's own, typos and spaces before punctuation
// included; umlauts must survive as single UTF-16 units.
TEST(Strings, TextsAreExact)
{
    EXPECT_EQ(Load(1000), u"Möchten Sie das Cradlecom jetzt beenden ?");
    EXPECT_EQ(Load(5000), u"Do you want exit cradlecom now ?");
    EXPECT_EQ(Load(1001), u"Das Aufzeichnungsgerät konnte nocht initialisiert werden !");
    EXPECT_EQ(Load(5002), u"Please define a valid call number first !");
    EXPECT_EQ(Load(1004), u"Stopp");
    EXPECT_EQ(Load(5004), u"Stop");
    EXPECT_EQ(Load(1013), u"Minuten(n)");
    EXPECT_EQ(Load(5013), u"Minute(s)");
    EXPECT_EQ(Load(1018), u"Rufauslösung");
    EXPECT_EQ(Load(1018).size(), 12u);
    EXPECT_EQ(Load(10000), u"Cradlecom");
    EXPECT_EQ(Load(10001), u"Veltrano");
    EXPECT_EQ(Load(40012), u"Menü");
    EXPECT_EQ(Load(40025), u"Menu");
}

// Callers size their buffers by capacity; one unit too many overruns them.
TEST(LoadString, CutsToCapacityAndTerminates)
{
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LoadStringW(nullptr, 10000, buffer, 4), 3);
    EXPECT_EQ(std::u16string(buffer), u"Cra");
    EXPECT_EQ(buffer[4], u'#');

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LoadStringW(nullptr, 10000, buffer, 1), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], u'#');

    WCHAR exact[10];
    EXPECT_EQ(LoadStringW(nullptr, 10000, exact, 10), 9);
    EXPECT_EQ(std::u16string(exact), u"Cradlecom");

    WCHAR title[20];
    EXPECT_EQ(LoadStringW(nullptr, 10000, title, 20), 9);
}

TEST(LoadString, MissingStringOrNoCapacityLeavesTheBuffer)
{
    WCHAR buffer[4] = {u'a', u'b', u'c', 0};
    EXPECT_EQ(LoadStringW(nullptr, 999, buffer, 4), 0);
    EXPECT_EQ(LoadStringW(nullptr, 101, buffer, 4), 0); // a menu id, not a string
    EXPECT_EQ(LoadStringW(nullptr, 10000, buffer, 0), 0);
    EXPECT_EQ(LoadStringW(nullptr, 10000, buffer, -5), 0);
    EXPECT_EQ(std::u16string(buffer), u"abc");
}

// The language picks the id; an unknown stored language must still fill the
// buffer (German) and must not be rewritten by a mere load.
TEST(LoadLocalString, ChoosesTheTextByLanguage)
{
    const std::int32_t saved = settings.Language;
    settings.Language = 0;
    EXPECT_EQ(LoadLocal(1004), u"Stopp");
    EXPECT_EQ(LoadLocal(1017), u"Reaktionsschwelle");
    settings.Language = 1;
    EXPECT_EQ(LoadLocal(1004), u"Stop");
    EXPECT_EQ(LoadLocal(1000), u"Do you want exit cradlecom now ?");
    settings.Language = 7;
    EXPECT_EQ(LoadLocal(1004), u"Stopp");
    EXPECT_EQ(LoadLocal(1010), u"Telefonnummer");
    EXPECT_EQ(settings.Language, 7);
    settings.Language = -1;
    EXPECT_EQ(LoadLocal(1009), u"Telefon");
    settings.Language = saved;
}

struct Button {
    WORD image, command, state, style, text, reserved, popup;
    bool operator==(const Button&) const = default;
};

// Decodes a menu-bar record as the shell reads it: little-endian words.
bool DecodeMenuBar(UINT id, WORD* menu, std::vector<Button>* buttons)
{
    HRSRC resource = FindResourceW(nullptr, id, RT_RCDATA);
    if (resource == nullptr) {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(LoadResource(nullptr, resource));
    const DWORD size = SizeofResource(nullptr, resource);
    auto word = [&](std::size_t index) {
        return static_cast<WORD>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
    };
    *menu = word(0);
    const std::size_t count = word(1);
    if (size != 4 + count * 14) {
        return false;
    }
    for (std::size_t b = 0; b < count; ++b) {
        const std::size_t base = 2 + b * 7;
        buttons->push_back({word(base), word(base + 1), word(base + 2), word(base + 3),
                            word(base + 4), word(base + 5), word(base + 6)});
    }
    return true;
}

// The records are read word by word by the shell; any slip shifts every
// following field of the bar.
TEST(MenuBars, RecordsHoldExactlyTheirButtons)
{
    struct Expected {
        UINT id;
        Button left, right;
    };
    const Expected expected[] = {
        {101, {65534, 500, 4, 16, 40014, 0, 65535}, {65534, 100, 4, 24, 40012, 0, 1}},
        {116, {65534, 500, 4, 16, 40014, 0, 65535}, {65534, 100, 4, 24, 40025, 0, 1}},
        {114, {65534, 2, 4, 16, 40019, 0, 65535}, {65534, 1, 4, 16, 40021, 0, 65535}},
        {115, {65534, 2, 4, 16, 40024, 0, 65535}, {65534, 1, 4, 16, 40021, 0, 65535}},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.id);
        WORD menuId = 0;
        std::vector<Button> buttons;
        ASSERT_TRUE(DecodeMenuBar(e.id, &menuId, &buttons));
        EXPECT_EQ(menuId, e.id);
        ASSERT_EQ(buttons.size(), 2u);
        EXPECT_TRUE(buttons[0] == e.left);
        EXPECT_TRUE(buttons[1] == e.right);

        const MENUTEMPLATE* menu = Find<MENUTEMPLATE>(menuId, RT_MENU);
        ASSERT_NE(menu, nullptr);
        for (const Button& button : buttons) {
            EXPECT_FALSE(Load(button.text).empty()) << button.text;
            if (button.popup != 65535) {
                ASSERT_LT(button.popup, menu->count);
                EXPECT_EQ(menu->items[button.popup].flags, MF_POPUP);
            }
        }
    }
    // Left button reads "Start" in both languages when the bar is new.
    EXPECT_EQ(Load(40014), u"Start");
}

TEST(Menus, MainMenusCarryTheCommands)
{
    const std::vector<WORD> popupCommands = {200, 300, 0, 450, 400, 0, 900};
    const std::vector<WORD> popupFlags = {0, 0, MF_SEPARATOR, 0, 0, MF_SEPARATOR, 0};
    struct Expected {
        UINT id;
        std::u16string popupTitle;
        std::vector<std::u16string> texts;
    };
    const Expected expected[] = {
        {101, u"Menü", {u"Mikrofon", u"Telefon", u"", u"Sprache", u"Kontakt", u"", u"Beenden"}},
        {116, u"Menu", {u"Microphone", u"Phone", u"", u"Language", u"Contact", u"", u"Exit"}},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.id);
        const MENUTEMPLATE* menu = Find<MENUTEMPLATE>(e.id, RT_MENU);
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->count, 2);
        EXPECT_EQ(menu->items[0].flags, 0);
        EXPECT_EQ(menu->items[0].id, 500);
        EXPECT_EQ(std::u16string(menu->items[0].text), u"Start");
        const MENUITEMTEMPLATE& popup = menu->items[1];
        EXPECT_EQ(popup.flags, MF_POPUP);
        EXPECT_EQ(std::u16string(popup.text), e.popupTitle);
        ASSERT_EQ(popup.popupCount, 7);
        for (int i = 0; i < 7; ++i) {
            const MENUITEMTEMPLATE& item = popup.popupItems[i];
            EXPECT_EQ(item.id, popupCommands[i]) << i;
            EXPECT_EQ(item.flags, popupFlags[i]) << i;
            if (item.flags == MF_SEPARATOR) {
                EXPECT_EQ(item.text, nullptr);
            } else {
                EXPECT_EQ(std::u16string(item.text), e.texts[i]);
            }
        }
    }
    for (UINT id : {114u, 115u}) {
        const MENUTEMPLATE* menu = Find<MENUTEMPLATE>(id, RT_MENU);
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->count, 2);
        EXPECT_EQ(menu->items[0].id, IDCANCEL);
        EXPECT_EQ(menu->items[1].id, IDOK);
        EXPECT_EQ(std::u16string(menu->items[0].text), id == 114 ? u"Abbrechen" : u"Cancel");
        EXPECT_EQ(std::u16string(menu->items[1].text), u"OK");
    }
}

std::vector<int> IdsOf(const DLGTEMPLATE* dialog)
{
    std::vector<int> ids;
    for (int i = 0; i < dialog->itemCount; ++i) {
        ids.push_back(dialog->items[i].id);
    }
    return ids;
}

// Template order is tab and stacking order, and the dialogs address their
// controls by these ids: a shuffled or missing id breaks a dialog.
TEST(Dialogs, TemplatesHoldTheirControlsInOrder)
{
    struct Expected {
        UINT id;
        short height; // the phone dialog grew below its first controls
        std::vector<int> ids;
    };
    const std::vector<Expected> expected = {
        {113,
         150,
         {200, 210, 220, 230, 240, 250, 51, 100, 52, 110, 61, 120, 50, 60, 301, 302, 303, 300}},
        {114, 158, {100, 110, 120, 60, 61, 63, 62, 64, 50, 302, 304, 305, 301, 303, 306, 300}},
        {115, 96, {-1, 50, -1, -1, -1, -1}},
        {116, 96, {100, 101, -1, -1, -1, -1, -1, -1, -1, 300}},
    };
    for (const auto& [id, height, ids] : expected) {
        SCOPED_TRACE(id);
        const DLGTEMPLATE* dialog = Find<DLGTEMPLATE>(id, RT_DIALOG);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->style, 0x80000040u);
        EXPECT_EQ(dialog->x, 0);
        EXPECT_EQ(dialog->y, 0);
        EXPECT_EQ(dialog->cx, 101);
        EXPECT_EQ(dialog->cy, height);
        EXPECT_EQ(std::u16string(dialog->fontFace), u"System");
        EXPECT_EQ(dialog->pointSize, 8);
        EXPECT_EQ(std::u16string(dialog->title), u"");
        EXPECT_EQ(IdsOf(dialog), ids);
        for (int i = 0; i < dialog->itemCount; ++i) {
            const DLGITEMTEMPLATE& item = dialog->items[i];
            const std::u16string cls = item.className;
            const DWORD kind = item.style & 0xFFFF;
            ASSERT_NE(item.text, nullptr);
            EXPECT_EQ(item.exStyle, 0u);
            EXPECT_EQ(item.style & 0x50000000u, 0x50000000u) << i; // visible child
            if (cls == u"STATIC" && (kind == SS_BITMAP || kind == SS_ICON)) {
                const UINT type = kind == SS_BITMAP ? RT_BITMAP : RT_GROUP_ICON;
                EXPECT_NE(FindResourceW(nullptr, item.imageId, type), nullptr) << i;
            } else {
                EXPECT_EQ(item.imageId, 0u) << i;
                EXPECT_TRUE(cls == u"BUTTON" || cls == u"STATIC" || cls == u"EDIT" ||
                            cls == u"msctls_progress32")
                    << i;
            }
        }
    }
}

TEST(Dialogs, ControlsHaveTheirKindsAndPlaces)
{
    const DLGTEMPLATE* mic = Find<DLGTEMPLATE>(113, RT_DIALOG);
    const DLGTEMPLATE* phone = Find<DLGTEMPLATE>(114, RT_DIALOG);
    const DLGTEMPLATE* contact = Find<DLGTEMPLATE>(115, RT_DIALOG);
    const DLGTEMPLATE* language = Find<DLGTEMPLATE>(116, RT_DIALOG);
    ASSERT_TRUE(mic && phone && contact && language);

    const DLGITEMTEMPLATE& plus = mic->items[5];
    EXPECT_EQ(plus.style, 0x50010000u);
    EXPECT_EQ(std::u16string(plus.className), u"BUTTON");
    EXPECT_EQ(std::u16string(plus.text), u"+");
    EXPECT_EQ((std::vector<int>{plus.x, plus.y, plus.cx, plus.cy}),
              (std::vector<int>{82, 69, 12, 9}));
    const DLGITEMTEMPLATE& bar = mic->items[7];
    EXPECT_EQ(bar.style, 0x50800001u);
    EXPECT_EQ(std::u16string(bar.className), u"msctls_progress32");
    EXPECT_EQ((std::vector<int>{bar.x, bar.y, bar.cx, bar.cy}), (std::vector<int>{7, 18, 58, 9}));
    const DLGITEMTEMPLATE& calling = mic->items[13];
    EXPECT_EQ(calling.style, 0x50000007u);
    EXPECT_EQ(std::u16string(calling.text), u"Rufauslösung");
    EXPECT_EQ((std::vector<int>{calling.x, calling.y, calling.cx, calling.cy}),
              (std::vector<int>{3, 50, 95, 32}));

    EXPECT_EQ(phone->items[0].style, 0x50810080u);
    EXPECT_EQ(phone->items[1].style, 0x50812080u);
    EXPECT_EQ(phone->items[2].style, 0x50812080u);
    EXPECT_EQ(std::u16string(phone->items[0].className), u"EDIT");
    EXPECT_EQ(std::u16string(phone->items[5].text), u"Minute(n)");
    EXPECT_EQ(phone->items[5].style, 0x50020000u);
    EXPECT_EQ((std::vector<int>{phone->items[7].x, phone->items[7].y}), (std::vector<int>{52, 67}));

    EXPECT_EQ(std::u16string(contact->items[0].text), u"Cradlecom Version 1.001");
    EXPECT_EQ(contact->items[0].style, 0x50020001u);
    EXPECT_EQ(contact->items[4].style, 0x50000003u);
    EXPECT_EQ(contact->items[4].imageId, 106u);
    EXPECT_EQ((std::vector<int>{contact->items[4].x, contact->items[4].y}),
              (std::vector<int>{38, 30}));

    EXPECT_EQ(language->items[0].style, 0x50000009u);
    EXPECT_EQ(language->items[2].style, 0x5000000Eu);
    EXPECT_EQ(language->items[2].imageId, 120u); // British flag above the English choice at x 65
    EXPECT_EQ(language->items[2].x, 64);
    EXPECT_EQ(language->items[3].imageId, 121u);
    EXPECT_EQ(language->items[3].x, 20);
    EXPECT_EQ(std::u16string(language->items[8].text), u"Sprache / Language");
}

// The main window copies the pictures unmasked onto its background: any
// pixel off that colour at the edge shows as a seam.
TEST(Pictures, BitmapsHaveTheirSizesAndBackground)
{
    struct Expected {
        UINT id;
        int width, height;
    };
    const Expected screen[] = {{109, 28, 32}, {111, 21, 33}, {116, 32, 32},
                               {117, 32, 31}, {118, 32, 33}, {119, 32, 32}};
    for (const Expected& e : screen) {
        SCOPED_TRACE(e.id);
        int width = 0, height = 0;
        std::vector<std::uint32_t> pixels;
        ASSERT_TRUE(DecodeBitmapResource(e.id, &width, &height, &pixels));
        ASSERT_EQ(width, e.width);
        ASSERT_EQ(height, e.height);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(width * height));
        EXPECT_EQ(pixels[0], background);
        EXPECT_EQ(pixels[static_cast<std::size_t>(width - 1)], background);
        EXPECT_EQ(pixels[static_cast<std::size_t>((height - 1) * width)], background);
        EXPECT_EQ(pixels.back(), background);
        std::size_t drawn = 0;
        for (std::uint32_t p : pixels) {
            EXPECT_EQ(p >> 24, 0u);
            drawn += p != background ? 1 : 0;
        }
        EXPECT_GT(drawn, pixels.size() / 4) << "picture nearly empty";
    }
}

TEST(Pictures, FlagsDecode)
{
    int width = 0, height = 0;
    std::vector<std::uint32_t> german;
    ASSERT_TRUE(DecodeBitmapResource(121, &width, &height, &german));
    ASSERT_EQ(width, 16);
    ASSERT_EQ(height, 12);
    // Top-down rows: black, red, gold.
    EXPECT_EQ(german[0], 0x000000u);
    EXPECT_EQ(german[6 * 16 + 8], 0xDD0000u);
    EXPECT_EQ(german[11 * 16 + 15], 0xFFCE00u);

    std::vector<std::uint32_t> british;
    ASSERT_TRUE(DecodeBitmapResource(120, &width, &height, &british));
    ASSERT_EQ(width, 16);
    ASSERT_EQ(height, 12);
    const std::uint32_t centre = british[6 * 16 + 8];
    EXPECT_GT((centre >> 16) & 0xFF, 0xA0u) << "red cross at the centre";
    EXPECT_LT(centre & 0xFF, 0x60u);
    const std::uint32_t field = british[1 * 16 + 4]; // between saltire and cross
    EXPECT_GT(field & 0xFF, (field >> 16) & 0xFF) << "blue field";

    EXPECT_FALSE(DecodeBitmapResource(110, &width, &height, &british));
}

TEST(Pictures, IconHasBothSizesWithTransparentCorners)
{
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        int width = 0, height = 0;
        std::vector<std::uint32_t> pixels;
        ASSERT_TRUE(DecodeIconResource(106, size, &width, &height, &pixels));
        ASSERT_EQ(width, size);
        ASSERT_EQ(height, size);
        EXPECT_EQ(pixels[0] >> 24, 0u);
        EXPECT_EQ(pixels.back() >> 24, 0u);
        EXPECT_EQ(pixels[static_cast<std::size_t>(size / 2 * size + 1)] >> 24, 0xFFu);
        EXPECT_EQ(pixels[static_cast<std::size_t>(size / 2 * size + size / 2)] >> 24, 0xFFu);
    }
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    ASSERT_TRUE(DecodeIconResource(106, 48, &width, &height, &pixels));
    EXPECT_EQ(width, 32); // no 48: the largest
}

std::vector<std::uint8_t> Bmp(int width, int height, int bits,
                              const std::vector<std::uint8_t>& rows)
{
    std::vector<std::uint8_t> file(54 + rows.size());
    auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    file[0] = 'B';
    file[1] = 'M';
    put(2, static_cast<std::uint32_t>(54 + rows.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, static_cast<std::uint32_t>(bits), 2);
    std::copy(rows.begin(), rows.end(), file.begin() + 54);
    return file;
}

// Rows of 24-bit pixels are padded to four bytes; bottom-up is the usual
// order and a negative height means top-down.
TEST(BitmapDecoder, HonoursPaddingAndRowOrder)
{
    // 3 x 2: each row 9 bytes of blue, green, red plus 3 of padding.
    const std::vector<std::uint8_t> rows = {
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xEE, 0xEE, 0xEE,
        0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0xEE, 0xEE, 0xEE,
    };
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint8_t> file = Bmp(3, 2, 24, rows);
    ASSERT_TRUE(DecodeBitmapBytes(file.data(), file.size(), &width, &height, &pixels));
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(pixels, (std::vector<std::uint32_t>{0x131211, 0x161514, 0x191817, 0x030201, 0x060504,
                                                  0x090807}));

    file = Bmp(3, -2, 24, rows);
    ASSERT_TRUE(DecodeBitmapBytes(file.data(), file.size(), &width, &height, &pixels));
    EXPECT_EQ(height, 2);
    EXPECT_EQ(pixels[0], 0x030201u);
}

// Damaged data must be refused without reading past it or touching the
// caller's outputs.
TEST(BitmapDecoder, RefusesDamagedData)
{
    const std::vector<std::uint8_t> rows(24, 0x40);
    const std::vector<std::uint8_t> good = Bmp(3, 2, 24, rows);
    int width = -7, height = -7;
    std::vector<std::uint32_t> pixels = {42};

    std::vector<std::uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_FALSE(DecodeBitmapBytes(truncated.data(), truncated.size(), &width, &height, &pixels));
    std::vector<std::uint8_t> magic = good;
    magic[0] = 'X';
    EXPECT_FALSE(DecodeBitmapBytes(magic.data(), magic.size(), &width, &height, &pixels));
    std::vector<std::uint8_t> huge = Bmp(100000, 2, 24, rows);
    EXPECT_FALSE(DecodeBitmapBytes(huge.data(), huge.size(), &width, &height, &pixels));
    std::vector<std::uint8_t> paletted = Bmp(3, 2, 8, rows);
    EXPECT_FALSE(DecodeBitmapBytes(paletted.data(), paletted.size(), &width, &height, &pixels));
    EXPECT_FALSE(DecodeBitmapBytes(nullptr, 0, &width, &height, &pixels));
    EXPECT_FALSE(DecodeIconBytes(good.data(), good.size(), 16, &width, &height, &pixels));
    EXPECT_EQ(width, -7);
    EXPECT_EQ(height, -7);
    EXPECT_EQ(pixels, std::vector<std::uint32_t>{42});

    // The 32-pixel image of the real icon is its last: every cut of the file
    // damages it. (Under the sanitizers this also catches reads past the end.)
    HRSRC icon = FindResourceW(nullptr, 106, RT_GROUP_ICON);
    ASSERT_NE(icon, nullptr);
    const auto* bytes = static_cast<const std::uint8_t*>(LoadResource(nullptr, icon));
    const std::size_t size = SizeofResource(nullptr, icon);
    for (std::size_t cut = 0; cut < size; cut += 7) {
        std::vector<std::uint8_t> part(bytes, bytes + cut);
        EXPECT_FALSE(DecodeIconBytes(part.data(), part.size(), 32, &width, &height, &pixels))
            << cut;
    }
}

TEST(Version, IsOneZeroZeroOne)
{
    const VERSIONRESOURCE* version = Find<VERSIONRESOURCE>(1, RT_VERSION);
    ASSERT_NE(version, nullptr);
    for (const WORD* v : {version->fileVersion, version->productVersion}) {
        EXPECT_EQ((std::vector<WORD>(v, v + 4)), (std::vector<WORD>{1, 0, 0, 1}));
    }
}

// --version prints the project's version; the record and the Contact
// dialog tell the same one.
TEST(Version, RecordAndContactDialogTellWhatVersionPrints)
{
    const VERSIONRESOURCE* version = Find<VERSIONRESOURCE>(1, RT_VERSION);
    ASSERT_NE(version, nullptr);
    const WORD* v = version->productVersion;
    char dotted[64], contact[64];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", v[0], v[1], v[2], v[3]);
    std::snprintf(contact, sizeof contact, "Cradlecom Version %u.%u%u%u", v[0], v[1], v[2], v[3]);
    EXPECT_STREQ(dotted, CRADLECOM_VERSION);
    const DLGTEMPLATE* dialog = Find<DLGTEMPLATE>(dlgContact, RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    const std::u16string text = dialog->items[0].text;
    EXPECT_EQ(std::string(text.begin(), text.end()), contact);
}

} // namespace
