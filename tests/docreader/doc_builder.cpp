#include "tests/docreader/doc_builder.h"

#include <zlib.h>

#include <cstring>

namespace testing_doc {

using testing_imaging::Put16;
using testing_imaging::Put32;

Bytes RawDeflate(const Bytes& raw) {
  z_stream z = {};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, uLong(raw.size())) + 16);
  z.next_in = const_cast<Bytes::value_type*>(raw.data());
  z.avail_in = uInt(raw.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

namespace {

void Put64(Bytes& b, uint64_t v) {
  Put32(b, uint32_t(v));
  Put32(b, uint32_t(v >> 32));
}

void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

}  // namespace

Bytes BuildZip(const Archive& a, uint32_t* dirOffset, uint32_t* endOffset) {
  Bytes out, dir;
  for (const Member& m : a.members) {
    Bytes body = m.method == 8 ? RawDeflate(m.data) : m.data;
    uint32_t crc = uint32_t(crc32(0, m.data.data(), uInt(m.data.size())));
    uint64_t size = m.declaredSize >= 0 ? uint64_t(m.declaredSize) : m.data.size();
    Bytes extra;
    if (m.zip64Size) {
      Put16(extra, 1);
      Put16(extra, 16);
      Put64(extra, size);
      Put64(extra, body.size());
    }
    uint32_t size32 = m.zip64Size ? 0xFFFFFFFFu : uint32_t(size);
    uint32_t comp32 = m.zip64Size ? 0xFFFFFFFFu : uint32_t(body.size());
    uint32_t local = uint32_t(out.size());
    auto common = [&](Bytes& b) {
      Put16(b, m.zip64Size ? 45 : 20);
      Put16(b, m.flags);
      Put16(b, m.method);
      Put16(b, 0);
      Put16(b, 0x5021);
      Put32(b, crc);
      Put32(b, comp32);
      Put32(b, size32);
      Put16(b, uint16_t(m.name.size()));
      Put16(b, uint16_t(extra.size()));
    };
    Put32(out, 0x04034b50);
    common(out);
    out.insert(out.end(), m.name.begin(), m.name.end());
    Append(out, extra);
    Append(out, body);
    Put32(dir, 0x02014b50);
    Put16(dir, 0x031E);
    common(dir);
    Put16(dir, 0);
    Put16(dir, 0);
    Put16(dir, 0);
    Put32(dir, 0);
    Put32(dir, local);
    dir.insert(dir.end(), m.name.begin(), m.name.end());
    Append(dir, extra);
  }
  uint32_t at = uint32_t(out.size());
  if (dirOffset) *dirOffset = at;
  Append(out, dir);
  uint16_t n = uint16_t(a.members.size());
  if (a.zip64End) {
    uint64_t end64 = out.size();
    Put32(out, 0x06064b50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, n);
    Put64(out, n);
    Put64(out, dir.size());
    Put64(out, at);
    Put32(out, 0x07064b50);
    Put32(out, 0);
    Put64(out, end64);
    Put32(out, 1);
  }
  if (endOffset) *endOffset = uint32_t(out.size());
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, a.zip64End ? 0xFFFF : n);
  Put16(out, a.zip64End ? 0xFFFF : n);
  Put32(out, a.zip64End ? 0xFFFFFFFFu : uint32_t(dir.size()));
  Put32(out, a.zip64End ? 0xFFFFFFFFu : at);
  Put16(out, 0);
  return out;
}

uint32_t PixelAt(int32_t x, int32_t y, uint32_t seed) {
  return ((uint32_t(x) * 7 + seed) & 0xFF) << 16 | ((uint32_t(y) * 5 + seed) & 0xFF) << 8 |
         ((uint32_t(x ^ y) + seed) & 0xFF);
}

