// SPDX-License-Identifier: GPL-3.0-or-later
// Windows on Qt Widgets: classes, the frame with its client area and menu
// bar, showing, invalidating and destroying, message boxes, icons and the
// start of the Qt platform. The message queue is in messages.cpp, the
// search for a running copy's window in activation.cpp, the end of the
// session on a signal in session_end.cpp.
#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstring>
#include <unistd.h>

#include "platform/common/bitmap.h"
#include "platform/posix/standard_streams.h"
#include "platform/qt/qt_internal.h"
#include "platform/qt/qt_platform.h"

namespace {

struct ClassEntry {
    WNDCLASSW info;
    std::u16string name;
};

std::map<std::u16string, ClassEntry> classes;
ATOM lastAtom = 0;
// Every window ever made; dead ones stay as zombies so that an old handle
// is recognised as dead instead of reaching freed memory. The list lives as
// long as the process, so it is never destroyed at exit either.
std::vector<PlatformWindow*>& windows = *new std::vector<PlatformWindow*>;

constexpr QSize defaultClient(240, 268);

QColor BackgroundOf(PlatformWindow* window)
{
    if (window->background != nullptr && window->background->kind == PlatformGdiObject::Brush) {
        return window->background->colour;
    }
    return Qt::white;
}

void Invalidate(PlatformWindow* window, const QRegion& region, bool erase)
{
    window->invalid += region & QRect(QPoint(0, 0), window->design);
    window->eraseDue = window->eraseDue || erase;
    WakeQueue();
}

// The client area: shows the surface at its scale, centred, with the
// screen's background around it.
class ClientWidget : public QWidget {
public:
    ClientWidget(PlatformWindow* window, QWidget* parent) : QWidget(parent), owner(window)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // Places the surface at `scale` with its corner at `origin`; a new
    // scale makes a new surface, all of it invalid.
    void Place(double scale, const QPoint& origin)
    {
        owner->origin = origin;
        const double device = scale * devicePixelRatioF();
        QSize pixels = ScaledRect(QRect(QPoint(0, 0), owner->design), device).size();
        if (device != owner->scale || pixels != owner->surface.size()) {
            owner->scale = device;
            QImage fresh(pixels, QImage::Format_RGB32);
            fresh.fill(BackgroundOf(owner));
            owner->surface = fresh;
            owner->invalid = QRegion();
            Invalidate(owner, QRect(QPoint(0, 0), owner->design), true);
        }
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        const qreal ratio = devicePixelRatioF();
        QRect shown(owner->origin, owner->surface.size() / ratio);
        // Around it, the screen's own background: the colour of its corner.
        QRegion around = QRegion(event->rect()) - shown;
        QColor background =
            owner->surface.isNull() ? BackgroundOf(owner) : QColor(owner->surface.pixel(0, 0));
        for (const QRect& part : around) {
            painter.fillRect(part, background);
        }
        QImage surface = owner->surface;
        surface.setDevicePixelRatio(ratio);
        painter.drawImage(owner->origin, surface);
    }
    void showEvent(QShowEvent*) override
    {
        Invalidate(owner, QRect(QPoint(0, 0), owner->design), true);
    }

private:
    PlatformWindow* owner;
};

// The top-level frame: the client area with the menu bar below it, the
// two together uniformly scaled and centred.
class FrameWidget : public QWidget, public BarHost {
public:
    explicit FrameWidget(PlatformWindow* window) : owner(window) {}

    void SetBar(QWidget* fresh) override
    {
        TakeBar(this, fresh);
        barHeight = bar->sizeHint().height();
        if (!isFullScreen() && !isMaximized()) {
            ResizeToScale(owner->scale / devicePixelRatioF());
        }
        Arrange();
        bar->show();
    }

    // The client with the bar below it, at scale 1.
    QSize Whole() const { return QSize(owner->design.width(), owner->design.height() + barHeight); }

