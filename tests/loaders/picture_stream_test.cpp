#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#ifdef _WIN32
#include <windows.h>
#endif

#include "imaging/bitmap.h"
#include "imaging/picture_stream.h"
#include "imaging/png_element.h"
#include "tests/loaders/loader_files.h"
#ifdef _WIN32
#include "toolkit/handles.h"
#endif

using namespace hi;
using namespace loaders_test;

namespace {

#ifdef _WIN32
// A device bitmap's pixel, read back through the system at 32 bits.
uint32_t HandlePixel(TBitmapObject* b, int32_t x, int32_t y) {
  std::vector<uint32_t> px(size_t(b->Width()) * b->Height());
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = b->Width();
  bi.bmiHeader.biHeight = -b->Height();
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  const int lines = GetDIBits(kol::WindowDc::ForWindow(nullptr).get(), static_cast<HBITMAP>(b->Handle()), 0,
                              UINT(b->Height()), px.data(), &bi, DIB_RGB_COLORS);
  if (lines != b->Height()) ADD_FAILURE() << "GetDIBits " << lines;
  return px[size_t(y) * b->Width() + x] & 0xFFFFFF;
}
#endif

struct PictureSink {
  struct Got {
    TBitmapObject* ref;
    int32_t w, h;
    std::vector<uint32_t> samples;
    bool hasRows = false;
    int layout = -1;
  };
  std::vector<Got> got;
  std::vector<std::pair<int32_t, int32_t>> at;  // pixels sampled during the event
  void doIn(TData& v, uint16_t) {
    ASSERT_EQ(TypeOf(v), data_bitmap);
    auto* b = static_cast<TBitmapObject*>(v.ObjRef);
    Got g{b, b ? b->Width() : -1, b ? b->Height() : -1, {}};
    g.hasRows = b && b->Bits();
    g.layout = b ? int(b->PixelLayout()) : -1;
    if (b && !b->IsEmpty() && b->Bits())
      for (auto& p : at) g.samples.push_back(PixelRgb(b, p.first, p.second));
#ifdef _WIN32
    else if (b && !b->IsEmpty() && b->Handle())
      for (auto& p : at) g.samples.push_back(HandlePixel(b, p.first, p.second));
#endif
    got.push_back(g);
  }
};

struct NameSource {
  std::string name;
  void Get(TData& v, uint16_t) { MakeString(v, name); }
};

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveSamples()) GTEST_FAIL() << "third-party sample folders not configured";
    InstallDispatchers();
    stream.onLoad = LinkTo<&PictureSink::doIn>(&sink);
  }
  void TearDown() override { ResetDispatchers(); }

  // Loads through doLoad with the name as the event value.
  void Load(const std::string& name, std::vector<std::pair<int32_t, int32_t>> at = {}) {
    sink.at = std::move(at);
    TData v;
    MakeString(v, name);
    stream.doLoad(v, 0);
  }

  THIPictureStream stream;
  PictureSink sink;
};

Bytes BmpHeader(int32_t w, int32_t h, uint16_t bits, uint32_t compression) {
  Bytes b(54 + 64, 0);
  b[0] = 'B';
  b[1] = 'M';
  b[10] = 54;
  b[14] = 40;
  std::memcpy(&b[18], &w, 4);
  std::memcpy(&b[22], &h, 4);
  b[26] = 1;
  std::memcpy(&b[28], &bits, 2);
  std::memcpy(&b[30], &compression, 4);
  return b;
}

}  // namespace

TEST(PictureReaderChoice, LastDotLoweredInAscii) {
  EXPECT_EQ(ChoosePictureReader("C:\\a\\Photo.JPEG"), prJpeg);
  EXPECT_EQ(ChoosePictureReader("x.jpg"), prJpeg);
  EXPECT_EQ(ChoosePictureReader("archive.tar.bmp"), prBmp);
  EXPECT_EQ(ChoosePictureReader("ICON.Ico"), prIcon);
  EXPECT_EQ(ChoosePictureReader("p.PCX"), prPcx);
  EXPECT_EQ(ChoosePictureReader("noextension"), prNone);
  EXPECT_EQ(ChoosePictureReader("C:\\pics.bmp\\picture"), prNone);
  EXPECT_EQ(PictureExtension("C:\\pics.bmp\\picture"), ".bmp\\picture");
  EXPECT_EQ(ChoosePictureReader("a.bmp.png"), prNone);
  EXPECT_EQ(ChoosePictureReader("a.jpe"), prNone);
  EXPECT_EQ(ChoosePictureReader("a."), prNone);
  // Only A to Z are folded.
  EXPECT_EQ(PictureExtension("A.\xC9XE"), ".\xC9xe");
}

