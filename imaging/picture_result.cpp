#include "imaging/picture_result.h"

namespace hi {

const char* PictureResultMessage(TPictureResult result) {
  switch (result) {
    case pic_ok: return "OK";
    case pic_cannot_open: return "Cannot open the file";
    case pic_truncated: return "The file ends early";
    case pic_over_limit: return "The picture is too large";
    case pic_no_memory: return "No memory";
    case png_signature: return "Not a PNG file";
    case png_no_ihdr: return "The first chunk is not IHDR";
    case png_short_header: return "The IHDR chunk is too short";
    case png_side_limit: return "Width or height above 65535";
    case png_compression: return "Unknown compression method";
    case png_interlace: return "Unknown interlace method";
    case png_format: return "Unsupported colour type and bit depth";
    case png_palette_length: return "Bad PLTE length";
    case png_transparency_length: return "Bad tRNS length";
    case png_duplicate_chunk: return "A chunk that may occur once occurs again";
    case png_not_idat: return "Image data cut short by another chunk";
    case png_inflate: return "Damaged image data";
    case png_data_checksum: return "Image data checksum mismatch";
    case png_no_iend: return "The file ends before IEND";
    case png_no_idat: return "No image data";
    case bmp_header_size: return "Unsupported bitmap header";
    case bmp_unsupported_format: return "Unsupported bitmap format";
    case bmp_width: return "Bitmap width must be > 0";
    case bmp_height: return "Bitmap height must be neither 0 nor -2^31";
    case ico_directory: return "Not an icon file";
    case ico_entry_size: return "Bad icon entry size";
    case ico_image_header: return "Icon image disagrees with its entry";
    case ico_no_handle: return "The system made no icon";
    case pcx_manufacturer: return "Not a PCX file";
    case pcx_format: return "Unsupported PCX bits and planes";
    case pcx_size: return "PCX picture without pixels";
    case jpeg_header: return "Unreadable JPEG header";
    case jpeg_decode: return "JPEG decoding failed";
  }
  return "Unknown result";
}

}  // namespace hi
