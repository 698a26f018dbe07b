// The painter from short sequences of drawing-interface calls, as the format
// library makes them, judged by the pixels of the picture: a 100 x 100 point
// page drawn at one pixel per point on white.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "painter/draw_recorder.h"
#include "painter/page_painter.h"

using namespace hi;
using librevenge::RVNGPropertyList;
using librevenge::RVNGPropertyListVector;

namespace {

struct Rgb {
  int r, g, b;
};

// The calls of one page; Picture() replays them and renders.
class PageCalls {
 public:
  explicit PageCalls(double width = 100, double height = 100) : recorder_(0, cookie_) {
    RVNGPropertyList page;
    page.insert("svg:width", width / 72);
    page.insert("svg:height", height / 72);
    recorder_.startPage(page);
  }
  TDrawRecorder& R() { return recorder_; }

  static RVNGPropertyList Style(const char* fill, const char* stroke = "none", double strokeWidth = 1) {
    RVNGPropertyList s;
    s.insert("draw:fill", fill);
    s.insert("draw:fill-color", "#ff0000");
    s.insert("draw:stroke", stroke);
    s.insert("svg:stroke-width", strokeWidth, librevenge::RVNG_POINT);
    s.insert("svg:stroke-color", "#0000ff");
    return s;
  }

  // A path from "M x y L x y C ... Q ... A rx ry rot large sweep x y Z" in points.
  void Path(const std::string& d) {
    RVNGPropertyListVector steps;
    std::vector<std::string> words;
    size_t at = 0;
    while (at < d.size()) {
      size_t next = d.find(' ', at);
      if (next == std::string::npos) next = d.size();
      if (next > at) words.push_back(d.substr(at, next - at));
      at = next + 1;
    }
    for (size_t i = 0; i < words.size();) {
      RVNGPropertyList step;
      char op = words[i++][0];
      step.insert("librevenge:path-action", std::string(1, op).c_str());
      auto pt = [&](const char* name) { step.insert(name, std::stod(words[i++]), librevenge::RVNG_POINT); };
      if (op == 'C') {
        pt("svg:x1"), pt("svg:y1"), pt("svg:x2"), pt("svg:y2");
      } else if (op == 'Q') {
        pt("svg:x1"), pt("svg:y1");
      } else if (op == 'A') {
        pt("svg:rx"), pt("svg:ry");
        step.insert("librevenge:rotate", std::stod(words[i++]));
        step.insert("librevenge:large-arc", std::stoi(words[i++]));
        step.insert("librevenge:sweep", std::stoi(words[i++]));
      }
      if (op != 'Z') pt("svg:x"), pt("svg:y");
      steps.append(step);
    }
    RVNGPropertyList props;
    props.insert("svg:d", steps);
    recorder_.drawPath(props);
  }

  void Picture(TRenderArea area = TRenderArea::page, int side = 100) {
    recorder_.endPage();
    TBox box = AreaOf(recorder_.Page(), area);
    int64_t w = 0, h = 0;
    FitSize(box, side, side, w, h);
    surface_ = RenderPage(recorder_.Page(), box, int(w), int(h), true, cookie_);
    ASSERT_TRUE(surface_);
  }

  Rgb At(int x, int y) const {
    const unsigned char* data = cairo_image_surface_get_data(surface_.get());
    int stride = cairo_image_surface_get_stride(surface_.get());
    uint32_t p = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
    return {int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)};
  }
  int Width() const { return cairo_image_surface_get_width(surface_.get()); }
  int Height() const { return cairo_image_surface_get_height(surface_.get()); }
  bool White(int x, int y) const {
    Rgb c = At(x, y);
    return c.r > 245 && c.g > 245 && c.b > 245;
  }
  // Pixels in the rectangle that are not white.
  int Ink(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += !White(x, y);
    return n;
  }

 private:
  TRenderCookie cookie_;
  TDrawRecorder recorder_;
  TSurfaceOwner surface_;
};

