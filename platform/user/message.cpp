// Messages: sending (with A/W conversion), posting, the thread queues, GetMessage and
// PeekMessage, dispatching, timers, hooks, procedure thunks and the message spy.
#include <algorithm>
#include <condition_variable>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/base/idle.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

// ---- Spy ---------------------------------------------------------------------------------------
struct Spy {
  std::mutex m;
  bool on = false;
  HWND only = nullptr;
  std::vector<KVSPYRECORD> records;
};
Spy& TheSpy() {
  static Spy s;
  return s;
}
thread_local DWORD tSendDepth = 0;

// ---- Thunks ------------------------------------------------------------------------------------
// A procedure handed to the other side is a small number that CallWindowProc knows; no
// real code lives at addresses below 64 KiB, so the values never meet a real procedure.
constexpr uintptr_t kThunkBase = 0x8000;
struct Thunk {
  WNDPROC proc;
  bool unicode;
};
std::vector<Thunk>& Thunks() {
  static std::vector<Thunk> t;
  return t;
}
bool IsThunk(WNDPROC p) {
  auto v = reinterpret_cast<uintptr_t>(p);
  return v >= kThunkBase && v < kThunkBase + Thunks().size();
}

// ---- Queues ------------------------------------------------------------------------------------
struct SentItem {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool unicode;
  LRESULT result = 0;
  bool done = false;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  DWORD due;
};

struct Queue {
  std::mutex m;
  std::condition_variable cv;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentItem>> sent;
  bool quit = false;
  int quitCode = 0;
  std::vector<Timer> timers;
  DWORD lastTime = 0;
  POINT lastPos{0, 0};
  int inSend = 0;
};

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

// ---- Hooks -------------------------------------------------------------------------------------
struct HookEntry {
  int id;
  HOOKPROC proc;
  bool unicode;
  DWORD tid;
  HHOOK handle;
  bool dead = false;
};
std::vector<std::shared_ptr<HookEntry>>& Hooks() {
  static std::vector<std::shared_ptr<HookEntry>> h;  // newest first
  return h;
}
uintptr_t gNextHook = 0x20000;
thread_local int tHookDepth = 0;
// The hooks running on this thread, innermost last: CallNextHookEx continues the chain of
// the innermost one (its handle argument is not needed, as on the platform).
thread_local std::vector<std::shared_ptr<HookEntry>> tRunning;
thread_local CREATESTRUCTW* tCreateW = nullptr;
thread_local CREATESTRUCTA* tCreateA = nullptr;
thread_local HWND tCreateHwnd = nullptr;

void PurgeHooks() {
  if (tHookDepth) return;
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto& h = Hooks();
  h.erase(std::remove_if(h.begin(), h.end(), [](auto& e) { return e->dead; }), h.end());
}

HWND HookWindow(int id, int code, WPARAM wp, LPARAM lp) {
  switch (id) {
    case WH_CBT:
      if (code == HCBT_CREATEWND || code == HCBT_DESTROYWND || code == HCBT_ACTIVATE ||
          code == HCBT_SETFOCUS || code == HCBT_MINMAX || code == HCBT_MOVESIZE)
        return reinterpret_cast<HWND>(wp);
      return nullptr;
    case WH_CALLWNDPROC:
      return lp ? reinterpret_cast<CWPSTRUCT*>(lp)->hwnd : nullptr;
    case WH_GETMESSAGE:
    case WH_MSGFILTER:
      return lp ? reinterpret_cast<MSG*>(lp)->hwnd : nullptr;
    case WH_MOUSE:
      return lp ? reinterpret_cast<MOUSEHOOKSTRUCT*>(lp)->hwnd : nullptr;
    case WH_CALLWNDPROCRET:
      return lp ? reinterpret_cast<CWPRETSTRUCT*>(lp)->hwnd : nullptr;
    default:
      return nullptr;
  }
}

