// DrawFrameControl: the plain look of buttons, scroll-bar arrows, caption buttons and
// menu marks, in the system colours.
#include <algorithm>

#include "platform/base/error.h"
#include "platform/user/frame.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

void Fill(HDC hdc, RECT r, int color) { FillRect(hdc, &r, GetSysColorBrush(color)); }

// A solid triangle pointing in `dir` (0 up, 1 down, 2 left, 3 right), centred in `r`.
void Arrow(HDC hdc, const RECT& r, int dir, COLORREF color) {
  int w = r.right - r.left, h = r.bottom - r.top;
  int size = std::max(2, std::min(w, h) / 3);
  int cx = r.left + w / 2, cy = r.top + h / 2;
  HPEN pen = CreatePen(0, 1, color);
  HGDIOBJ old = SelectObject(hdc, pen);
  for (int i = 0; i < size; ++i) {
    switch (dir) {
      case 0:
        MoveToEx(hdc, cx - i, cy - size / 2 + i, nullptr);
        LineTo(hdc, cx + i + 1, cy - size / 2 + i);
        break;
      case 1:
        MoveToEx(hdc, cx - i, cy + size / 2 - i, nullptr);
        LineTo(hdc, cx + i + 1, cy + size / 2 - i);
        break;
      case 2:
        MoveToEx(hdc, cx - size / 2 + i, cy - i, nullptr);
        LineTo(hdc, cx - size / 2 + i, cy + i + 1);
        break;
      default:
        MoveToEx(hdc, cx + size / 2 - i, cy - i, nullptr);
        LineTo(hdc, cx + size / 2 - i, cy + i + 1);
        break;
    }
  }
  SelectObject(hdc, old);
  DeleteObject(pen);
}

void Line(HDC hdc, int x0, int y0, int x1, int y1, COLORREF color, int width = 1) {
  HPEN pen = CreatePen(0, width, color);
  HGDIOBJ old = SelectObject(hdc, pen);
  MoveToEx(hdc, x0, y0, nullptr);
  LineTo(hdc, x1, y1);
  SelectObject(hdc, old);
  DeleteObject(pen);
}

void CheckMark(HDC hdc, const RECT& r, COLORREF color) {
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = r.left + w / 4, y = r.top + h / 2;
  for (int t = 0; t < 3; ++t) {
    Line(hdc, x, y + t - 1, x + w / 5, y + h / 5 + t - 1, color);
    Line(hdc, x + w / 5, y + h / 5 + t - 1, r.right - w / 5, r.top + h / 4 + t - 1, color);
  }
}

