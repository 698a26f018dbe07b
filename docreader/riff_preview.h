// The RIFF-era half of the reader (used by doc_reader.cpp).
#pragma once

#include "docreader/doc_reader.h"

namespace hi {

TPreview ReadRiffPreview(TDocSource& source, const TDocLimits& limits);

}  // namespace hi