    // The whole design at `scale`, as a first size or one a test asks for.
    void ResizeToScale(double scale)
    {
        resize(ScaledRect(QRect(QPoint(0, 0), Whole()), scale).size());
    }

protected:
    void resizeEvent(QResizeEvent*) override { Arrange(); }
    void closeEvent(QCloseEvent* event) override
    {
        // The procedure decides; DefWindowProcW destroys the window. The
        // window system's close (the title bar's button) is the user's;
        // Qt's own (the application quitting at the session's end) is not.
        event->ignore();
        if (owner->alive && owner->proc != nullptr) {
            if (event->spontaneous()) {
                owner->proc(owner, WM_SYSCOMMAND, SC_CLOSE, 0);
            } else {
                owner->proc(owner, WM_CLOSE, 0, 0);
            }
        }
    }

private:
    void Arrange()
    {
        double scale = FittingScale(size(), Whole());
        QRect shown = ScaledRect(QRect(QPoint(0, 0), Whole()), scale);
        shown.moveCenter(rect().center());
        owner->shown = shown;
        auto* client = static_cast<ClientWidget*>(owner->client.data());
        client->setGeometry(rect());
        client->Place(scale, shown.topLeft());
        if (font() != ScaledFont(scale)) {
            setFont(ScaledFont(scale)); // the bar's buttons
        }
        if (bar != nullptr) {
            ScaleMenuBar(bar, scale);
            int top = shown.top() + qRound(owner->design.height() * scale);
            bar->setGeometry(shown.left(), top, shown.width(), shown.bottom() + 1 - top);
            bar->raise();
        }
    }

    PlatformWindow* owner;
    int barHeight = 0; // the bar's at scale 1
};

} // namespace

QString FromWide(LPCWSTR text, int length)
{
    if (text == nullptr) {
        return QString();
    }
    if (length < 0) {
        length = 0;
        while (text[length] != 0) {
            ++length;
        }
    }
    return QString::fromUtf16(text, length);
}

std::u16string WideString(LPCWSTR text)
{
    return text != nullptr ? std::u16string(text) : std::u16string();
}

PlatformWindow* LiveWindow(HWND window)
{
    auto* masked = reinterpret_cast<PlatformWindow*>(reinterpret_cast<std::uintptr_t>(window) &
                                                     ~static_cast<std::uintptr_t>(1));
    for (PlatformWindow* known : windows) {
        if (known == masked) {
            return known->alive ? known : nullptr;
        }
    }
    return nullptr;
}

bool SmallScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return false;
    }
    // A phone's: small, or upright and no wider than a phone at scale 1.
    QSize available = screen->availableSize();
    bool upright = available.height() > available.width();
    return (available.width() <= 480 && available.height() <= 800) ||
           (upright && available.width() <= 800);
}

void RegisterWindow(PlatformWindow* window)
{
    windows.push_back(window);
}

const std::vector<PlatformWindow*>& AllWindows()
{
    return windows;
}

QImage DecodeIconImage(UINT id, int size)
{
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    if (!DecodeIconResource(id, size, &width, &height, &pixels)) {
        return QImage();
    }
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        std::memcpy(image.scanLine(y), pixels.data() + static_cast<std::size_t>(y) * width,
                    static_cast<std::size_t>(width) * 4);
    }
    return image;
}

QImage DecodeBitmapImage(UINT id)
{
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    if (!DecodeBitmapResource(id, &width, &height, &pixels)) {
        return QImage();
    }
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = 0xFF000000u | pixels[static_cast<std::size_t>(y) * width + x];
        }
    }
    return image;
}

namespace {

// Qt's own messages go through the queue of standard error as the event
// log's lines do, so that a stalled terminal never holds the window thread
// in one of them. A fatal one ends the program right after: it follows what
// waits and is written at once.
void QueueQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    std::string line = qFormatLogMessage(type, context, text).toStdString() + "\n";
    if (type == QtFatalMsg) {
        FlushStandardStreams(1000);
        WriteAll(STDERR_FILENO, line);
    } else {
        QueueStandardError(line);
    }
}

} // namespace

