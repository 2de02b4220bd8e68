#include "platform/base/time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/base/error.h"
#include "platform/base/sync.h"

namespace {

class VirtualClock {
 public:
  VirtualClock() { KvClockSetVirtual(TRUE); }
  ~VirtualClock() { KvClockSetVirtual(FALSE); }
};

// Spins until `n` threads block on virtual time (they then hold their deadlines).
void AwaitWaiters(DWORD n) {
  while (KvClockWaiterCount() < n) std::this_thread::yield();
}

TEST(BaseVirtualClock, TicksMoveOnlyWhenAdvanced) {
  VirtualClock clock;
  EXPECT_TRUE(KvClockIsVirtual());
  EXPECT_EQ(GetTickCount(), 0u);
  KvClockAdvance(1234);
  EXPECT_EQ(GetTickCount(), 1234u);
  EXPECT_EQ(timeGetTime(), 1234u);
  EXPECT_EQ(GetTickCount64(), 1234u);
  EXPECT_EQ(KvClockNow(), 1234u);
  LARGE_INTEGER f, c;
  ASSERT_TRUE(QueryPerformanceFrequency(&f));
  ASSERT_TRUE(QueryPerformanceCounter(&c));
  EXPECT_EQ(c.QuadPart / (f.QuadPart / 1000), 1234);
}

TEST(BaseVirtualClock, TickCountWrapsButDifferencesHold) {
  VirtualClock clock;
  KvClockAdvance(0xFFFFFFF0u);
  const DWORD before = GetTickCount();
  const ULONGLONG before64 = GetTickCount64();
  KvClockAdvance(0x20);
  const DWORD after = GetTickCount();
  EXPECT_LT(after, before);  // wrapped
  EXPECT_EQ(static_cast<DWORD>(after - before), 0x20u);
  EXPECT_EQ(GetTickCount64() - before64, 0x20u);
  EXPECT_GT(GetTickCount64(), 0xFFFFFFFFull);
}

TEST(BaseVirtualClock, SleepOnTheControllingThreadAdvancesTime) {
  VirtualClock clock;
  Sleep(250);
  Sleep(0);
  EXPECT_EQ(GetTickCount(), 250u);
}

TEST(BaseVirtualClock, AWaitingThreadWakesWhenTimePassesItsDeadline) {
  VirtualClock clock;
  std::atomic<bool> woke{false};
  DWORD woke_at = 0;
  std::thread sleeper([&] {
    Sleep(500);
    woke_at = GetTickCount();
    woke = true;
  });
  AwaitWaiters(1);
  KvClockAdvance(499);
  EXPECT_FALSE(woke.load());
  KvClockAdvance(1);
  sleeper.join();
  EXPECT_EQ(woke_at, 500u);

  HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD result = 0;
  std::thread waiter([&] { result = WaitForSingleObject(ev, 1000); });
  AwaitWaiters(1);
  KvClockAdvance(1000);
  waiter.join();
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));

  std::thread signalled([&] { result = WaitForSingleObject(ev, 1000); });
  AwaitWaiters(1);
  SetEvent(ev);  // no time passes: the wait ends because the object is signalled
  signalled.join();
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(GetTickCount(), 1500u);
  CloseHandle(ev);
}

TEST(BaseVirtualClock, SwitchingOffEndsVirtualWaits) {
  KvClockSetVirtual(TRUE);
  DWORD result = 0;
  HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::thread waiter([&] { result = WaitForSingleObject(ev, 100000); });
  AwaitWaiters(1);
  KvClockSetVirtual(FALSE);
  waiter.join();
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(KvClockIsVirtual());
  CloseHandle(ev);
}

TEST(BaseRealClock, TicksAreSteady) {
  ASSERT_FALSE(KvClockIsVirtual());
  ULONGLONG a = GetTickCount64();
  ULONGLONG b = GetTickCount64();
  EXPECT_LE(a, b);
  LARGE_INTEGER c1, c2;
  QueryPerformanceCounter(&c1);
  QueryPerformanceCounter(&c2);
  EXPECT_LE(c1.QuadPart, c2.QuadPart);
}

TEST(BaseCalendarTime, FileTimeAndSystemTimeConvert) {
  struct Case {
    SYSTEMTIME st;
    ULONGLONG ft;
  } cases[] = {
      {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ull},
      {{2000, 2, 2, 29, 12, 34, 56, 789}, 125963012967890000ull},
      {{2026, 12, 4, 10, 9, 0, 0, 0}, 134413668000000000ull},
  };
  for (const auto& c : cases) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft));
    EXPECT_EQ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, c.ft);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, c.st.wYear);
    EXPECT_EQ(back.wMonth, c.st.wMonth);
    EXPECT_EQ(back.wDay, c.st.wDay);
    EXPECT_EQ(back.wDayOfWeek, c.st.wDayOfWeek);
    EXPECT_EQ(back.wHour, c.st.wHour);
    EXPECT_EQ(back.wMinute, c.st.wMinute);
    EXPECT_EQ(back.wSecond, c.st.wSecond);
    EXPECT_EQ(back.wMilliseconds, c.st.wMilliseconds);
  }
  SYSTEMTIME bad[] = {{2001, 2, 0, 29, 0, 0, 0, 0},
                      {1600, 1, 0, 1, 0, 0, 0, 0},
                      {2000, 13, 0, 1, 0, 0, 0, 0},
                      {2000, 1, 0, 1, 24, 0, 0, 0},
                      {2000, 1, 0, 1, 0, 0, 0, 1000}};
  for (const auto& st : bad) {
    FILETIME ft;
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  FILETIME huge{0, 0x80000000u};
  SYSTEMTIME st;
  EXPECT_FALSE(FileTimeToSystemTime(&huge, &st));
}

TEST(BaseCalendarTime, LocalTimeFollowsTheZoneBias) {
  TIME_ZONE_INFORMATION tz;
  DWORD id = GetTimeZoneInformation(&tz);
  ASSERT_NE(id, TIME_ZONE_ID_INVALID);
  LONG bias = tz.Bias + (id == TIME_ZONE_ID_DAYLIGHT ? tz.DaylightBias : 0);
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  auto v = [](const FILETIME& f) {
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
  };
  EXPECT_EQ(v(local) - v(utc), -static_cast<LONGLONG>(bias) * 60 * 10000000);
  FILETIME round;
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &round));
  EXPECT_EQ(v(round), v(utc));
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_GE(now.wYear, 2024);
}

}  // namespace
