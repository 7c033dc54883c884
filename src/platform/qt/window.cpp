// SPDX-License-Identifier: GPL-3.0-or-later
// Windows, the message queue, timers, message boxes and the search for a
// running copy's window, on Qt Widgets.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/common/bitmap.h"
#include "platform/eventlog.h"
#include "platform/posix/runtime_folder.h"
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
std::deque<MSG> queue;
bool quitDue = false;
int quitCode = 0;

constexpr QSize defaultClient(240, 268);

void WakeQueue()
{
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        dispatcher->wakeUp();
    }
}

QColor BackgroundOf(PlatformWindow* window)
{
    if (window->background != nullptr && window->background->kind == PlatformGdiObject::Brush) {
        return window->background->colour;
    }
    return Qt::white;
}

void Invalidate(PlatformWindow* window, const QRegion& region, bool erase)
{
    window->invalid += region & QRect(QPoint(0, 0), window->surface.size());
    window->eraseDue = window->eraseDue || erase;
    WakeQueue();
}

// The client area: shows the surface, scaled to the device's pixels
// without smoothing so every logical pixel stays a sharp block.
class ClientWidget : public QWidget {
public:
    ClientWidget(PlatformWindow* window, QWidget* parent) : QWidget(parent), owner(window)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(QPoint(0, 0), owner->surface.size()), owner->surface);
    }
    void resizeEvent(QResizeEvent*) override
    {
        if (size() == owner->surface.size() || size().isEmpty()) {
            return;
        }
        QImage fresh(size(), QImage::Format_RGB32);
        fresh.fill(BackgroundOf(owner));
        owner->surface = fresh;
        owner->invalid = QRegion();
        Invalidate(owner, QRect(QPoint(0, 0), size()), true);
    }
    void showEvent(QShowEvent*) override { Invalidate(owner, rect(), true); }

private:
    PlatformWindow* owner;
};

// The top-level frame: the client area with the menu bar below it.
class FrameWidget : public QWidget, public BarHost {
public:
    explicit FrameWidget(PlatformWindow* window) : owner(window) {}

    void SetBar(QWidget* fresh) override
    {
        TakeBar(this, fresh);
        if (!isFullScreen() && !isMaximized()) {
            QSize clientSize = owner->client->size();
            resize(clientSize.width(), clientSize.height() + bar->sizeHint().height());
        }
        Arrange();
        bar->show();
    }

protected:
    void resizeEvent(QResizeEvent*) override { Arrange(); }
    void closeEvent(QCloseEvent* event) override
    {
        // The procedure decides; DefWindowProcW destroys the window.
        event->ignore();
        if (owner->alive && owner->proc != nullptr) {
            owner->proc(owner, WM_CLOSE, 0, 0);
        }
    }

private:
    void Arrange()
    {
        int barHeight = bar != nullptr ? bar->sizeHint().height() : 0;
        owner->client->setGeometry(0, 0, width(), height() - barHeight);
        if (bar != nullptr) {
            bar->setGeometry(0, height() - barHeight, width(), barHeight);
        }
    }

    PlatformWindow* owner;
};

// Beside the single-instance lock, in the user's private folder, so that
// every copy finds it whatever its environment. Empty, with the reason in
// *problem when asked, when there is none.
QString ServerName(const std::u16string& className, const std::u16string& title,
                   QString* problem = nullptr)
{
    QByteArray key = FromWide(className.c_str()).toUtf8() + '\0' + FromWide(title.c_str()).toUtf8();
    QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16);
    std::string folder;
    std::string error;
    if (!UserRuntimeFolder(&folder, &error)) {
        if (problem != nullptr)
            *problem = QString::fromStdString(error);
        return QString();
    }
    return QString::fromStdString(folder) +
           QStringLiteral("/window-%1.socket").arg(QString::fromLatin1(hash));
}

