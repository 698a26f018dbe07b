#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

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

TEST(Library, ModuleNameNamesTheLibraryWholeFromAnyFolder) {
  // A copy of the library deep in folders whose path is longer than any
  // fixed buffer a caller might choose (MAX_PATH, or 1024 bytes). The test
  // lays it out with the wide calls, which take such paths; the names are
  // plain ASCII, so the 8-bit answer must equal them byte for byte.
  char probe[MAX_PATH] = {};
  {
    Probe p;
    ASSERT_NE(p.dll, nullptr);
    ASSERT_GT(GetModuleFileNameA(p.dll, probe, sizeof probe), 0u);
  }
  auto wide = [](const std::string& s) { return std::wstring(s.begin(), s.end()); };
  std::vector<std::string> folders;
  std::string folder = kol::TempFolder() + "cdrthumb_module_" + std::to_string(GetCurrentProcessId());
  for (char c : std::string("abcdef")) {
    folder += (folders.empty() ? "" : "\\") + std::string(folders.empty() ? 1 : 200, c);
    ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        << folder.size() << " " << GetLastError();
    folders.push_back(folder);
  }
  const std::string copy = folder + "\\probe copy.dll";
  ASSERT_GT(copy.size(), 1024u);
  ASSERT_TRUE(CopyFileW(wide(probe).c_str(), wide(copy).c_str(), FALSE)) << GetLastError();
  HMODULE dll = LoadLibraryW(wide(copy).c_str());
  ASSERT_NE(dll, nullptr) << GetLastError();
  auto name = reinterpret_cast<int (*)(char*, int)>(reinterpret_cast<void*>(GetProcAddress(dll, "ProbeModuleName")));
  ASSERT_NE(name, nullptr);
  std::vector<char> buf(4096);
  const int n = name(buf.data(), int(buf.size()));
  const std::string path(buf.data());
  FreeLibrary(dll);
  DeleteFileW(wide(copy).c_str());
  for (size_t i = folders.size(); i-- > 0;) RemoveDirectoryW(wide(folders[i]).c_str());

  EXPECT_EQ(static_cast<size_t>(n), path.size());
  EXPECT_EQ(path, copy);
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  EXPECT_NE(path, exe) << "the library's own name, never the program's";
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
