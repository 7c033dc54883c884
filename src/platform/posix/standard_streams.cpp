// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/standard_streams.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t queueMostBytes = 64 * 1024;
constexpr int exitWaitMilliseconds = 2000;

struct QueuedLine {
    std::string text;
    long droppedAfter; // lines dropped right after this one
};

struct StreamQueue {
    int fd = -1;
    const char* name = "";
    std::mutex lock;
    std::condition_variable queued;  // the writer waits for lines
    std::condition_variable written; // a flush waits for the writer
    std::deque<QueuedLine> lines;
    std::size_t bytes = 0;
    bool writing = false; // the writer is in a write
    std::once_flag started;
};

void WriteQueued(StreamQueue* queue)
{
    std::unique_lock<std::mutex> guard(queue->lock);
    for (;;) {
        queue->queued.wait(guard, [queue] { return !queue->lines.empty(); });
        QueuedLine line = std::move(queue->lines.front());
        queue->lines.pop_front();
        queue->bytes -= line.text.size();
        queue->writing = true;
        guard.unlock();
        WriteAll(queue->fd, line.text);
        if (line.droppedAfter > 0)
            WriteAll(queue->fd, "cradlecom: " + std::to_string(line.droppedAfter) +
                                    " lines dropped here: " + queue->name +
                                    " did not take them in time\n");
        guard.lock();
        queue->writing = false;
        queue->written.notify_all();
    }
}

bool Drain(StreamQueue* queue, std::chrono::steady_clock::time_point until)
{
    std::unique_lock<std::mutex> guard(queue->lock);
    return queue->written.wait_until(guard, until,
                                     [queue] { return queue->lines.empty() && !queue->writing; });
}

// Never destroyed: a writer held by its stream may outlive main.
StreamQueue* MakeQueue(int fd, const char* name)
{
    auto* queue = new StreamQueue;
    queue->fd = fd;
    queue->name = name;
    return queue;
}

StreamQueue* StandardError()
{
    static StreamQueue* const queue = MakeQueue(STDERR_FILENO, "standard error");
    return queue;
}

StreamQueue* StandardOutput()
{
    static StreamQueue* const queue = MakeQueue(STDOUT_FILENO, "standard output");
    return queue;
}

void FlushAtExit()
{
    FlushStandardStreams(exitWaitMilliseconds);
}

bool Queue(StreamQueue* queue, std::string line)
{
    std::call_once(queue->started, [queue] {
        static std::once_flag registered;
        std::call_once(registered, [] { std::atexit(FlushAtExit); });
        std::thread(WriteQueued, queue).detach();
    });
    std::lock_guard<std::mutex> guard(queue->lock);
    if (queue->bytes > 0 && queue->bytes + line.size() > queueMostBytes) {
        ++queue->lines.back().droppedAfter;
        return false;
    }
    queue->bytes += line.size();
    queue->lines.push_back(QueuedLine{std::move(line), 0});
    queue->queued.notify_one();
    return true;
}

} // namespace

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool QueueStandardError(std::string line)
{
    return Queue(StandardError(), std::move(line));
}

bool QueueStandardOutput(std::string line)
{
    return Queue(StandardOutput(), std::move(line));
}

bool FlushStandardStreams(int milliseconds)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    bool errorOut = Drain(StandardError(), until);
    return Drain(StandardOutput(), until) && errorOut;
}
