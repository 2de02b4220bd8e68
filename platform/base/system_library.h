// Optional system libraries of libplatform.so (CUPS, libcurl), opened when first needed
// rather than with libplatform.so itself, and kept for the rest of the process.
// Inside libplatform.so only.
#pragma once

#include <dlfcn.h>

#include <cstddef>
#include <string>

namespace kv::base {

// Opens `soname` and looks up each names[i] into *slots[i]; false (the library closed
// again, every slot null) when it or any of the functions is missing, with the loader's
// account of it in *why when given.
inline bool BindSystemLibrary(const char* soname, const char* const* names, void** const* slots, size_t count,
                              std::string* why = nullptr) {
  void* so = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!so) {
    if (why) {
      const char* error = dlerror();
      *why = error ? error : std::string(soname) + ": cannot be opened";
    }
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    *slots[i] = dlsym(so, names[i]);
    if (!*slots[i]) {
      if (why) *why = std::string(soname) + ": no " + names[i];
      for (size_t j = 0; j < i; ++j) *slots[j] = nullptr;
      dlclose(so);
      return false;
    }
  }
  return true;
}

}  // namespace kv::base
