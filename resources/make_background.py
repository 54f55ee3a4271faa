#!/usr/bin/env python3
"""Draws the window's background picture: background.bmp, 640 x 549, 24 bits.

A mosaic of irregular cells with dark green outlines, mostly cream, with a dark
blue patch along the top left, a lighter blue patch right of centre, a dark
green patch in the lower left, and red captions in the top-left and bottom-right
corners. Seeded, so every run writes the same bytes.
"""
import random
import struct
import sys

WIDTH, HEIGHT = 640, 549
SEED = 1907
GRID = 46  # spacing of the cells' seed points

CREAM = [(246, 238, 214), (241, 231, 203), (250, 244, 226), (237, 226, 196)]
DARK_BLUE = [(24, 42, 104), (30, 52, 120), (20, 36, 92)]
LIGHT_BLUE = [(128, 170, 214), (104, 150, 204), (148, 186, 224)]
DARK_GREEN = [(34, 84, 46), (28, 72, 40), (42, 96, 54)]
OUTLINE = (22, 70, 34)
RED = (196, 28, 28)

# A 5 x 7 pixel font, just the letters the captions use.
GLYPHS = {
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "u": ["00000", "00000", "10001", "10001", "10001", "10011", "01101"],
    "i": ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    "l": ["01100", "00100", "00100", "00100", "00100", "00100", "01110"],
    "b": ["10000", "10000", "10110", "11001", "10001", "10001", "11110"],
    "o": ["00000", "00000", "01110", "10001", "10001", "10001", "01110"],
    "r": ["00000", "00000", "10110", "11001", "10000", "10000", "10000"],
    "g": ["00000", "01111", "10001", "10001", "01111", "00001", "01110"],
    "h": ["10000", "10000", "10110", "11001", "10001", "10001", "10001"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "d": ["00001", "00001", "01101", "10011", "10001", "10001", "01111"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "s": ["00000", "00000", "01111", "10000", "01110", "00001", "11110"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "k": ["10000", "10000", "10010", "10100", "11000", "10100", "10010"],
    " ": ["00000"] * 7,
}


def seed_points(rng):
    """One jittered point per grid square, so every pixel's nearest point is close by."""
    points = {}
    for gy in range(-1, HEIGHT // GRID + 2):
        for gx in range(-1, WIDTH // GRID + 2):
            x = (gx + rng.uniform(0.15, 0.85)) * GRID
            y = (gy + rng.uniform(0.15, 0.85)) * GRID
            points[(gx, gy)] = (x, y)
    return points


def cell_colour(rng, x, y):
    if x < 330 and 34 < y < 200:
        return rng.choice(DARK_BLUE)
    if 420 < x < 630 and 50 < y < 190:
        return rng.choice(LIGHT_BLUE)
    if x < 340 and y > 385:
        return rng.choice(DARK_GREEN)
    return rng.choice(CREAM)


def nearest_cell(points, x, y):
    gx, gy = int(x // GRID), int(y // GRID)
    best, best_key = None, None
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            key = (gx + dx, gy + dy)
            px, py = points[key]
            d = (px - x) ** 2 + (py - y) ** 2
            if best is None or d < best:
                best, best_key = d, key
    return best_key


def draw_text(pixels, text, left, top, scale):
    for i, ch in enumerate(text):
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit != "1":
                    continue
                for sy in range(scale):
                    for sx in range(scale):
                        x = left + (i * 6 + col) * scale + sx
                        y = top + row * scale + sy
                        pixels[y][x] = RED


def caption_box(pixels, text, left, top, scale):
    """A cream plate under the caption keeps it readable over the cells."""
    width = (len(text) * 6 - 1) * scale
    for y in range(top - 4, top + 7 * scale + 4):
        for x in range(left - 6, left + width + 6):
            pixels[y][x] = CREAM[2]
    draw_text(pixels, text, left, top, scale)


def main(path):
    rng = random.Random(SEED)
    points = seed_points(rng)
    colours = {key: cell_colour(rng, *points[key]) for key in sorted(points)}

    cells = [[nearest_cell(points, x + 0.5, y + 0.5) for x in range(WIDTH)] for y in range(HEIGHT)]
    pixels = [[colours[cells[y][x]] for x in range(WIDTH)] for y in range(HEIGHT)]
    for y in range(HEIGHT):
        for x in range(WIDTH):
            here = cells[y][x]
            if (x + 1 < WIDTH and cells[y][x + 1] != here) or (
                y + 1 < HEIGHT and cells[y + 1][x] != here
            ):
                pixels[y][x] = OUTLINE
                if x + 1 < WIDTH:
                    pixels[y][x + 1] = OUTLINE

    caption_box(pixels, "Quillborough", 8, 8, 3)
    caption_box(pixels, "Address Book", WIDTH - 8 - (12 * 6 - 1) * 2, HEIGHT - 24, 2)

    row_bytes = WIDTH * 3  # already a multiple of four
    image_size = row_bytes * HEIGHT
    header = struct.pack("<2sIHHI", b"BM", 54 + image_size, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info)
        for y in range(HEIGHT - 1, -1, -1):  # bottom-up
            out.write(b"".join(struct.pack("BBB", b, g, r) for (r, g, b) in pixels[y]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "background.bmp")
