// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the single-instance rule, the main window's procedure and the
// dispatch of its commands.
#pragma once

#include "platform/types.h"

// The main screen's pictures, loaded with the window: their slots in
// ShellState::screenBitmaps.
constexpr int slotDummy = 0;
constexpr int slotBottle = 1;
constexpr int slotAlarmClock = 2;
constexpr int slotTelephone = 3;
constexpr int slotStop = 4; // while monitoring is off
constexpr int slotPlay = 5; // while it is on
constexpr int screenBitmapCount = 6;

// Window thread only.
struct ShellState {
    HINSTANCE appInstance;                    // passed to every resource load
    WCHAR appTitle[256];                      // strAppTitle: caption of every message box
    HWND menuBarWindow;                       // the main window's current menu bar
    HBITMAP screenBitmaps[screenBitmapCount]; // the main screen's pictures, by slot
    // Set before WinMain when nobody may be at the screen: 1 makes the window
    // start monitoring as soon as it is up, and until that start is done
    // what a box would say goes to standard error, so nothing waits.
    std::int32_t unattendedStart;
    std::int32_t
        exitStatus; // WinMain's result at the end: 0, or 2 after a refused unattended start
    std::int32_t dialogOpen; // 1 while a settings, contact or language dialog runs
    LONG storeProblem;       // why the store was last refused (logged once); ERROR_SUCCESS: not
    // The night: the window dims after a minute of monitoring untouched.
    DWORD lastInput;        // GetLastInputInfo's time at the last tick
    std::int32_t idleTicks; // ticks since it last changed, up to dimAfterTicks
    std::int32_t dimmed;    // 1 while the window is dimmed
};

extern ShellState shell;

// WM_COPYDATA from a second start given --start: lpData holds the number
// that start would call (UTF-16, no terminator). The running copy answers
// with one of the REMOTE_START_* results; 0 is no answer.
constexpr ULONG_PTR COPYDATA_START_MONITORING = 500;
constexpr LRESULT REMOTE_START_DONE = 1;         // monitoring started
constexpr LRESULT REMOTE_START_RUNNING = 2;      // it was on already
constexpr LRESULT REMOTE_START_NO_NUMBER = 3;    // refused: no valid number to call
constexpr LRESULT REMOTE_START_OTHER_NUMBER = 4; // refused: this copy calls another number

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandLine, int showCommand);
// Every record of a run back to the state of a process that has just
// started, but for what is set before WinMain (shell's instance and start
// options): at each start, and between tests.
void ClearRuntimeState();
// *activated: what became of a running copy's window.
constexpr int ACTIVATED_NONE = 0;   // none found
constexpr int ACTIVATED_RAISED = 1; // brought to the front
constexpr int ACTIVATED_UNSEEN = 2; // found, but where nobody can see it; left alone
HRESULT ActivatePreviousInstance(LPCWSTR className, LPCWSTR title, int* activated);
LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int CreateMainMenuBar(HWND window);
// Takes what another program saved in the store since this one read it (all
// settings, or only the phone's while a dialog is open), brings it into
// force and logs it.
void TakeChangedSettings(HWND window);
