#!/usr/bin/env python3
"""Draws the program's icon: quillborough.ico, 16 x 16 and 32 x 32, 32 bits with
alpha. A cream index card with a dark blue tab and ruled green lines, and a red
quill across it, in the background picture's colours. Plain drawing, no
randomness: every run writes the same bytes.
"""
import struct
import sys

CREAM = (246, 238, 214)
DARK_BLUE = (30, 52, 120)
GREEN = (34, 84, 46)
RED = (196, 28, 28)
OUTLINE = (22, 70, 34)


def draw(size):
    """Rows of (r, g, b, a), top row first."""
    s = size / 32.0
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                pixels[y][x] = colour + (255,)

    fill(2, 7, 30, 29, OUTLINE)
    # The card inside a one-pixel outline at every size: scaled, its edge would
    # fall on the outline's at 16 pixels and leave the card open on two sides.
    left, top, right, bottom = int(2 * s) + 1, int(7 * s) + 1, int(30 * s) - 1, int(29 * s) - 1
    for y in range(top, bottom):
        for x in range(left, right):
            pixels[y][x] = (CREAM if x >= int(13 * s) or y >= int(12 * s) else DARK_BLUE) + (255,)
    for line in (15, 19, 23):
        fill(5, line, 27, line + 1, GREEN)
    # The quill: a diagonal band from the lower left to the upper right.
    for y in range(size):
        for x in range(size):
            u, v = x / s, y / s
            if abs((u + v) - 30) <= 1.6 and 6 <= u <= 29:
                pixels[y][x] = RED + (255,)
    return pixels


def image(size):
    """An icon image: BITMAPINFOHEADER, BGRA rows bottom-up, then the AND mask."""
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main(path):
    sizes = (16, 32)
    images = [image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "quillborough.ico")
