// picdump FILE OUT.bmp: reads FILE with the system's own readers, chosen by
// content, writes the picture as an uncompressed 24-bit BMP and prints
//   format WIDTHxHEIGHT layout=NAME result=CODE
// CODE is the reader's TPictureResult (-1 when no reader ran), whose text
// goes to standard error. Exit 0 when a picture came out, 1 when none.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/icon.h"
#include "imaging/pcx_picture.h"
#include "imaging/picture_result.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"

namespace {

using namespace hi;

const char* LayoutName(TPixelLayout l) {
  static const char* const names[] = {"pxDevice", "px1Bit", "px4Bit", "px8Bit", "px15Bit",
                                      "px16Bit", "px24Bit", "px32Bit", "pxCustom"};
  return l <= pxCustom ? names[l] : "pxCustom";
}

std::string Sniff(const uint8_t* p, size_t n) {
  static const uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n >= 8 && std::memcmp(p, png, 8) == 0) return "png";
  if (n >= 2 && p[0] == 'B' && p[1] == 'M') return "bmp";
  if (n >= 4 && ((p[0] == 40 || p[0] == 12) && p[1] == 0 && p[2] == 0 && p[3] == 0)) return "bmp";
  if (n >= 4 && p[0] == 0 && p[1] == 0 && (p[2] == 1 || p[2] == 2) && p[3] == 0) return "ico";
  if (n >= 1 && p[0] == 10) return "pcx";
  return "unknown";
}

bool WriteBmp24(const std::string& name, int32_t w, int32_t h, const std::vector<uint8_t>& rgb) {
  std::unique_ptr<TBitmapObject> out = CreateDibBitmap(w, h, px24Bit);
  if (out->IsEmpty()) return false;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* d = out->ScanLine(y);
    const uint8_t* s = rgb.data() + size_t(y) * w * 3;
    for (int32_t x = 0; x < w; ++x) {
      d[3 * x] = s[3 * x + 2];
      d[3 * x + 1] = s[3 * x + 1];
      d[3 * x + 2] = s[3 * x];
    }
  }
  TFileStream f(name, TFileStream::fmCreate);
  if (!f.IsOpen()) return false;
  out->SaveToStream(f);
  return f.Size() == 54 + out->BitsSize();
}

int Run(const std::string& in, const std::string& outName) {
  TFileStream f(in, TFileStream::fmOpenRead);
  if (!f.IsOpen()) {
    std::printf("unknown 0x0 layout=pxDevice result=-1\n");
    return 1;
  }
  uint8_t head[16] = {};
  size_t n = f.Read(head, sizeof head);
  f.Seek(0);
  std::string format = Sniff(head, n);
  int result = -1;
  std::unique_ptr<TBitmapObject> owned;
  TBitmapObject* picture = nullptr;
  std::unique_ptr<TPngDecoder> png;
  std::unique_ptr<TPcxPicture> pcx;
  if (format == "png") {
    png = CreatePngDecoder();
    png->LoadFromStream(f);
    result = png->LastError();
    picture = png->GetBitmap();
  } else if (format == "bmp") {
    owned = CreateDeviceBitmap(0, 0);
    owned->LoadFromStream(f);
    result = owned->LastError();
    picture = owned.get();
  } else if (format == "ico") {
    std::unique_ptr<TIconObject> icon = CreateIconObject();
    icon->LoadFromStream(f);
    result = icon->LastError();
    if (result == pic_ok) owned = icon->ComposeBitmap(0xFFFFFF);
    picture = owned.get();
  } else if (format == "pcx") {
    pcx = CreatePcxPicture();
    pcx->LoadFromStream(f);
    result = pcx->LastError();
    picture = pcx->Bitmap();
  }
  if (result > 0) std::fprintf(stderr, "picdump: %s\n", PictureResultMessage(TPictureResult(result)));
  std::vector<uint8_t> rgb;
  bool ok = picture && ExpandToRgb(*picture, rgb);
  int32_t w = ok ? picture->Width() : 0, h = ok ? picture->Height() : 0;
  std::printf("%s %dx%d layout=%s result=%d\n", format.c_str(), w, h,
              LayoutName(ok ? picture->PixelLayout() : pxDevice), result);
  if (!ok) return 1;
  if (!WriteBmp24(outName, w, h, rgb)) {
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
