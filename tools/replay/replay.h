// SPDX-License-Identifier: GPL-3.0-or-later
// The replay tool's parts: options, the loudness index of a recording, one
// run of the program on the simulated platform, the cries a parent noted,
// and the picture of a run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "alarm/monitor.h"
#include "settings/settings.h"

struct RecordingStream;

// The settings as a fresh install has them; --set and --sweep change them.
struct ReplaySettings : SettingsRecord {
    ReplaySettings() : SettingsRecord{} { SetDefaultSettings(this); }
};

// --sweep Name=FROM:TO:STEP
struct SweepAxis {
    std::string name;
    std::int32_t from = 0;
    std::int32_t to = 0;
    std::int32_t step = 1;
};

struct ReplayOptions {
    std::string recording;
    std::string tracePath;
    std::string plotPath;
    std::string criesPath;
    std::string csvPath;
    double startSeconds = 0.0;
    int beginMinute = -1; // local time of the recording's first sample, minutes after midnight
    ReplaySettings settings;
    bool numberGiven = false; // --set PhoneNumber=... was given
    std::vector<SweepAxis> sweep;
    int calibrateSeconds = 0; // --calibrate: on this much of the start; 0: not
    // --answers: what the phone makes of the calls in turn, a letter each:
    // a answered, n not answered (it rings until PhoneRingSeconds), f failed;
    // every later call is answered. Empty: not given.
    std::string answers;
};

// What a command line asks for besides a run.
constexpr int ASKED_RUN = 0;
constexpr int ASKED_HELP = 1;
constexpr int ASKED_VERSION = 2;
// The number a run calls when none is given: a call number, never dialled
// (nothing is dialled in a replay).
constexpr const char16_t* madeUpNumber = u"0000000";

// False with a message for the user on a bad command line, or when --help
// or --version was given (*asked says which).
bool ParseOptions(int argc, char** argv, ReplayOptions* options, std::string* error, int* asked);
void PrintUsage(std::FILE* out);
void PrintVersion();
// Whether a setting changes what a replay shows: the recording of the
// nights does not (it only keeps the sound), so it is neither set nor listed.
bool ChangesReplay(const StoredSetting& setting);
// Sets one named numeric setting; false with the reason when the name is
// unknown, does not change a replay, or the value is out of range.
bool SetNumber(ReplaySettings* settings, const std::string& name, std::int32_t value,
               std::string* reason);

// --calibrate: VolSensi, VolThresh and CryThresh of *chosen set from
// the first `seconds` of the recording (for its CryCheck), as the program's
// calibration chooses them, and what was measured in one line in *said;
// false with the refusal's reason there. The stream is left at its start.
bool CalibrateFromRecording(RecordingStream* stream, int seconds, ReplaySettings* chosen,
                            std::string* said);

// The largest magnitude of every buffer the capture engine can be handed:
// capture starts on a tick (the window's creation is tick 0) and runs for
// at most the ticks to the next restart, buffer after buffer: the full
// buffers of 2048 samples in that time (53), and one to spare.
constexpr int captureRate = 11025; // samples a second, as the capture engine asks for
constexpr int buffersPerStart =
    static_cast<int>(std::int64_t{ticksPerRestart} * captureRate * tickPeriodMs / 1000 / 2048) + 1;
constexpr int ticksPerChunk = 1024;
struct PeakIndex {
    std::int64_t samples = 0; // length of the recording
    std::int64_t starts = 0;  // ticks indexed
    // Peak of buffer k after a start on tick n: chunks[n / ticksPerChunk]
    // [(n % ticksPerChunk) * buffersPerStart + k]. In chunks, so that the
    // index grows without copying.
    std::vector<std::vector<std::uint16_t>> chunks;
};
// One pass over the stream: the index is all a sweep needs of the
// recording, about 1 kB a second of it (31 MB for eight hours).
void BuildPeakIndex(RecordingStream* stream, PeakIndex* index);
// Where the last look-up found its buffer: the next buffer is mostly the
// one after it.
struct PeakCursor {
    std::int64_t tick = -1;
    int k = 0;
};
// The peak of the buffer of 2048 samples from `start`; false when the index
// does not hold that buffer.
bool LookUpPeak(const PeakIndex& index, std::int64_t start, std::int32_t* peak, PeakCursor* cursor);

