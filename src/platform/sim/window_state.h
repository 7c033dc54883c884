// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated window system's state, shared by its windows (window.cpp),
// its message loop (messages.cpp) and what tests see of it (controls.cpp);
// nothing else includes it.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "platform/sim/ui_internal.h"

namespace sim_window {

struct WindowClass {
    std::u16string name;
    WNDPROC proc;
    HBRUSH background;
};

struct TimerKey {
    HWND window;
    UINT_PTR id;
    bool operator==(const TimerKey&) const = default;
};

struct UiState {
    std::vector<std::unique_ptr<PlatformWindow>> windows; // creation order, dead ones too
    // Those of kind Window, the only ones painted: the loop looks for an
    // invalid one at every fetch, and dead dialogs and controls pile up.
    std::vector<PlatformWindow*> paintable;
    std::unordered_set<const PlatformWindow*> known;
    PlatformWindow* lastKnown = nullptr; // the last handle Known found
    std::vector<WindowClass> classes;
    std::deque<MSG> posted;
    std::vector<TimerKey> timers;       // registered with the clock
    std::deque<TimerKey> pendingTimers; // ticks that wait for the loop
    HWND main = nullptr;
    int defaultWidth = 240;
    int defaultHeight = 268;
    int screens = 1; // GetSystemMetrics(SM_CMONITORS)
    std::vector<SimInvalidation> invalidations;
    std::vector<HWND> activations;
    DWORD lastInput = 0; // GetLastInputInfo's
    std::vector<SimCopyData> copyData;
    std::vector<SimMessageBox> boxes;
    std::function<int(const SimMessageBox&)> boxHandler;
    std::function<void(HWND, UINT_PTR)> timerHandled;
    int nesting = 0;
    // The run-end steps already taken, for the end time they were taken at.
    SimTime endingFor = -1;
    bool windowsClosed = false;
    bool stalled = false;
};

extern UiState ui; // window.cpp

bool IsTopLevel(const PlatformWindow& window);
// Sends WM_PAINT; a procedure that leaves the window invalid without
// painting would make the loop spin, so that is a fault (messages.cpp).
LRESULT PaintWindow(HWND window);

} // namespace sim_window
