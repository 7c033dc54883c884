// SPDX-License-Identifier: GPL-3.0-or-later
// One run of the whole program on the simulated platform: the settings
// stored as a confirmed earlier run left them, Start pressed at the chosen
// time, the sound from the recording, and a record of every tick.
#include <algorithm>
#include <charconv>

#include "alarm/monitor.h"
#include "audio/capture.h"
#include "platform/platform.h"
#include "platform/recording/recording.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_phone.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_window.h"
#include "replay.h"
#include "settings/settings.h"
#include "shell/shell.h"

namespace {

constexpr SimTime tickUnits = simUnitsPerSecond * tickPeriodMs / 1000;
constexpr std::size_t trackSpans = 4096;

double Seconds(SimTime time)
{
    return static_cast<double>(time) / simUnitsPerSecond;
}

struct Recorder {
    RunResult* result = nullptr;
    std::FILE* trace = nullptr;
    bool tracking = false;
    bool paused = false; // the last tick was in a pause after a call
};

Recorder recorder;

// One row of the trace, each number as the shortest text that reads back as
// exactly its value: 0.1, not 0.10000000000000001.
void WriteTraceRow(std::FILE* trace, long tick, double seconds, double level, double meter,
                   std::int32_t monitoring, std::int32_t callsMade, std::int32_t delaySeconds)
{
    char row[160];
    char* end = row + sizeof row;
    char* at = std::to_chars(row, end, tick).ptr;
    for (double value : {seconds, level, meter}) {
        *at++ = ',';
        at = std::to_chars(at, end, value).ptr;
    }
    for (std::int32_t value : {monitoring, callsMade, delaySeconds}) {
        *at++ = ',';
        at = std::to_chars(at, end, value).ptr;
    }
    *at++ = '\n';
    std::fwrite(row, 1, static_cast<std::size_t>(at - row), trace);
}

// After the window has handled tick n: the trace row and the track.
void RecordTick(HWND window, UINT_PTR)
{
    if (window != SimMainWindow())
        return;
    RunResult& result = *recorder.result;
    long n = ++result.ticks;
    double seconds = Seconds(n * tickUnits);
    double level = capture.level.load();
    if (monitor.cryMeter > result.highestCry) {
        result.highestCry = monitor.cryMeter;
        result.highestCryAt = seconds;
    }
    if (recorder.trace != nullptr)
        WriteTraceRow(recorder.trace, n, seconds, level, monitor.cryMeter, monitor.monitoring,
                      monitor.callsMade, monitor.delaySeconds);
    if (recorder.tracking)
        AddToTrack(&result.track, n, level, monitor.cryMeter, monitor.monitoring != 0);
    // What holds a call back, for the picture: a pause begins on its call's
    // tick and ends on the last tick before another call may come.
    bool paused = monitor.monitoring != 0 && (monitor.callPending != 0 || monitor.delaySeconds > 0);
    if (paused && !recorder.paused)
        result.pauses.push_back(RunSpan{seconds, seconds});
    if (paused)
        result.pauses.back().end = seconds;
    recorder.paused = paused;
    if (result.callLimitAt < 0.0 && phoneCall.limitLogged != 0)
        result.callLimitAt = seconds;
}

// What became of call `id`, as the log words it.
std::string CallOutcome(const std::vector<SimCallNews>& news, LONG id)
{
    bool answered = false;
    bool placed = false;
    for (const SimCallNews& item : news) {
        if (item.id != id)
            continue;
        answered = answered || item.event == PHONE_EVENT_ANSWERED;
        placed = placed || item.event == PHONE_EVENT_PLACED;
        if (item.event == PHONE_EVENT_ENDED)
            return answered ? "answered" : "not answered";
        if (item.event == PHONE_EVENT_FAILED)
            return "failed (" + Utf8(item.reason) + ")";
        if (item.event == PHONE_EVENT_LOGGED)
            return "only logged";
    }
    // The recording ended first.
    return answered ? "answered" : placed ? "still ringing" : "requested";
}

TrackSpan EmptySpan()
{
    return TrackSpan{0.0f, 0.0f, 0.0f, 0.0f, false, false};
}

TrackSpan Merge(const TrackSpan& a, const TrackSpan& b)
{
    if (!a.used)
        return b;
    if (!b.used)
        return a;
    return TrackSpan{std::min(a.levelLow, b.levelLow), std::max(a.levelHigh, b.levelHigh),
                     std::min(a.meterLow, b.meterLow), std::max(a.meterHigh, b.meterHigh),
                     a.monitoring || b.monitoring,     true};
}

} // namespace

