// Third-party files against reference decoders: the PNG suites of Debian's
// libpng1.6 source package against libpng itself, the BMP, ICO and PCX test
// images of Debian's pillow source package against ImageMagick, and 4-bit
// packed PCX made by netpbm against netpbm.
#include <gtest/gtest.h>
#include <png.h>

#include <setjmp.h>
#include <sys/stat.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/icon.h"
#include "imaging/pcx_picture.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;
using namespace testing_imaging;

namespace {

bool IsDir(const std::string& p) {
  struct stat st;
  return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- libpng reference ---------------------------------------------------------

struct RefPng {
  bool ok = false;
  uint32_t w = 0, h = 0;
  int depth = 0, type = 0, interlace = 0;
  std::vector<Bytes> rows;  // de-interlaced raw sample rows
  std::vector<png_color> palette;
  bool hasGamma = false;
  uint32_t gamma = 0;
};

void PngError(png_structp p, png_const_charp) { longjmp(png_jmpbuf(p), 1); }
void PngWarning(png_structp, png_const_charp) {}

RefPng ReadReference(const std::string& name) {
  RefPng r;
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return r;
  png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  png_infop info = png_create_info_struct(p);
  if (setjmp(png_jmpbuf(p))) {
    png_destroy_read_struct(&p, &info, nullptr);
    std::fclose(f);
    r.ok = false;
    return r;
  }
  png_init_io(p, f);
  png_read_info(p, info);
  r.w = png_get_image_width(p, info);
  r.h = png_get_image_height(p, info);
  r.depth = png_get_bit_depth(p, info);
  r.type = png_get_color_type(p, info);
  r.interlace = png_get_interlace_type(p, info);
  png_fixed_point g;
  if (png_get_gAMA_fixed(p, info, &g)) {
    r.hasGamma = true;
    r.gamma = uint32_t(g);
  }
  png_colorp pal;
  int n;
  if (png_get_PLTE(p, info, &pal, &n)) r.palette.assign(pal, pal + n);
  png_set_interlace_handling(p);
  png_read_update_info(p, info);
  size_t rb = png_get_rowbytes(p, info);
  r.rows.assign(r.h, Bytes(rb));
  std::vector<png_bytep> ptrs(r.h);
  for (uint32_t y = 0; y < r.h; ++y) ptrs[y] = r.rows[y].data();
  png_read_image(p, ptrs.data());
  png_read_end(p, nullptr);
  png_destroy_read_struct(&p, &info, nullptr);
  std::fclose(f);
  r.ok = true;
  return r;
}

uint32_t Sample(const Bytes& row, int depth, size_t i) {
  if (depth == 16) return row[2 * i];  // the high byte
  if (depth == 8) return row[i];
  size_t bit = i * depth;
  return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

// What the decoder is to show for pixel (x, y): its conversion rules
// applied to libpng's samples.
void Expected(const RefPng& r, const uint8_t* gamma, uint32_t x, uint32_t y, uint8_t rgb[3], int* alpha) {
  const Bytes& row = r.rows[y];
  *alpha = -1;
  int ch = r.type == 2 ? 3 : r.type == 4 ? 2 : r.type == 6 ? 4 : 1;
  auto s = [&](int c) { return Sample(row, r.depth, size_t(x) * ch + c); };
  switch (r.type) {
    case 0: {
      uint32_t v = s(0);
      uint32_t level = r.depth == 16 ? v : r.depth == 2 ? 85 * v : v * 255 / ((1u << r.depth) - 1);
      rgb[0] = rgb[1] = rgb[2] = gamma[level];
      break;
    }
    case 3: {
      uint32_t i = s(0);
      png_color c = i < r.palette.size() ? r.palette[i] : png_color{0, 0, 0};
      rgb[0] = gamma[c.red];
      rgb[1] = gamma[c.green];
      rgb[2] = gamma[c.blue];
      break;
    }
    case 2: {
      bool through = r.depth == 16 || r.interlace != 0;
      for (int c = 0; c < 3; ++c) rgb[c] = through ? gamma[s(c)] : uint8_t(s(c));
      break;
    }
    case 4:
      rgb[0] = rgb[1] = rgb[2] = gamma[s(0)];
      *alpha = int(s(1));
      break;
    case 6:
      for (int c = 0; c < 3; ++c) rgb[c] = gamma[s(c)];
      *alpha = int(s(3));
      break;
  }
}

void CheckPngAgainstLibpng(const std::string& name, int* compared) {
  SCOPED_TRACE(name);
  RefPng ref = ReadReference(name);
  ASSERT_TRUE(ref.ok) << "libpng cannot read it";
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  ASSERT_TRUE(d->LoadFromFile(name));
  EXPECT_TRUE(d->LastError() == pic_ok) << int(d->LastError());
  TBitmapObject* b = d->GetBitmap();
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(uint32_t(b->Width()), ref.w);
  ASSERT_EQ(uint32_t(b->Height()), ref.h);
  uint8_t gamma[256];
  for (int i = 0; i < 256; ++i) gamma[i] = uint8_t(i);
  if (ref.hasGamma && ref.gamma != 0) BuildGammaTable(ref.gamma, gamma);
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(ExpandToRgb(*b, rgb));
  const uint8_t* alpha = d->Header()->Alpha;
  int bad = 0;
  for (uint32_t y = 0; y < ref.h; ++y)
    for (uint32_t x = 0; x < ref.w; ++x) {
      uint8_t e[3];
      int a;
      Expected(ref, gamma, x, y, e, &a);
      const uint8_t* g = rgb.data() + (size_t(y) * ref.w + x) * 3;
      if (std::memcmp(e, g, 3) != 0 || (a >= 0 && alpha[size_t(y) * ref.w + x] != a)) {
        if (bad++ < 3)
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << int(g[0]) << " " << int(g[1]) << " " << int(g[2])
                        << " instead of " << int(e[0]) << " " << int(e[1]) << " " << int(e[2]);
      }
    }
  EXPECT_EQ(bad, 0);
  ++*compared;
}

// ---- ImageMagick reference -----------------------------------------------------

std::string Convert() {
  for (const char* c : {"/usr/bin/convert-im6.q16", "/usr/bin/convert-im6", "/usr/bin/convert"})
    if (std::FILE* f = std::fopen(c, "rb")) {
      std::fclose(f);
      return c;
    }
  return "";
}

// P5/P6 output of ImageMagick for a file (frame index in brackets).
// The P5/P6 picture a command writes to its standard output.
bool PnmFromCommand(const std::string& cmd, int channels, int& w, int& h, Bytes& px) {
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return false;
  Bytes all;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) all.insert(all.end(), buf, buf + n);
  // ImageMagick may complain about a short file and still give the picture.
  pclose(p);
  if (all.size() < 3) return false;
  int maxv, used = 0;
  char magic[3] = {};
  if (std::sscanf(reinterpret_cast<const char*>(all.data()), "%2s %d %d %d%n", magic, &w, &h, &maxv, &used) != 4)
    return false;
  size_t start = size_t(used) + 1;
  if (maxv != 255 || all.size() < start + size_t(w) * h * channels) return false;
  px.assign(all.begin() + start, all.begin() + start + size_t(w) * h * channels);
  return true;
}

bool MagickPixels(const std::string& file, const std::string& extra, int channels, int& w, int& h, Bytes& px) {
  return PnmFromCommand(
      Convert() + " '" + file + "' " + extra + " -depth 8 " + (channels == 3 ? "ppm:-" : "pgm:-") + " 2>/dev/null",
      channels, w, h, px);
}

// Pixels that differ; 5- and 6-bit channels are widened to 8 bits slightly
// differently by ImageMagick, so 16-bit pictures get a small tolerance.
int CompareRgb(TBitmapObject* b, const Bytes& ref, const std::vector<bool>* only = nullptr) {
  std::vector<uint8_t> rgb;
  if (!ExpandToRgb(*b, rgb) || rgb.size() != ref.size()) return -1;
  int tolerance = (b->PixelLayout() == px15Bit || b->PixelLayout() == px16Bit) ? 4 : 0;
  int bad = 0;
  for (size_t i = 0; i < rgb.size() / 3; ++i) {
    if (only && !(*only)[i]) continue;
    for (int c = 0; c < 3; ++c)
      if (std::abs(int(rgb[3 * i + c]) - int(ref[3 * i + c])) > tolerance) {
        ++bad;
        break;
      }
  }
  return bad;
}

std::string PillowImages() { return std::string(PILLOW_SRC) + "/Tests/images"; }

}  // namespace

TEST(Corpus, PngSuiteMatchesLibpng) {
  std::string dir = std::string(LIBPNG_SRC) + "/contrib/pngsuite";
  ASSERT_TRUE(IsDir(dir)) << "PngSuite missing (run tools/setup.sh): " << dir;
  int compared = 0;
  for (const auto& f : ListFiles(dir, ".png")) CheckPngAgainstLibpng(f, &compared);
  EXPECT_GE(compared, 50);
}

TEST(Corpus, TestPngsMatchLibpng) {
  std::string dir = std::string(LIBPNG_SRC) + "/contrib/testpngs";
  ASSERT_TRUE(IsDir(dir)) << "testpngs missing (run tools/setup.sh): " << dir;
  int compared = 0;
  for (const auto& f : ListFiles(dir, ".png")) CheckPngAgainstLibpng(f, &compared);
  EXPECT_GE(compared, 100);
}

TEST(Corpus, CrashersFailOrStayPartial) {
  std::string dir = std::string(LIBPNG_SRC) + "/contrib/testpngs/crashers";
  ASSERT_TRUE(IsDir(dir)) << dir;
  auto files = ListFiles(dir, ".png");
  ASSERT_GE(files.size(), 20u);
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
    bool ok = d->LoadFromFile(f);
    TBitmapObject* b = d->GetBitmap();
    if (b) {
      std::vector<uint8_t> rgb;
      EXPECT_TRUE(ExpandToRgb(*b, rgb));
      EXPECT_LE(int64_t(b->BitsSize()), MaxPixelBytes);
    }
    // Damaged files end with a recorded problem, or as a picture.
    EXPECT_TRUE(!ok || d->LastError() != pic_ok || b != nullptr);
  }
}

