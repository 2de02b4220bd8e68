// Tick counts, the performance counter and calendar times.
#include "platform/base/time.h"

#include <time.h>

#include <cstring>

#include "platform/base/error.h"
#include "platform/base/internal.h"

namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr ULONGLONG kEpochDelta = 116444736000000000ull;
constexpr ULONGLONG kTicksPerMs = 10000ull;
constexpr ULONGLONG kTicksPerDay = 864000000000ull;

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
LONGLONG DaysFromCivil(LONGLONG y, unsigned m, unsigned d) {
  y -= m <= 2;
  const LONGLONG era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<LONGLONG>(doe) - 719468;
}

void CivilFromDays(LONGLONG z, LONGLONG* y, unsigned* m, unsigned* d) {
  z += 719468;
  const LONGLONG era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<LONGLONG>(yoe) + era * 400 + (*m <= 2);
}

bool IsLeap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

ULONGLONG ToU64(const FILETIME& ft) { return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

void FromU64(ULONGLONG v, FILETIME* ft) {
  ft->dwLowDateTime = static_cast<DWORD>(v);
  ft->dwHighDateTime = static_cast<DWORD>(v >> 32);
}

ULONGLONG NowFileTime() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return kEpochDelta + static_cast<ULONGLONG>(ts.tv_sec) * 10000000ull + static_cast<ULONGLONG>(ts.tv_nsec) / 100u;
}

// Seconds east of UTC of the local zone now.
long LocalOffsetSeconds() {
  time_t now = time(nullptr);
  tm local;
  localtime_r(&now, &local);
  return local.tm_gmtoff;
}

void FillSystemTime(ULONGLONG ft, SYSTEMTIME* st) {
  const LONGLONG days = static_cast<LONGLONG>(ft / kTicksPerDay);
  ULONGLONG rest = ft % kTicksPerDay;
  LONGLONG y;
  unsigned m, d;
  CivilFromDays(days + DaysFromCivil(1601, 1, 1), &y, &m, &d);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  st->wHour = static_cast<WORD>(rest / (3600 * 10000000ull));
  rest %= 3600 * 10000000ull;
  st->wMinute = static_cast<WORD>(rest / (60 * 10000000ull));
  rest %= 60 * 10000000ull;
  st->wSecond = static_cast<WORD>(rest / 10000000ull);
  rest %= 10000000ull;
  st->wMilliseconds = static_cast<WORD>(rest / kTicksPerMs);
}

void CopyName(const char* src, WCHAR* dst) {
  std::u16string w = src ? kv::base::Utf8ToWide(src) : std::u16string();
  size_t n = w.size() < 31 ? w.size() : 31;
  std::memcpy(dst, w.data(), n * sizeof(WCHAR));
  dst[n] = 0;
}

}  // namespace

extern "C" {

ULONGLONG GetTickCount64(void) { return kv::base::TickNowMs(); }
DWORD GetTickCount(void) { return static_cast<DWORD>(kv::base::TickNowMs()); }
DWORD timeGetTime(void) { return static_cast<DWORD>(kv::base::TickNowMs()); }

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) return kv::base::Fail(ERROR_NOACCESS);
  frequency->QuadPart = 1000000000;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!count) return kv::base::Fail(ERROR_NOACCESS);
  if (kv::base::ClockIsVirtual()) {
    count->QuadPart = static_cast<LONGLONG>(kv::base::TickNowMs() * 1000000ull);
    return TRUE;
  }
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  count->QuadPart = static_cast<LONGLONG>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  return TRUE;
}

void GetSystemTimeAsFileTime(LPFILETIME file_time) {
  if (file_time) FromU64(NowFileTime(), file_time);
}

void GetSystemTime(LPSYSTEMTIME st) {
  if (st) FillSystemTime(NowFileTime(), st);
}

void GetLocalTime(LPSYSTEMTIME st) {
  if (!st) return;
  LONGLONG local = static_cast<LONGLONG>(NowFileTime()) + static_cast<LONGLONG>(LocalOffsetSeconds()) * 10000000;
  FillSystemTime(static_cast<ULONGLONG>(local), st);
}

BOOL FileTimeToSystemTime(const FILETIME* file_time, LPSYSTEMTIME st) {
  if (!file_time || !st) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  ULONGLONG v = ToU64(*file_time);
  if (v >= 0x8000000000000000ull) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  FillSystemTime(v, st);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME file_time) {
  if (!st || !file_time) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
      st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 ||
      st->wMilliseconds > 999)
    return kv::base::Fail(ERROR_INVALID_PARAMETER);
  LONGLONG days = DaysFromCivil(st->wYear, st->wMonth, st->wDay) - DaysFromCivil(1601, 1, 1);
  ULONGLONG v = static_cast<ULONGLONG>(days) * kTicksPerDay +
                ((st->wHour * 60ull + st->wMinute) * 60ull + st->wSecond) * 10000000ull +
                st->wMilliseconds * kTicksPerMs;
  FromU64(v, file_time);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_file_time) {
  if (!file_time || !local_file_time) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  LONGLONG v = static_cast<LONGLONG>(ToU64(*file_time)) + static_cast<LONGLONG>(LocalOffsetSeconds()) * 10000000;
  FromU64(static_cast<ULONGLONG>(v), local_file_time);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local_file_time, LPFILETIME file_time) {
  if (!file_time || !local_file_time) return kv::base::Fail(ERROR_INVALID_PARAMETER);
  LONGLONG v = static_cast<LONGLONG>(ToU64(*local_file_time)) - static_cast<LONGLONG>(LocalOffsetSeconds()) * 10000000;
  FromU64(static_cast<ULONGLONG>(v), file_time);
  return TRUE;
}

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  std::memset(info, 0, sizeof *info);
  tzset();
  time_t now = time(nullptr);
  tm local;
  localtime_r(&now, &local);
  // The standard offset: the current one, less the hour of summer time when it is on.
  long standard_east = local.tm_gmtoff - (local.tm_isdst > 0 ? 3600 : 0);
  info->Bias = static_cast<LONG>(-standard_east / 60);
  info->StandardBias = 0;
  info->DaylightBias = daylight ? -60 : 0;
  CopyName(tzname[0], info->StandardName);
  CopyName(daylight ? tzname[1] : tzname[0], info->DaylightName);
  if (!daylight) return TIME_ZONE_ID_UNKNOWN;
  return local.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

}  // extern "C"
