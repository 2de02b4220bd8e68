// Modules: LoadLibrary over dlopen, and built-in modules whose functions are bound by
// name from a table (for names that libplatform.so cannot export as such).
//
// A module handle is the load address of the shared object (as dladdr reports it); a
// built-in module's handle is the address of its record. GetModuleHandle(NULL) is the
// executable. File names are in the ANSI code page; "X.dll" names the file "X.dll"
// (a name without an extension gets ".dll"), matched case-insensitively within a folder.
// A bare file name is searched in the calling module's folder (the module LoadLibrary
// returns to; a function that ends in a tail call to it passes its own caller), the
// executable's folder, the system directory, then by dlopen itself; a name with "\" or "/" is mapped as a
// path and loaded directly.
#pragma once

#include <cstddef>

#include "platform/base/types.h"

extern "C" {

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008

// NULL with ERROR_MOD_NOT_FOUND when no file is found, ERROR_BAD_FORMAT when the file
// is not a loadable shared object.
HMODULE LoadLibraryA(LPCSTR file_name);
HMODULE LoadLibraryW(LPCWSTR file_name);
// Flags 0 and LOAD_WITH_ALTERED_SEARCH_PATH (a full path's own folder is searched for
// its dependencies; dlopen does that already); other flags fail with ERROR_INVALID_PARAMETER.
HMODULE LoadLibraryExA(LPCSTR file_name, HANDLE reserved, DWORD flags);
HMODULE LoadLibraryExW(LPCWSTR file_name, HANDLE reserved, DWORD flags);
// Reference counted: the object is unloaded when the count of LoadLibrary calls is
// matched. Modules not loaded through LoadLibrary (the executable) stay.
BOOL FreeLibrary(HMODULE module);
// NULL with ERROR_PROC_NOT_FOUND for a missing name, ERROR_INVALID_HANDLE for a bad module.
FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name);
// A loaded module by file name (no count added); NULL = the executable.
HMODULE GetModuleHandleA(LPCSTR module_name);
HMODULE GetModuleHandleW(LPCWSTR module_name);
// Full POSIX path of the module's file (NULL: the executable), platform length rules:
// returns the length copied; when truncated, `size` with ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameA(HMODULE module, LPSTR file_name, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR file_name, DWORD size);

// Built-in modules.
struct KvExport {
  const char* name;
  void* proc;
};
// Registers (or replaces) a built-in module `name` ("WS2_32.DLL"); the table must live as
// long as the process. LoadLibrary of that name (any letter case, with or without a
// folder, with or without ".dll") yields it, and GetProcAddress looks in the table.
void KvRegisterBuiltinModule(const char* name, const KvExport* exports, size_t count);

// The module that contains `address` (NULL when none does).
HMODULE KvModuleOfAddress(const void* address);

}  // extern "C"

namespace kv {

// GetProcAddress with the result cast to the function type the caller expects (through
// the one function type the compiler accepts as matching every other).
template <class Fn>
inline Fn ProcAddress(HMODULE module, const char* proc_name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, proc_name)));
}

}  // namespace kv
