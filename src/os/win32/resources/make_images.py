#!/usr/bin/env python3
"""Draws the installer's banner bitmap and icon group, so that no artwork is kept in the tree.

    make_images.py BANNER.bmp ICON.ico

The banner is a 24-bit bitmap with the product name in a small block font on a dark gradient;
the icon is a ring with a stroke through it, at the six sizes a dialog may ask for (PNG inside
the icon for the largest one, as Windows expects at 256 pixels). Only the standard library.
"""
import math
import struct
import sys
import zlib

BANNER_SIZE = (506, 82)   # the progress dialog's banner area at 8-point dialog units
ICON_SIZES = (16, 24, 32, 48, 64, 256)

# 5x7 glyphs of the letters the banner needs; '#' is ink.
GLYPHS = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"],
    " ": ["....."] * 7,
}

DEEP = (18, 44, 74)
BRIGHT = (28, 120, 160)
ACCENT = (240, 180, 40)
WHITE = (255, 255, 255)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def banner_pixels(width, height):
    """Rows top to bottom of (r, g, b)."""
    rows = [[mix(DEEP, BRIGHT, x / (width - 1) * 0.8 + y / (height - 1) * 0.2) for x in range(width)]
            for y in range(height)]
    for x in range(width):   # a thin accent rule along the bottom edge
        for y in range(height - 4, height):
            rows[y][x] = ACCENT
    text, scale = "QUENTA SWIFTSET", 4
    left, top = 24, (height - 4 - 7 * scale) // 2
    for index, letter in enumerate(text):
        for gy, line in enumerate(GLYPHS[letter]):
            for gx, cell in enumerate(line):
                if cell != "#":
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        rows[top + gy * scale + dy][left + (index * 6 + gx) * scale + dx] = WHITE
    return rows


def bmp_bytes(rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):   # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + b"\0" * (stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header)) + header + data


def icon_pixels(size):
    """Rows top to bottom of (r, g, b, a): a rounded tile, a white ring and an accent stroke."""
    rows = []
    c = (size - 1) / 2
    for y in range(size):
        row = []
        for x in range(size):
            u, v = (x - c) / (size / 2), (y - c) / (size / 2)
            corner = max(abs(u), abs(v))
            tile = 1.0 - max(0.0, (max(abs(u) - 0.7, 0) ** 2 + max(abs(v) - 0.7, 0) ** 2) ** 0.5 - 0.28) * size
            alpha = max(0.0, min(1.0, tile)) if corner > 0.7 else 1.0
            color = mix(BRIGHT, DEEP, (v + 1) / 2)
            radius = math.hypot(u, v)
            ring = 1.0 - abs(radius - 0.5) * size / 2 + 0.12 * size / 2
            color = mix(color, WHITE, ring)
            stroke = 1.0 - abs((u - v) / math.sqrt(2)) * size / 2 + 0.06 * size / 2
            if 0.15 < (u + v) / 2 < 0.7:
                color = mix(color, ACCENT, stroke)
            row.append(color + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def dib_entry(rows):
    """A 32-bit icon image: header with doubled height, colour rows bottom-up, 1-bit mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    return header + bytes(colour) + b"\0" * (mask_stride * size)


def png_entry(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_bytes():
    images = [png_entry(icon_pixels(s)) if s >= 256 else dib_entry(icon_pixels(s)) for s in ICON_SIZES]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, image in zip(ICON_SIZES, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: make_images.py BANNER.bmp ICON.ico\n")
        return 2
    with open(argv[1], "wb") as out:
        out.write(bmp_bytes(banner_pixels(*BANNER_SIZE)))
    with open(argv[2], "wb") as out:
        out.write(ico_bytes())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
