// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/sim_registry.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

const std::u16string keyPath = u"Software\\Veltrano\\CradleCom\\Settings";
const char16_t* const settingNames[] = {u"VolSensi",    u"VolThresh",  u"CryThresh",
                                        u"PhoneNumber", u"PhoneDelay", u"PhoneMaxCalls",
                                        u"Language"};

std::vector<BYTE> TextBytes(const std::u16string& text, bool terminated = true)
{
    std::vector<BYTE> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    if (terminated) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

void Store(const std::u16string& name, const std::u16string& text)
{
    SimRegistrySetText(keyPath, name, text);
}

void StoreAllSeven()
{
    Store(u"VolSensi", u"10");
    Store(u"VolThresh", u"35");
    Store(u"CryThresh", u"250");
    Store(u"PhoneNumber", u"+49 30 1234567");
    Store(u"PhoneDelay", u"3");
    Store(u"PhoneMaxCalls", u"4");
    Store(u"Language", u"1");
}

// The stored bytes of a value, or an empty vector with `exists` false.
std::vector<BYTE> Stored(const std::u16string& name, bool* exists = nullptr, DWORD* type = nullptr)
{
    std::vector<BYTE> bytes;
    const bool found = SimRegistryGetValue(keyPath, name, type, &bytes);
    if (exists != nullptr) {
        *exists = found;
    }
    return bytes;
}

class Persistence : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimRegistryClear();
        ClearRuntimeState();
    }
    void TearDown() override { EXPECT_EQ(SimRegistryOpenKeys(), 0); }
};

TEST_F(Persistence, KeyAbsentGivesDefaultsAndWritesNothing)
{
    LoadSettings();
    EXPECT_EQ(settings.VolSensi, 50);
    EXPECT_EQ(settings.VolThresh, 50);
    EXPECT_EQ(settings.CryThresh, 50);
    EXPECT_EQ(settings.PhoneDelay, 1);
    EXPECT_EQ(settings.PhoneMaxCalls, 10);
    EXPECT_EQ(settings.Language, 0);
    EXPECT_EQ(settings.PhoneNumber[0], u'\0');
    EXPECT_EQ(firstUse, 0);
    EXPECT_EQ(SimRegistryWriteCount(), 0);
    EXPECT_FALSE(SimRegistryKeyExists(keyPath));
    EXPECT_DOUBLE_EQ(limits.sensiFactor.load(), 15250.0);
    EXPECT_DOUBLE_EQ(limits.volLimit, 0.5);
    EXPECT_DOUBLE_EQ(limits.cryLimit, 0.5);
}

TEST_F(Persistence, KeyThatCannotBeOpenedGivesDefaultsEvenWhenValuesExist)
{
    StoreAllSeven();
    SimRegistryFailOpen(true);
    LoadSettings();
    EXPECT_EQ(settings.VolSensi, 50);
    EXPECT_EQ(settings.Language, 0);
    EXPECT_EQ(settings.PhoneNumber[0], u'\0');
    EXPECT_EQ(firstUse, 0);
    EXPECT_EQ(SimRegistryWriteCount(), 0);
    SimRegistryFailOpen(false);
    bool exists = true;
    Stored(u"FirstUse", &exists);
    EXPECT_FALSE(exists);
}

TEST_F(Persistence, KeyWithoutMarkerReadsValuesAndWritesMarkerOnce)
{
    StoreAllSeven();
    LoadSettings();
    EXPECT_EQ(settings.VolSensi, 10);
    EXPECT_EQ(settings.VolThresh, 35);
    EXPECT_EQ(settings.CryThresh, 250);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"+49 30 1234567");
    EXPECT_EQ(settings.PhoneDelay, 3);
    EXPECT_EQ(settings.PhoneMaxCalls, 4);
    EXPECT_EQ(settings.Language, 1);
    EXPECT_EQ(firstUse, 1);
    EXPECT_EQ(SimRegistryWriteCount(), 1);
    DWORD type = REG_NONE;
    bool exists = false;
    EXPECT_EQ(Stored(u"FirstUse", &exists, &type), TextBytes(u"1"));
    EXPECT_TRUE(exists);
    EXPECT_EQ(type, REG_SZ);
    // Limits follow the loaded values, percentages clamped.
    EXPECT_DOUBLE_EQ(limits.sensiFactor.load(), 27050.0);
    EXPECT_DOUBLE_EQ(limits.volLimit, 0.35);
    EXPECT_DOUBLE_EQ(limits.cryLimit, 1.0);

    // The next start (the language dialog may have been cancelled) finds the
    // marker and shows nothing.
    settings = SettingsRecord{};
    firstUse = 0;
    LoadSettings();
    EXPECT_EQ(firstUse, 0);
    EXPECT_EQ(SimRegistryWriteCount(), 1);
    EXPECT_EQ(settings.Language, 1);
}

