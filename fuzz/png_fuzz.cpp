#include <cstring>
#include <memory>

#include "fuzz/fuzz_common.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"

namespace {

// The pixel and alpha buffers the IHDR at the start of the file asks for
// (the decoder reads no other header).
int64_t DeclaredBytes(const uint8_t* data, size_t size) {
  if (size < 8 + 8 + 13 || std::memcmp(data + 12, "IHDR", 4) != 0) return 0;
  const uint8_t* d = data + 16;
  int64_t w = FuzzGet32Be(d), h = FuzzGet32Be(d + 4);
  if (w > 65535 || h > 65535) return 0;  // refused before any allocation
  uint8_t depth = d[8], type = d[9];
  int bits = (type == 2 || type == 6) ? 24 : depth == 2 ? 4 : depth == 16 ? 8 : depth;
  int64_t bytes = hi::RowStride(bits, w) * h;
  if (type == 4 || type == 6) bytes += w * h;
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WorthDecoding(DeclaredBytes(data, size))) return 0;
  std::unique_ptr<hi::TPngDecoder> d = hi::CreatePngDecoder();
  hi::TMemoryStream s(data, size);
  d->LoadFromStream(s);
  hi::TBitmapObject* b = d->GetBitmap();
  TouchPicture(b);
  if (b) {
    std::unique_ptr<hi::TBitmapObject> copy = hi::CreateDeviceBitmap(0, 0);
    copy->Assign(b);
    TouchPicture(copy.get());
  }
  return 0;
}
