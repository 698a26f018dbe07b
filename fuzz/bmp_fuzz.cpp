#include <memory>

#include "fuzz/fuzz_common.h"
#include "imaging/stream.h"

namespace {

// The rows the info header (after a file header, or bare) asks for.
int64_t DeclaredBytes(const uint8_t* data, size_t size) {
  size_t at = size >= 2 && data[0] == 'B' && data[1] == 'M' ? 14 : 0;
  if (size < at + 16) return 0;
  const uint8_t* h = data + at;
  int64_t w, height, bits;
  if (FuzzGet32Le(h) == 12) {
    w = FuzzGet16Le(h + 4);
    height = FuzzGet16Le(h + 6);
    bits = int64_t(FuzzGet16Le(h + 8)) * FuzzGet16Le(h + 10);
  } else {
    w = int32_t(FuzzGet32Le(h + 4));
    height = int32_t(FuzzGet32Le(h + 8));
    bits = int64_t(FuzzGet16Le(h + 12)) * FuzzGet16Le(h + 14);
  }
  if (height < 0) height = -height;
  if (w <= 0 || height <= 0 || bits > 64) return 0;
  // Past any real picture: the reader refuses it, and the product below
  // would not fit in 64 bits.
  if (w > (int64_t(1) << 24) || height > (int64_t(1) << 24)) return hi::MaxPixelBytes + 1;
  return hi::RowStride(bits, w) * height;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WorthDecoding(DeclaredBytes(data, size))) return 0;
  std::unique_ptr<hi::TBitmapObject> b = hi::CreateDeviceBitmap(0, 0);
  hi::TMemoryStream s(data, size);
  if (!b->LoadFromStream(s)) return 0;
  TouchPicture(b.get());
  if (b->BitsSize() > FuzzPixelBytes) return 0;
  // What is read can be written and read back.
  hi::TMemoryStream out;
  b->SaveToStream(out);
  out.Seek(0);
  std::unique_ptr<hi::TBitmapObject> again = hi::CreateDeviceBitmap(0, 0);
  again->LoadFromStream(out);
  TouchPicture(again.get());
  return 0;
}