TEST(Corpus, PillowBmpSuiteMatchesImageMagick) {
  ASSERT_TRUE(IsDir(PillowImages())) << "pillow sources missing (run tools/setup.sh): " << PILLOW_SRC;
  ASSERT_FALSE(Convert().empty()) << "ImageMagick missing";
  int compared = 0, refused = 0;
  for (const std::string sub : {"/bmp/g", "/bmp/q", "/bmp/b", ""}) {
    for (const auto& f : ListFiles(PillowImages() + sub, ".bmp")) {
      SCOPED_TRACE(f);
      Bytes data = ReadFileBytes(f);
      ASSERT_GE(data.size(), 18u);
      uint32_t headerSize = data[14] | (data[15] << 8);
      uint32_t compression = data.size() >= 34 ? data[30] : 0;
      std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
      bool ok = b->LoadFromFile(f);
      if (headerSize != 40 && headerSize != 12) {
        EXPECT_FALSE(ok);  // 108- and 124-byte headers are not read
        EXPECT_EQ(b->LastError(), bmp_header_size);
        ++refused;
        continue;
      }
      bool good = sub == "/bmp/g";
      if (!ok) {
        EXPECT_FALSE(good) << "a valid file failed";
        continue;
      }
      // Run-length data is taken as plain rows by design; bit fields of
      // 32-bit files are not interpreted.
      if (compression == 1 || compression == 2 || (compression == 3 && b->Header()->biBitCount == 32)) continue;
      if (!good && b->PixelLayout() != px24Bit && b->PixelLayout() != px8Bit) continue;
      int w, h;
      Bytes ref;
      if (!MagickPixels(f, "", 3, w, h, ref)) {
        EXPECT_FALSE(good) << "ImageMagick cannot read a valid file";
        continue;
      }
      if (w != b->Width() || h != b->Height()) continue;
      int bad = CompareRgb(b.get(), ref);
      if (good) {
        EXPECT_EQ(bad, 0);
      }
      if (bad == 0) ++compared;
    }
  }
  EXPECT_GE(compared, 18);
  EXPECT_GE(refused, 3);
}

