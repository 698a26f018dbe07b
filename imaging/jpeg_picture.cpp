#include "imaging/jpeg_picture.h"

#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

#include <jpeglib.h>

namespace hi {

namespace jpeg_detail {

// libjpeg's fatal errors must not return into the library: they jump back
// to the call that set up the decompressor. Warnings stay silent.
struct JumpErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void JumpOnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JumpErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

void NoMessage(j_common_ptr) {}

void InstallErrors(jpeg_decompress_struct& cinfo, JumpErrorManager& err) {
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = &JumpOnError;
  err.pub.output_message = &NoMessage;
}

uint8_t Mul255(unsigned a, unsigned b) { return uint8_t((a * b + 127) / 255); }

}  // namespace jpeg_detail

using namespace jpeg_detail;

void CmykRowToBgr(uint8_t* row, int32_t width, bool inverted) {
  for (int32_t x = 0; x < width; ++x, row += 4) {
    unsigned c = row[0], m = row[1], y = row[2], k = row[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    row[0] = Mul255(y, k);
    row[1] = Mul255(m, k);
    row[2] = Mul255(c, k);
    row[3] = 0;
  }
}

TJpegPicture::~TJpegPicture() { DeletePaletteHandle(Palette); }

void TJpegPicture::Reset() {
  data_.Clear();
  bitmap_.reset();
  width_ = height_ = 0;
  grayscale_ = progressive_ = false;
  lastError_ = pic_ok;
  decoded_ = false;
}

bool TJpegPicture::LoadFromFile(const std::string& name) {
  Reset();
  TFileStream f(name, TFileStream::fmOpenRead);
  if (!f.IsOpen()) return Fail(pic_cannot_open);
  int64_t size = f.Size();
  if (size <= 0) return Fail(pic_truncated);
  // A file larger than any picture the bitmap model takes is not read in.
  if (size > MaxPixelBytes) return Fail(pic_over_limit);
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(size_t(size));
  } catch (const std::bad_alloc&) {
    return Fail(pic_no_memory);
  }
  if (f.Read(bytes.data(), bytes.size()) != bytes.size()) return Fail(pic_truncated);
  data_ = TMemoryStream(std::move(bytes));
  return TakeHeader();
}

bool TJpegPicture::LoadFromMemory(const void* data, size_t size) {
  Reset();
  if (size == 0) return Fail(pic_truncated);
  data_ = TMemoryStream(data, size);
  return TakeHeader();
}

bool TJpegPicture::Fail(TPictureResult result) {
  if (lastError_ == pic_ok) lastError_ = result;
  return false;
}

bool TJpegPicture::TakeHeader() {
  if (!ReadHeader()) {
    data_.Clear();
    return Fail(jpeg_header);
  }
  return width_ != 0 && height_ != 0;
}

bool TJpegPicture::ReadHeader() {
  jpeg_decompress_struct cinfo;
  JumpErrorManager err;
  InstallErrors(cinfo, err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data_.Data().data(), static_cast<unsigned long>(data_.Size()));
  jpeg_read_header(&cinfo, TRUE);
  int32_t w = int32_t(cinfo.image_width), h = int32_t(cinfo.image_height);
  bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  bool progressive = jpeg_has_multiple_scans(&cinfo) != 0;
  jpeg_destroy_decompress(&cinfo);
  width_ = w;
  height_ = h;
  grayscale_ = grey;
  progressive_ = progressive;
  return true;
}

TBitmapObject* TJpegPicture::GetBitmap() {
  if (width_ == 0 || height_ == 0) return nullptr;
  if (!decoded_) {
    decoded_ = true;
    Decode();
  }
  return bitmap_.get();
}

namespace jpeg_detail {

// What the decode loop has done so far, kept outside the jumping frame so
// that a fatal error still finds it.
struct DecodeProgress {
  TBitmapObject* bitmap = nullptr;
  bool cmyk = false;
  bool inverted = false;
  int32_t rows = 0;  // rows written in the current pass
};

void ReadRows(jpeg_decompress_struct& cinfo, DecodeProgress& p) {
  TBitmapObject* b = p.bitmap;
  int32_t stride = b->ScanLineSize();
  // Top row first: bottom-up rows step backwards through memory.
  int64_t step = b->Header()->biHeight > 0 ? -int64_t(stride) : int64_t(stride);
  uint8_t* top = b->ScanLine(0);
  int batch = (step <= 0 || step % 4 != 0) ? 1 : (cinfo.rec_outbuf_height > 0 ? cinfo.rec_outbuf_height : 1);
  if (batch > 16) batch = 16;
  JSAMPROW rows[16];
  p.rows = 0;
  while (cinfo.output_scanline < cinfo.output_height) {
    int32_t y = int32_t(cinfo.output_scanline);
    int n = batch;
    if (uint32_t(y + n) > cinfo.output_height) n = int(cinfo.output_height) - y;
    for (int i = 0; i < n; ++i) rows[i] = top + (y + i) * step;
    JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n));
    if (got == 0) break;
    p.rows = int32_t(cinfo.output_scanline);
  }
}

