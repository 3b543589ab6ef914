#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the app's icon from a report's letter picture: the map, one square of SCALE
pixels a tile in the tile colours of the page's style sheet, in the middle of a square
of SIZE pixels of the sheet's paper colour. The picture is taken from the program's
own report of one of our samples, so the icon is made, never drawn by hand.

    icon.py REPORT STYLE LETTERS SIZE SCALE OUT.png

REPORT is the program's standard output on a cave file, STYLE the page's style sheet,
LETTERS the sixteen letters of tile values 0 to 15. The PNG is an indexed image
compressed at a fixed level, so the same report gives the same bytes.
"""

import re
import struct
import sys
import zlib


def colours(style):
    """The sheet's paper colour and its sixteen tile colours, as (r, g, b)."""
    found = dict(re.findall(r"--([a-z0-9-]+):\s*#([0-9a-fA-F]{6})\s*;", style))
    rgb = lambda name: tuple(bytes.fromhex(found[name]))
    return rgb("paper"), [rgb("tile-%d" % value) for value in range(16)]


def picture(report):
    """The 23 rows of 40 letters below the report's second type line."""
    lines = report.split("\n")
    top = next(i for i, line in enumerate(lines) if line.endswith("-(2)-")) + 1
    rows = lines[top:top + 23]
    if len(rows) != 23 or any(len(row) != 40 for row in rows):
        raise SystemExit("icon.py: the report holds no whole map picture")
    return rows


def png(width, height, palette, pixels):
    """An 8-bit indexed PNG of the given palette and rows of indices."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(row) for row in pixels)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0))
            + chunk(b"PLTE", b"".join(bytes(c) for c in palette))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    report, style, letters, size, scale, out = sys.argv[1:7]
    size, scale = int(size), int(scale)
    with open(report, encoding="latin-1") as f:
        rows = picture(f.read())
    with open(style, encoding="utf-8") as f:
        paper, tiles = colours(f.read())
    left, top = (size - 40 * scale) // 2, (size - 23 * scale) // 2
    if left < 0 or top < 0:
        raise SystemExit("icon.py: a map of scale %d does not fit in %d pixels" % (scale, size))
    paperindex = 16  # the paper colour follows the tile colours in the palette
    pixels = [[paperindex] * size for _ in range(size)]
    for y in range(23 * scale):
        row = rows[y // scale]
        pixels[top + y][left:left + 40 * scale] = [letters.index(row[x // scale]) for x in range(40 * scale)]
    with open(out, "wb") as f:
        f.write(png(size, size, tiles + [paper], pixels))


if __name__ == "__main__":
    main()
