// Input: the injected input queue, its translation into mouse and keyboard messages
// (hit-testing, mouse activation, cursor, double clicks, mouse leave), key state and
// the cursor.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/base/time.h"
#include "platform/base/trace.h"
#include "platform/user/ime.h"
#include "platform/user/internal.h"
#include "platform/user/present.h"
#include "platform/user/queue.h"

namespace kv::user {

namespace {

enum class Kind { Move, Button, Wheel, Key, Char, Ime };

struct Event {
  Kind kind;
  POINT pt{0, 0};
  int vkey = 0;  // buttons: VK_LBUTTON ...; keys
  bool down = false;
  int delta = 0;
  WCHAR ch = 0;
  DWORD time = 0;
  int scan = 0;           // keys from the desktop: the scan code and the extended-key flag
  bool extended = false;
  bool desktop = false;   // from the presenter (the desktop's text input brings the characters)
  UINT ime = 0;           // input-method message, its lParam and text
  LPARAM imeFlags = 0;
  std::u16string text{};
};

struct InputState {
  std::deque<Event> events;
  BYTE keys[256] = {};       // state as seen by the messages retrieved so far
  BYTE asyncKeys[256] = {};  // state as injected
  // Double clicks.
  HWND lastHwnd = nullptr;
  int lastButton = 0;
  DWORD lastTime = 0;
  POINT lastPt{0, 0};
  bool lastWasDouble = false;
  bool lastNonClient = false;
  // TrackMouseEvent
  HWND tracking = nullptr;
  DWORD trackFlags = 0;
  HWND lastMouseHwnd = nullptr;
  // Alt went down and no other key or button since: its release enters the menu.
  bool altAlone = false;
  // The last key message taken that came from the desktop's keyboard.
  MSG desktopKey{};
  // The committed text of the last WM_IME_COMPOSITION taken, for DefWindowProc.
  std::u16string imeResult;
};

// The thread's input state. Other per-thread destructors (a task window's, as a thread
// ends) may still look for input after this one has gone: they get a fresh, empty state
// rather than the freed one.
thread_local InputState* tInput = nullptr;  // trivially destroyed: readable to the end
struct InputOwner {
  ~InputOwner() {
    delete tInput;
    tInput = nullptr;
  }
};

InputState& In() {
  if (!tInput) {
    thread_local InputOwner owner;
    tInput = new InputState;
  }
  return *tInput;
}

std::mutex gCursorLock;
// The cursor as the programs see it: where the last mouse input taken from the queue put
// it (input arrives in order, as it would in real time). `gInjected` is where the
// injected input has taken it so far.
POINT gCursor{0, 0};
POINT gInjected{0, 0};
HCURSOR gCurrentCursor = nullptr;
int gCursorCount = 0;
UINT gDoubleClickTime = 500;

WPARAM MouseKeys(const BYTE* keys) {
  WPARAM mk = 0;
  if (keys[VK_LBUTTON] & 0x80) mk |= MK_LBUTTON;
  if (keys[VK_RBUTTON] & 0x80) mk |= MK_RBUTTON;
  if (keys[VK_MBUTTON] & 0x80) mk |= MK_MBUTTON;
  if (keys[VK_SHIFT] & 0x80) mk |= MK_SHIFT;
  if (keys[VK_CONTROL] & 0x80) mk |= MK_CONTROL;
  return mk;
}

void SetKey(BYTE* keys, int vk, bool down) {
  if (vk < 0 || vk > 255) return;
  if (down) {
    if (!(keys[vk] & 0x80)) keys[vk] ^= 0x01;  // toggle on each press
    keys[vk] |= 0x80;
  } else {
    keys[vk] &= static_cast<BYTE>(~0x80);
  }
  // The generic shift keys follow their left and right forms.
  if (vk == VK_LSHIFT || vk == VK_RSHIFT) SetKey(keys, VK_SHIFT, down);
  if (vk == VK_LCONTROL || vk == VK_RCONTROL) SetKey(keys, VK_CONTROL, down);
  if (vk == VK_LMENU || vk == VK_RMENU) SetKey(keys, VK_MENU, down);
}

// Desktop input for another thread's windows, handed over by the presenter's thread and
// taken into that thread's own input the next time it looks for input.
std::mutex gInboxLock;
std::map<DWORD, std::deque<Event>> gInbox;
std::atomic<size_t> gInboxCount{0};
thread_local DWORD tInjectInto = 0;  // 0: this thread

void SetAsyncKey(const Event& e) {
  if (e.kind == Kind::Button || e.kind == Kind::Key) SetKey(In().asyncKeys, e.vkey, e.down);
}

void TakeInbox() {
  if (!gInboxCount.load(std::memory_order_acquire)) return;
  std::deque<Event> mine;
  {
    std::lock_guard<std::mutex> g(gInboxLock);
    auto it = gInbox.find(GetCurrentThreadId());
    if (it == gInbox.end()) return;
    mine.swap(it->second);
    gInbox.erase(it);
    gInboxCount -= mine.size();
  }
  for (const Event& e : mine) {
    SetAsyncKey(e);
    In().events.push_back(e);
  }
}

void Push(const Event& e) {
  Event ev = e;
  ev.time = KvClockNow();
  DWORD to = tInjectInto;
  if (!to || to == GetCurrentThreadId()) {
    SetAsyncKey(ev);
    In().events.push_back(ev);
    return;
  }
  {
    std::lock_guard<std::mutex> g(gInboxLock);
    gInbox[to].push_back(ev);
    ++gInboxCount;
  }
  // The thread may be waiting for its queue: it wakes and finds the input.
  if (auto q = QueueOf(to, false)) {
    std::lock_guard<std::mutex> g(q->m);
    q->cv.notify_all();
  }
}

// The window that gets mouse input at `pt`, and its hit-test code. Windows answering
// HTTRANSPARENT pass the point on to the windows below them.
HWND MouseTarget(POINT pt, LRESULT* hit) {
  HWND cap = GetCapture();
  if (cap) {
    *hit = HTCLIENT;
    return cap;
  }
  HWND h = WindowFromPoint(pt);
  while (h) {
    LRESULT r = SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
    if (r != HTTRANSPARENT) {
      *hit = r;
      return h;
    }
    // The next sibling below that holds the point, else the parent.
    auto w = Find(h);
    if (!w) return nullptr;
    HWND next = nullptr;
    auto& sib = Siblings(*w);
    auto it = std::find(sib.begin(), sib.end(), h);
    for (++it; it != sib.end() && it > sib.begin(); ++it) {
      auto sw = Find(*it);
      if (!sw || !(sw->style & WS_VISIBLE) || (sw->style & WS_DISABLED)) continue;
      RECT r2 = ScreenRect(*sw);
      if (pt.x >= r2.left && pt.x < r2.right && pt.y >= r2.top && pt.y < r2.bottom) {
        next = *it;
        break;
      }
    }
    h = next ? next : w->parent;
  }
  return nullptr;
}

UINT ButtonMessage(int vk, bool down, bool dbl, bool nc) {
  UINT base = vk == VK_LBUTTON ? WM_LBUTTONDOWN : vk == VK_RBUTTON ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
  UINT m = down ? (dbl ? base + 2 : base) : base + 1;
  if (nc) m = m - WM_LBUTTONDOWN + WM_NCLBUTTONDOWN;
  return m;
}

// Converts the first event into a message. Returns false with `drop` set when the event
// yields none (no window there, eaten by activation or a hook).
bool Translate(const Event& e, MSG* out, bool remove, bool* drop) {
  InputState& s = In();
  *drop = false;
  MSG m{};
  m.time = e.time;
  m.pt = e.pt;
  if (e.kind == Kind::Ime) {
    HWND focus = GetFocus();
    if (!focus) {
      *drop = true;
      return false;
    }
    m.hwnd = focus;
    m.message = e.ime;
    // The composition message carries the latest character.
    if (e.ime == WM_IME_COMPOSITION) {
      m.wParam = e.text.empty() ? 0 : e.text.back();
      m.lParam = e.imeFlags;
    }
    *out = m;
    return true;
  }
  if (e.kind == Kind::Key || e.kind == Kind::Char) {
    HWND focus = GetFocus();
    bool alt = (s.keys[VK_MENU] & 0x80) != 0 || (e.vkey == VK_MENU && e.down);
    if (e.kind == Kind::Char) {
      if (!focus) {
        *drop = true;
        return false;
      }
      m.hwnd = focus;
      m.message = WM_CHAR;
      m.wParam = e.ch;
      m.lParam = 1;
    } else {
      HWND target = focus ? focus : GetActiveWindow();
      if (!target) {
        *drop = true;
        return false;
      }
      bool sys = !focus || (alt && !(s.keys[VK_CONTROL] & 0x80)) || e.vkey == VK_F10;
      m.hwnd = target;
      m.message = e.down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
      m.wParam = static_cast<WPARAM>(e.vkey);
      LPARAM lp = 1;
      if (alt && sys) lp |= 1L << 29;
      lp |= static_cast<LPARAM>(e.scan & 0xFF) << 16;
      if (e.extended) lp |= 1L << 24;
      if (s.keys[e.vkey & 0xFF] & 0x80) lp |= 1L << 30;
      if (!e.down) lp |= (1L << 30) | static_cast<LPARAM>(1UL << 31);
      m.lParam = lp;
      if (HasHook(WH_KEYBOARD) && CallHooks(WH_KEYBOARD, remove ? HC_ACTION : HC_NOREMOVE, m.wParam, m.lParam)) {
        *drop = remove;
        return false;
      }
    }
    *out = m;
    return true;
  }
  if (e.kind == Kind::Wheel) {
    HWND focus = GetFocus();
    if (!focus) focus = GetActiveWindow();
    if (!focus) {
      *drop = true;
      return false;
    }
    m.hwnd = focus;
    m.message = WM_MOUSEWHEEL;
    m.wParam = MAKEWPARAM(MouseKeys(s.keys), static_cast<WORD>(static_cast<SHORT>(e.delta)));
    m.lParam = MAKELPARAM(e.pt.x, e.pt.y);
    // The mouse hook sees the wheel too, with the window under the pointer.
    LRESULT hit = HTNOWHERE;
    HWND under = WindowFromPoint(e.pt);
    if (under) hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(e.pt.x, e.pt.y));
    MOUSEHOOKSTRUCTEX mh{{e.pt, under, static_cast<UINT>(hit), 0},
                         static_cast<DWORD>(static_cast<WORD>(static_cast<SHORT>(e.delta))) << 16};
    if (HasHook(WH_MOUSE) &&
        CallHooks(WH_MOUSE, remove ? HC_ACTION : HC_NOREMOVE, WM_MOUSEWHEEL, reinterpret_cast<LPARAM>(&mh))) {
      *drop = remove;
      return false;
    }
  } else {
    LRESULT hit = HTNOWHERE;
    HWND h = MouseTarget(e.pt, &hit);
    // Leaving a tracked window.
    if (s.tracking && h != s.tracking) {
      HWND t = s.tracking;
      s.tracking = nullptr;
      PostMessageW(t, (s.trackFlags & TME_NONCLIENT) ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0);
    }
    if (!h || hit == HTNOWHERE || hit == HTERROR) {
      *drop = true;
      return false;
    }
    bool nc = hit != HTCLIENT;
    UINT msg;
    bool dbl = false;
    if (e.kind == Kind::Move) {
      msg = nc ? WM_NCMOUSEMOVE : WM_MOUSEMOVE;
    } else {
      if (e.down) {
        auto w = Find(h);
        bool wantsDbl = nc || (w && (w->cls->style & CS_DBLCLKS));
        int cx = GetSystemMetrics(SM_CXDOUBLECLK) / 2, cy = GetSystemMetrics(SM_CYDOUBLECLK) / 2;
        if (wantsDbl && !s.lastWasDouble && s.lastHwnd == h && s.lastButton == e.vkey && s.lastNonClient == nc &&
            e.time - s.lastTime <= gDoubleClickTime && std::abs(e.pt.x - s.lastPt.x) <= cx &&
            std::abs(e.pt.y - s.lastPt.y) <= cy)
          dbl = true;
        if (remove) {
          s.lastHwnd = h;
          s.lastButton = e.vkey;
          s.lastTime = e.time;
          s.lastPt = e.pt;
          s.lastWasDouble = dbl;
          s.lastNonClient = nc;
        }
      }
      msg = ButtonMessage(e.vkey, e.down, dbl, nc);
    }
    if (remove) {
      // A press in a window of an inactive top-level window asks it whether to activate.
      if (e.kind == Kind::Button && e.down && !GetCapture()) {
        HWND top = TopLevelOf(h);
        if (top && top != GetActiveWindow()) {
          LRESULT ma = SendMessageW(h, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top), MAKELPARAM(hit, msg));
          if (ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT) Activate(top, true);
          if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT) {
            *drop = true;
            return false;
          }
        }
      }
      if (Find(h) && !GetCapture()) SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(hit, msg));
      if (!Find(h)) {
        *drop = true;
        return false;
      }
    }
    m.hwnd = h;
    m.message = msg;
    if (nc) {
      m.wParam = static_cast<WPARAM>(hit);
      m.lParam = MAKELPARAM(e.pt.x, e.pt.y);
    } else {
      POINT c = e.pt;
      ScreenToClient(h, &c);
      BYTE keys[256];
      std::copy(std::begin(s.keys), std::end(s.keys), keys);
      if (e.kind == Kind::Button) SetKey(keys, e.vkey, e.down);
      m.wParam = MouseKeys(keys);
      m.lParam = MAKELPARAM(c.x, c.y);
    }
    MOUSEHOOKSTRUCTEX mh{{e.pt, h, static_cast<UINT>(hit), 0}, 0};
    if (HasHook(WH_MOUSE) &&
        CallHooks(WH_MOUSE, remove ? HC_ACTION : HC_NOREMOVE, msg, reinterpret_cast<LPARAM>(&mh))) {
      *drop = remove;
      return false;
    }
    if (remove && e.kind == Kind::Button && e.down && !nc && !dbl) ButtonParentNotify(h, msg, e.pt);
  }
  *out = m;
  return true;
}

}  // namespace

