// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated window system: windows and their classes, procedures,
// invalidation, message boxes and the search for windows. The message loop
// is in messages.cpp, what tests see of it in controls.cpp.
#include <algorithm>

#include "platform/gdi.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/window_state.h"

using namespace sim_window;

namespace sim_window {

UiState ui;

bool IsTopLevel(const PlatformWindow& window)
{
    return window.kind == SimWindowKind::Window && window.parent == nullptr;
}

} // namespace sim_window

namespace {

void ResetUi()
{
    ui = UiState{};
}

SimResetHook uiReset(ResetUi);

std::u16string Text(LPCWSTR text)
{
    return text != nullptr ? std::u16string(text) : std::u16string();
}

PlatformWindow* Known(HWND window)
{
    // Handles stay known until the reset, so the last one found stays good;
    // most calls ask about the main window again.
    if (window != nullptr && window == ui.lastKnown)
        return window;
    if (!ui.known.contains(window))
        return nullptr;
    ui.lastKnown = window;
    return window;
}

RECT ClientOf(const PlatformWindow& window)
{
    return RECT{0, 0, window.surface.width, window.surface.height};
}

void InvalidateWhole(PlatformWindow* window)
{
    RECT client = ClientOf(*window);
    if (client.right <= 0 || client.bottom <= 0)
        return;
    window->invalid = true;
    window->invalidRect = client;
    window->erase = true;
}

} // namespace

// ---- Shared with the other parts ----------------------------------------------

PlatformWindow* SimLiveWindow(HWND window)
{
    PlatformWindow* known = Known(window);
    return known != nullptr && known->alive ? known : nullptr;
}

PlatformWindow* SimKnownWindow(HWND window)
{
    return Known(window);
}

HWND SimNewWindow(SimWindowKind kind, HWND parent)
{
    auto window = std::make_unique<PlatformWindow>();
    window->kind = kind;
    window->parent = parent;
    HWND handle = window.get();
    ui.known.insert(handle);
    if (kind == SimWindowKind::Window)
        ui.paintable.push_back(handle);
    ui.windows.push_back(std::move(window));
    return handle;
}

void SimDefaultClientSize(int* width, int* height)
{
    *width = ui.defaultWidth;
    *height = ui.defaultHeight;
}

SimNesting::SimNesting()
{
    ++ui.nesting;
}

SimNesting::~SimNesting()
{
    --ui.nesting;
}

int SimNestingDepth()
{
    return ui.nesting;
}

LRESULT SimCallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr)
        return 0;
    SimNesting nesting;
    switch (w->kind) {
    case SimWindowKind::Window:
        return w->proc != nullptr ? w->proc(window, message, wParam, lParam)
                                  : DefWindowProcW(window, message, wParam, lParam);
    case SimWindowKind::Dialog:
        return SimDialogMessage(window, message, wParam, lParam);
    case SimWindowKind::MenuBar:
        return SimMenuBarMessage(window, message, wParam, lParam);
    case SimWindowKind::Control: {
        LRESULT result = 0;
        SimDialogControlMessage(window, message, wParam, lParam, &result);
        return result;
    }
    case SimWindowKind::Foreign:
        if (message == WM_COPYDATA && lParam != 0) {
            const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            const auto* bytes = static_cast<const unsigned char*>(copy->lpData);
            ui.copyData.push_back(SimCopyData{
                window, copy->dwData, std::vector<unsigned char>(bytes, bytes + copy->cbData)});
            return w->foreignAnswer;
        }
        break;
    }
    return 0;
}

// ---- Classes and windows ---------------------------------------------------------

ATOM RegisterClassW(const WNDCLASSW* windowClass)
{
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        windowClass->lpfnWndProc == nullptr)
        return 0;
    std::u16string name = windowClass->lpszClassName;
    for (const WindowClass& known : ui.classes) {
        if (known.name == name)
            return 0;
    }
    ui.classes.push_back(WindowClass{name, windowClass->lpfnWndProc, windowClass->hbrBackground});
    return static_cast<ATOM>(ui.classes.size());
}

HWND CreateWindowExW(DWORD, LPCWSTR className, LPCWSTR windowName, DWORD style, int, int, int width,
                     int height, HWND parent, void*, HINSTANCE, void* param)
{
    if (className == nullptr)
        return nullptr;
    const WindowClass* found = nullptr;
    for (const WindowClass& known : ui.classes) {
        if (known.name == className)
            found = &known;
    }
    if (found == nullptr)
        return nullptr;
    HWND handle = SimNewWindow(SimWindowKind::Window, parent);
    PlatformWindow* window = handle;
    window->className = found->name;
    window->title = Text(windowName);
    window->proc = found->proc;
    window->background = found->background;
    window->surface.width = width == CW_USEDEFAULT ? ui.defaultWidth : std::max(width, 0);
    window->surface.height = height == CW_USEDEFAULT ? ui.defaultHeight : std::max(height, 0);
    window->surface.pixels.assign(static_cast<std::size_t>(window->surface.width) *
                                      window->surface.height,
                                  RGB(255, 255, 255));
    bool first = parent == nullptr && ui.main == nullptr;
    if (first)
        ui.main = handle;
    if (parent == nullptr)
        ui.windowsClosed = false;
    if ((style & WS_VISIBLE) != 0) {
        window->visible = true;
        InvalidateWhole(window);
    }
    if (SimCallProcedure(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(param)) == -1) {
        DestroyWindow(handle);
        if (first)
            ui.main = nullptr;
        return nullptr;
    }
    return handle;
}

