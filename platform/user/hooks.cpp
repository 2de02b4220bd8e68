// Hooks: the chains per hook kind and thread, the CBT create hook in each side's form,
// and the hook calls.
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/user/internal.h"
#include "platform/user/queue.h"

namespace kv::user {

namespace {

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
      if (code == HCBT_CREATEWND || code == HCBT_DESTROYWND || code == HCBT_ACTIVATE || code == HCBT_SETFOCUS ||
          code == HCBT_MINMAX || code == HCBT_MOVESIZE)
        return reinterpret_cast<HWND>(wp);
      return nullptr;
    case WH_CALLWNDPROC: return lp ? reinterpret_cast<CWPSTRUCT*>(lp)->hwnd : nullptr;
    case WH_GETMESSAGE:
    case WH_MSGFILTER: return lp ? reinterpret_cast<MSG*>(lp)->hwnd : nullptr;
    case WH_MOUSE: return lp ? reinterpret_cast<MOUSEHOOKSTRUCT*>(lp)->hwnd : nullptr;
    case WH_CALLWNDPROCRET: return lp ? reinterpret_cast<CWPRETSTRUCT*>(lp)->hwnd : nullptr;
    default: return nullptr;
  }
}

void SyncCreate(bool fromUnicode) {
  if (!tCreateW || !tCreateA) return;
  if (fromUnicode) {
    tCreateA->x = tCreateW->x;
    tCreateA->y = tCreateW->y;
    tCreateA->cx = tCreateW->cx;
    tCreateA->cy = tCreateW->cy;
    tCreateA->style = tCreateW->style;
    tCreateA->dwExStyle = tCreateW->dwExStyle;
  } else {
    tCreateW->x = tCreateA->x;
    tCreateW->y = tCreateA->y;
    tCreateW->cx = tCreateA->cx;
    tCreateW->cy = tCreateA->cy;
    tCreateW->style = tCreateA->style;
    tCreateW->dwExStyle = tCreateA->dwExStyle;
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

void ResetHooks() {
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    DWORD tid = GetCurrentThreadId();
    for (auto& h : Hooks())
      if (h->tid == tid) h->dead = true;
  }
  PurgeHooks();
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

BOOL CallMsgFilterW(LPMSG msg, int code) {
  if (!msg) return FALSE;
  return CallHooks(WH_MSGFILTER, code, 0, reinterpret_cast<LPARAM>(msg)) != 0;
}
BOOL CallMsgFilterA(LPMSG msg, int code) { return CallMsgFilterW(msg, code); }

// ---- Hooks ------------------------------------------------------------------------------------------
static HHOOK SetHook(int id, HOOKPROC proc, DWORD thread_id, bool unicode) {
  if (!proc) {
    SetLastError(ERROR_INVALID_FILTER_PROC);
    return nullptr;
  }
  // Only the hooks this window system calls are accepted.
  switch (id) {
    case WH_MSGFILTER:
    case WH_GETMESSAGE:
    case WH_CALLWNDPROC:
    case WH_CBT:
    case WH_MOUSE:
    case WH_KEYBOARD:
    case WH_CALLWNDPROCRET: break;
    default: SetLastError(ERROR_INVALID_HOOK_FILTER); return nullptr;
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

HHOOK SetWindowsHookExW(int id, HOOKPROC proc, HINSTANCE, DWORD thread_id) {
  return SetHook(id, proc, thread_id, true);
}
HHOOK SetWindowsHookExA(int id, HOOKPROC proc, HINSTANCE, DWORD thread_id) {
  return SetHook(id, proc, thread_id, false);
}

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

}  // extern "C"
