// SPDX-License-Identifier: GPL-3.0-or-later
// The guarantees of platform/registry.h, once, for every store: each store
// instantiates the suite with a type that says how to empty it, what
// another program sees of it and how to make its next commit fail.
//   static void SetUp(); static void TearDown();
//   static bool Peek(path, name, std::vector<BYTE>* bytes, DWORD* type);
//   static bool KeyExists(path);
//   static LONG BreakNextCommit(); // the code that commit then returns
//   static void Mend();
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"

template <typename Store> class RegistryContract : public ::testing::Test {
protected:
    void SetUp() override { Store::SetUp(); }
    void TearDown() override
    {
        Store::Mend();
        Store::TearDown();
    }

    static constexpr const char16_t* path = u"Software\\Test";

    // Stores `values` under `path` through a key of its own.
    static void Put(const std::vector<std::pair<std::u16string, std::vector<BYTE>>>& values,
                    DWORD type = REG_BINARY)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, u"", 0, 0, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (const auto& [name, bytes] : values)
            ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, type, bytes.data(),
                                     static_cast<DWORD>(bytes.size())),
                      ERROR_SUCCESS);
        ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }

    static std::vector<BYTE> Peeked(const std::u16string& name)
    {
        std::vector<BYTE> bytes;
        DWORD type = REG_NONE;
        if (!Store::Peek(path, name, &bytes, &type))
            return {0xEE}; // absent
        return bytes;
    }
};

TYPED_TEST_SUITE_P(RegistryContract);

TYPED_TEST_P(RegistryContract, PathsAndNamesAreComparedExactly)
{
    this->Put({{u"V", {1}}});
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\test", 0, 0, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Test\\", 0, 0, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    // The same key, opened below its parent's path.
    HKEY parent = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &parent), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, u"", 0, 0, nullptr, &parent, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(parent, u"Test", 0, 0, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key, u"V ", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
}

TYPED_TEST_P(RegistryContract, QueryCopiesAtMostTheBufferAndTellsTheSize)
{
    this->Put({{u"V", {1, 2, 3, 4, 5}}, {u"Empty", {}}});
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, 0, &key), ERROR_SUCCESS);
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
    // Either pointer may be null.
    size = 0;
    type = REG_NONE;
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(key, u"Empty", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, nullptr, data, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TYPED_TEST_P(RegistryContract, WritesBecomeVisibleTogetherAtClose)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, u"", 0, 0, nullptr, &key, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const BYTE a[] = {'a', 0};
    const BYTE b[] = {'b', 0, 0};
    EXPECT_EQ(RegSetValueExW(key, u"A", 0, REG_SZ, a, 2), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"B", 0, REG_SZ, b, 3), ERROR_SUCCESS);
    EXPECT_FALSE(TypeParam::KeyExists(this->path));
    HKEY reader = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, 0, &reader), ERROR_FILE_NOT_FOUND);
    // The writer reads its own writes.
    BYTE data[4] = {};
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    EXPECT_EQ(RegQueryValueExW(key, u"B", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(this->Peeked(u"A"), (std::vector<BYTE>{'a', 0}));
    EXPECT_EQ(this->Peeked(u"B"), (std::vector<BYTE>{'b', 0, 0}));

    // A second save: until its close, a reader sees the first.
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, u"", 0, 0, nullptr, &key, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    const BYTE c[] = {'c', 0};
    EXPECT_EQ(RegSetValueExW(key, u"A", 0, REG_SZ, c, 2), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, 0, &reader), ERROR_SUCCESS);
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(reader, u"A", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(data[0], 'a');
    EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);
    EXPECT_EQ(this->Peeked(u"A"), (std::vector<BYTE>{'a', 0}));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(this->Peeked(u"A"), (std::vector<BYTE>{'c', 0}));
    EXPECT_EQ(this->Peeked(u"B"), (std::vector<BYTE>{'b', 0, 0}));
}

TYPED_TEST_P(RegistryContract, AKeyCreatedWithoutValuesExistsOnceClosed)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, u"", 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_FALSE(TypeParam::KeyExists(this->path));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_TRUE(TypeParam::KeyExists(this->path));
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, u"", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// A commit that fails keeps nothing of the key's writes, and says so.
TYPED_TEST_P(RegistryContract, AFailedCommitKeepsNothing)
{
    this->Put({{u"A", {'1'}}});
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, u"", 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const BYTE two[] = {'2'};
    EXPECT_EQ(RegSetValueExW(key, u"A", 0, REG_BINARY, two, 1), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"B", 0, REG_BINARY, two, 1), ERROR_SUCCESS);
    const LONG code = TypeParam::BreakNextCommit();
    EXPECT_EQ(RegCloseKey(key), code);
    TypeParam::Mend();
    EXPECT_EQ(this->Peeked(u"A"), std::vector<BYTE>{'1'});
    EXPECT_EQ(this->Peeked(u"B"), std::vector<BYTE>{0xEE});
    // The store is as it was for the next save.
    this->Put({{u"B", {'3'}}});
    EXPECT_EQ(this->Peeked(u"A"), std::vector<BYTE>{'1'});
    EXPECT_EQ(this->Peeked(u"B"), std::vector<BYTE>{'3'});
}

// A key closed (or never opened) is no key any more.
TYPED_TEST_P(RegistryContract, KeysThatAreNotOpenAreRefused)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, this->path, 0, u"", 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    const BYTE one[] = {1};
    EXPECT_EQ(RegSetValueExW(key, u"A", 0, REG_BINARY, one, 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key, u"A", nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_PARAMETER); // closed twice
    HKEY child = nullptr;
    EXPECT_EQ(RegOpenKeyExW(key, u"Child", 0, 0, &child), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"A", nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

REGISTER_TYPED_TEST_SUITE_P(RegistryContract, PathsAndNamesAreComparedExactly,
                            QueryCopiesAtMostTheBufferAndTellsTheSize,
                            WritesBecomeVisibleTogetherAtClose,
                            AKeyCreatedWithoutValuesExistsOnceClosed, AFailedCommitKeepsNothing,
                            KeysThatAreNotOpenAreRefused);
