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

struct ClockState {
    SimTime now = 0;
    std::vector<std::int16_t> input;
    bool inputSet = false;
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
    simClock.input.clear();
    simClock.inputSet = false;
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
    simClock.input = std::move(samples);
    simClock.inputSet = true;
}

const std::vector<std::int16_t>* SimInput()
{
    return simClock.inputSet ? &simClock.input : nullptr;
}

SimTime SimEndTime()
{
    if (!simClock.inputSet)
        return simClock.endOverride;
    return std::min(simClock.endOverride,
                    static_cast<SimTime>(simClock.input.size()) * simUnitsPerSample);
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

// At equal times a returned buffer comes first, then a scripted action,
// then a timer tick.
bool SimStepOnce(SimTime until)
{
    until = std::min(until, SimEndTime());
    SimTime wave = SimWaveNextReturnTime();
    SimTime action = NextActionTime();
    Timer* timer = NextTimer();
    SimTime tick = timer != nullptr ? timer->next : std::numeric_limits<SimTime>::max();
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
    if (until > SimEndTime()) {
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
