// SPDX-License-Identifier: GPL-3.0-or-later
// The event log on disk: one escaped line per event with its local time,
// rotation before the limit, and reading the tail back across the rotation.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/common/event_text.h"
#include "platform/eventlog.h"
#include "platform/posix/eventlog_file.h"
#include "platform/posix/standard_streams.h"

namespace {

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/cradlecom-eventlog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        setenv("XDG_STATE_HOME", folder.c_str(), 1);
    }
    void TearDown() override
    {
        std::string command = "chmod -R u+rwx '" + folder + "' && rm -rf '" + folder + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    std::string Tail(int lines)
    {
        std::FILE* out = std::tmpfile();
        std::string error;
        EXPECT_TRUE(PrintEventLogTail(lines, out, &error)) << error;
        std::rewind(out);
        std::string text;
        for (int c; (c = std::fgetc(out)) != EOF;)
            text += static_cast<char>(c);
        std::fclose(out);
        return text;
    }

    std::string folder;
};

// A number with a newline in it must not forge a second log line, and the
// escape must be reversible (the backslash itself is escaped).
TEST(EventLogText, ControlCharactersNeverBreakTheLine)
{
    EXPECT_EQ(EventLogText(u"call: 0171\n2025 done"), "call: 0171\\n2025 done");
    EXPECT_EQ(EventLogText(u"a\\n"), "a\\\\n");
    EXPECT_EQ(EventLogText(u"\x1b[31m\t\r\x7f"), "\\x1B[31m\\t\\r\\x7F");
    EXPECT_EQ(EventLogText(u"Mikrofon gr\u00fcn \U0001F476"),
              "Mikrofon gr\xC3\xBCn \xF0\x9F\x91\xB6");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(EventLogText(lone), "a\xEF\xBF\xBD"
                                  "b");
}

