// The thread message queues: posting, GetMessage and PeekMessage in the platform's order,
// waiting for work, dispatching and translating.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/idle.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/user/internal.h"
#include "platform/user/present.h"
#include "platform/user/queue.h"

namespace kv::user {

std::map<DWORD, std::shared_ptr<Queue>>& Queues() {
  static std::map<DWORD, std::shared_ptr<Queue>> q;
  return q;
}

std::shared_ptr<Queue> QueueOf(DWORD tid, bool create) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto it = Queues().find(tid);
  if (it != Queues().end()) return it->second;
  if (!create) return nullptr;
  auto q = std::make_shared<Queue>();
  Queues()[tid] = q;
  return q;
}

Queue& MyQueue() {
  thread_local std::shared_ptr<Queue> q;
  if (!q || QueueOf(GetCurrentThreadId(), false) != q) q = QueueOf(GetCurrentThreadId(), true);
  return *q;
}

bool Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD tid = GetCurrentThreadId();
  if (hwnd) {
    WindowPtr w = Get(hwnd);
    if (!w) return false;
    tid = w->tid;
  }
  auto q = QueueOf(tid, true);
  MSG m{};
  m.hwnd = hwnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = KvClockNow();
  GetCursorPos(&m.pt);
  std::lock_guard<std::mutex> g(q->m);
  q->posted.push_back(m);
  q->cv.notify_all();
  return true;
}

namespace {

bool Matches(const MSG& m, HWND filter, UINT fmin, UINT fmax) {
  if (filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
    if (m.hwnd) return false;
  } else if (filter && m.hwnd != filter && !IsChild(filter, m.hwnd)) {
    return false;
  }
  if (fmin || fmax) {
    if (m.message < fmin || m.message > fmax) return false;
  }
  return true;
}

// One attempt at the next message, in the platform's order: sent messages (delivered
// here), posted messages, WM_QUIT, input, WM_PAINT, WM_TIMER.
bool Retrieve(MSG* out, HWND filter, UINT fmin, UINT fmax, UINT remove) {
  Queue& q = MyQueue();
  present::Pump();
  ProcessSent(q);
  bool removeIt = (remove & PM_REMOVE) != 0;
  bool got = false;
  {
    std::lock_guard<std::mutex> g(q.m);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
      if (!Matches(*it, filter, fmin, fmax)) continue;
      *out = *it;
      if (removeIt) q.posted.erase(it);
      got = true;
      break;
    }
    if (!got && q.quit && q.posted.empty()) {
      MSG m{};
      m.message = WM_QUIT;
      m.wParam = static_cast<WPARAM>(q.quitCode);
      m.time = KvClockNow();
      if (Matches(m, nullptr, fmin, fmax)) {
        *out = m;
        if (removeIt) q.quit = false;
        got = true;
      }
    }
  }
  if (!got) got = NextInputMessage(out, filter, fmin, fmax, removeIt);
  if (!got) {
    HWND p = FindPaintWindow(GetCurrentThreadId(),
                             filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) ? nullptr : filter);
    if (p && filter != reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
      MSG m{};
      m.hwnd = p;
      m.message = WM_PAINT;
      m.time = KvClockNow();
      if (Matches(m, filter, fmin, fmax)) {
        *out = m;
        got = true;
      }
    }
  }
  if (!got) {
    std::lock_guard<std::mutex> g(q.m);
    DWORD now = KvClockNow();
    for (auto& t : q.timers) {
      if (!Due(now, t.due)) continue;
      MSG m{};
      m.hwnd = t.hwnd;
      m.message = WM_TIMER;
      m.wParam = t.id;
      m.lParam = reinterpret_cast<LPARAM>(t.proc);
      m.time = now;
      if (!Matches(m, filter, fmin, fmax)) continue;
      *out = m;
      if (removeIt) t.due = now + t.elapse;
      got = true;
      break;
    }
  }
  if (!got) return false;
  if (out->message != WM_QUIT && !out->pt.x && !out->pt.y) GetCursorPos(&out->pt);
  q.lastTime = out->time;
  q.lastPos = out->pt;
  if (HasHook(WH_GETMESSAGE)) CallHooks(WH_GETMESSAGE, HC_ACTION, remove & PM_REMOVE, reinterpret_cast<LPARAM>(out));
  return true;
}

// How long a wait with a presenter blocks before it looks at the desktop's events again.
constexpr DWORD kPresentSlice = 5;

