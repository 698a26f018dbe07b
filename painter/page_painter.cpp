#include "painter/page_painter.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace hi {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Named when the document names no font; font systems map it to a
// metric-compatible face (Liberation Sans under fontconfig) when it lacks it.
constexpr const char* kFallbackFont = "Arial";

struct TContextRelease {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using TContextOwner = std::unique_ptr<cairo_t, TContextRelease>;
struct TPatternRelease {
  void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using TPatternOwner = std::unique_ptr<cairo_pattern_t, TPatternRelease>;

// Device coordinates must stay inside cairo's 24.8 fixed point; user
// coordinates are clamped to a band that maps well inside it.
struct TClamp {
  double lo = -4e6, hi = 4e6;
  double operator()(double v) const { return v < lo ? lo : v > hi ? hi : v; }
};

TClamp ClampFor(cairo_t* cr) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  double scale = std::max(std::hypot(m.xx, m.yx), std::hypot(m.xy, m.yy));
  double reach = scale > 0 ? 2e6 / scale : 4e6;
  double ux = 0, uy = 0;
  cairo_device_to_user(cr, &ux, &uy);
  return {std::min(ux, uy) - reach, std::max(ux, uy) + reach};
}

void EmitPath(cairo_t* cr, const TPathData& path, const TClamp& c) {
  cairo_new_path(cr);
  const double* p = path.xy.data();
  for (TPathOp op : path.ops) {
    switch (op) {
      case TPathOp::move:
        cairo_move_to(cr, c(p[0]), c(p[1]));
        p += 2;
        break;
      case TPathOp::line:
        cairo_line_to(cr, c(p[0]), c(p[1]));
        p += 2;
        break;
      case TPathOp::cubic:
        cairo_curve_to(cr, c(p[0]), c(p[1]), c(p[2]), c(p[3]), c(p[4]), c(p[5]));
        p += 6;
        break;
      case TPathOp::close: cairo_close_path(cr); break;
    }
  }
}

double DevicePerUser(cairo_t* cr) {
  double dx = 1, dy = 0, ex = 0, ey = 1;
  cairo_user_to_device_distance(cr, &dx, &dy);
  cairo_user_to_device_distance(cr, &ex, &ey);
  return std::sqrt(std::fabs(dx * ey - dy * ex));
}

void SetColour(cairo_t* cr, const TRgba& c, double alpha = 1) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a * alpha); }

// The shape's box as a matrix from the unit square to user space.
cairo_matrix_t BoxMatrix(double x0, double y0, double x1, double y1) {
  cairo_matrix_t m;
  double w = x1 - x0, h = y1 - y0;
  cairo_matrix_init(&m, w > 1e-9 ? w : 1e-9, 0, 0, h > 1e-9 ? h : 1e-9, x0, y0);
  return m;
}

TRgba StopColour(const std::vector<TGradientStop>& stops, double t) {
  if (stops.empty()) return TRgba();
  if (t <= stops.front().offset) return stops.front().color;
  for (size_t i = 1; i < stops.size(); ++i) {
    if (t <= stops[i].offset) {
      const TGradientStop &a = stops[i - 1], &b = stops[i];
      double f = b.offset > a.offset ? (t - a.offset) / (b.offset - a.offset) : 1;
      return {a.color.r + f * (b.color.r - a.color.r), a.color.g + f * (b.color.g - a.color.g),
              a.color.b + f * (b.color.b - a.color.b), a.color.a + f * (b.color.a - a.color.a)};
    }
  }
  return stops.back().color;
}

