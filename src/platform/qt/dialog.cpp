// SPDX-License-Identifier: GPL-3.0-or-later
// Modal dialogs built from templates, their controls, and the shell's
// full-screen frame with the Escape/Back override.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "platform/qt/qt_internal.h"
#include "platform/qt/qt_platform.h"

namespace {

std::vector<PlatformWindow*> openDialogs; // innermost last

constexpr LPARAM modAlt = 1;
constexpr LPARAM modControl = 2;
constexpr LPARAM modShift = 4;

class DialogWidget : public QDialog, public BarHost {
public:
    DialogWidget(PlatformWindow* window, QWidget* parent) : QDialog(parent), owner(window)
    {
        // A template taller than the screen scrolls; one that fits shows
        // no scroll bar and looks as it always did.
        scroller = new QScrollArea(this);
        scroller->setFrameShape(QFrame::NoFrame);
        scroller->setFocusPolicy(Qt::NoFocus);
        scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroller->setWidgetResizable(false);
        body = new QWidget;
        scroller->setWidget(body);
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (now != nullptr && body->isAncestorOf(now)) {
                scroller->ensureWidgetVisible(now);
            }
        });
    }

    QWidget* Body() const { return body; }

    void SetBodySize(const QSize& size)
    {
        bodySize = size;
        body->resize(size);
        resize(size.width(), size.height() + BarHeight());
    }

    void SetBar(QWidget* fresh) override
    {
        TakeBar(this, fresh);
        ScaleMenuBar(bar, owner->dialogScale);
        if (!owner->fullScreen) {
            resize(width(), bodySize.height() + BarHeight());
        }
        Arrange();
        bar->show();
    }

    void reject() override {} // Escape and close go through the procedure

protected:
    void resizeEvent(QResizeEvent*) override { Arrange(); }

    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        CallDialogProc(owner, WM_CLOSE, 0, 0);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape) {
            if (owner->escapeNotify) {
                LPARAM modifiers = 0;
                if ((event->modifiers() & Qt::AltModifier) != 0) {
                    modifiers |= modAlt;
                }
                if ((event->modifiers() & Qt::ControlModifier) != 0) {
                    modifiers |= modControl;
                }
                if ((event->modifiers() & Qt::ShiftModifier) != 0) {
                    modifiers |= modShift;
                }
                CallDialogProc(owner, WM_HOTKEY, 0,
                               (static_cast<LPARAM>(VK_ESCAPE) << 16) | modifiers);
            } else if (owner->escapeDefault) {
                CallDialogProc(owner, WM_COMMAND, IDCANCEL, 0);
            }
            return;
        }
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            CallDialogProc(owner, WM_COMMAND, IDOK, 0);
            return;
        }
        QDialog::keyPressEvent(event);
    }

private:
    // The main window that the dialog covers in full, or null.
    PlatformWindow* Covered() const
    {
        PlatformWindow* main = LiveWindow(owner->owner);
        if (owner->fullScreen && main != nullptr && main->kind == WindowKind::Main &&
            main->frame != nullptr && main->frame->size() == size() && !main->shown.isEmpty()) {
            return main;
        }
        return nullptr;
    }

    // Its font and spacing come scaled: so does its height.
    int BarHeight() const { return bar != nullptr ? bar->sizeHint().height() : 0; }

    // Where the body and the bar go: over the main window, where it shows
    // its own client and bar; otherwise the whole dialog.
    QRect Column() const
    {
        PlatformWindow* main = Covered();
        return main != nullptr ? main->shown : rect();
    }

    void Arrange()
    {
        QRect column = Column();
        int barTop = column.bottom() + 1 - BarHeight();
        scroller->setGeometry(column.left(), column.top(), column.width(), barTop - column.top());
        // The body fills the view, and is never shorter than the template
        // (the view's own size may not be known yet, so it is worked out).
        int view = barTop - column.top();
        bool scrolls = bodySize.height() > view;
        int barWidth = scrolls ? scroller->verticalScrollBar()->sizeHint().width() : 0;
        body->resize(column.width() - barWidth, std::max(view, bodySize.height()));
        if (bar != nullptr) {
            bar->setGeometry(column.left(), barTop, column.width(), BarHeight());
        }
    }

    PlatformWindow* owner;
    QScrollArea* scroller;
    QWidget* body;
    QSize bodySize;
};

