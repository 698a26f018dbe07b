#include "plugin/application_win.h"

#include <windows.h>

#include "toolkit/platform.h"
#include "toolkit/window.h"

namespace hi {

void THIApplication::ModuleName(TData& value, uint16_t) {
  char buf[1024];
  DWORD n = GetModuleFileNameA(kol::ThisModule(), buf, sizeof buf);
  if (n > sizeof buf) n = sizeof buf;
  MakeString(value, std::string(buf, n));
}

void THIApplication::Title(const std::string& text) {
  kol::TControl* app = kol::Applet();
  if (app && app->Created() && !text.empty()) app->SetText(text);
}

}  // namespace hi
