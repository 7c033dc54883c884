// SPDX-License-Identifier: GPL-3.0-or-later
// Modal dialogs from templates, their controls and the shell's dialog frame.
#include <algorithm>
#include <limits>

#include "platform/resource.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/ui_internal.h"

namespace {

struct DialogState {
    std::vector<HWND> open; // outermost first
    std::function<void(HWND)> handler;
    std::vector<SimDialogRun> runs;
    std::vector<SimBackKey> backKeys;
    bool failInit = false;
    bool failMenuBar = false;
};

DialogState dialogs;

void ResetDialogs()
{
    dialogs = DialogState{};
}

SimResetHook dialogReset(ResetDialogs);

std::u16string Text(LPCWSTR text)
{
    return text != nullptr ? std::u16string(text) : std::u16string();
}

bool SameClass(const std::u16string& a, const char16_t* b)
{
    std::u16string lowerB(b);
    if (a.size() != lowerB.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
        if (lower(a[i]) != lower(lowerB[i]))
            return false;
    }
    return true;
}

bool IsEdit(const SimControl& control)
{
    return SameClass(control.className, u"EDIT");
}

bool IsRadio(const SimControl& control)
{
    DWORD kind = control.style & 0x0F;
    return SameClass(control.className, u"BUTTON") && (kind == BS_AUTORADIOBUTTON || kind == 4);
}

PlatformWindow* Dialog(HWND dialog)
{
    PlatformWindow* d = SimLiveWindow(dialog);
    return d != nullptr && d->kind == SimWindowKind::Dialog ? d : nullptr;
}

// Test queries work on ended dialogs too.
PlatformWindow* AnyDialog(HWND dialog)
{
    PlatformWindow* d = SimKnownWindow(dialog);
    return d != nullptr && d->kind == SimWindowKind::Dialog ? d : nullptr;
}

SimControl* Control(PlatformWindow* dialog, int id)
{
    if (dialog == nullptr)
        return nullptr;
    for (SimControl& control : dialog->controls) {
        if (control.id == id)
            return &control;
    }
    return nullptr;
}

// Dialog units to pixels with the fixed 6 x 12 cell font.
LONG UnitsX(int x)
{
    return x * simFontWidth / 4;
}

LONG UnitsY(int y)
{
    return y * simFontHeight / 8;
}

UINT TemplateId(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate)
{
    for (UINT id = 100; id <= 200; ++id) {
        HRSRC resource = FindResourceW(instance, id, RT_DIALOG);
        if (resource != nullptr && LoadResource(instance, resource) == dialogTemplate)
            return id;
    }
    return 0;
}

LRESULT ItemMessage(SimControl& control, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case PBM_SETPOS: {
        int previous = control.progress;
        control.progress =
            static_cast<int>(std::clamp<std::intptr_t>(static_cast<std::intptr_t>(wParam), 0, 100));
        return previous;
    }
    case BM_SETCHECK:
        control.check = wParam;
        return 0;
    case BM_GETCHECK:
        return static_cast<LRESULT>(control.check);
    case EM_LIMITTEXT:
        control.textLimit = wParam > static_cast<WPARAM>(std::numeric_limits<int>::max())
                                ? 0
                                : static_cast<int>(wParam);
        return 0;
    default:
        return 0;
    }
}

void RecordEnd(PlatformWindow* dialog)
{
    SimDialogRun& run = dialogs.runs[dialog->runIndex];
    run.ended = SimNow();
    run.result = dialog->result;
    run.finished = true;
}

} // namespace

std::vector<HWND>& SimOpenDialogs()
{
    return dialogs.open;
}

bool SimTakeShellFailure(SimShellOp op)
{
    bool& flag = op == SimShellOp::InitDialog ? dialogs.failInit : dialogs.failMenuBar;
    bool fails = flag;
    flag = false;
    return fails;
}