TEST_F(Persistence, MarkerWithAnyTextCountsAsPresent)
{
    for (const std::u16string text : {u"0", u"", u"yes"}) {
        SimRegistryClear();
        StoreAllSeven();
        Store(u"FirstUse", text);
        firstUse = 0;
        LoadSettings();
        EXPECT_EQ(firstUse, 0);
        EXPECT_EQ(SimRegistryWriteCount(), 0);
        EXPECT_EQ(Stored(u"FirstUse"), TextBytes(text));
    }
}

TEST_F(Persistence, UnreadableMarkerIsWrittenAnew)
{
    Store(u"FirstUse", std::u16string(130, u'1'));
    LoadSettings();
    EXPECT_EQ(firstUse, 1);
    EXPECT_EQ(Stored(u"FirstUse"), TextBytes(u"1"));
}

TEST_F(Persistence, MissingSingleValuesKeepStartValuesNotDefaults)
{
    Store(u"PhoneDelay", u"2");
    Store(u"FirstUse", u"1");
    LoadSettings();
    EXPECT_EQ(settings.VolSensi, 0);
    EXPECT_EQ(settings.VolThresh, 0);
    EXPECT_EQ(settings.CryThresh, 0);
    EXPECT_EQ(settings.PhoneMaxCalls, 0);
    EXPECT_EQ(settings.PhoneDelay, 2);
    EXPECT_EQ(settings.PhoneNumber[0], u'\0');
    EXPECT_DOUBLE_EQ(limits.sensiFactor.load(), 30000.0);
    EXPECT_DOUBLE_EQ(limits.volLimit, 0.0);
}

TEST_F(Persistence, NumbersConvertLikeWtoi)
{
    struct Case {
        std::u16string text;
        std::int32_t expected;
    };
    const Case cases[] = {{u" 7min", 7},
                          {u"min", 0},
                          {u"-3", -3},
                          {u"+12", 12},
                          {u"\t\n 42", 42},
                          {u"2147483647", INT32_MAX},
                          {u"99999999999", INT32_MAX},
                          {u"-2147483648", INT32_MIN},
                          {u"-99999999999999999999", INT32_MIN}};
    for (const Case& c : cases) {
        SimRegistryClear();
        Store(u"PhoneDelay", c.text);
        settings.PhoneDelay = 1234;
        LoadSettings();
        EXPECT_EQ(settings.PhoneDelay, c.expected) << std::string(c.text.begin(), c.text.end());
    }
}

TEST_F(Persistence, ValuesOverTwoHundredFiftyBytesAreRefused)
{
    // 124 characters and the null are exactly 250 bytes: accepted.
    Store(u"VolSensi", std::u16string(122, u' ') + u"42");
    // One more is refused, and the field keeps its start value.
    Store(u"VolThresh", std::u16string(123, u' ') + u"42");
    Store(u"PhoneNumber", std::u16string(130, u'5'));
    LoadSettings();
    EXPECT_EQ(settings.VolSensi, 42);
    EXPECT_EQ(settings.VolThresh, 0);
    EXPECT_EQ(settings.PhoneNumber[0], u'\0');
}

TEST_F(Persistence, PhoneNumberLongerThanFieldIsRefusedNotCut)
{
    Store(u"PhoneNumber", std::u16string(24, u'7'));
    LoadSettings();
    EXPECT_EQ(std::u16string(settings.PhoneNumber), std::u16string(24, u'7'));

    for (std::size_t length : {25u, 40u, 124u}) {
        SimRegistryClear();
        Store(u"PhoneNumber", std::u16string(length, u'9'));
        Store(u"PhoneDelay", u"6"); // read after the number: must be intact
        std::u16string before = u"5551234";
        before.copy(settings.PhoneNumber, before.size());
        settings.PhoneNumber[before.size()] = 0;
        LoadSettings();
        EXPECT_EQ(std::u16string(settings.PhoneNumber), before) << length;
        EXPECT_EQ(settings.PhoneDelay, 6);
    }
}

