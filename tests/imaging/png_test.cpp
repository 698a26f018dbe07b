#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include <zlib.h>

#include "imaging/adler32.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;
using namespace testing_imaging;

namespace {

struct Image {
  uint32_t w, h;
  uint8_t depth, type;
  std::vector<Bytes> rows;  // unfiltered sample bytes of each row
};

int Channels(uint8_t type) { return type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1; }
size_t RowLen(const Image& im, uint32_t w) { return (size_t(w) * im.depth * Channels(im.type) + 7) / 8; }

// A deterministic image of any format (samples from a simple hash).
Image MakeImage(uint32_t w, uint32_t h, uint8_t depth, uint8_t type, uint32_t seed = 1) {
  Image im{w, h, depth, type, {}};
  uint32_t x = seed * 2654435761u + 12345;
  for (uint32_t y = 0; y < h; ++y) {
    Bytes r(RowLen(im, w));
    for (auto& b : r) {
      x = x * 1103515245u + 12345;
      b = uint8_t(x >> 16);
    }
    // Unused bits at the end of a packed row are zero, as encoders write them.
    size_t bits = size_t(w) * depth * Channels(type);
    if (bits % 8) r.back() &= uint8_t(0xFF << (8 - bits % 8));
    im.rows.push_back(r);
  }
  return im;
}

// The encoder side of the row filters, written from the format's definition.
Bytes FilterRow(const Bytes& cur, const Bytes& prev, int f, int bpp) {
  Bytes out{uint8_t(f)};
  for (size_t i = 0; i < cur.size(); ++i) {
    int a = i >= size_t(bpp) ? cur[i - bpp] : 0, b = prev.empty() ? 0 : prev[i];
    int c = i >= size_t(bpp) && !prev.empty() ? prev[i - bpp] : 0;
    int pred = 0;
    switch (f) {
      case 1: pred = a; break;
      case 2: pred = b; break;
      case 3: pred = (a + b) / 2; break;
      case 4: {
        int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        pred = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
        break;
      }
    }
    out.push_back(uint8_t(cur[i] - pred));
  }
  return out;
}

int Bpp(const Image& im) { return std::max(1, im.depth * Channels(im.type) / 8); }

// The raw zlib payload: non-interlaced, or the seven Adam7 passes.
Bytes Encode(const Image& im, bool adam7) {
  Bytes raw;
  int f = 0;
  if (!adam7) {
    Bytes prev;
    for (auto& r : im.rows) {
      Bytes fr = FilterRow(r, prev, f++ % 5, Bpp(im));
      raw.insert(raw.end(), fr.begin(), fr.end());
      prev = r;
    }
    return raw;
  }
  static const int rs[7] = {0, 0, 4, 0, 2, 0, 1}, cs[7] = {0, 4, 0, 2, 0, 1, 0};
  static const int rst[7] = {8, 8, 8, 4, 4, 2, 2}, cst[7] = {8, 8, 4, 4, 2, 2, 1};
  int bitsPerPixel = im.depth * Channels(im.type);
  for (int p = 0; p < 7; ++p) {
    uint32_t pw = (im.w + cst[p] - cs[p] - 1) / cst[p];
    if (pw == 0) continue;
    Bytes prev;
    for (uint32_t y = rs[p]; y < im.h; y += rst[p]) {
      Bytes r(RowLen(im, pw), 0);
      for (uint32_t k = 0; k < pw; ++k) {
        uint32_t x = cs[p] + k * cst[p];
        for (int bit = 0; bit < bitsPerPixel; ++bit) {
          size_t sb = size_t(x) * bitsPerPixel + bit, db = size_t(k) * bitsPerPixel + bit;
          if ((im.rows[y][sb / 8] >> (7 - sb % 8)) & 1) r[db / 8] |= uint8_t(0x80 >> (db % 8));
        }
      }
      Bytes fr = FilterRow(r, prev, f++ % 5, Bpp(im));
      raw.insert(raw.end(), fr.begin(), fr.end());
      prev = r;
    }
  }
  return raw;
}

Bytes MakePng(const Image& im, bool adam7, size_t idatPiece = 0, const Bytes& plte = {}, const Bytes& gama = {}) {
  Bytes png = PngSignature();
  AddChunk(png, "IHDR", IhdrData(im.w, im.h, im.depth, im.type, adam7 ? 1 : 0));
  if (!gama.empty()) AddChunk(png, "gAMA", gama);
  if (!plte.empty()) AddChunk(png, "PLTE", plte);
  Bytes z = Deflate(Encode(im, adam7));
  if (idatPiece == 0) idatPiece = z.size();
  for (size_t i = 0; i < z.size(); i += idatPiece)
    AddChunk(png, "IDAT", Bytes(z.begin() + i, z.begin() + std::min(z.size(), i + idatPiece)));
  AddChunk(png, "IEND", {});
  return png;
}

bool Decode(TPngDecoder& d, const Bytes& file) {
  TMemoryStream s(file);
  return d.LoadFromStream(s);
}

// The DIB rows of a bitmap from top to bottom, padding included.
Bytes Rows(TBitmapObject* b) {
  Bytes out;
  for (int32_t y = 0; y < b->Height(); ++y) out.insert(out.end(), b->ScanLine(y), b->ScanLine(y) + b->ScanLineSize());
  return out;
}

Bytes BigEndian(uint32_t v) {
  Bytes b;
  PutBE32(b, v);
  return b;
}

}  // namespace

