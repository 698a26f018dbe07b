#include <memory>

#include "fuzz/fuzz_common.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<hi::TPngDecoder> d(hi::CreatePngDecoder());
  hi::TMemoryStream s(data, size);
  d->LoadFromStream(s);
  hi::TBitmapObject* b = d->GetBitmap();
  TouchPicture(b);
  if (b) {
    std::unique_ptr<hi::TBitmapObject> copy(hi::CreateDeviceBitmap(0, 0));
    copy->Assign(b);
    TouchPicture(copy.get());
  }
  return 0;
}
