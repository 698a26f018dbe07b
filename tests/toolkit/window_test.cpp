#include "toolkit/window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/toolkit/pump.h"
#include "toolkit/platform.h"

namespace {

std::string ClassOf(HWND w) {
  char buf[64] = {};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

RECT ChildRect(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

COLORREF ErasedColour(HWND w) {
  kol::WindowDc screen = kol::WindowDc::ForWindow(nullptr);
  kol::MemoryDc mem = kol::CompatibleDc(screen.get());
  kol::GdiBitmap bmp(CreateCompatibleBitmap(screen.get(), 8, 8));
  kol::SelectGuard g(mem.get(), bmp.get());
  SendMessageA(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(mem.get()), 0);
  return GetPixel(mem.get(), 3, 3);
}

}  // namespace

TEST(Window, FormIsMadeOnDemandWithItsClassAndSelfProperty) {
  auto form = kol::TControl::NewForm(nullptr, "caption");
  EXPECT_FALSE(form->Created());
  HWND w = form->Handle();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ClassOf(w), "obj_Form");
  EXPECT_EQ(GetPropA(w, "SELF_"), form.get());
  EXPECT_EQ(kol::TControl::FromHandle(w), form.get());
  EXPECT_EQ(reinterpret_cast<HMODULE>(GetClassLongPtrA(w, GCLP_HMODULE)), kol::ThisModule());
  EXPECT_EQ(form->Text(), "caption");
  form->SetText("other");
  char buf[32];
  GetWindowTextA(w, buf, sizeof buf);
  EXPECT_STREQ(buf, "other");
  // A Unicode window: a name of any script is its text, whole.
  const std::string name = "\xd1\x8d\xd1\x81\xd0\xba\xd0\xb8\xd0\xb7 \xe5\x9b\xb3\xe9\x9d\xa2 \xf0\x9f\x8e\xa8";
  EXPECT_TRUE(IsWindowUnicode(w));
  form->SetText(name);
  EXPECT_EQ(form->Text(), name);
  wchar_t wide[32];
  GetWindowTextW(w, wide, 32);
  EXPECT_EQ(std::wstring(wide), L"\u044d\u0441\u043a\u0438\u0437 \u56f3\u9762 \U0001F3A8");
  form.reset();
  EXPECT_FALSE(IsWindow(w));
}

TEST(Window, ClientChildFillsTheFormInsideItsMargin) {
  auto form = kol::TControl::NewForm(nullptr, "f");
  form->RemoveBorder();
  form->SetSize(300, 200);
  auto child = kol::TControl::NewPaintBox(form.get());
  child->SetSize(10, 10);
  child->SetAlign(kol::alClient);
  HWND cw = child->Handle();  // makes the form first
  ASSERT_NE(cw, nullptr);
  EXPECT_EQ(GetParent(cw), form->HandleIfCreated());
  EXPECT_EQ(ClassOf(cw), "obj_Paint");
  RECT client;
  GetClientRect(form->Handle(), &client);
  RECT r = ChildRect(cw);
  EXPECT_EQ(r.left, 2);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.right, client.right - 2);
  EXPECT_EQ(r.bottom, client.bottom - 2);

  form->SetMargin(0);
  r = ChildRect(cw);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, client.right);

  // A top-aligned sibling takes its height off the client child.
  auto top = kol::TControl::NewPaintBox(form.get());
  top->SetSize(10, 30);
  top->SetAlign(kol::alTop);
  top->Handle();
  r = ChildRect(cw);
  EXPECT_EQ(r.top, 30);
  EXPECT_EQ(ChildRect(top->Handle()).right, client.right);

  int resized = 0;
  form->OnResize = [&](kol::TControl&) { ++resized; };
  SetWindowPos(form->Handle(), nullptr, 0, 0, 400, 250, SWP_NOMOVE | SWP_NOZORDER);
  GetClientRect(form->Handle(), &client);
  r = ChildRect(cw);
  EXPECT_EQ(r.right, client.right);
  EXPECT_EQ(r.bottom, client.bottom);
  EXPECT_GE(resized, 1);
}

TEST(Window, BackgroundIsErasedWithTheColourBrush) {
  auto form = kol::TControl::NewForm(nullptr, "f");
  HWND w = form->Handle();
  form->SetColor(0xFF00000F);
  EXPECT_EQ(ErasedColour(w), GetSysColor(COLOR_BTNFACE));
  form->SetColor(RGB(200, 10, 30));
  EXPECT_EQ(ErasedColour(w), RGB(200, 10, 30));
  EXPECT_EQ(kol::ResolveColor(0xFF000005), GetSysColor(5));
}