TEST(Png, ResultCodes) {
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  Image im = MakeImage(4, 3, 8, 2);
  Bytes good = MakePng(im, false);
  EXPECT_TRUE(Decode(*d, good));
  EXPECT_EQ(d->LastError(), pic_ok);

  Bytes sig = good;
  sig[1] = 'Q';
  EXPECT_FALSE(Decode(*d, sig));
  EXPECT_EQ(d->LastError(), png_signature);
  EXPECT_TRUE(d->Chunks.empty());

  Bytes noHeader = PngSignature();
  AddChunk(noHeader, "gAMA", BigEndian(45455));
  EXPECT_FALSE(Decode(*d, noHeader));
  EXPECT_EQ(d->LastError(), png_no_ihdr);

  // A refused header keeps its own reason: the missing image data that
  // follows from it does not replace it.
  const std::pair<Bytes, TPictureResult> refused[] = {
      {IhdrData(PngMaxSide + 1, 1, 8, 2), png_side_limit},
      {IhdrData(1, PngMaxSide + 1, 8, 2), png_side_limit},
      {IhdrData(1, 1, 8, 2, 2), png_interlace},
      {IhdrData(1, 1, 4, 2), png_format},
      {IhdrData(1, 1, 8, 5), png_format},
      {IhdrData(1, 1, 3, 0), png_format},
      {IhdrData(PngMaxSide, PngMaxSide, 16, 6), pic_over_limit},
      {Bytes(12, 0), png_short_header},
  };
  for (const auto& [bad, why] : refused) {
    Bytes f = PngSignature();
    AddChunk(f, "IHDR", bad);
    AddChunk(f, "IDAT", Deflate(Bytes(4, 0)));
    AddChunk(f, "IEND", {});
    EXPECT_FALSE(Decode(*d, f));
    EXPECT_EQ(d->LastError(), why) << PictureResultMessage(d->LastError());
    EXPECT_EQ(d->GetBitmap(), nullptr);
  }
  Bytes compressed = PngSignature();
  Bytes method = IhdrData(1, 1, 8, 0);
  method[10] = 1;
  AddChunk(compressed, "IHDR", method);
  EXPECT_FALSE(Decode(*d, compressed));
  EXPECT_EQ(d->LastError(), png_compression);

  Bytes twice = PngSignature();
  AddChunk(twice, "IHDR", IhdrData(1, 1, 8, 0));
  AddChunk(twice, "IHDR", IhdrData(1, 1, 8, 0));
  EXPECT_FALSE(Decode(*d, twice));
  EXPECT_EQ(d->LastError(), png_duplicate_chunk);

  Bytes noIend(good.begin(), good.end() - 12);
  EXPECT_TRUE(Decode(*d, noIend));
  EXPECT_EQ(d->LastError(), png_no_iend);

  Bytes noIdat = PngSignature();
  AddChunk(noIdat, "IHDR", IhdrData(1, 1, 8, 0));
  AddChunk(noIdat, "IEND", {});
  EXPECT_FALSE(Decode(*d, noIdat));
  EXPECT_EQ(d->LastError(), png_no_idat);

  // Image data cut short and followed by another chunk type.
  Bytes z = Deflate(Encode(MakeImage(8, 8, 8, 2), false));
  Bytes cut = PngSignature();
  AddChunk(cut, "IHDR", IhdrData(8, 8, 8, 2));
  AddChunk(cut, "IDAT", Bytes(z.begin(), z.begin() + z.size() / 2));
  AddChunk(cut, "tEXt", {'a', 0, 'b'});
  AddChunk(cut, "IEND", {});
  EXPECT_TRUE(Decode(*d, cut));
  EXPECT_EQ(d->LastError(), png_not_idat);

  Bytes broken = PngSignature();
  AddChunk(broken, "IHDR", IhdrData(8, 8, 8, 2));
  Bytes zz = z;
  for (size_t i = 2; i < zz.size(); ++i) zz[i] ^= 0x5A;
  AddChunk(broken, "IDAT", zz);
  AddChunk(broken, "IEND", {});
  EXPECT_TRUE(Decode(*d, broken));
  EXPECT_EQ(d->LastError(), png_inflate);
  // The first failure stays: the stream also ends without IEND here.
  broken.resize(broken.size() - 12);
  EXPECT_TRUE(Decode(*d, broken));
  EXPECT_EQ(d->LastError(), png_inflate);

  // A palette of 257 entries or of a length not divisible by 3.
  for (size_t n : {size_t(771), size_t(10)}) {
    Bytes p = PngSignature();
    AddChunk(p, "IHDR", IhdrData(1, 1, 8, 3));
    AddChunk(p, "IDAT", Deflate(Bytes(2, 0)));
    AddChunk(p, "PLTE", Bytes(n, 1));
    AddChunk(p, "IEND", {});
    EXPECT_TRUE(Decode(*d, p));
    EXPECT_EQ(d->LastError(), png_palette_length);
  }
  Bytes trns = PngSignature();
  AddChunk(trns, "IHDR", IhdrData(1, 1, 8, 3));
  AddChunk(trns, "tRNS", Bytes(257, 1));
  EXPECT_FALSE(Decode(*d, trns));
  EXPECT_EQ(d->LastError(), png_transparency_length);

  EXPECT_FALSE(d->LoadFromFile(std::string(REGRESS_DIR) + "/no such file.png"));
  EXPECT_EQ(d->LastError(), pic_cannot_open);
}

