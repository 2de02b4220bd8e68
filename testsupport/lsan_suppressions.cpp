// Linked into every test binary and into the checked programs the tests run (weak, so a
// test may give its own). Fontconfig keeps its
// font patterns in caches that live until the process ends, and the desktop's message bus
// (opened by SDL's display code for the input method) keeps its connection state the
// same way; the leak checker of the checked build would report them at exit. Our own
// allocations still count.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpangoft2-1.0.so\n"
         "leak:libdbus-1.so\n";
}