// Waits until something may be retrievable. False when nothing can ever arrive (the
// virtual clock runs, no timer is set and no other thread posts within the bound).
bool WaitForWork() {
  Queue& q = MyQueue();
  DWORD now = KvClockNow();
  bool haveTimer = false;
  DWORD next = 0;
  {
    std::lock_guard<std::mutex> g(q.m);
    if (!q.posted.empty() || !q.sent.empty() || q.quit) return true;
    for (auto& t : q.timers) {
      if (!haveTimer || static_cast<int32_t>(t.due - next) < 0) next = t.due;
      haveTimer = true;
    }
  }
  if (HasInput() || FindPaintWindow(GetCurrentThreadId(), nullptr)) return true;
  if (haveTimer && Due(now, next)) return true;
  if (present::Live()) {
    // The desktop's events are looked at in short rounds between the queue's own wake-ups.
    auto ready = [&] { return !q.posted.empty() || !q.sent.empty() || q.quit; };
    for (;;) {
      present::Pump();
      if (HasInput() || FindPaintWindow(GetCurrentThreadId(), nullptr)) return true;
      now = KvClockNow();
      if (haveTimer && Due(now, next)) return true;
      DWORD slice = haveTimer ? std::min<DWORD>(next - now, kPresentSlice) : kPresentSlice;
      if (KvIdleWait(slice, nullptr)) return true;
      std::unique_lock<std::mutex> g(q.m);
      if (q.cv.wait_for(g, std::chrono::milliseconds(slice), ready)) return true;
    }
  }
  // Live idle work (transfers) is driven first, at most up to the next timer and in
  // short rounds, so that posts of other threads are still seen.
  if (KvIdleWait(std::min<DWORD>(haveTimer ? next - now : 50, 50), nullptr)) return true;
  if (KvClockIsVirtual()) {
    if (haveTimer) {
      KvClockAdvance(next - now);
      return true;
    }
    // Nothing is due. Threads sleeping on virtual time get it passing (in small steps);
    // otherwise another thread's post is awaited for a bounded real time, after which
    // nothing is taken to come.
    auto ready = [&] { return !q.posted.empty() || !q.sent.empty() || q.quit; };
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (;;) {
      if (KvClockWaiterCount() > 0) {
        KvClockAdvance(10);
        until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
      }
      std::unique_lock<std::mutex> g(q.m);
      if (q.cv.wait_for(g, std::chrono::milliseconds(KvClockWaiterCount() > 0 ? 1 : 50), ready)) return true;
      g.unlock();
      if (HasInput()) return true;
      if (std::chrono::steady_clock::now() >= until) return false;
    }
  }
  std::unique_lock<std::mutex> g(q.m);
  // Input arrives here too when the presenter's thread hands over the desktop's input.
  auto ready = [&] { return !q.posted.empty() || !q.sent.empty() || q.quit || HasInput(); };
  if (haveTimer)
    q.cv.wait_for(g, std::chrono::milliseconds(static_cast<int32_t>(next - now)), ready);
  else
    q.cv.wait(g, ready);
  return true;
}

// The trail byte of a double-byte character whose lead byte an ANSI retrieval returned;
// the next ANSI retrieval on the thread returns it.
thread_local MSG tTrail{};

// The queue holds characters as UTF-16 units. The ANSI retrievals return one outside
// ASCII as its ANSI code page bytes, a double-byte character as two WM_CHAR messages
// (lead byte first), as the platform does.
bool RetrieveFor(MSG* out, HWND filter, UINT fmin, UINT fmax, UINT remove, bool unicode) {
  if (!unicode && tTrail.message) {
    *out = tTrail;
    if (remove & PM_REMOVE) tTrail = MSG{};
    return true;
  }
  if (!Retrieve(out, filter, fmin, fmax, remove)) return false;
  if (unicode || (out->message != WM_CHAR && out->message != WM_SYSCHAR) || out->wParam < 0x80 ||
      out->wParam > 0xFFFF)
    return true;
  char16_t c[2] = {static_cast<char16_t>(out->wParam), 0};
  std::string a = ToAnsi(c);
  if (a.empty()) return true;
  out->wParam = static_cast<BYTE>(a[0]);
  if (a.size() > 1 && (remove & PM_REMOVE)) {
    tTrail = *out;
    tTrail.wParam = static_cast<BYTE>(a[1]);
  }
  return true;
}

