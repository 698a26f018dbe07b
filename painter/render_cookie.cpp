#include "painter/render_cookie.h"

namespace hi {

const char* RenderStopMessage(TRenderStop stop) {
  switch (stop) {
    case TRenderStop::none: return "not stopped";
    case TRenderStop::time: return "past the time limit";
    case TRenderStop::items: return "more drawn items on the page than the limit";
    case TRenderStop::points: return "more path points on the page than the limit";
    case TRenderStop::pixels: return "more bitmap pixels on the page than the limit";
  }
  return "stopped";
}

TRenderCookie::TRenderCookie(double seconds, TRenderLimits limits)
    : limits_(limits),
      timed_(seconds > 0),
      deadline_(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(seconds > 0 && seconds < 1e6 ? seconds : 0))) {}

bool TRenderCookie::Stopped() {
  if (stop_ == TRenderStop::none && timed_ && Clock::now() >= deadline_) stop_ = TRenderStop::time;
  return stop_ != TRenderStop::none;
}

}  // namespace hi
