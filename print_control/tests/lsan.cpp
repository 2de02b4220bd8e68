// fontconfig keeps its font cache until the process ends (pango's font map holds it); those
// blocks are the library's own and not leaks of the code under test.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
