// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "audio/capture.h"

NightState night;

bool BeginNightRecording(std::int32_t capMegabytes)
{
    night.pending = 0;
    std::uint64_t cap = static_cast<std::uint64_t>(std::max(capMegabytes, 1)) * 1000000u;
    HNIGHTREC recording = NightRecordingOpen(static_cast<DWORD>(capture.sampleRate), cap);
    if (recording == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(capture.guard);
    night.recording = recording;
    night.samples = 0;
    night.elapsedMs = 0;
    return true;
}

void EndNightRecording()
{
    night.pending = 0;
    HNIGHTREC recording;
    {
        std::lock_guard<std::mutex> lock(capture.guard);
        recording = night.recording;
        night.recording = nullptr;
    }
    // Not under the lock: the close waits for the writer to finish the file.
    NightRecordingClose(recording);
}

void AdvanceNightRecording(std::uint32_t milliseconds)
{
    if (night.recording != nullptr)
        night.elapsedMs = night.elapsedMs + milliseconds;
}

void KeepNightSamples(const WAVEHDR* header)
{
    if (night.recording == nullptr || header->dwBytesRecorded < 2)
        return;
    DWORD count = header->dwBytesRecorded / 2;
    NightRecordingWrite(night.recording, reinterpret_cast<const SHORT*>(header->lpData), count);
    night.samples = night.samples + count;
}

void FillNightGap()
{
    if (night.recording == nullptr)
        return;
    // The samples the run's time holds, rounded up as the device counts them.
    std::int64_t due = (night.elapsedMs * capture.sampleRate + 999) / 1000;
    if (due <= night.samples)
        return;
    NightRecordingWriteSilence(night.recording, static_cast<DWORD>(due - night.samples));
    night.samples = due;
}
