#include "plugin/list_plug_win.h"

#include <memory>

#include "plugin/lister_form_win.h"
#include "toolkit/window.h"

namespace hi {

THiListPlug* ViewerContainer = nullptr;

void THiListPlug::SetUp() {
  OnDemand = 1;
  ViewerContainer = this;
}

intptr_t THiListPlug::LoadStep(HWND host, HWND viewer, const std::string& fileName, int32_t showFlags) {
  TPlugWindowRec* rec = nullptr;
  HWND focus = nullptr;
  if (!viewer) {
    focus = GetFocus();
    auto fresh = std::make_unique<TPlugWindowRec>();
    fresh->Container = this;
    fresh->HostWindow = host;
    ParentValue = fresh.get();
    THIEditMultiEx* instance;
    try {
      instance = MakeInstance();
    } catch (...) {
      ParentValue = nullptr;
      throw;
    }
    ParentValue = nullptr;
    if (!instance) return 0;
    fresh->Instance = instance;
    rec = fresh.release();
    // A scheme without a window element cannot be shown: drop it again.
    if (!rec->Form || !rec->Form->Window()) {
      RemoveInstance(rec->Instance);
      delete rec;
      return 0;
    }
    HWND wnd = rec->Form->Window();
    SetWindowLongA(wnd, GWL_STYLE, static_cast<LONG>(WS_CHILD | WS_MAXIMIZE));
    // Only the new style is applied: place, size, Z order and focus stay.
    constexpr UINT kStyleOnly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, kStyleOnly);
  } else {
    // A window that this container did not make is not taken.
    rec = TPlugWindowRec::Of(viewer);
    if (!rec || rec->Container != this || !rec->Form) return 1;
  }
  kol::SetApplet(nullptr);
  THiListerForm* form = rec->Form;
  if (viewer) form->FireUnload();
  int32_t result = form->Load(fileName, showFlags, DefaultResult);
  if (result != 0 && ErrorMode != 1) {
    if (viewer) return 1;
    CloseStep(form->Window());
    return 0;
  }
  intptr_t answer = 0;
  if (!viewer) {
    form->Attach(host);
    answer = reinterpret_cast<intptr_t>(form->Window());
  }
  form->Show();
  if (!viewer && focus) SetFocus(focus);
  return answer;
}

void THiListPlug::CloseStep(HWND viewer) {
  TPlugWindowRec* rec = TPlugWindowRec::Of(viewer);
  if (!rec || rec->Container != this) return;
  if (rec->Form) {
    rec->Form->FireUnload();
    rec->Form->FireClose();
  }
  RemoveInstance(rec->Instance);
  delete rec;
}

}  // namespace hi
