#include "imaging/bitmap.h"
#include "imaging/icon.h"
#include "imaging/picture_stream_files.h"
#include "toolkit/files_win.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

namespace hi {

std::FILE* OpenPictureFile(const std::string& name, bool create) {
  return _wfopen(kol::Wide(name).c_str(), create ? L"w+b" : L"rb");
}

bool PictureFileExists(const std::string& name) { return kol::FileExists(name); }

std::string ResolvePictureFileName(const std::string& name) { return ResolveFileName(name); }

std::unique_ptr<TBitmapObject> IconToBitmap(TIconObject& icon, uint32_t background) {
  std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
  b->SetHandle(icon.ToBitmapHandle(background));
  return b;
}

}  // namespace hi
