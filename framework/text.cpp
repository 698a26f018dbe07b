#include "framework/text.h"

namespace hi {

static unsigned char FoldUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

int CompareTextAscii(const std::string& a, const std::string& b) {
  const char* pa = a.c_str();
  const char* pb = b.c_str();
  for (;; ++pa, ++pb) {
    unsigned char ca = FoldUpper(static_cast<unsigned char>(*pa));
    unsigned char cb = FoldUpper(static_cast<unsigned char>(*pb));
    if (ca != cb) return int(ca) - int(cb);
    if (ca == 0) return 0;
  }
}

int PosFrom(const std::string& sub, const std::string& s, int from) {
  if (sub.empty()) return 0;
  if (from < 1) from = 1;
  if (size_t(from - 1) > s.size()) return 0;
  size_t p = s.find(sub, size_t(from - 1));
  return p == std::string::npos ? 0 : int(p) + 1;
}

void ReplaceAll(std::string& s, const std::string& find, const std::string& replacement, ReplaceFilter filter,
                void* owner) {
  int position = PosFrom(find, s, 1);
  while (position > 0) {
    if (filter == nullptr || filter(owner, position)) {
      s.replace(size_t(position - 1), find.size(), replacement);
      position += int(replacement.size());
    } else {
      position += 1;
    }
    position = PosFrom(find, s, position);
  }
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return s;
}

void MakeFontRec(const std::string& name, uint8_t size, uint8_t style, uint32_t color, uint8_t charset, TFontRec& out) {
  out.Name = name;
  out.Size = size;
  out.Style = style;
  out.Color = color;
  out.Charset = charset;
}

}  // namespace hi
