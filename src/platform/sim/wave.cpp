// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated wave-input device. By default it is driven by the virtual
// clock and calls back on the thread that runs the clock; in threaded mode a
// device thread of its own returns buffers as fast as they are queued, or
// after a random pause.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sim/sim_internal.h"
#include "platform/wave.h"

struct PlatformWaveIn {
    WAVEINPROC callback = nullptr;
    DWORD_PTR instance = 0;
    std::deque<WAVEHDR*> queue;
    bool started = false;
    std::int64_t streamPos = 0; // sample where the next fill starts
    std::int64_t headStart = 0; // sample where the head buffer's fill started
    bool closing = false;
    int inCallback = 0;
};

namespace {

constexpr int samplesPerBuffer = 2048;

struct WaveState {
    std::mutex lock; // never held while calling back
    std::condition_variable changed;
    PlatformWaveIn* device = nullptr;
    // Counted without the lock: every device call counts.
    std::atomic<long> calls[7] = {};
    std::atomic<long> failAt[7] = {}; // the call that fails; 0: none
    long returned = 0;
    bool threaded = false;
    std::int16_t amplitude = 0;
    std::thread thread;
    bool threadStop = false;
    std::function<void(UINT)> observer;
    long full = 0;               // buffers returned full while capturing (not by a reset)
    std::int64_t shortNext = 0;  // samples of the next buffer the clock returns; 0: a whole one
    SimTime stallUntil = 0;      // the clock returns no buffer before this time
    int pauseMostMicros = 0;     // threaded: the longest pause before a return
    std::uint32_t pauseSeed = 1; // threaded: the pauses' random sequence
};

WaveState wave;

int Index(SimWaveOp op)
{
    return static_cast<int>(op);
}

// Counts the call and tells whether the test asked it to fail.
bool CallFails(SimWaveOp op)
{
    long n = wave.calls[Index(op)].fetch_add(1) + 1;
    long at = wave.failAt[Index(op)].load();
    return at != 0 && n == at && wave.failAt[Index(op)].compare_exchange_strong(at, 0);
}

std::int64_t CeilSample(SimTime t)
{
    return (t + simUnitsPerSample - 1) / simUnitsPerSample;
}

// A silent block, and one whose largest magnitude is `peak`, for input
// that is known by its peaks only.
const std::int16_t* Silence()
{
    static const std::int16_t silence[samplesPerBuffer] = {};
    return silence;
}

// The first sample of a block whose largest magnitude is `peak`; the rest
// are silent.
std::int16_t PeakSample(std::int32_t peak)
{
    peak = std::clamp(peak, 0, 32768);
    return static_cast<std::int16_t>(peak == 32768 ? -32768 : peak);
}

// The caller has counted the callback in (under the lock) so that a reset
// can wait for it.
void RunCallback(PlatformWaveIn* device, UINT message, WAVEHDR* header)
{
    device->callback(device, message, device->instance, reinterpret_cast<DWORD_PTR>(header), 0);
    if (wave.observer)
        wave.observer(message);
    {
        std::lock_guard<std::mutex> guard(wave.lock);
        --device->inCallback;
    }
    wave.changed.notify_all();
}

void CountIn(PlatformWaveIn* device, UINT message)
{
    ++device->inCallback;
    if (message == MM_WIM_DATA)
        ++wave.returned;
}

void CallBack(PlatformWaveIn* device, UINT message, WAVEHDR* header)
{
    {
        std::lock_guard<std::mutex> guard(wave.lock);
        CountIn(device, message);
    }
    RunCallback(device, message, header);
}

// Takes the head off the queue with `count` samples from `samples`.
WAVEHDR* TakeHead(PlatformWaveIn* device, const std::int16_t* samples, std::int64_t count)
{
    WAVEHDR* header = device->queue.front();
    device->queue.pop_front();
    auto bytes = static_cast<DWORD>(count * 2);
    bytes = std::min(bytes, header->dwBufferLength);
    if (bytes > 0 && samples != nullptr)
        std::memcpy(header->lpData, samples, bytes);
    header->dwBytesRecorded = bytes;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    return header;
}

// As TakeHead, with `count` samples of which only the first may be loud:
// written at once rather than copied from a silent block, since a replay
// by peaks hands over a buffer every 186 ms.
WAVEHDR* TakeHeadWithPeak(PlatformWaveIn* device, std::int16_t first, std::int64_t count)
{
    WAVEHDR* header = TakeHead(device, nullptr, count);
    std::memset(header->lpData, 0, header->dwBytesRecorded);
    if (header->dwBytesRecorded >= sizeof first)
        std::memcpy(header->lpData, &first, sizeof first);
    return header;
}

// A pause of 0 to `most` microseconds from a small generator of the
// thread's own (xorshift32), so that the pattern does not depend on the
// library's random engines.
int NextPauseMicros(std::uint32_t* state, int most)
{
    std::uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return static_cast<int>(x % (static_cast<std::uint32_t>(most) + 1));
}

// Whether the open device has a buffer to return; under the lock.
bool ThreadHasWork()
{
    PlatformWaveIn* device = wave.device;
    return device != nullptr && device->started && !device->queue.empty();
}

// The device thread serves whichever device is open, from the first open in
// threaded mode until the reset, so that starts and stops by the thousand
// do not make a thread each.
void ThreadMain()
{
    std::unique_lock<std::mutex> guard(wave.lock);
    std::vector<std::int16_t> block(samplesPerBuffer, wave.amplitude);
    std::uint32_t pauseState = wave.pauseSeed != 0 ? wave.pauseSeed : 1;
    for (;;) {
        wave.changed.wait(guard, [] { return wave.threadStop || ThreadHasWork(); });
        if (wave.threadStop)
            return;
        if (wave.pauseMostMicros > 0) {
            // The buffer comes back at a random moment; a reset (or a close
            // and another open) may come meanwhile.
            int pause = NextPauseMicros(&pauseState, wave.pauseMostMicros);
            guard.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(pause));
            guard.lock();
            if (wave.threadStop)
                return;
            if (!ThreadHasWork())
                continue;
        }
        PlatformWaveIn* device = wave.device;
        WAVEHDR* header = TakeHead(device, block.data(), samplesPerBuffer);
        ++wave.full;
        CountIn(device, MM_WIM_DATA);
        guard.unlock();
        RunCallback(device, MM_WIM_DATA, header);
        guard.lock();
    }
}