// Square gradient: rings of four patches between nested squares about the
// centre, colours interpolated from ring to ring; outside, the last stop.
TPatternOwner SquareMesh(const TPaint& paint, double alpha) {
  TPatternOwner mesh(cairo_pattern_create_mesh());
  std::vector<double> offsets{0};
  for (const TGradientStop& s : paint.stops)
    if (s.offset > offsets.back()) offsets.push_back(s.offset);
  if (offsets.back() < 1) offsets.push_back(1);
  static const double corner[5][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
  for (size_t ring = 1; ring < offsets.size(); ++ring) {
    double r0 = offsets[ring - 1] * paint.radius, r1 = offsets[ring] * paint.radius;
    TRgba c0 = StopColour(paint.stops, offsets[ring - 1]), c1 = StopColour(paint.stops, offsets[ring]);
    for (int side = 0; side < 4; ++side) {
      const double* a = corner[side];
      const double* b = corner[side + 1];
      cairo_mesh_pattern_begin_patch(mesh.get());
      cairo_mesh_pattern_move_to(mesh.get(), paint.cx + a[0] * r0, paint.cy + a[1] * r0);
      cairo_mesh_pattern_line_to(mesh.get(), paint.cx + b[0] * r0, paint.cy + b[1] * r0);
      cairo_mesh_pattern_line_to(mesh.get(), paint.cx + b[0] * r1, paint.cy + b[1] * r1);
      cairo_mesh_pattern_line_to(mesh.get(), paint.cx + a[0] * r1, paint.cy + a[1] * r1);
      const TRgba* colours[4] = {&c0, &c0, &c1, &c1};
      for (unsigned k = 0; k < 4; ++k)
        cairo_mesh_pattern_set_corner_color_rgba(mesh.get(), k, colours[k]->r, colours[k]->g, colours[k]->b,
                                                 colours[k]->a * alpha);
      cairo_mesh_pattern_end_patch(mesh.get());
    }
  }
  return mesh;
}

cairo_surface_t* RasterSurface(const TRaster& raster) {
  // cairo only reads a source surface; the rows stay the raster's.
  auto* data = reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(raster.pixels.data()));
  return cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, raster.width, raster.height, raster.width * 4);
}

