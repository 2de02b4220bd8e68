// The menu loop of TrackPopupMenu and the menu bar, with its "#32768" popup windows: layout,
// painting, the bar's geometry and tracking. The loop runs on injected input (WH_MSGFILTER
// sees MSGF_MENU) and ends when it runs out.
#include <algorithm>
#include <cstring>

#include "platform/base/error.h"
#include "platform/user/internal.h"
#include "platform/user/menu_model.h"

namespace kv::user {

namespace {

// ---- Layout and painting -------------------------------------------------------------------------------
HFONT MenuFont() {
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  return CreateFontIndirectW(&ncm.lfMenuFont);
}

SIZE TextSize(const std::u16string& t) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT f = MenuFont();
  HGDIOBJ old = SelectObject(dc, f);
  SIZE s{0, 0};
  std::u16string shown;
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i] != u'&' || (i + 1 < t.size() && t[i + 1] == u'&' && ++i)) shown += t[i];
  size_t tab = shown.find(u'\t');
  GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &s);
  if (tab != std::u16string::npos) s.cx += 16;
  SelectObject(dc, old);
  DeleteObject(f);
  DeleteDC(dc);
  return s;
}

const int kSeparatorHeight = 9;
// Width of the frame around a popup menu's items (its non-client area).
const int kPopupFrame = 3;

