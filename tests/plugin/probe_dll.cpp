// A library built from the library-side pieces, for the checks that need
// the library's own identity: its file name and its module handle.
#include <windows.h>

#include <memory>

#include "plugin/application_win.h"
#include "toolkit/hi_win.h"
#include "toolkit/hint_manager.h"
#include "toolkit/platform.h"

namespace {

class ProbeForm : public hi::THIWin {
 public:
  ProbeForm() : THIWin(nullptr) { SetControl(kol::TControl::NewForm(nullptr, "probe")); }
};

std::unique_ptr<ProbeForm> g_form;

}  // namespace

extern "C" __declspec(dllexport) int ProbeModuleName(char* buf, int size) {
  hi::THIApplication app;
  hi::TData v;
  app.ModuleName(v, 0);
  lstrcpynA(buf, v.StrVal.c_str(), size);
  return static_cast<int>(v.StrVal.size());
}

// A window element with the given hint; returns its window.
extern "C" __declspec(dllexport) HWND ProbeMakeWindow(const char* hint) {
  return hi::GuardedCall<HWND>(nullptr, [&] {
    g_form = std::make_unique<ProbeForm>();
    g_form->Hint = hint;
    g_form->Width = 120;
    g_form->Height = 80;
    g_form->Visible = 0;
    g_form->Init();
    g_form->SetupHint(nullptr);
    return g_form->Control()->Handle();
  });
}

extern "C" __declspec(dllexport) void ProbeFreeWindow() { g_form.reset(); }

extern "C" __declspec(dllexport) long ProbeLiveTools() { return hi::LiveHintTools(); }

extern "C" __declspec(dllexport) long ProbeLiveGdi() { return kol::LiveGdiObjects(); }

extern "C" __declspec(dllexport) void ProbeSetTitle(const char* text) {
  hi::THIApplication app;
  if (g_form) kol::SetApplet(g_form->Control());
  app.Title(text);
}
