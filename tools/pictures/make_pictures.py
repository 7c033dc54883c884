#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the program's pictures and writes them to src/resources/pictures/.

The main-screen bitmaps (109 to 119) sit on the main window's background
colour, so they are copied to the screen as they are: every pixel that is
not part of a drawing keeps exactly that colour. The flags fill their whole
area. The icon holds 16x16 and 32x32 images in 16 and in 256 colours, with
a transparent outside.

Shapes are functions inside(x, y) over continuous pixel coordinates (pixel
(i, j) covers i..i+1, j..j+1). Painting samples each pixel on a 4x4 grid and
blends the colour by the share of samples inside, or, for crisp pictures,
sets the pixel when at least half of them are inside.

Standard library only. Run from anywhere:
    python3 tools/pictures/make_pictures.py [output directory]
"""

import math
import os
import struct
import sys

BACKGROUND = (212, 230, 255)
SAMPLES = 4


# ---------------------------------------------------------------- shapes


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry, angle=0.0):
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))

    def inside(x, y):
        dx, dy = x - cx, y - cy
        u, v = dx * c + dy * s, -dx * s + dy * c
        return (u / rx) ** 2 + (v / ry) ** 2 <= 1.0

    return inside


def ring(cx, cy, outer, inner):
    return lambda x, y: inner * inner < (x - cx) ** 2 + (y - cy) ** 2 <= outer * outer


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        dx = max(x0 + r - x, 0.0, x - (x1 - r))
        dy = max(y0 + r - y, 0.0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r

    return inside


def polygon(points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % n]
            if (ya > y) != (yb > y):
                if x < xa + (y - ya) * (xb - xa) / (yb - ya):
                    result = not result
        return result

    return inside


def segment(x0, y0, x1, y1, width):
    """A stroke of the given width with round ends."""
    half = width / 2.0
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else ((x - x0) * dx + (y - y0) * dy) / length2
        t = max(0.0, min(1.0, t))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= half * half

    return inside


def polyline(points, width):
    return union(*[segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)])


def union(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


def minus(shape, cut):
    return lambda x, y: shape(x, y) and not cut(x, y)


def intersect(a, b):
    return lambda x, y: a(x, y) and b(x, y)


def octagon(cx, cy, apothem):
    """A regular octagon with horizontal and vertical sides."""
    r = apothem / math.cos(math.pi / 8)
    return polygon(
        [
            (cx + r * math.cos(math.pi / 8 + k * math.pi / 4), cy + r * math.sin(math.pi / 8 + k * math.pi / 4))
            for k in range(8)
        ]
    )


# ---------------------------------------------------------------- canvas


class Canvas:
    def __init__(self, width, height, background, smooth=True):
        self.width = width
        self.height = height
        self.smooth = smooth
        self.pixels = [[background] * width for _ in range(height)]

    def paint(self, shape, colour):
        step = 1.0 / SAMPLES
        for j in range(self.height):
            for i in range(self.width):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if shape(i + (sx + 0.5) * step, j + (sy + 0.5) * step):
                            hits += 1
                if hits == 0:
                    continue
                share = hits / (SAMPLES * SAMPLES)
                old = self.pixels[j][i]
                if not self.smooth or old is None:
                    if share >= 0.5:
                        self.pixels[j][i] = colour
                    continue
                self.pixels[j][i] = tuple(round(o + (n - o) * share) for o, n in zip(old, colour))

    def set(self, i, j, colour):
        self.pixels[j][i] = colour

    def text(self, x, y, glyphs, colour):
        """Crisp pixel text from glyph rows of '#' and '.'."""
        for glyph in glyphs:
            for row, line in enumerate(glyph):
                for col, mark in enumerate(line):
                    if mark == "#":
                        self.set(x + col, y + row, colour)
            x += len(glyph[0]) + 1


def outlined(canvas, outer, inner, edge, fill):
    canvas.paint(outer, edge)
    canvas.paint(inner, fill)


# ---------------------------------------------------------------- files


def bmp_bytes(canvas):
    """An uncompressed 24-bit bottom-up BMP file."""
    stride = (canvas.width * 3 + 3) // 4 * 4
    rows = []
    for row in reversed(canvas.pixels):
        data = bytearray()
        for r, g, b in row:
            data += bytes((b, g, r))
        data += bytes(stride - len(data))
        rows.append(bytes(data))
    image = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    return header + info + image


def icon_image(canvas, bits, palette):
    """One .ico image: info header, palette, colour indices and AND mask."""
    size = canvas.width
    index = {colour: n for n, colour in enumerate(palette)}
    stride = (size * bits + 31) // 32 * 4
    mask_stride = (size + 31) // 32 * 4
    colour_rows, mask_rows = [], []
    for row in reversed(canvas.pixels):
        indices = [0 if p is None else index[p] for p in row]
        if bits == 8:
            data = bytearray(indices)
        else:
            data = bytearray((indices[k] << 4) | indices[k + 1] for k in range(0, size, 2))
        data += bytes(stride - len(data))
        colour_rows.append(bytes(data))
        mask = bytearray(mask_stride)
        for k, p in enumerate(row):
            if p is None:
                mask[k // 8] |= 0x80 >> (k % 8)
        mask_rows.append(bytes(mask))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    table += bytes(4 * (1 << bits) - len(table))
    body = b"".join(colour_rows) + b"".join(mask_rows)
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, len(body), 0, 0, 1 << bits, 0)
    return info + table + body


def ico_bytes(images):
    """An .ico file from (size, bits, image bytes) entries."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, data = b"", b""
    for size, bits, image in images:
        colours = 16 if bits == 4 else 0
        entries += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(image), offset + len(data))
        data += image
    return header + entries + data


