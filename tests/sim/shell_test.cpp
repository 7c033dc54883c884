// SPDX-License-Identifier: GPL-3.0-or-later
// Menu bars from menu-bar records, dialogs from templates with their
// controls, the Escape/Back key with and without the override, and the end
// of a run reaching an open dialog.
#include <gtest/gtest.h>

#include "platform/dialog.h"
#include "platform/resource.h"
#include "platform/sim/sim_window.h"

namespace {

std::vector<WPARAM> commands;
int ticks = 0;

LRESULT MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        commands.push_back(wParam);
    if (message == WM_TIMER)
        ++ticks;
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

bool overrideEscape = true;
std::u16string delayRead;

LRESULT PhoneProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SHINITDLGINFO init{SHIDIM_FLAGS, dialog, SHIDIF_SIZEDLGFULLSCREEN};
        SHInitDialog(&init);
        SHMENUBARINFO bar{};
        bar.cbSize = 36;
        bar.hwndParent = dialog;
        bar.nToolBarId = 115;
        bar.hInstRes = SimInstance();
        if (SHCreateMenuBar(&bar)) {
            SetWindowTextW(dialog, u"Cradlecom");
            if (overrideEscape)
                SendMessageW(bar.hwndMB, SHCMBM_OVERRIDEKEY, VK_ESCAPE, 0x00030003);
        }
        SetDlgItemTextW(dialog, 100, u"0171");
        SendDlgItemMessageW(dialog, 110, EM_LIMITTEXT, 3, 0);
        return 1;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            WCHAR text[8];
            GetDlgItemTextW(dialog, 110, text, 8);
            delayRead = text;
            EndDialog(dialog, 0);
            return 1;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, -1);
            return 1;
        }
        return 0;
    case WM_HOTKEY:
        if (HIWORD(static_cast<WPARAM>(lParam)) == VK_ESCAPE) {
            SHSendBackToFocusWindow(message, wParam, lParam);
            return 1;
        }
        return 0;
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return 1;
    default:
        return 0;
    }
}

LRESULT LanguageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageW(dialog, 100, BM_SETCHECK, BST_CHECKED, 0);
        return 1;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, SendDlgItemMessageW(dialog, 101, BM_GETCHECK, 0, 0) != 0 ? 1 : 0);
        return 1;
    }
    return 0;
}

const DLGTEMPLATE* Template(UINT id)
{
    return static_cast<const DLGTEMPLATE*>(
        LoadResource(SimInstance(), FindResourceW(SimInstance(), id, RT_DIALOG)));
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimReset();
        commands.clear();
        ticks = 0;
        overrideEscape = true;
        delayRead.clear();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = MainProc;
        windowClass.lpszClassName = u"Main";
        RegisterClassW(&windowClass);
        window =
            CreateWindowExW(0, u"Main", u"Cradlecom", 0, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, SimInstance(), nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { SimReset(); }

    BOOL CreateBar(UINT id, HWND* bar = nullptr)
    {
        SHMENUBARINFO info{};
        info.cbSize = 36;
        info.hwndParent = window;
        info.nToolBarId = id;
        info.hInstRes = SimInstance();
        BOOL created = SHCreateMenuBar(&info);
        if (bar != nullptr)
            *bar = info.hwndMB;
        return created;
    }

    HWND window = nullptr;
};

TEST_F(ShellTest, MenuBarComesFromItsRecordAndTakesANewCaption)
{
    HWND bar = nullptr;
    ASSERT_TRUE(CreateBar(101, &bar));
    ASSERT_NE(bar, nullptr);
    std::vector<SimMenuButton> buttons = SimMenuBarButtons(window);
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0].command, 500);
    EXPECT_EQ(buttons[0].text, u"Start");
    EXPECT_FALSE(buttons[0].hasPopup);
    EXPECT_EQ(buttons[1].command, 100);
    EXPECT_EQ(buttons[1].text, u"Menü");
    EXPECT_TRUE(buttons[1].hasPopup);

    WCHAR stop[] = u"Stopp";
    TBBUTTONINFOW caption{};
    caption.cbSize = 32;
    caption.dwMask = TBIF_TEXT;
    caption.pszText = stop;
    EXPECT_NE(SendMessageW(bar, TB_SETBUTTONINFOW, 500, reinterpret_cast<LPARAM>(&caption)), 0);
    EXPECT_EQ(SimMenuBarButtons(window)[0].text, u"Stopp");

    EXPECT_TRUE(SimPressMenuBarButton(window, 0));
    EXPECT_TRUE(SimChooseMenuCommand(window, 900));
    EXPECT_FALSE(SimChooseMenuCommand(window, 901));
    EXPECT_TRUE(commands.empty()); // posted, not sent
    SimPumpMessages(0);
    EXPECT_EQ(commands, (std::vector<WPARAM>{500, 900}));

    // A new bar replaces the current one; a missing record or a failure
    // injected for once leaves it.
    ASSERT_TRUE(CreateBar(116));
    EXPECT_EQ(SimMenuBarButtons(window)[0].text, u"Start");
    EXPECT_EQ(SimMenuBarButtons(window)[1].text, u"Menu");
    EXPECT_FALSE(CreateBar(999));
    SimFailShellNext(SimShellOp::CreateMenuBar);
    EXPECT_FALSE(CreateBar(101));
    EXPECT_EQ(SimMenuBarButtons(window)[1].text, u"Menu");
    EXPECT_TRUE(CreateBar(101));
    EXPECT_EQ(SimMenuBarsCreated(window), 3);
}