bool QtPlatformInit(int* argc, char** argv)
{
    static bool started = false;
    if (started) {
        return true;
    }
    qInstallMessageHandler(QueueQtMessage);
    if (!QtStartApplication(argc, argv)) {
        return false;
    }
    started = true;
    QApplication::setQuitOnLastWindowClosed(false);
    // Wayland's app id: ties the windows to the installed launcher entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.veltrano.Cradlecom"));
    EndSessionOnSignals();
    WatchInput();
    return true;
}

QImage QtWindowSurface(HWND window)
{
    PlatformWindow* live = LiveWindow(window);
    return live != nullptr ? live->surface.copy() : QImage();
}

void QtSetWindowScale(HWND window, double scale)
{
    PlatformWindow* live = LiveWindow(window);
    if (live != nullptr && live->kind == WindowKind::Main && live->frame != nullptr) {
        live->sizeDue = false;
        static_cast<FrameWidget*>(live->frame.data())->ResizeToScale(scale);
    }
}

QWidget* QtWindowWidget(HWND window)
{
    PlatformWindow* live = LiveWindow(window);
    return live != nullptr ? live->frame.data() : nullptr;
}

ATOM RegisterClassW(const WNDCLASSW* windowClass)
{
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        windowClass->lpfnWndProc == nullptr) {
        return 0;
    }
    std::u16string name = windowClass->lpszClassName;
    if (classes.count(name) != 0) {
        return 0;
    }
    ClassEntry entry{*windowClass, name};
    entry.info.lpszClassName = nullptr; // the caller's text need not outlive the call
    entry.info.lpszMenuName = nullptr;
    classes[name] = entry;
    return ++lastAtom;
}

HWND CreateWindowExW(DWORD, LPCWSTR className, LPCWSTR windowName, DWORD style, int, int, int width,
                     int height, HWND, void*, HINSTANCE, void*)
{
    if (className == nullptr) {
        return nullptr;
    }
    auto found = classes.find(className);
    if (found == classes.end()) {
        return nullptr;
    }
    const WNDCLASSW& info = found->second.info;
    auto* window = new PlatformWindow;
    window->kind = WindowKind::Main;
    window->proc = info.lpfnWndProc;
    window->className = className;
    window->title = WideString(windowName);
    window->background = info.hbrBackground;
    windows.push_back(window);

    auto* frame = new FrameWidget(window);
    window->frame = frame;
    window->client = new ClientWidget(window, frame);
    frame->setWindowTitle(FromWide(windowName));
    if (info.hIcon != nullptr && !info.hIcon->image.isNull()) {
        frame->setWindowIcon(QIcon(QPixmap::fromImage(info.hIcon->image)));
    }
    QSize clientSize = defaultClient;
    if (width != CW_USEDEFAULT && height != CW_USEDEFAULT && width > 0 && height > 0) {
        clientSize = QSize(width, height);
    } else {
        window->sizeDue = true;
    }
    window->design = clientSize;
    window->surface = QImage(clientSize, QImage::Format_RGB32);
    window->surface.fill(BackgroundOf(window));
    frame->resize(clientSize);
    ListenForActivation(window);

    if (window->proc(window, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    if ((style & WS_VISIBLE) != 0) {
        ShowWindow(window, SW_SHOW);
    }
    return window;
}

BOOL ShowWindow(HWND window, int showCommand)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || live->frame == nullptr) {
        return FALSE;
    }
    BOOL wasVisible = live->frame->isVisible() ? TRUE : FALSE;
    if (showCommand == 0) { // hide
        live->frame->hide();
    } else if (SmallScreen()) {
        // Without a window manager the full-screen state alone resizes nothing.
        live->frame->setGeometry(QGuiApplication::primaryScreen()->geometry());
        live->frame->showFullScreen();
    } else {
        if (live->sizeDue) {
            // A first window: two thirds of the screen's height, the phone's shape.
            live->sizeDue = false;
            QSize available = QGuiApplication::primaryScreen()->availableSize();
            auto* frame = static_cast<FrameWidget*>(live->frame.data());
            QSize third(available.width(), available.height() * 2 / 3);
            frame->ResizeToScale(FittingScale(third, frame->Whole()));
        }
        live->frame->show();
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND window)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr) {
        return FALSE;
    }
    if (live->kind == WindowKind::Main && !live->invalid.isEmpty() && live->proc != nullptr) {
        live->proc(live, WM_PAINT, 0, 0);
    }
    return TRUE;
}

