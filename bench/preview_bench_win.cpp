// The file panel's thumbnail call (ListGetPreviewBitmapW into a 128x128
// box) against the archiver route (7za.exe extracting "thumbnail.*", then
// the plugin's own decoder reading the file), in the same run:
//   preview_bench PLUGIN_FILE DOC_FOLDER [ROUNDS]   (ROUNDS default 100)
// DOC_FOLDER holds the documents doc_bench writes with --write: (a) a 2 MB
// document with a stored 256x256 PNG, (b) a deflated 500x500 BMP and (c) a
// RIFF document; 7za.exe is taken from beside the plugin. Medians are
// printed; a benchmark asserts no timing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/png_decoder.h"
#include "toolkit/handles.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

namespace {

using PreviewFn = HBITMAP(__stdcall*)(WCHAR*, int, int, char*, int);

double Now() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER v;
    QueryPerformanceFrequency(&v);
    return v;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string Head(const std::string& path) {
  std::string head(8192, '\0');
  kol::KernelHandle file(CreateFileW(kol::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD got = 0;
  if (!file || !ReadFile(file.get(), &head[0], DWORD(head.size()), &got, nullptr)) return std::string();
  head.resize(got);
  return head;
}

// The archiver hidden in its own console, as the viewer starts it, its
// output going nowhere; true when it ended with code 0.
bool RunArchiver(const std::string& archiver, const std::string& doc, const std::string& out) {
  std::wstring line = kol::Wide("\"" + archiver + "\" e -o\"" + out + "\" \"" + doc + "\" thumbnail.* -r -aoa");
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  kol::KernelHandle nowhere(
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.wShowWindow = SW_HIDE;
  si.hStdInput = nullptr;
  si.hStdOutput = si.hStdError = nowhere.get();
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr, &si, &pi))
    return false;
  kol::KernelHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    return false;
  }
  DWORD code = 1;
  return GetExitCodeProcess(process.get(), &code) && code == 0;
}

bool DecodeFile(const std::string& name, bool png) {
  if (png) {
    std::unique_ptr<hi::TPngDecoder> d = hi::CreatePngDecoder();
    return d->LoadFromFile(name) && d->GetBitmap() && !d->GetBitmap()->IsEmpty();
  }
  std::unique_ptr<hi::TBitmapObject> b = hi::CreateDeviceBitmap(0, 0);
  return b->LoadFromFile(name) && !b->IsEmpty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: preview_bench PLUGIN_FILE DOC_FOLDER [ROUNDS]\n");
    return 2;
  }
  const std::string plugin = argv[1], folder = argv[2];
  const int rounds = argc > 3 ? std::max(10, std::atoi(argv[3])) : 100;
  // Loaded for the whole run, as a host keeps it.
  const HMODULE library = LoadLibraryW(kol::Wide(plugin).c_str());
  const auto preview =
      library ? reinterpret_cast<PreviewFn>(reinterpret_cast<void*>(GetProcAddress(library, "ListGetPreviewBitmapW")))
              : nullptr;
  if (!preview) {
    std::fprintf(stderr, "preview_bench: no ListGetPreviewBitmapW in %s\n", plugin.c_str());
    return 1;
  }
  const std::string archiver = plugin.substr(0, plugin.find_last_of("\\/") + 1) + "7za.exe";
  const bool haveArchiver = GetFileAttributesW(kol::Wide(archiver).c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string out = kol::TempFolder() + "preview_bench_tc";

  struct TCase {
    const char* label;
    const char* file;
    const char* member;  // what the archiver extracts, or none for RIFF
  };
  const TCase cases[] = {{"(a) 2 MB, stored PNG", "a-png-stored.cdr", "thumbnail.png"},
                         {"(b) deflated BMP", "b-bmp-deflated.cdr", "thumbnail.bmp"},
                         {"(c) RIFF, DISP", "c-riff.cdr", nullptr}};
  std::printf("%-22s %10s %11s %16s %6s\n", "document", "per call", "per second", "7za+decode", "ratio");
  bool ok = true;
  for (const TCase& c : cases) {
    const std::string doc = folder + "\\" + c.file;
    std::string head = Head(doc);
    std::wstring wide = kol::Wide(doc);
    std::vector<double> own, route;
    const int slow = std::max(5, rounds / 10);
    for (int r = 0; r < rounds; ++r) {
      const double t0 = Now();
      kol::GdiBitmap bitmap(preview(&wide[0], 128, 128, &head[0], int(head.size())));
      own.push_back(Now() - t0);
      ok = ok && bitmap;
      // Interleaved, so that both routes see the same machine load.
      if (haveArchiver && c.member && r % (rounds / slow) == 0) {
        const double t1 = Now();
        const bool ran = RunArchiver(archiver, doc, out);
        const std::string file = out + "\\" + c.member;
        ok = ran && DecodeFile(file, c.member[10] == 'p') && ok;
        route.push_back(Now() - t1);
        DeleteFileW(kol::Wide(file).c_str());
      }
    }
    const double a = Median(own), b = Median(route);
    if (route.empty())
      std::printf("%-22s %7.3f ms %11.0f %16s %6s\n", c.label, a, 1000.0 / a, "-", "-");
    else
      std::printf("%-22s %7.3f ms %11.0f %13.3f ms %5.0fx\n", c.label, a, 1000.0 / a, b, b / a);
  }
  RemoveDirectoryW(kol::Wide(out).c_str());
  if (!ok) {
    std::fprintf(stderr, "preview_bench: a route failed to give the picture\n");
    return 1;
  }
  return 0;
}
