// Helpers shared by the sources of platform/base.
#include "platform/base/internal.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/trace.h"

namespace kv::base {

std::string Utf8ToAnsi(std::string_view utf8) { return kv::Utf8ToAnsi(utf8); }
std::string AnsiToUtf8(std::string_view ansi) { return kv::AnsiToUtf8(ansi); }
std::u16string Utf8ToWide(std::string_view utf8) { return kv::Utf8ToWide(utf8); }
std::string WideToUtf8(std::u16string_view wide) { return kv::WideToUtf8(wide); }

void Recorder::Add(std::string line) {
  KvTrace(area_, "%s %s", name_, line.c_str());
  std::lock_guard<std::mutex> g(lock_);
  lines_.push_back(std::move(line));
}

DWORD Recorder::Copy(char* buffer, DWORD size) {
  std::string all;
  {
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& l : lines_) all += l + "\n";
  }
  return CopyOut(all, buffer, size);
}

void Recorder::Clear() {
  std::lock_guard<std::mutex> g(lock_);
  lines_.clear();
}

std::string MapAnsiPath(const char* ansi_path) {
  if (!ansi_path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return {};
  }
  return MapUtf8Path(AnsiToUtf8(ansi_path));
}

std::string MapWidePath(const char16_t* wide_path) {
  if (!wide_path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return {};
  }
  return MapUtf8Path(WideToUtf8(wide_path));
}

template <class Char>
static DWORD CopyOutImpl(const std::basic_string<Char>& s, Char* buffer, DWORD size) {
  if (s.size() + 1 > size || !buffer) return static_cast<DWORD>(s.size() + 1);
  std::memcpy(buffer, s.data(), s.size() * sizeof(Char));
  buffer[s.size()] = 0;
  return static_cast<DWORD>(s.size());
}

DWORD CopyOut(const std::string& s, char* buffer, DWORD size) { return CopyOutImpl(s, buffer, size); }
DWORD CopyOut(const std::u16string& s, char16_t* buffer, DWORD size) { return CopyOutImpl(s, buffer, size); }

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    std::string part = path.substr(0, pos);
    if (part.empty()) continue;
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

BOOL FailErrno(int errno_value) {
  SetLastError(KvErrnoToError(errno_value));
  return FALSE;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace kv::base
