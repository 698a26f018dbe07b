#include "toolkit/hint_manager.h"

#include <atomic>
#include <memory>

#include "toolkit/platform.h"
#include "toolkit/wide.h"
#include "toolkit/window.h"

namespace hi {

namespace {

std::atomic<long> g_liveTools{0};

// Kept loaded for the life of the process, like the manager itself.
HMODULE g_comctl = nullptr;

void InitCommonControlsOnce() {
  InitCommonControls();
  if (!g_comctl) g_comctl = LoadLibraryW(L"comctl32.dll");
  if (!g_comctl) return;
  using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = reinterpret_cast<InitEx>(reinterpret_cast<void*>(GetProcAddress(g_comctl, "InitCommonControlsEx")));
  if (init) {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = 8;
    icc.dwICC = 0xFF;
    init(&icc);
  }
}

THIHintManager* MakeLibraryManager() {
  InitCommonControlsOnce();
  return new THIHintManager();
}

// Runs while the library is loaded, like the window unit's start-up code.
THIHintManager* g_manager = MakeLibraryManager();

}  // namespace

THIHintManager* LibraryHintManager() { return g_manager; }
void ReleaseLibraryHintManager() {
  std::unique_ptr<THIHintManager> gone(g_manager);
  g_manager = nullptr;
}
long LiveHintTools() { return g_liveTools.load(); }

THIHintManager::THIHintManager() { MakeFontRec("Tahoma", 8, 0, 0, 1, Font); }

THintTool* THIHintManager::CreateTool(HWND window) {
  auto* t = new THintTool();
  ++g_liveTools;
  t->Info.cbSize = TTTOOLINFOW_V2_SIZE;
  t->Info.uFlags = TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT;
  t->Info.hwnd = window;
  t->Info.uId = reinterpret_cast<UINT_PTR>(window);
  t->Info.hinst = kol::ThisModule();
  t->Info.lpszText = LPSTR_TEXTCALLBACKW;
  DWORD style = WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX;
  if (Balloon == 0) style |= TTS_BALLOON;
  t->Tip.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, kol::ThisModule(), nullptr));
  HWND tip = t->Tip.get();
  if (!tip) return t;
  kol::FontDesc desc;
  desc.Name = Font.Name;
  desc.Height = FontHeightFromPoints(Font.Size, WindowDpi(window));
  desc.Style = Font.Style;
  desc.Charset = Font.Charset;
  t->Font = kol::MakeFont(desc);
  SendMessageA(tip, WM_SETFONT, reinterpret_cast<WPARAM>(t->Font.get()), 0);
  SetWindowPos(tip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  t->Info.lpszText = const_cast<wchar_t*>(t->Text.c_str());
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&t->Info));
  SendMessageA(tip, TTM_SETTIPTEXTCOLOR, kol::ResolveColor(TextColor), 0);
  SendMessageA(tip, TTM_SETTIPBKCOLOR, kol::ResolveColor(BackColor), 0);
  SendMessageA(tip, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(InitialDelay, 0));
  SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(AutoPopDelay, 0));
  RECT margin{Margin, Margin, Margin, Margin};
  SendMessageA(tip, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
  return t;
}

void THIHintManager::DestroyTool(THintTool* tool) {
  if (!tool) return;
  HWND tip = tool->Tip.get();
  if (tip && IsWindow(tip)) {
    SendMessageA(tip, WM_SETFONT, 0, 0);
    SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool->Info));
  } else {
    // The tooltip went with its owner window already.
    tool->Tip.release();
  }
  delete tool;
  --g_liveTools;
}

void THIHintManager::SetText(THintTool* tool, const std::string& text) {
  if (!tool) return;
  tool->Text = kol::Wide(text);
  tool->Info.lpszText = const_cast<wchar_t*>(tool->Text.c_str());
  if (tool->Tip) SendMessageW(tool->Tip.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool->Info));
}

void THIHintManager::SetTitle(THintTool* tool, int icon, const std::string& text) {
  if (tool && tool->Tip)
    SendMessageW(tool->Tip.get(), TTM_SETTITLEW, static_cast<WPARAM>(icon),
                 reinterpret_cast<LPARAM>(kol::Wide(text).c_str()));
}

void THIHintManager::PointerEntered(THintTool* tool) {
  if (tool && tool->Tip && Tracking == 1)
    SendMessageA(tool->Tip.get(), TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool->Info));
}

void THIHintManager::PointerLeft(THintTool* tool) {
  if (tool && tool->Tip && Tracking == 1)
    SendMessageA(tool->Tip.get(), TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool->Info));
}

void THIHintManager::PointerMoved(THintTool* tool, int x, int y) {
  if (tool && tool->Tip && Tracking == 1) {
    POINT p{x, y};
    ClientToScreen(reinterpret_cast<HWND>(tool->Info.uId), &p);
    SendMessageA(tool->Tip.get(), TTM_TRACKPOSITION, 0, MAKELPARAM(p.x, p.y));
  }
}

}  // namespace hi
