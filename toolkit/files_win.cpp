#include "toolkit/files_win.h"

#include <windows.h>

#include <shellapi.h>

#include "toolkit/platform.h"

namespace kol {

bool FileExists(const std::string& name) {
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

namespace {
// A search that is closed on every path.
class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};
}  // namespace

std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern) {
  std::string dir = folder.empty() ? folder : IncludeTrailingChar(folder, '\\');
  std::string what = !pattern.empty() && pattern[0] == '\\' ? pattern.substr(1) : pattern;
  std::vector<std::string> files;
  WIN32_FIND_DATAA found;
  FindHandle search(FindFirstFileA((dir + what).c_str(), &found));
  if (search.get() == INVALID_HANDLE_VALUE) return files;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(dir + found.cFileName);
  } while (FindNextFileA(search.get(), &found));
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
    if (!DeleteFileA(f.c_str())) break;
}

bool RecycleFiles(const std::string& names) {
  // A list of zero-terminated names, ended by an empty one.
  std::string buffer = names;
  for (char& c : buffer)
    if (c == ';') c = '\0';
  buffer.append(2, '\0');
  const std::string title = "Delete " + names + " to Recycle bin";
  SHFILEOPSTRUCTA op = {};
  op.hwnd = NoticeOwnerWindow();
  op.wFunc = FO_DELETE;
  op.pFrom = buffer.c_str();
  op.pTo = nullptr;
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION;
  op.fAnyOperationsAborted = TRUE;
  op.hNameMappings = nullptr;
  op.lpszProgressTitle = title.c_str();
  return SHFileOperationA(&op) == 0 && !op.fAnyOperationsAborted;
}

std::string SystemTempFolder() { return IncludeTrailingChar(TempFolder(), '\\'); }

}  // namespace kol
