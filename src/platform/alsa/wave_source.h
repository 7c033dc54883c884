// SPDX-License-Identifier: GPL-3.0-or-later
// Where the wave-input device takes its sound from. Chosen once at start-up,
// before the first waveInOpen; a device already open keeps its source.
//
// choice is one of:
//   "default"     the ALSA PCM "default" (also the choice when this is never
//                 called);
//   "alsa:NAME"   any ALSA PCM by name, e.g. "alsa:plughw:1,0";
//   anything else the path of a recording that libsndfile reads (WAV, FLAC,
//                 Ogg, CAF, ...).
//
// A recording is opened here, once, and stays open for the rest of the run:
// it plays on when its file is deleted or replaced, and no waveInOpen ever
// opens it by path. It is mixed to mono, resampled to 11025 Hz (the only
// rate a recording is opened at) and delivered in real time, as if it were
// playing in the room: its clock starts when capture first starts after
// this call and keeps running while the device is closed, so what plays during a
// gap in capture is not heard, as with a microphone. After its end the
// device delivers silence at no cost, so that the program keeps running on a
// quiet room rather than failing; the end is reported once to the event log
// ("recording ended"). With SetWaveInputLoop(true) it starts again at its
// end instead, over and over.
//
// Returns false and sets *error (when error is not null) if choice is empty,
// names no ALSA PCM after "alsa:", or is a recording that cannot be read.
// ALSA names are only tried at waveInOpen: a card may come and go.
#pragma once

#include <string>

bool SetWaveInputSource(const char* choice, std::string* error);

// Whether a recording, chosen before or after this call, plays over and over.
void SetWaveInputLoop(bool loop);

// What the wave-input device listens to, for another user of the same
// sound (a call that carries the room): the ALSA PCM's name, or the path
// of the recording and how far the room's clock has played it (0 while
// capture has not yet started; the recording's end and --loop are not
// taken into account).
struct WaveInputSourceInfo {
    bool recording = false;
    std::string name; // the ALSA PCM, or the recording's path
    double playedSeconds = 0.0;
};
WaveInputSourceInfo GetWaveInputSource();
