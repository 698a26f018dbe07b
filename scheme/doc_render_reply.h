// What docrender leaves behind, checked before the viewer uses any of it:
// its BMP against the box it was asked for, and its report line. Portable,
// so the rules are tested natively.
#pragma once

#include <cstdint>
#include <string>

namespace hi {

// docrender's BMP: a 54-byte header (the file header and a
// BITMAPINFOHEADER), then 32-bit rows bottom-up, 4 bytes a pixel, nothing
// between them or after them.
constexpr int64_t RenderBmpHeaderBytes = 54;
// docrender refuses a box with a longer side.
constexpr int64_t RenderMaxSide = 16384;

// The size of the largest file docrender writes for the box; -1 for a box
// no run may ask for (a side outside 1..RenderMaxSide, or more pixels than
// the bitmap model holds).
int64_t RenderBmpBound(int64_t boxWidth, int64_t boxHeight);

// True, with the picture's size, when head (the first RenderBmpHeaderBytes
// bytes of a file of fileSize bytes) is such a BMP's header, of
// 1..boxWidth by 1..boxHeight pixels, and the file holds exactly its rows;
// false for anything else, a truncated or a padded file included. Checked
// before any row is read.
bool CheckRenderBmp(const uint8_t* head, uint64_t fileSize, int64_t boxWidth, int64_t boxHeight, int32_t& width,
                    int32_t& height);

// The page and the page count of docrender's report, "page N of M, WxH px,
// T ms", at the start of a line of its output; false without one, or when
// N is not from 1 to M.
bool ParseRenderReport(const std::string& output, int32_t& page, int32_t& pages);

}  // namespace hi