LRESULT SimDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformWindow* d = Dialog(dialog);
    if (d == nullptr || d->proc == nullptr)
        return 0;
    LRESULT result = d->proc(dialog, message, wParam, lParam);
    // The dialog manager answers an unhandled close as Cancel.
    if (result == 0 && message == WM_CLOSE && Dialog(dialog) != nullptr && !d->ended)
        result = d->proc(dialog, WM_COMMAND, IDCANCEL, 0);
    return result;
}

void SimDialogControlMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT* result)
{
    PlatformWindow* c = SimLiveWindow(control);
    PlatformWindow* d = c != nullptr ? Dialog(c->parent) : nullptr;
    if (d == nullptr || c->controlIndex < 0)
        return;
    *result = ItemMessage(d->controls[static_cast<std::size_t>(c->controlIndex)], message, wParam,
                          lParam);
}

LRESULT DialogBoxIndirectParamW(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam)
{
    if (dialogTemplate == nullptr || dialogProc == nullptr)
        return -1;
    HWND handle = SimNewWindow(SimWindowKind::Dialog, owner);
    PlatformWindow* dialog = handle;
    dialog->proc = dialogProc;
    dialog->visible = true;
    dialog->dialogTemplate = dialogTemplate;
    dialog->templateId = TemplateId(instance, dialogTemplate);
    dialog->title = Text(dialogTemplate->title);
    dialog->surface.width = UnitsX(dialogTemplate->cx);
    dialog->surface.height = UnitsY(dialogTemplate->cy);
    for (int i = 0; i < dialogTemplate->itemCount && dialogTemplate->items != nullptr; ++i) {
        const DLGITEMTEMPLATE& item = dialogTemplate->items[i];
        SimControl control;
        control.id = item.id;
        control.className = Text(item.className);
        control.style = item.style;
        control.text = Text(item.text);
        control.rect = RECT{UnitsX(item.x), UnitsY(item.y), UnitsX(item.x + item.cx),
                            UnitsY(item.y + item.cy)};
        control.handle = SimNewWindow(SimWindowKind::Control, handle);
        control.handle->className = control.className;
        control.handle->controlIndex = i;
        if (dialog->focus < 0 && (item.style & WS_TABSTOP) != 0)
            dialog->focus = i;
        dialog->controls.push_back(control);
    }
    dialogs.open.push_back(handle);
    dialogs.runs.push_back(SimDialogRun{dialog->templateId, handle, owner, SimNow(), 0, 0, false});
    dialog->runIndex = dialogs.runs.size() - 1;

    SimNesting nesting;
    HWND focus = dialog->focus >= 0
                     ? dialog->controls[static_cast<std::size_t>(dialog->focus)].handle
                     : nullptr;
    SimCallProcedure(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
    if (!dialog->ended && dialogs.handler) {
        auto handler = dialogs.handler; // it may install another one
        handler(handle);
    }
    while (!dialog->ended) {
        MSG msg;
        SimFetch fetched = SimFetchMessage(&msg, std::numeric_limits<SimTime>::max());
        if (fetched == SimFetch::Message) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } else if (fetched == SimFetch::Quit) {
            // A modal loop passes the quit on to the loop outside.
            PostQuitMessage(static_cast<int>(msg.wParam));
            dialog->ended = true;
            dialog->result = -1;
        }
    }
    std::erase(dialogs.open, handle);
    RecordEnd(dialog);
    DestroyWindow(handle);
    return dialog->result;
}

BOOL EndDialog(HWND dialog, LRESULT result)
{
    PlatformWindow* d = Dialog(dialog);
    if (d == nullptr)
        return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text)
{
    SimControl* control = Control(Dialog(dialog), id);
    if (control == nullptr)
        return FALSE;
    control->text = Text(text);
    return TRUE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int capacity)
{
    if (buffer == nullptr || capacity < 1)
        return 0;
    SimControl* control = Control(Dialog(dialog), id);
    if (control == nullptr) {
        buffer[0] = 0;
        return 0;
    }
    std::size_t count = std::min(control->text.size(), static_cast<std::size_t>(capacity - 1));
    std::copy_n(control->text.begin(), count, buffer);
    buffer[count] = 0;
    return static_cast<UINT>(count);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    SimControl* control = Control(Dialog(dialog), id);
    return control != nullptr ? ItemMessage(*control, message, wParam, lParam) : 0;
}

