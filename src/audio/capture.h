// SPDX-License-Identifier: GPL-3.0-or-later
// The capture engine: the wave-input device with its two rotating buffers,
// and the reduction of each full buffer to a peak and a loudness figure.
#pragma once

#include <atomic>
#include <mutex>

#include "audio/cry_check.h"
#include "platform/nights.h"
#include "platform/wave.h"

// Calibration's ear: the peaks of the next `wanted` full buffers, kept while
// the room is measured (capped at ten minutes of buffers).
constexpr std::int32_t roomMostBlocks = 3240;
struct RoomListening {
    std::int32_t wanted; // 0: nobody listens
    std::int32_t heard;  // buffers kept so far, up to wanted
    std::int32_t peaks[roomMostBlocks];
};

// One per process. The window thread starts and stops capture; the device's
// thread runs OnCaptureBuffer. Fields marked (guard) are touched by the
// callback only while it holds `guard`, and by StopCapture only while no
// callback can run or while it holds `guard`.
struct CaptureState {
    HWAVEIN waveIn;                 // open device; null when none (guard)
    std::int32_t sampleRate;        // 11025
    std::int32_t bitsPerSample;     // 16
    std::int32_t bufferBytes;       // 4096, one data block
    std::int32_t channelCount;      // 1
    std::int32_t deviceId;          // WAVE_MAPPER: the platform chooses
    WAVEFORMATEX waveFormat;        // built from the values above
    std::atomic<std::int32_t> peak; // largest |sample| of the last full buffer, 0 to 32768
    std::atomic<double> level;      // loudness of the last full buffer, 0.0 to 1.0
    std::atomic<std::uint32_t> fullBuffers; // full buffers measured so far (wraps)
    // 1 when the last full buffer sounded like a cry; judged only while
    // limits.cryCheck is 1 (else 0), and written before `level`.
    std::atomic<std::int32_t> likeCry;
    CryCheckState cryCheck; // the judgement's memory from buffer to buffer (guard)
    RoomListening room;     // (guard)
    bool captureClosing;    // set while StopCapture takes the device down (guard)
    WAVEHDR* bufferSlot[2]; // headers queued at the device; null: empty (guard)
    std::int32_t nextSlot;  // slot returned next, 0 or 1 (guard)
    std::mutex guard;       // held by the callback from its flag test to its end
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

// The night's recording: what capture hears while monitoring runs, on the
// run's time base, so that a replay of the file measures what this run
// measured. Window thread, but for `recording` and `samples`, which the
// callback uses under capture.guard.
struct NightState {
    // 1: every monitoring run of this process is recorded (--record), whatever
    // the stored setting says. Set before WinMain; ClearCaptureState keeps it.
    std::int32_t asked;
    std::int32_t pending;   // 1 from a recorded run's Start to its first tick's end
    HNIGHTREC recording;    // open while a run is recorded (guard)
    std::int64_t samples;   // handed to it so far (guard)
    std::int64_t elapsedMs; // the run's time so far, as the ticks count it
};

extern NightState night;

// The recording of a run begins at the end of a tick, so that the file's
// time runs with the ticks as a replay's does: the next tick is its first.
// False when none could begin (the event log says why).
bool BeginNightRecording(std::int32_t capMegabytes);
// At Stop and when the window goes (after capture stopped): finishes it.
void EndNightRecording();
// Every tick of a recorded run, before capture may restart.
void AdvanceNightRecording(std::uint32_t milliseconds);
// Under capture.guard: a returned buffer's samples to the recording, and at
// a capture start the silence for the time capture was down, so that the
// file keeps the run's time.
void KeepNightSamples(const WAVEHDR* header);
void FillNightGap();

// Writes capture.peak, capture.likeCry and then capture.level from one
// 4096-byte block, and keeps its peak while the room is listened to.
void MeasureBuffer(const char* data);
// The largest magnitude (0 to 32768) of one 4096-byte block.
std::int32_t PeakOfBlock(const char* data);
// The level of a block whose largest magnitude is `peak`.
double LevelOfPeak(std::int32_t peak, double sensiFactor);

// Clamped linear map of value from [fromLow, fromHigh] onto [toLow, toHigh];
// equal source bounds give 0.0.
double MapRange(double value, double fromLow, double fromHigh, double toLow, double toHigh);
