// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing on plain pixel buffers: the windows' surfaces and loaded bitmaps.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/common/bitmap.h"
#include "platform/common/line.h"
#include "platform/gdi.h"
#include "platform/resource.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/ui_internal.h"

struct PlatformGdiObject {
    SimGdiKind kind = SimGdiKind::Brush;
    bool stock = false;
    bool icon = false;
    COLORREF colour = 0;
    SimSurface surface; // bitmaps
    int selectedIn = 0; // DCs that hold it
};

struct PlatformDC {
    HWND window = nullptr; // null for a memory DC
    PlatformGdiObject* pen = nullptr;
    PlatformGdiObject* brush = nullptr;
    PlatformGdiObject* bitmap = nullptr;
    COLORREF background = RGB(255, 255, 255);
    POINT position{0, 0};
    RECT clip{0, 0, 0, 0}; // window DCs only
};

namespace {

constexpr COLORREF invalidColour = 0xFFFFFFFF;
constexpr COLORREF black = RGB(0, 0, 0);
constexpr COLORREF white = RGB(255, 255, 255);
constexpr int blackPen = 7;

PlatformGdiObject whiteBrush{SimGdiKind::Brush, true, false, white, {}, 0};
PlatformGdiObject defaultPen{SimGdiKind::Pen, true, false, black, {}, 0};

// While drawing is off, a window's DC and the pens and brushes made for it
// are these: every call on them succeeds at once and nothing is made,
// looked up or counted, since a replay paints ten times a second.
PlatformDC blindDc;
PlatformGdiObject blindPen{SimGdiKind::Pen, true, false, black, {}, 0};
PlatformGdiObject blindBrush{SimGdiKind::Brush, true, false, black, {}, 0};

bool Blind(HDC dc)
{
    return dc == &blindDc;
}

// A handful of objects and DCs live at a time: a plain list is searched
// faster than a hash set, and a replay asks ten thousand times a second.
template <typename T> struct LiveList {
    std::vector<T*> items;
    bool Contains(const void* item) const
    {
        return std::find(items.begin(), items.end(), item) != items.end();
    }
    void Add(T* item) { items.push_back(item); }
    bool Remove(const void* item)
    {
        auto found = std::find(items.begin(), items.end(), item);
        if (found == items.end())
            return false;
        *found = items.back();
        items.pop_back();
        return true;
    }
};

struct GdiState {
    LiveList<PlatformGdiObject> objects; // created and not deleted
    LiveList<PlatformDC> dcs;
    std::map<UINT, std::unique_ptr<PlatformGdiObject>> icons; // shared, one per resource
    long created[4] = {};
    long live[4] = {};
    long paints = 0;
    std::vector<SimText> texts;
    bool drawing = true; // false: drawing calls touch no pixel and log no text
};

GdiState gdi;

void ResetGdi()
{
    for (PlatformGdiObject* object : gdi.objects.items)
        delete object;
    for (PlatformDC* dc : gdi.dcs.items)
        delete dc;
    gdi = GdiState{};
}

SimResetHook gdiReset(ResetGdi);

int Index(SimGdiKind kind)
{
    return static_cast<int>(kind);
}

PlatformGdiObject* NewObject(SimGdiKind kind, COLORREF colour)
{
    auto* object = new PlatformGdiObject;
    object->kind = kind;
    object->colour = colour;
    gdi.objects.Add(object);
    ++gdi.created[Index(kind)];
    ++gdi.live[Index(kind)];
    return object;
}

PlatformGdiObject* Object(HGDIOBJ handle)
{
    if (handle == &whiteBrush || handle == &defaultPen || handle == &blindPen ||
        handle == &blindBrush)
        return handle;
    if (gdi.objects.Contains(handle))
        return handle;
    for (auto& icon : gdi.icons) {
        if (icon.second.get() == handle)
            return handle;
    }
    return nullptr;
}

PlatformDC* Dc(HDC dc)
{
    return gdi.dcs.Contains(dc) ? dc : nullptr;
}

PlatformDC* NewDc(HWND window, RECT clip)
{
    auto* dc = new PlatformDC;
    dc->window = window;
    dc->pen = &defaultPen;
    dc->clip = clip;
    gdi.dcs.Add(dc);
    ++gdi.created[Index(SimGdiKind::DC)];
    ++gdi.live[Index(SimGdiKind::DC)];
    return dc;
}

void Unselect(PlatformGdiObject* object)
{
    if (object != nullptr)
        --object->selectedIn;
}

void FreeDc(PlatformDC* dc)
{
    Unselect(dc->pen);
    Unselect(dc->brush);
    Unselect(dc->bitmap);
    gdi.dcs.Remove(dc);
    --gdi.live[Index(SimGdiKind::DC)];
    delete dc;
}

// Where the DC draws, and the rectangle it may draw into.
SimSurface* Target(PlatformDC* dc, RECT* clip)
{
    if (dc->window != nullptr) {
        PlatformWindow* window = SimLiveWindow(dc->window);
        if (window == nullptr)
            return nullptr;
        *clip = dc->clip;
        return &window->surface;
    }
    if (dc->bitmap == nullptr)
        return nullptr;
    *clip = RECT{0, 0, dc->bitmap->surface.width, dc->bitmap->surface.height};
    return &dc->bitmap->surface;
}

RECT Intersect(RECT a, RECT b)
{
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

void Fill(SimSurface* surface, RECT rect, COLORREF colour)
{
    rect = Intersect(rect, RECT{0, 0, surface->width, surface->height});
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        for (LONG x = rect.left; x < rect.right; ++x)
            surface->pixels[static_cast<std::size_t>(y) * surface->width + x] = colour;
    }
}

bool Plot(PlatformDC* dc, int x, int y, COLORREF colour)
{
    RECT clip;
    SimSurface* surface = Target(dc, &clip);
    if (surface == nullptr)
        return false;
    clip = Intersect(clip, RECT{0, 0, surface->width, surface->height});
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
        return false;
    surface->pixels[static_cast<std::size_t>(y) * surface->width + x] = colour;
    return true;
}

void FillClipped(PlatformDC* dc, RECT rect, COLORREF colour)
{
    RECT clip;
    SimSurface* surface = Target(dc, &clip);
    if (surface != nullptr)
        Fill(surface, Intersect(rect, clip), colour);
}

// Bitmaps decode as 0x00RRGGBB; surfaces hold COLORREF 0x00BBGGRR.
COLORREF FromRgb(std::uint32_t pixel)
{
    return RGB(static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
               static_cast<int>(pixel & 0xFF));
}

} // namespace

