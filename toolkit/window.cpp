#include "toolkit/window.h"

#include <algorithm>
#include <atomic>

#include "toolkit/platform.h"
#include "toolkit/wide.h"

namespace kol {

namespace {

constexpr const char* FormClass = "obj_Form";
constexpr const char* PaintClass = "obj_Paint";

std::atomic<long> g_liveControls{0};
TControl* g_applet = nullptr;

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  return hi::GuardedCall<LRESULT>(0, [&]() -> LRESULT {
    TControl* self = TControl::FromHandle(wnd);
    if (!self && msg == WM_NCCREATE) {
      self = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
      if (self) self->Attach(wnd);
    }
    if (!self) return DefWindowProcW(wnd, msg, wp, lp);
    return self->Dispatch(wnd, msg, wp, lp);
  });
}

// Classes are registered with this library's module handle on first use
// and unregistered when the library is unloaded. They are Unicode classes,
// so a window's text holds any name.
class ClassRegistry {
 public:
  ~ClassRegistry() {
    for (const char* name : names_) UnregisterClassW(Wide(name).c_str(), ThisModule());
  }
  void Ensure(const char* name) {
    if (std::find(names_.begin(), names_.end(), name) != names_.end()) return;
    const std::wstring wideName = Wide(name);
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = wideName.c_str();
    if (RegisterClassW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) names_.push_back(name);
  }

 private:
  std::vector<const char*> names_;
};

ClassRegistry& Registry() {
  static ClassRegistry registry;
  return registry;
}

HWND AppletWindow() { return g_applet ? g_applet->HandleIfCreated() : nullptr; }

MouseData MouseFrom(uint8_t button, WPARAM wp, LPARAM lp) {
  MouseData m;
  m.Button = button;
  m.Shift = static_cast<uint32_t>(LOWORD(wp));
  m.X = static_cast<int16_t>(LOWORD(lp));
  m.Y = static_cast<int16_t>(HIWORD(lp));
  return m;
}

}  // namespace

