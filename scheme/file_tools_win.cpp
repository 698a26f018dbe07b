#include "scheme/file_tools.h"

#include "toolkit/files_win.h"

namespace hi {

void THIFileTools::doDelete(TData& value, uint16_t) {
  const std::string name = ReadString(value, FileName, std::string());
  if (NoRecycle)
    kol::DeleteFiles(name);
  else
    kol::RecycleFiles(name);
  if (!kol::FileExists(name)) ForwardNull(value, onResult);
}

void THIFileTools::doFileExists(TData& value, uint16_t) {
  const std::string name = ReadString(value, FileName, std::string());
  ForwardInteger(value, onResult, kol::FileExists(name) ? 1 : 0);
}

}  // namespace hi
