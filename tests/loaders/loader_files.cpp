#include "tests/loaders/loader_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <jpeglib.h>

#include "imaging/bitmap.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace loaders_test {

std::string Sample(const std::string& root, const std::string& rel) {
  std::string p = root + "/" + rel;
#ifdef _WIN32
  for (char& c : p)
    if (c == '/') c = '\\';
  p = "Z:" + p;
#endif
  return p;
}

std::string LibjpegSample(const std::string& name) { return Sample(LIBJPEG_SRC, "testimages/" + name); }
std::string PillowSample(const std::string& name) { return Sample(PILLOW_SRC, "Tests/images/" + name); }
std::string PngSuiteSample(const std::string& name) { return Sample(LIBPNG_SRC, "contrib/pngsuite/" + name); }
bool HaveSamples() {
  return std::strlen(LIBJPEG_SRC) > 0 && std::strlen(PILLOW_SRC) > 0 && std::strlen(LIBPNG_SRC) > 0;
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

namespace {
std::string scratchDir;

// The scratch folder goes when the program ends.
class ScratchCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    if (scratchDir.empty()) return;
#ifdef _WIN32
    std::string cmd = "rmdir /s /q \"" + scratchDir.substr(0, scratchDir.size() - 1) + "\"";
#else
    std::string cmd = "rm -rf '" + scratchDir + "'";
#endif
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", scratchDir.c_str());
  }
};
const auto* const cleanup = ::testing::AddGlobalTestEnvironment(new ScratchCleanup);
}  // namespace

std::string Scratch() {
  std::string& dir = scratchDir;
  if (dir.empty()) {
#ifdef _WIN32
    char buf[MAX_PATH];
    GetTempPathA(MAX_PATH, buf);
    dir = std::string(buf) + "hi_loaders_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    dir += "\\";
#else
    dir = testing::TempDir() + "hi_loaders_" + std::to_string(getpid());
    std::string cmd = "mkdir -p '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
    dir += "/";
#endif
  }
  return dir;
}

std::string WriteScratch(const std::string& name, const Bytes& data) {
  std::string path = Scratch() + name;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  return path;
}

void RemoveFile(const std::string& path) { std::remove(path.c_str()); }

uint32_t PixelRgb(hi::TBitmapObject* b, int32_t x, int32_t y) {
  const uint8_t* row = b->ScanLine(y);
  int bits = b->Header()->biBitCount;
  auto table = [&](int i) { return b->Colors()[i] & 0xFFFFFF; };
  switch (bits) {
    case 1: return table((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4: return table((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
    case 8: return table(row[x]);
    case 24: return uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
    case 32: return uint32_t(row[4 * x + 2]) << 16 | uint32_t(row[4 * x + 1]) << 8 | row[4 * x];
    default: ADD_FAILURE() << "bit count " << bits; return 0;
  }
}

int ChannelDiff(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s = 0; s < 24; s += 8) {
    int x = std::abs(int((a >> s) & 255) - int((b >> s) & 255));
    if (x > d) d = x;
  }
  return d;
}

uint32_t Plain::Rgb(int32_t x, int32_t y) const {
  const uint8_t* p = &pixels[(size_t(y) * width + x) * components];
  if (components == 1) return uint32_t(p[0]) * 0x010101u;
  return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

Plain PlainDecode(const Bytes& jpeg, bool grey) {
  Plain out;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  out.width = int32_t(cinfo.output_width);
  out.height = int32_t(cinfo.output_height);
  out.components = cinfo.output_components;
  out.pixels.resize(size_t(out.width) * out.height * out.components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &out.pixels[size_t(cinfo.output_scanline) * out.width * out.components];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

Bytes MakeProgressive(const Bytes& jpeg) {
  jpeg_decompress_struct src;
  jpeg_compress_struct dst;
  jpeg_error_mgr e1, e2;
  src.err = jpeg_std_error(&e1);
  dst.err = jpeg_std_error(&e2);
  jpeg_create_decompress(&src);
  jpeg_create_compress(&dst);
  jpeg_mem_src(&src, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&src, TRUE);
  jvirt_barray_ptr* coefs = jpeg_read_coefficients(&src);
  jpeg_copy_critical_parameters(&src, &dst);
  jpeg_simple_progression(&dst);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&dst, &buf, &size);
  jpeg_write_coefficients(&dst, coefs);
  jpeg_finish_compress(&dst);
  Bytes out(buf, buf + size);
  std::free(buf);
  jpeg_destroy_compress(&dst);
  jpeg_finish_decompress(&src);
  jpeg_destroy_decompress(&src);
  return out;
}

Bytes Compress(const Bytes& samples, int32_t w, int32_t h, int components, int quality, bool adobe, int sampling) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (components == 4) c.write_Adobe_marker = adobe ? TRUE : FALSE;
  if (components == 3) {
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = sampling;
    c.comp_info[1].h_samp_factor = c.comp_info[1].v_samp_factor = 1;
    c.comp_info[2].h_samp_factor = c.comp_info[2].v_samp_factor = 1;
  }
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&samples[size_t(c.next_scanline) * w * components]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buf, buf + size);
  std::free(buf);
  jpeg_destroy_compress(&c);
  return out;
}

}  // namespace loaders_test
