// The one picture type: a device-independent pixel buffer in the Windows DIB
// layout (header block plus rows), or an operating-system bitmap handle.
// The memory form is portable; the handle form exists on Windows only
// (bitmap_win.cpp) and natively the device operations do nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/data.h"
#include "framework/object.h"
#include "imaging/picture_result.h"

namespace hi {

class TStream;

enum TPixelLayout : uint8_t {
  pxDevice = 0,
  px1Bit = 1,
  px4Bit = 2,
  px8Bit = 3,
  px15Bit = 4,
  px16Bit = 5,
  px24Bit = 6,
  px32Bit = 7,
  pxCustom = 8,
};
constexpr TPixelLayout pxDefault = px16Bit;

enum TBitmapStorage : uint8_t { bsDIB = 0, bsDDB = 1 };

// The BITMAPINFOHEADER record as it lies in files and in the header block.
struct TBitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
static_assert(sizeof(TBitmapInfoHeader) == 40, "file layout");

constexpr int HeaderBlockSize = 1064;  // header and 256 colour entries
constexpr int ColorSlots = 256;
// The largest pixel buffer any reader makes: a bigger picture is refused as
// a failed load instead of exhausting the address space of a 32-bit host.
constexpr int64_t MaxPixelBytes = int64_t(256) << 20;

struct TRect {
  int32_t left, top, right, bottom;
};

// Bits per pixel of a layout: 0 for pxDevice and pxCustom.
int LayoutBits(TPixelLayout layout);
// The first layout (1..7) whose bit count matches, else pxCustom.
TPixelLayout BitsToLayout(int bits);
// Row size rounded up to 4 bytes, computed wide so that no input overflows.
int64_t RowStride(int64_t bitsPerPixel, int64_t width);

class TBitmapObject : public TObject {
 public:
  TBitmapObject() = default;
  ~TBitmapObject() override;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  TBitmapStorage Storage() const { return storage_; }
  bool IsEmpty() const { return width_ == 0 || height_ == 0; }
  void* Handle() const { return handle_; }
  bool SectionOwnsRows() const { return sectionOwnsRows_; }

  // The header block (40-byte header, then 256 colour entries), or none.
  TBitmapInfoHeader* Header() const { return header_; }
  uint32_t* Colors() const { return header_ ? reinterpret_cast<uint32_t*>(header_ + 1) : nullptr; }
  uint8_t* Bits() const { return bits_; }
  int32_t BitsSize() const { return bitsSize_; }

  void Clear();
  int32_t ScanLineSize();
  uint8_t* ScanLine(int32_t y);
  TPixelLayout PixelLayout() const;
  int PaletteColorCount() const;
  void SetPaletteEntry(int index, uint32_t color);

  void SetWidth(int32_t w);
  void SetHeight(int32_t h);
  void SetStorage(TBitmapStorage kind);

  void* GetHandle();
  void* ReleaseHandle();
  void SetHandle(void* handle);
  bool Assign(const TBitmapObject* source);

  // BMP reading: on failure the bitmap is empty, the stream is back where
  // reading began, and LastError says why.
  bool LoadFromStream(TStream& stream);
  bool LoadFromFile(const std::string& name);
  TPictureResult LastError() const { return lastError_; }
  void SaveToStream(TStream& stream);

  void Draw(void* dc, int32_t x, int32_t y);
  void StretchDraw(void* dc, const TRect& rect);

  // Makes the bitmap a view of rows that belong to someone else (the PNG
  // decoder's buffer): the header block (1064 bytes) is copied, the rows
  // are not. Such rows are never freed here; the lender keeps them until
  // the bitmap is cleared or freed. A handle made for the view holds a copy.
  void ViewLentRows(const TBitmapInfoHeader* info, uint8_t* rows, int32_t width, int32_t height);

  // Painted behind the old picture when a device bitmap changes size.
  uint32_t BackgroundColor = 0;

 private:
  friend std::unique_ptr<TBitmapObject> CreateDeviceBitmap(int32_t width, int32_t height);
  friend std::unique_ptr<TBitmapObject> CreateDibBitmap(int32_t width, int32_t height, TPixelLayout layout);

  TPictureResult ReadBmp(TStream& stream);
  void ReleasePixelData();
  void Reformat();
  void ReformatMemory(int32_t oldWidth, int32_t oldHeight);
  // Platform services (bitmap_win.cpp; inert natively).
  void DeleteHandle();
  bool DeviceSize(int32_t& width, int32_t& height) const;
  void ReformatDevice(int32_t oldWidth, int32_t oldHeight);
  bool ConvertIntoMemory(TBitmapInfoHeader* newHeader, uint8_t*& newBits, int32_t lines);
  void* DuplicateHandle() const;
  static uint32_t ResolveColor(uint32_t color);

  int32_t height_ = 0;
  int32_t width_ = 0;
  void* handle_ = nullptr;
  int32_t scanLineSize_ = 0;
  TBitmapStorage storage_ = bsDIB;
  TBitmapInfoHeader* header_ = nullptr;
  uint8_t* bits_ = nullptr;
  int32_t bitsSize_ = 0;
  TPixelLayout layout_ = pxDevice;
  uint32_t scanLineCache_[2] = {0, 0};
  bool sectionOwnsRows_ = false;
  uint8_t* lentRows_ = nullptr;        // rows of ViewLentRows, never freed here
  TPictureResult lastError_ = pic_ok;  // of the last BMP load
};

std::unique_ptr<TBitmapObject> CreateDeviceBitmap(int32_t width, int32_t height);
std::unique_ptr<TBitmapObject> CreateDibBitmap(int32_t width, int32_t height, TPixelLayout layout);

// Header blocks and row blocks are zero-filled calloc blocks, freed with free.
TBitmapInfoHeader* AllocHeaderBlock();
uint8_t* AllocRows(int64_t size);

// ---- Bitmap values on links -----------------------------------------------
// The value carries the sender's bitmap, valid only during the event.
inline void MakeBitmap(TData& v, TBitmapObject* bitmap) { MakeObjectRef(v, data_bitmap, bitmap); }
inline void FireBitmap(const TEventLink& link, TBitmapObject* bitmap) { FireObjectRef(link, data_bitmap, bitmap); }
inline TBitmapObject* ReadBitmap(TData& v, const TEventLink& link, TBitmapObject* def) {
  return static_cast<TBitmapObject*>(ReadObjectRef(v, link, data_bitmap, def));
}

}  // namespace hi
