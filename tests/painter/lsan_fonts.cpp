// The native tests run under LeakSanitizer: fontconfig's caches, which
// cairo's font lookups fill, live until the process ends by design.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