TEST(Png, ChunkRecordsSplitDataAndSkippedChunks) {
  Image im = MakeImage(13, 9, 8, 2);
  std::unique_ptr<TPngDecoder> a = CreatePngDecoder(), b = CreatePngDecoder();
  ASSERT_TRUE(Decode(*a, MakePng(im, false)));
  Bytes split = MakePng(im, false, 7);
  // cHRM and text/time chunks between the data chunks and before IEND.
  Bytes extra = PngSignature();
  size_t pos = 8;
  auto take = [&](Bytes& to) {
    uint32_t len = (split[pos] << 24) | (split[pos + 1] << 16) | (split[pos + 2] << 8) | split[pos + 3];
    to.insert(to.end(), split.begin() + pos, split.begin() + pos + 12 + len);
    pos += 12 + len;
  };
  take(extra);
  AddChunk(extra, "cHRM", Bytes(32, 1));
  AddChunk(extra, "tIME", {0x07, 0xE8, 12, 8, 6, 30, 59});
  while (pos < split.size() - 12) take(extra);
  AddChunk(extra, "tEXt", {'K', 'e', 'y', 0, 'v', 'a', 'l'});
  take(extra);
  ASSERT_TRUE(Decode(*b, extra));
  EXPECT_EQ(b->LastError(), pic_ok);
  EXPECT_EQ(Rows(a->GetBitmap()), Rows(b->GetBitmap()));
  EXPECT_EQ(b->Find("cHRM"), nullptr);
  int idats = 0;
  for (auto& c : b->Chunks) idats += c->IsType("IDAT");
  EXPECT_EQ(idats, 1);
  EXPECT_TRUE(b->Chunks.front()->IsType("IHDR"));
  EXPECT_TRUE(b->Chunks.back()->IsType("IEND"));
  auto* text = static_cast<TPngTextChunk*>(b->Find("tEXt"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Keyword, "Key");
  EXPECT_EQ(text->Text, "val");
  auto* time = static_cast<TPngTimeChunk*>(b->Find("tIME"));
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->Month, 12);
  EXPECT_EQ(time->Second, 59);
  const uint8_t* year = reinterpret_cast<const uint8_t*>(&time->Year);
  EXPECT_EQ(year[0], 0x07);  // kept in file byte order
  EXPECT_EQ(year[1], 0xE8);
}

