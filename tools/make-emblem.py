#!/usr/bin/env python3
"""Draws the About box emblem (bitmap resource 1002): a quill over feed arcs on a
rounded tile, 96 x 96 pixels, written as an uncompressed 24-bit BMP.

Standard library only; every pixel is supersampled 4 x 4 for smooth edges.
Usage: make-emblem.py [output.bmp]   (default: src/resources/emblem.bmp)
"""
import math
import os
import struct
import sys

SIZE = 96
SS = 4  # samples per pixel edge


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def in_rounded_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1


def feather_shape(x, y):
    """Inside test for the quill: a leaf shape along the axis from (22, 80) to (80, 14),
    its width swelling in the middle, plus a thin shaft that runs to the nib."""
    ax, ay, bx, by = 24.0, 78.0, 80.0, 14.0
    dx, dy = bx - ax, by - ay
    length = math.hypot(dx, dy)
    ux, uy = dx / length, dy / length
    px, py = x - ax, y - ay
    t = (px * ux + py * uy) / length  # 0 at the nib, 1 at the tip
    d = -px * uy + py * ux            # signed distance from the shaft
    if t < 0 or t > 1:
        return None
    if t < 0.28:
        return 'shaft' if abs(d) <= 1.3 else None
    s = (t - 0.28) / 0.72
    half = 13.0 * math.sin(math.pi * s) ** 0.8 * (1.0 - 0.35 * s)
    # The vane on one side is broader than on the other, as on a real flight feather.
    if d > 0:
        half *= 0.62
    if abs(d) > half:
        return None
    if abs(d) <= 1.0:
        return 'shaft'
    # Barbs: faint diagonal grooves across the vane.
    groove = (t * length * 0.55 + abs(d) * 0.6) % 4.0
    return 'vane_dark' if groove < 0.7 else 'vane'


def sample(x, y):
    top, bottom = (22, 110, 128), (12, 40, 78)
    if not in_rounded_rect(x, y, 2, 2, SIZE - 2, SIZE - 2, 16):
        return (240, 240, 240)  # the dialog's face colour around the tile
    col = lerp(top, bottom, y / SIZE)
    # Soft light from the upper left.
    glow = max(0.0, 1.0 - math.hypot(x - 20, y - 14) / 80.0)
    col = lerp(col, (70, 160, 170), glow * 0.35)
    # Feed arcs around the lower-left corner.
    ox, oy = 18.0, 78.0
    r = math.hypot(x - ox, y - oy)
    orange = (247, 148, 29)
    if x >= ox - 1 and y <= oy + 1:
        if r <= 6.5:
            col = orange
        elif 17 <= r <= 24 or 33 <= r <= 40 or 49 <= r <= 56:
            col = lerp(orange, (255, 205, 120), (r - 17) / 45.0)
    part = feather_shape(x, y)
    if part == 'shaft':
        col = (92, 64, 40)
    elif part == 'vane':
        col = (250, 246, 232)
    elif part == 'vane_dark':
        col = (214, 206, 186)
    # Ink nib at the lower end of the quill.
    if math.hypot(x - 22.5, y - 80.0) < 2.2:
        col = (25, 25, 35)
    return col


def render():
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    c = sample(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS)
                    for i in range(3):
                        acc[i] += c[i]
            row.append(tuple(int(round(v / (SS * SS))) for v in acc))
        rows.append(row)
    return rows


def write_bmp(path, rows):
    stride = (SIZE * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b'\0' * (stride - len(line))
        pixels += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'src', 'resources', 'emblem.bmp')
    write_bmp(out, render())


if __name__ == '__main__':
    main()
