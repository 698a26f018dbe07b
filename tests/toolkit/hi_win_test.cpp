#include "toolkit/hi_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/toolkit/pump.h"
#include "toolkit/platform.h"

namespace {

std::vector<std::string> g_events;

struct Recorder : hi::TObject {
  std::string prefix;
  void doEvent(hi::TData& v, uint16_t index) {
    static const char* names[] = {"down",     "up",        "char", "mdown",  "mmove", "mup", "wheel",
                                  "setfocus", "killfocus", "dbl",  "resize", "show",  "move"};
    g_events.push_back(prefix + names[index] + ":" + hi::ToString(v));
  }
};

// A window element over a form or, with a parent, over a child paint area;
// 'Q' is consumed by its key-down operation.
class TestWin : public hi::THIWin {
 public:
  explicit TestWin(TestWin* parent, const std::string& prefix = "") : THIWin(parent ? parent->Control() : nullptr) {
    rec.prefix = prefix;
    if (parent)
      SetControl(kol::TControl::NewPaintBox(parent->Control()));
    else
      SetControl(kol::TControl::NewForm(nullptr, "w"));
    hi::TEventLink* links[] = {&onKeyDown, &onKeyUp,      &onChar,     &onMouseDown, &onMouseMove,
                               &onMouseUp, &onMouseWheel, &onSetFocus, &onKillFocus, &onDblClick,
                               &onResize,  &onShow,       &onMove};
    for (uint16_t i = 0; i < 13; ++i) *links[i] = hi::LinkTo<&Recorder::doEvent>(&rec, i);
    Width = 200;
    Height = 150;
    // Forms stay hidden: mapping a top-level window costs Wine a wait
    // under a display without a window manager.
    if (!parent) Visible = 0;
  }
  void KeyDown(int& key, uint32_t shift) override {
    if (key == 'Q') {
      KeyResult = 0;
      return;
    }
    THIWin::KeyDown(key, shift);
  }
  Recorder rec;
};

size_t Count(const std::string& e) { return static_cast<size_t>(std::count(g_events.begin(), g_events.end(), e)); }

struct Started : ::testing::Test {
  void SetUp() override {
    hi::InstallDispatchers();
    g_events.clear();
    SetModifiers(false, false, false);
  }
};

}  // namespace

