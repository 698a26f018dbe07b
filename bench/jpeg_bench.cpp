// JPEG decode into the bitmap through TJpegPicture against a plain
// in-process libjpeg-turbo loop that writes the same blue-green-red rows
// into a bottom-up buffer of the same stride, in the same run.
//   jpeg_bench [size] [rounds]   (defaults 4096 and 5)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "imaging/jpeg_picture.h"

namespace {

using Clock = std::chrono::steady_clock;

// A picture with both smooth areas and detail, so that the entropy decoder
// and the transforms both have work.
std::vector<uint8_t> Encode(int size, int sampling) {
  std::vector<uint8_t> rgb(size_t(size) * size * 3);
  uint32_t seed = 12345;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      seed = seed * 1664525u + 1013904223u;
      uint8_t* p = &rgb[(size_t(y) * size + x) * 3];
      int noise = int(seed >> 28);
      p[0] = uint8_t((x * 255 / size + noise) & 255);
      p[1] = uint8_t((y * 255 / size + ((x / 64 + y / 64) & 1) * 60) & 255);
      p[2] = uint8_t(((x ^ y) >> 4) + noise);
    }
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long len = 0;
  jpeg_mem_dest(&c, &buf, &len);
  c.image_width = JDIMENSION(size);
  c.image_height = JDIMENSION(size);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = sampling;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = &rgb[size_t(c.next_scanline) * size * 3];
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> out(buf, buf + len);
  std::free(buf);
  jpeg_destroy_compress(&c);
  return out;
}

// The plain loop: the same rows, the same order, no object around it.
uint32_t PlainDecode(const std::vector<uint8_t>& file) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&d);
  size_t stride = (size_t(d.output_width) * 3 + 3) & ~size_t(3);
  uint8_t* rows = static_cast<uint8_t*>(std::calloc(stride, d.output_height));
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = rows + (d.output_height - 1 - d.output_scanline) * stride;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  uint32_t check = rows[0] + rows[stride * (d.output_height / 2) + 7];
  jpeg_destroy_decompress(&d);
  std::free(rows);
  return check;
}

uint32_t GlueDecode(const std::vector<uint8_t>& file) {
  hi::TJpegPicture j;
  j.LoadFromMemory(file.data(), file.size());
  hi::TBitmapObject* b = j.GetBitmap();
  if (!b || j.LastError() != hi::pic_ok) return 0;
  return b->Bits()[0] + b->ScanLine(b->Height() - 1 - b->Height() / 2)[7];
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main(int argc, char** argv) {
  int size = argc > 1 ? std::atoi(argv[1]) : 4096;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  bool ok = true;
  for (int sampling : {2, 1}) {
    std::vector<uint8_t> file = Encode(size, sampling);
    // Interleave the two so that both see the same machine load; keep the
    // best round of each.
    double plain = 1e9, glue = 1e9;
    uint32_t c1 = 0, c2 = 0;
    for (int r = 0; r < 2 * rounds; ++r) {
      // Which one goes first alternates, so neither always inherits the
      // other's freed memory.
      bool plainFirst = r % 2 == 0;
      auto t0 = Clock::now();
      if (plainFirst)
        c1 = PlainDecode(file);
      else
        c2 = GlueDecode(file);
      auto t1 = Clock::now();
      if (plainFirst)
        c2 = GlueDecode(file);
      else
        c1 = PlainDecode(file);
      auto t2 = Clock::now();
      plain = std::min(plain, Seconds(plainFirst ? t0 : t1, plainFirst ? t1 : t2));
      glue = std::min(glue, Seconds(plainFirst ? t1 : t0, plainFirst ? t2 : t1));
    }
    if (c1 != c2) {
      std::printf("rows differ between the two decodes\n");
      ok = false;
    }
    double ratio = plain / glue;
    std::printf("%dx%d %s q90 (%zu bytes): plain %.1f ms, TJpegPicture %.1f ms, speed %.3fx of plain\n", size, size,
                sampling == 2 ? "4:2:0" : "4:4:4", file.size(), plain * 1e3, glue * 1e3, ratio);
  }
  return ok ? 0 : 1;
}
