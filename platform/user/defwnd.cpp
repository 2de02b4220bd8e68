// The default window procedure: the non-client model (size, hit-testing, frame and
// caption drawing), system commands, closing, activation answers, icons, control colours
// and the modal loops of caption buttons and moving/sizing, which run on injected input.
#include <algorithm>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/user/ime.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct CaptionButtons {
  RECT close{}, max{}, min{}, sys{};
  bool hasClose = false, hasMax = false, hasMin = false, hasSys = false;
};

// Rectangles of the caption and its buttons in window coordinates.
bool CaptionRect(const Window& w, RECT* caption) {
  if (!HasCaption(w.style)) return false;
  int fx, fy;
  FrameSize(w.style, w.exStyle, &fx, &fy);
  int ch = (w.exStyle & WS_EX_TOOLWINDOW) ? Metric(SM_CYSMCAPTION) : Metric(SM_CYCAPTION);
  int ww = w.rect.right - w.rect.left;
  *caption = RECT{fx, fy, ww - fx, fy + ch - 1};
  return true;
}

CaptionButtons Buttons(const Window& w) {
  CaptionButtons b;
  RECT cap;
  if (!CaptionRect(w, &cap) || !(w.style & WS_SYSMENU)) return b;
  bool tool = (w.exStyle & WS_EX_TOOLWINDOW) != 0;
  int bw = (tool ? Metric(SM_CXSMSIZE) : Metric(SM_CXSIZE)) - 2;
  int bh = (cap.bottom - cap.top) - 4;
  int top = cap.top + 2;
  int right = cap.right - 2;
  b.close = RECT{right - bw, top, right, top + bh};
  b.hasClose = true;
  right = b.close.left - 2;
  if (!tool && (w.style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX))) {
    b.max = RECT{right - bw, top, right, top + bh};
    b.min = RECT{b.max.left - bw, top, b.max.left, top + bh};
    b.hasMax = b.hasMin = true;
  }
  if (!tool && !(w.exStyle & WS_EX_DLGMODALFRAME)) {
    int s = cap.bottom - cap.top;
    b.sys = RECT{cap.left, cap.top, cap.left + s, cap.bottom};
    b.hasSys = true;
  }
  return b;
}

// Message-filter code of the window system's own tracking loops (caption buttons,
// moving and sizing).
constexpr int kMsgfTrack = 3;

