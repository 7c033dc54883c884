// SPDX-License-Identifier: GPL-3.0-or-later
// The folder that holds the single-instance lock: the same for every copy of
// a user whatever its environment, and never one that another user controls.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
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
        system = root / "run-user";
        xdg = root / "xdg";
        fallback = root / "cradlecom-uid";
        fs::create_directory(system);
        fs::create_directory(xdg);
        fs::permissions(system, fs::perms::owner_all);
        fs::permissions(xdg, fs::perms::owner_all);
    }
    void TearDown() override
    {
        unsetenv("CRADLECOM_SYSTEM_ROOT");
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // The folder chosen, or "refused: REASON".
    std::string Choose(const char* xdgValue)
    {
        std::string folder;
        std::string error;
        if (!ChooseRuntimeFolder(system.string(), xdgValue, fallback.string(), &folder, &error))
            return "refused: " + error;
        return folder;
    }

    fs::path root;
    fs::path system;
    fs::path xdg;
    fs::path fallback;
};

TEST_F(RuntimeFolder, TheSystemFolderWinsWhateverTheEnvironmentSays)
{
    EXPECT_EQ(Choose(xdg.c_str()), system.string());
    EXPECT_EQ(Choose(nullptr), system.string());
    EXPECT_EQ(Choose("relative"), system.string());

    fs::remove(system);
    EXPECT_EQ(Choose(xdg.c_str()), xdg.string());
    EXPECT_FALSE(fs::exists(fallback));

    // Without either, the fallback is made private.
    EXPECT_EQ(Choose(nullptr), fallback.string());
    EXPECT_EQ(fs::status(fallback).permissions(), fs::perms::owner_all);
    EXPECT_EQ(Choose((root / "missing").c_str()), fallback.string());
    EXPECT_EQ(Choose(""), fallback.string());
}

// Folders open to others are passed over; the fallback, which this program
// makes itself, is refused with a reason rather than used.
TEST_F(RuntimeFolder, FoldersOthersMayWriteToAreNeverUsed)
{
    fs::permissions(system, fs::perms::all);
    fs::permissions(xdg, fs::perms::all);
    EXPECT_EQ(Choose(xdg.c_str()), fallback.string());

    fs::create_directory(root / "open");
    fs::permissions(root / "open", fs::perms::all);
    fs::remove(fallback);
    fs::create_directory_symlink(root / "open", fallback);
    std::string refused = Choose(nullptr);
    EXPECT_EQ(refused.rfind("refused: " + fallback.string(), 0), 0u) << refused;

    // Even a link to a private folder of the user's: the path is what counts.
    fs::remove(fallback);
    fs::create_directory_symlink(xdg, fallback);
    fs::permissions(xdg, fs::perms::owner_all);
    fs::remove_all(system);
    EXPECT_EQ(Choose(nullptr).rfind("refused: ", 0), 0u);

    fs::remove(fallback);
    fs::create_directory(fallback);
    fs::permissions(fallback, fs::perms::all);
    EXPECT_EQ(Choose(nullptr).rfind("refused: ", 0), 0u);
}

TEST_F(RuntimeFolder, AnotherUsersFolderIsNeverUsed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    ASSERT_EQ(chown(system.c_str(), nobody, nobody), 0);
    ASSERT_EQ(chown(xdg.c_str(), nobody, nobody), 0);
    fs::create_directory(fallback);
    fs::permissions(fallback, fs::perms::owner_all);
    ASSERT_EQ(chown(fallback.c_str(), nobody, nobody), 0);
    std::string refused = Choose(xdg.c_str());
    EXPECT_EQ(refused.rfind("refused: " + fallback.string() + " is not a private folder", 0), 0u)
        << refused;
}

// The lock lives in the chosen folder and goes with its last handle; with no
// private folder there is no lock, and the caller is told why.
TEST_F(RuntimeFolder, TheLockLivesInTheFolderAndLeavesNothingBehind)
{
    setenv("CRADLECOM_SYSTEM_ROOT", root.c_str(), 1);
    const fs::path mine = root / "run" / "user" / std::to_string(geteuid());
    fs::create_directories(mine);
    fs::permissions(mine, fs::perms::owner_all);
    std::string folder;
    std::string error;
    ASSERT_TRUE(UserRuntimeFolder(&folder, &error)) << error;
    EXPECT_EQ(folder, mine.string());

    HANDLE lock = CreateMutexW(nullptr, FALSE, u"RuntimeFolderTest");
    ASSERT_NE(lock, nullptr);
    EXPECT_TRUE(fs::is_regular_file(mine / "RuntimeFolderTest.lock"));
    EXPECT_EQ(fs::status(mine / "RuntimeFolderTest.lock").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    CloseHandle(lock);
    EXPECT_TRUE(fs::is_empty(mine));

    // A link at the lock's name is never followed.
    fs::create_symlink(root / "elsewhere", mine / "RuntimeFolderTest.lock");
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"RuntimeFolderTest"), nullptr);
    EXPECT_FALSE(fs::exists(root / "elsewhere"));
    fs::remove(mine / "RuntimeFolderTest.lock");

    fs::remove_all(root / "run");
    fs::create_directories(root / "tmp" / ("cradlecom-" + std::to_string(geteuid())));
    fs::permissions(root / "tmp" / ("cradlecom-" + std::to_string(geteuid())), fs::perms::all);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(UserRuntimeFolder(&folder, &error));
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"RuntimeFolderTest"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

} // namespace
