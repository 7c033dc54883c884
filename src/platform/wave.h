// SPDX-License-Identifier: GPL-3.0-or-later
// Wave input: a capture device that fills queued buffers and calls back.
//
// Guarantees to the caller, in every implementation:
// - The device records 16-bit signed little-endian mono PCM at the rate
//   asked for (the system asks for 11025 Hz; the real device converts).
// - Buffers are filled and returned in the order queued. A returned header
//   carries WHDR_DONE and its dwBytesRecorded.
// - The callback runs on a thread of the device's own (the simulated device
//   may run it on the thread that drives its virtual clock), and during
//   waveInReset possibly on the calling thread. It must not call
//   waveInReset or waveInClose.
// - An implementation never holds a lock of its own while it calls the
//   callback, so the callback may take the caller's locks and queue buffers.
// - waveInReset stops capture and returns every queued buffer through the
//   callback before it returns: the one being filled with the bytes it got,
//   the others with 0.
// - waveInClose refuses (WAVERR_STILLPLAYING) while buffers are queued.
//   Otherwise it delivers MM_WIM_CLOSE as the very last callback and returns
//   only after that callback has returned: afterwards no callback of this
//   device can come.
// - Neither waveInOpen nor waveInClose waits long for a source that stops
//   answering (a stalled driver or sound server, a FIFO that stops
//   delivering): the real device waits about a second for its source to
//   open or to let go at a close, then leaves it to its thread and reaps
//   that thread once the source lets go. Until then every waveInOpen
//   answers MMSYSERR_HANDLEBUSY ("the device does not answer"), as does an
//   open that did not come back in time; a close returns as ever.
#pragma once

#include "platform/types.h"

constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);
constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr DWORD WHDR_DONE = 0x01;
constexpr DWORD WHDR_PREPARED = 0x02;
constexpr DWORD WHDR_INQUEUE = 0x10;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

struct WAVEHDR {
    char* lpData;          // the data block
    DWORD dwBufferLength;  // its size in bytes
    DWORD dwBytesRecorded; // bytes filled when returned
    DWORD_PTR dwUser;
    DWORD dwFlags; // WHDR_*
    DWORD dwLoops;
    WAVEHDR* lpNext; // owned by the device while queued
    DWORD_PTR reserved;
};

// Callback: (device, message, instance value, param1, param2). For
// MM_WIM_DATA param1 is the returned WAVEHDR*.
using WAVEINPROC = void (*)(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, WAVEINPROC callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize);
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize);
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT headerSize);
MMRESULT waveInStart(HWAVEIN device);
MMRESULT waveInReset(HWAVEIN device);
MMRESULT waveInClose(HWAVEIN device);

// A short English text for a wave-input result, such as "no such device
// (error 2)", in at most `capacity` units with the terminator.
// MMSYSERR_BADERRNUM (still with a text) for a result it does not know.
MMRESULT waveInGetErrorTextW(MMRESULT error, LPWSTR text, UINT capacity);
