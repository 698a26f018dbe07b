// Every file kept in regress/ (inputs that once crashed or misbehaved in a
// reader) goes through all four readers; none may crash or read out of
// bounds, and a picture that comes out must be consistent.
#include <gtest/gtest.h>

#include <memory>

#include "framework/exception.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/icon.h"
#include "imaging/pcx_picture.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;
using namespace testing_imaging;

namespace {

void CheckPicture(TBitmapObject* b) {
  if (!b || b->IsEmpty()) return;
  if (int64_t(b->Width()) * b->Height() > (int64_t(1) << 22)) {
    // Large pictures: their first and last rows must be addressable.
    int64_t stride = b->ScanLineSize();
    ASSERT_GE(int64_t(b->BitsSize()), stride * b->Height());
    if (stride > 0 && b->ScanLine(0)) {
      volatile uint8_t v = b->ScanLine(0)[stride - 1];
      v = b->ScanLine(b->Height() - 1)[stride - 1];
      (void)v;
    }
    return;
  }
  std::vector<uint8_t> rgb;
  if (ExpandToRgb(*b, rgb)) {
    EXPECT_EQ(rgb.size(), size_t(b->Width()) * b->Height() * 3);
  }
}

}  // namespace

TEST(Regress, KeptInputsGoThroughEveryReader) {
  std::vector<std::string> files = ListFiles(REGRESS_DIR, "");
  ASSERT_FALSE(files.empty()) << "no files in " << REGRESS_DIR;
  int run = 0;
  for (const auto& name : files) {
    if (name.find("README") != std::string::npos) continue;
    Bytes data = ReadFileBytes(name);
    SCOPED_TRACE(name);
    {
      std::unique_ptr<TPngDecoder> d(CreatePngDecoder());
      TMemoryStream s(data);
      d->LoadFromStream(s);
      CheckPicture(d->GetBitmap());
    }
    {
      std::unique_ptr<TBitmapObject> b(CreateDeviceBitmap(0, 0));
      TMemoryStream s(data);
      try {
        b->LoadFromStream(s);
      } catch (const Exception& e) {
        EXPECT_EQ(e.Kind(), exc_assertion);
      }
      CheckPicture(b.get());
    }
    {
      std::unique_ptr<TIconObject> icon(CreateIconObject());
      TMemoryStream s(data);
      try {
        if (icon->LoadFromStream(s)) {
          std::unique_ptr<TBitmapObject> out(icon->ComposeBitmap(0));
          CheckPicture(out.get());
        }
      } catch (const Exception& e) {
        EXPECT_EQ(e.Kind(), exc_assertion);
      }
    }
    {
      std::unique_ptr<TPcxPicture> p(CreatePcxPicture());
      TMemoryStream s(data);
      p->LoadFromStream(s);
      CheckPicture(p->Bitmap());
    }
    ++run;
  }
  EXPECT_GT(run, 0);
}
