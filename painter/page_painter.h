// The painter: replays a recorded page (draw_list.h) onto a cairo image
// surface, and the bounds pass that measures what the page draws (the
// content area). Both walk the same list with the same geometry, so the
// content area is the area the painter fills.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>

#include "painter/draw_list.h"
#include "painter/render_cookie.h"

namespace hi {

struct TSurfaceRelease {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using TSurfaceOwner = std::unique_ptr<cairo_surface_t, TSurfaceRelease>;

struct TBox {
  double x = 0, y = 0, width = 0, height = 0;  // points
};

enum class TRenderArea : uint8_t { page, content };

// The box around every mark of the page (fills, strokes at their nominal
// width, arrowheads, bitmaps, text lines); false when the page draws nothing.
bool ContentBounds(const TDrawPage& page, TBox& box);

// The area a picture shows: the page, or the content with a small margin
// (the page when there is no content or the page has no size).
TBox AreaOf(const TDrawPage& page, TRenderArea area);

// The picture's size when area is fitted inside boxWidth x boxHeight with
// its proportions kept; each side at least one pixel.
void FitSize(const TBox& area, int64_t boxWidth, int64_t boxHeight, int64_t& width, int64_t& height);

// Draws the page's items; cr maps points to pixels already. A line thinner
// than a pixel is drawn one pixel wide. False when the cookie stopped.
bool PaintItems(cairo_t* cr, const TDrawPage& page, TRenderCookie& cookie);

// A new ARGB32 surface of width x height showing area, on white or on
// nothing (transparent). Null when the surface cannot be made or the cookie
// stopped.
TSurfaceOwner RenderPage(const TDrawPage& page, const TBox& area, int width, int height, bool white,
                         TRenderCookie& cookie);

}  // namespace hi
