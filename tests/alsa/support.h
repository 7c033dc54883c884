// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures for the wave-input tests: an ALSA configuration of its own whose
// PCMs read known samples through the "file" plugin, writers that feed a
// FIFO, and a callback that records what the device hands back.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wave.h"

// Samples of "alsa:cc_counter": -4096 upwards, one step a sample, four
// buffers long; then the device reads silence without end, at full speed.
constexpr int counterSamples = 8192;
std::int16_t CounterSample(int index);

// Sets ALSA_CONFIG_PATH to the test configuration (before any snd_ call)
// and returns the folder with the tests' files.
const std::string& FixtureFolder();

// "alsa:cc_stream" reads the FIFO fed by a StreamWriter; it is paced by
// the writer, who writes 512-byte pieces.
class StreamWriter {
public:
    // Writes `once`, then `loop` over and over until the reader goes; with
    // an empty loop it keeps the FIFO open until Finish.
    void Start(std::vector<std::int16_t> once, std::vector<std::int16_t> loop);
    void Finish();
    ~StreamWriter() { Finish(); }

private:
    std::thread thread;
    std::atomic<bool> stop{false};
};

struct ReturnedBuffer {
    UINT message;
    WAVEHDR* header;
    DWORD bytesRecorded;
    DWORD flags;
    std::vector<std::int16_t> samples;
};

// Records every callback. While `requeueUntil` data callbacks have not been
// seen, a returned buffer is queued again at once, from the callback.
struct CallbackLog {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<ReturnedBuffer> events;
    int requeueUntil = 0;

    bool WaitForData(int count, int timeoutMs);
    int DataCount(); // lock held
    std::vector<ReturnedBuffer> Snapshot();
};

void LogCallback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR);

WAVEFORMATEX CaptureFormat(DWORD rate = 11025, WORD channels = 1, WORD bits = 16);

// Buffers of 4096 bytes with their headers, prepared by the test.
struct BufferSet {
    explicit BufferSet(int count);
    std::vector<std::vector<char>> blocks;
    std::vector<WAVEHDR> headers;
};
