#include <algorithm>
#include <memory>

#include "fuzz/fuzz_common.h"
#include "imaging/pcx_picture.h"
#include "imaging/stream.h"

namespace {

// The larger of the decoded-planes buffer and the bitmap the header asks for.
int64_t DeclaredBytes(const uint8_t* data, size_t size) {
  if (size < 128) return 0;
  int64_t w = int64_t(FuzzGet16Le(data + 8)) - FuzzGet16Le(data + 4) + 1;
  int64_t h = int64_t(FuzzGet16Le(data + 10)) - FuzzGet16Le(data + 6) + 1;
  if (w <= 0 || h <= 0) return 0;
  int64_t planes = data[65], bits = data[3];
  int64_t decoded = planes * FuzzGet16Le(data + 66) * h;
  return std::max(decoded, hi::RowStride(bits * planes, w) * h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WorthDecoding(DeclaredBytes(data, size))) return 0;
  std::unique_ptr<hi::TPcxPicture> p = hi::CreatePcxPicture();
  hi::TMemoryStream s(data, size);
  p->LoadFromStream(s);
  TouchPicture(p->Bitmap());
  return 0;
}
