// What docrender needs from the system: error dialogs off, the command line
// in UTF-8, files opened by UTF-8 names. docrender_nodevice.cpp serves the
// native build, docrender_win.cpp Windows.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace hi {

// No error box for a missing drive or a crash: a crash ends the process
// with exit code 3 and a line on standard error.
void PreparePlatform();
std::vector<std::string> Utf8Arguments(int argc, char** argv);
std::FILE* OpenUtf8(const std::string& name, const char* mode);

}  // namespace hi
