// regsvr: registers ("regsvr FILE") or unregisters ("regsvr -u FILE") an in-process COM
// server by calling its DllRegisterServer / DllUnregisterServer, and says what it did.
// "-s" keeps it silent. Switches may start with "-" or "/" in any letter case.
// Exit codes: 0 done, 1 bad arguments, 2 COM could not start, 3 the file did not load,
// 4 it has no such entry, 5 the entry failed.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/module.h"
#include "platform/com/com.h"

namespace {

bool IsSwitch(const char* arg, char letter) {
  return (arg[0] == '-' || arg[0] == '/') && (arg[1] == letter || arg[1] == letter - 32) && arg[2] == '\0';
}

std::string ErrorText(DWORD code) {
  char buf[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                           sizeof buf, nullptr);
  std::string s(buf, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s.empty() ? "error " + std::to_string(code) : s;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false, silent = false, usable = true;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (IsSwitch(a, 'u')) {
      unregister = true;
    } else if (IsSwitch(a, 's')) {
      silent = true;
    } else if (a[0] == '-' || file || !a[0]) {
      usable = false;  // an unknown switch, a second file or an empty name
    } else {
      file = a;
    }
  }
  if (!usable || !file) {
    fprintf(stderr, "Usage: regsvr [-u] [-s] FILE\n  -u  unregister the server\n  -s  silent\n");
    return 1;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  if (FAILED(OleInitialize(nullptr))) {
    if (!silent) fprintf(stderr, "regsvr: COM could not be initialised\n");
    return 2;
  }
  int rc = 0;
  HMODULE module = LoadLibraryA(file);
  if (!module && !strpbrk(file, "/\\") && access(file, F_OK) == 0) {
    // A bare name is also looked for in the current folder, after the usual places.
    module = LoadLibraryA((std::string("./") + file).c_str());
  }
  if (!module) {
    if (!silent) fprintf(stderr, "regsvr: \"%s\" failed to load: %s\n", file, ErrorText(GetLastError()).c_str());
    rc = 3;
  } else {
    auto proc = reinterpret_cast<HRESULT (*)()>(reinterpret_cast<void*>(GetProcAddress(module, entry)));
    if (!proc) {
      if (!silent) fprintf(stderr, "regsvr: \"%s\" was loaded, but has no %s entry point\n", file, entry);
      rc = 4;
    } else {
      HRESULT hr = proc();
      if (FAILED(hr)) {
        if (!silent)
          fprintf(stderr, "regsvr: %s in \"%s\" failed, return code 0x%08X\n", entry, file, static_cast<unsigned>(hr));
        rc = 5;
      } else if (!silent) {
        printf("%s in \"%s\" succeeded.\n", entry, file);
      }
    }
    FreeLibrary(module);
  }
  OleUninitialize();
  return rc;
}