void FillShape(cairo_t* cr, const TDrawItem& item) {
  const TPaint& paint = item.fill;
  double alpha = item.fillOpacity;
  cairo_set_fill_rule(cr, item.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  if (paint.kind == TPaintKind::solid) {
    SetColour(cr, paint.color, alpha);
    cairo_fill_preserve(cr);
    return;
  }
  double x0, y0, x1, y1;
  cairo_path_extents(cr, &x0, &y0, &x1, &y1);
  cairo_matrix_t box = BoxMatrix(x0, y0, x1, y1);
  TPatternOwner pattern;
  if (paint.kind == TPaintKind::linear || paint.kind == TPaintKind::radial) {
    if (paint.kind == TPaintKind::linear) {
      pattern.reset(cairo_pattern_create_linear(0, 0, 0, 1));
      cairo_matrix_t turn;
      cairo_matrix_init_translate(&turn, 0.5, 0.5);
      cairo_matrix_rotate(&turn, paint.angle * kPi / 180);
      cairo_matrix_translate(&turn, -0.5, -0.5);
      cairo_matrix_multiply(&box, &turn, &box);
    } else {
      pattern.reset(cairo_pattern_create_radial(paint.cx, paint.cy, 0, paint.cx, paint.cy, paint.radius));
    }
    for (const TGradientStop& s : paint.stops)
      cairo_pattern_add_color_stop_rgba(pattern.get(), s.offset, s.color.r, s.color.g, s.color.b, s.color.a * alpha);
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
  } else if (paint.kind == TPaintKind::square) {
    if (paint.stops.empty()) return;
    SetColour(cr, paint.stops.back().color, alpha);
    cairo_fill_preserve(cr);
    pattern = SquareMesh(paint, alpha);
  } else if (paint.kind == TPaintKind::bitmap && paint.image) {
    cairo_surface_t* tile = RasterSurface(*paint.image);
    pattern.reset(cairo_pattern_create_for_surface(tile));
    cairo_surface_destroy(tile);
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
    double tw = paint.tileRelative ? paint.tileWidth * (x1 - x0) : paint.tileWidth;
    double th = paint.tileRelative ? paint.tileHeight * (y1 - y0) : paint.tileHeight;
    if (!(tw > 1e-6 && th > 1e-6)) return;
    // Tiles start at the box's bottom-left corner, shifted by the reference point.
    cairo_matrix_init(&box, tw / paint.image->width, 0, 0, th / paint.image->height, x0 + paint.refX * tw,
                      y1 - th + paint.refY * th);
    if (alpha < 1) {
      cairo_matrix_t inverse = box;
      if (cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS) return;
      cairo_pattern_set_matrix(pattern.get(), &inverse);
      cairo_save(cr);
      cairo_clip_preserve(cr);
      cairo_set_source(cr, pattern.get());
      cairo_paint_with_alpha(cr, alpha);
      cairo_restore(cr);
      return;
    }
  } else {
    return;
  }
  if (cairo_matrix_invert(&box) != CAIRO_STATUS_SUCCESS) return;
  cairo_pattern_set_matrix(pattern.get(), &box);
  cairo_set_source(cr, pattern.get());
  cairo_fill_preserve(cr);
}

// Where an arrowhead sits: the path's first point and the direction into
// the path, or its last point and the direction back along it.
bool EndOf(const TPathData& path, bool atStart, double& x, double& y, double& dx, double& dy) {
  const std::vector<double>& p = path.xy;
  if (p.size() < 4) return false;
  if (atStart) {
    x = p[0];
    y = p[1];
    for (size_t i = 2; i + 1 < p.size(); i += 2)
      if (p[i] != x || p[i + 1] != y) {
        dx = p[i] - x;
        dy = p[i + 1] - y;
        return true;
      }
  } else {
    x = p[p.size() - 2];
    y = p[p.size() - 1];
    for (size_t i = p.size() - 2; i >= 2; i -= 2)
      if (p[i - 2] != x || p[i - 1] != y) {
        dx = p[i - 2] - x;
        dy = p[i - 1] - y;
        return true;
      }
  }
  return false;
}

void MarkerMatrix(const TMarker& marker, double x, double y, double dx, double dy, cairo_matrix_t& m) {
  cairo_matrix_init_translate(&m, x, y);
  cairo_matrix_rotate(&m, std::atan2(-dx, dy));
  cairo_matrix_translate(&m, -marker.boxWidth / 2, 0);
}

void DrawMarkers(cairo_t* cr, const TDrawItem& item, const TClamp& c) {
  const TMarker* markers[2] = {&item.stroke.start, &item.stroke.end};
  for (int i = 0; i < 2; ++i) {
    const TMarker& marker = *markers[i];
    double x, y, dx, dy;
    if (marker.outline.Empty() || !EndOf(item.path, i == 0, x, y, dx, dy)) continue;
    cairo_save(cr);
    cairo_matrix_t m;
    MarkerMatrix(marker, c(x), c(y), dx, dy, m);
    cairo_transform(cr, &m);
    EmitPath(cr, marker.outline, TClamp{});
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    SetColour(cr, item.stroke.color);
    cairo_fill(cr);
    cairo_restore(cr);
  }
}

void SetStroke(cairo_t* cr, const TStroke& stroke, double minimum) {
  cairo_set_line_width(cr, std::max(stroke.width, minimum));
  cairo_set_line_cap(cr, stroke.cap == TLineCap::round    ? CAIRO_LINE_CAP_ROUND
                         : stroke.cap == TLineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                          : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, stroke.join == TLineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                          : stroke.join == TLineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                            : CAIRO_LINE_JOIN_MITER);
  cairo_set_miter_limit(cr, 4);
  cairo_set_dash(cr, stroke.dashes.data(), int(stroke.dashes.size()), 0);
}

// ---- text -------------------------------------------------------------------

struct TPlacedSpan {
  TTextSpan span;  // the piece of a span on its line, printable characters only
  double x, baseline;
};

void SelectFont(cairo_t* cr, const TTextSpan& span) {
  cairo_select_font_face(cr, span.font.empty() ? kFallbackFont : span.font.c_str(), CAIRO_FONT_SLANT_NORMAL,
                         CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, span.size);
}

double Advance(cairo_t* cr, const TTextSpan& span, const std::string& text) {
  SelectFont(cr, span);
  cairo_text_extents_t te;
  cairo_text_extents(cr, text.c_str(), &te);
  return te.x_advance;
}

std::string Printable(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    if (ch == '\t')
      out += "    ";
    else if (static_cast<unsigned char>(ch) >= 0x20)
      out += ch;
  }
  return out;
}

