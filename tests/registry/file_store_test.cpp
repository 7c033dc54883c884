// SPDX-License-Identifier: GPL-3.0-or-later
// The registry's guarantees on the settings file.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/store/store_file.h"
#include "registry_contract.h"

namespace {

namespace fs = std::filesystem;

fs::path root;

// What another program reads of the file now.
StoreKeys FileKeys()
{
    std::ifstream in(StoreFilePath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return ParseStoreText(text.str());
}

struct FileStore {
    static void SetUp()
    {
        char pattern[] = "/tmp/cc-contract-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        setenv("XDG_CONFIG_HOME", pattern, 1);
    }
    static void TearDown()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    static bool Peek(const std::u16string& path, const std::u16string& name,
                     std::vector<BYTE>* bytes, DWORD* type)
    {
        const StoreKeys keys = FileKeys();
        auto key = keys.find(path);
        if (key == keys.end() || key->second.count(name) == 0)
            return false;
        *bytes = key->second.at(name).bytes;
        *type = key->second.at(name).type;
        return true;
    }
    static bool KeyExists(const std::u16string& path) { return FileKeys().count(path) != 0; }
    // Storage that turned read-only while the key was open.
    static LONG BreakNextCommit()
    {
        StoreSetReadOnly(true);
        return ERROR_WRITE_PROTECT;
    }
    static void Mend() { StoreSetReadOnly(false); }
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(File, RegistryContract, FileStore);
