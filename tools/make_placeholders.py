#!/usr/bin/env python3
"""Draws the two placeholder pictures of the plugin as 50x50 32-bit BMPs.

  No_Thumb (BITMAP0): an empty picture frame - the document carries no thumbnail.
  No_7za   (BITMAP1): an archive box with a red cross - 7za.exe is not beside the plugin.

Run it from the repository root; it rewrites dll/res/*.bmp.
"""
import struct

W = H = 50
FONT = {  # 3x5 pixel glyphs, rows top to bottom
    "N": ["1.1", "111", "111", "111", "1.1"], "O": ["111", "1.1", "1.1", "1.1", "111"],
    "T": ["111", ".1.", ".1.", ".1.", ".1."], "H": ["1.1", "1.1", "111", "1.1", "1.1"],
    "U": ["1.1", "1.1", "1.1", "1.1", "111"], "M": ["1.1", "111", "111", "1.1", "1.1"],
    "B": ["11.", "1.1", "11.", "1.1", "11."], "7": ["111", "..1", ".1.", ".1.", ".1."],
    "Z": ["111", "..1", ".1.", "1..", "111"], "A": [".1.", "1.1", "111", "1.1", "1.1"],
    " ": ["...", "...", "...", "...", "..."],
}


def canvas(color):
    return [[color] * W for _ in range(H)]


def rect(img, x0, y0, x1, y1, color):
    for y in range(max(0, y0), min(H, y1)):
        for x in range(max(0, x0), min(W, x1)):
            img[y][x] = color


def line(img, x0, y0, x1, y1, color, width=2):
    steps = max(abs(x1 - x0), abs(y1 - y0)) or 1
    for i in range(steps + 1):
        x = x0 + (x1 - x0) * i // steps
        y = y0 + (y1 - y0) * i // steps
        rect(img, x, y, x + width, y + width, color)


def text(img, s, y, color):
    width = len(s) * 4 - 1
    x = (W - width) // 2
    for ch in s:
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    img[y + row][x + col] = color
        x += 4


def save(img, path):
    rows = b"".join(struct.pack("<4B", b, g, r, 255) for row in reversed(img) for (r, g, b) in row)
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 32, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(rows), 0, 0, 14 + len(header)))
        f.write(header + rows)


BACK, DARK, WHITE = (236, 233, 216), (64, 64, 64), (255, 255, 255)

thumb = canvas(BACK)
rect(thumb, 7, 4, 43, 38, (150, 100, 50))     # wooden frame
rect(thumb, 11, 8, 39, 34, WHITE)            # with nothing in it
line(thumb, 13, 10, 36, 31, (200, 200, 200), 1)
line(thumb, 36, 10, 13, 31, (200, 200, 200), 1)
text(thumb, "NO THUMB", 42, DARK)
save(thumb, "dll/res/no_thumb.bmp")

archiver = canvas(BACK)
rect(archiver, 9, 8, 41, 36, (200, 160, 90))   # the box
rect(archiver, 9, 8, 41, 13, (170, 130, 60))   # its lid
rect(archiver, 22, 8, 28, 36, (120, 120, 120))  # the zip strap
line(archiver, 12, 12, 37, 35, (220, 0, 0), 3)  # crossed out: the tool is missing
line(archiver, 37, 12, 12, 35, (220, 0, 0), 3)
text(archiver, "NO 7ZA", 42, DARK)
save(archiver, "dll/res/no_7za.bmp")
