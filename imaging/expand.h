// Any memory bitmap as plain top-down red-green-blue triples: palettes
// expanded, bit fields unpacked. Used where a picture leaves the system as
// ordinary pixels (picdump, comparisons with reference decoders).
#pragma once

#include <cstdint>
#include <vector>

namespace hi {

class TBitmapObject;

// False (and rgb empty) for an empty bitmap, one without rows or a layout
// that has no fixed meaning (pxCustom).
bool ExpandToRgb(TBitmapObject& bitmap, std::vector<uint8_t>& rgb);

}  // namespace hi
