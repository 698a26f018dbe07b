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
#include "imaging/zoom_view.h"
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
  // null. The element keeps its own copies. A rendering of the document
  // replaces the artwork on screen only when it gives way.
  void AddArtwork(const TBitmapObject* light, const TBitmapObject* dark, const TBitmapObject* light2x,
                  const TBitmapObject* dark2x, bool givesWayToRendering = false);

  const TBitmapObject& Picture() const { return *picture_; }

  // ---- The rendered document (image_view_win.cpp): off until switched on.
  // doClear starts a document: page 1, fitted. A moment later, and again
  // when the window has grown, the zoom has changed, the page has changed
  // or the screen's scale has, onRender asks for the page in the box the
  // data points below give; doRendered takes the result, which replaces the
  // picture on screen (see ShowsRendering).
  TEventLink onRender;
  // Integer: the page (2 and up) whose stored picture doPagePicture should
  // get; page 1's is the document's preview.
  TEventLink onPage;
  void SetRendering(bool on);
  void doRendered(TData& value, uint16_t index);
  void doPageCount(TData& value, uint16_t index);
  void doPagePicture(TData& value, uint16_t index);
  // The load's own route has ended (the archiver is done): a rendering that
  // came before any picture may show now.
  void doSettled(TData& value, uint16_t index);
  // A key the viewer window kept (an integer virtual key) and its wheel
  // turns (the delta); Ctrl and Shift are read from the keyboard state.
  void doKey(TData& value, uint16_t index);
  void doWheel(TData& value, uint16_t index);
  // Data points: the request.
  void RenderPage(TData& value, uint16_t index);
  void RenderWidth(TData& value, uint16_t index);
  void RenderHeight(TData& value, uint16_t index);

  int32_t Page() const { return page_; }
  int32_t PageCount() const { return pageCount_; }
  const TZoomView& View() const { return view_; }
  // Whether the rendering is what the window shows: there is one, the user
  // has not switched to the stored picture, and no artwork that keeps its
  // place ("No_7za") is up.
  bool ShowsRendering() const;

  void MouseDown(const kol::MouseData& m) override;
  void MouseMove(const kol::MouseData& m) override;
  void MouseUp(const kol::MouseData& m) override;
  bool Message(MSG& msg, LRESULT& result) override;
  void Resized() override;

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

  // image_view_win.cpp
  void StartDocument();
  void Settle(bool shown);
  void HoldPreview();
  void PaintedPreview();
  void GoToPage(int32_t page);
  void ZoomBy(double factor, int32_t x, int32_t y);
  void ScheduleRender(UINT delayMs);
  void RequestRender();
  void ShowPageLabel();
  void PaintPageLabel(HDC dc, const RECT& client);
  bool ArtworkGivesWay() const;
  TViewPlacement Place(const RECT& client, int32_t& w, int32_t& h, TBitmapObject*& shown);
  TPixelSize ClientSize() const;

  struct TArtwork {
    bool GivesWay = false;
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

  // The rendered document.
  bool rendering_ = false;
  std::unique_ptr<TBitmapObject> rendered_;
  int32_t renderedPage_ = 0;
  // The load's stored preview (or artwork), kept for returning to page 1.
  std::unique_ptr<TBitmapObject> preview_;
  const TBitmapObject* previewArtwork_ = nullptr;
  int32_t page_ = 1, pageCount_ = 0;
  bool showStored_ = false;
  // The load's picture (preview or placeholder) came, or its route ended;
  // and the preview's moment on screen before a rendering that was ready
  // first replaces it.
  bool settled_ = false;
  bool holding_ = false;
  // Whether the load brought a picture, and when it was first painted.
  bool shownPreview_ = false;
  DWORD previewAt_ = 0;
  bool labelShown_ = false;
  TZoomView view_;
  // The last request: asked again only when it would differ.
  bool requested_ = false;
  int32_t requestedPage_ = 0, requestedDpi_ = 0;
  TPixelSize requestedBox_;
  // Dragging: the last mouse position while the left button is held.
  bool dragging_ = false;
  int32_t dragX_ = 0, dragY_ = 0;
  TViewPlacement lastPlacement_;
  int32_t lastClientW_ = 0, lastClientH_ = 0;
};

}  // namespace hi
