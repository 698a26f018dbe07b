// The document reader: finds the preview picture a drawing document carries
// and returns its bytes, without running the archiver and without writing
// anything. ZIP-era documents (format versions 14 and later) are read with
// libzip; RIFF-era documents by a bounded chunk walk. Portable, and safe on
// any thread: every call works on its own source and archive handle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "docreader/doc_signature.h"
#include "docreader/doc_source.h"

namespace hi {

// One code per reason; the first fault met is the one reported.
enum class TDocResult : uint8_t {
  ok = 0,
  not_document,        // neither a ZIP nor a RIFF drawing document
  no_preview,          // a document, but without thumbnail member or DISP chunk
  unsupported_method,  // the preview member is neither stored nor deflated
  encrypted,           // the preview member is encrypted
  damaged,             // inconsistent headers, bad CRC, sizes that disagree
  over_limit,          // a size past one of TDocLimits
  read_error,          // the file could not be opened or read
};
const char* DocResultMessage(TDocResult result);

enum class TPreviewKind : uint8_t {
  none = 0,
  png,  // a PNG file (previews/thumbnail.png)
  bmp,  // a BMP file with its file header (metadata/thumbnails/thumbnail.bmp)
  dib,  // a bare DIB rebuilt from a RIFF document's DISP chunk, full colour table
};
const char* PreviewKindName(TPreviewKind kind);

// Limits, on by default; a caller may narrow or widen them.
struct TDocLimits {
  // Largest declared size of a preview member, or of a DISP chunk; checked
  // before anything is inflated or allocated.
  uint64_t maxPreviewBytes = uint64_t(64) << 20;
  // Archive members looked at; real documents hold a few dozen.
  uint64_t maxMembers = 65536;
  // Chunks walked in a RIFF document before the walk gives up.
  uint32_t maxRiffChunks = 4096;
};

struct TPreview {
  TDocResult result = TDocResult::not_document;
  TPreviewKind kind = TPreviewKind::none;
  std::vector<uint8_t> bytes;
  // The member name, or "DISP chunk at N" for the RIFF era.
  std::string source;
};

// A member whose base name matches "thumbnail.*", as the directory declares it.
struct TThumbnailMember {
  uint64_t index = 0;
  std::string name;
  uint64_t size = 0;            // uncompressed, as declared
  uint64_t compressedSize = 0;  // as declared
  uint16_t method = 0;          // 0 stored, 8 deflated, others unsupported
  bool encrypted = false;
};

// The viewer's member rule: the base name (after the last '/' or '\') is
// compared without regard to ASCII case; "thumbnail.png" ranks 2,
// "thumbnail.bmp" 1, anything else 0. The highest rank wins; among equal
// ranks the member latest in the archive wins, as the archiver's overwrite
// of an earlier extracted file of the same name does.
int ThumbnailRank(const std::string& memberName);
bool IsThumbnailMember(const std::string& memberName);

// The stored picture of one page (from 1) of a ZIP-era document:
// "previews/pageN.png" ranks 2, "metadata/thumbnails/pageN.bmp" 1 (the path
// compared without regard to ASCII case, either slash), anything else 0.
int PagePreviewRank(const std::string& memberName, int page);

// Which era a document's first bytes name (DocumentEraOf), without opening
// the archive; none for anything else or an unreadable file.
TDocEra DocumentEra(TDocSource& source);

TPreview ReadPreview(TDocSource& source, const TDocLimits& limits = TDocLimits());
// The same for a caller that has read the head already and knows the era.
TPreview ReadPreview(TDocSource& source, TDocEra era, const TDocLimits& limits = TDocLimits());
// The page's stored picture by the rule above; no_preview for a RIFF-era
// document, which keeps none per page.
TPreview ReadPagePreview(TDocSource& source, int page, const TDocLimits& limits = TDocLimits());
TPreview ReadPreviewFile(const std::string& utf8Name, const TDocLimits& limits = TDocLimits());
TPreview ReadPreviewMemory(const void* data, size_t size, const TDocLimits& limits = TDocLimits());

// Every "thumbnail.*" member of a ZIP-era document, in archive order. A RIFF
// document reports ok with an empty list.
TDocResult ListThumbnailMembers(TDocSource& source, std::vector<TThumbnailMember>& members,
                                const TDocLimits& limits = TDocLimits());
TDocResult ListThumbnailMembers(TDocSource& source, TDocEra era, std::vector<TThumbnailMember>& members,
                                const TDocLimits& limits = TDocLimits());

}  // namespace hi
