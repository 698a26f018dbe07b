// The five RIFF-era documents of ../shared/realdocs, saved by the drawing
// program itself. The oracle is the file: the decoded colour table must be
// the 256 entries after the header, and the rows the last bytes of DISP.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "docreader/doc_reader.h"
#include "imaging/bitmap.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;
using testing_imaging::Bytes;

namespace {

struct RealDoc {
  const char* file;
  int32_t side;
  uint32_t dispAt;  // where the DISP chunk starts, as the folder's notes say
};

uint32_t Le32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

TEST(RealDocs, PreviewsMatchTheirFiles) {
  const RealDoc docs[] = {{"riff-v11-96px.cdr", 96, 22},
                          {"riff-v11-128px-icc-first.cdr", 128, 602},
                          {"riff-v12-96px.cdr", 96, 22},
                          {"riff-v12-96px-b.cdr", 96, 22},
                          {"riff-v13-96px.cdr", 96, 22}};
  Bytes probe = testing_imaging::ReadFileBytes(std::string(REALDOCS_DIR) + "/" + docs[0].file);
  if (probe.empty()) GTEST_SKIP() << REALDOCS_DIR << " is absent";
  for (const RealDoc& d : docs) {
    SCOPED_TRACE(d.file);
    std::string path = std::string(REALDOCS_DIR) + "/" + d.file;
    Bytes file = testing_imaging::ReadFileBytes(path);
    ASSERT_GT(file.size(), d.dispAt + 8u);
    ASSERT_EQ(std::string(file.begin() + d.dispAt, file.begin() + d.dispAt + 4), "DISP");
    TPreview p = ReadPreviewFile(path);
    ASSERT_EQ(p.result, TDocResult::ok) << DocResultMessage(p.result);
    EXPECT_EQ(p.kind, TPreviewKind::dib);
    EXPECT_EQ(p.source, "DISP chunk at " + std::to_string(d.dispAt));

    std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
    TMemoryStream s(p.bytes.data(), p.bytes.size());
    ASSERT_TRUE(b->LoadFromStream(s));
    EXPECT_EQ(b->Width(), d.side);
    EXPECT_EQ(b->Height(), d.side);
    ASSERT_EQ(b->PixelLayout(), px8Bit);
    size_t table = d.dispAt + 8 + 4 + 40;
    for (int i = 0; i < 256; ++i) ASSERT_EQ(b->Colors()[i], Le32(file, table + 4 * i)) << "entry " << i;
    size_t chunkEnd = d.dispAt + 8 + Le32(file, d.dispAt + 4);
    size_t stride = (size_t(d.side) + 3) & ~size_t(3);
    size_t rows = chunkEnd - stride * size_t(d.side);
    // Rows lie bottom-up in the file, as in the bitmap.
    for (int32_t y = 0; y < d.side; ++y)
      ASSERT_EQ(0, std::memcmp(b->ScanLine(y), &file[rows + stride * size_t(d.side - 1 - y)], size_t(d.side)))
          << "row " << y;
  }
}