void InjectInto(DWORD tid) { tInjectInto = tid; }

bool HasInput() {
  TakeInbox();
  return !In().events.empty();
}
bool AltPressedAlone() { return In().altAlone; }
DWORD InputPending() {
  TakeInbox();
  return static_cast<DWORD>(In().events.size());
}

bool NextInputMessage(MSG* out, HWND filter, UINT fmin, UINT fmax, bool remove) {
  TakeInbox();
  InputState& s = In();
  while (!s.events.empty()) {
    Event e = s.events.front();
    bool drop = false;
    MSG m;
    bool ok = Translate(e, &m, remove, &drop);
    if (!ok) {
      if (drop || remove) {
        if (e.kind == Kind::Button || e.kind == Kind::Key) SetKey(s.keys, e.vkey, e.down);
        if (e.kind == Kind::Move || e.kind == Kind::Button || e.kind == Kind::Wheel) {
          std::lock_guard<std::mutex> g(gCursorLock);
          gCursor = e.pt;
        }
        s.events.pop_front();
        continue;
      }
      return false;
    }
    bool match = true;
    if (filter && m.hwnd != filter && !IsChild(filter, m.hwnd)) match = false;
    if ((fmin || fmax) && (m.message < fmin || m.message > fmax)) match = false;
    if (!match) return false;
    if (remove) {
      if ((e.kind == Kind::Button || e.kind == Kind::Key) && e.down) {
        bool alt = e.vkey == VK_MENU || e.vkey == VK_LMENU || e.vkey == VK_RMENU;
        if (!alt || !(s.keys[VK_MENU] & 0x80)) s.altAlone = alt;
      }
      if (e.kind == Kind::Button || e.kind == Kind::Key) SetKey(s.keys, e.vkey, e.down);
      if (e.kind == Kind::Move || e.kind == Kind::Button || e.kind == Kind::Wheel) {
        std::lock_guard<std::mutex> g(gCursorLock);
        gCursor = e.pt;
      }
      if (e.kind == Kind::Key && e.desktop) s.desktopKey = m;
      if (e.kind == Kind::Ime && e.ime == WM_IME_COMPOSITION)
        s.imeResult = (e.imeFlags & GCS_RESULTSTR) ? e.text : std::u16string();
      s.events.pop_front();
    }
    *out = m;
    return true;
  }
  return false;
}

