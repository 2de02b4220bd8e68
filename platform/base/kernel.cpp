// The kernel: handle table, the one lock and condition of waitable objects, waits,
// Sleep and the virtual clock.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/idle.h"
#include "platform/base/internal.h"
#include "platform/base/kobject.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"

namespace {

std::mutex g_kernel_lock;
std::condition_variable g_kernel_cv;

// Virtual clock; guarded by g_kernel_lock (g_virtual also readable without it).
std::atomic<bool> g_virtual{false};
ULONGLONG g_virtual_now = 0;
DWORD g_controller = 0;
// Changes whenever the clock is switched, so that virtual waits notice.
ULONGLONG g_clock_generation = 0;
// Threads blocked on virtual time.
DWORD g_virtual_waiters = 0;

// Counts a thread as waiting on virtual time while it lives.
class VirtualWaiter {
 public:
  VirtualWaiter() { ++g_virtual_waiters; }
  ~VirtualWaiter() { --g_virtual_waiters; }
  VirtualWaiter(const VirtualWaiter&) = delete;
  VirtualWaiter& operator=(const VirtualWaiter&) = delete;
};

// Interval at which a wait re-checks objects that change without notification.
constexpr auto kPollInterval = std::chrono::milliseconds(10);

void AdvanceLocked(ULONGLONG ms) {
  g_virtual_now += ms;
  g_kernel_cv.notify_all();
}

struct HandleTable {
  std::mutex lock;
  std::unordered_map<uintptr_t, kv::KObject*> objects;
  uintptr_t next = 1;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // lives as long as the process
  return *table;
}

constexpr size_t kMaxHandles = 1u << 20;

// Tries to satisfy the wait once; true with *result when it is.
bool TryOnce(kv::KObject* const* objects, DWORD count, bool wait_all, DWORD tid, DWORD* result) {
  if (!wait_all) {
    for (DWORD i = 0; i < count; ++i) {
      bool abandoned = false;
      if (objects[i]->TryAcquireLocked(tid, &abandoned)) {
        *result = (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
        return true;
      }
    }
    return false;
  }
  bool any_abandoned = false;
  for (DWORD i = 0; i < count; ++i) {
    bool abandoned = false;
    if (!objects[i]->TryAcquireLocked(tid, &abandoned)) {
      for (DWORD k = i; k-- > 0;) objects[k]->UndoAcquireLocked(tid);
      return false;
    }
    any_abandoned = any_abandoned || abandoned;
  }
  *result = any_abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
  return true;
}

}  // namespace

namespace kv {

BOOL KObject::Read(void*, DWORD, DWORD*, OVERLAPPED*) { return base::Fail(ERROR_INVALID_HANDLE); }
BOOL KObject::Write(const void*, DWORD, DWORD*, OVERLAPPED*) { return base::Fail(ERROR_INVALID_HANDLE); }
BOOL KObject::IoControl(DWORD, void*, DWORD, void*, DWORD, DWORD*, OVERLAPPED*) {
  return base::Fail(ERROR_NOT_SUPPORTED);
}
BOOL KObject::Seek(LONGLONG, DWORD, ULONGLONG*) { return base::Fail(ERROR_INVALID_HANDLE); }
BOOL KObject::GetSize(ULONGLONG*) { return base::Fail(ERROR_INVALID_HANDLE); }
BOOL KObject::SetEnd() { return base::Fail(ERROR_INVALID_HANDLE); }
BOOL KObject::Flush() { return base::Fail(ERROR_INVALID_HANDLE); }
BOOL KObject::Cancel() { return base::Fail(ERROR_INVALID_HANDLE); }

std::mutex& KernelLock() { return g_kernel_lock; }
void KernelNotify() { g_kernel_cv.notify_all(); }

DWORD WaitForObjects(KObject* const* objects, DWORD count, bool wait_all, DWORD ms) {
  if (!objects || count == 0 || count > MAXIMUM_WAIT_OBJECTS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (!objects[i] || !objects[i]->IsWaitable()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (wait_all) {
      for (DWORD k = 0; k < i; ++k) {
        if (objects[k] == objects[i]) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
      }
    }
  }
  const DWORD tid = GetCurrentThreadId();
  std::unique_lock<std::mutex> lk(g_kernel_lock);
  const bool virtual_wait = g_virtual.load();
  const ULONGLONG generation = g_clock_generation;
  const ULONGLONG virtual_deadline = g_virtual_now + ms;
  const auto real_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    DWORD result = 0;
    if (TryOnce(objects, count, wait_all, tid, &result)) return result;
    if (ms == 0) return WAIT_TIMEOUT;
    bool poll = false;
    for (DWORD i = 0; i < count; ++i) poll = poll || objects[i]->NeedsPollingLocked();
    if (ms == INFINITE) {
      if (poll) {
        g_kernel_cv.wait_for(lk, kPollInterval);
      } else {
        g_kernel_cv.wait(lk);
      }
      continue;
    }
    if (virtual_wait) {
      if (g_clock_generation != generation || g_virtual_now >= virtual_deadline) return WAIT_TIMEOUT;
      if (tid == g_controller) {
        // The controlling thread moves time itself: once more a check, then time-out.
        AdvanceLocked(virtual_deadline - g_virtual_now);
        continue;
      }
      VirtualWaiter counted;
      if (poll) {
        g_kernel_cv.wait_for(lk, kPollInterval);
      } else {
        g_kernel_cv.wait(lk);
      }
      continue;
    }
    auto now = std::chrono::steady_clock::now();
    if (now >= real_deadline) return WAIT_TIMEOUT;
    auto until = real_deadline;
    if (poll && now + kPollInterval < until) until = now + kPollInterval;
    g_kernel_cv.wait_until(lk, until);
  }
}

// The event of an OVERLAPPED; its lowest bit is a flag for completion ports, not part of it.
static HANDLE EventOf(const OVERLAPPED* ov) {
  return reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(ov->hEvent) & ~uintptr_t{1});
}

void OverlappedBegin(OVERLAPPED* ov) {
  if (!ov) return;
  ov->InternalHigh = 0;
  __atomic_store_n(&ov->Internal, static_cast<ULONG_PTR>(STATUS_PENDING), __ATOMIC_RELEASE);
  if (HANDLE event = EventOf(ov)) ResetEvent(event);
}

void OverlappedComplete(OVERLAPPED* ov, DWORD error, DWORD bytes) {
  if (!ov) return;
  HANDLE event = EventOf(ov);
  {
    std::lock_guard<std::mutex> lk(g_kernel_lock);
    ov->InternalHigh = bytes;
    __atomic_store_n(&ov->Internal, base::OverlappedStatus(error), __ATOMIC_RELEASE);
  }
  if (event) SetEvent(event);
  g_kernel_cv.notify_all();
}

bool OverlappedDone(const OVERLAPPED* ov) { return __atomic_load_n(&ov->Internal, __ATOMIC_ACQUIRE) != STATUS_PENDING; }

}  // namespace kv

