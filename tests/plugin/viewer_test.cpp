#include <gtest/gtest.h>
#include <algorithm>

#include "plugin/list_plug_win.h"
#include "plugin/lister_form_win.h"
#include "tests/plugin/host.h"
#include "tests/plugin/test_scheme.h"
#include "toolkit/platform.h"

using test::g_config;
using test::g_log;

namespace {

::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new test::StartedEnvironment);

struct Viewer : ::testing::Test {
  hi::THiListPlug plug;
  HWND host = nullptr;
  void SetUp() override {
    g_config = test::ViewerConfig();
    g_log.clear();
    test::HostKeys().clear();
    plug.SetUp();
    plug.SetFactory(&test::TViewerScheme::Create);
    host = test::MakeHost();
  }
  void TearDown() override {
    while (!plug.Instances.empty()) {
      auto* scheme = static_cast<test::TViewerScheme*>(plug.Instances.back()->Owner);
      plug.CloseStep(scheme->Form->Window());
    }
    DestroyWindow(host);
    hi::ViewerContainer = nullptr;
  }
  HWND Open(const char* file = "a.cdr", int flags = 0) {
    return reinterpret_cast<HWND>(plug.LoadStep(host, nullptr, file, flags));
  }
  hi::THiListerForm* FormOf(HWND w) { return hi::TPlugWindowRec::Of(w)->Form; }
};

}  // namespace

TEST_F(Viewer, LoadReloadAndCloseFireInOrder) {
  EXPECT_EQ(hi::ViewerContainer, &plug);
  EXPECT_TRUE(plug.Instances.empty()) << "made on demand only";
  HWND focusBefore = test::MakeHost();
  SetFocus(focusBefore);
  Pump();
  HWND w = Open("a.cdr", 2);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(GetParent(w), host);
  // Besides the two bits set, only what the system adds: visible after the
  // show, and Wine keeps clip-siblings on a window that was top-level when
  // its style was set.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)) & ~static_cast<DWORD>(WS_VISIBLE | WS_CLIPSIBLINGS),
            static_cast<DWORD>(WS_CHILD | WS_MAXIMIZE));
  EXPECT_TRUE(GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(GetFocus(), focusBefore) << "the focus of before the load comes back";
  char cls[32];
  GetClassNameA(w, cls, sizeof cls);
  EXPECT_STREQ(cls, "obj_Form");
  char title[64];
  GetWindowTextA(w, title, sizeof title);
  EXPECT_STREQ(title, "Lister plugin. Debug version!..");
  EXPECT_EQ(kol::Applet(), nullptr) << "no viewer stays the application window";
  hi::TPlugWindowRec* rec = hi::TPlugWindowRec::Of(w);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->Container, &plug);
  EXPECT_EQ(rec->HostWindow, host);
  EXPECT_EQ(rec->Instance, plug.Current);
  EXPECT_EQ(rec->Form->FileName, "a.cdr");
  // The moves that the style change brings are not part of the order.
  std::vector<std::string> first;
  for (const std::string& e : g_log)
    if (e != "formmove:" && e != "move:") first.push_back(e);
  std::vector<std::string> expected = {"create:", "load:a.cdr", "flags:2", "attach:"};
  ASSERT_GE(first.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(first.begin(), first.begin() + 4), expected);
  EXPECT_EQ(test::CountLog("unload:"), 0u);
  auto at = [](const std::string& e) { return std::find(g_log.begin(), g_log.end(), e) - g_log.begin(); };
  ASSERT_EQ(test::CountLog("formshow:"), 1u) << "shown once, by the show step";
  EXPECT_LT(at("formshow:"), at("show:"));
  EXPECT_LT(at("attach:"), at("formshow:"));

  g_log.clear();
  SetWindowPos(w, nullptr, 3, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_GE(test::CountLog("formmove:"), 1u);
  EXPECT_LT(at("formmove:"), at("move:"));

  // The posted WM_SIZE lays out the child once the queue is processed.
  Pump();
  RECT client, child;
  GetClientRect(w, &client);
  GetWindowRect(
      rec->Form == nullptr ? w : static_cast<test::TViewerScheme*>(rec->Instance->Owner)->Child->Control()->Handle(),
      &child);
  EXPECT_EQ(child.right - child.left, client.right);
  EXPECT_EQ(child.bottom - child.top, client.bottom);

  g_log.clear();
  SetFocus(focusBefore);
  EXPECT_EQ(plug.LoadStep(host, w, "b.cdr", 0), 0);
  ASSERT_GE(g_log.size(), 3u);
  EXPECT_EQ(g_log[0], "unload:");
  EXPECT_EQ(g_log[1], "load:b.cdr");
  EXPECT_EQ(g_log[2], "flags:0");
  EXPECT_EQ(GetFocus(), w) << "a reload does not give the focus back";

  g_log.clear();
  g_config.failLoad = true;
  EXPECT_EQ(plug.LoadStep(host, w, "c.cdr", 0), 1);
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(FormOf(w)->FileName, "c.cdr");
  EXPECT_EQ(plug.Instances.size(), 1u);

  g_log.clear();
  plug.CloseStep(w);
  EXPECT_EQ(g_log, (std::vector<std::string>{"unload:", "close:"}));
  EXPECT_FALSE(IsWindow(w));
  EXPECT_TRUE(plug.Instances.empty());
  EXPECT_EQ(plug.Current, nullptr);
  EXPECT_EQ(test::TViewerScheme::Live, 0);
  DestroyWindow(focusBefore);
}

