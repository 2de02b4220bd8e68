#include "platform/base/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "child_process.h"
#include "platform/base/error.h"
#include "platform/base/time.h"
#include "testsupport/temp_home.h"

namespace {

constexpr DWORD kObject0 = WAIT_OBJECT_0;
constexpr DWORD kTimeout = WAIT_TIMEOUT;

// Timed waits run on the virtual clock, so time-outs cost no wall time.
class VirtualClock {
 public:
  VirtualClock() { KvClockSetVirtual(TRUE); }
  ~VirtualClock() { KvClockSetVirtual(FALSE); }
};

TEST(BaseEvents, AutoAndManualResetWithTimeouts) {
  VirtualClock clock;
  HANDLE autoev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(autoev, nullptr);
  ASSERT_NE(manual, nullptr);
  EXPECT_NE(autoev, INVALID_HANDLE_VALUE);

  EXPECT_EQ(WaitForSingleObject(autoev, 0), kTimeout);
  const DWORD t0 = KvClockNow();
  EXPECT_EQ(WaitForSingleObject(autoev, 250), kTimeout);
  EXPECT_EQ(KvClockNow() - t0, 250u);  // the wait spent exactly its time-out
  ASSERT_TRUE(SetEvent(autoev));
  EXPECT_EQ(WaitForSingleObject(autoev, 1000), kObject0);
  EXPECT_EQ(KvClockNow() - t0, 250u);                   // a signalled object returns at once
  EXPECT_EQ(WaitForSingleObject(autoev, 0), kTimeout);  // consumed

  EXPECT_EQ(WaitForSingleObject(manual, 0), kObject0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), kObject0);  // stays signalled
  ASSERT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 10), kTimeout);

  EXPECT_TRUE(CloseHandle(autoev));
  EXPECT_TRUE(CloseHandle(manual));
  EXPECT_FALSE(SetEvent(autoev));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(BaseEvents, WaitForManyAnyAndAll) {
  VirtualClock clock;
  HANDLE a = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE b = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE c = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE hs[] = {a, b, c};
  SetEvent(b);
  SetEvent(c);
  EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), kObject0 + 1);  // lowest signalled
  EXPECT_EQ(WaitForMultipleObjects(3, hs, FALSE, 0), kObject0 + 2);

  // Wait-all with one object not ready takes nothing from the others.
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(3, hs, TRUE, 40), kTimeout);
  EXPECT_EQ(WaitForSingleObject(b, 0), kObject0);
  SetEvent(a);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(3, hs, TRUE, 0), kObject0);
  EXPECT_EQ(WaitForSingleObject(a, 0), kTimeout);
  EXPECT_EQ(WaitForSingleObject(c, 0), kObject0);

  HANDLE dup[] = {a, a};
  EXPECT_EQ(WaitForMultipleObjects(2, dup, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForMultipleObjects(0, hs, FALSE, 0), WAIT_FAILED);
  HANDLE bad[] = {a, reinterpret_cast<HANDLE>(0x777)};
  EXPECT_EQ(WaitForMultipleObjects(2, bad, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 0), WAIT_FAILED);
  for (HANDLE h : hs) CloseHandle(h);
}

TEST(BaseEvents, NamedEventsAndNameClashes) {
  kvtest::TempHome home;
  HANDLE e1 = CreateEventA(nullptr, TRUE, FALSE, "KvBaseEvent");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE e2 = CreateEventW(nullptr, FALSE, TRUE, u"KvBaseEvent");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_NE(e2, nullptr);
  EXPECT_NE(e1, e2);
  SetEvent(e1);
  HANDLE e3 = OpenEventA(EVENT_ALL_ACCESS, FALSE, "KvBaseEvent");
  EXPECT_EQ(WaitForSingleObject(e3, 0), kObject0);  // one object behind all three
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, "KvBaseEvent"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  for (HANDLE h : {e1, e2, e3}) CloseHandle(h);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "KvBaseEvent"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(BaseEvents, DuplicatedHandlesShareTheObject) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE d = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), e, GetCurrentProcess(), &d, 0, FALSE, DUPLICATE_SAME_ACCESS));
  CloseHandle(e);
  ASSERT_TRUE(SetEvent(d));
  EXPECT_EQ(WaitForSingleObject(d, 0), kObject0);
  CloseHandle(d);
}

