// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/registry.h"
#include "platform/store/store_file.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr uid_t nobody = 65534;

const char16_t* const keyPath = u"Software\\Veltrano\\CradleCom\\Settings";

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

void SetRecord(std::int32_t base, const std::u16string& number)
{
    settings = SettingsRecord{};
    settings.VolSensi = base;
    settings.VolThresh = base + 1;
    settings.CryThresh = base + 2;
    number.copy(settings.PhoneNumber, number.size());
    settings.PhoneDelay = base + 3;
    settings.PhoneMaxCalls = base + 4;
    settings.Language = base % 2;
}

// Loads as a fresh start would, from a zeroed record.
void FreshLoad()
{
    settings = SettingsRecord{};
    firstUse = 0;
    LoadSettings();
}

class Store : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/cc-store-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        setenv("XDG_CONFIG_HOME", pattern, 1);
        file = root / "cradlecom" / "registry";
        ASSERT_EQ(StoreFilePath(), file.string());
    }
    void TearDown() override
    {
        StoreSetCommitHook(nullptr);
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    fs::path root;
    fs::path file;
};

TEST_F(Store, EveryFieldRoundTripsThroughTheFile)
{
    SetRecord(-7, u"+49 (30) 555-12 äß");
    settings.Language = 1;
    SaveSettings();
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("[Software\\Veltrano\\CradleCom\\Settings]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("VolSensi = sz:-7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("PhoneNumber = sz:+49 (30) 555-12 äß\n"), std::string::npos) << text;

    FreshLoad();
    EXPECT_EQ(settings.VolSensi, -7);
    EXPECT_EQ(settings.VolThresh, -6);
    EXPECT_EQ(settings.CryThresh, -5);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"+49 (30) 555-12 äß");
    EXPECT_EQ(settings.PhoneDelay, -4);
    EXPECT_EQ(settings.PhoneMaxCalls, -3);
    EXPECT_EQ(settings.Language, 1);
    EXPECT_EQ(firstUse, 1);
    EXPECT_NE(ReadFile(file).find("FirstUse = sz:1\n"), std::string::npos);

    FreshLoad();
    EXPECT_EQ(firstUse, 0);
    EXPECT_EQ(settings.VolSensi, -7);
}