TEST_F(Persistence, UnterminatedAndOddSizedTextsEndAtTheirStoredSize)
{
    // Each value is read right after a longer one, so a read past the
    // returned bytes would pick up the earlier text's digits.
    Store(u"VolSensi", u"99999");
    SimRegistrySetValue(keyPath, u"VolThresh", REG_SZ, TextBytes(u"4", false));
    Store(u"CryThresh", u"7777777777777");
    SimRegistrySetValue(keyPath, u"PhoneNumber", REG_SZ, TextBytes(u"123", false));
    Store(u"PhoneDelay", u"88888");
    std::vector<BYTE> odd = TextBytes(u"42", false);
    odd.push_back('7'); // half a unit: dropped
    SimRegistrySetValue(keyPath, u"PhoneMaxCalls", REG_SZ, odd);
    SimRegistrySetValue(keyPath, u"Language", REG_BINARY, {'1'}); // less than one unit
    LoadSettings();
    EXPECT_EQ(settings.VolThresh, 4);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"123");
    EXPECT_EQ(settings.PhoneMaxCalls, 42);
    EXPECT_EQ(settings.Language, 0);
}

TEST_F(Persistence, OtherTypesAreReadAsTheyCome)
{
    SimRegistrySetValue(keyPath, u"VolSensi", REG_BINARY, TextBytes(u"33"));
    SimRegistrySetValue(keyPath, u"VolThresh", REG_DWORD, {0x05, 0x00, 0x00, 0x00});
    LoadSettings();
    EXPECT_EQ(settings.VolSensi, 33);
    EXPECT_EQ(settings.VolThresh, 0); // the unit 5 is no digit
}

TEST_F(Persistence, SaveWritesDecimalTextWithExactSizes)
{
    settings.VolSensi = 50;
    settings.VolThresh = 100;
    settings.CryThresh = -5;
    settings.PhoneDelay = 1;
    settings.PhoneMaxCalls = 10;
    settings.Language = INT32_MIN;
    SaveSettings();
    EXPECT_EQ(SimRegistryWriteCount(), settingNameCount);
    struct Expect {
        const char16_t* name;
        std::u16string text;
        std::size_t size;
    };
    const Expect expected[] = {{u"VolSensi", u"50", 6},          {u"VolThresh", u"100", 8},
                               {u"CryThresh", u"-5", 6},         {u"PhoneNumber", u"", 2},
                               {u"PhoneDelay", u"1", 4},         {u"PhoneMaxCalls", u"10", 6},
                               {u"Language", u"-2147483648", 24}};
    for (const Expect& e : expected) {
        DWORD type = REG_NONE;
        bool exists = false;
        const std::vector<BYTE> bytes = Stored(e.name, &exists, &type);
        EXPECT_TRUE(exists);
        EXPECT_EQ(type, REG_SZ);
        EXPECT_EQ(bytes.size(), e.size);
        EXPECT_EQ(bytes, TextBytes(e.text));
    }
    bool marker = true;
    Stored(u"FirstUse", &marker);
    EXPECT_FALSE(marker);
}

TEST_F(Persistence, SaveNeverTouchesTheMarker)
{
    Store(u"FirstUse", u"abc");
    SaveSettings();
    EXPECT_EQ(Stored(u"FirstUse"), TextBytes(u"abc"));
    EXPECT_EQ(SimRegistryWriteCount(), settingNameCount);
}

TEST_F(Persistence, UnterminatedPhoneFieldIsSavedAsItsTwentyFourCharacters)
{
    for (WCHAR& unit : settings.PhoneNumber) {
        unit = u'8';
    }
    SaveSettings();
    EXPECT_EQ(Stored(u"PhoneNumber"), TextBytes(std::u16string(24, u'8')));
}

