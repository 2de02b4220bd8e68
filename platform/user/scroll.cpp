// Scroll bars: the state of window scroll bars and scroll bar controls, their geometry,
// and the tracking of presses on them (arrows, page areas, thumb) on injected input.
#include <algorithm>

#include "platform/base/error.h"
#include "platform/user/internal.h"
#include "platform/user/scrollbar.h"

namespace kv::user {

namespace {

bool IsScrollBarControl(const Window& w) {
  if (w.scrollBarControl) return true;
  std::u16string n = w.cls->name;
  for (auto& c : n)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return n == u"scrollbar";
}

bool Vertical(const Window& w, int bar) {
  if (bar == SB_CTL) return (w.style & SBS_VERT) != 0;
  return bar == SB_VERT;
}

void Redraw(HWND hwnd, int bar) {
  if (bar == SB_CTL) {
    InvalidateRect(hwnd, nullptr, TRUE);
    return;
  }
  RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN | RDW_NOERASE);
}

}  // namespace

ScrollState* ScrollOf(Window& w, int bar) {
  if (bar == SB_CTL) return IsScrollBarControl(w) ? &w.hscroll : nullptr;
  if (bar == SB_HORZ) return &w.hscroll;
  if (bar == SB_VERT) return &w.vscroll;
  return nullptr;
}

bool ScrollBarRect(const Window& w, int bar, RECT* r) {
  RECT c = w.client;
  OffsetRect(&c, -w.rect.left, -w.rect.top);
  if (bar == SB_CTL) {
    if (!IsScrollBarControl(w)) return false;
    *r = c;
    return true;
  }
  if (bar == SB_VERT) {
    if (!(w.style & WS_VSCROLL)) return false;
    if (w.exStyle & WS_EX_LEFTSCROLLBAR)
      *r = RECT{c.left - Metric(SM_CXVSCROLL), c.top, c.left, c.bottom};
    else
      *r = RECT{c.right, c.top, c.right + Metric(SM_CXVSCROLL), c.bottom};
    return true;
  }
  if (bar == SB_HORZ) {
    if (!(w.style & WS_HSCROLL)) return false;
    *r = RECT{c.left, c.bottom, c.right, c.bottom + Metric(SM_CYHSCROLL)};
    return true;
  }
  return false;
}

void ScrollThumb(int track, const ScrollState& s, int* off, int* len) {
  // 64-bit arithmetic: a range may span the whole int.
  long long range = static_cast<long long>(s.max) - s.min + 1;
  long long page = s.page;
  long long thumb = page ? std::max<long long>(Metric(SM_CYVTHUMB) / 2, track * page / std::max<long long>(range, 1))
                         : Metric(SM_CYVTHUMB);
  thumb = std::clamp<long long>(thumb, 0, track);
  long long maxPos = std::max<long long>(1, static_cast<long long>(s.max) - std::max<long long>(page - 1, 0) - s.min);
  long long pos = std::clamp<long long>(static_cast<long long>(s.pos) - s.min, 0, maxPos);
  *off = static_cast<int>((track - thumb) * pos / maxPos);
  *len = static_cast<int>(thumb);
}

