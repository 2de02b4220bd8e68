// Arithmetic, command line, environment, names, string helpers, local memory and the
// program's folder.
#include "platform/base/system.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/internal.h"

namespace {

// One argument quoted as the platform's command-line parser reads it back.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string CommandLineUtf8() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string line;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    if (!line.empty()) line += ' ';
    line += QuoteArgument(raw.substr(start, end - start));
    start = end + 1;
  }
  return line;
}

std::string ExecutablePathUtf8() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<size_t>(n));
}

}  // namespace

extern "C" {

INT MulDiv(INT number, INT numerator, INT denominator) {
  if (denominator == 0) return -1;
  const LONGLONG product = static_cast<LONGLONG>(number) * numerator;
  LONGLONG q = product / denominator;
  LONGLONG r = product % denominator;
  // Round half away from zero: compare twice the remainder with the divisor.
  const LONGLONG abs_r = r < 0 ? -r : r;
  const LONGLONG abs_d = denominator < 0 ? -static_cast<LONGLONG>(denominator) : denominator;
  if (abs_r * 2 >= abs_d) q += ((product < 0) != (denominator < 0)) ? -1 : 1;
  if (q > 0x7FFFFFFF || q < -0x7FFFFFFFLL - 1) return -1;
  return static_cast<INT>(q);
}

LPSTR GetCommandLineA(void) {
  static std::string* line = new std::string(kv::base::Utf8ToAnsi(CommandLineUtf8()));
  return line->data();
}

LPWSTR GetCommandLineW(void) {
  static std::u16string* line = new std::u16string(kv::base::Utf8ToWide(CommandLineUtf8()));
  return line->data();
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* v = std::getenv(kv::base::AnsiToUtf8(name).c_str());
  if (!v) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  return kv::base::CopyOut(kv::base::Utf8ToAnsi(v), buffer, size);
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* v = std::getenv(kv::base::WideToUtf8(name).c_str());
  if (!v) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  return kv::base::CopyOut(kv::base::Utf8ToWide(v), buffer, size);
}

static BOOL SetEnvUtf8(const std::string& name, const char* value) {
  if (name.empty() || name.find('=') != std::string::npos) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  int r = value ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
  return r == 0 ? TRUE : kv::base::FailErrno(errno);
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
  if (!name) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  std::string v = value ? kv::base::AnsiToUtf8(value) : std::string();
  return SetEnvUtf8(kv::base::AnsiToUtf8(name), value ? v.c_str() : nullptr);
}

BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value) {
  if (!name) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  std::string v = value ? kv::base::WideToUtf8(value) : std::string();
  return SetEnvUtf8(kv::base::WideToUtf8(name), value ? v.c_str() : nullptr);
}

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
  if (!size) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return kv::base::FailErrno(errno);
  std::string name(host);
  if (size_t dot = name.find('.'); dot != std::string::npos) name.resize(dot);
  if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  if (!buffer || *size < name.size() + 1) {
    *size = static_cast<DWORD>(name.size() + 1);
    return kv::base::Fail(ERROR_BUFFER_OVERFLOW);
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

BOOL GetUserNameA(LPSTR buffer, LPDWORD size) {
  if (!size) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  std::string name;
  passwd pw;
  passwd* found = nullptr;
  char storage[4096];
  if (getpwuid_r(getuid(), &pw, storage, sizeof storage, &found) == 0 && found) name = found->pw_name;
  if (name.empty()) name = kv::base::Env("USER");
  if (name.empty()) return kv::base::Fail(ERROR_NOT_FOUND);
  name = kv::base::Utf8ToAnsi(name);
  if (!buffer || *size < name.size() + 1) {
    *size = static_cast<DWORD>(name.size() + 1);
    return kv::base::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size() + 1);
  return TRUE;
}

int lstrlenA(LPCSTR s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

int lstrlenW(LPCWSTR s) {
  if (!s) return 0;
  int n = 0;
  while (s[n]) ++n;
  return n;
}

LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max) {
  if (!dst || !src || max <= 0) return nullptr;
  int i = 0;
  for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = '\0';
  return dst;
}

int lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a) a = "";
  if (!b) b = "";
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(kv::base::LowerAscii(*a));
    unsigned char cb = static_cast<unsigned char>(kv::base::LowerAscii(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

int lstrcmpA(LPCSTR a, LPCSTR b) {
  if (!a) a = "";
  if (!b) b = "";
  int r = std::strcmp(a, b);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  if (flags & ~static_cast<UINT>(LPTR)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* p = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

const char* KvProgramDirectory(void) {
  static std::string* dir = [] {
    std::string exe = ExecutablePathUtf8();
    size_t slash = exe.rfind('/');
    std::string folder = slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
    return new std::string(kv::base::Utf8ToAnsi(folder));
  }();
  return dir->c_str();
}

}  // extern "C"
