// Helpers shared by the sources of platform/base (not installed for other areas).
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/file.h"
#include "platform/base/types.h"

namespace kv::base {

// File-system (UTF-8) form of a path given in the ANSI code page / in UTF-16, mapped as
// KvMapPath maps. Empty with the last error set on failure.
std::string MapAnsiPath(const char* ansi_path);
std::string MapWidePath(const char16_t* wide_path);
// Maps a path already in UTF-8.
std::string MapUtf8Path(std::string_view utf8_path);

// Text conversions between the file system's UTF-8 and the program's strings.
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
std::u16string Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::u16string_view wide);

// Copies `s` and a terminator into `buffer` under the platform's length rules: returns
// the length without the terminator, or the size needed (terminator included) when
// `size` is too small (nothing written then).
DWORD CopyOut(const std::string& s, char* buffer, DWORD size);
DWORD CopyOut(const std::u16string& s, char16_t* buffer, DWORD size);

// A recorder of the test-facing side: lines in order, each also traced live under the
// area's name.
class Recorder {
 public:
  Recorder(const char* area, const char* name) : area_(area), name_(name) {}
  void Add(std::string line);
  DWORD Copy(char* buffer, DWORD size);  // as GetModuleFileName copies
  void Clear();

 private:
  const char* area_;
  const char* name_;
  std::mutex lock_;
  std::vector<std::string> lines_;
};

// Creates a folder and its missing parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Reads an environment variable ("" when unset).
std::string Env(const char* name);

char LowerAscii(char c);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Sets the last error from errno and returns FALSE.
BOOL FailErrno(int errno_value);
// Sets the last error and returns FALSE.
BOOL Fail(DWORD error);

}  // namespace kv::base

namespace kv::base {

// Milliseconds of the steady clock (real time, never virtual).
ULONGLONG RealTickMs();
// The tick count of the clock in use (virtual or real).
ULONGLONG TickNowMs();
// The lock-free view of "is the virtual clock on".
bool ClockIsVirtual();
// True while the virtual clock is on and the calling thread controls it.
bool IsClockController();
// OVERLAPPED.Internal of a finished operation with this error code, and back. A failure
// is kept with the high "error" bits of a status so that no code reads as STATUS_PENDING.
inline ULONG_PTR OverlappedStatus(DWORD error) { return error ? (0xE0000000u | error) : 0; }
inline DWORD OverlappedError(ULONG_PTR status) { return static_cast<DWORD>(status & 0x1FFFFFFFu); }
// Blocks until an overlapped operation has completed (for OVERLAPPEDs without an event).
void WaitOverlappedDone(const OVERLAPPED* overlapped);

}  // namespace kv::base
