#include "framework/utf.h"

namespace hi {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += char16_t(c);
  } else {
    c -= 0x10000;
    out += char16_t(0xD800 | (c >> 10));
    out += char16_t(0xDC00 | (c & 0x3FF));
  }
}

// The code point of the well-formed sequence at text[i], and its length in
// n; 0 bytes long when none begins there.
char32_t DecodeUtf8(const std::string& text, size_t i, size_t& n, LoneSurrogate lone) {
  n = 0;
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length;
  char32_t c;
  char32_t least;
  if (lead < 0x80) {
    n = 1;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < least || c > 0x10FFFF) return 0;
  if ((IsHighSurrogate(c) || IsLowSurrogate(c)) && lone == LoneSurrogate::Replace) return 0;
  n = length;
  return c;
}

}  // namespace

std::string Utf8FromUtf16(const char16_t* units, size_t count, LoneSurrogate lone) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    char32_t c = units[i];
    if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00);
      ++i;
    } else if ((IsHighSurrogate(c) || IsLowSurrogate(c)) && lone == LoneSurrogate::Replace) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string Utf16FromUtf8(const std::string& text, LoneSurrogate lone) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t n;
    const char32_t c = DecodeUtf8(text, i, n, lone);
    if (n == 0) {
      out += char16_t(kReplacement);
      ++i;
    } else {
      AppendUtf16(out, c);
      i += n;
    }
  }
  return out;
}

}  // namespace hi