BOOL SHInitDialog(SHINITDLGINFO* info)
{
    if (SimTakeShellFailure(SimShellOp::InitDialog) || info == nullptr)
        return FALSE;
    PlatformWindow* d = Dialog(info->hDlg);
    if (d == nullptr)
        return FALSE;
    if ((info->dwMask & SHIDIM_FLAGS) != 0 && (info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN) != 0) {
        d->fullScreen = true;
        SimDefaultClientSize(&d->surface.width, &d->surface.height);
    }
    return TRUE;
}

BOOL SHSendBackToFocusWindow(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND dialog = SimDialogOpen();
    PlatformWindow* d = Dialog(dialog);
    SimControl* focused =
        d != nullptr && d->focus >= 0 ? &d->controls[static_cast<std::size_t>(d->focus)] : nullptr;
    dialogs.backKeys.push_back(SimBackKey{SimNow(), dialog, focused != nullptr ? focused->id : -1,
                                          message, wParam, lParam});
    if (focused == nullptr || !IsEdit(*focused))
        return FALSE;
    // The Back key deletes the character before the caret, at the end.
    if (!focused->text.empty())
        focused->text.pop_back();
    return TRUE;
}

// ---- Test controls ---------------------------------------------------------------------

void SimOnDialog(std::function<void(HWND dialog)> handler)
{
    dialogs.handler = std::move(handler);
}

std::vector<SimDialogRun> SimDialogRuns()
{
    return dialogs.runs;
}

HWND SimDialogOpen()
{
    for (auto it = dialogs.open.rbegin(); it != dialogs.open.rend(); ++it) {
        PlatformWindow* d = Dialog(*it);
        if (d != nullptr && !d->ended)
            return *it;
    }
    return nullptr;
}

UINT SimDialogTemplateId(HWND dialog)
{
    PlatformWindow* d = AnyDialog(dialog);
    return d != nullptr ? d->templateId : 0;
}

std::vector<SimDialogControl> SimDialogItems(HWND dialog)
{
    std::vector<SimDialogControl> items;
    PlatformWindow* d = AnyDialog(dialog);
    if (d == nullptr)
        return items;
    for (const SimControl& c : d->controls) {
        items.push_back(SimDialogControl{c.id, c.className, c.style, c.text, c.rect, c.progress,
                                         c.check == BST_CHECKED, c.textLimit});
    }
    return items;
}

std::u16string SimDialogItemText(HWND dialog, int id)
{
    SimControl* control = Control(AnyDialog(dialog), id);
    return control != nullptr ? control->text : std::u16string();
}

bool SimDialogType(HWND dialog, int id, const std::u16string& text, bool replace)
{
    PlatformWindow* d = Dialog(dialog);
    SimControl* control = Control(d, id);
    if (control == nullptr || !IsEdit(*control))
        return false;
    if (!SimTakeInput())
        return true;
    d->focus = static_cast<int>(control - d->controls.data());
    if (replace)
        control->text.clear();
    for (char16_t c : text) {
        if ((control->style & ES_NUMBER) != 0 && (c < u'0' || c > u'9'))
            continue;
        if (control->textLimit > 0 &&
            control->text.size() >= static_cast<std::size_t>(control->textLimit))
            break;
        control->text.push_back(c);
    }
    return true;
}

int SimDialogProgress(HWND dialog, int id)
{
    SimControl* control = Control(AnyDialog(dialog), id);
    return control != nullptr ? control->progress : 0;
}