def palette_of(canvas, limit):
    colours = sorted({p for row in canvas.pixels for p in row if p is not None})
    if len(colours) + 1 > limit:
        raise ValueError("%d colours do not fit a palette of %d" % (len(colours), limit))
    # Index 0 stands for the transparent pixels.
    return [(0, 0, 0)] + [c for c in colours if c != (0, 0, 0)]


def reduce_colours(canvas, limit):
    """Rounds the colours of a smooth picture until they fit a palette."""
    level = 1
    while len({p for row in canvas.pixels for p in row if p is not None}) + 1 > limit:
        level *= 2
        for row in canvas.pixels:
            for k, p in enumerate(row):
                if p is not None:
                    row[k] = tuple(min(255, round(c / level) * level) for c in p)


# ---------------------------------------------------------------- pictures


def dummy_109():
    """A baby's dummy: teat on top, the shield, the ring below."""
    c = Canvas(28, 32, BACKGROUND)
    ring_dark, ring_light = (170, 30, 90), (235, 80, 140)
    outlined(c, ring(14, 25.5, 6.2, 3.2), ring(14, 25.5, 5.2, 4.2), ring_dark, ring_light)
    outlined(c, rounded_rect(10, 17, 18, 23, 1.5), rounded_rect(11, 18, 17, 22, 1.0), ring_dark, ring_light)
    shield = ellipse(14, 15.5, 13.3, 4.8)
    outlined(c, shield, ellipse(14, 15.5, 12.3, 3.8), (180, 40, 100), (250, 160, 195))
    # Air holes and a shine on the shield.
    c.paint(circle(6.5, 15.5, 1.4), (180, 40, 100))
    c.paint(circle(21.5, 15.5, 1.4), (180, 40, 100))
    c.paint(ellipse(14, 13.6, 5, 0.8), (255, 220, 235))
    teat_dark, teat = (185, 120, 40), (245, 200, 120)
    outlined(c, rect(11, 8, 17, 12.5), rect(12, 8, 16, 12.5), teat_dark, teat)
    outlined(c, ellipse(14, 6, 4.6, 5.3), ellipse(14, 6, 3.6, 4.3), teat_dark, teat)
    c.paint(rect(12, 8, 16, 12), teat)
    c.paint(ellipse(12.6, 4.2, 1.0, 1.5), (255, 245, 225))
    return c