TEST(Png, FiltersAndRgbConversion) {
  Image im = MakeImage(17, 11, 8, 2, 7);
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  ASSERT_TRUE(Decode(*d, MakePng(im, false)));
  TBitmapObject* b = d->GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->PixelLayout(), px24Bit);
  EXPECT_EQ(b->Header()->biHeight, 11);
  for (uint32_t y = 0; y < im.h; ++y)
    for (uint32_t x = 0; x < im.w; ++x) {
      const uint8_t* p = b->ScanLine(int32_t(y)) + 3 * x;
      const uint8_t* s = im.rows[y].data() + 3 * x;
      ASSERT_EQ(p[0], s[2]);
      ASSERT_EQ(p[1], s[1]);
      ASSERT_EQ(p[2], s[0]);
    }
  EXPECT_EQ(d->GetBitmap(), b);  // lent once, returned again

  // Filter values above 4 leave the row as it is.
  Bytes raw;
  for (int y = 0; y < 2; ++y) {
    raw.push_back(7);
    for (int i = 0; i < 3; ++i) raw.push_back(uint8_t(40 + 10 * y + i));
  }
  Bytes f = PngSignature();
  AddChunk(f, "IHDR", IhdrData(1, 2, 8, 2));
  AddChunk(f, "IDAT", Deflate(raw));
  AddChunk(f, "IEND", {});
  ASSERT_TRUE(Decode(*d, f));
  EXPECT_EQ(d->GetBitmap()->ScanLine(1)[2], 50);
}

TEST(Png, PaethTiesPickTheNeighbourTheFormatDefines) {
  // A 2 x 2 picture whose pixels have every byte alike: the last pixel is
  // predicted from left a, above b and upper-left c. The residuals come
  // from the encoder above, written from the format's definition.
  struct Tie {
    uint8_t a, b, c;
  };
  const Tie ties[] = {{9, 9, 9},    // all equal: a
                      {11, 8, 10},  // pa 2 > pb 1 = pc 1: b
                      {10, 0, 5}};  // pc 0 below pa = pb = 5: c
  const std::pair<uint8_t, uint8_t> formats[] = {{8, 0}, {8, 2}, {8, 4}, {8, 6}, {16, 2}};
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  for (const Tie& t : ties)
    for (auto [depth, type] : formats) {
      SCOPED_TRACE(testing::Message() << "type " << int(type) << " depth " << int(depth) << " tie " << int(t.a) << ","
                                      << int(t.b) << "," << int(t.c));
      Image im{2, 2, depth, type, {}};
      const size_t bpp = size_t(Bpp(im));
      Bytes top(bpp, t.c), bottom(bpp, t.a);
      top.insert(top.end(), bpp, t.b);
      bottom.insert(bottom.end(), bpp, 200);
      Bytes raw = FilterRow(top, {}, 4, int(bpp));
      Bytes second = FilterRow(bottom, top, 4, int(bpp));
      raw.insert(raw.end(), second.begin(), second.end());
      Bytes f = PngSignature();
      AddChunk(f, "IHDR", IhdrData(2, 2, depth, type));
      AddChunk(f, "IDAT", Deflate(raw));
      AddChunk(f, "IEND", {});
      ASSERT_TRUE(Decode(*d, f));
      TBitmapObject* b = d->GetBitmap();
      ASSERT_NE(b, nullptr);
      const int dibBytes = (type == 2 || type == 6) ? 3 : 1;
      for (int k = 0; k < dibBytes; ++k) {
        EXPECT_EQ(b->ScanLine(0)[k], t.c);
        EXPECT_EQ(b->ScanLine(0)[dibBytes + k], t.b);
        EXPECT_EQ(b->ScanLine(1)[k], t.a);
        EXPECT_EQ(b->ScanLine(1)[dibBytes + k], 200);
      }
      if (d->Header()->Alpha) {
        EXPECT_EQ(d->Header()->Alpha[3], 200);
      }
    }
}

