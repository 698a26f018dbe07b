#include <gtest/gtest.h>

#include "imaging/zoom_view.h"

using namespace hi;

namespace {

// Every client pixel outside the picture is in exactly one band.
void ExpectBandsTile(const TViewPlacement& p, int32_t cw, int32_t ch) {
  for (int32_t y = 0; y < ch; ++y)
    for (int32_t x = 0; x < cw; ++x) {
      const bool inPicture = x >= p.Dest.left && x < p.Dest.right && y >= p.Dest.top && y < p.Dest.bottom;
      int covering = 0;
      for (int i = 0; i < p.BandCount; ++i) {
        const TRect& b = p.Bands[i];
        if (x >= b.left && x < b.right && y >= b.top && y < b.bottom) ++covering;
      }
      ASSERT_EQ(covering, inPicture ? 0 : 1) << x << "," << y;
    }
}

}  // namespace

TEST(ZoomView, FitIsTheViewStylesPlacementAndZoomKeepsThePointUnderTheMouse) {
  TZoomView view;
  const TViewPlacement fit = PlaceZoomed(vsFit, 120, 90, 400, 200, false, view);
  const TViewPlacement plain = PlaceView(vsFit, 120, 90, 400, 200);
  EXPECT_EQ(fit.Dest.left, plain.Dest.left);
  EXPECT_EQ(fit.Dest.top, plain.Dest.top);
  EXPECT_EQ(fit.Dest.right, plain.Dest.right);

  // The drawing's point under (30, 40) stays there through zooming in.
  const double u = (30.0 - fit.Dest.left) / (fit.Dest.right - fit.Dest.left);
  ZoomAt(view, fit.Dest, 120, 90, 4.0, 30, 40);
  const TViewPlacement in = PlaceZoomed(vsFit, 120, 90, 400, 200, false, view);
  EXPECT_EQ(in.Dest.right - in.Dest.left, 480);
  EXPECT_NEAR(in.Dest.left + u * 480, 30, 1.0);
  ExpectBandsTile(in, 120, 90);

  // Zooming back by the same steps lands on the fit placement exactly.
  ZoomAt(view, in.Dest, 120, 90, 1.0 / 4.0, 30, 40);
  EXPECT_TRUE(view.IsFit());
  // Zoomed out, the picture is centred and the bands fill the rest.
  ZoomAt(view, fit.Dest, 120, 90, 0.5, 0, 0);
  const TViewPlacement out = PlaceZoomed(vsFit, 120, 90, 400, 200, false, view);
  EXPECT_EQ(out.Dest.left, (120 - 60) / 2);
  ExpectBandsTile(out, 120, 90);
  // The zoom stays within its range however often it is stepped.
  for (int i = 0; i < 40; ++i) ZoomAt(view, out.Dest, 120, 90, 2.0, 0, 0);
  EXPECT_EQ(view.Zoom, TZoomView::MaxZoom);
}

TEST(ZoomView, PanStopsAtThePicturesEdges) {
  TZoomView view;
  view.Zoom = 2.0;
  TViewPlacement p = PlaceZoomed(vsFit, 100, 100, 100, 100, false, view);
  ASSERT_EQ(p.Dest.right - p.Dest.left, 200);
  PanBy(view, p.Dest, 100, 100, 1000, -1000);
  p = PlaceZoomed(vsFit, 100, 100, 100, 100, false, view);
  EXPECT_EQ(p.Dest.left, 0);      // dragged right as far as it goes: the left edge shows
  EXPECT_EQ(p.Dest.bottom, 100);  // dragged up: the bottom edge shows
  ExpectBandsTile(p, 100, 100);
  // The same place of the drawing after the picture is swapped for one of
  // other pixel sizes (the rendering replacing the preview).
  p = PlaceZoomed(vsFit, 100, 100, 400, 400, false, view);
  EXPECT_EQ(p.Dest.left, 0);
  EXPECT_EQ(p.Dest.bottom, 100);
}

TEST(ZoomView, RenderBoxAndWhenToRenderAgain) {
  const TPixelSize box = RenderBox(1200, 900, 1.0, int64_t(16) << 20);
  EXPECT_EQ(box, (TPixelSize{1200, 900}));
  const TPixelSize capped = RenderBox(1200, 900, 8.0, int64_t(16) << 20);
  EXPECT_LE(int64_t(capped.Width) * capped.Height, int64_t(16) << 20);
  EXPECT_NEAR(double(capped.Width) / capped.Height, 1200.0 / 900.0, 0.01);

  const TPixelSize page{1200, 849};  // a landscape page rendered into 1200 x 900
  EXPECT_TRUE(NeedsRender({}, {1200, 900}));
  EXPECT_FALSE(NeedsRender(page, {1200, 900}));
  EXPECT_FALSE(NeedsRender(page, {800, 600}));    // shrinking scales down
  EXPECT_FALSE(NeedsRender(page, {1200, 1400}));  // taller only: the width still limits the page
  EXPECT_TRUE(NeedsRender(page, {1600, 1200}));
  EXPECT_FALSE(NeedsRender(page, {0, 0}));
}
