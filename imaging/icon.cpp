#include "imaging/icon.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/stream.h"

namespace hi {

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Copies count bytes from the file into the memory stream; false when short.
bool CopyBytes(TStream& from, TMemoryStream& to, int64_t count) {
  if (count < 0 || from.Remaining() < count) return false;
  std::vector<uint8_t> buf(static_cast<size_t>(count));
  if (int64_t(from.Read(buf.data(), buf.size())) < count) return false;
  to.Write(buf.data(), buf.size());
  return true;
}

}  // namespace

std::unique_ptr<TIconObject> CreateIconObject() { return std::make_unique<TIconObject>(); }

TIconObject::~TIconObject() { ReleaseIcon(); }

int ChooseIconEntry(const TIconDirEntry* entries, int count, int32_t wanted) {
  int best = -1;
  int32_t bestDiff = 0;
  for (int i = 0; i < count; ++i) {
    int32_t d = std::abs(int32_t(entries[i].Width) - wanted);
    if (best < 0 || d < bestDiff) {
      best = i;
      bestDiff = d;
    }
  }
  return best;
}

bool TIconObject::LoadFromFile(const std::string& name) {
  TFileStream f(name, TFileStream::fmOpenRead);
  if (!f.IsOpen()) {
    ReleaseIcon();
    lastError_ = pic_cannot_open;
    return false;
  }
  return LoadFromStream(f);
}

bool TIconObject::LoadFromStream(TStream& stream) {
  int64_t start = stream.Position();
  ReleaseIcon();
  color_.reset();
  mask_.reset();
  lastError_ = Read(stream);
  if (lastError_ == pic_ok) return true;
  ReleaseIcon();
  color_.reset();
  mask_.reset();
  stream.Seek(start);
  return false;
}

TPictureResult TIconObject::Read(TStream& stream) {
  int64_t start = stream.Position();
  int32_t wanted = Size != 0 ? Size : SystemIconSize();
  uint8_t head[6];
  if (stream.Read(head, 6) < 6) return pic_truncated;
  uint16_t type = Get16(head + 2), count = Get16(head + 4);
  if (Get16(head) != 0 || (type != 1 && type != 2) || count < 1) return ico_directory;
  if (stream.Remaining() < int64_t(count) * 16) return pic_truncated;
  std::vector<TIconDirEntry> entries(count);
  int64_t total = 6;
  for (auto& e : entries) {
    uint8_t r[16];
    if (stream.Read(r, 16) < 16) return pic_truncated;
    e = {r[0], r[1], r[2], r[3], Get16(r + 4), Get16(r + 6), Get32(r + 8), Get32(r + 12)};
    if (e.Width == 0 || (e.Height != e.Width && e.Height != 2 * e.Width)) return ico_entry_size;
    total += 16 + int64_t(e.DataSize);
  }
  const TIconDirEntry& e = entries[ChooseIconEntry(entries.data(), count, wanted)];
  stream.Seek(start + e.DataOffset);
  int32_t edge = e.Width;
  Size = edge;
  uint8_t raw[40];
  if (stream.Read(raw, 40) < 40) return pic_truncated;
  TBitmapInfoHeader info;
  std::memcpy(&info, raw, 40);
  if (info.biWidth != edge || (info.biHeight != edge && info.biHeight != 2 * edge)) return ico_image_header;
  info.biHeight = edge;

  TMemoryStream mem;
  if (!(e.ColorCount == 1 && e.Reserved != 1)) {
    mem.Write(&info, 40);
    if (info.biBitCount <= 8 && !CopyBytes(stream, mem, int64_t(4) << info.biBitCount)) return pic_truncated;
    if (!CopyBytes(stream, mem, edge * RowStride(info.biBitCount, edge))) return pic_truncated;
    mem.Seek(0);
    color_ = CreateDeviceBitmap(edge, edge);
    // A load that succeeds has pixels: the reader refuses empty sizes.
    if (!color_->LoadFromStream(mem)) return color_->LastError();
  }
  TMemoryStream maskMem;
  TBitmapInfoHeader maskInfo = info;
  maskInfo.biBitCount = 1;
  maskInfo.biPlanes = 1;  // a mask is one plane of one bit, whatever the entry says
  maskMem.Write(&maskInfo, 40);
  const uint32_t maskColors[2] = {0x00000000, 0x00FFFFFF};
  maskMem.Write(maskColors, 8);
  if (!CopyBytes(stream, maskMem, edge * RowStride(1, edge))) return pic_truncated;
  maskMem.Seek(0);
  mask_ = CreateDeviceBitmap(edge, edge);
  if (!mask_->LoadFromStream(maskMem)) return mask_->LastError();
  if (!MakeHandle()) return ico_no_handle;
  stream.Seek(start + total);
  return pic_ok;
}

std::unique_ptr<TBitmapObject> TIconObject::ComposeBitmap(uint32_t background) const {
  if (!mask_ || mask_->IsEmpty()) return nullptr;
  int32_t edge = mask_->Width();
  std::unique_ptr<TBitmapObject> out = CreateDibBitmap(edge, edge, px24Bit);
  if (out->IsEmpty()) return out;
  TBitmapObject* mask = mask_.get();
  TBitmapObject* color = color_.get();
  if (mask->PixelLayout() != px1Bit) return out;
  TPixelLayout cl = color ? color->PixelLayout() : pxDevice;
  // Rows too short for the layout's pixels are not read.
  if (color && (color->Width() != edge || color->Height() != edge ||
                int64_t(color->ScanLineSize()) < RowStride(LayoutBits(cl), edge)))
    color = nullptr;
  if (!color) cl = pxDevice;
  const uint32_t* pal = color ? color->Colors() : nullptr;
  bool alpha = false;
  if (cl == px32Bit)
    for (int32_t y = 0; y < edge && !alpha; ++y)
      for (int32_t x = 0; x < edge && !alpha; ++x) alpha = color->ScanLine(y)[4 * x + 3] != 0;
  uint8_t bg[3] = {uint8_t(background >> 16), uint8_t(background >> 8), uint8_t(background)};
  for (int32_t y = 0; y < edge; ++y) {
    uint8_t* d = out->ScanLine(y);
    const uint8_t* m = mask->ScanLine(y);
    const uint8_t* c = color ? color->ScanLine(y) : nullptr;
    for (size_t x = 0; x < size_t(edge); ++x) {
      bool keep = m && ((m[x >> 3] >> (7 - (x & 7))) & 1);
      uint8_t px[4] = {0, 0, 0, 0};  // b, g, r, a
      if (c) {
        uint32_t v = 0;
        switch (cl) {
          case px1Bit: v = pal[(c[x >> 3] >> (7 - (x & 7))) & 1]; break;
          case px4Bit: v = pal[(c[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; break;
          case px8Bit: v = pal[c[x]]; break;
          case px24Bit: v = c[3 * x] | (c[3 * x + 1] << 8) | (c[3 * x + 2] << 16); break;
          case px32Bit:
            v = c[4 * x] | (c[4 * x + 1] << 8) | (c[4 * x + 2] << 16) | (uint32_t(c[4 * x + 3]) << 24);
            break;
          default: break;
        }
        for (int i = 0; i < 4; ++i) px[i] = uint8_t(v >> (8 * i));
      }
      for (int i = 0; i < 3; ++i) {
        if (alpha)
          d[3 * x + i] = uint8_t((px[i] * px[3] + bg[i] * (255 - px[3]) + 127) / 255);
        else
          d[3 * x + i] = uint8_t((keep ? bg[i] : 0) ^ px[i]);
      }
    }
  }
  return out;
}

}  // namespace hi