TEST_F(Viewer, FailedFirstLoadLeavesNothing) {
  long controls = kol::LiveControls();
  g_config.failLoad = true;
  HWND seen = nullptr;
  EXPECT_EQ(Open("bad.cdr"), nullptr);
  EXPECT_EQ(test::CountLog("unload:"), 1u);
  EXPECT_EQ(test::CountLog("close:"), 1u);
  EXPECT_EQ(test::CountLog("attach:"), 0u);
  EXPECT_TRUE(plug.Instances.empty());
  EXPECT_EQ(plug.Current, nullptr);
  EXPECT_EQ(test::TViewerScheme::Live, 0);
  EXPECT_EQ(kol::LiveControls(), controls);
  EXPECT_EQ(FindWindowExA(host, nullptr, "obj_Form", nullptr), seen);
  EXPECT_EQ(FindWindowA("obj_Form", nullptr), nullptr);

  // With ErrorMode 1 the result is ignored.
  plug.ErrorMode = 1;
  HWND w = Open("bad.cdr");
  EXPECT_NE(w, nullptr);
}

TEST_F(Viewer, HotKeysGoToTheHostOthersFireKeyDown) {
  HWND w = Open();
  ASSERT_NE(w, nullptr);
  auto* scheme = static_cast<test::TViewerScheme*>(plug.Current->Owner);
  HWND child = scheme->Child->Control()->Handle();
  g_log.clear();

  SetModifiers(false, false, false);
  PostKey(w, 'N');
  EXPECT_EQ(test::HostKeys(), std::vector<WPARAM>{0x4E});
  EXPECT_EQ(test::CountLog("key:78"), 0u);
  EXPECT_EQ(test::CountLog("keyup:78"), 0u);

  test::HostKeys().clear();
  SetModifiers(false, true, false);
  PostKey(w, 'N');
  SetModifiers(false, false, false);
  EXPECT_TRUE(test::HostKeys().empty());
  EXPECT_EQ(test::CountLog("key:78"), 1u);
  EXPECT_EQ(test::CountLog("keyup:78"), 1u);

  test::HostKeys().clear();
  PostKey(w, '8');
  PostKey(w, '7');
  PostKey(w, 'B');
  PostKey(w, 'W');
  PostKey(w, 0x2A);
  EXPECT_EQ(test::HostKeys(), (std::vector<WPARAM>{'7', 'W', 0x2A}));
  EXPECT_EQ(test::CountLog("key:56"), 1u);
  EXPECT_EQ(test::CountLog("key:66"), 1u);
  EXPECT_EQ(test::CountLog("key:55"), 0u);

  // Esc stays Esc for a top-level host.
  test::HostKeys().clear();
  PostKey(w, VK_ESCAPE);
  EXPECT_EQ(test::HostKeys(), std::vector<WPARAM>{27});

  // A key typed into the child is offered to the form first.
  test::HostKeys().clear();
  g_log.clear();
  PostKey(child, 'S');
  PostKey(child, '9');
  EXPECT_EQ(test::HostKeys(), std::vector<WPARAM>{'S'});
  EXPECT_EQ(test::CountLog("key:57"), 1u) << "the form's own event for the key it keeps";
  EXPECT_EQ(test::CountLog("childkey:57"), 1u);
}

TEST_F(Viewer, EscapeBecomesTabWhenTheHostHasAParent) {
  HWND frame = host;
  host = test::MakeHost(frame);
  HWND w = Open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(FormOf(w)->HostHasParent, 1);
  PostKey(w, VK_ESCAPE);
  EXPECT_EQ(test::HostKeys(), std::vector<WPARAM>{9});
  plug.CloseStep(w);
  DestroyWindow(host);
  host = frame;
}

TEST_F(Viewer, DragFormMovesByTheClientAreaThenFiresMouseDown) {
  g_config.dragForm = 1;
  HWND w = Open();
  ASSERT_NE(w, nullptr);
  // Stands in front of the element to see the command without starting
  // the system's modal move loop.
  std::vector<WPARAM> commands;
  kol::TControl* c = FormOf(w)->Control();
  auto element = c->OnMessage;
  c->OnMessage = [&](kol::TControl& ctl, MSG& m, LRESULT& r) {
    if (m.message == WM_SYSCOMMAND) {
      commands.push_back(m.wParam);
      r = 0;
      return true;
    }
    return element(ctl, m, r);
  };
  g_log.clear();
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(commands, std::vector<WPARAM>{0xF012});
  EXPECT_EQ(test::CountLog("mousedown:0"), 1u);
  c->OnMessage = element;
}

