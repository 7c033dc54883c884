// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated message queue and the loop that runs the virtual clock:
// posted and sent messages, WM_PAINT, timers, and the end of a run.
#include <algorithm>
#include <limits>

#include "platform/sim/sim_internal.h"
#include "platform/sim/window_state.h"

using namespace sim_window;

namespace {

constexpr SimTime toTheEnd = std::numeric_limits<SimTime>::max();

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Milliseconds since the start of the run.
    auto time = static_cast<DWORD>(SimNow() * 1000 / simUnitsPerSecond);
    return MSG{window, message, wParam, lParam, time, POINT{0, 0}};
}

void TimerSink(HWND window, std::uintptr_t id)
{
    TimerKey key{window, id};
    // Mostly none waits: the loop took the last tick before the next came.
    if (ui.pendingTimers.empty() ||
        std::find(ui.pendingTimers.begin(), ui.pendingTimers.end(), key) == ui.pendingTimers.end())
        ui.pendingTimers.push_back(key);
}

void ForgetTimer(HWND window, UINT_PTR id)
{
    std::erase(ui.timers, TimerKey{window, id});
    std::erase(ui.pendingTimers, TimerKey{window, id});
    SimRemoveTimer(window, id);
}

PlatformWindow* NextToPaint()
{
    for (PlatformWindow* window : ui.paintable) {
        if (window->alive && window->visible && window->invalid)
            return window;
    }
    return nullptr;
}

// The steps of a session end, one per call; false when none is left.
bool EndRunStep()
{
    std::vector<HWND>& open = SimOpenDialogs();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        PlatformWindow* dialog = SimLiveWindow(*it);
        if (dialog != nullptr && !dialog->ended && !dialog->closedByRunEnd) {
            dialog->closedByRunEnd = true;
            SimCallProcedure(*it, WM_CLOSE, 0, 0);
            return true;
        }
    }
    if (!ui.windowsClosed) {
        ui.windowsClosed = true;
        bool any = false;
        for (auto& window : ui.windows) {
            if (window->alive && IsTopLevel(*window)) {
                ui.posted.push_back(MakeMessage(window.get(), WM_CLOSE, 0, 0));
                any = true;
            }
        }
        return any;
    }
    return false;
}

} // namespace

namespace sim_window {

// Sends WM_PAINT; a procedure that leaves the window invalid without
// painting would make the loop spin, so that is a fault.
LRESULT PaintWindow(HWND window)
{
    long paintsBefore = SimPaints();
    LRESULT result = SimCallProcedure(window, WM_PAINT, 0, 0);
    PlatformWindow* w = SimLiveWindow(window);
    if (w != nullptr && w->invalid && SimPaints() == paintsBefore) {
        SimRecordFault("WM_PAINT left the window invalid");
        w->invalid = false;
    }
    return result;
}

} // namespace sim_window

SimFetch SimFetchMessage(MSG* msg, SimTime until)
{
    if (!ui.posted.empty()) {
        *msg = ui.posted.front();
        ui.posted.pop_front();
        return msg->message == WM_QUIT ? SimFetch::Quit : SimFetch::Message;
    }
    if (ui.endingFor != SimEndTime()) {
        ui.endingFor = SimEndTime();
        ui.windowsClosed = false;
        ui.stalled = false;
    }
    if (ui.stalled) {
        *msg = MakeMessage(nullptr, WM_QUIT, 0, 0);
        return SimFetch::Quit;
    }
    if (PlatformWindow* window = NextToPaint()) {
        *msg = MakeMessage(window, WM_PAINT, 0, 0);
        return SimFetch::Message;
    }
    if (!ui.pendingTimers.empty()) {
        TimerKey timer = ui.pendingTimers.front();
        ui.pendingTimers.pop_front();
        *msg = MakeMessage(timer.window, WM_TIMER, timer.id, 0);
        return SimFetch::Message;
    }
    if (SimStepOnce(std::min(until, SimEndTime())))
        return SimFetch::Recheck;
    if (until != toTheEnd && !SimInputEndsBefore(until)) {
        SimSetNow(std::max(SimNow(), until));
        return SimFetch::Reached;
    }
    if (EndRunStep())
        return SimFetch::Recheck;
    SimRecordFault("the run ended but the windows did not close");
    ui.stalled = true;
    *msg = MakeMessage(nullptr, WM_QUIT, 0, 0);
    return SimFetch::Quit;
}

BOOL GetMessageW(MSG* msg, HWND, UINT, UINT)
{
    SimNesting nesting;
    for (;;) {
        switch (SimFetchMessage(msg, toTheEnd)) {
        case SimFetch::Message:
            return TRUE;
        case SimFetch::Quit:
            return FALSE;
        case SimFetch::Recheck:
        case SimFetch::Reached:
            break;
        }
    }
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE; // no keyboard: nothing to translate
}

LRESULT DispatchMessageW(const MSG* msg)
{
    if (msg == nullptr || SimLiveWindow(msg->hwnd) == nullptr)
        return 0;
    if (msg->message == WM_PAINT)
        return PaintWindow(msg->hwnd);
    LRESULT result = SimCallProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    if (msg->message == WM_TIMER && ui.timerHandled)
        ui.timerHandled(msg->hwnd, msg->wParam);
    return result;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window != nullptr && SimLiveWindow(window) == nullptr)
        return FALSE;
    ui.posted.push_back(MakeMessage(window, message, wParam, lParam));
    return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SimCallProcedure(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode)
{
    ui.posted.push_back(
        MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<unsigned>(exitCode)), 0));
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, void*)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr || (w->kind != SimWindowKind::Window && w->kind != SimWindowKind::Dialog))
        return 0;
    SimTime period = std::max<SimTime>(1, static_cast<SimTime>(milliseconds) * 11025 / 100);
    SimAddTimer(window, id, period);
    SimSetTimerSink(TimerSink);
    if (std::find(ui.timers.begin(), ui.timers.end(), TimerKey{window, id}) == ui.timers.end())
        ui.timers.push_back(TimerKey{window, id});
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    if (std::find(ui.timers.begin(), ui.timers.end(), TimerKey{window, id}) == ui.timers.end())
        return FALSE;
    ForgetTimer(window, id);
    return TRUE;
}

bool SimPumpMessages(SimTime until)
{
    bool nested = ui.nesting > 0;
    SimNesting nesting;
    for (;;) {
        MSG msg;
        SimTime limit = until > SimEndTime() ? toTheEnd : until;
        switch (SimFetchMessage(&msg, limit)) {
        case SimFetch::Message:
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            break;
        case SimFetch::Recheck:
            break;
        case SimFetch::Reached:
            return true;
        case SimFetch::Quit:
            if (nested)
                PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
    }
}
