#include "toolkit/hi_win.h"

#include "toolkit/hint_manager.h"
#include "toolkit/platform.h"

namespace hi {

THIWin::THIWin(kol::TControl* parentControl) : ParentControl(parentControl) {
  MakeFontRec("MS Sans Serif", 8, 0, 0, 1, Font);
  if (parentControl) Color = parentControl->Color();
}

THIWin::~THIWin() {
  // The tooltip goes first: it refers to the window and holds a font.
  if (HintTool && HintManager) HintManager->DestroyTool(HintTool);
  HintTool = nullptr;
  if (control_) {
    if (!ControlReleasedFlag && control_->Created()) control_->SetVisible(false);
    control_.reset();
  }
}

void THIWin::Init() {
  kol::TControl* c = control_.get();
  if (!c) return;
  c->SetColor(Color);
  c->SetPosition(Left, Top);
  c->SetSize(Width, Height);
  if (Frame == 0) {
    c->SetExStyle(c->ExStyle() | WS_EX_CLIENTEDGE);
    c->SetStyle(c->Style() & ~WS_BORDER);
  } else if (Frame == 1) {
    c->SetStyle(c->Style() | WS_BORDER);
    c->SetExStyle(c->ExStyle() & ~WS_EX_CLIENTEDGE);
  }
  c->SetEnabled(Enabled != 0);
  c->SetCursor(Cursor);
  if (ParentFont && c->Parent()) {
    c->Font() = c->Parent()->Font();
  } else {
    kol::FontDesc& f = c->Font();
    f.Color = kol::ResolveColor(Font.Color);
    f.Style = Font.Style;
    f.Name = Font.Name;
    f.Height = FontHeightFromPoints(Font.Size);
    f.Charset = Font.Charset;
  }
  c->ApplyFont();
  c->SetTabOrder(TabOrder);
  HookEvents();
  c->SetAlign(Align);
  if (HWND h = c->Handle())
    SetWindowPos(h, HWND_TOP, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_HIDEWINDOW | SWP_NOOWNERZORDER);
  c->SetVisible(Visible != 0);
  if (Frame == 0) {
    static const DWORD edges[] = {0, 0, WS_EX_STATICEDGE, WS_EX_DLGMODALFRAME, WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE};
    if (WindowEdge >= 1 && WindowEdge <= 4) c->SetExStyle(edges[WindowEdge]);
  }
}

void THIWin::HookEvents() {
  kol::TControl* c = control_.get();
  c->OnMouseDown = [this](kol::TControl&, const kol::MouseData& m) { MouseDown(m); };
  c->OnMouseMove = [this](kol::TControl&, const kol::MouseData& m) { MouseMove(m); };
  c->OnMouseUp = [this](kol::TControl&, const kol::MouseData& m) { MouseUp(m); };
  c->OnMouseWheel = [this](kol::TControl&, const kol::MouseData& m) { MouseWheel(m); };
  c->OnMouseDblClk = [this](kol::TControl&, const kol::MouseData& m) {
    LastMouse = {m.Button, m.Shift, m.X, m.Y};
    FireInteger(onDblClick, m.Button - 1);
  };
  PrevMessage = c->OnMessage;
  c->OnMessage = [this](kol::TControl& ctl, MSG& msg, LRESULT& result) {
    if (Message(msg, result)) return true;
    return PrevMessage ? PrevMessage(ctl, msg, result) : false;
  };
  c->OnReleased = [this](kol::TControl&) { ControlReleased(); };
  c->OnKeyDown = [this](kol::TControl&, int& key, uint32_t shift) { HandleKeyDown(key, shift); };
  c->OnKeyUp = [this](kol::TControl&, int& key, uint32_t shift) { HandleKeyUp(key, shift); };
  c->OnChar = [this](kol::TControl&, char& ch, uint32_t shift) { HandleChar(ch, shift); };
  c->OnResize = [this](kol::TControl&) { Resized(); };
  c->OnShow = [this](kol::TControl&) { Shown(); };
}

// The parent's handler sees the key first, so a form sees what is typed
// into its children.
void THIWin::HandleKeyDown(int& key, uint32_t shift) {
  kol::TControl* parent = control_ ? control_->Parent() : nullptr;
  if (ParentKeysFirst == 1 && parent && parent->OnKeyDown) {
    parent->OnKeyDown(*parent, key, shift);
    if (key == 0) return;
  }
  KeyResult = -1;
  KeyDown(key, shift);
  if (KeyResult >= 0) key = KeyResult;
  if (key == 0) KeyResult = 0;
}

void THIWin::HandleKeyUp(int& key, uint32_t shift) {
  kol::TControl* parent = control_ ? control_->Parent() : nullptr;
  if (ParentKeysFirst == 1 && parent && parent->OnKeyUp) {
    parent->OnKeyUp(*parent, key, shift);
    if (key == 0) return;
  }
  KeyResult = -1;
  KeyUp(key, shift);
  if (KeyResult >= 0) key = KeyResult;
}

void THIWin::HandleChar(char& ch, uint32_t shift) {
  kol::TControl* parent = control_ ? control_->Parent() : nullptr;
  if (ParentKeysFirst == 1 && parent && parent->OnChar) {
    parent->OnChar(*parent, ch, shift);
    if (ch == 0) return;
  }
  // A key down that was consumed swallows its character.
  if (KeyResult == 0) {
    KeyResult = -1;
    ch = 0;
    return;
  }
  KeyResult = -1;
  Char(ch, shift);
  if (KeyResult >= 0) ch = static_cast<char>(KeyResult);
}

void THIWin::KeyDown(int& key, uint32_t) { FireInteger(onKeyDown, key); }
void THIWin::KeyUp(int& key, uint32_t) { FireInteger(onKeyUp, key); }
void THIWin::Char(char& ch, uint32_t) { FireString(onChar, std::string(1, ch)); }

void THIWin::MouseDown(const kol::MouseData& m) {
  LastMouse = {m.Button, m.Shift, m.X, m.Y};
  FireInteger(onMouseDown, m.Button - 1);
  if (MouseCapture == 1 && control_) {
    ReleaseCapture();
    SetCapture(control_->Handle());
  }
}

void THIWin::MouseMove(const kol::MouseData& m) {
  LastMouse = {m.Button, m.Shift, m.X, m.Y};
  if (HintTool && HintManager) HintManager->PointerMoved(HintTool, m.X, m.Y);
  int held = m.Shift == MK_LBUTTON ? 0 : m.Shift == MK_RBUTTON ? 1 : m.Shift == MK_MBUTTON ? 2 : -1;
  FireInteger(onMouseMove, held);
}

void THIWin::MouseOver() {
  if (HintTool && HintManager) HintManager->PointerEntered(HintTool);
}

void THIWin::MouseLeave() {
  if (HintTool && HintManager) HintManager->PointerLeft(HintTool);
}

void THIWin::MouseUp(const kol::MouseData& m) {
  LastMouse = {m.Button, m.Shift, m.X, m.Y};
  FireInteger(onMouseUp, m.Button - 1);
  if (MouseCapture == 1) ReleaseCapture();
}

void THIWin::MouseWheel(const kol::MouseData& m) {
  LastMouse = {m.Button, m.Shift, m.X, m.Y};
  FireInteger(onMouseWheel, m.Wheel);
}

void THIWin::Track(DWORD flags) {
  if (!control_ || !control_->Created()) return;
  TRACKMOUSEEVENT t{};
  t.cbSize = sizeof t;
  t.dwFlags = flags;
  t.hwndTrack = control_->HandleIfCreated();
  t.dwHoverTime = HOVER_DEFAULT;
  TrackMouseEvent(&t);
}

bool THIWin::Message(MSG& msg, LRESULT&) {
  switch (msg.message) {
    case WM_MOVE: FireNull(onMove); break;
    case WM_SETFOCUS: FireNull(onSetFocus); break;
    case WM_KILLFOCUS: FireNull(onKillFocus); break;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(msg.lParam);
      if (!pos || (pos->flags & SWP_NOSIZE)) break;
      RECT r;
      GetWindowRect(msg.hwnd, &r);
      int height = r.bottom - r.top, width = r.right - r.left;
      if (pos->cy != height) {
        TData v;
        MakeInteger(v, pos->cy - height);
        PullData(v, HeightDelta);
        if (IsInteger(v)) pos->cy = height + ToInteger(v);
      }
      if (pos->cx != width) {
        TData v;
        MakeInteger(v, pos->cx - width);
        PullData(v, WidthDelta);
        if (IsInteger(v)) pos->cx = width + ToInteger(v);
      }
      break;
    }
    case WM_MOUSEHOVER: MouseOver(); break;
    case WM_MOUSELEAVE:
      MouseLeave();
      Track(TME_HOVER);
      break;
    default:
      if (msg.message >= 0x200 && msg.message <= 0x20A) {
        Track(TME_LEAVE);
        MouseOver();
      }
      break;
  }
  return false;
}

void THIWin::ControlReleased() { ControlReleasedFlag = true; }
void THIWin::Resized() { FireNull(onResize); }
void THIWin::Shown() { FireNull(onShow); }

void THIWin::SetupHint(THIHintManager* manager) {
  if (!manager) {
    if (Hint.empty()) return;
    manager = LibraryHintManager();
  }
  if (!manager || !control_ || HintTool) return;
  HWND h = control_->Handle();
  if (!h) return;
  HintManager = manager;
  HintTool = manager->CreateTool(h);
  manager->SetText(HintTool, Hint);
}

}  // namespace hi
