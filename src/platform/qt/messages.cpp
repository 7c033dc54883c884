// SPDX-License-Identifier: GPL-3.0-or-later
// The window thread's message queue: posted and sent messages, the loop,
// WM_PAINT for invalid windows, the quit, and timers.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <deque>

#include "platform/qt/qt_internal.h"

namespace {

std::deque<MSG> queue;
bool quitDue = false;
int quitCode = 0;

void WaitForEvents()
{
    // No QEventLoop runs, so widgets given up with deleteLater() go here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// The next message: posted ones first, then WM_PAINT for an invalid window.
bool NextMessage(MSG* msg)
{
    if (!queue.empty()) {
        *msg = queue.front();
        queue.pop_front();
        if (msg->message == WM_TIMER) {
            PlatformWindow* window = LiveWindow(msg->hwnd);
            if (window != nullptr) {
                auto it = window->timers.find(msg->wParam);
                if (it != window->timers.end()) {
                    it->second.pending = false;
                }
            }
        }
        return true;
    }
    if (quitDue) {
        return false;
    }
    for (PlatformWindow* window : AllWindows()) {
        if (window->alive && window->kind == WindowKind::Main && !window->invalid.isEmpty() &&
            window->frame != nullptr && window->frame->isVisible()) {
            *msg = MSG{window, WM_PAINT, 0, 0, 0, {0, 0}};
            return true;
        }
    }
    return false;
}

} // namespace

void WakeQueue()
{
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        dispatcher->wakeUp();
    }
}

void DropQueuedMessages(PlatformWindow* window, UINT message, WPARAM wParam, bool anyWParam)
{
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->hwnd == window && (message == 0 || it->message == message) &&
            (anyWParam || it->wParam == wParam)) {
            it = queue.erase(it);
        } else {
            ++it;
        }
    }
}

bool PumpOneMessage()
{
    MSG msg;
    if (NextMessage(&msg)) {
        DispatchMessageW(&msg);
        return true;
    }
    if (quitDue) {
        return false;
    }
    WaitForEvents();
    return true;
}

BOOL GetMessageW(MSG* msg, HWND, UINT, UINT)
{
    for (;;) {
        if (NextMessage(msg)) {
            return TRUE;
        }
        if (quitDue) {
            quitDue = false;
            *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, 0, {0, 0}};
            return FALSE;
        }
        WaitForEvents();
    }
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE; // no raw key messages are queued, so there is nothing to translate
}

LRESULT DispatchMessageW(const MSG* msg)
{
    if (msg == nullptr) {
        return 0;
    }
    PlatformWindow* window = LiveWindow(msg->hwnd);
    if (window == nullptr) {
        return 0;
    }
    return SendMessageW(window, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr && window != nullptr) {
        return FALSE;
    }
    queue.push_back(MSG{live, message, wParam, lParam, 0, {0, 0}});
    WakeQueue();
    return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr) {
        return 0;
    }
    switch (live->kind) {
    case WindowKind::Main:
        return live->proc != nullptr ? live->proc(live, message, wParam, lParam) : 0;
    case WindowKind::Dialog:
        return CallDialogProc(live, message, wParam, lParam);
    case WindowKind::MenuBar:
        return MenuBarMessage(live, message, wParam, lParam);
    case WindowKind::Remote:
        return message == WM_COPYDATA
                   ? SendCopyData(live, reinterpret_cast<const COPYDATASTRUCT*>(lParam))
                   : 0;
    }
    return 0;
}

void PostQuitMessage(int exitCode)
{
    quitDue = true;
    quitCode = exitCode;
    WakeQueue();
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, void*)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || (live->kind != WindowKind::Main && live->kind != WindowKind::Dialog)) {
        return 0;
    }
    TimerEntry& entry = live->timers[id];
    if (entry.timer == nullptr) {
        entry.timer = new QTimer;
        entry.timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(entry.timer, &QTimer::timeout, [live, id]() {
            auto it = live->timers.find(id);
            // Like the platform: at most one WM_TIMER per timer waits at a time.
            if (!live->alive || it == live->timers.end() || it->second.pending) {
                return;
            }
            it->second.pending = true;
            PostMessageW(live, WM_TIMER, id, 0);
        });
    }
    entry.timer->start(static_cast<int>(milliseconds > 0 ? milliseconds : 1));
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr) {
        return FALSE;
    }
    auto it = live->timers.find(id);
    if (it == live->timers.end()) {
        return FALSE;
    }
    delete it->second.timer;
    live->timers.erase(it);
    DropQueuedMessages(live, WM_TIMER, id, false);
    return TRUE;
}
