// SPDX-License-Identifier: GPL-3.0-or-later
// The exit question's buttons speak the program's language: the whole
// program runs on Qt's offscreen platform in a private home, is asked to
// exit in German, switched to English through its language dialog, and asked
// again.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "../private_home.h"
#include "../silence_wav.h"
#include "platform/alsa/wave_source.h"
#include "platform/phone/phone_backend.h"
#include "platform/platform.h"
#include "platform/qt/qt_platform.h"
#include "shell/shell.h"

struct PlatformInstance {
    int unused;
};

namespace {

PlatformInstance programInstance;
std::filesystem::path home;

// The exit question's two buttons as shown, without their mnemonics.
struct Question {
    std::string yes;
    std::string no;
};

// Steps through the run on the platform's own loop: ask, answer No, switch
// to English, ask, answer Yes (which ends the program).
struct Driver {
    int step = 0;
    int polls = 0;
    std::vector<Question> questions;
};

Driver driver;

HWND MainWindow()
{
    return FindWindowW(u"CradleCom", u"Cradlecom");
}

bool AnswerQuestion(QMessageBox::StandardButton answer)
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->button(QMessageBox::Yes) == nullptr)
        return false;
    driver.questions.push_back({box->button(QMessageBox::Yes)->text().remove('&').toStdString(),
                                box->button(QMessageBox::No)->text().remove('&').toStdString()});
    box->button(answer)->click();
    return true;
}

void Poll()
{
    ++driver.polls;
    HWND window = MainWindow();
    if (window == nullptr)
        return;
    switch (driver.step) {
    case 0:
    case 3:
        PostMessageW(window, WM_COMMAND, 900, 0);
        ++driver.step;
        break;
    case 1:
        if (AnswerQuestion(QMessageBox::No))
            ++driver.step;
        break;
    case 2:
        if (QtOpenDialog() == nullptr) {
            PostMessageW(window, WM_COMMAND, 450, 0);
        } else if (auto* english =
                       qobject_cast<QAbstractButton*>(QtDialogItem(QtOpenDialog(), 101))) {
            english->click();
            PostMessageW(QtOpenDialog(), WM_COMMAND, IDOK, 0);
            ++driver.step;
        }
        break;
    case 4:
        if (AnswerQuestion(QMessageBox::Yes))
            ++driver.step;
        break;
    default:
        break;
    }
    // Bounded: a run that never gets there is closed, and the test fails.
    if (driver.polls == 400)
        PostMessageW(window, WM_CLOSE, 0, 0);
}

TEST(QtLanguage, ExitQuestionButtonsFollowTheLanguage)
{
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, Poll);
    timer.start(50);
    EXPECT_EQ(WinMain(&programInstance, nullptr, nullptr, SW_SHOW), 0);
    timer.stop();
    EXPECT_EQ(driver.step, 5) << "the run stopped at step " << driver.step;
    ASSERT_EQ(driver.questions.size(), 2u);
    EXPECT_EQ(driver.questions[0].yes, "Ja");
    EXPECT_EQ(driver.questions[0].no, "Nein");
    EXPECT_EQ(driver.questions[1].yes, "Yes");
    EXPECT_EQ(driver.questions[1].no, "No");
}

// The buttons of a box opened now, answered No.
Question AskNow()
{
    Question shown;
    QTimer::singleShot(50, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        shown = {box->button(QMessageBox::Yes)->text().remove('&').toStdString(),
                 box->button(QMessageBox::No)->text().remove('&').toStdString()};
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"?", u"Cradlecom", MB_YESNO | MB_ICONQUESTION), IDNO);
    return shown;
}

// A language without Qt texts is refused and changes nothing.
TEST(QtLanguage, UnknownLanguageKeepsTheTexts)
{
    EXPECT_EQ(SetThreadUILanguage(LANG_GERMAN_GERMANY), LANG_GERMAN_GERMANY);
    EXPECT_EQ(SetThreadUILanguage(0x040C), 0); // French
    Question shown = AskNow();
    EXPECT_EQ(shown.yes, "Ja");
    EXPECT_EQ(shown.no, "Nein");
    EXPECT_EQ(SetThreadUILanguage(LANG_ENGLISH_US), LANG_ENGLISH_US);
    shown = AskNow();
    EXPECT_EQ(shown.yes, "Yes");
    EXPECT_EQ(shown.no, "No");
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // A store of a first start already made, without a Language: German.
    const std::string made = MakePrivateHome("language");
    if (made.empty())
        return 1;
    home = made;
    std::filesystem::create_directories(home / "cradlecom");
    if (std::FILE* store = std::fopen((home / "cradlecom" / "registry").c_str(), "w")) {
        std::fputs("[Software\\Veltrano\\CradleCom\\Settings]\nFirstUse = sz:1\n", store);
        std::fclose(store);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QtPlatformInit(&argc, argv);
    std::string silence = WriteSilenceWav(home, 2);
    std::string error;
    int result = 1;
    if (silence.empty() || !SetWaveInputSource(silence.c_str(), &error) ||
        !SetPhoneBackend("log", &error))
        std::fprintf(stderr, "qt_language_test: cannot prepare the run: %s\n", error.c_str());
    else
        result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
