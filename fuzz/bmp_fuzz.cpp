#include <memory>

#include "framework/exception.h"
#include "fuzz/fuzz_common.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<hi::TBitmapObject> b(hi::CreateDeviceBitmap(0, 0));
  hi::TMemoryStream s(data, size);
  try {
    if (!b->LoadFromStream(s)) return 0;
    TouchPicture(b.get());
    if (b->BitsSize() > (1 << 24)) return 0;
    // What is read can be written and read back.
    hi::TMemoryStream out;
    b->SaveToStream(out);
    out.Seek(0);
    std::unique_ptr<hi::TBitmapObject> again(hi::CreateDeviceBitmap(0, 0));
    again->LoadFromStream(out);
    TouchPicture(again.get());
  } catch (const hi::Exception&) {
    // The bitmap model's assertions on impossible headers.
  }
  return 0;
}
