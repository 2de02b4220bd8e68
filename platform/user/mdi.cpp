// MDI: the "MDIClient" class, the frame's and the children's default procedures.
//
// The client keeps its children in creation order and knows the active one. One child at a
// time may be maximised: it fills the client, every child activated after it is maximised
// in its place, and the frame's caption shows "Frame - [Child]" until it is restored.
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct MdiClient : ControlData {
  HMENU windowMenu = nullptr;
  UINT firstChild = 0;
  HWND active = nullptr;
  std::vector<HWND> children;  // creation order
  bool maximized = false;      // the active child is maximised
  std::u16string frameText;    // the frame's own caption while a child is maximised
};

MdiClient* ClientData(HWND client) {
  auto w = Find(client);
  return w ? dynamic_cast<MdiClient*>(w->control.get()) : nullptr;
}

// The client of an MDI child (its parent), or nullptr when the window is none.
HWND ClientOf(HWND child) {
  HWND parent = GetParent(child);
  return parent && ClientData(parent) ? parent : nullptr;
}

void Prune(MdiClient& c) {
  std::erase_if(c.children, [](HWND h) { return !IsWindow(h); });
  if (c.active && !IsWindow(c.active)) c.active = nullptr;
}

std::u16string TextOf(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::u16string text(static_cast<size_t>(n) + 1, u'\0');
  GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<size_t>(std::max(0, n)));
  return text;
}

