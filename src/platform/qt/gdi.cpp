// Drawing on a window's backing image with QPainter, without antialiasing,
// so that every primitive sets whole pixels by the platform's rules.
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <cstdlib>

#include "platform/common/line.h"
#include "platform/qt/qt_internal.h"

namespace {

PlatformGdiObject blackPen{PlatformGdiObject::Pen, QColor(Qt::black), 1, QImage(), true};
PlatformGdiObject whiteBrush{PlatformGdiObject::Brush, QColor(Qt::white), 1, QImage(), true};
PlatformGdiObject emptyBitmap{PlatformGdiObject::Bitmap, QColor(), 1,
                              QImage(1, 1, QImage::Format_RGB32), true};

// A painter on the DC's surface with the DC's clip; inactive when the DC
// has nothing to draw on.
struct DcPainter {
    explicit DcPainter(HDC dc) : image(SurfaceOf(dc))
    {
        if (image == nullptr || image->isNull()) {
            return;
        }
        painter.begin(image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (dc->clipped) {
            painter.setClipRegion(dc->clip);
        }
    }
    bool Active() const { return painter.isActive(); }

    QImage* image;
    QPainter painter;
};

QFont WindowFont()
{
    QFont font = QApplication::font();
    font.setPointSizeF(9.0);
    return font;
}

void Repaint(PlatformWindow* window, const QRect& area)
{
    if (window != nullptr && window->client != nullptr) {
        window->client->update(area);
    }
}

} // namespace

QColor ColourOf(COLORREF colour)
{
    return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

QImage* SurfaceOf(HDC dc)
{
    if (dc == nullptr) {
        return nullptr;
    }
    if (dc->window != nullptr) {
        return dc->window->alive ? &dc->window->surface : nullptr;
    }
    return dc->bitmap != nullptr ? &dc->bitmap->image : nullptr;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || live->kind != WindowKind::Main || paint == nullptr) {
        return nullptr;
    }
    auto* dc = new PlatformDC;
    dc->window = live;
    dc->pen = &blackPen;
    dc->brush = &whiteBrush;
    dc->clipped = true;
    dc->clip = live->invalid;
    QRect bounds = live->invalid.boundingRect();
    paint->hdc = dc;
    paint->fErase = live->eraseDue ? TRUE : FALSE;
    paint->rcPaint = RECT{bounds.left(), bounds.top(), bounds.left() + bounds.width(),
                          bounds.top() + bounds.height()};
    if (live->eraseDue) {
        // The class background first, as the platform's erase step does.
        DcPainter erase(dc);
        if (erase.Active()) {
            QColor colour = live->background != nullptr ? live->background->colour : Qt::white;
            erase.painter.fillRect(bounds, colour);
        }
        live->eraseDue = false;
    }
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint)
{
    PlatformWindow* live = LiveWindow(window);
    if (paint == nullptr || paint->hdc == nullptr) {
        return FALSE;
    }
    if (live != nullptr) {
        live->invalid -= paint->hdc->clip;
        Repaint(live, paint->hdc->clip.boundingRect());
    }
    delete paint->hdc;
    return TRUE;
}

HDC GetDC(HWND window)
{
    PlatformWindow* live = LiveWindow(window);
    if (live == nullptr || live->kind != WindowKind::Main) {
        return nullptr;
    }
    auto* dc = new PlatformDC;
    dc->window = live;
    dc->pen = &blackPen;
    dc->brush = &whiteBrush;
    return dc;
}

int ReleaseDC(HWND window, HDC dc)
{
    if (dc == nullptr) {
        return 0;
    }
    // Shows what was drawn at the next repaint of the widget; nothing is
    // invalidated, so no WM_PAINT follows.
    Repaint(LiveWindow(window),
            QRect(QPoint(0, 0), dc->window != nullptr ? dc->window->surface.size() : QSize()));
    delete dc;
    return 1;
}

HBRUSH CreateSolidBrush(COLORREF colour)
{
    return new PlatformGdiObject{PlatformGdiObject::Brush, ColourOf(colour), 1, QImage(), false};
}

HPEN CreatePen(int, int width, COLORREF colour)
{
    return new PlatformGdiObject{PlatformGdiObject::Pen, ColourOf(colour), width < 1 ? 1 : width,
                                 QImage(), false};
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object)
{
    if (dc == nullptr || object == nullptr) {
        return nullptr;
    }
    HGDIOBJ previous = nullptr;
    switch (object->kind) {
    case PlatformGdiObject::Pen:
        previous = dc->pen;
        dc->pen = object;
        break;
    case PlatformGdiObject::Brush:
        previous = dc->brush;
        dc->brush = object;
        break;
    case PlatformGdiObject::Bitmap:
        if (dc->window != nullptr) {
            return nullptr; // only memory DCs hold bitmaps
        }
        previous = dc->bitmap;
        dc->bitmap = object;
        break;
    case PlatformGdiObject::Icon:
        return nullptr;
    }
    return previous;
}

BOOL DeleteObject(HGDIOBJ object)
{
    if (object == nullptr) {
        return FALSE;
    }
    if (!object->stock) {
        delete object;
    }
    return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    if (rect == nullptr || brush == nullptr || brush->kind != PlatformGdiObject::Brush) {
        return 0;
    }
    DcPainter draw(dc);
    if (!draw.Active()) {
        return 0;
    }
    if (rect->right > rect->left && rect->bottom > rect->top) {
        draw.painter.fillRect(
            QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top),
            brush->colour);
    }
    return 1;
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous)
{
    if (dc == nullptr) {
        return FALSE;
    }
    if (previous != nullptr) {
        *previous = dc->position;
    }
    dc->position = POINT{x, y};
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y)
{
    if (dc == nullptr) {
        return FALSE;
    }
    int x0 = dc->position.x;
    int y0 = dc->position.y;
    dc->position = POINT{x, y};
    DcPainter draw(dc);
    if (!draw.Active()) {
        return FALSE;
    }
    std::vector<POINT> points = LinePoints(POINT{x0, y0}, POINT{x, y});
    HGDIOBJ pen = dc->pen != nullptr ? dc->pen : &blackPen;
    if (pen->width <= 1) {
        for (const POINT& point : points) {
            draw.painter.fillRect(QRect(point.x, point.y, 1, 1), pen->colour);
        }
    } else {
        int half = pen->width / 2;
        for (const POINT& point : points) {
            draw.painter.fillRect(QRect(point.x - half, point.y - half, pen->width, pen->width),
                                  pen->colour);
        }
    }
    return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour)
{
    DcPainter draw(dc);
    if (!draw.Active() || !draw.image->rect().contains(x, y)) {
        return static_cast<COLORREF>(-1);
    }
    draw.painter.fillRect(QRect(x, y, 1, 1), ColourOf(colour));
    return colour;
}

