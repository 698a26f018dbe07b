#include "tests/exports/pe_exports.h"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace test {

namespace {
template <class T>
bool Read(const std::vector<char>& file, size_t offset, T& out) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  memcpy(&out, file.data() + offset, sizeof(T));
  return true;
}
}  // namespace

std::string WinePath(const std::string& unixPath) {
  if (unixPath.empty() || unixPath[0] != '/') return unixPath;
  std::string p = "Z:" + unixPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::vector<std::string> ExportNames(const std::string& path) {
  std::ifstream in(WinePath(path), std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> names;
  IMAGE_DOS_HEADER dos;
  if (!Read(file, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return names;
  DWORD sig;
  IMAGE_FILE_HEADER fh;
  const size_t nt = size_t(dos.e_lfanew);
  if (!Read(file, nt, sig) || sig != IMAGE_NT_SIGNATURE || !Read(file, nt + 4, fh)) return names;
  const size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
  WORD magic;
  if (!Read(file, optional, magic)) return names;
  IMAGE_DATA_DIRECTORY dir;
  size_t dirOffset = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                            : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
  if (!Read(file, optional + dirOffset, dir) || dir.VirtualAddress == 0) return names;
  const size_t sections = optional + fh.SizeOfOptionalHeader;
  auto toOffset = [&](DWORD rva, size_t& off) {
    for (WORD i = 0; i < fh.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER s;
      if (!Read(file, sections + i * sizeof s, s)) return false;
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData) {
        off = rva - s.VirtualAddress + s.PointerToRawData;
        return true;
      }
    }
    return false;
  };
  size_t exp;
  IMAGE_EXPORT_DIRECTORY ed;
  if (!toOffset(dir.VirtualAddress, exp) || !Read(file, exp, ed)) return names;
  size_t nameTable;
  if (!toOffset(ed.AddressOfNames, nameTable)) return names;
  for (DWORD i = 0; i < ed.NumberOfNames; ++i) {
    DWORD rva;
    size_t off;
    if (!Read(file, nameTable + 4 * i, rva) || !toOffset(rva, off)) break;
    std::string name;
    while (off < file.size() && file[off] != 0) name += file[off++];
    names.push_back(name);
  }
  return names;
}

}  // namespace test
