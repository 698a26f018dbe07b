#!/usr/bin/env python3
"""The drawing samples of tools/make_drawing_samples.py.

  deterministic  writing them again gives the bytes in samples/
  libcdr         libcdr (cdr2xhtml) reads each one: its pages in order,
                 on each page the texts, pictures and colours drawn there;
                 exits 77 (skipped) without cdr2xhtml"""
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import make_drawing_samples as gen  # noqa: E402
from drawing_model import Image, Linear, Radial, Solid, Text  # noqa: E402

SKIP = 77


def deterministic():
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        gen.write_samples(tmp)
        for name, _, _ in gen.SAMPLES:
            with open(os.path.join(tmp, name), "rb") as a, open(os.path.join(ROOT, "samples", name), "rb") as b:
                if a.read() != b.read():
                    failures.append(name + ": differs from samples/ (run tools/make_drawing_samples.py)")
    return failures


def colours(shape):
    fill = getattr(shape, "fill", None)
    found = []
    if isinstance(fill, Solid):
        found.append(fill.rgb)
    elif isinstance(fill, Linear):
        found += [fill.start, fill.end]
    elif isinstance(fill, Radial):
        found += [fill.centre, fill.edge]
    if getattr(shape, "stroke", None):
        found.append(shape.stroke.rgb)
    if isinstance(shape, Text):
        found.append(shape.rgb)
    return ["#%02x%02x%02x" % c for c in found]


def check_page(where, svg, page):
    failures = []
    texts = [html.unescape(t).strip() for t in re.findall(r"<svg:tspan[^>]*>(.*?)</svg:tspan>", svg, re.S)]
    want = [s.text for s in page.shapes if isinstance(s, Text)]
    if sorted(texts) != sorted(want):
        failures.append("%s: texts %s, expected %s" % (where, sorted(set(texts) ^ set(want)), len(want)))
    images = svg.count("<svg:image")
    if images != sum(isinstance(s, Image) for s in page.shapes):
        failures.append("%s: %d pictures" % (where, images))
    for shape in page.shapes:
        for c in colours(shape):
            if c not in svg:
                failures.append("%s: colour %s of %s missing" % (where, c, type(shape).__name__))
    return failures


def libcdr():
    tool = shutil.which("cdr2xhtml")
    if not tool:
        print("cdr2xhtml (libcdr-tools) is not installed: skipped")
        return None
    failures = []
    for name, drawing, era in gen.SAMPLES:
        path = os.path.join(ROOT, "samples", name)
        if era == "zip" and not zipfile.is_zipfile(path):
            failures.append(name + ": not a ZIP document")
        run = subprocess.run([tool, path], capture_output=True, text=True)
        pages = re.findall(r"<svg:svg.*?</svg:svg>", run.stdout, re.S)
        if run.returncode != 0 or len(pages) != len(drawing.pages):
            failures.append("%s: cdr2xhtml exit %d, %d pages of %d" % (name, run.returncode, len(pages),
                                                                      len(drawing.pages)))
            continue
        for i, (svg, page) in enumerate(zip(pages, drawing.pages)):
            failures += check_page("%s page %d" % (name, i + 1), svg, page)
    return failures


def main():
    failures = deterministic() if sys.argv[1:] == ["deterministic"] else libcdr()
    if failures is None:
        return SKIP
    for f in failures:
        print("FAIL", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
