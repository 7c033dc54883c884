// SPDX-License-Identifier: GPL-3.0-or-later
#include "support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

std::int16_t CounterSample(int index)
{
    return static_cast<std::int16_t>(index - 4096);
}

namespace {

// The folder's name for the clean-up at exit, which runs after the string
// returned by FixtureFolder() is gone.
char removeAtExit[64];

void WriteCounterFile(const std::string& path)
{
    std::vector<std::int16_t> samples(counterSamples);
    for (int i = 0; i < counterSamples; ++i)
        samples[static_cast<std::size_t>(i)] = CounterSample(i);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()),
               static_cast<std::streamsize>(samples.size() * 2));
}

std::string MakeFixtures()
{
    char pattern[] = "/tmp/cc-alsa-test-XXXXXX";
    std::string folder = mkdtemp(pattern);
    WriteCounterFile(folder + "/counter.raw");
    mkfifo((folder + "/stream.fifo").c_str(), 0600);
    std::ofstream conf(folder + "/asound.conf");
    conf << "pcm.null { type null }\n";
    for (const char* name : {"counter.raw", "stream.fifo"}) {
        std::string pcm = name[0] == 'c' ? "cc_counter" : "cc_stream";
        conf << "pcm." << pcm << " {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
             << "  infile \"" << folder << "/" << name << "\"\n  format \"raw\"\n}\n";
    }
    conf.close();
    setenv("ALSA_CONFIG_PATH", (folder + "/asound.conf").c_str(), 1);
    // A writer whose reader went away learns it from write(), not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::snprintf(removeAtExit, sizeof removeAtExit, "%s", folder.c_str());
    // The event log of recordings that end goes here too, not to the user's.
    setenv("XDG_STATE_HOME", folder.c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(removeAtExit, ignored);
    });
    return folder;
}

bool WriteAll(int fd, const std::int16_t* samples, std::size_t count)
{
    // 256 samples a piece: the reader takes as many at a time, and a piece
    // no longer than PIPE_BUF arrives whole.
    for (std::size_t done = 0; done < count;) {
        std::size_t piece = std::min<std::size_t>(256, count - done);
        if (write(fd, samples + done, piece * 2) != static_cast<ssize_t>(piece * 2))
            return false;
        done += piece;
    }
    return true;
}

} // namespace

const std::string& FixtureFolder()
{
    static const std::string folder = MakeFixtures();
    return folder;
}

void StreamWriter::Start(std::vector<std::int16_t> once, std::vector<std::int16_t> loop)
{
    std::string path = FixtureFolder() + "/stream.fifo";
    thread = std::thread([this, path, once = std::move(once), loop = std::move(loop)] {
        int fd = -1;
        // Non-blocking until the reader is there, so that a test that never
        // opens the device does not hang here.
        while (fd < 0 && !stop) {
            fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                usleep(1000);
        }
        if (fd < 0)
            return;
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        bool open = WriteAll(fd, once.data(), once.size());
        while (open && !loop.empty() && !stop)
            open = WriteAll(fd, loop.data(), loop.size());
        while (open && !stop)
            usleep(1000);
        close(fd);
    });
}

void StreamWriter::Finish()
{
    stop = true;
    if (thread.joinable())
        thread.join();
}

int CallbackLog::DataCount()
{
    return static_cast<int>(std::count_if(events.begin(), events.end(), [](const auto& event) {
        return event.message == MM_WIM_DATA;
    }));
}

bool CallbackLog::WaitForData(int count, int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                            [&] { return DataCount() >= count; });
}

std::vector<ReturnedBuffer> CallbackLog::Snapshot()
{
    std::lock_guard<std::mutex> guard(lock);
    return events;
}

void LogCallback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
{
    auto* log = reinterpret_cast<CallbackLog*>(instance);
    ReturnedBuffer event{message, nullptr, 0, 0, {}};
    if (message == MM_WIM_DATA) {
        event.header = reinterpret_cast<WAVEHDR*>(param1);
        event.bytesRecorded = event.header->dwBytesRecorded;
        event.flags = event.header->dwFlags;
        const auto* data = reinterpret_cast<const std::int16_t*>(event.header->lpData);
        event.samples.assign(data, data + event.bytesRecorded / 2);
    }
    bool requeue;
    {
        std::lock_guard<std::mutex> guard(log->lock);
        log->events.push_back(std::move(event));
        requeue = message == MM_WIM_DATA && log->DataCount() < log->requeueUntil;
    }
    log->changed.notify_all();
    if (requeue)
        waveInAddBuffer(device, reinterpret_cast<WAVEHDR*>(param1), sizeof(WAVEHDR));
}

WAVEFORMATEX CaptureFormat(DWORD rate, WORD channels, WORD bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}

BufferSet::BufferSet(int count)
    : blocks(static_cast<std::size_t>(count), std::vector<char>(4096)),
      headers(static_cast<std::size_t>(count))
{
    for (int i = 0; i < count; ++i) {
        headers[static_cast<std::size_t>(i)] = WAVEHDR{};
        headers[static_cast<std::size_t>(i)].lpData = blocks[static_cast<std::size_t>(i)].data();
        headers[static_cast<std::size_t>(i)].dwBufferLength = 4096;
    }
}