void SyncCreate(bool fromUnicode) {
  if (!tCreateW || !tCreateA) return;
  if (fromUnicode) {
    tCreateA->x = tCreateW->x; tCreateA->y = tCreateW->y; tCreateA->cx = tCreateW->cx;
    tCreateA->cy = tCreateW->cy; tCreateA->style = tCreateW->style; tCreateA->dwExStyle = tCreateW->dwExStyle;
  } else {
    tCreateW->x = tCreateA->x; tCreateW->y = tCreateA->y; tCreateW->cx = tCreateA->cx;
    tCreateW->cy = tCreateA->cy; tCreateW->style = tCreateA->style; tCreateW->dwExStyle = tCreateA->dwExStyle;
  }
}

LRESULT CallHookEntry(const std::shared_ptr<HookEntry>& h, int code, WPARAM wp, LPARAM lp) {
  size_t idx = 0;
  SpyRecord(KV_SPY_HOOK, HookWindow(h->id, code, wp, lp), 0, wp, lp, h->id, code, 0, &idx);
  ++tHookDepth;
  tRunning.push_back(h);
  LRESULT r;
  if (h->id == WH_CBT && code == HCBT_CREATEWND && tCreateW && reinterpret_cast<HWND>(wp) == tCreateHwnd) {
    // What the calling hook changed so far reaches this one in its own form.
    if (tRunning.size() > 1) SyncCreate(tRunning[tRunning.size() - 2]->unicode);
    CBT_CREATEWNDW cw{tCreateW, HWND_TOP};
    CBT_CREATEWNDA ca{tCreateA, HWND_TOP};
    auto orig = reinterpret_cast<CBT_CREATEWNDW*>(lp);
    if (orig) cw.hwndInsertAfter = ca.hwndInsertAfter = orig->hwndInsertAfter;
    r = h->proc(code, wp, h->unicode ? reinterpret_cast<LPARAM>(&cw) : reinterpret_cast<LPARAM>(&ca));
    SyncCreate(h->unicode);
  } else {
    r = h->proc(code, wp, lp);
  }
  tRunning.pop_back();
  --tHookDepth;
  SpySetResult(idx, r);
  PurgeHooks();
  return r;
}

std::shared_ptr<HookEntry> NextHook(int id, DWORD tid, const HookEntry* after) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  bool found = after == nullptr;
  for (auto& h : Hooks()) {
    if (!found) {
      if (h.get() == after) found = true;
      continue;
    }
    if (h->id == id && h->tid == tid && !h->dead) return h;
  }
  return nullptr;
}

}  // namespace

// ---- Spy ---------------------------------------------------------------------------------------
void SpyRecord(DWORD kind, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int hook, int code, LRESULT result,
               size_t* index) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  if (index) *index = SIZE_MAX;
  if (!s.on) return;
  if (s.only && kind != KV_SPY_HOOK && hwnd != s.only && !IsDescendant(s.only, hwnd)) return;
  KVSPYRECORD r{};
  r.kind = kind;
  r.hwnd = hwnd;
  r.message = msg;
  r.wParam = wp;
  r.lParam = lp;
  r.hook = hook;
  r.code = code;
  r.result = result;
  r.depth = tSendDepth;
  if (index) *index = s.records.size();
  s.records.push_back(r);
}

void SpySetResult(size_t index, LRESULT result) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  if (index < s.records.size()) s.records[index].result = result;
}

// ---- Thunks ------------------------------------------------------------------------------------
WNDPROC ProcForSide(WNDPROC proc, bool procUnicode, bool wantUnicode) {
  if (!proc || procUnicode == wantUnicode) return proc;
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto& t = Thunks();
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i].proc == proc && t[i].unicode == procUnicode) return reinterpret_cast<WNDPROC>(kThunkBase + i);
  t.push_back(Thunk{proc, procUnicode});
  return reinterpret_cast<WNDPROC>(kThunkBase + t.size() - 1);
}

