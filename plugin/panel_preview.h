// The picture a file panel's thumbnail view shows for a drawing document:
// the preview the document carries, read by the document reader and
// decoded in memory. No archiver, no temporary file, no window and nothing
// shared between calls, so any number of threads may ask at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hi {

// The first bytes of a ZIP document ("PK\3\4") or a RIFF drawing ("RIFF",
// size, "CDR"). The host passes up to 8 KB of them, not zero-terminated.
bool LooksLikeDocument(const void* head, size_t size);

// A decoded preview as top-down rows of red, green and blue bytes.
struct TPanelPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;
};

// The document's preview, or false for a directory (a name ending in a
// slash or backslash), a file that is no document, a document without a
// preview, a damaged one or one past the reader's limits. When head is
// given (headSize > 0) and is no document's start, the file is not opened.
bool LoadPanelPicture(const std::string& utf8Name, const void* head, size_t headSize, TPanelPicture& picture);

}  // namespace hi