void PushFace(HDC hdc, RECT r, UINT state) {
  Fill(hdc, r, COLOR_3DFACE);
  if (state & DFCS_FLAT) {
    FrameRect(hdc, &r, GetSysColorBrush(COLOR_3DSHADOW));
  } else if (state & DFCS_MONO) {
    FrameRect(hdc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
  } else {
    DrawEdge(hdc, &r, (state & (DFCS_PUSHED | DFCS_CHECKED)) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  }
}

BOOL DrawButton(HDC hdc, RECT* rc, UINT state) {
  RECT r = *rc;
  UINT part = state & 0xFF;
  COLORREF ink = GetSysColor((state & DFCS_INACTIVE) ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
  if (part & DFCS_BUTTONPUSH) {
    PushFace(hdc, r, state);
    if (state & DFCS_ADJUSTRECT) InflateRect(rc, -2, -2);
    return TRUE;
  }
  int size = std::min(r.right - r.left, r.bottom - r.top);
  RECT box{r.left, r.top, r.left + size, r.top + size};
  if (part & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) {
    if (part & DFCS_BUTTONRADIOMASK) {
      HGDIOBJ ob = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
      HGDIOBJ op = SelectObject(hdc, GetStockObject(BLACK_PEN));
      Ellipse(hdc, box.left, box.top, box.right, box.bottom);
      SelectObject(hdc, op);
      SelectObject(hdc, ob);
      return TRUE;
    }
    HBRUSH face = GetSysColorBrush((state & (DFCS_INACTIVE | DFCS_PUSHED)) ? COLOR_3DFACE : COLOR_WINDOW);
    HPEN rim = CreatePen(0, 1, GetSysColor(COLOR_3DSHADOW));
    HGDIOBJ ob = SelectObject(hdc, face);
    HGDIOBJ op = SelectObject(hdc, rim);
    Ellipse(hdc, box.left, box.top, box.right, box.bottom);
    if (state & DFCS_CHECKED) {
      HBRUSH dot = CreateSolidBrush(ink);
      SelectObject(hdc, dot);
      SelectObject(hdc, GetStockObject(NULL_PEN));
      int in = std::max(2, size / 3);
      Ellipse(hdc, box.left + in, box.top + in, box.right - in + 1, box.bottom - in + 1);
      SelectObject(hdc, ob);
      DeleteObject(dot);
    }
    SelectObject(hdc, op);
    SelectObject(hdc, ob);
    DeleteObject(rim);
    return TRUE;
  }
  // Check box (plain or three-state).
  Fill(hdc, box,
       ((state & (DFCS_INACTIVE | DFCS_PUSHED)) || ((part & DFCS_BUTTON3STATE) && (state & DFCS_CHECKED)))
           ? COLOR_3DFACE
           : COLOR_WINDOW);
  RECT e = box;
  if (state & (DFCS_FLAT | DFCS_MONO))
    FrameRect(hdc, &e, GetSysColorBrush(COLOR_3DSHADOW));
  else
    DrawEdge(hdc, &e, EDGE_SUNKEN, BF_RECT);
  if (state & DFCS_CHECKED) {
    RECT m = box;
    InflateRect(&m, -2, -2);
    CheckMark(hdc, m, (part & DFCS_BUTTON3STATE) ? GetSysColor(COLOR_GRAYTEXT) : ink);
  }
  return TRUE;
}

BOOL DrawScroll(HDC hdc, RECT* rc, UINT state) {
  RECT r = *rc;
  UINT part = state & 0xFF;
  if (part == DFCS_SCROLLSIZEGRIP || part == DFCS_SCROLLSIZEGRIPRIGHT) {
    Fill(hdc, r, COLOR_3DFACE);
    COLORREF hi = GetSysColor(COLOR_3DHIGHLIGHT), sh = GetSysColor(COLOR_3DSHADOW);
    int size = std::min(r.right - r.left, r.bottom - r.top);
    for (int k = 3; k < size; k += 4) {
      if (part == DFCS_SCROLLSIZEGRIP) {
        Line(hdc, r.right - k, r.bottom - 1, r.right - 1, r.bottom - k, sh);
        Line(hdc, r.right - k - 1, r.bottom - 1, r.right - 1, r.bottom - k - 1, sh);
        Line(hdc, r.right - k - 2, r.bottom - 1, r.right - 1, r.bottom - k - 2, hi);
      } else {
        Line(hdc, r.left + k, r.bottom - 1, r.left, r.bottom - k, sh);
        Line(hdc, r.left + k + 1, r.bottom - 1, r.left, r.bottom - k - 1, hi);
      }
    }
    return TRUE;
  }
  int dir;
  switch (part) {
    case DFCS_SCROLLUP: dir = 0; break;
    case DFCS_SCROLLDOWN:
    case DFCS_SCROLLCOMBOBOX: dir = 1; break;
    case DFCS_SCROLLLEFT: dir = 2; break;
    case DFCS_SCROLLRIGHT: dir = 3; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
  PushFace(hdc, r, state);
  if (state & DFCS_PUSHED) OffsetRect(&r, 1, 1);
  Arrow(hdc, r, dir, GetSysColor((state & DFCS_INACTIVE) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  return TRUE;
}

BOOL DrawCaption(HDC hdc, RECT* rc, UINT state) {
  RECT r = *rc;
  UINT part = state & 0xFF;
  if (part > DFCS_CAPTIONHELP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PushFace(hdc, r, state);
  if (state & DFCS_PUSHED) OffsetRect(&r, 1, 1);
  COLORREF ink = GetSysColor((state & DFCS_INACTIVE) ? COLOR_GRAYTEXT : COLOR_BTNTEXT);
  int w = r.right - r.left, h = r.bottom - r.top;
  int l = r.left + w / 4, t = r.top + h / 4, rr = r.right - w / 4 - 1, b = r.bottom - h / 4 - 1;
  switch (part) {
    case DFCS_CAPTIONCLOSE:
      Line(hdc, l, t, rr + 1, b + 1, ink, 2);
      Line(hdc, l, b, rr + 1, t - 1, ink, 2);
      break;
    case DFCS_CAPTIONMIN: Line(hdc, l, b, rr, b, ink, 2); break;
    case DFCS_CAPTIONMAX: {
      RECT f{l, t, rr + 1, b + 1};
      HBRUSH br = CreateSolidBrush(ink);
      FrameRect(hdc, &f, br);
      RECT top{l, t, rr + 1, t + 2};
      FillRect(hdc, &top, br);
      DeleteObject(br);
      break;
    }
    case DFCS_CAPTIONRESTORE: {
      HBRUSH br = CreateSolidBrush(ink);
      int dx = std::max(2, w / 6);
      RECT back{l + dx, t, rr + 1, b + 1 - dx};
      RECT front{l, t + dx, rr + 1 - dx, b + 1};
      FrameRect(hdc, &back, br);
      Fill(hdc, front, COLOR_3DFACE);
      FrameRect(hdc, &front, br);
      DeleteObject(br);
      break;
    }
    default: {  // help: a question mark
      int cx = (l + rr) / 2;
      Line(hdc, l + 1, t + 1, cx, t, ink);
      Line(hdc, cx, t, rr - 1, t + 1, ink);
      Line(hdc, rr - 1, t + 1, cx, (t + b) / 2 + 1, ink);
      Line(hdc, cx, (t + b) / 2 + 1, cx, b - 1, ink);
      RECT dot{cx, b, cx + 1, b + 1};
      HBRUSH br = CreateSolidBrush(ink);
      FillRect(hdc, &dot, br);
      DeleteObject(br);
      break;
    }
  }
  return TRUE;
}

BOOL DrawMenuMark(HDC hdc, RECT* rc, UINT state) {
  RECT r = *rc;
  UINT part = state & 0xFF;
  COLORREF ink = GetSysColor((state & DFCS_INACTIVE) ? COLOR_GRAYTEXT : COLOR_MENUTEXT);
  if (!(state & DFCS_TRANSPARENT)) Fill(hdc, r, COLOR_MENU);
  switch (part) {
    case DFCS_MENUARROW: Arrow(hdc, r, 3, ink); return TRUE;
    case DFCS_MENUARROWRIGHT: Arrow(hdc, r, 2, ink); return TRUE;
    case DFCS_MENUCHECK: CheckMark(hdc, r, ink); return TRUE;
    case DFCS_MENUBULLET: {
      int w = r.right - r.left, h = r.bottom - r.top, s = std::max(2, std::min(w, h) / 3);
      HBRUSH br = CreateSolidBrush(ink);
      HGDIOBJ ob = SelectObject(hdc, br);
      HGDIOBJ op = SelectObject(hdc, GetStockObject(NULL_PEN));
      Ellipse(hdc, r.left + (w - s) / 2, r.top + (h - s) / 2, r.left + (w + s) / 2 + 1, r.top + (h + s) / 2 + 1);
      SelectObject(hdc, op);
      SelectObject(hdc, ob);
      DeleteObject(br);
      return TRUE;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
}

}  // namespace

}  // namespace kv::user

using namespace kv::user;

extern "C" BOOL DrawFrameControl(HDC hdc, LPRECT rect, UINT type, UINT state) {
  if (!hdc || !rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  switch (type) {
    case DFC_BUTTON: return DrawButton(hdc, rect, state);
    case DFC_SCROLL: return DrawScroll(hdc, rect, state);
    case DFC_CAPTION: return DrawCaption(hdc, rect, state);
    case DFC_MENU:
    case DFC_POPUPMENU: return DrawMenuMark(hdc, rect, state);
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
}
