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
// A recording is mixed to mono, resampled to the rate asked for at
// waveInOpen and delivered in real time, as if it were playing in the room:
// its clock starts at the first waveInOpen after this call and keeps running
// while the device is closed, so what plays during a gap in capture is not
// heard, as with a microphone. After its end the device delivers silence,
// so that the program keeps running on a quiet room rather than failing.
//
// Returns false and sets *error (when error is not null) if choice is empty,
// names no ALSA PCM after "alsa:", or is a recording that cannot be read.
// ALSA names are only tried at waveInOpen: a card may come and go.
#pragma once

#include <string>

bool SetWaveInputSource(const char* choice, std::string* error);
