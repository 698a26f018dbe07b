"""Writes a drawing (drawing_model) as a RIFF-era drawing document, version
13 ("CDRD") or 14 ("CDRE", the form stored inside ZIP documents), in the
smallest form libcdr reads:

  RIFF CDRx: vrsn, DISP (the preview), mcfg (page size),
    LIST fntt: font            LIST filc: fild (solid, linear, radial)
    LIST otlc: outl            LIST bmpt: bmp  (24-bit RGB)
    LIST btxt: txsm (one UTF-16 line, one style: font, size, colour)
    LIST page, per page: LIST layr: LIST obj  per shape, topmost first:
      spnd (text id), loda (rectangle 1, ellipse 2, curve 3, artistic
      text 4, bitmap 5, paragraph text 6; fill and outline ids), trfd
      (a translation), bbox (where artistic text stands)

Coordinates are 1/254000 inch from the page centre, y upwards."""
import struct

from drawing_model import Curve, Ellipse, Image, Linear, Radial, Rect, Solid, Text

UNITS = 254000
FONT_ID = 1
FONT_NAME = "Arial"


def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def listchunk(kind, chunks):
    return chunk(b"LIST", kind + b"".join(chunks))


def coord(v):
    return struct.pack("<i", round(v * UNITS))


def color(rgb):
    """RGB colour model 5: the value holds red in its third byte."""
    r, g, b = rgb
    return struct.pack("<H6xI", 5, r << 16 | g << 8 | b)


