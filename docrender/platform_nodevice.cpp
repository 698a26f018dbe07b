#include "docrender/platform.h"

namespace hi {

void PreparePlatform() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::FILE* OpenUtf8(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

}  // namespace hi

// The native build runs under LeakSanitizer: fontconfig's caches, which
// cairo's font lookups fill, live until the process ends by design.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