TEST(Corpus, PillowIconsMatchImageMagick) {
  ASSERT_TRUE(IsDir(PillowImages())) << PILLOW_SRC;
  int compared = 0;
  for (const auto& f : ListFiles(PillowImages(), ".ico")) {
    SCOPED_TRACE(f);
    Bytes data = ReadFileBytes(f);
    std::unique_ptr<TIconObject> icon = CreateIconObject();
    if (!icon->LoadFromFile(f)) continue;
    // The entry the reader chose, to ask ImageMagick for the same frame.
    uint16_t count = data[4] | (data[5] << 8);
    std::vector<TIconDirEntry> e(count);
    for (int i = 0; i < count; ++i) e[i].Width = data[6 + 16 * i];
    int chosen = ChooseIconEntry(e.data(), count, 32);
    int w, h;
    Bytes ref, alpha;
    std::string frame = "[" + std::to_string(chosen) + "]";
    ASSERT_TRUE(MagickPixels(f + frame, "", 3, w, h, ref));
    ASSERT_TRUE(MagickPixels(f + frame, "-alpha extract", 1, w, h, alpha));
    TBitmapObject* color = const_cast<TBitmapObject*>(icon->ColorImage());
    TBitmapObject* mask = const_cast<TBitmapObject*>(icon->MaskImage());
    ASSERT_NE(color, nullptr);
    ASSERT_EQ(w, color->Width());
    // Opaque pixels (mask clear, full alpha) carry the colour image.
    std::vector<bool> opaque(size_t(w) * h);
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        bool m = (mask->ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1;
        opaque[size_t(y) * w + x] = !m && alpha[size_t(y) * w + x] == 255;
        n += opaque[size_t(y) * w + x];
      }
    EXPECT_GT(n, 0);
    EXPECT_EQ(CompareRgb(color, ref, &opaque), 0);
    ++compared;
  }
  EXPECT_GE(compared, 4);
}

