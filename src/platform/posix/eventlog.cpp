// SPDX-License-Identifier: GPL-3.0-or-later
// The event log on Linux: each line to standard error (through its queue,
// standard_streams.h) and appended to a file under the user's state
// directory, which is rotated before it reaches its limit. The file is
// opened afresh for every line, so that a log removed or rotated by another
// copy of the program is simply started again.
#include "platform/posix/eventlog_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/common/event_text.h"
#include "platform/common/regular_file.h"
#include "platform/eventlog.h"
#include "platform/posix/standard_streams.h"

namespace {

std::mutex logLock;           // one line at a time within the process
bool fileFailureTold = false; // the file's failure is told once (logLock)
bool fileKept = true;         // false after KeepEventLogOffDisk (logLock)

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string StateDirectory()
{
    // Relative values are to be ignored, as for every XDG variable.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return std::string(state) + "/cradlecom";
    std::string home = HomeDirectory();
    return home.empty() ? std::string() : home + "/.local/state/cradlecom";
}

// Creates the folder and its parents; the last one private to the user.
bool MakeFolders(const std::string& path)
{
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        std::string part = path.substr(0, at);
        mode_t mode = at == path.size() ? 0700 : 0755;
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string TimeStamp()
{
    static std::once_flag zoneRead;
    std::call_once(zoneRead, [] { tzset(); });
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[40] = "";
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S%z", &local);
    // +0100 becomes +01:00, as ISO 8601's extended form has it.
    std::size_t length = std::strlen(stamp);
    if (length >= 5 && length + 1 < sizeof stamp) {
        std::memmove(stamp + length - 1, stamp + length - 2, 3);
        stamp[length - 2] = ':';
    }
    return stamp;
}

// Appends under an exclusive lock on the file, so that two copies of the
// program (one of them a --set, say) neither interleave nor rotate twice.
bool AppendToFile(const std::string& line, std::string* why)
{
    std::string folder = StateDirectory();
    if (folder.empty()) {
        *why = "no home directory";
        return false;
    }
    if (!MakeFolders(folder)) {
        *why = folder + ": " + std::strerror(errno);
        return false;
    }
    std::string path = folder + "/events.log";
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                  0600);
    if (fd < 0) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        *why = path + ": not a regular file";
        return false;
    }
    flock(fd, LOCK_EX);
    // Another copy may have rotated the file between open and lock.
    struct stat named {};
    if (stat(path.c_str(), &named) == 0 && named.st_ino == info.st_ino &&
        info.st_size + static_cast<off_t>(line.size()) > eventLogLimitBytes && info.st_size > 0) {
        std::string old = path + ".1";
        if (rename(path.c_str(), old.c_str()) == 0) {
            flock(fd, LOCK_UN);
            close(fd);
            return AppendToFile(line, why);
        }
    }
    bool written = WriteAll(fd, line);
    if (!written)
        *why = path + ": " + std::strerror(errno);
    flock(fd, LOCK_UN);
    close(fd);
    return written;
}

// The last `keep` lines of a log file, read from at most its last
// eventLogLimitBytes (more than rotation ever leaves in it), so that a file
// grown by other hands costs a bounded read. False with the reason when it
// cannot be read; an absent file holds no lines.
bool ReadLines(const std::string& path, std::deque<std::string>* lines, int keep,
               std::string* error)
{
    int fd = OpenRegularFile(path, error);
    if (fd < 0)
        return errno == ENOENT;
    off_t size = lseek(fd, 0, SEEK_END);
    off_t from = std::max<off_t>(size - eventLogLimitBytes, 0);
    std::string bytes;
    bool read = size >= 0 && lseek(fd, from, SEEK_SET) == from &&
                ReadAtMost(fd, static_cast<std::size_t>(eventLogLimitBytes), &bytes);
    if (!read)
        *error = path + ": " + std::strerror(errno);
    close(fd);
    if (!read)
        return false;
    std::size_t at = 0;
    if (from > 0) // begun inside a line: it is not whole
        at = std::min(bytes.find('\n'), bytes.size() - 1) + 1;
    std::deque<std::string> found;
    while (at < bytes.size()) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos)
            end = bytes.size();
        found.emplace_back(bytes, at, end - at);
        if (static_cast<int>(found.size()) > keep)
            found.pop_front();
        at = end + 1;
    }
    lines->insert(lines->begin(), found.begin(), found.end());
    return true;
}

} // namespace

std::string StateFolder()
{
    return StateDirectory();
}

bool MakePrivateFolders(const std::string& path)
{
    return MakeFolders(path);
}

std::string EventLogPath()
{
    std::string folder = StateDirectory();
    return folder.empty() ? std::string() : folder + "/events.log";
}

bool PrintEventLogTail(int lines, std::FILE* out, std::string* error)
{
    std::string path = EventLogPath();
    if (path.empty()) {
        *error = "no home directory for the event log";
        return false;
    }
    std::deque<std::string> tail;
    if (!ReadLines(path, &tail, lines, error))
        return false;
    if (static_cast<int>(tail.size()) < lines &&
        !ReadLines(path + ".1", &tail, lines - static_cast<int>(tail.size()), error))
        return false;
    for (const std::string& line : tail)
        std::fprintf(out, "%s\n", line.c_str());
    return true;
}

BOOL AppendEventLog(WORD type, LPCWSTR text)
{
    std::string line = TimeStamp() + " " + EventLogKind(type) + ": " + EventLogText(text) + "\n";
    std::lock_guard<std::mutex> guard(logLock);
    bool told = QueueStandardError(line);
    std::string why;
    if (!fileKept)
        return told ? TRUE : FALSE;
    if (AppendToFile(line, &why))
        return TRUE;
    if (!fileFailureTold) {
        fileFailureTold = true;
        QueueStandardError("cradlecom: the event log cannot be kept on disk: " + why + "\n");
    }
    return told ? TRUE : FALSE;
}

void KeepEventLogOffDisk()
{
    std::lock_guard<std::mutex> guard(logLock);
    fileKept = false;
}

BOOL WriteStandardErrorW(LPCWSTR text)
{
    std::lock_guard<std::mutex> guard(logLock);
    return QueueStandardError(EventLogText(text) + "\n") ? TRUE : FALSE;
}
