// picdump FILE OUT.bmp: reads FILE with the system's own readers, chosen by
// content (PNG, BMP, ICO, PCX, JPEG, or a drawing document, whose preview is
// found by the document reader), writes the picture as an uncompressed
// 24-bit BMP and prints
//   doc member=NAME kind=KIND result=MESSAGE     (documents only, first)
//   format WIDTHxHEIGHT layout=NAME result=CODE
// CODE is the reader's TPictureResult (-1 when no reader ran), whose text
// goes to standard error. Exit 0 when a picture came out, 1 when none.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "docreader/doc_reader.h"
#include "framework/checked_size.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/icon.h"
#include "imaging/jpeg_picture.h"
#include "imaging/pcx_picture.h"
#include "imaging/picture_result.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"

namespace {

using namespace hi;

const char* LayoutName(TPixelLayout l) {
  static const char* const names[] = {"pxDevice", "px1Bit",  "px4Bit",  "px8Bit",  "px15Bit",
                                      "px16Bit",  "px24Bit", "px32Bit", "pxCustom"};
  return l <= pxCustom ? names[l] : "pxCustom";
}

std::string Sniff(const uint8_t* p, size_t n) {
  static const uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n >= 8 && std::memcmp(p, png, 8) == 0) return "png";
  if (n >= 4 && std::memcmp(p, "PK\3\4", 4) == 0) return "doc";
  if (n >= 12 && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "CDR", 3) == 0) return "doc";
  if (n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) return "jpeg";
  if (n >= 2 && p[0] == 'B' && p[1] == 'M') return "bmp";
  if (n >= 4 && ((p[0] == 40 || p[0] == 12) && p[1] == 0 && p[2] == 0 && p[3] == 0)) return "bmp";
  if (n >= 4 && p[0] == 0 && p[1] == 0 && (p[2] == 1 || p[2] == 2) && p[3] == 0) return "ico";
  if (n >= 1 && p[0] == 10) return "pcx";
  return "unknown";
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Bottom-up 24-bit rows written straight from the picture's own rows: a
// 24-bit picture (what the PNG and JPEG readers make) is copied row by row
// as it lies; 32-bit rows lose their fourth byte and 8-bit rows are looked
// up in the colour table on the way; only other layouts go through the
// whole-picture expansion.
bool WriteBmp24(const std::string& name, TBitmapObject& picture) {
  int32_t w = picture.Width(), h = picture.Height();
  TPixelLayout layout = picture.PixelLayout();
  int64_t stride = RowStride(24, w);
  std::vector<uint8_t> rgb;
  bool direct = (layout == px8Bit || layout == px24Bit || layout == px32Bit) && picture.Colors() &&
                picture.ScanLineSize() >= RowStride(LayoutBits(layout), w);
  // The file's size fields hold 32 bits.
  const int64_t rowBytes = CheckedProduct(stride, h, int64_t(UINT32_MAX) - 54);
  if (rowBytes < 0) return false;
  if (!direct && !ExpandToRgb(picture, rgb)) return false;
  uint8_t head[54] = {'B', 'M'};
  Put32(head + 2, uint32_t(54 + rowBytes));
  Put32(head + 10, 54);
  Put32(head + 14, 40);
  Put32(head + 18, uint32_t(w));
  Put32(head + 22, uint32_t(h));
  head[26] = 1;
  head[28] = 24;
  Put32(head + 34, uint32_t(rowBytes));
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
  std::vector<uint8_t> row(size_t(stride), 0);
  for (int32_t y = h - 1; ok && y >= 0; --y) {
    const uint8_t* out = row.data();
    if (layout == px24Bit && direct) {
      out = picture.ScanLine(y);
    } else if (layout == px32Bit && direct) {
      const uint8_t* s = picture.ScanLine(y);
      for (int32_t x = 0; x < w; ++x) std::memcpy(&row[3 * size_t(x)], s + 4 * size_t(x), 3);
    } else if (direct) {
      const uint8_t* s = picture.ScanLine(y);
      const uint32_t* colors = picture.Colors();
      for (size_t x = 0; x < size_t(w); ++x) {
        uint32_t c = colors[s[x]];
        row[3 * x] = uint8_t(c);
        row[3 * x + 1] = uint8_t(c >> 8);
        row[3 * x + 2] = uint8_t(c >> 16);
      }
    } else {
      const uint8_t* s = rgb.data() + size_t(y) * w * 3;
      for (size_t x = 0; x < size_t(w); ++x) {
        row[3 * x] = s[3 * x + 2];
        row[3 * x + 1] = s[3 * x + 1];
        row[3 * x + 2] = s[3 * x];
      }
    }
    ok = std::fwrite(out, 1, size_t(stride), f) == size_t(stride);
  }
  return std::fclose(f) == 0 && ok;
}

