// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated window system's controls, for tests and the replay tool.
//
// Everything runs on the test's thread. GetMessageW runs the virtual clock
// (sim.h) one event at a time whenever nothing is queued: posted messages
// come first, then WM_PAINT for an invalidated visible window, then pending
// WM_TIMER (at most one per timer), then the next clock event. When no event
// is left before the end of the run, the run ends like a session end:
// WM_CLOSE goes to every open dialog (innermost first), then WM_CLOSE is
// posted to every top-level window; if even then nothing comes, GetMessageW
// returns 0 and a fault is recorded (SimRecordFault).
//
// Handles stay valid (as dead handles) until SimReset, so a test may still
// ask about a destroyed window or an ended dialog.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim.h"
#include "platform/sim/sim_phone.h"
#include "platform/window.h"

// The instance handle to give WinMain and the resource loaders.
HINSTANCE SimInstance();

// ---- Message loop --------------------------------------------------------

// Runs the message loop (fetch, TranslateMessage, DispatchMessageW) until
// the clock would pass `until`: everything due at or before it is processed
// and the clock is left at `until`. Returns false when a quit message came
// (inside a modal loop it is posted again, so the outer loop ends too).
// Pumping past the end of the run (until > SimEndTime()) ends the run as
// GetMessageW does.
bool SimPumpMessages(SimTime until);
// Called after each WM_TIMER that DispatchMessageW has handed to its window
// (in any message loop), with the window and the timer's identifier.
void SimOnTimerHandled(std::function<void(HWND window, UINT_PTR id)> observer);

// ---- Windows --------------------------------------------------------------

// Client size of windows created with CW_USEDEFAULT (and of full-screen
// dialogs); 240 x 268 until set.
void SimSetDefaultClientSize(int width, int height);
// The first top-level window created since the last reset (null if none).
HWND SimMainWindow();
bool SimWindowAlive(HWND window);
bool SimWindowVisible(HWND window);
std::u16string SimWindowTitle(HWND window);
// The window's pending invalid region as a bounding rectangle; false when
// nothing is invalid.
bool SimInvalidRect(HWND window, RECT* rect);
bool SimHasTimer(HWND window, UINT_PTR id);
// The title bar's close button: WM_SYSCOMMAND with SC_CLOSE to the window.
void SimPressCloseButton(HWND window);
// DimWindow's state of the window.
bool SimWindowDimmed(HWND window);
// A touch on the screen away from any button: input, nothing more. The
// user's presses of bar buttons, menu choices, typing, clicks on radio
// buttons and check boxes and the Escape key below are input too; while a
// window is dimmed each of them only counts as input (GetLastInputInfo) and
// does nothing else, as the first touch in the dark does.
void SimTouchWindow();

struct SimInvalidation {
    SimTime time;
    HWND window;
    RECT rect;  // the whole client area for a null rectangle
    bool whole; // called with a null rectangle
    BOOL erase;
};
// Every InvalidateRect call, in order.
std::vector<SimInvalidation> SimInvalidations();

// Another running copy's window, findable with FindWindowW after
// `visibleAfterSleeps` calls of Sleep (0: at once). Returns its handle.
HWND SimDeclareForeignWindow(const std::u16string& className, const std::u16string& title,
                             int visibleAfterSleeps);
// Every SetForegroundWindow argument as passed (low bit included).
std::vector<HWND> SimActivations();
// What a foreign window answers to IsWindowVisible (true until set): false
// for a copy that runs where nobody sees it (offscreen).
void SimSetForeignWindowSeen(HWND window, bool seen);
// The screens a person can see, GetSystemMetrics(SM_CMONITORS): 1 until set.
void SimSetScreens(int count);
// What a foreign window answers to WM_COPYDATA (0, no answer, until set),
// and every WM_COPYDATA sent to one, in order.
void SimSetForeignAnswer(HWND window, LRESULT answer);
struct SimCopyData {
    HWND window;
    ULONG_PTR code;
    std::vector<unsigned char> data;
};
std::vector<SimCopyData> SimForeignCopyData();

// ---- Named locks and sleeping ----------------------------------------------

// A lock by that name held by another process; released after
// `releasedAfterSleeps` calls of Sleep, never when -1.
void SimHoldForeignLock(const std::u16string& name, int releasedAfterSleeps);
// Handles of this process open on the lock of that name.
int SimLockHandles(const std::u16string& name);
// Every Sleep argument in milliseconds, in order. Sleep never moves the
// clock.
std::vector<DWORD> SimSleeps();

// ---- Menu bars --------------------------------------------------------------

struct SimMenuButton {
    WORD command;
    std::u16string text;
    bool hasPopup;
};
struct SimMenuItem {
    WORD command;
    std::u16string text;
};
// The buttons of the window's (or dialog's) current menu bar; empty when it
// has none.
std::vector<SimMenuButton> SimMenuBarButtons(HWND window);
// The command items of the current bar's pop-up (separators left out).
std::vector<SimMenuItem> SimMenuBarPopup(HWND window);
// Posts the button's WM_COMMAND to the window, as a tap would. False when
// there is no such button.
bool SimPressMenuBarButton(HWND window, int index);
// Posts the command of the current bar's pop-up item with that command;
// false when the pop-up has no such item.
bool SimChooseMenuCommand(HWND window, WORD command);
// Menu bars created with the window (or dialog) as parent.
int SimMenuBarsCreated(HWND window);
// The lParam of the last SHCMBM_OVERRIDEKEY for `key` sent to the window's
// current bar; 0 when none.
LPARAM SimMenuBarKeyOverride(HWND window, int key);

