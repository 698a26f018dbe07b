#include <gtest/gtest.h>

#include <utility>

#include "imaging/view_geometry.h"

using namespace hi;

namespace {
void ExpectRect(const TRect& r, int32_t l, int32_t t, int32_t rt, int32_t b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rt);
  EXPECT_EQ(r.bottom, b);
}
}  // namespace

TEST(ViewGeometry, FitUsesFullWidthOrFullHeight) {
  TViewPlacement wide = PlaceView(vsFit, 392, 266, 100, 50);
  EXPECT_EQ(wide.Draw, vdStretch);
  ExpectRect(wide.Dest, 0, 35, 392, 231);
  ASSERT_EQ(wide.BandCount, 2);
  ExpectRect(wide.Bands[0], 0, 0, 392, 35);
  ExpectRect(wide.Bands[1], 0, 231, 392, 266);

  // l = round(129.5): halves go to the even neighbour, 130.
  TViewPlacement tall = PlaceView(vsFit, 392, 266, 50, 100);
  ExpectRect(tall.Dest, 130, 0, 262, 266);
  ASSERT_EQ(tall.BandCount, 2);
  ExpectRect(tall.Bands[0], 0, 0, 130, 266);
  ExpectRect(tall.Bands[1], 262, 0, 392, 266);

  // (100 - 25) / 2 = 37.5 rounds to 38; (100 - 75) / 2 = 12.5 rounds to 12.
  ExpectRect(PlaceView(vsFit, 100, 100, 100, 25).Dest, 0, 38, 100, 62);
  ExpectRect(PlaceView(vsFit, 100, 100, 100, 75).Dest, 0, 12, 100, 88);
  // A small picture is enlarged; same proportions give no bands' area.
  TViewPlacement same = PlaceView(vsFit, 400, 200, 20, 10);
  ExpectRect(same.Dest, 0, 0, 400, 200);
  EXPECT_FALSE(RectHasArea(same.Bands[0]));
  EXPECT_FALSE(RectHasArea(same.Bands[1]));
}

TEST(ViewGeometry, CoverOverflowsEquallyAndLeavesNoBands) {
  TViewPlacement p = PlaceView(vsCover, 392, 266, 50, 100);
  EXPECT_EQ(p.Draw, vdStretch);
  ExpectRect(p.Dest, 0, -259, 392, 525);
  for (int i = 0; i < p.BandCount; ++i) EXPECT_FALSE(RectHasArea(p.Bands[i]));

  // A wide picture covers with the full height: l = round((392 - 532) / 2).
  TViewPlacement w = PlaceView(vsCover, 392, 266, 100, 50);
  ExpectRect(w.Dest, -70, 0, 462, 266);
  for (int i = 0; i < w.BandCount; ++i) EXPECT_FALSE(RectHasArea(w.Bands[i]));
}

TEST(ViewGeometry, CentreTruncatesTowardZero) {
  TViewPlacement big = PlaceView(vsCenter, 392, 266, 500, 500);
  EXPECT_EQ(big.Draw, vdDraw);
  ExpectRect(big.Dest, -54, -117, 446, 383);
  ASSERT_EQ(big.BandCount, 4);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(RectHasArea(big.Bands[i]));

  TViewPlacement small = PlaceView(vsCenter, 392, 266, 51, 51);
  ExpectRect(small.Dest, 170, 107, 221, 158);
  ExpectRect(small.Bands[0], 0, 0, 392, 107);
  ExpectRect(small.Bands[1], 0, 158, 392, 266);
  ExpectRect(small.Bands[2], 0, 107, 170, 158);
  ExpectRect(small.Bands[3], 221, 107, 392, 158);
  // (100 - 101) / 2 truncates to 0, not -1.
  EXPECT_EQ(PlaceView(vsCenter, 100, 100, 101, 103).Dest.left, 0);
  EXPECT_EQ(PlaceView(vsCenter, 100, 100, 101, 103).Dest.top, -1);
}

TEST(ViewGeometry, StretchTileTopLeftAndEmpty) {
  TViewPlacement s = PlaceView(vsStretch, 392, 266, 50, 100);
  EXPECT_EQ(s.Draw, vdStretch);
  ExpectRect(s.Dest, 0, 0, 392, 266);
  EXPECT_EQ(s.BandCount, 0);

  // Both ends included: 392 / 100 = 3 gives columns 0..3, the last cut off.
  TViewPlacement t = PlaceView(vsTile, 392, 266, 100, 50);
  EXPECT_EQ(t.Draw, vdTile);
  EXPECT_EQ(t.TilesX, 3);
  EXPECT_EQ(t.TilesY, 5);
  EXPECT_EQ(t.BandCount, 0);
  EXPECT_EQ(PlaceView(vsTile, 400, 100, 100, 50).TilesX, 4);

  TViewPlacement tl = PlaceView(vsTopLeft, 392, 266, 100, 50);
  EXPECT_EQ(tl.Draw, vdDraw);
  ExpectRect(tl.Dest, 0, 0, 100, 50);
  ASSERT_EQ(tl.BandCount, 2);
  ExpectRect(tl.Bands[0], 100, 0, 392, 266);
  ExpectRect(tl.Bands[1], 0, 50, 100, 266);

  for (int style = 0; style <= 5; ++style) {
    TViewPlacement e = PlaceView(style, 392, 266, 0, 0);
    EXPECT_EQ(e.Draw, vdNothing);
    ASSERT_EQ(e.BandCount, 1);
    ExpectRect(e.Bands[0], 0, 0, 392, 266);
  }
}

TEST(ViewGeometry, FitLargerOnlyCentresWhatFits) {
  // 64 x 48 in 600 x 400: centred at its own size, not enlarged.
  TViewPlacement small = PlaceView(vsFit, 600, 400, 64, 48, true);
  EXPECT_EQ(small.Draw, vdDraw);
  ExpectRect(small.Dest, 268, 176, 332, 224);
  // As large as the window in one direction still fits.
  EXPECT_EQ(PlaceView(vsFit, 600, 400, 600, 100, true).Draw, vdDraw);
  // Larger in either direction: fitted as without the flag.
  for (auto [w, h] : {std::pair{1000, 800}, std::pair{601, 10}, std::pair{10, 401}}) {
    TViewPlacement big = PlaceView(vsFit, 600, 400, w, h, true);
    TViewPlacement plain = PlaceView(vsFit, 600, 400, w, h);
    EXPECT_EQ(big.Draw, vdStretch);
    ExpectRect(big.Dest, plain.Dest.left, plain.Dest.top, plain.Dest.right, plain.Dest.bottom);
  }
  ExpectRect(PlaceView(vsFit, 600, 400, 1000, 800, true).Dest, 50, 0, 550, 400);
  // Only fit is affected.
  EXPECT_EQ(PlaceView(vsCover, 600, 400, 64, 48, true).Draw, vdStretch);
  EXPECT_EQ(PlaceView(vsStretch, 600, 400, 64, 48, true).Draw, vdStretch);
}
