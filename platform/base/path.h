// Windows-style paths on a POSIX file system, and the folders the platform hands out.
//
// Mapping: "\" is a separator like "/"; a drive prefix "X:" (any letter case) maps to the
// folder $KORVANE_HOME/drive_x (created on demand), so "c:\a\b.txt" is
// "$KORVANE_HOME/drive_c/a/b.txt"; "\\?\" in front of a drive path is dropped; other
// paths (absolute POSIX or relative) keep their form; UNC paths ("\\server\share") are
// not supported (ERROR_BAD_NETPATH). The input is in the ANSI code page, the result is
// the file-system name (UTF-8).
//
// $KORVANE_HOME defaults to ~/.local/share/korvane; it is read anew on every use.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"

extern "C" {

// Maps `windows_path` into `out`. Returns the length without the terminator, or the size
// needed (terminator included) when `out_size` is too small, or 0 on error (last error
// set: ERROR_INVALID_PARAMETER for a null path, ERROR_PATH_NOT_FOUND for an empty one).
DWORD KvMapPath(const char* windows_path, char* out, DWORD out_size);

// $KORVANE_HOME without a trailing "/" (created on demand). The text stays valid until
// the next call on the same thread.
const char* KvHomeDirectory(void);

// The temporary folder: $TMPDIR or /tmp, ending in "/". Returns the length without the
// terminator, or the size needed (terminator included) when `size` is too small.
DWORD GetTempPathA(DWORD size, LPSTR buffer);
DWORD GetTempPathW(DWORD size, LPWSTR buffer);
// "<path>/<up to 3 chars of prefix><hex unique>.TMP" into `temp_file_name` (MAX_PATH
// chars). `unique` 0: a fresh name is chosen and the (empty) file created. Returns the
// number used, 0 on error.
UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR temp_file_name);
UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR temp_file_name);

// The system folder: $KORVANE_SYSTEM_DIR, or $KORVANE_HOME/system (created on demand),
// WITHOUT a trailing separator, as the platform gives it. The Windows folder is the same
// folder. Same length rules as GetTempPath.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
BOOL SetCurrentDirectoryW(LPCWSTR path);

}  // extern "C"

namespace kv {

// Mapped path, or "" on error (last error set).
inline std::string MapPath(std::string_view windows_path) {
  std::string in(windows_path);
  char small[512];
  DWORD n = KvMapPath(in.c_str(), small, sizeof small);
  if (n == 0) return {};
  if (n < sizeof small) return std::string(small, n);
  std::string out(n, '\0');
  DWORD m = KvMapPath(in.c_str(), out.data(), n);
  if (m == 0 || m >= n) return {};
  out.resize(m);
  return out;
}

}  // namespace kv
