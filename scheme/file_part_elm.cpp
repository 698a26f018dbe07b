#include "scheme/file_part_elm.h"

#include "toolkit/paths.h"

namespace hi {

void THIFilePartElm::doPart(TData& value, uint16_t) {
  const std::string name = ReadString(value, FileName, std::string());
  LastPart = name;
  if (LastPart.empty()) return;
  switch (Mode) {
    case 0: LastPart = kol::FolderPart(name); break;
    case 2: LastPart = kol::NameWithoutExtension(name); break;
    default: break;  // other modes are not used by this system: the name passes whole
  }
  ForwardString(value, onPart, LastPart);
}

void THIFilePartElm::Result(TData& value, uint16_t) { MakeString(value, LastPart); }

}  // namespace hi