TEST_F(Store, NoFileMeansNoKeyAndLoadingCreatesNothing)
{
    FreshLoad();
    EXPECT_EQ(settings.VolSensi, 50);
    EXPECT_EQ(settings.PhoneMaxCalls, 10);
    EXPECT_EQ(firstUse, 0);
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(Store, ExactBytesAndTypesSurviveTheFile)
{
    struct Value {
        std::u16string name;
        DWORD type;
        std::vector<BYTE> bytes;
    };
    auto text = [](const std::u16string& units) {
        std::vector<BYTE> bytes;
        for (char16_t unit : units) {
            bytes.push_back(static_cast<BYTE>(unit & 0xFF));
            bytes.push_back(static_cast<BYTE>(unit >> 8));
        }
        return bytes;
    };
    const std::vector<Value> values = {
        {u"Plain", REG_SZ, text(u"50\0"s)},
        {u"Unterminated", REG_SZ, text(u"50")},
        {u"Odd", REG_SZ, {'5', 0, '0'}},
        {u"Empty", REG_SZ, {}},
        {u"TwoNulls", REG_SZ, text(u"a\0\0"s)},
        {u"Inner null", REG_SZ, text(u"a\0b\0"s)},
        {u"Escapes", REG_SZ, text(u"%41 \t\r\n\\ = ] [x] #;\x7f\0"s)},
        {u"  Spaced = name ", REG_SZ, text(u" lead and trail  \0"s)},
        {u"#comment-like", REG_DWORD, {1, 0, 0, 0}},
        {u"[bracket", REG_BINARY, {0, 255, 10, 13, '%'}},
        {u"", REG_SZ, text(u"default\0"s)},
        {u"Surrogates", REG_SZ, text(u"\U0001F476 \xD800 x \xDC00\0"s)},
        {u"Type 77", 77, {'z'}},
    };
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Weird]\\Key %20\n", 0, u"", 0, 0, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    for (const Value& v : values) {
        ASSERT_EQ(RegSetValueExW(key, v.name.c_str(), 0, v.type, v.bytes.data(),
                                 static_cast<DWORD>(v.bytes.size())),
                  ERROR_SUCCESS);
    }
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Weird]\\Key %20\n", 0, 0, &key), ERROR_SUCCESS)
        << ReadFile(file);
    for (const Value& v : values) {
        BYTE data[64] = {};
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        ASSERT_EQ(RegQueryValueExW(key, v.name.c_str(), nullptr, &type, data, &size), ERROR_SUCCESS)
            << std::string(v.name.begin(), v.name.end()) << "\n"
            << ReadFile(file);
        EXPECT_EQ(type, v.type);
        EXPECT_EQ(std::vector<BYTE>(data, data + size), v.bytes)
            << std::string(v.name.begin(), v.name.end()) << "\n"
            << ReadFile(file);
    }
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Store, WritesStayOutOfTheFileUntilCloseThenLandTogether)
{
    SetRecord(10, u"111");
    SaveSettings();
    const std::string before = ReadFile(file);

    HKEY writer = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, u"", 0, 0, nullptr, &writer, nullptr),
              ERROR_SUCCESS);
    const char16_t* names[] = {u"VolSensi",   u"VolThresh",     u"CryThresh", u"PhoneNumber",
                               u"PhoneDelay", u"PhoneMaxCalls", u"Language"};
    const BYTE nine[] = {'9', 0, '9', 0, 0, 0};
    for (const char16_t* name : names) {
        ASSERT_EQ(RegSetValueExW(writer, name, 0, REG_SZ, nine, sizeof nine), ERROR_SUCCESS);
        EXPECT_EQ(ReadFile(file), before);
        // Another reader sees the old value; the writer sees its own.
        HKEY reader = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, 0, &reader), ERROR_SUCCESS);
        BYTE data[16];
        DWORD size = sizeof data;
        ASSERT_EQ(RegQueryValueExW(reader, name, nullptr, nullptr, data, &size), ERROR_SUCCESS);
        EXPECT_NE(std::vector<BYTE>(data, data + size), std::vector<BYTE>(nine, nine + 6));
        RegCloseKey(reader);
        size = sizeof data;
        ASSERT_EQ(RegQueryValueExW(writer, name, nullptr, nullptr, data, &size), ERROR_SUCCESS);
        EXPECT_EQ(std::vector<BYTE>(data, data + size), std::vector<BYTE>(nine, nine + 6));
    }
    ASSERT_EQ(RegCloseKey(writer), ERROR_SUCCESS);
    FreshLoad();
    EXPECT_EQ(settings.VolSensi, 99);
    EXPECT_EQ(settings.VolThresh, 99);
    EXPECT_EQ(settings.CryThresh, 99);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"99");
    EXPECT_EQ(settings.PhoneDelay, 99);
    EXPECT_EQ(settings.PhoneMaxCalls, 99);
    EXPECT_EQ(settings.Language, 99);
}

TEST_F(Store, ValueLargerThanTheBufferIsRefusedWithItsSize)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, u"", 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::vector<BYTE> big(300, 'a');
    RegSetValueExW(key, u"PhoneNumber", 0, REG_SZ, big.data(), 300);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, 0, &key), ERROR_SUCCESS);
    std::vector<BYTE> data(256, 0);
    DWORD size = 250;
    EXPECT_EQ(RegQueryValueExW(key, u"PhoneNumber", nullptr, nullptr, data.data(), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 300u);
    EXPECT_EQ(data[0], 0);
    RegCloseKey(key);
}