BOOL ShowWindow(HWND window, int showCommand)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr)
        return FALSE;
    bool wasVisible = w->visible;
    w->visible = showCommand != 0; // 0 hides
    if (!wasVisible && w->visible && w->kind == SimWindowKind::Window)
        InvalidateWhole(w);
    return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr)
        return FALSE;
    if (w->kind == SimWindowKind::Window && w->visible && w->invalid)
        PaintWindow(window);
    return TRUE;
}

BOOL DestroyWindow(HWND window)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr || w->kind == SimWindowKind::Foreign)
        return FALSE;
    // Owned dialogs, bars and controls go first; an open dialog ends.
    for (std::size_t i = 0; i < ui.windows.size(); ++i) {
        PlatformWindow* owned = ui.windows[i].get();
        if (owned->alive && owned->parent == window) {
            if (owned->kind == SimWindowKind::Dialog && !owned->ended) {
                owned->ended = true;
                owned->result = -1;
            }
            DestroyWindow(owned);
        }
    }
    if (w->kind == SimWindowKind::Dialog && !w->ended) {
        w->ended = true;
        w->result = -1;
    }
    SimCallProcedure(window, WM_DESTROY, 0, 0);
    w->alive = false;
    w->invalid = false;
    SimRemoveTimersOf(window);
    std::erase_if(ui.timers, [&](const TimerKey& t) { return t.window == window; });
    std::erase_if(ui.pendingTimers, [&](const TimerKey& t) { return t.window == window; });
    return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        SendMessageW(window, WM_CLOSE, 0, 0);
    } else if (message == WM_CLOSE) {
        DestroyWindow(window);
    } else if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        if (BeginPaint(window, &paint) != nullptr)
            EndPaint(window, &paint);
    }
    return 0;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr)
        return FALSE;
    switch (w->kind) {
    case SimWindowKind::Window:
    case SimWindowKind::Dialog:
        w->title = Text(text);
        return TRUE;
    case SimWindowKind::Control: {
        PlatformWindow* dialog = SimLiveWindow(w->parent);
        if (dialog == nullptr || w->controlIndex < 0)
            return FALSE;
        dialog->controls[static_cast<std::size_t>(w->controlIndex)].text = Text(text);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

// ---- Client areas, message boxes and the search -----------------------------------

BOOL GetClientRect(HWND window, RECT* rect)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr || rect == nullptr)
        return FALSE;
    *rect = ClientOf(*w);
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr || w->kind != SimWindowKind::Window)
        return FALSE;
    RECT client = ClientOf(*w);
    RECT r = rect != nullptr ? *rect : client;
    ui.invalidations.push_back(SimInvalidation{SimNow(), window, r, rect == nullptr, erase});
    r.left = std::max(r.left, client.left);
    r.top = std::max(r.top, client.top);
    r.right = std::min(r.right, client.right);
    r.bottom = std::min(r.bottom, client.bottom);
    if (r.left >= r.right || r.top >= r.bottom)
        return TRUE;
    if (!w->invalid) {
        w->invalidRect = r;
    } else {
        w->invalidRect.left = std::min(w->invalidRect.left, r.left);
        w->invalidRect.top = std::min(w->invalidRect.top, r.top);
        w->invalidRect.right = std::max(w->invalidRect.right, r.right);
        w->invalidRect.bottom = std::max(w->invalidRect.bottom, r.bottom);
    }
    w->invalid = true;
    w->erase = w->erase || erase != FALSE;
    return TRUE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    SimMessageBox box{owner, Text(text), Text(caption), type, SimNow()};
    ui.boxes.push_back(box);
    if (ui.boxHandler) {
        SimNesting nesting;
        auto handler = ui.boxHandler; // it may install another one
        return handler(box);
    }
    return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    for (auto& window : ui.windows) {
        bool candidate = (window->alive && IsTopLevel(*window)) ||
                         (window->kind == SimWindowKind::Foreign &&
                          SimSleepCount() >= window->visibleAfterSleeps);
        if (candidate && (className == nullptr || window->className == className) &&
            (windowName == nullptr || window->title == windowName))
            return window.get();
    }
    return nullptr;
}

BOOL IsWindowVisible(HWND window)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr)
        return FALSE;
    if (w->kind == SimWindowKind::Foreign)
        return w->foreignSeen ? TRUE : FALSE;
    return w->visible && ui.screens > 0 ? TRUE : FALSE;
}

int GetSystemMetrics(int index)
{
    return index == SM_CMONITORS ? ui.screens : 0;
}

BOOL SetForegroundWindow(HWND window)
{
    ui.activations.push_back(window);
    auto bits = reinterpret_cast<std::uintptr_t>(window) & ~static_cast<std::uintptr_t>(1);
    return Known(reinterpret_cast<HWND>(bits)) != nullptr ? TRUE : FALSE;
}

bool SimTakeInput()
{
    // Milliseconds of the virtual clock; two inputs in one still differ.
    auto now = static_cast<DWORD>(SimNow() * 1000 / simUnitsPerSecond);
    ui.lastInput = now > ui.lastInput ? now : ui.lastInput + 1;
    for (const auto& window : ui.windows) {
        if (window->alive && window->dimmed)
            return false;
    }
    return true;
}

BOOL GetLastInputInfo(LASTINPUTINFO* info)
{
    if (info == nullptr)
        return FALSE;
    info->dwTime = ui.lastInput;
    return TRUE;
}

BOOL DimWindow(HWND window, BOOL dim)
{
    PlatformWindow* w = Known(window);
    if (w == nullptr || !w->alive || !IsTopLevel(*w))
        return FALSE;
    w->dimmed = dim != FALSE;
    return TRUE;
}