WNDPROC ResolveProc(WNDPROC value, bool valueUnicode, bool* unicode) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (IsThunk(value)) {
    const Thunk& t = Thunks()[reinterpret_cast<uintptr_t>(value) - kThunkBase];
    *unicode = t.unicode;
    return t.proc;
  }
  *unicode = valueUnicode;
  return value;
}

// ---- Conversion of text messages -------------------------------------------------------------------
namespace {

bool IsListStringIn(UINT msg) {
  switch (msg) {
    case LB_ADDSTRING: case LB_INSERTSTRING: case LB_FINDSTRING: case LB_FINDSTRINGEXACT: case LB_SELECTSTRING:
    case CB_ADDSTRING: case CB_INSERTSTRING: case CB_FINDSTRING: case CB_FINDSTRINGEXACT: case CB_SELECTSTRING:
      return true;
    default:
      return false;
  }
}

bool IsTextMessage(UINT msg, HWND hwnd) {
  switch (msg) {
    case WM_SETTEXT: case WM_GETTEXT: case WM_GETTEXTLENGTH: case WM_NCCREATE: case WM_CREATE:
    case WM_CHAR: case WM_SYSCHAR: case WM_DEADCHAR: case WM_SYSDEADCHAR: case EM_REPLACESEL:
      return true;
    case LB_GETTEXT: case LB_GETTEXTLEN: case CB_GETLBTEXT: case CB_GETLBTEXTLEN:
      return ListHasStrings(hwnd);
    default:
      return IsListStringIn(msg) && ListHasStrings(hwnd);
  }
}

// Copies `s` into a caller's buffer of `size` units, NUL-terminated, cut so that no
// double-byte character is split. Returns the units copied.
LRESULT CopyOut(const std::string& s, LPSTR buf, size_t size) {
  if (!buf || !size) return 0;
  size_t n = 0;
  while (n < s.size()) {
    size_t step = (IsDBCSLeadByte(static_cast<BYTE>(s[n])) && n + 1 < s.size()) ? 2 : 1;
    if (n + step > size - 1) break;
    n += step;
  }
  std::memcpy(buf, s.data(), n);
  buf[n] = 0;
  return static_cast<LRESULT>(n);
}
LRESULT CopyOut(const std::u16string& s, LPWSTR buf, size_t size) {
  if (!buf || !size) return 0;
  size_t n = std::min(s.size(), size - 1);
  std::memcpy(buf, s.data(), n * sizeof(WCHAR));
  buf[n] = 0;
  return static_cast<LRESULT>(n);
}

thread_local BYTE tLeadByte = 0;

LRESULT Convert(WNDPROC proc, bool procUnicode, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case LB_GETTEXT:
    case CB_GETLBTEXT: {
      // The caller's buffer is as large as the length message said, as on the platform.
      UINT lenMsg = msg == LB_GETTEXT ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
      LRESULT n = proc(hwnd, lenMsg, wp, 0);
      if (n < 0 || !lp) return n;
      if (procUnicode) {
        std::u16string buf(static_cast<size_t>(n) + 1, u'\0');
        LRESULT got = proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(buf.data()));
        if (got < 0) return got;
        buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
        std::string a = ToAnsi(buf);
        std::memcpy(reinterpret_cast<LPSTR>(lp), a.c_str(), a.size() + 1);
        return static_cast<LRESULT>(a.size());
      }
      std::string buf(static_cast<size_t>(n) + 1, '\0');
      LRESULT got = proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(buf.data()));
      if (got < 0) return got;
      buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
      std::u16string w = ToWide(buf.c_str());
      std::memcpy(reinterpret_cast<LPWSTR>(lp), w.c_str(), (w.size() + 1) * sizeof(WCHAR));
      return static_cast<LRESULT>(w.size());
    }
    case LB_GETTEXTLEN:
    case CB_GETLBTEXTLEN: {
      LRESULT n = proc(hwnd, msg, wp, 0);
      if (n <= 0) return n;
      UINT textMsg = msg == LB_GETTEXTLEN ? LB_GETTEXT : CB_GETLBTEXT;
      if (procUnicode) {
        std::u16string buf(static_cast<size_t>(n) + 1, u'\0');
        LRESULT got = proc(hwnd, textMsg, wp, reinterpret_cast<LPARAM>(buf.data()));
        buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
        return static_cast<LRESULT>(ToAnsi(buf).size());
      }
      std::string buf(static_cast<size_t>(n) + 1, '\0');
      LRESULT got = proc(hwnd, textMsg, wp, reinterpret_cast<LPARAM>(buf.data()));
      buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
      return static_cast<LRESULT>(ToWide(buf.c_str()).size());
    }
    case EM_REPLACESEL:
    case LB_ADDSTRING: case LB_INSERTSTRING: case LB_FINDSTRING: case LB_FINDSTRINGEXACT: case LB_SELECTSTRING:
    case CB_ADDSTRING: case CB_INSERTSTRING: case CB_FINDSTRING: case CB_FINDSTRINGEXACT: case CB_SELECTSTRING:
    case WM_SETTEXT: {
      if (!lp) return proc(hwnd, msg, wp, lp);
      if (procUnicode) {
        std::u16string w = ToWide(reinterpret_cast<LPCSTR>(lp));
        return proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(w.c_str()));
      }
      std::string a = ToAnsi(reinterpret_cast<LPCWSTR>(lp));
      return proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(a.c_str()));
    }
    case WM_GETTEXT: {
      size_t size = wp;
      if (!size || !lp) return proc(hwnd, msg, wp, lp);
      if (procUnicode) {  // ANSI caller
        std::u16string buf(size + 1, u'\0');
        LRESULT n = proc(hwnd, msg, size, reinterpret_cast<LPARAM>(buf.data()));
        buf.resize(static_cast<size_t>(std::clamp<LRESULT>(n, 0, static_cast<LRESULT>(size))));
        return CopyOut(ToAnsi(buf), reinterpret_cast<LPSTR>(lp), size);
      }
      std::string buf(size * 2 + 2, '\0');
      LRESULT n = proc(hwnd, msg, size * 2 + 1, reinterpret_cast<LPARAM>(buf.data()));
      buf.resize(static_cast<size_t>(std::clamp<LRESULT>(n, 0, static_cast<LRESULT>(size * 2 + 1))));
      return CopyOut(ToWide(buf.c_str()), reinterpret_cast<LPWSTR>(lp), size);
    }
    case WM_GETTEXTLENGTH: {
      LRESULT n = proc(hwnd, msg, wp, lp);
      if (n <= 0) return n;
      if (procUnicode) {
        std::u16string buf(static_cast<size_t>(n) + 1, u'\0');
        LRESULT got = proc(hwnd, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(buf.data()));
        buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
        return static_cast<LRESULT>(ToAnsi(buf).size());
      }
      std::string buf(static_cast<size_t>(n) + 1, '\0');
      LRESULT got = proc(hwnd, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(buf.data()));
      buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
      return static_cast<LRESULT>(ToWide(buf.c_str()).size());
    }
    case WM_NCCREATE:
    case WM_CREATE: {
      if (!lp) return proc(hwnd, msg, wp, lp);
      if (procUnicode) {
        CREATESTRUCTW cs;
        std::memcpy(&cs, reinterpret_cast<void*>(lp), sizeof cs);
        auto a = reinterpret_cast<CREATESTRUCTA*>(lp);
        std::u16string name = a->lpszName ? ToWide(a->lpszName) : std::u16string();
        std::u16string cls = IS_INTRESOURCE(a->lpszClass) ? std::u16string() : ToWide(a->lpszClass);
        if (a->lpszName) cs.lpszName = name.c_str();
        if (!IS_INTRESOURCE(a->lpszClass)) cs.lpszClass = cls.c_str();
        return proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(&cs));
      }
      CREATESTRUCTA cs;
      std::memcpy(&cs, reinterpret_cast<void*>(lp), sizeof cs);
      auto w = reinterpret_cast<CREATESTRUCTW*>(lp);
      std::string name = w->lpszName ? ToAnsi(w->lpszName) : std::string();
      std::string cls = IS_INTRESOURCE(w->lpszClass) ? std::string() : ToAnsi(w->lpszClass);
      if (w->lpszName) cs.lpszName = name.c_str();
      if (!IS_INTRESOURCE(w->lpszClass)) cs.lpszClass = cls.c_str();
      return proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(&cs));
    }
    default: {  // characters
      if (procUnicode) {
        BYTE b = static_cast<BYTE>(wp & 0xFF);
        char bytes[3] = {0, 0, 0};
        if (tLeadByte) {
          bytes[0] = static_cast<char>(tLeadByte);
          bytes[1] = static_cast<char>(b);
          tLeadByte = 0;
        } else if (IsDBCSLeadByte(b)) {
          tLeadByte = b;
          return 0;
        } else {
          bytes[0] = static_cast<char>(b);
        }
        std::u16string w = ToWide(bytes);
        return proc(hwnd, msg, w.empty() ? 0 : w[0], lp);
      }
      char16_t c[2] = {static_cast<char16_t>(wp & 0xFFFF), 0};
      std::string a = ToAnsi(c);
      LRESULT r = 0;
      for (char ch : a) r = proc(hwnd, msg, static_cast<BYTE>(ch), lp);
      return r;
    }
  }
}

}  // namespace

