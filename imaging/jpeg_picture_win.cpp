#include <windows.h>

#include "imaging/jpeg_picture.h"
#include "toolkit/handles.h"

namespace hi {

void DeletePaletteHandle(void* palette) {
  // Handed to an owner that deletes it here.
  kol::GdiPalette owned(static_cast<HPALETTE>(palette));
}

}  // namespace hi
