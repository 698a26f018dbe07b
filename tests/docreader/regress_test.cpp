// Inputs the fuzzer once found troublesome, kept by name. Each must give a
// result with no crash, and a preview that comes out must decode or be
// refused by its picture reader without fault.
#include <gtest/gtest.h>

#include <memory>

#include "docreader/doc_reader.h"
#include "imaging/bitmap.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;

// The fuzzer's seeds come from another writer (Python's zipfile) and must
// all give their preview.
TEST(DocRegress, SeedsFromAnotherWriterRead) {
  std::vector<std::string> files = testing_imaging::ListFiles(SEEDS_DIR, ".cdr");
  ASSERT_GE(files.size(), 5u);
  for (const std::string& name : files) {
    TPreview p = ReadPreviewFile(name);
    EXPECT_EQ(p.result, TDocResult::ok) << name << ": " << DocResultMessage(p.result);
  }
}

TEST(DocRegress, KeptInputs) {
  std::vector<std::string> files = testing_imaging::ListFiles(REGRESS_DIR, "");
  ASSERT_FALSE(files.empty()) << "no files in " << REGRESS_DIR;
  for (const std::string& name : files) {
    if (name.find("README") != std::string::npos) continue;
    SCOPED_TRACE(name);
    testing_imaging::Bytes data = testing_imaging::ReadFileBytes(name);
    TPreview p = ReadPreviewMemory(data.data(), data.size());
    EXPECT_STRNE(DocResultMessage(p.result), "unknown result");
    if (p.result != TDocResult::ok) {
      EXPECT_TRUE(p.bytes.empty());
      continue;
    }
    EXPECT_LE(p.bytes.size(), TDocLimits().maxPreviewBytes + 1024 + 40);
    TMemoryStream s(p.bytes.data(), p.bytes.size());
    try {
      if (p.kind == TPreviewKind::png) {
        std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
        d->LoadFromStream(s);
      } else {
        std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
        b->LoadFromStream(s);
      }
    } catch (const std::exception&) {
      // The bitmap model's assertions refuse some headers by throwing.
    }
  }
}

// A DISP picture 1,431,655,766 pixels wide at 1 bit: its row of 178 MB is
// not in the chunk, so it is refused as damaged before anything is made.
TEST(DocRegress, DispWiderThanItsData) {
  testing_imaging::Bytes data =
      testing_imaging::ReadFileBytes(std::string(REGRESS_DIR) + "/riff-disp-1bit-1431655766-wide.cdr");
  TPreview p = ReadPreviewMemory(data.data(), data.size());
  EXPECT_EQ(p.result, TDocResult::damaged) << DocResultMessage(p.result);
  EXPECT_TRUE(p.bytes.empty());
}