LRESULT CallProc(WNDPROC proc, bool procUnicode, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                 bool callerUnicode) {
  if (!proc) return 0;
  if (procUnicode == callerUnicode || !IsTextMessage(msg, hwnd)) return proc(hwnd, msg, wParam, lParam);
  return Convert(proc, procUnicode, hwnd, msg, wParam, lParam);
}

// ---- Sending -----------------------------------------------------------------------------------------
namespace {

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
  ++tSendDepth;
  LRESULT r = CallProc(w->proc, w->unicode, hwnd, msg, wp, lp, unicode);
  --tSendDepth;
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

}  // namespace

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
    if (timeout != INFINITE &&
        std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeout)) {
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

// ---- Hooks -----------------------------------------------------------------------------------------------
bool HasHook(int id) { return NextHook(id, GetCurrentThreadId(), nullptr) != nullptr; }

LRESULT CallHooks(int id, int code, WPARAM wParam, LPARAM lParam, bool* called) {
  auto h = NextHook(id, GetCurrentThreadId(), nullptr);
  if (called) *called = h != nullptr;
  if (!h) return 0;
  return CallHookEntry(h, code, wParam, lParam);
}

LRESULT CallCbtCreate(HWND hwnd, CREATESTRUCTW* csw, CREATESTRUCTA* csa) {
  if (!HasHook(WH_CBT)) return 0;
  CREATESTRUCTW* sw = tCreateW;
  CREATESTRUCTA* sa = tCreateA;
  HWND sh = tCreateHwnd;
  tCreateW = csw;
  tCreateA = csa;
  tCreateHwnd = hwnd;
  CBT_CREATEWNDW cbt{csw, (csw->style & WS_CHILD) ? HWND_BOTTOM : HWND_TOP};
  LRESULT r = CallHooks(WH_CBT, HCBT_CREATEWND, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&cbt));
  tCreateW = sw;
  tCreateA = sa;
  tCreateHwnd = sh;
  return r;
}