BOOL GetMessageCommon(LPMSG msg, HWND hwnd, UINT fmin, UINT fmax, bool unicode) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !Get(hwnd)) return -1;
  for (;;) {
    if (RetrieveFor(msg, hwnd, fmin, fmax, PM_REMOVE, unicode)) return msg->message == WM_QUIT ? FALSE : TRUE;
    if (!WaitForWork()) {
      SetLastError(ERROR_TIMEOUT);
      return -1;
    }
  }
}

LRESULT DispatchCommon(const MSG* msg, bool unicode) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    // Only a timer that still exists calls its procedure.
    Queue& q = MyQueue();
    bool live = false;
    {
      std::lock_guard<std::mutex> g(q.m);
      for (auto& t : q.timers)
        if (t.hwnd == msg->hwnd && t.id == msg->wParam && t.proc == proc) live = true;
    }
    if (live) proc(msg->hwnd, WM_TIMER, msg->wParam, KvClockNow());
    return 0;
  }
  if (!msg->hwnd) return 0;
  WindowPtr w = Get(msg->hwnd);
  if (!w) return 0;
  if (w->tid != GetCurrentThreadId()) {
    SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
    return 0;
  }
  LRESULT r = Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam, unicode, KV_SPY_POSTED);
  if (msg->message == WM_PAINT) {
    // A frame still invalid after WM_PAINT is drawn now, as the platform does.
    if (auto pw = Find(msg->hwnd); pw && pw->ncDirty)
      RedrawWindow(msg->hwnd, nullptr, nullptr, RDW_NOINTERNALPAINT | RDW_ERASENOW | RDW_FRAME);
  }
  return r;
}

}  // namespace

bool ModalInputPending() {
  if (InputPending()) return true;
  // On a desktop every thread's modal loops wait for the person.
  if (!present::Active()) return false;
  return WaitForWork();
}

void ResetMessages() {
  {
    Queue& q = MyQueue();
    std::lock_guard<std::mutex> g(q.m);
    q.posted.clear();
    q.sent.clear();
    q.quit = false;
    q.timers.clear();
  }
  tTrail = MSG{};
  ResetHooks();
  ResetSpy();
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd == HWND_BROADCAST) {
    std::vector<HWND> tops;
    {
      std::lock_guard<std::recursive_mutex> g(Lock());
      tops = TopLevels();
    }
    for (HWND t : tops) Post(t, msg, wParam, lParam);
    return TRUE;
  }
  return Post(hwnd, msg, wParam, lParam);
}
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return PostMessageW(hwnd, msg, wParam, lParam); }

BOOL PostThreadMessageW(DWORD thread_id, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto q = QueueOf(thread_id, thread_id == GetCurrentThreadId());
  if (!q) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  MSG m{};
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = KvClockNow();
  std::lock_guard<std::mutex> g(q->m);
  q->posted.push_back(m);
  q->cv.notify_all();
  return TRUE;
}
BOOL PostThreadMessageA(DWORD thread_id, UINT msg, WPARAM wParam, LPARAM lParam) {
  return PostThreadMessageW(thread_id, msg, wParam, lParam);
}

void PostQuitMessage(int exit_code) {
  Queue& q = MyQueue();
  std::lock_guard<std::mutex> g(q.m);
  q.quit = true;
  q.quitCode = exit_code;
  q.cv.notify_all();
}

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max) {
  return GetMessageCommon(msg, hwnd, filter_min, filter_max, true);
}
BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max) {
  return GetMessageCommon(msg, hwnd, filter_min, filter_max, false);
}

static BOOL PeekCommon(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove, bool unicode) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !Get(hwnd)) return FALSE;
  KvIdleWait(0, nullptr);  // a zero-time poll of live idle work
  return RetrieveFor(msg, hwnd, filter_min, filter_max, remove, unicode);
}
BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
  return PeekCommon(msg, hwnd, filter_min, filter_max, remove, true);
}
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
  return PeekCommon(msg, hwnd, filter_min, filter_max, remove, false);
}

BOOL WaitMessage(void) {
  if (!WaitForWork()) {
    SetLastError(ERROR_TIMEOUT);
    return FALSE;
  }
  return TRUE;
}