// The frame's caption: its own text, with the maximised child's name joined to it.
void ShowFrameText(HWND client, MdiClient& c) {
  HWND frame = GetParent(client);
  if (!frame) return;
  std::u16string text = c.frameText;
  if (c.maximized && c.active) text += u" - [" + TextOf(c.active) + u"]";
  DefWindowProcW(frame, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SetMaximized(HWND client, MdiClient& c, bool on) {
  if (on == c.maximized) {
    if (on) ShowFrameText(client, c);
    return;
  }
  if (on) c.frameText = TextOf(GetParent(client));
  c.maximized = on;
  ShowFrameText(client, c);
  if (HWND frame = GetParent(client))
    SetWindowPos(frame, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void Activate(HWND client, MdiClient& c, HWND child) {
  Prune(c);
  if (child && std::find(c.children.begin(), c.children.end(), child) == c.children.end()) return;
  HWND old = c.active;
  if (old == child) return;
  const bool keepMaximized = c.maximized;
  c.active = child;
  if (old) {
    SendMessageW(old, WM_NCACTIVATE, FALSE, 0);
    SendMessageW(old, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(child));
  }
  if (child) {
    SetWindowPos(child, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(child, WM_NCACTIVATE, TRUE, 0);
    SendMessageW(child, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(child));
    // The maximised state passes to the child activated.
    if (keepMaximized && !IsZoomed(child)) ShowWindow(child, SW_MAXIMIZE);
    if (keepMaximized && old && IsWindow(old) && IsZoomed(old)) ShowWindow(old, SW_RESTORE);
    if (HWND frame = GetParent(client); frame && GetActiveWindow() == frame) SetFocus(child);
  } else {
    SetMaximized(client, c, false);
  }
  if (c.maximized) ShowFrameText(client, c);
}

// The child after `from` in creation order (before it with `previous`), skipping hidden ones.
HWND NextChild(MdiClient& c, HWND from, bool previous) {
  Prune(c);
  const auto& v = c.children;
  if (v.empty()) return nullptr;
  auto it = std::find(v.begin(), v.end(), from);
  size_t i = it == v.end() ? 0 : static_cast<size_t>(it - v.begin());
  for (size_t step = 1; step <= v.size(); ++step) {
    size_t k = previous ? (i + v.size() - step % v.size()) % v.size() : (i + step) % v.size();
    if (IsWindowVisible(v[k])) return v[k];
  }
  return nullptr;
}

// The child leaves the client: another one is activated in its place.
void ChildGone(HWND client, MdiClient& c, HWND child) {
  std::erase(c.children, child);
  if (c.active != child) return;
  const bool wasMaximized = c.maximized;
  c.active = nullptr;
  Prune(c);
  HWND next = nullptr;
  for (auto it = c.children.rbegin(); it != c.children.rend() && !next; ++it)
    if (IsWindowVisible(*it)) next = *it;
  if (!next) {
    SetMaximized(client, c, false);
    return;
  }
  c.maximized = wasMaximized;
  Activate(client, c, next);
}

std::vector<HWND> Arranged(MdiClient& c, bool skipDisabled) {
  Prune(c);
  std::vector<HWND> out;
  for (HWND h : c.children)
    if (IsWindowVisible(h) && !IsIconic(h) && !(skipDisabled && !IsWindowEnabled(h))) out.push_back(h);
  return out;
}

void RestoreMaximized(MdiClient& c) {
  if (c.maximized && c.active && IsZoomed(c.active)) ShowWindow(c.active, SW_RESTORE);
}

int CascadeStep() { return GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME); }

LRESULT Cascade(HWND client, MdiClient& c, WPARAM how) {
  RestoreMaximized(c);
  std::vector<HWND> list = Arranged(c, (how & MDITILE_SKIPDISABLED) != 0);
  if (list.empty()) return FALSE;
  RECT r;
  GetClientRect(client, &r);
  const int step = CascadeStep(), n = static_cast<int>(list.size());
  const int w = std::max(r.right - (n - 1) * step, GetSystemMetrics(SM_CXMINTRACK));
  const int h = std::max(r.bottom - (n - 1) * step, GetSystemMetrics(SM_CYMINTRACK));
  // The active child ends on top, last in the cascade.
  std::stable_partition(list.begin(), list.end(), [&](HWND x) { return x != c.active; });
  for (int i = 0; i < n; ++i)
    SetWindowPos(list[static_cast<size_t>(i)], HWND_TOP, i * step, i * step, w, h, SWP_NOACTIVATE);
  return TRUE;
}

LRESULT Tile(HWND client, MdiClient& c, WPARAM how) {
  RestoreMaximized(c);
  std::vector<HWND> list = Arranged(c, (how & MDITILE_SKIPDISABLED) != 0);
  if (list.empty()) return FALSE;
  RECT r;
  GetClientRect(client, &r);
  const int n = static_cast<int>(list.size());
  // Vertical tiling puts the children side by side, horizontal one under the other.
  const bool horizontal = (how & MDITILE_HORIZONTAL) != 0;
  for (int i = 0; i < n; ++i) {
    const int a = (horizontal ? r.bottom : r.right) * i / n, b = (horizontal ? r.bottom : r.right) * (i + 1) / n;
    if (horizontal)
      SetWindowPos(list[static_cast<size_t>(i)], nullptr, 0, a, r.right, b - a, SWP_NOACTIVATE | SWP_NOZORDER);
    else
      SetWindowPos(list[static_cast<size_t>(i)], nullptr, a, 0, b - a, r.bottom, SWP_NOACTIVATE | SWP_NOZORDER);
  }
  return TRUE;
}

HWND CreateChild(HWND client, MdiClient& c, const MDICREATESTRUCTW& m) {
  Prune(c);
  DWORD style = m.style | WS_CHILD | WS_CLIPSIBLINGS;
  if (!(GetWindowLongW(client, GWL_STYLE) & MDIS_ALLCHILDSTYLES))
    style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  const bool maximize = (style & WS_MAXIMIZE) || c.maximized;
  style &= ~static_cast<DWORD>(WS_MAXIMIZE | WS_VISIBLE);
  RECT r;
  GetClientRect(client, &r);
  const int step = CascadeStep();
  const int slot = static_cast<int>(c.children.size()) % 8;
  const int x = m.x == CW_USEDEFAULT ? slot * step : m.x, y = m.x == CW_USEDEFAULT ? slot * step : m.y;
  const int cx = m.cx == CW_USEDEFAULT ? r.right * 3 / 4 : m.cx, cy = m.cy == CW_USEDEFAULT ? r.bottom * 3 / 4 : m.cy;
  const UINT id = c.firstChild + static_cast<UINT>(c.children.size());
  HWND child = CreateWindowExW(WS_EX_MDICHILD, m.szClass, m.szTitle, style, x, y, cx, cy, client,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), static_cast<HINSTANCE>(m.hOwner),
                               const_cast<MDICREATESTRUCTW*>(&m));
  if (!child) return nullptr;
  if (!ClientData(client)) return child;  // the client went away while the child was made
  c.children.push_back(child);
  ShowWindow(child, maximize ? SW_SHOWMAXIMIZED : SW_SHOW);
  Activate(client, c, child);
  return child;
}

LRESULT MdiClientProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    if (auto w = Find(hwnd)) w->control = std::make_unique<MdiClient>();
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  MdiClient* c = ClientData(hwnd);
  if (!c) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      if (cs && cs->lpCreateParams) {
        auto* ccs = static_cast<CLIENTCREATESTRUCT*>(cs->lpCreateParams);
        c->windowMenu = static_cast<HMENU>(ccs->hWindowMenu);
        c->firstChild = ccs->idFirstChild;
      }
      return 0;
    }
    case WM_MDICREATE:
      if (!lp) return 0;
      return reinterpret_cast<LRESULT>(CreateChild(hwnd, *c, *reinterpret_cast<MDICREATESTRUCTW*>(lp)));
    case WM_MDIDESTROY: {
      HWND child = reinterpret_cast<HWND>(wp);
      if (ClientOf(child) != hwnd) return 0;
      ChildGone(hwnd, *c, child);
      DestroyWindow(child);
      return 0;
    }
    case WM_MDIACTIVATE: Activate(hwnd, *c, reinterpret_cast<HWND>(wp)); return 0;
    case WM_MDIGETACTIVE:
      Prune(*c);
      if (lp) *reinterpret_cast<BOOL*>(lp) = c->maximized && c->active;
      return reinterpret_cast<LRESULT>(c->active);
    case WM_MDIMAXIMIZE:
      if (ClientOf(reinterpret_cast<HWND>(wp)) == hwnd) ShowWindow(reinterpret_cast<HWND>(wp), SW_MAXIMIZE);
      return 0;
    case WM_MDIRESTORE:
      if (ClientOf(reinterpret_cast<HWND>(wp)) == hwnd) ShowWindow(reinterpret_cast<HWND>(wp), SW_RESTORE);
      return 0;
    case WM_MDINEXT: {
      HWND from = wp ? reinterpret_cast<HWND>(wp) : c->active;
      if (HWND next = NextChild(*c, from, lp != 0); next && next != c->active) Activate(hwnd, *c, next);
      return 0;
    }
    case WM_MDITILE: return Tile(hwnd, *c, wp);
    case WM_MDICASCADE: return Cascade(hwnd, *c, wp);
    case WM_MDIICONARRANGE: return 0;
    case WM_MDISETMENU: {
      HWND frame = GetParent(hwnd);
      HMENU old = frame ? GetMenu(frame) : nullptr;
      if (wp && frame) SetMenu(frame, reinterpret_cast<HMENU>(wp));
      if (lp) c->windowMenu = reinterpret_cast<HMENU>(lp);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_MDIREFRESHMENU: {
      HWND frame = GetParent(hwnd);
      return reinterpret_cast<LRESULT>(frame ? GetMenu(frame) : nullptr);
    }
    case WM_SIZE: {
      LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      // The maximised child keeps filling the client.
      if (c->maximized && c->active && IsZoomed(c->active)) {
        MINMAXINFO mmi;
        GetMinMax(c->active, &mmi);
        SetWindowPos(c->active, nullptr, mmi.ptMaxPosition.x, mmi.ptMaxPosition.y, mmi.ptMaxSize.x, mmi.ptMaxSize.y,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return r;
    }
    case WM_SETFOCUS:
      if (c->active && IsWindow(c->active)) SetFocus(c->active);
      return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT FrameProc(bool unicode, HWND hwnd, HWND client, UINT msg, WPARAM wp, LPARAM lp) {
  auto fallback = [&] { return unicode ? DefWindowProcW(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp); };
  MdiClient* c = client ? ClientData(client) : nullptr;
  if (!c) return fallback();
  switch (msg) {
    case WM_SIZE:
      if (wp != SIZE_MINIMIZED) MoveWindow(client, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      return 0;
    case WM_COMMAND: {
      const UINT id = LOWORD(wp);
      Prune(*c);
      if (id >= 0xF000 && c->maximized && c->active) {
        SendMessageW(c->active, WM_SYSCOMMAND, id, lp);
        return 0;
      }
      for (HWND child : c->children)
        if (static_cast<UINT>(GetDlgCtrlID(child)) == id && id >= c->firstChild) {
          if (IsIconic(child)) ShowWindow(child, SW_RESTORE);
          Activate(client, *c, child);
          return 0;
        }
      return fallback();
    }
    case WM_SETFOCUS: SetFocus(client); return 0;
    case WM_SETTEXT: {
      if (!c->maximized) return fallback();
      // The frame's own caption changes; the maximised child's name stays joined to it.
      c->frameText =
          lp ? (unicode ? std::u16string(reinterpret_cast<LPCWSTR>(lp)) : ToWide(reinterpret_cast<LPCSTR>(lp)))
             : std::u16string();
      ShowFrameText(client, *c);
      return TRUE;
    }
    case WM_NCACTIVATE:
      if (c->active && IsWindow(c->active)) SendMessageW(c->active, WM_NCACTIVATE, wp, 0);
      return fallback();
    default: return fallback();
  }
}

LRESULT ChildProc(bool unicode, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto fallback = [&] { return unicode ? DefWindowProcW(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp); };
  HWND client = ClientOf(hwnd);
  MdiClient* c = client ? ClientData(client) : nullptr;
  if (!c) return fallback();
  switch (msg) {
    case WM_SIZE: {
      LRESULT r = fallback();
      if (wp == SIZE_MAXIMIZED) {
        if (c->active != hwnd) Activate(client, *c, hwnd);
        SetMaximized(client, *c, true);
      } else if (c->active == hwnd) {
        SetMaximized(client, *c, false);
      }
      return r;
    }
    case WM_GETMINMAXINFO: {
      LRESULT r = fallback();
      // Maximised, the caption lies above the client: only the client area shows.
      if (auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
          mmi && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        mmi->ptMaxPosition.y -= GetSystemMetrics(SM_CYCAPTION);
        mmi->ptMaxSize.y += GetSystemMetrics(SM_CYCAPTION);
      }
      return r;
    }
    case WM_MOUSEACTIVATE:
      if (c->active != hwnd) Activate(client, *c, hwnd);
      return MA_ACTIVATE;
    case WM_CHILDACTIVATE:
      if (c->active != hwnd) Activate(client, *c, hwnd);
      return 0;
    case WM_SETFOCUS:
      if (c->active != hwnd) Activate(client, *c, hwnd);
      return fallback();
    case WM_CLOSE: SendMessageW(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(hwnd), 0); return 0;
    case WM_SYSCOMMAND:
      switch (wp & 0xFFF0) {
        case SC_NEXTWINDOW:
        case SC_PREVWINDOW:
          SendMessageW(client, WM_MDINEXT, reinterpret_cast<WPARAM>(hwnd), (wp & 0xFFF0) == SC_PREVWINDOW);
          return 0;
        default: return fallback();
      }
    case WM_SETTEXT: {
      LRESULT r = fallback();
      if (c->maximized && c->active == hwnd) ShowFrameText(client, *c);
      return r;
    }
    case WM_DESTROY: ChildGone(client, *c, hwnd); return fallback();
    default: return fallback();
  }
}

}  // namespace

void RegisterMdiClientClass() {
  RegisterSystemClass(u"MDIClient", MdiClientProc, 0, 0, reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1));
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

LRESULT DefFrameProcA(HWND hwnd, HWND client, UINT msg, WPARAM wp, LPARAM lp) {
  return FrameProc(false, hwnd, client, msg, wp, lp);
}
LRESULT DefFrameProcW(HWND hwnd, HWND client, UINT msg, WPARAM wp, LPARAM lp) {
  return FrameProc(true, hwnd, client, msg, wp, lp);
}
LRESULT DefMDIChildProcA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return ChildProc(false, hwnd, msg, wp, lp); }
LRESULT DefMDIChildProcW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return ChildProc(true, hwnd, msg, wp, lp); }

HWND CreateMDIWindowA(LPCSTR cls, LPCSTR title, DWORD style, int x, int y, int cx, int cy, HWND parent,
                      HINSTANCE instance, LPARAM lp) {
  MDICREATESTRUCTA m{cls, title, instance, x, y, cx, cy, style, lp};
  return reinterpret_cast<HWND>(SendMessageA(parent, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&m)));
}
HWND CreateMDIWindowW(LPCWSTR cls, LPCWSTR title, DWORD style, int x, int y, int cx, int cy, HWND parent,
                      HINSTANCE instance, LPARAM lp) {
  MDICREATESTRUCTW m{cls, title, instance, x, y, cx, cy, style, lp};
  return reinterpret_cast<HWND>(SendMessageW(parent, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&m)));
}

}  // extern "C"
