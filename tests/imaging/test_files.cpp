#include "tests/imaging/test_files.h"

#include <dirent.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace testing_imaging {

Bytes ReadFileBytes(const std::string& name) {
  Bytes out;
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> out;
  DIR* d = opendir(folder.c_str());
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n.size() > suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
      out.push_back(folder + "/" + n);
  }
  closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutBE32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

void AddChunk(Bytes& png, const char* type, const Bytes& data) {
  PutBE32(png, uint32_t(data.size()));
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  crc = crc32(crc, data.data(), uInt(data.size()));
  PutBE32(png, uint32_t(crc));
}

Bytes PngSignature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

Bytes IhdrData(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace) {
  Bytes d;
  PutBE32(d, w);
  PutBE32(d, h);
  d.push_back(depth);
  d.push_back(colorType);
  d.push_back(0);
  d.push_back(0);
  d.push_back(interlace);
  return d;
}

Bytes Deflate(const Bytes& raw) {
  uLongf n = compressBound(uLong(raw.size()));
  Bytes out(n);
  compress2(out.data(), &n, raw.data(), uLong(raw.size()), 6);
  out.resize(n);
  return out;
}

}  // namespace testing_imaging