// Garbage of every kind, in whole lines: whatever cannot be parsed reads as
// absent, and the next save leaves a clean file with the saved values.
TEST_F(Store, DamagedFilesNeverCrashAndAreReplacedByTheNextSave)
{
    const std::string header = "[Software\\Veltrano\\CradleCom\\Settings]\n";
    std::mt19937 random(20240611);
    std::string noise(4096, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    struct Case {
        const char* what;
        std::string text;
        std::int32_t volSensi; // what loading gives
    };
    const std::vector<Case> cases = {
        {"random bytes", noise + "\n", 50},
        {"random after header", header + noise + "\n", 0},
        {"missing bracket", "[Software\\Veltrano\\CradleCom\\Settings\nVolSensi = sz:5\n", 50},
        {"missing open bracket", "Software\\Veltrano\\CradleCom\\Settings]\nVolSensi = sz:5\n", 50},
        {"missing equals", header + "VolSensi sz:5\n", 0},
        {"unknown type", header + "VolSensi = dword:5\n", 0},
        {"no type", header + "VolSensi = 5\n", 0},
        {"bad hex", header + "VolSensi = hex(1):3\n", 0},
        {"bad hex type", header + "VolSensi = hex(99999999999):35 00 00 00\n", 0},
        {"bad escape", header + "VolSensi = sz:%G5\n", 0},
        {"cut escape", header + "VolSensi = sz:5%0\n", 0},
        {"bad utf-8", header + "VolSensi = sz:5\xC3\n", 0},
        {"overlong utf-8", header + "VolSensi = sz:\xC0\xB5\n", 0},
        {"value before any key", "VolSensi = sz:5\n" + header, 0},
        {"huge line", header + "VolSensi = sz:" + std::string(4 << 20, '7') + "\n", 0},
        {"nul bytes", header + "Vol\0Sensi = sz:5\n"s, 0},
        {"empty", "", 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(file, c.text);
        FreshLoad();
        EXPECT_EQ(settings.VolSensi, c.volSensi);

        SetRecord(20, u"0301234");
        SaveSettings();
        const std::string saved = ReadFile(file);
        EXPECT_EQ(saved.find("VolSensi = sz:5"), std::string::npos);
        EXPECT_LT(saved.size(), 1000u);
        FreshLoad();
        EXPECT_EQ(settings.VolSensi, 20);
        EXPECT_EQ(settings.Language, 0);
        EXPECT_EQ(std::u16string(settings.PhoneNumber), u"0301234");
    }
}

// A file cut short may end in a number cut to its first digits, which would
// ring somebody else: with its last line unended it is refused whole and
// kept; cut at a line's end it holds whole values only.
TEST_F(Store, EveryTruncationGivesWholeValuesOrIsRefusedAndKept)
{
    SetRecord(40, u"+4930123456");
    SaveSettings();
    FreshLoad(); // adds the marker
    const std::string whole = ReadFile(file);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::string cut = whole.substr(0, length);
        WriteFile(file, cut);
        FreshLoad();
        const std::u16string number(settings.PhoneNumber);
        EXPECT_TRUE(number.empty() || number == u"+4930123456") << length;
        EXPECT_TRUE(settings.PhoneMaxCalls == 0 || settings.PhoneMaxCalls == 44 ||
                    settings.PhoneMaxCalls == 10)
            << length;
        if (length > 0 && cut.back() != '\n') {
            SetRecord(41, u"999");
            EXPECT_EQ(SaveSettings(), ERROR_FILE_CORRUPT) << length;
            EXPECT_EQ(ReadFile(file), cut);
        }
    }
}

TEST_F(Store, HandEditedFileIsRead)
{
    WriteFile(file, "; edited by hand\r\n"
                    "  [Software\\Veltrano\\CradleCom\\Settings]  \r\n"
                    "\r\n"
                    "VolSensi=sz:35\r\n"
                    "   PhoneDelay   =   sz: 7min   \r\n"
                    "PhoneNumber = sz:0049%2030 \r\n"
                    "Language = hex(1):31,00,00,00\r\n"
                    "FirstUse = sz:\r\n");
    FreshLoad();
    EXPECT_EQ(settings.VolSensi, 35);
    EXPECT_EQ(settings.PhoneDelay, 7);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"0049 30");
    EXPECT_EQ(settings.Language, 1);
    EXPECT_EQ(firstUse, 0);
}

