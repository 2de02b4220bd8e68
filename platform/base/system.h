// Miscellaneous platform services: arithmetic, command line, environment, machine and
// user names, string helpers, local memory and the program's folder.
#pragma once

#include "platform/base/types.h"

extern "C" {

// a * b / c with a 64-bit intermediate, rounded half away from zero; -1 when c is 0 or
// the result does not fit in 32 bits.
INT MulDiv(INT number, INT numerator, INT denominator);

// The process's command line as the platform shows it: the arguments of
// /proc/self/cmdline joined by spaces, each one quoted when it contains a space, a tab
// or a quote, or is empty. Stable for the life of the process.
LPSTR GetCommandLineA(void);
LPWSTR GetCommandLineW(void);

// Returns the length without the terminator; when `size` is too small, the size needed
// (terminator included); 0 with ERROR_ENVVAR_NOT_FOUND for a missing variable.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
// A null value removes the variable.
BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value);
BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value);

#define MAX_COMPUTERNAME_LENGTH 15
// The host name in capitals, at most 15 characters. *size: in, the buffer size; out, the
// length without the terminator (or the size needed, with ERROR_BUFFER_OVERFLOW).
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);
// The login name. *size: out, the length WITH the terminator (or the size needed, with
// ERROR_INSUFFICIENT_BUFFER), as the platform does.
BOOL GetUserNameA(LPSTR buffer, LPDWORD size);

// A null string has length 0.
int lstrlenA(LPCSTR s);
int lstrlenW(LPCWSTR s);
// Copies at most `max - 1` characters and the terminator; returns `dst` (NULL when max
// is not positive or a pointer is null).
LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max);
// Compares without letter case (ASCII letters; other bytes by value): <0, 0, >0.
int lstrcmpiA(LPCSTR a, LPCSTR b);
int lstrcmpA(LPCSTR a, LPCSTR b);

// Local memory (what FormatMessage's allocated text is freed with).
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
typedef HANDLE HLOCAL;
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// Returns NULL on success, as the platform does.
HLOCAL LocalFree(HLOCAL memory);

// The executable's folder, ending in "/" (in the ANSI code page).
const char* KvProgramDirectory(void);

}  // extern "C"
