#include "toolkit/wide.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "framework/utf.h"

namespace kol {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the system's wide characters are UTF-16 units");

std::wstring Wide(const std::string& utf8) {
  const std::u16string units = hi::Utf16FromUtf8(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Utf8(const wchar_t* units, size_t count) {
  const std::u16string copy(units, units + count);
  return hi::Utf8FromUtf16(copy);
}

std::string Utf8FromAnsi(const char* text) {
  const size_t length = std::strlen(text);
  if (length == 0) return std::string();
  if (length > size_t(INT32_MAX)) return std::string();
  const int n = MultiByteToWideChar(CP_ACP, 0, text, int(length), nullptr, 0);
  if (n <= 0) return std::string();
  std::wstring units(size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, int(length), &units[0], n);
  return Utf8(units);
}

}  // namespace kol
