// Reads the export names of a Windows library file, as the loader sees them.
#pragma once

#include <string>
#include <vector>

namespace test {

// Empty when the file is not a library with an export table.
std::vector<std::string> ExportNames(const std::string& path);

// A Unix path of the build turned into the Wine path of the same file.
std::string WinePath(const std::string& unixPath);

}  // namespace test