def bottle_111():
    """A feeding bottle: teat, screw collar, body with milk and a scale."""
    c = Canvas(21, 33, BACKGROUND)
    teat_dark, teat = (185, 120, 40), (245, 200, 120)
    outlined(c, ellipse(10.5, 5.2, 3.6, 4.8), ellipse(10.5, 5.2, 2.6, 3.8), teat_dark, teat)
    outlined(c, ellipse(10.5, 8.6, 5.8, 1.9), ellipse(10.5, 8.6, 4.8, 0.9), teat_dark, teat)
    c.paint(ellipse(9.3, 3.6, 0.8, 1.3), (255, 245, 225))
    collar_dark, collar = (25, 60, 150), (70, 130, 225)
    outlined(c, rounded_rect(3, 9.5, 18, 14, 1.2), rounded_rect(4, 10.5, 17, 13, 0.5), collar_dark, collar)
    c.paint(rect(4, 11.5, 17, 12), collar_dark)
    glass_edge = (80, 100, 150)
    glass = rounded_rect(4.5, 14, 16.5, 31.5, 2.2)
    outlined(c, rounded_rect(3.5, 14, 17.5, 32.5, 3), glass, glass_edge, (255, 255, 255))
    c.paint(intersect(glass, rect(0, 20, 21, 33)), (255, 240, 200))
    c.paint(rect(4.5, 20, 16.5, 20.8), (230, 205, 150))
    for y in (17, 21, 24, 27):
        c.paint(rect(11, y, 15, y + 0.9), (90, 120, 200))
    c.paint(rect(6, 16, 7.2, 29), (255, 255, 255))
    return c


def alarm_clock_116():
    """An alarm clock: two bells with a hammer, legs, face at ten past ten."""
    c = Canvas(32, 32, BACKGROUND)
    grey = (70, 70, 80)
    c.paint(segment(9.5, 25, 5.5, 30, 2.6), grey)
    c.paint(segment(22.5, 25, 26.5, 30, 2.6), grey)
    c.paint(segment(16, 2, 16, 6, 1.6), grey)
    c.paint(circle(16, 2.2, 1.5), grey)
    bell_dark, bell = (160, 110, 10), (250, 200, 40)
    for x in (7.5, 24.5):
        outlined(c, circle(x, 7.5, 5.2), circle(x, 7.5, 4.2), bell_dark, bell)
    rim_dark, rim = (130, 20, 20), (220, 45, 45)
    c.paint(circle(16, 17, 12.8), rim_dark)
    c.paint(circle(16, 17, 11.8), rim)
    c.paint(circle(16, 17, 9.6), rim_dark)
    c.paint(circle(16, 17, 9.0), (255, 255, 255))
    for k in range(12):
        a = math.radians(k * 30)
        r = 7.6
        size = 1.3 if k % 3 == 0 else 0.8
        c.paint(circle(16 + r * math.sin(a), 17 - r * math.cos(a), size / 2 + 0.15), (40, 40, 50))
    black = (20, 20, 30)
    hour = math.radians(300 + 5)
    minute = math.radians(60)
    c.paint(segment(16, 17, 16 + 4.6 * math.sin(hour), 17 - 4.6 * math.cos(hour), 1.8), black)
    c.paint(segment(16, 17, 16 + 6.6 * math.sin(minute), 17 - 6.6 * math.cos(minute), 1.3), black)
    c.paint(circle(16, 17, 1.3), (200, 30, 30))
    return c


def telephone_117():
    """A blue desk telephone: handset on top, body with a dial."""
    c = Canvas(32, 31, BACKGROUND)
    dark, blue, light = (15, 40, 120), (40, 95, 205), (120, 165, 240)
    body = polygon([(3.5, 29.5), (28.5, 29.5), (24.5, 13), (7.5, 13)])
    inner = polygon([(4.9, 28.5), (27.1, 28.5), (23.7, 14), (8.3, 14)])
    base, base_inner = rounded_rect(3, 25, 29, 30, 1.5), rounded_rect(4, 26, 28, 29, 1.0)
    outlined(c, union(body, base), union(inner, base_inner), dark, blue)
    c.paint(rect(11, 13, 21, 15.5), dark)
    handset = union(
        rounded_rect(5, 3, 27, 8.5, 2.8),
        rounded_rect(1.5, 4.5, 10, 12.5, 2.2),
        rounded_rect(22, 4.5, 30.5, 12.5, 2.2),
    )
    handset_inner = union(
        rounded_rect(6, 4, 26, 7.5, 1.8),
        rounded_rect(2.5, 5.5, 9, 11.5, 1.4),
        rounded_rect(23, 5.5, 29.5, 11.5, 1.4),
    )
    outlined(c, handset, handset_inner, dark, blue)
    c.paint(rounded_rect(8, 4.6, 24, 5.6, 0.5), light)
    outlined(c, circle(16, 21.3, 5.6), circle(16, 21.3, 4.7), dark, (240, 245, 255))
    for k in range(10):
        a = math.radians(-60 + k * 28)
        c.paint(circle(16 + 3.2 * math.cos(a), 21.3 + 3.2 * math.sin(a), 0.75), blue)
    c.paint(circle(16, 21.3, 1.3), dark)
    return c


