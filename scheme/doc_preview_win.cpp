#include "scheme/doc_preview.h"

#include <memory>
#include <string>

#include "framework/exception.h"
#include "imaging/bitmap.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "toolkit/files_win.h"
#include "toolkit/paths.h"

namespace hi {

std::unique_ptr<TBitmapObject> DibToBitmap(const std::vector<uint8_t>& dib) {
  std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
  TMemoryStream stream(dib.data(), dib.size());
  bool loaded = false;
  // A header the bitmap model refuses raises its assertion: a damaged preview.
  try {
    loaded = b->LoadFromStream(stream);
  } catch (const Exception&) {
    loaded = false;
  }
  if (!loaded || b->IsEmpty()) return nullptr;
  return b;
}

void THIDocPreview::doPreview(TData& value, uint16_t) {
  const std::string name = ReadString(value, FileName, std::string());
  // A name that no file can have is never opened: the archiver would take
  // its '?' and '*' as a pattern.
  std::unique_ptr<TDocSource> document = kol::NamesNoFile(name) ? nullptr : OpenDocFile(name);
  TDocEra era = TDocEra::none;
  if (document) {
    uint8_t head[DocSignatureBytes];
    int64_t n = document->ReadAt(0, head, sizeof head);
    era = n > 0 ? DocumentEraOf(head, size_t(n)) : TDocEra::none;
  }
  if (era != TDocEra::riff) {
    // The guard's verdict is taken now, from the same open file, and the
    // file closed before anything else happens: the archiver that may start
    // later never finds it held here.
    if (era == TDocEra::zip) {
      std::vector<TThumbnailMember> members;
      TDocResult listed = ListThumbnailMembers(*document, era, members);
      guard_ = GuardVerdict(listed, members, MaxThumbnailBytes);
    } else {
      // A file that exists but will not open is left to the archiver, as before.
      guard_ = !document && !kol::FileExists(name) ? TGuardVerdict::no_thumb : TGuardVerdict::run;
    }
    document.reset();
    ForwardNull(value, onOther);
    return;
  }
  TPreview preview = ReadPreview(*document, era);
  document.reset();
  std::unique_ptr<TBitmapObject> bitmap;
  if (preview.result == TDocResult::ok && preview.kind == TPreviewKind::dib) bitmap = DibToBitmap(preview.bytes);
  if (!bitmap) {
    ForwardNull(value, onNoThumb);
    return;
  }
  FireBitmap(onBitmap, bitmap.get());
  ForwardNull(value, onShown);
}

void THIDocPreview::doPage(TData& value, uint16_t) {
  const int32_t page = ToInteger(value);
  const std::string name = ReadString(value, FileName, std::string());
  std::unique_ptr<TDocSource> document = kol::NamesNoFile(name) ? nullptr : OpenDocFile(name);
  if (!document || page < 1) return;
  TPreview preview = ReadPagePreview(*document, page);
  document.reset();
  if (preview.result != TDocResult::ok) return;
  TMemoryStream stream(preview.bytes.data(), preview.bytes.size());
  if (preview.kind == TPreviewKind::png) {
    std::unique_ptr<TPngDecoder> png = CreatePngDecoder();
    if (!png->LoadFromStream(stream) || png->LastError() != pic_ok) return;
    if (TBitmapObject* bitmap = png->GetBitmap()) FireBitmap(onPage, bitmap);
    return;
  }
  // The bitmap reader takes a BMP file as well as a bare DIB.
  if (std::unique_ptr<TBitmapObject> bitmap = DibToBitmap(preview.bytes)) FireBitmap(onPage, bitmap.get());
}

void THIDocPreview::doGuard(TData& value, uint16_t) {
  ForwardNull(value, guard_ == TGuardVerdict::no_thumb ? onNoThumb : onRun);
}

}  // namespace hi