TEST_F(EventLogTest, EachEventIsOneStampedLineInTheStateFolder)
{
    EXPECT_EQ(EventLogPath(), folder + "/cradlecom/events.log");
    ASSERT_TRUE(AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"program started"));
    ASSERT_TRUE(AppendEventLog(EVENTLOG_ERROR_TYPE, u"call failed:\nexit status 3"));
    std::string text = Read(EventLogPath());
    // YYYY-MM-DDThh:mm:ss+hh:mm, then the kind and the text, per line.
    const std::string shape = "dddd-dd-ddTdd:dd:dd+dd:dd ";
    std::stringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_GT(line.size(), shape.size()) << line;
        for (std::size_t i = 0; i < shape.size(); ++i) {
            char c = line[i];
            bool fits = shape[i] == 'd'   ? (c >= '0' && c <= '9')
                        : shape[i] == '+' ? (c == '+' || c == '-')
                                          : c == shape[i];
            EXPECT_TRUE(fits) << line;
        }
    }
    EXPECT_EQ(count, 2) << text;
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(text.find(" info: program started\n"), std::string::npos);
    EXPECT_NE(text.find(" error: call failed:\\nexit status 3\n"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat((folder + "/cradlecom").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(EventLogPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// The log never grows past its limit: one old file is kept, and the tail
// reaches back into it when the new file is still short.
TEST_F(EventLogTest, RotatesBeforeTheLimitAndTheTailSpansBothFiles)
{
    std::u16string filler(200, u'x');
    int written = 0;
    struct stat info {};
    testing::internal::CaptureStderr(); // a megabyte of it
    while (stat((EventLogPath() + ".1").c_str(), &info) != 0) {
        std::u16string text =
            u"event " + std::u16string(1, static_cast<char16_t>(u'0' + written % 10)) + filler;
        EXPECT_TRUE(AppendEventLog(EVENTLOG_INFORMATION_TYPE, text.c_str()));
        if (++written >= 10000)
            break;
    }
    EXPECT_LE(info.st_size, eventLogLimitBytes);
    EXPECT_GT(info.st_size, eventLogLimitBytes - 300);
    AppendEventLog(EVENTLOG_WARNING_TYPE, u"after the rotation");
    FlushStandardStreams(10000);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(stat(EventLogPath().c_str(), &info), 0);
    EXPECT_LT(info.st_size, 600);

    std::string tail = Tail(3);
    std::vector<std::string> lines;
    std::stringstream in(tail);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << tail;
    EXPECT_NE(lines[2].find("warning: after the rotation"), std::string::npos);
    // The two before it are the last two written before the rotation.
    EXPECT_NE(lines[0].find("info: event " + std::to_string((written - 2) % 10)),
              std::string::npos);
    EXPECT_NE(lines[1].find("info: event " + std::to_string((written - 1) % 10)),
              std::string::npos);
}

// A state folder that cannot be made (a file stands in its place) costs
// the file copy only: the event still reaches standard error and the
// report counts as kept.
TEST_F(EventLogTest, UnusableFolderStillReportsOnStandardError)
{
    {
        std::ofstream(folder + "/cradlecom") << "in the way\n";
    }
    testing::internal::CaptureStderr();
    EXPECT_TRUE(AppendEventLog(EVENTLOG_ERROR_TYPE, u"microphone failed"));
    FlushStandardStreams(10000);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("error: microphone failed"), std::string::npos) << err;
    EXPECT_NE(err.find("cannot be kept on disk"), std::string::npos) << err;
    EXPECT_EQ(Read(folder + "/cradlecom"), "in the way\n");
}

// A symbolic link planted at the log's name is never followed.
TEST_F(EventLogTest, ALinkInPlaceOfTheLogIsNotFollowed)
{
    std::string target = folder + "/target";
    {
        std::ofstream(target) << "untouched\n";
    }
    ASSERT_EQ(mkdir((folder + "/cradlecom").c_str(), 0700), 0);
    ASSERT_EQ(symlink(target.c_str(), EventLogPath().c_str()), 0);
    testing::internal::CaptureStderr();
    AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"program started");
    FlushStandardStreams(10000);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Read(target), "untouched\n");
}

// Standard error a full pipe nobody reads, as a stopped terminal is: the
// reports go on, the file keeps every line, and once the pipe is read the
// lines it missed are counted and the last one still comes.
TEST_F(EventLogTest, AStalledStandardErrorNeverHoldsUpAReport)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    while (write(ends[1], std::string(4096, '\n').data(), 4096) > 0) {
    }
    fcntl(ends[1], F_SETFL, 0);
    int saved = dup(STDERR_FILENO);
    dup2(ends[1], STDERR_FILENO);
    constexpr int count = 2000;
    std::atomic<bool> done{false};
    std::thread reporter([&done] {
        std::u16string text = u"line " + std::u16string(100, u'-');
        for (int i = 0; i < count; ++i)
            AppendEventLog(EVENTLOG_INFORMATION_TYPE, text.c_str());
        done = true;
    });
    for (int waited = 0; waited < 10000 && !done; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bool returned = done;

    std::string seen;
    bool last = false;
    for (int waited = 0; waited < 20000 && seen.find("the last line\n") == std::string::npos;
         waited += 10) {
        char block[65536];
        for (ssize_t got; (got = read(ends[0], block, sizeof block)) > 0;)
            seen.append(block, static_cast<std::size_t>(got));
        if (done && !last)
            last = AppendEventLog(EVENTLOG_INFORMATION_TYPE, u"the last line");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reporter.join();
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(ends[0]);
    close(ends[1]);
    EXPECT_TRUE(returned) << "the reports waited for standard error";

    auto occurrences = [](const std::string& text, const std::string& part) {
        int found = 0;
        for (std::size_t at = text.find(part); at != std::string::npos;
             at = text.find(part, at + 1))
            ++found;
        return found;
    };
    EXPECT_EQ(occurrences(Read(EventLogPath()), "info: line -"), count);
    std::size_t note = seen.find("cradlecom: ");
    ASSERT_NE(note, std::string::npos);
    int dropped = std::atoi(seen.c_str() + note + 11);
    EXPECT_NE(seen.find(" lines dropped here: standard error did not take them in time\n", note),
              std::string::npos);
    EXPECT_EQ(occurrences(seen, "info: line -") + dropped, count);
    EXPECT_NE(seen.find("info: the last line\n"), std::string::npos);
}

TEST_F(EventLogTest, NoLogYetPrintsNothing)
{
    EXPECT_EQ(Tail(50), "");
}

} // namespace
