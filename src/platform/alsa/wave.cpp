// SPDX-License-Identifier: GPL-3.0-or-later
// The wave-input queue: buffers queued by the caller are filled in order by
// a capture thread of the device's own from whichever source was chosen, and
// handed back through the callback. The device's lock is never held while
// calling back, so the callback may queue the next buffer. The thread alone
// opens, reads and closes the source; the caller waits for its open and its
// end only for a bounded time, and a thread held by its source is let go.
#include <algorithm>
#include <cstring>

#include "platform/alsa/device.h"

namespace {

// Samples per read: small, so that a reset finds the head buffer partly
// filled and a stop is noticed quickly.
constexpr long readFrames = 256;

// When its source had nothing yet, the capture thread rests for about the
// time the samples it waits for take to come, so that the next reads find
// them. A microphone's driver holds 100 ms and waits up to 20 ms itself, so
// for a microphone the rest is short and only what one read asks for; a
// recording overflows nothing, so its thread rests until the head buffer
// can be filled at once. A stop, reset or close ends the rest at once.
constexpr auto longestRest = std::chrono::milliseconds(20);
constexpr auto longestRecordingRest = std::chrono::milliseconds(500);
constexpr auto shortestRest = std::chrono::milliseconds(1);

// How long the caller waits for the source to open, or for the thread to
// leave it at a close. A source that answers at all does so within a read
// of 20 ms; one that takes longer has stopped delivering.
constexpr auto answerWait = std::chrono::seconds(1);

// Devices let go of while their thread was still held by the source, kept
// until the thread is out and reaped by a later open or close. None is
// opened while one is held, so that a source that hangs holds one thread
// rather than one more at every restart.
struct HeldDevices {
    std::mutex lock;
    std::vector<PlatformWaveIn*> devices;
};
HeldDevices held;

// Room left in a buffer, in whole samples.
long FramesLeft(const WAVEHDR* header)
{
    return static_cast<long>((header->dwBufferLength - header->dwBytesRecorded) / 2);
}

std::chrono::microseconds RestFor(const PlatformWaveIn* device, const WAVEHDR* header, long want)
{
    bool recording = device->ops == &recordingSourceOps && header != nullptr;
    long frames = recording ? FramesLeft(header) : want;
    auto due = std::chrono::microseconds(static_cast<std::int64_t>(frames) * 1000000 /
                                         std::max<DWORD>(device->rate, 1));
    return std::clamp<std::chrono::microseconds>(due, shortestRest,
                                                 recording ? longestRecordingRest : longestRest);
}

void MarkReturned(WAVEHDR* header)
{
    header->dwFlags = (header->dwFlags | WHDR_DONE) & ~WHDR_INQUEUE;
}

void CaptureLoop(PlatformWaveIn* device)
{
    std::vector<std::int16_t> staging(readFrames);
    std::unique_lock<std::mutex> lock(device->lock);
    bool running = false;
    unsigned runEpoch = 0;
    for (;;) {
        if (running && (!device->started || device->quit)) {
            lock.unlock();
            device->ops->halt(device);
            lock.lock();
            running = false;
            continue;
        }
        if (device->quit)
            break;
        if (!device->started) {
            device->wake.wait(lock);
            continue;
        }
        if (!running || runEpoch != device->epoch) {
            // Started, or started again after a reset since the last read.
            unsigned epoch = device->epoch;
            lock.unlock();
            if (running)
                device->ops->halt(device);
            device->ops->begin(device);
            lock.lock();
            running = true;
            runEpoch = epoch;
            continue;
        }

        // Sound read while no buffer is queued is lost, as with a microphone.
        WAVEHDR* header = device->head;
        long want = header != nullptr ? std::min(readFrames, FramesLeft(header)) : readFrames;
        lock.unlock();
        // A source that reports more than it wrote then gives silence.
        std::fill(staging.begin(), staging.end(), 0);
        long got = device->ops->read(device, staging.data(), want);
        lock.lock();
        if (runEpoch != device->epoch || !device->started)
            continue; // reset meanwhile: this sound belongs to no buffer
        if (got <= 0) {
            device->wake.wait_for(lock, RestFor(device, header, want));
            continue;
        }
        if (header == nullptr)
            continue;
        // Within one epoch only this thread removes the head, so it is the
        // buffer the room was measured for.
        got = std::min(got, FramesLeft(header));
        std::memcpy(header->lpData + header->dwBytesRecorded, staging.data(),
                    static_cast<std::size_t>(got) * 2);
        header->dwBytesRecorded += static_cast<DWORD>(got * 2);
        if (FramesLeft(header) > 0)
            continue;
        device->head = header->lpNext;
        if (device->head == nullptr)
            device->tail = nullptr;
        header->lpNext = nullptr;
        MarkReturned(header);
        device->inCallback = true;
        lock.unlock();
        device->callback(device, MM_WIM_DATA, device->instance, reinterpret_cast<DWORD_PTR>(header),
                         0);
        lock.lock();
        device->inCallback = false;
        device->wake.notify_all();
    }
}

// Joins and deletes the held devices whose thread is out; true when none
// is left.
bool ReapHeldDevices()
{
    std::lock_guard<std::mutex> guard(held.lock);
    auto out = [](PlatformWaveIn* device) {
        {
            std::lock_guard<std::mutex> lock(device->lock);
            if (!device->finished)
                return false;
        }
        device->thread.join();
        delete device;
        return true;
    };
    held.devices.erase(std::remove_if(held.devices.begin(), held.devices.end(), out),
                       held.devices.end());
    return held.devices.empty();
}

// The caller stops waiting for a device whose thread its source holds.
void Hold(PlatformWaveIn* device)
{
    std::lock_guard<std::mutex> guard(held.lock);
    held.devices.push_back(device);
}

void DeviceThread(PlatformWaveIn* device, std::string name,
                  std::shared_ptr<RecordingInput> recording)
{
    MMRESULT result = device->ops->open(device, name, device->rate, recording);
    {
        std::lock_guard<std::mutex> lock(device->lock);
        device->opened = true;
        device->openResult = result;
        device->wake.notify_all();
    }
    if (result == MMSYSERR_NOERROR) {
        CaptureLoop(device);
        device->ops->close(device);
    }
    std::lock_guard<std::mutex> lock(device->lock);
    device->finished = true;
    device->wake.notify_all();
}

bool FormatSupported(const WAVEFORMATEX* format)
{
    return format->wFormatTag == WAVE_FORMAT_PCM && format->nChannels == 1 &&
           format->wBitsPerSample == 16 && format->nSamplesPerSec >= 4000 &&
           format->nSamplesPerSec <= 192000;
}

bool HeaderUsable(const WAVEHDR* header, UINT headerSize)
{
    return header != nullptr && headerSize >= sizeof(WAVEHDR) && header->lpData != nullptr &&
           header->dwBufferLength >= 2;
}

} // namespace

MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, WAVEINPROC callback,
                    DWORD_PTR instance, DWORD flags)
{
    if (device == nullptr || format == nullptr)
        return MMSYSERR_INVALPARAM;
    *device = nullptr;
    if (deviceId != WAVE_MAPPER && deviceId != 0)
        return MMSYSERR_BADDEVICEID;
    if (!FormatSupported(format))
        return WAVERR_BADFORMAT;
    if ((flags & CALLBACK_FUNCTION) != CALLBACK_FUNCTION || callback == nullptr)
        return MMSYSERR_INVALPARAM;

    if (!ReapHeldDevices())
        return MMSYSERR_HANDLEBUSY;
    auto* opened = new PlatformWaveIn;
    std::string name;
    std::shared_ptr<RecordingInput> recording;
    TakeWaveSource(&opened->ops, &name, &recording);
    opened->rate = format->nSamplesPerSec;
    opened->callback = callback;
    opened->instance = instance;
    opened->thread = std::thread(DeviceThread, opened, std::move(name), std::move(recording));
    MMRESULT result;
    {
        std::unique_lock<std::mutex> lock(opened->lock);
        if (!opened->wake.wait_for(lock, answerWait, [opened] { return opened->opened; })) {
            opened->quit = true; // an open that comes at last goes no further
            lock.unlock();
            Hold(opened);
            return MMSYSERR_HANDLEBUSY;
        }
        result = opened->openResult;
    }
    if (result != MMSYSERR_NOERROR) {
        opened->thread.join();
        delete opened;
        return result;
    }
    *device = opened;
    callback(opened, MM_WIM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize)
{
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (!HeaderUsable(header, headerSize))
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(device->lock);
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize)
{
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || headerSize < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(device->lock);
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT headerSize)
{
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (!HeaderUsable(header, headerSize))
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(device->lock);
    if (!(header->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    // An odd last byte could never be filled; the buffer counts as full without it.
    header->dwBufferLength &= ~static_cast<DWORD>(1);
    header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    header->lpNext = nullptr;
    if (device->tail != nullptr)
        device->tail->lpNext = header;
    else
        device->head = header;
    device->tail = header;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN device)
{
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> lock(device->lock);
    device->started = true;
    device->wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN device)
{
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    WAVEHDR* returned;
    {
        std::unique_lock<std::mutex> lock(device->lock);
        device->started = false;
        ++device->epoch;
        returned = device->head;
        device->head = nullptr;
        device->tail = nullptr;
        // The head keeps what it holds; the others hold nothing yet.
        for (WAVEHDR* header = returned; header != nullptr; header = header->lpNext)
            MarkReturned(header);
        device->wake.notify_all();
        // A buffer already on its way back is delivered before these.
        if (std::this_thread::get_id() != device->thread.get_id())
            device->wake.wait(lock, [device] { return !device->inCallback; });
    }
    while (returned != nullptr) {
        WAVEHDR* next = returned->lpNext;
        returned->lpNext = nullptr;
        device->callback(device, MM_WIM_DATA, device->instance,
                         reinterpret_cast<DWORD_PTR>(returned), 0);
        returned = next;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN device)
{
    if (device == nullptr)
        return MMSYSERR_INVALHANDLE;
    WAVEHDR* late;
    bool out;
    {
        std::unique_lock<std::mutex> lock(device->lock);
        if (device->head != nullptr)
            return WAVERR_STILLPLAYING;
        device->quit = true;
        device->wake.notify_all();
        // A callback under way is the caller's own and ends; a source that
        // holds the thread may never let it go. Either way the thread calls
        // back no more.
        device->wake.wait(lock, [device] { return !device->inCallback; });
        out = device->wake.wait_for(lock, answerWait, [device] { return device->finished; });
        // A buffer that a last data callback queued after the check above
        // comes back unfilled rather than staying with a device that is gone.
        late = device->head;
        device->head = device->tail = nullptr;
    }
    while (late != nullptr) {
        WAVEHDR* next = late->lpNext;
        late->lpNext = nullptr;
        MarkReturned(late);
        device->callback(device, MM_WIM_DATA, device->instance, reinterpret_cast<DWORD_PTR>(late),
                         0);
        late = next;
    }
    device->callback(device, MM_WIM_CLOSE, device->instance, 0, 0);
    if (out) {
        device->thread.join();
        delete device;
    } else {
        Hold(device);
    }
    ReapHeldDevices();
    return MMSYSERR_NOERROR;
}
