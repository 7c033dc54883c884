// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/sim/sim_internal.h"
#include "platform/system.h"

namespace {

struct Timer {
    HWND window;
    std::uintptr_t id;
    SimTime period;
    SimTime next;
};

// What the wave device records from: a whole vector of samples, a stream
// of which only a window is held, or only the peak of each full buffer.
struct InputState {
    bool set = false;
    SimInputReader read;  // null when every sample is held from the start
    SimPeakReader peakOf; // set in peak mode
    // Samples [first, first + count); the storage only grows, so that
    // reading a chunk does not clear room for it first.
    std::vector<std::int16_t> held;
    std::size_t count = 0;
    std::int64_t first = 0;  // sample number of held[0]
    bool ended = true;       // length is known
    std::int64_t length = 0; // samples in the whole input, once ended
    long heldMost = 0;       // the most samples held at once
};

// Samples asked of a stream at a time.
constexpr long streamChunk = 16384;

struct ClockState {
    SimTime now = 0;
    InputState input;
    std::vector<Timer> timers;
    void (*timerSink)(HWND, std::uintptr_t) = nullptr;
    std::vector<std::pair<SimTime, std::function<void()>>> actions; // in order of time
    SimTime endOverride = std::numeric_limits<SimTime>::max();
    int hour = 12;
    int minute = 0;
    std::mutex faultLock;
    long faults = 0;
    std::string lastFault;
};

ClockState simClock;

std::vector<void (*)()>& ResetHooks()
{
    static std::vector<void (*)()> hooks;
    return hooks;
}

} // namespace

SimResetHook::SimResetHook(void (*reset)())
{
    ResetHooks().push_back(reset);
}

void SimReset()
{
    for (auto* reset : ResetHooks())
        reset();
    simClock.now = 0;
    simClock.input = InputState{};
    simClock.timers.clear();
    simClock.timerSink = nullptr;
    simClock.actions.clear();
    simClock.endOverride = std::numeric_limits<SimTime>::max();
    simClock.hour = 12;
    simClock.minute = 0;
    std::lock_guard<std::mutex> lock(simClock.faultLock);
    simClock.faults = 0;
    simClock.lastFault.clear();
}

SimTime SimNow()
{
    return simClock.now;
}

void SimSetNow(SimTime now)
{
    simClock.now = now;
}

void SimSetInput(std::vector<std::int16_t> samples)
{
    simClock.input = InputState{};
    simClock.input.set = true;
    simClock.input.length = static_cast<std::int64_t>(samples.size());
    simClock.input.heldMost = static_cast<long>(samples.size());
    simClock.input.count = samples.size();
    simClock.input.held = std::move(samples);
}

void SimSetInputStream(SimInputReader read)
{
    simClock.input = InputState{};
    simClock.input.set = true;
    simClock.input.read = std::move(read);
    simClock.input.ended = false;
}

void SimSetInputPeaks(std::int64_t samples, SimPeakReader peakOf)
{
    simClock.input = InputState{};
    simClock.input.set = true;
    simClock.input.peakOf = std::move(peakOf);
    simClock.input.length = samples;
}

long SimInputHeldMost()
{
    return simClock.input.heldMost;
}

bool SimInputSet()
{
    return simClock.input.set;
}

bool SimInputIsPeaks()
{
    return simClock.input.peakOf != nullptr;
}

std::int64_t SimInputReach(std::int64_t upTo, std::int64_t keepFrom)
{
    InputState& in = simClock.input;
    while (!in.ended && in.first + static_cast<std::int64_t>(in.count) < upTo) {
        auto drop = static_cast<std::size_t>(
            std::clamp<std::int64_t>(keepFrom - in.first, 0, static_cast<std::int64_t>(in.count)));
        if (drop > 0) {
            std::copy(in.held.begin() + static_cast<std::ptrdiff_t>(drop),
                      in.held.begin() + static_cast<std::ptrdiff_t>(in.count), in.held.begin());
            in.count -= drop;
            in.first += static_cast<std::int64_t>(drop);
        }
        if (in.held.size() < in.count + streamChunk)
            in.held.resize(in.count + streamChunk);
        long got = in.read(in.held.data() + in.count, streamChunk);
        got = std::clamp<long>(got, 0, streamChunk);
        in.count += static_cast<std::size_t>(got);
        in.heldMost = std::max(in.heldMost, static_cast<long>(in.count));
        if (got < streamChunk) {
            in.ended = true;
            in.length = in.first + static_cast<std::int64_t>(in.count);
        }
    }
    if (!in.set)
        return 0;
    return in.ended ? std::min(upTo, in.length) : upTo;
}

const std::int16_t* SimInputSamples(std::int64_t start)
{
    return simClock.input.held.data() + (start - simClock.input.first);
}

bool SimInputPeak(std::int64_t start, std::int32_t* peak)
{
    return simClock.input.peakOf(start, peak);
}

SimTime SimEndTime()
{
    if (!simClock.input.set || !simClock.input.ended)
        return simClock.endOverride;
    return std::min(simClock.endOverride, simClock.input.length * simUnitsPerSample);
}

void SimSetEndTime(SimTime end)
{
    simClock.endOverride = end;
}

