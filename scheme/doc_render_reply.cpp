#include "scheme/doc_render_reply.h"

#include "framework/checked_size.h"
#include "imaging/bitmap.h"

namespace hi {
namespace {

uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// A decimal number of at most nine digits at text[at]; at moves past it.
bool ParseCount(const std::string& text, size_t& at, int32_t& value) {
  const size_t from = at;
  int64_t v = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - from < 9) v = v * 10 + (text[at++] - '0');
  value = int32_t(v);
  return at > from;
}

bool Expect(const std::string& text, size_t& at, const char* word) {
  const std::string w(word);
  if (text.compare(at, w.size(), w) != 0) return false;
  at += w.size();
  return true;
}

}  // namespace

int64_t RenderBmpBound(int64_t boxWidth, int64_t boxHeight) {
  if (boxWidth < 1 || boxHeight < 1 || boxWidth > RenderMaxSide || boxHeight > RenderMaxSide) return -1;
  const int64_t rows = CheckedProduct(boxWidth, boxHeight, 4, MaxPixelBytes);
  return rows < 0 ? -1 : RenderBmpHeaderBytes + rows;
}

bool CheckRenderBmp(const uint8_t* head, uint64_t fileSize, int64_t boxWidth, int64_t boxHeight, int32_t& width,
                    int32_t& height) {
  width = height = 0;
  const int64_t bound = RenderBmpBound(boxWidth, boxHeight);
  if (bound < 0 || fileSize > uint64_t(bound) || fileSize < uint64_t(RenderBmpHeaderBytes)) return false;
  const uint8_t* p = head;
  // Read as signed: a top-down picture (negative height) is not docrender's.
  const int64_t w = int32_t(Get32(p + 18)), h = int32_t(Get32(p + 22));
  if (p[0] != 'B' || p[1] != 'M' || Get32(p + 10) != RenderBmpHeaderBytes || Get32(p + 14) != 40 || w < 1 ||
      w > boxWidth || h < 1 || h > boxHeight || Get16(p + 26) != 1 || Get16(p + 28) != 32 || Get32(p + 30) != 0)
    return false;
  const uint64_t rows = uint64_t(w * h * 4);  // within the bound checked above
  if (Get32(p + 2) != RenderBmpHeaderBytes + rows || Get32(p + 34) != rows || fileSize != RenderBmpHeaderBytes + rows)
    return false;
  width = int32_t(w);
  height = int32_t(h);
  return true;
}

bool ParseRenderReport(const std::string& output, int32_t& page, int32_t& pages) {
  size_t line = 0;
  while (line < output.size()) {
    size_t at = line;
    if (Expect(output, at, "page ") && ParseCount(output, at, page) && Expect(output, at, " of ") &&
        ParseCount(output, at, pages) && Expect(output, at, ",") && page >= 1 && page <= pages)
      return true;
    const size_t end = output.find('\n', line);
    if (end == std::string::npos) break;
    line = end + 1;
  }
  page = pages = 0;
  return false;
}

}  // namespace hi
