// Containers of inner-scheme instances: THIMultiElementEx holds instances
// made by a factory, THIEditMultiEx is each instance's side of the
// boundary, TClassMultiBase the base of generated scheme classes.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIEditMultiEx;
class THIMultiElementEx;

// Base of generated scheme classes; the scheme owns all its elements.
class TClassMultiBase : public TObject {
 public:
  TClassMultiBase(TObject* owner, void* parentValue) : Owner(owner), ParentValue(parentValue) {}

  TObject* MainWindowElement = nullptr;
  THIEditMultiEx* Boundary = nullptr;
  TObject* Owner;
  void* ParentValue;
};

// Constructs one instance of the inner scheme and returns its boundary.
using TMultiFactory = THIEditMultiEx* (*)(THIMultiElementEx* container, void* parentValue, TObject* owner);

class THIEditMultiEx : public TObject {
 public:
  THIEditMultiEx(size_t workCount, size_t dataCount) : onWork(workCount), Data(dataCount) {}

  THIMultiElementEx* Container = nullptr;
  TClassMultiBase* Owner = nullptr;
  std::vector<TEventLink> onWork;
  std::vector<TEventLink> Data;

  // Makes this the boundary of scheme (its owner) inside container.
  void Bind(TClassMultiBase* scheme, THIMultiElementEx* container);

  // Fires the container's event index from inside the instance.
  void doWork(TData& value, uint16_t index);
};

class THIMultiElementEx : public TObject {
 public:
  THIMultiElementEx(size_t eventCount, size_t dataCount) : onEvent(eventCount), DataLinks(dataCount) {}
  ~THIMultiElementEx() override;

  THIEditMultiEx* Current = nullptr;
  TMultiFactory Factory = nullptr;
  std::vector<THIEditMultiEx*> Instances;
  void* ParentValue = nullptr;
  uint8_t OnDemand = 0;
  std::vector<TEventLink> onEvent;
  std::vector<TEventLink> DataLinks;
  TObject* Owner = nullptr;

  void SetFactory(TMultiFactory factory);
  THIEditMultiEx* MakeInstance();
  void RemoveInstance(THIEditMultiEx* boundary);
  void DeleteInstance(const TData& index, uint16_t notification);

  void doWork(TData& value, uint16_t index);
  void Data(TData& value, uint16_t index);

  // True while the instance is firing one of this container's events.
  bool InActiveCall(const THIEditMultiEx* boundary) const;

 private:
  friend class THIEditMultiEx;
  struct Frame {
    THIEditMultiEx* Boundary;
    Frame* Previous;
  };
  THIEditMultiEx* CallFactory();
  static void DestroyScheme(THIEditMultiEx* boundary);

  Frame* activeCalls_ = nullptr;
};

}  // namespace hi
