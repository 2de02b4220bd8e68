// Timers: SetTimer and KillTimer over the thread's queue; the message loop makes their
// WM_TIMER messages.
#include <algorithm>
#include <mutex>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/user/internal.h"
#include "platform/user/queue.h"

namespace kv::user {

void KillWindowTimers(HWND hwnd) {
  Queue& q = MyQueue();
  std::lock_guard<std::mutex> g(q.m);
  q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                 q.timers.end());
  q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
                 q.posted.end());
}

DWORD CurrentTime() { return KvClockNow(); }

}  // namespace kv::user

using namespace kv::user;

extern "C" {

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (hwnd) {
    auto w = Get(hwnd);
    if (!w) return 0;
    if (w->tid != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  Queue& q = MyQueue();
  std::lock_guard<std::mutex> g(q.m);
  if (!hwnd) {
    // A new identifier for a timer without a window.
    UINT_PTR nid = 0x7FFF;
    for (;;) {
      bool used = false;
      for (auto& t : q.timers)
        if (!t.hwnd && t.id == nid) used = true;
      if (!used) break;
      ++nid;
    }
    if (id) {
      for (auto& t : q.timers)
        if (!t.hwnd && t.id == id) {
          t.elapse = elapse;
          t.proc = proc;
          t.due = KvClockNow() + elapse;
          return id;
        }
    }
    q.timers.push_back(Timer{nullptr, nid, elapse, proc, KvClockNow() + elapse});
    return nid;
  }
  for (auto& t : q.timers)
    if (t.hwnd == hwnd && t.id == id) {
      t.elapse = elapse;
      t.proc = proc;
      t.due = KvClockNow() + elapse;
      return id ? id : 1;
    }
  q.timers.push_back(Timer{hwnd, id, elapse, proc, KvClockNow() + elapse});
  return id ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  Queue& q = MyQueue();
  std::lock_guard<std::mutex> g(q.m);
  auto it =
      std::find_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == q.timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  q.timers.erase(it);
  // A WM_TIMER already posted for it is dropped too.
  q.posted.erase(
      std::remove_if(q.posted.begin(), q.posted.end(),
                     [&](const MSG& m) { return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id; }),
      q.posted.end());
  return TRUE;
}

}  // extern "C"