DWORD GetQueueStatus(UINT flags) {
  Queue& q = MyQueue();
  present::Pump();
  DWORD status = 0;
  {
    std::lock_guard<std::mutex> g(q.m);
    if (!q.posted.empty() || q.quit) status |= QS_POSTMESSAGE;
    if (!q.sent.empty()) status |= QS_SENDMESSAGE;
    DWORD now = KvClockNow();
    for (auto& t : q.timers)
      if (Due(now, t.due)) status |= QS_TIMER;
  }
  if (HasInput()) status |= QS_INPUT;
  if (FindPaintWindow(GetCurrentThreadId(), nullptr)) status |= QS_PAINT;
  status &= flags;
  return status | (status << 16);
}

BOOL InSendMessage(void) { return MyQueue().inSend > 0; }
LONG GetMessageTime(void) { return static_cast<LONG>(MyQueue().lastTime); }
DWORD GetMessagePos(void) {
  POINT p = MyQueue().lastPos;
  return static_cast<DWORD>(MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

LRESULT DispatchMessageW(const MSG* msg) { return DispatchCommon(msg, true); }
LRESULT DispatchMessageA(const MSG* msg) { return DispatchCommon(msg, false); }

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
  int vk = static_cast<int>(msg->wParam);
  bool shift = GetKeyState(VK_SHIFT) < 0;
  bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
  bool ctrl = GetKeyState(VK_CONTROL) < 0;
  WCHAR ch = 0;
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl)
      ch = static_cast<WCHAR>(vk - 'A' + 1);
    else
      ch = static_cast<WCHAR>((shift != caps) ? vk : vk + 32);
  } else if (vk >= '0' && vk <= '9') {
    static const char shifted[] = ")!@#$%^&*(";
    ch = static_cast<WCHAR>(shift ? shifted[vk - '0'] : vk);
  } else if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) {
    ch = static_cast<WCHAR>('0' + vk - VK_NUMPAD0);
  } else {
    switch (vk) {
      case VK_SPACE: ch = u' '; break;
      case VK_RETURN: ch = u'\r'; break;
      case VK_BACK: ch = 8; break;
      case VK_TAB: ch = u'\t'; break;
      case VK_ESCAPE: ch = 27; break;
      default: return FALSE;
    }
  }
  // The desktop's text input brings the printable characters of its keys itself.
  if (ch >= 0x20 && KeyFromDesktop(*msg)) return FALSE;
  Queue& q = MyQueue();
  MSG m = *msg;
  m.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  m.wParam = ch;
  std::lock_guard<std::mutex> g(q.m);
  q.posted.push_front(m);
  return TRUE;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds,
                                DWORD wake_mask) {
  DWORD start = KvClockNow();
  for (;;) {
    if (count) {
      DWORD r = WaitForMultipleObjects(count, handles, wait_all, 0);
      if (r != WAIT_TIMEOUT) return r;
    }
    if (GetQueueStatus(wake_mask) & 0xFFFF0000u) return WAIT_OBJECT_0 + count;
    DWORD elapsed = KvClockNow() - start;
    if (milliseconds != INFINITE && elapsed >= milliseconds) return WAIT_TIMEOUT;
    // Short slices: objects and the queue are looked at in turn.
    DWORD slice = milliseconds == INFINITE ? 10 : std::min<DWORD>(10, milliseconds - elapsed);
    if (KvIdleWait(slice, nullptr)) continue;  // live idle work waited instead
    if (count) {
      DWORD r = WaitForMultipleObjects(count, handles, wait_all, slice);
      if (r != WAIT_TIMEOUT) return r;
    } else {
      Sleep(slice);
    }
  }
}

// Queued input wakes the wait whether seen before or not (as with MWMO_INPUTAVAILABLE),
// and no asynchronous procedure calls exist to be alertable for.
DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wake_mask,
                                  DWORD flags) {
  if (flags & ~static_cast<DWORD>(MWMO_WAITALL | MWMO_ALERTABLE | MWMO_INPUTAVAILABLE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return MsgWaitForMultipleObjects(count, handles, (flags & MWMO_WAITALL) != 0, milliseconds, wake_mask);
}

DWORD KvPumpMessages(void) {
  DWORD count = 0;
  std::vector<HWND> painted;
  MSG msg;
  while (count < 100000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.message == WM_PAINT) {
      // A window that does not validate its update region would be painted forever.
      if (std::find(painted.begin(), painted.end(), msg.hwnd) != painted.end()) break;
      painted.push_back(msg.hwnd);
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    ++count;
  }
  return count;
}

}  // extern "C"
