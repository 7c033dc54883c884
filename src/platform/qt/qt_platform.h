// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the Qt window platform, and what its tests may look at.
#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "platform/types.h"

class QWidget;

// Makes the QApplication. Call once before WinMain, with the process's own
// argc and argv (they must outlive the application); Qt's own options such
// as "-platform offscreen" are taken out of them. A window platform (from
// -platform, else QT_QPA_PLATFORM) that Qt cannot bring up is told in one
// line on standard error with the platforms Qt offers: false when it is
// not installed or has no screen; one that fails while it starts ends the
// process with status 2 then and there, where Qt would abort.
bool QtPlatformInit(int* argc, char** argv);

// The window platforms Qt offers here: the keys of the installed platform
// plugins, in lower case, sorted.
std::vector<std::string> QtPlatformNames();

// Test access: a copy of a window's drawing surface (its client area in
// device pixels: its size in logical ones times the window's scale); null
// image for a handle without a surface.
QImage QtWindowSurface(HWND window);

// Sizes a main window so that its client and menu bar show at `scale` (1:
// as designed); the resize takes effect with the next events.
void QtSetWindowScale(HWND window, double scale);

// Test access: the widget that stands for a window, dialog or menu bar.
QWidget* QtWindowWidget(HWND window);

// Test access: the control with `id` of a dialog; null when there is none.
QWidget* QtDialogItem(HWND dialog, int id);

// The innermost open dialog, or null.
HWND QtOpenDialog();