bool In(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

LRESULT HitTest(const Window& w, POINT screen) {
  RECT wr = ScreenRect(w);
  if (!In(wr, screen)) return HTNOWHERE;
  POINT p{screen.x - wr.left, screen.y - wr.top};  // window coordinates
  RECT client = w.client;
  OffsetRect(&client, -w.rect.left, -w.rect.top);
  if (In(client, p)) return HTCLIENT;
  if (w.style & WS_MINIMIZE) return HTCAPTION;
  int ww = wr.right - wr.left, wh = wr.bottom - wr.top;
  int fx, fy;
  FrameSize(w.style, w.exStyle, &fx, &fy);
  if (w.style & WS_THICKFRAME) {
    int corner = Metric(SM_CXSIZE) + fx;
    bool left = p.x < fx, right = p.x >= ww - fx, top = p.y < fy, bottom = p.y >= wh - fy;
    if (left || right || top || bottom) {
      if (top) return p.x < corner ? HTTOPLEFT : p.x >= ww - corner ? HTTOPRIGHT : HTTOP;
      if (bottom) return p.x < corner ? HTBOTTOMLEFT : p.x >= ww - corner ? HTBOTTOMRIGHT : HTBOTTOM;
      if (left) return p.y < corner ? HTTOPLEFT : p.y >= wh - corner ? HTBOTTOMLEFT : HTLEFT;
      return p.y < corner ? HTTOPRIGHT : p.y >= wh - corner ? HTBOTTOMRIGHT : HTRIGHT;
    }
  } else if (p.x < fx || p.x >= ww - fx || p.y < fy || p.y >= wh - fy) {
    return HTBORDER;
  }
  RECT cap;
  if (CaptionRect(w, &cap)) {
    cap.bottom += 1;
    if (In(cap, p)) {
      CaptionButtons b = Buttons(w);
      if (b.hasSys && In(b.sys, p)) return HTSYSMENU;
      if (b.hasClose && In(b.close, p)) return HTCLOSE;
      if (b.hasMax && In(b.max, p)) return HTMAXBUTTON;
      if (b.hasMin && In(b.min, p)) return HTMINBUTTON;
      return HTCAPTION;
    }
  }
  int y =
      fy + (HasCaption(w.style) ? ((w.exStyle & WS_EX_TOOLWINDOW) ? Metric(SM_CYSMCAPTION) : Metric(SM_CYCAPTION)) : 0);
  if (!(w.style & WS_CHILD) && w.menu) {
    if (p.y >= y && p.y < y + Metric(SM_CYMENU)) return HTMENU;
  }
  // Scroll bars lie between the client edge and the client.
  int edge = (w.exStyle & WS_EX_CLIENTEDGE) ? Metric(SM_CXEDGE) : 0;
  RECT inner{fx + edge, 0, ww - fx - edge, wh - fy - edge};
  bool leftBar = (w.exStyle & WS_EX_LEFTSCROLLBAR) != 0;
  if ((w.style & WS_VSCROLL) && p.y >= client.top && p.y < client.bottom) {
    if (!leftBar && p.x >= client.right && p.x < inner.right) return HTVSCROLL;
    if (leftBar && p.x < client.left && p.x >= inner.left) return HTVSCROLL;
  }
  if ((w.style & WS_HSCROLL) && p.y >= client.bottom && p.y < inner.bottom) {
    if (p.x >= client.left && p.x < client.right) return HTHSCROLL;
    if (w.style & WS_VSCROLL) return (w.style & WS_THICKFRAME) && !(w.style & WS_CHILD) ? HTBOTTOMRIGHT : HTGROWBOX;
  }
  return HTBORDER;
}

void Fill(HDC hdc, const RECT& r, int color) { FillRect(hdc, &r, GetSysColorBrush(color)); }

void DrawButtonGlyph(HDC hdc, const RECT& r, int kind) {
  // kind: 0 close, 1 maximise/restore, 2 minimise
  RECT b = r;
  Fill(hdc, b, COLOR_BTNFACE);
  DrawEdge(hdc, &b, EDGE_RAISED, BF_RECT);
  HBRUSH ink = GetSysColorBrush(COLOR_BTNTEXT);
  int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  if (kind == 0) {
    for (int i = -3; i <= 3; ++i) {
      RECT a{cx + i, cy + i, cx + i + 2, cy + i + 1};
      RECT c{cx + i, cy - i, cx + i + 2, cy - i + 1};
      FillRect(hdc, &a, ink);
      FillRect(hdc, &c, ink);
    }
  } else if (kind == 1) {
    RECT f{cx - 4, cy - 4, cx + 5, cy + 4};
    FrameRect(hdc, &f, ink);
    RECT t{cx - 4, cy - 3, cx + 5, cy - 2};
    FillRect(hdc, &t, ink);
  } else {
    RECT f{cx - 4, cy + 2, cx + 2, cy + 4};
    FillRect(hdc, &f, ink);
  }
}

void DrawScrollBar(HDC hdc, const RECT& r, bool vert, const ScrollState& s) {
  Fill(hdc, r, COLOR_SCROLLBAR);
  int len = vert ? r.bottom - r.top : r.right - r.left;
  int arrow = vert ? std::min(Metric(SM_CYVSCROLL), len / 2) : std::min(Metric(SM_CXHSCROLL), len / 2);
  RECT a1 = vert ? RECT{r.left, r.top, r.right, r.top + arrow} : RECT{r.left, r.top, r.left + arrow, r.bottom};
  RECT a2 = vert ? RECT{r.left, r.bottom - arrow, r.right, r.bottom} : RECT{r.right - arrow, r.top, r.right, r.bottom};
  for (RECT a : {a1, a2}) {
    Fill(hdc, a, COLOR_BTNFACE);
    DrawEdge(hdc, &a, EDGE_RAISED, BF_RECT);
  }
  int track = len - 2 * arrow;
  if (track > 0 && s.max > s.min && s.disabled != ESB_DISABLE_BOTH) {  // a disabled bar has no thumb
    int off, thumb;
    ScrollThumb(track, s, &off, &thumb);
    RECT t = vert ? RECT{r.left, r.top + arrow + off, r.right, r.top + arrow + off + thumb}
                  : RECT{r.left + arrow + off, r.top, r.left + arrow + off + thumb, r.bottom};
    Fill(hdc, t, COLOR_BTNFACE);
    DrawEdge(hdc, &t, EDGE_RAISED, BF_RECT);
  }
}

void DrawCaption(HWND hwnd, HDC hdc, const Window& w, bool active) {
  RECT cap;
  if (!CaptionRect(w, &cap)) return;
  Fill(hdc, cap, active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
  RECT line{cap.left, cap.bottom, cap.right, cap.bottom + 1};
  Fill(hdc, line, COLOR_3DFACE);
  CaptionButtons b = Buttons(w);
  RECT text = cap;
  text.left += b.hasSys ? (b.sys.right - b.sys.left) + 2 : 2;
  if (b.hasClose) {
    DrawButtonGlyph(hdc, b.close, 0);
    text.right = b.close.left - 2;
  }
  if (b.hasMax) {
    DrawButtonGlyph(hdc, b.max, 1);
    DrawButtonGlyph(hdc, b.min, 2);
    text.right = b.min.left - 2;
  }
  if (!w.text.empty()) {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    HFONT font = CreateFontIndirectW(&ncm.lfCaptionFont);
    HGDIOBJ old = SelectObject(hdc, font);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    DrawTextW(hdc, w.text.c_str(), static_cast<int>(w.text.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(hdc, old);
    DeleteObject(font);
  }
  (void)hwnd;
}

}  // namespace

// The plain frame: border or 3-D frame, caption with its buttons, menu bar band, scroll
// bars and the client edge, in the window DC `hdc` (window coordinates).
void DrawDefaultFrame(HWND hwnd, HDC hdc, bool active) {
  auto w = Find(hwnd);
  if (!w) return;
  int ww = w->rect.right - w->rect.left, wh = w->rect.bottom - w->rect.top;
  RECT r{0, 0, ww, wh};
  if ((w->style & WS_THICKFRAME) || (w->style & WS_DLGFRAME) || (w->exStyle & WS_EX_DLGMODALFRAME)) {
    DrawEdge(hdc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    int fx, fy;
    FrameSize(w->style, w->exStyle, &fx, &fy);
    int rest = std::max(0, fx - 2);
    int color = (w->style & WS_THICKFRAME) ? (active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER) : COLOR_3DFACE;
    for (int i = 0; i < rest; ++i) {
      FrameRect(hdc, &r, GetSysColorBrush(color));
      InflateRect(&r, -1, -1);
    }
  } else if (w->style & WS_BORDER) {
    FrameRect(hdc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&r, -1, -1);
  }
  if (w->exStyle & WS_EX_STATICEDGE) {
    DrawEdge(hdc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  }
  DrawCaption(hwnd, hdc, *w, active);
  RECT client = w->client;
  OffsetRect(&client, -w->rect.left, -w->rect.top);
  if (!(w->style & WS_CHILD) && w->menu) DrawMenuBarInto(hwnd, hdc);
  int edge = (w->exStyle & WS_EX_CLIENTEDGE) ? Metric(SM_CXEDGE) : 0;
  bool leftBar = (w->exStyle & WS_EX_LEFTSCROLLBAR) != 0;
  if (w->style & WS_VSCROLL) {
    RECT v = leftBar ? RECT{client.left - Metric(SM_CXVSCROLL), client.top, client.left, client.bottom}
                     : RECT{client.right, client.top, client.right + Metric(SM_CXVSCROLL), client.bottom};
    DrawScrollBar(hdc, v, true, w->vscroll);
  }
  if (w->style & WS_HSCROLL) {
    RECT h{client.left, client.bottom, client.right, client.bottom + Metric(SM_CYHSCROLL)};
    DrawScrollBar(hdc, h, false, w->hscroll);
    if (w->style & WS_VSCROLL) {
      RECT g = leftBar ? RECT{client.left - Metric(SM_CXVSCROLL), client.bottom, client.left, h.bottom}
                       : RECT{client.right, client.bottom, client.right + Metric(SM_CXVSCROLL), h.bottom};
      Fill(hdc, g, COLOR_3DFACE);
    }
  }
  if (edge) {
    RECT e = client;
    if (w->style & WS_VSCROLL) {
      if (leftBar)
        e.left -= Metric(SM_CXVSCROLL);
      else
        e.right += Metric(SM_CXVSCROLL);
    }
    if (w->style & WS_HSCROLL) e.bottom += Metric(SM_CYHSCROLL);
    InflateRect(&e, edge, edge);
    DrawEdge(hdc, &e, EDGE_SUNKEN, BF_RECT);
  }
}

namespace {

void RedrawFrame(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !ReallyVisible(*w)) return;
  HDC hdc = GetWindowDC(hwnd);
  if (!hdc) return;
  // The client area is left alone.
  RECT c = w->client;
  OffsetRect(&c, -w->rect.left, -w->rect.top);
  ExcludeClipRect(hdc, c.left, c.top, c.right, c.bottom);
  DrawDefaultFrame(hwnd, hdc, w->ncActive);
  ReleaseDC(hwnd, hdc);
}

// The next input message of a modal loop: headless, false once the injected input has run
// out, so the loop ends instead of waiting; with a presenter it waits for the person.
// Other messages are dispatched meanwhile.
bool ModalMessage(MSG* msg, int filter) {
  for (;;) {
    if (!ModalInputPending()) return false;
    if (!PeekMessageW(msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg->message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg->wParam));
      return false;
    }
    if (CallMsgFilterW(msg, filter)) continue;
    bool input = (msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST) ||
                 (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) ||
                 (msg->message >= WM_NCMOUSEMOVE && msg->message <= WM_NCMBUTTONDBLCLK);
    if (input) return true;
    TranslateMessage(msg);
    DispatchMessageW(msg);
  }
}

POINT MsgScreenPoint(const MSG& m) {
  if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) {
    POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
    ClientToScreen(m.hwnd, &p);
    return p;
  }
  return POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
}

// A press on a caption button: tracked until the button is released; released over
// the same button it becomes the system command.
void TrackButton(HWND hwnd, LRESULT hit) {
  SetCapture(hwnd);
  MSG msg;
  bool released = false;
  POINT at{0, 0};
  while (ModalMessage(&msg, kMsgfTrack)) {
    if (msg.message == WM_LBUTTONUP || msg.message == WM_NCLBUTTONUP) {
      at = MsgScreenPoint(msg);
      released = true;
      break;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) break;
  }
  if (GetCapture() == hwnd) ReleaseCapture();
  auto w = Find(hwnd);
  if (!released || !w || HitTest(*w, at) != hit) return;
  WPARAM cmd = hit == HTCLOSE       ? SC_CLOSE
               : hit == HTMINBUTTON ? SC_MINIMIZE
                                    : (IsZoomed(hwnd) ? SC_RESTORE : SC_MAXIMIZE);
  if (hit == HTMAXBUTTON && !(w->style & WS_MAXIMIZEBOX)) return;
  if (hit == HTMINBUTTON && !(w->style & WS_MINIMIZEBOX)) return;
  SendMessageW(hwnd, WM_SYSCOMMAND, cmd, MAKELPARAM(at.x, at.y));
}

#define WMSZ_LEFT 1
#define WMSZ_RIGHT 2
#define WMSZ_TOP 3
#define WMSZ_TOPLEFT 4
#define WMSZ_TOPRIGHT 5
#define WMSZ_BOTTOM 6
#define WMSZ_BOTTOMLEFT 7
#define WMSZ_BOTTOMRIGHT 8

// Moving or sizing with the mouse, until the button is released or the input ends.
// `start` is the screen point where the press happened.
void MoveSize(HWND hwnd, WPARAM cmd, POINT start) {
  auto w = Find(hwnd);
  if (!w || (w->style & WS_MAXIMIZE)) return;
  UINT part = static_cast<UINT>(cmd & 0x0F);  // SC_SIZE + WMSZ_*, SC_MOVE + HTCAPTION (2)
  bool moving = (cmd & 0xFFF0) == SC_MOVE;
  RECT orig = w->rect;
  MINMAXINFO mmi;
  GetMinMax(hwnd, &mmi);
  Send(hwnd, WM_ENTERSIZEMOVE, 0, 0);
  SetCapture(hwnd);
  MSG msg;
  RECT cur = orig;
  while (ModalMessage(&msg, kMsgfTrack)) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      cur = orig;
      SetWindowPos(hwnd, nullptr, cur.left, cur.top, cur.right - cur.left, cur.bottom - cur.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    }
    bool up = msg.message == WM_LBUTTONUP || msg.message == WM_NCLBUTTONUP;
    if (msg.message != WM_MOUSEMOVE && msg.message != WM_NCMOUSEMOVE && !up) continue;
    POINT p = MsgScreenPoint(msg);
    int dx = p.x - start.x, dy = p.y - start.y;
    RECT r = orig;
    if (moving) {
      OffsetRect(&r, dx, dy);
      Send(hwnd, WM_MOVING, 0, reinterpret_cast<LPARAM>(&r));
    } else {
      if (part == WMSZ_LEFT || part == WMSZ_TOPLEFT || part == WMSZ_BOTTOMLEFT) r.left += dx;
      if (part == WMSZ_RIGHT || part == WMSZ_TOPRIGHT || part == WMSZ_BOTTOMRIGHT) r.right += dx;
      if (part == WMSZ_TOP || part == WMSZ_TOPLEFT || part == WMSZ_TOPRIGHT) r.top += dy;
      if (part == WMSZ_BOTTOM || part == WMSZ_BOTTOMLEFT || part == WMSZ_BOTTOMRIGHT) r.bottom += dy;
      int wdt = std::clamp<int>(r.right - r.left, mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x);
      int hgt = std::clamp<int>(r.bottom - r.top, mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y);
      if (r.left != orig.left)
        r.left = r.right - wdt;
      else
        r.right = r.left + wdt;
      if (r.top != orig.top)
        r.top = r.bottom - hgt;
      else
        r.bottom = r.top + hgt;
      Send(hwnd, WM_SIZING, part, reinterpret_cast<LPARAM>(&r));
    }
    if (!Find(hwnd)) return;
    cur = r;
    RECT place = cur;  // the parent's client coordinates, as the window's rectangle is
    SetWindowPos(hwnd, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | (moving ? SWP_NOSIZE : 0));
    if (up) break;
  }
  if (GetCapture() == hwnd) ReleaseCapture();
  if (Find(hwnd)) Send(hwnd, WM_EXITSIZEMOVE, 0, 0);
}

LRESULT SysCommand(HWND hwnd, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  if (CallHooks(WH_CBT, HCBT_SYSCOMMAND, wp, lp)) return 0;
  switch (wp & 0xFFF0) {
    case SC_CLOSE:
      if (w->cls->style & CS_NOCLOSE) return 0;
      SendMessageW(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); return 0;
    case SC_MAXIMIZE: ShowWindow(hwnd, SW_MAXIMIZE); return 0;
    case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); return 0;
    case SC_MOVE:
    case SC_SIZE: {
      POINT start{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (!lp) GetCursorPos(&start);  // from the keyboard: where the pointer is
      MoveSize(hwnd, wp, start);
      return 0;
    }
    case SC_MOUSEMENU: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if ((wp & 0x0F) == HTSYSMENU)
        SystemMenuTrack(hwnd, p);
      else
        MenuBarTrack(hwnd, p, false);
      return 0;
    }
    case SC_KEYMENU: {
      // Alt+Space opens the system menu; the menu key alone the menu bar (the system menu
      // without one); Alt+character the bar item with that mnemonic.
      POINT o = WindowOrigin(*w);
      if (lp == VK_SPACE || (lp == 0 && !w->menu && (w->style & WS_SYSMENU)))
        SystemMenuTrack(hwnd, POINT{o.x + Metric(SM_CXFRAME), o.y + Metric(SM_CYFRAME) + Metric(SM_CYCAPTION)});
      else if (w->menu && lp == 0)
        MenuBarTrack(hwnd, o, true);
      else if (!w->menu || !MenuBarTrackKey(hwnd, static_cast<WCHAR>(lp)))
        MessageBeep(0);  // nothing to enter
      return 0;
    }
    case SC_HSCROLL:
    case SC_VSCROLL: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      TrackScrollBar(hwnd, (wp & 0xFFF0) == SC_HSCROLL ? SB_HORZ : SB_VERT, p);
      return 0;
    }
    case SC_NEXTWINDOW:
    case SC_PREVWINDOW:
    case SC_CONTEXTHELP:
    case SC_ARRANGE:
    case SC_TASKLIST:
    case SC_SCREENSAVE:
    case SC_HOTKEY:
    case SC_DEFAULT:
    case SC_MONITORPOWER: return 0;
    default: return 0;
  }
}

