#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "toolkit/platform.h"

namespace {

struct Probe {
  HMODULE dll = LoadLibraryA("plugin_probe.dll");
  template <class F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  }
  ~Probe() {
    if (dll) FreeLibrary(dll);
  }
};

HWND TooltipOf(HWND owner) {
  HWND found = nullptr;
  for (HWND w = FindWindowExA(nullptr, nullptr, "tooltips_class32", nullptr); w;
       w = FindWindowExA(nullptr, w, "tooltips_class32", nullptr))
    if (GetWindow(w, GW_OWNER) == owner) found = w;
  return found;
}

}  // namespace

TEST(Library, ModuleNameNamesTheLibraryNotTheProgram) {
  Probe p;
  ASSERT_NE(p.dll, nullptr);
  auto name = p.Get<int (*)(char*, int)>("ProbeModuleName");
  ASSERT_NE(name, nullptr);
  char buf[1024] = {};
  int n = name(buf, sizeof buf);
  std::string path(buf);
  EXPECT_EQ(static_cast<size_t>(n), path.size());
  char exe[1024];
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  EXPECT_NE(path, exe);
  char dll[1024];
  GetModuleFileNameA(p.dll, dll, sizeof dll);
  EXPECT_EQ(path, dll);
  EXPECT_NE(path.find("plugin_probe.dll"), std::string::npos) << path;
}

TEST(Library, WindowsOfTheLibraryUseItsModuleAndHintsMakeTooltips) {
  Probe p;
  ASSERT_NE(p.dll, nullptr);
  auto make = p.Get<HWND (*)(const char*)>("ProbeMakeWindow");
  auto free = p.Get<void (*)()>("ProbeFreeWindow");
  auto tools = p.Get<long (*)()>("ProbeLiveTools");
  auto gdi = p.Get<long (*)()>("ProbeLiveGdi");
  auto title = p.Get<void (*)(const char*)>("ProbeSetTitle");
  ASSERT_TRUE(make && free && tools && gdi && title);
  long gdiBefore = gdi();

  HWND plain = make("");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(reinterpret_cast<HMODULE>(GetClassLongPtrA(plain, GCLP_HMODULE)), p.dll);
  EXPECT_EQ(TooltipOf(plain), nullptr);
  EXPECT_EQ(tools(), 0);
  title("");
  char text[64];
  GetWindowTextA(plain, text, sizeof text);
  EXPECT_STREQ(text, "probe") << "an empty title sets nothing";
  title("Renamed");
  GetWindowTextA(plain, text, sizeof text);
  EXPECT_STREQ(text, "Renamed");
  free();
  EXPECT_FALSE(IsWindow(plain));

  HWND hinted = make("Some help");
  ASSERT_NE(hinted, nullptr);
  HWND tip = TooltipOf(hinted);
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(tools(), 1);
  EXPECT_EQ(reinterpret_cast<HMODULE>(GetWindowLongPtrA(tip, GWLP_HINSTANCE)), p.dll);
  EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  TOOLINFOA ti{};
  char got[80] = {};
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.hwnd = hinted;
  ti.uId = reinterpret_cast<UINT_PTR>(hinted);
  ti.lpszText = got;
  SendMessageA(tip, TTM_GETTEXTA, sizeof got, reinterpret_cast<LPARAM>(&ti));
  EXPECT_STREQ(got, "Some help");
  free();
  EXPECT_FALSE(IsWindow(tip));
  EXPECT_EQ(tools(), 0);
  EXPECT_EQ(gdi(), gdiBefore) << "the tooltip's font and the window's objects are gone";
}

TEST(Library, WindowClassesGoWithTheLibrary) {
  HMODULE dll = LoadLibraryA("plugin_probe.dll");
  ASSERT_NE(dll, nullptr);
  auto make = reinterpret_cast<HWND (*)(const char*)>(reinterpret_cast<void*>(GetProcAddress(dll, "ProbeMakeWindow")));
  auto free = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(dll, "ProbeFreeWindow")));
  ASSERT_TRUE(make && free);
  ASSERT_NE(make(""), nullptr);
  free();
  WNDCLASSA wc;
  EXPECT_TRUE(GetClassInfoA(dll, "obj_Form", &wc));
  EXPECT_EQ(wc.hInstance, dll);
  ASSERT_TRUE(FreeLibrary(dll));
  ASSERT_EQ(GetModuleHandleA("plugin_probe.dll"), nullptr) << "the library was unloaded";
  EXPECT_FALSE(GetClassInfoA(dll, "obj_Form", &wc)) << "its class was unregistered at unload";
}
