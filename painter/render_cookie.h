// The cookie of one rendering: a deadline and the limits of what a page may
// record, checked as the document is interpreted and as the page is drawn,
// so that a long or huge document stops cleanly with a reason.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>

namespace hi {

enum class TRenderStop : uint8_t { none, time, items, points, pixels };
const char* RenderStopMessage(TRenderStop stop);

struct TRenderLimits {
  uint64_t maxItems = 1000000;                   // drawn items on the page kept
  uint64_t maxPoints = 20000000;                 // path points on the page kept
  uint64_t maxImagePixels = uint64_t(64) << 20;  // one bitmap, and all bitmaps of the page together
};

class TRenderCookie {
 public:
  using Clock = std::chrono::steady_clock;
  explicit TRenderCookie(double seconds = 0, TRenderLimits limits = TRenderLimits());

  const TRenderLimits& Limits() const { return limits_; }
  // True once a limit or the deadline was passed; the first reason stays.
  bool Stopped();
  void Stop(TRenderStop why) {
    if (stop_ == TRenderStop::none) stop_ = why;
  }
  TRenderStop Reason() const { return stop_; }

 private:
  TRenderLimits limits_;
  bool timed_;
  Clock::time_point deadline_;
  TRenderStop stop_ = TRenderStop::none;
};

// Thrown from the drawing interface's calls to leave the format library's
// parse when the cookie stopped; the library catches it and returns false.
class TRenderStopped : public std::exception {
 public:
  const char* what() const noexcept override { return "rendering stopped"; }
};

}  // namespace hi
