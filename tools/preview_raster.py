"""Draws a page of a drawing (drawing_model) into a small picture, as the
preview a drawing program stores beside the drawing: filled and stroked
outlines by scanlines at twice the size, averaged down; text as grey bars,
one per word, since a preview this small could not show letters anyway."""
import math

from drawing_model import Curve, Ellipse, Image, Linear, Radial, Rect, Solid, Text

SUPER = 2


def _flatten(nodes, steps=12):
    """Outlines as closed point lists (curves cut into straight pieces)."""
    polys, cur = [], []
    for n in nodes:
        if n[0] == "M":
            if len(cur) > 1:
                polys.append(cur)
            cur = [n[1:3]]
        elif n[0] == "L":
            cur.append(n[1:3])
        elif n[0] == "C":
            (x0, y0), (x1, y1, x2, y2, x3, y3) = cur[-1], n[1:]
            for i in range(1, steps + 1):
                t = i / steps
                u = 1 - t
                cur.append((u ** 3 * x0 + 3 * u * u * t * x1 + 3 * u * t * t * x2 + t ** 3 * x3,
                            u ** 3 * y0 + 3 * u * u * t * y1 + 3 * u * t * t * y2 + t ** 3 * y3))
        else:
            polys.append(cur + [cur[0]])
            cur = []
    if len(cur) > 1:
        polys.append(cur)
    return polys


def _ellipse(cx, cy, rx, ry, steps=48):
    pts = [(cx + rx * math.cos(2 * math.pi * i / steps), cy + ry * math.sin(2 * math.pi * i / steps))
           for i in range(steps)]
    return [pts + [pts[0]]]


def _rect(x, y, w, h, r=0.0):
    if r <= 0:
        return [[(x, y), (x + w, y), (x + w, y + h), (x, y + h), (x, y)]]
    pts = []
    for cx, cy, a in ((x + w - r, y + r, -90), (x + w - r, y + h - r, 0), (x + r, y + h - r, 90), (x + r, y + r, 180)):
        pts += [(cx + r * math.cos(math.radians(a + 15 * i)), cy + r * math.sin(math.radians(a + 15 * i)))
                for i in range(7)]
    return [pts + [pts[0]]]


def _outline(shape):
    if isinstance(shape, Rect):
        return _rect(shape.x, shape.y, shape.w, shape.h, shape.radius)
    if isinstance(shape, Ellipse):
        return _ellipse(shape.cx, shape.cy, shape.rx, shape.ry)
    return _flatten(shape.nodes)


def _dashes(poly, pattern):
    """The pieces of a polyline that a dash pattern (lengths) keeps."""
    pieces, cur, i, left, on = [], [poly[0]], 0, pattern[0], True
    for (x0, y0), (x1, y1) in zip(poly, poly[1:]):
        seg = math.hypot(x1 - x0, y1 - y0)
        pos = 0.0
        while seg - pos > left:
            pos += left
            p = (x0 + (x1 - x0) * pos / seg, y0 + (y1 - y0) * pos / seg)
            if on:
                pieces.append(cur + [p])
            cur = [p]
            on, i = not on, (i + 1) % len(pattern)
            left = pattern[i]
        left -= seg - pos
        cur.append((x1, y1))
    if on and len(cur) > 1:
        pieces.append(cur)
    return pieces


def _stroke_polys(polys, width):
    """Each straight piece of the lines as a quad of the line's width."""
    quads, h = [], width / 2
    for poly in polys:
        for (x0, y0), (x1, y1) in zip(poly, poly[1:]):
            d = math.hypot(x1 - x0, y1 - y0)
            if d == 0:
                continue
            nx, ny = -(y1 - y0) / d * h, (x1 - x0) / d * h
            quads.append([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)])
    return quads


