// SPDX-License-Identifier: GPL-3.0-or-later
// The named lock and the search for a running copy's window, across two
// real processes: the test binary runs itself again as the first copy.
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/qt/qt_platform.h"
#include "support.h"

namespace {

constexpr char firstCopyVariable[] = "CC_QT_FIRST_COPY";
// The launcher's activation token the test runs with (its CMakeLists).
constexpr char launchToken[] = "launch-token-1";

std::u16string Wide(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

LRESULT CopyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 1;
    }
    if (message == WM_COPYDATA) {
        // Code 99 asks whether the launcher's token of the second copy came
        // with its raise request: 1 yes, 2 no.
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (copy->dwData == 99) {
            const char* token = std::getenv("XDG_ACTIVATION_TOKEN");
            return token != nullptr && std::string(token) == launchToken ? 1 : 2;
        }
        // Answers with the code plus the number of bytes, or -1 when the
        // bytes are not the ones the test sends: byte i is i modulo 251.
        const auto* bytes = static_cast<const unsigned char*>(copy->lpData);
        for (DWORD i = 0; i < copy->cbData; ++i) {
            if (bytes[i] != i % 251)
                return -1;
        }
        return static_cast<LRESULT>(copy->dwData + copy->cbData);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Not a test of its own: the body of the first copy, run by the test below.
TEST(QtSingleInstanceChild, RunAsFirstCopy)
{
    const char* name = std::getenv(firstCopyVariable);
    if (name == nullptr) {
        GTEST_SKIP() << "runs only as the first copy of the cross-process test";
    }
    unsetenv("XDG_ACTIVATION_TOKEN"); // only the second copy's raise may bring it
    StartTestPlatform();
    std::u16string lockName = Wide(name);
    HANDLE lock = CreateMutexW(nullptr, FALSE, lockName.c_str());
    ASSERT_NE(lock, nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = CopyWndProc;
    windowClass.lpszClassName = lockName.c_str();
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    HWND window =
        CreateWindowExW(0, lockName.c_str(), u"Copy", WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    QTimer::singleShot(20000, [] { PostQuitMessage(1); }); // never outlive the test
    ASSERT_EQ(write(STDOUT_FILENO, "ready\n", 6), 6);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) != 0) {
        DispatchMessageW(&msg);
    }
}

TEST(QtSingleInstance, LockInOneProcessCountsHandles)
{
    UsePrivateRuntimeFolder();
    std::u16string name = Wide("cc-qt-test-lock-" + std::to_string(getpid()));
    HANDLE first = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(CloseHandle(first));
    HANDLE third = CreateMutexW(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)); // `second` keeps it
    CloseHandle(second);
    CloseHandle(third);
    HANDLE fresh = CreateMutexW(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(fresh);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u""), nullptr);
}

TEST(QtSingleInstance, SecondCopyFindsAndRaisesTheFirstUntilItDies)
{
    if (std::getenv(firstCopyVariable) != nullptr) {
        GTEST_SKIP();
    }
    StartTestPlatform();
    std::string name = "CradleComTest" + std::to_string(getpid());
    std::u16string wideName = Wide(name);

    QProcess first;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(firstCopyVariable), QString::fromStdString(name));
    first.setProcessEnvironment(environment);
    first.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=QtSingleInstanceChild.RunAsFirstCopy")});
    ASSERT_TRUE(first.waitForStarted(5000));
    QByteArray output;
    while (!output.contains("ready") && first.waitForReadyRead(10000)) {
        output += first.readAllStandardOutput();
    }
    ASSERT_TRUE(output.contains("ready")) << output.constData();

    HANDLE lock = CreateMutexW(nullptr, FALSE, wideName.c_str());
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(lock);

    HWND found = FindWindowW(wideName.c_str(), u"Copy");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(FindWindowW(wideName.c_str(), u"Other title"), nullptr);
    EXPECT_EQ(FindWindowW(u"OtherClass", u"Copy"), nullptr);
    auto withDialog = reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(found) | 1);
    COPYDATASTRUCT askToken{99, 0, nullptr};
    EXPECT_EQ(SendMessageW(found, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&askToken)), 2);
    EXPECT_TRUE(SetForegroundWindow(withDialog));
    EXPECT_EQ(first.state(), QProcess::Running); // raised, not disturbed
    // The raise handed on this start's launcher token (Wayland needs it).
    EXPECT_EQ(SendMessageW(found, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&askToken)), 1);

    // Data reaches the other process's procedure whole (zeros and line ends
    // too, up to 64 KiB), and its answer comes back; more is never sent.
    std::vector<unsigned char> bytes(65537);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i % 251);
    for (DWORD size : {0u, 11u, 65536u, 65537u}) {
        COPYDATASTRUCT copy{7, size, bytes.data()};
        EXPECT_EQ(SendMessageW(found, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy)),
                  size <= 65536 ? static_cast<LRESULT>(7 + size) : 0)
            << size;
    }

    first.kill(); // dies without closing anything
    ASSERT_TRUE(first.waitForFinished(5000));
    lock = CreateMutexW(nullptr, FALSE, wideName.c_str());
    ASSERT_NE(lock, nullptr);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(FindWindowW(wideName.c_str(), u"Copy"), nullptr);
    EXPECT_FALSE(SetForegroundWindow(withDialog));
    COPYDATASTRUCT copy{7, 0, nullptr};
    EXPECT_EQ(SendMessageW(found, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy)), 0);
    CloseHandle(lock);
}

TEST(QtSingleInstance, LocalWindowIsFoundByClassAndTitle)
{
    StartTestPlatform();
    HWND window = CreateTestWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowW(testClass, u"Test"), window);
    EXPECT_EQ(FindWindowW(testClass, u"Nope"), nullptr);
    EXPECT_TRUE(
        SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(window) | 1)));
    DestroyWindow(window);
    EXPECT_EQ(FindWindowW(testClass, u"Test"), nullptr);
}

} // namespace
