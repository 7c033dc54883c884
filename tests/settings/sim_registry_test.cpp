// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "platform/registry.h"
#include "platform/sim/sim_registry.h"

namespace {

const char16_t* const path = u"Software\\Test";

TEST(SimRegistry, QueryRefusesTooSmallBufferAndReportsTheSize)
{
    SimRegistryClear();
    SimRegistrySetValue(path, u"V", REG_BINARY, {1, 2, 3, 4, 5});
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &key), ERROR_SUCCESS);
    BYTE data[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    DWORD size = 4;
    DWORD type = REG_NONE;
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(data[0], 9); // nothing copied
    size = 5;
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(data[4], 5);
    EXPECT_EQ(data[5], 9);
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\test", 0, 0, &key), ERROR_SUCCESS);
}

TEST(SimRegistry, WritesBecomeVisibleTogetherAtClose)
{
    SimRegistryClear();
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, u"", 0, 0, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const BYTE a[] = {'a', 0};
    const BYTE b[] = {'b', 0, 0};
    EXPECT_EQ(RegSetValueExW(key, u"A", 0, REG_SZ, a, 2), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"B", 0, REG_SZ, b, 3), ERROR_SUCCESS);
    EXPECT_FALSE(SimRegistryKeyExists(path));
    EXPECT_FALSE(SimRegistryGetValue(path, u"A", nullptr, nullptr));
    BYTE data[4] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(key, u"B", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    std::vector<BYTE> bytes;
    EXPECT_TRUE(SimRegistryGetValue(path, u"A", nullptr, &bytes));
    EXPECT_EQ(bytes, (std::vector<BYTE>{'a', 0}));
    EXPECT_TRUE(SimRegistryGetValue(path, u"B", nullptr, &bytes));
    EXPECT_EQ(bytes.size(), 3u);

    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, u"", 0, 0, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_PARAMETER); // closed twice
}

} // namespace
