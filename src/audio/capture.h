// SPDX-License-Identifier: GPL-3.0-or-later
// The capture engine: the wave-input device with its two rotating buffers,
// and the reduction of each full buffer to a peak and a loudness figure.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/wave.h"

// One per process. The window thread starts and stops capture; the device's
// thread runs OnCaptureBuffer. Fields marked (guard) are touched by the
// callback only while it holds `guard`, and by StopCapture only while no
// callback can run or while it holds `guard`.
struct CaptureState {
    HWAVEIN waveIn;                         // open device; null when none (guard)
    std::int32_t sampleRate;                // 11025
    std::int32_t bitsPerSample;             // 16
    std::int32_t bufferBytes;               // 4096, one data block
    std::int32_t channelCount;              // 1
    std::int32_t deviceId;                  // WAVE_MAPPER: the platform chooses
    WAVEFORMATEX waveFormat;                // built from the values above
    std::atomic<std::int32_t> peak;         // largest |sample| of the last full buffer, 0 to 32768
    std::atomic<double> level;              // loudness of the last full buffer, 0.0 to 1.0
    std::atomic<std::uint32_t> fullBuffers; // full buffers measured so far (wraps)
    bool captureClosing;                    // set while StopCapture takes the device down (guard)
    WAVEHDR* bufferSlot[2];                 // headers queued at the device; null: empty (guard)
    std::int32_t nextSlot;                  // slot returned next, 0 or 1 (guard)
    std::mutex guard;                       // held by the callback from its flag test to its end
};

extern CaptureState capture;

// The microphone as the screen and the event log tell it. Window thread only.
struct MicrophoneState {
    std::int32_t starts;   // StartCapture calls so far
    MMRESULT startResult;  // the last start's failing result; MMSYSERR_NOERROR: it ran
    std::int32_t reported; // MICROPHONE_*: the state the event log last told
};

constexpr std::int32_t MICROPHONE_UNKNOWN = 0;   // never started
constexpr std::int32_t MICROPHONE_LISTENING = 1; // the last start succeeded
constexpr std::int32_t MICROPHONE_FAILED = 2;    // the last start failed

extern MicrophoneState microphone;

constexpr int captureBufferBytes = 4096;

// Back to the zero state of process start; only when no device is open.
void ClearCaptureState();
bool StartCapture();
void StopCapture();
void CloseCaptureDevice();
// MICROPHONE_* of the last StartCapture.
std::int32_t MicrophoneStatus();
// Logs when the microphone opens for the first time, fails (with the
// device's error) or recovers; call after each StartCapture.
void ReportMicrophone();
void OnCaptureBuffer(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                     DWORD_PTR param2);

// Writes capture.peak and then capture.level from one 4096-byte block.
void MeasureBuffer(const char* data);

// Clamped linear map of value from [fromLow, fromHigh] onto [toLow, toHigh];
// equal source bounds give 0.0.
double MapRange(double value, double fromLow, double fromHigh, double toLow, double toHigh);
