// "ScrollBar" controls: their plain look and the presses that start the tracking loop
// (scroll.cpp), or size boxes and grips.
#include <algorithm>

#include "platform/user/internal.h"
#include "platform/user/scrollbar.h"

namespace kv::user {

namespace {

void PaintScrollBar(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  if (w->style & (SBS_SIZEBOX | SBS_SIZEGRIP)) {
    FillRect(hdc, &r, GetSysColorBrush(COLOR_3DFACE));
    return;
  }
  bool vert = (w->style & SBS_VERT) != 0;
  // The window scroll bar painter draws the same parts.
  FillRect(hdc, &r, GetSysColorBrush(COLOR_SCROLLBAR));
  int len = vert ? r.bottom - r.top : r.right - r.left;
  int arrow = std::min(vert ? Metric(SM_CYVSCROLL) : Metric(SM_CXHSCROLL), len / 2);
  RECT a1 = vert ? RECT{r.left, r.top, r.right, r.top + arrow} : RECT{r.left, r.top, r.left + arrow, r.bottom};
  RECT a2 = vert ? RECT{r.left, r.bottom - arrow, r.right, r.bottom} : RECT{r.right - arrow, r.top, r.right, r.bottom};
  for (RECT a : {a1, a2}) {
    FillRect(hdc, &a, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(hdc, &a, EDGE_RAISED, BF_RECT);
  }
  int track = len - 2 * arrow;
  if (track > 0 && w->hscroll.max > w->hscroll.min && w->hscroll.disabled != ESB_DISABLE_BOTH) {
    int off, thumb;
    ScrollThumb(track, w->hscroll, &off, &thumb);
    RECT t = vert ? RECT{r.left, r.top + arrow + off, r.right, r.top + arrow + off + thumb}
                  : RECT{r.left + arrow + off, r.top, r.left + arrow + off + thumb, r.bottom};
    FillRect(hdc, &t, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(hdc, &t, EDGE_RAISED, BF_RECT);
  }
}

LRESULT ScrollBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, PaintScrollBar, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case WM_CREATE:
      w->hscroll = ScrollState{0, 0, 0, 0, 0, 0, true};
      w->scrollBarControl = true;
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (w->style & (SBS_SIZEBOX | SBS_SIZEGRIP)) return 0;
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ClientToScreen(hwnd, &p);
      TrackScrollBar(hwnd, SB_CTL, p);
      return 0;
    }
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case SBM_SETPOS: return SetScrollPos(hwnd, SB_CTL, static_cast<int>(wp), lp != 0);
    case SBM_GETPOS: return GetScrollPos(hwnd, SB_CTL);
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
      int before = GetScrollPos(hwnd, SB_CTL);
      SetScrollRange(hwnd, SB_CTL, static_cast<int>(wp), static_cast<int>(lp), msg == SBM_SETRANGEREDRAW);
      return before;
    }
    case SBM_GETRANGE: {
      int lo = 0, hi = 0;
      GetScrollRange(hwnd, SB_CTL, &lo, &hi);
      if (wp) *reinterpret_cast<LPINT>(wp) = lo;
      if (lp) *reinterpret_cast<LPINT>(lp) = hi;
      return 0;
    }
    case SBM_ENABLE_ARROWS: return EnableScrollBar(hwnd, SB_CTL, static_cast<UINT>(wp));
    case SBM_SETSCROLLINFO:
      if (!lp) return 0;
      return SetScrollInfo(hwnd, SB_CTL, reinterpret_cast<LPCSCROLLINFO>(lp), wp != 0);
    case SBM_GETSCROLLINFO:
      if (!lp) return FALSE;
      return GetScrollInfo(hwnd, SB_CTL, reinterpret_cast<LPSCROLLINFO>(lp));
    case SBM_GETSCROLLBARINFO:
      if (!lp) return FALSE;
      return GetScrollBarInfo(hwnd, OBJID_CLIENT, reinterpret_cast<PSCROLLBARINFO>(lp));
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterScrollBarClass() {
  RegisterSystemClass(u"ScrollBar", ScrollBarProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_PARENTDC, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::user
