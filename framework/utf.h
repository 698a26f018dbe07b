// Conversions between the UTF-8 that every string holds inside and the
// UTF-16 of the system's wide calls. Portable, so the rules are tested in
// the native build too.
#pragma once

#include <cstddef>
#include <string>

namespace hi {

// What becomes of a surrogate that lacks its partner. A host may pass one,
// since the system's names are not checked UTF-16; inside, it is U+FFFD. A
// tool that must hand such a unit on unchanged keeps it as the three bytes
// its value would encode to (generalised UTF-8).
enum class LoneSurrogate { Replace, Keep };

std::string Utf8FromUtf16(const char16_t* units, size_t count, LoneSurrogate lone = LoneSurrogate::Replace);
inline std::string Utf8FromUtf16(const std::u16string& units, LoneSurrogate lone = LoneSurrogate::Replace) {
  return Utf8FromUtf16(units.data(), units.size(), lone);
}

// Every byte that does not begin a well-formed sequence (a stray
// continuation byte, an overlong or cut sequence, a value above U+10FFFF or
// an encoded surrogate unless kept) becomes one U+FFFD.
std::u16string Utf16FromUtf8(const std::string& text, LoneSurrogate lone = LoneSurrogate::Replace);

}  // namespace hi