TEST(Png, Adam7MatchesNonInterlacedForEveryFormat) {
  struct F {
    uint8_t depth, type;
  };
  const F formats[] = {{1, 0}, {2, 0}, {4, 0},  {8, 0}, {16, 0}, {1, 3}, {2, 3}, {4, 3},
                       {8, 3}, {8, 2}, {16, 2}, {8, 4}, {16, 4}, {8, 6}, {16, 6}};
  const uint32_t sizes[][2] = {{1, 1}, {1, 9}, {3, 5}, {9, 9}, {33, 7}, {8, 16}};
  Bytes plte(768);
  for (size_t i = 0; i < plte.size(); ++i) plte[i] = uint8_t(i * 5);
  for (const F& f : formats)
    for (auto& sz : sizes) {
      Image im = MakeImage(sz[0], sz[1], f.depth, f.type, sz[0] * 31 + f.depth);
      std::unique_ptr<TPngDecoder> a = CreatePngDecoder(), b = CreatePngDecoder();
      Bytes pal = f.type == 3 ? plte : Bytes{};
      ASSERT_TRUE(Decode(*a, MakePng(im, false, 0, pal)));
      ASSERT_TRUE(Decode(*b, MakePng(im, true, 0, pal)));
      SCOPED_TRACE(testing::Message() << "type " << int(f.type) << " depth " << int(f.depth) << " " << sz[0] << "x"
                                      << sz[1]);
      ASSERT_EQ(a->LastError(), pic_ok);
      ASSERT_EQ(b->LastError(), pic_ok);
      TBitmapObject* ba = a->GetBitmap();
      TBitmapObject* bb = b->GetBitmap();
      ASSERT_NE(bb, nullptr);
      ASSERT_EQ(Rows(ba), Rows(bb));
      EXPECT_EQ(0, std::memcmp(ba->Colors(), bb->Colors(), 1024));
      auto* ha = a->Header();
      auto* hb = b->Header();
      if (ha->Alpha) {
        EXPECT_EQ(0, std::memcmp(ha->Alpha, hb->Alpha, sz[0] * sz[1]));
      }
      // Spot checks against the samples themselves.
      if (f.depth == 16 && f.type == 0) {
        EXPECT_EQ(ba->ScanLine(0)[0], im.rows[0][0]);
      }
      if (f.depth == 8 && f.type == 6) {
        EXPECT_EQ(ba->ScanLine(0)[0], im.rows[0][2]);
        EXPECT_EQ(ha->Alpha[0], im.rows[0][3]);
      }
      if (f.depth == 16 && f.type == 4) {
        EXPECT_EQ(ha->Alpha[0], im.rows[0][2]);
      }
    }
}

TEST(Png, GreyRampsAndTwoBitSamples) {
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  Image g2{4, 1, 2, 0, {{0x1B}}};  // samples 0, 1, 2, 3
  ASSERT_TRUE(Decode(*d, MakePng(g2, false)));
  TBitmapObject* b = d->GetBitmap();
  EXPECT_EQ(b->PixelLayout(), px4Bit);
  EXPECT_EQ(b->ScanLine(0)[0], 0x05);
  EXPECT_EQ(b->ScanLine(0)[1], 0xAF);
  // The index keeps the grey level: level 1 of 3 is 85, index 5 of 15.
  EXPECT_EQ(b->Colors()[5] & 0xFF, 85u);
  EXPECT_EQ(b->Colors()[15], 0x00FFFFFFu);

  Image p2{4, 1, 2, 3, {{0x1B}}};
  Bytes plte = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42};
  ASSERT_TRUE(Decode(*d, MakePng(p2, false, 0, plte)));
  b = d->GetBitmap();
  EXPECT_EQ(b->ScanLine(0)[0], 0x01);
  EXPECT_EQ(b->ScanLine(0)[1], 0x23);
  EXPECT_EQ(b->Colors()[3], 0x0028292Au);

  Image g16 = MakeImage(3, 2, 16, 0);
  ASSERT_TRUE(Decode(*d, MakePng(g16, false)));
  b = d->GetBitmap();
  EXPECT_EQ(b->PixelLayout(), px8Bit);
  EXPECT_EQ(b->PaletteColorCount(), 256);
  EXPECT_EQ(b->Colors()[200], 0x00C8C8C8u);
  EXPECT_EQ(b->ScanLine(1)[2], g16.rows[1][4]);
}