// ---- Timers ------------------------------------------------------------------------------------------------
void KillWindowTimers(HWND hwnd) {
  Queue& q = MyQueue();
  std::lock_guard<std::mutex> g(q.m);
  q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                 q.timers.end());
  q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
                 q.posted.end());
}

DWORD CurrentTime() { return KvClockNow(); }

namespace {

bool Due(DWORD now, DWORD due) { return static_cast<int32_t>(now - due) >= 0; }

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
    HWND p = FindPaintWindow(GetCurrentThreadId(), filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) ? nullptr : filter);
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
  auto ready = [&] { return !q.posted.empty() || !q.sent.empty() || q.quit; };
  if (haveTimer) q.cv.wait_for(g, std::chrono::milliseconds(static_cast<int32_t>(next - now)), ready);
  else q.cv.wait(g, ready);
  return true;
}

BOOL GetMessageCommon(LPMSG msg, HWND hwnd, UINT fmin, UINT fmax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !Get(hwnd)) return -1;
  for (;;) {
    if (Retrieve(msg, hwnd, fmin, fmax, PM_REMOVE)) return msg->message == WM_QUIT ? FALSE : TRUE;
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
    if (auto pw = Find(msg->hwnd); pw && pw->ncDirty) RedrawWindow(msg->hwnd, nullptr, nullptr, RDW_NOINTERNALPAINT | RDW_ERASENOW | RDW_FRAME);
  }
  return r;
}

}  // namespace

