#include "imaging/stream.h"

#include <algorithm>
#include <cstring>

#include "imaging/picture_stream_files.h"

namespace hi {

TMemoryStream::TMemoryStream(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (pos_ >= Size()) return 0;
  size_t n = std::min(count, static_cast<size_t>(Size() - pos_));
  if (n) std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += static_cast<int64_t>(n);
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  size_t end = static_cast<size_t>(pos_) + count;
  if (end > data_.size()) data_.resize(end);
  if (count) std::memcpy(data_.data() + pos_, buffer, count);
  pos_ = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t position) {
  pos_ = std::max<int64_t>(0, position);
  return pos_;
}

TFileStream::TFileStream(const std::string& name, Mode mode) { file_ = OpenPictureFile(name, mode == fmCreate); }

TFileStream::~TFileStream() {
  if (file_) std::fclose(file_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  return file_ && count ? std::fread(buffer, 1, count, file_) : 0;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
  return file_ && count ? std::fwrite(buffer, 1, count, file_) : 0;
}

int64_t TFileStream::Seek(int64_t position) {
  if (!file_) return 0;
  if (position < 0) position = 0;
#ifdef _WIN32
  _fseeki64(file_, position, SEEK_SET);
#else
  fseeko(file_, static_cast<off_t>(position), SEEK_SET);
#endif
  return Position();
}

int64_t TFileStream::Position() const {
  if (!file_) return 0;
#ifdef _WIN32
  return _ftelli64(file_);
#else
  return static_cast<int64_t>(ftello(file_));
#endif
}

int64_t TFileStream::Size() const {
  if (!file_) return 0;
  int64_t here = Position();
#ifdef _WIN32
  _fseeki64(file_, 0, SEEK_END);
  int64_t size = _ftelli64(file_);
  _fseeki64(file_, here, SEEK_SET);
#else
  fseeko(file_, 0, SEEK_END);
  int64_t size = static_cast<int64_t>(ftello(file_));
  fseeko(file_, static_cast<off_t>(here), SEEK_SET);
#endif
  return size;
}

}  // namespace hi
