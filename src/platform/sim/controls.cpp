// SPDX-License-Identifier: GPL-3.0-or-later
// What tests see of the simulated windows and how they steer them: the main
// window, titles, invalid areas, timers, foreign windows, activations,
// copied data and message boxes.
#include <algorithm>

#include "platform/sim/window_state.h"

using namespace sim_window;

void SimOnTimerHandled(std::function<void(HWND window, UINT_PTR id)> observer)
{
    ui.timerHandled = std::move(observer);
}

void SimSetDefaultClientSize(int width, int height)
{
    ui.defaultWidth = width;
    ui.defaultHeight = height;
}

HWND SimMainWindow()
{
    return ui.main;
}

bool SimWindowAlive(HWND window)
{
    return SimLiveWindow(window) != nullptr;
}

bool SimWindowVisible(HWND window)
{
    PlatformWindow* w = SimLiveWindow(window);
    return w != nullptr && w->visible;
}

std::u16string SimWindowTitle(HWND window)
{
    PlatformWindow* w = SimKnownWindow(window);
    return w != nullptr ? w->title : std::u16string();
}

bool SimInvalidRect(HWND window, RECT* rect)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr || !w->invalid)
        return false;
    if (rect != nullptr)
        *rect = w->invalidRect;
    return true;
}

bool SimHasTimer(HWND window, UINT_PTR id)
{
    return std::find(ui.timers.begin(), ui.timers.end(), TimerKey{window, id}) != ui.timers.end();
}

void SimPressCloseButton(HWND window)
{
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::vector<SimInvalidation> SimInvalidations()
{
    return ui.invalidations;
}

HWND SimDeclareForeignWindow(const std::u16string& className, const std::u16string& title,
                             int visibleAfterSleeps)
{
    HWND handle = SimNewWindow(SimWindowKind::Foreign, nullptr);
    handle->className = className;
    handle->title = title;
    handle->visibleAfterSleeps = SimSleepCount() + std::max(visibleAfterSleeps, 0);
    return handle;
}

std::vector<HWND> SimActivations()
{
    return ui.activations;
}

void SimSetForeignWindowSeen(HWND window, bool seen)
{
    if (PlatformWindow* w = SimLiveWindow(window))
        w->foreignSeen = seen;
}

void SimSetScreens(int count)
{
    ui.screens = count;
}

void SimSetForeignAnswer(HWND window, LRESULT answer)
{
    if (PlatformWindow* w = SimLiveWindow(window))
        w->foreignAnswer = answer;
}

std::vector<SimCopyData> SimForeignCopyData()
{
    return ui.copyData;
}

std::vector<SimMessageBox> SimMessageBoxes()
{
    return ui.boxes;
}

void SimOnMessageBox(std::function<int(const SimMessageBox&)> handler)
{
    ui.boxHandler = std::move(handler);
}

bool SimWindowDimmed(HWND window)
{
    PlatformWindow* w = SimKnownWindow(window);
    return w != nullptr && w->dimmed;
}

void SimTouchWindow()
{
    SimTakeInput();
}
