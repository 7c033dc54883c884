// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's menu bar, built from a menu-bar record and its menu.
#include <algorithm>

#include "platform/resource.h"
#include "platform/sim/ui_internal.h"

namespace {

constexpr WORD noPopup = 65535;
constexpr int wordsPerButton = 7;

void CollectPopup(const MENUITEMTEMPLATE* items, int count, std::vector<SimMenuItem>* out)
{
    for (int i = 0; i < count && items != nullptr; ++i) {
        const MENUITEMTEMPLATE& item = items[i];
        if ((item.flags & MF_POPUP) != 0)
            CollectPopup(item.popupItems, item.popupCount, out);
        else if ((item.flags & MF_SEPARATOR) == 0)
            out->push_back(SimMenuItem{item.id, item.text != nullptr ? item.text : u""});
    }
}

PlatformWindow* CurrentBar(HWND window)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr)
        return nullptr;
    PlatformWindow* bar = SimLiveWindow(w->menuBar);
    return bar != nullptr && bar->kind == SimWindowKind::MenuBar ? bar : nullptr;
}

} // namespace

BOOL SHCreateMenuBar(SHMENUBARINFO* info)
{
    if (SimTakeShellFailure(SimShellOp::CreateMenuBar) || info == nullptr)
        return FALSE;
    PlatformWindow* parent = SimLiveWindow(info->hwndParent);
    if (parent == nullptr ||
        (parent->kind != SimWindowKind::Window && parent->kind != SimWindowKind::Dialog))
        return FALSE;
    HRSRC record = FindResourceW(info->hInstRes, info->nToolBarId, RT_RCDATA);
    if (record == nullptr)
        return FALSE;
    const auto* words = static_cast<const WORD*>(LoadResource(info->hInstRes, record));
    std::size_t wordCount = SizeofResource(info->hInstRes, record) / sizeof(WORD);
    if (words == nullptr || wordCount < 2 || wordCount < 2 + std::size_t{wordsPerButton} * words[1])
        return FALSE;
    HRSRC menuResource = FindResourceW(info->hInstRes, words[0], RT_MENU);
    if (menuResource == nullptr)
        return FALSE;
    const auto* menu = static_cast<const MENUTEMPLATE*>(LoadResource(info->hInstRes, menuResource));

    std::vector<SimMenuButton> buttons;
    std::vector<SimMenuItem> popup;
    for (int i = 0; i < words[1]; ++i) {
        const WORD* button = words + 2 + wordsPerButton * i;
        WORD command = button[1];
        WORD textId = button[4];
        WORD popupIndex = button[6];
        WCHAR text[256];
        int length = LoadStringW(info->hInstRes, textId, text, 256);
        bool hasPopup = popupIndex != noPopup && popupIndex < menu->count &&
                        (menu->items[popupIndex].flags & MF_POPUP) != 0;
        if (hasPopup) {
            const MENUITEMTEMPLATE& item = menu->items[popupIndex];
            CollectPopup(item.popupItems, item.popupCount, &popup);
        }
        buttons.push_back(SimMenuButton{command, std::u16string(text, length), hasPopup});
    }
    HWND bar = SimNewWindow(SimWindowKind::MenuBar, info->hwndParent);
    bar->visible = true;
    bar->buttons = std::move(buttons);
    bar->popup = std::move(popup);
    parent->menuBar = bar;
    ++parent->barsCreated;
    info->hwndMB = bar;
    return TRUE;
}

LRESULT SimMenuBarMessage(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformWindow* b = SimLiveWindow(bar);
    if (b == nullptr)
        return 0;
    if (message == TB_SETBUTTONINFOW) {
        const auto* info = reinterpret_cast<const TBBUTTONINFOW*>(lParam);
        if (info == nullptr || (info->dwMask & TBIF_TEXT) == 0 || info->pszText == nullptr)
            return 0;
        for (SimMenuButton& button : b->buttons) {
            if (button.command == wParam) {
                button.text = info->pszText;
                return TRUE;
            }
        }
        return 0;
    }
    if (message == SHCMBM_OVERRIDEKEY) {
        int key = static_cast<int>(wParam);
        std::erase_if(b->keyOverrides, [&](const auto& entry) { return entry.first == key; });
        b->keyOverrides.emplace_back(key, lParam);
        return TRUE;
    }
    return 0;
}

std::vector<SimMenuButton> SimMenuBarButtons(HWND window)
{
    PlatformWindow* bar = CurrentBar(window);
    return bar != nullptr ? bar->buttons : std::vector<SimMenuButton>();
}

std::vector<SimMenuItem> SimMenuBarPopup(HWND window)
{
    PlatformWindow* bar = CurrentBar(window);
    return bar != nullptr ? bar->popup : std::vector<SimMenuItem>();
}

bool SimPressMenuBarButton(HWND window, int index)
{
    PlatformWindow* bar = CurrentBar(window);
    if (bar == nullptr || index < 0 || index >= static_cast<int>(bar->buttons.size()))
        return false;
    if (!SimTakeInput())
        return true;
    return PostMessageW(window, WM_COMMAND, bar->buttons[static_cast<std::size_t>(index)].command,
                        0) != FALSE;
}

bool SimChooseMenuCommand(HWND window, WORD command)
{
    PlatformWindow* bar = CurrentBar(window);
    if (bar == nullptr)
        return false;
    for (const SimMenuItem& item : bar->popup) {
        if (item.command == command)
            return !SimTakeInput() || PostMessageW(window, WM_COMMAND, command, 0) != FALSE;
    }
    return false;
}

int SimMenuBarsCreated(HWND window)
{
    PlatformWindow* w = SimKnownWindow(window);
    return w != nullptr ? w->barsCreated : 0;
}

LPARAM SimMenuBarKeyOverride(HWND window, int key)
{
    PlatformWindow* bar = CurrentBar(window);
    if (bar == nullptr)
        return 0;
    for (const auto& entry : bar->keyOverrides) {
        if (entry.first == key)
            return entry.second;
    }
    return 0;
}
