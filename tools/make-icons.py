#!/usr/bin/env python3
"""Draws the docklet's default images and writes them as PNG (zlib only, no imaging
library): icons/background.png, the dock icon (a news sheet with a feed badge on a blue
tile), and icons/menu.png, the small picture beside the item menu's entries.

Shapes are signed-distance functions; each pixel's coverage is the distance clamped to
one pixel, which gives smooth edges without supersampling.

usage: make-icons.py [OUTPUT_FOLDER]   (default: src/resources/icons next to this script)
"""
import math
import os
import struct
import sys
import zlib


def write_png(path, width, height, rgba):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            r, g, b, a = rgba[y * width + x]
            raw += bytes((round(r * 255), round(g * 255), round(b * 255), round(a * 255)))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# Signed distances (negative inside), in pixels.
def rounded_rect(x0, y0, x1, y1, r):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(px, py):
        qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - r
    return d


def circle(cx, cy, r):
    return lambda px, py: math.hypot(px - cx, py - cy) - r


def arc_band(cx, cy, r_in, r_out, a0, a1):
    """A ring between two radii, limited to angles a0..a1 (radians, y down), round caps."""
    mid, half = (r_in + r_out) / 2, (r_out - r_in) / 2

    def d(px, py):
        ang = math.atan2(py - cy, px - cx)
        if a0 <= ang <= a1:
            return abs(math.hypot(px - cx, py - cy) - mid) - half
        best = 1e9
        for a in (a0, a1):
            ex, ey = cx + mid * math.cos(a), cy + mid * math.sin(a)
            best = min(best, math.hypot(px - ex, py - ey) - half)
        return best
    return d


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [(0.0, 0.0, 0.0, 0.0)] * (size * size)

    def fill(self, shape, colour, scale=1.0):
        """Paints shape with colour(x, y) -> (r, g, b, a), 'over' compositing."""
        n = self.size
        for y in range(n):
            for x in range(n):
                cov = min(max(0.5 - shape(x + 0.5, y + 0.5) / scale, 0.0), 1.0)
                if cov <= 0:
                    continue
                r, g, b, a = colour(x + 0.5, y + 0.5)
                a *= cov
                dr, dg, db, da = self.px[y * n + x]
                oa = a + da * (1 - a)
                if oa <= 0:
                    continue
                self.px[y * n + x] = ((r * a + dr * da * (1 - a)) / oa, (g * a + dg * da * (1 - a)) / oa,
                                      (b * a + db * da * (1 - a)) / oa, oa)


def hexcol(h, a=1.0):
    return (int(h[0:2], 16) / 255, int(h[2:4], 16) / 255, int(h[4:6], 16) / 255, a)


def solid(h, a=1.0):
    c = hexcol(h, a)
    return lambda x, y: c


def vertical(h0, h1, y0, y1):
    c0, c1 = hexcol(h0), hexcol(h1)

    def f(x, y):
        t = min(max((y - y0) / (y1 - y0), 0), 1)
        return tuple(c0[i] + (c1[i] - c0[i]) * t for i in range(4))
    return f


def feed_badge(cv, cx, cy, r, s=1.0):
    """An orange disc with a dot and two signal arcs spreading to the upper right."""
    cv.fill(circle(cx + 2 * s, cy + 3 * s, r), solid("000000", 0.25))
    cv.fill(circle(cx, cy, r), vertical("FFA23A", "E8620C", cy - r, cy + r))
    ox, oy = cx - r * 0.42, cy + r * 0.42
    w = r * 0.16
    cv.fill(circle(ox, oy, w * 1.15), solid("FFFFFF"))
    for k in (1, 2):
        rad = r * 0.38 * k + w * 0.2
        cv.fill(arc_band(ox, oy, rad, rad + w * 1.5, -math.pi / 2, 0), solid("FFFFFF"))


def background(size=256):
    cv = Canvas(size)
    s = size / 256
    # Tile: blue, darker at the bottom, with a faint rim.
    cv.fill(rounded_rect(14 * s, 18 * s, 242 * s, 246 * s, 46 * s), solid("000000", 0.28))
    cv.fill(rounded_rect(14 * s, 12 * s, 242 * s, 240 * s, 46 * s), solid("123B6E"))
    cv.fill(rounded_rect(16 * s, 14 * s, 240 * s, 238 * s, 44 * s), vertical("3C8EE0", "1C4F94", 14 * s, 238 * s))
    # A soft highlight across the top half of the tile.
    cv.fill(rounded_rect(24 * s, 20 * s, 232 * s, 118 * s, 38 * s), solid("FFFFFF", 0.10))
    # The news sheet with its shadow.
    cv.fill(rounded_rect(62 * s, 50 * s, 200 * s, 216 * s, 10 * s), solid("000000", 0.30))
    cv.fill(rounded_rect(56 * s, 44 * s, 194 * s, 210 * s, 10 * s), vertical("FFFFFF", "E6EBF2", 44 * s, 210 * s))
    # Headline and text lines.
    cv.fill(rounded_rect(74 * s, 64 * s, 150 * s, 80 * s, 4 * s), solid("2A3440"))
    for i, right in enumerate((176, 168, 176, 160, 172, 150)):
        y = (96 + i * 17) * s
        cv.fill(rounded_rect(74 * s, y, right * s, y + 7 * s, 3.5 * s), solid("9AA6B4"))
    feed_badge(cv, 186 * s, 66 * s, 34 * s, s)
    return cv


def menu(size=16):
    cv = Canvas(size)
    s = size / 16
    cv.fill(rounded_rect(0.5 * s, 0.5 * s, 15.5 * s, 15.5 * s, 3.5 * s), vertical("FFA23A", "E0580A", 0, 16 * s))
    ox, oy = 4.2 * s, 11.8 * s
    cv.fill(circle(ox, oy, 1.7 * s), solid("FFFFFF"))
    cv.fill(arc_band(ox, oy, 4.0 * s, 6.0 * s, -math.pi / 2, 0), solid("FFFFFF"))
    cv.fill(arc_band(ox, oy, 7.6 * s, 9.6 * s, -math.pi / 2, 0), solid("FFFFFF"))
    return cv


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src", "resources", "icons")
    os.makedirs(out, exist_ok=True)
    for name, cv in (("background.png", background()), ("menu.png", menu())):
        write_png(os.path.join(out, name), cv.size, cv.size, cv.px)
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
