#include "plugin/multi_element.h"

#include <algorithm>

#include "framework/scope_exit.h"
#include "toolkit/platform.h"

namespace hi {

void THIEditMultiEx::Bind(TClassMultiBase* scheme, THIMultiElementEx* container) {
  Owner = scheme;
  Container = container;
  if (scheme) scheme->Boundary = this;
}

void THIEditMultiEx::doWork(TData& value, uint16_t index) {
  THIMultiElementEx* c = Container;
  if (!c || index >= c->onEvent.size()) return;
  THIMultiElementEx::Frame frame{this, c->activeCalls_};
  c->activeCalls_ = &frame;
  // The chain is restored even when an event handler throws.
  ScopeExit restore([c, previous = frame.Previous] { c->activeCalls_ = previous; });
  FireEvent(c->onEvent[index], value);
}

THIMultiElementEx::~THIMultiElementEx() {
  for (size_t i = Instances.size(); i-- > 0;) {
    TData v;
    MakeInteger(v, static_cast<int32_t>(i));
    DeleteInstance(v, 65535);
  }
  // Instances that refused (only possible from inside their own event)
  // are still owned here.
  for (THIEditMultiEx* e : Instances) DestroyScheme(e);
  Instances.clear();
}

void THIMultiElementEx::SetFactory(TMultiFactory factory) {
  Factory = factory;
  if (OnDemand == 0) MakeInstance();
}

THIEditMultiEx* THIMultiElementEx::CallFactory() {
  if (!Factory) return nullptr;
  bool started = StartupDone;
  StartupDone = false;
  THIEditMultiEx* e = nullptr;
  try {
    e = Factory(this, ParentValue, Owner);
  } catch (...) {
    StartupDone = started;
    throw;
  }
  if (started) RunStartupHandlers();
  return e;
}

THIEditMultiEx* THIMultiElementEx::MakeInstance() {
  THIEditMultiEx* e = CallFactory();
  if (!e) return nullptr;
  Current = e;
  Instances.push_back(e);
  return e;
}

void THIMultiElementEx::DestroyScheme(THIEditMultiEx* boundary) {
  if (!boundary) return;
  if (boundary->Owner)
    delete boundary->Owner;
  else
    delete boundary;
}

void THIMultiElementEx::RemoveInstance(THIEditMultiEx* boundary) {
  if (!boundary) return;
  if (Current == boundary) Current = nullptr;
  auto it = std::find(Instances.begin(), Instances.end(), boundary);
  if (it == Instances.end()) return;
  Instances.erase(it);
  DestroyScheme(boundary);
}

bool THIMultiElementEx::InActiveCall(const THIEditMultiEx* boundary) const {
  for (const Frame* f = activeCalls_; f; f = f->Previous)
    if (f->Boundary == boundary) return true;
  return false;
}

void THIMultiElementEx::DeleteInstance(const TData& index, uint16_t notification) {
  int32_t n = ToInteger(index);
  if (n < 0 || static_cast<size_t>(n) >= Instances.size()) return;
  THIEditMultiEx* e = Instances[static_cast<size_t>(n)];
  if (InActiveCall(e)) {
    ShowDebugString("Self destruction is not allowed !!!");
    return;
  }
  if (notification < e->onWork.size()) {
    TData v = index;
    FireEvent(e->onWork[notification], v);
  }
  if (Current == e) Current = nullptr;
  // The notification may have changed the list; remove e wherever it is now.
  auto it = std::find(Instances.begin(), Instances.end(), e);
  if (it != Instances.end()) Instances.erase(it);
  DestroyScheme(e);
}

void THIMultiElementEx::doWork(TData& value, uint16_t index) {
  if (Current) {
    if (index < Current->onWork.size()) FireEvent(Current->onWork[index], value);
    return;
  }
  THIEditMultiEx* temp = CallFactory();
  if (!temp) return;
  ScopeExit drop([temp] { DestroyScheme(temp); });
  if (index < temp->onWork.size()) FireEvent(temp->onWork[index], value);
}

void THIMultiElementEx::Data(TData& value, uint16_t index) {
  if (Current) {
    if (index < Current->Data.size())
      PullData(value, Current->Data[index]);
    else
      value.Kind = data_break;
    return;
  }
  THIEditMultiEx* temp = CallFactory();
  if (!temp) return;
  ScopeExit drop([temp] { DestroyScheme(temp); });
  if (index < temp->Data.size())
    PullData(value, temp->Data[index]);
  else
    value.Kind = data_break;
}

}  // namespace hi
