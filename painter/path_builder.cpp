#include "painter/path_builder.h"

#include <cmath>
#include <cstdlib>

namespace hi {
namespace {

constexpr double kPi = 3.14159265358979323846;

bool Finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

}  // namespace

void TPathBuilder::Start() {
  if (hasCurrent_) return;
  MoveTo(curX_, curY_);
}

bool TPathBuilder::MoveTo(double x, double y) {
  if (!Finite(x, y)) return false;
  out_.ops.push_back(TPathOp::move);
  out_.xy.insert(out_.xy.end(), {x, y});
  curX_ = startX_ = x;
  curY_ = startY_ = y;
  hasCurrent_ = true;
  return true;
}

bool TPathBuilder::LineTo(double x, double y) {
  if (!Finite(x, y)) return false;
  Start();
  out_.ops.push_back(TPathOp::line);
  out_.xy.insert(out_.xy.end(), {x, y});
  curX_ = x;
  curY_ = y;
  return true;
}

bool TPathBuilder::CubicTo(double x1, double y1, double x2, double y2, double x, double y) {
  if (!Finite(x1, y1) || !Finite(x2, y2) || !Finite(x, y)) return false;
  Start();
  out_.ops.push_back(TPathOp::cubic);
  out_.xy.insert(out_.xy.end(), {x1, y1, x2, y2, x, y});
  curX_ = x;
  curY_ = y;
  return true;
}

bool TPathBuilder::QuadTo(double x1, double y1, double x, double y) {
  return CubicTo(curX_ + 2.0 / 3.0 * (x1 - curX_), curY_ + 2.0 / 3.0 * (y1 - curY_), x + 2.0 / 3.0 * (x1 - x),
                 y + 2.0 / 3.0 * (y1 - y), x, y);
}

// SVG's endpoint arc (implementation notes F.6.5 of SVG 1.1) to centre form,
// then one cubic per quarter turn at most.
bool TPathBuilder::ArcTo(double rx, double ry, double rotationDegrees, bool largeArc, bool sweep, double x, double y) {
  if (!Finite(rx, ry) || !Finite(x, y) || !std::isfinite(rotationDegrees)) return false;
  double x0 = curX_, y0 = curY_;
  rx = std::fabs(rx);
  ry = std::fabs(ry);
  if (rx == 0 || ry == 0 || (x0 == x && y0 == y)) return LineTo(x, y);
  double phi = rotationDegrees * kPi / 180, c = std::cos(phi), s = std::sin(phi);
  double dx = (x0 - x) / 2, dy = (y0 - y) / 2;
  double x1p = c * dx + s * dy, y1p = -s * dx + c * dy;
  double lambda = x1p * x1p / (rx * rx) + y1p * y1p / (ry * ry);
  if (lambda > 1) {
    rx *= std::sqrt(lambda);
    ry *= std::sqrt(lambda);
  }
  double num = rx * rx * ry * ry - rx * rx * y1p * y1p - ry * ry * x1p * x1p;
  double den = rx * rx * y1p * y1p + ry * ry * x1p * x1p;
  double k = den > 0 && num > 0 ? std::sqrt(num / den) : 0;
  if (largeArc == sweep) k = -k;
  double cxp = k * rx * y1p / ry, cyp = -k * ry * x1p / rx;
  double cx = c * cxp - s * cyp + (x0 + x) / 2, cy = s * cxp + c * cyp + (y0 + y) / 2;
  double a1 = std::atan2((y1p - cyp) / ry, (x1p - cxp) / rx);
  double a2 = std::atan2((-y1p - cyp) / ry, (-x1p - cxp) / rx);
  double delta = a2 - a1;
  if (sweep && delta < 0) delta += 2 * kPi;
  if (!sweep && delta > 0) delta -= 2 * kPi;
  int pieces = int(std::ceil(std::fabs(delta) / (kPi / 2) - 1e-9));
  if (pieces < 1) pieces = 1;
  double step = delta / pieces, t = 4.0 / 3.0 * std::tan(step / 4);
  auto point = [&](double a, double& px, double& py, double& tx, double& ty) {
    double ex = rx * std::cos(a), ey = ry * std::sin(a);
    px = cx + c * ex - s * ey;
    py = cy + s * ex + c * ey;
    double dxa = -rx * std::sin(a), dya = ry * std::cos(a);
    tx = c * dxa - s * dya;
    ty = s * dxa + c * dya;
  };
  double a = a1;
  for (int i = 0; i < pieces; ++i) {
    double p0x, p0y, t0x, t0y, p1x, p1y, t1x, t1y;
    point(a, p0x, p0y, t0x, t0y);
    point(a + step, p1x, p1y, t1x, t1y);
    if (i == pieces - 1) {
      p1x = x;
      p1y = y;
    }
    if (!CubicTo(p0x + t * t0x, p0y + t * t0y, p1x - t * t1x, p1y - t * t1y, p1x, p1y)) return false;
    a += step;
  }
  return true;
}

void TPathBuilder::Close() {
  if (!hasCurrent_) return;
  out_.ops.push_back(TPathOp::close);
  curX_ = startX_;
  curY_ = startY_;
  hasCurrent_ = false;
}

bool TPathBuilder::Ellipse(double cx, double cy, double rx, double ry, double rotationDegrees) {
  double phi = rotationDegrees * kPi / 180, c = std::cos(phi), s = std::sin(phi);
  if (!MoveTo(cx + c * rx, cy + s * rx)) return false;
  bool ok = ArcTo(rx, ry, rotationDegrees, false, true, cx - c * rx, cy - s * rx) &&
            ArcTo(rx, ry, rotationDegrees, false, true, cx + c * rx, cy + s * rx);
  Close();
  return ok;
}

void ParseSvgPath(const std::string& text, double scale, TPathData& out) {
  TPathBuilder path(out);
  const char* p = text.c_str();
  auto number = [&](double& v) {
    while (*p == ' ' || *p == ',' || *p == '\n' || *p == '\t') ++p;
    char* end = nullptr;
    v = std::strtod(p, &end);
    if (end == p) return false;
    p = end;
    return std::isfinite(v);
  };
  double v[7];
  for (;;) {
    while (*p == ' ' || *p == ',' || *p == '\n' || *p == '\t') ++p;
    char op = *p;
    if (!op) return;
    ++p;
    int want = op == 'M' || op == 'L' ? 2 : op == 'C' ? 6 : op == 'Q' ? 4 : op == 'A' ? 7 : op == 'Z' ? 0 : -1;
    if (want < 0) return;
    for (int i = 0; i < want; ++i)
      if (!number(v[i])) return;
    for (int i = 0; i < want; ++i)
      if (op != 'A' || (i != 2 && i != 3 && i != 4)) v[i] *= scale;
    bool ok = true;
    switch (op) {
      case 'M': ok = path.MoveTo(v[0], v[1]); break;
      case 'L': ok = path.LineTo(v[0], v[1]); break;
      case 'C': ok = path.CubicTo(v[0], v[1], v[2], v[3], v[4], v[5]); break;
      case 'Q': ok = path.QuadTo(v[0], v[1], v[2], v[3]); break;
      case 'A': ok = path.ArcTo(v[0], v[1], v[2], v[3] != 0, v[4] != 0, v[5], v[6]); break;
      default: path.Close(); break;
    }
    if (!ok) return;
  }
}

}  // namespace hi
