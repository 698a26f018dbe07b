#include "framework/chanel_to_index.h"

namespace hi {

void THIChanelToIndex::doChannel(TData& value, uint16_t index) { ForwardInteger(value, onIndex, int32_t(index)); }

}  // namespace hi