// The level and cry meter of a run, folded into a fixed number of spans of
// time, so that memory does not grow with the length of the recording.
struct TrackSpan {
    float levelLow, levelHigh;
    float meterLow, meterHigh;
    bool monitoring;
    bool used;
};
struct Track {
    std::vector<TrackSpan>
        spans; // span i covers ticks [i * ticksPerSpan + 1, (i + 1) * ticksPerSpan]
    long ticksPerSpan = 1;
};
void AddToTrack(Track* track, long tick, double level, double meter, bool monitoring);

struct RunCall {
    double seconds;
    std::u16string number;
    // "answered", "not answered", "failed (why)", "only logged", or, when
    // the recording ended first, "still ringing" or "requested".
    std::string outcome;
};
struct RunBox {
    double seconds;
    std::u16string text;
    bool refusal; // Start without a number
};

// A stretch of a run, in seconds from its start.
struct RunSpan {
    double start;
    double end;
};

struct RunResult {
    long ticks = 0;
    double seconds = 0.0; // length of the run
    int exitCode = 0;
    double highestCry = 0.0;
    double highestCryAt = 0.0;
    double volLimit = 0.0;
    double cryLimit = 0.0;
    std::vector<RunCall> calls;
    // While monitoring, from each call until another may be placed: the
    // restart ten seconds later, then PhoneDelay minutes.
    std::vector<RunSpan> pauses;
    // When a due call was first held back by PhoneMaxCalls (`maxCalls`),
    // as the event log says "call limit reached"; below 0: never.
    double callLimitAt = -1.0;
    std::int32_t maxCalls = 0;
    std::vector<RunBox> boxes;
    long faults = 0;
    std::string lastFault;
    Track track;
};

// Where a run's sound comes from: the recording itself, streamed, or its
// peak index.
struct RunInput {
    RecordingStream* stream = nullptr;
    const PeakIndex* peaks = nullptr;
    std::string answers; // as ReplayOptions::answers
};

// Stores `chosen` in the simulated store as a confirmed earlier run left
// it, so that no language dialog opens.
void StoreRunSettings(const SettingsRecord& chosen);
// Runs the whole program once. `trace` (may be null) gets one row a tick;
// `track` is filled when `tracking` is set.
RunResult ReplayOnce(const ReplaySettings& settings, const RunInput& input, double startSeconds,
                     std::FILE* trace, bool tracking);
void WriteTraceHeader(std::FILE* trace);

// When the child really cried, from a CSV of start,end rows in seconds.
struct Cry {
    double start;
    double end;
};
bool ReadCries(const std::string& path, std::vector<Cry>* cries, std::string* error);

// A cry is answered by a call within it or the minute after it; any other
// call is a false alarm.
struct CryScore {
    int answered = 0;
    int falseAlarms = 0;
    double meanDelay = 0.0; // seconds from a cry's start to its call, over the answered ones
};
constexpr double answerGraceSeconds = 60.0;
CryScore ScoreCalls(const std::vector<Cry>& cries, const std::vector<RunCall>& calls);

// The picture of a run, 1600 x 500 pixels, with `title` above it; the time
// axis starts at `beginSeconds` (local time, seconds after midnight).
constexpr int plotWidth = 1600;
constexpr int plotHeight = 500;
constexpr unsigned callMarkerRgb = 0x8000A0; // drawn for calls only
constexpr unsigned levelRgb = 0x4682C8;
constexpr unsigned pauseRgb = 0xCDAFE6;     // the pause after a call, along the top
constexpr unsigned callLimitRgb = 0x5A5A5A; // from when the call limit held a call back
bool WritePlot(const std::string& path, const std::string& title, const RunResult& run,
               double beginSeconds, const std::vector<Cry>& cries, std::string* error);
// The pixel column where `seconds` into a run of `duration` seconds lies,
// and the pixel row of a level or cry meter of `value`.
int PlotColumn(double seconds, double duration);
int PlotRow(double value);

std::string Utf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);