TEST_F(Persistence, FailedCreateWritesNothing)
{
    SimRegistryFailCreate(true);
    settings.VolSensi = 70;
    EXPECT_EQ(SaveSettings(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SimRegistryWriteCount(), 0);
    EXPECT_FALSE(SimRegistryKeyExists(keyPath));
    EXPECT_EQ(settings.VolSensi, 70); // the record keeps the user's change
}

TEST_F(Persistence, FailedCommitIsReportedAndKeepsTheOldValues)
{
    settings.VolSensi = 15;
    ASSERT_EQ(SaveSettings(), ERROR_SUCCESS);
    settings.VolSensi = 85;
    SimRegistryFailCommit(ERROR_DISK_FULL);
    EXPECT_EQ(SaveSettings(), ERROR_DISK_FULL);
    EXPECT_EQ(Stored(u"VolSensi"), TextBytes(u"15"));
    EXPECT_EQ(settings.VolSensi, 85);
    EXPECT_EQ(SaveSettings(), ERROR_SUCCESS); // once only
    EXPECT_EQ(Stored(u"VolSensi"), TextBytes(u"85"));
}

TEST_F(Persistence, OneFailedWriteDoesNotStopTheOthers)
{
    settings.VolSensi = 15;
    settings.VolThresh = 25;
    settings.PhoneMaxCalls = 3;
    SimRegistryFailWriteOf(u"VolThresh");
    EXPECT_EQ(SaveSettings(), ERROR_ACCESS_DENIED);           // told, though the others are kept
    EXPECT_EQ(SimRegistryWriteCount(), settingNameCount - 1); // all but VolThresh
    bool exists = true;
    Stored(u"VolThresh", &exists);
    EXPECT_FALSE(exists);
    EXPECT_EQ(Stored(u"VolSensi"), TextBytes(u"15"));
    EXPECT_EQ(Stored(u"PhoneMaxCalls"), TextBytes(u"3"));
    EXPECT_EQ(Stored(u"Language"), TextBytes(u"0"));
}

TEST_F(Persistence, SavedRecordLoadsBackAtTheNextStart)
{
    settings.VolSensi = 90;
    settings.VolThresh = 5;
    settings.CryThresh = 35;
    std::u16string number = u"*31#0049 (0)30-12";
    number.copy(settings.PhoneNumber, number.size());
    settings.PhoneDelay = -2;
    settings.PhoneMaxCalls = 0;
    settings.Language = 1;
    const SettingsRecord saved = settings;
    SaveSettings();

    settings = SettingsRecord{};
    LoadSettings();
    EXPECT_EQ(settings.VolSensi, saved.VolSensi);
    EXPECT_EQ(settings.VolThresh, saved.VolThresh);
    EXPECT_EQ(settings.CryThresh, saved.CryThresh);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), number);
    EXPECT_EQ(settings.PhoneDelay, saved.PhoneDelay);
    EXPECT_EQ(settings.PhoneMaxCalls, saved.PhoneMaxCalls);
    EXPECT_EQ(settings.Language, saved.Language);
    EXPECT_EQ(firstUse, 1); // the first start after the first save
    EXPECT_DOUBLE_EQ(limits.sensiFactor.load(), 3450.0);
    EXPECT_DOUBLE_EQ(limits.volLimit, 0.05);
    EXPECT_DOUBLE_EQ(limits.cryLimit, 0.35);
    for (const char16_t* name : settingNames) {
        bool exists = false;
        Stored(name, &exists);
        EXPECT_TRUE(exists);
    }
}

// What another program saves between this one's read and its save stays:
// a save writes only what this process changed, and the others' values are
// taken when asked for.
TEST_F(Persistence, SaveKeepsWhatOthersSavedAndTakesItWhenAsked)
{
    StoreAllSeven();
    Store(u"FirstUse", u"1");
    LoadSettings();
    Store(u"PhoneNumber", u"0170 2222222");
    Store(u"CryThresh", u"60");
    settings.VolSensi = 15;
    ASSERT_EQ(SaveSettings(), ERROR_SUCCESS);
    EXPECT_EQ(SimRegistryWriteCount(), 1);
    EXPECT_EQ(Stored(u"VolSensi"), TextBytes(u"15"));
    EXPECT_EQ(Stored(u"PhoneNumber"), TextBytes(u"0170 2222222"));
    EXPECT_EQ(Stored(u"CryThresh"), TextBytes(u"60"));

    std::uint32_t taken = 0;
    EXPECT_EQ(TakeStoredSettings(phoneSettingBits, &taken), ERROR_SUCCESS);
    EXPECT_EQ(taken, 1u << 3);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"0170 2222222");
    EXPECT_EQ(settings.CryThresh, 250); // not asked for
    EXPECT_EQ(TakeStoredSettings(everySettingBits, &taken), ERROR_SUCCESS);
    EXPECT_EQ(taken, 1u << 2); // its own save is no news
    EXPECT_EQ(settings.CryThresh, 60);
}

} // namespace
