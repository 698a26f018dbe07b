// The document reader on arbitrary bytes: it must return one of its codes,
// hand out bytes only with ok, and a rebuilt DIB must agree with its header.
#include <cstring>

#include "docreader/doc_reader.h"
#include "fuzz/fuzz_common.h"

namespace {

// A declared size near the product's limit would make every such input
// allocate 64 MiB; a smaller limit keeps runs fast and the refusal covered.
hi::TDocLimits FuzzLimits() {
  hi::TDocLimits limits;
  limits.maxPreviewBytes = 1 << 20;
  return limits;
}

void CheckDib(const std::vector<uint8_t>& dib) {
  if (dib.size() < 40) __builtin_trap();
  int64_t w = int32_t(FuzzGet32Le(dib.data() + 4));
  int64_t h = int32_t(FuzzGet32Le(dib.data() + 8));
  int64_t bits = FuzzGet16Le(dib.data() + 14);
  if (h < 0) h = -h;
  int64_t table = bits <= 8 ? int64_t(4) << bits : 0;
  if (w <= 0 || h <= 0 || int64_t(dib.size()) != 40 + table + hi::RowStride(bits, w) * h) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const hi::TDocLimits limits = FuzzLimits();
  hi::TMemoryDocSource source(data, size);
  hi::TPreview p = hi::ReadPreview(source, limits);
  if (std::strcmp(hi::DocResultMessage(p.result), "unknown result") == 0) __builtin_trap();
  if (p.result != hi::TDocResult::ok) {
    if (!p.bytes.empty() || p.kind != hi::TPreviewKind::none) __builtin_trap();
  } else {
    if (p.kind == hi::TPreviewKind::none || p.bytes.size() > limits.maxPreviewBytes + 1064) __builtin_trap();
    if (p.kind == hi::TPreviewKind::dib) CheckDib(p.bytes);
  }
  // The report opens the archive again: worth it only when the first open
  // got past the directory, which most mutated inputs do not.
  if (p.result == hi::TDocResult::not_document || p.result == hi::TDocResult::damaged) return 0;
  hi::TMemoryDocSource again(data, size);
  std::vector<hi::TThumbnailMember> members;
  hi::ListThumbnailMembers(again, members, limits);
  for (const hi::TThumbnailMember& m : members)
    if (!hi::IsThumbnailMember(m.name)) __builtin_trap();
  return 0;
}
