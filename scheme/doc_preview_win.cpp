#include "scheme/doc_preview.h"

#include <windows.h>

#include <memory>
#include <string>

#include "framework/exception.h"
#include "imaging/bitmap.h"
#include "imaging/stream.h"

namespace hi {

namespace {

// The host hands names in its ANSI code page; the reader opens UTF-8 names.
std::string AnsiToUtf8(const std::string& ansi) {
  if (ansi.empty() || ansi.size() > INT32_MAX) return std::string();
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
  if (n <= 0) return std::string();
  std::wstring wide(size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), &wide[0], n);
  int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  if (m <= 0) return std::string();
  std::string utf8(size_t(m), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, &utf8[0], m, nullptr, nullptr);
  return utf8;
}

}  // namespace

TBitmapObject* DibToBitmap(const std::vector<uint8_t>& dib) {
  std::unique_ptr<TBitmapObject> b(CreateDeviceBitmap(0, 0));
  TMemoryStream stream(dib.data(), dib.size());
  bool loaded = false;
  // A header the bitmap model refuses raises its assertion: a damaged preview.
  try {
    loaded = b->LoadFromStream(stream);
  } catch (const Exception&) {
    loaded = false;
  }
  if (!loaded || b->IsEmpty()) return nullptr;
  return b.release();
}

void THIDocPreview::doPreview(TData& value, uint16_t) {
  const std::string name = AnsiToUtf8(ReadString(value, FileName, std::string()));
  std::unique_ptr<TDocSource> source = OpenDocFile(name);
  if (!source || DocumentEra(*source) != TDocEra::riff) {
    ForwardNull(value, onOther);
    return;
  }
  TPreview preview = ReadPreview(*source);
  std::unique_ptr<TBitmapObject> bitmap(
      preview.result == TDocResult::ok && preview.kind == TPreviewKind::dib ? DibToBitmap(preview.bytes) : nullptr);
  if (!bitmap) {
    ForwardNull(value, onNoThumb);
    return;
  }
  FireBitmap(onBitmap, bitmap.get());
  ForwardNull(value, onShown);
}

void THIDocPreview::doGuard(TData& value, uint16_t) {
  const std::string name = AnsiToUtf8(ReadString(value, FileName, std::string()));
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
