// Zoom and pan on top of the view styles, and the size a page is rendered
// at: the arithmetic of the viewer's rendering, without any window system.
//
// The view remembers where it looks as a point of the picture in fractions
// of its width and height, not in pixels: the stored preview and the
// rendering that replaces it, or the same page at another window size, then
// stay at the same place of the drawing.
#pragma once

#include <cstdint>

#include "imaging/view_geometry.h"

namespace hi {

struct TPixelSize {
  int32_t Width = 0, Height = 0;
  bool operator==(const TPixelSize& o) const { return Width == o.Width && Height == o.Height; }
};

struct TZoomView {
  static constexpr double MinZoom = 0.25;
  static constexpr double MaxZoom = 16.0;
  double Zoom = 1.0;  // relative to the placement of the view style
  double CenterX = 0.5, CenterY = 0.5;
  bool IsFit() const { return Zoom == 1.0; }
};

// The placement of a w x h picture in a cw x ch client area: the view
// style's own at zoom 1, otherwise that placement's size times the zoom,
// centred along a side where it fits and showing the view's centre along a
// side where it does not. The centre is kept within the picture's edges.
TViewPlacement PlaceZoomed(int32_t style, int32_t cw, int32_t ch, int32_t w, int32_t h, bool fitLargerOnly,
                           TZoomView& view);

// Moves the picture by dx, dy client pixels (the drawing follows the mouse).
void PanBy(TZoomView& view, const TRect& dest, int32_t cw, int32_t ch, int32_t dx, int32_t dy);

// Multiplies the zoom by factor (within MinZoom..MaxZoom), keeping the point
// of the drawing under the client point x, y where it is.
void ZoomAt(TZoomView& view, const TRect& dest, int32_t cw, int32_t ch, double factor, int32_t x, int32_t y);

// The box a page is rendered into: the client area times the zoom, shrunk
// proportionally to at most maxPixels.
TPixelSize RenderBox(int32_t cw, int32_t ch, double zoom, int64_t maxPixels);

// Whether a rendered page of the size `rendered` (none: 0 x 0) is too small
// for the box `want`: only a larger picture calls for another run, a
// smaller one is scaled down.
bool NeedsRender(const TPixelSize& rendered, const TPixelSize& want);

}  // namespace hi
