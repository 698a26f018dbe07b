#include "scheme/doc_preview.h"

namespace hi {

TGuardVerdict GuardVerdict(TDocResult listed, const std::vector<TThumbnailMember>& members, uint64_t maxTotalBytes) {
  uint64_t total = 0;
  for (const TThumbnailMember& m : members) {
    if (m.size > maxTotalBytes - total) return TGuardVerdict::no_thumb;
    total += m.size;
  }
  if (listed == TDocResult::ok && members.empty()) return TGuardVerdict::no_thumb;
  return TGuardVerdict::run;
}

}  // namespace hi
