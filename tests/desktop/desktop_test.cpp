// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program on a desktop with a window manager (under_x.sh): the
// title bar's close button, pressed through the window manager, asks the
// exit question, and No keeps the program monitoring, while a signal still
// ends it without asking; a very first start asks for the language in a
// dialog over the main window, in the language of LANG.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include "../private_home.h"
#include "../silence_wav.h"
#include "alarm/monitor.h"
#include "platform/alsa/wave_source.h"
#include "platform/phone/phone_backend.h"
#include "platform/platform.h"
#include "platform/qt/qt_platform.h"
#include "resources/ids.h"
#include "shell/shell.h"

struct PlatformInstance {
    int unused;
};

namespace {

PlatformInstance programInstance;
std::filesystem::path home;

std::string StoreText()
{
    std::ifstream file(home / "cradlecom" / "registry");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

HWND MainWindow()
{
    return FindWindowW(u"CradleCom", u"Cradlecom");
}

// Shown and placed by the window manager.
bool Mapped(QWidget* widget)
{
    return widget != nullptr && widget->isVisible() && widget->windowHandle() != nullptr &&
           widget->windowHandle()->isExposed();
}

// The window manager's close, as its title-bar button sends it.
void PressCloseButton()
{
    QProcess::startDetached(QStringLiteral("wmctrl"),
                            {QStringLiteral("-c"), QStringLiteral("Cradlecom")});
}

// Runs the program; `poll` is called every 50 ms with the poll's number and
// returns false once it has nothing more to do. Bounded: a run that never
// gets there is closed after 30 s.
int RunProgram(const std::function<void(int)>& poll)
{
    int polls = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        poll(++polls);
        if (polls == 600 && MainWindow() != nullptr)
            PostMessageW(MainWindow(), WM_CLOSE, 0, 0);
    });
    timer.start(50);
    return WinMain(&programInstance, nullptr, nullptr, SW_SHOW);
}