void ExpectNear(Rgb c, Rgb want, int tolerance, const char* what) {
  EXPECT_NEAR(c.r, want.r, tolerance) << what;
  EXPECT_NEAR(c.g, want.g, tolerance) << what;
  EXPECT_NEAR(c.b, want.b, tolerance) << what;
}

// A 2 x 2 BMP as the format library writes its bitmaps: 32-bit rows, bottom-up.
librevenge::RVNGBinaryData Bmp2x2(uint32_t topLeft, uint32_t topRight, uint32_t bottomLeft, uint32_t bottomRight) {
  std::vector<unsigned char> b(54 + 16, 0);
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 255;
  };
  b[0] = 'B', b[1] = 'M';
  put(2, 70), put(10, 54), put(14, 40), put(18, 2), put(22, 2);
  b[26] = 1, b[28] = 32;
  put(54, bottomLeft), put(58, bottomRight), put(62, topLeft), put(66, topRight);
  return librevenge::RVNGBinaryData(b.data(), b.size());
}

}  // namespace

TEST(Painter, PathsAndFillRules) {
  {
    // Two squares in one path, the inner one inside: even-odd leaves a hole.
    PageCalls even;
    even.R().setStyle(PageCalls::Style("solid"));
    even.Path("M 10 10 L 90 10 L 90 90 L 10 90 Z M 30 30 L 70 30 L 70 70 L 30 70 Z");
    even.Picture();
    ExpectNear(even.At(20, 50), {255, 0, 0}, 2, "between the squares");
    EXPECT_TRUE(even.White(50, 50)) << "even-odd hole";
  }
  {
    PageCalls nonzero;
    RVNGPropertyList s = PageCalls::Style("solid");
    s.insert("svg:fill-rule", "nonzero");
    nonzero.R().setStyle(s);
    nonzero.Path("M 10 10 L 90 10 L 90 90 L 10 90 Z M 30 30 L 70 30 L 70 70 L 30 70 Z");
    nonzero.Picture();
    ExpectNear(nonzero.At(50, 50), {255, 0, 0}, 2, "non-zero fills the inner square");
  }
  {
    // A circle of two arcs, a cubic bulge and a quadratic one; an open path is filled as if closed.
    PageCalls curves;
    curves.R().setStyle(PageCalls::Style("solid"));
    curves.Path("M 10 25 A 15 15 0 0 1 40 25 A 15 15 0 0 1 10 25 Z");
    curves.Path("M 50 50 C 50 10 90 10 90 50");
    curves.Path("M 50 90 Q 70 60 90 90");
    curves.Picture();
    ExpectNear(curves.At(25, 25), {255, 0, 0}, 2, "circle centre");
    EXPECT_TRUE(curves.White(12, 12)) << "outside the circle, inside its box";
    EXPECT_FALSE(curves.White(25, 12)) << "top of the circle";
    ExpectNear(curves.At(70, 30), {255, 0, 0}, 2, "inside the cubic bulge");
    EXPECT_TRUE(curves.White(52, 15)) << "outside the cubic bulge";
    ExpectNear(curves.At(70, 82), {255, 0, 0}, 2, "inside the quadratic bulge");
    EXPECT_TRUE(curves.White(70, 70)) << "above the quadratic bulge";
  }
}

TEST(Painter, HostileGeometryLeavesTheRestDrawn) {
  // Coordinates far past cairo's fixed point, a zero-length dash pattern and
  // a degenerate arc come first; the square after them must still be drawn.
  PageCalls page;
  RVNGPropertyList s = PageCalls::Style("none", "dash", 1);
  s.insert("draw:dots1", 1);
  s.insert("draw:dots1-length", 0.0, librevenge::RVNG_POINT);
  s.insert("draw:distance", 0.0, librevenge::RVNG_POINT);
  page.R().setStyle(s);
  page.Path("M -1e300 -1e300 L 1e300 5 L 5 1e300 Z");
  page.Path("M 10 10 A 0 0 0 1 1 10 10 C 1e200 0 0 1e200 20 20");
  page.R().setStyle(PageCalls::Style("solid"));
  page.Path("M 60 60 L 90 60 L 90 90 L 60 90 Z");
  page.Picture();
  ExpectNear(page.At(75, 75), {255, 0, 0}, 2, "the shape after the hostile ones");
}