TEST_F(Started, InitAppliesFrameEdgeTabOrderEnabledVisibleAndFont) {
  TestWin form(nullptr);
  form.Color = RGB(1, 2, 3);
  form.Font.Size = 12;
  form.Font.Style = 1 | 2;
  form.Init();
  HWND fw = form.Control()->Handle();
  EXPECT_FALSE(GetWindowLongA(fw, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(form.Control()->Color(), RGB(1, 2, 3));
  RECT r;
  GetWindowRect(fw, &r);
  EXPECT_EQ(r.right - r.left, 200);
  LOGFONTA lf{};
  ASSERT_TRUE(GetObjectA(form.Control()->FontHandle(), sizeof lf, &lf));
  EXPECT_EQ(lf.lfHeight, hi::FontHeightFromPoints(12));
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_TRUE(lf.lfItalic);
  EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(fw, WM_GETFONT, 0, 0)), form.Control()->FontHandle());

  TestWin a(&form);
  EXPECT_EQ(a.Color, RGB(1, 2, 3)) << "a child takes its parent's colour";
  a.Frame = 0;
  a.WindowEdge = 2;
  a.TabOrder = 3;
  a.Enabled = 0;
  a.Init();
  HWND w = a.Control()->Handle();
  LONG style = GetWindowLongA(w, GWL_STYLE);
  EXPECT_EQ(GetWindowLongA(w, GWL_EXSTYLE) & (WS_EX_STATICEDGE | WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME),
            WS_EX_STATICEDGE);
  EXPECT_FALSE(style & WS_BORDER);
  EXPECT_TRUE(style & WS_TABSTOP);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_FALSE(IsWindowEnabled(w));

  TestWin b(&form);
  b.Frame = 1;
  b.TabOrder = -1;
  b.Visible = 0;
  b.ParentFont = 1;
  b.Init();
  HWND bw = b.Control()->Handle();
  EXPECT_TRUE(GetWindowLongA(bw, GWL_STYLE) & WS_BORDER);
  EXPECT_FALSE(GetWindowLongA(bw, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_FALSE(GetWindowLongA(bw, GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(b.Control()->TabStop());
  ASSERT_TRUE(GetObjectA(b.Control()->FontHandle(), sizeof lf, &lf));
  EXPECT_EQ(lf.lfHeight, hi::FontHeightFromPoints(12)) << "the parent's font";
}

TEST_F(Started, MouseEventsCarryButtonsWheelAndCapture) {
  TestWin a(nullptr);
  a.MouseCapture = 1;
  a.Init();
  HWND w = a.Control()->Handle();
  g_events.clear();
  SendMessageA(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(11, 12));
  EXPECT_EQ(a.LastMouse.Button, 2);
  EXPECT_EQ(a.LastMouse.X, 11);
  EXPECT_EQ(a.LastMouse.Y, 12);
  EXPECT_EQ(GetCapture(), w);
  SendMessageA(w, WM_RBUTTONUP, 0, MAKELPARAM(11, 12));
  EXPECT_EQ(GetCapture(), nullptr);
  SendMessageA(w, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(1, 1));
  SendMessageA(w, WM_MOUSEMOVE, MK_MBUTTON, MAKELPARAM(1, 1));
  SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, MAKELPARAM(1, 1));
  SendMessageA(w, WM_MBUTTONUP, 0, MAKELPARAM(1, 1));
  SendMessageA(w, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(1, 1));
  SendMessageA(w, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), MAKELPARAM(100, 100));
  EXPECT_EQ(g_events, (std::vector<std::string>{"mdown:1", "mup:1", "mmove:1", "mmove:2", "mmove:-1", "mup:2", "dbl:0",
                                                "wheel:-120"}));
}

TEST_F(Started, KeysReachTheParentFirstAndAConsumedKeySwallowsItsCharacter) {
  TestWin form(nullptr, "form.");
  form.Init();
  TestWin child(&form, "child.");
  child.Init();
  HWND cw = child.Control()->Handle();
  PostKey(cw, 'K');
  EXPECT_EQ(Count("form.down:75"), 1u);
  EXPECT_EQ(Count("child.down:75"), 1u);
  EXPECT_EQ(Count("form.char:k"), 1u);
  EXPECT_EQ(Count("child.char:k"), 1u);
  EXPECT_EQ(Count("form.up:75"), 1u);
  EXPECT_EQ(Count("child.up:75"), 1u);
  // The parent consumes Q: the child sees neither the key nor its character.
  g_events.clear();
  PostKey(cw, 'Q');
  for (const std::string& e : g_events) EXPECT_EQ(e.rfind("child.down", 0), std::string::npos) << e;
  EXPECT_EQ(Count("child.char:q"), 0u);
  EXPECT_EQ(Count("form.char:q"), 0u);
  // The next character goes through again.
  PostMessageA(cw, WM_CHAR, 'r', 1);
  Pump();
  EXPECT_EQ(Count("child.char:r"), 1u);
  // Without the parent-first rule the form is not asked.
  child.ParentKeysFirst = 0;
  g_events.clear();
  PostKey(cw, 'K');
  EXPECT_EQ(Count("form.down:75"), 0u);
  EXPECT_EQ(Count("child.down:75"), 1u);
}

TEST_F(Started, MessagesFireFocusMoveAndChainThePreviousHook) {
  TestWin a(nullptr);
  int previous = 0;
  a.Control()->OnMessage = [&](kol::TControl&, MSG& m, LRESULT& r) {
    if (m.message != WM_USER + 1) return false;
    ++previous;
    r = 5;
    return true;
  };
  a.Init();
  HWND w = a.Control()->Handle();
  EXPECT_EQ(SendMessageA(w, WM_USER + 1, 0, 0), 5);
  EXPECT_EQ(previous, 1);
  SendMessageA(w, WM_SETFOCUS, 0, 0);
  SendMessageA(w, WM_KILLFOCUS, 0, 0);
  SetWindowPos(w, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(w, nullptr, 0, 0, 300, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(Count("setfocus:"), 1u);
  EXPECT_EQ(Count("killfocus:"), 1u);
  EXPECT_GE(Count("move:"), 1u);
  EXPECT_GE(Count("resize:"), 1u);
  g_events.clear();
  ShowWindow(w, SW_SHOWNA);
  EXPECT_EQ(Count("show:"), 1u);
  ShowWindow(w, SW_SHOWNA);
  EXPECT_EQ(Count("show:"), 1u) << "only a hidden window becoming visible counts";
}

TEST_F(Started, ReleasedControlIsNotDestroyedAgain) {
  long controls = kol::LiveControls();
  long gdi = kol::LiveGdiObjects();
  {
    TestWin form(nullptr);
    form.Init();
    TestWin child(&form);
    child.Init();
    HWND cw = child.Control()->Handle();
    DestroyWindow(form.Control()->Handle());
    EXPECT_FALSE(IsWindow(cw));
    EXPECT_TRUE(child.ControlReleasedFlag);
    EXPECT_TRUE(form.ControlReleasedFlag);
  }
  EXPECT_EQ(kol::LiveControls(), controls);
  EXPECT_EQ(kol::LiveGdiObjects(), gdi);
}
