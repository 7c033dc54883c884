// SPDX-License-Identifier: GPL-3.0-or-later
// Dialogs from the program's templates: controls, the full-screen frame,
// the Escape/Back override and the nested loop.
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/qt/qt_platform.h"
#include "support.h"

namespace {

// A template rectangle in pixels at scale 1, from the dialog units of the
// application's font at 8 points: the mean width of the Latin alphabet,
// as the platform takes it, and the font's height.
QRect DialogUnits(int x, int y, int width, int height)
{
    QFont font = QApplication::font();
    font.setPointSize(8);
    QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const int baseY = metrics.height();
    return QRect(x * baseX / 4, y * baseY / 8, width * baseX / 4, height * baseY / 8);
}

struct DialogLog {
    std::vector<LoggedMessage> messages;
    HWND dialog = nullptr;
    HWND bar = nullptr;
    UINT barId = 115;
    bool overrideEscape = true;
};
DialogLog dialogLog;

LRESULT TestDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    dialogLog.messages.push_back({dialog, message, wParam, lParam});
    switch (message) {
    case WM_INITDIALOG: {
        dialogLog.dialog = dialog;
        SHINITDLGINFO init{SHIDIM_FLAGS, dialog, SHIDIF_SIZEDLGFULLSCREEN};
        SHInitDialog(&init);
        SHMENUBARINFO bar{};
        bar.cbSize = 36;
        bar.hwndParent = dialog;
        bar.nToolBarId = dialogLog.barId;
        SHCreateMenuBar(&bar);
        dialogLog.bar = bar.hwndMB;
        SetWindowTextW(dialog, u"Cradlecom");
        if (dialogLog.overrideEscape) {
            SendMessageW(bar.hwndMB, SHCMBM_OVERRIDEKEY, VK_ESCAPE, 0x00030003);
        }
        return 1;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 0);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, -1);
        }
        return 1;
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return 1;
    case WM_HOTKEY:
        if (HIWORD(static_cast<WPARAM>(lParam)) == VK_ESCAPE) {
            SHSendBackToFocusWindow(message, wParam, lParam);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

int CountDialogMessages(UINT message, WPARAM wParam)
{
    int count = 0;
    for (const LoggedMessage& logged : dialogLog.messages) {
        if (logged.message == message && logged.wParam == wParam) {
            ++count;
        }
    }
    return count;
}

const DLGTEMPLATE* Template(UINT id)
{
    return static_cast<const DLGTEMPLATE*>(
        LoadResource(nullptr, FindResourceW(nullptr, id, RT_DIALOG)));
}

void PressKey(QWidget* target, int key, const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

QString ItemText(int id, int capacity = 256)
{
    std::vector<WCHAR> buffer(static_cast<std::size_t>(capacity) + 1, u'#');
    UINT length = GetDlgItemTextW(dialogLog.dialog, id, buffer.data(), capacity);
    return QString::fromUtf16(buffer.data(), static_cast<int>(length));
}

// The sizes of the dialog's picture controls.
std::vector<QSize> PictureSizes(HWND dialog)
{
    std::vector<QSize> sizes;
    for (QLabel* label : QtWindowWidget(dialog)->findChildren<QLabel*>()) {
        if (!label->pixmap().isNull())
            sizes.push_back(label->size());
    }
    return sizes;
}

class QtDialogTest : public QtWindowTest {
protected:
    void SetUp() override
    {
        dialogLog = DialogLog{};
        QtWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        ShowWindow(window, SW_SHOW);
        SetTimer(window, 100, 100, nullptr);
    }
};

TEST_F(QtDialogTest, MicrophoneTemplateBuildsItsControlsAndKeepsTheTimer)
{
    const DLGTEMPLATE* micTemplate = Template(113);
    ASSERT_NE(micTemplate, nullptr);
    bool checked = false;
    QTimer::singleShot(300, [&] {
        HWND dialog = dialogLog.dialog;
        ASSERT_NE(dialog, nullptr);
        QWidget* frame = QtWindowWidget(dialog);
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(frame->isVisible());
        EXPECT_EQ(frame->windowTitle(), QStringLiteral("Cradlecom"));
        EXPECT_EQ(frame->geometry(), QtWindowWidget(window)->geometry()); // covers the owner

        auto* minus = qobject_cast<QPushButton*>(QtDialogItem(dialog, 200));
        ASSERT_NE(minus, nullptr);
        EXPECT_EQ(minus->text(), QStringLiteral("-"));
        EXPECT_EQ(minus->geometry(), DialogUnits(68, 18, 12, 9));

        EXPECT_EQ(ItemText(51), QStringLiteral("Empfindlichkeit"));
        EXPECT_TRUE(SetDlgItemTextW(dialog, 51, u"Sensitivity"));
        EXPECT_EQ(ItemText(51), QStringLiteral("Sensitivity"));
        EXPECT_EQ(ItemText(51, 5), QStringLiteral("Sens"));

        auto* bar = qobject_cast<QProgressBar*>(QtDialogItem(dialog, 100));
        ASSERT_NE(bar, nullptr);
        SendDlgItemMessageW(dialog, 100, PBM_SETPOS, 40, 0);
        EXPECT_EQ(bar->value(), 40);
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 100);

        auto* group = qobject_cast<QGroupBox*>(QtDialogItem(dialog, 50));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), QStringLiteral("Mikrofon"));
        SetDlgItemTextW(dialog, 60, u"Calling");
        EXPECT_EQ(ItemText(60), QStringLiteral("Calling"));
        // Frames lie below the controls they hold.
        QObjectList stack = minus->parentWidget()->children();
        EXPECT_TRUE(stack.indexOf(group) < stack.indexOf(minus));

        // Escape goes to the procedure and leaves the dialog open.
        PressKey(frame, Qt::Key_Escape);
        bool hotKey = false;
        for (const LoggedMessage& logged : dialogLog.messages) {
            hotKey = hotKey || (logged.message == WM_HOTKEY &&
                                HIWORD(static_cast<WPARAM>(logged.lParam)) == VK_ESCAPE);
        }
        EXPECT_TRUE(hotKey);
        EXPECT_EQ(CountDialogMessages(WM_COMMAND, IDCANCEL), 0);

        qobject_cast<QPushButton*>(QtDialogItem(dialog, 210))->click();
        EXPECT_EQ(CountDialogMessages(WM_COMMAND, 210), 1);
        checked = true;
    });
    QTimer::singleShot(700, [&] {
        ASSERT_NE(dialogLog.dialog, nullptr);
        QtWindowWidget(dialogLog.dialog)->close(); // the window manager's close button
    });
    LRESULT result = DialogBoxIndirectParamW(nullptr, micTemplate, window, TestDlgProc, 77);
    EXPECT_TRUE(checked);
    EXPECT_EQ(result, -1);
    ASSERT_FALSE(dialogLog.messages.empty());
    EXPECT_EQ(dialogLog.messages.front().message, WM_INITDIALOG);
    EXPECT_EQ(dialogLog.messages.front().lParam, 77);
    EXPECT_EQ(CountDialogMessages(WM_CLOSE, 0), 1);
    EXPECT_GE(CountMessages(WM_TIMER, window), 5);
    EXPECT_EQ(QtWindowWidget(dialogLog.dialog), nullptr);
}

