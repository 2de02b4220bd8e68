// "msctls_trackbar32": range, position, line and page sizes, tick frequency, the thumb
// dragged or the channel paged by the mouse, arrow keys, and its parts drawn through
// custom draw.
#include <algorithm>

#include "platform/comctl/internal.h"
#include "platform/comctl/trackbar.h"

namespace kv::comctl {

namespace {

struct TrackData : ControlData {
  int min = 0, max = 100, pos = 0;
  int line = 1, page = 20, freq = 1;
  int thumbLength = 18;
  bool dragging = false;
  int grab = 0;         // offset of the press from the thumb's centre, along the channel
  bool paging = false;  // a press on the channel pages until release
};

bool Vert(const Window& w) { return (w.style & TBS_VERT) != 0; }

// The thumb is half as wide (along the channel) as it is long (across it).
int ThumbWidth(const TrackData& d) { return d.thumbLength / 2 + 1; }
int Margin(const TrackData& d) { return ThumbWidth(d) / 2 + 3; }

RECT ChannelRect(const Window& w, const TrackData& d) {
  RECT c = ClientRectOf(w);
  int m = Margin(d);
  int across = d.thumbLength / 2 + 1;  // the channel runs under the thumb's middle
  if (Vert(w)) return RECT{across - 3, m, across + 3, std::max(m, c.bottom - m)};
  return RECT{m, across - 3, std::max(m, c.right - m), across + 3};
}

// The centre of the thumb along the channel for position `pos`.
int PosToOffset(const Window& w, const TrackData& d, int pos) {
  RECT ch = ChannelRect(w, d);
  int len = Vert(w) ? ch.bottom - ch.top : ch.right - ch.left;
  int start = Vert(w) ? ch.top : ch.left;
  long long span = static_cast<long long>(d.max) - d.min;
  if (span <= 0) return start;
  return start + static_cast<int>((static_cast<long long>(pos) - d.min) * len / span);
}

int OffsetToPos(const Window& w, const TrackData& d, int at) {
  RECT ch = ChannelRect(w, d);
  int len = Vert(w) ? ch.bottom - ch.top : ch.right - ch.left;
  int start = Vert(w) ? ch.top : ch.left;
  if (len <= 0) return d.min;
  long long span = static_cast<long long>(d.max) - d.min;
  long long p = d.min + (static_cast<long long>(std::clamp(at - start, 0, len)) * span + len / 2) / len;
  return static_cast<int>(p);
}

RECT ThumbRect(const Window& w, const TrackData& d) {
  int c = PosToOffset(w, d, d.pos);
  int tw = ThumbWidth(d);
  if (Vert(w)) return RECT{0, c - tw / 2, d.thumbLength, c - tw / 2 + tw};
  return RECT{c - tw / 2, 0, c - tw / 2 + tw, d.thumbLength};
}

// The band of the tick marks: beside the thumb, on the right or below it.
RECT TicsRect(const Window& w, const TrackData& d) {
  RECT c = ClientRectOf(w);
  if (Vert(w)) return RECT{d.thumbLength + 2, c.top, d.thumbLength + 6, c.bottom};
  return RECT{c.left, d.thumbLength + 2, c.right, d.thumbLength + 6};
}

int NumTics(const TrackData& d) {
  if (d.max <= d.min) return 2;
  long long inner = (static_cast<long long>(d.max) - d.min - 1) / std::max(1, d.freq);
  return static_cast<int>(std::min<long long>(inner, 10000)) + 2;
}

void PaintTics(HDC hdc, const Window& w, const TrackData& d) {
  if (w.style & TBS_NOTICKS) return;
  RECT t = TicsRect(w, d);
  HBRUSH b = GetSysColorBrush(COLOR_BTNTEXT);
  auto tick = [&](int pos) {
    int at = PosToOffset(w, d, pos);
    RECT r = Vert(w) ? RECT{t.left, at, t.right, at + 1} : RECT{at, t.top, at + 1, t.bottom};
    FillRect(hdc, &r, b);
  };
  tick(d.min);
  if (w.style & TBS_AUTOTICKS)
    for (long long p = static_cast<long long>(d.min) + d.freq; p < d.max && d.freq > 0; p += d.freq)
      tick(static_cast<int>(p));
  tick(d.max);
}

void PaintChannel(HDC hdc, const Window& w, const TrackData& d) {
  RECT ch = ChannelRect(w, d);
  FillRect(hdc, &ch, GetSysColorBrush(COLOR_WINDOW));
  DrawEdge(hdc, &ch, EDGE_SUNKEN, BF_RECT);
}

void PaintThumb(HDC hdc, const Window& w, const TrackData& d) {
  RECT t = ThumbRect(w, d);
  FillRect(hdc, &t, GetSysColorBrush(COLOR_BTNFACE));
  DrawEdge(hdc, &t, EDGE_RAISED, BF_RECT);
}

LRESULT CustomDraw(HWND hwnd, DWORD stage, HDC hdc, RECT rc, DWORD_PTR item, UINT state) {
  NMCUSTOMDRAW cd{};
  cd.dwDrawStage = stage;
  cd.hdc = hdc;
  cd.rc = rc;
  cd.dwItemSpec = item;
  cd.uItemState = state;
  return NotifyParentHdr(hwnd, NM_CUSTOMDRAW, &cd.hdr);
}

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  TrackData d = DataOf<TrackData>(*w);  // a copy: the parent's answers may change the control
  Window& cw = *w;
  RECT c = ClientRectOf(cw);
  FillRect(hdc, &c, ParentBrush(hwnd, hdc, WM_CTLCOLORSTATIC));
  UINT state = (GetFocus() == hwnd ? CDIS_FOCUS : 0u) | ((cw.style & WS_DISABLED) ? CDIS_DISABLED : 0u);
  LRESULT pre = CustomDraw(hwnd, CDDS_PREPAINT, hdc, c, 0, state);
  if (pre & CDRF_SKIPDEFAULT) return;
  struct Part {
    DWORD_PTR id;
    RECT rc;
    void (*paint)(HDC, const Window&, const TrackData&);
  };
  const Part parts[] = {{TBCD_TICS, TicsRect(cw, d), PaintTics},
                        {TBCD_CHANNEL, ChannelRect(cw, d), PaintChannel},
                        {TBCD_THUMB, ThumbRect(cw, d), PaintThumb}};
  for (const Part& p : parts) {
    if (p.id == TBCD_THUMB && (cw.style & TBS_NOTHUMB)) continue;
    LRESULT r = (pre & CDRF_NOTIFYITEMDRAW) ? CustomDraw(hwnd, CDDS_ITEMPREPAINT, hdc, p.rc, p.id, state) : 0;
    auto again = Find(hwnd);
    if (!again) return;
    if (!(r & CDRF_SKIPDEFAULT)) p.paint(hdc, *again, d);
    if (r & CDRF_NOTIFYPOSTPAINT) CustomDraw(hwnd, CDDS_ITEMPOSTPAINT, hdc, p.rc, p.id, state);
  }
  if (pre & CDRF_NOTIFYPOSTPAINT) CustomDraw(hwnd, CDDS_POSTPAINT, hdc, c, 0, state);
}

int Clamp(const TrackData& d, long long p) { return static_cast<int>(std::clamp<long long>(p, d.min, d.max)); }

void Tell(HWND hwnd, int code, int pos) {
  auto w = Find(hwnd);
  if (!w || !w->parent) return;
  WORD hi = (code == TB_THUMBTRACK || code == TB_THUMBPOSITION) ? static_cast<WORD>(pos) : 0;
  SendMessageW(w->parent, Vert(*w) ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, hi), reinterpret_cast<LPARAM>(hwnd));
}

