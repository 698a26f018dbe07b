#include "imaging/picture_stream.h"

#include <memory>

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

void THIPictureStream::doLoad(TData& value, uint16_t) {
  std::string name = ReadString(value, FileNameLink, FileName);
  if (!PictureFileExists(name)) return;
  switch (ChoosePictureReader(name)) {
    case prBmp: {
      std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
      b->LoadFromFile(name);  // empty when unreadable
      FireBitmap(onLoad, b.get());
      break;
    }
    case prIcon: {
      std::unique_ptr<TIconObject> icon = CreateIconObject();
      icon->LoadFromFile(name);
      std::unique_ptr<TBitmapObject> b = IconToBitmap(*icon, 0xFFFFFF);
      FireBitmap(onLoad, b.get());
      break;
    }
    case prPcx: {
      std::unique_ptr<TPcxPicture> pcx = CreatePcxPicture();
      pcx->LoadFromFile(name);
      FireBitmap(onLoad, pcx->Bitmap());
      break;
    }
    case prJpeg: {
      TJpegPicture jpeg;
      jpeg.LoadFromFile(name);
      FireBitmap(onLoad, jpeg.GetBitmap());
      break;
    }
    case prNone: break;
  }
}

}  // namespace hi