TEST(Desktop, CloseButtonAsksAndNoKeepsMonitoring)
{
    std::filesystem::create_directories(home / "cradlecom");
    std::ofstream(home / "cradlecom" / "registry")
        << "[Software\\Veltrano\\CradleCom\\Settings]\nPhoneNumber = sz:0301234\n"
           "Language = sz:1\nFirstUse = sz:1\n";
    int step = 0;
    int answeredAt = 0;
    long ticksAtNo = 0;
    std::string question;
    bool monitoringAfterNo = false;
    bool tickingAfterNo = false;
    int boxesAfterSignal = 0;
    const int status = RunProgram([&](int poll) {
        HWND window = MainWindow();
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        switch (step) {
        case 0:
            if (window != nullptr && Mapped(QtWindowWidget(window))) {
                PostMessageW(window, WM_COMMAND, cmdStartStop, 0);
                ++step;
            }
            break;
        case 1:
            if (monitor.monitoring == 1) {
                PressCloseButton();
                ++step;
            }
            break;
        case 2:
            if (box != nullptr && box->button(QMessageBox::No) != nullptr) {
                question = box->text().toStdString();
                ticksAtNo = monitor.tickCount;
                box->button(QMessageBox::No)->click();
                answeredAt = poll;
                ++step;
            }
            break;
        case 3:
            if (poll == answeredAt + 20) {
                monitoringAfterNo = MainWindow() != nullptr && monitor.monitoring == 1;
                tickingAfterNo = monitor.tickCount > ticksAtNo;
                std::raise(SIGTERM); // the session ends: no question
                ++step;
            }
            break;
        default:
            boxesAfterSignal += box != nullptr ? 1 : 0;
            break;
        }
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(step, 4) << "the run stopped at step " << step;
    EXPECT_EQ(question, "Do you want exit cradlecom now ?");
    EXPECT_TRUE(monitoringAfterNo);
    EXPECT_TRUE(tickingAfterNo);
    EXPECT_EQ(boxesAfterSignal, 0);
}

TEST(Desktop, FirstStartAsksForTheLanguage)
{
    ASSERT_FALSE(std::filesystem::exists(home / "cradlecom" / "registry"));
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_GB.UTF-8", 1);
    int shownAt = 0;
    bool englishChecked = false;
    bool germanOffered = false;
    QRect dialogPlace;
    QRect windowPlace;
    std::string storeWhileAsking;
    const int status = RunProgram([&](int poll) {
        HWND dialog = QtOpenDialog();
        if (shownAt == 0 && dialog != nullptr && Mapped(QtWindowWidget(dialog)))
            shownAt = poll;
        // Half a second for the window manager to place it.
        if (shownAt == 0 || poll != shownAt + 10)
            return;
        auto* english = qobject_cast<QRadioButton*>(QtDialogItem(dialog, ctlEnglishButton));
        englishChecked = english != nullptr && english->isChecked();
        germanOffered =
            qobject_cast<QRadioButton*>(QtDialogItem(dialog, ctlGermanButton)) != nullptr;
        dialogPlace = QtWindowWidget(dialog)->frameGeometry();
        windowPlace = QtWindowWidget(MainWindow())->frameGeometry();
        storeWhileAsking = StoreText();
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        PostMessageW(MainWindow(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(status, 0);
    ASSERT_NE(shownAt, 0) << "no dialog came";
    EXPECT_TRUE(englishChecked);
    EXPECT_TRUE(germanOffered);
    EXPECT_LE((dialogPlace.center() - windowPlace.center()).manhattanLength(), 4)
        << "dialog at " << dialogPlace.x() << "," << dialogPlace.y() << ", window at "
        << windowPlace.x() << "," << windowPlace.y();
    EXPECT_NE(storeWhileAsking.find("Language = sz:1\n"), std::string::npos) << storeWhileAsking;
    EXPECT_NE(storeWhileAsking.find("VolSensi = sz:50\n"), std::string::npos) << storeWhileAsking;
    EXPECT_NE(StoreText().find("Language = sz:1\n"), std::string::npos) << StoreText();
}

// Beside a copy of the program that runs offscreen (the service's), a start
// on the desktop says so in a box, with how to end that copy, and fails;
// that copy runs on.
TEST(Desktop, SecondStartBesideAnOffscreenCopySaysSo)
{
    const char* program = std::getenv("CRADLECOM_PROGRAM");
    ASSERT_NE(program, nullptr);
    std::filesystem::create_directories(home / "cradlecom");
    std::ofstream(home / "cradlecom" / "registry")
        << "[Software\\Veltrano\\CradleCom\\Settings]\nLanguage = sz:1\nFirstUse = sz:1\n";
    QProcess service;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    service.setProcessEnvironment(environment);
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start(QString::fromLocal8Bit(program),
                  {QStringLiteral("--input"),
                   QString::fromStdString((home / "silence.wav").string()),
                   QStringLiteral("--phone"), QStringLiteral("log")});
    QByteArray said;
    for (int i = 0; i < 300 && !said.contains("program started"); ++i) {
        service.waitForReadyRead(100);
        said += service.readAll();
    }
    ASSERT_TRUE(said.contains("program started")) << said.toStdString();
    std::string told;
    const int status = RunProgram([&](int) {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && told.empty()) {
            told = box->text().toStdString();
            box->button(QMessageBox::Ok)->click();
        }
    });
    EXPECT_EQ(status, 1);
    // The window found is the other copy's: this start opened none of its own.
    EXPECT_EQ(QtWindowWidget(MainWindow()), nullptr);
    EXPECT_NE(told.find("without a window anybody can see"), std::string::npos) << told;
    EXPECT_NE(told.find("systemctl --user stop cradlecom"), std::string::npos) << told;
    EXPECT_EQ(service.state(), QProcess::Running);
    service.terminate();
    service.waitForFinished(10000);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const std::string made = MakePrivateHome("desktop");
    if (made.empty())
        return 1;
    home = made;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result = 1;
    std::string error;
    std::string silence = WriteSilenceWav(home, 2);
    if (!QtPlatformInit(&argc, argv))
        std::fprintf(stderr, "desktop_test: no display\n");
    else if (silence.empty() || !SetWaveInputSource(silence.c_str(), &error) ||
             !SetPhoneBackend("log", &error))
        std::fprintf(stderr, "desktop_test: cannot prepare the run: %s\n", error.c_str());
    else
        result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
