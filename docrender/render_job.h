// One run of docrender: the command line, and the work from the document's
// bytes to the written picture, with one exit code per outcome.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "docrender/picture_file.h"
#include "painter/page_painter.h"

namespace hi {

enum TExitCode : int {
  exit_rendered = 0,
  exit_usage = 1,         // a bad command line, a page that does not exist, an unwritable output
  exit_not_document = 2,  // not a drawing document, or unreadable
  exit_parse_failed = 3,  // the format library could not interpret it
  exit_over_limit = 4,    // a size limit or the time limit
};

struct TRenderJob {
  std::string input, output;
  TPictureFormat format = TPictureFormat::png;
  int64_t boxWidth = 1024, boxHeight = 1024;
  int page = 1;             // from 1
  bool countPages = false;  // --pages
  TRenderArea area = TRenderArea::page;
  bool white = true;
  double seconds = 30;  // the time limit
  // Limits, on by default.
  int64_t maxSide = 16384;
  int64_t maxPixels = int64_t(64) << 20;
  uint64_t maxFileBytes = uint64_t(512) << 20;
};

// False, with a message, for a command line that names no job.
bool ParseArguments(const std::vector<std::string>& args, TRenderJob& job, std::string& message);

// Renders as the job says; the line to print on success, the reason on failure.
int RunRenderJob(const TRenderJob& job, std::string& line);

}  // namespace hi
