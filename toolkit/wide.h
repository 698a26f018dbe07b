// The edge between the UTF-8 strings inside and the system's calls: names
// go to the wide calls as UTF-16 and come back as UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace kol {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const wchar_t* units, size_t count);
inline std::string Utf8(const std::wstring& units) { return Utf8(units.data(), units.size()); }
// A zero-terminated name from a host's ANSI call, in the system's ANSI code page.
std::string Utf8FromAnsi(const char* text);

}  // namespace kol
