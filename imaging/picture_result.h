// Why a picture reader stopped: one code per cause, shared by the PNG, BMP,
// ICO, PCX and JPEG readers. A reader records the first failure it meets
// and keeps it: a later one, caused by the first, does not replace it.
#pragma once

#include <cstdint>

namespace hi {

enum TPictureResult : uint8_t {
  pic_ok = 0,
  // Any reader.
  pic_cannot_open,  // the file cannot be opened
  pic_truncated,    // the stream ends inside a header, a table or the rows
  pic_over_limit,   // the pixel buffer would pass MaxPixelBytes
  pic_no_memory,    // an allocation under the limit was refused
  // PNG.
  png_signature,            // the first 8 bytes are not the PNG signature
  png_no_ihdr,              // the first chunk is not IHDR
  png_short_header,         // the IHDR chunk is shorter than 13 bytes
  png_side_limit,           // width or height above PngMaxSide
  png_compression,          // compression method other than 0
  png_interlace,            // interlace method other than 0 and 1
  png_format,               // a colour type and bit depth pair without a conversion
  png_palette_length,       // PLTE not a multiple of 3 bytes, or over 256 entries
  png_transparency_length,  // tRNS longer than 256 bytes
  png_duplicate_chunk,      // a second IHDR, PLTE, gAMA or tRNS, or IEND twice
  png_not_idat,             // rows still wanted, and the next chunk is not IDAT
  png_inflate,              // zlib refused the image data
  png_data_checksum,        // the image data's Adler-32 differs from the stored one
  png_no_iend,              // the stream ended before IEND
  png_no_idat,              // the stream held no IDAT
  // BMP (also the images inside an icon).
  bmp_header_size,         // an information header other than 40 or 12 bytes
  bmp_unsupported_format,  // 16 bits with a compression other than 0 and 3
  bmp_width,               // width not positive
  bmp_height,              // height 0, or -2^31 (no row count in 32 bits)
  // ICO.
  ico_directory,     // reserved field, type or count not those of an icon file
  ico_entry_size,    // an entry of width 0, or whose height is not 1 or 2 widths
  ico_image_header,  // the chosen image's header disagrees with its entry
  ico_no_handle,     // the system made no icon from the images
  // PCX.
  pcx_manufacturer,  // the first byte is not 10
  pcx_format,        // a bits and planes pair without a layout
  pcx_size,          // the window's corners give no pixel
  // JPEG.
  jpeg_header,  // libjpeg cannot read the header
  jpeg_decode,  // libjpeg stopped with a fatal error while decoding
};

// A short English text for the code, for logs and tools.
const char* PictureResultMessage(TPictureResult result);

}  // namespace hi
