// The wave-input device's private state, shared by the queue code and the
// sources that feed it. Nothing outside this folder includes it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wave.h"

struct AlsaInput;
struct RecordingInput;

// One set per kind of source. Everything but open and close runs on the
// device's capture thread, and none of it under the device's lock.
struct WaveSourceOps {
    // Opens the named source for 16-bit mono at `rate`. roomStart is when
    // the source's own clock began (used by recordings).
    MMRESULT(*open)
    (PlatformWaveIn* device, const std::string& name, DWORD rate,
     std::chrono::steady_clock::time_point roomStart);
    void (*begin)(PlatformWaveIn* device); // capture starts, or starts again after a reset
    void (*halt)(PlatformWaveIn* device);  // capture stops
    // Up to `frames` samples into `samples`; the count got, 0 when none are
    // due yet. Waits at most a few tens of milliseconds.
    long (*read)(PlatformWaveIn* device, std::int16_t* samples, long frames);
    void (*close)(PlatformWaveIn* device);
};

extern const WaveSourceOps alsaSourceOps;
extern const WaveSourceOps recordingSourceOps;

// The source chosen by SetWaveInputSource, taken at waveInOpen. Starts the
// source's room clock on the first take after a choice.
void TakeWaveSource(const WaveSourceOps** ops, std::string* name,
                    std::chrono::steady_clock::time_point* roomStart);

struct PlatformWaveIn {
    const WaveSourceOps* ops = nullptr;
    AlsaInput* alsa = nullptr;
    RecordingInput* recording = nullptr;
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
    std::thread thread;
};