COLORREF SimBrushColour(HBRUSH brush, bool* known)
{
    PlatformGdiObject* object = Object(brush);
    *known = object != nullptr && object->kind == SimGdiKind::Brush && !object->icon;
    return *known ? object->colour : 0;
}

void SimFillSurface(SimSurface* surface, const RECT& rect, COLORREF colour)
{
    Fill(surface, rect, colour);
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr || paint == nullptr || w->kind != SimWindowKind::Window)
        return nullptr;
    ++gdi.paints;
    RECT rect = w->invalid ? w->invalidRect : RECT{0, 0, 0, 0};
    bool erase = w->invalid && w->erase;
    // Validated now, so what is invalidated while painting waits for the
    // next WM_PAINT.
    w->invalid = false;
    w->erase = false;
    bool known = false;
    COLORREF background = SimBrushColour(w->background, &known);
    if (erase && known && gdi.drawing)
        Fill(&w->surface, rect, background);
    PlatformDC* dc = NewDc(window, rect);
    paint->hdc = dc;
    paint->fErase = erase && !known ? TRUE : FALSE;
    paint->rcPaint = rect;
    return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint)
{
    if (paint == nullptr || Dc(paint->hdc) == nullptr)
        return FALSE;
    FreeDc(paint->hdc);
    return TRUE;
}

HDC GetDC(HWND window)
{
    PlatformWindow* w = SimLiveWindow(window);
    if (w == nullptr || (w->kind != SimWindowKind::Window && w->kind != SimWindowKind::Dialog))
        return nullptr;
    if (!gdi.drawing)
        return &blindDc;
    return NewDc(window, RECT{0, 0, w->surface.width, w->surface.height});
}

int ReleaseDC(HWND, HDC dc)
{
    if (Blind(dc))
        return 1;
    PlatformDC* d = Dc(dc);
    if (d == nullptr || d->window == nullptr)
        return 0;
    FreeDc(d);
    return 1;
}

HBRUSH CreateSolidBrush(COLORREF colour)
{
    if (!gdi.drawing)
        return &blindBrush;
    return NewObject(SimGdiKind::Brush, colour & 0x00FFFFFF);
}

