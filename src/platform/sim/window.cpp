// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated window system: windows, classes, the message queue and the
// message loop that runs the virtual clock, timers, invalidation, message
// boxes and the search for windows.
#include <algorithm>
#include <deque>
#include <limits>
#include <unordered_set>

#include "platform/gdi.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/ui_internal.h"

namespace {

constexpr SimTime toTheEnd = std::numeric_limits<SimTime>::max();

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
    std::vector<SimInvalidation> invalidations;
    std::vector<HWND> activations;
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

UiState ui;

void ResetUi()
{
    ui = UiState{};
}

SimResetHook uiReset(ResetUi);

std::u16string Text(LPCWSTR text)
{
    return text != nullptr ? std::u16string(text) : std::u16string();
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Milliseconds since the start of the run.
    auto time = static_cast<DWORD>(SimNow() * 1000 / simUnitsPerSecond);
    return MSG{window, message, wParam, lParam, time, POINT{0, 0}};
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

bool IsTopLevel(const PlatformWindow& window)
{
    return window.kind == SimWindowKind::Window && window.parent == nullptr;
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

// Sends WM_PAINT; a procedure that leaves the window invalid without
// painting would make the loop spin, so that is a fault.
LRESULT Paint(HWND window)
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
        Paint(window);
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

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE) {
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

// ---- Messages -----------------------------------------------------------------------

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
        return Paint(msg->hwnd);
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

BOOL SetForegroundWindow(HWND window)
{
    ui.activations.push_back(window);
    auto bits = reinterpret_cast<std::uintptr_t>(window) & ~static_cast<std::uintptr_t>(1);
    return Known(reinterpret_cast<HWND>(bits)) != nullptr ? TRUE : FALSE;
}

// ---- Test controls ---------------------------------------------------------------------

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
    PlatformWindow* w = Known(window);
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