TEST(BaseMutexes, RecursiveOwnershipWithinTheProcess) {
  VirtualClock clock;
  HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), kObject0);  // recursion
  DWORD other_wait = 0;
  BOOL other_release = TRUE;
  std::thread([&] {
    other_wait = WaitForSingleObject(m, 0);
    other_release = ReleaseMutex(m);
  }).join();
  EXPECT_EQ(other_wait, kTimeout);
  EXPECT_FALSE(other_release);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  std::thread([&] {
    other_wait = WaitForSingleObject(m, 0);
    ReleaseMutex(m);
  }).join();
  EXPECT_EQ(other_wait, kObject0);
  CloseHandle(m);
}

TEST(BaseMutexes, NamedMutexReportsAnotherProcessAndDiesWithIt) {
  kvtest::TempHome home;
  kvtest::ChildProcess first({"hold-mutex", "OnlyOne"});
  ASSERT_EQ(first.ReadLine(), "0");
  {
    kvtest::ChildProcess second({"try-mutex", "OnlyOne"});
    EXPECT_EQ(second.ReadLine(), "183");
    EXPECT_EQ(second.Wait(), 0);  // let it end by itself before the next step
  }
  HANDLE mine = CreateMutexA(nullptr, FALSE, "OnlyOne");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "OnlyOne");
  EXPECT_NE(opened, nullptr);
  CloseHandle(opened);
  CloseHandle(mine);

  first.Kill();  // SIGKILL: no chance to clean up
  kvtest::ChildProcess third({"try-mutex", "OnlyOne"});
  EXPECT_EQ(third.ReadLine(), "0");
  EXPECT_EQ(third.Wait(), 0);
  EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "OnlyOne"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(BaseMutexes, NamedMutexInThisProcess) {
  kvtest::TempHome home;
  HANDLE a = CreateMutexA(nullptr, FALSE, "KvBaseLocal");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE b = CreateMutexA(nullptr, FALSE, "KvBaseLocal");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  {
    kvtest::ChildProcess other({"try-mutex", "KvBaseLocal"});
    EXPECT_EQ(other.ReadLine(), "183");
    EXPECT_EQ(other.Wait(), 0);
  }
  HANDLE c = CreateMutexA(nullptr, FALSE, "Local\\KvBaseLocal");  // one name space
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  for (HANDLE h : {a, b, c}) CloseHandle(h);
  HANDLE d = CreateMutexA(nullptr, FALSE, "KvBaseLocal");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));  // gone with the last handle
  CloseHandle(d);
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, "bad\\name"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST(BaseMutexes, OwnershipPassesWhenTheOwningProcessIsKilled) {
  kvtest::TempHome home;
  kvtest::ChildProcess owner({"own-mutex", "KvBaseOwned"});
  ASSERT_EQ(owner.ReadLine(), "0");
  HANDLE m = CreateMutexA(nullptr, TRUE, "KvBaseOwned");  // existed: not owned by us
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WaitForSingleObject(m, 0), kTimeout);
  EXPECT_FALSE(ReleaseMutex(m));
  owner.Kill();
  EXPECT_EQ(WaitForSingleObject(m, 60000), kObject0);  // bound for a broken build only
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
}

TEST(BaseCriticalSections, RecursiveAndExclusive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  EXPECT_EQ(cs.RecursionCount, 2);
  BOOL other = TRUE;
  std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(other);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  std::thread([&] {
    other = TryEnterCriticalSection(&cs);
    if (other) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_TRUE(other);

  LONG counter = 0;
  std::thread workers[4];
  for (auto& w : workers) {
    w = std::thread([&] {
      for (int i = 0; i < 1000; ++i) {
        EnterCriticalSection(&cs);
        LONG v = counter;
        counter = v + 1;
        LeaveCriticalSection(&cs);
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(counter, 4000);
  DeleteCriticalSection(&cs);
}

TEST(BaseInterlocked, ReturnValues) {
  LONG v = 5;
  EXPECT_EQ(InterlockedIncrement(&v), 6);
  EXPECT_EQ(InterlockedDecrement(&v), 5);
  EXPECT_EQ(InterlockedExchange(&v, 9), 5);
  EXPECT_EQ(InterlockedExchangeAdd(&v, 3), 9);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 0), 12);  // no match: unchanged
  EXPECT_EQ(v, 12);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 12), 12);
  EXPECT_EQ(v, 1);
  int x = 0, y = 0;
  void* p = &x;
  EXPECT_EQ(InterlockedCompareExchangePointer(&p, &y, &x), &x);
  EXPECT_EQ(p, &y);
  EXPECT_EQ(InterlockedExchangePointer(&p, nullptr), &y);
}

TEST(BaseIdentities, ThreadsAndProcess) {
  DWORD here = GetCurrentThreadId();
  DWORD there = 0;
  std::thread([&] { there = GetCurrentThreadId(); }).join();
  EXPECT_NE(here, there);
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));  // no effect
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_FAILED);
}

}  // namespace
