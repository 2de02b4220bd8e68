// Tick counts, the performance counter, Sleep, calendar times and the virtual clock.
//
// Virtual clock (for tests): while it is on, GetTickCount/GetTickCount64/timeGetTime/
// QueryPerformanceCounter read virtual time, which starts at 0 when the clock is switched
// on and moves only through KvClockAdvance. Sleep and timed waits then end when virtual
// time passes their deadline (advancing wakes every waiting thread); a wait whose object
// becomes signalled returns at once. The thread that switched the clock on is the
// controller: its own Sleep(n) and its timed waits that cannot be satisfied at once
// advance virtual time to their deadline themselves, so a single-threaded test never
// hangs (switching it on again makes the calling thread the controller, keeping the
// time). Its INFINITE waits still block until an object is signalled. Switching the clock
// off ends pending virtual waits as timed out. Calendar times (GetSystemTime ...) stay real.
#pragma once

#include "platform/base/types.h"

extern "C" {

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

// 100-nanosecond intervals since 1601-01-01 UTC.
typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _TIME_ZONE_INFORMATION {
  LONG Bias;  // minutes: UTC = local time + Bias
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
} TIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;

#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2
#define TIME_ZONE_ID_INVALID 0xFFFFFFFF

// Milliseconds since an arbitrary start (a steady clock); the 32-bit forms wrap.
DWORD GetTickCount(void);
ULONGLONG GetTickCount64(void);
DWORD timeGetTime(void);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
void Sleep(DWORD milliseconds);

void GetSystemTime(LPSYSTEMTIME system_time);
void GetLocalTime(LPSYSTEMTIME local_time);
void GetSystemTimeAsFileTime(LPFILETIME file_time);
// FALSE with ERROR_INVALID_PARAMETER for out-of-range values.
BOOL FileTimeToSystemTime(const FILETIME* file_time, LPSYSTEMTIME system_time);
BOOL SystemTimeToFileTime(const SYSTEMTIME* system_time, LPFILETIME file_time);
// Uses the local zone's current offset from UTC, as the platform does.
BOOL FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_file_time);
BOOL LocalFileTimeToFileTime(const FILETIME* local_file_time, LPFILETIME file_time);
// From the C library's local zone. Transition dates are not filled in (wMonth 0).
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info);

// Virtual clock (see above).
void KvClockSetVirtual(BOOL on);
// Moves virtual time on (no effect while the clock is real).
void KvClockAdvance(DWORD milliseconds);
BOOL KvClockIsVirtual(void);
// The current tick count (virtual or real).
DWORD KvClockNow(void);
// Threads now blocked in a timed wait or Sleep on virtual time (lets a test advance the
// clock only once a worker is really waiting).
DWORD KvClockWaiterCount(void);

}  // extern "C"
