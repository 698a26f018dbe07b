"""The shapes of the sample drawings, as both the document writer
(cdr_riff_writer.py) and the preview rasteriser (preview_raster.py) read
them. Lengths are inches, from the page's top-left corner, y downwards;
colours are (r, g, b) bytes. A page lists its shapes from the bottom up."""
from dataclasses import dataclass
from typing import Optional, Tuple

RGB = Tuple[int, int, int]


@dataclass(frozen=True)
class Solid:
    rgb: RGB


@dataclass(frozen=True)
class Linear:
    """From `start` on the left to `end` on the right (angle 0), or from
    the bottom up (angle 90)."""
    start: RGB
    end: RGB
    angle: int = 0


@dataclass(frozen=True)
class Radial:
    centre: RGB
    edge: RGB


@dataclass(frozen=True)
class Stroke:
    width: float
    rgb: RGB
    dash: Tuple[int, ...] = ()  # dash, gap, ... in line widths
    cap: int = 0  # 0 butt, 1 round, 2 square


@dataclass(frozen=True)
class Rect:
    x: float
    y: float
    w: float
    h: float
    fill: object = None
    stroke: Optional[Stroke] = None
    radius: float = 0.0


@dataclass(frozen=True)
class Ellipse:
    cx: float
    cy: float
    rx: float
    ry: float
    fill: object = None
    stroke: Optional[Stroke] = None


@dataclass(frozen=True)
class Curve:
    """nodes: ("M", x, y), ("L", x, y), ("C", x1, y1, x2, y2, x, y), ("Z",)."""
    nodes: tuple
    fill: object = None
    stroke: Optional[Stroke] = None


@dataclass(frozen=True)
class Image:
    x: float
    y: float
    w: float
    h: float
    rows: tuple  # rows of (r, g, b), top row first


@dataclass(frozen=True)
class Text:
    """One line of text whose baseline starts at (x, y). With a frame width
    it is paragraph text in a frame of that width, else artistic text."""
    x: float
    y: float
    size: float  # points
    text: str
    rgb: RGB = (0, 0, 0)
    frame: Optional[float] = None


@dataclass(frozen=True)
class Page:
    shapes: tuple


@dataclass(frozen=True)
class Drawing:
    width: float
    height: float
    pages: tuple
    preview_width: int = 128

    def all_texts(self):
        return [s.text for p in self.pages for s in p.shapes if isinstance(s, Text)]
