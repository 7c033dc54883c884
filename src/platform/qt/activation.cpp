// SPDX-License-Identifier: GPL-3.0-or-later
// The search for a running copy's window: each top-level window answers on
// a local socket beside the single-instance lock, where another process
// finds it by class and title, asks whether anybody can see it, asks it to
// the front (with the launcher's activation token) and sends it data.
#include <QApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/un.h>

#include "platform/eventlog.h"
#include "platform/posix/runtime_folder.h"
#include "platform/qt/qt_internal.h"

namespace {

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

// The launcher's activation token of this start, taken before anything of
// Qt's could use it up: a Wayland compositor brings a window to the front
// only for a token of the launch the user just made.
const std::string launchToken = [] {
    const char* token = std::getenv("XDG_ACTIVATION_TOKEN");
    return std::string(token != nullptr ? token : "");
}();

// A token travels as one word of a request line: printable, without spaces.
bool UsableToken(const QByteArray& token)
{
    if (token.isEmpty() || token.size() > 512) {
        return false;
    }
    return std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 127; });
}

void RaiseLocal(PlatformWindow* window, bool withDialog, const QByteArray& token)
{
    if (window->frame == nullptr) {
        return;
    }
    QWidget* frame = window->frame;
    if (frame->isMinimized()) {
        frame->setWindowState(frame->windowState() & ~Qt::WindowMinimized);
    }
    QWidget* front = frame;
    if (withDialog) {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            front = modal;
        }
    }
    frame->raise();
    if (front != frame) {
        front->raise();
    }
    // Qt's Wayland platform hands the token to the compositor at the next
    // activation, and uses it up.
    if (UsableToken(token)) {
        qputenv("XDG_ACTIVATION_TOKEN", token);
    }
    front->activateWindow();
}

// Whether a person can see this process's window.
bool SeenHere(PlatformWindow* window)
{
    return window->frame != nullptr && window->frame->isVisible() &&
           GetSystemMetrics(SM_CMONITORS) > 0;
}

// The longest request line a window reads: WM_COPYDATA's 64 KiB in hex.
constexpr qint64 longestRequest = 2 * 65536 + 64;

// One request line from another process: "raise 0|1 [TOKEN]", answered
// "ok" once the window is up front; "visible", answered "visible 0|1"; or
// "copydata CODE HEX", answered "result N" with what the window's
// procedure returned for the data.
void AnswerRequest(PlatformWindow* window, QPointer<QLocalSocket> socket, const QByteArray& line)
{
    if (line.startsWith("raise")) {
        const QList<QByteArray> parts = line.split(' ');
        RaiseLocal(window, parts.value(1) == "1", parts.value(2));
        socket->write("ok\n");
    } else if (line == "visible") {
        socket->write(SeenHere(window) ? "visible 1\n" : "visible 0\n");
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

} // namespace

void ListenForActivation(PlatformWindow* window)
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

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    for (PlatformWindow* window : AllWindows()) {
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
    for (PlatformWindow* window : AllWindows()) {
        if (window->alive && window->kind == WindowKind::Remote && window->serverName == name) {
            return window;
        }
    }
    auto* remote = new PlatformWindow;
    remote->kind = WindowKind::Remote;
    remote->className = className;
    remote->title = windowName;
    remote->serverName = name;
    RegisterWindow(remote);
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
        RaiseLocal(live, withDialog, QByteArray());
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
    QByteArray request = withDialog ? "raise 1" : "raise 0";
    const QByteArray token = QByteArray::fromStdString(launchToken);
    if (UsableToken(token)) {
        request += " " + token;
    }
    socket.write(request + "\n");
    socket.flush();
    // The running copy answers once its window is up front.
    bool answered = false;
    while (!answered && socket.waitForReadyRead(1000)) {
        answered = socket.canReadLine() && socket.readLine().trimmed() == "ok";
    }
    socket.disconnectFromServer();
    return answered ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr) {
        return FALSE;
    }
    if (live->kind != WindowKind::Remote) {
        return SeenHere(live) ? TRUE : FALSE;
    }
    QLocalSocket socket;
    socket.connectToServer(live->serverName);
    if (!socket.waitForConnected(500)) {
        return TRUE;
    }
    socket.write("visible\n");
    socket.flush();
    // A copy that does not know the question says nothing: taken as seen,
    // as every copy was before it could be asked.
    QDeadlineTimer deadline(2000);
    while (!socket.canReadLine() && !deadline.hasExpired() &&
           socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
    }
    const QByteArray line = socket.canReadLine() ? socket.readLine().trimmed() : QByteArray();
    socket.disconnectFromServer();
    return line == "visible 0" ? FALSE : TRUE;
}

int GetSystemMetrics(int index)
{
    if (index != SM_CMONITORS) {
        return 0;
    }
    // Qt's platforms that draw into memory show nothing to anybody.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        return 0;
    }
    return static_cast<int>(QGuiApplication::screens().size());
}