TEST_F(Viewer, CloseMessageNeverClosesTheViewer) {
  HWND w = Open();
  ASSERT_NE(w, nullptr);
  g_log.clear();
  SendMessageA(w, WM_CLOSE, 0, 0);
  PostMessageA(w, WM_CLOSE, 0, 0);
  Pump();
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(test::CountLog("close:"), 0u);
  SendMessageA(w, WM_CLOSE, 0, 1);
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(test::CountLog("close:"), 1u);
}

TEST_F(Viewer, ResizeHostWithBordersGivesTheFormItsSize) {
  g_config.resizeHost = 1;
  g_config.addBorders = 1;
  HWND w = Open();
  ASSERT_NE(w, nullptr);
  RECT outer, client;
  GetWindowRect(host, &outer);
  GetClientRect(host, &client);
  int bordersW = (outer.right - outer.left) - client.right;
  int bordersH = (outer.bottom - outer.top) - client.bottom;
  EXPECT_GT(bordersH, bordersW) << "a caption is part of the extra height";
  EXPECT_EQ(outer.right - outer.left, 435 + bordersW);
  EXPECT_EQ(outer.bottom - outer.top, 413 + bordersH);
  plug.CloseStep(w);

  // Without borders the outer size is the form's size.
  g_config.addBorders = 0;
  w = Open();
  GetWindowRect(host, &outer);
  EXPECT_EQ(outer.right - outer.left, 435);
  EXPECT_EQ(outer.bottom - outer.top, 413);
}

TEST_F(Viewer, SizeDeltasAreAskedOnlyWhenTheSizeChanges) {
  HWND w = Open();
  hi::THiListerForm* form = FormOf(w);
  struct Delta : hi::TObject {
    int asked = 0;
    hi::TData answer;
    void Get(hi::TData& v, uint16_t) {
      ++asked;
      int32_t proposed = hi::ToInteger(v);
      if (hi::TypeOf(answer) == hi::data_null)
        hi::MakeInteger(v, proposed + 10);
      else
        v = answer;
    }
  } delta;
  form->HeightDelta = hi::LinkTo<&Delta::Get>(&delta);
  SetWindowPos(w, nullptr, 0, 0, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(delta.asked, 1);
  EXPECT_EQ(r.bottom - r.top, 110);
  EXPECT_EQ(r.right - r.left, 200) << "the unconnected width link leaves the width";
  SetWindowPos(w, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(delta.asked, 1);
  hi::MakeString(delta.answer, "7");
  SetWindowPos(w, nullptr, 0, 0, 200, 150, SWP_NOZORDER | SWP_NOACTIVATE);
  GetWindowRect(w, &r);
  EXPECT_EQ(delta.asked, 2);
  EXPECT_EQ(r.bottom - r.top, 150) << "a string answer is ignored";
}

namespace {

void Type(const std::vector<WORD>& downThenUp) {
  std::vector<INPUT> in;
  for (WORD vk : downThenUp) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = vk;
    in.push_back(i);
  }
  for (auto it = downThenUp.rbegin(); it != downThenUp.rend(); ++it) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = *it;
    i.ki.dwFlags = KEYEVENTF_KEYUP;
    in.push_back(i);
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 150) {
    Pump();
    Sleep(5);
  }
}

}  // namespace

// Keys typed on the keyboard, through the system's input queue, to the
// window that has the focus.
TEST_F(Viewer, TypedKeysThroughTheSystemInputQueue) {
  ShowWindow(host, SW_SHOW);
  HWND w = Open();
  ASSERT_NE(w, nullptr);
  HWND child = static_cast<test::TViewerScheme*>(plug.Current->Owner)->Child->Control()->Handle();
  SetForegroundWindow(host);
  SetFocus(w);
  Pump();
  ASSERT_EQ(GetForegroundWindow(), host);
  ASSERT_EQ(GetFocus(), w);
  g_log.clear();
  Type({'N'});
  EXPECT_EQ(test::HostKeys(), std::vector<WPARAM>{0x4E});
  EXPECT_EQ(test::CountLog("key:78"), 0u);
  test::HostKeys().clear();
  Type({VK_CONTROL, 'N'});
  EXPECT_TRUE(test::HostKeys().empty());
  EXPECT_EQ(test::CountLog("key:78"), 1u);
  SetFocus(child);
  Pump();
  ASSERT_EQ(GetFocus(), child);
  test::HostKeys().clear();
  Type({'7'});
  Type({'8'});
  EXPECT_EQ(test::HostKeys(), std::vector<WPARAM>{'7'});
  EXPECT_EQ(test::CountLog("childkey:56"), 1u);
}
