// Every file kept in regress/ (inputs that once crashed or misbehaved in a
// reader) goes through all four readers; none may crash or read out of
// bounds, and a picture that comes out must be consistent.
#include <gtest/gtest.h>

#include <memory>

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

// Larger pictures are checked at their first and last rows only.
constexpr int64_t WholePixels = int64_t(1) << 22;

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
      std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
      TMemoryStream s(data);
      d->LoadFromStream(s);
      EXPECT_TRUE(WalkPicture(d->GetBitmap(), WholePixels));
    }
    {
      std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
      TMemoryStream s(data);
      b->LoadFromStream(s);
      EXPECT_TRUE(WalkPicture(b.get(), WholePixels));
    }
    {
      std::unique_ptr<TIconObject> icon = CreateIconObject();
      TMemoryStream s(data);
      if (icon->LoadFromStream(s)) {
        EXPECT_TRUE(WalkPicture(icon->ComposeBitmap(0).get(), WholePixels));
      }
    }
    {
      std::unique_ptr<TPcxPicture> p = CreatePcxPicture();
      TMemoryStream s(data);
      p->LoadFromStream(s);
      EXPECT_TRUE(WalkPicture(p->Bitmap(), WholePixels));
    }
    ++run;
  }
  EXPECT_GT(run, 0);
}
