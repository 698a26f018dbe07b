// The display list: one page of a drawing as the format library handed it,
// interpreted once into plain values (points, colours, paints) so that the
// bounds pass and the painter replay it without looking at property names
// again. Lengths are in points (1/72 inch), y grows downwards, the origin is
// the page's top-left corner.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hi {

struct TRgba {
  double r = 0, g = 0, b = 0, a = 1;
};

// Arcs and quadratic curves are turned into cubic curves when recorded.
enum class TPathOp : uint8_t { move, line, cubic, close };

struct TPathData {
  std::vector<TPathOp> ops;
  std::vector<double> xy;  // move, line: 1 point; cubic: 3 points
  bool Empty() const { return ops.empty(); }
};

// Premultiplied 32-bit pixels, native-endian 0xAARRGGBB, rows without padding.
struct TRaster {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
};

struct TGradientStop {
  double offset = 0;  // 0..1
  TRgba color;
};

enum class TPaintKind : uint8_t { none, solid, linear, radial, square, bitmap };

// A fill. Gradients live in the unit square of the shape's bounding box, as
// the drawing interface's own SVG writer places them.
struct TPaint {
  TPaintKind kind = TPaintKind::none;
  TRgba color;
  std::vector<TGradientStop> stops;
  double angle = 0;                       // linear: the axis (0,0)-(0,1) turned by this many degrees about the centre
  double cx = 0.5, cy = 0.5, radius = 1;  // radial and square, in box units
  std::shared_ptr<const TRaster> image;   // bitmap: one tile
  double tileWidth = 0, tileHeight = 0;   // points; with tileRelative, fractions of the box
  bool tileRelative = false;
  double refX = 0, refY = 0;  // tile origin shift, fractions of a tile
};

enum class TLineCap : uint8_t { butt, round, square };
enum class TLineJoin : uint8_t { miter, round, bevel };

// An arrowhead: its outline in its own box (points), the box's size, and
// where it sits: its top centre on the line's end, its +y along the line.
struct TMarker {
  TPathData outline;
  double boxWidth = 0, boxHeight = 0;
};

struct TStroke {
  bool on = false;
  double width = 0;  // 0: a hairline
  TRgba color;
  TLineCap cap = TLineCap::butt;
  TLineJoin join = TLineJoin::miter;
  std::vector<double> dashes;  // on, off, ... in points
  TMarker start, end;
};

enum class TTextAlign : uint8_t { left, center, right, justify };

struct TTextSpan {
  std::string text;  // UTF-8
  std::string font;  // as named in the document; empty for the fallback
  double size = 12;  // points
  TRgba color;
};

struct TTextLine {
  TTextAlign align = TTextAlign::left;
  std::vector<TTextSpan> spans;
};

enum class TItemKind : uint8_t { shape, image, text };

struct TDrawItem {
  TItemKind kind = TItemKind::shape;
  // shape
  TPathData path;
  bool evenOdd = true;
  TPaint fill;
  double fillOpacity = 1;
  TStroke stroke;
  // image and text frame: the box before rotation
  double x = 0, y = 0, width = 0, height = 0;
  double rotate = 0;  // degrees, about the box's centre
  bool flipX = false, flipY = false;
  std::shared_ptr<const TRaster> image;
  std::vector<TTextLine> lines;
};

struct TDrawPage {
  double width = 0, height = 0;  // points
  std::vector<TDrawItem> items;
};

}  // namespace hi
