// Sending: delivery on the window's thread, sends across threads and the Send* calls.
#include <algorithm>
#include <chrono>
#include <mutex>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/user/internal.h"
#include "platform/user/queue.h"

namespace kv::user {

DWORD& SendDepth() {
  thread_local DWORD depth = 0;
  return depth;
}

LRESULT Deliver(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool unicode, DWORD kind) {
  WindowPtr w = Find(hwnd);
  if (!w) return 0;
  if (kind == KV_SPY_SENT && HasHook(WH_CALLWNDPROC)) {
    CWPSTRUCT cwp{lp, wp, msg, hwnd};
    CallHooks(WH_CALLWNDPROC, HC_ACTION, 0, reinterpret_cast<LPARAM>(&cwp));
    if (!(w = Find(hwnd))) return 0;
  }
  size_t idx = 0;
  SpyRecord(kind, hwnd, msg, wp, lp, 0, 0, 0, &idx);
  ++SendDepth();
  LRESULT r = CallProc(w->proc, w->unicode, hwnd, msg, wp, lp, unicode);
  --SendDepth();
  SpySetResult(idx, r);
  if (kind == KV_SPY_SENT && HasHook(WH_CALLWNDPROCRET)) {
    CWPRETSTRUCT ret{r, lp, wp, msg, hwnd};
    CallHooks(WH_CALLWNDPROCRET, HC_ACTION, 0, reinterpret_cast<LPARAM>(&ret));
  }
  return r;
}

void ProcessSent(Queue& q) {
  for (;;) {
    std::shared_ptr<SentItem> item;
    {
      std::lock_guard<std::mutex> g(q.m);
      if (q.sent.empty()) return;
      item = q.sent.front();
      q.sent.pop_front();
    }
    ++q.inSend;
    LRESULT r = Deliver(item->hwnd, item->msg, item->wParam, item->lParam, item->unicode, KV_SPY_SENT);
    --q.inSend;
    auto sender = item;
    {
      std::lock_guard<std::mutex> g(q.m);
      sender->result = r;
      sender->done = true;
    }
    // Every queue's waiters re-check; the sender waits on its own queue's condition.
    std::vector<std::shared_ptr<Queue>> all;
    {
      std::lock_guard<std::recursive_mutex> g(Lock());
      for (auto& [tid, other] : Queues()) all.push_back(other);
    }
    for (auto& other : all) {
      std::lock_guard<std::mutex> g2(other->m);
      other->cv.notify_all();
    }
  }
}

namespace {

// Sends to a window; for another thread's window waits at most `timeout` milliseconds of
// real time (INFINITE: until answered). False when the wait ran out or the window went.
bool SendWait(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool unicode, DWORD timeout, LRESULT* result);

}  // namespace

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool unicode) {
  LRESULT r = 0;
  SendWait(hwnd, msg, wParam, lParam, unicode, INFINITE, &r);
  return r;
}

namespace {

bool SendWait(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool unicode, DWORD timeout, LRESULT* result) {
  *result = 0;
  if (hwnd == HWND_BROADCAST) {
    for (HWND t : ThreadTopLevels(GetCurrentThreadId())) Send(t, msg, wParam, lParam, unicode);
    *result = 1;
    return true;
  }
  WindowPtr w = Get(hwnd);
  if (!w) return false;
  if (w->tid == GetCurrentThreadId()) {
    *result = Deliver(hwnd, msg, wParam, lParam, unicode, KV_SPY_SENT);
    return true;
  }
  // Another thread's window: the owner delivers it while pumping; the caller waits,
  // delivering what is sent to itself meanwhile.
  auto target = QueueOf(w->tid, true);
  auto item = std::make_shared<SentItem>();
  item->hwnd = hwnd;
  item->msg = msg;
  item->wParam = wParam;
  item->lParam = lParam;
  item->unicode = unicode;
  {
    std::lock_guard<std::mutex> g(target->m);
    target->sent.push_back(item);
    target->cv.notify_all();
  }
  Queue& mine = MyQueue();
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    ProcessSent(mine);
    {
      std::lock_guard<std::mutex> g(target->m);
      if (item->done) {
        *result = item->result;
        return true;
      }
    }
    if (timeout != INFINITE && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeout)) {
      // Not answered in time: withdrawn if still waiting in the queue.
      std::lock_guard<std::mutex> g(target->m);
      auto it = std::find(target->sent.begin(), target->sent.end(), item);
      if (it != target->sent.end()) target->sent.erase(it);
      SetLastError(ERROR_TIMEOUT);
      return false;
    }
    std::unique_lock<std::mutex> g2(mine.m);
    mine.cv.wait_for(g2, std::chrono::milliseconds(20));
    g2.unlock();
    if (!Find(hwnd)) return false;
  }
}

}  // namespace

}  // namespace kv::user

using namespace kv::user;

namespace {

LRESULT SendTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT timeout, PDWORD_PTR result, bool unicode) {
  LRESULT r = 0;
  if (!SendWait(hwnd, msg, wParam, lParam, unicode, timeout, &r)) return 0;
  if (result) *result = static_cast<DWORD_PTR>(r);
  return 1;
}

BOOL SendNotify(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool unicode) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (w->tid == GetCurrentThreadId()) {
    Send(hwnd, msg, wParam, lParam, unicode);
    return TRUE;
  }
  return Post(hwnd, msg, wParam, lParam);
}

LRESULT SendDlgItem(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam, bool unicode) {
  HWND h = GetDlgItem(dialog, id);
  return h ? Send(h, msg, wParam, lParam, unicode) : 0;
}

}  // namespace

extern "C" {

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Send(hwnd, msg, wParam, lParam, true);
}
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Send(hwnd, msg, wParam, lParam, false);
}

LRESULT SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeout, PDWORD_PTR result) {
  return SendTimeout(hwnd, msg, wParam, lParam, timeout, result, true);
}
LRESULT SendMessageTimeoutA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeout, PDWORD_PTR result) {
  return SendTimeout(hwnd, msg, wParam, lParam, timeout, result, false);
}

BOOL SendNotifyMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendNotify(hwnd, msg, wParam, lParam, true);
}
BOOL SendNotifyMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendNotify(hwnd, msg, wParam, lParam, false);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendDlgItem(dialog, id, msg, wParam, lParam, true);
}
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendDlgItem(dialog, id, msg, wParam, lParam, false);
}

}  // extern "C"