TEST_F(LoaderTest, EachReaderSendsItsPicture) {
  Load(PillowSample("bmp/g/rgb24.bmp"), {{0, 0}, {60, 30}, {126, 63}, {10, 50}});
  ASSERT_EQ(sink.got.size(), 1u);
  EXPECT_EQ(sink.got[0].w, 127);
  EXPECT_EQ(sink.got[0].h, 64);
  EXPECT_EQ(sink.got[0].samples, (std::vector<uint32_t>{0xFF0000, 0x000000, 0x60607E, 0x355252}));

  // The 32-pixel image of the icon, over white where it is transparent.
  Load(PillowSample("python.ico"), {{0, 0}, {16, 16}});
  ASSERT_EQ(sink.got.size(), 2u);
  EXPECT_EQ(sink.got[1].w, 32);
  EXPECT_EQ(sink.got[1].h, 32);
  EXPECT_EQ(sink.got[1].samples, (std::vector<uint32_t>{0xFFFFFF, 0xFEE764}));

  // A 1-bit PCX takes its two colours from the header palette.
  Bytes pcx = ReadBytes(PillowSample("pil184.pcx"));
  ASSERT_GT(pcx.size(), 22u);
  uint32_t c0 = uint32_t(pcx[16]) << 16 | uint32_t(pcx[17]) << 8 | pcx[18];
  uint32_t c1 = uint32_t(pcx[19]) << 16 | uint32_t(pcx[20]) << 8 | pcx[21];
  ASSERT_NE(c0, c1);
  Load(PillowSample("pil184.pcx"), {{0, 0}, {88, 1}, {91, 1}});
  ASSERT_EQ(sink.got.size(), 3u);
  EXPECT_EQ(sink.got[2].w, 447);
  EXPECT_EQ(sink.got[2].h, 144);
  // The picture starts with set bits (0xFF), later a run of clear ones.
  EXPECT_EQ(sink.got[2].samples, (std::vector<uint32_t>{c1, c0, c0}));

  Load(LibjpegSample("testorig.jpg"), {{0, 0}});
  ASSERT_EQ(sink.got.size(), 4u);
  EXPECT_EQ(sink.got[3].w, 227);
  EXPECT_EQ(sink.got[3].h, 149);
  EXPECT_EQ(sink.got[3].samples[0], PlainDecode(ReadBytes(LibjpegSample("testorig.jpg"))).Rgb(0, 0));

  // An unreadable file of a known kind still sends: empty bitmap or none.
  std::string junkBmp = WriteScratch("junk.bmp", Bytes(10, 1));
  std::string junkJpg = WriteScratch("junk.jpg", Bytes(10, 1));
  std::string junkPcx = WriteScratch("junk.pcx", Bytes(10, 1));
  Load(junkBmp);
  Load(junkJpg);
  Load(junkPcx);
  ASSERT_EQ(sink.got.size(), 7u);
  EXPECT_EQ(sink.got[4].w, 0);
  EXPECT_EQ(sink.got[5].ref, nullptr);
  EXPECT_EQ(sink.got[6].ref, nullptr);
}

