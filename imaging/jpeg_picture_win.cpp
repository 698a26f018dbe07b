#include <windows.h>

#include "imaging/jpeg_picture.h"

namespace hi {

void DeletePaletteHandle(void* palette) {
  if (palette) DeleteObject(static_cast<HPALETTE>(palette));
}

}  // namespace hi
