// Windows-style path mapping and the folders the platform hands out.
#include "platform/base/path.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/internal.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"

using kv::base::CopyOut;
using kv::base::Env;

namespace {

std::string StripTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// $KORVANE_HOME (or its default), created; empty when it cannot be made.
std::string HomeUtf8() {
  std::string home = Env("KORVANE_HOME");
  if (home.empty()) {
    std::string user_home = Env("HOME");
    if (user_home.empty()) {
      if (const passwd* pw = getpwuid(getuid())) user_home = pw->pw_dir ? pw->pw_dir : "";
    }
    if (user_home.empty()) user_home = "/tmp";
    home = StripTrailingSlashes(user_home) + "/.local/share/korvane";
  }
  home = StripTrailingSlashes(home);
  if (!kv::base::MakeDirectories(home)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  return home;
}

std::string SystemUtf8() {
  std::string dir = Env("KORVANE_SYSTEM_DIR");
  if (dir.empty()) {
    std::string home = HomeUtf8();
    if (home.empty()) return {};
    dir = home + "/system";
  }
  dir = StripTrailingSlashes(dir);
  if (!kv::base::MakeDirectories(dir)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  return dir;
}

std::string TempUtf8() {
  std::string dir = Env("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  dir = StripTrailingSlashes(dir);
  if (dir.back() != '/') dir += '/';
  return dir;
}

bool IsSep(char c) { return c == '/' || c == '\\'; }

bool IsDriveAt(std::string_view s, size_t i) {
  return s.size() >= i + 2 && ((s[i] | 0x20) >= 'a' && (s[i] | 0x20) <= 'z') && s[i + 1] == ':';
}

}  // namespace

namespace kv::base {

std::string MapUtf8Path(std::string_view in) {
  if (in.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  // "\\?\C:\..." (long-path form) names a drive path.
  if (in.size() >= 4 && in[0] == '\\' && in[1] == '\\' && (in[2] == '?' || in[2] == '.') && in[3] == '\\' &&
      IsDriveAt(in, 4)) {
    in.remove_prefix(4);
  }
  if (in.size() >= 2 && IsSep(in[0]) && IsSep(in[1]) && (in[0] == '\\' || in[1] == '\\')) {
    SetLastError(ERROR_BAD_NETPATH);
    return {};
  }
  std::string s(in);
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  if (!IsDriveAt(s, 0)) return s;
  std::string home = HomeUtf8();
  if (home.empty()) return {};
  std::string drive = home + "/drive_" + static_cast<char>(s[0] | 0x20);
  if (!MakeDirectories(drive)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  std::string rest = s.substr(2);
  if (rest.empty()) return drive;
  if (rest[0] != '/') rest.insert(rest.begin(), '/');
  return drive + rest;
}

}  // namespace kv::base

extern "C" {

DWORD KvMapPath(const char* windows_path, char* out, DWORD out_size) {
  std::string mapped = kv::base::MapAnsiPath(windows_path);
  if (mapped.empty()) return 0;
  return CopyOut(mapped, out, out_size);
}

const char* KvHomeDirectory(void) {
  thread_local std::string t_home;
  t_home = HomeUtf8();
  return t_home.c_str();
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) { return CopyOut(kv::base::Utf8ToAnsi(TempUtf8()), buffer, size); }

DWORD GetTempPathW(DWORD size, LPWSTR buffer) { return CopyOut(kv::base::Utf8ToWide(TempUtf8()), buffer, size); }

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR temp_file_name) {
  if (!path || !temp_file_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string base(*path ? path : ".");
  if (!IsSep(base.back())) base.push_back('/');
  std::string pre = prefix ? std::string(prefix).substr(0, 3) : std::string();
  auto name_for = [&](UINT n) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", n & 0xFFFF);
    return base + pre + hex + ".TMP";
  };
  auto deliver = [&](const std::string& name, UINT n) -> UINT {
    if (name.size() + 1 > MAX_PATH) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return 0;
    }
    CopyOut(name, temp_file_name, MAX_PATH);
    return n;
  };
  if (unique != 0) return deliver(name_for(unique), unique & 0xFFFF);
  UINT start = (GetTickCount() ^ static_cast<UINT>(getpid())) & 0xFFFF;
  for (UINT i = 0; i < 0x10000; ++i) {
    UINT n = ((start + i) & 0xFFFF);
    if (n == 0) continue;
    std::string name = name_for(n);
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return deliver(name, n);
    }
    DWORD e = GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return 0;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR temp_file_name) {
  if (!path || !temp_file_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string p = kv::base::WideToUtf8(path);
  std::string pre = prefix ? kv::base::WideToUtf8(prefix) : std::string();
  char out[MAX_PATH * 4];
  std::string pa = kv::base::Utf8ToAnsi(p), pra = kv::base::Utf8ToAnsi(pre);
  UINT r = GetTempFileNameA(pa.c_str(), pra.c_str(), unique, out);
  if (r == 0) return 0;
  std::u16string w = kv::base::Utf8ToWide(kv::base::AnsiToUtf8(out));
  if (w.size() + 1 > MAX_PATH) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  CopyOut(w, temp_file_name, MAX_PATH);
  return r;
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  std::string dir = SystemUtf8();
  if (dir.empty()) return 0;
  return CopyOut(kv::base::Utf8ToAnsi(dir), buffer, size);
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  std::string dir = SystemUtf8();
  if (dir.empty()) return 0;
  return CopyOut(kv::base::Utf8ToWide(dir), buffer, size);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return GetSystemDirectoryA(buffer, size); }
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) { return GetSystemDirectoryW(buffer, size); }

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) return kv::base::FailErrno(errno);
  std::string s = kv::base::Utf8ToAnsi(cwd);
  free(cwd);
  return CopyOut(s, buffer, size);
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) return kv::base::FailErrno(errno);
  std::u16string s = kv::base::Utf8ToWide(cwd);
  free(cwd);
  return CopyOut(s, buffer, size);
}

static BOOL ChangeDirectory(const std::string& mapped) {
  if (mapped.empty()) return FALSE;
  if (chdir(mapped.c_str()) != 0) {
    int e = errno;
    return kv::base::Fail(e == ENOENT ? ERROR_PATH_NOT_FOUND : e == ENOTDIR ? ERROR_DIRECTORY : KvErrnoToError(e));
  }
  return TRUE;
}

BOOL SetCurrentDirectoryA(LPCSTR path) { return ChangeDirectory(kv::base::MapAnsiPath(path)); }
BOOL SetCurrentDirectoryW(LPCWSTR path) { return ChangeDirectory(kv::base::MapWidePath(path)); }

}  // extern "C"
