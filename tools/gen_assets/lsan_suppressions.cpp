// LeakSanitizer hook for the sanitizer build: fontconfig loses a few hundred bytes while it parses
// its XML configuration, once per process, out of our reach. Unused in ordinary builds.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