void ResetMessages() {
  {
    Queue& q = MyQueue();
    std::lock_guard<std::mutex> g(q.m);
    q.posted.clear();
    q.sent.clear();
    q.quit = false;
    q.timers.clear();
  }
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    DWORD tid = GetCurrentThreadId();
    for (auto& h : Hooks())
      if (h->tid == tid) h->dead = true;
  }
  PurgeHooks();
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  s.on = false;
  s.only = nullptr;
  s.records.clear();
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return Send(hwnd, msg, wParam, lParam, true); }
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return Send(hwnd, msg, wParam, lParam, false); }

LRESULT SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeout, PDWORD_PTR result) {
  LRESULT r = 0;
  if (!SendWait(hwnd, msg, wParam, lParam, true, timeout, &r)) return 0;
  if (result) *result = static_cast<DWORD_PTR>(r);
  return 1;
}
LRESULT SendMessageTimeoutA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeout, PDWORD_PTR result) {
  LRESULT r = 0;
  if (!SendWait(hwnd, msg, wParam, lParam, false, timeout, &r)) return 0;
  if (result) *result = static_cast<DWORD_PTR>(r);
  return 1;
}

BOOL SendNotifyMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (w->tid == GetCurrentThreadId()) {
    Send(hwnd, msg, wParam, lParam, true);
    return TRUE;
  }
  return Post(hwnd, msg, wParam, lParam);
}
BOOL SendNotifyMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (w->tid == GetCurrentThreadId()) {
    Send(hwnd, msg, wParam, lParam, false);
    return TRUE;
  }
  return Post(hwnd, msg, wParam, lParam);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND h = GetDlgItem(dialog, id);
  return h ? Send(h, msg, wParam, lParam, true) : 0;
}
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND h = GetDlgItem(dialog, id);
  return h ? Send(h, msg, wParam, lParam, false) : 0;
}

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
  return GetMessageCommon(msg, hwnd, filter_min, filter_max);
}
BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max) {
  return GetMessageCommon(msg, hwnd, filter_min, filter_max);
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !Get(hwnd)) return FALSE;
  KvIdleWait(0, nullptr);  // a zero-time poll of live idle work
  return Retrieve(msg, hwnd, filter_min, filter_max, remove);
}
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
  return PeekMessageW(msg, hwnd, filter_min, filter_max, remove);
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
    if (ctrl) ch = static_cast<WCHAR>(vk - 'A' + 1);
    else ch = static_cast<WCHAR>((shift != caps) ? vk : vk + 32);
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
  Queue& q = MyQueue();
  MSG m = *msg;
  m.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  m.wParam = ch;
  std::lock_guard<std::mutex> g(q.m);
  q.posted.push_front(m);
  return TRUE;
}

