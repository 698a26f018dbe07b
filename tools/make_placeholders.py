#!/usr/bin/env python3
"""Draws the two placeholder pictures of the plugin as 50x50 32-bit BMPs.

  No_Thumb (BITMAP0): an empty picture frame - the document carries no thumbnail.
  No_7za   (BITMAP1): an archive box with a red cross - 7za.exe is not beside the plugin.

Each comes in a light and a dark variant (*_dark.bmp, for the host's dark mode),
and each at 100 % and at 200 % (*_2x.bmp, 100x100, for high-DPI screens).
Run it from the repository root; it rewrites dll/res/*.bmp.
"""
import struct

W = H = 50
S = 1  # the scale being drawn: 1 for 100 %, 2 for 200 % (coordinates stay those of 100 %)
FONT = {  # 3x5 pixel glyphs, rows top to bottom
    "N": ["1.1", "111", "111", "111", "1.1"], "O": ["111", "1.1", "1.1", "1.1", "111"],
    "T": ["111", ".1.", ".1.", ".1.", ".1."], "H": ["1.1", "1.1", "111", "1.1", "1.1"],
    "U": ["1.1", "1.1", "1.1", "1.1", "111"], "M": ["1.1", "111", "111", "1.1", "1.1"],
    "B": ["11.", "1.1", "11.", "1.1", "11."], "7": ["111", "..1", ".1.", ".1.", ".1."],
    "Z": ["111", "..1", ".1.", "1..", "111"], "A": [".1.", "1.1", "111", "1.1", "1.1"],
    " ": ["...", "...", "...", "...", "..."],
}


def canvas(color):
    return [[color] * (W * S) for _ in range(H * S)]


def rect(img, x0, y0, x1, y1, color):
    for y in range(max(0, y0 * S), min(H * S, y1 * S)):
        for x in range(max(0, x0 * S), min(W * S, x1 * S)):
            img[y][x] = color


def line(img, x0, y0, x1, y1, color, width=2):
    # Stepped at the drawing's own scale, so that 200 % is as smooth as it can be.
    steps = (max(abs(x1 - x0), abs(y1 - y0)) or 1) * S
    for i in range(steps + 1):
        x = x0 * S + (x1 - x0) * S * i // steps
        y = y0 * S + (y1 - y0) * S * i // steps
        for yy in range(max(0, y), min(H * S, y + width * S)):
            for xx in range(max(0, x), min(W * S, x + width * S)):
                img[yy][xx] = color


def text(img, s, y, color):
    width = len(s) * 4 - 1
    x = (W - width) // 2
    for ch in s:
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    rect(img, x + col, y + row, x + col + 1, y + row + 1, color)
        x += 4


def save(img, path):
    rows = b"".join(struct.pack("<4B", b, g, r, 255) for row in reversed(img) for (r, g, b) in row)
    header = struct.pack("<IiiHHIIiiII", 40, W * S, H * S, 1, 32, 0, len(rows), 2835 * S, 2835 * S, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(rows), 0, 0, 14 + len(header)))
        f.write(header + rows)


LIGHT = {"back": (236, 233, 216), "text": (64, 64, 64), "inside": (255, 255, 255), "faint": (200, 200, 200)}
# On the viewer's dark background (0x202020): the same drawing, with light text.
DARK = {"back": (32, 32, 32), "text": (210, 210, 210), "inside": (72, 72, 72), "faint": (110, 110, 110)}


def no_thumb(look):
    img = canvas(look["back"])
    rect(img, 7, 4, 43, 38, (150, 100, 50))     # wooden frame
    rect(img, 11, 8, 39, 34, look["inside"])    # with nothing in it
    line(img, 13, 10, 36, 31, look["faint"], 1)
    line(img, 36, 10, 13, 31, look["faint"], 1)
    text(img, "NO THUMB", 42, look["text"])
    return img


def no_7za(look):
    img = canvas(look["back"])
    rect(img, 9, 8, 41, 36, (200, 160, 90))   # the box
    rect(img, 9, 8, 41, 13, (170, 130, 60))   # its lid
    rect(img, 22, 8, 28, 36, (120, 120, 120))  # the zip strap
    line(img, 12, 12, 37, 35, (220, 0, 0), 3)  # crossed out: the tool is missing
    line(img, 37, 12, 12, 35, (220, 0, 0), 3)
    text(img, "NO 7ZA", 42, look["text"])
    return img


for S, size in ((1, ""), (2, "_2x")):
    for suffix, look in (("", LIGHT), ("_dark", DARK)):
        save(no_thumb(look), f"dll/res/no_thumb{suffix}{size}.bmp")
        save(no_7za(look), f"dll/res/no_7za{suffix}{size}.bmp")
