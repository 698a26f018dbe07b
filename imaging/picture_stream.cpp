#include "imaging/picture_stream.h"

#include <memory>

#include "framework/exception.h"
#include "framework/text.h"
#include "imaging/bitmap.h"
#include "imaging/icon.h"
#include "imaging/jpeg_picture.h"
#include "imaging/pcx_picture.h"
#include "imaging/picture_stream_files.h"

namespace hi {

std::string PictureExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  return LowerAscii(name.substr(dot));
}

TPictureReader ChoosePictureReader(const std::string& name) {
  std::string ext = PictureExtension(name);
  if (ext == ".bmp") return prBmp;
  if (ext == ".ico") return prIcon;
  if (ext == ".pcx") return prPcx;
  if (ext == ".jpg" || ext == ".jpeg") return prJpeg;
  return prNone;
}

namespace {

// A header the bitmap model refuses raises its assertion; for the loader
// that is an unreadable file like any other, so the picture stays empty.
template <class Load>
bool Guarded(Load load) {
  try {
    load();
    return true;
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

void THIPictureStream::doLoad(TData& value, uint16_t) {
  std::string name = ReadString(value, FileNameLink, FileName);
  if (!PictureFileExists(name)) return;
  switch (ChoosePictureReader(name)) {
    case prBmp: {
      std::unique_ptr<TBitmapObject> b(CreateDeviceBitmap(0, 0));
      // What was allocated before the assertion goes: the empty bitmap is sent.
      if (!Guarded([&] { b->LoadFromFile(name); })) b->Clear();
      FireBitmap(onLoad, b.get());
      break;
    }
    case prIcon: {
      std::unique_ptr<TIconObject> icon(CreateIconObject());
      if (!Guarded([&] { icon->LoadFromFile(name); })) icon->ReleaseIcon();
      std::unique_ptr<TBitmapObject> b(IconToBitmap(*icon, 0xFFFFFF));
      FireBitmap(onLoad, b.get());
      break;
    }
    case prPcx: {
      std::unique_ptr<TPcxPicture> pcx(CreatePcxPicture());
      Guarded([&] { pcx->LoadFromFile(name); });
      FireBitmap(onLoad, pcx->Bitmap());
      break;
    }
    case prJpeg: {
      TJpegPicture jpeg;
      jpeg.LoadFromFile(name);
      FireBitmap(onLoad, jpeg.GetBitmap());
      break;
    }
    case prNone:
      break;
  }
}

}  // namespace hi
