// Byte streams the picture readers work on: a file opened read-only or
// created, or a block in memory. Portable; no window system needed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace hi {

class TStream {
 public:
  virtual ~TStream() = default;
  // Both return the number of bytes actually moved.
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  // Absolute positioning; returns the new position.
  virtual int64_t Seek(int64_t position) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
  int64_t Remaining() const { return Size() - Position(); }
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
  TMemoryStream(const void* data, size_t size);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t position) override;
  int64_t Position() const override { return pos_; }
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }

  const std::vector<uint8_t>& Data() const { return data_; }
  void Clear() {
    data_.clear();
    pos_ = 0;
  }

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

class TFileStream : public TStream {
 public:
  enum Mode { fmOpenRead, fmCreate };
  TFileStream(const std::string& name, Mode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t position) override;
  int64_t Position() const override;
  int64_t Size() const override;

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace hi
