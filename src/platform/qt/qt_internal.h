// SPDX-License-Identifier: GPL-3.0-or-later
// Shared state of the Qt window platform: what stands behind HWND, HDC and
// HGDIOBJ, and the few helpers the pieces call on one another.
#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QImage>
#include <QLocalServer>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/gdi.h"
#include "platform/window.h"

class QTimer;
class QPushButton;

enum class WindowKind { Main, Dialog, MenuBar, Remote };

struct PlatformGdiObject {
    enum Kind { Brush, Pen, Bitmap, Icon } kind;
    QColor colour;
    int width = 1;
    QImage image;
    bool stock = false;
};

struct TimerEntry {
    QTimer* timer = nullptr;
    bool pending = false; // a WM_TIMER of this timer waits in the queue
};

struct PlatformWindow {
    WindowKind kind = WindowKind::Main;
    bool alive = true;
    WNDPROC proc = nullptr;
    std::u16string className;
    std::u16string title;
    HBRUSH background = nullptr;

    // Main windows: the frame with the client (surface) above the menu bar.
    // The client keeps its designed size and is shown uniformly scaled to
    // the frame: the surface holds it at `scale` device pixels a designed
    // one, its top left corner at `origin` of the client widget. Drawing
    // and invalid regions are in designed pixels.
    QPointer<QWidget> frame;
    QPointer<QWidget> client;
    QSize design;
    double scale = 1.0;
    QPoint origin;
    QRect shown; // the scaled client and menu bar, in the frame
    QImage surface;
    QRegion invalid;
    bool dimmed = false;
    bool sizeDue = false; // made at the default size: the first show fits it to the screen
    bool eraseDue = false;
    std::map<UINT_PTR, TimerEntry> timers;
    QPointer<QLocalServer> server;

    // Dialogs.
    PlatformWindow* owner = nullptr;
    bool ended = false;
    LRESULT result = 0;
    bool fullScreen = false;
    double dialogScale = 1.0;  // the owner's, in logical pixels a designed one
    bool escapeNotify = false; // Escape becomes WM_HOTKEY
    bool escapeDefault = true; // Escape becomes IDCANCEL
    std::vector<std::pair<int, QPointer<QWidget>>> items;
    QPointer<QButtonGroup> radios;

    // Main windows and dialogs: the current menu bar.
    PlatformWindow* menuBar = nullptr;

    // Menu bars: the parent and the buttons by command.
    PlatformWindow* parent = nullptr;
    std::map<int, QPointer<QPushButton>> buttons;

    // Remote windows: the local server name of the other process's window.
    QString serverName;
};

struct PlatformDC {
    PlatformWindow* window = nullptr; // null for a memory DC
    double scale = 1.0;               // device pixels a designed one: the window's
    bool clipped = false;
    QRegion clip;       // designed pixels
    QRegion deviceClip; // the same in device pixels
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ bitmap = nullptr; // memory DCs: the selected bitmap
    COLORREF background = RGB(255, 255, 255);
    POINT position{0, 0};
    QRect changed; // the device pixels that drawing through this DC has changed so far
};

// A widget that shows a menu bar at its bottom, below its body.
class BarHost {
public:
    virtual ~BarHost() = default;
    virtual void SetBar(QWidget* bar) = 0;

protected:
    // Retires the bar shown so far and puts `fresh` on `host` in its place.
    void TakeBar(QWidget* host, QWidget* fresh)
    {
        if (bar != nullptr) {
            bar->hide();
            bar->deleteLater();
        }
        bar = fresh;
        bar->setParent(host);
    }

    QPointer<QWidget> bar;
};

QString FromWide(LPCWSTR text, int length = -1);
std::u16string WideString(LPCWSTR text);
PlatformWindow* LiveWindow(HWND window);
void RegisterWindow(PlatformWindow* window);
// Every window ever registered, dead ones too, in the order they were made.
const std::vector<PlatformWindow*>& AllWindows();
// True on a phone-sized screen, where windows and dialogs fill it.
bool SmallScreen();
// The largest scale at which `design` fits into `area` (at least a tenth).
double FittingScale(const QSize& area, const QSize& design);
// A logical rectangle in device pixels at `scale`: its edges rounded, so
// that rectangles that meet at 1:1 meet when scaled too.
QRect ScaledRect(const QRect& rect, double scale);
// A font of the application's at `scale` times its size.
QFont ScaledFont(double scale);
// Spaces a menu bar made for scale 1 as at `scale`; its buttons take the
// font of the window, scaled as the window is.
void ScaleMenuBar(QWidget* bar, double scale);
// The window and its open dialogs drawn darker while it is dimmed
// (dimming.cpp). WatchInput starts noting the user's input, once.
void ShowDimmed(PlatformWindow* window);
void WatchInput();
// What lies over a dimmed window's pixels.
QColor DimShade();
QImage* SurfaceOf(HDC dc);
QColor ColourOf(COLORREF colour);

// The message queue (messages.cpp). PumpOneMessage runs one round of it:
// dispatches one posted message or WM_PAINT, or waits for Qt events; false
// when a quit is due. WakeQueue ends a wait for Qt events, so that the
// loop looks at the queue and the windows again. DropQueuedMessages drops
// the window's posted messages (of one kind unless message is 0, and with
// this wParam unless anyWParam).
bool PumpOneMessage();
void WakeQueue();
void DropQueuedMessages(PlatformWindow* window, UINT message, WPARAM wParam, bool anyWParam);

// The search for a running copy's window (activation.cpp). A top-level
// window answers on its socket from ListenForActivation on (a problem goes
// to the event log); SendCopyData is WM_COPYDATA to a remote window: its
// answer within ten seconds, 0 without one.
void ListenForActivation(PlatformWindow* window);
LRESULT SendCopyData(PlatformWindow* window, const COPYDATASTRUCT* copy);

// A session ended by a signal ends the program as the desktop's session end
// does (session_end.cpp).
void EndSessionOnSignals();

LRESULT CallDialogProc(PlatformWindow* dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT MenuBarMessage(PlatformWindow* bar, UINT message, WPARAM wParam, LPARAM lParam);
QImage DecodeIconImage(UINT id, int size);
QImage DecodeBitmapImage(UINT id);
// Makes the QApplication on the platform asked for; see QtPlatformInit.
bool QtStartApplication(int* argc, char** argv);
