// A named variable shared by every scheme instance of the process.
#pragma once

#include <string>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIGlobalVar : public TObject {
 public:
  TData* Var = nullptr;
  TEventLink onValue;

  virtual void SetDefault(const TData& value);
  virtual void SetName(const std::string& name);

  void doValue(TData& value, uint16_t index);
  void Value(TData& value, uint16_t index);
};

// The process-wide registry behind the variables: names folded to lower
// case, entries only ever added, released when the library is unloaded.
namespace GlobalVars {
TData* Bind(const std::string& name);
size_t Count();
void ReleaseAll();
}  // namespace GlobalVars

}  // namespace hi