TEST(Painter, GradientsAndOpacity) {
  auto gradient = [](const char* style, double angle) {
    RVNGPropertyList s;
    s.insert("draw:fill", "gradient");
    s.insert("draw:style", style);
    s.insert("draw:start-color", "#ff0000");
    s.insert("draw:end-color", "#0000ff");
    s.insert("draw:angle", angle);
    s.insert("draw:border", 0.5, librevenge::RVNG_PERCENT);  // radial and square: the rim on the box's sides
    s.insert("draw:stroke", "none");
    return s;
  };
  {
    // Angle 0 runs from the top (start colour) to the bottom; 90 from left to right... turned.
    PageCalls linear;
    linear.R().setStyle(gradient("linear", 0));
    linear.Path("M 0 0 L 100 0 L 100 100 L 0 100 Z");
    linear.Picture();
    EXPECT_GT(linear.At(50, 3).r, 230);
    EXPECT_GT(linear.At(50, 96).b, 230);
    ExpectNear(linear.At(5, 50), linear.At(95, 50), 3, "constant across the axis");
    Rgb mid = linear.At(50, 50);
    EXPECT_NEAR(mid.r, 128, 12);
    EXPECT_NEAR(mid.b, 128, 12);
  }
  {
    PageCalls turned;
    turned.R().setStyle(gradient("linear", 90));
    turned.Path("M 0 0 L 100 0 L 100 100 L 0 100 Z");
    turned.Picture();
    ExpectNear(turned.At(50, 5), turned.At(50, 95), 3, "a quarter turn runs across");
    EXPECT_GT(std::abs(turned.At(5, 50).r - turned.At(95, 50).r), 200);
  }
  {
    // Every stop of a stop list counts: a green middle.
    PageCalls stops;
    RVNGPropertyList s = gradient("linear", 0);
    RVNGPropertyListVector v;
    const char* colours[3] = {"#ff0000", "#00ff00", "#0000ff"};
    for (int i = 0; i < 3; ++i) {
      RVNGPropertyList stop;
      stop.insert("svg:offset", i / 2.0, librevenge::RVNG_PERCENT);
      stop.insert("svg:stop-color", colours[i]);
      stop.insert("svg:stop-opacity", 1.0, librevenge::RVNG_PERCENT);
      v.append(stop);
    }
    s.insert("svg:linearGradient", v);
    stops.R().setStyle(s);
    stops.Path("M 0 0 L 100 0 L 100 100 L 0 100 Z");
    stops.Picture();
    EXPECT_GT(stops.At(50, 50).g, 230);
    EXPECT_GT(stops.At(50, 2).r, 230);
    EXPECT_GT(stops.At(50, 97).b, 230);
  }
  {
    // Radial: the end colour in the centre, the start colour at the rim;
    // square: equal colour along a square ring, unlike a radial one.
    PageCalls radial, square;
    radial.R().setStyle(gradient("radial", 0));
    square.R().setStyle(gradient("square", 0));
    radial.Path("M 0 0 L 100 0 L 100 100 L 0 100 Z");
    square.Path("M 0 0 L 100 0 L 100 100 L 0 100 Z");
    radial.Picture();
    square.Picture();
    EXPECT_GT(radial.At(50, 50).b, 240);
    EXPECT_GT(radial.At(50, 1).r, 200);
    EXPECT_GT(std::abs(radial.At(80, 50).r - radial.At(80, 80).r), 40) << "radial differs along a square ring";
    ExpectNear(square.At(80, 50), square.At(80, 80), 8, "square gradient is constant along a square ring");
    EXPECT_GT(square.At(50, 50).b, 240);
    EXPECT_GT(square.At(98, 98).r, 230);
  }
  {
    PageCalls half;
    RVNGPropertyList s = PageCalls::Style("solid");
    s.insert("draw:opacity", 0.5, librevenge::RVNG_PERCENT);
    half.R().setStyle(s);
    half.Path("M 0 0 L 100 0 L 100 100 L 0 100 Z");
    half.Picture();
    ExpectNear(half.At(50, 50), {255, 128, 128}, 3, "half-transparent red on white");
  }
}

