// "SysHeader32": a row of column headings whose widths the user drags at the dividers;
// with HDS_BUTTONS the headings click like buttons. The HDN_ notifications arrive at the
// parent as WM_NOTIFY, in the A or W form the parent asks for with WM_NOTIFYFORMAT.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/comctl/internal.h"
#include "platform/comctl/header.h"
#include "platform/comctl/imagelist.h"

namespace kv::comctl {

namespace {

struct HeaderItem {
  std::u16string text;
  int width = 50;
  int fmt = HDF_LEFT | HDF_STRING;
  LPARAM lParam = 0;
  HBITMAP bitmap = nullptr;
  int image = 0;
};

struct HeaderData : ControlData {
  std::vector<HeaderItem> items;
  std::vector<int> order;  // display position -> item index
  HIMAGELIST images = nullptr;
  bool unicodeParent = true;
  int tracking = -1;  // item whose divider is dragged
  int trackWidth = 0;
  int pressed = -1;  // item held down as a button
  bool inside = false;
};

constexpr int kDivider = 4;  // pixels on each side of a divider that grab it

int Count(const HeaderData& d) { return static_cast<int>(d.items.size()); }
bool Valid(const HeaderData& d, int i) { return i >= 0 && i < Count(d); }

RECT ItemRect(const Window& w, const HeaderData& d, int index) {
  int x = 0;
  int h = w.client.bottom - w.client.top;
  for (int pos = 0; pos < Count(d); ++pos) {
    int i = d.order[static_cast<size_t>(pos)];
    int width = std::max(0, d.items[static_cast<size_t>(i)].width);
    if (i == index) return RECT{x, 0, x + width, h};
    x += width;
  }
  return RECT{0, 0, 0, 0};
}

// The item under a point and where on it.
int HitTest(const Window& w, const HeaderData& d, POINT p, UINT* flags) {
  int h = w.client.bottom - w.client.top;
  *flags = 0;
  if (p.y < 0) *flags |= HHT_ABOVE;
  if (p.y >= h) *flags |= HHT_BELOW;
  if (p.x < 0) *flags |= HHT_TOLEFT;
  if (*flags) return -1;
  int x = 0;
  for (int pos = 0; pos < Count(d); ++pos) {
    int i = d.order[static_cast<size_t>(pos)];
    int width = std::max(0, d.items[static_cast<size_t>(i)].width);
    int right = x + width;
    // The divider at the right edge belongs to the item on its left.
    if (p.x >= right - kDivider && p.x < right + kDivider) {
      *flags = HHT_ONDIVIDER;
      return i;
    }
    if (p.x >= x && p.x < right) {
      *flags = HHT_ONHEADER;
      return i;
    }
    x = right;
  }
  *flags = (p.x >= x) ? HHT_TORIGHT | HHT_NOWHERE : HHT_NOWHERE;
  return -1;
}

LRESULT Notify(HWND hwnd, UINT codeW, UINT codeA, int item, int button, HDITEMW* pitem) {
  auto w = Find(hwnd);
  if (!w || !w->parent) return 0;
  HeaderData& d = DataOf<HeaderData>(*w);
  NMHEADERW nm{};
  nm.iItem = item;
  nm.iButton = button;
  nm.pitem = pitem;
  return NotifyParentHdr(hwnd, d.unicodeParent ? codeW : codeA, &nm.hdr);
}

// Applies a new width with HDN_ITEMCHANGING (which may refuse) and HDN_ITEMCHANGED.
bool ChangeWidth(HWND hwnd, int i, int width) {
  HDITEMW item{};
  item.mask = HDI_WIDTH;
  item.cxy = width;
  if (Notify(hwnd, HDN_ITEMCHANGINGW, HDN_ITEMCHANGINGA, i, 0, &item)) return false;
  auto w = Find(hwnd);
  if (!w) return false;
  HeaderData& d = DataOf<HeaderData>(*w);
  if (!Valid(d, i)) return false;
  d.items[static_cast<size_t>(i)].width = width;
  InvalidateRect(hwnd, nullptr, TRUE);
  Notify(hwnd, HDN_ITEMCHANGEDW, HDN_ITEMCHANGEDA, i, 0, &item);
  return true;
}

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  HeaderData& d = DataOf<HeaderData>(*w);
  RECT c = ClientRectOf(*w);
  FillRect(hdc, &c, GetSysColorBrush(COLOR_3DFACE));
  FontScope fs(hdc, w->font);
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
  int right = 0;
  for (int pos = 0; pos < Count(d); ++pos) {
    int i = d.order[static_cast<size_t>(pos)];
    const HeaderItem& it = d.items[static_cast<size_t>(i)];
    RECT r = ItemRect(*w, d, i);
    right = r.right;
    if (r.right <= r.left) continue;
    bool down = i == d.pressed && d.inside;
    RECT e = r;
    DrawEdge(hdc, &e, down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    if (it.fmt & HDF_OWNERDRAW) {
      DRAWITEMSTRUCT dis{ODT_HEADER,
                         static_cast<UINT>(w->id),
                         static_cast<UINT>(i),
                         ODA_DRAWENTIRE,
                         down ? static_cast<UINT>(ODS_SELECTED) : 0u,
                         hwnd,
                         hdc,
                         r,
                         static_cast<ULONG_PTR>(it.lParam)};
      if (w->parent) SendMessageW(w->parent, WM_DRAWITEM, w->id, reinterpret_cast<LPARAM>(&dis));
      if (!(w = Find(hwnd))) return;
      continue;
    }
    RECT t = r;
    InflateRect(&t, -6, 0);
    if (down) OffsetRect(&t, 1, 1);
    // The item's image goes left of the text (right with HDF_BITMAP_ON_RIGHT) when it fits.
    int cx = 0, cy = 0;
    if ((it.fmt & HDF_IMAGE) && d.images && it.image >= 0 && it.image < ImageList_GetImageCount(d.images) &&
        ImageList_GetIconSize(d.images, &cx, &cy) && cx < t.right - t.left) {
      bool right = (it.fmt & HDF_BITMAP_ON_RIGHT) != 0;
      ImageList_Draw(d.images, it.image, hdc, right ? t.right - cx : t.left, t.top + (t.bottom - t.top - cy) / 2,
                     ILD_TRANSPARENT);
      if (right)
        t.right -= cx + 3;
      else
        t.left += cx + 3;
    }
    if (!it.text.empty()) {
      UINT align = (it.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT    ? DT_RIGHT
                   : (it.fmt & HDF_JUSTIFYMASK) == HDF_CENTER ? DT_CENTER
                                                              : DT_LEFT;
      DrawTextW(hdc, reinterpret_cast<LPCWSTR>(it.text.c_str()), static_cast<int>(it.text.size()), &t,
                align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
  }
  // The space after the last item is an empty heading.
  if (right < c.right) {
    RECT rest{right, 0, c.right, c.bottom};
    DrawEdge(hdc, &rest, EDGE_RAISED, BF_RECT);
  }
}

template <class ITEM>
void ReadItem(HeaderItem& it, const ITEM& src, bool unicode) {
  if (src.mask & HDI_WIDTH) it.width = src.cxy;
  if (src.mask & HDI_TEXT) it.text = TextParam(reinterpret_cast<LPARAM>(src.pszText), unicode);
  if (src.mask & HDI_FORMAT) it.fmt = src.fmt;
  if (src.mask & HDI_LPARAM) it.lParam = src.lParam;
  if (src.mask & HDI_BITMAP) it.bitmap = src.hbm;
  if (src.mask & HDI_IMAGE) it.image = src.iImage;
}

template <class ITEM>
LRESULT Insert(HWND hwnd, HeaderData& d, int index, const ITEM* src, bool unicode) {
  if (!src || index < 0) return -1;
  index = std::min(index, Count(d));
  HeaderItem it;
  ReadItem(it, *src, unicode);
  d.items.insert(d.items.begin() + index, std::move(it));
  for (int& o : d.order)
    if (o >= index) ++o;
  int pos = (src->mask & HDI_ORDER) ? std::clamp(src->iOrder, 0, Count(d) - 1) : index;
  pos = std::min(pos, static_cast<int>(d.order.size()));
  d.order.insert(d.order.begin() + pos, index);
  InvalidateRect(hwnd, nullptr, TRUE);
  return index;
}

template <class ITEM>
LRESULT GetItem(const HeaderData& d, int index, ITEM* dst, bool unicode) {
  if (!dst || !Valid(d, index)) return FALSE;
  const HeaderItem& it = d.items[static_cast<size_t>(index)];
  if (dst->mask & HDI_WIDTH) dst->cxy = it.width;
  if (dst->mask & HDI_FORMAT) dst->fmt = it.fmt;
  if (dst->mask & HDI_LPARAM) dst->lParam = it.lParam;
  if (dst->mask & HDI_BITMAP) dst->hbm = it.bitmap;
  if (dst->mask & HDI_IMAGE) dst->iImage = it.image;
  if (dst->mask & HDI_ORDER) {
    auto at = std::find(d.order.begin(), d.order.end(), index);
    dst->iOrder = static_cast<int>(at - d.order.begin());
  }
  if ((dst->mask & HDI_TEXT) && dst->pszText && dst->cchTextMax > 0) {
    std::u16string s = it.text;
    if (unicode) {
      s.resize(std::min(s.size(), static_cast<size_t>(dst->cchTextMax - 1)));
      CopyTextOut(s, reinterpret_cast<LPARAM>(dst->pszText), true);
    } else {
      std::string a = ToAnsi(s);
      a.resize(std::min(a.size(), static_cast<size_t>(dst->cchTextMax - 1)));
      std::memcpy(dst->pszText, a.c_str(), a.size() + 1);
    }
  }
  return TRUE;
}

template <class ITEM>
LRESULT SetItem(HWND hwnd, int index, const ITEM* src, bool unicode) {
  auto w = Find(hwnd);
  if (!w || !src) return FALSE;
  if (!Valid(DataOf<HeaderData>(*w), index)) return FALSE;
  HDITEMW probe{};
  probe.mask = src->mask;
  probe.cxy = src->cxy;
  probe.fmt = src->fmt;
  probe.lParam = src->lParam;
  if (Notify(hwnd, HDN_ITEMCHANGINGW, HDN_ITEMCHANGINGA, index, 0, &probe)) return FALSE;
  if (!(w = Find(hwnd))) return FALSE;
  HeaderData& d = DataOf<HeaderData>(*w);
  if (!Valid(d, index)) return FALSE;
  ReadItem(d.items[static_cast<size_t>(index)], *src, unicode);
  if (src->mask & HDI_ORDER) {
    d.order.erase(std::find(d.order.begin(), d.order.end(), index));
    d.order.insert(d.order.begin() + std::clamp(src->iOrder, 0, static_cast<int>(d.order.size())), index);
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  Notify(hwnd, HDN_ITEMCHANGEDW, HDN_ITEMCHANGEDA, index, 0, &probe);
  return TRUE;
}

LRESULT HeaderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  HeaderData& d = DataOf<HeaderData>(*w);
  int iw = static_cast<int>(wp);
  LRESULT answer;
  if (PaintOrFontMessage(*w, msg, wp, lp, Paint, answer)) return answer;
  switch (msg) {
    case WM_CREATE:
      if (w->parent)
        d.unicodeParent =
            SendMessageW(w->parent, WM_NOTIFYFORMAT, reinterpret_cast<WPARAM>(hwnd), NF_QUERY) != NFR_ANSI;
      return 0;
    case WM_NOTIFYFORMAT:
      if (lp == NF_REQUERY && w->parent) {
        d.unicodeParent =
            SendMessageW(w->parent, WM_NOTIFYFORMAT, reinterpret_cast<WPARAM>(hwnd), NF_QUERY) != NFR_ANSI;
        return d.unicodeParent ? NFR_UNICODE : NFR_ANSI;
      }
      return NFR_UNICODE;
    case WM_LBUTTONDOWN: {
      UINT flags;
      int i = HitTest(*w, d, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, &flags);
      if (i < 0) return 0;
      if (flags & HHT_ONDIVIDER) {
        HDITEMW item{};
        item.mask = HDI_WIDTH;
        item.cxy = d.items[static_cast<size_t>(i)].width;
        if (Notify(hwnd, HDN_BEGINTRACKW, HDN_BEGINTRACKA, i, 0, &item)) return 0;
        if (!(w = Find(hwnd))) return 0;
        HeaderData& dd = DataOf<HeaderData>(*w);
        if (!Valid(dd, i)) return 0;
        dd.tracking = i;
        dd.trackWidth = dd.items[static_cast<size_t>(i)].width;
        SetCapture(hwnd);
      } else if (w->style & HDS_BUTTONS) {
        d.pressed = i;
        d.inside = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        SetCapture(hwnd);
      }
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (Valid(d, d.tracking) && GetCapture() == hwnd) {
        int i = d.tracking;
        RECT r = ItemRect(*w, d, i);
        int width = std::max(0, static_cast<int>(p.x - r.left));
        d.trackWidth = width;
        HDITEMW item{};
        item.mask = HDI_WIDTH;
        item.cxy = width;
        if (w->style & HDS_FULLDRAG) {
          ChangeWidth(hwnd, i, width);
        } else if (!Notify(hwnd, HDN_TRACKW, HDN_TRACKA, i, 0, &item)) {
          if ((w = Find(hwnd))) {
            HeaderData& dd = DataOf<HeaderData>(*w);
            if (Valid(dd, i)) dd.items[static_cast<size_t>(i)].width = width;
            InvalidateRect(hwnd, nullptr, TRUE);
          }
        }
        return 0;
      }
      if (Valid(d, d.pressed) && GetCapture() == hwnd) {
        RECT r = ItemRect(*w, d, d.pressed);
        bool inside = PtInRect(&r, p) != FALSE;
        if (inside != d.inside) {
          d.inside = inside;
          InvalidateRect(hwnd, nullptr, TRUE);
        }
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      if (Valid(d, d.tracking)) {
        int i = d.tracking, width = d.trackWidth;
        d.tracking = -1;
        if (GetCapture() == hwnd) ReleaseCapture();
        HDITEMW item{};
        item.mask = HDI_WIDTH;
        item.cxy = width;
        Notify(hwnd, HDN_ENDTRACKW, HDN_ENDTRACKA, i, 0, &item);
        ChangeWidth(hwnd, i, width);
        return 0;
      }
      if (Valid(d, d.pressed)) {
        int i = d.pressed;
        bool inside = d.inside;
        d.pressed = -1;
        InvalidateRect(hwnd, nullptr, TRUE);
        if (GetCapture() == hwnd) ReleaseCapture();
        if (inside) Notify(hwnd, HDN_ITEMCLICKW, HDN_ITEMCLICKA, i, 0, nullptr);
      }
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      UINT flags;
      int i = HitTest(*w, d, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, &flags);
      if (i < 0) return 0;
      if (flags & HHT_ONDIVIDER)
        Notify(hwnd, HDN_DIVIDERDBLCLICKW, HDN_DIVIDERDBLCLICKA, i, 0, nullptr);
      else
        Notify(hwnd, HDN_ITEMDBLCLICKW, HDN_ITEMDBLCLICKA, i, 0, nullptr);
      return 0;
    }
    case WM_CAPTURECHANGED:
      d.tracking = -1;
      if (d.pressed >= 0) {
        d.pressed = -1;
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      return 0;
    case HDM_GETITEMCOUNT: return Count(d);
    case HDM_INSERTITEMW: return Insert(hwnd, d, iw, reinterpret_cast<const HDITEMW*>(lp), true);
    case HDM_INSERTITEMA: return Insert(hwnd, d, iw, reinterpret_cast<const HDITEMA*>(lp), false);
    case HDM_DELETEITEM: {
      if (!Valid(d, iw)) return FALSE;
      d.items.erase(d.items.begin() + iw);
      d.order.erase(std::find(d.order.begin(), d.order.end(), iw));
      for (int& o : d.order)
        if (o > iw) --o;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case HDM_GETITEMW: return GetItem(d, iw, reinterpret_cast<HDITEMW*>(lp), true);
    case HDM_GETITEMA: return GetItem(d, iw, reinterpret_cast<HDITEMA*>(lp), false);
    case HDM_SETITEMW: return SetItem(hwnd, iw, reinterpret_cast<const HDITEMW*>(lp), true);
    case HDM_SETITEMA: return SetItem(hwnd, iw, reinterpret_cast<const HDITEMA*>(lp), false);
    case HDM_LAYOUT: {
      auto layout = reinterpret_cast<HDLAYOUT*>(lp);
      if (!layout || !layout->prc || !layout->pwpos) return FALSE;
      RECT* r = layout->prc;
      int h = (w->style & HDS_HIDDEN) ? 0 : FontHeight(w->font) + 6;
      *layout->pwpos = WINDOWPOS{hwnd, nullptr, r->left, r->top, r->right - r->left, h, SWP_NOZORDER | SWP_NOACTIVATE};
      r->top += h;
      return TRUE;
    }
    case HDM_GETITEMRECT:
      if (!Valid(d, iw) || !lp) return FALSE;
      *reinterpret_cast<RECT*>(lp) = ItemRect(*w, d, iw);
      return TRUE;
    case HDM_HITTEST: {
      auto ht = reinterpret_cast<HDHITTESTINFO*>(lp);
      if (!ht) return -1;
      ht->iItem = HitTest(*w, d, ht->pt, &ht->flags);
      return ht->iItem;
    }
    case HDM_ORDERTOINDEX: return iw >= 0 && iw < Count(d) ? d.order[static_cast<size_t>(iw)] : iw;
    case HDM_GETORDERARRAY: {
      auto out = reinterpret_cast<int*>(lp);
      if (!out || iw != Count(d)) return FALSE;
      std::copy(d.order.begin(), d.order.end(), out);
      return TRUE;
    }
    case HDM_SETORDERARRAY: {
      auto in = reinterpret_cast<const int*>(lp);
      if (!in || iw != Count(d)) return FALSE;
      std::vector<int> order(in, in + iw);
      std::vector<int> sorted = order;
      std::sort(sorted.begin(), sorted.end());
      for (int k = 0; k < iw; ++k)
        if (sorted[static_cast<size_t>(k)] != k) return FALSE;  // not a permutation
      d.order = std::move(order);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case HDM_SETIMAGELIST: {
      HIMAGELIST old = d.images;
      d.images = reinterpret_cast<HIMAGELIST>(lp);
      return reinterpret_cast<LRESULT>(old);
    }
    case HDM_GETIMAGELIST: return reinterpret_cast<LRESULT>(d.images);
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterHeaderClass() {
  RegisterSystemClass(u"SysHeader32", HeaderProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