// The lines as they are drawn: a line far wider than its frame (a paragraph
// of paragraph text) is wrapped at spaces to the frame's width; one only a
// little wider (artistic text, whose frame is its own box, in a substitute
// font) is left whole.
std::vector<TTextLine> Wrapped(cairo_t* cr, const TDrawItem& item) {
  std::vector<TTextLine> out;
  for (const TTextLine& line : item.lines) {
    TTextLine whole{line.align, {}};
    double width = 0;
    for (const TTextSpan& span : line.spans) {
      whole.spans.push_back(span);
      whole.spans.back().text = Printable(span.text);
      width += Advance(cr, span, whole.spans.back().text);
    }
    if (!(item.width > 0) || width <= item.width * 1.2) {
      out.push_back(std::move(whole));
      continue;
    }
    TTextLine current{line.align, {}};
    const TTextSpan* source = nullptr;
    double used = 0;
    for (size_t i = 0; i < whole.spans.size(); ++i) {
      const std::string& text = whole.spans[i].text;
      for (size_t at = 0; at < text.size();) {
        size_t end = text.find(' ', at);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string word = text.substr(at, end - at);
        double w = Advance(cr, whole.spans[i], word);
        if (used > 0 && used + w > item.width) {
          out.push_back(std::move(current));
          current = TTextLine{line.align, {}};
          source = nullptr;
          used = 0;
        }
        if (source != &line.spans[i]) {
          current.spans.push_back(whole.spans[i]);
          current.spans.back().text.clear();
          source = &line.spans[i];
        }
        current.spans.back().text += word;
        used += w;
        at = end;
      }
    }
    out.push_back(std::move(current));
  }
  return out;
}

// Lines from the frame's top, each aligned in the frame's width; a block
// taller than its frame (artistic text, whose frame is its own box) is
// centred on the frame instead.
std::vector<TPlacedSpan> LayOut(cairo_t* cr, const TDrawItem& item) {
  struct TMetrics {
    double width = 0, ascent = 0, descent = 0;
  };
  std::vector<TTextLine> lines = Wrapped(cr, item);
  std::vector<TMetrics> metrics(lines.size());
  double total = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    for (const TTextSpan& span : lines[i].spans) {
      metrics[i].width += Advance(cr, span, span.text);
      cairo_font_extents_t fe;
      cairo_font_extents(cr, &fe);
      metrics[i].ascent = std::max(metrics[i].ascent, fe.ascent);
      metrics[i].descent = std::max(metrics[i].descent, fe.descent);
    }
    total += metrics[i].ascent + metrics[i].descent;
  }
  double y = total > item.height ? item.y + (item.height - total) / 2 : item.y;
  std::vector<TPlacedSpan> placed;
  for (size_t i = 0; i < lines.size(); ++i) {
    const TMetrics& m = metrics[i];
    double x = item.x;
    if (lines[i].align == TTextAlign::center) x += (item.width - m.width) / 2;
    if (lines[i].align == TTextAlign::right) x += item.width - m.width;
    double baseline = y + m.ascent;
    for (TTextSpan& span : lines[i].spans) {
      double advance = Advance(cr, span, span.text);
      placed.push_back({std::move(span), x, baseline});
      x += advance;
    }
    y += m.ascent + m.descent;
  }
  return placed;
}

void TextMatrix(const TDrawItem& item, cairo_matrix_t& m) {
  double cx = item.x + item.width / 2, cy = item.y + item.height / 2;
  cairo_matrix_init_translate(&m, cx, cy);
  cairo_matrix_rotate(&m, -item.rotate * kPi / 180);
  cairo_matrix_translate(&m, -cx, -cy);
}

