// SPDX-License-Identifier: GPL-3.0-or-later
// The menu bar at the bottom of a window or dialog, built from a menu-bar
// record (RT_RCDATA) and the menu it names.
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <cmath>
#include <cstring>
#include <iterator>

#include "platform/menu.h"
#include "platform/qt/qt_internal.h"
#include "platform/resource.h"

namespace {

constexpr WORD noMenu = 65535;
constexpr WORD enabledState = 4;

// The phones' soft keys: the left button on F1, the right one on F2.
constexpr Qt::Key softKeys[] = {Qt::Key_F1, Qt::Key_F2};

// The letter a button's text marks as its mnemonic, lower case; null when none.
QChar MnemonicOf(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&'))
            return text[i + 1].toLower();
        ++i; // an escaped ampersand
    }
    return QChar();
}

// The text as a button shows it, with a mnemonic on its first letter or
// digit that no other button of the bar has taken: Alt with that key
// presses it, in either language.
QString WithMnemonic(const QString& text, const QString& taken)
{
    QString shown;
    bool marked = false;
    for (QChar c : text) {
        if (c == QLatin1Char('&')) {
            shown += QStringLiteral("&&");
            continue;
        }
        if (!marked && c.isLetterOrNumber() && !taken.contains(c.toLower())) {
            shown += QLatin1Char('&');
            marked = true;
        }
        shown += c;
    }
    return shown;
}

// The mnemonics of the bar's buttons other than `except`.
QString MnemonicsTaken(const PlatformWindow* bar, const QPushButton* except)
{
    QString taken;
    for (const auto& entry : bar->buttons) {
        if (entry.second != nullptr && entry.second != except) {
            QChar letter = MnemonicOf(entry.second->text());
            if (!letter.isNull())
                taken += letter;
        }
    }
    return taken;
}

WORD RecordWord(const BYTE* record, std::size_t index)
{
    WORD value = 0;
    std::memcpy(&value, record + index * 2, 2);
    return value;
}

void FillMenu(QMenu* menu, PlatformWindow* target, const MENUITEMTEMPLATE* items, int count)
{
    for (int i = 0; i < count; ++i) {
        const MENUITEMTEMPLATE& item = items[i];
        if ((item.flags & MF_SEPARATOR) != 0) {
            menu->addSeparator();
        } else if ((item.flags & MF_POPUP) != 0) {
            FillMenu(menu->addMenu(FromWide(item.text)), target, item.popupItems, item.popupCount);
        } else {
            WORD command = item.id;
            QObject::connect(menu->addAction(FromWide(item.text)), &QAction::triggered, menu,
                             [target, command]() { PostMessageW(target, WM_COMMAND, command, 0); });
        }
    }
}

} // namespace