TEST(Painter, Strokes) {
  {
    PageCalls wide;
    RVNGPropertyList s = PageCalls::Style("none", "solid", 10);
    s.insert("svg:stroke-linecap", "butt");
    wide.R().setStyle(s);
    wide.Path("M 20 30 L 80 30");
    s.insert("svg:stroke-linecap", "square");
    wide.R().setStyle(s);
    wide.Path("M 20 70 L 80 70");
    wide.Picture();
    ExpectNear(wide.At(50, 26), {0, 0, 255}, 2, "inside the 10 point line");
    EXPECT_TRUE(wide.White(50, 23)) << "beyond half the width";
    EXPECT_TRUE(wide.White(17, 30)) << "a butt cap ends at the end point";
    ExpectNear(wide.At(17, 70), {0, 0, 255}, 2, "a square cap reaches half the width further");
  }
  {
    // A hairline (width 0) is one pixel, not nothing.
    PageCalls hair;
    hair.R().setStyle(PageCalls::Style("none", "solid", 0));
    hair.Path("M 10 50.5 L 90 50.5");
    hair.Picture();
    EXPECT_GT(hair.Ink(10, 49, 90, 52), 70);
    EXPECT_EQ(hair.Ink(10, 40, 90, 48), 0);
  }
  {
    // Dashes of 10 on, 10 off: ink and gaps alternate along the line.
    PageCalls dashed;
    RVNGPropertyList s = PageCalls::Style("none", "dash", 4);
    s.insert("draw:dots1", 1);
    s.insert("draw:dots1-length", 10.0, librevenge::RVNG_POINT);
    s.insert("draw:dots2", 1);
    s.insert("draw:dots2-length", 10.0, librevenge::RVNG_POINT);
    s.insert("draw:distance", 10.0, librevenge::RVNG_POINT);
    dashed.R().setStyle(s);
    dashed.Path("M 0 50 L 100 50");
    dashed.Picture();
    EXPECT_FALSE(dashed.White(5, 50));
    EXPECT_TRUE(dashed.White(15, 50));
    EXPECT_FALSE(dashed.White(25, 50));
    EXPECT_TRUE(dashed.White(35, 50));
  }
  {
    // An arrowhead 10 points wide, 20 long, at the line's end, pointing out of it.
    PageCalls arrow;
    RVNGPropertyList s = PageCalls::Style("none", "solid", 1);
    const double unit = 2540.0 / 72;  // thousandths of a centimetre per point
    std::string path = "M" + std::to_string(int(5 * unit)) + " 0 L" + std::to_string(int(10 * unit)) + " " +
                       std::to_string(int(20 * unit)) + " L0 " + std::to_string(int(20 * unit)) + " Z";
    s.insert("draw:marker-end-path", path.c_str());
    s.insert("draw:marker-end-viewbox",
             ("0 0 " + std::to_string(int(10 * unit)) + " " + std::to_string(int(20 * unit))).c_str());
    arrow.R().setStyle(s);
    arrow.Path("M 10 50 L 80 50");
    arrow.Picture();
    ExpectNear(arrow.At(66, 52), {0, 0, 255}, 40, "the arrowhead, back along the line from the end");
    EXPECT_TRUE(arrow.White(84, 52)) << "nothing past the end";
    EXPECT_TRUE(arrow.White(66, 30));
  }
}

