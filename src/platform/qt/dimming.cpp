// SPDX-License-Identifier: GPL-3.0-or-later
// The user's input as the platform sees it (when it last came), and windows
// drawn darker for the night: a shade over the window and its dialogs, and
// input that, while it lies there, only wakes.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPainter>

#include "platform/qt/qt_internal.h"

namespace {

QElapsedTimer inputClock;
DWORD lastInput = 0;

bool AnyDimmed()
{
    for (PlatformWindow* window : AllWindows()) {
        if (window->alive && window->kind == WindowKind::Main && window->dimmed) {
            return true;
        }
    }
    return false;
}

// Notes every key, click and touch; while a window is dimmed it eats them
// (and the shortcuts that a key would trigger), so they only count as input.
class InputWatch : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin:
        case QEvent::Wheel:
            lastInput = static_cast<DWORD>(inputClock.elapsed());
            break;
        case QEvent::ShortcutOverride:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            break;
        default:
            return false;
        }
        if (!AnyDimmed()) {
            return false;
        }
        event->accept(); // an accepted override keeps a key from its shortcut
        return true;
    }
};

// The shade over a dimmed window or dialog, as big as it.
class Shade : public QWidget {
public:
    explicit Shade(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("dimShade"));
        parent->installEventFilter(this);
        setGeometry(parent->rect());
        raise();
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), DimShade()); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded) {
            setGeometry(parentWidget()->rect());
            raise();
        }
        return false;
    }
};

void SetShade(QWidget* widget, bool shaded)
{
    if (widget == nullptr) {
        return;
    }
    auto* shade = widget->findChild<Shade*>(QStringLiteral("dimShade"), Qt::FindDirectChildrenOnly);
    if (shaded && shade == nullptr) {
        new Shade(widget);
    } else if (!shaded && shade != nullptr) {
        delete shade;
    }
}

} // namespace

QColor DimShade()
{
    // Five sixths of black over the picture leave a sixth of its light.
    return QColor(0, 0, 0, 213);
}

void WatchInput()
{
    static InputWatch* watch = nullptr;
    if (watch == nullptr) {
        inputClock.start();
        watch = new InputWatch;
        qApp->installEventFilter(watch);
    }
}

void ShowDimmed(PlatformWindow* window)
{
    SetShade(window->frame, window->dimmed);
    for (PlatformWindow* dialog : AllWindows()) {
        if (dialog->alive && dialog->kind == WindowKind::Dialog && dialog->owner == window) {
            SetShade(dialog->frame, window->dimmed);
        }
    }
}

BOOL GetLastInputInfo(LASTINPUTINFO* info)
{
    if (info == nullptr) {
        return FALSE;
    }
    info->dwTime = lastInput;
    return TRUE;
}

BOOL DimWindow(HWND window, BOOL dim)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || live->kind != WindowKind::Main) {
        return FALSE;
    }
    live->dimmed = dim != FALSE;
    ShowDimmed(live);
    return TRUE;
}