HPEN CreatePen(int, int, COLORREF colour)
{
    // Every pen draws one-pixel solid lines.
    if (!gdi.drawing)
        return &blindPen;
    return NewObject(SimGdiKind::Pen, colour & 0x00FFFFFF);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object)
{
    if (Blind(dc))
        return object != nullptr && object->kind == SimGdiKind::Brush ? &blindBrush : &blindPen;
    PlatformDC* d = Dc(dc);
    if (d == nullptr)
        return nullptr;
    PlatformGdiObject* o = Object(object);
    if (o == nullptr) {
        if (object != nullptr)
            SimRecordFault("a deleted or unknown drawing object selected");
        return nullptr;
    }
    PlatformGdiObject** slot = nullptr;
    if (o->icon)
        return nullptr;
    switch (o->kind) {
    case SimGdiKind::Pen:
        slot = &d->pen;
        break;
    case SimGdiKind::Brush:
        slot = &d->brush;
        break;
    case SimGdiKind::Bitmap:
        if (d->window != nullptr)
            return nullptr; // bitmaps go into memory DCs only
        slot = &d->bitmap;
        break;
    case SimGdiKind::DC:
        return nullptr;
    }
    PlatformGdiObject* previous = *slot;
    Unselect(previous);
    *slot = o;
    ++o->selectedIn;
    return previous;
}

BOOL DeleteObject(HGDIOBJ object)
{
    if (object == nullptr)
        return FALSE;
    if (object == &whiteBrush || object == &defaultPen || object == &blindPen ||
        object == &blindBrush)
        return TRUE;
    if (!gdi.objects.Contains(object)) {
        SimRecordFault("a deleted or unknown drawing object deleted");
        return FALSE;
    }
    if (object->selectedIn > 0) {
        SimRecordFault("a drawing object deleted while selected");
        return FALSE;
    }
    gdi.objects.Remove(object);
    --gdi.live[Index(object->kind)];
    delete object;
    return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    if (Blind(dc))
        return 1;
    PlatformDC* d = Dc(dc);
    bool known = false;
    COLORREF colour = SimBrushColour(brush, &known);
    if (d == nullptr || rect == nullptr || !known)
        return 0;
    if (gdi.drawing)
        FillClipped(d, *rect, colour);
    return 1;
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous)
{
    if (Blind(dc))
        return TRUE;
    PlatformDC* d = Dc(dc);
    if (d == nullptr)
        return FALSE;
    if (previous != nullptr)
        *previous = d->position;
    d->position = POINT{x, y};
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y)
{
    if (Blind(dc))
        return TRUE;
    PlatformDC* d = Dc(dc);
    if (d == nullptr)
        return FALSE;
    COLORREF colour = d->pen != nullptr ? d->pen->colour : black;
    int x0 = d->position.x;
    int y0 = d->position.y;
    if (gdi.drawing && (x0 == x || y0 == y)) {
        // Straight across or down, as the meters draw: the same pixels as
        // the general line (the start, not the end), filled at once.
        RECT span{std::min(x0, x), std::min(y0, y), std::max(x0, x) + 1, std::max(y0, y) + 1};
        if (x0 < x)
            --span.right;
        else if (x0 > x)
            ++span.left;
        else if (y0 < y)
            --span.bottom;
        else
            ++span.top;
        FillClipped(d, span, colour);
    } else if (gdi.drawing) {
        for (const POINT& point : LinePoints(POINT{x0, y0}, POINT{x, y}))
            Plot(d, point.x, point.y, colour);
    }
    d->position = POINT{x, y};
    return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour)
{
    if (Blind(dc))
        return colour & 0x00FFFFFF;
    PlatformDC* d = Dc(dc);
    if (d == nullptr || (gdi.drawing && !Plot(d, x, y, colour & 0x00FFFFFF)))
        return invalidColour;
    return colour & 0x00FFFFFF;
}

COLORREF SetBkColor(HDC dc, COLORREF colour)
{
    if (Blind(dc))
        return RGB(255, 255, 255);
    PlatformDC* d = Dc(dc);
    if (d == nullptr)
        return invalidColour;
    COLORREF previous = d->background;
    d->background = colour & 0x00FFFFFF;
    return previous;
}

int DrawTextW(HDC dc, LPCWSTR text, int length, RECT* rect, UINT format)
{
    if (Blind(dc))
        return simFontHeight;
    PlatformDC* d = Dc(dc);
    if (d == nullptr || text == nullptr || rect == nullptr)
        return 0;
    if (!gdi.drawing)
        return simFontHeight;
    std::u16string s = length < 0 ? std::u16string(text) : std::u16string(text, length);
    gdi.texts.push_back(SimText{SimNow(), d->window, s, *rect});
    int boxWidth = simFontWidth * static_cast<int>(s.size());
    int left = rect->left;
    if ((format & DT_CENTER) != 0)
        left += (rect->right - rect->left - boxWidth) / 2;
    int top = rect->top;
    if ((format & DT_VCENTER) != 0 && (format & DT_SINGLELINE) != 0)
        top += (rect->bottom - rect->top - simFontHeight) / 2;
    RECT box{left, top, left + boxWidth, top + simFontHeight};
    FillClipped(d, Intersect(box, *rect), d->background);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u' ')
            continue;
        int cell = left + simFontWidth * static_cast<int>(i);
        FillClipped(d, Intersect(RECT{cell + 1, top + 2, cell + 5, top + 10}, *rect), black);
    }
    return simFontHeight;
}

