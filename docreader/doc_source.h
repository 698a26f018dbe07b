// Where a document's bytes come from: a file or a block in memory, read at
// absolute offsets. Every byte handed out is counted, so a caller can tell
// how much of a document a read touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hi {

class TDocSource {
 public:
  virtual ~TDocSource() = default;
  virtual uint64_t Size() const = 0;
  // Up to count bytes at offset; the number moved, or -1 on a read error.
  int64_t ReadAt(uint64_t offset, void* buffer, size_t count) {
    int64_t n = DoReadAt(offset, buffer, count);
    if (n > 0) bytesRead_ += uint64_t(n);
    return n;
  }
  uint64_t BytesRead() const { return bytesRead_; }

 protected:
  virtual int64_t DoReadAt(uint64_t offset, void* buffer, size_t count) = 0;

 private:
  uint64_t bytesRead_ = 0;
};

// A view of memory the caller keeps alive while the source is used.
class TMemoryDocSource : public TDocSource {
 public:
  TMemoryDocSource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  uint64_t Size() const override { return size_; }

 protected:
  int64_t DoReadAt(uint64_t offset, void* buffer, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Opens a file read-only by its UTF-8 name (on Windows through the wide
// name); none when it cannot be opened.
std::unique_ptr<TDocSource> OpenDocFile(const std::string& utf8Name);

}  // namespace hi