namespace kv::base {

ULONGLONG RealTickMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000u;
}

ULONGLONG TickNowMs() {
  if (!g_virtual.load()) return RealTickMs();
  std::lock_guard<std::mutex> lk(g_kernel_lock);
  return g_virtual ? g_virtual_now : RealTickMs();
}

bool ClockIsVirtual() { return g_virtual.load(); }

bool IsClockController() {
  if (!g_virtual.load()) return false;
  std::lock_guard<std::mutex> lk(g_kernel_lock);
  return g_virtual && g_controller == GetCurrentThreadId();
}

// Waits until overlapped I/O without an event completes.
void WaitOverlappedDone(const OVERLAPPED* ov) {
  std::unique_lock<std::mutex> lk(g_kernel_lock);
  g_kernel_cv.wait(lk, [&] { return kv::OverlappedDone(ov); });
}

}  // namespace kv::base

HANDLE KvHandleInsert(kv::KObject* object) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HandleTable& t = Table();
  std::lock_guard<std::mutex> lk(t.lock);
  if (t.objects.size() >= kMaxHandles) {
    object->Release();
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  uintptr_t value = t.next++ * 4;
  t.objects.emplace(value, object);
  return reinterpret_cast<HANDLE>(value);
}

kv::KObject* KvHandleGet(HANDLE handle) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> lk(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  it->second->AddRef();
  return it->second;
}