HBRUSH CtlColor(UINT msg, HDC hdc) {
  switch (msg) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(hdc, GetSysColor(COLOR_WINDOW));
      return GetSysColorBrush(COLOR_WINDOW);
    case WM_CTLCOLORSCROLLBAR:
      SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(hdc, GetSysColor(COLOR_SCROLLBAR));
      return GetSysColorBrush(COLOR_SCROLLBAR);
    default:
      SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(hdc, GetSysColor(COLOR_3DFACE));
      return GetSysColorBrush(COLOR_3DFACE);
  }
}

void PrintWindowTo(HWND hwnd, HDC hdc, LPARAM flags) {
  auto w = Find(hwnd);
  if (!w) return;
  if ((flags & PRF_CHECKVISIBLE) && !IsWindowVisible(hwnd)) return;
  POINT org;
  GetViewportOrgEx(hdc, &org);
  RECT c = w->client;
  OffsetRect(&c, -w->rect.left, -w->rect.top);
  if (flags & PRF_NONCLIENT) DrawDefaultFrame(hwnd, hdc, w->ncActive);
  if (flags & (PRF_ERASEBKGND | PRF_CLIENT | PRF_CHILDREN)) {
    int saved = SaveDC(hdc);
    if (flags & PRF_NONCLIENT) OffsetViewportOrgEx(hdc, c.left, c.top, nullptr);
    if (flags & PRF_ERASEBKGND) SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    if (flags & PRF_CLIENT) SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), flags);
    if (flags & PRF_CHILDREN) {
      auto ww = Find(hwnd);
      std::vector<HWND> kids = ww ? ww->children : std::vector<HWND>();
      for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        auto k = Find(*it);
        if (!k || !(k->style & WS_VISIBLE)) continue;
        int s2 = SaveDC(hdc);
        OffsetViewportOrgEx(hdc, k->rect.left, k->rect.top, nullptr);
        SendMessageW(*it, WM_PRINT, reinterpret_cast<WPARAM>(hdc), flags | PRF_NONCLIENT);
        RestoreDC(hdc, s2);
      }
    }
    RestoreDC(hdc, saved);
  }
}

