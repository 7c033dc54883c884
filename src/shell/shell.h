// Start-up, the single-instance rule and the main window.
#pragma once

#include "platform/types.h"

constexpr int screenBitmapCount = 6;

// Window thread only.
struct ShellState {
    HINSTANCE appInstance;                    // passed to every resource load
    WCHAR appTitle[256];                      // string 10000: caption of every message box
    HWND menuBarWindow;                       // the main window's current menu bar
    HBITMAP screenBitmaps[screenBitmapCount]; // bitmaps 109, 111, 116, 117, 119, 118
};

extern ShellState shell;

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandLine, int showCommand);
HRESULT ActivatePreviousInstance(LPCWSTR className, LPCWSTR title, int* activated);
LRESULT MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int CreateMainMenuBar(HWND window);
