// SPDX-License-Identifier: GPL-3.0-or-later
// Night recordings on Linux: FLAC through libsndfile, written by a thread of
// the recording's own from a ring of blocks that the capture callback fills.
// The ring's mutex is held only to copy a block in or to move its ends, never
// while the disk is written, so a slow or full disk costs the recording its
// samples, never capture its time.
#include <QString>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sndfile.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/eventlog.h"
#include "platform/nights.h"
#include "platform/posix/eventlog_file.h"

namespace {

constexpr DWORD blockSamples = 2048; // one capture buffer
constexpr int ringBlocks = 128;      // about 24 s at 11025 Hz
constexpr int blocksBetweenCapChecks = 32;

struct Block {
    DWORD count;
    bool silent;
    SHORT samples[blockSamples];
};

struct Kept {
    std::string path;
    std::int64_t bytes;
    std::time_t changed;
};

void Log(WORD type, const std::string& text)
{
    QString line = QString::fromStdString(text);
    AppendEventLog(type, reinterpret_cast<LPCWSTR>(line.utf16()));
}

std::string Megabytes(std::int64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

bool IsRecordingName(const char* name)
{
    std::size_t length = std::strlen(name);
    return name[0] != '.' && length > 5 && std::strcmp(name + length - 5, ".flac") == 0;
}

// The recordings in `folder` but `except`, the oldest first.
std::vector<Kept> KeptRecordings(const std::string& folder, const std::string& except)
{
    std::vector<Kept> kept;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr)
        return kept;
    while (const dirent* entry = readdir(directory)) {
        if (!IsRecordingName(entry->d_name))
            continue;
        std::string path = folder + "/" + entry->d_name;
        struct stat info {};
        if (path == except || lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        kept.push_back(Kept{path, static_cast<std::int64_t>(info.st_size), info.st_mtime});
    }
    closedir(directory);
    std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) {
        return a.changed != b.changed ? a.changed < b.changed : a.path < b.path;
    });
    return kept;
}

} // namespace

struct PlatformNightRecording {
    std::string folder;
    std::string path;
    std::int64_t capBytes = 0;
    DWORD rate = 0;
    int lockFd = -1;
    int fileFd = -1;
    SNDFILE* file = nullptr;
    std::thread writer;

    std::mutex ring; // guards head, tail, closing
    std::condition_variable filled;
    std::vector<Block> blocks = std::vector<Block>(ringBlocks);
    int head = 0; // next block the writer takes
    int tail = 0; // next block a write fills; head == tail: empty
    bool closing = false;

    std::atomic<bool> stopped{false};     // a failure or the cap ended it
    std::atomic<std::int64_t> dropped{0}; // samples that found the ring full
    std::int64_t written = 0;             // samples in the file (writer thread)
    std::vector<Kept> others;             // oldest first (writer thread after the open)
};

