// SPDX-License-Identifier: GPL-3.0-or-later
// The wave-input device's private state, shared by the queue code and the
// sources that feed it. Nothing outside this folder includes it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wave.h"

struct AlsaInput;
struct RecordingInput; // the chosen recording, shared by every device that plays it

// One set per kind of source. All of it runs on the device's capture
// thread, none of it under the device's lock: a source that hangs (a FIFO
// that stops, a sound server that does not answer) holds only that thread.
struct WaveSourceOps {
    // Opens the named source (or the chosen recording, already open) for
    // 16-bit mono at `rate`.
    MMRESULT(*open)
    (PlatformWaveIn* device, const std::string& name, DWORD rate,
     const std::shared_ptr<RecordingInput>& recording);
    void (*begin)(PlatformWaveIn* device); // capture starts, or starts again after a reset
    void (*halt)(PlatformWaveIn* device);  // capture stops
    // Up to `frames` samples into `samples`; the count got, 0 when none are
    // due yet. Waits at most a few tens of milliseconds.
    long (*read)(PlatformWaveIn* device, std::int16_t* samples, long frames);
    void (*close)(PlatformWaveIn* device);
};

extern const WaveSourceOps alsaSourceOps;
extern const WaveSourceOps recordingSourceOps;

// The source chosen by SetWaveInputSource, taken at waveInOpen; for a
// recording, the recording itself, opened when it was chosen.
void TakeWaveSource(const WaveSourceOps** ops, std::string* name,
                    std::shared_ptr<RecordingInput>* recording);

// Opens a recording for playing at `rate` (recording_input.cpp). Null with
// a reason when it cannot be read.
std::shared_ptr<RecordingInput> OpenRecordingInput(const std::string& path, DWORD rate,
                                                   std::string* error);
// Whether the recording starts again at its end (recording_input.cpp).
void LoopRecordingInput(RecordingInput* recording, bool loop);
// Seconds on the room's clock since capture first started; 0 before.
double RecordingInputClock(RecordingInput* recording);

struct PlatformWaveIn {
    const WaveSourceOps* ops = nullptr;
    AlsaInput* alsa = nullptr;
    std::shared_ptr<RecordingInput> recording;
    DWORD rate = 0;
    WAVEINPROC callback = nullptr;
    DWORD_PTR instance = 0;

    std::mutex lock; // guards everything below
    std::condition_variable wake;
    WAVEHDR* head = nullptr; // queued buffers, linked by lpNext; head fills first
    WAVEHDR* tail = nullptr;
    bool started = false;
    bool quit = false;
    bool inCallback = false; // the capture thread is calling back
    unsigned epoch = 0;      // counts resets, so a read begun before one is dropped
    bool opened = false;     // the source's open has returned, with `openResult`
    MMRESULT openResult = MMSYSERR_NOERROR;
    bool finished = false; // the source is closed and the thread is out
    std::thread thread;
};
