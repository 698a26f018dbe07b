// The file services the picture loaders need from the platform: opening a
// file by its UTF-8 name, whether a file exists, how a bare name is
// completed, and how an icon becomes a bitmap (drawn by the system on
// Windows, composed in memory elsewhere).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace hi {

class TBitmapObject;
class TIconObject;

// The file read-only, or created empty for reading and writing; null when
// that fails.
std::FILE* OpenPictureFile(const std::string& name, bool create);
// True for an existing file that is not a folder.
bool PictureFileExists(const std::string& name);
// Path macros expanded; a name with neither ':' nor '\' gets the folder of
// the host's executable in front (unchanged without a window system).
std::string ResolvePictureFileName(const std::string& name);
// A new bitmap with the icon drawn over the background colour (empty when
// the icon has no picture).
std::unique_ptr<TBitmapObject> IconToBitmap(TIconObject& icon, uint32_t background);

}  // namespace hi