namespace {

// Deletes the oldest recordings until they and `own` bytes fit in the cap.
void KeepWithinCap(HNIGHTREC recording, std::int64_t own)
{
    std::int64_t total = own;
    for (const Kept& kept : recording->others)
        total += kept.bytes;
    while (total > recording->capBytes && !recording->others.empty()) {
        const Kept oldest = recording->others.front();
        recording->others.erase(recording->others.begin());
        total -= oldest.bytes;
        if (unlink(oldest.path.c_str()) == 0 || errno == ENOENT)
            Log(EVENTLOG_INFORMATION_TYPE, "night recording deleted to keep within " +
                                               Megabytes(recording->capBytes) + ": " + oldest.path);
        else
            Log(EVENTLOG_WARNING_TYPE, "night recording could not be deleted: " + oldest.path +
                                           ": " + std::strerror(errno));
    }
}

void Stop(HNIGHTREC recording, const std::string& why)
{
    recording->stopped.store(true);
    Log(EVENTLOG_ERROR_TYPE,
        "night recording stopped (monitoring goes on): " + recording->path + ": " + why);
}

// One block to the file; false once the recording has stopped.
bool WriteBlock(HNIGHTREC recording, const Block& block)
{
    static const SHORT silence[blockSamples] = {};
    errno = 0;
    sf_count_t put =
        sf_write_short(recording->file, block.silent ? silence : block.samples, block.count);
    if (put != static_cast<sf_count_t>(block.count)) {
        int error = errno;
        Stop(recording, error != 0 ? std::strerror(error) : sf_strerror(recording->file));
        return false;
    }
    recording->written += put;
    return true;
}

bool CheckCap(HNIGHTREC recording)
{
    struct stat info {};
    if (fstat(recording->fileFd, &info) != 0)
        return true;
    KeepWithinCap(recording, info.st_size);
    if (info.st_size > recording->capBytes) {
        Stop(recording, "it reached the cap of " + Megabytes(recording->capBytes));
        return false;
    }
    return true;
}

void WriterMain(HNIGHTREC recording)
{
    int sinceCheck = 0;
    std::unique_lock<std::mutex> lock(recording->ring);
    for (;;) {
        recording->filled.wait(
            lock, [recording] { return recording->closing || recording->head != recording->tail; });
        if (recording->head == recording->tail)
            return; // closing, and everything written
        // The block stays the writer's until head moves past it.
        const Block& block = recording->blocks[static_cast<std::size_t>(recording->head)];
        lock.unlock();
        bool going = !recording->stopped.load() && WriteBlock(recording, block);
        if (going && ++sinceCheck >= blocksBetweenCapChecks) {
            sinceCheck = 0;
            CheckCap(recording);
        }
        lock.lock();
        recording->head = (recording->head + 1) % ringBlocks;
    }
}

// Opens a new file named by the local time, or that name with -2, -3, ...
int OpenNamedFile(const std::string& folder, std::string* path)
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    for (int n = 1; n < 100; ++n) {
        *path = folder + "/" + stamp + (n > 1 ? "-" + std::to_string(n) : "") + ".flac";
        int fd = open(path->c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void Release(HNIGHTREC recording)
{
    if (recording->lockFd >= 0)
        close(recording->lockFd);
    delete recording;
}

} // namespace

HNIGHTREC NightRecordingOpen(DWORD rate, std::uint64_t capBytes)
{
    std::string state = StateFolder();
    if (state.empty()) {
        Log(EVENTLOG_WARNING_TYPE, "night not recorded: no home directory");
        return nullptr;
    }
    auto* recording = new PlatformNightRecording;
    recording->folder = state + "/nights";
    recording->rate = rate;
    recording->capBytes = static_cast<std::int64_t>(
        std::min<std::uint64_t>(capBytes, static_cast<std::uint64_t>(INT64_MAX)));
    if (!MakePrivateFolders(recording->folder)) {
        Log(EVENTLOG_WARNING_TYPE,
            "night not recorded: " + recording->folder + ": " + std::strerror(errno));
        Release(recording);
        return nullptr;
    }
    // A folder made earlier with looser rights is the user's own: made private.
    chmod(recording->folder.c_str(), 0700);
    std::string lockPath = recording->folder + "/.lock";
    recording->lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (recording->lockFd < 0 || flock(recording->lockFd, LOCK_EX | LOCK_NB) != 0) {
        Log(EVENTLOG_WARNING_TYPE,
            errno == EWOULDBLOCK ? "night not recorded: another recording is being written"
                                 : "night not recorded: " + lockPath + ": " + std::strerror(errno));
        Release(recording);
        return nullptr;
    }
    recording->others = KeptRecordings(recording->folder, "");
    KeepWithinCap(recording, 0);
    recording->fileFd = OpenNamedFile(recording->folder, &recording->path);
    if (recording->fileFd < 0) {
        Log(EVENTLOG_WARNING_TYPE,
            "night not recorded: " + recording->folder + ": " + std::strerror(errno));
        Release(recording);
        return nullptr;
    }
    // A file-size limit (a service's, say) then fails a write, which stops
    // the recording, rather than ending the whole program.
    std::signal(SIGXFSZ, SIG_IGN);
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    recording->file = sf_open_fd(recording->fileFd, SFM_WRITE, &info, SF_FALSE);
    if (recording->file == nullptr) {
        Log(EVENTLOG_WARNING_TYPE,
            "night not recorded: " + recording->path + ": " + sf_strerror(nullptr));
        close(recording->fileFd);
        unlink(recording->path.c_str());
        Release(recording);
        return nullptr;
    }
    recording->writer = std::thread(WriterMain, recording);
    Log(EVENTLOG_INFORMATION_TYPE, "night recording to " + recording->path);
    return recording;
}

namespace {

// Copies `count` samples (silence when `samples` is null) into the ring,
// block by block; what finds it full is dropped.
void Queue(HNIGHTREC recording, const SHORT* samples, DWORD count)
{
    if (recording == nullptr || recording->stopped.load())
        return;
    while (count > 0) {
        DWORD part = std::min(count, blockSamples);
        {
            std::lock_guard<std::mutex> lock(recording->ring);
            int next = (recording->tail + 1) % ringBlocks;
            if (next == recording->head) {
                recording->dropped.fetch_add(count);
                return;
            }
            Block& block = recording->blocks[static_cast<std::size_t>(recording->tail)];
            block.count = part;
            block.silent = samples == nullptr;
            if (samples != nullptr)
                std::memcpy(block.samples, samples, part * sizeof(SHORT));
            recording->tail = next;
        }
        recording->filled.notify_one();
        count -= part;
        if (samples != nullptr)
            samples += part;
    }
}

} // namespace

void NightRecordingWrite(HNIGHTREC recording, const SHORT* samples, DWORD count)
{
    if (samples != nullptr)
        Queue(recording, samples, count);
}

void NightRecordingWriteSilence(HNIGHTREC recording, DWORD count)
{
    Queue(recording, nullptr, count);
}

void NightRecordingClose(HNIGHTREC recording)
{
    if (recording == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(recording->ring);
        recording->closing = true;
    }
    recording->filled.notify_one();
    recording->writer.join();
    bool finished = sf_close(recording->file) == 0;
    // The last blocks since the writer's check count as well.
    struct stat info {};
    if (fstat(recording->fileFd, &info) == 0)
        KeepWithinCap(recording, info.st_size);
    finished = close(recording->fileFd) == 0 && finished;
    char text[64];
    std::snprintf(text, sizeof text, "%.1f s",
                  static_cast<double>(recording->written) / static_cast<double>(recording->rate));
    std::string line = "night recorded: " + recording->path + " (" + text + ")";
    if (!finished)
        line += "; its end could not be written";
    if (recording->dropped.load() > 0)
        line += "; " + std::to_string(recording->dropped.load()) +
                " samples lost: the disk did not keep up";
    Log(finished ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE, line);
    Release(recording);
}