void StopThread()
{
    {
        std::lock_guard<std::mutex> guard(wave.lock);
        wave.threadStop = true;
    }
    wave.changed.notify_all();
    if (wave.thread.joinable())
        wave.thread.join();
    wave.threadStop = false;
}

void ResetWave()
{
    StopThread();
    std::lock_guard<std::mutex> guard(wave.lock);
    delete wave.device;
    wave.device = nullptr;
    for (int op = 0; op < 7; ++op) {
        wave.calls[op] = 0;
        wave.failAt[op] = 0;
    }
    wave.returned = 0;
    wave.threaded = false;
    wave.amplitude = 0;
    wave.observer = nullptr;
    wave.full = 0;
    wave.shortNext = 0;
    wave.stallUntil = 0;
    wave.pauseMostMicros = 0;
    wave.pauseSeed = 1;
}

SimResetHook waveReset(ResetWave);

} // namespace

MMRESULT waveInOpen(HWAVEIN* device, UINT, const WAVEFORMATEX* format, WAVEINPROC callback,
                    DWORD_PTR instance, DWORD flags)
{
    if (CallFails(SimWaveOp::Open))
        return MMSYSERR_NODRIVER;
    if (format == nullptr || format->wFormatTag != WAVE_FORMAT_PCM || format->nChannels != 1 ||
        format->nSamplesPerSec != 11025 || format->wBitsPerSample != 16 ||
        flags != CALLBACK_FUNCTION || callback == nullptr)
        return WAVERR_BADFORMAT;
    PlatformWaveIn* opened;
    {
        std::lock_guard<std::mutex> guard(wave.lock);
        if (wave.device != nullptr)
            return MMSYSERR_ALLOCATED;
        opened = new PlatformWaveIn;
        opened->callback = callback;
        opened->instance = instance;
        wave.device = opened;
    }
    *device = opened;
    if (wave.threaded && !wave.thread.joinable())
        wave.thread = std::thread(ThreadMain);
    CallBack(opened, MM_WIM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT size)
{
    if (CallFails(SimWaveOp::Prepare))
        return MMSYSERR_NOMEM;
    if (device == nullptr || header == nullptr || size != sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT size)
{
    if (CallFails(SimWaveOp::Unprepare))
        return MMSYSERR_ERROR;
    if (device == nullptr || header == nullptr || size != sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> guard(wave.lock);
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        SimRecordFault("queued header unprepared");
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT size)
{
    if (CallFails(SimWaveOp::Add))
        return MMSYSERR_NOMEM;
    if (device == nullptr || header == nullptr || size != sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if ((header->dwFlags & WHDR_PREPARED) == 0)
        return WAVERR_UNPREPARED;
    {
        std::lock_guard<std::mutex> guard(wave.lock);
        if ((header->dwFlags & WHDR_INQUEUE) != 0) {
            SimRecordFault("buffer queued twice");
            return WAVERR_STILLPLAYING;
        }
        if (device->closing)
            SimRecordFault("buffer queued at a device being taken down");
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        header->dwBytesRecorded = 0;
        if (device->queue.empty() && device->started)
            device->headStart = std::max(device->streamPos, CeilSample(SimNow()));
        device->queue.push_back(header);
    }
    wave.changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN device)
{
    if (CallFails(SimWaveOp::Start))
        return MMSYSERR_ERROR;
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard<std::mutex> guard(wave.lock);
        if (!device->started) {
            device->started = true;
            device->streamPos = CeilSample(SimNow());
            device->headStart = device->streamPos;
        }
    }
    wave.changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN device)
{
    if (CallFails(SimWaveOp::Reset))
        return MMSYSERR_ERROR;
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    std::deque<WAVEHDR*> returned;
    {
        std::unique_lock<std::mutex> guard(wave.lock);
        device->closing = true;
        // A callback already running finishes before the reset goes on.
        wave.changed.wait(guard, [&] { return device->inCallback == 0; });
        bool first = true;
        while (!device->queue.empty()) {
            std::int64_t captured = 0;
            const std::int16_t* samples = nullptr;
            if (first && device->started && SimInputSet()) {
                std::int64_t before = SimNow() / simUnitsPerSample; // samples ended by now
                captured =
                    std::clamp<std::int64_t>(before - device->headStart, 0, samplesPerBuffer);
                std::int64_t held = SimInputReach(device->headStart + captured, device->headStart);
                captured = std::clamp<std::int64_t>(held - device->headStart, 0, captured);
                if (captured > 0)
                    samples = SimInputIsPeaks() ? Silence() : SimInputSamples(device->headStart);
            } else if (first && device->started && wave.threaded) {
                captured = 0;
            }
            returned.push_back(TakeHead(device, samples, captured));
            first = false;
        }
        device->started = false;
    }
    for (WAVEHDR* header : returned)
        CallBack(device, MM_WIM_DATA, header);
    std::lock_guard<std::mutex> guard(wave.lock);
    device->closing = false;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN device)
{
    if (CallFails(SimWaveOp::Close))
        return MMSYSERR_ERROR;
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    {
        std::unique_lock<std::mutex> guard(wave.lock);
        if (!device->queue.empty())
            return WAVERR_STILLPLAYING;
        // No callback of it is still running, and the device thread no
        // longer sees it.
        wave.changed.wait(guard, [&] { return device->inCallback == 0; });
        if (wave.device == device)
            wave.device = nullptr;
    }
    CallBack(device, MM_WIM_CLOSE, nullptr);
    delete device;
    return MMSYSERR_NOERROR;
}

SimTime SimWaveNextReturnTime()
{
    std::lock_guard<std::mutex> guard(wave.lock);
    PlatformWaveIn* device = wave.device;
    if (device == nullptr || wave.threaded || !SimInputSet() || !device->started ||
        device->queue.empty())
        return std::numeric_limits<SimTime>::max();
    std::int64_t end = device->headStart + (wave.shortNext > 0 ? wave.shortNext : samplesPerBuffer);
    std::int64_t keepFrom = std::min(device->headStart, SimNow() / simUnitsPerSample);
    if (SimInputReach(end, keepFrom) < end)
        return std::numeric_limits<SimTime>::max();
    return std::max(end * simUnitsPerSample, wave.stallUntil);
}

std::int64_t SimWaveKeepFrom()
{
    std::lock_guard<std::mutex> guard(wave.lock);
    PlatformWaveIn* device = wave.device;
    if (device == nullptr || !device->started || device->queue.empty())
        return std::numeric_limits<std::int64_t>::max();
    return device->headStart;
}

void SimWaveReturnDue()
{
    WAVEHDR* header;
    PlatformWaveIn* device;
    {
        std::lock_guard<std::mutex> guard(wave.lock);
        device = wave.device;
        std::int64_t count = wave.shortNext > 0 ? wave.shortNext : samplesPerBuffer;
        wave.shortNext = 0;
        if (SimInputIsPeaks() && count < samplesPerBuffer) {
            header = TakeHeadWithPeak(device, 0, count);
        } else if (SimInputIsPeaks()) {
            std::int32_t peak = 0;
            if (!SimInputPeak(device->headStart, &peak))
                SimRecordFault("no peak known for the buffer from sample " +
                               std::to_string(device->headStart));
            header = TakeHeadWithPeak(device, PeakSample(peak), count);
        } else {
            header = TakeHead(device, SimInputSamples(device->headStart), count);
        }
        wave.full += count == samplesPerBuffer ? 1 : 0;
        // After a stall the samples recorded meanwhile are lost, as in an
        // overrun: the next buffer starts now.
        device->streamPos = device->headStart + count;
        device->headStart = std::max(device->streamPos, CeilSample(SimNow()));
    }
    CallBack(device, MM_WIM_DATA, header);
}

bool SimHeapOwnsQueuedBlock(const void* block)
{
    std::lock_guard<std::mutex> guard(wave.lock);
    if (wave.device == nullptr)
        return false;
    for (const WAVEHDR* header : wave.device->queue) {
        if (header == block || header->lpData == block)
            return true;
    }
    return false;
}

void SimWaveFailNth(SimWaveOp op, int n)
{
    wave.failAt[Index(op)] = wave.calls[Index(op)] + n;
}

long SimWaveCalls(SimWaveOp op)
{
    return wave.calls[Index(op)];
}

bool SimWaveIsOpen()
{
    std::lock_guard<std::mutex> guard(wave.lock);
    return wave.device != nullptr;
}

int SimWaveQueued()
{
    std::lock_guard<std::mutex> guard(wave.lock);
    return wave.device != nullptr ? static_cast<int>(wave.device->queue.size()) : 0;
}

long SimWaveBuffersReturned()
{
    std::lock_guard<std::mutex> guard(wave.lock);
    return wave.returned;
}

bool SimWaveDeliver(const std::int16_t* samples, int count)
{
    WAVEHDR* header;
    PlatformWaveIn* device;
    {
        std::lock_guard<std::mutex> guard(wave.lock);
        device = wave.device;
        if (device == nullptr || device->queue.empty())
            return false;
        header = TakeHead(device, samples, count);
    }
    CallBack(device, MM_WIM_DATA, header);
    return true;
}

void SimWaveSetThreaded(bool threaded, std::int16_t amplitude)
{
    std::lock_guard<std::mutex> guard(wave.lock);
    wave.threaded = threaded;
    wave.amplitude = amplitude;
}

void SimWaveSetCallbackObserver(std::function<void(UINT)> observer)
{
    wave.observer = std::move(observer);
}

long SimWaveFullBuffersReturned()
{
    std::lock_guard<std::mutex> guard(wave.lock);
    return wave.full;
}

void SimWaveShortNext(int samples)
{
    std::lock_guard<std::mutex> guard(wave.lock);
    wave.shortNext = std::clamp(samples, 1, samplesPerBuffer - 1);
}

void SimWaveStall(SimTime until)
{
    std::lock_guard<std::mutex> guard(wave.lock);
    wave.stallUntil = std::max(wave.stallUntil, until);
}

void SimWaveSetThreadedPauses(int mostMicros, std::uint32_t seed)
{
    std::lock_guard<std::mutex> guard(wave.lock);
    wave.pauseMostMicros = std::max(mostMicros, 0);
    wave.pauseSeed = seed;
}
