// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing on a window's backing image with QPainter, without antialiasing,
// so that every primitive sets whole pixels by the platform's rules.
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iterator>

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
            painter.setClipRegion(dc->deviceClip);
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

// Surfaces whose pixels are written directly: setting up a painter costs
// far more than the few pixels that a line, a mark or a bar touches ten
// times a second. The value written is the one the painter would write.
bool DirectPixels(const QImage* image)
{
    QImage::Format format = image->format();
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

// Sets the pixels of `area` that lie inside the DC's clip to the opaque
// `colour`, and notes those that it changed.
void FillPixels(HDC dc, QImage* image, const QRect& area, const QColor& colour)
{
    QRect bounds = area & image->rect();
    if (bounds.isEmpty()) {
        return;
    }
    const QRgb value = colour.rgb();
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    const qsizetype stride = image->bytesPerLine();
    const uchar* pixels = image->constBits();
    uchar* writable = nullptr; // taken at the first change: it may unshare the surface
    auto fill = [&](const QRect& part) {
        if (part.width() == 1) {
            // A line straight down: one pixel a row.
            int x = part.left();
            for (int y = part.top(); y <= part.bottom(); ++y) {
                if (reinterpret_cast<const QRgb*>(pixels + y * stride)[x] == value) {
                    continue;
                }
                if (writable == nullptr) {
                    writable = image->bits();
                    pixels = writable;
                }
                reinterpret_cast<QRgb*>(writable + y * stride)[x] = value;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
            return;
        }
        for (int y = part.top(); y <= part.bottom(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(pixels + y * stride);
            const QRgb* begin = row + part.left();
            const QRgb* end = row + part.right() + 1;
            auto differs = [value](QRgb pixel) { return pixel != value; };
            const QRgb* first = std::find_if(begin, end, differs);
            if (first == end) {
                continue; // most rows of a bar stay as they were from tick to tick
            }
            const QRgb* last = std::find_if(std::make_reverse_iterator(end),
                                            std::make_reverse_iterator(first), differs)
                                   .base();
            int from = static_cast<int>(first - row);
            int to = static_cast<int>(last - row); // one past the last that differs
            if (writable == nullptr) {
                writable = image->bits();
                pixels = writable;
            }
            auto* target = reinterpret_cast<QRgb*>(writable + y * stride);
            std::fill(target + from, target + to, value);
            left = std::min(left, from);
            right = std::max(right, to - 1);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    };
    if (dc->clipped) {
        for (const QRect& part : dc->deviceClip) {
            QRect inside = part & bounds;
            if (!inside.isEmpty()) {
                fill(inside);
            }
        }
    } else {
        fill(bounds);
    }
    if (left <= right) {
        dc->changed |= QRect(QPoint(left, top), QPoint(right, bottom));
    }
}

// Runs `draw` on a painter over the DC and notes the part of `area` (device
// pixels) that it changed.
template <typename Draw> bool PaintTracked(HDC dc, const QRect& area, Draw draw)
{
    DcPainter painter(dc);
    if (!painter.Active()) {
        return false;
    }
    QRect bounds = area & painter.image->rect();
    QImage before = painter.image->copy(bounds);
    draw(painter.painter);
    painter.painter.end();
    if (!bounds.isEmpty() && painter.image->copy(bounds) != before) {
        dc->changed |= bounds;
    }
    return true;
}

// Shows the device pixels `area` of the surface at the next repaint.
void Repaint(PlatformWindow* window, const QRect& area)
{
    if (window != nullptr && window->client != nullptr && !area.isEmpty()) {
        qreal ratio = window->client->devicePixelRatioF();
        QRectF shown(QPointF(area.topLeft()) / ratio, QSizeF(area.size()) / ratio);
        window->client->update(shown.toAlignedRect().translated(window->origin));
    }
}

QRect Device(HDC dc, const QRect& rect)
{
    return ScaledRect(rect, dc->scale);
}

QRegion DeviceRegion(const QRegion& region, double scale)
{
    if (scale == 1.0) {
        return region;
    }
    QRegion scaled;
    for (const QRect& part : region) {
        scaled += ScaledRect(part, scale);
    }
    return scaled;
}

HDC WindowDC(PlatformWindow* window)
{
    auto* dc = new PlatformDC;
    dc->window = window;
    dc->scale = window->scale;
    dc->pen = &blackPen;
    dc->brush = &whiteBrush;
    return dc;
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
    HDC dc = WindowDC(live);
    dc->clipped = true;
    dc->clip = live->invalid;
    dc->deviceClip = DeviceRegion(live->invalid, dc->scale);
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
            erase.painter.fillRect(Device(dc, bounds), colour);
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
        Repaint(live, paint->hdc->deviceClip.boundingRect());
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
    return WindowDC(live);
}

int ReleaseDC(HWND window, HDC dc)
{
    if (dc == nullptr) {
        return 0;
    }
    // Shows what the drawing changed at the next repaint of the widget;
    // nothing is invalidated, so no WM_PAINT follows.
    if (!dc->changed.isEmpty()) {
        Repaint(LiveWindow(window), dc->changed);
    }
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
    QImage* image = SurfaceOf(dc);
    if (image == nullptr || image->isNull()) {
        return 0;
    }
    if (rect->right <= rect->left || rect->bottom <= rect->top) {
        return 1;
    }
    QRect area = Device(
        dc, QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top));
    if (DirectPixels(image)) {
        FillPixels(dc, image, area, brush->colour);
        return 1;
    }
    PaintTracked(dc, area, [&](QPainter& painter) { painter.fillRect(area, brush->colour); });
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
    QImage* image = SurfaceOf(dc);
    if (image == nullptr || image->isNull()) {
        return FALSE;
    }
    HGDIOBJ pen = dc->pen != nullptr ? dc->pen : &blackPen;
    int size = pen->width <= 1 ? 1 : pen->width;
    int half = pen->width <= 1 ? 0 : pen->width / 2;
    auto square = [&](const POINT& point) {
        return Device(dc, QRect(point.x - half, point.y - half, size, size));
    };
    if (DirectPixels(image) && (x0 == x) != (y0 == y)) {
        // Straight across or down: the start up to, not including, the end.
        POINT last{x0 == x ? x : x + (x0 < x ? -1 : 1), y0 == y ? y : y + (y0 < y ? -1 : 1)};
        FillPixels(dc, image, square(POINT{x0, y0}) | square(last), pen->colour);
        return TRUE;
    }
    std::vector<POINT> points = LinePoints(POINT{x0, y0}, POINT{x, y});
    if (DirectPixels(image)) {
        // A straight run of points covers exactly the rectangle that joins
        // their squares: one fill for the whole run.
        std::size_t start = 0;
        for (std::size_t i = 1; i <= points.size(); ++i) {
            bool extends = false;
            if (i < points.size()) {
                long dx = points[i].x - points[i - 1].x;
                long dy = points[i].y - points[i - 1].y;
                long runDx = i - start > 1 ? points[start + 1].x - points[start].x : dx;
                long runDy = i - start > 1 ? points[start + 1].y - points[start].y : dy;
                extends = std::abs(dx) + std::abs(dy) == 1 && dx == runDx && dy == runDy;
            }
            if (!extends) {
                FillPixels(dc, image, square(points[start]) | square(points[i - 1]), pen->colour);
                start = i;
            }
        }
        return TRUE;
    }
    QRect area;
    for (const POINT& point : points) {
        area |= square(point);
    }
    PaintTracked(dc, area, [&](QPainter& painter) {
        for (const POINT& point : points) {
            painter.fillRect(square(point), pen->colour);
        }
    });
    return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour)
{
    QImage* image = SurfaceOf(dc);
    if (image == nullptr || image->isNull() ||
        !image->rect().contains(Device(dc, QRect(x, y, 1, 1)))) {
        return static_cast<COLORREF>(-1);
    }
    QRect pixel = Device(dc, QRect(x, y, 1, 1));
    if (DirectPixels(image)) {
        FillPixels(dc, image, pixel, ColourOf(colour));
    } else {
        PaintTracked(dc, pixel,
                     [&](QPainter& painter) { painter.fillRect(pixel, ColourOf(colour)); });
    }
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
    // Scaled, the cells are filled as FillRect fills and the text is drawn
    // through the scale at the device's resolution.
    QRect cells = Device(dc, QRect(x, y, textWidth, textHeight));
    QRect clip = Device(dc, box);
    bool drawn = PaintTracked(dc, clip, [&](QPainter& painter) {
        painter.setClipRect(clip, Qt::IntersectClip);
        painter.fillRect(cells, ColourOf(dc->background));
        painter.scale(dc->scale, dc->scale);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(x, y + metrics.ascent()), line);
    });
    return drawn ? textHeight : 0;
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
    double sourceScale = source->window != nullptr ? source->scale : 1.0;
    QImage copy = from->copy(ScaledRect(QRect(sourceX, sourceY, width, height), sourceScale));
    QRect place = Device(target, QRect(x, y, width, height));
    return PaintTracked(target, place,
                        [&](QPainter& painter) {
                            // Pictures are scaled smoothly; at 1:1 they are copied.
                            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
                            painter.setCompositionMode(QPainter::CompositionMode_Source);
                            if (place.size() == copy.size()) {
                                painter.drawImage(place.topLeft(), copy);
                            } else {
                                painter.drawImage(place, copy);
                            }
                        })
               ? TRUE
               : FALSE;
}