TEST(Png, GammaTable) {
  uint8_t t[256];
  BuildGammaTable(45455, t);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(t[i], i);
  BuildGammaTable(100000, t);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[128], 186);
  EXPECT_EQ(t[255], 255);

  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  for (int i = 0; i < 256; ++i) ASSERT_EQ(d->GammaTable[i], i);
  Image rgb{1, 1, 8, 2, {{128, 128, 128}}};
  // Non-interlaced 8-bit RGB is copied without gamma; Adam7 applies it.
  ASSERT_TRUE(Decode(*d, MakePng(rgb, false, 0, {}, BigEndian(100000))));
  EXPECT_EQ(d->GetBitmap()->ScanLine(0)[0], 128);
  EXPECT_EQ(d->GammaTable[128], 186);
  ASSERT_TRUE(Decode(*d, MakePng(rgb, true, 0, {}, BigEndian(100000))));
  EXPECT_EQ(d->GetBitmap()->ScanLine(0)[0], 186);
  // The palette is built through the table current when it is read.
  Image pal{1, 1, 8, 3, {{0}}};
  ASSERT_TRUE(Decode(*d, MakePng(pal, false, 0, {128, 0, 255}, BigEndian(100000))));
  EXPECT_EQ(d->GetBitmap()->Colors()[0], 0x00BA00FFu);
  // Every load starts from the identity.
  ASSERT_TRUE(Decode(*d, MakePng(rgb, true)));
  EXPECT_EQ(d->GetBitmap()->ScanLine(0)[0], 128);
}

TEST(Png, DamagedFilesKeepDecodedRowsAndStayInBounds) {
  Image im = MakeImage(40, 30, 8, 2);
  Bytes full = MakePng(im, false);
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  // Cut in the middle of the image data: early rows are right, late ones zero.
  Bytes cut(full.begin(), full.begin() + full.size() / 2);
  EXPECT_TRUE(Decode(*d, cut));
  TBitmapObject* b = d->GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->ScanLine(0)[0], im.rows[0][2]);
  EXPECT_EQ(b->ScanLine(29)[0], 0);
  EXPECT_EQ(b->ScanLine(29)[3 * 39 + 2], 0);

  // A wrong checksum at the end of the data: every row was decoded before
  // it shows, so all of them stay, the last one included (as libpng keeps
  // them), in both the batched and the row-by-row paths.
  for (uint8_t type : {uint8_t(2), uint8_t(0)}) {
    Image small = MakeImage(17, 9, 8, type, 5);
    Bytes z = Deflate(Encode(small, false));
    z.back() ^= 0x5A;
    Bytes bad = PngSignature();
    AddChunk(bad, "IHDR", IhdrData(small.w, small.h, 8, type));
    AddChunk(bad, "IDAT", z);
    AddChunk(bad, "IEND", {});
    Decode(*d, bad);
    EXPECT_EQ(d->LastError(), png_data_checksum) << int(type);
    TBitmapObject* kept = d->GetBitmap();
    ASSERT_NE(kept, nullptr) << int(type);
    const int channels = Channels(type);
    for (uint32_t y = 0; y < small.h; ++y)
      for (uint32_t x = 0; x < small.w; ++x) {
        // RGB is stored as BGR.
        const uint8_t* px = kept->ScanLine(int32_t(y)) + x * channels;
        const uint8_t* want = small.rows[y].data() + x * channels;
        for (int c = 0; c < channels; ++c)
          ASSERT_EQ(px[c], want[channels == 3 ? 2 - c : c]) << int(type) << " row " << y << " x " << x;
      }
  }

  // Lengths far past the stream's end, in every chunk kind.
  for (const char* type : {"IHDR", "PLTE", "tEXt", "IDAT", "zzzz", "gAMA"}) {
    Bytes f = PngSignature();
    if (std::strcmp(type, "IHDR") != 0) AddChunk(f, "IHDR", IhdrData(4, 4, 8, 3));
    PutBE32(f, 0x7FFFFFF0u);
    f.insert(f.end(), type, type + 4);
    f.insert(f.end(), 20, 0x78);
    Decode(*d, f);
    EXPECT_NE(d->LastError(), pic_ok) << type;
  }
  // Pixels and alpha plane together over the limit, each one under it:
  // refused before either is allocated.
  Bytes greyAlpha = PngSignature();
  AddChunk(greyAlpha, "IHDR", IhdrData(63230, 2336, 16, 4));
  AddChunk(greyAlpha, "IDAT", Deflate(Bytes(100, 0)));
  AddChunk(greyAlpha, "IEND", {});
  EXPECT_FALSE(Decode(*d, greyAlpha));
  EXPECT_EQ(d->LastError(), pic_over_limit);
  EXPECT_EQ(d->GetBitmap(), nullptr);
  // The largest header: refused without a 16 GiB allocation.
  Bytes huge = PngSignature();
  AddChunk(huge, "IHDR", IhdrData(65535, 65535, 16, 6));
  AddChunk(huge, "IDAT", Deflate(Bytes(100, 0)));
  AddChunk(huge, "IEND", {});
  EXPECT_FALSE(Decode(*d, huge));
  EXPECT_EQ(d->GetBitmap(), nullptr);
  // Zero width: loads, nothing to lend.
  Bytes empty = PngSignature();
  AddChunk(empty, "IHDR", IhdrData(0, 5, 8, 2));
  AddChunk(empty, "IDAT", Deflate(Bytes(5, 0)));
  AddChunk(empty, "IEND", {});
  EXPECT_TRUE(Decode(*d, empty));
  EXPECT_EQ(d->GetBitmap(), nullptr);
}

