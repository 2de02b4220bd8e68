// A module in its own folder that loads modules by bare name, so the tests can see the
// calling module's folder searched first.
#include "platform/base/module.h"

extern "C" __attribute__((visibility("default"))) HMODULE CallerLoad(const char* name) {
  // Not a tail call: the search starts from the module that LoadLibraryA returns to.
  HMODULE volatile module = LoadLibraryA(name);
  return module;
}
