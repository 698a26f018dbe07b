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

namespace hi {

class TStream;
class TPngDecoder;

// Result codes of the last load.
enum TPngResult : uint8_t {
  png_ok = 0,
  png_crc = 1,
  png_short_header = 2,
  png_too_large = 3,
  png_compression = 4,
  png_interlace = 5,
  png_bad_table = 6,
  png_not_idat = 7,
  png_inflate = 8,
  png_signature = 9,
  png_no_iend = 10,
  png_no_ihdr = 11,
  png_bad_record = 12,
  png_no_idat = 13,
};

class TPngChunk {
 public:
  explicit TPngChunk(const char* type, TPngDecoder* owner);
  virtual ~TPngChunk() = default;
  TPngChunk(const TPngChunk&) = delete;
  TPngChunk& operator=(const TPngChunk&) = delete;

  bool IsType(const char* type) const;
  // The plain reader: data and CRC. A length past the stream's end is cut
  // to what the stream holds.
  bool ReadPlain(TStream& stream, uint32_t length);
  virtual bool Read(TStream& stream, uint32_t length) { return ReadPlain(stream, length); }

  char Type[4];
  std::vector<uint8_t> Data;
  uint32_t Length = 0;
  uint32_t Crc = 0;  // computed, never compared
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

  uint8_t LastError = png_ok;
  uint8_t GammaTable[256];
  std::vector<std::unique_ptr<TPngChunk>> Chunks;

  TPngChunk* Find(const char* type) const;
  TPngHeaderChunk* Header() const;

 private:
  friend class TPngDataChunk;
  friend class TPngGammaChunk;
  TPngChunk* AddRecord(const char* type);
  void ResetGamma();
  void ReturnLentBitmap();

  TBitmapObject* lent_ = nullptr;
  uint8_t* savedBits_ = nullptr;
  int32_t savedWidth_ = 0, savedHeight_ = 0, savedStride_ = 0, savedSize_ = 0;
};

TPngDecoder* CreatePngDecoder();

// The displayed value of a sample under a gAMA value (units of 1/100000).
void BuildGammaTable(uint32_t gamma, uint8_t table[256]);
// The Paeth predictor of the row filters.
uint8_t PaethPredictor(uint8_t a, uint8_t b, uint8_t c);

}  // namespace hi
