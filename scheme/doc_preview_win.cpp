#include "scheme/doc_preview.h"

#include <memory>
#include <string>

#include "framework/exception.h"
#include "imaging/bitmap.h"
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
  document_ = kol::NamesNoFile(name) ? nullptr : OpenDocFile(name);
  era_ = TDocEra::none;
  if (document_) {
    uint8_t head[DocSignatureBytes];
    int64_t n = document_->ReadAt(0, head, sizeof head);
    era_ = n > 0 ? DocumentEraOf(head, size_t(n)) : TDocEra::none;
  }
  // A file that exists but will not open is left to the archiver, as before.
  missing_ = !document_ && !kol::FileExists(name);
  if (era_ != TDocEra::riff) {
    ForwardNull(value, onOther);
    document_.reset();
    return;
  }
  TPreview preview = ReadPreview(*document_, era_);
  document_.reset();
  std::unique_ptr<TBitmapObject> bitmap;
  if (preview.result == TDocResult::ok && preview.kind == TPreviewKind::dib) bitmap = DibToBitmap(preview.bytes);
  if (!bitmap) {
    ForwardNull(value, onNoThumb);
    return;
  }
  FireBitmap(onBitmap, bitmap.get());
  ForwardNull(value, onShown);
}

void THIDocPreview::doGuard(TData& value, uint16_t) {
  std::unique_ptr<TDocSource> document = std::move(document_);
  if (missing_) {
    ForwardNull(value, onNoThumb);
    return;
  }
  if (!document || era_ != TDocEra::zip) {
    ForwardNull(value, onRun);
    return;
  }
  std::vector<TThumbnailMember> members;
  TDocResult listed = ListThumbnailMembers(*document, era_, members);
  document.reset();
  ForwardNull(value, GuardVerdict(listed, members, MaxThumbnailBytes) == TGuardVerdict::no_thumb ? onNoThumb : onRun);
}

}  // namespace hi