TEST_F(LoaderTest, NamesPickTheirReaderOrNothing) {
  Bytes jpeg = ReadBytes(LibjpegSample("testorig.jpg"));
  Bytes bmp = ReadBytes(PillowSample("bmp/g/rgb24.bmp"));
  std::string photo = WriteScratch("Photo.JPEG", jpeg);
  std::string tarBmp = WriteScratch("archive.tar.bmp", bmp);
  std::string noDot = WriteScratch("picture", bmp);
  Load(photo);
  Load(tarBmp);
  ASSERT_EQ(sink.got.size(), 2u);
  EXPECT_EQ(sink.got[0].w, 227);
  EXPECT_EQ(sink.got[1].w, 127);

  Load(noDot);
  Load(Scratch() + "missing.bmp");
  Load(WriteScratch("hopper.png.txt", bmp));
  EXPECT_EQ(sink.got.size(), 2u);
#ifndef _WIN32
  // The only dot in a folder name: the extension runs to the end.
  std::string folder = Scratch() + "pics.bmp";
  ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
  std::string inFolder = folder + "/picture";
#else
  std::string folder = Scratch() + "pics.bmp";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string inFolder = folder + "\\picture";
#endif
  {
    std::ofstream out(inFolder, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
  }
  Load(inFolder);
  // A folder is not a file, whatever its name.
  Load(folder);
  EXPECT_EQ(sink.got.size(), 2u);

  // The property wins over the event value; a connected link wins over both.
  stream.FileName = photo;
  Load(tarBmp);
  ASSERT_EQ(sink.got.size(), 3u);
  EXPECT_EQ(sink.got[2].w, 227);
  NameSource src{tarBmp};
  stream.FileNameLink = LinkTo<&NameSource::Get>(&src);
  Load(photo);
  ASSERT_EQ(sink.got.size(), 4u);
  EXPECT_EQ(sink.got[3].w, 127);
}

TEST_F(LoaderTest, RefusedBmpHeadersSendTheEmptyBitmap) {
  // Each trips one of the bitmap model's assertions; none may escape.
  std::vector<Bytes> files = {BmpHeader(0, 4, 24, 0), BmpHeader(-3, 4, 24, 0), BmpHeader(4, 0, 24, 0),
                              BmpHeader(4, 4, 16, 1)};
  for (size_t i = 0; i < files.size(); ++i) {
    std::string name = WriteScratch("refused" + std::to_string(i) + ".bmp", files[i]);
    EXPECT_NO_THROW(Load(name)) << i;
    ASSERT_EQ(sink.got.size(), i + 1);
    ASSERT_NE(sink.got[i].ref, nullptr);
    EXPECT_EQ(sink.got[i].w, 0) << i;
    EXPECT_FALSE(sink.got[i].hasRows) << i;
  }
  // An icon whose colour image is refused the same way sends an empty bitmap.
  Bytes ico = {0, 0, 1, 0, 1, 0, 4, 4, 0, 0, 1, 0, 16, 0, 0, 0, 0, 0, 22, 0, 0, 0};
  Bytes dib = BmpHeader(4, 8, 16, 1);
  ico.insert(ico.end(), dib.begin() + 14, dib.end());
  EXPECT_NO_THROW(Load(WriteScratch("refused.ico", ico)));
  ASSERT_EQ(sink.got.size(), 5u);
  EXPECT_EQ(sink.got[4].w, 0);
}

TEST_F(LoaderTest, PngElementKeepsItsLastPicture) {
  THIPNG png;
  PictureSink ps;
  png.onBitmap = LinkTo<&PictureSink::doIn>(&ps);
  TData none;
  png.doGetBitmap(none, 2);
  ASSERT_EQ(ps.got.size(), 1u);
  EXPECT_EQ(ps.got[0].ref, nullptr);

  TData v;
  MakeString(v, PngSuiteSample("basn2c08.png"));
  png.doLoad(v, 0);
  ps.at = {{0, 0}, {31, 31}};
  png.doGetBitmap(none, 2);
  png.doGetBitmap(none, 2);
  ASSERT_EQ(ps.got.size(), 3u);
  ASSERT_NE(ps.got[1].ref, nullptr);
  EXPECT_EQ(ps.got[1].ref, ps.got[2].ref);
  EXPECT_EQ(ps.got[1].w, 32);
  EXPECT_EQ(ps.got[1].samples, (std::vector<uint32_t>{0xFFFFFF, 0x000000}));

  // A missing file leaves the decoder as it was.
  MakeString(v, Scratch() + "missing.png");
  png.doLoad(v, 0);
  png.doGetBitmap(none, 2);
  ASSERT_EQ(ps.got.size(), 4u);
  EXPECT_EQ(ps.got[3].w, 32);
  EXPECT_EQ(ps.got[3].samples, ps.got[1].samples);

  // The name comes from the link when one is connected.
  NameSource src{PngSuiteSample("basn0g01.png")};
  png.FileNameLink = LinkTo<&NameSource::Get>(&src);
  MakeString(v, PngSuiteSample("basn2c08.png"));
  png.doLoad(v, 0);
  ps.at = {};
  png.doGetBitmap(none, 2);
  ASSERT_EQ(ps.got.size(), 5u);
  EXPECT_EQ(ps.got[4].w, 32);
  EXPECT_EQ(ps.got[4].layout, int(px1Bit));
}
