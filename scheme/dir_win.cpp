#include "scheme/dir.h"

#include "toolkit/files_win.h"

namespace hi {

void THIDir::TempDir(TData& value, uint16_t) { MakeString(value, kol::SystemTempFolder()); }

}  // namespace hi
