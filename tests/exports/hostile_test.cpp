// Documents whose thumbnails declare hostile sizes (the kept crashers of
// tests/imaging/regress and tests/docreader/regress, as whole documents),
// given to the real plugin file as a host gives them: the panel's thumbnail
// call on a worker thread, and the Lister with the archiver beside the
// plugin. The host lives through both, and the panel call answers at once:
// a panel thread held for seconds is the fault, so its time is asserted.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/docreader/doc_builder.h"
#include "tests/exports/pe_exports.h"

using namespace testing_doc;

namespace {

struct Plugin {
  HMODULE module = LoadLibraryA(test::WinePath(PLUGIN_PATH).c_str());
  template <class F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  HBITMAP(__stdcall* previewW)(WCHAR*, int, int, char*, int) = Get<decltype(previewW)>("ListGetPreviewBitmapW");
  void(__stdcall* defaults)(void*) = Get<decltype(defaults)>("ListSetDefaultParams");
  HWND(__stdcall* loadW)(HWND, WCHAR*, int) = Get<decltype(loadW)>("ListLoadW");
  void(__stdcall* close)(HWND) = Get<decltype(close)>("ListCloseWindow");
  int(__stdcall* command)(HWND, int, int) = Get<decltype(command)>("ListSendCommand");
};

struct Document {
  const wchar_t* name;
  Bytes file;
};

Bytes Kept(const std::string& dir, const char* name) {
  return testing_imaging::ReadFileBytes(test::WinePath(dir + "/" + name));
}

std::vector<Document> HostileDocuments() {
  auto picture = [](const char* name) { return Kept(IMAGING_REGRESS, name); };
  return {
      {L"hostile-bmp-1bit-wide.cdr", BmpEraDocument(picture("bmp-1bit-1431655766x1-without-rows.bmp"), 8)},
      {L"hostile-png-1bit-every-row.cdr", ModernDocument(picture("png-1bit-grey-65535x21846-every-row.png"), 8)},
      {L"hostile-bmp-30000.cdr", BmpEraDocument(picture("bmp-24bit-30000x30000-without-rows.bmp"), 8)},
      {L"hostile-bmp-height.cdr", BmpEraDocument(picture("bmp-height-minus-2147483648.bmp"), 8)},
      {L"hostile-png-rgb-20000.cdr", ModernDocument(picture("png-rgb-20000x20000-three-rows.png"), 8)},
      {L"hostile-riff-disp.cdr", Kept(DOC_REGRESS, "riff-disp-1bit-1431655766-wide.cdr")},
  };
}

std::wstring Write(const wchar_t* name, const Bytes& bytes) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = std::wstring(temp) + name;
  FILE* f = _wfopen(path.c_str(), L"wb");
  EXPECT_NE(f, nullptr);
  if (f) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  return path;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

double Milliseconds(const FILETIME& kernel, const FILETIME& user) {
  auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return double(ticks(kernel) + ticks(user)) / 10000.0;
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

}  // namespace

TEST(HostileSizes, PanelCallAnswersAtOnceAndTheListerLives) {
  Plugin p;
  ASSERT_NE(p.module, nullptr);
  ASSERT_TRUE(p.previewW && p.defaults && p.loadW && p.close && p.command);
  unsigned char params[272] = {};
  const int32_t size = sizeof params;
  memcpy(params, &size, sizeof size);
  p.defaults(params);
  HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(host, nullptr);

  for (const Document& d : HostileDocuments()) {
    const std::string name = Narrow(d.name);
    SCOPED_TRACE(name);
    std::wstring path = Write(d.name, d.file);
    // The panel: a worker thread asks, with the first bytes as the host
    // passes them; the thread's own processor time is the work done.
    HBITMAP answer = reinterpret_cast<HBITMAP>(1);
    double wallMs = 0, cpuMs = 0;
    std::thread worker([&] {
      Bytes head(d.file.begin(), d.file.begin() + std::min<size_t>(d.file.size(), 8192));
      LARGE_INTEGER f, a, b;
      QueryPerformanceFrequency(&f);
      QueryPerformanceCounter(&a);
      answer = p.previewW(const_cast<WCHAR*>(path.c_str()), 128, 128, reinterpret_cast<char*>(head.data()),
                          int(head.size()));
      QueryPerformanceCounter(&b);
      wallMs = 1000.0 * double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
      FILETIME created, ended, kernel, user;
      if (GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user)) cpuMs = Milliseconds(kernel, user);
    });
    worker.join();
    std::printf("[ figures  ] %s: panel call %.0f ms, %.0f ms processor\n", name.c_str(), wallMs, cpuMs);
    EXPECT_EQ(answer, nullptr) << "a picture past the limits gives the host's own icon";
    if (answer != nullptr && answer != reinterpret_cast<HBITMAP>(1)) DeleteObject(answer);
    EXPECT_LT(wallMs, 1000.0);

    // The Lister: the archiver extracts the thumbnail (the RIFF-era
    // document is read in-process); whatever the reader makes of it, the
    // window stays, and nothing past the limit reaches the clipboard.
    HWND viewer = p.loadW(host, const_cast<WCHAR*>(path.c_str()), 0);
    ASSERT_NE(viewer, nullptr);
    PumpFor(2000);
    EXPECT_TRUE(IsWindow(viewer));
    EXPECT_EQ(p.command(viewer, 1, 0), 1) << "nothing copied";
    p.close(viewer);
    PumpFor(5);
    DeleteFileW(path.c_str());
  }
  DestroyWindow(host);
  FreeLibrary(p.module);
}
