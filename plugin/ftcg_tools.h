// The project's tools container and its generated, empty tools scheme.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIFTCG_Tools;

struct TToolEntry {
  void (*Proc)(void* owner) = nullptr;
  void* Owner = nullptr;
};

class TFTCG_Tools_EM : public TObject {
 public:
  THIFTCG_Tools* Container = nullptr;
  std::vector<TToolEntry> Tools;
  std::vector<TToolEntry> Second;
};

using TToolsFactory = TFTCG_Tools_EM* (*)(int32_t userValue);

class THIFTCG_Tools : public TObject {
 public:
  explicit THIFTCG_Tools(int32_t userValue) : UserValue(userValue) {}
  ~THIFTCG_Tools() override = default;

  std::unique_ptr<TFTCG_Tools_EM> Instance;
  TToolsFactory Factory = nullptr;
  int32_t UserValue;
  std::vector<TEventLink> Links1;
  std::vector<TEventLink> Links2;
  TObject* Owner = nullptr;

  // Stores the factory and builds the tools scheme at once.
  void SetFactory(TToolsFactory factory);
};

// The tools scheme of this program: one empty tool, owned by the scheme.
class TClassFTCG_Tools_97CF1D0 : public TFTCG_Tools_EM {
 public:
  explicit TClassFTCG_Tools_97CF1D0(int32_t userValue);
  static TFTCG_Tools_EM* Create(int32_t userValue) { return new TClassFTCG_Tools_97CF1D0(userValue); }

 private:
  static void Empty(void*) {}
};

}  // namespace hi
