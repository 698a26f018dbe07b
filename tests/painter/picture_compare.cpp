#include "tests/painter/picture_compare.h"

#include <png.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "docreader/doc_reader.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"

namespace testing_painter {

Picture ReadPng(const std::string& path) {
  Picture p;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  png_color white{255, 255, 255};
  if (!png_image_finish_read(&image, &white, rgb.data(), 0, nullptr)) return p;
  p.width = int(image.width);
  p.height = int(image.height);
  p.rgb = std::move(rgb);
  return p;
}

Picture ReadBmp32(const std::string& path) {
  Picture p;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return p;
  unsigned char head[54];
  auto u32 = [&](int at) {
    return uint32_t(head[at] | head[at + 1] << 8 | head[at + 2] << 16 | uint32_t(head[at + 3]) << 24);
  };
  if (std::fread(head, 1, 54, f) == 54 && head[0] == 'B' && head[1] == 'M' && head[28] == 32) {
    int w = int(u32(18)), h = int(u32(22));
    std::vector<unsigned char> row(size_t(w) * 4);
    p.rgb.resize(size_t(w) * size_t(h) * 3);
    bool ok = true;
    for (int y = h - 1; ok && y >= 0; --y) {
      ok = std::fread(row.data(), 1, row.size(), f) == row.size();
      for (int x = 0; ok && x < w; ++x)
        for (int c = 0; c < 3; ++c) p.rgb[(size_t(y) * w + x) * 3 + c] = row[x * 4 + 2 - c];
    }
    if (ok) p.width = w, p.height = h;
  }
  std::fclose(f);
  return p;
}

Picture ReadStoredPreview(const std::string& document) {
  Picture p;
  hi::TPreview preview = hi::ReadPreviewFile(document);
  if (preview.result != hi::TDocResult::ok) return p;
  hi::TMemoryStream s(preview.bytes.data(), preview.bytes.size());
  std::unique_ptr<hi::TPngDecoder> png;
  std::unique_ptr<hi::TBitmapObject> owned;
  hi::TBitmapObject* bitmap = nullptr;
  if (preview.kind == hi::TPreviewKind::png) {
    png = hi::CreatePngDecoder();
    png->LoadFromStream(s);
    bitmap = png->GetBitmap();
  } else {
    owned = hi::CreateDeviceBitmap(0, 0);
    owned->LoadFromStream(s);
    bitmap = owned.get();
  }
  std::vector<uint8_t> rgb;
  if (!bitmap || !hi::ExpandToRgb(*bitmap, rgb)) return p;
  p.width = bitmap->Width();
  p.height = bitmap->Height();
  p.rgb = std::move(rgb);
  return p;
}

std::vector<double> Blocks(const Picture& p, int columns, int rows) {
  std::vector<double> sum(size_t(columns) * rows * 3, 0), count(size_t(columns) * rows, 0);
  for (int y = 0; y < p.height; ++y) {
    int by = int((y + 0.5) * rows / p.height);
    for (int x = 0; x < p.width; ++x) {
      int bx = int((x + 0.5) * columns / p.width);
      size_t b = size_t(by) * columns + bx;
      for (int c = 0; c < 3; ++c) sum[b * 3 + c] += p.rgb[(size_t(y) * p.width + x) * 3 + c];
      count[b] += 1;
    }
  }
  for (size_t b = 0; b < count.size(); ++b)
    for (int c = 0; c < 3; ++c) sum[b * 3 + c] = count[b] > 0 ? sum[b * 3 + c] / count[b] : 255;
  return sum;
}

double MeanDifference(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size() || a.empty()) return 255;
  double total = 0;
  for (size_t i = 0; i < a.size(); ++i) total += std::fabs(a[i] - b[i]);
  return total / double(a.size());
}

int RunCommand(const std::string& command, std::string* out) {
  std::FILE* pipe = popen((command + (out ? "" : " >/dev/null")).c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    if (out) out->append(buffer, got);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace testing_painter