TEST_F(QtDialogTest, PhoneEditBoxesTakeDigitsAndTheBackKeyDeletes)
{
    bool checked = false;
    QTimer::singleShot(200, [&] {
        HWND dialog = dialogLog.dialog;
        auto* delay = qobject_cast<QLineEdit*>(QtDialogItem(dialog, 110));
        ASSERT_NE(delay, nullptr);
        PressKey(delay, Qt::Key_A, QStringLiteral("a"));
        PressKey(delay, Qt::Key_5, QStringLiteral("5"));
        EXPECT_EQ(delay->text(), QStringLiteral("5"));

        auto* number = qobject_cast<QLineEdit*>(QtDialogItem(dialog, 100));
        ASSERT_NE(number, nullptr);
        SetDlgItemTextW(dialog, 100, u"+4912345");
        EXPECT_EQ(ItemText(100, 3), QStringLiteral("+4"));
        EXPECT_EQ(ItemText(100, 1), QString());
        SendDlgItemMessageW(dialog, 100, EM_LIMITTEXT, 24, 0);
        EXPECT_EQ(number->maxLength(), 24);

        number->setFocus();
        number->end(false);
        PressKey(number, Qt::Key_Escape); // the Back key in the number box
        EXPECT_EQ(number->text(), QStringLiteral("+491234"));
        EXPECT_EQ(CountDialogMessages(WM_COMMAND, IDCANCEL), 0);
        checked = true;

        // The dialog's own OK button on its menu bar.
        QPushButton* ok = nullptr;
        for (QPushButton* button : QtWindowWidget(dialogLog.bar)->findChildren<QPushButton*>()) {
            if (WithoutMnemonic(button->text()) == QStringLiteral("OK")) {
                ok = button;
            }
        }
        ASSERT_NE(ok, nullptr);
        ok->click();
    });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, Template(114), window, TestDlgProc, 0), 0);
    EXPECT_TRUE(checked);
    EXPECT_EQ(CountDialogMessages(WM_COMMAND, IDOK), 1);
}

