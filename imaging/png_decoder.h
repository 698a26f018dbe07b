// The PNG reader: chunk records, zlib inflate fed in 64 KiB reads across
// IDAT chunks, the five row filters, Adam7, and conversion into a DIB of the
// bitmap layout (24-bit blue-green-red, or 1/4/8-bit with a colour table).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/object.h"
#include "imaging/bitmap.h"
#include "imaging/picture_result.h"

namespace hi {

class TStream;
class TPngDecoder;

// The largest width and height a header may give.
constexpr uint32_t PngMaxSide = 65535;

class TPngChunk {
 public:
  explicit TPngChunk(const char* type, TPngDecoder* owner);
  virtual ~TPngChunk() = default;
  TPngChunk(const TPngChunk&) = delete;
  TPngChunk& operator=(const TPngChunk&) = delete;

  bool IsType(const char* type) const;
  // The plain reader: data, then the CRC is passed over. A length past the
  // stream's end is cut to what the stream holds.
  bool ReadPlain(TStream& stream, uint32_t length);
  virtual bool Read(TStream& stream, uint32_t length) { return ReadPlain(stream, length); }

  char Type[4];
  std::vector<uint8_t> Data;
  uint32_t Length = 0;
  TPngDecoder* Owner;
};

class TPngHeaderChunk : public TPngChunk {
 public:
  explicit TPngHeaderChunk(TPngDecoder* owner);
  ~TPngHeaderChunk() override;
  bool Read(TStream& stream, uint32_t length) override;
  void FreeBuffer();

  uint32_t Width = 0, Height = 0;
  uint8_t BitDepth = 0, ColorType = 0, CompressionMethod = 0, FilterMethod = 0, InterlaceMethod = 0;
  TBitmapInfoHeader* Info = nullptr;  // 1064-byte block
  bool Paletted = false;
  uint8_t* Rows = nullptr;
  int32_t Stride = 0;
  uint8_t* Alpha = nullptr;  // width x height, top row first (colour types 4 and 6)
};

class TPngPaletteChunk : public TPngChunk {
 public:
  using TPngChunk::TPngChunk;
  bool Read(TStream& stream, uint32_t length) override;
  int EntryCount = 0;
};

class TPngGammaChunk : public TPngChunk {
 public:
  using TPngChunk::TPngChunk;
  bool Read(TStream& stream, uint32_t length) override;
  uint32_t Gamma = 0;
};

class TPngTransparencyChunk : public TPngChunk {
 public:
  using TPngChunk::TPngChunk;
  bool Read(TStream& stream, uint32_t length) override;
  uint8_t Table[256];
  bool OneTransparentColor = false;
};

class TPngTextChunk : public TPngChunk {
 public:
  using TPngChunk::TPngChunk;
  bool Read(TStream& stream, uint32_t length) override;
  std::string Keyword, Text;
};

class TPngTimeChunk : public TPngChunk {
 public:
  using TPngChunk::TPngChunk;
  bool Read(TStream& stream, uint32_t length) override;
  uint16_t Year = 0;
  uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

class TPngDataChunk : public TPngChunk {
 public:
  using TPngChunk::TPngChunk;
  bool Read(TStream& stream, uint32_t length) override;
};

class TPngDecoder : public TObject {
 public:
  TPngDecoder();
  ~TPngDecoder() override;

  bool LoadFromFile(const std::string& name);
  bool LoadFromStream(TStream& stream);
  // The decoder's own bitmap over its buffer, valid until the next load;
  // none when no pixel buffer exists. A receiver that keeps it copies it.
  TBitmapObject* GetBitmap();
  void Clear();

  // The first failure of the last load; pic_ok when there was none.
  TPictureResult LastError() const { return lastError_; }
  // Records a failure unless an earlier one is recorded.
  void Fail(TPictureResult result) {
    if (lastError_ == pic_ok) lastError_ = result;
  }

  // Pixels a header may declare, checked with the buffer limit before
  // anything is allocated or decoded. A caller that expands every pixel to
  // 3 bytes lowers it, so that a 1-bit picture within MaxPixelBytes is not
  // decoded only to be refused afterwards.
  int64_t MaxPixels = int64_t(PngMaxSide) * PngMaxSide;

  uint8_t GammaTable[256];
  std::vector<std::unique_ptr<TPngChunk>> Chunks;

  TPngChunk* Find(const char* type) const;
  TPngHeaderChunk* Header() const;

 private:
  TPngChunk* AddRecord(const char* type);
  void ResetGamma();

  TPictureResult lastError_ = pic_ok;
  std::unique_ptr<TBitmapObject> lent_;  // views the header record's rows
};

std::unique_ptr<TPngDecoder> CreatePngDecoder();

// The displayed value of a sample under a gAMA value (units of 1/100000).
void BuildGammaTable(uint32_t gamma, uint8_t table[256]);

}  // namespace hi
