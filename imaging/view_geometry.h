// Where the image element puts its picture: the placement of the six view
// styles as rectangles, computed without any window system so that the
// painting code only carries them out.
#pragma once

#include <cstdint>

#include "imaging/bitmap.h"

namespace hi {

enum TViewStyle : int32_t {
  vsCenter = 0,
  vsStretch = 1,
  vsFit = 2,
  vsTile = 3,
  vsTopLeft = 4,
  vsCover = 5,
};

enum TViewDraw : uint8_t {
  vdNothing = 0,  // only the bands are filled
  vdDraw = 1,     // unscaled at Dest.left, Dest.top
  vdStretch = 2,  // scaled into Dest
  vdTile = 3,     // unscaled at (a * W, b * H), a <= TilesX, b <= TilesY
};

struct TViewPlacement {
  TViewDraw Draw = vdNothing;
  TRect Dest{0, 0, 0, 0};
  int32_t TilesX = 0, TilesY = 0;
  // Background bands, (left, top)-(right, bottom); some may be empty or
  // inverted (a larger picture), which fill nothing.
  int BandCount = 0;
  TRect Bands[4];
};

// Client area cw x ch, picture w x h (0 in either: an empty picture, the
// whole client area is background). With fitLargerOnly, fit shrinks a
// picture that does not fit and centres one that does, never enlarging it.
TViewPlacement PlaceView(int32_t style, int32_t cw, int32_t ch, int32_t w, int32_t h, bool fitLargerOnly = false);

// Whether a rectangle covers at least one pixel.
inline bool RectHasArea(const TRect& r) { return r.right > r.left && r.bottom > r.top; }

}  // namespace hi
