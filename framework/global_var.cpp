#include "framework/global_var.h"

#include <memory>
#include <utility>
#include <vector>

#include "framework/text.h"

namespace hi {

namespace {
// Each TData has its own heap cell so that references handed out stay valid
// while the list grows.
std::vector<std::pair<std::string, std::unique_ptr<TData>>>& Registry() {
  static std::vector<std::pair<std::string, std::unique_ptr<TData>>> registry;
  return registry;
}
}  // namespace

TData* GlobalVars::Bind(const std::string& name) {
  const std::string key = LowerAscii(name);
  for (auto& entry : Registry())
    if (entry.first == key) return entry.second.get();
  Registry().emplace_back(key, std::make_unique<TData>());
  return Registry().back().second.get();
}

size_t GlobalVars::Count() { return Registry().size(); }

void GlobalVars::ReleaseAll() { Registry().clear(); }

void THIGlobalVar::SetName(const std::string& name) {
  if (name.empty()) return;
  Var = GlobalVars::Bind(name);
}

void THIGlobalVar::SetDefault(const TData& value) {
  if (Var != nullptr) CopyData(*Var, value);
}

void THIGlobalVar::doValue(TData& value, uint16_t) {
  SetDefault(value);
  FireEvent(onValue, value);
}

void THIGlobalVar::Value(TData& value, uint16_t) {
  if (Var != nullptr)
    value = *Var;
  else
    MakeNull(value);
}

}  // namespace hi
