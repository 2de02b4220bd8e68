// Linked into every test binary (weak, so a test may give its own). Fontconfig keeps its
// font patterns in caches that live until the process ends; the leak checker of the
// checked build would report them at exit. Our own allocations still count.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpangoft2-1.0.so\n";
}
