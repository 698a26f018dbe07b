// THIWin: the base of every window element. It owns one window object,
// applies the scheme's properties to it, and turns its keys, mouse and
// messages into the element's events.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "framework/data.h"
#include "framework/object.h"
#include "framework/text.h"
#include "toolkit/window.h"

namespace hi {

class THIHintManager;
struct THintTool;

struct TLastMouse {
  uint8_t Button = 0;
  uint32_t Shift = 0;
  int16_t X = 0;
  int16_t Y = 0;
};

class THIWin : public TObject {
 public:
  // parentControl: the window object of the parent element, or null.
  explicit THIWin(kol::TControl* parentControl);
  ~THIWin() override;

  // ---- state
  bool ControlReleasedFlag = false;
  kol::TControl* ParentControl;
  kol::TControl::MessageHook PrevMessage;
  TLastMouse LastMouse;
  int32_t KeyResult = -1;
  THintTool* HintTool = nullptr;
  THIHintManager* HintManager = nullptr;

  // ---- properties set by the scheme
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  uint8_t Align = 0;
  int32_t TabOrder = 0;
  uint32_t Color = 0xFF00000F;
  uint8_t Frame = 2;
  std::string Hint;
  TFontRec Font;
  uint8_t ParentFont = 0;
  uint8_t Visible = 1;
  uint8_t Enabled = 1;
  HCURSOR Cursor = nullptr;
  uint8_t MouseCapture = 0;
  uint8_t ParentKeysFirst = 1;
  uint8_t WindowEdge = 0;

  // ---- events and data links
  TEventLink onKeyDown, onKeyUp, onChar, onMouseDown, onMouseMove, onMouseUp, onMouseWheel, onSetFocus, onKillFocus,
      onDblClick, onResize, onShow, onMove;
  TEventLink WidthDelta, HeightDelta;

  // ---- virtual operations
  virtual void KeyDown(int& key, uint32_t shift);
  virtual void KeyUp(int& key, uint32_t shift);
  virtual void Char(char& ch, uint32_t shift);
  virtual void MouseDown(const kol::MouseData& m);
  virtual void MouseMove(const kol::MouseData& m);
  virtual void MouseOver();
  virtual void MouseLeave();
  virtual void MouseUp(const kol::MouseData& m);
  virtual void MouseWheel(const kol::MouseData& m);
  // Called for every message before the previous hook; true = handled.
  virtual bool Message(MSG& msg, LRESULT& result);
  virtual void ControlReleased();
  virtual void Resized();
  virtual void Shown();
  virtual void Init();
  virtual kol::TControl* GetControl() { return control_.get(); }

  // Registers a tooltip when Hint is not empty (with manager null the
  // library's own manager is used) or when a manager is given.
  void SetupHint(THIHintManager* manager);

  kol::TControl* Control() const { return control_.get(); }

 protected:
  // Derived elements make the window object; the element owns it.
  void SetControl(std::unique_ptr<kol::TControl> control) { control_ = std::move(control); }
  void HookEvents();

 private:
  void HandleKeyDown(int& key, uint32_t shift);
  void HandleKeyUp(int& key, uint32_t shift);
  void HandleChar(char& ch, uint32_t shift);
  void Track(DWORD flags);

  std::unique_ptr<kol::TControl> control_;
};

}  // namespace hi
