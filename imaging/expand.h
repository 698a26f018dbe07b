// Any memory bitmap as plain top-down red-green-blue triples: palettes
// expanded, bit fields unpacked. Used where a picture leaves the system as
// ordinary pixels (picdump, comparisons with reference decoders).
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"

namespace hi {

// False (and rgb empty) for an empty bitmap, one without rows or a layout
// that has no fixed meaning (pxCustom), one whose rows hold fewer bytes than
// its header says, and one whose triples would take more than limit bytes
// (a 1-bit picture within MaxPixelBytes can need 24 times as many).
bool ExpandToRgb(TBitmapObject& bitmap, std::vector<uint8_t>& rgb, int64_t limit = MaxPixelBytes);

// Reads a picture that a reader produced whole, so that any disagreement
// between its header and its rows shows (to a sanitizer, or as false).
// Pictures of more than wholePixels pixels have only their first and last
// rows read, which keeps checks of many large inputs short. True for an
// empty picture or none.
bool WalkPicture(TBitmapObject* bitmap, int64_t wholePixels);

}  // namespace hi
