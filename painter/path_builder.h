// Builds a TPathData from the path steps of the drawing interface: moves,
// lines, cubic and quadratic curves, elliptical arcs (SVG's endpoint form)
// and closes. Quadratic curves and arcs become cubic curves; non-finite
// coordinates are refused, so the list never carries a NaN.
#pragma once

#include <string>

#include "painter/draw_list.h"

namespace hi {

class TPathBuilder {
 public:
  explicit TPathBuilder(TPathData& out) : out_(out) {}

  // False (and nothing added) when a coordinate is not finite.
  bool MoveTo(double x, double y);
  bool LineTo(double x, double y);
  bool CubicTo(double x1, double y1, double x2, double y2, double x, double y);
  bool QuadTo(double x1, double y1, double x, double y);
  bool ArcTo(double rx, double ry, double rotationDegrees, bool largeArc, bool sweep, double x, double y);
  void Close();
  // A closed ellipse about (cx, cy), turned by rotationDegrees.
  bool Ellipse(double cx, double cy, double rx, double ry, double rotationDegrees);

  size_t Points() const { return out_.xy.size() / 2; }

 private:
  void Start();  // a segment with no current point starts at the last one
  TPathData& out_;
  double curX_ = 0, curY_ = 0, startX_ = 0, startY_ = 0;
  bool hasCurrent_ = false;
};

// The marker outline of the drawing interface: "M x y", "L x y",
// "C x1 y1 x2 y2 x y", "Q x1 y1 x y", "A rx ry rot large sweep x y" and "Z",
// numbers separated by spaces or commas. Unknown letters end the parse.
void ParseSvgPath(const std::string& text, double scale, TPathData& out);

}  // namespace hi