bool SimDialogChecked(HWND dialog, int id)
{
    SimControl* control = Control(AnyDialog(dialog), id);
    return control != nullptr && control->check == BST_CHECKED;
}

bool SimDialogClickRadio(HWND dialog, int id)
{
    PlatformWindow* d = Dialog(dialog);
    SimControl* clicked = Control(d, id);
    if (clicked == nullptr || !IsRadio(*clicked))
        return false;
    if (!SimTakeInput())
        return true;
    for (SimControl& control : d->controls) {
        if (IsRadio(control))
            control.check = BST_UNCHECKED;
    }
    clicked->check = BST_CHECKED;
    d->focus = static_cast<int>(clicked - d->controls.data());
    return true;
}

bool SimDialogClickCheckBox(HWND dialog, int id)
{
    PlatformWindow* d = Dialog(dialog);
    SimControl* clicked = Control(d, id);
    if (clicked == nullptr || !SameClass(clicked->className, u"BUTTON") ||
        (clicked->style & 0x0F) != BS_AUTOCHECKBOX)
        return false;
    if (!SimTakeInput())
        return true;
    clicked->check = clicked->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    d->focus = static_cast<int>(clicked - d->controls.data());
    SimDialogPush(dialog, id);
    return true;
}

LRESULT SimDialogPush(HWND dialog, int id)
{
    SimControl* control = Control(Dialog(dialog), id);
    auto lParam = reinterpret_cast<LPARAM>(control != nullptr ? control->handle : nullptr);
    return SimCallProcedure(dialog, WM_COMMAND, static_cast<WORD>(id), lParam);
}

std::vector<SimMenuButton> SimDialogMenuBarButtons(HWND dialog)
{
    return SimMenuBarButtons(dialog);
}

bool SimPressDialogMenuBarButton(HWND dialog, int index)
{
    std::vector<SimMenuButton> buttons = SimMenuBarButtons(dialog);
    if (Dialog(dialog) == nullptr || index < 0 || index >= static_cast<int>(buttons.size()))
        return false;
    if (!SimTakeInput())
        return true;
    SimCallProcedure(dialog, WM_COMMAND, buttons[static_cast<std::size_t>(index)].command, 0);
    return true;
}

void SimDialogPressEscape(HWND dialog)
{
    if (!SimTakeInput())
        return;
    LPARAM override = SimMenuBarKeyOverride(dialog, VK_ESCAPE);
    if (override != 0)
        SimCallProcedure(dialog, WM_HOTKEY, 0, (VK_ESCAPE << 16) | (override & 0xFFFF));
    else
        SimCallProcedure(dialog, WM_COMMAND, IDCANCEL, 0);
}

void SimDialogClose(HWND dialog)
{
    SimCallProcedure(dialog, WM_CLOSE, 0, 0);
}

bool SimDialogFocus(HWND dialog, int id)
{
    PlatformWindow* d = Dialog(dialog);
    SimControl* control = Control(d, id);
    if (control == nullptr)
        return false;
    d->focus = static_cast<int>(control - d->controls.data());
    return true;
}

int SimDialogFocused(HWND dialog)
{
    PlatformWindow* d = AnyDialog(dialog);
    if (d == nullptr || d->focus < 0)
        return -1;
    return d->controls[static_cast<std::size_t>(d->focus)].id;
}

std::u16string SimDialogCaption(HWND dialog)
{
    PlatformWindow* d = AnyDialog(dialog);
    return d != nullptr ? d->title : std::u16string();
}

bool SimDialogFullScreen(HWND dialog)
{
    PlatformWindow* d = AnyDialog(dialog);
    return d != nullptr && d->fullScreen;
}

std::vector<SimBackKey> SimBackKeys()
{
    return dialogs.backKeys;
}

void SimFailShellNext(SimShellOp op)
{
    (op == SimShellOp::InitDialog ? dialogs.failInit : dialogs.failMenuBar) = true;
}
