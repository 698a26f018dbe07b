// The panel thumbnail service natively, under the sanitizers: its pixels
// against the plain route (decoder, expansion to red-green-blue, scaler),
// its size limit on the header, the hostile seeds and the kept findings.
#include "plugin/panel_preview.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "imaging/area_scale.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "tests/docreader/doc_builder.h"

using namespace hi;
using namespace testing_doc;

namespace {

// The route the panel took before: decode, expand whole, scale, swap to a DIB's order.
TPanelThumbnail Reference(const Bytes& document, int32_t boxWidth, int32_t boxHeight) {
  TPanelThumbnail t;
  TPreview p = ReadPreviewMemory(document.data(), document.size());
  if (p.result != TDocResult::ok) return t;
  TMemoryStream stream(p.bytes.data(), p.bytes.size());
  std::unique_ptr<TPngDecoder> png;
  std::unique_ptr<TBitmapObject> bmp;
  TBitmapObject* b = nullptr;
  if (p.kind == TPreviewKind::png) {
    png = CreatePngDecoder();
    if (png->LoadFromStream(stream)) b = png->GetBitmap();
  } else {
    bmp = std::make_unique<TBitmapObject>();
    if (bmp->LoadFromStream(stream)) b = bmp.get();
  }
  std::vector<uint8_t> rgb;
  if (!b || !ExpandToRgb(*b, rgb) || !FitInside(b->Width(), b->Height(), boxWidth, boxHeight, t.width, t.height))
    return TPanelThumbnail();
  t.bgr.resize(size_t(t.width) * t.height * 3);
  AreaScale24(rgb.data(), b->Width(), b->Height(), b->Width() * 3, t.bgr.data(), t.width, t.height, t.width * 3);
  for (size_t i = 0; i < t.bgr.size(); i += 3) std::swap(t.bgr[i], t.bgr[i + 2]);
  return t;
}

TPanelResult Thumbnail(const Bytes& document, int32_t boxWidth, int32_t boxHeight, TPanelThumbnail& t,
                       const TPanelLimits& limits = TPanelLimits()) {
  TMemoryDocSource source(document.data(), document.size());
  return MakePanelThumbnail(source, boxWidth, boxHeight, t, limits);
}

// An 8-bit grey PNG with alpha: decoded to a palette layout, so expanded.
Bytes GreyAlphaPng(uint32_t w, uint32_t h) {
  Bytes raw;
  for (uint32_t y = 0; y < h; ++y) {
    raw.push_back(uint8_t(y % 5));  // every filter type
    for (uint32_t x = 0; x < w; ++x) {
      raw.push_back(uint8_t(x * 7 + y * 3));
      raw.push_back(uint8_t(x ^ y));
    }
  }
  Bytes png = testing_imaging::PngSignature();
  testing_imaging::AddChunk(png, "IHDR", testing_imaging::IhdrData(w, h, 8, 4));
  testing_imaging::AddChunk(png, "IDAT", testing_imaging::Deflate(raw));
  testing_imaging::AddChunk(png, "IEND", {});
  return png;
}

}  // namespace

TEST(PanelThumbnail, PixelsEqualThePlainRoute) {
  const std::vector<std::pair<const char*, Bytes>> docs = {
      {"24-bit PNG, read in place", ModernDocument(Png24(301, 173, 5), 8)},
      {"24-bit BMP, bottom-up rows read in place", BmpEraDocument(Bmp24(150, 233, 6), 0)},
      {"8-bit DISP, expanded", BuildRiff({{"DISP", DispData(97, 61, 0)}})},
      {"grey PNG with alpha, expanded", ModernDocument(GreyAlphaPng(140, 90), 0)},
  };
  for (const auto& d : docs)
    for (const auto& box : {std::make_pair(128, 128), std::make_pair(40, 90), std::make_pair(1000, 1000)}) {
      SCOPED_TRACE(std::string(d.first) + " into " + std::to_string(box.first) + "x" + std::to_string(box.second));
      TPanelThumbnail t;
      TPanelResult r = Thumbnail(d.second, box.first, box.second, t);
      ASSERT_TRUE(r.Ok()) << PanelStageName(r.stage);
      TPanelThumbnail want = Reference(d.second, box.first, box.second);
      ASSERT_FALSE(want.bgr.empty());
      EXPECT_EQ(t.width, want.width);
      EXPECT_EQ(t.height, want.height);
      EXPECT_TRUE(t.bgr == want.bgr);
    }
}