BOOL CallMsgFilterW(LPMSG msg, int code) {
  if (!msg) return FALSE;
  return CallHooks(WH_MSGFILTER, code, 0, reinterpret_cast<LPARAM>(msg)) != 0;
}
BOOL CallMsgFilterA(LPMSG msg, int code) { return CallMsgFilterW(msg, code); }

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

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  bool unicode = true;
  WNDPROC p = ResolveProc(proc, true, &unicode);
  if (!p) return 0;
  return CallProc(p, unicode, hwnd, msg, wParam, lParam, true);
}
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  bool unicode = false;
  WNDPROC p = ResolveProc(proc, false, &unicode);
  if (!p) return 0;
  return CallProc(p, unicode, hwnd, msg, wParam, lParam, false);
}

// ---- Hooks ------------------------------------------------------------------------------------------
static HHOOK SetHook(int id, HOOKPROC proc, DWORD thread_id, bool unicode) {
  if (!proc) {
    SetLastError(ERROR_INVALID_FILTER_PROC);
    return nullptr;
  }
  // Only the hooks this window system calls are accepted.
  switch (id) {
    case WH_MSGFILTER: case WH_GETMESSAGE: case WH_CALLWNDPROC: case WH_CBT: case WH_MOUSE:
    case WH_KEYBOARD: case WH_CALLWNDPROCRET:
      break;
    default:
      SetLastError(ERROR_INVALID_HOOK_FILTER);
      return nullptr;
  }
  DWORD tid = GetCurrentThreadId();
  if (thread_id && thread_id != tid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto h = std::make_shared<HookEntry>();
  h->id = id;
  h->proc = proc;
  h->unicode = unicode;
  h->tid = tid;
  h->handle = reinterpret_cast<HHOOK>(gNextHook);
  gNextHook += 4;
  Hooks().insert(Hooks().begin(), h);
  return h->handle;
}

HHOOK SetWindowsHookExW(int id, HOOKPROC proc, HINSTANCE, DWORD thread_id) { return SetHook(id, proc, thread_id, true); }
HHOOK SetWindowsHookExA(int id, HOOKPROC proc, HINSTANCE, DWORD thread_id) { return SetHook(id, proc, thread_id, false); }

BOOL UnhookWindowsHookEx(HHOOK hook) {
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    bool found = false;
    for (auto& h : Hooks())
      if (h->handle == hook && !h->dead) {
        h->dead = true;
        found = true;
      }
    if (!found) {
      SetLastError(ERROR_INVALID_HOOK_HANDLE);
      return FALSE;
    }
  }
  PurgeHooks();
  return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<HookEntry> cur;
  if (!tRunning.empty()) {
    cur = tRunning.back();
  } else {
    std::lock_guard<std::recursive_mutex> g(Lock());
    for (auto& h : Hooks())
      if (h->handle == hook) cur = h;
  }
  if (!cur) return 0;
  auto next = NextHook(cur->id, cur->tid, cur.get());
  if (!next) return 0;
  return CallHookEntry(next, code, wParam, lParam);
}

// ---- Timers ------------------------------------------------------------------------------------------
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
  auto it = std::find_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == q.timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  q.timers.erase(it);
  // A WM_TIMER already posted for it is dropped too.
  q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(),
                                [&](const MSG& m) { return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id; }),
                 q.posted.end());
  return TRUE;
}

// ---- Spy --------------------------------------------------------------------------------------------------
void KvSpyStart(HWND only) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  s.on = true;
  s.only = only;
  s.records.clear();
}
void KvSpyStop(void) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  s.on = false;
}
void KvSpyClear(void) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  s.records.clear();
}
DWORD KvSpyCount(void) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  return static_cast<DWORD>(s.records.size());
}
BOOL KvSpyGet(DWORD index, KVSPYRECORD* record) {
  Spy& s = TheSpy();
  std::lock_guard<std::mutex> g(s.m);
  if (!record || index >= s.records.size()) return FALSE;
  *record = s.records[index];
  return TRUE;
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