namespace {

// An event from the desktop, where the injected pointer is.
Event DesktopEvent(Kind kind) {
  Event e{kind};
  std::lock_guard<std::mutex> g(gCursorLock);
  e.pt = gInjected;
  e.desktop = true;
  return e;
}

}  // namespace

void InjectDesktopKey(int vkey, int scan, bool extended, bool down) {
  if (vkey <= 0 || vkey > 254) return;
  Event e = DesktopEvent(Kind::Key);
  e.vkey = vkey;
  e.down = down;
  e.scan = scan;
  e.extended = extended;
  Push(e);
}

void InjectImeMessage(UINT msg, LPARAM flags, const std::u16string& text) {
  Event e = DesktopEvent(Kind::Ime);
  e.ime = msg;
  e.imeFlags = flags;
  e.text = text;
  Push(e);
}

std::u16string ImeResult() { return In().imeResult; }

bool KeyFromDesktop(const MSG& m) {
  const MSG& d = In().desktopKey;
  return d.message && d.hwnd == m.hwnd && d.message == m.message && d.wParam == m.wParam && d.lParam == m.lParam &&
         d.time == m.time;
}

void ResetInput() {
  In() = InputState{};
  {
    std::lock_guard<std::mutex> g(gInboxLock);
    auto it = gInbox.find(GetCurrentThreadId());
    if (it != gInbox.end()) {
      gInboxCount -= it->second.size();
      gInbox.erase(it);
    }
  }
  std::lock_guard<std::mutex> g(gCursorLock);
  gCursor = POINT{0, 0};
  gInjected = POINT{0, 0};
  gCurrentCursor = nullptr;
  gCursorCount = 0;
  gDoubleClickTime = 500;
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

static POINT Injected() {
  std::lock_guard<std::mutex> g(gCursorLock);
  return gInjected;
}

void KvInjectMouseMove(int x, int y) {
  {
    std::lock_guard<std::mutex> g(gCursorLock);
    gInjected = POINT{x, y};
  }
  Event e{Kind::Move};
  e.pt = POINT{x, y};
  Push(e);
}

void KvInjectMouseButton(int button, BOOL down) {
  if (button != VK_LBUTTON && button != VK_RBUTTON && button != VK_MBUTTON) return;
  Event e{Kind::Button};
  e.pt = Injected();
  e.vkey = button;
  e.down = down != FALSE;
  Push(e);
}

void KvInjectClick(int x, int y) {
  KvInjectMouseMove(x, y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
}

void KvInjectMouseWheel(int x, int y, int delta) {
  KvInjectMouseMove(x, y);
  Event e{Kind::Wheel};
  e.pt = POINT{x, y};
  e.delta = delta;
  Push(e);
}

void KvInjectKey(int vkey, BOOL down) {
  if (vkey <= 0 || vkey > 254) return;
  Event e{Kind::Key};
  e.pt = Injected();
  e.vkey = vkey;
  e.down = down != FALSE;
  Push(e);
}

void KvInjectChar(WCHAR ch) {
  Event e{Kind::Char};
  e.pt = Injected();
  e.ch = ch;
  Push(e);
}

DWORD KvInjectPending(void) { return InputPending(); }

SHORT GetKeyState(int vkey) {
  if (vkey < 0 || vkey > 255) return 0;
  BYTE b = In().keys[vkey];
  return static_cast<SHORT>(((b & 0x80) ? 0xFF80 : 0) | (b & 0x01));
}

SHORT GetAsyncKeyState(int vkey) {
  if (vkey < 0 || vkey > 255) return 0;
  return (In().asyncKeys[vkey] & 0x80) ? static_cast<SHORT>(0x8000) : 0;
}

BOOL GetKeyboardState(BYTE* state) {
  if (!state) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::copy(std::begin(In().keys), std::end(In().keys), state);
  return TRUE;
}

BOOL GetCursorPos(LPPOINT point) {
  if (!point) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // On a desktop the cursor is the desktop's pointer, wherever it went.
  if (present::PointerPos(point)) return TRUE;
  std::lock_guard<std::mutex> g(gCursorLock);
  *point = gCursor;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  // The cursor moves at once; the windows hear of it through a mouse move (on a desktop
  // the desktop reports the pointer's move to the window under it).
  {
    std::lock_guard<std::mutex> g(gCursorLock);
    gCursor = POINT{x, y};
  }
  if (!present::MovePointer(x, y)) KvInjectMouseMove(x, y);
  return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor) {
  std::lock_guard<std::mutex> g(gCursorLock);
  HCURSOR old = gCurrentCursor;
  gCurrentCursor = cursor;
  return old;
}

HCURSOR GetCursor(void) {
  std::lock_guard<std::mutex> g(gCursorLock);
  return gCurrentCursor;
}

int ShowCursor(BOOL show) {
  std::lock_guard<std::mutex> g(gCursorLock);
  gCursorCount += show ? 1 : -1;
  return gCursorCount;
}

// The platform's own cursors and icons have fixed handles; resources of modules are not
// part of this window system.
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
static HICON BuiltinImage(HINSTANCE instance, ULONG_PTR id, bool cursor) {
  bool known = cursor ? ((id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651)) : (id >= 32512 && id <= 32518);
  if (instance || !known) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HICON>((cursor ? 0x30000 : 0x40000) + (id - 32512) * 4);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (!IS_INTRESOURCE(name)) return BuiltinImage(instance, 0, true);
  return BuiltinImage(instance, reinterpret_cast<ULONG_PTR>(name), true);
}
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return BuiltinImage(instance, 0, true);
  return BuiltinImage(instance, reinterpret_cast<ULONG_PTR>(name), true);
}
HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (!IS_INTRESOURCE(name)) return BuiltinImage(instance, 0, false);
  return BuiltinImage(instance, reinterpret_cast<ULONG_PTR>(name), false);
}
HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return BuiltinImage(instance, 0, false);
  return BuiltinImage(instance, reinterpret_cast<ULONG_PTR>(name), false);
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track) {
  if (!track || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  InputState& s = In();
  if (track->dwFlags & TME_QUERY) {
    track->dwFlags = s.tracking ? (s.trackFlags & (TME_LEAVE | TME_NONCLIENT)) : 0;
    track->hwndTrack = s.tracking;
    track->dwHoverTime = 0;
    return TRUE;
  }
  if (!Get(track->hwndTrack)) return FALSE;
  if (track->dwFlags & TME_CANCEL) {
    if (s.tracking == track->hwndTrack) s.tracking = nullptr;
    return TRUE;
  }
  if (track->dwFlags & TME_HOVER) {
    // Hover tracking has no caller here; it fails rather than never firing.
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (track->dwFlags & TME_LEAVE) {
    POINT p;
    GetCursorPos(&p);
    LRESULT hit = HTNOWHERE;
    HWND under = WindowFromPoint(p);
    if (under == track->hwndTrack) hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    bool ncWanted = (track->dwFlags & TME_NONCLIENT) != 0;
    bool inside = under == track->hwndTrack && (ncWanted ? hit != HTCLIENT : hit == HTCLIENT);
    if (!inside) {
      PostMessageW(track->hwndTrack, ncWanted ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0);
      return TRUE;
    }
    s.tracking = track->hwndTrack;
    s.trackFlags = track->dwFlags;
  }
  return TRUE;
}

UINT GetDoubleClickTime(void) { return gDoubleClickTime; }
BOOL SetDoubleClickTime(UINT milliseconds) {
  gDoubleClickTime = milliseconds ? milliseconds : 500;
  return TRUE;
}

BOOL MessageBeep(UINT) {
  KvTrace("user", "beep");
  return TRUE;
}

}  // extern "C"
