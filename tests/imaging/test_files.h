// Small helpers shared by the imaging tests: files, PNG and BMP building.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_imaging {

using Bytes = std::vector<uint8_t>;

Bytes ReadFileBytes(const std::string& name);
std::vector<std::string> ListFiles(const std::string& folder, const std::string& suffix);

void Put16(Bytes& b, uint32_t v);
void Put32(Bytes& b, uint32_t v);
void PutBE32(Bytes& b, uint32_t v);

// One PNG chunk with its CRC.
void AddChunk(Bytes& png, const char* type, const Bytes& data);
Bytes PngSignature();
Bytes IhdrData(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace = 0);
Bytes Deflate(const Bytes& raw);

}  // namespace testing_imaging