def play_118():
    """A yellow play arrow with a red eighth note beside its tip."""
    c = Canvas(32, 33, BACKGROUND)
    edge, yellow, shine = (190, 130, 0), (255, 215, 20), (255, 240, 140)
    outlined(
        c,
        polygon([(2, 2.5), (2, 30.5), (24, 16.5)]),
        polygon([(3.4, 5), (3.4, 28), (21.4, 16.5)]),
        edge,
        yellow,
    )
    c.paint(polygon([(4.6, 7.2), (4.6, 14), (10.5, 10.6)]), shine)
    red_dark, red = (120, 0, 0), (225, 25, 25)
    flag_points = [(25.8, 8.5), (28.6, 11.6), (29.2, 14.6), (28.0, 17.8)]
    c.paint(
        union(
            ellipse(22.6, 27.3, 5.0, 3.9, -25),
            segment(25.8, 26, 25.8, 8.5, 4.2),
            polyline(flag_points, 4.0),
        ),
        red_dark,
    )
    c.paint(
        union(ellipse(22.6, 27.3, 4.0, 2.9, -25), segment(25.8, 26, 25.8, 8.5, 2.2), polyline(flag_points, 2.2)),
        red,
    )
    c.paint(ellipse(21.5, 26.4, 1.3, 0.7, -25), (255, 150, 150))
    return c


STOP_GLYPHS = [
    [".###", "#...", "#...", ".##.", "...#", "...#", "###."],
    ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    [".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."],
    ["###.", "#..#", "#..#", "###.", "#...", "#...", "#..."],
]


def stop_119():
    """A red octagonal stop sign with a white rim and the word STOP."""
    c = Canvas(32, 32, BACKGROUND)
    c.paint(octagon(16, 16, 15.6), (120, 0, 0))
    c.paint(octagon(16, 16, 14.7), (255, 255, 255))
    c.paint(octagon(16, 16, 13.4), (210, 20, 20))
    c.text(6, 13, STOP_GLYPHS, (255, 255, 255))
    return c


def british_flag_120():
    """The Union Flag: blue field, white and red saltires, white and red cross."""
    c = Canvas(16, 12, (1, 33, 105))
    w, h = 16.0, 12.0
    diag = math.hypot(w, h)

    def band(sign, lo, hi, side):
        # Distance from the diagonal through the flag's centre; `side` picks
        # the half of the flag (hoist -1, fly +1) the band belongs to.
        def inside(x, y):
            if side and (x - w / 2) * side < 0:
                return False
            if sign > 0:
                d = (h * x - w * y) / diag
            else:
                d = (h * x + w * y - w * h) / diag
            return lo <= d <= hi

        return inside

    c.paint(band(+1, -1.7, 1.7, 0), (255, 255, 255))
    c.paint(band(-1, -1.7, 1.7, 0), (255, 255, 255))
    # The red saltire is counterchanged: below the white centre on the
    # hoist, above it on the fly.
    red = (200, 16, 46)
    c.paint(band(+1, -1.4, -0.2, -1), red)
    c.paint(band(+1, 0.2, 1.4, +1), red)
    c.paint(band(-1, 0.2, 1.4, -1), red)
    c.paint(band(-1, -1.4, -0.2, +1), red)
    c.paint(union(rect(0, 4, 16, 8), rect(6, 0, 10, 12)), (255, 255, 255))
    c.paint(union(rect(0, 5, 16, 7), rect(7, 0, 9, 12)), red)
    return c


def german_flag_121():
    """Black, red and gold in three equal stripes."""
    c = Canvas(16, 12, (0, 0, 0))
    c.paint(rect(0, 4, 16, 8), (221, 0, 0))
    c.paint(rect(0, 8, 16, 12), (255, 206, 0))
    return c


