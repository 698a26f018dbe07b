// THIImage: the window element that shows a picture in a child paint area.
// It keeps its own copy of the last bitmap it was given and paints it on
// every paint request in one of six placements (view_geometry.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

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

class THIImage : public THIWin {
 public:
  explicit THIImage(kol::TControl* parentControl);
  ~THIImage() override;

  uint8_t AutoSize = 0;
  TEventLink BitmapLink;
  TEventLink onClick;

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

  const TBitmapObject& Picture() const { return *picture_; }

 private:
  void Paint(HDC dc, const RECT& client);
  void ApplyAutoSize();
  void Invalidate();

  std::unique_ptr<TBitmapObject> picture_;
  int32_t stretchMode_ = COLORONCOLOR;
  int32_t viewStyle_ = vsFit;
};

}  // namespace hi
