#include "plugin/panel_preview.h"

#include <cstring>
#include <memory>
#include <utility>

#include "framework/exception.h"
#include "imaging/area_scale.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"

namespace hi {

const char* PanelStageName(TPanelStage stage) {
  switch (stage) {
    case TPanelStage::ok: return "ok";
    case TPanelStage::no_file: return "no file";
    case TPanelStage::not_document: return "not a document";
    case TPanelStage::document: return "no preview from the document";
    case TPanelStage::too_large: return "the preview is too large for a thumbnail";
    case TPanelStage::picture: return "the preview does not decode";
    case TPanelStage::box: return "the box has no size";
  }
  return "unknown stage";
}

namespace {

uint32_t Get32Be(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint32_t Get32Le(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t Get16Le(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

// The pixel count a preview's header declares, read as its decoder reads
// it: a PNG's IHDR (always the first chunk), a BMP's or bare DIB's
// information header (40 bytes, or the 12-byte core header). False for a
// header the decoder will refuse by itself before it allocates.
bool DeclaredPixels(const TPreview& preview, uint64_t& pixels) {
  const std::vector<uint8_t>& b = preview.bytes;
  int64_t width = 0, height = 0;
  if (preview.kind == TPreviewKind::png) {
    if (b.size() < 24 || Get32Be(b.data() + 8) < 13 || std::memcmp(b.data() + 12, "IHDR", 4) != 0) return false;
    width = Get32Be(b.data() + 16);
    height = Get32Be(b.data() + 20);
  } else {
    const size_t at = b.size() >= 2 && b[0] == 'B' && b[1] == 'M' ? 14 : 0;
    if (b.size() < at + 12) return false;
    const uint8_t* h = b.data() + at;
    if (Get32Le(h) == 12) {
      width = Get16Le(h + 4);
      height = Get16Le(h + 6);
    } else {
      width = int32_t(Get32Le(h + 4));
      height = int32_t(Get32Le(h + 8));
    }
  }
  // Sides up to 2^32 each: the product fits in 64 bits.
  pixels = uint64_t(width < 0 ? -width : width) * uint64_t(height < 0 ? -height : height);
  return true;
}

TPanelResult Fail(TPanelStage stage, TDocResult document = TDocResult::ok, TPictureResult picture = pic_ok) {
  TPanelResult r;
  r.stage = stage;
  r.document = document;
  r.picture = picture;
  return r;
}

// The decoded preview: the PNG decoder's own bitmap over its rows, or a
// bitmap loaded from the BMP or DIB bytes.
struct TDecoded {
  std::unique_ptr<TPngDecoder> png;
  std::unique_ptr<TBitmapObject> bmp;
  TBitmapObject* bitmap = nullptr;
  TPictureResult result = pic_ok;
};

void Decode(const TPreview& preview, TDecoded& d) {
  TMemoryStream stream(preview.bytes.data(), preview.bytes.size());
  if (preview.kind == TPreviewKind::png) {
    d.png = CreatePngDecoder();
    if (d.png->LoadFromStream(stream) && d.png->LastError() == pic_ok) d.bitmap = d.png->GetBitmap();
    d.result = d.png->LastError();
    return;
  }
  d.bmp = std::make_unique<TBitmapObject>();
  // A header the bitmap model refuses raises its assertion: a damaged preview.
  try {
    if (d.bmp->LoadFromStream(stream)) d.bitmap = d.bmp.get();
  } catch (const Exception&) {
    d.bitmap = nullptr;
  }
  d.result = d.bmp->LastError();
}

}  // namespace

TPanelResult MakePanelThumbnail(TDocSource& source, int32_t boxWidth, int32_t boxHeight, TPanelThumbnail& thumbnail,
                                const TPanelLimits& limits) {
  thumbnail = TPanelThumbnail();
  if (boxWidth <= 0 || boxHeight <= 0) return Fail(TPanelStage::box);
  TPreview preview = ReadPreview(source, limits.document);
  if (preview.result != TDocResult::ok) return Fail(TPanelStage::document, preview.result);
  uint64_t pixels = 0;
  if (DeclaredPixels(preview, pixels) && pixels > limits.maxPixels) return Fail(TPanelStage::too_large);
  TDecoded decoded;
  Decode(preview, decoded);
  TBitmapObject* b = decoded.bitmap;
  if (b == nullptr || b->IsEmpty() || !b->Header() || !b->Bits())
    return Fail(TPanelStage::picture, TDocResult::ok, decoded.result != pic_ok ? decoded.result : pic_truncated);
  const int32_t width = b->Width(), height = b->Height();
  // The scaler reads 24-bit rows where they lie, in any order and either
  // direction; only other layouts are expanded, once, into red-green-blue.
  const uint8_t* src = nullptr;
  ptrdiff_t stride = 0;
  std::vector<uint8_t> rgb;
  const bool direct = b->PixelLayout() == px24Bit && int64_t(b->ScanLineSize()) >= RowStride(24, width);
  if (direct) {
    src = b->ScanLine(0);
    stride = height > 1 ? b->ScanLine(1) - src : 0;
  } else {
    if (!ExpandToRgb(*b, rgb)) return Fail(TPanelStage::picture, TDocResult::ok, pic_truncated);
    src = rgb.data();
    stride = ptrdiff_t(width) * 3;
  }
  int32_t w = 0, h = 0;
  if (!FitInside(width, height, boxWidth, boxHeight, w, h)) return Fail(TPanelStage::box);
  thumbnail.bgr.resize(size_t(w) * size_t(h) * 3);
  if (!AreaScale24(src, width, height, stride, thumbnail.bgr.data(), w, h, ptrdiff_t(w) * 3)) {
    thumbnail.bgr.clear();
    return Fail(TPanelStage::box);
  }
  if (!direct)
    for (size_t i = 0; i < thumbnail.bgr.size(); i += 3) std::swap(thumbnail.bgr[i], thumbnail.bgr[i + 2]);
  thumbnail.width = w;
  thumbnail.height = h;
  thumbnail.pictureWidth = width;
  thumbnail.pictureHeight = height;
  return TPanelResult();
}

TPanelResult MakePanelThumbnailFile(const std::string& utf8Name, const void* head, size_t headSize, int32_t boxWidth,
                                    int32_t boxHeight, TPanelThumbnail& thumbnail, const TPanelLimits& limits) {
  thumbnail = TPanelThumbnail();
  if (utf8Name.empty() || utf8Name.back() == '\\' || utf8Name.back() == '/') return Fail(TPanelStage::no_file);
  if (headSize > 0 && DocumentEraOf(head, headSize) == TDocEra::none) return Fail(TPanelStage::not_document);
  std::unique_ptr<TDocSource> source = OpenDocFile(utf8Name);
  if (!source) return Fail(TPanelStage::document, TDocResult::read_error);
  return MakePanelThumbnail(*source, boxWidth, boxHeight, thumbnail, limits);
}

}  // namespace hi
