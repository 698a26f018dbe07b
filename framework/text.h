// Small string routines shared by the elements, and the font description.
#pragma once

#include <cstdint>
#include <string>

namespace hi {

// Case-insensitive for 'a'..'z' only; the difference of the first differing
// folded bytes (as unsigned), up to and including the terminating zero.
int CompareTextAscii(const std::string& a, const std::string& b);

// 1-based position of sub in s at or after from; 0 when absent.
int PosFrom(const std::string& sub, const std::string& s, int from);

// Decides whether the occurrence at a 1-based position is replaced.
using ReplaceFilter = bool (*)(void* owner, int position);

// Replaces every occurrence of find; text inserted by a replacement is never
// searched again. Case-sensitive.
void ReplaceAll(std::string& s, const std::string& find, const std::string& replacement, ReplaceFilter filter = nullptr,
                void* owner = nullptr);

// Folds 'A'..'Z' to lower case, nothing else.
std::string LowerAscii(std::string s);

struct TFontRec {
  std::string Name;
  uint8_t Size = 0;
  uint8_t Style = 0;
  uint32_t Color = 0;
  uint8_t Charset = 0;
};

void MakeFontRec(const std::string& name, uint8_t size, uint8_t style, uint32_t color, uint8_t charset, TFontRec& out);

}  // namespace hi