void TrackScrollBar(HWND hwnd, int bar, POINT screen) {
  auto w = Find(hwnd);
  if (!w) return;
  RECT r;
  if (!ScrollBarRect(*w, bar, &r)) return;
  ScrollState* s = ScrollOf(*w, bar);
  if (!s || s->disabled == ESB_DISABLE_BOTH) return;
  bool vert = Vertical(*w, bar);
  POINT o = WindowOrigin(*w);
  int at = vert ? screen.y - o.y - r.top : screen.x - o.x - r.left;
  int len = vert ? r.bottom - r.top : r.right - r.left;
  int arrow = std::min(vert ? Metric(SM_CYVSCROLL) : Metric(SM_CXHSCROLL), len / 2);
  int track = len - 2 * arrow;
  int off = 0, thumb = 0;
  if (track > 0) ScrollThumb(track, *s, &off, &thumb);
  UINT msg = vert ? WM_VSCROLL : WM_HSCROLL;
  HWND target = bar == SB_CTL ? w->parent : hwnd;
  LPARAM ctl = bar == SB_CTL ? reinterpret_cast<LPARAM>(hwnd) : 0;
  if (!target) return;
  int code;
  bool onThumb = false;
  if (at < arrow)
    code = SB_LINEUP;
  else if (at >= len - arrow)
    code = SB_LINEDOWN;
  else if (at < arrow + off)
    code = SB_PAGEUP;
  else if (at >= arrow + off + thumb)
    code = SB_PAGEDOWN;
  else {
    onThumb = true;
    code = SB_THUMBTRACK;
  }
  SetCapture(hwnd);
  int grab = at - arrow - off;
  int trackPos = s->pos;
  if (!onThumb) SendMessageW(target, msg, MAKEWPARAM(code, 0), ctl);
  MSG m;
  bool moved = false;
  while (ModalInputPending() && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));
      break;
    }
    if (CallMsgFilterW(&m, MSGF_SCROLLBAR)) continue;
    if (m.message == WM_LBUTTONUP || m.message == WM_NCLBUTTONUP) break;
    if (m.message == WM_MOUSEMOVE && onThumb) {
      auto ww = Find(hwnd);
      if (!ww) break;
      ScrollState* st = ScrollOf(*ww, bar);
      POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
      ClientToScreen(m.hwnd, &p);
      int a = vert ? p.y - o.y - r.top : p.x - o.x - r.left;
      int room = std::max(1, track - thumb);
      long long span = std::max<long long>(
          0, static_cast<long long>(st->max) - st->min - std::max<long long>(static_cast<long long>(st->page) - 1, 0));
      int np = static_cast<int>(st->min + std::clamp(a - arrow - grab, 0, room) * span / room);
      st->trackPos = np;
      trackPos = np;
      moved = true;
      SendMessageW(target, msg, MAKEWPARAM(SB_THUMBTRACK, static_cast<WORD>(np)), ctl);
      continue;
    }
    if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  if (GetCapture() == hwnd) ReleaseCapture();
  if (!IsWindow(target)) return;
  if (onThumb && moved) SendMessageW(target, msg, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(trackPos)), ctl);
  SendMessageW(target, msg, MAKEWPARAM(SB_ENDSCROLL, 0), ctl);
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

int SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw) {
  auto w = Get(hwnd);
  if (!w) return 0;
  ScrollState* s = ScrollOf(*w, bar);
  if (!s || !info || (info->cbSize != sizeof(SCROLLINFO) && info->cbSize != sizeof(SCROLLINFO) - sizeof(int))) {
    SetLastError(s ? ERROR_INVALID_PARAMETER : ERROR_NO_SCROLLBARS);
    return 0;
  }
  if (info->fMask & SIF_RANGE) {
    s->min = info->nMin;
    s->max = std::max(info->nMin, info->nMax);
  }
  if (info->fMask & SIF_PAGE) s->page = info->nPage;
  long long range = static_cast<long long>(s->max) - s->min + 1;
  if (s->page > range) s->page = static_cast<UINT>(std::min<long long>(range, 0xFFFFFFFFLL));
  if (info->fMask & SIF_POS) s->pos = info->nPos;
  long long maxPos = static_cast<long long>(s->max) - std::max<long long>(static_cast<long long>(s->page) - 1, 0);
  s->pos = static_cast<int>(std::clamp<long long>(s->pos, s->min, std::max<long long>(s->min, maxPos)));
  if (redraw) Redraw(hwnd, bar);
  return s->pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  ScrollState* s = ScrollOf(*w, bar);
  if (!s || !info) {
    SetLastError(s ? ERROR_INVALID_PARAMETER : ERROR_NO_SCROLLBARS);
    return FALSE;
  }
  if (bar != SB_CTL && !(w->style & (bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) && s->max == 100 && s->min == 0 &&
      !s->pos && !s->page) {
    SetLastError(ERROR_NO_SCROLLBARS);
    return FALSE;
  }
  if (info->fMask & SIF_RANGE) {
    info->nMin = s->min;
    info->nMax = s->max;
  }
  if (info->fMask & SIF_PAGE) info->nPage = s->page;
  if (info->fMask & SIF_POS) info->nPos = s->pos;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = s->trackPos;
  return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
  auto w = Get(hwnd);
  if (!w) return 0;
  ScrollState* s = ScrollOf(*w, bar);
  if (!s) {
    SetLastError(ERROR_NO_SCROLLBARS);
    return 0;
  }
  int old = s->pos;
  SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, pos, 0};
  SetScrollInfo(hwnd, bar, &si, redraw);
  return old;
}

int GetScrollPos(HWND hwnd, int bar) {
  auto w = Get(hwnd);
  if (!w) return 0;
  ScrollState* s = ScrollOf(*w, bar);
  if (!s) {
    SetLastError(ERROR_NO_SCROLLBARS);
    return 0;
  }
  return s->pos;
}

BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw) {
  if (static_cast<long long>(max) - min > 0x7FFF * 2 + 1 || max < min) {
    SetLastError(ERROR_INVALID_SCROLLBAR_RANGE);
    return FALSE;
  }
  SCROLLINFO si{sizeof si, SIF_RANGE, min, max, 0, 0, 0};
  auto w = Get(hwnd);
  if (!w || !ScrollOf(*w, bar)) {
    if (w) SetLastError(ERROR_NO_SCROLLBARS);
    return FALSE;
  }
  SetScrollInfo(hwnd, bar, &si, redraw);
  return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, LPINT min, LPINT max) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  ScrollState* s = ScrollOf(*w, bar);
  if (!s || !min || !max) {
    SetLastError(s ? ERROR_INVALID_PARAMETER : ERROR_NO_SCROLLBARS);
    return FALSE;
  }
  *min = s->min;
  *max = s->max;
  return TRUE;
}

BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (bar == SB_CTL) {
    ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE);
    return TRUE;
  }
  DWORD bits = bar == SB_HORZ   ? WS_HSCROLL
               : bar == SB_VERT ? WS_VSCROLL
               : bar == SB_BOTH ? (WS_HSCROLL | WS_VSCROLL)
                                : 0;
  if (!bits) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD style = show ? (w->style | bits) : (w->style & ~bits);
  if (style != w->style) {
    w->style = style;
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  return TRUE;
}

BOOL EnableScrollBar(HWND hwnd, UINT bar, UINT arrows) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  bool any = false;
  for (int b : {SB_HORZ, SB_VERT, SB_CTL}) {
    if (!(static_cast<int>(bar) == b || (bar == SB_BOTH && b != SB_CTL))) continue;
    ScrollState* s = ScrollOf(*w, b);
    if (!s) continue;
    if (s->disabled != arrows) {
      s->disabled = arrows;
      any = true;
      Redraw(hwnd, b);
    }
  }
  return any ? TRUE : FALSE;
}

BOOL GetScrollBarInfo(HWND hwnd, LONG object, PSCROLLBARINFO info) {
  auto w = Get(hwnd);
  if (!w) return FALSE;
  if (!info || info->cbSize != sizeof(SCROLLBARINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int bar = object == static_cast<LONG>(OBJID_HSCROLL)   ? SB_HORZ
            : object == static_cast<LONG>(OBJID_VSCROLL) ? SB_VERT
            : object == static_cast<LONG>(OBJID_CLIENT)  ? SB_CTL
                                                         : -1;
  if (bar < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ScrollState* s = ScrollOf(*w, bar);
  if (!s) {
    SetLastError(ERROR_NO_SCROLLBARS);
    return FALSE;
  }
  std::fill(std::begin(info->rgstate), std::end(info->rgstate), 0);
  RECT r;
  bool present = ScrollBarRect(*w, bar, &r);
  if (!present) {
    // A window scroll bar that is not shown: an empty rectangle and an invisible state.
    r = RECT{0, 0, 0, 0};
    info->rgstate[0] = STATE_SYSTEM_INVISIBLE;
  }
  POINT o = WindowOrigin(*w);
  OffsetRect(&r, o.x, o.y);
  info->rcScrollBar = r;
  bool vert = Vertical(*w, bar);
  int len = vert ? r.bottom - r.top : r.right - r.left;
  int arrow = std::min(vert ? Metric(SM_CYVSCROLL) : Metric(SM_CXHSCROLL), len / 2);
  info->dxyLineButton = arrow;
  int track = len - 2 * arrow;
  int off = 0, thumb = 0;
  if (track > 0) ScrollThumb(track, *s, &off, &thumb);
  info->xyThumbTop = arrow + off;
  info->xyThumbBottom = arrow + off + thumb;
  info->reserved = 0;
  if (s->disabled == ESB_DISABLE_BOTH || (w->style & WS_DISABLED)) info->rgstate[0] |= STATE_SYSTEM_UNAVAILABLE;
  if (s->disabled & ESB_DISABLE_LEFT) info->rgstate[1] = STATE_SYSTEM_UNAVAILABLE;
  if (s->disabled & ESB_DISABLE_RIGHT) info->rgstate[5] = STATE_SYSTEM_UNAVAILABLE;
  return TRUE;
}

}  // extern "C"
