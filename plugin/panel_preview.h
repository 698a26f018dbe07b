// The file panel's thumbnail of a drawing document, from the document to
// the fitted rows in one piece: the document reader finds the preview, its
// header is checked against the panel's size limit, the decoder reads it and
// the area scaler fits it into the host's box. No archiver, no temporary
// file, no window and nothing shared between calls, so any number of threads
// may ask at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "docreader/doc_reader.h"
#include "imaging/picture_result.h"

namespace hi {

// Where the call stopped; the reader's and the decoder's own codes ride
// along, so a caller can tell every failure from the one result.
enum class TPanelStage : uint8_t {
  ok = 0,
  no_file,       // no name, or a folder's (ending in a slash or backslash)
  not_document,  // the host's first bytes are no document's: the file is not opened
  document,      // the reader gave no preview (see TPanelResult::document)
  too_large,     // the preview's header declares more pixels than TPanelLimits allow
  picture,       // the decoder refused the preview (see TPanelResult::picture)
  box,           // the box has no size
};

struct TPanelResult {
  TPanelStage stage = TPanelStage::ok;
  TDocResult document = TDocResult::ok;
  TPictureResult picture = pic_ok;
  bool Ok() const { return stage == TPanelStage::ok; }
};
const char* PanelStageName(TPanelStage stage);

// The host asks for boxes of a few hundred pixels (128 x 128 times the
// display's scale) from two panel threads at once, inside a 32-bit process
// whose address space the file manager shares. A preview past 2,097,152
// pixels (2048 x 1024, 32 times the 256 x 256 that documents carry) makes no
// better thumbnail, so it is refused from its header before anything is
// decoded. Its member may then take at most 16 MiB (8 bytes a pixel: a
// stored 16-bit RGBA PNG), its decoded rows at most 8 MiB (4 bytes a pixel:
// 32-bit rows, or 24-bit rows and PNG's alpha plane) and the one expanded
// copy of a palette picture 6 MiB: at most 30 MiB a call, 60 MiB for two.
// The viewer keeps its own, larger limit (MaxPixelBytes).
struct TPanelLimits {
  uint64_t maxPixels = uint64_t(1) << 21;
  TDocLimits document = {uint64_t(16) << 20};  // the preview member; the rest as the reader's defaults
};

// The fitted picture: top-down rows of blue, green and red bytes (a DIB's
// channel order), width * 3 bytes apart. Proportions are kept and a picture
// smaller than the box keeps its size.
struct TPanelThumbnail {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bgr;
  int32_t pictureWidth = 0;  // the preview's own size, as decoded
  int32_t pictureHeight = 0;
};

// The thumbnail of the document in source, fitted inside the box.
TPanelResult MakePanelThumbnail(TDocSource& source, int32_t boxWidth, int32_t boxHeight, TPanelThumbnail& thumbnail,
                                const TPanelLimits& limits = TPanelLimits());

// The same by file name, as the host asks: head is the file's first bytes
// the host passes (up to 8 KB, not zero-terminated); when given (headSize >
// 0) and no document's start, the file is not opened.
TPanelResult MakePanelThumbnailFile(const std::string& utf8Name, const void* head, size_t headSize, int32_t boxWidth,
                                    int32_t boxHeight, TPanelThumbnail& thumbnail,
                                    const TPanelLimits& limits = TPanelLimits());

}  // namespace hi
