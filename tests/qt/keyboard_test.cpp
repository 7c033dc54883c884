// SPDX-License-Identifier: GPL-3.0-or-later
// Everything without a pointer: the menu bar's buttons on F1 and F2 and on
// their mnemonics, in the main window and in a dialog; Tab through a
// dialog's controls and Enter for OK. Keys go in as the window system would
// deliver them, shortcuts included.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "platform/qt/qt_platform.h"
#include "support.h"

namespace {

struct KeyLog {
    std::vector<WPARAM> commands;
    HWND bar = nullptr;
};
KeyLog keyLog;

LRESULT KeyDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        SHINITDLGINFO init{SHIDIM_FLAGS, dialog, SHIDIF_SIZEDLGFULLSCREEN};
        SHInitDialog(&init);
        SHMENUBARINFO bar{};
        bar.cbSize = 36;
        bar.hwndParent = dialog;
        bar.nToolBarId = 115; // Cancel on the left, OK on the right
        SHCreateMenuBar(&bar);
        keyLog.bar = bar.hwndMB;
        SendMessageW(bar.hwndMB, SHCMBM_OVERRIDEKEY, VK_ESCAPE, 0x00030003);
        return 1;
    }
    case WM_COMMAND:
        keyLog.commands.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 0);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, -1);
        }
        return 1;
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return 1;
    default:
        return 0;
    }
}

const DLGTEMPLATE* Template(UINT id)
{
    return static_cast<const DLGTEMPLATE*>(
        LoadResource(nullptr, FindResourceW(nullptr, id, RT_DIALOG)));
}

std::vector<WPARAM> Commands()
{
    std::vector<WPARAM> commands;
    for (const LoggedMessage& logged : testLog.messages) {
        if (logged.message == WM_COMMAND) {
            commands.push_back(logged.wParam);
        }
    }
    return commands;
}

QStringList ButtonTexts(HWND bar)
{
    QStringList texts;
    for (QPushButton* button : QtWindowWidget(bar)->findChildren<QPushButton*>()) {
        texts << button->text();
    }
    return texts;
}

// Makes `frame` the window that keys go to. Needed again after a menu has
// been open: the offscreen display leaves the closed menu active, where a
// desktop gives the activation back.
bool Activate(QWidget* frame)
{
    frame->activateWindow();
    return QTest::qWaitFor([frame] { return QApplication::activeWindow() == frame; }, 3000);
}

// Runs a dialog from template `id`, handing it to `keys` once it is up and
// active; the dialog's result.
LRESULT RunDialog(HWND owner, UINT id, const std::function<void(QWidget*)>& keys)
{
    keyLog = KeyLog{};
    QTimer::singleShot(100, [&keys] {
        QWidget* frame = QtWindowWidget(QtOpenDialog());
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(Activate(frame));
        keys(frame);
    });
    // Bounded: a dialog that the keys did not end is closed.
    QTimer::singleShot(3000, [] {
        if (QtOpenDialog() != nullptr) {
            QtWindowWidget(QtOpenDialog())->close();
        }
    });
    return DialogBoxIndirectParamW(nullptr, Template(id), owner, KeyDlgProc, 0);
}

class QtKeyboardTest : public QtWindowTest {
protected:
    void SetUp() override
    {
        QtWindowTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ShowWindow(window, SW_SHOW);
        frame = QtWindowWidget(window);
        ASSERT_TRUE(Activate(frame));
    }

    QWidget* frame = nullptr;
};

TEST_F(QtKeyboardTest, MainBarButtonsOnSoftKeysAndMnemonics)
{
    SHMENUBARINFO info{};
    info.cbSize = 36;
    info.hwndParent = window;
    info.nToolBarId = 101; // German: Start, Menü
    ASSERT_TRUE(SHCreateMenuBar(&info));
    EXPECT_EQ(ButtonTexts(info.hwndMB), QStringList({"&Start", "&Menü"}));

    QTest::keyClick(frame, Qt::Key_F1);
    RunLoopFor(50);
    EXPECT_EQ(Commands(), std::vector<WPARAM>({500}));
    QTest::keyClick(frame, Qt::Key_S, Qt::AltModifier);
    RunLoopFor(250); // a mnemonic shows the button pressed for a moment first
    EXPECT_EQ(Commands(), std::vector<WPARAM>({500, 500}));

    // F2 opens the menu, which the arrow keys and Enter work.
    QTest::keyClick(frame, Qt::Key_F2);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    RunLoopFor(50);
    EXPECT_EQ(Commands(), std::vector<WPARAM>({500, 500, 200}));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    ASSERT_TRUE(Activate(frame));
    QTest::keyClick(frame, Qt::Key_M, Qt::AltModifier);
    RunLoopFor(250);
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    ASSERT_TRUE(Activate(frame));

    // A new caption gets a mnemonic that the other button has not taken.
    WCHAR stop[] = u"Stopp";
    TBBUTTONINFOW button{};
    button.cbSize = sizeof button;
    button.dwMask = TBIF_TEXT;
    button.pszText = stop;
    SendMessageW(info.hwndMB, TB_SETBUTTONINFOW, 500, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(ButtonTexts(info.hwndMB), QStringList({"&Stopp", "&Menü"}));
    WCHAR clash[] = u"Menge & mehr";
    button.pszText = clash;
    SendMessageW(info.hwndMB, TB_SETBUTTONINFOW, 500, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(ButtonTexts(info.hwndMB), QStringList({"M&enge && mehr", "&Menü"}));
    QTest::keyClick(frame, Qt::Key_E, Qt::AltModifier);
    RunLoopFor(250);
    EXPECT_EQ(Commands(), std::vector<WPARAM>({500, 500, 200, 500}));

    // The English bar, and only the bar in force answers the keys.
    SHMENUBARINFO english = info;
    english.nToolBarId = 116;
    ASSERT_TRUE(SHCreateMenuBar(&english));
    RunLoopFor(50);
    EXPECT_EQ(ButtonTexts(english.hwndMB), QStringList({"&Start", "&Menu"}));
    QTest::keyClick(frame, Qt::Key_F1);
    RunLoopFor(50);
    EXPECT_EQ(Commands(), std::vector<WPARAM>({500, 500, 200, 500, 500}));
}

TEST_F(QtKeyboardTest, DialogBarOnSoftKeysAndMnemonics)
{
    EXPECT_EQ(RunDialog(window, 115,
                        [](QWidget* dialog) {
                            EXPECT_EQ(ButtonTexts(keyLog.bar), QStringList({"&Cancel", "&OK"}));
                            QTest::keyClick(dialog, Qt::Key_F1);
                        }),
              -1);
    EXPECT_EQ(keyLog.commands, std::vector<WPARAM>({IDCANCEL}));
    EXPECT_EQ(RunDialog(window, 115, [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_F2); }),
              0);
    EXPECT_EQ(keyLog.commands, std::vector<WPARAM>({IDOK}));
    EXPECT_EQ(
        RunDialog(window, 115,
                  [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_O, Qt::AltModifier); }),
        0);
    EXPECT_EQ(keyLog.commands, std::vector<WPARAM>({IDOK}));
    // The main window's keys stay with the main window: none reached it.
    EXPECT_TRUE(Commands().empty());
}