HBITMAP LoadBitmapW(HINSTANCE, UINT id)
{
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    if (!DecodeBitmapResource(id, &width, &height, &pixels))
        return nullptr;
    PlatformGdiObject* bitmap = NewObject(SimGdiKind::Bitmap, 0);
    bitmap->surface.width = width;
    bitmap->surface.height = height;
    bitmap->surface.pixels.reserve(pixels.size());
    for (std::uint32_t pixel : pixels)
        bitmap->surface.pixels.push_back(FromRgb(pixel));
    return bitmap;
}

int GetObjectW(HGDIOBJ object, int size, void* out)
{
    PlatformGdiObject* o = Object(object);
    if (o == nullptr || o->icon || o->kind != SimGdiKind::Bitmap)
        return 0;
    if (out == nullptr)
        return static_cast<int>(sizeof(BITMAP));
    if (size < static_cast<int>(sizeof(BITMAP)))
        return 0;
    BITMAP info{};
    info.bmWidth = o->surface.width;
    info.bmHeight = o->surface.height;
    info.bmWidthBytes = o->surface.width * 4;
    info.bmPlanes = 1;
    info.bmBitsPixel = 32;
    *static_cast<BITMAP*>(out) = info;
    return static_cast<int>(sizeof(BITMAP));
}

HDC CreateCompatibleDC(HDC)
{
    return NewDc(nullptr, RECT{0, 0, 0, 0});
}

BOOL DeleteDC(HDC dc)
{
    PlatformDC* d = Dc(dc);
    if (d == nullptr || d->window != nullptr)
        return FALSE;
    FreeDc(d);
    return TRUE;
}

BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop)
{
    if (Blind(target))
        return TRUE;
    PlatformDC* t = Dc(target);
    PlatformDC* s = Dc(source);
    if (t == nullptr || s == nullptr || rop != SRCCOPY)
        return FALSE;
    if (!gdi.drawing)
        return TRUE;
    RECT sourceClip;
    SimSurface* from = Target(s, &sourceClip);
    if (from == nullptr)
        return TRUE; // an empty memory DC copies nothing
    // Read first: source and target may be the same surface.
    std::vector<std::pair<POINT, COLORREF>> copied;
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            int fx = sourceX + i;
            int fy = sourceY + j;
            if (fx < 0 || fy < 0 || fx >= from->width || fy >= from->height)
                continue;
            copied.push_back({POINT{x + i, y + j},
                              from->pixels[static_cast<std::size_t>(fy) * from->width + fx]});
        }
    }
    for (const auto& pixel : copied)
        Plot(t, pixel.first.x, pixel.first.y, pixel.second);
    return TRUE;
}

HICON LoadIconW(HINSTANCE instance, UINT id)
{
    if (FindResourceW(instance, id, RT_GROUP_ICON) == nullptr)
        return nullptr;
    std::unique_ptr<PlatformGdiObject>& icon = gdi.icons[id];
    if (icon == nullptr) {
        icon = std::make_unique<PlatformGdiObject>();
        icon->icon = true;
    }
    return icon.get();
}

HGDIOBJ GetStockObject(int object)
{
    if (object == WHITE_BRUSH)
        return &whiteBrush;
    if (object == blackPen)
        return &defaultPen;
    return nullptr;
}

COLORREF SimPixel(HWND window, int x, int y)
{
    // A destroyed window keeps its last picture until the reset.
    PlatformWindow* w = SimKnownWindow(window);
    if (w == nullptr || x < 0 || y < 0 || x >= w->surface.width || y >= w->surface.height)
        return invalidColour;
    return w->surface.pixels[static_cast<std::size_t>(y) * w->surface.width + x];
}

void SimSetDrawing(bool drawing)
{
    gdi.drawing = drawing;
}

long SimPaints()
{
    return gdi.paints;
}

long SimGdiCreated(SimGdiKind kind)
{
    return gdi.created[Index(kind)];
}

long SimGdiLive(SimGdiKind kind)
{
    return gdi.live[Index(kind)];
}

std::vector<SimText> SimTextLog()
{
    return gdi.texts;
}