ICON_FRAME = (50, 90, 170)
ICON_FIELD = (190, 220, 255)
ICON_RING = (220, 50, 120)
ICON_RING_DARK = (140, 20, 70)
ICON_SHIELD = (250, 150, 190)
ICON_TEAT = (245, 195, 110)
ICON_TEAT_DARK = (170, 110, 30)
ICON_WHITE = (255, 255, 255)


def icon_picture(size, smooth):
    """A small dummy on a pale blue rounded square; outside is transparent."""
    c = Canvas(size, size, None, smooth)
    s = size / 32.0
    crisp = Canvas(size, size, None, False)
    crisp.paint(rounded_rect(0, 0, size, size, 6 * s), ICON_FRAME)
    inset = 1.2 * s + 0.3
    crisp.paint(rounded_rect(inset, inset, size - inset, size - inset, 5 * s), ICON_FIELD)
    c.pixels = crisp.pixels

    # The dummy leans to the right: teat top left, ring bottom right.
    def p(x, y):
        return (x * s, y * s)

    def line(a, b, width):
        return segment(*p(*a), *p(*b), width * s)

    if size < 32:
        # Drawn for 16 pixels, where outlines of the large picture would
        # swallow the parts.
        c.paint(ring(11.2, 11.2, 3.4, 1.4), ICON_RING_DARK)
        c.paint(ellipse(7.6, 7.6, 6.4, 2.9, -45), ICON_RING_DARK)
        c.paint(ellipse(7.6, 7.6, 5.4, 1.9, -45), ICON_SHIELD)
        c.paint(circle(4.4, 4.4, 2.8), ICON_TEAT_DARK)
        c.paint(segment(4.4, 4.4, 6.4, 6.4, 2.2), ICON_TEAT)
        c.paint(circle(4.4, 4.4, 1.9), ICON_TEAT)
        c.set(4, 4, ICON_WHITE)
        return c
    c.paint(ring(*p(21, 21), 6.5 * s, 3.7 * s), ICON_RING_DARK)
    c.paint(ring(*p(21, 21), 5.9 * s, 4.4 * s), ICON_RING)
    c.paint(line((15, 15), (18.5, 18.5), 5.5), ICON_RING_DARK)
    c.paint(ellipse(*p(13.5, 13.5), 11.5 * s, 4.8 * s, -45), ICON_RING_DARK)
    c.paint(ellipse(*p(13.5, 13.5), 10.3 * s, 3.6 * s, -45), ICON_SHIELD)
    c.paint(line((11, 11), (8.5, 8.5), 4.6), ICON_TEAT_DARK)
    c.paint(circle(*p(7, 7), 4.4 * s), ICON_TEAT_DARK)
    c.paint(line((11, 11), (8.5, 8.5), 2.8), ICON_TEAT)
    c.paint(circle(*p(7, 7), 3.4 * s), ICON_TEAT)
    c.paint(circle(*p(5.8, 5.8), 1.1 * s), ICON_WHITE)
    return c


def icon_106():
    images = []
    for size in (16, 32):
        crisp = icon_picture(size, False)
        images.append((size, 4, icon_image(crisp, 4, palette_of(crisp, 16))))
        smooth = icon_picture(size, True)
        reduce_colours(smooth, 256)
        images.append((size, 8, icon_image(smooth, 8, palette_of(smooth, 256))))
    return ico_bytes(images)


BITMAPS = {
    "109": dummy_109,
    "111": bottle_111,
    "116": alarm_clock_116,
    "117": telephone_117,
    "118": play_118,
    "119": stop_119,
    "120": british_flag_120,
    "121": german_flag_121,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "src", "resources", "pictures")
    out = os.path.normpath(sys.argv[1] if len(sys.argv) > 1 else default)
    os.makedirs(out, exist_ok=True)
    for name, draw in BITMAPS.items():
        with open(os.path.join(out, name + ".bmp"), "wb") as f:
            f.write(bmp_bytes(draw()))
    with open(os.path.join(out, "106.ico"), "wb") as f:
        f.write(icon_106())
    print("pictures written to", out)


if __name__ == "__main__":
    main()
