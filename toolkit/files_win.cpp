#include "toolkit/files_win.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "toolkit/handles.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

namespace kol {

bool FileExists(const std::string& name) {
  // Whatever the system would make of such a name, it is not one file.
  if (NamesNoFile(name)) return false;
  const DWORD attributes = GetFileAttributesW(Wide(name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern) {
  std::string dir = folder.empty() ? folder : IncludeTrailingChar(folder, '\\');
  std::string what = !pattern.empty() && pattern[0] == '\\' ? pattern.substr(1) : pattern;
  std::vector<std::string> files;
  WIN32_FIND_DATAW found;
  FindHandle search(FindFirstFileW(Wide(dir + what).c_str(), &found));
  if (!search) return files;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      files.push_back(dir + Utf8(found.cFileName, std::wcslen(found.cFileName)));
  } while (FindNextFileW(search.get(), &found));
  return files;
}

std::string FileList(const std::string& folder, const std::string& pattern) {
  std::string list;
  for (const std::string& f : FindFiles(folder, pattern)) {
    if (!list.empty()) list += ';';
    list += f;
  }
  return list;
}

void DeleteFiles(const std::string& mask) {
  // The matches are deleted from the search's own list, never from the
  // ";"-separated text: a file name may itself hold a ";", and splitting
  // there would name (and delete) some other file.
  for (const std::string& f : FindFiles(FolderPart(mask), NamePart(mask)))
    if (!DeleteFileW(Wide(f).c_str())) break;
}

bool RecycleFiles(const std::string& names) {
  // A list of zero-terminated names, ended by an empty one.
  std::wstring buffer = Wide(names);
  for (wchar_t& c : buffer)
    if (c == L';') c = L'\0';
  buffer.append(2, L'\0');
  const std::wstring title = Wide("Delete " + names + " to Recycle bin");
  SHFILEOPSTRUCTW op = {};
  op.hwnd = NoticeOwnerWindow();
  op.wFunc = FO_DELETE;
  op.pFrom = buffer.c_str();
  op.pTo = nullptr;
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION;
  op.fAnyOperationsAborted = TRUE;
  op.hNameMappings = nullptr;
  op.lpszProgressTitle = title.c_str();
  return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
}

}  // namespace kol