void ImageMatrix(const TDrawItem& item, cairo_matrix_t& m) {
  double cx = item.x + item.width / 2, cy = item.y + item.height / 2;
  cairo_matrix_init_translate(&m, cx, cy);
  cairo_matrix_scale(&m, item.flipX ? -1 : 1, item.flipY ? -1 : 1);
  cairo_matrix_rotate(&m, item.rotate * kPi / 180);
  cairo_matrix_translate(&m, -cx, -cy);
  // The bitmap keeps its proportions, centred in its box, as the interface's
  // SVG writer shows it (an SVG image's default); the library's boxes can be
  // off in proportion where the drawing program's preview is not.
  double scale = std::min(item.width / item.image->width, item.height / item.image->height);
  cairo_matrix_translate(&m, item.x + (item.width - scale * item.image->width) / 2,
                         item.y + (item.height - scale * item.image->height) / 2);
  cairo_matrix_scale(&m, scale, scale);
}

bool Finite(const TDrawItem& item) {
  return std::isfinite(item.x) && std::isfinite(item.y) && std::isfinite(item.width) && std::isfinite(item.height) &&
         std::isfinite(item.rotate);
}

// ---- the bounds pass ---------------------------------------------------------

struct TExtent {
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  void Add(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  }
  // A user-space rectangle under matrix m.
  void AddBox(const cairo_matrix_t& m, double bx0, double by0, double bx1, double by1) {
    double xs[2] = {bx0, bx1}, ys[2] = {by0, by1};
    for (double px : xs)
      for (double py : ys) {
        double x = px, y = py;
        cairo_matrix_transform_point(&m, &x, &y);
        Add(x, y);
      }
  }
  bool Empty() const { return !(x1 >= x0 && y1 >= y0); }
};

}  // namespace

bool ContentBounds(const TDrawPage& page, TBox& box) {
  TSurfaceOwner surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
  TContextOwner owner(cairo_create(surface.get()));
  cairo_t* cr = owner.get();
  TExtent all;
  cairo_matrix_t identity;
  cairo_matrix_init_identity(&identity);
  for (const TDrawItem& item : page.items) {
    if (item.kind == TItemKind::shape) {
      EmitPath(cr, item.path, TClamp{});
      double x0, y0, x1, y1;
      cairo_path_extents(cr, &x0, &y0, &x1, &y1);
      if (item.stroke.on && item.stroke.width > 0) {
        SetStroke(cr, item.stroke, 0);
        cairo_stroke_extents(cr, &x0, &y0, &x1, &y1);
      }
      if (x1 >= x0 && y1 >= y0) all.AddBox(identity, x0, y0, x1, y1);
      const TMarker* markers[2] = {&item.stroke.start, &item.stroke.end};
      for (int i = 0; i < 2; ++i) {
        double x, y, dx, dy;
        if (markers[i]->outline.Empty() || !EndOf(item.path, i == 0, x, y, dx, dy)) continue;
        cairo_matrix_t m;
        MarkerMatrix(*markers[i], x, y, dx, dy, m);
        all.AddBox(m, 0, 0, markers[i]->boxWidth, markers[i]->boxHeight);
      }
    } else if (item.kind == TItemKind::image && item.image && Finite(item)) {
      cairo_matrix_t m;
      ImageMatrix(item, m);
      all.AddBox(m, 0, 0, item.image->width, item.image->height);
    } else if (item.kind == TItemKind::text && Finite(item)) {
      std::vector<TPlacedSpan> spans = LayOut(cr, item);
      cairo_matrix_t m;
      TextMatrix(item, m);
      for (const TPlacedSpan& s : spans) {
        SelectFont(cr, s.span);
        cairo_text_extents_t te;
        cairo_text_extents(cr, s.span.text.c_str(), &te);
        if (te.width > 0 && te.height > 0)
          all.AddBox(m, s.x + te.x_bearing, s.baseline + te.y_bearing, s.x + te.x_bearing + te.width,
                     s.baseline + te.y_bearing + te.height);
      }
    }
  }
  if (all.Empty()) return false;
  box = {all.x0, all.y0, all.x1 - all.x0, all.y1 - all.y0};
  return true;
}