TEST_F(QtDialogTest, LanguageRadioButtonsAreOneGroupAndEscapeCancelsWithoutOverride)
{
    dialogLog.overrideEscape = false;
    dialogLog.barId = 114;
    bool checked = false;
    QTimer::singleShot(200, [&] {
        HWND dialog = dialogLog.dialog;
        EXPECT_EQ(SendDlgItemMessageW(dialog, 100, BM_GETCHECK, 0, 0),
                  static_cast<LRESULT>(BST_UNCHECKED));
        SendDlgItemMessageW(dialog, 100, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 100, BM_GETCHECK, 0, 0),
                  static_cast<LRESULT>(BST_CHECKED));
        SendDlgItemMessageW(dialog, 101, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 100, BM_GETCHECK, 0, 0),
                  static_cast<LRESULT>(BST_UNCHECKED));
        EXPECT_EQ(SendDlgItemMessageW(dialog, 101, BM_GETCHECK, 0, 0),
                  static_cast<LRESULT>(BST_CHECKED));
        SendDlgItemMessageW(dialog, 101, BM_SETCHECK, BST_UNCHECKED, 0);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 101, BM_GETCHECK, 0, 0),
                  static_cast<LRESULT>(BST_UNCHECKED));

        qobject_cast<QRadioButton*>(QtDialogItem(dialog, 100))->click();
        EXPECT_EQ(SendDlgItemMessageW(dialog, 100, BM_GETCHECK, 0, 0),
                  static_cast<LRESULT>(BST_CHECKED));

        EXPECT_EQ(PictureSizes(dialog), std::vector<QSize>(2, QSize(16, 12)));
        checked = true;
        PressKey(QtWindowWidget(dialog), Qt::Key_Escape);
    });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, Template(116), window, TestDlgProc, 0), -1);
    EXPECT_TRUE(checked);
    EXPECT_EQ(CountDialogMessages(WM_COMMAND, IDCANCEL), 1);
    EXPECT_EQ(CountDialogMessages(WM_HOTKEY, 0), 0);
}

// Over a window shown at twice its size, a dialog is laid out at twice its
// size too: controls, pictures and font.
TEST_F(QtDialogTest, DialogsTakeTheScaleOfTheirWindow)
{
    QtSetWindowScale(window, 2.0);
    RunLoopUntil([this] { return QtWindowSurface(window).width() == 480; }, 3000);
    dialogLog.overrideEscape = false;
    bool checked = false;
    QTimer::singleShot(200, [&] {
        HWND dialog = dialogLog.dialog;
        QRect designed = DialogUnits(20, 34, 10, 8);
        EXPECT_EQ(QtDialogItem(dialog, 100)->geometry(),
                  QRect(designed.topLeft() * 2, designed.size() * 2));
        EXPECT_EQ(QtDialogItem(dialog, 100)->font().pointSizeF(), 16.0);
        EXPECT_EQ(PictureSizes(dialog), std::vector<QSize>(2, QSize(32, 24)));
        checked = true;
        PressKey(QtWindowWidget(dialog), Qt::Key_Escape);
    });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, Template(116), window, TestDlgProc, 0), -1);
    EXPECT_TRUE(checked);
}

} // namespace
