// SPDX-License-Identifier: GPL-3.0-or-later
// Shared between the simulated window system's files; not for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/menu.h"
#include "platform/sim/sim_window.h"

struct SimSurface {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
};

struct SimControl {
    int id = -1;
    std::u16string className;
    DWORD style = 0;
    std::u16string text;
    RECT rect{};
    int progress = 0;
    WPARAM check = 0;
    int textLimit = 0;
    HWND handle = nullptr;
};

enum class SimWindowKind { Window, Dialog, Control, MenuBar, Foreign };

struct PlatformWindow {
    SimWindowKind kind = SimWindowKind::Window;
    bool alive = true;
    bool visible = false;
    HWND parent = nullptr; // owner of a dialog; parent of a bar or control
    std::u16string className;
    std::u16string title;
    WNDPROC proc = nullptr;
    HBRUSH background = nullptr;
    SimSurface surface;
    bool invalid = false;
    RECT invalidRect{};
    bool erase = false;
    bool dimmed = false; // DimWindow

    // Menu bars: the current one of a window or dialog, and how many.
    HWND menuBar = nullptr;
    int barsCreated = 0;
    // A menu bar's own content.
    std::vector<SimMenuButton> buttons;
    std::vector<SimMenuItem> popup;
    std::vector<std::pair<int, LPARAM>> keyOverrides;

    // Dialogs.
    const DLGTEMPLATE* dialogTemplate = nullptr;
    UINT templateId = 0;
    std::vector<SimControl> controls;
    int focus = -1; // index into controls
    bool ended = false;
    LRESULT result = 0;
    bool fullScreen = false;
    bool closedByRunEnd = false;
    std::size_t runIndex = 0;

    // Controls: index into the parent dialog's controls.
    int controlIndex = -1;

    // Foreign windows.
    int visibleAfterSleeps = 0;
    LRESULT foreignAnswer = 0; // to WM_COPYDATA
    bool foreignSeen = true;   // what it answers to IsWindowVisible
};

// Windows.
PlatformWindow* SimLiveWindow(HWND window);  // null when dead or unknown
PlatformWindow* SimKnownWindow(HWND window); // dead ones too
HWND SimNewWindow(SimWindowKind kind, HWND parent);
void SimDefaultClientSize(int* width, int* height);
int SimSleepCount(); // Sleep calls so far
// Calls a window's or dialog's procedure, keeping count of nesting.
LRESULT SimCallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Modal-loop nesting, so a nested loop knows to pass a quit on.
struct SimNesting {
    SimNesting();
    ~SimNesting();
    SimNesting(const SimNesting&) = delete;
    SimNesting& operator=(const SimNesting&) = delete;
};
int SimNestingDepth();

enum class SimFetch { Message, Quit, Recheck, Reached };
SimFetch SimFetchMessage(MSG* msg, SimTime until);

// Dialogs (dialog.cpp).
LRESULT SimDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SimDialogControlMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT* result);
std::vector<HWND>& SimOpenDialogs();
// Consumes a failure that SimFailShellNext asked for.
bool SimTakeShellFailure(SimShellOp op);

// The user's input (window.cpp): a key, click or touch is noted for
// GetLastInputInfo; false while a window is dimmed, when it only wakes.
bool SimTakeInput();

// Menu bars (menubar.cpp).
LRESULT SimMenuBarMessage(HWND bar, UINT message, WPARAM wParam, LPARAM lParam);

// Drawing (gdi.cpp).
COLORREF SimBrushColour(HBRUSH brush, bool* known);
void SimFillSurface(SimSurface* surface, const RECT& rect, COLORREF colour);