TEST_F(ShellTest, PhoneDialogBuildsItsControlsAndTakesTypingAndTheBackKey)
{
    SimOnDialog([](HWND dialog) {
        EXPECT_EQ(SimDialogOpen(), dialog);
        EXPECT_EQ(SimDialogTemplateId(dialog), 114u);
        EXPECT_TRUE(SimDialogFullScreen(dialog));
        EXPECT_EQ(SimDialogCaption(dialog), u"Cradlecom");
        std::vector<SimDialogControl> items = SimDialogItems(dialog);
        ASSERT_EQ(items.size(), 16u);
        EXPECT_EQ(items[0].id, 100);
        EXPECT_EQ(items[1].id, 110);
        EXPECT_EQ(items[3].text, u"Rufnummer");
        EXPECT_EQ(items[8].className, u"BUTTON");
        EXPECT_EQ(items[1].textLimit, 3);
        EXPECT_EQ(SimDialogFocused(dialog), 100); // the first tab stop
        EXPECT_EQ(SimDialogItemText(dialog, 100), u"0171");

        EXPECT_TRUE(SimDialogType(dialog, 110, u"4a5b67"));
        EXPECT_EQ(SimDialogItemText(dialog, 110), u"456");
        EXPECT_EQ(SimDialogFocused(dialog), 110);
        EXPECT_FALSE(SimDialogType(dialog, 60, u"1")); // a label

        SimDialogPressEscape(dialog);
        EXPECT_EQ(SimDialogItemText(dialog, 110), u"45");
        EXPECT_EQ(SimDialogOpen(), dialog);

        std::vector<SimMenuButton> buttons = SimDialogMenuBarButtons(dialog);
        ASSERT_EQ(buttons.size(), 2u);
        EXPECT_EQ(buttons[0].text, u"Cancel");
        EXPECT_TRUE(SimPressDialogMenuBarButton(dialog, 1)); // OK
    });
    EXPECT_EQ(DialogBoxIndirectParamW(SimInstance(), Template(114), window, PhoneProc, 0), 0);
    EXPECT_EQ(delayRead, u"45");
    ASSERT_EQ(SimBackKeys().size(), 1u);
    EXPECT_EQ(SimBackKeys()[0].control, 110);
    EXPECT_EQ(SimBackKeys()[0].message, WM_HOTKEY);
    EXPECT_EQ(SimBackKeys()[0].lParam, (VK_ESCAPE << 16) | 0x0003);
    ASSERT_EQ(SimDialogRuns().size(), 1u);
    EXPECT_EQ(SimDialogRuns()[0].templateId, 114u);
    EXPECT_EQ(SimDialogRuns()[0].result, 0);
    EXPECT_EQ(SimDialogOpen(), nullptr);
}

TEST_F(ShellTest, EscapeWithoutTheOverrideCancelsTheDialog)
{
    overrideEscape = false;
    SimOnDialog([](HWND dialog) { SimDialogPressEscape(dialog); });
    EXPECT_EQ(DialogBoxIndirectParamW(SimInstance(), Template(114), window, PhoneProc, 0), -1);
    EXPECT_TRUE(SimBackKeys().empty());
}

TEST_F(ShellTest, TimerTicksWhileADialogWaitsAndTheRunEndClosesIt)
{
    SetTimer(window, 100, 100, nullptr);
    SimSetEndTime(5 * 11025 + 3);
    LRESULT result = 0;
    SimAt(100, [&] {
        result = DialogBoxIndirectParamW(SimInstance(), Template(114), window, PhoneProc, 0);
    });
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    EXPECT_EQ(result, -1); // closed by the end of the run
    EXPECT_EQ(ticks, 5);
    EXPECT_FALSE(SimWindowAlive(window));
    EXPECT_EQ(SimFaults(), 0);
}

TEST_F(ShellTest, AutoRadioButtonsExcludeEachOther)
{
    SimOnDialog([](HWND dialog) {
        EXPECT_TRUE(SimDialogChecked(dialog, 100));
        EXPECT_TRUE(SimDialogClickRadio(dialog, 101));
        EXPECT_FALSE(SimDialogChecked(dialog, 100));
        EXPECT_TRUE(SimDialogChecked(dialog, 101));
        EXPECT_FALSE(SimDialogClickRadio(dialog, -1)); // a picture
        SimDialogPush(dialog, IDOK);
    });
    EXPECT_EQ(DialogBoxIndirectParamW(SimInstance(), Template(116), window, LanguageProc, 0), 1);
    EXPECT_EQ(SimDialogTemplateId(SimDialogRuns()[0].dialog), 116u);
}

} // namespace
