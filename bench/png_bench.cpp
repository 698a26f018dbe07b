// PNG decode with TPngDecoder against libpng 1.6 (classic API, png_set_bgr,
// bottom-up row pointers into a buffer of the DIB stride, so both make the
// same DIB) and against zlib alone inflating the same IDAT data in the same
// pattern (64 KiB inputs, one filtered row of output at a time).
//   png_bench [rounds] [processes]     (defaults 5 and 3)
//   png_bench --write DIR              only write the pictures into DIR
//   png_bench --measure DIR ROUNDS [NAME]   one measuring process
// The pictures are made here with fixed seeds and written to a scratch
// folder; each measuring process (this program re-run with --measure) loads
// them into memory, pins itself to one core, runs every decoder `rounds`
// times interleaved and prints its medians; the first process prints the
// median of the per-process medians. Native only; a benchmark asserts no
// timing.
#include <png.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/png_decoder.h"
#include "imaging/stream.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TImageSpec {
  const char* name;
  int size;
  int colorType;  // 2 RGB, 3 palette
  int depth;
  bool interlaced;
  bool lineArt;
};

const TImageSpec Images[] = {
    {"photo-256", 256, 2, 8, false, false},      {"photo-1024", 1024, 2, 8, false, false},
    {"photo-4096", 4096, 2, 8, false, false},    {"adam7-4096", 4096, 2, 8, true, false},
    {"palette8-4096", 4096, 3, 8, false, false}, {"lineart-rgb-4096", 4096, 2, 8, false, true},
    {"palette4-4096", 4096, 3, 4, false, true},
};

struct TRandom {
  uint32_t s;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

// Photo-like: smooth gradients and soft blobs with a little sensor noise, so
// that the encoder's adaptive filters pick a mix of all five. Line art: a
// white page with thin dark strokes and flat coloured boxes.
std::vector<uint8_t> Samples(const TImageSpec& spec, uint32_t seed) {
  int n = spec.size;
  TRandom rnd{seed};
  std::vector<uint8_t> rgb(size_t(n) * n * 3);
  if (!spec.lineArt) {
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        uint8_t* p = &rgb[(size_t(y) * n + x) * 3];
        int fx = x * 1024 / n, fy = y * 1024 / n;
        int noise = int(rnd.Next() % 7) - 3;
        int wave = int(40 * __builtin_sin(fx / 90.0) * __builtin_cos(fy / 70.0));
        p[0] = uint8_t(std::clamp(fx / 5 + wave + noise + 20, 0, 255));
        p[1] = uint8_t(std::clamp(fy / 6 - wave / 2 + noise + 60, 0, 255));
        p[2] = uint8_t(std::clamp((fx + fy) / 9 + wave + noise + 30, 0, 255));
      }
  } else {
    std::fill(rgb.begin(), rgb.end(), 255);
    auto dot = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
      if (x < 0 || y < 0 || x >= n || y >= n) return;
      uint8_t* p = &rgb[(size_t(y) * n + x) * 3];
      p[0] = r, p[1] = g, p[2] = b;
    };
    for (int i = 0; i < 60; ++i) {  // flat boxes
      int x0 = int(rnd.Next() % n), y0 = int(rnd.Next() % n), w = int(rnd.Next() % (n / 6)),
          h = int(rnd.Next() % (n / 6));
      uint8_t r = uint8_t(rnd.Next() % 4 * 80), g = uint8_t(rnd.Next() % 4 * 80), b = uint8_t(rnd.Next() % 4 * 80);
      for (int y = y0; y < std::min(n, y0 + h); ++y)
        for (int x = x0; x < std::min(n, x0 + w); ++x) dot(x, y, r, g, b);
    }
    for (int i = 0; i < 400; ++i) {  // strokes, 1 to 3 pixels wide
      double x = rnd.Next() % n, y = rnd.Next() % n;
      double a = (rnd.Next() % 6283) / 1000.0;
      int len = int(rnd.Next() % (n / 2)), width = 1 + int(rnd.Next() % 3);
      for (int k = 0; k < len; ++k) {
        for (int d = 0; d < width; ++d) dot(int(x) + d, int(y), 0, 0, 0);
        x += __builtin_cos(a);
        y += __builtin_sin(a);
      }
    }
  }
  return rgb;
}

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

