// The file panel's whole path on arbitrary document bytes: reader, header
// limit, decoders, expansion and scaler into a fitted picture. Whatever
// comes out must agree with itself; a picture that decoded must be one the
// header check let through.
#include <cstring>

#include "fuzz/fuzz_common.h"
#include "plugin/panel_preview.h"

namespace {

// The product's limits would let each input decode up to 2 Mpx, which
// costs tens of milliseconds; small ones keep runs fast, and the refusal
// paths stay covered by every larger declaration.
hi::TPanelLimits FuzzLimits() {
  hi::TPanelLimits limits;
  limits.maxPixels = FuzzPixelBytes / 3;
  limits.document.maxPreviewBytes = 1 << 20;
  return limits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const hi::TPanelLimits limits = FuzzLimits();
  // The box from the last byte, so that shrinking, keeping and odd boxes all come up.
  const int32_t box = size > 0 ? 1 + data[size - 1] % 160 : 96;
  hi::TMemoryDocSource source(data, size);
  hi::TPanelThumbnail t;
  hi::TPanelResult r = hi::MakePanelThumbnail(source, box, box * 3 / 4 + 1, t, limits);
  if (std::strcmp(hi::PanelStageName(r.stage), "unknown stage") == 0) __builtin_trap();
  if (!r.Ok()) {
    if (!t.bgr.empty() || t.width != 0 || t.height != 0) __builtin_trap();
    if ((r.stage == hi::TPanelStage::document) != (r.document != hi::TDocResult::ok)) __builtin_trap();
    return 0;
  }
  if (t.width < 1 || t.height < 1 || t.width > box || t.height > box * 3 / 4 + 1) __builtin_trap();
  if (t.bgr.size() != size_t(t.width) * size_t(t.height) * 3) __builtin_trap();
  if (uint64_t(t.pictureWidth) * uint64_t(t.pictureHeight) > limits.maxPixels) __builtin_trap();
  volatile uint8_t sum = 0;
  for (uint8_t v : t.bgr) sum = uint8_t(sum + v);
  (void)sum;
  return 0;
}