TEST(Corpus, PillowPcxMatchesImageMagick) {
  ASSERT_TRUE(IsDir(PillowImages())) << PILLOW_SRC;
  int compared = 0;
  for (const auto& f : ListFiles(PillowImages(), ".pcx")) {
    SCOPED_TRACE(f);
    std::unique_ptr<TPcxPicture> p = CreatePcxPicture();
    int w, h;
    Bytes ref;
    bool refOk = MagickPixels(f, "", 3, w, h, ref);
    if (!p->LoadFromFile(f)) {
      EXPECT_FALSE(refOk && w > 1 && h > 1) << "ImageMagick reads it";
      continue;
    }
    ASSERT_TRUE(refOk);
    ASSERT_EQ(w, p->Bitmap()->Width());
    ASSERT_EQ(h, p->Bitmap()->Height());
    Bytes data = ReadFileBytes(f);
    int bad = CompareRgb(p->Bitmap(), ref);
    if (p->Bitmap()->PixelLayout() == px8Bit && data.size() > 768 && data[data.size() - 769] != 12 &&
        data[data.size() - 769] != 10) {
      // No 256-colour palette: an all-black colour table, where ImageMagick
      // makes up a grey ramp.
      Bytes black(ref.size(), 0);
      std::vector<uint8_t> rgb;
      ASSERT_TRUE(ExpandToRgb(*p->Bitmap(), rgb));
      EXPECT_EQ(Bytes(rgb.begin(), rgb.end()), black);
    } else if (p->Bitmap()->PixelLayout() == px1Bit) {
      // ImageMagick paints set bits of 1-bit files black whatever the header
      // palette says (Pillow and the palette say white): the same pixels
      // must differ all or not at all.
      EXPECT_TRUE(bad == 0 || bad == w * h) << bad;
    } else {
      EXPECT_EQ(bad, 0);
    }
    ++compared;
  }
  EXPECT_GE(compared, 3);
}

// Pillow has no 4-bit packed PCX (4 bits, 1 plane): netpbm's encoder makes
// them from 16-colour pictures, and its decoder is the reference. Every
// width from 1 to 9 and a wide one, so the last pixel of odd widths and the
// order of the two pixels in a byte both show.
TEST(Corpus, PackedFourBitPcxMatchesNetpbm) {
  ASSERT_EQ(std::system("command -v ppmtopcx >/dev/null && command -v pcxtoppm >/dev/null"), 0)
      << "netpbm is missing (tools/setup.sh installs it)";
  const std::string ppm = testing::TempDir() + "/packed4.ppm", pcx = testing::TempDir() + "/packed4.pcx";
  for (int w : {1, 2, 3, 4, 5, 6, 7, 8, 9, 37}) {
    SCOPED_TRACE(w);
    const int h = 16;  // the first column alone has all 16 colours
    Bytes colours;
    for (int i = 0; i < 16; ++i)
      colours.insert(colours.end(), {uint8_t(i * 16), uint8_t(255 - i * 15), uint8_t(i * 53)});
    Bytes want;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        // Neighbours always differ.
        const int c = (x * 7 + y * 3 + w) % 16;
        want.insert(want.end(), colours.begin() + 3 * c, colours.begin() + 3 * c + 3);
      }
    std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    Bytes file(head.begin(), head.end());
    file.insert(file.end(), want.begin(), want.end());
    std::ofstream(ppm, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    ASSERT_EQ(std::system(("ppmtopcx -packed '" + ppm + "' > '" + pcx + "' 2>/dev/null").c_str()), 0);
    const Bytes encoded = ReadFileBytes(pcx);
    ASSERT_GT(encoded.size(), 128u);
    ASSERT_EQ(encoded[3], 4);   // bits per pixel
    ASSERT_EQ(encoded[65], 1);  // planes
    int rw, rh;
    Bytes ref;
    ASSERT_TRUE(PnmFromCommand("pcxtoppm '" + pcx + "' 2>/dev/null", 3, rw, rh, ref));
    ASSERT_EQ(ref, want);  // the reference agrees with the source picture

    std::unique_ptr<TPcxPicture> p = CreatePcxPicture();
    ASSERT_TRUE(p->LoadFromFile(pcx));
    ASSERT_EQ(p->Bitmap()->Width(), w);
    ASSERT_EQ(p->Bitmap()->Height(), h);
    EXPECT_EQ(CompareRgb(p->Bitmap(), ref), 0) << "bits " << int(encoded[3]) << " planes " << int(encoded[65]);
  }
}

