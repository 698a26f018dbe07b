// The window object: one per window, with a registered class, a window
// procedure that finds it through the window property "SELF_", event hooks
// that elements fill in, child alignment and background erasing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/handles.h"

namespace kol {

// Shift-state bits handed to the key hooks, built from GetKeyState.
constexpr uint32_t ssShift = 4;
constexpr uint32_t ssCtrl = 8;
constexpr uint32_t ssAlt = 0x20;
uint32_t CurrentShiftState();

// Colours: 0xFF000000 + n names system colour n.
COLORREF ResolveColor(uint32_t color);

struct MouseData {
  uint8_t Button = 0;  // 1 left, 2 right, 3 middle, 0 none
  uint32_t Shift = 0;  // the MK_ flags of the message
  int16_t X = 0;
  int16_t Y = 0;
  int16_t Wheel = 0;  // wheel delta of WM_MOUSEWHEEL
};

struct FontDesc {
  std::string Name = "MS Sans Serif";
  int Height = -11;
  uint8_t Style = 0;  // 1 bold, 2 italic, 4 underline, 8 strike-out
  COLORREF Color = 0;
  uint8_t Charset = DEFAULT_CHARSET;
};

// Builds a font from its description; the object is counted like every graphics object owner.
GdiFont MakeFont(const FontDesc& desc);

enum TAlign : uint8_t { alNone = 0, alLeft = 1, alTop = 2, alRight = 3, alBottom = 4, alClient = 5 };

class TControl {
 public:
  using KeyHook = std::function<void(TControl&, int& key, uint32_t shift)>;
  using CharHook = std::function<void(TControl&, char& ch, uint32_t shift)>;
  using MouseHook = std::function<void(TControl&, const MouseData&)>;
  using NotifyHook = std::function<void(TControl&)>;
  // Returns true when the message was handled; result is then returned.
  using MessageHook = std::function<bool(TControl&, MSG&, LRESULT& result)>;
  using PaintHook = std::function<void(TControl&, HDC dc, const RECT& client)>;

  // A form: a top-level window (or a child of parent's window) of the class
  // "obj_Form".
  static std::unique_ptr<TControl> NewForm(TControl* parent, const std::string& caption);
  // A plain child paint area of the class "obj_Paint".
  static std::unique_ptr<TControl> NewPaintBox(TControl* parent);

  ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  // The window handle; asking for it creates the window (and its parent's)
  // when it does not exist yet. Null once the window has been destroyed.
  HWND Handle();
  HWND HandleIfCreated() const { return wnd_.get(); }
  bool Created() const { return static_cast<bool>(wnd_); }
  // The window was destroyed by someone else; it is never made again.
  bool Released() const { return released_; }
  // Creates the windows of this control and of all its children.
  void CreateWindows();

  bool IsForm() const { return form_; }
  TControl* Parent() const { return parent_; }
  const std::vector<TControl*>& Children() const { return children_; }

  // Geometry: the bounds relative to the parent's client area.
  void SetPosition(int left, int top);
  void SetSize(int width, int height);
  RECT Bounds() const;
  int Width() const { return width_; }
  int Height() const { return height_; }

  void SetStyle(DWORD style);
  DWORD Style() const;
  void SetExStyle(DWORD exStyle);
  DWORD ExStyle() const;
  // Drops caption, frame and system menu and makes a popup with no border.
  void RemoveBorder();

  void SetText(const std::string& text);
  std::string Text() const;

  void SetColor(uint32_t color);
  uint32_t Color() const { return color_; }
  HBRUSH BackBrush();

  FontDesc& Font() { return font_; }
  // Rebuilds the window's font from Font().
  void ApplyFont();
  HFONT FontHandle() const { return fontObj_.get(); }

  void SetMargin(int margin);
  int Margin() const { return margin_; }
  void SetAlign(uint8_t align);
  uint8_t Align() const { return align_; }
  void Realign();

  void SetVisible(bool visible);
  bool Visible() const;
  void SetEnabled(bool enabled);
  bool Enabled() const;
  void SetCursor(HCURSOR cursor) { cursor_ = cursor; }

  // Focus: TabOrder >= 0 takes part; > 0 also sets WS_TABSTOP and the
  // position among the siblings.
  void SetTabOrder(int order);
  int TabOrder() const { return tabOrder_; }
  bool TabStop() const { return tabOrder_ >= 0; }
  // Tab, Shift+Tab, arrows and Page Up/Down move the focus among the
  // children of this form.
  void SetTabulate(bool on) { tabulate_ = on; }
  bool Tabulate() const { return tabulate_; }
  // The next (or previous) control of this form that can take the focus.
  TControl* NextFocusable(TControl* from, bool backward);

  void Invalidate();

  KeyHook OnKeyDown, OnKeyUp;
  CharHook OnChar;
  MouseHook OnMouseDown, OnMouseMove, OnMouseUp, OnMouseWheel, OnMouseDblClk;
  NotifyHook OnResize, OnShow, OnClick, OnReleased;
  MessageHook OnMessage;
  PaintHook OnPaint;

  // The object of a window of this toolkit, or null.
  static TControl* FromHandle(HWND wnd);
  static constexpr const char* SelfProp = "SELF_";

  // Used by the window procedure.
  LRESULT Dispatch(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  void Attach(HWND wnd);

 private:
  TControl(TControl* parent, bool form, const char* className);
  void ClearHooks();
  void Detached();
  bool Navigate(int key, uint32_t shift);

  TControl* parent_;
  bool form_;
  const char* className_;
  std::vector<TControl*> children_;
  WindowHandle wnd_;
  bool released_ = false;
  bool creating_ = false;
  std::string text_;
  int left_ = 0, top_ = 0, width_ = 100, height_ = 100;
  DWORD style_;
  DWORD exStyle_ = 0;
  bool visible_;
  bool enabled_ = true;
  uint32_t color_ = 0xFF00000F;
  GdiBrush brush_;
  FontDesc font_;
  GdiFont fontObj_;
  int margin_ = 2;
  uint8_t align_ = alNone;
  HCURSOR cursor_ = nullptr;
  int tabOrder_ = 0;
  bool tabulate_ = false;
  bool pressed_ = false;
};

// The library-wide application window: owner of message boxes.
TControl* Applet();
void SetApplet(TControl* control);

// Live window objects of this toolkit (for the leak tests).
long LiveControls();

}  // namespace kol
