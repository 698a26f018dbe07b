#include "docreader/riff_preview.h"

#include <cstdint>
#include <cstring>

#include "framework/checked_size.h"

namespace hi {
namespace {

constexpr uint64_t RiffHeaderSize = 12;
constexpr uint64_t ChunkHeaderSize = 8;
// DISP data: a 32-bit value, then the 40-byte BITMAPINFOHEADER.
constexpr uint64_t DispLead = 4;
constexpr uint64_t InfoHeaderSize = 40;
constexpr uint32_t MaxColorEntries = 256;

uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

TPreview Fail(TDocResult why) {
  TPreview p;
  p.result = why;
  return p;
}

// The chunk's data holds the header, a colour table and the rows; the rows
// end where the chunk ends. The table is taken whole from what lies between
// header and rows, whatever biClrUsed says (real files say 236 and hold 256).
TPreview DispToDib(const std::vector<uint8_t>& data, uint64_t chunkOffset) {
  if (data.size() < DispLead + InfoHeaderSize) return Fail(TDocResult::damaged);
  const uint8_t* h = data.data() + DispLead;
  uint32_t headerSize = Get32(h);
  int64_t width = int32_t(Get32(h + 4));
  int64_t height = int32_t(Get32(h + 8));
  uint16_t bits = Get16(h + 14);
  uint32_t compression = Get32(h + 16);
  uint32_t clrUsed = Get32(h + 32);
  if (headerSize != InfoHeaderSize || compression != 0) return Fail(TDocResult::damaged);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return Fail(TDocResult::damaged);
  if (clrUsed > MaxColorEntries || width <= 0 || height == 0) return Fail(TDocResult::damaged);
  int64_t rows = height < 0 ? -height : height;
  // width < 2^31 and bits <= 32: the bit count of a row fits easily.
  int64_t stride = (width * bits + 31) / 32 * 4;
  uint64_t avail = data.size() - DispLead - InfoHeaderSize;
  // The rows must lie in the chunk: a picture wider or taller than its data
  // is refused before anything is made for it.
  int64_t held = CheckedProduct(stride, rows, int64_t(avail));
  if (held < 0) return Fail(TDocResult::damaged);
  uint64_t pixels = uint64_t(held);
  uint64_t tableRoom = avail - pixels;
  uint64_t fullTable = bits <= 8 ? uint64_t(4) << bits : 0;
  uint64_t declared = bits <= 8 ? uint64_t(4) * (clrUsed ? clrUsed : (1u << bits)) : 0;
  if (declared > fullTable || tableRoom < declared) return Fail(TDocResult::damaged);

  TPreview p;
  p.bytes.assign(size_t(InfoHeaderSize + fullTable + pixels), 0);
  uint8_t* out = p.bytes.data();
  std::memcpy(out, h, InfoHeaderSize);
  Put32(out + 20, uint32_t(pixels));  // biSizeImage
  Put32(out + 32, 0);                 // biClrUsed: the whole table is present
  Put32(out + 36, 0);                 // biClrImportant
  uint64_t table = tableRoom < fullTable ? tableRoom : fullTable;
  std::memcpy(out + InfoHeaderSize, h + InfoHeaderSize, size_t(table));
  std::memcpy(out + InfoHeaderSize + fullTable, data.data() + data.size() - pixels, size_t(pixels));
  p.result = TDocResult::ok;
  p.kind = TPreviewKind::dib;
  p.source = "DISP chunk at " + std::to_string(chunkOffset);
  return p;
}

}  // namespace

TPreview ReadRiffPreview(TDocSource& source, const TDocLimits& limits) {
  uint8_t head[RiffHeaderSize];
  if (source.ReadAt(0, head, sizeof head) != int64_t(sizeof head)) return Fail(TDocResult::read_error);
  // The walk stays inside both the declared form and the file: a size past
  // the end of a cut file still lets the chunks that are there be read.
  uint64_t end = uint64_t(Get32(head + 4)) + ChunkHeaderSize;
  if (end > source.Size()) end = source.Size();
  uint64_t pos = RiffHeaderSize;
  for (uint32_t count = 0; pos <= end && end - pos >= ChunkHeaderSize; ++count) {
    if (count >= limits.maxRiffChunks) return Fail(TDocResult::over_limit);
    uint8_t chunk[ChunkHeaderSize];
    if (source.ReadAt(pos, chunk, sizeof chunk) != int64_t(sizeof chunk)) return Fail(TDocResult::read_error);
    uint64_t size = Get32(chunk + 4);
    uint64_t data = pos + ChunkHeaderSize;
    if (size > end - data) return Fail(TDocResult::damaged);
    if (std::memcmp(chunk, "DISP", 4) == 0) {
      if (size > limits.maxPreviewBytes || size > SIZE_MAX) return Fail(TDocResult::over_limit);
      std::vector<uint8_t> bytes(static_cast<size_t>(size));
      if (source.ReadAt(data, bytes.data(), bytes.size()) != int64_t(size)) return Fail(TDocResult::read_error);
      return DispToDib(bytes, pos);
    }
    // Odd sizes are followed by one padding byte; the last chunk may lack it.
    pos = data + size + (size & 1);
  }
  return Fail(TDocResult::no_preview);
}

}  // namespace hi
