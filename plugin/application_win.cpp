#include "plugin/application_win.h"

#include <windows.h>

#include "toolkit/platform.h"
#include "toolkit/window.h"

namespace hi {

void THIApplication::ModuleName(TData& value, uint16_t) { MakeString(value, kol::ModulePath(kol::ThisModule())); }

void THIApplication::Title(const std::string& text) {
  kol::TControl* app = kol::Applet();
  if (app && app->Created() && !text.empty()) app->SetText(text);
}

}  // namespace hi
