// Without a window system there are no palette handles to destroy.
#include "imaging/jpeg_picture.h"

namespace hi {

void DeletePaletteHandle(void*) {}

}  // namespace hi