kv::KObject* KvHandleGetKind(HANDLE handle, kv::KObjectKind kind) {
  kv::KObject* o = KvHandleGet(handle);
  if (o && o->Kind() != kind) {
    o->Release();
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return o;
}

BOOL KvHandleClose(HANDLE handle) {
  kv::KObject* o = nullptr;
  {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lk(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) return kv::base::Fail(ERROR_INVALID_HANDLE);
    o = it->second;
    t.objects.erase(it);
  }
  o->OnHandleClosed();
  o->Release();
  return TRUE;
}

extern "C" {

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds) {
  if (!handles || count == 0 || count > MAXIMUM_WAIT_OBJECTS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  kv::KObject* objects[MAXIMUM_WAIT_OBJECTS];
  for (DWORD i = 0; i < count; ++i) {
    objects[i] = KvHandleGet(handles[i]);
    if (!objects[i]) {
      for (DWORD k = 0; k < i; ++k) objects[k]->Release();
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
  DWORD r = kv::WaitForObjects(objects, count, wait_all != FALSE, milliseconds);
  DWORD error = GetLastError();
  for (DWORD i = 0; i < count; ++i) objects[i]->Release();
  SetLastError(error);
  return r;
}

BOOL CloseHandle(HANDLE handle) {
  // Closing a pseudo handle has no effect, as on the platform.
  if (handle == GetCurrentProcess() || handle == GetCurrentThread()) return TRUE;
  return KvHandleClose(handle);
}

BOOL DuplicateHandle(HANDLE source_process, HANDLE source, HANDLE target_process, HANDLE* target, DWORD, BOOL,
                     DWORD options) {
  if (source_process != GetCurrentProcess() || target_process != GetCurrentProcess())
    return kv::base::Fail(ERROR_NOT_SUPPORTED);
  kv::KObject* o = KvHandleGet(source);
  if (!o) return FALSE;
  HANDLE h = KvHandleInsert(o);
  if (!h) return FALSE;
  if (options & DUPLICATE_CLOSE_SOURCE) KvHandleClose(source);
  if (target) {
    *target = h;
  } else {
    KvHandleClose(h);
  }
  return TRUE;
}

void Sleep(DWORD ms) {
  // Live idle work (transfers) is driven for the whole span; each round moves a
  // controlled virtual clock by the real time it took.
  if (ms != 0 && ms != INFINITE) {
    DWORD left = ms, waited = 0;
    while (left > 0 && KvIdleWait(left, &waited)) left -= std::min(left, waited);
    if (left == 0) return;
    ms = left;
  }
  if (!g_virtual.load()) {
    if (ms == 0) {
      std::this_thread::yield();
    } else if (ms == INFINITE) {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    return;
  }
  std::unique_lock<std::mutex> lk(g_kernel_lock);
  if (!g_virtual) {
    lk.unlock();
    Sleep(ms);
    return;
  }
  if (ms == 0) {
    lk.unlock();
    std::this_thread::yield();
    return;
  }
  if (GetCurrentThreadId() == g_controller && ms != INFINITE) {
    AdvanceLocked(ms);
    lk.unlock();
    std::this_thread::yield();
    return;
  }
  const ULONGLONG generation = g_clock_generation;
  const ULONGLONG deadline = g_virtual_now + ms;
  VirtualWaiter counted;
  g_kernel_cv.wait(lk,
                   [&] { return ms != INFINITE && (g_clock_generation != generation || g_virtual_now >= deadline); });
}

void KvClockSetVirtual(BOOL on) {
  std::lock_guard<std::mutex> lk(g_kernel_lock);
  if (on) {
    if (!g_virtual) {
      g_virtual_now = 0;
      ++g_clock_generation;
      g_virtual = true;
    }
    g_controller = GetCurrentThreadId();
  } else if (g_virtual) {
    g_virtual = false;
    g_controller = 0;
    ++g_clock_generation;
  }
  g_kernel_cv.notify_all();
}

void KvClockAdvance(DWORD ms) {
  std::lock_guard<std::mutex> lk(g_kernel_lock);
  if (g_virtual) AdvanceLocked(ms);
}

BOOL KvClockIsVirtual(void) { return g_virtual.load() ? TRUE : FALSE; }

DWORD KvClockNow(void) { return static_cast<DWORD>(kv::base::TickNowMs()); }

DWORD KvClockWaiterCount(void) {
  std::lock_guard<std::mutex> lk(g_kernel_lock);
  return g_virtual_waiters;
}

}  // extern "C"
