#include "docrender/render_job.h"

#include <libcdr/libcdr.h>
#include <librevenge-stream/librevenge-stream.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

#include "docreader/doc_signature.h"
#include "docrender/platform.h"
#include "painter/draw_recorder.h"

namespace hi {
namespace {

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
  return true;
}

bool ParseInt(const std::string& s, int64_t& v) {
  if (s.empty() || s.size() > 12) return false;
  char* end = nullptr;
  long long n = std::strtoll(s.c_str(), &end, 10);
  if (*end || n < 0) return false;
  v = n;
  return true;
}

// The whole document in memory, at most limit bytes.
int ReadAll(const std::string& name, uint64_t limit, std::vector<uint8_t>& bytes, std::string& why) {
  std::FILE* f = OpenUtf8(name, "rb");
  if (!f) {
    why = "cannot open " + name;
    return exit_not_document;
  }
  uint8_t buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (bytes.size() + got > limit) {
      std::fclose(f);
      why = "the document is larger than " + std::to_string(limit >> 20) + " MiB";
      return exit_over_limit;
    }
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    why = "cannot read " + name;
    return exit_not_document;
  }
  return exit_rendered;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, TRenderJob& job, std::string& message) {
  std::vector<std::string> files;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "--size" && hasValue) {
      const std::string& v = args[++i];
      size_t x = v.find('x');
      if (x == std::string::npos || !ParseInt(v.substr(0, x), job.boxWidth) ||
          !ParseInt(v.substr(x + 1), job.boxHeight) || job.boxWidth < 1 || job.boxHeight < 1) {
        message = "--size wants WIDTHxHEIGHT in pixels";
        return false;
      }
    } else if (a == "--page" && hasValue) {
      int64_t n = 0;
      if (!ParseInt(args[++i], n) || n < 1 || n > 1000000) {
        message = "--page wants a page number from 1";
        return false;
      }
      job.page = int(n);
    } else if (a == "--pages") {
      job.countPages = true;
    } else if (a == "--area" && hasValue) {
      const std::string& v = args[++i];
      if (v != "page" && v != "content") {
        message = "--area wants page or content";
        return false;
      }
      job.area = v == "page" ? TRenderArea::page : TRenderArea::content;
    } else if (a == "--background" && hasValue) {
      const std::string& v = args[++i];
      if (v != "white" && v != "none") {
        message = "--background wants white or none";
        return false;
      }
      job.white = v == "white";
    } else if (a == "--time-limit" && hasValue) {
      char* end = nullptr;
      double s = std::strtod(args[++i].c_str(), &end);
      if (*end || !(s > 0 && s <= 3600)) {
        message = "--time-limit wants seconds, more than 0 and at most 3600";
        return false;
      }
      job.seconds = s;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      message = "unknown option " + a;
      return false;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != (job.countPages ? 1u : 2u)) {
    message =
        "usage: docrender DOC OUT.(png|bmp) [--size WxH] [--page N | --pages] [--area page|content] "
        "[--background white|none] [--time-limit S]";
    return false;
  }
  job.input = files[0];
  if (!job.countPages) {
    job.output = files[1];
    if (EndsWith(job.output, ".png")) {
      job.format = TPictureFormat::png;
    } else if (EndsWith(job.output, ".bmp")) {
      job.format = TPictureFormat::bmp;
    } else {
      message = "the output's name must end in .png or .bmp";
      return false;
    }
  }
  return true;
}

int RunRenderJob(const TRenderJob& job, std::string& line) {
  auto started = std::chrono::steady_clock::now();
  if (!job.countPages &&
      (job.boxWidth > job.maxSide || job.boxHeight > job.maxSide || job.boxWidth * job.boxHeight > job.maxPixels)) {
    line = "the picture asked for is over the limit of " + std::to_string(job.maxSide) + " pixels a side and " +
           std::to_string(job.maxPixels) + " pixels";
    return exit_over_limit;
  }
  std::vector<uint8_t> bytes;
  int read = ReadAll(job.input, job.maxFileBytes, bytes, line);
  if (read != exit_rendered) return read;
  if (DocumentEraOf(bytes.data(), bytes.size()) == TDocEra::none) {
    line = "not a drawing document (neither a ZIP nor a RIFF drawing)";
    return exit_not_document;
  }
  if (bytes.size() > 0xFFFFFFFFu) {
    line = "the document is too large for the interpreter";
    return exit_over_limit;
  }
  TRenderCookie cookie(job.seconds);
  TDrawRecorder recorder(job.countPages ? -1 : job.page - 1, cookie);
  bool parsed = false;
  try {
    librevenge::RVNGStringStream stream(bytes.data(), unsigned(bytes.size()));
    if (!libcdr::CDRDocument::isSupported(&stream)) {
      line = "not a drawing document the interpreter knows";
      return exit_not_document;
    }
    parsed = libcdr::CDRDocument::parse(&stream, &recorder);
  } catch (const TRenderStopped&) {
    parsed = false;
  } catch (const std::bad_alloc&) {
    line = "the document needs more memory than there is";
    return exit_over_limit;
  } catch (...) {
    parsed = false;
  }
  if (cookie.Stopped()) {
    line = RenderStopMessage(cookie.Reason());
    return exit_over_limit;
  }
  if (!parsed || recorder.PageCount() == 0) {
    line = "the document could not be interpreted";
    return exit_parse_failed;
  }
  int pages = recorder.PageCount();
  if (job.countPages) {
    line = std::to_string(pages) + " pages";
    return exit_rendered;
  }
  if (!recorder.HasPage()) {
    line = "there is no page " + std::to_string(job.page) + "; the document has " + std::to_string(pages);
    return exit_usage;
  }
  TDrawPage& page = recorder.Page();
  TBox area = AreaOf(page, job.area);
  int64_t width = 0, height = 0;
  FitSize(area, job.boxWidth, job.boxHeight, width, height);
  TSurfaceOwner surface = RenderPage(page, area, int(width), int(height), job.white, cookie);
  if (cookie.Stopped()) {
    line = RenderStopMessage(cookie.Reason());
    return exit_over_limit;
  }
  if (!surface) {
    line = "no memory for a picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels";
    return exit_over_limit;
  }
  if (!WritePicture(surface.get(), job.output, job.format, job.white)) {
    line = "cannot write " + job.output;
    return exit_usage;
  }
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  line = "page " + std::to_string(job.page) + " of " + std::to_string(pages) + ", " + std::to_string(width) + "x" +
         std::to_string(height) + " px, " + std::to_string(ms) + " ms";
  return exit_rendered;
}

}  // namespace hi
