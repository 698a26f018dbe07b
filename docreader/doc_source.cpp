#include "docreader/doc_source.h"

#include <cstring>

namespace hi {

int64_t TMemoryDocSource::DoReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset >= size_ || count == 0) return 0;
  size_t n = count < size_ - size_t(offset) ? count : size_ - size_t(offset);
  std::memcpy(buffer, data_ + offset, n);
  return int64_t(n);
}

}  // namespace hi