struct TDecoded {
  std::string format;
  int result = -1;
  TBitmapObject* picture = nullptr;
  std::unique_ptr<TBitmapObject> owned;
  std::unique_ptr<TPngDecoder> png;
  std::unique_ptr<TPcxPicture> pcx;
  std::unique_ptr<TJpegPicture> jpeg;
};

void DecodeStream(TStream& s, const std::string& format, TDecoded& d) {
  d.format = format;
  if (format == "png") {
    d.png = CreatePngDecoder();
    d.png->LoadFromStream(s);
    d.result = d.png->LastError();
    d.picture = d.png->GetBitmap();
  } else if (format == "bmp") {
    d.owned = CreateDeviceBitmap(0, 0);
    d.owned->LoadFromStream(s);
    d.result = d.owned->LastError();
    d.picture = d.owned.get();
  } else if (format == "ico") {
    std::unique_ptr<TIconObject> icon = CreateIconObject();
    icon->LoadFromStream(s);
    d.result = icon->LastError();
    if (d.result == pic_ok) d.owned = icon->ComposeBitmap(0xFFFFFF);
    d.picture = d.owned.get();
  } else if (format == "pcx") {
    d.pcx = CreatePcxPicture();
    d.pcx->LoadFromStream(s);
    d.result = d.pcx->LastError();
    d.picture = d.pcx->Bitmap();
  }
}

int Run(const std::string& in, const std::string& outName) {
  uint8_t head[16] = {};
  size_t n = 0;
  {
    TFileStream f(in, TFileStream::fmOpenRead);
    if (!f.IsOpen()) {
      std::printf("unknown 0x0 layout=pxDevice result=-1\n");
      return 1;
    }
    n = f.Read(head, sizeof head);
  }
  std::string format = Sniff(head, n);
  TDecoded d;
  d.format = format;
  try {
    if (format == "doc") {
      TPreview preview = ReadPreviewFile(in);
      std::printf("doc member=%s kind=%s result=%s\n", preview.source.empty() ? "-" : preview.source.c_str(),
                  PreviewKindName(preview.kind), DocResultMessage(preview.result));
      if (preview.result == TDocResult::ok) {
        TMemoryStream s(preview.bytes.data(), preview.bytes.size());
        DecodeStream(s, preview.kind == TPreviewKind::png ? "png" : "bmp", d);
      }
    } else if (format == "jpeg") {
      d.jpeg = std::make_unique<TJpegPicture>();
      d.picture = d.jpeg->LoadFromFile(in) ? d.jpeg->GetBitmap() : nullptr;
      d.result = d.jpeg->LastError();
    } else {
      TFileStream f(in, TFileStream::fmOpenRead);
      DecodeStream(f, format, d);
    }
  } catch (const std::exception& e) {
    // The bitmap model's assertions: the file is unreadable.
    std::fprintf(stderr, "picdump: %s\n", e.what());
    d.picture = nullptr;
  }
  if (d.result > 0) std::fprintf(stderr, "picdump: %s\n", PictureResultMessage(TPictureResult(d.result)));
  TBitmapObject* p = d.picture;
  bool ok = p && !p->IsEmpty() && p->Header() && p->Bits() && p->PixelLayout() != pxCustom;
  std::printf("%s %dx%d layout=%s result=%d\n", d.format.c_str(), ok ? p->Width() : 0, ok ? p->Height() : 0,
              LayoutName(ok ? p->PixelLayout() : pxDevice), d.result);
  if (!ok) return 1;
  if (!WriteBmp24(outName, *p)) {
    std::fprintf(stderr, "picdump: cannot write %s\n", outName.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: picdump FILE OUT.bmp\n");
    return 1;
  }
  try {
    return Run(argv[1], argv[2]);
  } catch (...) {
    std::printf("unknown 0x0 layout=pxDevice result=-1\n");
    return 1;
  }
}
