// Without a window system: POSIX file tests, no path macros, and icons
// composed from their colour image and mask in memory.
#include <sys/stat.h>

#include "imaging/bitmap.h"
#include "imaging/icon.h"
#include "imaging/picture_stream_files.h"

namespace hi {

std::FILE* OpenPictureFile(const std::string& name, bool create) {
  return std::fopen(name.c_str(), create ? "w+b" : "rb");
}

bool PictureFileExists(const std::string& name) {
  struct stat st;
  return !name.empty() && stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ResolvePictureFileName(const std::string& name) { return name; }

std::unique_ptr<TBitmapObject> IconToBitmap(TIconObject& icon, uint32_t background) {
  std::unique_ptr<TBitmapObject> b = icon.MaskImage() ? icon.ComposeBitmap(background) : nullptr;
  return b ? std::move(b) : CreateDeviceBitmap(0, 0);
}

}  // namespace hi
