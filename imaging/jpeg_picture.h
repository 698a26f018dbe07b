// The JPEG object: keeps a whole JPEG file in memory, reads its header on
// load and decodes it on first request into a bitmap, through libjpeg
// (libjpeg-turbo's 6b interface), rows straight into the bitmap.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/object.h"
#include "imaging/bitmap.h"
#include "imaging/picture_result.h"
#include "imaging/stream.h"

struct jpeg_decompress_struct;

namespace hi {

namespace jpeg_detail {
struct JumpErrorManager;
struct DecodeProgress;
}  // namespace jpeg_detail

class TJpegPicture : public TObject {
 public:
  ~TJpegPicture() override;

  // Drops earlier data; true when the header gave a non-zero size.
  bool LoadFromFile(const std::string& name);
  bool LoadFromMemory(const void* data, size_t size);
  // The decoded picture (owned), decoded on the first call; none when the
  // header gave no size.
  TBitmapObject* GetBitmap();

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Grayscale() const { return grayscale_; }
  bool Progressive() const { return progressive_; }
  // The first failure of loading and decoding; after jpeg_decode the bitmap
  // keeps the rows decoded before it.
  TPictureResult LastError() const { return lastError_; }

  // A palette handle set from outside; destroyed with the object.
  void* Palette = nullptr;

  // Decoding options.
  bool BlockSmoothing = true;
  bool GreyOutput = false;
  bool PalettedOutput = false;
  bool FastDecoding = false;
  bool IncrementalDisplay = false;
  int ScaleShift = 0;
  // Called after every output pass of an incremental decode.
  std::function<void(TJpegPicture&)> OnProgress;

 private:
  void Reset();
  // Records a failure unless an earlier one is recorded; returns false.
  bool Fail(TPictureResult result);
  bool ReadHeader();
  // Reads the header of the data held, which is dropped when libjpeg cannot
  // read it; true when the header gives a size.
  bool TakeHeader();
  void Decode();
  TPictureResult RunDecode(jpeg_decompress_struct& cinfo, jpeg_detail::JumpErrorManager& err,
                           jpeg_detail::DecodeProgress& progress);

  TMemoryStream data_;
  std::unique_ptr<TBitmapObject> bitmap_;
  int32_t width_ = 0, height_ = 0;
  bool grayscale_ = false, progressive_ = false;
  TPictureResult lastError_ = pic_ok;
  bool decoded_ = false;
};

// Samples of one row decoded as C, M, Y, K become blue, green, red and a
// zero byte in place. inverted: Adobe's convention, 255 meaning no ink.
void CmykRowToBgr(uint8_t* row, int32_t width, bool inverted);

// Destroys a palette handle (Windows); nothing elsewhere.
void DeletePaletteHandle(void* palette);

}  // namespace hi
