#include "plugin/ftcg_tools.h"

namespace hi {

void THIFTCG_Tools::SetFactory(TToolsFactory factory) {
  Factory = factory;
  Instance.reset();
  if (!factory) return;
  Instance.reset(factory(UserValue));
  if (Instance) Instance->Container = this;
}

TClassFTCG_Tools_97CF1D0::TClassFTCG_Tools_97CF1D0(int32_t) { Tools.push_back({&Empty, this}); }

}  // namespace hi
