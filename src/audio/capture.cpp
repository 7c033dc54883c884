// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/capture.h"
#include "platform/system.h"

CaptureState capture;
MicrophoneState microphone;

static WAVEHDR* MakeCaptureBuffer()
{
    auto* header = static_cast<WAVEHDR*>(LocalAlloc(LPTR, sizeof(WAVEHDR)));
    if (header == nullptr)
        return nullptr;
    header->lpData = static_cast<char*>(LocalAlloc(LMEM_FIXED, capture.bufferBytes));
    if (header->lpData == nullptr) {
        LocalFree(header);
        return nullptr;
    }
    header->dwBufferLength = capture.bufferBytes;
    return header;
}

static void ReleaseCaptureBuffer(WAVEHDR* header)
{
    LocalFree(header->lpData);
    LocalFree(header);
}

// Makes a buffer for `slot`, prepares and queues it. A buffer the device
// refuses is released at once, and the slot is left empty. The result of
// the failing step, MMSYSERR_NOMEM when the heap had no room.
static MMRESULT QueueFreshBuffer(int slot)
{
    WAVEHDR* header = MakeCaptureBuffer();
    capture.bufferSlot[slot] = header;
    if (header == nullptr)
        return MMSYSERR_NOMEM;
    MMRESULT result = waveInPrepareHeader(capture.waveIn, header, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) {
        ReleaseCaptureBuffer(header);
        capture.bufferSlot[slot] = nullptr;
        return result;
    }
    result = waveInAddBuffer(capture.waveIn, header, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) {
        waveInUnprepareHeader(capture.waveIn, header, sizeof(WAVEHDR));
        ReleaseCaptureBuffer(header);
        capture.bufferSlot[slot] = nullptr;
        return result;
    }
    return MMSYSERR_NOERROR;
}

static void WriteCaptureFormat()
{
    capture.sampleRate = 11025;
    capture.bitsPerSample = 16;
    capture.bufferBytes = captureBufferBytes;
    capture.channelCount = 1;
    capture.deviceId = static_cast<std::int32_t>(WAVE_MAPPER);
    capture.waveFormat = WAVEFORMATEX{};
    capture.waveFormat.wFormatTag = WAVE_FORMAT_PCM;
    capture.waveFormat.nChannels = static_cast<WORD>(capture.channelCount);
    capture.waveFormat.nSamplesPerSec = static_cast<DWORD>(capture.sampleRate);
    capture.waveFormat.nBlockAlign =
        static_cast<WORD>(capture.bitsPerSample * capture.channelCount / 8);
    capture.waveFormat.nAvgBytesPerSec =
        capture.waveFormat.nBlockAlign * capture.waveFormat.nSamplesPerSec;
    capture.waveFormat.wBitsPerSample = static_cast<WORD>(capture.bitsPerSample);
    capture.waveFormat.cbSize = 0;
}

void ClearCaptureState()
{
    std::lock_guard<std::mutex> lock(capture.guard);
    capture.waveIn = nullptr;
    capture.sampleRate = 0;
    capture.bitsPerSample = 0;
    capture.bufferBytes = 0;
    capture.channelCount = 0;
    capture.deviceId = 0;
    capture.waveFormat = WAVEFORMATEX{};
    capture.peak.store(0);
    capture.level.store(0.0);
    capture.likeCry.store(0);
    capture.cryCheck = CryCheckState{};
    capture.room.wanted = 0;
    capture.room.heard = 0;
    capture.fullBuffers.store(0);
    capture.captureClosing = false;
    capture.bufferSlot[0] = nullptr;
    capture.bufferSlot[1] = nullptr;
    capture.nextSlot = 0;
    microphone = MicrophoneState{};
    night.pending = 0;
    night.recording = nullptr;
    night.samples = 0;
    night.elapsedMs = 0;
}