TEST(Png, ChecksumEqualsZlibsForEveryLengthAndStart) {
  Bytes data(1 << 20);
  uint32_t x = 7;
  for (auto& b : data) b = uint8_t((x = x * 1103515245u + 12345) >> 23);
  for (uint32_t start : {1u, 0x0000FFF0u, 0xFFF0FFF0u, 0x12345678u & 0xFFF0FFF0u})
    for (size_t off = 0; off < 16; ++off)
      for (size_t n = 0; n < 300; ++n)
        ASSERT_EQ(Adler32(start, data.data() + off, n), adler32(start, data.data() + off, uInt(n)))
            << start << " " << off << " " << n;
  // Long runs of the largest byte are where the sums would overflow.
  for (uint8_t fill : {uint8_t(0xFF), uint8_t(0x00), uint8_t(0x80)}) {
    Bytes same(3u << 20, fill);
    for (size_t n : {size_t(5551), size_t(5552), size_t(5553), size_t(5536 * 3 + 31), same.size()})
      EXPECT_EQ(Adler32(0xFFF0FFF0u, same.data(), n), adler32(0xFFF0FFF0u, same.data(), uInt(n)))
          << int(fill) << " " << n;
  }
  EXPECT_EQ(Adler32(1, data.data(), data.size()), adler32(1, data.data(), uInt(data.size())));
}