// Lays out a popup menu's items in a column; returns the window size.
SIZE LayoutPopup(HMENU h, HWND owner) {
  auto m = FindMenu(h);
  SIZE total{0, 0};
  if (!m) return total;
  int check = Metric(SM_CXMENUCHECK) + 4;
  int y = 0, width = 0;
  for (size_t i = 0; i < m->items.size(); ++i) {
    MenuItem& it = m->items[i];
    int ih, iw;
    if (it.type & MFT_SEPARATOR) {
      ih = kSeparatorHeight;
      iw = 0;
    } else if (it.type & MFT_OWNERDRAW) {
      MEASUREITEMSTRUCT mis{};
      mis.CtlType = ODT_MENU;
      mis.itemID = it.id;
      mis.itemData = it.data;
      mis.itemHeight = static_cast<UINT>(Metric(SM_CYMENU));
      if (owner) SendMessageW(owner, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
      ih = static_cast<int>(mis.itemHeight);
      iw = static_cast<int>(mis.itemWidth);
    } else {
      SIZE s = TextSize(it.text);
      ih = std::max<int>(Metric(SM_CYMENU), s.cy + 4);
      iw = s.cx;
    }
    it.rect = RECT{0, y, 0, y + ih};
    width = std::max(width, iw + 2 * check + 8);
    y += ih;
  }
  width = std::max(width, 60);
  for (auto& it : m->items) it.rect.right = width;
  // The window adds its frame around the items (WM_NCCALCSIZE of the popup window).
  total = SIZE{width + 2 * kPopupFrame, y + 2 * kPopupFrame};
  return total;
}

void DrawItemText(HDC hdc, const MenuItem& it, RECT r, bool selected) {
  bool grey = (it.state & (MF_GRAYED | MF_DISABLED)) != 0;
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, GetSysColor(grey ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  std::u16string t = it.text, acc;
  size_t tab = t.find(u'\t');
  if (tab != std::u16string::npos) {
    acc = t.substr(tab + 1);
    t.resize(tab);
  }
  DrawTextW(hdc, t.c_str(), static_cast<int>(t.size()), &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  if (!acc.empty()) {
    RECT a = r;
    a.right -= 4;
    DrawTextW(hdc, acc.c_str(), static_cast<int>(acc.size()), &a, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  }
}

void PaintPopup(HWND hwnd, HDC hdc, HMENU h, int selected, HWND owner) {
  auto m = FindMenu(h);
  auto w = Find(hwnd);
  if (!m || !w) return;
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  FillRect(hdc, &r, GetSysColorBrush(COLOR_MENU));
  HFONT f = MenuFont();
  HGDIOBJ old = SelectObject(hdc, f);
  int check = Metric(SM_CXMENUCHECK) + 4;
  for (size_t i = 0; i < m->items.size(); ++i) {
    const MenuItem& it = m->items[i];
    bool sel = static_cast<int>(i) == selected;
    if (it.type & MFT_SEPARATOR) {
      RECT s{it.rect.left + 1, (it.rect.top + it.rect.bottom) / 2 - 1, it.rect.right - 1,
             (it.rect.top + it.rect.bottom) / 2 + 1};
      DrawEdge(hdc, &s, EDGE_ETCHED, BF_TOP);
      continue;
    }
    if (it.type & MFT_OWNERDRAW) {
      DRAWITEMSTRUCT dis{};
      dis.CtlType = ODT_MENU;
      dis.itemID = it.id;
      dis.itemAction = ODA_DRAWENTIRE;
      dis.itemState = (sel ? ODS_SELECTED : 0) | ((it.state & MF_CHECKED) ? ODS_CHECKED : 0) |
                      ((it.state & MF_GRAYED) ? ODS_GRAYED : 0) | ((it.state & MF_DISABLED) ? ODS_DISABLED : 0);
      dis.hwndItem = reinterpret_cast<HWND>(h);
      dis.hDC = hdc;
      dis.rcItem = it.rect;
      dis.itemData = it.data;
      if (owner) SendMessageW(owner, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
      continue;
    }
    if (sel) FillRect(hdc, &it.rect, GetSysColorBrush(COLOR_HIGHLIGHT));
    if (it.state & MF_CHECKED) {
      RECT c{it.rect.left + 4, it.rect.top + 5, it.rect.left + 4 + 7, it.rect.bottom - 5};
      FillRect(hdc, &c, GetSysColorBrush(sel ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    }
    RECT t{it.rect.left + check, it.rect.top, it.rect.right - check, it.rect.bottom};
    DrawItemText(hdc, it, t, sel);
    if (it.sub) {
      int cx = it.rect.right - 8, cy = (it.rect.top + it.rect.bottom) / 2;
      for (int k = 0; k < 4; ++k) {
        RECT a{cx + k, cy - 3 + k, cx + k + 1, cy + 4 - k};
        FillRect(hdc, &a, GetSysColorBrush(sel ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
      }
    }
  }
  SelectObject(hdc, old);
  DeleteObject(f);
}

// ---- The "#32768" window ------------------------------------------------------------------------------
struct PopupState : ControlData {
  HMENU menu = nullptr;
  int selected = -1;
  HWND owner = nullptr;
};

PopupState* PState(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !w->control) return nullptr;
  return static_cast<PopupState*>(w->control.get());
}

LRESULT PopupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCCREATE: {
      auto cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      auto st = std::make_unique<PopupState>();
      if (cs && cs->lpCreateParams) st->menu = reinterpret_cast<HMENU>(cs->lpCreateParams);
      w->control = std::move(st);
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    case MN_GETHMENU: {
      PopupState* st = PState(hwnd);
      return st ? reinterpret_cast<LRESULT>(st->menu) : 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      PopupState* st = PState(hwnd);
      if (hdc && st) PaintPopup(hwnd, hdc, st->menu, st->selected, st->owner);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT: {
      PopupState* st = PState(hwnd);
      if (st) PaintPopup(hwnd, reinterpret_cast<HDC>(wp), st->menu, st->selected, st->owner);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_NCCALCSIZE:
      // A popup menu keeps a frame of kPopupFrame pixels in its non-client area.
      InflateRect(wp ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lp)->rgrc[0] : reinterpret_cast<RECT*>(lp), -kPopupFrame,
                  -kPopupFrame);
      return 0;
    case WM_NCPAINT: {
      HDC hdc = GetWindowDC(hwnd);
      if (!hdc) return 0;
      RECT wr;
      GetWindowRect(hwnd, &wr);
      RECT e{0, 0, wr.right - wr.left, wr.bottom - wr.top};
      FillRect(hdc, &e, GetSysColorBrush(COLOR_MENU));
      DrawEdge(hdc, &e, EDGE_RAISED, BF_RECT);
      ReleaseDC(hwnd, hdc);
      return 0;
    }
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---- The menu loop ---------------------------------------------------------------------------------------
struct Level {
  HMENU menu;
  HWND window;
};

struct Tracker {
  HWND owner;
  std::vector<Level> levels;
  bool notify;
  bool system;
  bool ended = false;
  UINT chosen = 0;
  bool barMode = false;
  HWND barWindow = nullptr;
  int barItem = -1;
};

Tracker* gTracker = nullptr;

void Select(Tracker& t, size_t level, int index) {
  Level& l = t.levels[level];
  PopupState* st = PState(l.window);
  if (!st || st->selected == index) return;
  st->selected = index;
  InvalidateRect(l.window, nullptr, FALSE);
  UpdateWindow(l.window);
  auto m = FindMenu(l.menu);
  if (!m) return;
  if (index >= 0 && static_cast<size_t>(index) < m->items.size()) {
    const MenuItem& it = m->items[size_t(index)];
    UINT flags = it.state | (it.sub ? MF_POPUP : 0) | (it.type & (MF_OWNERDRAW | MF_BITMAP | MF_SEPARATOR)) |
                 MF_HILITE | (t.system ? MF_SYSMENU : 0);
    WORD first = it.sub ? static_cast<WORD>(index) : static_cast<WORD>(it.id);
    SendMessageW(t.owner, WM_MENUSELECT, MAKEWPARAM(first, flags), reinterpret_cast<LPARAM>(l.menu));
  }
}

HWND OpenPopup(Tracker& t, HMENU h, int x, int y, UINT position) {
  if (t.notify)
    SendMessageW(t.owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(h), MAKELPARAM(position, t.system ? 1 : 0));
  SIZE s = LayoutPopup(h, t.owner);
  int sw = Metric(SM_CXSCREEN), sh = Metric(SM_CYSCREEN);
  if (x + s.cx > sw) x = std::max(0, sw - s.cx);
  if (y + s.cy > sh) y = std::max(0, sh - s.cy);
  HWND w = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, u"#32768", nullptr, WS_POPUP | WS_CLIPSIBLINGS, x, y, s.cx,
                           s.cy, t.owner, nullptr, nullptr, reinterpret_cast<LPVOID>(h));
  if (!w) return nullptr;
  if (PopupState* st = PState(w)) st->owner = t.owner;
  if (auto m = FindMenu(h)) m->hwnd = w;
  SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  UpdateWindow(w);  // a menu appears drawn at once
  t.levels.push_back(Level{h, w});
  return w;
}

void CloseFrom(Tracker& t, size_t level) {
  while (t.levels.size() > level) {
    Level l = t.levels.back();
    t.levels.pop_back();
    if (auto m = FindMenu(l.menu)) m->hwnd = nullptr;
    if (IsWindow(l.window)) DestroyWindow(l.window);
    if (t.notify) SendMessageW(t.owner, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(l.menu), 0);
  }
}

// The level and item under a screen point; false when the point is on no menu window.
bool HitItem(Tracker& t, POINT p, size_t* level, int* index) {
  for (size_t i = t.levels.size(); i-- > 0;) {
    auto w = Find(t.levels[i].window);
    if (!w) continue;
    RECT r = ScreenRect(*w);
    if (!PtInRect(&r, p)) continue;
    *level = i;
    *index = -1;
    POINT c{p.x - w->client.left, p.y - w->client.top};
    auto m = FindMenu(t.levels[i].menu);
    if (m)
      for (size_t k = 0; k < m->items.size(); ++k)
        if (PtInRect(&m->items[k].rect, c)) *index = static_cast<int>(k);
    return true;
  }
  return false;
}

bool Enabled(const MenuItem& it) { return !(it.state & (MF_GRAYED | MF_DISABLED)) && !(it.type & MFT_SEPARATOR); }

void OpenSub(Tracker& t, size_t level, int index) {
  CloseFrom(t, level + 1);
  auto m = FindMenu(t.levels[level].menu);
  if (!m || index < 0 || static_cast<size_t>(index) >= m->items.size()) return;
  const MenuItem& it = m->items[size_t(index)];
  if (!it.sub || !Enabled(it)) return;
  auto w = Find(t.levels[level].window);
  if (!w) return;
  OpenPopup(t, it.sub, w->rect.left + it.rect.right - 2, w->rect.top + it.rect.top, static_cast<UINT>(index));
}

void Choose(Tracker& t, size_t level, int index) {
  auto m = FindMenu(t.levels[level].menu);
  if (!m || index < 0 || static_cast<size_t>(index) >= m->items.size()) return;
  const MenuItem& it = m->items[size_t(index)];
  if (!Enabled(it)) return;
  if (it.sub) {
    OpenSub(t, level, index);
    return;
  }
  t.chosen = it.id;
  t.ended = true;
}

void Step(Tracker& t, int dir) {
  size_t level = t.levels.size() - 1;
  auto m = FindMenu(t.levels[level].menu);
  PopupState* st = PState(t.levels[level].window);
  if (!m || !st || m->items.empty()) return;
  int n = static_cast<int>(m->items.size());
  int i = st->selected;
  for (int k = 0; k < n; ++k) {
    i = (i + dir + n) % n;
    if (!(m->items[size_t(i)].type & MFT_SEPARATOR)) break;
  }
  Select(t, level, i);
}

bool IsMouse(UINT m) {
  return (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) || (m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK);
}

int BarItemAt(HWND hwnd, POINT screen);

bool PressOutside(Tracker& t, const MSG& msg) {
  if (msg.message != WM_LBUTTONDOWN && msg.message != WM_RBUTTONDOWN && msg.message != WM_NCLBUTTONDOWN &&
      msg.message != WM_NCRBUTTONDOWN)
    return false;
  POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
  if (msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN) ClientToScreen(msg.hwnd, &p);
  size_t level = 0;
  int index = -1;
  if (HitItem(t, p, &level, &index)) return false;
  // A press on the bar item whose menu is open only closes it: the loop takes it.
  return !(t.barMode && msg.hwnd == t.owner && msg.message == WM_NCLBUTTONDOWN && t.barItem >= 0 &&
           BarItemAt(t.owner, p) == t.barItem);
}

void RunLoop(Tracker& t) {
  MSG msg;
  while (!t.ended && !t.levels.empty()) {
    if (!ModalInputPending()) break;  // the scripted input has run out
    // A press outside the menus dismisses them and stays in the queue for the window it
    // was meant for (a click on another item of a menu bar opens that item).
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) break;
    if (PressOutside(t, msg)) break;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) break;
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (CallMsgFilterW(&msg, MSGF_MENU)) continue;
    bool mouse = IsMouse(msg.message);
    if (mouse) {
      POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
      if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) ClientToScreen(msg.hwnd, &p);
      size_t level = 0;
      int index = -1;
      bool on = HitItem(t, p, &level, &index);
      switch (msg.message) {
        case WM_MOUSEMOVE:
        case WM_NCMOUSEMOVE:
          if (on) {
            Select(t, level, index);
            if (index >= 0) OpenSub(t, level, index);
          }
          break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
        case WM_NCRBUTTONDOWN:
          if (!on) t.ended = true;  // a press elsewhere dismisses the menu
          break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_NCLBUTTONUP:
        case WM_NCRBUTTONUP:
          if (on && index >= 0) Choose(t, level, index);
          break;
        default: break;
      }
      continue;
    }
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
      size_t level = t.levels.size() - 1;
      PopupState* st = PState(t.levels[level].window);
      switch (msg.wParam) {
        case VK_DOWN: Step(t, 1); break;
        case VK_UP: Step(t, -1); break;
        case VK_RIGHT:
          if (st && st->selected >= 0) OpenSub(t, level, st->selected);
          if (t.levels.size() > level + 1) Step(t, 1);
          break;
        case VK_LEFT:
        case VK_ESCAPE:
          if (level > 0)
            CloseFrom(t, level);
          else
            t.ended = true;
          break;
        case VK_RETURN:
          if (st && st->selected >= 0) {
            Choose(t, level, st->selected);
            if (t.levels.size() > level + 1) Step(t, 1);
          }
          break;
        case VK_MENU:
        case VK_F10: t.ended = true; break;
        default: break;
      }
      continue;
    }
    if (msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP || msg.message == WM_CHAR || msg.message == WM_SYSCHAR)
      continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

UINT Track(HMENU h, UINT flags, int x, int y, HWND owner, bool system, bool bar, int barItem) {
  if (!FindMenu(h)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return 0;
  }
  if (!Get(owner)) return 0;
  if (gTracker) {
    SetLastError(ERROR_POPUP_ALREADY_ACTIVE);
    return 0;
  }
  Tracker t;
  t.owner = owner;
  t.notify = !(flags & TPM_NONOTIFY);
  t.system = system;
  t.barMode = bar;
  t.barItem = barItem;
  gTracker = &t;
  SendMessageW(owner, WM_ENTERMENULOOP, bar ? FALSE : TRUE, 0);
  if (bar && t.notify) SendMessageW(owner, WM_INITMENU, reinterpret_cast<WPARAM>(GetMenu(owner)), 0);
  if (!bar && t.notify) SendMessageW(owner, WM_INITMENU, reinterpret_cast<WPARAM>(h), 0);
  if (IsWindow(owner)) {
    // Alignment to the point.
    SIZE s = LayoutPopup(h, owner);
    if (flags & TPM_RIGHTALIGN)
      x -= s.cx;
    else if (flags & TPM_CENTERALIGN)
      x -= s.cx / 2;
    if (flags & TPM_BOTTOMALIGN)
      y -= s.cy;
    else if (flags & TPM_VCENTERALIGN)
      y -= s.cy / 2;
    if (OpenPopup(t, h, x, y, static_cast<UINT>(std::max(barItem, 0)))) RunLoop(t);
  }
  CloseFrom(t, 0);
  gTracker = nullptr;
  if (IsWindow(owner)) {
    SendMessageW(owner, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    SendMessageW(owner, WM_EXITMENULOOP, bar ? FALSE : TRUE, 0);
    if (t.chosen && !(flags & TPM_RETURNCMD)) {
      if (system)
        PostMessageW(owner, WM_SYSCOMMAND, t.chosen, 0);
      else
        PostMessageW(owner, WM_COMMAND, t.chosen, 0);
    }
  }
  return t.chosen;
}

// ---- Menu bar geometry --------------------------------------------------------------------------------------
// Lays the bar's items out in window coordinates of `hwnd`; the bar band's rectangle.
bool BarRect(const Window& w, RECT* bar) {
  if ((w.style & WS_CHILD) || !w.menu) return false;
  int fx, fy;
  FrameSize(w.style, w.exStyle, &fx, &fy);
  int top =
      fy + (HasCaption(w.style) ? ((w.exStyle & WS_EX_TOOLWINDOW) ? Metric(SM_CYSMCAPTION) : Metric(SM_CYCAPTION)) : 0);
  *bar = RECT{fx, top, (w.rect.right - w.rect.left) - fx, top + Metric(SM_CYMENU)};
  return true;
}

void LayoutBar(const Window& w) {
  RECT bar;
  if (!BarRect(w, &bar)) return;
  auto m = FindMenu(w.menu);
  if (!m) return;
  int x = bar.left;
  for (auto& it : m->items) {
    SIZE s = (it.type & MFT_SEPARATOR) ? SIZE{8, 0} : TextSize(it.text);
    it.rect = RECT{x, bar.top, x + s.cx + 16, bar.bottom};
    x = it.rect.right;
  }
}

// The item of the window's menu bar under a screen point, -1 when none.
int BarItemAt(HWND hwnd, POINT screen) {
  auto w = Find(hwnd);
  if (!w || !w->menu) return -1;
  auto m = FindMenu(w->menu);
  if (!m) return -1;
  LayoutBar(*w);
  POINT o = WindowOrigin(*w);
  POINT p{screen.x - o.x, screen.y - o.y};
  for (size_t i = 0; i < m->items.size(); ++i)
    if (PtInRect(&m->items[i].rect, p)) return static_cast<int>(i);
  return -1;
}

}  // namespace

void DrawMenuBarInto(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  RECT bar;
  if (!BarRect(*w, &bar)) return;
  FillRect(hdc, &bar, GetSysColorBrush(COLOR_MENU));
  auto m = FindMenu(w->menu);
  if (!m) return;
  LayoutBar(*w);
  HFONT f = MenuFont();
  HGDIOBJ old = SelectObject(hdc, f);
  int open = (gTracker && gTracker->barMode && gTracker->owner == hwnd) ? gTracker->barItem : -1;
  for (size_t i = 0; i < m->items.size(); ++i) {
    const MenuItem& it = m->items[i];
    if (it.type & MFT_SEPARATOR) continue;
    bool sel = static_cast<int>(i) == open;
    if (sel) {
      RECT e = it.rect;
      DrawEdge(hdc, &e, BDR_SUNKENOUTER, BF_RECT);
    }
    RECT t = it.rect;
    t.left += 8;
    DrawItemText(hdc, it, t, false);
  }
  SelectObject(hdc, old);
  DeleteObject(f);
}

namespace {

// Opens item `item` of the window's menu bar (a command item on the bar posts its command).
void OpenBarItem(HWND hwnd, int item) {
  auto w = Find(hwnd);
  auto m = w ? FindMenu(w->menu) : nullptr;
  if (!m || item < 0 || item >= static_cast<int>(m->items.size())) return;
  LayoutBar(*w);
  MenuItem it = m->items[size_t(item)];
  POINT o = WindowOrigin(*w);
  if (!it.sub) {
    // A command on the bar itself.
    if (Enabled(it)) PostMessageW(hwnd, WM_COMMAND, it.id, 0);
    return;
  }
  RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
  Track(it.sub, 0, o.x + it.rect.left, o.y + it.rect.bottom, hwnd, false, true, item);
  if (IsWindow(hwnd)) RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

WCHAR FoldCase(WCHAR c) { return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - u'a' + u'A') : c; }

// The character after a single "&" of an item's text (0 when none).
WCHAR Mnemonic(const std::u16string& t) {
  for (size_t i = 0; i + 1 < t.size(); ++i)
    if (t[i] == u'&') {
      if (t[i + 1] != u'&') return t[i + 1];
      ++i;
    }
  return 0;
}

}  // namespace

void MenuBarTrack(HWND hwnd, POINT screen, bool keyboard) {
  auto w = Find(hwnd);
  if (!w || !w->menu) return;
  auto m = FindMenu(w->menu);
  if (!m || m->items.empty()) return;
  OpenBarItem(hwnd, keyboard ? 0 : BarItemAt(hwnd, screen));
}

bool MenuBarTrackKey(HWND hwnd, WCHAR key) {
  auto w = Find(hwnd);
  auto m = w ? FindMenu(w->menu) : nullptr;
  if (!m) return false;
  for (size_t i = 0; i < m->items.size(); ++i)
    if (!(m->items[i].type & MFT_SEPARATOR) && FoldCase(Mnemonic(m->items[i].text)) == FoldCase(key)) {
      OpenBarItem(hwnd, static_cast<int>(i));
      return true;
    }
  return false;
}

bool IsOverMenuBarItem(HWND hwnd, POINT screen) {
  auto w = Find(hwnd);
  if (!w || !w->menu) return false;
  LayoutBar(*w);
  auto m = FindMenu(w->menu);
  if (!m) return false;
  POINT o = WindowOrigin(*w);
  POINT p{screen.x - o.x, screen.y - o.y};
  for (auto& it : m->items)
    if (PtInRect(&it.rect, p)) return true;
  return false;
}

void SystemMenuTrack(HWND hwnd, POINT screen) {
  HMENU sys = GetSystemMenu(hwnd, FALSE);
  if (!sys) return;
  Track(sys, 0, screen.x, screen.y, hwnd, true, false, -1);
}

void ResetMenus() {
  Menus().clear();
  SystemMenus().clear();
  gTracker = nullptr;
}

void RegisterMenuClass() {
  RegisterSystemClass(u"#32768", PopupProc, CS_DROPSHADOW | CS_SAVEBITS | CS_DBLCLKS, static_cast<int>(sizeof(void*)),
                      nullptr, LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

HMENU GetMenu(HWND hwnd) {
  auto w = Get(hwnd);
  if (!w || (w->style & WS_CHILD)) return nullptr;
  return w->menu;
}

BOOL SetMenu(HWND hwnd, HMENU menu) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (w->style & WS_CHILD) {
    SetLastError(ERROR_CHILD_WINDOW_MENU);
    return FALSE;
  }
  if (menu && !GetMenuObj(menu)) return FALSE;
  if (auto old = FindMenu(w->menu)) old->hwnd = nullptr;
  w->menu = menu;
  if (auto m = FindMenu(menu)) m->hwnd = hwnd;
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return TRUE;
}

BOOL DrawMenuBar(HWND hwnd) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (!w->menu || (w->style & WS_CHILD)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  return RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
}

BOOL GetMenuItemRect(HWND hwnd, HMENU menu, UINT item, LPRECT rect) {
  auto m = GetMenuObj(menu);
  if (!m || !rect || item >= m->items.size()) return FALSE;
  HWND shown = hwnd && GetMenu(hwnd) == menu ? hwnd : m->hwnd;
  auto w = Find(shown);
  if (!w) return FALSE;
  RECT r = m->items[item].rect;
  POINT o = (w->menu == menu && !(w->style & WS_CHILD)) ? WindowOrigin(*w) : ClientOrigin(*w);
  if (w->menu == menu) LayoutBar(*w), r = m->items[item].rect;
  OffsetRect(&r, o.x, o.y);
  *rect = r;
  return TRUE;
}

BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS) {
  if (!GetMenuObj(menu) || !Get(owner)) return FALSE;
  if (gTracker) {
    SetLastError(ERROR_POPUP_ALREADY_ACTIVE);
    return FALSE;
  }
  UINT r = Track(menu, flags, x, y, owner, false, false, -1);
  // Without TPM_RETURNCMD a menu dismissed without a choice still succeeded.
  return (flags & TPM_RETURNCMD) ? static_cast<BOOL>(r) : TRUE;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  return TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
}

BOOL EndMenu(void) {
  if (gTracker) gTracker->ended = true;
  return TRUE;
}

}  // extern "C"
