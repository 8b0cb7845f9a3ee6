#!/usr/bin/env python3
"""Draws the icon of one of the Windows programs and writes it as a .ico file.

Usage: make_icon.py updater|registry OUT.ico

Each emblem is a rounded tile in the programs' own colours with a simple figure on it: a
downward arrow into a tray for the Updater, the rows of a server list with a lit "online" dot
for the Registry. Shapes are signed-distance functions sampled once per pixel with an edge one
pixel wide, so every size is drawn sharply from the same description rather than scaled.
The file holds 16, 24, 32 and 48 pixels as 32-bit bitmaps (read by every Windows) and 256
pixels as PNG. The output depends only on this script: the same bytes on every run.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)

# The colours of the windows: panel 0x2F241E, window 0x61514B and text 0x9AADC2 as RGB.
DARK = (0x1E, 0x24, 0x2F)
SLATE = (0x4B, 0x51, 0x61)
SAND = (0xC2, 0xAD, 0x9A)
GOLD = (0xE8, 0xB8, 0x4A)
GREEN = (0x5C, 0xC8, 0x5C)


class Box:
    """A box centred at (cx, cy) with half sizes hw, hh and rounded corners; `cut` is a
    second box taken out of it."""

    def __init__(self, cx, cy, hw, hh, radius=0.0, cut=None):
        self.c, self.h, self.radius, self.cut = (cx, cy), (hw, hh), radius, cut
        self.bounds = (cx - hw, cy - hh, cx + hw, cy + hh)

    def distance(self, x, y):
        qx = abs(x - self.c[0]) - self.h[0] + self.radius
        qy = abs(y - self.c[1]) - self.h[1] + self.radius
        d = math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - self.radius
        return max(d, -self.cut.distance(x, y)) if self.cut else d


class Circle:
    def __init__(self, cx, cy, r):
        self.c, self.r = (cx, cy), r
        self.bounds = (cx - r, cy - r, cx + r, cy + r)

    def distance(self, x, y):
        return math.hypot(x - self.c[0], y - self.c[1]) - self.r


class Polygon:
    def __init__(self, points):
        self.points = points
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        self.bounds = (min(xs), min(ys), max(xs), max(ys))

    def distance(self, x, y):
        """Distance to the outline, negative inside (even-odd rule)."""
        d = float("inf")
        inside = False
        xj, yj = self.points[-1]
        for xi, yi in self.points:
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            if (yi > y) != (yj > y) and x < xi + (y - yi) * ex / ey:
                inside = not inside
            xj, yj = xi, yi
        return -d if inside else d


# Coordinates run from 0 to 1 across the icon. Edges lie on sixteenths, so that they fall
# between pixels at 16, 32 and 48 pixels and the smallest sizes stay sharp.


def tile(colour, border):
    """The rounded tile every emblem stands on, with a border of another colour."""
    return [(Box(0.5, 0.5, 0.5, 0.5, 0.1875), border),
            (Box(0.5, 0.5, 0.4375, 0.4375, 0.125), colour)]


ARROW = Polygon([(0.375, 0.1875), (0.625, 0.1875), (0.625, 0.4375), (0.75, 0.4375),
                 (0.5, 0.6875), (0.25, 0.4375), (0.375, 0.4375)])
# A U-shaped tray under the arrow: a wide bar with the middle of its top cut away.
TRAY = Box(0.5, 0.6875, 0.25, 0.125, cut=Box(0.5, 0.625, 0.1875, 0.125))


def server_row(row):
    cy = 0.3125 + 0.1875 * row
    return [(Box(0.59375, cy, 0.21875, 0.0625, 0.03), SAND),
            (Circle(0.25, cy, 0.078125), GREEN if row == 0 else SAND)]


EMBLEMS = {
    "updater": tile(DARK, SAND) + [(ARROW, GOLD), (TRAY, SAND)],
    "registry": tile(SLATE, DARK) + server_row(0) + server_row(1) + server_row(2),
}


def render(layers, size):
    """RGBA rows, top row first: each layer laid over the ones before it ("over" with
    straight alpha), visiting only the pixels its bounds reach."""
    pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]
    for shape, colour in layers:
        left, top, right, bottom = (int(v * size) for v in shape.bounds)
        for py in range(max(0, top - 1), min(size, bottom + 2)):
            y = (py + 0.5) / size
            for px in range(max(0, left - 1), min(size, right + 2)):
                cover = min(1.0, max(0.0, 0.5 - shape.distance((px + 0.5) / size, y) * size))
                if cover <= 0.0:
                    continue
                pixel = pixels[py * size + px]
                alpha = cover + pixel[3] * (1.0 - cover)
                for i in range(3):
                    pixel[i] = (colour[i] * cover + pixel[i] * pixel[3] * (1.0 - cover)) / alpha
                pixel[3] = alpha
    return [bytes(round(v * 255 if i == 3 else v) for p in pixels[y * size:(y + 1) * size]
                  for i, v in enumerate(p)) for y in range(size)]


def png(rows, size):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(rows, size):
    """A 32-bit icon bitmap: header, colour rows bottom-up (BGRA), then the 1-bit mask."""
    colour = b"".join(
        bytes(px for i in range(0, len(row), 4) for px in (row[i + 2], row[i + 1], row[i], row[i + 3]))
        for row in reversed(rows))
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x in range(size):
            if row[4 * x + 3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(colour) + len(mask), 0,
                         0, 0, 0)
    return header + colour + bytes(mask)


def icon(layers):
    images = []
    for size in SIZES:
        rows = render(layers, size)
        images.append((size, png(rows, size) if size >= 256 else dib(rows, size)))
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in EMBLEMS:
        sys.exit("usage: make_icon.py %s OUT.ico" % "|".join(sorted(EMBLEMS)))
    data = icon(EMBLEMS[sys.argv[1]])
    with open(sys.argv[2] + ".tmp", "wb") as out:
        out.write(data)
    # Replaced whole, so that an interrupted build never leaves half an icon behind.
    os.replace(sys.argv[2] + ".tmp", sys.argv[2])


if __name__ == "__main__":
    main()