// The row filters run per pixel size: every filter at every byte distance
// (1, 2, 3, 4, 6 and 8), on noise and on odd widths, against libpng.
TEST(Corpus, EveryFilterAtEveryPixelSizeMatchesLibpng) {
  struct Format {
    int type, depth;
  };
  const Format formats[] = {{0, 1}, {0, 2}, {3, 4}, {0, 8},  {3, 8},  {0, 16},
                            {4, 8}, {2, 8}, {6, 8}, {4, 16}, {2, 16}, {6, 16}};
  const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};
  std::string name = testing::TempDir() + "/filter_check.png";
  uint32_t seed = 7;
  int compared = 0;
  for (const Format& f : formats)
    for (int filter : filters)
      for (int interlace : {PNG_INTERLACE_NONE, PNG_INTERLACE_ADAM7})
        for (uint32_t w : {1u, 2u, 37u, 70u}) {
          // 70 wide: flat blocks and repeated rows, with single dots that
          // break a run in its middle, where the decoder copies whole runs
          // of unchanged pixels from the row above.
          const bool blocks = w == 70;
          const uint32_t h = blocks ? 24 : 9;
          int channels = f.type == 2 ? 3 : f.type == 4 ? 2 : f.type == 6 ? 4 : 1;
          size_t rowBytes = (size_t(w) * channels * f.depth + 7) / 8;
          const size_t pixelBytes = std::max<size_t>(1, size_t(channels) * f.depth / 8);
          std::vector<uint8_t> rows(rowBytes * h);
          for (size_t i = 0; i < rows.size(); ++i) {
            seed = seed * 1103515245u + 12345u;
            const size_t y = i / rowBytes, x = i % rowBytes / pixelBytes;
            if (blocks)
              rows[i] = (y == 9 && x == 40) || (y == 17 && x == 3) ? uint8_t(seed >> 24)
                                                                   : uint8_t((x / 21 + y / 6) * 37 + i % pixelBytes);
            else  // noise where the filters differ most, a flat band where they meet
              rows[i] = i < rows.size() / 3 ? uint8_t(seed >> 24) : uint8_t(y * 29);
          }
          std::FILE* out = std::fopen(name.c_str(), "wb");
          ASSERT_NE(out, nullptr);
          png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
          png_infop info = png_create_info_struct(png);
          ASSERT_EQ(setjmp(png_jmpbuf(png)), 0);
          png_init_io(png, out);
          png_set_IHDR(png, info, w, h, f.depth, f.type, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                       PNG_FILTER_TYPE_DEFAULT);
          png_color palette[256];
          for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
          if (f.type == 3) png_set_PLTE(png, info, palette, 1 << f.depth);
          png_set_filter(png, 0, filter);
          std::vector<png_bytep> pointers(h);
          for (uint32_t y = 0; y < h; ++y) pointers[y] = &rows[y * rowBytes];
          png_set_rows(png, info, pointers.data());
          png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
          png_destroy_write_struct(&png, &info);
          std::fclose(out);
          SCOPED_TRACE("type " + std::to_string(f.type) + " depth " + std::to_string(f.depth) + " filter " +
                       std::to_string(filter) + " interlace " + std::to_string(interlace) + " width " +
                       std::to_string(w));
          CheckPngAgainstLibpng(name, &compared);
        }
  std::remove(name.c_str());
  EXPECT_EQ(compared, 12 * 5 * 2 * 4);
}