TEST_F(QtKeyboardTest, TabThroughTheControlsAndEnterIsOk)
{
    // Phone dialog: the three boxes in template order, typed into.
    EXPECT_EQ(RunDialog(window, 114,
                        [](QWidget* dialog) {
                            HWND open = QtOpenDialog();
                            QWidget* number = QtDialogItem(open, 100);
                            QWidget* delay = QtDialogItem(open, 110);
                            QWidget* calls = QtDialogItem(open, 120);
                            EXPECT_EQ(QApplication::focusWidget(), number);
                            QTest::keyClicks(QApplication::focusWidget(), "0171");
                            QTest::keyClick(dialog, Qt::Key_Tab);
                            EXPECT_EQ(QApplication::focusWidget(), delay);
                            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                            EXPECT_EQ(QApplication::focusWidget(), calls);
                            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
                            EXPECT_EQ(QApplication::focusWidget(), delay);
                            QTest::keyClicks(QApplication::focusWidget(), "5");
                            EXPECT_EQ(qobject_cast<QLineEdit*>(number)->text(), "0171");
                            EXPECT_EQ(qobject_cast<QLineEdit*>(delay)->text(), "5");
                            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                        }),
              0);
    EXPECT_EQ(keyLog.commands, std::vector<WPARAM>({IDOK}));

    // Microphone dialog: Tab reaches the push buttons, Space presses the one
    // with the focus, Enter on it is still OK.
    EXPECT_EQ(RunDialog(window, 113,
                        [](QWidget*) {
                            HWND open = QtOpenDialog();
                            EXPECT_EQ(QApplication::focusWidget(), QtDialogItem(open, 200));
                            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                            EXPECT_EQ(QApplication::focusWidget(), QtDialogItem(open, 210));
                            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
                            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
                        }),
              0);
    EXPECT_EQ(keyLog.commands, std::vector<WPARAM>({210, IDOK}));
}

// Dimmed for the night, the window is drawn at about a sixth of its light,
// and a key or click only counts as input: the soft key and the button do
// nothing until it is bright again.
TEST_F(QtKeyboardTest, DimmedWindowTakesKeysAndClicksOnlyAsInput)
{
    SHMENUBARINFO info{};
    info.cbSize = 36;
    info.hwndParent = window;
    info.nToolBarId = 101; // German: Start, Menü
    ASSERT_TRUE(SHCreateMenuBar(&info));
    RunLoopFor(50);
    auto blueAt = [this] { return qBlue(frame->grab().toImage().pixel(100, 100)); };
    ASSERT_EQ(blueAt(), 255);
    LASTINPUTINFO before{sizeof before, 0};
    ASSERT_TRUE(GetLastInputInfo(&before));

    ASSERT_TRUE(DimWindow(window, TRUE));
    RunLoopFor(50);
    EXPECT_NEAR(blueAt(), 255 / 6, 8);
    QTest::keyClick(frame, Qt::Key_F1);
    QTest::mouseClick(QtWindowWidget(info.hwndMB)->findChildren<QPushButton*>().at(0),
                      Qt::LeftButton);
    RunLoopFor(50);
    EXPECT_TRUE(Commands().empty());
    LASTINPUTINFO after{sizeof after, 0};
    ASSERT_TRUE(GetLastInputInfo(&after));
    EXPECT_NE(after.dwTime, before.dwTime);

    ASSERT_TRUE(DimWindow(window, FALSE));
    RunLoopFor(50);
    EXPECT_EQ(blueAt(), 255);
    QTest::keyClick(frame, Qt::Key_F1);
    RunLoopFor(50);
    EXPECT_EQ(Commands(), std::vector<WPARAM>({500}));
}

} // namespace
