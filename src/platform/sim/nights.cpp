// SPDX-License-Identifier: GPL-3.0-or-later
// Night recordings in memory: what the real writer would put in its file,
// kept for the test to look at, and the disk filling up on order.
#include <cstdio>
#include <mutex>

#include "platform/eventlog.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_nights.h"
#include "platform/system.h"

struct PlatformNightRecording {
    std::size_t index; // in nights.recordings
};

namespace {

struct NightsState {
    std::mutex lock; // writes may come on a device thread
    std::vector<SimNightRecording> recordings;
    PlatformNightRecording open{0};
    bool isOpen = false;
    std::int64_t fullAfter = -1;
    bool keep = true;
};

NightsState nights;

void ResetNights()
{
    std::lock_guard<std::mutex> guard(nights.lock);
    nights.recordings.clear();
    nights.isOpen = false;
    nights.fullAfter = -1;
    nights.keep = true;
}

SimResetHook nightsReset(ResetNights);

std::string Name()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char name[96];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d_%02d-%02d-%02d.flac", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return name;
}

void Append(HNIGHTREC recording, const SHORT* samples, DWORD count)
{
    bool filled = false;
    {
        std::lock_guard<std::mutex> guard(nights.lock);
        if (recording == nullptr || !nights.isOpen || recording != &nights.open)
            return;
        SimNightRecording& night = nights.recordings[recording->index];
        if (night.stopped)
            return;
        if (nights.fullAfter >= 0 && night.written + count > nights.fullAfter) {
            night.stopped = true;
            filled = true;
        } else {
            night.written += count;
            if (nights.keep && samples != nullptr)
                night.samples.insert(night.samples.end(), samples, samples + count);
            else if (nights.keep)
                night.samples.resize(night.samples.size() + count, 0);
        }
    }
    if (filled)
        AppendEventLog(EVENTLOG_ERROR_TYPE,
                       u"night recording stopped (monitoring goes on): No space left on device");
}

} // namespace

HNIGHTREC NightRecordingOpen(DWORD rate, std::uint64_t capBytes)
{
    {
        std::lock_guard<std::mutex> guard(nights.lock);
        if (!nights.isOpen) {
            nights.recordings.push_back(
                SimNightRecording{Name(), rate, capBytes, {}, 0, SimNow(), -1, false});
            nights.open.index = nights.recordings.size() - 1;
            nights.isOpen = true;
            return &nights.open;
        }
    }
    AppendEventLog(EVENTLOG_WARNING_TYPE,
                   u"night not recorded: another recording is being written");
    return nullptr;
}

void NightRecordingWrite(HNIGHTREC recording, const SHORT* samples, DWORD count)
{
    if (samples != nullptr)
        Append(recording, samples, count);
}

void NightRecordingWriteSilence(HNIGHTREC recording, DWORD count)
{
    Append(recording, nullptr, count);
}

void NightRecordingClose(HNIGHTREC recording)
{
    std::lock_guard<std::mutex> guard(nights.lock);
    if (recording == nullptr || !nights.isOpen || recording != &nights.open)
        return;
    nights.recordings[recording->index].closed = SimNow();
    nights.isOpen = false;
}

std::vector<SimNightRecording> SimNightRecordings()
{
    std::lock_guard<std::mutex> guard(nights.lock);
    return nights.recordings;
}

void SimNightRecordingFullAfter(std::int64_t samples)
{
    std::lock_guard<std::mutex> guard(nights.lock);
    nights.fullAfter = samples;
}

void SimNightRecordingKeepSamples(bool keep)
{
    std::lock_guard<std::mutex> guard(nights.lock);
    nights.keep = keep;
}
