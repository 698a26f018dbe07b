// THIImage: the window element that shows a picture in a child paint area.
// It keeps its own copy of the last bitmap it was given and paints it on
// every paint request in one of six placements (view_geometry.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/data.h"
#include "imaging/bitmap.h"
#include "imaging/view_geometry.h"
#include "toolkit/hi_win.h"

namespace hi {

// The system family from the platform id and version: 6 for NT 6 and
// later, 5 for XP and 2003, 4 for 2000, 3 for NT 4 and earlier, 2 for 98
// and ME, 1 for 95, 0 for anything else. The NT family is above 2.
int ClassifySystemFamily(DWORD platform, DWORD major, DWORD minor);
// This system's family, classified once per process.
int SystemFamily();

// The host's show flags that the element follows (besides fit, bit 2,
// which reaches it as a view style).
constexpr int32_t kShowFitLargerOnly = 32;
constexpr int32_t kShowDarkMode = 128;
// The background around the picture in dark mode.
constexpr uint32_t kDarkBackground = 0x202020;

class THIImage : public THIWin {
 public:
  explicit THIImage(kol::TControl* parentControl);
  ~THIImage() override;

  uint8_t AutoSize = 0;
  TEventLink BitmapLink;
  TEventLink onClick;
  // Fired by doCopy: the integer 1 when the picture went to the clipboard,
  // 0 when there was nothing to copy.
  TEventLink onCopy;

  // Properties the scheme sets once.
  void SetViewStyle(int32_t style);
  void SetSmooth(bool smooth);
  int32_t ViewStyle() const { return viewStyle_; }
  int32_t StretchMode() const { return stretchMode_; }

  // Creates the paint area in the parent's window and applies the
  // window-element properties; call after setting them.
  void Init() override;

  void doLoad(TData& value, uint16_t index);
  void doClear(TData& value, uint16_t index);
  void doViewStyle(TData& value, uint16_t index);
  // Like doLoad, for the element's own artwork (the placeholders): drawn at
  // the window's scale, in the dark variant in dark mode, never copied.
  void doLoadArtwork(TData& value, uint16_t index);
  // The host's show flags (an integer): fit larger only and dark mode.
  void doShowFlags(TData& value, uint16_t index);
  // Puts the document's picture on the clipboard as a DIB.
  void doCopy(TData& value, uint16_t index);

  // The variants of one artwork, found by the bitmap (light, 100 %) that
  // doLoadArtwork gets: dark at 100 %, light and dark at 200 %; any may be
  // null. The element keeps its own copies.
  void AddArtwork(const TBitmapObject* light, const TBitmapObject* dark, const TBitmapObject* light2x,
                  const TBitmapObject* dark2x);

  const TBitmapObject& Picture() const { return *picture_; }

 private:
  void Paint(HDC dc, const RECT& client);
  void ApplyAutoSize();
  void Invalidate();

  void Load(TData& value, bool artwork);
  // The picture to paint, and the size to paint it at: artwork in the
  // variant nearest to the dots per inch and the host's mode, scaled to
  // them; a document's picture as it is.
  TBitmapObject& Displayed(int dpi, int32_t& width, int32_t& height);
  bool CopyToClipboard();

  struct TArtwork {
    const TBitmapObject* Light;
    // [dark][200 %]; [0][0] stays empty: that is the picture itself.
    std::unique_ptr<TBitmapObject> Variant[2][2];
  };

  std::unique_ptr<TBitmapObject> picture_;
  int32_t stretchMode_ = COLORONCOLOR;
  int32_t viewStyle_ = vsFit;
  bool fitLargerOnly_ = false;
  bool dark_ = false;
  // The artwork bitmap the picture was copied from, or null for a document's
  // picture; only compared, never read.
  const TBitmapObject* artwork_ = nullptr;
  std::vector<TArtwork> artworkVariants_;
};

}  // namespace hi