// Only on a stopped engine. On false whatever was opened or made stays
// recorded, so that the next StopCapture takes it down.
// The failing call's result is kept in `microphone` for the event log.
static MMRESULT StartDevice()
{
    std::lock_guard<std::mutex> lock(capture.guard);
    capture.waveIn = nullptr;
    capture.nextSlot = 0;
    WriteCaptureFormat();
    FillNightGap();
    MMRESULT result = waveInOpen(&capture.waveIn, static_cast<UINT>(capture.deviceId),
                                 &capture.waveFormat, OnCaptureBuffer, 0, CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        capture.waveIn = nullptr;
        return result;
    }
    for (int slot = 0; slot < 2; ++slot) {
        result = QueueFreshBuffer(slot);
        if (result != MMSYSERR_NOERROR)
            return result;
    }
    return waveInStart(capture.waveIn);
}

bool StartCapture()
{
    microphone.starts = microphone.starts + 1;
    microphone.startResult = StartDevice();
    return microphone.startResult == MMSYSERR_NOERROR;
}

std::int32_t MicrophoneStatus()
{
    if (microphone.starts == 0)
        return MICROPHONE_UNKNOWN;
    return microphone.startResult == MMSYSERR_NOERROR ? MICROPHONE_LISTENING : MICROPHONE_FAILED;
}

void OnCaptureBuffer(HWAVEIN, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR)
{
    if (message != MM_WIM_DATA)
        return;
    // Held to the end, so that StopCapture cannot reset the device while a
    // callback that found the flag clear is still re-queueing.
    std::lock_guard<std::mutex> lock(capture.guard);
    if (capture.captureClosing)
        return; // StopCapture releases it
    auto* returned = reinterpret_cast<WAVEHDR*>(param1);
    int slot = capture.bufferSlot[0] == returned ? 0 : capture.bufferSlot[1] == returned ? 1 : -1;
    if (slot < 0)
        return; // not one of ours
    QueueFreshBuffer(slot);
    capture.nextSlot = slot == 0 ? 1 : 0;
    waveInUnprepareHeader(capture.waveIn, returned, sizeof(WAVEHDR));
    KeepNightSamples(returned);
    if (returned->dwBytesRecorded == static_cast<DWORD>(capture.bufferBytes)) {
        MeasureBuffer(returned->lpData);
        capture.fullBuffers.fetch_add(1);
    }
    ReleaseCaptureBuffer(returned);
}

void StopCapture()
{
    HWAVEIN device;
    {
        std::lock_guard<std::mutex> lock(capture.guard);
        if (capture.waveIn == nullptr && capture.bufferSlot[0] == nullptr &&
            capture.bufferSlot[1] == nullptr)
            return;
        capture.captureClosing = true;
        device = capture.waveIn;
    }
    // Not under the lock: the reset hands the queued buffers back through
    // the callback, which now leaves them alone.
    if (device != nullptr)
        waveInReset(device);
    {
        // What the reset handed back, in the order it was recorded.
        std::lock_guard<std::mutex> lock(capture.guard);
        for (int i = 0; i < 2; ++i) {
            const WAVEHDR* header = capture.bufferSlot[(capture.nextSlot + i) % 2];
            if (header != nullptr && (header->dwFlags & WHDR_DONE) != 0)
                KeepNightSamples(header);
        }
    }
    for (WAVEHDR*& header : capture.bufferSlot) {
        if (header != nullptr) {
            waveInUnprepareHeader(device, header, sizeof(WAVEHDR));
            ReleaseCaptureBuffer(header);
            header = nullptr;
        }
    }
    // waveInClose returns after the device's last callback.
    if (device != nullptr)
        waveInClose(device);
    std::lock_guard<std::mutex> lock(capture.guard);
    capture.waveIn = nullptr;
    capture.captureClosing = false;
}

// Takes the engine down fully rather than closing a device that still holds
// buffers: a close alone would be refused and leave both buffers behind.
void CloseCaptureDevice()
{
    StopCapture();
}
