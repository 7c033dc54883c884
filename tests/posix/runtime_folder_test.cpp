// SPDX-License-Identifier: GPL-3.0-or-later
// The folder that holds the single-instance lock: the same for every copy of
// a user whatever its environment, and never one that another user controls.
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/runtime_folder.h"
#include "platform/system.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t nobody = 65534;

class RuntimeFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/cc-runtime-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        mine = root / "tmp" / ("cradlecom-" + std::to_string(geteuid()));
        fs::create_directory(root / "tmp");
        setenv("CRADLECOM_SYSTEM_ROOT", root.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("CRADLECOM_SYSTEM_ROOT");
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // The folder chosen, or "refused: REASON".
    static std::string Chosen()
    {
        std::string folder;
        std::string error;
        if (!UserRuntimeFolder(&folder, &error))
            return "refused: " + error;
        return folder;
    }

    fs::path root;
    fs::path mine; // ROOT/tmp/cradlecom-UID
};

// Copies started with XDG_RUNTIME_DIR set to one folder, another (a long
// one, too long for a socket beside it) or unset, with or without
// /run/user/UID, all meet in one folder, made private.
TEST_F(RuntimeFolder, OneFolderWhateverTheEnvironmentSays)
{
    const fs::path a = root / "a";
    const fs::path b = root / std::string(90, 'b');
    for (const fs::path& folder : {a, b, root / "run" / "user" / std::to_string(geteuid())}) {
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
    }
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string before = saved != nullptr ? saved : "";
    for (const char* xdg : {a.c_str(), b.c_str(), static_cast<const char*>(nullptr)}) {
        if (xdg != nullptr)
            setenv("XDG_RUNTIME_DIR", xdg, 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(Chosen(), mine.string()) << (xdg != nullptr ? xdg : "unset");
    }
    if (saved != nullptr)
        setenv("XDG_RUNTIME_DIR", before.c_str(), 1);
    EXPECT_EQ(fs::status(mine).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(a));
}

// A folder in its place that others may enter, a link (even to a private
// folder of the user's) or a file: refused with a reason, never used.
TEST_F(RuntimeFolder, FoldersOthersMayEnterAreNeverUsed)
{
    fs::create_directory(root / "open");
    fs::permissions(root / "open", fs::perms::all);
    fs::create_directory_symlink(root / "open", mine);
    std::string refused = Chosen();
    EXPECT_EQ(refused.rfind("refused: " + mine.string() + " is not a private folder", 0), 0u)
        << refused;

    fs::permissions(root / "open", fs::perms::owner_all);
    EXPECT_EQ(Chosen().rfind("refused: ", 0), 0u);

    fs::remove(mine);
    fs::create_directory(mine);
    for (fs::perms open :
         {fs::perms::all, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec}) {
        fs::permissions(mine, open);
        EXPECT_EQ(Chosen().rfind("refused: ", 0), 0u);
    }
    fs::remove(mine);
    {
        std::ofstream file(mine);
    }
    EXPECT_EQ(Chosen().rfind("refused: ", 0), 0u);
}

TEST_F(RuntimeFolder, AnotherUsersFolderIsNeverUsed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    fs::create_directory(mine);
    fs::permissions(mine, fs::perms::owner_all);
    ASSERT_EQ(chown(mine.c_str(), nobody, nobody), 0);
    std::string refused = Chosen();
    EXPECT_EQ(refused.rfind("refused: " + mine.string() + " is not a private folder", 0), 0u)
        << refused;
}

// The lock lives in the folder and goes with its last handle; while it is
// held the folder is locked too, so that the clean-up of old files in /tmp
// passes it over. With no private folder there is no lock, and why is told.
TEST_F(RuntimeFolder, TheLockLivesInTheFolderAndLeavesNothingBehind)
{
    HANDLE lock = CreateMutexW(nullptr, FALSE, u"RuntimeFolderTest");
    ASSERT_NE(lock, nullptr);
    EXPECT_TRUE(fs::is_regular_file(mine / "RuntimeFolderTest.lock"));
    EXPECT_EQ(fs::status(mine / "RuntimeFolderTest.lock").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    const int folder = open(mine.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    EXPECT_NE(flock(folder, LOCK_SH | LOCK_NB), 0); // as the clean-up tries it
    CloseHandle(lock);
    EXPECT_TRUE(fs::is_empty(mine));
    EXPECT_EQ(flock(folder, LOCK_SH | LOCK_NB), 0);
    close(folder);

    // A link at the lock's name is never followed.
    fs::create_symlink(root / "elsewhere", mine / "RuntimeFolderTest.lock");
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"RuntimeFolderTest"), nullptr);
    EXPECT_FALSE(fs::exists(root / "elsewhere"));
    fs::remove(mine / "RuntimeFolderTest.lock");

    fs::permissions(mine, fs::perms::all);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"RuntimeFolderTest"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

} // namespace
