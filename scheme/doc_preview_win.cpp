#include "scheme/doc_preview.h"

#include <memory>
#include <string>

#include "framework/exception.h"
#include "imaging/bitmap.h"
#include "imaging/stream.h"

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
  std::unique_ptr<TDocSource> source = OpenDocFile(name);
  if (!source || DocumentEra(*source) != TDocEra::riff) {
    ForwardNull(value, onOther);
    return;
  }
  TPreview preview = ReadPreview(*source);
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
  const std::string name = ReadString(value, FileName, std::string());
  std::unique_ptr<TDocSource> source = OpenDocFile(name);
  if (!source || DocumentEra(*source) != TDocEra::zip) {
    ForwardNull(value, onRun);
    return;
  }
  std::vector<TThumbnailMember> members;
  TDocResult listed = ListThumbnailMembers(*source, members);
  ForwardNull(value, GuardVerdict(listed, members, MaxThumbnailBytes) == TGuardVerdict::no_thumb ? onNoThumb : onRun);
}

}  // namespace hi