std::vector<uint8_t> Encode(const TImageSpec& spec, uint32_t seed) {
  int n = spec.size;
  std::vector<uint8_t> rgb = Samples(spec, seed);
  std::vector<png_color> palette;
  std::vector<uint8_t> rows;  // the rows as the file holds them
  const size_t rowBytes = spec.colorType == 2 ? size_t(n) * 3 : (size_t(n) * spec.depth + 7) / 8;
  if (spec.colorType == 2) {
    rows = std::move(rgb);
  } else {
    // Indices into a fixed palette: 3-3-2 levels for 8 bits, a 16-colour
    // set for 4 bits, nearest by channel levels.
    int colors = 1 << spec.depth;
    for (int i = 0; i < colors; ++i) {
      if (spec.depth == 8)
        palette.push_back({uint8_t((i >> 5) * 255 / 7), uint8_t(((i >> 2) & 7) * 255 / 7), uint8_t((i & 3) * 85)});
      else
        palette.push_back({uint8_t((i & 1)   ? 255
                                   : (i & 8) ? 80
                                             : 0),
                           uint8_t((i & 2)   ? 255
                                   : (i & 8) ? 80
                                             : 0),
                           uint8_t((i & 4)   ? 255
                                   : (i & 8) ? 80
                                             : 0)});
    }
    rows.assign(rowBytes * n, 0);
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const uint8_t* p = &rgb[(size_t(y) * n + x) * 3];
        int index;
        if (spec.depth == 8) {
          index = (p[0] * 7 / 255) << 5 | (p[1] * 7 / 255) << 2 | (p[2] * 3 / 255);
        } else {
          bool dark = p[0] + p[1] + p[2] < 300;
          index =
              dark && p[0] < 40 && p[1] < 40 && p[2] < 40 ? 0 : (p[0] > 127) | (p[1] > 127) << 1 | (p[2] > 127) << 2;
          if (!dark && index == 0) index = 8;
        }
        uint8_t* r = &rows[size_t(y) * rowBytes];
        if (spec.depth == 8)
          r[x] = uint8_t(index);
        else
          r[x >> 1] |= uint8_t((x & 1) ? index : index << 4);
      }
  }
  std::vector<uint8_t> file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    std::fprintf(stderr, "png_bench: encoding %s failed\n", spec.name);
    std::exit(2);
  }
  png_set_write_fn(png, &file, WriteToVector, nullptr);
  png_set_IHDR(png, info, png_uint_32(n), png_uint_32(n), spec.depth, spec.colorType,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  std::vector<png_bytep> pointers(static_cast<size_t>(n));
  for (int y = 0; y < n; ++y) pointers[size_t(y)] = &rows[size_t(y) * rowBytes];
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return file;
}

// ---- the three decoders ------------------------------------------------------

struct TDib {
  std::unique_ptr<uint8_t, decltype(&std::free)> rows{nullptr, &std::free};
  size_t size = 0;
};

struct TReader {
  const std::vector<uint8_t>* file;
  size_t pos;
};

void ReadFromVector(png_structp png, png_bytep data, png_size_t length) {
  auto* r = static_cast<TReader*>(png_get_io_ptr(png));
  if (r->pos + length > r->file->size()) png_error(png, "read past the end");
  std::memcpy(data, r->file->data() + r->pos, length);
  r->pos += length;
}

// libpng, classic API: blue-green-red, rows bottom-up at the DIB stride.
TDib LibpngDecode(const std::vector<uint8_t>& file) {
  TDib dib;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> pointers;
  TReader reader{&file, 0};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    dib.rows.reset();
    return dib;
  }
  png_set_read_fn(png, &reader, ReadFromVector);
  png_read_info(png, info);
  png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  int bits = png_get_bit_depth(png, info) * png_get_channels(png, info);
  png_set_bgr(png);
  if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  size_t stride = ((size_t(w) * bits + 31) >> 5) * 4;
  dib.size = stride * h;
  dib.rows.reset(static_cast<uint8_t*>(std::calloc(1, dib.size)));
  pointers.resize(h);
  for (png_uint_32 y = 0; y < h; ++y) pointers[y] = dib.rows.get() + stride * (h - 1 - y);
  png_read_image(png, pointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return dib;
}

