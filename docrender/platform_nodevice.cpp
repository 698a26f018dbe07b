#include "docrender/platform.h"

#include <malloc.h>

namespace hi {

// The interpreter copies property lists by the million; with glibc's
// defaults most of a short run goes to growing, trimming and faulting in
// the heap again. One run is short-lived: keep what was taken.
void PreparePlatform() {
  mallopt(M_TOP_PAD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::FILE* OpenUtf8(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

}  // namespace hi

// The native build runs under LeakSanitizer: fontconfig's caches, which
// cairo's font lookups fill, live until the process ends by design.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the sanitizer's own hook
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
// NOLINTNEXTLINE(bugprone-reserved-identifier): the sanitizer's own hook
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
