// Synthetic drawing documents laid out as the program's own: ZIP-era
// archives with their thumbnail member, and RIFF-era files with DISP.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/imaging/test_files.h"

namespace testing_doc {

using testing_imaging::Bytes;

struct Member {
  std::string name;
  Bytes data;                 // uncompressed contents
  uint16_t method = 0;        // 0 stored, 8 deflated; others written as stored bytes
  uint16_t flags = 1u << 11;  // UTF-8 names
  // Overrides of what the headers declare (for hostile documents).
  int64_t declaredSize = -1;
  bool zip64Size = false;  // sizes 0xFFFFFFFF with a zip64 extra field
};

struct Archive {
  std::vector<Member> members;
  bool zip64End = false;  // zip64 end record and locator before the classic one
};

// The whole archive; *dirOffset (if given) receives where the central
// directory starts, *endOffset where the classic end record starts.
Bytes BuildZip(const Archive& a, uint32_t* dirOffset = nullptr, uint32_t* endOffset = nullptr);
Bytes RawDeflate(const Bytes& raw);

// A 24-bit bottom-up BMP file with a 40-byte info header, pixels at 54.
Bytes Bmp24(int32_t w, int32_t h, uint32_t seed);
// An 8-bit RGB PNG with sRGB, gAMA and pHYs chunks.
Bytes Png24(uint32_t w, uint32_t h, uint32_t seed);
// The colour both makers put at (x, y) from the top: 0xRRGGBB.
uint32_t PixelAt(int32_t x, int32_t y, uint32_t seed);

// A ZIP-era document of one program era: version 14-16 layout (BMP in
// metadata/thumbnails) or 17+ (mimetype first, PNG in previews/).
Bytes ModernDocument(const Bytes& png, uint16_t method);
Bytes BmpEraDocument(const Bytes& bmp, uint16_t method);

struct RiffChunk {
  std::string id;  // four characters
  Bytes data;
};
Bytes BuildRiff(const std::vector<RiffChunk>& chunks, char version = 'C');
// DISP data: the 32-bit value 8, a header with biClrUsed, a full 256-entry
// table (entry i = table(i)) and 8-bit rows with index (x + 3y) & 255.
Bytes DispData(int32_t w, int32_t h, uint32_t clrUsed);
uint32_t DispColor(int index);

}  // namespace testing_doc
