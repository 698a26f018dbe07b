// Shared by the loader tests: sample paths (Wine paths under Windows),
// scratch files, pixel reading, and plain libjpeg encode/decode loops used
// as references.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hi {
class TBitmapObject;
}

namespace loaders_test {

using Bytes = std::vector<uint8_t>;

// root/rel as this process opens it (Z:\... under Wine).
std::string Sample(const std::string& root, const std::string& rel);
std::string LibjpegSample(const std::string& name);  // testimages/<name>
std::string PillowSample(const std::string& name);   // Tests/images/<name>
std::string PngSuiteSample(const std::string& name);
bool HaveSamples();

Bytes ReadBytes(const std::string& path);
// A fresh scratch folder for this test program, with separator at the end.
std::string Scratch();
std::string WriteScratch(const std::string& name, const Bytes& data);
void RemoveFile(const std::string& path);

// 0xRRGGBB of a pixel of a 1-, 4-, 8-, 24- or 32-bit memory bitmap.
uint32_t PixelRgb(hi::TBitmapObject* b, int32_t x, int32_t y);
int ChannelDiff(uint32_t a, uint32_t b);  // largest channel difference

// Plain libjpeg decode into top-down rows (BGR, or grey with grey = true).
struct Plain {
  int32_t width = 0, height = 0, components = 0;
  Bytes pixels;
  uint32_t Rgb(int32_t x, int32_t y) const;
};
Plain PlainDecode(const Bytes& jpeg, bool grey = false);
// Lossless transcoding into a progressive file.
Bytes MakeProgressive(const Bytes& jpeg);
// Compresses samples (components 1, 3 = RGB or 4 = CMYK as stored).
Bytes Compress(const Bytes& samples, int32_t w, int32_t h, int components, int quality, bool adobe = true,
               int sampling = 2);

}  // namespace loaders_test
