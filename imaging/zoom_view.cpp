#include "imaging/zoom_view.h"

#include <algorithm>
#include <cmath>

namespace hi {

namespace {

// The centre along one side of `size` pixels shown in `client` pixels:
// where the picture is larger, its edges stay at or beyond the client's.
double ClampCenter(double center, double size, double client) {
  if (size <= client) return 0.5;
  const double half = client / 2.0 / size;
  return std::clamp(center, half, 1.0 - half);
}

// The picture's origin along one side: centred where it fits.
int32_t Origin(double center, int32_t size, int32_t client) {
  if (size <= client) return (client - size) / 2;
  return int32_t(std::lround(double(client) / 2.0 - center * double(size)));
}

void AddBand(TViewPlacement& p, int32_t l, int32_t t, int32_t r, int32_t b) { p.Bands[p.BandCount++] = {l, t, r, b}; }

}  // namespace

TViewPlacement PlaceZoomed(int32_t style, int32_t cw, int32_t ch, int32_t w, int32_t h, bool fitLargerOnly,
                           TZoomView& view) {
  TViewPlacement base = PlaceView(style, cw, ch, w, h, fitLargerOnly);
  if (view.IsFit() || base.Draw == vdNothing || base.Draw == vdTile) {
    view.CenterX = view.CenterY = 0.5;
    return base;
  }
  const double bw = double(base.Dest.right - base.Dest.left), bh = double(base.Dest.bottom - base.Dest.top);
  const int32_t zw = std::max<int32_t>(1, int32_t(std::lround(bw * view.Zoom)));
  const int32_t zh = std::max<int32_t>(1, int32_t(std::lround(bh * view.Zoom)));
  view.CenterX = ClampCenter(view.CenterX, zw, cw);
  view.CenterY = ClampCenter(view.CenterY, zh, ch);
  const int32_t x = Origin(view.CenterX, zw, cw), y = Origin(view.CenterY, zh, ch);
  TViewPlacement p;
  p.Draw = (zw == w && zh == h) ? vdDraw : vdStretch;
  p.Dest = {x, y, x + zw, y + zh};
  const int32_t top = std::clamp(y, 0, ch), bottom = std::clamp(y + zh, 0, ch);
  AddBand(p, 0, 0, cw, top);
  AddBand(p, 0, bottom, cw, ch);
  AddBand(p, 0, top, std::clamp(x, 0, cw), bottom);
  AddBand(p, std::clamp(x + zw, 0, cw), top, cw, bottom);
  return p;
}

void PanBy(TZoomView& view, const TRect& dest, int32_t cw, int32_t ch, int32_t dx, int32_t dy) {
  const double w = double(dest.right - dest.left), h = double(dest.bottom - dest.top);
  if (w <= 0 || h <= 0) return;
  view.CenterX = ClampCenter(view.CenterX - double(dx) / w, w, cw);
  view.CenterY = ClampCenter(view.CenterY - double(dy) / h, h, ch);
}

void ZoomAt(TZoomView& view, const TRect& dest, int32_t cw, int32_t ch, double factor, int32_t x, int32_t y) {
  const double w = double(dest.right - dest.left), h = double(dest.bottom - dest.top);
  double zoom = std::clamp(view.Zoom * factor, TZoomView::MinZoom, TZoomView::MaxZoom);
  // Steps up and down meet at the view style's placement again.
  if (std::fabs(zoom - 1.0) < 1e-6) zoom = 1.0;
  if (w <= 0 || h <= 0 || zoom == 1.0) {
    view = TZoomView();
    view.Zoom = zoom;
    return;
  }
  const double k = zoom / view.Zoom;
  const double u = (double(x) - double(dest.left)) / w, v = (double(y) - double(dest.top)) / h;
  const double nw = w * k, nh = h * k;
  // The new origin puts (u, v) under the point again.
  view.CenterX = ClampCenter((double(cw) / 2.0 - (double(x) - u * nw)) / nw, nw, cw);
  view.CenterY = ClampCenter((double(ch) / 2.0 - (double(y) - v * nh)) / nh, nh, ch);
  view.Zoom = zoom;
}

TPixelSize RenderBox(int32_t cw, int32_t ch, double zoom, int64_t maxPixels) {
  if (cw <= 0 || ch <= 0 || zoom <= 0) return {};
  double w = double(cw) * zoom, h = double(ch) * zoom;
  const double pixels = w * h;
  if (pixels > double(maxPixels)) {
    const double k = std::sqrt(double(maxPixels) / pixels);
    w *= k;
    h *= k;
  }
  return {std::max<int32_t>(1, int32_t(w)), std::max<int32_t>(1, int32_t(h))};
}

bool NeedsRender(const TPixelSize& rendered, const TPixelSize& want) {
  if (want.Width <= 0 || want.Height <= 0) return false;
  if (rendered.Width <= 0 || rendered.Height <= 0) return true;
  // The rendering fills its box along one side: the wanted box gives the
  // same shape, scaled by the smaller of the two ratios.
  const double k = std::min(double(want.Width) / rendered.Width, double(want.Height) / rendered.Height);
  return double(rendered.Width) * k > rendered.Width + 1.0 || double(rendered.Height) * k > rendered.Height + 1.0;
}

}  // namespace hi