// Moves by a line or page code (or to an end) and tells the parent.
void Step(HWND hwnd, TrackData& d, int code) {
  long long p = d.pos;
  switch (code) {
    case TB_LINEUP: p -= d.line; break;
    case TB_LINEDOWN: p += d.line; break;
    case TB_PAGEUP: p -= d.page; break;
    case TB_PAGEDOWN: p += d.page; break;
    case TB_TOP: p = d.min; break;
    case TB_BOTTOM: p = d.max; break;
    default: return;
  }
  d.pos = Clamp(d, p);
  InvalidateRect(hwnd, nullptr, TRUE);
  Tell(hwnd, code, d.pos);
}

int Along(const Window& w, LPARAM lp) { return Vert(w) ? GET_Y_LPARAM(lp) : GET_X_LPARAM(lp); }

LRESULT TrackProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  TrackData& d = DataOf<TrackData>(*w);
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, Paint, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN: {
      SetFocus(hwnd);
      auto ww = Find(hwnd);
      if (!ww) return 0;
      TrackData& e = DataOf<TrackData>(*ww);
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      RECT t = ThumbRect(*ww, e);
      SetCapture(hwnd);
      if (PtInRect(&t, p)) {
        e.dragging = true;
        e.grab = Along(*ww, lp) - PosToOffset(*ww, e, e.pos);
        return 0;
      }
      e.paging = true;
      Step(hwnd, e, Along(*ww, lp) < PosToOffset(*ww, e, e.pos) ? TB_PAGEUP : TB_PAGEDOWN);
      return 0;
    }
    case WM_MOUSEMOVE: {
      if (!d.dragging) return 0;
      int np = OffsetToPos(*w, d, Along(*w, lp) - d.grab);
      if (np != d.pos) {
        d.pos = np;
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      Tell(hwnd, TB_THUMBTRACK, np);
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
      bool dragged = d.dragging, paged = d.paging;
      d.dragging = d.paging = false;
      if (msg == WM_LBUTTONUP && GetCapture() == hwnd) ReleaseCapture();
      if (dragged) Tell(hwnd, TB_THUMBPOSITION, d.pos);
      if (dragged || paged) Tell(hwnd, TB_ENDTRACK, 0);
      return 0;
    }
    case WM_KEYDOWN: {
      int code = -1;
      switch (wp) {
        case VK_LEFT:
        case VK_UP: code = TB_LINEUP; break;
        case VK_RIGHT:
        case VK_DOWN: code = TB_LINEDOWN; break;
        case VK_PRIOR: code = TB_PAGEUP; break;
        case VK_NEXT: code = TB_PAGEDOWN; break;
        case VK_HOME: code = TB_TOP; break;
        case VK_END: code = TB_BOTTOM; break;
        default: return 0;
      }
      Step(hwnd, d, code);
      return 0;
    }
    case WM_KEYUP:
      if (wp == VK_LEFT || wp == VK_UP || wp == VK_RIGHT || wp == VK_DOWN || wp == VK_PRIOR || wp == VK_NEXT ||
          wp == VK_HOME || wp == VK_END)
        Tell(hwnd, TB_ENDTRACK, 0);
      return 0;
    case TBM_GETPOS: return d.pos;
    case TBM_GETRANGEMIN: return d.min;
    case TBM_GETRANGEMAX: return d.max;
    case TBM_SETPOS:
      d.pos = Clamp(d, static_cast<int>(lp));
      if (wp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TBM_SETRANGE:
    case TBM_SETRANGEMIN:
    case TBM_SETRANGEMAX: {
      if (msg == TBM_SETRANGE) {
        d.min = static_cast<short>(LOWORD(lp));
        d.max = static_cast<short>(HIWORD(lp));
      } else if (msg == TBM_SETRANGEMIN) {
        d.min = static_cast<int>(lp);
      } else {
        d.max = static_cast<int>(lp);
      }
      if (d.max < d.min) d.max = d.min;
      d.pos = Clamp(d, d.pos);
      if (wp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    }
    case TBM_SETTICFREQ:
      d.freq = std::max(1, static_cast<int>(wp));
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TBM_GETNUMTICS: return (w->style & TBS_NOTICKS) ? 0 : ((w->style & TBS_AUTOTICKS) ? NumTics(d) : 2);
    case TBM_SETPAGESIZE: {
      int before = d.page;
      d.page = static_cast<int>(lp);
      return before;
    }
    case TBM_GETPAGESIZE: return d.page;
    case TBM_SETLINESIZE: {
      int before = d.line;
      d.line = static_cast<int>(lp);
      return before;
    }
    case TBM_GETLINESIZE: return d.line;
    case TBM_GETTHUMBRECT:
      if (lp) *reinterpret_cast<RECT*>(lp) = ThumbRect(*w, d);
      return 0;
    case TBM_GETCHANNELRECT:
      if (lp) *reinterpret_cast<RECT*>(lp) = ChannelRect(*w, d);
      return 0;
    case TBM_SETTHUMBLENGTH:
      if (w->style & TBS_FIXEDLENGTH) d.thumbLength = std::clamp(static_cast<int>(wp), 4, 200);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TBM_GETTHUMBLENGTH: return d.thumbLength;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterTrackBarClass() {
  RegisterSystemClass(u"msctls_trackbar32", TrackProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
