// SPDX-License-Identifier: GPL-3.0-or-later
// The real night recordings: FLAC read back sample for sample, one writer,
// private files, the cap deleting the oldest first, and a file-size limit
// that stops the recording with what was written still readable.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <utime.h>

#include <gtest/gtest.h>

#include "../private_home.h"
#include "platform/nights.h"
#include "platform/recording/recording.h"

namespace {

class Nights : public ::testing::Test {
protected:
    std::string home;
    std::string folder;

    std::string temp;

    void SetUp() override
    {
        const char* before = std::getenv("TMPDIR");
        temp = before != nullptr ? before : "";
        home = MakePrivateHome("nights");
        ASSERT_FALSE(home.empty());
        folder = home + "/cradlecom/nights";
    }
    void TearDown() override
    {
        std::filesystem::remove_all(home);
        setenv("TMPDIR", temp.c_str(), 1); // the next home goes where this one went
    }

    std::string Log() const
    {
        std::ifstream in(home + "/cradlecom/events.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::vector<std::string> Recordings() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::string name = entry.path().filename().string();
            if (name.size() > 5 && name.substr(name.size() - 5) == ".flac")
                names.push_back(entry.path().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Full-scale noise, which FLAC cannot shrink: about 2 bytes a sample.
std::vector<SHORT> Noise(std::size_t count)
{
    std::vector<SHORT> samples(count);
    std::uint32_t x = 12345;
    for (SHORT& sample : samples) {
        x = x * 1664525u + 1013904223u;
        sample = static_cast<SHORT>(x >> 16);
    }
    return samples;
}

// As the capture callback hands them over: 2048 at a time, from a thread
// that is not the one that opened the recording. Fewer than the queue
// holds, so that none is dropped however slow the disk.
void WriteFromAnotherThread(HNIGHTREC recording, const std::vector<SHORT>& samples)
{
    std::thread capture([&] {
        for (std::size_t at = 0; at < samples.size(); at += 2048)
            NightRecordingWrite(
                recording, samples.data() + at,
                static_cast<DWORD>(std::min<std::size_t>(2048, samples.size() - at)));
    });
    capture.join();
}

std::vector<SHORT> Read(const std::string& path)
{
    std::vector<SHORT> samples;
    std::string error;
    EXPECT_TRUE(LoadRecording(path, 11025, &samples, &error)) << error;
    return samples;
}

} // namespace

TEST_F(Nights, ARecordingReadsBackAsWrittenPrivateAndWithOneWriter)
{
    std::vector<SHORT> room;
    std::string error;
    ASSERT_TRUE(
        LoadRecording(std::string(CRADLECOM_DATA_DIR) + "/nursery.flac", 11025, &room, &error));
    room.resize(15 * 11025);
    HNIGHTREC recording = NightRecordingOpen(11025, 2000000000u);
    ASSERT_NE(recording, nullptr) << Log();
    EXPECT_EQ(NightRecordingOpen(11025, 2000000000u), nullptr);
    EXPECT_NE(Log().find("night not recorded: another recording is being written"),
              std::string::npos);
    std::vector<SHORT> head(room.begin(), room.begin() + 5 * 11025);
    std::vector<SHORT> tail(room.begin() + 5 * 11025, room.end());
    WriteFromAnotherThread(recording, head);
    NightRecordingWriteSilence(recording, 11025); // a call's second
    WriteFromAnotherThread(recording, tail);
    NightRecordingClose(recording);

    std::vector<std::string> names = Recordings();
    ASSERT_EQ(names.size(), 1u);
    std::vector<SHORT> expected = head;
    expected.resize(expected.size() + 11025, 0);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(Read(names[0]), expected);
    struct stat file {
    }, place{};
    ASSERT_EQ(stat(names[0].c_str(), &file), 0);
    ASSERT_EQ(stat(folder.c_str(), &place), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(place.st_mode & 0777, 0700u);
    EXPECT_NE(Log().find("night recorded: " + names[0] + " (16.0 s)"), std::string::npos) << Log();
    // The lock goes with the close.
    recording = NightRecordingOpen(11025, 2000000000u);
    EXPECT_NE(recording, nullptr);
    NightRecordingClose(recording);
}

// Three older nights of 300 kB and a cap of 700 kB: the oldest goes before
// the new one begins, the next two as it grows; a file that is no
// recording stays. A recording that passes the cap on its own stops.
TEST_F(Nights, TheCapDeletesTheOldestFirst)
{
    std::filesystem::create_directories(folder);
    std::vector<std::string> old;
    for (int year : {2021, 2019, 2020}) {
        std::string path = folder + "/" + std::to_string(year) + "-01-01_22-00-00.flac";
        std::ofstream(path) << std::string(300000, 'x');
        utimbuf times{};
        times.modtime = (year - 1970) * 31557600L;
        ASSERT_EQ(utime(path.c_str(), &times), 0);
        old.push_back(path);
    }
    std::ofstream(folder + "/notes.txt") << std::string(300000, 'x');
    HNIGHTREC recording = NightRecordingOpen(11025, 700000u);
    ASSERT_NE(recording, nullptr);
    EXPECT_FALSE(std::filesystem::exists(old[1]));
    EXPECT_TRUE(std::filesystem::exists(old[2]));
    WriteFromAnotherThread(recording, Noise(20 * 11025)); // about 440 kB
    NightRecordingClose(recording);
    std::string log = Log();
    std::size_t first = log.find("deleted to keep within 0.7 MB: " + old[1]);
    std::size_t second = log.find("deleted to keep within 0.7 MB: " + old[2]);
    std::size_t third = log.find("deleted to keep within 0.7 MB: " + old[0]);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_NE(second, std::string::npos) << log;
    EXPECT_NE(third, std::string::npos) << log;
    EXPECT_TRUE(first < second && second < third) << log;
    EXPECT_TRUE(std::filesystem::exists(folder + "/notes.txt"));
    std::vector<std::string> names = Recordings();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(Read(names[0]).size(), 20u * 11025u);

    recording = NightRecordingOpen(11025, 100000u);
    ASSERT_NE(recording, nullptr);
    WriteFromAnotherThread(recording, Noise(20 * 11025));
    NightRecordingClose(recording);
    EXPECT_NE(Log().find("it reached the cap of 0.1 MB"), std::string::npos) << Log();
    names = Recordings();
    ASSERT_EQ(names.size(), 1u); // the night before made room for it
    std::size_t kept = Read(names[0]).size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 20u * 11025u);
}

// A disk that takes no more (here a file-size limit, which a test may set):
// the recording stops, says why once, and what it holds reads back.
TEST_F(Nights, AFileSizeLimitStopsTheRecordingAndWhatWasWrittenReads)
{
    HNIGHTREC recording = NightRecordingOpen(11025, 2000000000u);
    ASSERT_NE(recording, nullptr);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 150000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<SHORT> noise = Noise(20 * 11025);
    WriteFromAnotherThread(recording, noise);
    NightRecordingClose(recording);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
    std::string log = Log();
    std::size_t stopped = log.find("night recording stopped (monitoring goes on): ");
    EXPECT_NE(stopped, std::string::npos) << log;
    EXPECT_EQ(log.find("night recording stopped", stopped + 1), std::string::npos) << log;
    std::vector<std::string> names = Recordings();
    ASSERT_EQ(names.size(), 1u);
    std::vector<SHORT> kept = Read(names[0]);
    EXPECT_GT(kept.size(), 11025u);
    EXPECT_LT(kept.size(), noise.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), noise.begin()));
}