uint32_t CurrentShiftState() {
  uint32_t s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

COLORREF ResolveColor(uint32_t color) {
  if ((color & 0xFF000000u) == 0xFF000000u) return GetSysColor(static_cast<int>(color & 0xFFu));
  return static_cast<COLORREF>(color & 0xFFFFFFu);
}

GdiFont MakeFont(const FontDesc& desc) {
  LOGFONTA lf{};
  lf.lfHeight = desc.Height;
  lf.lfWeight = (desc.Style & 1) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (desc.Style & 2) ? 1 : 0;
  lf.lfUnderline = (desc.Style & 4) ? 1 : 0;
  lf.lfStrikeOut = (desc.Style & 8) ? 1 : 0;
  lf.lfCharSet = desc.Charset;
  lstrcpynA(lf.lfFaceName, desc.Name.c_str(), LF_FACESIZE);
  return GdiFont(CreateFontIndirectA(&lf));
}

TControl* Applet() { return g_applet; }

void SetApplet(TControl* control) {
  static bool installed = [] {
    SetOwnerWindowProc(&AppletWindow);
    return true;
  }();
  (void)installed;
  g_applet = control;
}

long LiveControls() { return g_liveControls.load(); }

TControl::TControl(TControl* parent, bool form, const char* className)
    : parent_(parent), form_(form), className_(className), visible_(!form) {
  style_ = form ? (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN) : (WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  if (parent_) parent_->children_.push_back(this);
  ++g_liveControls;
}

std::unique_ptr<TControl> TControl::NewForm(TControl* parent, const std::string& caption) {
  std::unique_ptr<TControl> c(new TControl(parent, true, FormClass));
  c->text_ = caption;
  return c;
}

std::unique_ptr<TControl> TControl::NewPaintBox(TControl* parent) {
  return std::unique_ptr<TControl>(new TControl(parent, false, PaintClass));
}

TControl::~TControl() {
  ClearHooks();
  HWND h = wnd_.release();
  if (h) {
    DestroyWindow(h);
    // A window of another thread cannot be destroyed from here; it must
    // at least no longer find this object.
    if (IsWindow(h)) RemovePropA(h, SelfProp);
  }
  for (TControl* child : children_) child->parent_ = nullptr;
  if (parent_) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  if (g_applet == this) g_applet = nullptr;
  --g_liveControls;
}

void TControl::ClearHooks() {
  OnKeyDown = nullptr;
  OnKeyUp = nullptr;
  OnChar = nullptr;
  OnMouseDown = nullptr;
  OnMouseMove = nullptr;
  OnMouseUp = nullptr;
  OnMouseWheel = nullptr;
  OnMouseDblClk = nullptr;
  OnResize = nullptr;
  OnShow = nullptr;
  OnClick = nullptr;
  OnReleased = nullptr;
  OnMessage = nullptr;
  OnPaint = nullptr;
}

TControl* TControl::FromHandle(HWND wnd) { return wnd ? static_cast<TControl*>(GetPropA(wnd, SelfProp)) : nullptr; }

void TControl::Attach(HWND wnd) {
  SetPropA(wnd, SelfProp, this);
  wnd_.reset(wnd);
}

void TControl::Detached() {
  HWND h = wnd_.release();
  if (h) RemovePropA(h, SelfProp);
  released_ = true;
  if (OnReleased) OnReleased(*this);
}

HWND TControl::Handle() {
  if (wnd_ || released_ || creating_) return wnd_.get();
  HWND parentWnd = nullptr;
  if (parent_) {
    parentWnd = parent_->Handle();
    if (!parentWnd) return nullptr;
  }
  Registry().Ensure(className_);
  creating_ = true;
  DWORD style = style_ & ~WS_VISIBLE;
  if (visible_) style |= WS_VISIBLE;
  HWND h = CreateWindowExW(exStyle_, Wide(className_).c_str(), Wide(text_).c_str(), style, left_, top_, width_, height_,
                           parentWnd, nullptr, ThisModule(), this);
  creating_ = false;
  if (!h) return nullptr;
  if (fontObj_) SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(fontObj_.get()), 0);
  if (!enabled_) EnableWindow(h, FALSE);
  if (parent_ && align_ != alNone) parent_->Realign();
  return wnd_.get();
}

void TControl::CreateWindows() {
  Handle();
  for (size_t i = 0; i < children_.size(); ++i) children_[i]->CreateWindows();
}

void TControl::SetPosition(int left, int top) {
  left_ = left;
  top_ = top;
  if (wnd_) SetWindowPos(wnd_.get(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetSize(int width, int height) {
  width_ = width;
  height_ = height;
  if (wnd_) SetWindowPos(wnd_.get(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TControl::Bounds() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }

void TControl::SetStyle(DWORD style) {
  style_ = style;
  if (wnd_) {
    SetWindowLongA(wnd_.get(), GWL_STYLE, static_cast<LONG>(style));
    SetWindowPos(wnd_.get(), nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

DWORD TControl::Style() const { return wnd_ ? static_cast<DWORD>(GetWindowLongA(wnd_.get(), GWL_STYLE)) : style_; }

void TControl::SetExStyle(DWORD exStyle) {
  exStyle_ = exStyle;
  if (wnd_) {
    SetWindowLongA(wnd_.get(), GWL_EXSTYLE, static_cast<LONG>(exStyle));
    SetWindowPos(wnd_.get(), nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

DWORD TControl::ExStyle() const {
  return wnd_ ? static_cast<DWORD>(GetWindowLongA(wnd_.get(), GWL_EXSTYLE)) : exStyle_;
}

void TControl::RemoveBorder() {
  SetStyle((Style() & ~(WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_BORDER | WS_DLGFRAME)) | WS_POPUP);
  SetExStyle(ExStyle() & ~(WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE));
}

void TControl::SetText(const std::string& text) {
  text_ = text;
  if (wnd_) SetWindowTextW(wnd_.get(), Wide(text).c_str());
}

std::string TControl::Text() const {
  if (!wnd_) return text_;
  wchar_t buf[1024];
  int n = GetWindowTextW(wnd_.get(), buf, int(sizeof buf / sizeof buf[0]));
  return Utf8(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

void TControl::SetColor(uint32_t color) {
  color_ = color;
  brush_.reset();
  Invalidate();
}

HBRUSH TControl::BackBrush() {
  if (!brush_) brush_.reset(CreateSolidBrush(ResolveColor(color_)));
  return brush_.get();
}

void TControl::ApplyFont() {
  GdiFont f = MakeFont(font_);
  if (wnd_) SendMessageA(wnd_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(f.get()), 0);
  // The old font is deleted only after the window has let go of it.
  fontObj_ = std::move(f);
}

void TControl::SetMargin(int margin) {
  margin_ = margin;
  Realign();
}

void TControl::SetAlign(uint8_t align) {
  align_ = align;
  if (parent_) parent_->Realign();
}

void TControl::Realign() {
  if (!wnd_) return;
  RECT r;
  GetClientRect(wnd_.get(), &r);
  InflateRect(&r, -margin_, -margin_);
  static const uint8_t passes[] = {alTop, alBottom, alLeft, alRight, alClient};
  for (uint8_t pass : passes) {
    for (TControl* c : children_) {
      if (c->align_ != pass || !c->Visible()) continue;
      int w = c->width_, h = c->height_;
      int x = r.left, y = r.top;
      switch (pass) {
        case alTop:
          w = r.right - r.left;
          r.top += h;
          break;
        case alBottom:
          w = r.right - r.left;
          y = r.bottom - h;
          r.bottom -= h;
          break;
        case alLeft:
          h = r.bottom - r.top;
          r.left += w;
          break;
        case alRight:
          h = r.bottom - r.top;
          x = r.right - w;
          r.right -= w;
          break;
        default:
          w = r.right - r.left;
          h = r.bottom - r.top;
          break;
      }
      w = std::max(w, 0);
      h = std::max(h, 0);
      c->left_ = x;
      c->top_ = y;
      c->width_ = w;
      c->height_ = h;
      if (c->wnd_) SetWindowPos(c->wnd_.get(), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
}

void TControl::SetVisible(bool visible) {
  visible_ = visible;
  if (wnd_) ShowWindow(wnd_.get(), visible ? (form_ ? SW_SHOW : SW_SHOWNA) : SW_HIDE);
  if (parent_ && align_ != alNone) parent_->Realign();
}

bool TControl::Visible() const { return wnd_ ? (GetWindowLongA(wnd_.get(), GWL_STYLE) & WS_VISIBLE) != 0 : visible_; }

void TControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (wnd_) EnableWindow(wnd_.get(), enabled ? TRUE : FALSE);
}

bool TControl::Enabled() const { return wnd_ ? IsWindowEnabled(wnd_.get()) != FALSE : enabled_; }

void TControl::SetTabOrder(int order) {
  tabOrder_ = order;
  if (order <= 0) return;
  SetStyle(Style() | WS_TABSTOP);
  if (!parent_) return;
  auto& sib = parent_->children_;
  sib.erase(std::remove(sib.begin(), sib.end(), this), sib.end());
  sib.insert(sib.begin() + std::min<size_t>(static_cast<size_t>(order), sib.size()), this);
}

TControl* TControl::NextFocusable(TControl* from, bool backward) {
  std::vector<TControl*> all;
  std::function<void(TControl*)> collect = [&](TControl* c) {
    for (TControl* k : c->children_) {
      if (k->TabStop() && k->wnd_ && k->Visible() && k->Enabled()) all.push_back(k);
      collect(k);
    }
  };
  collect(this);
  if (all.empty()) return nullptr;
  std::stable_sort(all.begin(), all.end(),
                   [](const TControl* a, const TControl* b) { return a->tabOrder_ < b->tabOrder_; });
  auto it = std::find(all.begin(), all.end(), from);
  if (it == all.end()) return backward ? all.back() : all.front();
  size_t i = static_cast<size_t>(it - all.begin());
  size_t n = all.size();
  return all[backward ? (i + n - 1) % n : (i + 1) % n];
}

bool TControl::Navigate(int key, uint32_t shift) {
  if (shift & (ssCtrl | ssAlt)) return false;
  bool backward;
  switch (key) {
    case VK_TAB: backward = (shift & ssShift) != 0; break;
    case VK_LEFT:
    case VK_UP:
    case VK_PRIOR: backward = true; break;
    case VK_RIGHT:
    case VK_DOWN:
    case VK_NEXT: backward = false; break;
    default: return false;
  }
  TControl* form = this;
  while (form && !form->form_) form = form->parent_;
  if (!form || !form->tabulate_) return false;
  TControl* target = form->NextFocusable(this == form ? nullptr : this, backward);
  if (!target || target == this) return false;
  SetFocus(target->wnd_.get());
  return true;
}

void TControl::Invalidate() {
  if (wnd_) InvalidateRect(wnd_.get(), nullptr, TRUE);
}

LRESULT TControl::Dispatch(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCDESTROY) {
    Detached();
    return DefWindowProcW(wnd, msg, wp, lp);
  }
  MSG m{};
  m.hwnd = wnd;
  m.message = msg;
  m.wParam = wp;
  m.lParam = lp;
  if (OnMessage) {
    LRESULT result = 0;
    if (OnMessage(*this, m, result)) return result;
    wp = m.wParam;
    lp = m.lParam;
  }
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      int key = static_cast<int>(wp);
      uint32_t shift = CurrentShiftState();
      if (OnKeyDown) OnKeyDown(*this, key, shift);
      if (key == 0) return 0;
      if (msg == WM_KEYDOWN && Navigate(key, shift)) return 0;
      wp = static_cast<WPARAM>(key);
      break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      int key = static_cast<int>(wp);
      if (OnKeyUp) OnKeyUp(*this, key, CurrentShiftState());
      if (key == 0) return 0;
      wp = static_cast<WPARAM>(key);
      break;
    }
    case WM_CHAR: {
      // The hook sees one byte of the ANSI code page, as with the ANSI
      // windows of before; a character that it leaves alone goes on whole.
      const wchar_t unit = static_cast<wchar_t>(wp);
      char ch = '?';
      WideCharToMultiByte(CP_ACP, 0, &unit, 1, &ch, 1, nullptr, nullptr);
      const char before = ch;
      if (OnChar) OnChar(*this, ch, CurrentShiftState());
      if (ch == 0) return 0;
      if (ch != before) {
        wchar_t changed = L'?';
        MultiByteToWideChar(CP_ACP, 0, &ch, 1, &changed, 1);
        wp = static_cast<WPARAM>(changed);
      }
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      uint8_t b = msg == WM_LBUTTONDOWN ? 1 : msg == WM_RBUTTONDOWN ? 2 : 3;
      if (b == 1) pressed_ = true;
      if (OnMouseDown) OnMouseDown(*this, MouseFrom(b, wp, lp));
      break;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      uint8_t b = msg == WM_LBUTTONUP ? 1 : msg == WM_RBUTTONUP ? 2 : 3;
      MouseData md = MouseFrom(b, wp, lp);
      if (OnMouseUp) OnMouseUp(*this, md);
      if (b == 1 && pressed_) {
        pressed_ = false;
        RECT r;
        GetClientRect(wnd, &r);
        POINT p{md.X, md.Y};
        if (OnClick && PtInRect(&r, p)) OnClick(*this);
      }
      break;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
      uint8_t b = msg == WM_LBUTTONDBLCLK ? 1 : msg == WM_RBUTTONDBLCLK ? 2 : 3;
      if (OnMouseDblClk) OnMouseDblClk(*this, MouseFrom(b, wp, lp));
      break;
    }
    case WM_MOUSEMOVE:
      if (OnMouseMove) OnMouseMove(*this, MouseFrom(0, wp, lp));
      break;
    case WM_MOUSEWHEEL: {
      POINT p{static_cast<int16_t>(LOWORD(lp)), static_cast<int16_t>(HIWORD(lp))};
      ScreenToClient(wnd, &p);
      MouseData md = MouseFrom(0, wp, MAKELPARAM(p.x, p.y));
      md.Wheel = static_cast<int16_t>(HIWORD(wp));
      if (OnMouseWheel) {
        OnMouseWheel(*this, md);
        return 0;
      }
      break;
    }
    case WM_MOVE:
    case WM_SIZE: {
      RECT r;
      GetWindowRect(wnd, &r);
      HWND parent = GetParent(wnd);
      if (parent && (GetWindowLongA(wnd, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
      left_ = r.left;
      top_ = r.top;
      width_ = r.right - r.left;
      height_ = r.bottom - r.top;
      if (msg == WM_SIZE) {
        Realign();
        if (OnResize) OnResize(*this);
      }
      break;
    }
    case WM_SHOWWINDOW:
      if (wp && !IsWindowVisible(wnd) && OnShow) OnShow(*this);
      break;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(wnd, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, BackBrush());
      return 1;
    }
    case WM_PAINT:
      if (OnPaint) {
        PaintDc dc(wnd);
        RECT r;
        GetClientRect(wnd, &r);
        if (dc) OnPaint(*this, dc.get(), r);
        return 0;
      }
      break;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(fontObj_.get());
    case WM_SETCURSOR:
      if (cursor_ && LOWORD(lp) == HTCLIENT) {
        ::SetCursor(cursor_);
        return TRUE;
      }
      break;
    default: break;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace kol
