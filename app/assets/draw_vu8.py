#!/usr/bin/env python3
"""Draws vu8.png, the scale behind the player's two level bars: 492 x 107, 8-bit RGB.

A ruler along the top numbered 2 to 48 and marked "L", one along the bottom numbered 1 to 47
and marked "R", a plain grey band between them. Run it from anywhere; it writes next to itself.
Needs only the standard library, so the committed PNG can be redrawn on any machine.
"""

import os
import struct
import zlib

WIDTH, HEIGHT = 492, 107
RULER = 19                      # rows of each ruler; the band takes the rest
BACK = (34, 38, 36)
INK = (222, 226, 214)
BAND = (150, 152, 150)
TICK_MAJOR, TICK_MINOR = 6, 3

# 5 x 7 glyphs, one string per row, '#' set.
GLYPHS = {
    "0": [" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "],
    "1": ["  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "2": [" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"],
    "3": ["#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "],
    "4": ["   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "],
    "5": ["#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "],
    "6": ["  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "],
    "7": ["#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "],
    "8": [" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "],
    "9": [" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "],
    "L": ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
}


def scale_x(step):
    """x of scale step 0..48 across the 482-pixel bars, which start one pixel in."""
    return 6 + step * 10


def draw():
    pixels = [[BACK] * WIDTH for _ in range(HEIGHT)]

    def put(x, y, colour):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            pixels[y][x] = colour

    def text(s, x, y):
        for i, ch in enumerate(s):
            for row, line in enumerate(GLYPHS[ch]):
                for col, cell in enumerate(line):
                    if cell == "#":
                        put(x + i * 6 + col, y + row, INK)

    def centred(s, cx, y):
        text(s, cx - (len(s) * 6 - 1) // 2, y)

    for y in range(RULER, HEIGHT - RULER):
        for x in range(WIDTH):
            pixels[y][x] = BAND

    # Top ruler: even numbers, ticks hanging down onto the band's edge.
    text("L", 2, 3)
    for step in range(1, 49):
        x = scale_x(step)
        length = TICK_MAJOR if step % 2 == 0 else TICK_MINOR
        for y in range(RULER - length, RULER):
            put(x, y, INK)
        if step % 2 == 0:
            centred(str(step), x, 3)

    # Bottom ruler: odd numbers, ticks standing up from the band's edge.
    bottom = HEIGHT - RULER
    text("R", 2, bottom + 9)
    for step in range(1, 49):
        x = scale_x(step)
        length = TICK_MAJOR if step % 2 == 1 else TICK_MINOR
        for y in range(bottom, bottom + length):
            put(x, y, INK)
        if step % 2 == 1:
            centred(str(step), x, bottom + 9)
    return pixels


def png(pixels):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for r, g, b in row:
            raw += bytes((r, g, b))
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)  # 8-bit RGB, not interlaced
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "vu8.png")
    with open(out, "wb") as f:
        f.write(png(draw()))
    print(out)