PlatformWindow* LiveDialog(HWND dialog)
{
    PlatformWindow* live = LiveWindow(dialog);
    return live != nullptr && live->kind == WindowKind::Dialog ? live : nullptr;
}

QWidget* Item(HWND dialog, int id)
{
    PlatformWindow* live = LiveDialog(dialog);
    if (live == nullptr) {
        return nullptr;
    }
    for (auto& item : live->items) {
        if (item.first == id) {
            return item.second;
        }
    }
    return nullptr;
}

QWidget* MakeControl(PlatformWindow* dialog, const DLGITEMTEMPLATE& item, QWidget* body,
                     const QRect& place, std::vector<QWidget*>* groups)
{
    std::u16string kind = WideString(item.className);
    QString text = FromWide(item.text);
    if (kind == u"BUTTON") {
        DWORD type = item.style & 0x0F;
        if (type == BS_GROUPBOX) {
            auto* group = new QGroupBox(text, body);
            groups->push_back(group);
            return group;
        }
        if (type == BS_AUTORADIOBUTTON) {
            auto* radio = new QRadioButton(text, body);
            if (dialog->radios == nullptr) {
                dialog->radios = new QButtonGroup(body);
                dialog->radios->setExclusive(true);
            }
            dialog->radios->addButton(radio);
            return radio;
        }
        int id = item.id;
        if (type == BS_AUTOCHECKBOX) {
            // The box ticks itself; the procedure hears of each click.
            auto* box = new QCheckBox(text, body);
            QObject::connect(box, &QCheckBox::clicked, box, [dialog, id]() {
                if (dialog->alive) {
                    CallDialogProc(dialog, WM_COMMAND, static_cast<WPARAM>(id & 0xFFFF), 0);
                }
            });
            return box;
        }
        auto* button = new QPushButton(text, body);
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, button, [dialog, id]() {
            if (dialog->alive) {
                CallDialogProc(dialog, WM_COMMAND, static_cast<WPARAM>(id & 0xFFFF), 0);
            }
        });
        return button;
    }
    if (kind == u"STATIC") {
        auto* label = new QLabel(body);
        DWORD type = item.style & 0x1F;
        if (type == SS_BITMAP || type == SS_ICON) {
            QImage image = type == SS_BITMAP ? DecodeBitmapImage(item.imageId)
                                             : DecodeIconImage(item.imageId, 32);
            if (!image.isNull()) {
                // Picture controls take the size of their picture, scaled
                // as the dialog is, smoothly.
                QRect sized = ScaledRect(QRect(QPoint(0, 0), image.size()), dialog->dialogScale);
                if (sized.size() != image.size()) {
                    image =
                        image.scaled(sized.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }
                label->setPixmap(QPixmap::fromImage(image));
                label->setGeometry(QRect(place.topLeft(), image.size()));
                label->setProperty("pictureSized", true);
            }
            return label;
        }
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setText(text);
        label->setAlignment(type == SS_CENTER ? (Qt::AlignHCenter | Qt::AlignTop)
                                              : (Qt::AlignLeft | Qt::AlignTop));
        return label;
    }
    if (kind == u"EDIT") {
        auto* edit = new QLineEdit(text, body);
        if ((item.style & ES_NUMBER) != 0) {
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]*")), edit));
        }
        return edit;
    }
    if (kind == u"msctls_progress32") {
        auto* bar = new QProgressBar(body);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    return new QWidget(body); // an unknown class keeps its place and id
}

