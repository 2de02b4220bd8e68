// Activation, focus and capture.
#include <algorithm>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct FocusState {
  HWND active = nullptr;
  HWND focus = nullptr;
  HWND capture = nullptr;
  bool appActive = false;
};

FocusState& State() {
  thread_local FocusState s;
  return s;
}

void SendActivateApp(bool on, HWND except) {
  (void)except;
  for (HWND t : ThreadTopLevels(GetCurrentThreadId())) Send(t, WM_ACTIVATEAPP, on ? TRUE : FALSE, 0);
}

}  // namespace

HWND ActiveWindow() {
  FocusState& s = State();
  if (s.active && !Find(s.active)) s.active = nullptr;
  return s.active;
}

HWND FocusWindow() {
  FocusState& s = State();
  if (s.focus && !Find(s.focus)) s.focus = nullptr;
  return s.focus;
}

void ResetFocus() { State() = FocusState{}; }

// Makes a top-level window the active one with the platform's sequence: the CBT hook,
// then the old window's WM_NCACTIVATE/WM_ACTIVATE, WM_ACTIVATEAPP when the thread
// becomes active, the new window brought to the top, its WM_NCACTIVATE and WM_ACTIVATE
// (whose default gives it the focus).
bool Activate(HWND hwnd, bool mouse) {
  FocusState& s = State();
  HWND old = ActiveWindow();
  if (hwnd == old) return true;
  if (hwnd) {
    auto w = Find(hwnd);
    if (!w || w->parent) return false;
    CBTACTIVATESTRUCT cbt{mouse ? TRUE : FALSE, old};
    if (CallHooks(WH_CBT, HCBT_ACTIVATE, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&cbt))) return false;
    if (!Find(hwnd)) return false;
  }
  if (old) {
    Send(old, WM_NCACTIVATE, FALSE, reinterpret_cast<LPARAM>(hwnd));
    if (Find(old))
      Send(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old) ? 1 : 0), reinterpret_cast<LPARAM>(hwnd));
  }
  s.active = hwnd;
  if (!hwnd) {
    if (s.appActive) {
      s.appActive = false;
      SendActivateApp(false, nullptr);
    }
    HWND f = FocusWindow();
    if (f) {
      s.focus = nullptr;
      Send(f, WM_KILLFOCUS, 0, 0);
    }
    return true;
  }
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    auto w = Find(hwnd);
    if (w) {
      auto& tops = TopLevels();
      tops.erase(std::remove(tops.begin(), tops.end(), hwnd), tops.end());
      size_t i = 0;
      if (!(w->exStyle & WS_EX_TOPMOST)) {
        while (i < tops.size()) {
          auto o = Find(tops[i]);
          if (!o || !(o->exStyle & WS_EX_TOPMOST)) break;
          ++i;
        }
      }
      tops.insert(tops.begin() + static_cast<long>(i), hwnd);
    }
  }
  if (!s.appActive) {
    s.appActive = true;
    SendActivateApp(true, hwnd);
  }
  if (!Find(hwnd) || s.active != hwnd) return false;
  Send(hwnd, WM_NCACTIVATE, TRUE, reinterpret_cast<LPARAM>(old));
  if (Find(hwnd) && s.active == hwnd)
    Send(hwnd, WM_ACTIVATE, MAKEWPARAM(mouse ? WA_CLICKACTIVE : WA_ACTIVE, IsIconic(hwnd) ? 1 : 0),
         reinterpret_cast<LPARAM>(old));
  // The focus stays in the window that was activated, or leaves a deactivated one.
  HWND f = FocusWindow();
  if (f && TopLevelOf(f) != hwnd && s.active == hwnd) {
    s.focus = nullptr;
    Send(f, WM_KILLFOCUS, 0, 0);
  }
  return true;
}

// The active window is going away: the next visible, enabled top-level window of the
// thread (its owner first) becomes active, or none.
void ActivateOther(HWND leaving) {
  if (ActiveWindow() != leaving) return;
  HWND next = nullptr;
  auto lw = Find(leaving);
  if (lw && lw->owner) {
    auto o = Find(lw->owner);
    if (o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) next = lw->owner;
  }
  if (!next) {
    for (HWND t : ThreadTopLevels(GetCurrentThreadId())) {
      if (t == leaving) continue;
      auto w = Find(t);
      if (w && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) && !w->destroying &&
          !(w->exStyle & WS_EX_TOOLWINDOW)) {
        next = t;
        break;
      }
    }
  }
  Activate(next, false);
}

void WindowDestroyedFocus(HWND hwnd) {
  FocusState& s = State();
  if (s.focus == hwnd) s.focus = nullptr;
  if (s.capture == hwnd) s.capture = nullptr;
  if (s.active == hwnd) {
    s.active = nullptr;
    if (s.appActive && ThreadTopLevels(GetCurrentThreadId()).size() <= 1) s.appActive = false;
  }
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

HWND GetActiveWindow(void) { return ActiveWindow(); }
HWND GetForegroundWindow(void) { return ActiveWindow(); }

HWND SetActiveWindow(HWND hwnd) {
  HWND old = ActiveWindow();
  if (hwnd) {
    auto w = Get(hwnd);
    if (!w) return nullptr;
    if (w->parent) hwnd = TopLevelOf(hwnd);
    if (w->tid != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
  }
  if (!Activate(hwnd, false)) return nullptr;
  return old;
}

BOOL SetForegroundWindow(HWND hwnd) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  return Activate(TopLevelOf(hwnd), false) ? TRUE : FALSE;
}

HWND GetFocus(void) { return FocusWindow(); }

HWND SetFocus(HWND hwnd) {
  FocusState& s = State();
  HWND old = FocusWindow();
  if (hwnd) {
    auto w = Get(hwnd);
    if (!w) return nullptr;
    if (w->tid != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    if (hwnd == old) return old;
    if (CallHooks(WH_CBT, HCBT_SETFOCUS, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(old))) return nullptr;
    if (!Find(hwnd)) return nullptr;
    // A window of a minimised or disabled top-level window cannot take the focus.
    HWND top = TopLevelOf(hwnd);
    auto tw = Find(top);
    if (!tw || (tw->style & (WS_MINIMIZE | WS_DISABLED))) return nullptr;
    if (ActiveWindow() != top) {
      Activate(top, false);
      if (!Find(hwnd)) return nullptr;
      old = FocusWindow();
      if (old == hwnd) return old;
    }
  } else {
    if (!old) return nullptr;
    if (CallHooks(WH_CBT, HCBT_SETFOCUS, 0, reinterpret_cast<LPARAM>(old))) return nullptr;
  }
  s.focus = hwnd;
  if (old && Find(old)) Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd && s.focus == hwnd && Find(hwnd)) Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetCapture(void) {
  FocusState& s = State();
  if (s.capture && !Find(s.capture)) s.capture = nullptr;
  return s.capture;
}

HWND SetCapture(HWND hwnd) {
  FocusState& s = State();
  HWND old = GetCapture();
  if (hwnd && !Get(hwnd)) return nullptr;
  s.capture = hwnd;
  if (old && old != hwnd) Send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL ReleaseCapture(void) {
  FocusState& s = State();
  HWND old = GetCapture();
  s.capture = nullptr;
  if (old) Send(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

}  // extern "C"