TEST(PanelThumbnail, SizeLimitOnTheHeaderAndEachStageItsCode) {
  const Bytes doc = ModernDocument(Png24(200, 150, 1), 0);
  TPanelLimits limits;
  limits.maxPixels = 200 * 150;
  TPanelThumbnail t;
  EXPECT_TRUE(Thumbnail(doc, 64, 64, t, limits).Ok());
  limits.maxPixels -= 1;
  TPanelResult r = Thumbnail(doc, 64, 64, t, limits);
  EXPECT_EQ(r.stage, TPanelStage::too_large);
  EXPECT_TRUE(t.bgr.empty());

  // The reader's code, the decoder's code, the box.
  Bytes broken = Png24(20, 20, 1);
  broken[broken.size() - 30] ^= 0x55;  // inside IDAT: the data no longer inflates to its check
  r = Thumbnail(ModernDocument(broken, 0), 64, 64, t);
  EXPECT_EQ(r.stage, TPanelStage::picture);
  EXPECT_NE(r.picture, pic_ok);
  r = Thumbnail(BuildRiff({{"LIST", Bytes(8, 0)}}), 64, 64, t);
  EXPECT_EQ(r.stage, TPanelStage::document);
  EXPECT_EQ(r.document, TDocResult::no_preview);
  EXPECT_EQ(Thumbnail(doc, 0, 64, t).stage, TPanelStage::box);

  // By name: a folder and a file whose first bytes are no document's are never opened.
  EXPECT_EQ(MakePanelThumbnailFile("/nonexistent/dir/", nullptr, 0, 64, 64, t).stage, TPanelStage::no_file);
  EXPECT_EQ(MakePanelThumbnailFile("/nonexistent/x.cdr", "RIFF\0\0\0\0WAVE", 12, 64, 64, t).stage,
            TPanelStage::not_document);
  r = MakePanelThumbnailFile("/nonexistent/x.cdr", "PK\3\4", 4, 64, 64, t);
  EXPECT_EQ(r.document, TDocResult::read_error);
}

// Declared sizes past any thumbnail, mostly without rows: each is refused
// from its header (or by the reader) and never reaches a decoder. Kept
// fuzz findings must give a result without fault.
TEST(PanelThumbnail, HostileSeedsAndKeptFindings) {
  std::vector<std::string> seeds = testing_imaging::ListFiles(SEEDS_DIR, ".cdr");
  ASSERT_GE(seeds.size(), 6u);
  for (const std::string& name : seeds) {
    SCOPED_TRACE(name);
    Bytes data = testing_imaging::ReadFileBytes(name);
    TPanelThumbnail t;
    TPanelResult r = Thumbnail(data, 256, 256, t);
    EXPECT_TRUE(r.stage == TPanelStage::too_large || r.stage == TPanelStage::document) << PanelStageName(r.stage);
    EXPECT_TRUE(t.bgr.empty());
  }
  for (const std::string& name : testing_imaging::ListFiles(REGRESS_DIR, "")) {
    if (name.find("README") != std::string::npos) continue;
    SCOPED_TRACE(name);
    Bytes data = testing_imaging::ReadFileBytes(name);
    TPanelThumbnail t;
    TPanelResult r = Thumbnail(data, 96, 96, t);
    EXPECT_EQ(r.Ok(), !t.bgr.empty());
    EXPECT_EQ(t.bgr.size(), size_t(t.width) * t.height * 3);
  }
}
