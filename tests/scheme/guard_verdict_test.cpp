#include <gtest/gtest.h>

#include "scheme/doc_preview.h"

using namespace hi;

namespace {

TThumbnailMember Member(uint64_t size) {
  TThumbnailMember m;
  m.name = "thumbnail.bmp";
  m.size = size;
  return m;
}

constexpr uint64_t kMiB = uint64_t(1) << 20;

}  // namespace

TEST(GuardVerdict, DeclaredSizesAndEmptyDirectories) {
  const uint64_t limit = 64 * kMiB;
  EXPECT_EQ(GuardVerdict(TDocResult::ok, {Member(limit)}, limit), TGuardVerdict::run);
  EXPECT_EQ(GuardVerdict(TDocResult::ok, {Member(limit + 1)}, limit), TGuardVerdict::no_thumb);
  // Sizes count together; huge ones cannot wrap the sum round.
  EXPECT_EQ(GuardVerdict(TDocResult::ok, {Member(limit / 2), Member(limit / 2 + 1)}, limit), TGuardVerdict::no_thumb);
  EXPECT_EQ(GuardVerdict(TDocResult::ok, {Member(UINT64_MAX), Member(2)}, limit), TGuardVerdict::no_thumb);
  EXPECT_EQ(GuardVerdict(TDocResult::ok, std::vector<TThumbnailMember>(20, Member(200 * kMiB)), limit),
            TGuardVerdict::no_thumb);
  // A clean directory without thumbnails spares the archiver; a directory
  // the reader could not take leaves the decision to the archiver.
  EXPECT_EQ(GuardVerdict(TDocResult::ok, {}, limit), TGuardVerdict::no_thumb);
  for (TDocResult r : {TDocResult::damaged, TDocResult::unsupported_method, TDocResult::over_limit,
                       TDocResult::read_error, TDocResult::encrypted})
    EXPECT_EQ(GuardVerdict(r, {}, limit), TGuardVerdict::run) << int(r);
}