TEST(Painter, BitmapsAndBitmapFills) {
  {
    PageCalls image;
    RVNGPropertyList p;
    p.insert("svg:x", 20.0, librevenge::RVNG_POINT);
    p.insert("svg:y", 20.0, librevenge::RVNG_POINT);
    p.insert("svg:width", 60.0, librevenge::RVNG_POINT);
    p.insert("svg:height", 60.0, librevenge::RVNG_POINT);
    p.insert("librevenge:mime-type", "image/bmp");
    p.insert("office:binary-data", Bmp2x2(0xFF0000, 0x00FF00, 0x0000FF, 0x000000));
    image.R().drawGraphicObject(p);
    p.insert("draw:mirror-horizontal", true);
    image.Picture();
    ExpectNear(image.At(30, 30), {255, 0, 0}, 3, "top left");
    ExpectNear(image.At(70, 30), {0, 255, 0}, 3, "top right");
    ExpectNear(image.At(30, 70), {0, 0, 255}, 3, "bottom left");
    ExpectNear(image.At(70, 70), {0, 0, 0}, 3, "bottom right");
    EXPECT_TRUE(image.White(10, 10));
  }
  {
    // A fill of 20-point tiles repeats across the shape.
    PageCalls tiles;
    RVNGPropertyList s;
    s.insert("draw:fill", "bitmap");
    s.insert("draw:fill-image", Bmp2x2(0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF));
    s.insert("librevenge:mime-type", "image/bmp");
    s.insert("svg:width", 20.0 / 72);
    s.insert("svg:height", 20.0 / 72);
    s.insert("draw:stroke", "none");
    tiles.R().setStyle(s);
    tiles.Path("M 0 0 L 100 0 L 100 100 L 0 100 Z");
    tiles.Picture();
    Rgb a = tiles.At(50, 5), b = tiles.At(50, 25);
    ExpectNear(a, b, 3, "one tile further down, the same colour");
    EXPECT_GT(std::abs(tiles.At(50, 5).r - tiles.At(50, 15).r), 200) << "halves of a tile differ";
  }
}

TEST(Painter, TextInItsFrame) {
  auto text = [](PageCalls& page, const char* align, const char* font, const char* colour, const char* words = "MMM") {
    RVNGPropertyList frame;
    frame.insert("svg:x", 10.0, librevenge::RVNG_POINT);
    frame.insert("svg:y", 10.0, librevenge::RVNG_POINT);
    frame.insert("svg:width", 80.0, librevenge::RVNG_POINT);
    frame.insert("svg:height", 80.0, librevenge::RVNG_POINT);
    page.R().startTextObject(frame);
    RVNGPropertyList para;
    para.insert("fo:text-align", align);
    page.R().openParagraph(para);
    RVNGPropertyList span;
    span.insert("fo:font-size", 12.0, librevenge::RVNG_POINT);
    span.insert("style:font-name", font);
    span.insert("fo:color", colour);
    page.R().openSpan(span);
    page.R().insertText(words);
    page.R().closeSpan();
    page.R().closeParagraph();
    page.R().endTextObject();
  };
  PageCalls left, centre, right, missing, paragraph;
  text(left, "left", "Liberation Sans", "#00ff00");
  text(centre, "center", "Liberation Sans", "#00ff00");
  text(right, "end", "Liberation Sans", "#00ff00");
  text(missing, "left", "No Such Font Anywhere", "#000000");
  text(paragraph, "left", "Liberation Sans", "#000000", "MMM MMM MMM MMM MMM MMM MMM MMM MMM MMM");
  for (PageCalls* p : {&left, &centre, &right, &missing, &paragraph}) p->Picture();
  // Ink only in the first line of the frame, in the third of the frame the alignment names.
  EXPECT_GT(left.Ink(10, 10, 40, 26), 20);
  EXPECT_EQ(left.Ink(40, 10, 100, 100), 0);
  EXPECT_GT(centre.Ink(35, 10, 65, 26), 20);
  EXPECT_EQ(centre.Ink(0, 10, 30, 100) + centre.Ink(70, 10, 100, 100), 0);
  EXPECT_GT(right.Ink(60, 10, 90, 26), 20);
  EXPECT_EQ(right.Ink(0, 10, 60, 100), 0);
  EXPECT_EQ(left.Ink(0, 30, 100, 100), 0);
  bool green = false;
  for (int y = 10; y < 26; ++y)
    for (int x = 10; x < 40; ++x) green = green || (left.At(x, y).g > 200 && left.At(x, y).r < 60);
  EXPECT_TRUE(green) << "the span's colour";
  EXPECT_GT(missing.Ink(10, 10, 40, 26), 20) << "a missing font falls back to another";
  // A paragraph four times its frame's width wraps at spaces inside the frame.
  EXPECT_GT(paragraph.Ink(10, 28, 90, 42), 20) << "a second line";
  EXPECT_GT(paragraph.Ink(10, 56, 90, 90), 20) << "a fourth or fifth line";
  EXPECT_EQ(paragraph.Ink(91, 0, 100, 100), 0) << "nothing past the frame's right side";
}