// A copy whose window cannot be found by the next start says so: that start
// would wait for it in vain, and a --start there could not reach it.
void LogNoActivation(const QString& reason)
{
    const QString line =
        QStringLiteral("no activation socket: %1; another start cannot reach this window")
            .arg(reason);
    AppendEventLog(EVENTLOG_WARNING_TYPE, reinterpret_cast<LPCWSTR>(line.utf16()));
}

void RaiseLocal(PlatformWindow* window, bool withDialog)
{
    if (window->frame == nullptr) {
        return;
    }
    QWidget* frame = window->frame;
    if (frame->isMinimized()) {
        frame->setWindowState(frame->windowState() & ~Qt::WindowMinimized);
    }
    frame->raise();
    frame->activateWindow();
    if (withDialog) {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
    }
}

// The longest request line a window reads: WM_COPYDATA's 64 KiB in hex.
constexpr qint64 longestRequest = 2 * 65536 + 64;

// One request line from another process: "raise 0|1", answered "ok" once
// the window is up front, or "copydata CODE HEX", answered "result N" with
// what the window's procedure returned for the data.
void AnswerRequest(PlatformWindow* window, QPointer<QLocalSocket> socket, const QByteArray& line)
{
    if (line.startsWith("raise")) {
        RaiseLocal(window, line == "raise 1");
        socket->write("ok\n");
    } else if (line.startsWith("copydata ")) {
        const QList<QByteArray> parts = line.split(' ');
        bool valid = false;
        const qulonglong code = parts.value(1).toULongLong(&valid);
        LRESULT result = 0; // a line that is not understood is answered all the same
        if (valid && parts.size() <= 3) {
            QByteArray data = QByteArray::fromHex(parts.value(2));
            COPYDATASTRUCT copy{static_cast<ULONG_PTR>(code), static_cast<DWORD>(data.size()),
                                data.data()};
            result = SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
        }
        if (socket == nullptr) // gone while the procedure ran
            return;
        socket->write("result " + QByteArray::number(static_cast<qlonglong>(result)) + "\n");
    }
    socket->flush();
}

// Each top-level window answers on a local socket, so that another process
// can find it by class and title, ask it to the front and send it data.
void Listen(PlatformWindow* window)
{
    QString problem;
    QString name = ServerName(window->className, window->title, &problem);
    if (name.isEmpty()) {
        LogNoActivation(problem);
        return;
    }
    if (QFile::encodeName(name).size() >= static_cast<qsizetype>(sizeof(sockaddr_un::sun_path))) {
        LogNoActivation(QStringLiteral("its path %1 is longer than a socket's %2 bytes")
                            .arg(name)
                            .arg(sizeof(sockaddr_un::sun_path) - 1));
        return;
    }
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(200)) {
        LogNoActivation(QStringLiteral("another process answers on %1").arg(name));
        return;
    }
    QLocalServer::removeServer(name); // left over from a process that died
    auto* server = new QLocalServer(window->frame);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        LogNoActivation(QStringLiteral("%1: %2").arg(name, server->errorString()));
        delete server;
        return;
    }
    window->server = server;
    QObject::connect(server, &QLocalServer::newConnection, server, [window, server]() {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [window, socket]() {
                // The procedure may pump messages; the socket may go meanwhile.
                QPointer<QLocalSocket> alive(socket);
                while (alive != nullptr && window->alive && socket->canReadLine())
                    AnswerRequest(window, socket, socket->readLine().trimmed());
                if (alive != nullptr && socket->bytesAvailable() > longestRequest)
                    socket->abort();
            });
        }
    });
}