void SimAt(SimTime when, std::function<void()> action)
{
    auto at = std::upper_bound(simClock.actions.begin(), simClock.actions.end(), when,
                               [](SimTime t, const auto& entry) { return t < entry.first; });
    simClock.actions.insert(at, {when, std::move(action)});
}

static SimTime NextActionTime()
{
    return simClock.actions.empty() ? std::numeric_limits<SimTime>::max()
                                    : simClock.actions.front().first;
}

void SimSetTimerSink(void (*sink)(HWND, std::uintptr_t))
{
    simClock.timerSink = sink;
}

void SimAddTimer(HWND window, std::uintptr_t id, SimTime period)
{
    SimRemoveTimer(window, id);
    simClock.timers.push_back(Timer{window, id, period, simClock.now + period});
}

void SimRemoveTimer(HWND window, std::uintptr_t id)
{
    std::erase_if(simClock.timers,
                  [&](const Timer& t) { return t.window == window && t.id == id; });
}

void SimRemoveTimersOf(HWND window)
{
    std::erase_if(simClock.timers, [&](const Timer& t) { return t.window == window; });
}

static Timer* NextTimer()
{
    Timer* next = nullptr;
    for (Timer& t : simClock.timers) {
        if (next == nullptr || t.next < next->next)
            next = &t;
    }
    return next;
}

SimTime SimNextEventTime()
{
    SimTime wave = std::min(SimWaveNextReturnTime(), NextActionTime());
    Timer* timer = NextTimer();
    SimTime tick = timer != nullptr ? timer->next : std::numeric_limits<SimTime>::max();
    return std::min(wave, tick);
}

namespace {

std::int64_t CeilSample(SimTime time)
{
    return time / simUnitsPerSample + (time % simUnitsPerSample != 0 ? 1 : 0);
}

// Reads a stream far enough to tell whether the input still runs at `time`.
void KnowInputAt(SimTime time)
{
    const InputState& in = simClock.input;
    if (in.ended || time == std::numeric_limits<SimTime>::max())
        return;
    std::int64_t upTo = CeilSample(time);
    if (in.first + static_cast<std::int64_t>(in.count) >= upTo)
        return;
    SimInputReach(upTo, std::min(simClock.now / simUnitsPerSample, SimWaveKeepFrom()));
}

} // namespace

bool SimInputEndsBefore(SimTime time)
{
    if (!simClock.input.ended) {
        // Nothing happens before `time`, so no sample before it is asked for
        // but those of a buffer the device holds: read on and let them go.
        std::int64_t upTo = time == std::numeric_limits<SimTime>::max()
                                ? std::numeric_limits<std::int64_t>::max()
                                : CeilSample(time);
        SimInputReach(upTo, std::min(time / simUnitsPerSample, SimWaveKeepFrom()));
    }
    return SimEndTime() < time;
}

// At equal times a returned buffer comes first, then a scripted action,
// then a timer tick.
bool SimStepOnce(SimTime until)
{
    SimTime wave = SimWaveNextReturnTime();
    SimTime action = NextActionTime();
    Timer* timer = NextTimer();
    SimTime tick = timer != nullptr ? timer->next : std::numeric_limits<SimTime>::max();
    SimTime next = std::min({wave, action, tick});
    if (next > until)
        return false;
    KnowInputAt(next);
    until = std::min(until, SimEndTime());
    if (wave <= tick && wave <= action && wave <= until) {
        simClock.now = std::max(simClock.now, wave);
        SimWaveReturnDue();
        return true;
    }
    if (action <= tick && action <= until) {
        simClock.now = std::max(simClock.now, action);
        std::function<void()> run = std::move(simClock.actions.front().second);
        simClock.actions.erase(simClock.actions.begin());
        run();
        return true;
    }
    if (timer != nullptr && tick <= until) {
        simClock.now = std::max(simClock.now, tick);
        timer->next += timer->period;
        HWND window = timer->window;
        std::uintptr_t id = timer->id;
        if (simClock.timerSink != nullptr)
            simClock.timerSink(window, id);
        return true;
    }
    return false;
}

bool SimRunUntil(SimTime until)
{
    while (SimStepOnce(until)) {
    }
    if (SimInputEndsBefore(until)) {
        simClock.now = std::max(simClock.now, SimEndTime());
        return false;
    }
    simClock.now = std::max(simClock.now, until);
    return true;
}

void SimSetLocalTime(int hour, int minute)
{
    simClock.hour = hour;
    simClock.minute = minute;
}

void GetLocalTime(SYSTEMTIME* time)
{
    *time = SYSTEMTIME{};
    time->wYear = 2026;
    time->wMonth = 12;
    time->wDay = 7;
    time->wHour = static_cast<WORD>(simClock.hour);
    time->wMinute = static_cast<WORD>(simClock.minute);
}

void SimRecordFault(const std::string& what)
{
    std::lock_guard<std::mutex> lock(simClock.faultLock);
    ++simClock.faults;
    simClock.lastFault = what;
}

long SimFaults()
{
    std::lock_guard<std::mutex> lock(simClock.faultLock);
    return simClock.faults;
}

std::string SimLastFault()
{
    std::lock_guard<std::mutex> lock(simClock.faultLock);
    return simClock.lastFault;
}