void StoreRunSettings(const SettingsRecord& chosen)
{
    for (int index = 0; index < settingNameCount; ++index) {
        WCHAR value[settingValueUnits];
        FormatSettingValue(chosen, index, value);
        SimRegistrySetText(settingsKeyPath, storedSettings[index].name, value);
    }
    // A confirmed earlier run: no language dialog opens.
    SimRegistrySetText(settingsKeyPath, firstUseValueName, u"1");
}

void AddToTrack(Track* track, long tick, double level, double meter, bool monitoring)
{
    if (track->spans.empty())
        track->spans.assign(trackSpans, EmptySpan());
    // Past the last span: halve the resolution, two spans become one.
    while ((tick - 1) / track->ticksPerSpan >= static_cast<long>(trackSpans)) {
        for (std::size_t i = 0; i < trackSpans / 2; ++i)
            track->spans[i] = Merge(track->spans[2 * i], track->spans[2 * i + 1]);
        std::fill(track->spans.begin() + trackSpans / 2, track->spans.end(), EmptySpan());
        track->ticksPerSpan *= 2;
    }
    auto l = static_cast<float>(level);
    auto m = static_cast<float>(meter);
    TrackSpan& span = track->spans[static_cast<std::size_t>((tick - 1) / track->ticksPerSpan)];
    span = Merge(span, TrackSpan{l, l, m, m, monitoring, true});
}

void WriteTraceHeader(std::FILE* trace)
{
    std::fprintf(trace, "tick,seconds,level,cryMeter,monitoring,callsMade,delaySeconds\n");
}

RunResult ReplayOnce(const ReplaySettings& chosen, const RunInput& input, double startSeconds,
                     std::FILE* trace, bool tracking)
{
    RunResult result;
    recorder = Recorder{&result, trace, tracking};

    SimReset();
    // Nobody looks at the screen during a replay.
    SimSetDrawing(false);
    StoreRunSettings(chosen);
    if (input.peaks != nullptr) {
        const PeakIndex* index = input.peaks;
        SimSetInputPeaks(index->samples, [index, cursor = PeakCursor{}](
                                             std::int64_t start, std::int32_t* peak) mutable {
            return LookUpPeak(*index, start, peak, &cursor);
        });
    } else {
        RecordingStream* stream = input.stream;
        SimSetInputStream([stream](std::int16_t* samples, long count) {
            return ReadRecordingStream(stream, samples, count);
        });
    }
    for (char answer : input.answers) {
        SimCallOutcome outcome;
        outcome.answered = answer == 'a';
        outcome.activeFor = answer == 'a' ? 0 : simCallForever;
        if (answer == 'f') {
            outcome.result = SimCallResult::Failed;
            outcome.reason = u"busy";
        }
        SimQueueCallOutcome(outcome);
    }
    auto startAt = static_cast<SimTime>(std::min(startSeconds, 1e12) * simUnitsPerSecond);
    SimAt(startAt, [] { SimPressMenuBarButton(SimMainWindow(), 0); });
    SimOnTimerHandled(RecordTick);
    result.exitCode = WinMain(SimInstance(), nullptr, nullptr, SW_SHOW);
    SimOnTimerHandled(nullptr);

    result.seconds = Seconds(SimEndTime());
    result.volLimit = limits.volLimit;
    result.cryLimit = limits.cryLimit;
    result.maxCalls = chosen.PhoneMaxCalls;
    const std::vector<SimCallNews> news = SimPhoneNews();
    for (const SimCall& call : SimCalls())
        result.calls.push_back(
            RunCall{Seconds(call.time), call.number, CallOutcome(news, call.id)});
    for (const SimMessageBox& box : SimMessageBoxes())
        result.boxes.push_back(
            RunBox{Seconds(box.time), box.text, box.type == (MB_OK | MB_ICONEXCLAMATION)});
    result.faults = SimFaults();
    result.lastFault = SimLastFault();
    recorder = Recorder{};
    return result;
}
