#!/usr/bin/env python3
"""Writes drawing documents that libcdr reads into samples/, each with a
stored preview its own rasteriser drew (the same bytes every run):

  datasheet-text.cdr      RIFF era, 1 page: a product sheet of small text
                           (table rows, notes), a 256-pixel DISP preview
  brochure-3pages.cdr      RIFF era, 3 pages: gradients, outlines, curves,
                           a bitmap, artistic and paragraph text
  catalogue-zip-4pages.cdr ZIP era: content/riffData.cdr and
                           metadata/thumbnails/thumbnail.bmp, page1.bmp ...

Usage: tools/make_drawing_samples.py [FOLDER]"""
import math
import os
import sys
import zipfile

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdr_riff_writer import riff_document  # noqa: E402
from drawing_model import (Curve, Drawing, Ellipse, Image, Linear, Page, Radial, Rect, Solid, Stroke,  # noqa: E402
                           Text)
from make_panel_samples import bmp, disp  # noqa: E402
from preview_raster import render  # noqa: E402

W, H = 10.0, 7.5
NAVY, INK, GREY, WHITE = (24, 52, 110), (30, 30, 36), (110, 110, 120), (255, 255, 255)
THIN = Stroke(0.01, (150, 150, 160), dash=(4, 3))

DATA_ROWS = [
    ("Part number", "HX-2041-B"),
    ("Measuring range", "0 ... 16 bar (gauge)"),
    ("Overload limit", "40 bar"),
    ("Accuracy", "±0.25 % of span"),
    ("Long-term drift", "< 0.1 % per year"),
    ("Output signal", "4 ... 20 mA, two-wire"),
    ("Supply voltage", "10 ... 30 V DC"),
    ("Response time", "< 5 ms (10 ... 90 %)"),
    ("Medium temperature", "-40 °C ... +125 °C"),
    ("Ambient temperature", "-30 °C ... +85 °C"),
    ("Process connection", "G 1/4 male, DIN EN ISO 1179-2"),
    ("Wetted parts", "Stainless steel 1.4404, ceramic"),
    ("Housing", "Stainless steel 1.4301, IP67"),
    ("Electrical connection", "M12 x 1, 4-pin, A-coded"),
    ("Weight", "approx. 85 g"),
    ("Approvals", "CE, UKCA, RoHS 3"),
]


def logo_rows(n=24):
    """A small picture for the bitmap object: a sun over hills."""
    rows = []
    for y in range(n):
        row = []
        for x in range(n):
            if (x - 15) ** 2 + (y - 8) ** 2 < 20:
                px = (250, 200, 40)
            elif y > 14 + 3 * math.sin(x / 4):
                px = (40, 140 - 3 * y, 60)
            else:
                px = (120 + 4 * y, 170 + 3 * y, 235)
            row.append(px)
        rows.append(tuple(row))
    return tuple(rows)


def datasheet_page():
    shapes = [Rect(0, 0, W, 1.15, Linear((18, 44, 96), (52, 120, 200))),
              Text(0.5, 0.7, 26, "HX-2041 Pressure Transmitter", WHITE),
              Text(0.5, 0.98, 11, "Product data sheet - Rev. C", (210, 225, 245))]
    y = 1.55
    for i, (label, value) in enumerate(DATA_ROWS):
        if i % 2 == 0:
            shapes.append(Rect(0.45, y - 0.19, 5.9, 0.27, Solid((236, 240, 247))))
        shapes += [Text(0.55, y, 10, label, GREY), Text(2.75, y, 10, value, INK),
                   Curve((("M", 0.45, y + 0.08), ("L", 6.35, y + 0.08)), stroke=THIN)]
        y += 0.27
    shapes += [
        Rect(6.8, 1.4, 2.8, 3.9, Solid((246, 247, 250)), Stroke(0.015, (160, 165, 180)), radius=0.15),
        Rect(7.75, 1.7, 0.9, 1.1, Linear((150, 155, 165), (235, 238, 242)), Stroke(0.02, INK)),
        Rect(7.55, 2.8, 1.3, 0.5, Solid((120, 125, 135)), Stroke(0.02, INK)),
        Curve((("M", 7.95, 3.3), ("L", 8.45, 3.3), ("L", 8.35, 4.1), ("L", 8.05, 4.1), ("Z",)),
              Solid((170, 175, 185)), Stroke(0.02, INK)),
        Ellipse(8.2, 2.25, 0.3, 0.3, Radial((255, 255, 255), (90, 140, 210)), Stroke(0.015, INK)),
        Curve((("M", 7.0, 4.45), ("L", 9.4, 4.45)), stroke=Stroke(0.012, INK, dash=(6, 2, 1, 2))),
        Text(7.0, 4.75, 9, "Dimensions in mm, not to scale", GREY),
        Image(8.55, 5.45, 1.0, 1.0, logo_rows()),
        Text(0.5, 6.35, 8, "Notes: values apply at 25 °C ambient and nominal supply unless stated otherwise.",
             INK, frame=7.6),
        Text(0.5, 6.55, 8, "Accuracy includes non-linearity, hysteresis and repeatability (BFSL).", INK, frame=7.6),
        Text(0.5, 6.75, 8, "Subject to change without notice. Sample drawing for test purposes only.", INK, frame=7.6),
        Curve((("M", 0.45, 7.0), ("L", 9.55, 7.0)), stroke=Stroke(0.02, NAVY)),
        Text(0.5, 7.25, 7, "Document DS-2041-C | Sheet 1 of 1 | Drawn with tools/make_drawing_samples.py", GREY),
    ]
    return Page(tuple(shapes))