// ---- Drawing ------------------------------------------------------------------
//
// Every window has a pixel surface of its client size, white at creation.
// DrawTextW uses a fixed cell font of 6 x 12 pixels: the text's box is filled
// with the background colour and every character other than a space gets a
// black mark of 4 x 8 pixels at (1, 2) inside its cell.

constexpr int simFontWidth = 6;
constexpr int simFontHeight = 12;

COLORREF SimPixel(HWND window, int x, int y); // 0xFFFFFFFF outside the surface
// Off (for runs nobody looks at; set it before the program starts): GetDC
// gives a device context that draws nothing, on which every drawing call
// succeeds at once, and pens and brushes are made as blind stand-ins that
// need no deleting and are not counted; WM_PAINT's device context and the
// rest still check their arguments but change no pixel and log no text.
// On after SimReset.
void SimSetDrawing(bool drawing);
// BeginPaint calls since the last reset.
long SimPaints();

enum class SimGdiKind { Pen, Brush, DC, Bitmap };
// Objects created since the last reset (DCs: GetDC, BeginPaint and
// CreateCompatibleDC), and those not yet deleted or released. Stock objects
// and icons do not count.
long SimGdiCreated(SimGdiKind kind);
long SimGdiLive(SimGdiKind kind);

struct SimText {
    SimTime time;
    HWND window; // null on a memory DC
    std::u16string text;
    RECT rect;
};
// Every DrawTextW call, in order.
std::vector<SimText> SimTextLog();

// ---- Message boxes ----------------------------------------------------------------

struct SimMessageBox {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
    SimTime time;
};
std::vector<SimMessageBox> SimMessageBoxes();
// Answers every MessageBoxW from now on. It may call SimPumpMessages to let
// time pass while the box is open. Without a handler: IDOK for MB_OK, IDNO
// for MB_YESNO.
void SimOnMessageBox(std::function<int(const SimMessageBox&)> handler);

// ---- Dialogs --------------------------------------------------------------------

// Called once WM_INITDIALOG is done, with the dialog; when the dialog has not
// ended on return, a nested message loop runs until it does (or until the
// end of the run closes it).
void SimOnDialog(std::function<void(HWND dialog)> handler);

struct SimDialogRun {
    UINT templateId; // RT_DIALOG id of the template, 0 when not a resource
    HWND dialog;
    HWND owner;
    SimTime opened;
    SimTime ended;
    LRESULT result;
    bool finished; // DialogBoxIndirectParamW has returned
};
std::vector<SimDialogRun> SimDialogRuns();
// The innermost open dialog, or null.
HWND SimDialogOpen();
UINT SimDialogTemplateId(HWND dialog);

struct SimDialogControl {
    int id;
    std::u16string className;
    DWORD style;
    std::u16string text;
    RECT rect; // pixels, from the template's dialog units
    int progress;
    bool checked;
    int textLimit; // 0: none
};
// The controls in template order.
std::vector<SimDialogControl> SimDialogItems(HWND dialog);
std::u16string SimDialogItemText(HWND dialog, int id);
// Types into edit box `id` as a user would: the box gets the focus; its text
// is replaced (or appended to), ES_NUMBER keeps digits only and EM_LIMITTEXT
// cuts at the limit. False when `id` is not an edit box.
bool SimDialogType(HWND dialog, int id, const std::u16string& text, bool replace = true);
int SimDialogProgress(HWND dialog, int id);
bool SimDialogChecked(HWND dialog, int id);
// Auto radio button: checks it and unchecks the dialog's other radio
// buttons. False when `id` is not a radio button.
bool SimDialogClickRadio(HWND dialog, int id);
// Auto check box: turns its tick over, then WM_COMMAND with `id` to the
// procedure, as a click does. False when `id` is not a check box.
bool SimDialogClickCheckBox(HWND dialog, int id);
// WM_COMMAND with `id` to the procedure (as a button press); its result.
LRESULT SimDialogPush(HWND dialog, int id);
std::vector<SimMenuButton> SimDialogMenuBarButtons(HWND dialog);
// Sends the button's WM_COMMAND to the procedure at once.
bool SimPressDialogMenuBarButton(HWND dialog, int index);
// The Escape/Back key: WM_HOTKEY (wParam 0, lParam (VK_ESCAPE << 16) | the
// override's mask bits) when the dialog's bar overrides VK_ESCAPE, else
// WM_COMMAND IDCANCEL.
void SimDialogPressEscape(HWND dialog);
// WM_CLOSE, as the window manager's close button sends it.
void SimDialogClose(HWND dialog);
bool SimDialogFocus(HWND dialog, int id);
int SimDialogFocused(HWND dialog); // -1 when no control has the focus
std::u16string SimDialogCaption(HWND dialog);
// SHInitDialog with SHIDIF_SIZEDLGFULLSCREEN succeeded for the dialog.
bool SimDialogFullScreen(HWND dialog);

struct SimBackKey {
    SimTime time;
    HWND dialog;
    int control; // -1 when no control had the focus
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// Every SHSendBackToFocusWindow call.
std::vector<SimBackKey> SimBackKeys();

enum class SimShellOp { InitDialog, CreateMenuBar };
// The next call of that shell function fails.
void SimFailShellNext(SimShellOp op);

// The phone's controls: sim_phone.h.