// WM_COPYDATA to another process's window: the request line, then its
// answer, within ten seconds; 0 without one.
LRESULT SendCopyData(PlatformWindow* window, const COPYDATASTRUCT* copy)
{
    if (copy == nullptr || copy->cbData > 65536 || (copy->cbData > 0 && copy->lpData == nullptr))
        return 0;
    QLocalSocket socket;
    socket.connectToServer(window->serverName);
    if (!socket.waitForConnected(500))
        return 0;
    const QByteArray data(static_cast<const char*>(copy->lpData), static_cast<int>(copy->cbData));
    socket.write("copydata " + QByteArray::number(static_cast<qulonglong>(copy->dwData)) + " " +
                 data.toHex() + "\n");
    socket.flush();
    QDeadlineTimer deadline(10000);
    while (!socket.canReadLine() && !deadline.hasExpired() &&
           socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
    }
    if (!socket.canReadLine())
        return 0;
    const QByteArray line = socket.readLine().trimmed();
    socket.disconnectFromServer();
    return line.startsWith("result ") ? static_cast<LRESULT>(line.mid(7).toLongLong()) : 0;
}

void DropQueued(PlatformWindow* window, UINT message, WPARAM wParam, bool anyWParam)
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
    for (PlatformWindow* window : windows) {
        if (window->alive && window->kind == WindowKind::Main && !window->invalid.isEmpty() &&
            window->frame != nullptr && window->frame->isVisible()) {
            *msg = MSG{window, WM_PAINT, 0, 0, 0, {0, 0}};
            return true;
        }
    }
    return false;
}

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
    QSize available = screen->availableSize();
    return available.width() <= 480 && available.height() <= 800;
}

void RegisterWindow(PlatformWindow* window)
{
    windows.push_back(window);
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
    for (PlatformWindow* window : windows) {
        if (window->alive && window->kind == WindowKind::Main) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }
}

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
    return true;
}

QImage QtWindowSurface(HWND window)
{
    PlatformWindow* live = LiveWindow(window);
    return live != nullptr ? live->surface.copy() : QImage();
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
    }
    frame->resize(clientSize);
    window->client->setGeometry(QRect(QPoint(0, 0), clientSize));
    if (window->surface.size() != clientSize) {
        window->surface = QImage(clientSize, QImage::Format_RGB32);
        window->surface.fill(BackgroundOf(window));
    }
    Listen(window);

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
    DropQueued(live, 0, 0, true);
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

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM, LPARAM)
{
    switch (message) {
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
    if (live == nullptr || live->kind != WindowKind::Main) {
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
    DropQueued(live, WM_TIMER, id, false);
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
        size = live->surface.size();
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
                                 : QRect(QPoint(0, 0), live->surface.size());
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

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    for (PlatformWindow* window : windows) {
        if (window->alive && window->kind == WindowKind::Main &&
            (className == nullptr || window->className == className) &&
            (windowName == nullptr || window->title == windowName)) {
            return window;
        }
    }
    if (className == nullptr || windowName == nullptr) {
        return nullptr;
    }
    QString name = ServerName(className, windowName);
    if (name.isEmpty()) {
        return nullptr;
    }
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(300)) {
        return nullptr;
    }
    socket.disconnectFromServer();
    for (PlatformWindow* window : windows) {
        if (window->alive && window->kind == WindowKind::Remote && window->serverName == name) {
            return window;
        }
    }
    auto* remote = new PlatformWindow;
    remote->kind = WindowKind::Remote;
    remote->className = className;
    remote->title = windowName;
    remote->serverName = name;
    windows.push_back(remote);
    return remote;
}

BOOL SetForegroundWindow(HWND window)
{
    bool withDialog = (reinterpret_cast<std::uintptr_t>(window) & 1) != 0;
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr) {
        return FALSE;
    }
    if (live->kind == WindowKind::Main) {
        RaiseLocal(live, withDialog);
        return TRUE;
    }
    if (live->kind != WindowKind::Remote) {
        return FALSE;
    }
    QLocalSocket socket;
    socket.connectToServer(live->serverName);
    if (!socket.waitForConnected(500)) {
        return FALSE;
    }
    socket.write(withDialog ? "raise 1\n" : "raise 0\n");
    socket.flush();
    // The running copy answers once its window is up front.
    bool answered = false;
    while (!answered && socket.waitForReadyRead(1000)) {
        answered = socket.canReadLine() && socket.readLine().trimmed() == "ok";
    }
    socket.disconnectFromServer();
    return answered ? TRUE : FALSE;
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
