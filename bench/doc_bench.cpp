// The preview of a drawing document, in-process (document reader, then the
// system's own decoder) against the archiver route the viewer takes today
// (Debian's native 7-Zip extracting "thumbnail.*" into a folder, then the
// same decoder reading the file), in the same run, for
//   (a) a 2 MB document with a stored 256x256 PNG thumbnail, and
//   (b) a document with a deflated 500x500 BMP thumbnail,
// and the file panel's whole thumbnail call (read, decode, scale into a
// 128x128 box) as previews per second, also for
//   (c) a RIFF-era document with a 256x192 DISP picture.
//   doc_bench [rounds]     (default 200 in-process, a tenth of it for 7-Zip)
//   doc_bench --write DIR  (only writes the three documents into DIR)
// The documents are written with libzip into a scratch folder. Both wall
// time and CPU time are printed (the archiver's CPU time taken from its
// process): on a shared, loaded machine the CPU ratio is the steadier one.
// Native only; a benchmark asserts no timing.
#include <fcntl.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "docreader/doc_reader.h"
#include "imaging/bitmap.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "plugin/panel_preview.h"

namespace {

using namespace hi;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

uint32_t Next(uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// Photo-like pixels: gradients, waves and a little noise.
Bytes Photo(int w, int h, uint32_t seed) {
  Bytes rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
      int noise = int(Next(seed) % 7) - 3;
      int wave = int(40 * std::sin(x / 23.0) * std::cos(y / 17.0));
      p[0] = uint8_t(std::clamp(x / 2 + wave + noise + 20, 0, 255));
      p[1] = uint8_t(std::clamp(y / 2 - wave / 2 + noise + 60, 0, 255));
      p[2] = uint8_t(std::clamp((x + y) / 4 + wave + noise + 30, 0, 255));
    }
  return rgb;
}

void PngWrite(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

// As the program writes them: 8-bit RGB, not interlaced, sRGB, gAMA, pHYs.
Bytes EncodePng(const Bytes& rgb, int w, int h) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, PngWrite, nullptr);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  png_set_gAMA_fixed(png, info, 45455);
  png_set_pHYs(png, info, 3780, 3780, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<png_bytep>(&rgb[size_t(y) * w * 3]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes EncodeBmp(const Bytes& rgb, int w, int h) {
  size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
  Bytes b(54 + stride * h, 0);
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, uint32_t(b.size()));
  put(10, 54);
  put(14, 40);
  put(18, uint32_t(w));
  put(22, uint32_t(h));
  b[26] = 1;
  b[28] = 24;
  put(34, uint32_t(stride * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* s = &rgb[(size_t(h - 1 - y) * w + x) * 3];
      uint8_t* d = &b[54 + stride * y + 3 * size_t(x)];
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  return b;
}

struct TMember {
  const char* name;
  Bytes data;
  bool deflate;
};

bool WriteZip(const std::string& path, const std::vector<TMember>& members) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!za) return false;
  for (const TMember& m : members) {
    zip_source_t* src = zip_source_buffer(za, m.data.data(), m.data.size(), 0);
    zip_int64_t i = zip_file_add(za, m.name, src, ZIP_FL_ENC_UTF_8);
    if (i < 0) return false;
    zip_set_file_compression(za, zip_uint64_t(i), m.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
  }
  return zip_close(za) == 0;
}

// The picture reader the kind or the extension names; false without pixels.
bool DecodePreview(const Bytes& bytes, bool png) {
  TMemoryStream s(bytes.data(), bytes.size());
  if (png) {
    std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
    return d->LoadFromStream(s) && d->GetBitmap() && !d->GetBitmap()->IsEmpty();
  }
  std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
  return b->LoadFromStream(s) && !b->IsEmpty();
}

bool DecodeFile(const std::string& name, bool png) {
  if (png) {
    std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
    return d->LoadFromFile(name) && d->GetBitmap() && !d->GetBitmap()->IsEmpty();
  }
  std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
  return b->LoadFromFile(name) && !b->IsEmpty();
}

std::string FindArchiver() {
  for (const char* name : {"7zz", "7z", "7za"}) {
    std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return name;
  }
  return "";
}

double CpuMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The viewer's command: every "thumbnail.*" member, flattened, overwriting.
// childCpu receives the archiver's user and system time.
bool RunArchiver(const std::string& archiver, const std::string& doc, const std::string& dir, double& childCpu) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::string out = "-o" + dir;
    execlp(archiver.c_str(), archiver.c_str(), "e", out.c_str(), doc.c_str(), "thumbnail.*", "-r", "-aoa", "-bd",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage use = {};
  bool ok = pid > 0 && wait4(pid, &status, 0, &use) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  childCpu = (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
  return ok;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// A RIFF-era document: a DISP chunk with an 8-bit picture and its table.
Bytes RiffDocument(int w, int h, const Bytes& drawing) {
  Bytes disp = {8, 0, 0, 0};
  auto put = [](Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  put(disp, 40);
  put(disp, uint32_t(w));
  put(disp, uint32_t(h));
  put(disp, 1 | 8 << 16);
  for (int i = 0; i < 6; ++i) put(disp, 0);
  for (uint32_t i = 0; i < 256; ++i) put(disp, i * 0x010203u & 0xFFFFFF);
  const size_t stride = (size_t(w) + 3) & ~size_t(3);
  for (int y = 0; y < h; ++y)
    for (size_t x = 0; x < stride; ++x) disp.push_back(uint8_t(x + 3 * size_t(y)));
  Bytes body = {'C', 'D', 'R', 'C', 'D', 'I', 'S', 'P'};
  put(body, uint32_t(disp.size()));
  body.insert(body.end(), disp.begin(), disp.end());
  body.insert(body.end(), {'c', 'd', 'r', 'd'});
  put(body, uint32_t(drawing.size()));
  body.insert(body.end(), drawing.begin(), drawing.end());
  Bytes out = {'R', 'I', 'F', 'F'};
  put(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// The file panel's call without its bitmap handle: the picture fitted into
// a 128x128 box.
bool PanelThumbnail(const std::string& path, Bytes& out) {
  Bytes head(8192);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  head.resize(std::fread(head.data(), 1, head.size(), f));
  std::fclose(f);
  TPanelThumbnail thumbnail;
  if (!MakePanelThumbnailFile(path, head.data(), head.size(), 128, 128, thumbnail).Ok()) return false;
  out = std::move(thumbnail.bgr);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // --write DIR: only writes the three documents into DIR, for the same
  // measure under Wine (preview_bench).
  const bool writeOnly = argc > 2 && std::strcmp(argv[1], "--write") == 0;
  int rounds = argc > 1 && !writeOnly ? std::max(10, std::atoi(argv[1])) : 200;
  char dirTemplate[] = "/tmp/doc_bench.XXXXXX";
  if (!writeOnly && !mkdtemp(dirTemplate)) return 1;
  std::string dir = writeOnly ? argv[2] : dirTemplate;

  uint32_t seed = 12345;
  Bytes drawing(size_t(1800) << 10);
  for (auto& b : drawing) b = uint8_t(Next(seed));
  std::string docA = dir + "/a-png-stored.cdr", docB = dir + "/b-bmp-deflated.cdr";
  Bytes thumbA = EncodePng(Photo(256, 256, 7), 256, 256);
  Bytes thumbB = EncodeBmp(Photo(500, 500, 9), 500, 500);
  bool made = WriteZip(docA, {{"mimetype", Bytes(40, 'a'), false},
                              {"content/root.dat", drawing, false},
                              {"META-INF/container.xml", Bytes(300, 'x'), false},
                              {"previews/page1.png", EncodePng(Photo(64, 64, 3), 64, 64), false},
                              {"previews/thumbnail.png", thumbA, false}}) &&
              WriteZip(docB, {{"content/riffData.cdr", Bytes(drawing.begin(), drawing.begin() + 300000), true},
                              {"metadata/thumbnails/page1.bmp", EncodeBmp(Photo(40, 40, 1), 40, 40), true},
                              {"metadata/thumbnails/thumbnail.bmp", thumbB, true}});
  std::string docC = dir + "/c-riff.cdr";
  if (made) {
    Bytes riff = RiffDocument(256, 192, Bytes(drawing.begin(), drawing.begin() + 500000));
    std::FILE* f = std::fopen(docC.c_str(), "wb");
    made = f && std::fwrite(riff.data(), 1, riff.size(), f) == riff.size();
    if (f) made = std::fclose(f) == 0 && made;
  }
  if (!made) {
    std::fprintf(stderr, "doc_bench: cannot write the documents\n");
    return 1;
  }
  if (writeOnly) return 0;
  std::string archiver = FindArchiver();
  if (archiver.empty()) std::fprintf(stderr, "doc_bench: no 7zz, 7z or 7za on PATH: the archiver column stays empty\n");

  std::string route = archiver.empty() ? "archiver" : archiver + "+decode";
  std::printf("%-22s %9s %11s  %-28s %-28s  %s\n", "", "", "", "wall time (median)", "CPU time (median)",
              "panel thumbnail 128x128");
  std::printf("%-22s %9s %11s  %9s %12s %5s  %9s %12s %5s  %9s %10s %6s\n", "document", "size", "bytes read", "in-proc",
              route.c_str(), "ratio", "in-proc", route.c_str(), "ratio", "per call", "per second", "ratio");
  struct TCase {
    const char* label;
    std::string path;
    bool png;
    const char* member;
  };
  const TCase cases[] = {{"(a) 2 MB, stored PNG", docA, true, "thumbnail.png"},
                         {"(b) deflated BMP", docB, false, "thumbnail.bmp"},
                         {"(c) RIFF, DISP", docC, false, nullptr}};
  bool ok = true;
  for (const TCase& c : cases) {
    std::vector<double> own, ext, ownCpu, extCpu, panel;
    Bytes thumbnail;
    uint64_t bytesRead = 0, size = 0;
    int slow = std::max(5, rounds / 10);
    for (int r = 0; r < rounds; ++r) {
      auto t0 = Clock::now();
      double c0 = CpuMs();
      std::unique_ptr<TDocSource> src = OpenDocFile(c.path);
      TPreview p = src ? ReadPreview(*src) : TPreview();
      ok = ok && p.result == TDocResult::ok && DecodePreview(p.bytes, p.kind == TPreviewKind::png);
      own.push_back(Ms(t0, Clock::now()));
      ownCpu.push_back(CpuMs() - c0);
      if (src) bytesRead = src->BytesRead(), size = src->Size();
      auto t2 = Clock::now();
      ok = PanelThumbnail(c.path, thumbnail) && ok;
      panel.push_back(Ms(t2, Clock::now()));
      // Interleaved, so that both routes see the same machine load.
      if (!archiver.empty() && c.member != nullptr && r % (rounds / slow) == 0) {
        std::string out = dir + "/_tc";
        auto t1 = Clock::now();
        double child = 0;
        bool ran = RunArchiver(archiver, c.path, out, child);
        double c1 = CpuMs();
        ok = ran && DecodeFile(out + "/" + c.member, c.png) && ok;
        ext.push_back(Ms(t1, Clock::now()));
        extCpu.push_back(child + CpuMs() - c1);
        std::remove((out + "/" + c.member).c_str());
      }
    }
    double a = Median(own), ac = Median(ownCpu);
    double b = ext.empty() ? 0 : Median(ext), bc = ext.empty() ? 0 : Median(extCpu);
    double pm = Median(panel);
    std::printf("%-22s %9llu %11llu  %6.3f ms %9.3f ms %4.0fx  %6.3f ms %9.3f ms %4.0fx  %6.3f ms %10.0f %5.0fx\n",
                c.label, (unsigned long long)size, (unsigned long long)bytesRead, a, b, b / a, ac, bc, bc / ac, pm,
                1000.0 / pm, b / pm);
  }
  std::string clean = "rm -rf '" + dir + "'";
  if (std::system(clean.c_str()) != 0) std::fprintf(stderr, "doc_bench: %s left behind\n", dir.c_str());
  if (!ok) {
    std::fprintf(stderr, "doc_bench: a route failed to give the picture\n");
    return 1;
  }
  return 0;
}
