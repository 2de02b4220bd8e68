// Optional system libraries of libplatform.so (CUPS, libcurl), opened when first needed
// rather than with libplatform.so itself, and kept for the rest of the process.
// Inside libplatform.so only.
#pragma once

#include <dlfcn.h>

#include <cstddef>

namespace kv::base {

// Opens `soname` and looks up each names[i] into *slots[i]; false (the library closed
// again, the slots left as they may be) when it or any of the functions is missing.
inline bool BindSystemLibrary(const char* soname, const char* const* names, void** const* slots, size_t count) {
  void* so = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!so) return false;
  for (size_t i = 0; i < count; ++i) {
    *slots[i] = dlsym(so, names[i]);
    if (!*slots[i]) {
      dlclose(so);
      return false;
    }
  }
  return true;
}

}  // namespace kv::base