TBox AreaOf(const TDrawPage& page, TRenderArea area) {
  TBox pageBox{0, 0, page.width, page.height};
  bool pageOk = std::isfinite(page.width) && std::isfinite(page.height) && page.width > 0 && page.height > 0;
  TBox content;
  if (area == TRenderArea::content || !pageOk) {
    if (ContentBounds(page, content)) {
      double margin = std::max(content.width, content.height) * 0.02;
      if (!(margin > 0)) margin = 1;
      return {content.x - margin, content.y - margin, content.width + 2 * margin, content.height + 2 * margin};
    }
  }
  return pageOk ? pageBox : TBox{0, 0, 72, 72};
}

void FitSize(const TBox& area, int64_t boxWidth, int64_t boxHeight, int64_t& width, int64_t& height) {
  double w = area.width > 0 ? area.width : 1, h = area.height > 0 ? area.height : 1;
  double scale = std::min(double(boxWidth) / w, double(boxHeight) / h);
  width = std::max<int64_t>(1, std::min<int64_t>(boxWidth, std::llround(w * scale)));
  height = std::max<int64_t>(1, std::min<int64_t>(boxHeight, std::llround(h * scale)));
}

bool PaintItems(cairo_t* cr, const TDrawPage& page, TRenderCookie& cookie) {
  double pixel = 1 / std::max(DevicePerUser(cr), 1e-12);
  TClamp clamp = ClampFor(cr);
  for (const TDrawItem& item : page.items) {
    if (cookie.Stopped()) return false;
    if (item.kind == TItemKind::shape) {
      EmitPath(cr, item.path, clamp);
      if (item.fill.kind != TPaintKind::none) FillShape(cr, item);
      if (item.stroke.on) {
        SetStroke(cr, item.stroke, pixel);
        SetColour(cr, item.stroke.color);
        cairo_stroke(cr);
        DrawMarkers(cr, item, clamp);
      }
      cairo_new_path(cr);
    } else if (item.kind == TItemKind::image && item.image && Finite(item) && item.width > 0 && item.height > 0) {
      cairo_save(cr);
      cairo_matrix_t m;
      ImageMatrix(item, m);
      cairo_transform(cr, &m);
      cairo_surface_t* image = RasterSurface(*item.image);
      cairo_set_source_surface(cr, image, 0, 0);
      cairo_surface_destroy(image);
      cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
      cairo_rectangle(cr, 0, 0, item.image->width, item.image->height);
      cairo_fill(cr);
      cairo_restore(cr);
    } else if (item.kind == TItemKind::text && Finite(item)) {
      cairo_save(cr);
      cairo_matrix_t m;
      TextMatrix(item, m);
      cairo_transform(cr, &m);
      for (const TPlacedSpan& s : LayOut(cr, item)) {
        SelectFont(cr, s.span);
        SetColour(cr, s.span.color);
        cairo_move_to(cr, clamp(s.x), clamp(s.baseline));
        cairo_show_text(cr, s.span.text.c_str());
      }
      cairo_restore(cr);
    }
  }
  return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

TSurfaceOwner RenderPage(const TDrawPage& page, const TBox& area, int width, int height, bool white,
                         TRenderCookie& cookie) {
  if (width <= 0 || height <= 0 || !(area.width > 0) || !(area.height > 0)) return nullptr;
  TSurfaceOwner surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  TContextOwner cr(cairo_create(surface.get()));
  if (white) {
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
  }
  cairo_scale(cr.get(), width / area.width, height / area.height);
  cairo_translate(cr.get(), -area.x, -area.y);
  if (!PaintItems(cr.get(), page, cookie) && cookie.Stopped()) return nullptr;
  cairo_surface_flush(surface.get());
  return surface;
}

}  // namespace hi