void ConvertCmykRows(DecodeProgress& p) {
  if (!p.cmyk) return;
  for (int32_t y = 0; y < p.rows; ++y) CmykRowToBgr(p.bitmap->ScanLine(y), p.bitmap->Width(), p.inverted);
  p.rows = 0;
}

}  // namespace jpeg_detail

void TJpegPicture::Decode() {
  // The decompressor and the progress live outside the frame that a fatal
  // error jumps back into, so both are intact afterwards.
  DecodeProgress progress;
  jpeg_decompress_struct cinfo;
  JumpErrorManager err;
  InstallErrors(cinfo, err);
  TPictureResult result = RunDecode(cinfo, err, progress);
  if (result != pic_ok) {
    Fail(result);
    ConvertCmykRows(progress);
  }
  jpeg_destroy_decompress(&cinfo);
}

TPictureResult TJpegPicture::RunDecode(jpeg_decompress_struct& cinfo, JumpErrorManager& err, DecodeProgress& progress) {
  if (setjmp(err.jump)) return jpeg_decode;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data_.Data().data(), static_cast<unsigned long>(data_.Size()));
  jpeg_read_header(&cinfo, TRUE);

  cinfo.scale_num = 1;
  cinfo.scale_denom = 1u << (ScaleShift & 3);
  cinfo.do_block_smoothing = BlockSmoothing ? TRUE : FALSE;
  if (GreyOutput)
    cinfo.out_color_space = JCS_GRAYSCALE;
  else if (cinfo.out_color_space == JCS_RGB)
    cinfo.out_color_space = JCS_EXT_BGR;  // the order of the bitmap's rows
  bool quantise = PalettedOutput || cinfo.out_color_space == JCS_GRAYSCALE;
  if (quantise) {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = 236;
  }
  bool buffered = IncrementalDisplay && jpeg_has_multiple_scans(&cinfo);
  if (FastDecoding || buffered) {
    cinfo.dct_method = JDCT_IFAST;
    cinfo.two_pass_quantize = FALSE;
    cinfo.dither_mode = JDITHER_ORDERED;
  }
  if (buffered) cinfo.buffered_image = TRUE;

  TPixelLayout layout = px24Bit;
  if (quantise)
    layout = px8Bit;
  else if (cinfo.out_color_space == JCS_CMYK || cinfo.out_color_space == JCS_YCCK)
    layout = px32Bit;
  // The bitmap is made at the output size (the header's at scale 1).
  jpeg_calc_output_dimensions(&cinfo);
  bitmap_ = CreateDibBitmap(int32_t(cinfo.output_width), int32_t(cinfo.output_height), layout);
  if (bitmap_->IsEmpty() || bitmap_->Bits() == nullptr) {
    // There is nothing to write the rows into.
    int64_t rowsSize = RowStride(LayoutBits(layout), cinfo.output_width) * int64_t(cinfo.output_height);
    return rowsSize > MaxPixelBytes ? pic_over_limit : pic_no_memory;
  }
  progress.bitmap = bitmap_.get();
  progress.cmyk = layout == px32Bit;
  progress.inverted = cinfo.saw_Adobe_marker != 0;

  jpeg_start_decompress(&cinfo);
  if (!buffered) {
    ReadRows(cinfo, progress);
    ConvertCmykRows(progress);
  } else {
    for (;;) {
      jpeg_start_output(&cinfo, cinfo.input_scan_number);
      ReadRows(cinfo, progress);
      jpeg_finish_output(&cinfo);
      ConvertCmykRows(progress);
      if (OnProgress) OnProgress(*this);
      if (jpeg_input_complete(&cinfo) && cinfo.input_scan_number == cinfo.output_scan_number) break;
    }
  }
  if (quantise && cinfo.colormap != nullptr) {
    uint32_t* colors = bitmap_->Colors();
    int n = cinfo.actual_number_of_colors;
    if (n > ColorSlots) n = ColorSlots;
    for (int i = 0; i < n; ++i) {
      uint32_t b, g, r;
      if (cinfo.out_color_components == 1) {
        b = g = r = cinfo.colormap[0][i];
      } else {
        b = cinfo.colormap[0][i];
        g = cinfo.colormap[1][i];
        r = cinfo.colormap[2][i];
      }
      colors[i] = (r << 16) | (g << 8) | b;
    }
  }
  jpeg_finish_decompress(&cinfo);
  return pic_ok;
}

}  // namespace hi
