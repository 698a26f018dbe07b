// The RIFF-era half of the reader (used by doc_reader.cpp).
#pragma once

#include "docreader/doc_reader.h"

namespace hi {

// True when the first 12 bytes are "RIFF", a size and a form type "CDR?".
bool IsRiffDocument(const uint8_t head[12]);
TPreview ReadRiffPreview(TDocSource& source, const TDocLimits& limits);

}  // namespace hi