// Runs `body` in a child process as an ordinary user, whom file modes do
// stop (the tests may run as root, whom they do not). Its exit status, or
// -1 when it did not end by itself within ten seconds: a store operation
// that waits on a pipe is killed by the alarm.
int RunInChild(bool unprivileged, const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        alarm(10);
        if (unprivileged && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
            _exit(100);
        }
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// 0 when the load gave the defaults and the save failed with `expected`;
// otherwise which of them went wrong.
int LoadDefaultsAndFailToSave(LONG expected)
{
    FreshLoad();
    if (settings.VolSensi != 50 || firstUse != 0) {
        return 1;
    }
    SetRecord(5, u"1");
    return SaveSettings() == expected ? 0 : 2;
}

std::vector<std::string> FolderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Neither a pipe nor a folder in the file's place is waited on or replaced:
// the load gives the defaults at once, the save is refused.
TEST_F(Store, SomethingElseInTheFilesPlaceIsNeverWaitedOnNorReplaced)
{
    fs::create_directories(file.parent_path());
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(RunInChild(false, [] { return LoadDefaultsAndFailToSave(ERROR_FILE_INVALID); }), 0);
    EXPECT_TRUE(fs::is_fifo(file));

    fs::remove(file);
    WriteFile(file / "inside", "keep");
    EXPECT_EQ(RunInChild(false, [] { return LoadDefaultsAndFailToSave(ERROR_FILE_INVALID); }), 0);
    EXPECT_EQ(ReadFile(file / "inside"), "keep");
    EXPECT_EQ(FolderEntries(file.parent_path()), std::vector<std::string>{"registry"});
}

// A store that exists but cannot be read is never overwritten: the other
// values and the first-use marker would be lost.
TEST_F(Store, UnreadableFileIsNeverOverwritten)
{
    SetRecord(20, u"0301234");
    ASSERT_EQ(SaveSettings(), ERROR_SUCCESS);
    FreshLoad(); // writes the marker
    const std::string before = ReadFile(file);
    fs::permissions(root, fs::perms(0755));
    ASSERT_EQ(chown(file.parent_path().c_str(), nobody, nobody), 0);
    ASSERT_EQ(chown(file.c_str(), nobody, nobody), 0);
    ASSERT_EQ(chmod(file.c_str(), 0), 0);
    EXPECT_EQ(RunInChild(true, [] { return LoadDefaultsAndFailToSave(ERROR_ACCESS_DENIED); }), 0);
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::none);
}

TEST_F(Store, SaveWhereNothingMayBeWrittenIsReported)
{
    // A folder of somebody else's.
    fs::permissions(root, fs::perms(0755));
    fs::create_directories(file.parent_path());
    fs::permissions(file.parent_path(), fs::perms(0755));
    EXPECT_EQ(RunInChild(true, [] { return LoadDefaultsAndFailToSave(ERROR_ACCESS_DENIED); }), 0);
    EXPECT_TRUE(fs::is_empty(file.parent_path()));

    // A file where the folder must be: nobody at all can save there.
    fs::remove(file.parent_path());
    WriteFile(file.parent_path(), "not a folder");
    EXPECT_EQ(LoadDefaultsAndFailToSave(ERROR_PATH_NOT_FOUND), 0);
    EXPECT_EQ(ReadFile(file.parent_path()), "not a folder");
}

std::string seenTemporary;

void NoteTemporary(const char* path)
{
    seenTemporary = path;
}

