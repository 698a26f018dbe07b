#!/usr/bin/env python3
"""Writes the sample documents of the panel demo into samples/: drawings of
several shapes, as both program eras store their preview. ZIP era:
previews/thumbnail.png (wide, tall, small) and
metadata/thumbnails/thumbnail.bmp; RIFF era: an 8-bit DISP chunk. The
pictures are drawn here, with plain shapes and thin lines.
Usage: tools/make_panel_samples.py [FOLDER]"""
import math
import os
import struct
import sys
import zipfile
import zlib


def draw(w, h, hue):
    """Rows of (r, g, b): a soft gradient, a filled disc, one-pixel grid lines."""
    rows = []
    cx, cy, rad = w / 2, h / 2, min(w, h) / 3
    for y in range(h):
        row = []
        for x in range(w):
            t = (x + y) / (w + h)
            r, g, b = [int(200 + 55 * t * c) for c in hue]
            if (x - cx) ** 2 + (y - cy) ** 2 < rad * rad:
                r, g, b = 250 - 150 * hue[0], 120 + 60 * hue[1], 60 + 150 * hue[2]
            if x % 16 == 0 or y % 16 == 0:
                r, g, b = 90, 90, 110
            if abs(y - h * x / w) < 1 or abs(y - h + h * x / w) < 1:
                r, g, b = 20, 20, 20
            row.append((int(r) & 255, int(g) & 255, int(b) & 255))
        rows.append(row)
    return rows


def png(rows):
    h, w = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib24(rows):
    h, w = len(rows), len(rows[0])
    pad = (-3 * w) % 4
    bits = b"".join(bytes(c for px in row for c in px[::-1]) + b"\0" * pad for row in reversed(rows))
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(bits), 2835, 2835, 0, 0) + bits


def bmp(rows):
    dib = dib24(rows)
    return b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, 54) + dib


def disp(rows):
    """The data of a DISP chunk: an 8-bit picture whose colours are cut to
    a 6x6x6 cube, as old previews were."""
    h, w = len(rows), len(rows[0])
    table = b"".join(struct.pack("<BBBB", b * 51, g * 51, r * 51, 0)
                     for r in range(6) for g in range(6) for b in range(6)) + b"\0" * 4 * 40
    pad = (-w) % 4
    bits = b"".join(bytes(36 * round(px[0] / 51) + 6 * round(px[1] / 51) + round(px[2] / 51) for px in row) +
                    b"\0" * pad for row in reversed(rows))
    return struct.pack("<I", 8) + struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(bits), 0, 0, 0, 0) + table + bits


def riff(rows):
    """A RIFF-era document whose DISP chunk holds the picture."""
    data = disp(rows)
    body = b"CDR9" + b"vrsn" + struct.pack("<I", 2) + struct.pack("<H", 900)
    body += b"DISP" + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")
    body += b"cdrd" + struct.pack("<I", 16) + b"\0" * 16
    return b"RIFF" + struct.pack("<I", len(body)) + body


def zip_document(path, members):
    with zipfile.ZipFile(path, "w") as z:
        for name, data, method in members:
            z.writestr(zipfile.ZipInfo(name, (2024, 5, 1, 12, 0, 0)), data, compress_type=method)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "samples")
    os.makedirs(folder, exist_ok=True)
    S, D = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
    zip_document(os.path.join(folder, "poster-wide.cdr"),
                 [("mimetype", b"application/x-drawing", S), ("content/root.dat", b"\0" * 64, D),
                  ("previews/thumbnail.png", png(draw(400, 300, (0.2, 0.5, 0.9))), S)])
    zip_document(os.path.join(folder, "banner-tall.cdt"),
                 [("mimetype", b"application/x-drawing", S),
                  ("previews/thumbnail.png", png(draw(150, 300, (0.9, 0.4, 0.2))), D)])
    zip_document(os.path.join(folder, "icon-small.pat"),
                 [("previews/thumbnail.png", png(draw(64, 48, (0.3, 0.9, 0.4))), D)])
    zip_document(os.path.join(folder, "logo-bmp-era.cdr"),
                 [("content/riffData.cdr", b"RIFF" + b"\0" * 60, D),
                  ("metadata/thumbnails/thumbnail.bmp", bmp(draw(256, 256, (0.7, 0.3, 0.8))), D)])
    with open(os.path.join(folder, "plan-riff-era.cdr"), "wb") as f:
        f.write(riff(draw(240, 160, (0.5, 0.8, 0.2))))


if __name__ == "__main__":
    main()
