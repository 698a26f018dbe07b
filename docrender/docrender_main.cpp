// docrender DOC OUT.(png|bmp) [--size WxH] [--page N | --pages]
//           [--area page|content] [--background white|none] [--time-limit S]
// Renders one page of a drawing document with libcdr and the painter, beside
// the plugin and never inside it. Exit codes: render_job.h.
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "docrender/platform.h"
#include "docrender/render_job.h"

namespace {

// The painter checks the deadline between drawing calls; the interpreter's
// own passes over the document do not call it, so a watchdog ends the
// process a little after the deadline, with the same exit code.
void StartWatchdog(double seconds) {
  std::thread([seconds] {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds + 1));
    std::fputs("docrender: past the time limit\n", stderr);
    std::fflush(stderr);
    std::_Exit(hi::exit_over_limit);
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    hi::PreparePlatform();
    hi::TRenderJob job;
    std::string message;
    if (!hi::ParseArguments(hi::Utf8Arguments(argc, argv), job, message)) {
      std::fprintf(stderr, "docrender: %s\n", message.c_str());
      return hi::exit_usage;
    }
    // A static cairo sets up its locks on first use, without a lock of its
    // own: the first call is made here, before any other thread exists.
    cairo_surface_destroy(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
    StartWatchdog(job.seconds);
    std::string line;
    int code = hi::RunRenderJob(job, line);
    if (code == hi::exit_rendered) {
      std::printf("%s\n", line.c_str());
    } else {
      std::fprintf(stderr, "docrender: %s: %s\n", job.input.c_str(), line.c_str());
    }
    std::fflush(stdout);
    return code;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "docrender: %s\n", e.what());
    return hi::exit_parse_failed;
  }
}