def cover_page():
    hills = (("M", 0, 5.2), ("C", 2.0, 4.2, 3.5, 4.4, 5.0, 5.0), ("C", 6.5, 5.6, 8.0, 4.0, 10.0, 4.6),
             ("L", 10.0, 7.5), ("L", 0, 7.5), ("Z",))
    return Page((
        Rect(0, 0, W, H, Linear((250, 250, 255), (120, 170, 230), 90)),
        Ellipse(7.4, 2.3, 1.3, 1.3, Radial((255, 250, 200), (245, 150, 40))),
        Curve(hills, Solid((60, 130, 70)), Stroke(0.03, (30, 80, 40))),
        Curve((("M", 0.5, 6.4), ("C", 2.5, 5.6, 4.0, 7.2, 6.0, 6.2), ("C", 7.5, 5.5, 8.5, 6.6, 9.5, 6.0)),
              stroke=Stroke(0.08, (240, 220, 160), cap=1)),
        Text(0.7, 1.6, 44, "Northwind Trails", NAVY),
        Text(0.75, 2.2, 18, "Spring walking guide", INK),
        Rect(0.7, 2.55, 3.6, 0.5, Solid(NAVY), radius=0.12),
        Text(0.9, 2.9, 13, "12 routes - 4 regions", WHITE),
    ))


def shapes_page():
    shapes = [Text(0.5, 0.7, 24, "Shapes, fills and outlines", NAVY),
              Rect(0.5, 1.1, 2.0, 1.4, Solid((220, 70, 60)), Stroke(0.02, INK)),
              Rect(3.0, 1.1, 2.0, 1.4, Linear((40, 90, 200), (150, 230, 250)), Stroke(0.04, NAVY), radius=0.25),
              Ellipse(6.5, 1.8, 1.0, 0.7, Radial((255, 255, 255), (130, 60, 160)), Stroke(0.03, INK, dash=(3, 2))),
              Curve(tuple([("M", 8.8, 1.0)] + [("L", 8.8 + (0.8 if i % 2 == 0 else 0.35) * math.sin(i * math.pi / 5),
                                                   1.8 - (0.8 if i % 2 == 0 else 0.35) * math.cos(i * math.pi / 5))
                                              for i in range(1, 10)] + [("Z",)]),
                    Solid((250, 200, 50)), Stroke(0.03, (160, 100, 0))),
              Text(0.5, 2.85, 10, "Solid fill, 1.4 pt outline", INK),
              Text(3.0, 2.85, 10, "Linear gradient, rounded", INK),
              Text(5.5, 2.85, 10, "Radial gradient, dashed", INK),
              Text(8.0, 2.85, 10, "Polygon star", INK)]
    y = 3.5
    for width, cap, dash, label in ((0.01, 0, (), "0.7 pt solid"), (0.04, 1, (), "2.9 pt round caps"),
                                    (0.09, 2, (), "6.5 pt square caps"), (0.03, 0, (4, 2), "dash 4-2"),
                                    (0.03, 1, (1, 2), "dots 1-2"), (0.03, 0, (6, 2, 1, 2), "dash-dot")):
        shapes += [Curve((("M", 0.6, y), ("L", 4.0, y)), stroke=Stroke(width, INK, dash, cap)),
                   Text(4.3, y + 0.05, 10, label, GREY)]
        y += 0.45
    shapes += [Curve((("M", 6.0, 4.8), ("C", 6.8, 3.2, 7.6, 6.4, 8.4, 4.8), ("C", 8.8, 4.0, 9.2, 4.2, 9.5, 4.6)),
                     stroke=Stroke(0.05, (200, 40, 90), cap=1)),
               Text(6.0, 5.5, 10, "Bezier curve", INK),
               Image(6.0, 5.8, 1.2, 1.2, logo_rows()),
               Text(7.4, 6.5, 10, "Bitmap, 24 x 24 pixels", INK)]
    return Page(tuple(shapes))


