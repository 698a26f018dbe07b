// Files by UTF-8 name on Windows: the name is widened and opened with
// CreateFileW, so names outside the ANSI code page open too.
#include <windows.h>

#include <vector>

#include "docreader/doc_source.h"
#include "toolkit/handles.h"

namespace hi {
namespace {

class TWinDocFile : public TDocSource {
 public:
  TWinDocFile(kol::KernelHandle file, uint64_t size) : file_(std::move(file)), size_(size) {}
  uint64_t Size() const override { return size_; }

 protected:
  // The offset travels in the OVERLAPPED record: no shared file position,
  // so two readers of one file on two threads cannot disturb each other.
  int64_t DoReadAt(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_) return 0;
    DWORD want = count > MAXDWORD ? MAXDWORD : DWORD(count);
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(file_.get(), buffer, want, &got, &at)) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return int64_t(got);
  }

 private:
  kol::KernelHandle file_;
  uint64_t size_;
};

}  // namespace

std::unique_ptr<TDocSource> OpenDocFile(const std::string& utf8Name) {
  if (utf8Name.empty() || utf8Name.size() > INT32_MAX) return nullptr;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Name.data(), int(utf8Name.size()), nullptr, 0);
  if (n <= 0) return nullptr;
  std::vector<wchar_t> wide(size_t(n) + 1, L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Name.data(), int(utf8Name.size()), wide.data(), n);
  kol::KernelHandle file(CreateFileW(wide.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return nullptr;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return nullptr;
  return std::make_unique<TWinDocFile>(std::move(file), uint64_t(size.QuadPart));
}

}  // namespace hi