// A window just shown is placed by the window manager a moment later; a
// dialog put over it before then (the first-use dialog at start) would land
// in the screen's corner. Bounded: a second at most.
void WaitUntilPlaced(QWidget* frame)
{
    QWindow* handle = frame != nullptr && frame->isVisible() ? frame->windowHandle() : nullptr;
    QDeadlineTimer deadline(1000);
    while (handle != nullptr && !handle->isExposed() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

void ShowDialog(PlatformWindow* dialog)
{
    QWidget* widget = dialog->frame;
    QWidget* ownerFrame = dialog->owner != nullptr ? dialog->owner->frame.data() : nullptr;
    WaitUntilPlaced(ownerFrame);
    if (dialog->fullScreen) {
        if (SmallScreen()) {
            widget->showFullScreen();
            return;
        }
        if (ownerFrame != nullptr && ownerFrame->isVisible()) {
            widget->setGeometry(ownerFrame->geometry());
        }
    } else if (ownerFrame != nullptr && ownerFrame->isVisible()) {
        QRect area = ownerFrame->geometry();
        widget->move(area.center() - QPoint(widget->width() / 2, widget->height() / 2));
    }
    widget->show();
    widget->raise();
    widget->activateWindow();
}

} // namespace

HWND QtOpenDialog()
{
    return openDialogs.empty() ? nullptr : openDialogs.back();
}

QWidget* QtDialogItem(HWND dialog, int id)
{
    return Item(dialog, id);
}

LRESULT CallDialogProc(PlatformWindow* dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (dialog == nullptr || !dialog->alive || dialog->proc == nullptr) {
        return 0;
    }
    LRESULT handled = dialog->proc(dialog, message, wParam, lParam);
    if (handled == 0 && message == WM_CLOSE) {
        // The dialog manager's own answer to a close it was left with.
        CallDialogProc(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    return handled;
}

LRESULT DialogBoxIndirectParamW(HINSTANCE, const DLGTEMPLATE* dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam)
{
    if (dialogTemplate == nullptr || dialogProc == nullptr) {
        return -1;
    }
    auto* dialog = new PlatformWindow;
    dialog->kind = WindowKind::Dialog;
    dialog->proc = dialogProc;
    dialog->owner = LiveWindow(owner);
    RegisterWindow(dialog);

    QWidget* ownerFrame = dialog->owner != nullptr ? dialog->owner->frame.data() : nullptr;
    auto* widget = new DialogWidget(dialog, ownerFrame);
    dialog->frame = widget;
    widget->setWindowModality(Qt::ApplicationModal);
    widget->setWindowTitle(FromWide(dialogTemplate->title));

    // Dialog units follow the template's font; "System" is the
    // application's own sans.
    QFont font = QApplication::font();
    std::u16string face = WideString(dialogTemplate->fontFace);
    if (!face.empty() && face != u"System") {
        font.setFamily(FromWide(face.c_str()));
    }
    font.setPointSize(dialogTemplate->pointSize > 0 ? dialogTemplate->pointSize : 8);
    QFontMetrics metrics(font);
    // Scaled as the owner shows its screen: the units at 1:1, then scaled.
    if (dialog->owner != nullptr && ownerFrame != nullptr) {
        dialog->dialogScale = dialog->owner->scale / ownerFrame->devicePixelRatioF();
    }
    const double scale = dialog->dialogScale;
    if (scale != 1.0) {
        QFont scaled = font;
        scaled.setPointSizeF(font.pointSizeF() * scale);
        widget->setFont(scaled);
    } else {
        widget->setFont(font);
    }
    // The mean width of the Latin alphabet, rounded, as the platform takes it;
    // a font's own average width runs narrower and would cut template texts.
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    int baseY = metrics.height();
    auto toPixels = [baseX, baseY, scale](int x, int y, int width, int height) {
        return ScaledRect(
            QRect(x * baseX / 4, y * baseY / 8, width * baseX / 4, height * baseY / 8), scale);
    };
    widget->SetBodySize(toPixels(0, 0, dialogTemplate->cx, dialogTemplate->cy).size());

    std::vector<QWidget*> groups;
    for (int i = 0; i < dialogTemplate->itemCount; ++i) {
        const DLGITEMTEMPLATE& item = dialogTemplate->items[i];
        QRect place = toPixels(item.x, item.y, item.cx, item.cy);
        QWidget* control = MakeControl(dialog, item, widget->Body(), place, &groups);
        if (!control->property("pictureSized").toBool()) {
            control->setGeometry(place);
        }
        control->setVisible((item.style & WS_VISIBLE) != 0);
        dialog->items.emplace_back(item.id, control);
    }
    for (QWidget* group : groups) {
        group->lower(); // frames stay behind the controls they hold
    }

    openDialogs.push_back(dialog);
    if (dialog->owner != nullptr && dialog->owner->dimmed) {
        ShowDimmed(dialog->owner);
    }
    CallDialogProc(dialog, WM_INITDIALOG, 0, initParam);
    if (!dialog->ended) {
        ShowDialog(dialog);
    }
    QPointer<QWidget> guard(widget);
    while (!dialog->ended && guard != nullptr) {
        if (!PumpOneMessage()) {
            break;
        }
    }
    if (!dialog->ended) {
        dialog->result = -1; // a quit or the owner's end closes the dialog like a close
    }
    openDialogs.erase(std::find(openDialogs.begin(), openDialogs.end(), dialog));
    dialog->alive = false;
    for (auto& entry : dialog->timers) {
        delete entry.second.timer;
    }
    dialog->timers.clear();
    DropQueuedMessages(dialog, 0, 0, true);
    if (dialog->menuBar != nullptr) {
        dialog->menuBar->alive = false;
    }
    if (guard != nullptr) {
        guard->hide();
        guard->deleteLater();
    }
    return dialog->result;
}

BOOL EndDialog(HWND dialog, LRESULT result)
{
    PlatformWindow* live = LiveDialog(dialog);
    if (live == nullptr) {
        return FALSE;
    }
    live->ended = true;
    live->result = result;
    return TRUE;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text)
{
    QWidget* control = Item(dialog, id);
    QString value = FromWide(text);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(value);
    } else {
        return FALSE;
    }
    return TRUE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int capacity)
{
    if (buffer == nullptr || capacity < 1) {
        return 0;
    }
    QWidget* control = Item(dialog, id);
    QString value;
    if (auto* label = qobject_cast<QLabel*>(control)) {
        value = label->text();
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        value = edit->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        value = button->text();
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        value = group->title();
    }
    int length = static_cast<int>(value.size());
    if (length > capacity - 1) {
        length = capacity - 1;
    }
    for (int i = 0; i < length; ++i) {
        buffer[i] = static_cast<WCHAR>(value.at(i).unicode());
    }
    buffer[length] = 0;
    return static_cast<UINT>(length);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM)
{
    QWidget* control = Item(dialog, id);
    if (control == nullptr) {
        return 0;
    }
    switch (message) {
    case PBM_SETPOS:
        if (auto* bar = qobject_cast<QProgressBar*>(control)) {
            int previous = bar->value();
            int position = static_cast<int>(static_cast<std::intptr_t>(wParam));
            bar->setValue(position < 0 ? 0 : (position > 100 ? 100 : position));
            return previous;
        }
        return 0;
    case BM_SETCHECK:
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            QButtonGroup* group = button->group();
            // An exclusive group would refuse to clear its checked button.
            bool exclusive = group != nullptr && group->exclusive() && wParam != BST_CHECKED;
            if (exclusive) {
                group->setExclusive(false);
            }
            button->setChecked(wParam == BST_CHECKED);
            if (exclusive) {
                group->setExclusive(true);
            }
        }
        return 0;
    case BM_GETCHECK:
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            return button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
        }
        return 0;
    case EM_LIMITTEXT:
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setMaxLength(wParam == 0 ? 32767 : static_cast<int>(wParam));
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

BOOL SHInitDialog(SHINITDLGINFO* info)
{
    if (info == nullptr) {
        return FALSE;
    }
    PlatformWindow* dialog = LiveDialog(info->hDlg);
    if (dialog == nullptr) {
        return FALSE;
    }
    if ((info->dwMask & SHIDIM_FLAGS) != 0 && (info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN) != 0) {
        dialog->fullScreen = true;
        QWidget* ownerFrame = dialog->owner != nullptr ? dialog->owner->frame.data() : nullptr;
        if (ownerFrame != nullptr) {
            dialog->frame->resize(ownerFrame->size());
        }
        if (dialog->frame->isVisible()) {
            ShowDialog(dialog);
        }
    }
    return TRUE;
}

BOOL SHSendBackToFocusWindow(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_HOTKEY || HIWORD(static_cast<WPARAM>(lParam)) != VK_ESCAPE) {
        return FALSE;
    }
    QWidget* focus = nullptr;
    if (!openDialogs.empty() && openDialogs.back()->frame != nullptr) {
        focus = openDialogs.back()->frame->focusWidget();
    }
    if (focus == nullptr) {
        focus = QApplication::focusWidget();
    }
    if (qobject_cast<QLineEdit*>(focus) == nullptr) {
        return FALSE;
    }
    // The Back key of a phone deletes in an edit box.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(focus, &press);
    QCoreApplication::sendEvent(focus, &release);
    return TRUE;
}