TEST(Painter, PagesAreasAndLimits) {
  {
    // Three pages; only the second is kept, with its own size.
    TRenderCookie cookie;
    TDrawRecorder r(1, cookie);
    for (double w : {100.0, 200.0, 300.0}) {
      RVNGPropertyList page;
      page.insert("svg:width", w / 72);
      page.insert("svg:height", 50.0 / 72);
      r.startPage(page);
      r.setStyle(PageCalls::Style("solid"));
      RVNGPropertyList rect;
      rect.insert("svg:x", 0.0), rect.insert("svg:y", 0.0), rect.insert("svg:width", 0.1),
          rect.insert("svg:height", 0.1);
      r.drawRectangle(rect);
      r.endPage();
    }
    EXPECT_EQ(r.PageCount(), 3);
    ASSERT_TRUE(r.HasPage());
    EXPECT_DOUBLE_EQ(r.Page().width, 200);
    EXPECT_EQ(r.Page().items.size(), 1u);
  }
  {
    // The content area is the drawn square and a small margin, fitted whole.
    PageCalls content;
    content.R().setStyle(PageCalls::Style("solid"));
    content.Path("M 60 60 L 80 60 L 80 70 L 60 70 Z");
    TBox box;
    ASSERT_TRUE(ContentBounds(content.R().Page(), box));
    EXPECT_NEAR(box.x, 60, 0.01);
    EXPECT_NEAR(box.width, 20, 0.01);
    EXPECT_NEAR(box.height, 10, 0.01);
    content.Picture(TRenderArea::content, 100);
    EXPECT_EQ(content.Width(), 100);
    EXPECT_EQ(content.Height(), 52);
    ExpectNear(content.At(50, 26), {255, 0, 0}, 2, "the square fills the middle");
    EXPECT_TRUE(content.White(0, 0)) << "the margin";
  }
  {
    // A passed deadline leaves the interpretation at the next call.
    TRenderCookie late(1e-9);
    TDrawRecorder r(0, late);
    RVNGPropertyList page;
    EXPECT_THROW(r.startPage(page), TRenderStopped);
    EXPECT_EQ(late.Reason(), TRenderStop::time);
    // A page of more items than the limit stops with its own reason.
    TRenderLimits few;
    few.maxItems = 3;
    TRenderCookie small(0, few);
    TDrawRecorder r2(0, small);
    r2.startPage(page);
    r2.setStyle(PageCalls::Style("solid"));
    RVNGPropertyList rect;
    rect.insert("svg:x", 0.0), rect.insert("svg:y", 0.0), rect.insert("svg:width", 0.1), rect.insert("svg:height", 0.1);
    EXPECT_THROW(for (int i = 0; i < 10; ++i) r2.drawRectangle(rect), TRenderStopped);
    EXPECT_EQ(small.Reason(), TRenderStop::items);
  }
}