// This decoder from the file in memory (the stream holds it, as libpng's
// reader holds the vector); the rows are copied out only when they are
// compared, not when timed.
bool OwnDecode(hi::TMemoryStream& stream, TDib* keep) {
  stream.Seek(0);
  std::unique_ptr<hi::TPngDecoder> d = hi::CreatePngDecoder();
  bool ok = d->LoadFromStream(stream);
  hi::TPngHeaderChunk* h = d->Header();
  if (!ok || !h || !h->Rows) return false;
  if (keep) {
    keep->size = size_t(h->Stride) * h->Height;
    keep->rows.reset(static_cast<uint8_t*>(std::malloc(keep->size)));
    std::memcpy(keep->rows.get(), h->Rows, keep->size);
  }
  return true;
}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The bytes each inflate call is asked for: one filtered row (filter byte
// and data) at a time, pass by pass when interlaced.
std::vector<uInt> RowSizes(const TImageSpec& spec) {
  std::vector<uInt> sizes;
  int bits = spec.depth * (spec.colorType == 2 ? 3 : 1);
  auto rowOf = [&](int64_t w) { return uInt((w * bits + 7) / 8 + 1); };
  if (!spec.interlaced) {
    sizes.assign(size_t(spec.size), rowOf(spec.size));
    return sizes;
  }
  static const int rowStart[7] = {0, 0, 4, 0, 2, 0, 1}, colStart[7] = {0, 4, 0, 2, 0, 1, 0};
  static const int rowStep[7] = {8, 8, 8, 4, 4, 2, 2}, colStep[7] = {8, 8, 4, 4, 2, 2, 1};
  for (int p = 0; p < 7; ++p) {
    int64_t pw = (spec.size + colStep[p] - colStart[p] - 1) / colStep[p];
    if (pw == 0) continue;
    for (int y = rowStart[p]; y < spec.size; y += rowStep[p]) sizes.push_back(rowOf(pw));
  }
  return sizes;
}

// zlib alone: IDAT data in reads of at most 64 KiB within each chunk (as the
// decoder reads them), inflated one row at a time into one row buffer.
bool ZlibInflate(const std::vector<uint8_t>& file, const std::vector<uInt>& rows) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) return false;
  std::vector<uint8_t> input(65535), row(rows.empty() ? 1 : *std::max_element(rows.begin(), rows.end()));
  size_t pos = 8, chunkLeft = 0;
  bool ok = true;
  for (uInt want : rows) {
    z.next_out = row.data();
    z.avail_out = want;
    while (z.avail_out > 0) {
      if (z.avail_in == 0) {
        while (chunkLeft == 0) {
          if (pos + 8 > file.size()) {
            ok = false;
            break;
          }
          uint32_t len = Be32(&file[pos]);
          bool idat = std::memcmp(&file[pos + 4], "IDAT", 4) == 0;
          pos += 8;
          if (idat) {
            chunkLeft = len;
          } else {
            pos += len + 4;
          }
        }
        if (!ok) break;
        size_t n = std::min<size_t>(chunkLeft, input.size());
        std::memcpy(input.data(), &file[pos], n);
        pos += n;
        chunkLeft -= n;
        if (chunkLeft == 0) pos += 4;  // the CRC
        z.next_in = input.data();
        z.avail_in = uInt(n);
      }
      int r = inflate(&z, Z_NO_FLUSH);
      if (r == Z_STREAM_END) break;
      if (r != Z_OK) {
        ok = false;
        break;
      }
    }
    if (!ok) break;
  }
  inflateEnd(&z);
  return ok;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<uint8_t> ReadFile(const std::string& name) {
  std::vector<uint8_t> data;
  if (FILE* f = std::fopen(name.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    data.resize(size_t(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(data.data(), 1, data.size(), f) != data.size()) data.clear();
    std::fclose(f);
  }
  return data;
}

// One measuring process: a line "name own libpng zlib same" per picture,
// times in seconds, the medians of `rounds` runs.
int Measure(const std::string& dir, int rounds, const char* only) {
  cpu_set_t one;
  CPU_ZERO(&one);
  int cpu = sched_getcpu();
  CPU_SET(cpu < 0 ? 0 : cpu, &one);
  sched_setaffinity(0, sizeof one, &one);
  for (const TImageSpec& spec : Images) {
    if (only && std::strcmp(only, spec.name) != 0) continue;
    std::vector<uint8_t> file = ReadFile(dir + "/" + spec.name + ".png");
    if (file.empty()) return 2;
    std::vector<uInt> rows = RowSizes(spec);
    hi::TMemoryStream stream(file.data(), file.size());
    // Same pixels from both, checked once outside the timing.
    TDib mine, theirs = LibpngDecode(file);
    bool same = OwnDecode(stream, &mine) && theirs.rows && mine.size == theirs.size &&
                std::memcmp(mine.rows.get(), theirs.rows.get(), mine.size) == 0;
    bool inflated = ZlibInflate(file, rows);
    std::vector<double> own, lib, zl;
    for (int r = 0; r < rounds; ++r) {
      // The order rotates so that none always follows the same one.
      for (int k = 0; k < 3; ++k) {
        int which = (r + k) % 3;
        auto t0 = Clock::now();
        if (which == 0)
          OwnDecode(stream, nullptr);
        else if (which == 1)
          LibpngDecode(file);
        else
          ZlibInflate(file, rows);
        double t = Seconds(t0, Clock::now());
        (which == 0 ? own : which == 1 ? lib : zl).push_back(t);
      }
    }
    std::printf("%s %.9f %.9f %.9f %d %zu\n", spec.name, Median(own), Median(lib), Median(zl), same && inflated,
                file.size());
    std::fflush(stdout);
  }
  return 0;
}

bool WriteImages(const std::string& dir) {
  uint32_t seed = 20240601;
  for (const TImageSpec& spec : Images) {
    std::vector<uint8_t> file = Encode(spec, seed++);
    FILE* f = std::fopen((dir + "/" + spec.name + ".png").c_str(), "wb");
    bool ok = f && std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (f) std::fclose(f);
    if (!ok) return false;
  }
  return true;
}

struct TResult {
  std::vector<double> own, lib, zl;
  bool same = true;
  size_t bytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--measure") == 0)
    return Measure(argv[2], std::atoi(argv[3]), argc == 5 ? argv[4] : nullptr);
  if (argc == 3 && std::strcmp(argv[1], "--write") == 0) return WriteImages(argv[2]) ? 0 : 2;
  int rounds = std::max(5, argc > 1 ? std::atoi(argv[1]) : 5);
  int processes = std::max(3, argc > 2 ? std::atoi(argv[2]) : 3);

  char dirTemplate[] = "/tmp/png_bench.XXXXXX";
  if (!mkdtemp(dirTemplate)) return 2;
  std::string dir = dirTemplate;
  if (!WriteImages(dir)) return 2;

  const size_t count = sizeof Images / sizeof Images[0];
  std::vector<TResult> results(count);
  std::string self = "/proc/self/exe";
  char exe[4096];
  ssize_t n = readlink(self.c_str(), exe, sizeof exe - 1);
  if (n <= 0) return 2;
  exe[n] = 0;
  int status = 0;
  for (int p = 0; p < processes; ++p) {
    std::string command = std::string("'") + exe + "' --measure '" + dir + "' " + std::to_string(rounds);
    FILE* child = popen(command.c_str(), "r");
    if (!child) return 2;
    char line[512];
    while (std::fgets(line, sizeof line, child)) {
      char name[64];
      double own, lib, zl;
      int same;
      size_t bytes;
      if (std::sscanf(line, "%63s %lf %lf %lf %d %zu", name, &own, &lib, &zl, &same, &bytes) != 6) continue;
      for (size_t i = 0; i < count; ++i)
        if (std::strcmp(Images[i].name, name) == 0) {
          results[i].own.push_back(own);
          results[i].lib.push_back(lib);
          results[i].zl.push_back(zl);
          results[i].same = results[i].same && same;
          results[i].bytes = bytes;
        }
    }
    if (pclose(child) != 0) status = 1;
  }
  for (const TImageSpec& spec : Images) std::remove((dir + "/" + spec.name + ".png").c_str());
  rmdir(dir.c_str());

  std::printf("%d processes x %d runs, one core; times are medians of the per-process medians\n", processes, rounds);
  std::printf("%-17s %10s %9s %9s %9s %8s %8s  %s\n", "picture", "bytes", "own ms", "libpng ms", "zlib ms", "speed",
              "overhead", "pixels");
  for (size_t i = 0; i < count; ++i) {
    const TResult& r = results[i];
    if (r.own.size() != size_t(processes)) {
      std::printf("%-17s not measured\n", Images[i].name);
      status = 1;
      continue;
    }
    double own = Median(r.own), lib = Median(r.lib), zl = Median(r.zl);
    std::printf("%-17s %10zu %9.2f %9.2f %9.2f %8.3f %8.3f  %s\n", Images[i].name, r.bytes, own * 1e3, lib * 1e3,
                zl * 1e3, lib / own, own / zl, r.same ? "same as libpng" : "DIFFER");
    if (!r.same) status = 1;
  }
  std::printf("speed = libpng time / own time; overhead = own time / zlib inflate time\n");
  return status;
}
