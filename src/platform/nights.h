// SPDX-License-Identifier: GPL-3.0-or-later
// Night recordings: what the microphone hears while monitoring runs, kept so
// that the parent can replay the night with other settings the morning after.
//
// Guarantees to the caller, in every implementation:
// - NightRecordingOpen begins a recording of 16-bit mono samples at `rate`
//   Hz, named by the local time it begins. The real one writes FLAC to
//   $XDG_STATE_HOME/cradlecom/nights/YYYY-MM-DD_HH-MM-SS.flac (mode 0600, in
//   a folder of mode 0700: it is the sound of a child's room), a file the
//   replay tool reads as it stands. One writer at a time: an open while
//   another recording of this user is open, in this process or another, is
//   refused. Null when no recording can begin; the event log says why.
// - The nights folder is kept within `capBytes`: before a recording begins
//   and while it grows, the oldest other recordings are deleted, each
//   deletion logged; a recording that would pass the cap on its own stops
//   there (logged).
// - NightRecordingWrite and NightRecordingWriteSilence may be called on any
//   thread, the capture callback's among them, one at a time. They copy
//   into a bounded queue and return at once; they never wait for the disk.
//   What finds the queue full is dropped, and counted in the close's line.
// - A write that fails (a full disk, a file-size limit) stops the recording:
//   logged once with the reason; what was written so far stays readable, and
//   later writes are dropped. The caller learns nothing of it: monitoring
//   goes on.
// - NightRecordingClose (on the thread that opened it) writes what is still
//   queued, finishes the file, logs its name and length, lets go of the
//   one-writer lock and frees the handle.
#pragma once

#include "platform/types.h"

struct PlatformNightRecording;
using HNIGHTREC = PlatformNightRecording*;

HNIGHTREC NightRecordingOpen(DWORD rate, std::uint64_t capBytes);
void NightRecordingWrite(HNIGHTREC recording, const SHORT* samples, DWORD count);
// `count` samples of silence: what capture missed while it was down.
void NightRecordingWriteSilence(HNIGHTREC recording, DWORD count);
void NightRecordingClose(HNIGHTREC recording);
