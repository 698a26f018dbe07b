#include "plugin/lister_form_win.h"

namespace hi {

THiListerForm::THiListerForm(TPlugWindowRec* record) : THIWin(nullptr) {
  Visible = 0;
  SetControl(kol::TControl::NewForm(nullptr, Caption));
  kol::TControl* c = Control();
  kol::SetApplet(c);
  c->Font().Name = "MS Sans Serif";
  c->Font().Height = -11;
  c->OnShow = [this](kol::TControl&) { Shown(); };
  c->SetMargin(0);
  c->RemoveBorder();
  HWND wnd = c->Handle();
  if (record) {
    if (wnd) SetPropA(wnd, TPlugWindowRec::PropName, record);
    record->Form = this;
    HostWindow = record->HostWindow;
  }
  HostHasParent = (HostWindow && GetParent(HostWindow)) ? 1 : 0;
  AddStartupHandler(&THiListerForm::Started, this);
}

THiListerForm::~THiListerForm() {
  if (HWND wnd = Window()) RemovePropA(wnd, TPlugWindowRec::PropName);
}

void THiListerForm::Started(void* self) { FireNull(static_cast<THiListerForm*>(self)->onCreate); }

// Load returns Result once the events it fired have run. The scheme also
// sets it later (archiver output on the runner's thread, the picture being
// shown): after ListLoad has returned such a result is stored and never read.
void THiListerForm::doResult(TData& value, uint16_t) { Result = ToBoolean(value) ? 0 : 1; }

void THiListerForm::FileNameData(TData& value, uint16_t) { MakeString(value, FileName); }

int32_t THiListerForm::Load(const std::string& fileName, int32_t showFlags, int32_t preset) {
  FileName = fileName;
  Result = preset;
  FireString(onLoad, fileName);
  FireInteger(onShowFlags, showFlags);
  return Result;
}

void THiListerForm::Attach(HWND host) {
  HWND wnd = Window();
  if (!wnd) return;
  SetParent(wnd, host);
  // A window made top-level keeps the platform's WS_CLIPSIBLINGS through the
  // style change; the viewer shows exactly the child style of the load step.
  const LONG style = GetWindowLongA(wnd, GWL_STYLE);
  if (style & WS_CLIPSIBLINGS) SetWindowLongA(wnd, GWL_STYLE, style & ~WS_CLIPSIBLINGS);
  if (HostHasParent == 0 && ResizeHost == 1 && host) {
    int extraW = 0, extraH = 0;
    if (AddBorders == 1) {
      RECT w, c;
      GetWindowRect(host, &w);
      GetClientRect(host, &c);
      extraW = (w.right - w.left) - (c.right - c.left);
      extraH = (w.bottom - w.top) - (c.bottom - c.top);
    }
    SetWindowPos(host, nullptr, 0, 0, Width + extraW, Height + extraH, SWP_NOMOVE | SWP_NOZORDER);
  }
  PostMessageA(wnd, WM_SIZE, 2, 0);
  FireNull(onAttach);
}

void THiListerForm::Show() {
  kol::TControl* c = Control();
  if (!c) return;
  c->CreateWindows();
  HWND wnd = c->HandleIfCreated();
  if (!wnd) return;
  ShowWindow(wnd, SW_SHOW);
  SetForegroundWindow(wnd);
  if (IsWindowEnabled(wnd) && c->TabStop()) SetFocus(wnd);
}

bool THiListerForm::PassesKey(int key, uint32_t shift) const {
  if (PassKeys != 1 || shift != 0) return false;
  switch (key) {
    case VK_ESCAPE:
    case VK_PRINT:
    case 'A':
    case 'C':
    case 'F':
    case 'L':
    case 'N':
    case 'P':
    case 'S':
    case 'W': return true;
    default: return key >= '1' && key <= '7';
  }
}

void THiListerForm::KeyDown(int& key, uint32_t shift) {
  if (!PassesKey(key, shift)) {
    THIWin::KeyDown(key, shift);
    return;
  }
  int passed = (HostHasParent == 1 && key == VK_ESCAPE) ? VK_TAB : key;
  PostMessageA(HostWindow, WM_KEYDOWN, static_cast<WPARAM>(passed), 0);
}

void THiListerForm::KeyUp(int& key, uint32_t shift) {
  if (!PassesKey(key, shift)) THIWin::KeyUp(key, shift);
}

void THiListerForm::MouseDown(const kol::MouseData& m) {
  if (DragForm == 1) {
    ReleaseCapture();
    // A system move as if the caption were held: the window follows the mouse.
    constexpr WPARAM kMoveByCaption = SC_MOVE | HTCAPTION;
    SendMessageA(Window(), WM_SYSCOMMAND, kMoveByCaption, 0);
  }
  THIWin::MouseDown(m);
}

bool THiListerForm::Message(MSG& msg, LRESULT& result) {
  if (msg.message == WM_MOVE) FireNull(onFormMove);
  if (msg.message == WM_CLOSE) {
    // Never closes by itself: only the close step destroys the viewer.
    result = 0;
    if (msg.lParam != 0) {
      if (kol::TControl* c = Control()) {
        std::vector<kol::TControl*> children = c->Children();
        for (kol::TControl* child : children)
          if (child->IsForm() && child->Created()) SendMessageA(child->HandleIfCreated(), WM_CLOSE, 0, 1);
      }
      FireNull(onClose);
    }
    return true;
  }
  return THIWin::Message(msg, result);
}

void THiListerForm::Shown() {
  FireNull(onFormShow);
  THIWin::Shown();
}

}  // namespace hi
