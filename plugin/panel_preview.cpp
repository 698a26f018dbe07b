#include "plugin/panel_preview.h"

#include <cstring>
#include <memory>

#include "docreader/doc_reader.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"

namespace hi {

bool LooksLikeDocument(const void* head, size_t size) {
  const auto* p = static_cast<const uint8_t*>(head);
  if (p == nullptr) return false;
  if (size >= 4 && std::memcmp(p, "PK\3\4", 4) == 0) return true;
  return size >= 11 && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "CDR", 3) == 0;
}

bool LoadPanelPicture(const std::string& utf8Name, const void* head, size_t headSize, TPanelPicture& picture) {
  picture = TPanelPicture();
  if (utf8Name.empty() || utf8Name.back() == '\\' || utf8Name.back() == '/') return false;
  if (headSize > 0 && !LooksLikeDocument(head, headSize)) return false;
  TPreview preview = ReadPreviewFile(utf8Name);
  if (preview.result != TDocResult::ok) return false;
  TMemoryStream stream(preview.bytes.data(), preview.bytes.size());
  TBitmapObject* bitmap = nullptr;
  std::unique_ptr<TPngDecoder> png;
  std::unique_ptr<TBitmapObject> bmp;
  if (preview.kind == TPreviewKind::png) {
    png = CreatePngDecoder();
    png->MaxPixels = MaxPixelBytes / 3;  // every pixel becomes 3 bytes below
    if (!png->LoadFromStream(stream) || png->LastError() != pic_ok) return false;
    bitmap = png->GetBitmap();
  } else {
    bmp = std::make_unique<TBitmapObject>();
    if (!bmp->LoadFromStream(stream)) return false;
    bitmap = bmp.get();
  }
  if (bitmap == nullptr || bitmap->IsEmpty() || !ExpandToRgb(*bitmap, picture.rgb)) {
    picture.rgb.clear();
    return false;
  }
  picture.width = bitmap->Width();
  picture.height = bitmap->Height();
  return true;
}

}  // namespace hi
