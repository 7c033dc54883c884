// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings through libsndfile. As input: any file it reads, mixed to mono
// and resampled to the capture rate, either whole or as a stream. A file
// already at that rate is not resampled: its 16-bit (or narrower) samples
// arrive unchanged. As output: 16-bit WAV files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RecordingStream;

// Opens `path` for reading as 16-bit mono at `rate` Hz. Null with a reason
// when the file cannot be read.
RecordingStream* OpenRecordingStream(const std::string& path, int rate, std::string* error);

// Drops the first `seconds` of what is left; past the end, nothing is left.
void SkipRecordingStream(RecordingStream* stream, double seconds);

// Up to `frames` samples: channels averaged, brought to the rate when the
// file has another (by a short low-pass filter from twice the rate or more,
// else by a sinc converter), float samples rounded and clipped (NaN and
// infinities read as 0). Fewer only at the end of the recording; 0 after it.
long ReadRecordingStream(RecordingStream* stream, std::int16_t* samples, long frames);

void CloseRecordingStream(RecordingStream* stream);

// Back to the start, to be read again as if just opened. False, changing
// nothing, when the file cannot seek.
bool RewindRecordingStream(RecordingStream* stream);

// The whole recording at once. False with a reason on failure.
bool LoadRecording(const std::string& path, int rate, std::vector<std::int16_t>* samples,
                   std::string* error);

// Writes `frames` frames of 16-bit samples (`channels` to a frame,
// interleaved) at `rate` Hz as a WAV file at `path`, readable and writable
// by its owner alone. It is written whole beside `path` (as PATH.part) and
// then renamed into place, replacing what was there: a reader never sees a
// part of it. False, leaving nothing behind, with a reason when it cannot
// be written.
bool WriteWavFile(const std::string& path, int rate, int channels, const std::int16_t* samples,
                  std::size_t frames, std::string* error);