def back_page():
    shapes = [Rect(0, 0, 3.2, H, Linear((24, 52, 110), (60, 110, 180), 90)),
              Text(0.4, 1.0, 20, "Contact", WHITE),
              Text(0.4, 1.5, 10, "Northwind Trails Office", WHITE),
              Text(0.4, 1.75, 10, "14 Harbour Lane", WHITE),
              Text(0.4, 2.0, 10, "Port Ellery PE2 7QD", WHITE),
              Text(0.4, 2.4, 10, "Phone +44 1632 960 431", WHITE),
              Text(4.0, 1.0, 20, "Before you set out", NAVY)]
    for i, line in enumerate(("Check the weather forecast and the tide tables.",
                              "Wear sturdy boots; paths can be wet all year.",
                              "Tell someone your route and when you expect to return.",
                              "Carry water, a map and a charged phone.")):
        shapes.append(Text(4.0, 1.55 + 0.3 * i, 11, line, INK, frame=5.5))
    shapes += [Rect(4.0, 3.3, 5.4, 3.2, Solid((235, 242, 230)), Stroke(0.02, (90, 120, 80))),
               Curve((("M", 4.3, 6.1), ("C", 5.5, 4.0, 6.5, 6.0, 7.4, 4.5), ("C", 8.0, 3.6, 8.6, 4.2, 9.1, 3.7)),
                     stroke=Stroke(0.04, (200, 60, 40), dash=(3, 2), cap=1)),
               Ellipse(4.3, 6.1, 0.08, 0.08, Solid((200, 60, 40))),
               Ellipse(9.1, 3.7, 0.08, 0.08, Solid((200, 60, 40))),
               Text(4.1, 6.85, 9, "Route 7: Ellery Head circular, 9.5 km", GREY)]
    return Page(tuple(shapes))


DATASHEET = Drawing(W, H, (datasheet_page(),), preview_width=256)
BROCHURE = Drawing(W, H, (cover_page(), shapes_page(), back_page()), preview_width=160)
CATALOGUE = Drawing(W, H, (cover_page(), datasheet_page(), shapes_page(), back_page()), preview_width=256)

# (file name, drawing, era)
SAMPLES = (("datasheet-text.cdr", DATASHEET, "riff"), ("brochure-3pages.cdr", BROCHURE, "riff"),
           ("catalogue-zip-4pages.cdr", CATALOGUE, "zip"))


def riff_era(drawing):
    preview = disp(render(drawing, drawing.pages[0], drawing.preview_width))
    return riff_document(drawing, preview)


def zip_era(drawing, path):
    """Version 14 content beside the thumbnails a later program stores:
    the first page as thumbnail.bmp and every page as pageN.bmp."""
    pictures = [bmp(render(drawing, p, drawing.preview_width)) for p in drawing.pages]
    members = [("content/riffData.cdr", riff_document(drawing, None, 1400)),
               ("metadata/thumbnails/thumbnail.bmp", pictures[0])]
    members += [("metadata/thumbnails/page%d.bmp" % (i + 1), pic) for i, pic in enumerate(pictures)]
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype", (2024, 5, 1, 12, 0, 0)), b"application/x-drawing")
        for name, data in members:
            z.writestr(zipfile.ZipInfo(name, (2024, 5, 1, 12, 0, 0)), data, compress_type=zipfile.ZIP_DEFLATED)


def write_samples(folder):
    os.makedirs(folder, exist_ok=True)
    for name, drawing, era in SAMPLES:
        path = os.path.join(folder, name)
        if era == "zip":
            zip_era(drawing, path)
        else:
            with open(path, "wb") as f:
                f.write(riff_era(drawing))


if __name__ == "__main__":
    write_samples(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "samples"))
