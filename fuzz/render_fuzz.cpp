// The renderer on arbitrary document bytes: libcdr (built here with the
// sanitizers from the set-up's patched source) interprets them into the
// recorder, and the painter draws the first page onto a small surface.
// Whatever libcdr hands over must be drawn or refused without a fault.
#include <libcdr/libcdr.h>
#include <librevenge-stream/librevenge-stream.h>

#include <cairo.h>

#include "docreader/doc_signature.h"
#include "painter/draw_recorder.h"
#include "painter/page_painter.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // cairo sets up its static mutexes on the first call; make it here, once.
  cairo_surface_destroy(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (hi::DocumentEraOf(data, size) == hi::TDocEra::none) return 0;
  // Small limits keep each run short; the refusals they cause are paths too.
  hi::TRenderLimits limits;
  limits.maxItems = 20000;
  limits.maxPoints = 200000;
  limits.maxImagePixels = 1 << 20;
  hi::TRenderCookie cookie(5.0, limits);
  hi::TDrawRecorder recorder(0, cookie);
  bool parsed = false;
  try {
    librevenge::RVNGStringStream stream(data, unsigned(size));
    if (!libcdr::CDRDocument::isSupported(&stream)) return 0;
    parsed = libcdr::CDRDocument::parse(&stream, &recorder);
  } catch (...) {
    // docrender refuses such a document with its exit code; no fault.
    parsed = false;
  }
  if (!parsed || !recorder.HasPage() || cookie.Stopped()) return 0;
  hi::TDrawPage& page = recorder.Page();
  for (hi::TRenderArea area : {hi::TRenderArea::page, hi::TRenderArea::content}) {
    hi::TBox box = hi::AreaOf(page, area);
    int64_t width = 0, height = 0;
    hi::FitSize(box, 64, 48, width, height);
    if (width < 1 || height < 1 || width > 64 || height > 48) __builtin_trap();
    hi::RenderPage(page, box, int(width), int(height), area == hi::TRenderArea::page, cookie);
  }
  return 0;
}