LRESULT DefProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool unicode) {
  auto w = Find(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCCREATE: {
      auto cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      if (cs && cs->lpszName) {
        if (unicode)
          w->text = cs->lpszName;
        else
          w->text = ToWide(reinterpret_cast<CREATESTRUCTA*>(lp)->lpszName);
      }
      if (w->style & (WS_HSCROLL | WS_VSCROLL)) {
        w->hscroll = ScrollState{};
        w->vscroll = ScrollState{};
      }
      return TRUE;
    }
    case WM_NCCALCSIZE: {
      RECT* r = reinterpret_cast<RECT*>(lp);  // the first rectangle of NCCALCSIZE_PARAMS too
      if (r) ComputeNcCalc(*w, r);
      return 0;
    }
    case WM_NCHITTEST: return HitTest(*w, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
    case WM_NCPAINT: {
      if (!ReallyVisible(*w)) return 0;
      HRGN clip = (wp > 1) ? reinterpret_cast<HRGN>(wp) : nullptr;
      HDC hdc = GetDCEx(hwnd, clip, DCX_WINDOW | DCX_USESTYLE | (clip ? DCX_INTERSECTRGN : 0));
      if (!hdc) return 0;
      RECT c = w->client;
      OffsetRect(&c, -w->rect.left, -w->rect.top);
      ExcludeClipRect(hdc, c.left, c.top, c.right, c.bottom);
      DrawDefaultFrame(hwnd, hdc, w->ncActive);
      ReleaseDC(hwnd, hdc);
      return 0;
    }
    case WM_NCACTIVATE:
      w->ncActive = wp != 0;
      // lParam -1 asks for no redraw.
      if (lp != -1) RedrawFrame(hwnd);
      return TRUE;
    case WM_SETTEXT: {
      if (!lp)
        w->text.clear();
      else if (unicode)
        w->text = reinterpret_cast<LPCWSTR>(lp);
      else
        w->text = ToWide(reinterpret_cast<LPCSTR>(lp));
      if (HasCaption(w->style)) RedrawFrame(hwnd);
      return TRUE;
    }
    case WM_GETTEXT: {
      if (!wp || !lp) return 0;
      if (unicode) {
        size_t n = std::min(w->text.size(), static_cast<size_t>(wp) - 1);
        std::memcpy(reinterpret_cast<LPWSTR>(lp), w->text.data(), n * sizeof(WCHAR));
        reinterpret_cast<LPWSTR>(lp)[n] = 0;
        return static_cast<LRESULT>(n);
      }
      std::string a = ToAnsi(w->text);
      size_t n = 0;
      while (n < a.size()) {
        size_t step = (IsDBCSLeadByte(static_cast<BYTE>(a[n])) && n + 1 < a.size()) ? 2 : 1;
        if (n + step > static_cast<size_t>(wp) - 1) break;
        n += step;
      }
      std::memcpy(reinterpret_cast<LPSTR>(lp), a.data(), n);
      reinterpret_cast<LPSTR>(lp)[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return unicode ? static_cast<LRESULT>(w->text.size()) : static_cast<LRESULT>(ToAnsi(w->text).size());
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH br = w->cls->background;
      if (!br) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, br);
      return 1;
    }
    case WM_PRINT: PrintWindowTo(hwnd, reinterpret_cast<HDC>(wp), lp); return 0;
    case WM_WINDOWPOSCHANGED: {
      auto pos = reinterpret_cast<WINDOWPOS*>(lp);
      if (!pos) return 0;
      if (!(pos->flags & SWP_NOCLIENTMOVE)) Send(hwnd, WM_MOVE, 0, MAKELPARAM(w->client.left, w->client.top));
      if (!(pos->flags & SWP_NOCLIENTSIZE) || (pos->flags & SWP_STATECHANGED)) {
        if (!(w = Find(hwnd))) return 0;
        WPARAM kind = (w->style & WS_MINIMIZE)   ? SIZE_MINIMIZED
                      : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                                 : SIZE_RESTORED;
        Send(hwnd, WM_SIZE, kind, MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
      }
      return 0;
    }
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_SYSCOMMAND: return SysCommand(hwnd, wp, lp);
    case WM_NCLBUTTONDOWN: {
      switch (wp) {
        case HTCAPTION:
          if (!(w->style & WS_CHILD)) SetActiveWindow(hwnd);
          SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE + HTCAPTION, lp);
          return 0;
        case HTLEFT:
        case HTRIGHT:
        case HTTOP:
        case HTTOPLEFT:
        case HTTOPRIGHT:
        case HTBOTTOM:
        case HTBOTTOMLEFT:
        case HTBOTTOMRIGHT: SendMessageW(hwnd, WM_SYSCOMMAND, SC_SIZE + (wp - HTLEFT + 1), lp); return 0;
        case HTCLOSE:
        case HTMINBUTTON:
        case HTMAXBUTTON: TrackButton(hwnd, static_cast<LRESULT>(wp)); return 0;
        case HTSYSMENU:
          if (w->style & WS_SYSMENU) SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOUSEMENU + HTSYSMENU, lp);
          return 0;
        case HTMENU: SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOUSEMENU + HTMENU, lp); return 0;
        case HTHSCROLL: SendMessageW(hwnd, WM_SYSCOMMAND, SC_HSCROLL + HTHSCROLL, lp); return 0;
        case HTVSCROLL: SendMessageW(hwnd, WM_SYSCOMMAND, SC_VSCROLL + HTVSCROLL, lp); return 0;
        default: return 0;
      }
    }
    case WM_NCLBUTTONDBLCLK:
      // A double click on a button or a scroll bar is another press on it.
      if (wp == HTCLOSE || wp == HTMINBUTTON || wp == HTMAXBUTTON || wp == HTHSCROLL || wp == HTVSCROLL)
        return DefProc(hwnd, WM_NCLBUTTONDOWN, wp, lp, unicode);
      if (wp == HTCAPTION && (w->style & WS_MAXIMIZEBOX))
        SendMessageW(hwnd, WM_SYSCOMMAND, IsZoomed(hwnd) ? SC_RESTORE : SC_MAXIMIZE, lp);
      else if (wp == HTSYSMENU && (w->style & WS_SYSMENU))
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, lp);
      return 0;
    case WM_MOUSEACTIVATE:
      if ((w->style & WS_CHILD) && w->parent) {
        LRESULT r = SendMessageW(w->parent, WM_MOUSEACTIVATE, wp, lp);
        if (r) return r;
      }
      return (LOWORD(lp) == HTCAPTION) ? MA_ACTIVATE : MA_ACTIVATE;
    case WM_SETCURSOR:
      if ((w->style & WS_CHILD) && w->parent) {
        if (SendMessageW(w->parent, WM_SETCURSOR, wp, lp)) return TRUE;
      }
      if (LOWORD(lp) == HTCLIENT) {
        SetCursor(w->cls->cursor);
        return TRUE;
      }
      SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
      return FALSE;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE && !(w->style & WS_MINIMIZE)) SetFocus(hwnd);
      return 0;
    case WM_SETICON: {
      HICON old;
      if (wp == ICON_BIG) {
        old = w->iconBig;
        w->iconBig = reinterpret_cast<HICON>(lp);
      } else {
        old = w->iconSmall;
        w->iconSmall = reinterpret_cast<HICON>(lp);
      }
      if (HasCaption(w->style)) RedrawFrame(hwnd);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_GETICON:
      if (wp == ICON_BIG) return reinterpret_cast<LRESULT>(w->iconBig);
      return reinterpret_cast<LRESULT>(w->iconSmall ? w->iconSmall : nullptr);
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: return reinterpret_cast<LRESULT>(CtlColor(msg, reinterpret_cast<HDC>(wp)));
    case WM_CANCELMODE:
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
    case WM_SYSKEYDOWN:
      if (wp == VK_F4 && (HIWORD(lp) & 0x2000)) {
        HWND top = TopLevelOf(hwnd);
        SendMessageW(top, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (wp == VK_F10 || (msg == WM_SYSKEYUP && wp == VK_MENU && AltPressedAlone())) {
        HWND top = TopLevelOf(hwnd);
        SendMessageW(top, WM_SYSCOMMAND, SC_KEYMENU, 0);
      }
      return 0;
    case WM_SYSCHAR:
      if (wp != VK_RETURN && wp != VK_TAB && wp != VK_ESCAPE)
        SendMessageW(TopLevelOf(hwnd), WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(wp));
      return 0;
    case WM_MOUSEWHEEL:
    case WM_CONTEXTMENU:
      if ((w->style & WS_CHILD) && w->parent) return SendMessageW(w->parent, msg, wp, lp);
      return 0;
    case WM_RBUTTONUP: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ClientToScreen(hwnd, &p);
      SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(p.x, p.y));
      return 0;
    }
    case WM_SETREDRAW:
      if (wp)
        w->style |= WS_VISIBLE;
      else
        w->style &= ~WS_VISIBLE;
      return 0;
    case WM_SHOWWINDOW: return 0;
    case WM_QUERYENDSESSION:
    case WM_QUERYOPEN: return TRUE;
    case WM_NOTIFYFORMAT: return unicode ? 2 : 1;  // NFR_UNICODE : NFR_ANSI
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w->font);
    case WM_SETFONT: w->font = reinterpret_cast<HFONT>(wp); return 0;
    case WM_IME_COMPOSITION:
      // The committed text reaches the window as one WM_IME_CHAR per character.
      if (lp & GCS_RESULTSTR)
        for (char16_t c : ImeResult()) Send(hwnd, WM_IME_CHAR, c, 1);
      return 0;
    case WM_IME_CHAR:
      // An ANSI window's double-byte character (lead byte high) is two WM_CHARs.
      if (unicode) return Send(hwnd, WM_CHAR, wp, lp);
      if (wp & 0xFF00) Send(hwnd, WM_CHAR, (wp >> 8) & 0xFF, lp, false);
      return Send(hwnd, WM_CHAR, wp & 0xFF, lp, false);
    default: return 0;
  }
}

}  // namespace

}  // namespace kv::user

using namespace kv::user;

extern "C" {

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  size_t idx = 0;
  SpyRecord(KV_SPY_DEFPROC, hwnd, msg, wParam, lParam, 0, 0, 0, &idx);
  LRESULT r = DefProc(hwnd, msg, wParam, lParam, true);
  SpySetResult(idx, r);
  return r;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  size_t idx = 0;
  SpyRecord(KV_SPY_DEFPROC, hwnd, msg, wParam, lParam, 0, 0, 0, &idx);
  LRESULT r = DefProc(hwnd, msg, wParam, lParam, false);
  SpySetResult(idx, r);
  return r;
}

}  // extern "C"
