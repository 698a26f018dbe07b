#!/usr/bin/env python3
"""Writes the panel thumbnail's hostile seed documents into FOLDER: previews
whose headers declare sizes past any thumbnail, mostly without the rows to
back them. Sides are picked so that width x 3 (or width x height x 3) passes
2^32 and wraps in a 32-bit size_t: 1,431,655,766 is the first width where it
does. The panel must refuse each from its header, before decoding.
Usage: tools/make_panel_seeds.py FOLDER"""
import os
import struct
import sys
import zipfile
import zlib

WRAP = 1431655766  # the smallest w with w * 3 >= 2^32


def bmp(width, height, bits, rows=b""):
    colours = 1 << bits if bits <= 8 else 0
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(rows), 2835, 2835, 0, 0)
    table = b"".join(struct.pack("<I", 0xFFFFFF * (i & 1)) for i in range(colours))
    offset = 14 + len(info) + len(table)
    return struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset) + info + table + rows


def png(width, height, depth, colour, rows=None):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    body = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0))
    if rows is not None:
        body += chunk(b"IDAT", zlib.compress(rows, 9))
    return b"\x89PNG\r\n\x1a\n" + body + chunk(b"IEND", b"")


def zip_document(path, member, data):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype", (2020, 1, 1, 0, 0, 0)), b"application/x-vnd.drawing", zipfile.ZIP_STORED)
        z.writestr(zipfile.ZipInfo(member, (2020, 1, 1, 0, 0, 0)), data, zipfile.ZIP_DEFLATED)


def riff_disp(path, width, height, bits):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0, 0, 0)
    disp = struct.pack("<I", 8) + info + b"\0\0\0\0\xff\xff\xff\0" + b"\0" * 16
    body = b"CDRC" + b"DISP" + struct.pack("<I", len(disp)) + disp
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    thumb_bmp, thumb_png = "metadata/thumbnails/thumbnail.bmp", "previews/thumbnail.png"
    out = lambda name: os.path.join(folder, name)
    zip_document(out("bmp-1bit-1431655766x1-no-rows.cdr"), thumb_bmp, bmp(WRAP, 1, 1))
    zip_document(out("png-grey-1bit-65535x21846.cdr"), thumb_png, png(65535, 21846, 1, 0, b"\0" + b"\xff" * 8192))
    zip_document(out("bmp-24bit-30000x30000-no-rows.cdr"), thumb_bmp, bmp(30000, 30000, 24))
    zip_document(out("bmp-height-minus-2147483648.cdr"), thumb_bmp, bmp(1, -2147483648, 24, b"\0" * 4))
    zip_document(out("png-rgb-20000x20000-few-rows.cdr"), thumb_png, png(20000, 20000, 8, 2, (b"\0" + b"\x80" * 60000) * 3))
    riff_disp(out("riff-disp-1bit-1431655766-wide.cdr"), WRAP, 1, 1)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
