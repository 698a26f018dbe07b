// A page of each shared real document rendered at 1600x1200: docrender
// (libcdr into the painter, PNG out) against the reference route, libcdr's
// own SVG (cdr2xhtml) rasterised by rsvg-convert, in the same run. Each
// route runs as its own processes, as a caller would start them; wall time
// per page, median and 90th percentile, and the ratio of the medians; the
// CPU time of the processes too.
//   render_bench DOCRENDER FOLDER... [--rounds N]   (default 3, the best of N per document)
// Documents libcdr cannot read are counted and left out. Native, Release;
// a benchmark asserts no timing.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// CPU time (user and system) of every child waited for so far, in ms.
double ChildCpuMs() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Runs a command; its exit code, standard output in out, the wall time in ms.
int Run(const std::string& command, std::string& out, double& ms) {
  out.clear();
  auto start = std::chrono::steady_clock::now();
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  int status = pclose(pipe);
  ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: render_bench DOCRENDER FOLDER... [--rounds N]\n");
    return 2;
  }
  std::string docrender = argv[1];
  int rounds = 3;
  std::vector<std::string> docs;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
      continue;
    }
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(a, ec))
      if (e.path().extension() == ".cdr") docs.push_back(e.path().string());
  }
  std::sort(docs.begin(), docs.end());
  fs::path scratch = fs::temp_directory_path() / ("render_bench." + std::to_string(getpid()));
  fs::create_directories(scratch);
  std::string png = (scratch / "page.png").string(), svg = (scratch / "page.svg").string();
  std::string refPng = (scratch / "ref.png").string();
  std::vector<double> ours, inside, reference, oursCpu, referenceCpu;
  int refused = 0, unmatched = 0;
  std::printf("%-34s %10s %10s %10s\n", "document (page 1, 1600x1200)", "docrender", "(inside)", "reference");
  for (const std::string& doc : docs) {
    std::string out;
    double ms = 0, best = 1e300, bestInside = 1e300, bestRef = 1e300, cpu = 1e300, cpuRef = 1e300;
    int width = 0, height = 0;
    bool ok = true;
    for (int r = 0; ok && r < rounds; ++r) {
      double before = ChildCpuMs();
      ok = Run(Quote(docrender) + " " + Quote(doc) + " " + Quote(png) + " --size 1600x1200 2>/dev/null", out, ms) == 0;
      std::smatch m;
      if (ok && std::regex_search(out, m, std::regex(R"((\d+)x(\d+) px, (\d+) ms)"))) {
        width = std::stoi(m[1]);
        height = std::stoi(m[2]);
        bestInside = std::min(bestInside, std::stod(m[3]));
      }
      best = std::min(best, ms);
      cpu = std::min(cpu, ChildCpuMs() - before);
    }
    if (!ok || width == 0) {
      ++refused;
      std::printf("%-34s %10s\n", fs::path(doc).filename().c_str(), "refused");
      continue;
    }
    bool refDrawn = true;
    for (int r = 0; r < rounds; ++r) {
      double xhtmlMs = 0, rsvgMs = 0, before = ChildCpuMs();
      std::string xhtml, ignored;
      bool drawn = Run("cdr2xhtml " + Quote(doc) + " 2>/dev/null", xhtml, xhtmlMs) == 0;
      size_t at = xhtml.find("<svg:svg"), end = xhtml.find("</svg:svg>");
      auto cut = std::chrono::steady_clock::now();
      drawn = drawn && at != std::string::npos && end != std::string::npos;
      if (drawn) std::ofstream(svg) << xhtml.substr(at, end + 10 - at);
      double cutMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - cut).count();
      drawn = drawn && Run("rsvg-convert -w " + std::to_string(width) + " -h " + std::to_string(height) +
                               " -b white -o " + Quote(refPng) + " " + Quote(svg) + " 2>/dev/null",
                           ignored, rsvgMs) == 0;
      if (!drawn) {
        refDrawn = false;
        break;
      }
      bestRef = std::min(bestRef, xhtmlMs + cutMs + rsvgMs);
      cpuRef = std::min(cpuRef, ChildCpuMs() - before);
    }
    if (!refDrawn) {
      // Debian's libcdr cannot read what the renderer's own build reads:
      // nothing to compare with.
      ++unmatched;
      std::printf("%-34s %8.1f ms %7.0f ms %10s\n", fs::path(doc).filename().c_str(), best, bestInside, "fails");
      continue;
    }
    ours.push_back(best);
    inside.push_back(bestInside);
    reference.push_back(bestRef);
    oursCpu.push_back(cpu);
    referenceCpu.push_back(cpuRef);
    std::printf("%-34s %8.1f ms %7.0f ms %7.1f ms\n", fs::path(doc).filename().c_str(), best, bestInside, bestRef);
  }
  fs::remove_all(scratch);
  double median = Percentile(ours, 0.5), medianRef = Percentile(reference, 0.5);
  std::printf("\n%zu documents compared; %d refused by docrender's libcdr, %d read only by it\n", ours.size(), refused,
              unmatched);
  std::printf("docrender:          median %7.1f ms, 90th percentile %7.1f ms (in-process median %.0f ms)\n", median,
              Percentile(ours, 0.9), Percentile(inside, 0.5));
  std::printf("cdr2xhtml + rsvg:   median %7.1f ms, 90th percentile %7.1f ms\n", medianRef, Percentile(reference, 0.9));
  std::printf("ratio of medians:   %.2fx faster\n", median > 0 ? medianRef / median : 0);
  // On a shared, loaded machine the processes' CPU time is the steadier figure.
  double cpu = Percentile(oursCpu, 0.5), cpuRef = Percentile(referenceCpu, 0.5);
  std::printf("CPU time, medians: docrender %.1f ms, cdr2xhtml + rsvg %.1f ms, %.2fx\n", cpu, cpuRef,
              cpu > 0 ? cpuRef / cpu : 0);
  return 0;
}
