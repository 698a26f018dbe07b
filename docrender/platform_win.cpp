#include <windows.h>

#include <shellapi.h>

#include <cstdlib>

#include "docrender/platform.h"
#include "framework/utf.h"

namespace hi {
namespace {

LONG WINAPI Crashed(EXCEPTION_POINTERS*) {
  std::fputs("docrender: the document's interpreter crashed\n", stderr);
  std::fflush(stderr);
  ExitProcess(3);
}

}  // namespace

void PreparePlatform() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(Crashed);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    const auto* units = reinterpret_cast<const char16_t*>(wide[i]);
    out.push_back(Utf8FromUtf16(std::u16string(units)));
  }
  LocalFree(wide);
  return out;
}

std::FILE* OpenUtf8(const std::string& name, const char* mode) {
  std::u16string wideName = Utf16FromUtf8(name);
  std::u16string wideMode = Utf16FromUtf8(mode);
  return _wfopen(reinterpret_cast<const wchar_t*>(wideName.c_str()),
                 reinterpret_cast<const wchar_t*>(wideMode.c_str()));
}

}  // namespace hi