BOOL SHCreateMenuBar(SHMENUBARINFO* info)
{
    if (info == nullptr) {
        return FALSE;
    }
    PlatformWindow* parent = LiveWindow(info->hwndParent);
    BarHost* host = parent != nullptr ? dynamic_cast<BarHost*>(parent->frame.data()) : nullptr;
    if (host == nullptr) {
        return FALSE;
    }
    HRSRC recordResource = FindResourceW(info->hInstRes, info->nToolBarId, RT_RCDATA);
    const auto* record = static_cast<const BYTE*>(LoadResource(info->hInstRes, recordResource));
    DWORD recordSize = SizeofResource(info->hInstRes, recordResource);
    if (record == nullptr || recordSize < 4) {
        return FALSE;
    }
    WORD menuId = RecordWord(record, 0);
    WORD count = RecordWord(record, 1);
    if (recordSize < 4u + count * 14u) {
        return FALSE;
    }
    const auto* menu = static_cast<const MENUTEMPLATE*>(
        LoadResource(info->hInstRes, FindResourceW(info->hInstRes, menuId, RT_MENU)));
    if (menu == nullptr) {
        return FALSE;
    }

    auto* bar = new PlatformWindow;
    bar->kind = WindowKind::MenuBar;
    bar->parent = parent;
    auto* strip = new QWidget;
    strip->setAutoFillBackground(true); // over the window's background, as a bar of its own
    auto* layout = new QHBoxLayout(strip);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    for (WORD i = 0; i < count; ++i) {
        std::size_t base = 2 + i * 7u;
        WORD command = RecordWord(record, base + 1);
        WORD state = RecordWord(record, base + 2);
        WORD textId = RecordWord(record, base + 4);
        WORD popup = RecordWord(record, base + 6);
        WCHAR text[256] = {};
        LoadStringW(info->hInstRes, textId, text, 256);
        auto* button =
            new QPushButton(WithMnemonic(FromWide(text), MnemonicsTaken(bar, nullptr)), strip);
        button->setEnabled((state & enabledState) != 0);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button);
        bar->buttons[command] = button;
        if (i < std::size(softKeys)) {
            // Only while the bar is shown in the active window; a disabled
            // button ignores the click.
            auto* softKey = new QShortcut(QKeySequence(softKeys[i]), strip);
            softKey->setContext(Qt::WindowShortcut);
            QObject::connect(softKey, &QShortcut::activated, button, &QPushButton::click);
        }
        if (popup != noMenu && popup < menu->count && (menu->items[popup].flags & MF_POPUP) != 0) {
            auto* dropDown = new QMenu(button);
            FillMenu(dropDown, parent, menu->items[popup].popupItems,
                     menu->items[popup].popupCount);
            // popup(), not exec(): the message loop goes on while it is open.
            QObject::connect(button, &QPushButton::clicked, dropDown, [button, dropDown]() {
                QPoint corner = button->mapToGlobal(QPoint(0, 0));
                dropDown->popup(corner - QPoint(0, dropDown->sizeHint().height()));
            });
        } else {
            QObject::connect(button, &QPushButton::clicked, button,
                             [parent, command]() { PostMessageW(parent, WM_COMMAND, command, 0); });
        }
    }
    bar->frame = strip;
    RegisterWindow(bar);
    if (parent->menuBar != nullptr) {
        parent->menuBar->alive = false;
    }
    parent->menuBar = bar;
    host->SetBar(strip);
    info->hwndMB = bar;
    return TRUE;
}

LRESULT MenuBarMessage(PlatformWindow* bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TB_SETBUTTONINFOW) {
        const auto* info = reinterpret_cast<const TBBUTTONINFOW*>(lParam);
        auto it = bar->buttons.find(static_cast<int>(wParam));
        if (info == nullptr || it == bar->buttons.end() || it->second == nullptr) {
            return 0;
        }
        if ((info->dwMask & TBIF_TEXT) != 0 && info->pszText != nullptr) {
            it->second->setText(
                WithMnemonic(FromWide(info->pszText), MnemonicsTaken(bar, it->second)));
        }
        return 1;
    }
    if (message == SHCMBM_OVERRIDEKEY && wParam == static_cast<WPARAM>(VK_ESCAPE)) {
        PlatformWindow* parent = LiveWindow(bar->parent);
        if (parent == nullptr) {
            return 0;
        }
        LPARAM mask = lParam & 0xFFFF;
        LPARAM value = (lParam >> 16) & 0xFFFF;
        if ((mask & SHMBOF_NODEFAULT) != 0) {
            parent->escapeDefault = (value & SHMBOF_NODEFAULT) == 0;
        }
        if ((mask & SHMBOF_NOTIFY) != 0) {
            parent->escapeNotify = (value & SHMBOF_NOTIFY) != 0;
        }
        return 1;
    }
    return 0;
}

void ScaleMenuBar(QWidget* bar, double scale)
{
    QVariant shown = bar->property("scale");
    if (shown.isValid() && shown.toDouble() == scale) {
        return;
    }
    bar->setProperty("scale", scale); // its font comes scaled from its window
    int gap = static_cast<int>(std::lround(2 * scale));
    bar->layout()->setContentsMargins(gap, gap, gap, gap);
    bar->layout()->setSpacing(gap);
}
