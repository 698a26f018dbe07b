#include "docreader/doc_signature.h"

namespace hi {
namespace {

bool EitherCase(uint8_t byte, char upper) { return byte == uint8_t(upper) || byte == uint8_t(upper - 'A' + 'a'); }

bool VersionLetter(uint8_t byte) { return byte == ' ' || (byte >= '1' && byte <= '9') || byte >= 'A'; }

}  // namespace

TDocEra DocumentEraOf(const void* head, size_t size) {
  const auto* p = static_cast<const uint8_t*>(head);
  if (p == nullptr || size < 4) return TDocEra::none;
  if (p[0] == 'P' && p[1] == 'K' && p[2] == 3 && p[3] == 4) return TDocEra::zip;
  if (size < DocSignatureBytes || p[0] != 'R' || p[1] != 'I' || p[2] != 'F' || p[3] != 'F') return TDocEra::none;
  if (EitherCase(p[8], 'C') && EitherCase(p[9], 'D') && EitherCase(p[10], 'R') && VersionLetter(p[11]))
    return TDocEra::riff;
  return TDocEra::none;
}

}  // namespace hi