TEST(Png, StoredChecksumIsComparedWhereverItLies) {
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder(), ref(CreatePngDecoder());
  // The checksum is met while rows are still wanted: in the read that ends
  // the last rows, or, when the data holds fewer rows than the header says,
  // wherever it lies. Small pieces put its four bytes into separate chunks
  // in every way; over 64 KiB of data puts it after a full input read.
  for (auto [w, h] : {std::pair<uint32_t, uint32_t>{11, 7}, {300, 90}}) {
    Image im = MakeImage(w, h, 8, 2, 3);
    ASSERT_TRUE(Decode(*ref, MakePng(im, false)));
    Bytes want = Rows(ref->GetBitmap());
    for (bool shortData : {false, true}) {
      Image part = im;
      if (shortData) part.rows.resize(h - 2);
      Bytes z = Deflate(Encode(part, false));
      Bytes wantHere = want;
      if (shortData) std::fill(wantHere.end() - 2 * (wantHere.size() / h), wantHere.end(), 0);
      for (int flip = -1; flip < 4; ++flip) {
        Bytes zz = z;
        if (flip >= 0) zz[zz.size() - 4 + flip] ^= 0x01;
        std::vector<size_t> pieces{zz.size()};
        if (shortData) pieces = {1, 2, 3, 5, zz.size() - 3, zz.size() - 1, zz.size()};
        for (size_t piece : pieces) {
          Bytes f = PngSignature();
          AddChunk(f, "IHDR", IhdrData(w, h, 8, 2));
          for (size_t i = 0; i < zz.size(); i += piece)
            AddChunk(f, "IDAT", Bytes(zz.begin() + i, zz.begin() + std::min(zz.size(), i + piece)));
          AddChunk(f, "IEND", {});
          std::string what = std::to_string(w) + (shortData ? " short" : "") + " flip " + std::to_string(flip) +
                             " piece " + std::to_string(piece);
          EXPECT_TRUE(Decode(*d, f)) << what;
          // Short data goes on to look for more and meets the end chunk.
          EXPECT_EQ(d->LastError(), flip >= 0 ? png_data_checksum : shortData ? png_not_idat : pic_ok) << what;
          ASSERT_NE(d->GetBitmap(), nullptr) << what;
          EXPECT_EQ(Rows(d->GetBitmap()), wantHere) << what;
          EXPECT_NE(d->Find("IEND"), nullptr) << what;
        }
      }
    }
  }
  // The stream header is still zlib's to check: a wrong check value, another
  // method and a preset dictionary are errors, with nothing decoded.
  Image im = MakeImage(9, 4, 8, 0);
  Bytes z = Deflate(Encode(im, false));
  for (int fault = 0; fault < 3; ++fault) {
    Bytes zz = z;
    if (fault == 0) zz[1] ^= 0x01;
    if (fault == 1) zz[0] = (zz[0] & 0xF0) | 7, zz[1] = uint8_t(zz[1] + (31 - ((zz[0] << 8) + zz[1]) % 31) % 31);
    if (fault == 2) zz[1] |= 0x20, zz[1] = uint8_t((zz[1] & 0xE0) + (31 - ((zz[0] << 8) + (zz[1] & 0xE0)) % 31) % 31);
    ASSERT_EQ(((zz[0] << 8) + zz[1]) % 31 == 0, fault != 0) << fault;
    Bytes f = PngSignature();
    AddChunk(f, "IHDR", IhdrData(9, 4, 8, 0));
    AddChunk(f, "IDAT", zz);
    AddChunk(f, "IEND", {});
    Decode(*d, f);
    EXPECT_EQ(d->LastError(), png_inflate) << fault;
    ASSERT_NE(d->GetBitmap(), nullptr);
    Bytes rows = Rows(d->GetBitmap());
    EXPECT_EQ(std::count(rows.begin(), rows.end(), 0), std::ptrdiff_t(rows.size())) << fault;
  }
}

TEST(Png, LentBitmapIsCopiedByAssignAndFreedOnReload) {
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  Image im = MakeImage(5, 5, 8, 2);
  ASSERT_TRUE(Decode(*d, MakePng(im, false)));
  TBitmapObject* lent = d->GetBitmap();
  EXPECT_EQ(lent->Bits(), d->Header()->Rows);
  std::unique_ptr<TBitmapObject> copy = CreateDeviceBitmap(0, 0);
  ASSERT_TRUE(copy->Assign(lent));
  Bytes before = Rows(copy.get());
  ASSERT_TRUE(Decode(*d, MakePng(MakeImage(2, 2, 8, 0), false)));
  EXPECT_EQ(Rows(copy.get()), before);
  EXPECT_EQ(d->GetBitmap()->Width(), 2);
  d->Clear();
  EXPECT_EQ(d->GetBitmap(), nullptr);
}

TEST(PictureResult, EveryCodeHasATextOfItsOwn) {
  std::set<std::string> texts;
  for (int r = pic_ok; r <= jpeg_decode; ++r) {
    std::string text = PictureResultMessage(TPictureResult(r));
    EXPECT_NE(text, PictureResultMessage(TPictureResult(jpeg_decode + 1))) << r;
    EXPECT_TRUE(texts.insert(text).second) << r << " repeats " << text;
  }
}
