#include "imaging/view_geometry.h"

#include "framework/data.h"

namespace hi {

namespace {

void AddBand(TViewPlacement& p, int32_t l, int32_t t, int32_t r, int32_t b) { p.Bands[p.BandCount++] = {l, t, r, b}; }

void PlaceScaled(TViewPlacement& p, bool cover, int32_t cw, int32_t ch, int32_t w, int32_t h) {
  double k = double(h) / double(w);
  bool taller = double(ch) < double(cw) * k;
  bool fullWidth = cover ? taller : !taller;
  p.Draw = vdStretch;
  if (fullWidth) {
    int32_t t = int32_t(RoundHalfEven((double(ch) - double(cw) * k) / 2.0));
    p.Dest = {0, t, cw, ch - t};
    AddBand(p, 0, 0, cw, t);
    AddBand(p, 0, ch - t, cw, ch);
  } else {
    int32_t l = int32_t(RoundHalfEven((double(cw) - double(ch) / k) / 2.0));
    p.Dest = {l, 0, cw - l, ch};
    AddBand(p, 0, 0, l, ch);
    AddBand(p, cw - l, 0, cw, ch);
  }
}

}  // namespace

TViewPlacement PlaceView(int32_t style, int32_t cw, int32_t ch, int32_t w, int32_t h, bool fitLargerOnly) {
  TViewPlacement p;
  if (w == 0 || h == 0) {
    AddBand(p, 0, 0, cw, ch);
    return p;
  }
  if (style == vsFit && fitLargerOnly && w <= cw && h <= ch) style = vsCenter;
  switch (style) {
    case vsCenter: {
      int32_t x = (cw - w) / 2, y = (ch - h) / 2;
      p.Draw = vdDraw;
      p.Dest = {x, y, x + w, y + h};
      AddBand(p, 0, 0, cw, y);
      AddBand(p, 0, y + h, cw, ch);
      AddBand(p, 0, y, x, y + h);
      AddBand(p, x + w, y, cw, y + h);
      break;
    }
    case vsStretch:
      p.Draw = vdStretch;
      p.Dest = {0, 0, cw, ch};
      break;
    case vsFit:
    case vsCover: PlaceScaled(p, style == vsCover, cw, ch, w, h); break;
    case vsTile:
      p.Draw = vdTile;
      p.Dest = {0, 0, w, h};
      p.TilesX = cw / w;
      p.TilesY = ch / h;
      break;
    case vsTopLeft:
    default:
      p.Draw = vdDraw;
      p.Dest = {0, 0, w, h};
      AddBand(p, w, 0, cw, ch);
      AddBand(p, 0, h, w, ch);
      break;
  }
  return p;
}

}  // namespace hi