class _Writer:
    def __init__(self, drawing, version):
        self.d = drawing
        self.version = version
        self.fills, self.outlines, self.texts, self.images = {}, {}, [], []

    def to_cdr(self, x, y):
        return x - self.d.width / 2, self.d.height / 2 - y

    @staticmethod
    def _id(table, key):
        return table.setdefault(key, len(table) + 1)

    # ---- style records

    def fild(self, fid, fill):
        head = struct.pack("<I8x", fid)
        if isinstance(fill, Solid):
            return chunk(b"fild", head + struct.pack("<H13x", 1) + color(fill.rgb))
        if isinstance(fill, Linear):
            kind, angle, stops = 1, fill.angle, (fill.start, fill.end)
        else:
            kind, angle, stops = 2, 0, (fill.edge, fill.centre)
        stop_gap = 26 if self.version >= 1400 else 5
        body = struct.pack("<H8xB17xhiii2xIBxI3x", 2, kind, 0, angle * 1000000, 0, 0, 0, 50, 2)
        for offset, rgb in zip((0, 100), stops):
            body += color(rgb) + bytes(stop_gap) + struct.pack("<I3x", offset)
        return chunk(b"fild", head + body)

    def outl(self, oid, stroke):
        line_type = 6 if stroke.dash else 2
        dashes = struct.pack("<H", len(stroke.dash)) + struct.pack("<11H", *(stroke.dash + (0,) * 11)[:11])
        body = (struct.pack("<HHH", line_type, stroke.cap, 1 if stroke.cap == 1 else 0) + coord(stroke.width) +
                struct.pack("<H2xi46x", 100, 0) + color(stroke.rgb) + bytes(16) + dashes + struct.pack("<II", 0, 0))
        return chunk(b"outl", struct.pack("<III", oid, 1, len(body)) + body)

    def txsm(self, tid, text):
        data = text.text.encode("utf-16-le")
        fill = self._id(self.fills, Solid(text.rgb))
        style = struct.pack("<BBBBHH", 0, 0, 0x45, 0, FONT_ID, 0) + coord(text.size / 72) + struct.pack("<I", fill)
        chars = struct.pack("<I", len(text.text)) + struct.pack("<Q", 1) * len(text.text)
        body = (bytes(36) + struct.pack("<II48xII", 0, tid, 0, 1) + struct.pack("<IxxI", 0, 1) + style + chars +
                struct.pack("<I", len(data)) + data + b"\0")
        return chunk(b"txsm", body)

    def bmp(self, iid, image):
        h, w = len(image.rows), len(image.rows[0])
        pad = (-3 * w) % 4
        bits = b"".join(bytes(c for px in row for c in px[::-1]) + bytes(pad) for row in reversed(image.rows))
        rimage = struct.pack("<I4xII4xI4xI32x", 1, w, h, 24, len(bits)) + bits
        return chunk(b"bmp ", struct.pack("<I50x", iid) + rimage)

    # ---- objects

    @staticmethod
    def loda(kind, coords, fill=0, outline=0):
        args = [(0x1e, coords)]
        if fill:
            args.append((0x14, struct.pack("<I", fill)))
        if outline:
            args.append((0x0a, struct.pack("<I", outline)))
        data, offsets, pos = b"", [], 20
        for _, a in args:
            a += bytes(-len(a) % 4)
            offsets.append(pos)
            data += a
            pos += len(a)
        types = [t for t, _ in reversed(args)]  # libcdr reads the type list backwards
        tail = struct.pack("<%dI" % len(args), *offsets) + struct.pack("<%dI" % len(args), *types)
        offsets_at = 20 + len(data)
        head = struct.pack("<5I", offsets_at + len(tail), len(args), offsets_at, offsets_at + 4 * len(args), kind)
        return chunk(b"loda", head + data + tail)

    def trfd(self, dx, dy):
        arg = struct.pack("<8xH6x6d", 8, 1.0, 0.0, dx * UNITS, 0.0, 1.0, dy * UNITS)
        return chunk(b"trfd", struct.pack("<4I", 16 + len(arg), 1, 12, 16) + arg)

    def style_ids(self, shape):
        fill = self._id(self.fills, shape.fill) if shape.fill else 0
        outline = self._id(self.outlines, shape.stroke) if shape.stroke else 0
        return fill, outline

    def obj(self, s):
        if isinstance(s, Rect):
            r = struct.pack("<4i", *[round(s.radius * UNITS)] * 4)
            recs = [self.loda(1, coord(s.w) + coord(-s.h) + r, *self.style_ids(s)), self.trfd(*self.to_cdr(s.x, s.y))]
        elif isinstance(s, Ellipse):
            recs = [self.loda(2, coord(2 * s.rx) + coord(2 * s.ry) + struct.pack("<iiI", 0, 0, 0), *self.style_ids(s)),
                    self.trfd(*self.to_cdr(s.cx - s.rx, s.cy + s.ry))]
        elif isinstance(s, Curve):
            recs = [self.loda(3, self.curve_points(s.nodes), *self.style_ids(s))]
        elif isinstance(s, Image):
            self.images.append(s)
            x1, y1 = self.to_cdr(s.x, s.y + s.h)
            x2, y2 = self.to_cdr(s.x + s.w, s.y)
            coords = coord(x1) + coord(y1) + coord(x2) + coord(y2) + bytes(32)
            coords += struct.pack("<I20xHxx", len(self.images), 0)  # the image id; no outline points
            recs = [self.loda(5, coords)]
        else:
            self.texts.append(s)
            spnd = chunk(b"spnd", struct.pack("<I", len(self.texts)))
            if s.frame is None:
                x, y = self.to_cdr(s.x, s.y)
                width = 0.55 * s.size / 72 * len(s.text)
                bbox = chunk(b"bbox", coord(x) + coord(y) + coord(x + width) + coord(y + 0.7 * s.size / 72))
                recs = [spnd, self.loda(4, coord(x) + coord(y)), bbox]
            else:
                h = 1.25 * s.size / 72
                recs = [spnd, self.loda(6, bytes(4) + coord(s.frame) + coord(h)), self.trfd(*self.to_cdr(s.x, s.y - h))]
        return listchunk(b"obj ", recs)

    def curve_points(self, nodes):
        points, types = [], []
        for n in nodes:
            if n[0] == "M":
                points.append(n[1:3])
                types.append(0x00)
            elif n[0] == "L":
                points.append(n[1:3])
                types.append(0x40)
            elif n[0] == "C":
                points += [n[1:3], n[3:5], n[5:7]]
                types += [0xc0, 0xc0, 0x80]
            else:
                types[-1] |= 0x08
        body = struct.pack("<H2x", len(points))
        for x, y in points:
            cx, cy = self.to_cdr(x, y)
            body += coord(cx) + coord(cy)
        return body + bytes(types)

    def document(self, preview):
        pages = []
        for page in self.d.pages:
            objs = [self.obj(s) for s in reversed(page.shapes)]  # libcdr draws the first object on top
            pages.append(listchunk(b"page", [listchunk(b"layr", objs)]))
        fonts = [chunk(b"font", struct.pack("<HH14x", FONT_ID, 0) + (FONT_NAME + "\0").encode("utf-16-le"))]
        texts = [self.txsm(i + 1, t) for i, t in enumerate(self.texts)]
        fills = [self.fild(i, f) for f, i in self.fills.items()]
        outlines = [self.outl(i, o) for o, i in self.outlines.items()]
        images = [self.bmp(i + 1, im) for i, im in enumerate(self.images)]
        letter = b"CDR" + bytes([0x37 + self.version // 100])
        body = (letter + chunk(b"vrsn", struct.pack("<H", self.version)) +
                (chunk(b"DISP", preview) if preview is not None else b"") +
                chunk(b"mcfg", bytes(12) + coord(self.d.width) + coord(self.d.height)) +
                listchunk(b"fntt", fonts) + listchunk(b"filc", fills) + listchunk(b"otlc", outlines) +
                listchunk(b"bmpt", images) + listchunk(b"btxt", texts) + b"".join(pages))
        return b"RIFF" + struct.pack("<I", len(body)) + body


def riff_document(drawing, preview, version=1300):
    """The document's bytes; `preview` is the DISP chunk's data, or None
    for none (ZIP documents keep their previews beside this content)."""
    return _Writer(drawing, version).document(preview)