// The old fixed name is only a name now: a link there is never followed,
// and each commit writes a file of its own, made fresh.
TEST_F(Store, CommitNeverWritesThroughALink)
{
    const fs::path target = root / "target";
    WriteFile(target, "# keep\n");
    fs::create_directories(file.parent_path());
    fs::create_symlink(target, file.parent_path() / "registry.new");
    StoreSetCommitHook(NoteTemporary);
    SetRecord(30, u"555");
    ASSERT_EQ(SaveSettings(), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(target), "# keep\n");
    EXPECT_TRUE(fs::is_symlink(file.parent_path() / "registry.new"));
    EXPECT_EQ(fs::path(seenTemporary).parent_path(), file.parent_path());
    EXPECT_NE(fs::path(seenTemporary).filename(), "registry.new");
    FreshLoad();
    EXPECT_EQ(settings.VolSensi, 30);

    // A link in the store's own place is replaced, its target untouched.
    fs::remove(file);
    fs::create_symlink(target, file);
    SetRecord(40, u"555");
    EXPECT_EQ(SaveSettings(), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(target), "# keep\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
}

int stopPipe = -1;

// Tells the parent where the new content is, then waits to be killed.
void StopBeforeRename(const char* temporaryPath)
{
    const std::string line = std::string(temporaryPath) + "\n";
    if (write(stopPipe, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
        pause();
    }
    _exit(3);
}

TEST_F(Store, CrashBeforeRenameLeavesTheOldSettings)
{
    SetRecord(20, u"111");
    SaveSettings();
    const std::string before = ReadFile(file);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        stopPipe = fds[1];
        StoreSetCommitHook(StopBeforeRename);
        SetRecord(60, u"222");
        SaveSettings();
        _exit(4); // the hook never returns
    }
    close(fds[1]);
    std::string temporary;
    char next = 0;
    while (read(fds[0], &next, 1) == 1 && next != '\n') {
        temporary += next;
    }
    close(fds[0]);
    // The new content is complete in the temporary file at this moment.
    EXPECT_NE(ReadFile(temporary).find("VolSensi = sz:60"), std::string::npos);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_EQ(ReadFile(file), before);
    FreshLoad();
    EXPECT_EQ(settings.VolSensi, 20);
    EXPECT_EQ(std::u16string(settings.PhoneNumber), u"111");

    // The lock died with the child: the next save goes through.
    SetRecord(30, u"333");
    SaveSettings();
    FreshLoad();
    EXPECT_EQ(settings.VolSensi, 30);
    // The crashed commit's file is gone with the next one.
    EXPECT_EQ(FolderEntries(file.parent_path()),
              (std::vector<std::string>{"registry", "registry.lock"}));
}

TEST_F(Store, ConcurrentWritersLoseNoValues)
{
    constexpr int writes = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            for (int i = 0; i < writes; ++i) {
                HKEY key = nullptr;
                const std::u16string name = (c == 0 ? u"A" : u"B") + std::u16string(1, u'a' + i);
                const BYTE data[] = {static_cast<BYTE>(i), 0};
                if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, u"", 0, 0, nullptr, &key,
                                    nullptr) != ERROR_SUCCESS ||
                    RegSetValueExW(key, name.c_str(), 0, REG_BINARY, data, 2) != ERROR_SUCCESS ||
                    RegCloseKey(key) != ERROR_SUCCESS) {
                    _exit(1);
                }
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, 0, &key), ERROR_SUCCESS);
    int found = 0;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < writes; ++i) {
            const std::u16string name = (c == 0 ? u"A" : u"B") + std::u16string(1, u'a' + i);
            DWORD size = 0;
            found += RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size) ==
                                 ERROR_SUCCESS &&
                             size == 2
                         ? 1
                         : 0;
        }
    }
    RegCloseKey(key);
    EXPECT_EQ(found, 2 * writes);
}

// What the program cannot read whole, or may not trust, is refused with its
// reason, read as no store at all (no number), and never replaced.
int LoadRefusedAndKept(const fs::path& file, LONG expected)
{
    const std::string before = ReadFile(file);
    settings = SettingsRecord{};
    firstUse = 0;
    if (LoadSettings() != expected || settings.PhoneNumber[0] != u'\0' || firstUse != 0) {
        return 1;
    }
    SetRecord(5, u"1");
    if (SaveSettings() != expected) {
        return 2;
    }
    return ReadFile(file) == before ? 0 : 3;
}

TEST_F(Store, StoreLargerThanAnyWrittenIsRefusedAndKept)
{
    std::string text = "[Software\\Veltrano\\CradleCom\\Settings]\nPhoneNumber = sz:0301234\n";
    const std::string filler = "# " + std::string(1021, 'x') + "\n";
    while (text.size() < (65u << 20)) {
        text += filler;
    }
    WriteFile(file, text);
    EXPECT_EQ(LoadRefusedAndKept(file, ERROR_FILE_TOO_LARGE), 0);
}

TEST_F(Store, StoreOfAnotherUserOrOpenToOthersIsRefusedAndKept)
{
    SetRecord(20, u"0301234");
    ASSERT_EQ(SaveSettings(), ERROR_SUCCESS);
    const fs::path folder = file.parent_path();
    ASSERT_EQ(chmod(file.c_str(), 0620), 0);
    EXPECT_EQ(LoadRefusedAndKept(file, ERROR_INVALID_ACL), 0);
    ASSERT_EQ(chmod(file.c_str(), 0602), 0);
    EXPECT_EQ(LoadRefusedAndKept(file, ERROR_INVALID_ACL), 0);
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    EXPECT_EQ(LoadRefusedAndKept(file, ERROR_INVALID_ACL), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another user needs root";
    }
    ASSERT_EQ(chown(file.c_str(), nobody, nobody), 0);
    EXPECT_EQ(LoadRefusedAndKept(file, ERROR_INVALID_OWNER), 0);
    ASSERT_EQ(chown(file.c_str(), 0, 0), 0);
    ASSERT_EQ(chown(folder.c_str(), nobody, nobody), 0);
    EXPECT_EQ(LoadRefusedAndKept(file, ERROR_INVALID_OWNER), 0);
}

} // namespace
