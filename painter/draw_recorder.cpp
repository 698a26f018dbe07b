#include "painter/draw_recorder.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "painter/bmp_raster.h"
#include "painter/path_builder.h"

namespace hi {
namespace {

using librevenge::RVNGProperty;
using librevenge::RVNGPropertyList;

// A length in points: inches (the interface's default unit), points, twips.
double Points(const RVNGProperty* p, double fallback = 0) {
  if (!p) return fallback;
  double v = p->getDouble();
  if (!std::isfinite(v)) return fallback;
  switch (p->getUnit()) {
    case librevenge::RVNG_POINT: return v;
    case librevenge::RVNG_TWIP: return v / 20;
    case librevenge::RVNG_PERCENT: return fallback;
    default: return v * 72;
  }
}

// A fraction: percentages arrive as fractions already (0.5 for 50 %).
double Fraction(const RVNGProperty* p, double fallback) {
  if (!p) return fallback;
  double v = p->getDouble();
  return std::isfinite(v) ? v : fallback;
}

bool Is(const RVNGPropertyList& props, const char* name, const char* value) {
  const RVNGProperty* p = props[name];
  return p && std::strcmp(p->getStr().cstr(), value) == 0;
}

// "#rrggbb"; anything else is black, as an SVG reader would leave it.
TRgba Colour(const RVNGProperty* p, double alpha = 1) {
  TRgba c;
  c.a = alpha;
  if (!p) return c;
  librevenge::RVNGString s = p->getStr();
  const char* t = s.cstr();
  if (std::strlen(t) != 7 || t[0] != '#') return c;
  unsigned v = 0;
  for (int i = 1; i < 7; ++i) {
    char h = t[i];
    int d = h >= '0' && h <= '9'   ? h - '0'
            : h >= 'a' && h <= 'f' ? h - 'a' + 10
            : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                   : -1;
    if (d < 0) return c;
    v = v << 4 | unsigned(d);
  }
  c.r = ((v >> 16) & 255) / 255.0;
  c.g = ((v >> 8) & 255) / 255.0;
  c.b = (v & 255) / 255.0;
  return c;
}

double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// The gradient of a style, as the interface's SVG writer reads it.
void ReadGradient(const RVNGPropertyList& props, TPaint& paint) {
  const librevenge::RVNGPropertyListVector* stops = props.child("svg:linearGradient");
  if (!stops) stops = props.child("svg:radialGradient");
  bool radial = Is(props, "draw:style", "radial") || Is(props, "draw:style", "ellipsoid");
  bool square = Is(props, "draw:style", "square") || Is(props, "draw:style", "rectangular");
  bool axial = Is(props, "draw:style", "axial");
  paint.kind = radial ? TPaintKind::radial : square ? TPaintKind::square : TPaintKind::linear;
  if (stops && stops->count()) {
    // A file's stop list is its own length; more than a few dozen is noise
    // that would cost the square gradient's rings their time.
    for (unsigned long i = 0; i < stops->count() && i < 256; ++i) {
      const RVNGPropertyList& s = (*stops)[i];
      TGradientStop stop;
      stop.offset = Clamp01(Fraction(s["svg:offset"], 0));
      stop.color = Colour(s["svg:stop-color"], Clamp01(Fraction(s["svg:stop-opacity"], 1)));
      paint.stops.push_back(stop);
    }
  } else if (props["draw:start-color"] && props["draw:end-color"]) {
    TRgba start = Colour(props["draw:start-color"], Clamp01(Fraction(props["librevenge:start-opacity"], 1)));
    TRgba end = Colour(props["draw:end-color"], Clamp01(Fraction(props["librevenge:end-opacity"], 1)));
    if (paint.kind == TPaintKind::linear && !axial)
      paint.stops = {{0, start}, {1, end}};
    else if (paint.kind == TPaintKind::linear)
      paint.stops = {{0, end}, {0.5, start}, {1, end}};
    else
      paint.stops = {{0, end}, {1, start}};  // radial and square: the end colour is the centre's
  } else {
    paint.kind = TPaintKind::none;
    return;
  }
  double angle = -Fraction(props["draw:angle"], 0);
  paint.angle = std::fmod(angle, 360.0);
  paint.cx = Fraction(props["svg:cx"], Fraction(props["draw:cx"], 0.5));
  paint.cy = Fraction(props["svg:cy"], Fraction(props["draw:cy"], 0.5));
  paint.radius = props["draw:border"] ? 1 - Fraction(props["draw:border"], 0) : 1;
  if (!(paint.radius > 0.001)) paint.radius = 0.001;
}

}  // namespace

void TDrawRecorder::Check() {
  if (cookie_.Stopped()) throw TRenderStopped();
}

void TDrawRecorder::startPage(const RVNGPropertyList& props) {
  Check();
  ++pages_;
  inPage_ = true;
  if (Recording()) {
    kept_ = true;
    page_ = TDrawPage();
    page_.width = Points(props["svg:width"]);
    page_.height = Points(props["svg:height"]);
  }
}

void TDrawRecorder::endPage() { inPage_ = false; }

void TDrawRecorder::setStyle(const RVNGPropertyList& props) {
  Check();
  if (!Recording()) return;
  fill_ = TPaint();
  fillOpacity_ = Clamp01(Fraction(props["draw:opacity"], 1));
  evenOdd_ = !Is(props, "svg:fill-rule", "nonzero");
  if (Is(props, "draw:fill", "solid")) {
    fill_.kind = TPaintKind::solid;
    fill_.color = Colour(props["draw:fill-color"]);
  } else if (Is(props, "draw:fill", "gradient")) {
    ReadGradient(props, fill_);
  } else if (Is(props, "draw:fill", "bitmap") && props["draw:fill-image"] &&
             Is(props, "librevenge:mime-type", "image/bmp")) {
    librevenge::RVNGString encoded = props["draw:fill-image"]->getStr();
    std::string source(encoded.cstr());
    if (source != fillImageSource_ || !fillImage_) {
      librevenge::RVNGBinaryData data(encoded);
      fillImage_ = ReadBmpRaster(data.getDataBuffer(), data.size(), cookie_.Limits().maxImagePixels);
      fillImageSource_ = std::move(source);
    }
    const std::shared_ptr<const TRaster>& last = fillImage_;
    if (last) {
      fill_.kind = TPaintKind::bitmap;
      fill_.image = last;
      const RVNGProperty* w = props["svg:width"];
      const RVNGProperty* h = props["svg:height"];
      fill_.tileRelative = w && w->getUnit() == librevenge::RVNG_PERCENT;
      fill_.tileWidth = fill_.tileRelative ? Fraction(w, 1) : Points(w, last->width);
      fill_.tileHeight = fill_.tileRelative ? Fraction(h, 1) : Points(h, last->height);
      fill_.refX = Fraction(props["draw:fill-image-ref-point-x"], 0);
      fill_.refY = Fraction(props["draw:fill-image-ref-point-y"], 0);
    }
  }
  stroke_ = TStroke();
  if (props["draw:stroke"] && !Is(props, "draw:stroke", "none")) {
    stroke_.on = true;
    stroke_.width = props["svg:stroke-width"] ? std::fmin(std::fabs(Points(props["svg:stroke-width"])), 1e5) : 1;
    stroke_.color = Colour(props["svg:stroke-color"], Clamp01(Fraction(props["svg:stroke-opacity"], 1)));
    stroke_.cap = Is(props, "svg:stroke-linecap", "round")    ? TLineCap::round
                  : Is(props, "svg:stroke-linecap", "square") ? TLineCap::square
                                                              : TLineCap::butt;
    stroke_.join = Is(props, "svg:stroke-linejoin", "round")   ? TLineJoin::round
                   : Is(props, "svg:stroke-linejoin", "bevel") ? TLineJoin::bevel
                                                               : TLineJoin::miter;
    if (Is(props, "draw:stroke", "dash")) {
      // Dots of two kinds and one gap, as the SVG writer spells them out.
      double width = stroke_.width;
      auto length = [&](const char* name) {
        const RVNGProperty* p = props[name];
        if (!p) return width;
        return p->getUnit() == librevenge::RVNG_PERCENT ? Fraction(p, 0) * width : Points(p);
      };
      int dots1 = props["draw:dots1"] ? props["draw:dots1"]->getInt() : 0;
      int dots2 = props["draw:dots2"] ? props["draw:dots2"]->getInt() : 0;
      double len1 = length("draw:dots1-length"), len2 = length("draw:dots2-length"), gap = length("draw:distance");
      bool usable = gap >= 0 && len1 >= 0 && len2 >= 0 && gap + len1 + len2 > 0;
      for (int i = 0; usable && i < dots1 && i < 64; ++i) stroke_.dashes.insert(stroke_.dashes.end(), {len1, gap});
      for (int i = 0; usable && i < dots2 && i < 64; ++i) stroke_.dashes.insert(stroke_.dashes.end(), {len2, gap});
      double total = 0;
      for (double d : stroke_.dashes) total += d;
      if (!(total > 0)) stroke_.dashes.clear();
    }
    // Arrowheads: outlines in thousandths of a centimetre in their own box.
    auto marker = [&](const char* pathName, const char* boxName, TMarker& out) {
      const RVNGProperty* path = props[pathName];
      if (!path) return;
      ParseSvgPath(path->getStr().cstr(), 72.0 / 2540.0, out.outline);
      double box[4] = {0, 0, 0, 0};
      if (const RVNGProperty* b = props[boxName]) {
        const char* p = b->getStr().cstr();
        for (double& v : box) {
          char* end = nullptr;
          v = std::strtod(p, &end);
          if (end == p || !std::isfinite(v)) break;
          p = end;
        }
      }
      out.boxWidth = box[2] * 72.0 / 2540.0;
      out.boxHeight = box[3] * 72.0 / 2540.0;
      if (!(out.boxWidth > 0 && out.boxHeight > 0)) out = TMarker();
    };
    marker("draw:marker-start-path", "draw:marker-start-viewbox", stroke_.start);
    marker("draw:marker-end-path", "draw:marker-end-viewbox", stroke_.end);
  }
}

void TDrawRecorder::Count(const TDrawItem& item) {
  points_ += item.path.xy.size() / 2 + item.stroke.start.outline.xy.size() / 2 + item.stroke.end.outline.xy.size() / 2;
  if (page_.items.size() >= cookie_.Limits().maxItems) cookie_.Stop(TRenderStop::items);
  if (points_ > cookie_.Limits().maxPoints) cookie_.Stop(TRenderStop::points);
  Check();
}

void TDrawRecorder::AddShape(TPathData&& path) {
  if (path.Empty() || (fill_.kind == TPaintKind::none && !stroke_.on)) return;
  TDrawItem item;
  item.kind = TItemKind::shape;
  item.path = std::move(path);
  item.evenOdd = evenOdd_;
  item.fill = fill_;
  item.fillOpacity = fillOpacity_;
  item.stroke = stroke_;
  page_.items.push_back(std::move(item));
  Count(page_.items.back());
}

void TDrawRecorder::drawRectangle(const RVNGPropertyList& props) {
  Check();
  if (!Recording() || !props["svg:x"] || !props["svg:y"] || !props["svg:width"] || !props["svg:height"]) return;
  double x = Points(props["svg:x"]), y = Points(props["svg:y"]);
  double w = Points(props["svg:width"]), h = Points(props["svg:height"]);
  double rx = std::fmin(std::fabs(Points(props["svg:rx"])), std::fabs(w) / 2);
  double ry = std::fmin(std::fabs(Points(props["svg:ry"])), std::fabs(h) / 2);
  TPathData path;
  TPathBuilder b(path);
  if (rx > 0 && ry > 0) {
    b.MoveTo(x + rx, y);
    b.LineTo(x + w - rx, y);
    b.ArcTo(rx, ry, 0, false, true, x + w, y + ry);
    b.LineTo(x + w, y + h - ry);
    b.ArcTo(rx, ry, 0, false, true, x + w - rx, y + h);
    b.LineTo(x + rx, y + h);
    b.ArcTo(rx, ry, 0, false, true, x, y + h - ry);
    b.LineTo(x, y + ry);
    b.ArcTo(rx, ry, 0, false, true, x + rx, y);
  } else {
    b.MoveTo(x, y);
    b.LineTo(x + w, y);
    b.LineTo(x + w, y + h);
    b.LineTo(x, y + h);
  }
  b.Close();
  AddShape(std::move(path));
}

void TDrawRecorder::drawEllipse(const RVNGPropertyList& props) {
  Check();
  if (!Recording() || !props["svg:cx"] || !props["svg:cy"] || !props["svg:rx"] || !props["svg:ry"]) return;
  TPathData path;
  TPathBuilder(path).Ellipse(Points(props["svg:cx"]), Points(props["svg:cy"]), Points(props["svg:rx"]),
                             Points(props["svg:ry"]), -Fraction(props["librevenge:rotate"], 0));
  AddShape(std::move(path));
}

void TDrawRecorder::AddPointList(const RVNGPropertyList& props, bool closed) {
  Check();
  const librevenge::RVNGPropertyListVector* points = props.child("svg:points");
  if (!Recording() || !points || points->count() < 2) return;
  TPathData path;
  TPathBuilder b(path);
  for (unsigned long i = 0; i < points->count(); ++i) {
    const RVNGPropertyList& p = (*points)[i];
    if (!p["svg:x"] || !p["svg:y"]) continue;
    if (b.Points() == 0)
      b.MoveTo(Points(p["svg:x"]), Points(p["svg:y"]));
    else
      b.LineTo(Points(p["svg:x"]), Points(p["svg:y"]));
  }
  if (closed && points->count() > 2) b.Close();
  AddShape(std::move(path));
}

void TDrawRecorder::drawPolygon(const RVNGPropertyList& props) { AddPointList(props, true); }

void TDrawRecorder::drawPolyline(const RVNGPropertyList& props) { AddPointList(props, false); }

void TDrawRecorder::drawPath(const RVNGPropertyList& props) {
  Check();
  const librevenge::RVNGPropertyListVector* steps = props.child("svg:d");
  if (!Recording() || !steps) return;
  TPathData path;
  TPathBuilder b(path);
  for (unsigned long i = 0; i < steps->count(); ++i) {
    const RVNGPropertyList& s = (*steps)[i];
    const RVNGProperty* action = s["librevenge:path-action"];
    if (!action) continue;
    librevenge::RVNGString a = action->getStr();
    if (a.len() != 1) continue;
    bool xy = s["svg:x"] && s["svg:y"];
    bool xy1 = xy && s["svg:x1"] && s["svg:y1"];
    bool xy2 = xy1 && s["svg:x2"] && s["svg:y2"];
    double x = Points(s["svg:x"]), y = Points(s["svg:y"]);
    switch (a.cstr()[0]) {
      case 'M': xy&& b.MoveTo(x, y); break;
      case 'L': xy&& b.LineTo(x, y); break;
      case 'C':
        xy2&& b.CubicTo(Points(s["svg:x1"]), Points(s["svg:y1"]), Points(s["svg:x2"]), Points(s["svg:y2"]), x, y);
        break;
      case 'Q': xy1&& b.QuadTo(Points(s["svg:x1"]), Points(s["svg:y1"]), x, y); break;
      case 'A':
        if (xy && s["svg:rx"] && s["svg:ry"])
          b.ArcTo(Points(s["svg:rx"]), Points(s["svg:ry"]), Fraction(s["librevenge:rotate"], 0),
                  s["librevenge:large-arc"] ? s["librevenge:large-arc"]->getInt() != 0 : true,
                  s["librevenge:sweep"] ? s["librevenge:sweep"]->getInt() != 0 : true, x, y);
        break;
      case 'Z': b.Close(); break;
      default: break;
    }
  }
  AddShape(std::move(path));
}

void TDrawRecorder::drawGraphicObject(const RVNGPropertyList& props) {
  Check();
  if (!Recording() || !props["office:binary-data"] || !Is(props, "librevenge:mime-type", "image/bmp")) return;
  if (!props["svg:x"] || !props["svg:y"] || !props["svg:width"] || !props["svg:height"]) return;
  librevenge::RVNGBinaryData data(props["office:binary-data"]->getStr());
  uint64_t room = cookie_.Limits().maxImagePixels - std::min(imagePixels_, cookie_.Limits().maxImagePixels);
  std::shared_ptr<const TRaster> raster = ReadBmpRaster(data.getDataBuffer(), data.size(), room);
  if (!raster) return;
  imagePixels_ += uint64_t(raster->width) * uint64_t(raster->height);
  TDrawItem item;
  item.kind = TItemKind::image;
  item.x = Points(props["svg:x"]);
  item.y = Points(props["svg:y"]);
  item.width = Points(props["svg:width"]);
  item.height = Points(props["svg:height"]);
  item.rotate = Fraction(props["librevenge:rotate"], 0);
  item.flipX = props["draw:mirror-horizontal"] && props["draw:mirror-horizontal"]->getInt();
  item.flipY = props["draw:mirror-vertical"] && props["draw:mirror-vertical"]->getInt();
  item.image = std::move(raster);
  page_.items.push_back(std::move(item));
  Count(page_.items.back());
}

void TDrawRecorder::startTextObject(const RVNGPropertyList& props) {
  Check();
  if (!Recording()) return;
  inText_ = true;
  text_ = TDrawItem();
  text_.kind = TItemKind::text;
  text_.x = Points(props["svg:x"]) + Points(props["fo:padding-left"]);
  text_.y = Points(props["svg:y"]) + Points(props["fo:padding-top"]);
  text_.width = Points(props["svg:width"]) - Points(props["fo:padding-left"]) - Points(props["fo:padding-right"]);
  text_.height = Points(props["svg:height"]) - Points(props["fo:padding-top"]) - Points(props["fo:padding-bottom"]);
  text_.rotate = Fraction(props["librevenge:rotate"], 0);
  align_ = TTextAlign::left;
}

void TDrawRecorder::endTextObject() {
  if (!inText_) return;
  inText_ = false;
  bool any = false;
  for (const TTextLine& line : text_.lines)
    for (const TTextSpan& span : line.spans) any = any || !span.text.empty();
  if (!any) return;
  page_.items.push_back(std::move(text_));
  Count(page_.items.back());
}

void TDrawRecorder::openParagraph(const RVNGPropertyList& props) {
  Check();
  if (!inText_) return;
  align_ = Is(props, "fo:text-align", "center")                                          ? TTextAlign::center
           : Is(props, "fo:text-align", "end") || Is(props, "fo:text-align", "right")    ? TTextAlign::right
           : Is(props, "fo:text-align", "justify") || Is(props, "fo:text-align", "full") ? TTextAlign::justify
                                                                                         : TTextAlign::left;
  text_.lines.emplace_back();
  text_.lines.back().align = align_;
}

void TDrawRecorder::insertLineBreak() {
  if (!inText_) return;
  text_.lines.emplace_back();
  text_.lines.back().align = align_;
}

void TDrawRecorder::openSpan(const RVNGPropertyList& props) {
  Check();
  if (!inText_) return;
  span_ = TTextSpan();
  if (props["style:font-name"]) span_.font = props["style:font-name"]->getStr().cstr();
  double size = Points(props["fo:font-size"], 12);
  span_.size = size > 0 && size < 10000 ? size : 12;
  span_.color = Colour(props["fo:color"], Clamp01(Fraction(props["svg:fill-opacity"], 1)));
  if (text_.lines.empty()) text_.lines.emplace_back();
  text_.lines.back().spans.push_back(span_);
}

void TDrawRecorder::closeSpan() {}

void TDrawRecorder::AddText(const char* utf8) {
  if (!inText_ || !utf8) return;
  if (text_.lines.empty()) text_.lines.emplace_back();
  TTextLine& line = text_.lines.back();
  if (line.spans.empty()) line.spans.push_back(span_);
  line.spans.back().text += utf8;
}

}  // namespace hi
