// "SysTabControl32": one row of tabs along a side of a pane, the selection and the focus
// tab, and their plain look.
#include <algorithm>
#include <vector>

#include "platform/comctl/internal.h"
#include "platform/comctl/tab.h"

namespace kv::comctl {

namespace {

struct TabItem {
  std::u16string text;
  int image = -1;
  LPARAM param = 0;
  DWORD state = 0;
};

struct TabData : ControlData {
  std::vector<TabItem> items;
  int cur = -1;
  int focus = -1;
  HIMAGELIST images = nullptr;
};

enum Side { kTop, kBottom, kLeft, kRight };

Side SideOf(const Window& w) {
  if (w.style & TCS_VERTICAL) return (w.style & TCS_RIGHT) ? kRight : kLeft;
  return (w.style & TCS_BOTTOM) ? kBottom : kTop;
}

bool Vertical(Side s) { return s == kLeft || s == kRight; }

int Count(const TabData& d) { return static_cast<int>(d.items.size()); }

// The thickness of the tab row (across it) and the length of each tab (along it).
int RowThickness(const Window& w, const TabData& d) {
  int cy = 0, cx = 0;
  if (d.images) ImageList_GetIconSize(d.images, &cx, &cy);
  return std::max(FontHeight(w.font) + 8, cy + 6);
}

int TabLength(const Window& w, const TabData& d, const TabItem& it) {
  int len = 12;
  int cx = 0, cy = 0;
  if (d.images && it.image >= 0 && ImageList_GetIconSize(d.images, &cx, &cy)) len += cx + 3;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc) {
    {
      FontScope fs(dc, w.font);
      len += TextWidth(dc, it.text);
    }
    DeleteDC(dc);
  }
  return std::max(len, 24);
}

// The pane: the client area less the tab row (and the 2 pixels the selected tab stands out).
RECT PaneRect(const Window& w, const TabData& d) {
  RECT c = ClientRectOf(w);
  int band = RowThickness(w, d) + 2;
  switch (SideOf(w)) {
    case kTop: c.top = std::min(c.bottom, c.top + band); break;
    case kBottom: c.bottom = std::max(c.top, c.bottom - band); break;
    case kLeft: c.left = std::min(c.right, c.left + band); break;
    case kRight: c.right = std::max(c.left, c.right - band); break;
  }
  return c;
}

RECT ItemRect(const Window& w, const TabData& d, int index) {
  RECT c = ClientRectOf(w);
  int th = RowThickness(w, d);
  Side s = SideOf(w);
  int at = 2;
  for (int i = 0; i < index; ++i) at += TabLength(w, d, d.items[static_cast<size_t>(i)]);
  int len = TabLength(w, d, d.items[static_cast<size_t>(index)]);
  switch (s) {
    case kTop: return RECT{at, 2, at + len, 2 + th};
    case kBottom: return RECT{at, c.bottom - 2 - th, at + len, c.bottom - 2};
    case kLeft: return RECT{2, at, 2 + th, at + len};
    case kRight: return RECT{c.right - 2 - th, at, c.right - 2, at + len};
  }
  return RECT{};
}

int HitTest(const Window& w, const TabData& d, POINT p, UINT* flags) {
  for (int i = 0; i < Count(d); ++i) {
    RECT r = ItemRect(w, d, i);
    if (PtInRect(&r, p)) {
      if (flags) *flags = TCHT_ONITEMLABEL;
      return i;
    }
  }
  if (flags) *flags = TCHT_NOWHERE;
  return -1;
}

// The edges of a tab on the three sides away from the pane.
UINT TabEdges(Side s) {
  switch (s) {
    case kTop: return BF_LEFT | BF_TOP | BF_RIGHT;
    case kBottom: return BF_LEFT | BF_BOTTOM | BF_RIGHT;
    case kLeft: return BF_LEFT | BF_TOP | BF_BOTTOM;
    case kRight: return BF_RIGHT | BF_TOP | BF_BOTTOM;
  }
  return BF_RECT;
}

void PaintTab(HDC hdc, const Window& w, const TabData& d, int i, bool selected) {
  const TabItem& it = d.items[static_cast<size_t>(i)];
  Side s = SideOf(w);
  RECT r = ItemRect(w, d, i);
  if (selected) {
    // The selected tab stands 2 pixels out and merges with the pane (no pane edge under it).
    InflateRect(&r, 2, 2);
  }
  FillRect(hdc, &r, GetSysColorBrush(COLOR_3DFACE));
  RECT e = r;
  DrawEdge(hdc, &e, EDGE_RAISED, TabEdges(s));
  int x = r.left + 6, cx = 0, cy = 0;
  if (d.images && it.image >= 0 && ImageList_GetIconSize(d.images, &cx, &cy)) {
    int y = r.top + (r.bottom - r.top - cy) / 2;
    int ix = Vertical(s) ? r.left + (r.right - r.left - cx) / 2 : x;
    if (Vertical(s)) y = r.top + 6;
    ImageList_Draw(d.images, it.image, hdc, ix, y, ILD_TRANSPARENT);
    x += cx + 3;
  }
  // Vertical tabs show their image only: the text would need a turned font.
  if (Vertical(s) || it.text.empty()) return;
  RECT t{x, r.top, r.right - 6, r.bottom};
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, GetSysColor((w.style & WS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  DrawTextW(hdc, it.text.c_str(), static_cast<int>(it.text.size()), &t, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  if (i == d.focus && GetFocus() == w.hwnd) {
    RECT f = r;
    InflateRect(&f, -3, -3);
    DrawFocusRect(hdc, &f);
  }
}

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  TabData& d = DataOf<TabData>(*w);
  RECT c = ClientRectOf(*w);
  FillRect(hdc, &c, GetSysColorBrush(COLOR_3DFACE));
  RECT pane = PaneRect(*w, d);
  DrawEdge(hdc, &pane, EDGE_RAISED, BF_RECT);
  FontScope fs(hdc, w->font);
  for (int i = 0; i < Count(d); ++i)
    if (i != d.cur) PaintTab(hdc, *w, d, i, false);
  if (d.cur >= 0 && d.cur < Count(d)) PaintTab(hdc, *w, d, d.cur, true);
}

// Moves the selection to `index` as a click or a key does: the parent may refuse it.
void Select(HWND hwnd, int index) {
  auto w = Find(hwnd);
  if (!w) return;
  TabData& d = DataOf<TabData>(*w);
  if (index < 0 || index >= Count(d) || index == d.cur) return;
  NMHDR hdr{};
  if (NotifyParentHdr(hwnd, TCN_SELCHANGING, &hdr)) return;
  w = Find(hwnd);
  if (!w) return;
  TabData& e = DataOf<TabData>(*w);
  if (index >= Count(e)) return;
  e.cur = e.focus = index;
  InvalidateRect(hwnd, nullptr, TRUE);
  NotifyParentHdr(hwnd, TCN_SELCHANGE, &hdr);
}

void SetItem(TabItem& it, const TCITEMW& in, bool unicode) {
  if (in.mask & TCIF_TEXT) it.text = TextParam(reinterpret_cast<LPARAM>(in.pszText), unicode);
  if (in.mask & TCIF_IMAGE) it.image = in.iImage;
  if (in.mask & TCIF_PARAM) it.param = in.lParam;
  if (in.mask & TCIF_STATE) it.state = (it.state & ~in.dwStateMask) | (in.dwState & in.dwStateMask);
}

BOOL GetItem(const TabItem& it, TCITEMW& out, bool unicode) {
  if (out.mask & TCIF_TEXT) {
    if (!out.pszText || out.cchTextMax <= 0) return FALSE;
    size_t room = static_cast<size_t>(out.cchTextMax - 1);
    if (unicode) {
      size_t n = std::min(it.text.size(), room);
      std::copy_n(it.text.begin(), n, out.pszText);
      out.pszText[n] = 0;
    } else {
      std::string a = ToAnsi(it.text);
      size_t n = std::min(a.size(), room);
      auto dst = reinterpret_cast<LPSTR>(out.pszText);
      std::copy_n(a.begin(), n, dst);
      dst[n] = 0;
    }
  }
  if (out.mask & TCIF_IMAGE) out.iImage = it.image;
  if (out.mask & TCIF_PARAM) out.lParam = it.param;
  if (out.mask & TCIF_STATE) out.dwState = it.state & out.dwStateMask;
  return TRUE;
}

LRESULT TabProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  TabData& d = DataOf<TabData>(*w);
  LRESULT answer;
  if (PaintOrFontMessage(*w, msg, wp, lp, Paint, answer)) return answer;
  switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      int i = HitTest(*w, d, p, nullptr);
      if (!(w->style & TCS_FOCUSNEVER)) SetFocus(hwnd);
      if (i >= 0) Select(hwnd, i);
      return 0;
    }
    case WM_KEYDOWN: {
      int step = (wp == VK_LEFT || wp == VK_UP) ? -1 : (wp == VK_RIGHT || wp == VK_DOWN) ? 1 : 0;
      if (step && d.cur >= 0) Select(hwnd, d.cur + step);
      return 0;
    }
    case TCM_GETITEMCOUNT: return Count(d);
    case TCM_INSERTITEMA:
    case TCM_INSERTITEMW: {
      if (!lp) return -1;
      int at = std::clamp(static_cast<int>(wp), 0, Count(d));
      TabItem it;
      SetItem(it, *reinterpret_cast<const TCITEMW*>(lp), msg == TCM_INSERTITEMW);
      d.items.insert(d.items.begin() + at, std::move(it));
      // The first tab is selected; a tab inserted before the selection moves it along.
      if (d.cur < 0) {
        d.cur = d.focus = 0;
      } else {
        if (at <= d.cur) ++d.cur;
        if (d.focus >= 0 && at <= d.focus) ++d.focus;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return at;
    }
    case TCM_SETITEMA:
    case TCM_SETITEMW: {
      int i = static_cast<int>(wp);
      if (!lp || i < 0 || i >= Count(d)) return FALSE;
      SetItem(d.items[static_cast<size_t>(i)], *reinterpret_cast<const TCITEMW*>(lp), msg == TCM_SETITEMW);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case TCM_GETITEMA:
    case TCM_GETITEMW: {
      int i = static_cast<int>(wp);
      if (!lp || i < 0 || i >= Count(d)) return FALSE;
      return GetItem(d.items[static_cast<size_t>(i)], *reinterpret_cast<TCITEMW*>(lp), msg == TCM_GETITEMW);
    }
    case TCM_DELETEITEM: {
      int i = static_cast<int>(wp);
      if (i < 0 || i >= Count(d)) return FALSE;
      d.items.erase(d.items.begin() + i);
      // The selected tab deleted leaves no selection; a later one moves back.
      for (int* v : {&d.cur, &d.focus}) {
        if (*v == i)
          *v = -1;
        else if (*v > i)
          --*v;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case TCM_DELETEALLITEMS:
      d.items.clear();
      d.cur = d.focus = -1;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case TCM_GETITEMRECT: {
      int i = static_cast<int>(wp);
      if (!lp || i < 0 || i >= Count(d)) return FALSE;
      *reinterpret_cast<RECT*>(lp) = ItemRect(*w, d, i);
      return TRUE;
    }
    case TCM_GETCURSEL: return d.cur;
    case TCM_SETCURSEL: {
      int i = static_cast<int>(wp);
      if (i < 0 || i >= Count(d)) return -1;
      int before = d.cur;
      d.cur = d.focus = i;
      InvalidateRect(hwnd, nullptr, TRUE);
      return before;
    }
    case TCM_GETCURFOCUS: return d.focus;
    case TCM_SETCURFOCUS: {
      int i = static_cast<int>(wp);
      if (i < 0 || i >= Count(d)) return 0;
      Select(hwnd, i);
      return 0;
    }
    case TCM_HITTEST: {
      if (!lp) return -1;
      auto info = reinterpret_cast<TCHITTESTINFO*>(lp);
      return HitTest(*w, d, info->pt, &info->flags);
    }
    case TCM_GETROWCOUNT: return Count(d) ? 1 : 0;
    case TCM_GETIMAGELIST: return reinterpret_cast<LRESULT>(d.images);
    case TCM_SETIMAGELIST: {
      HIMAGELIST before = d.images;
      d.images = reinterpret_cast<HIMAGELIST>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(before);
    }
    case TCM_ADJUSTRECT: {
      if (!lp) return 0;
      auto r = reinterpret_cast<RECT*>(lp);
      // The display area is the pane less 4 pixels all round.
      int band = RowThickness(*w, d) + 2;
      int sign = wp ? -1 : 1;
      InflateRect(r, -4 * sign, -4 * sign);
      switch (SideOf(*w)) {
        case kTop: r->top += sign * band; break;
        case kBottom: r->bottom -= sign * band; break;
        case kLeft: r->left += sign * band; break;
        case kRight: r->right -= sign * band; break;
      }
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterTabClass() {
  RegisterSystemClass(u"SysTabControl32", TabProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_PARENTDC, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
