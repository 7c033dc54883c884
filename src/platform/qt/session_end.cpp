// SPDX-License-Identifier: GPL-3.0-or-later
// The end of the session on SIGTERM, SIGINT or SIGHUP, as the desktop's
// session end goes.
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "platform/qt/qt_internal.h"
#include "platform/qt/qt_platform.h"

namespace {

// A session ended by a signal (the service manager stopping the program,
// Ctrl+C in a terminal) ends the program as the desktop's session end does:
// open message boxes and dialogs are closed first, innermost first, then
// every main window gets WM_CLOSE and ends through its own WM_DESTROY.
int endSignalPipe[2] = {-1, -1};

void OnEndSignal(int number)
{
    // A second signal while the program is ending takes the default way.
    std::signal(number, SIG_DFL);
    char byte = 1;
    [[maybe_unused]] ssize_t written = write(endSignalPipe[1], &byte, 1);
}

void EndSession()
{
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        box->reject();
        QTimer::singleShot(20, EndSession);
        return;
    }
    if (HWND dialog = QtOpenDialog()) {
        SendMessageW(dialog, WM_CLOSE, 0, 0);
        QTimer::singleShot(20, EndSession);
        return;
    }
    for (PlatformWindow* window : AllWindows()) {
        if (window->alive && window->kind == WindowKind::Main) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }
}

} // namespace

void EndSessionOnSignals()
{
    if (pipe2(endSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(endSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (read(endSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        EndSession();
    });
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        std::signal(number, OnEndSignal);
    }
}