TEST(Window, HooksSeeKeysShiftStateMouseAndRawMessages) {
  auto form = kol::TControl::NewForm(nullptr, "f");
  HWND w = form->Handle();
  std::vector<std::pair<int, uint32_t>> keys;
  std::vector<char> chars;
  form->OnKeyDown = [&](kol::TControl&, int& key, uint32_t shift) {
    keys.push_back({key, shift});
    if (key == 'Q') key = 0;
  };
  form->OnChar = [&](kol::TControl&, char& ch, uint32_t) { chars.push_back(ch); };
  SetModifiers(false, true, false);
  PostKey(w, 'N');
  SetModifiers(true, false, true);
  PostKey(w, 'M');
  SetModifiers(false, false, false);
  PostKey(w, 'Q');
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0], std::make_pair(int('N'), kol::ssCtrl));
  EXPECT_EQ(keys[1], std::make_pair(int('M'), kol::ssShift | kol::ssAlt));
  EXPECT_EQ(keys[2], std::make_pair(int('Q'), 0u));
  chars.clear();
  PostMessageA(w, WM_CHAR, 'x', 1);
  Pump();
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(chars[0], 'x');

  std::vector<kol::MouseData> downs;
  int clicks = 0;
  form->OnMouseDown = [&](kol::TControl&, const kol::MouseData& m) { downs.push_back(m); };
  form->OnClick = [&](kol::TControl&) { ++clicks; };
  SendMessageA(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(7, 9));
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(3, 4));
  SendMessageA(w, WM_LBUTTONUP, 0, MAKELPARAM(3, 4));
  ASSERT_EQ(downs.size(), 2u);
  EXPECT_EQ(downs[0].Button, 2);
  EXPECT_EQ(downs[0].X, 7);
  EXPECT_EQ(downs[0].Y, 9);
  EXPECT_EQ(downs[1].Button, 1);
  EXPECT_EQ(downs[1].Shift, static_cast<uint32_t>(MK_LBUTTON | MK_SHIFT));
  EXPECT_EQ(clicks, 1);

  // A raw hook in front of the object's own handling can answer for it.
  int seen = 0;
  form->OnMessage = [&](kol::TControl&, MSG& m, LRESULT& result) {
    if (m.message != WM_USER + 7) return false;
    ++seen;
    result = 1234;
    return true;
  };
  EXPECT_EQ(SendMessageA(w, WM_USER + 7, 0, 0), 1234);
  EXPECT_EQ(seen, 1);
}

TEST(Window, WindowDestroyedElsewhereIsReleasedNotRemade) {
  auto form = kol::TControl::NewForm(nullptr, "f");
  auto child = kol::TControl::NewPaintBox(form.get());
  HWND cw = child->Handle();
  int released = 0;
  child->OnReleased = [&](kol::TControl&) { ++released; };
  DestroyWindow(form->Handle());
  EXPECT_FALSE(IsWindow(cw));
  EXPECT_EQ(released, 1);
  EXPECT_TRUE(child->Released());
  EXPECT_TRUE(form->Released());
  EXPECT_EQ(child->Handle(), nullptr);
  EXPECT_EQ(form->Handle(), nullptr);
  // The objects outlive their windows without harm, in either order.
  form.reset();
  EXPECT_EQ(child->Parent(), nullptr);
  child.reset();
}

TEST(Window, TabAndArrowsMoveTheFocusAmongTheFormsControls) {
  auto form = kol::TControl::NewForm(nullptr, "f");
  form->SetSize(200, 200);
  form->SetTabulate(true);
  auto a = kol::TControl::NewPaintBox(form.get());
  auto b = kol::TControl::NewPaintBox(form.get());
  auto c = kol::TControl::NewPaintBox(form.get());
  c->SetTabOrder(-1);  // takes no part
  form->CreateWindows();
  form->SetVisible(true);
  SetFocus(a->Handle());
  Pump();
  ASSERT_EQ(GetFocus(), a->Handle());
  PostKey(a->Handle(), VK_TAB);
  EXPECT_EQ(GetFocus(), b->Handle());
  PostKey(b->Handle(), VK_TAB);
  EXPECT_EQ(GetFocus(), a->Handle()) << "wraps around and skips the control outside the order";
  PostKey(a->Handle(), VK_LEFT);
  EXPECT_EQ(GetFocus(), b->Handle());
  SetModifiers(true, false, false);
  PostKey(b->Handle(), VK_TAB);
  SetModifiers(false, false, false);
  EXPECT_EQ(GetFocus(), a->Handle());
  form->SetTabulate(false);
  PostKey(a->Handle(), VK_TAB);
  EXPECT_EQ(GetFocus(), a->Handle());
}

TEST(Window, ApplicationWindowOwnsNoticesAndIsClearedWithItsObject) {
  long controls = kol::LiveControls();
  long gdi = kol::LiveGdiObjects();
  {
    auto form = kol::TControl::NewForm(nullptr, "app");
    form->ApplyFont();
    form->BackBrush();
    kol::SetApplet(form.get());
    EXPECT_EQ(kol::Applet(), form.get());
    EXPECT_EQ(kol::NoticeOwnerWindow(), form->Handle());
    EXPECT_EQ(kol::LiveGdiObjects(), gdi + 2);
    form->ApplyFont();
    EXPECT_EQ(kol::LiveGdiObjects(), gdi + 2);
  }
  EXPECT_EQ(kol::Applet(), nullptr);
  EXPECT_EQ(kol::NoticeOwnerWindow(), nullptr);
  EXPECT_EQ(kol::LiveControls(), controls);
  EXPECT_EQ(kol::LiveGdiObjects(), gdi);
}