COLORREF SetBkColor(HDC dc, COLORREF colour)
{
    if (dc == nullptr) {
        return static_cast<COLORREF>(-1);
    }
    COLORREF previous = dc->background;
    dc->background = colour;
    return previous;
}

int DrawTextW(HDC dc, LPCWSTR text, int length, RECT* rect, UINT format)
{
    if (text == nullptr || rect == nullptr) {
        return 0;
    }
    DcPainter draw(dc);
    if (!draw.Active()) {
        return 0;
    }
    QString line = FromWide(text, length);
    if ((format & DT_SINGLELINE) != 0) {
        line.replace(QLatin1Char('\n'), QLatin1Char(' ')).remove(QLatin1Char('\r'));
    }
    QFont font = WindowFont();
    QFontMetrics metrics(font);
    int textWidth = metrics.horizontalAdvance(line);
    int textHeight = metrics.height();
    QRect box(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    int x = box.left();
    int y = box.top();
    if ((format & DT_CENTER) != 0) {
        x = box.left() + (box.width() - textWidth) / 2;
    }
    if ((format & DT_VCENTER) != 0 && (format & DT_SINGLELINE) != 0) {
        y = box.top() + (box.height() - textHeight) / 2;
    }
    // Opaque cells: only the text's own box takes the background colour.
    QRect cells(x, y, textWidth, textHeight);
    draw.painter.setClipRect(box, Qt::IntersectClip);
    draw.painter.fillRect(cells, ColourOf(dc->background));
    draw.painter.setFont(font);
    draw.painter.setPen(Qt::black);
    draw.painter.drawText(QPoint(x, y + metrics.ascent()), line);
    return textHeight;
}

HBITMAP LoadBitmapW(HINSTANCE, UINT id)
{
    QImage image = DecodeBitmapImage(id);
    if (image.isNull()) {
        return nullptr;
    }
    return new PlatformGdiObject{PlatformGdiObject::Bitmap, QColor(), 1, image, false};
}

int GetObjectW(HGDIOBJ object, int size, void* out)
{
    if (object == nullptr || object->kind != PlatformGdiObject::Bitmap || out == nullptr ||
        size < static_cast<int>(sizeof(BITMAP))) {
        return 0;
    }
    BITMAP info{};
    info.bmWidth = object->image.width();
    info.bmHeight = object->image.height();
    info.bmWidthBytes = static_cast<LONG>(object->image.bytesPerLine());
    info.bmPlanes = 1;
    info.bmBitsPixel = 32;
    *static_cast<BITMAP*>(out) = info;
    return static_cast<int>(sizeof(BITMAP));
}

HDC CreateCompatibleDC(HDC)
{
    auto* dc = new PlatformDC;
    dc->pen = &blackPen;
    dc->brush = &whiteBrush;
    dc->bitmap = &emptyBitmap;
    return dc;
}

BOOL DeleteDC(HDC dc)
{
    if (dc == nullptr) {
        return FALSE;
    }
    delete dc;
    return TRUE;
}

BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop)
{
    if (rop != SRCCOPY || width <= 0 || height <= 0) {
        return FALSE;
    }
    QImage* from = SurfaceOf(source);
    if (from == nullptr) {
        return FALSE;
    }
    QImage copy = from->copy(sourceX, sourceY, width, height);
    DcPainter draw(target);
    if (!draw.Active()) {
        return FALSE;
    }
    draw.painter.setCompositionMode(QPainter::CompositionMode_Source);
    draw.painter.drawImage(QPoint(x, y), copy);
    return TRUE;
}