class Canvas:
    def __init__(self, drawing, width):
        self.w = width * SUPER
        self.h = max(1, round(width * drawing.height / drawing.width)) * SUPER
        self.scale = self.w / drawing.width
        self.px = [[(255, 255, 255)] * self.w for _ in range(self.h)]

    def fill(self, polys, paint, nonzero=False):
        """Scanline fill at pixel centres, each outline closed; paint(x, y)
        gives the colour at page position (x, y)."""
        edges = []
        for poly in polys:
            for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1]):
                if y0 != y1:
                    edges.append((x0 * self.scale, y0 * self.scale, x1 * self.scale, y1 * self.scale))
        if not edges:
            return
        top = max(0, int(min(min(e[1], e[3]) for e in edges)))
        bottom = min(self.h, int(max(max(e[1], e[3]) for e in edges)) + 1)
        for row in range(top, bottom):
            y = row + 0.5
            hits = []
            for x0, y0, x1, y1 in edges:
                if (y0 <= y < y1) or (y1 <= y < y0):
                    hits.append((x0 + (y - y0) * (x1 - x0) / (y1 - y0), 1 if y1 > y0 else -1))
            hits.sort()
            wind, inside_from = 0, None
            for x, d in hits:
                before = wind != 0 if nonzero else wind % 2 == 1
                wind += d
                after = wind != 0 if nonzero else wind % 2 == 1
                if not before and after:
                    inside_from = x
                elif before and not after:
                    for col in range(max(0, math.ceil(inside_from - 0.5)), min(self.w, math.ceil(x - 0.5))):
                        self.px[row][col] = paint((col + 0.5) / self.scale, y / self.scale)

    def pixels(self):
        """The picture at its final size: each pixel the mean of its block."""
        out = []
        for r in range(0, self.h, SUPER):
            row = []
            for c in range(0, self.w, SUPER):
                block = [self.px[r + i][c + j] for i in range(SUPER) for j in range(SUPER)]
                row.append(tuple(sum(p[k] for p in block) // len(block) for k in range(3)))
            out.append(row)
        return out


def _mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(round(a[k] + (b[k] - a[k]) * t) for k in range(3))


def _painter(fill, polys):
    if isinstance(fill, Solid):
        return lambda x, y: fill.rgb
    xs = [p[0] for poly in polys for p in poly]
    ys = [p[1] for poly in polys for p in poly]
    x0, x1, y0, y1 = min(xs), max(xs), min(ys), max(ys)
    if isinstance(fill, Linear):
        if fill.angle == 90:
            return lambda x, y: _mix(fill.start, fill.end, (y1 - y) / (y1 - y0))
        return lambda x, y: _mix(fill.start, fill.end, (x - x0) / (x1 - x0))
    cx, cy, w, h = (x0 + x1) / 2, (y0 + y1) / 2, x1 - x0, y1 - y0
    return lambda x, y: _mix(fill.centre, fill.edge, math.hypot((x - cx) / w, (y - cy) / h))


def render(drawing, page, width):
    """Rows of (r, g, b), top row first, `width` pixels wide."""
    canvas = Canvas(drawing, width)
    for s in page.shapes:
        if isinstance(s, Text):
            x, size = s.x, s.size / 72
            bar = _mix(s.rgb, (255, 255, 255), 0.35)
            for word in s.text.split(" "):
                w = 0.5 * size * len(word)
                canvas.fill(_rect(x, s.y - 0.55 * size, w, 0.55 * size), lambda px, py: bar)
                x += w + 0.3 * size
        elif isinstance(s, Image):
            rows, cols = len(s.rows), len(s.rows[0])

            def sample(px, py, s=s, rows=rows, cols=cols):
                return s.rows[min(rows - 1, int((py - s.y) / s.h * rows))][min(cols - 1, int((px - s.x) / s.w * cols))]
            canvas.fill(_rect(s.x, s.y, s.w, s.h), sample)
        else:
            polys = _outline(s)
            if s.fill:
                canvas.fill(polys, _painter(s.fill, polys))
            if s.stroke:
                dash = [d * s.stroke.width for d in s.stroke.dash]
                lines = [p for poly in polys for p in (_dashes(poly, dash) if dash else [poly])]
                width_in = max(s.stroke.width, 1.0 / canvas.scale)
                canvas.fill(_stroke_polys(lines, width_in), lambda px, py: s.stroke.rgb, nonzero=True)
    return canvas.pixels()
