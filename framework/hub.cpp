#include "framework/hub.h"

namespace hi {

void THIHub::SetOutCount(uint8_t n) {
  onEvent.assign(n, TEventLink());
  OutCount = n;
}

void THIHub::doEvent(TData& value, uint16_t) {
  for (size_t i = 0; i < OutCount && i < onEvent.size(); ++i) FireCopy(onEvent[i], value);
}

}  // namespace hi