BOOL DestroyWindow(HWND window)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || live->kind != WindowKind::Main) {
        return FALSE;
    }
    if (live->proc != nullptr) {
        live->proc(live, WM_DESTROY, 0, 0);
    }
    live->alive = false;
    for (auto& entry : live->timers) {
        delete entry.second.timer;
    }
    live->timers.clear();
    DropQueuedMessages(live, 0, 0, true);
    if (live->server != nullptr) {
        live->server->close(); // another copy must not find a window that is gone
        delete live->server;
    }
    if (live->menuBar != nullptr) {
        live->menuBar->alive = false;
    }
    if (live->frame != nullptr) {
        live->frame->hide();
        live->frame->deleteLater();
    }
    return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            SendMessageW(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(window, &paint) != nullptr) {
            EndPaint(window, &paint);
        }
        return 0;
    }
    default:
        return 0;
    }
}

BOOL SetWindowTextW(HWND window, LPCWSTR text)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || live->frame == nullptr) {
        return FALSE;
    }
    live->frame->setWindowTitle(FromWide(text));
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || rect == nullptr) {
        return FALSE;
    }
    QSize size;
    if (live->kind == WindowKind::Main) {
        size = live->design;
    } else if (live->frame != nullptr) {
        size = live->frame->size();
    }
    *rect = RECT{0, 0, size.width(), size.height()};
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || live->kind != WindowKind::Main) {
        return FALSE;
    }
    QRect area = rect != nullptr ? QRect(rect->left, rect->top, rect->right - rect->left,
                                         rect->bottom - rect->top)
                                 : QRect(QPoint(0, 0), live->design);
    Invalidate(live, area, erase != FALSE);
    return TRUE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    PlatformWindow* ownerWindow = LiveWindow(owner);
    QWidget* parent = ownerWindow != nullptr ? ownerWindow->frame.data() : nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
    case MB_ICONHAND:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case MB_ICONEXCLAMATION:
        icon = QMessageBox::Warning;
        break;
    default:
        break;
    }
    bool yesNo = (type & 0x0F) == MB_YESNO;
    QPointer<QMessageBox> box =
        new QMessageBox(icon, FromWide(caption), FromWide(text),
                        yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    int answer = yesNo ? IDNO : IDOK;
    bool done = false;
    QObject::connect(box, &QMessageBox::finished, box, [&answer, &done, box]() {
        QAbstractButton* clicked = box->clickedButton();
        if (clicked != nullptr && box->standardButton(clicked) == QMessageBox::Yes) {
            answer = IDYES;
        }
        done = true;
    });
    box->show();
    // Our own loop rather than exec(), so posted messages, the timer and
    // painting keep reaching the windows while the box waits.
    while (!done && box != nullptr) {
        if (!PumpOneMessage()) {
            break;
        }
    }
    delete box;
    return answer;
}

HICON LoadIconW(HINSTANCE, UINT id)
{
    QImage image = DecodeIconImage(id, 32);
    if (image.isNull()) {
        return nullptr;
    }
    // Shared, one per resource, like the platform's own icons: never freed.
    static std::map<UINT, PlatformGdiObject*>& icons = *new std::map<UINT, PlatformGdiObject*>;
    PlatformGdiObject*& icon = icons[id];
    if (icon == nullptr) {
        icon = new PlatformGdiObject{PlatformGdiObject::Icon, QColor(), 1, image, false};
    }
    return icon;
}

HGDIOBJ GetStockObject(int object)
{
    static PlatformGdiObject whiteBrush{PlatformGdiObject::Brush, QColor(Qt::white), 1, QImage(),
                                        true};
    return object == WHITE_BRUSH ? &whiteBrush : nullptr;
}
