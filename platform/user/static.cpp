// "Static": texts, icons, bitmaps, rectangles, frames and etched lines; STN_ codes with
// SS_NOTIFY.
#include "platform/user/internal.h"
#include "platform/user/static.h"

namespace kv::user {

namespace {

void PaintStatic(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  UINT t = w->style & SS_TYPEMASK;
  switch (t) {
    case SS_BLACKRECT: FillRect(hdc, &r, GetSysColorBrush(COLOR_3DDKSHADOW)); return;
    case SS_GRAYRECT: FillRect(hdc, &r, GetSysColorBrush(COLOR_3DSHADOW)); return;
    case SS_WHITERECT: FillRect(hdc, &r, GetSysColorBrush(COLOR_3DHIGHLIGHT)); return;
    case SS_BLACKFRAME: FrameRect(hdc, &r, GetSysColorBrush(COLOR_3DDKSHADOW)); return;
    case SS_GRAYFRAME: FrameRect(hdc, &r, GetSysColorBrush(COLOR_3DSHADOW)); return;
    case SS_WHITEFRAME: FrameRect(hdc, &r, GetSysColorBrush(COLOR_3DHIGHLIGHT)); return;
    case SS_ETCHEDHORZ: DrawEdge(hdc, &r, EDGE_ETCHED, BF_TOP); return;
    case SS_ETCHEDVERT: DrawEdge(hdc, &r, EDGE_ETCHED, BF_LEFT); return;
    case SS_ETCHEDFRAME: DrawEdge(hdc, &r, EDGE_ETCHED, BF_RECT); return;
    case SS_OWNERDRAW: {
      DRAWITEMSTRUCT dis{};
      dis.CtlType = ODT_STATIC;
      dis.CtlID = static_cast<UINT>(w->id);
      dis.itemAction = ODA_DRAWENTIRE;
      dis.hwndItem = hwnd;
      dis.hDC = hdc;
      dis.rcItem = r;
      if (w->parent) SendMessageW(w->parent, WM_DRAWITEM, w->id, reinterpret_cast<LPARAM>(&dis));
      return;
    }
    default: break;
  }
  HBRUSH bg = ParentBrush(hwnd, hdc, WM_CTLCOLORSTATIC);
  FillRect(hdc, &r, bg);
  UINT format = (t == SS_CENTER)                             ? DT_CENTER | DT_WORDBREAK
                : (t == SS_RIGHT)                            ? DT_RIGHT | DT_WORDBREAK
                : (t == SS_SIMPLE || t == SS_LEFTNOWORDWRAP) ? DT_LEFT | DT_SINGLELINE
                                                             : DT_LEFT | DT_WORDBREAK;
  if (w->style & SS_NOPREFIX) format |= DT_NOPREFIX;
  if (w->style & SS_CENTERIMAGE) format = (format & ~static_cast<UINT>(DT_WORDBREAK)) | DT_VCENTER | DT_SINGLELINE;
  DrawLabel(hdc, *w, r, format);
}

LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, PaintStatic, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case WM_NCHITTEST: return (w->style & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    case WM_LBUTTONDOWN:
      if (w->style & SS_NOTIFY) NotifyCommand(hwnd, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (w->style & SS_NOTIFY) NotifyCommand(hwnd, STN_DBLCLK);
      return 0;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wp);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
      if (w->style & SS_NOTIFY) NotifyCommand(hwnd, wp ? STN_ENABLE : STN_DISABLE);
      return 0;
    case WM_GETDLGCODE: return DLGC_STATIC;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterStaticClass() {
  RegisterSystemClass(u"Static", StaticProc, CS_DBLCLKS | CS_PARENTDC, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::user
