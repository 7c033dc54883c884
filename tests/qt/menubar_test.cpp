// SPDX-License-Identifier: GPL-3.0-or-later
// Menu bars built from the program's menu-bar records.
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/qt/qt_platform.h"
#include "support.h"

namespace {

QPushButton* ButtonWithText(HWND bar, const QString& text)
{
    QWidget* widget = QtWindowWidget(bar);
    if (widget == nullptr) {
        return nullptr;
    }
    for (QPushButton* button : widget->findChildren<QPushButton*>()) {
        if (WithoutMnemonic(button->text()) == text) {
            return button;
        }
    }
    return nullptr;
}

SHMENUBARINFO BarInfo(HWND parent, UINT id)
{
    SHMENUBARINFO info{};
    info.cbSize = 36;
    info.hwndParent = parent;
    info.nToolBarId = id;
    return info;
}

using QtMenuBarTest = QtWindowTest;

TEST_F(QtMenuBarTest, ButtonsPostTheirCommandsAndCaptionsChange)
{
    SHMENUBARINFO info = BarInfo(window, 116);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    ASSERT_NE(info.hwndMB, nullptr);
    ShowWindow(window, SW_SHOW);
    QPushButton* start = ButtonWithText(info.hwndMB, QStringLiteral("Start"));
    ASSERT_NE(start, nullptr);
    ASSERT_NE(ButtonWithText(info.hwndMB, QStringLiteral("Menu")), nullptr);

    // The bar sits below the client area, which keeps its size.
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 268);
    EXPECT_GE(QtWindowWidget(info.hwndMB)->geometry().top(), 268);

    start->click();
    EXPECT_EQ(CountMessages(WM_COMMAND), 0); // posted, not sent
    RunLoopFor(50);
    ASSERT_EQ(CountMessages(WM_COMMAND, window), 1);

    WCHAR stop[] = u"Stop";
    TBBUTTONINFOW button{};
    button.cbSize = sizeof(button);
    button.dwMask = TBIF_TEXT;
    button.pszText = stop;
    EXPECT_NE(SendMessageW(info.hwndMB, TB_SETBUTTONINFOW, 500, reinterpret_cast<LPARAM>(&button)),
              0);
    EXPECT_EQ(WithoutMnemonic(start->text()), QStringLiteral("Stop"));
    EXPECT_EQ(SendMessageW(info.hwndMB, TB_SETBUTTONINFOW, 777, reinterpret_cast<LPARAM>(&button)),
              0);

    for (const LoggedMessage& logged : testLog.messages) {
        if (logged.message == WM_COMMAND) {
            EXPECT_EQ(logged.wParam, 500u);
        }
    }
}

TEST_F(QtMenuBarTest, DropDownOpensThePopUpWhoseItemsPostTheirCommands)
{
    SHMENUBARINFO info = BarInfo(window, 101);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    ShowWindow(window, SW_SHOW);
    QPushButton* menuButton = ButtonWithText(info.hwndMB, QStringLiteral("Menü"));
    ASSERT_NE(menuButton, nullptr);
    menuButton->click();
    QMenu* popup = menuButton->findChild<QMenu*>();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isVisible());
    QStringList texts;
    int separators = 0;
    QAction* exit = nullptr;
    for (QAction* action : popup->actions()) {
        if (action->isSeparator()) {
            ++separators;
            continue;
        }
        texts << action->text();
        if (action->text() == QStringLiteral("Beenden")) {
            exit = action;
        }
    }
    EXPECT_EQ(texts, QStringList({"Mikrofon", "Telefon", "Sprache", "Kontakt", "Beenden"}));
    EXPECT_EQ(separators, 2);
    ASSERT_NE(exit, nullptr);
    exit->trigger();
    RunLoopFor(50);
    ASSERT_EQ(CountMessages(WM_COMMAND, window), 1);
    for (const LoggedMessage& logged : testLog.messages) {
        if (logged.message == WM_COMMAND) {
            EXPECT_EQ(logged.wParam, 900u); // the drop-down button sends nothing itself
        }
    }
}

TEST_F(QtMenuBarTest, NewBarReplacesTheOldAndMissingRecordsFail)
{
    SHMENUBARINFO first = BarInfo(window, 101);
    ASSERT_TRUE(SHCreateMenuBar(&first));
    QWidget* firstWidget = QtWindowWidget(first.hwndMB);
    ASSERT_NE(firstWidget, nullptr);
    ShowWindow(window, SW_SHOW);
    SHMENUBARINFO second = BarInfo(window, 116);
    ASSERT_TRUE(SHCreateMenuBar(&second));
    EXPECT_NE(second.hwndMB, first.hwndMB);
    EXPECT_EQ(QtWindowWidget(first.hwndMB), nullptr);
    EXPECT_NE(ButtonWithText(second.hwndMB, QStringLiteral("Menu")), nullptr);
    RunLoopFor(50); // lets the old bar go
    QWidget* frame = QtWindowWidget(window);
    int bars = 0;
    for (QPushButton* button : frame->findChildren<QPushButton*>()) {
        if (WithoutMnemonic(button->text()) == QStringLiteral("Start")) {
            ++bars;
        }
    }
    EXPECT_EQ(bars, 1);

    SHMENUBARINFO missing = BarInfo(window, 4242);
    EXPECT_FALSE(SHCreateMenuBar(&missing));
    EXPECT_EQ(missing.hwndMB, nullptr);
    SHMENUBARINFO orphan = BarInfo(nullptr, 101);
    EXPECT_FALSE(SHCreateMenuBar(&orphan));
}

} // namespace
