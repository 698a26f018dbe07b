// Files by name natively, where names are bytes already (UTF-8 on the build hosts).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "docreader/doc_source.h"

namespace hi {
namespace {

class TPosixDocFile : public TDocSource {
 public:
  TPosixDocFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~TPosixDocFile() override { close(fd_); }
  TPosixDocFile(const TPosixDocFile&) = delete;
  TPosixDocFile& operator=(const TPosixDocFile&) = delete;
  uint64_t Size() const override { return size_; }

 protected:
  // pread keeps no shared position, so nothing here depends on call order.
  int64_t DoReadAt(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_) return 0;
    ssize_t n = pread(fd_, buffer, count, off_t(offset));
    return n < 0 ? -1 : int64_t(n);
  }

 private:
  int fd_;
  uint64_t size_;
};

}  // namespace

std::unique_ptr<TDocSource> OpenDocFile(const std::string& utf8Name) {
  int fd = open(utf8Name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<TPosixDocFile>(fd, uint64_t(st.st_size));
}

}  // namespace hi
