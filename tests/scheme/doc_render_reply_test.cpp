#include "scheme/doc_render_reply.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace hi;

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A BMP as docrender writes it (docrender/picture_file.cpp).
std::vector<uint8_t> Bmp(uint32_t w, uint32_t h) {
  std::vector<uint8_t> b(54 + size_t(w) * h * 4, 0x80);
  std::fill(b.begin(), b.begin() + 54, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, uint32_t(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, w);
  Put32(b, 22, h);
  b[26] = 1;
  b[28] = 32;
  Put32(b, 34, w * h * 4);
  return b;
}

bool Check(const std::vector<uint8_t>& b, int64_t boxW, int64_t boxH) {
  int32_t w = -1, h = -1;
  return CheckRenderBmp(b.data(), b.size(), boxW, boxH, w, h);
}

}  // namespace

TEST(DocRenderReply, OnlyDocrendersBmpWithinTheBoxPasses) {
  const std::vector<uint8_t> good = Bmp(40, 30);
  int32_t w = 0, h = 0;
  ASSERT_TRUE(CheckRenderBmp(good.data(), good.size(), 40, 100, w, h));
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 30);
  EXPECT_FALSE(Check(good, 39, 30));
  EXPECT_FALSE(Check(good, 40, 29));
  // Truncated, padded, or no whole header.
  for (uint64_t size : {uint64_t(good.size()) - 1, uint64_t(good.size()) + 1, uint64_t(53)})
    EXPECT_FALSE(CheckRenderBmp(good.data(), size, 400, 300, w, h)) << size;
  // One header field wrong at a time: file size, row offset, header size,
  // width, a top-down height, planes, 24 bits, compression, row bytes; and
  // the signature.
  const uint32_t faults[][2] = {
      {2, 55}, {10, 58}, {14, 124}, {18, 0}, {22, uint32_t(-30)}, {26, 2 | 32 << 16}, {26, 1 | 24 << 16},
      {30, 3}, {34, 0}};
  for (const auto& f : faults) {
    std::vector<uint8_t> bad = good;
    Put32(bad, f[0], f[1]);
    EXPECT_FALSE(Check(bad, 40, 30)) << "field at " << f[0];
  }
  std::vector<uint8_t> bad = good;
  bad[1] = 'A';
  EXPECT_FALSE(Check(bad, 40, 30));
}

TEST(DocRenderReply, TheBoundComesFromTheBoxAndItsLimits) {
  EXPECT_EQ(RenderBmpBound(1600, 1200), 54 + 1600 * 1200 * 4);
  EXPECT_EQ(RenderBmpBound(8192, 8192), 54 + (int64_t(256) << 20));
  for (int64_t refused : {RenderBmpBound(8192, 8193), RenderBmpBound(16385, 1), RenderBmpBound(0, 10)})
    EXPECT_EQ(refused, -1);
}

TEST(DocRenderReply, TheReportLineGivesPageAndCount) {
  int32_t page = 0, pages = 0;
  ASSERT_TRUE(ParseRenderReport("page 2 of 3, 400x300 px, 85 ms\r\n", page, pages));
  EXPECT_EQ(page, 2);
  EXPECT_EQ(pages, 3);
  ASSERT_TRUE(ParseRenderReport("a warning\npage 1 of 12, 1x1 px, 0 ms", page, pages));
  EXPECT_EQ(pages, 12);
  for (const char* bad : {"", "3 pages\n", "page 4 of 3, 1x1 px", "page 0 of 3, 1x1 px", "page 1 of 3 1x1 px",
                          " page 1 of 3, 1x1 px", "page 1 of 1234567890, 1x1 px"}) {
    EXPECT_FALSE(ParseRenderReport(bad, page, pages)) << bad;
    EXPECT_EQ(pages, 0);
  }
}