Bytes Bmp24(int32_t w, int32_t h, uint32_t seed) {
  uint32_t stride = (uint32_t(w) * 3 + 3) & ~3u;
  Bytes b = {'B', 'M'};
  Put32(b, 54 + stride * uint32_t(h));
  Put32(b, 0);
  Put32(b, 54);
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h));
  Put16(b, 1);
  Put16(b, 24);
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  for (int32_t y = h - 1; y >= 0; --y) {
    for (int32_t x = 0; x < w; ++x) {
      uint32_t c = PixelAt(x, y, seed);
      b.push_back(uint8_t(c));
      b.push_back(uint8_t(c >> 8));
      b.push_back(uint8_t(c >> 16));
    }
    b.resize(b.size() + (stride - uint32_t(w) * 3), 0);
  }
  return b;
}

Bytes Png24(uint32_t w, uint32_t h, uint32_t seed) {
  using namespace testing_imaging;
  Bytes png = PngSignature();
  AddChunk(png, "IHDR", IhdrData(w, h, 8, 2));
  AddChunk(png, "sRGB", Bytes{0});
  Bytes gama;
  PutBE32(gama, 45455);
  AddChunk(png, "gAMA", gama);
  Bytes phys;
  PutBE32(phys, 3780);
  PutBE32(phys, 3780);
  phys.push_back(1);
  AddChunk(png, "pHYs", phys);
  Bytes raw;
  for (uint32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t c = PixelAt(int32_t(x), int32_t(y), seed);
      raw.push_back(uint8_t(c >> 16));
      raw.push_back(uint8_t(c >> 8));
      raw.push_back(uint8_t(c));
    }
  }
  AddChunk(png, "IDAT", Deflate(raw));
  AddChunk(png, "IEND", Bytes());
  return png;
}

Bytes ModernDocument(const Bytes& png, uint16_t method) {
  Archive a;
  a.members.push_back({"mimetype", Bytes{'a', 'p', 'p', '/', 'x'}, 0});
  a.members.push_back({"content/root.dat", Bytes(300, 7), method});
  a.members.push_back({"META-INF/container.xml", Bytes(80, 'x'), method});
  a.members.push_back({"previews/page1.png", Png24(3, 2, 99), method});
  a.members.push_back({"previews/thumbnail.png", png, method});
  a.members.push_back({"META-INF/metadata.xml", Bytes(120, 'm'), method});
  return BuildZip(a);
}

Bytes BmpEraDocument(const Bytes& bmp, uint16_t method) {
  Archive a;
  a.members.push_back({"content/riffData.cdr", Bytes(500, 3), method});
  a.members.push_back({"metadata/thumbnails/page1.bmp", Bmp24(2, 2, 5), method});
  a.members.push_back({"metadata/thumbnails/thumbnail.bmp", bmp, method});
  a.members.push_back({"META-INF/metadata.xml", Bytes(120, 'm'), method});
  return BuildZip(a);
}

Bytes BuildRiff(const std::vector<RiffChunk>& chunks, char version) {
  Bytes body = {'C', 'D', 'R', uint8_t(version)};
  for (const RiffChunk& c : chunks) {
    body.insert(body.end(), c.id.begin(), c.id.end());
    Put32(body, uint32_t(c.data.size()));
    Append(body, c.data);
    if (c.data.size() & 1) body.push_back(0);
  }
  Bytes out = {'R', 'I', 'F', 'F'};
  Put32(out, uint32_t(body.size()));
  Append(out, body);
  return out;
}

uint32_t DispColor(int index) { return uint32_t(index) * 0x010203u & 0xFFFFFF; }

Bytes DispData(int32_t w, int32_t h, uint32_t clrUsed) {
  Bytes d;
  Put32(d, 8);
  Put32(d, 40);
  Put32(d, uint32_t(w));
  Put32(d, uint32_t(h));
  Put16(d, 1);
  Put16(d, 8);
  Put32(d, 0);
  Put32(d, 0);
  Put32(d, 0);
  Put32(d, 0);
  Put32(d, clrUsed);
  Put32(d, 0);
  for (int i = 0; i < 256; ++i) Put32(d, DispColor(i));
  uint32_t stride = (uint32_t(w) + 3) & ~3u;
  for (int32_t y = h - 1; y >= 0; --y) {
    for (int32_t x = 0; x < w; ++x) d.push_back(uint8_t((x + 3 * y) & 255));
    d.resize(d.size() + (stride - uint32_t(w)), 0);
  }
  return d;
}

}  // namespace testing_doc
