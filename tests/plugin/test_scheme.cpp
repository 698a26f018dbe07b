#include "tests/plugin/test_scheme.h"

#include <algorithm>

namespace test {

ViewerConfig g_config;
std::vector<std::string> g_log;
int TViewerScheme::Live = 0;
int TCountScheme::Made = 0;
int TCountScheme::Destroyed = 0;

size_t CountLog(const std::string& entry) { return static_cast<size_t>(std::count(g_log.begin(), g_log.end(), entry)); }

void TRecorder::doEvent(hi::TData& value, uint16_t index) {
  std::string name = index < Names.size() ? Names[index] : "?";
  g_log.push_back(name + ":" + hi::ToString(value));
  if (name == "load" && g_config.failLoad) hi::FireInteger(Fail, 0);
}

TChildElement::TChildElement(kol::TControl* parent) : THIWin(parent) { SetControl(kol::TControl::NewPaintBox(parent)); }

TViewerScheme::TViewerScheme(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner)
    : TClassMultiBase(owner, parentValue) {
  ++Live;
  auto* rec = static_cast<hi::TPlugWindowRec*>(parentValue);
  Form = new hi::THiListerForm(rec);
  elements_.emplace_back(Form);
  Form->Left = 35;
  Form->Top = 105;
  Form->Width = 435;
  Form->Height = 413;
  Form->Color = 0xFF00000F;
  Form->Visible = 0;
  Form->Frame = 1;
  Form->PassKeys = 1;
  Form->ResizeHost = g_config.resizeHost;
  Form->AddBorders = g_config.addBorders;
  Form->DragForm = g_config.dragForm;
  Form->Init();

  auto* edge = new hi::THIEditMultiEx(0, 0);
  elements_.emplace_back(edge);

  Child = new TChildElement(Form->Control());
  elements_.emplace_back(Child);
  Child->Width = 392;
  Child->Height = 266;
  Child->Align = 5;
  Child->Frame = 1;
  Child->Init();

  Recorder = new TRecorder();
  elements_.emplace_back(Recorder);
  Recorder->Names = {"load", "unload", "attach",   "flags", "create",   "formshow", "close",
                     "key",  "keyup",  "childkey", "show",  "formmove", "move",     "mousedown"};
  Recorder->Fail = hi::LinkTo<&hi::THiListerForm::doResult>(Form);

  edge->Bind(this, container);
  auto to = [this](uint16_t i) { return hi::LinkTo<&TRecorder::doEvent>(Recorder, i); };
  Form->onLoad = to(0);
  Form->onUnload = to(1);
  Form->onAttach = to(2);
  Form->onShowFlags = to(3);
  Form->onCreate = to(4);
  Form->onFormShow = to(5);
  Form->onClose = to(6);
  Form->onKeyDown = to(7);
  Form->onKeyUp = to(8);
  Child->onKeyDown = to(9);
  Form->onShow = to(10);
  Form->onFormMove = to(11);
  Form->onMove = to(12);
  Form->onMouseDown = to(13);
  Form->SetupHint(nullptr);
  Child->SetupHint(nullptr);
  Form->Control()->SetTabulate(true);
  MainWindowElement = Form;
}

TViewerScheme::~TViewerScheme() {
  while (!elements_.empty()) elements_.pop_back();
  --Live;
}

hi::THIEditMultiEx* TViewerScheme::Create(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner) {
  return (new TViewerScheme(container, parentValue, owner))->Boundary;
}

TCountScheme::TCountScheme(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner)
    : TClassMultiBase(owner, parentValue), Id(++Made) {
  Edge = std::make_unique<hi::THIEditMultiEx>(1, 1);
  Edge->Bind(this, container);
  Edge->onWork[0] = hi::LinkTo<&TCountScheme::doWork>(this);
  Edge->Data[0] = hi::LinkTo<&TCountScheme::Serial>(this);
  hi::AddStartupHandler(
      [](void* self) { g_log.push_back("start:" + std::to_string(static_cast<TCountScheme*>(self)->Id)); }, this);
}

TCountScheme::~TCountScheme() {
  ++Destroyed;
  g_log.push_back("gone:" + std::to_string(Id));
}

hi::THIEditMultiEx* TCountScheme::Create(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner) {
  return (new TCountScheme(container, parentValue, owner))->Boundary;
}

void TCountScheme::doWork(hi::TData& value, uint16_t) {
  std::string s = hi::ToString(value);
  g_log.push_back("work" + std::to_string(Id) + ":" + s);
  if (s == "out") {
    hi::TData v;
    hi::MakeString(v, "from" + std::to_string(Id));
    Edge->doWork(v, 0);
  }
}

void TCountScheme::Serial(hi::TData& value, uint16_t) { hi::MakeInteger(value, 100 + Id); }

}  // namespace test
