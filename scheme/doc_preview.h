// THIDocPreview: what the viewer learns from the document itself before the
// archiver is involved. A RIFF drawing's DISP picture is read and shown
// in-process; for a ZIP document the thumbnail members' declared sizes decide
// whether the archiver may run at all. The document is opened once per load
// and its head read once, by doPreview, which also takes the guard's
// verdict; doGuard, later in the load, only acts on it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "docreader/doc_reader.h"
#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class TBitmapObject;

// The guard's decision on a ZIP document's "thumbnail.*" members.
enum class TGuardVerdict : uint8_t {
  run,       // the archiver runs as before
  no_thumb,  // "No_Thumb" at once, no archiver
};
// No_thumb when the declared sizes together pass the limit, or when the
// directory read cleanly and holds no thumbnail member; run otherwise, also
// when the reader failed (the archiver may know what the reader does not).
TGuardVerdict GuardVerdict(TDocResult listed, const std::vector<TThumbnailMember>& members, uint64_t maxTotalBytes);

// The bitmap of a DISP preview (a bare DIB), or none when it does not decode.
std::unique_ptr<TBitmapObject> DibToBitmap(const std::vector<uint8_t>& dib);

class THIDocPreview : public TObject {
 public:
  // Declared bytes of all thumbnail members together that the archiver may
  // be asked to write.
  uint64_t MaxThumbnailBytes = uint64_t(64) << 20;
  TEventLink FileName;   // data: the document's name (UTF-8)
  TEventLink onBitmap;   // the in-process preview, valid during the event
  TEventLink onShown;    // after onBitmap: the preview was shown in-process
  TEventLink onNoThumb;  // a drawing without a usable preview, or one the guard refuses
  TEventLink onOther;    // doPreview: not a RIFF drawing, go on as before
  TEventLink onRun;      // doGuard: the archiver may run
  TEventLink onPage;     // doPage: a page's stored picture, valid during the event

  // Opens the document: a RIFF drawing is shown (onBitmap, onShown) or
  // refused (onNoThumb); for anything else the guard's verdict is kept and
  // the load goes on (onOther). The file is closed before any event fires.
  void doPreview(TData& value, uint16_t index);
  // The kept verdict: onNoThumb for a missing document or a ZIP document the
  // guard refuses, onRun otherwise.
  void doGuard(TData& value, uint16_t index);
  // The stored picture of the page (an integer from 1) of a ZIP-era
  // document, read in-process like the panel's preview; nothing when the
  // document keeps none.
  void doPage(TData& value, uint16_t index);

 private:
  TGuardVerdict guard_ = TGuardVerdict::no_thumb;  // no archiver before a look
};

}  // namespace hi
