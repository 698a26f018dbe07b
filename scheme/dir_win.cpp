#include "scheme/dir.h"

#include "toolkit/platform.h"

namespace hi {

void THIDir::TempDir(TData& value, uint16_t) { MakeString(value, kol::TempFolder()); }

}  // namespace hi
