// The viewer scheme of the test plugin: a viewer window, the host command
// element and a recorder, so that the exports can be driven as the host
// drives them and every event seen from the test program.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dll/project_win.h"
#include "framework/do_data.h"
#include "plugin/list_command_win.h"
#include "plugin/lister_form_win.h"
#include "plugin/multi_element.h"
#include "scheme/viewer_scheme_win.h"

namespace {

std::string g_log;
int g_extraStartups = 0;

class TRecorder : public hi::TObject {
 public:
  std::vector<std::string> Names;
  hi::TEventLink FitToWindow;
  void doEvent(hi::TData& value, uint16_t index) { g_log += Names[index] + ":" + hi::ToString(value) + ";"; }
  // Records the FitToWindow answer at the moment the host reports changes.
  void doParams(hi::TData& value, uint16_t) {
    hi::TData fit;
    hi::PullData(fit, FitToWindow);
    g_log += "params:fit=" + hi::ToString(fit) + ";";
  }
};

class TTestViewerScheme : public hi::TClassMultiBase {
 public:
  TTestViewerScheme(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner)
      : TClassMultiBase(owner, parentValue) {
    auto* form = hi::SetUpViewerForm(Add(new hi::THiListerForm(static_cast<hi::TPlugWindowRec*>(parentValue))));
    auto* command = Add(new hi::THitcListCommand(form->Control()->Handle()));
    command->DefaultResult = 0;
    auto* edge = Add(new hi::THIEditMultiEx(0, 0));
    auto* recorder = Add(new TRecorder());
    recorder->Names = {"load", "flags", "unload", "close", "cmd1", "cmd3", "cmd4"};
    auto* zero = Add(new hi::THIDoData());
    hi::MakeInteger(zero->Value, 0);
    auto* one = Add(new hi::THIDoData());
    hi::MakeInteger(one->Value, 1);

    edge->Bind(this, container);
    form->onLoad = hi::LinkTo<&TRecorder::doEvent>(recorder, 0);
    form->onShowFlags = hi::LinkTo<&TRecorder::doEvent>(recorder, 1);
    form->onUnload = hi::LinkTo<&TRecorder::doEvent>(recorder, 2);
    form->onClose = hi::LinkTo<&TRecorder::doEvent>(recorder, 3);
    // Command 1 reports failure, command 3 success, both through doResult.
    command->onCommand1 = hi::LinkTo<&hi::THIDoData::doData>(zero);
    zero->onData = hi::LinkTo<&hi::THitcListCommand::doResult>(command);
    command->onCommand3 = hi::LinkTo<&hi::THIDoData::doData>(one);
    one->onData = hi::LinkTo<&hi::THitcListCommand::doResult>(command);
    command->onCommand4 = hi::LinkTo<&TRecorder::doEvent>(recorder, 6);
    command->onParamsChanged = hi::LinkTo<&TRecorder::doParams>(recorder);
    recorder->FitToWindow = hi::LinkTo<&hi::THitcListCommand::FitToWindow>(command);
    MainWindowElement = form;
  }
  ~TTestViewerScheme() override {
    // Reverse creation order.
    while (!elements_.empty()) elements_.pop_back();
  }

 private:
  template <class T>
  T* Add(T* element) {
    elements_.emplace_back(element);
    return element;
  }
  std::vector<std::unique_ptr<hi::TObject>> elements_;
};

void CountStartup(void*) { ++g_extraStartups; }

struct Counter {
  int hits = 0;
  void doIt(hi::TData&, uint16_t) { ++hits; }
};

}  // namespace

hi::THIEditMultiEx* hi::ViewerSchemeFactory(THIMultiElementEx* container, void* parentValue, TObject* owner) {
  auto* scheme = new TTestViewerScheme(container, parentValue, owner);
  return scheme->Boundary;
}

// Test-only exports, so that the test program sees inside the plugin.
extern "C" __declspec(dllexport) int __stdcall TestTakeLog(char* buffer, int size) {
  int n = int(g_log.size());
  if (buffer && size > 0) lstrcpynA(buffer, g_log.c_str(), size);
  g_log.clear();
  return n;
}

extern "C" __declspec(dllexport) void __stdcall TestArmStartup() { hi::AddStartupHandler(&CountStartup, nullptr); }

extern "C" __declspec(dllexport) int __stdcall TestStartupRuns() { return g_extraStartups; }

// Fires one event into a counter: delivered only once the dispatchers exist.
extern "C" __declspec(dllexport) int __stdcall TestFireDelivers() {
  Counter c;
  hi::FireNull(hi::LinkTo<&Counter::doIt>(&c));
  return c.hits;
}

// The host's default-parameters record as the plugin kept it.
extern "C" __declspec(dllexport) void __stdcall TestDefaultParams(unsigned char* buffer, int size) {
  memcpy(buffer, &hi::DefaultParams, std::min(size_t(size), sizeof hi::DefaultParams));
}
