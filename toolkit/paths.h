// Splitting of Windows file names. Header-only and free of platform headers,
// so the rules are tested in the native build too.
#pragma once

#include <string>

namespace kol {

// Appends c unless the text already ends with it (an empty text gets it).
inline std::string IncludeTrailingChar(const std::string& text, char c) {
  if (text.empty() || text.back() != c) return text + c;
  return text;
}

// Folder separators are ':' and '\'; a forward slash is part of a name.
inline size_t LastFolderSeparator(const std::string& name) { return name.find_last_of(":\\"); }

// Up to and including the last separator; empty when there is none.
inline std::string FolderPart(const std::string& name) {
  size_t p = LastFolderSeparator(name);
  return p == std::string::npos ? std::string() : name.substr(0, p + 1);
}

// After the last separator; the whole text when there is none.
inline std::string NamePart(const std::string& name) {
  size_t p = LastFolderSeparator(name);
  return p == std::string::npos ? name : name.substr(p + 1);
}

// From the last dot to the end, dot included; empty without a dot. The dot
// may lie in a folder part: NameWithoutExtension applies it to the name only.
inline std::string ExtensionPart(const std::string& name) {
  size_t p = name.find_last_of('.');
  return p == std::string::npos ? std::string() : name.substr(p);
}

inline std::string NameWithoutExtension(const std::string& name) {
  std::string n = NamePart(name);
  return n.substr(0, n.size() - ExtensionPart(n).size());
}

// True when the name holds a character that no Windows file name can: the
// patterns '?' and '*' (a host that converts a name to its ANSI code page
// puts '?' for every character outside it), '"', '<', '>', '|' or a control
// character. The "\\?\" that opens a long name is the system's own form.
inline bool NamesNoFile(const std::string& name) {
  const size_t from = name.compare(0, 4, "\\\\?\\") == 0 ? 4 : 0;
  for (size_t i = from; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == '?' || c == '*' || c == '"' || c == '<' || c == '>' || c == '|') return true;
  }
  return false;
}

}  // namespace kol
