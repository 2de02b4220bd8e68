// "SysListView32" in report view: rows of items with sub-item texts under a "SysHeader32"
// child that holds the columns, selection and focus states with LVN_ITEMCHANGING/CHANGED,
// clicks, keys and scrolling. The other views are laid out as the report view without a
// header. Image lists are kept as handles and not drawn.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/comctl/header.h"
#include "platform/comctl/imagelist.h"
#include "platform/comctl/internal.h"
#include "platform/comctl/listview.h"

namespace kv::comctl {

namespace {

struct Row {
  std::vector<std::u16string> texts;  // by sub-item
  std::vector<bool> callback;         // by sub-item: the text is the parent's (LPSTR_TEXTCALLBACK)
  UINT state = 0;
  LPARAM lParam = 0;
  int image = 0;
  int indent = 0;
};

// Sub-item indexes beyond this are refused (a sub-item index sizes each row's texts).
constexpr int kMaxSubItems = 1024;

struct ColumnInfo {
  int subItem = 0;
  int image = 0;
};

struct ListViewData : ControlData {
  HWND header = nullptr;
  std::vector<Row> rows;
  std::vector<ColumnInfo> columns;  // parallel to the header's items
  DWORD exStyle = 0;
  COLORREF bk = CLR_DEFAULT, text = CLR_DEFAULT, textBk = CLR_NONE;
  HIMAGELIST images[3] = {nullptr, nullptr, nullptr};
  int top = 0;
  int xScroll = 0;
  int anchor = -1;
  bool focused = false;
  bool unicodeParent = true;
};

int Count(const ListViewData& d) { return static_cast<int>(d.rows.size()); }
bool Valid(const ListViewData& d, int i) { return i >= 0 && i < Count(d); }
bool Report(const Window& w) { return (w.style & LVS_TYPEMASK) == LVS_REPORT; }

// A line of text, or the small images when they are taller.
int RowHeight(const Window& w) {
  int h = FontHeight(w.font) + 2;
  auto* d = dynamic_cast<const ListViewData*>(w.control.get());
  int cx = 0, cy = 0;
  if (d && d->images[LVSIL_SMALL] && ImageList_GetIconSize(d->images[LVSIL_SMALL], &cx, &cy)) h = std::max(h, cy + 1);
  return h;
}

int HeaderHeight(const ListViewData& d) {
  if (!d.header) return 0;
  auto h = Find(d.header);
  if (!h || !(h->style & WS_VISIBLE)) return 0;
  return h->rect.bottom - h->rect.top;
}

int PerPage(const Window& w, const ListViewData& d) {
  int h = (w.client.bottom - w.client.top) - HeaderHeight(d);
  return std::max(1, h / RowHeight(w));
}

int ColumnCount(const ListViewData& d) { return static_cast<int>(d.columns.size()); }

// The left and right of a column in client coordinates (header order and widths).
bool ColumnSpan(const ListViewData& d, int col, int* left, int* right) {
  RECT r{};
  if (!d.header || !SendMessageW(d.header, HDM_GETITEMRECT, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&r)))
    return false;
  *left = r.left - d.xScroll;
  *right = r.right - d.xScroll;
  return true;
}

int TotalWidth(const Window& w, const ListViewData& d) {
  int right = 0;
  for (int c = 0; c < ColumnCount(d); ++c) {
    int l, r;
    if (ColumnSpan(d, c, &l, &r)) right = std::max(right, r + d.xScroll);
  }
  return ColumnCount(d) ? right : (w.client.right - w.client.left);
}

RECT RowRect(const Window& w, const ListViewData& d, int i) {
  int y = HeaderHeight(d) + (i - d.top) * RowHeight(w);
  return RECT{-d.xScroll, y, TotalWidth(w, d) - d.xScroll, y + RowHeight(w)};
}

void LayoutHeader(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return;
  ListViewData& d = DataOf<ListViewData>(*w);
  if (!d.header) return;
  RECT area = ClientRectOf(*w);
  WINDOWPOS pos{};
  HDLAYOUT layout{&area, &pos};
  SendMessageW(d.header, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&layout));
  bool show = Report(*w) && !(w->style & LVS_NOCOLUMNHEADER);
  SetWindowPos(d.header, nullptr, pos.x - d.xScroll, pos.y, pos.cx + d.xScroll, pos.cy,
               SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void UpdateScroll(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || (w->style & LVS_NOSCROLL)) return;
  ListViewData& d = DataOf<ListViewData>(*w);
  int page = PerPage(*w, d);
  bool need = Count(d) > page;
  if (need != ((w->style & WS_VSCROLL) != 0)) ShowScrollBar(hwnd, SB_VERT, need);
  if (!(w = Find(hwnd))) return;
  if (need) {
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, Count(d) - 1, static_cast<UINT>(page), d.top, 0};
    SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
  }
}

void SetTop(HWND hwnd, int top) {
  auto w = Find(hwnd);
  if (!w) return;
  ListViewData& d = DataOf<ListViewData>(*w);
  top = std::clamp(top, 0, std::max(0, Count(d) - PerPage(*w, d)));
  if (top != d.top) {
    d.top = top;
    InvalidateRect(hwnd, nullptr, TRUE);
  }
  UpdateScroll(hwnd);
}

LRESULT Notify(HWND hwnd, UINT code, NMHDR* hdr) { return NotifyParentHdr(hwnd, code, hdr); }

// Changes an item's state with LVN_ITEMCHANGING (which may refuse) and LVN_ITEMCHANGED.
bool ChangeState(HWND hwnd, int i, UINT state, UINT mask) {
  auto w = Find(hwnd);
  if (!w) return false;
  ListViewData& d = DataOf<ListViewData>(*w);
  if (!Valid(d, i)) return false;
  UINT old = d.rows[static_cast<size_t>(i)].state;
  UINT now = (old & ~mask) | (state & mask);
  if (now == old) return true;
  if ((w->style & LVS_SINGLESEL) && (now & LVIS_SELECTED) && !(old & LVIS_SELECTED)) {
    for (int k = 0; k < Count(d); ++k)
      if (k != i && (d.rows[static_cast<size_t>(k)].state & LVIS_SELECTED)) {
        ChangeState(hwnd, k, 0, LVIS_SELECTED);
        if (!(w = Find(hwnd))) return false;
      }
  }
  if ((now & LVIS_FOCUSED) && !(old & LVIS_FOCUSED)) {
    for (int k = 0; k < Count(d); ++k)
      if (k != i && (d.rows[static_cast<size_t>(k)].state & LVIS_FOCUSED)) {
        ChangeState(hwnd, k, 0, LVIS_FOCUSED);
        if (!(w = Find(hwnd))) return false;
      }
  }
  if (!Valid(d, i)) return false;
  NMLISTVIEW nm{};
  nm.iItem = i;
  nm.uNewState = now;
  nm.uOldState = old;
  nm.uChanged = LVIF_STATE;
  nm.lParam = d.rows[static_cast<size_t>(i)].lParam;
  if (Notify(hwnd, LVN_ITEMCHANGING, &nm.hdr)) return false;
  if (!(w = Find(hwnd))) return false;
  ListViewData& dd = DataOf<ListViewData>(*w);
  if (!Valid(dd, i)) return false;
  dd.rows[static_cast<size_t>(i)].state = now;
  InvalidateRect(hwnd, nullptr, TRUE);
  Notify(hwnd, LVN_ITEMCHANGED, &nm.hdr);
  return true;
}

void EnsureVisible(HWND hwnd, int i) {
  auto w = Find(hwnd);
  if (!w) return;
  ListViewData& d = DataOf<ListViewData>(*w);
  if (!Valid(d, i)) return;
  int page = PerPage(*w, d);
  if (i < d.top)
    SetTop(hwnd, i);
  else if (i >= d.top + page)
    SetTop(hwnd, i - page + 1);
}

int Focused(const ListViewData& d) {
  for (int i = 0; i < Count(d); ++i)
    if (d.rows[static_cast<size_t>(i)].state & LVIS_FOCUSED) return i;
  return -1;
}

// The user chose item `i` with the modifier keys given.
void UserSelect(HWND hwnd, int i, bool shift, bool ctrl) {
  auto w = Find(hwnd);
  if (!w) return;
  ListViewData& d = DataOf<ListViewData>(*w);
  if (!Valid(d, i)) return;
  bool single = (w->style & LVS_SINGLESEL) != 0;
  if (single || (!shift && !ctrl)) {
    for (int k = 0; k < Count(d); ++k)
      if (k != i && (d.rows[static_cast<size_t>(k)].state & LVIS_SELECTED)) ChangeState(hwnd, k, 0, LVIS_SELECTED);
    ChangeState(hwnd, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if ((w = Find(hwnd))) DataOf<ListViewData>(*w).anchor = i;
  } else if (ctrl) {
    bool on = !(d.rows[static_cast<size_t>(i)].state & LVIS_SELECTED);
    ChangeState(hwnd, i, (on ? LVIS_SELECTED : 0) | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if ((w = Find(hwnd))) DataOf<ListViewData>(*w).anchor = i;
  } else {
    int a = Valid(d, d.anchor) ? d.anchor : i;
    int lo = std::min(a, i), hi = std::max(a, i);
    for (int k = 0; k < Count(d); ++k) {
      ChangeState(hwnd, k, (k >= lo && k <= hi) ? LVIS_SELECTED : 0, LVIS_SELECTED);
      if (!(w = Find(hwnd))) return;
    }
    ChangeState(hwnd, i, LVIS_FOCUSED, LVIS_FOCUSED);
  }
  EnsureVisible(hwnd, i);
}

int HitRow(const Window& w, const ListViewData& d, POINT p, UINT* flags, int* sub) {
  *flags = 0;
  *sub = 0;
  int y0 = HeaderHeight(d);
  if (p.y < y0) *flags |= LVHT_ABOVE;
  if (p.y >= w.client.bottom - w.client.top) *flags |= LVHT_BELOW;
  if (p.x < 0) *flags |= LVHT_TOLEFT;
  if (p.x >= TotalWidth(w, d) - d.xScroll) *flags |= LVHT_TORIGHT;
  if (*flags) return -1;
  int i = d.top + (p.y - y0) / RowHeight(w);
  if (!Valid(d, i)) {
    *flags = LVHT_NOWHERE;
    return -1;
  }
  for (int c = 0; c < ColumnCount(d); ++c) {
    int l, r;
    if (ColumnSpan(d, c, &l, &r) && p.x >= l && p.x < r) *sub = d.columns[static_cast<size_t>(c)].subItem;
  }
  *flags = LVHT_ONITEMLABEL;
  return i;
}

std::u16string TextOf(HWND hwnd, int i, int sub);

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  ListViewData& d = DataOf<ListViewData>(*w);
  RECT c = ClientRectOf(*w);
  HBRUSH bg = d.bk == CLR_DEFAULT ? GetSysColorBrush(COLOR_WINDOW) : CreateSolidBrush(d.bk);
  FillRect(hdc, &c, bg);
  if (d.bk != CLR_DEFAULT) DeleteObject(bg);
  FontScope fs(hdc, w->font);
  SetBkMode(hdc, TRANSPARENT);
  COLORREF textColor = d.text == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : d.text;
  bool showSel = d.focused || (w->style & LVS_SHOWSELALWAYS);
  bool fullRow = (d.exStyle & LVS_EX_FULLROWSELECT) != 0;
  int lineH = RowHeight(*w);
  for (int i = d.top; i < Count(d); ++i) {
    RECT row = RowRect(*w, d, i);
    if (row.top >= c.bottom) break;
    // The parent's answers for callback texts may change the rows: keep only the state.
    UINT state = d.rows[static_cast<size_t>(i)].state;
    int image = d.rows[static_cast<size_t>(i)].image;
    bool sel = (state & LVIS_SELECTED) && showSel;
    for (int col = 0; col < std::max(1, ColumnCount(d)); ++col) {
      int l = row.left, rr = row.right;
      int sub = 0;
      int fmt = LVCFMT_LEFT;
      if (ColumnCount(d)) {
        if (!ColumnSpan(d, col, &l, &rr)) continue;
        sub = d.columns[static_cast<size_t>(col)].subItem;
        HDITEMW hi{};
        hi.mask = HDI_FORMAT;
        SendMessageW(d.header, HDM_GETITEMW, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&hi));
        fmt = hi.fmt & LVCFMT_JUSTIFYMASK;
      }
      RECT cell{l, row.top, rr, row.bottom};
      bool hiCell = sel && (fullRow || sub == 0);
      if (hiCell) FillRect(hdc, &cell, GetSysColorBrush(d.focused ? COLOR_HIGHLIGHT : COLOR_3DFACE));
      std::u16string s = TextOf(hwnd, i, sub);
      if (!(w = Find(hwnd))) return;
      RECT t = cell;
      InflateRect(&t, -2, 0);
      // The item's small image leads its first column.
      HIMAGELIST small = d.images[LVSIL_SMALL];
      int cx = 0, cy = 0;
      if (sub == 0 && small && image >= 0 && image < ImageList_GetImageCount(small) &&
          ImageList_GetIconSize(small, &cx, &cy)) {
        ImageList_Draw(small, image, hdc, t.left, cell.top + (cell.bottom - cell.top - cy) / 2, ILD_TRANSPARENT);
        t.left += cx + 2;
      }
      if (!s.empty()) {
        SetTextColor(hdc, hiCell && d.focused ? GetSysColor(COLOR_HIGHLIGHTTEXT) : textColor);
        DrawTextW(hdc, reinterpret_cast<LPCWSTR>(s.c_str()), static_cast<int>(s.size()), &t,
                  (fmt == LVCFMT_RIGHT    ? DT_RIGHT
                   : fmt == LVCFMT_CENTER ? DT_CENTER
                                          : DT_LEFT) |
                      DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      }
      if (d.exStyle & LVS_EX_GRIDLINES) {
        RECT g{cell.right - 1, cell.top, cell.right, cell.bottom};
        FillRect(hdc, &g, GetSysColorBrush(COLOR_3DFACE));
      }
    }
    if (d.exStyle & LVS_EX_GRIDLINES) {
      RECT g{row.left, row.bottom - 1, row.right, row.bottom};
      FillRect(hdc, &g, GetSysColorBrush(COLOR_3DFACE));
    }
    if (d.focused && (state & LVIS_FOCUSED)) {
      RECT f = row;
      if (!fullRow && ColumnCount(d)) ColumnSpan(d, 0, &f.left, &f.right);
      f.bottom = f.top + lineH;
      DrawFocusRect(hdc, &f);
    }
  }
}

template <class COL>
LRESULT InsertColumn(HWND hwnd, ListViewData& d, int index, const COL* col, bool unicode) {
  if (!col || index < 0 || !d.header) return -1;
  index = std::min(index, ColumnCount(d));
  HDITEMW hi{};
  hi.mask = HDI_FORMAT | HDI_WIDTH;
  hi.fmt = ((col->mask & LVCF_FMT) ? (col->fmt & LVCFMT_JUSTIFYMASK) : LVCFMT_LEFT) | HDF_STRING;
  hi.cxy = (col->mask & LVCF_WIDTH) ? col->cx : 50;
  std::u16string text;
  if (col->mask & LVCF_TEXT) {
    text = TextParam(reinterpret_cast<LPARAM>(col->pszText), unicode);
    hi.mask |= HDI_TEXT;
    hi.pszText = reinterpret_cast<LPWSTR>(text.data());
  }
  if (col->mask & LVCF_ORDER) {
    hi.mask |= HDI_ORDER;
    hi.iOrder = col->iOrder;
  }
  LRESULT r = SendMessageW(d.header, HDM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&hi));
  auto w = Find(hwnd);
  if (r < 0 || !w) return -1;
  ListViewData& dd = DataOf<ListViewData>(*w);
  ColumnInfo ci;
  ci.subItem = (col->mask & LVCF_SUBITEM) ? col->iSubItem : static_cast<int>(r);
  ci.image = (col->mask & LVCF_IMAGE) ? col->iImage : 0;
  dd.columns.insert(dd.columns.begin() + r, ci);
  InvalidateRect(hwnd, nullptr, TRUE);
  return r;
}

template <class COL>
LRESULT SetColumn(HWND hwnd, ListViewData& d, int index, const COL* col, bool unicode) {
  if (!col || index < 0 || index >= ColumnCount(d)) return FALSE;
  HDITEMW hi{};
  std::u16string text;
  if (col->mask & LVCF_FMT) {
    hi.mask |= HDI_FORMAT;
    hi.fmt = (col->fmt & LVCFMT_JUSTIFYMASK) | HDF_STRING;
  }
  if (col->mask & LVCF_WIDTH) {
    hi.mask |= HDI_WIDTH;
    hi.cxy = col->cx;
  }
  if (col->mask & LVCF_TEXT) {
    text = TextParam(reinterpret_cast<LPARAM>(col->pszText), unicode);
    hi.mask |= HDI_TEXT;
    hi.pszText = reinterpret_cast<LPWSTR>(text.data());
  }
  if (col->mask & LVCF_ORDER) {
    hi.mask |= HDI_ORDER;
    hi.iOrder = col->iOrder;
  }
  if (col->mask & LVCF_SUBITEM) d.columns[static_cast<size_t>(index)].subItem = col->iSubItem;
  if (col->mask & LVCF_IMAGE) d.columns[static_cast<size_t>(index)].image = col->iImage;
  if (hi.mask && !SendMessageW(d.header, HDM_SETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&hi)))
    return FALSE;
  InvalidateRect(hwnd, nullptr, TRUE);
  return TRUE;
}

template <class COL>
LRESULT GetColumn(const ListViewData& d, int index, COL* col, bool unicode) {
  if (!col || index < 0 || index >= ColumnCount(d)) return FALSE;
  std::u16string text(static_cast<size_t>(std::max(col->cchTextMax, 0)) + 260, u'\0');
  HDITEMW hi{};
  hi.mask = HDI_FORMAT | HDI_WIDTH | HDI_ORDER | HDI_TEXT;
  hi.pszText = reinterpret_cast<LPWSTR>(text.data());
  hi.cchTextMax = static_cast<int>(text.size());
  if (!SendMessageW(d.header, HDM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&hi))) return FALSE;
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  if (col->mask & LVCF_FMT) col->fmt = hi.fmt & LVCFMT_JUSTIFYMASK;
  if (col->mask & LVCF_WIDTH) col->cx = hi.cxy;
  if (col->mask & LVCF_ORDER) col->iOrder = hi.iOrder;
  if (col->mask & LVCF_SUBITEM) col->iSubItem = d.columns[static_cast<size_t>(index)].subItem;
  if (col->mask & LVCF_IMAGE) col->iImage = d.columns[static_cast<size_t>(index)].image;
  if ((col->mask & LVCF_TEXT) && col->pszText && col->cchTextMax > 0) {
    if (unicode) {
      text.resize(std::min(text.size(), static_cast<size_t>(col->cchTextMax - 1)));
      CopyTextOut(text, reinterpret_cast<LPARAM>(col->pszText), true);
    } else {
      std::string a = ToAnsi(text);
      a.resize(std::min(a.size(), static_cast<size_t>(col->cchTextMax - 1)));
      std::memcpy(col->pszText, a.c_str(), a.size() + 1);
    }
  }
  return TRUE;
}

const std::u16string& SubText(const Row& r, int sub) {
  static const std::u16string empty;
  return static_cast<size_t>(sub) < r.texts.size() ? r.texts[static_cast<size_t>(sub)] : empty;
}

// Stores a sub-item text given by a program: a string, or LPSTR_TEXTCALLBACK.
void SetText(Row& r, int sub, LPARAM text, bool unicode) {
  size_t i = static_cast<size_t>(sub);
  if (i >= r.texts.size()) {
    r.texts.resize(i + 1);
    r.callback.resize(i + 1);
  }
  bool cb = text == -1;
  r.callback[i] = cb;
  r.texts[i] = cb ? std::u16string() : TextParam(text, unicode);
}

// The parent's LVN_GETDISPINFO answer for a callback text, in the parent's character set
// (`code` and `callback` of that set); nullptr when it gives no text.
template <class DispInfo, class Char, size_t N>
const Char* AskDisplayText(HWND hwnd, UINT code, Char* callback, const Row& r, int i, int sub, Char (&buf)[N]) {
  DispInfo di{};
  di.item.mask = LVIF_TEXT;
  di.item.iItem = i;
  di.item.iSubItem = sub;
  di.item.pszText = buf;
  di.item.cchTextMax = static_cast<int>(N);
  di.item.lParam = r.lParam;
  NotifyParentHdr(hwnd, code, &di.hdr);
  return di.item.pszText == callback ? nullptr : di.item.pszText;
}

// The text of a sub-item as shown: for a callback text, the parent's LVN_GETDISPINFO answer.
std::u16string TextOf(HWND hwnd, int i, int sub) {
  auto w = Find(hwnd);
  if (!w) return {};
  ListViewData& d = DataOf<ListViewData>(*w);
  if (!Valid(d, i) || sub < 0) return {};
  const Row& r = d.rows[static_cast<size_t>(i)];
  size_t k = static_cast<size_t>(sub);
  if (k >= r.callback.size() || !r.callback[k]) return SubText(r, sub);
  constexpr size_t kMax = 260;
  if (d.unicodeParent) {
    WCHAR buf[kMax] = {};
    const WCHAR* text = AskDisplayText<NMLVDISPINFOW>(hwnd, LVN_GETDISPINFOW, LPSTR_TEXTCALLBACKW, r, i, sub, buf);
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
  }
  char buf[kMax] = {};
  const char* text = AskDisplayText<NMLVDISPINFOA>(hwnd, LVN_GETDISPINFOA, LPSTR_TEXTCALLBACKA, r, i, sub, buf);
  return text ? ToWide(text) : std::u16string();
}

template <class ITEM>
LRESULT InsertItem(HWND hwnd, ListViewData& d, const ITEM* item, bool unicode) {
  if (!item || item->iItem < 0 || item->iSubItem != 0) return -1;
  auto w = Find(hwnd);
  if (!w) return -1;
  Row r;
  if (item->mask & LVIF_TEXT) SetText(r, 0, reinterpret_cast<LPARAM>(item->pszText), unicode);
  if (item->mask & LVIF_PARAM) r.lParam = item->lParam;
  if (item->mask & LVIF_IMAGE) r.image = item->iImage;
  if (item->mask & LVIF_INDENT) r.indent = item->iIndent;
  UINT state = (item->mask & LVIF_STATE) ? (item->state & item->stateMask) : 0;
  int at = std::min(item->iItem, Count(d));
  if (w->style & (LVS_SORTASCENDING | LVS_SORTDESCENDING)) {
    bool desc = (w->style & LVS_SORTDESCENDING) != 0;
    at = Count(d);
    for (int k = 0; k < Count(d); ++k) {
      int cmp = CompareNoCase(SubText(r, 0), SubText(d.rows[static_cast<size_t>(k)], 0));
      if (desc ? cmp > 0 : cmp < 0) {
        at = k;
        break;
      }
    }
  }
  d.rows.insert(d.rows.begin() + at, std::move(r));
  if (d.anchor >= at) ++d.anchor;
  NMLISTVIEW nm{};
  nm.iItem = at;
  Notify(hwnd, LVN_INSERTITEM, &nm.hdr);
  if (state) ChangeState(hwnd, at, state, state);
  UpdateScroll(hwnd);
  InvalidateRect(hwnd, nullptr, TRUE);
  return at;
}

template <class ITEM>
LRESULT SetItem(HWND hwnd, ListViewData& d, const ITEM* item, bool unicode) {
  if (!item || !Valid(d, item->iItem) || item->iSubItem < 0 || item->iSubItem >= kMaxSubItems) return FALSE;
  Row& r = d.rows[static_cast<size_t>(item->iItem)];
  if (item->mask & LVIF_TEXT) SetText(r, item->iSubItem, reinterpret_cast<LPARAM>(item->pszText), unicode);
  if (item->iSubItem == 0) {
    if (item->mask & LVIF_PARAM) r.lParam = item->lParam;
    if (item->mask & LVIF_IMAGE) r.image = item->iImage;
    if (item->mask & LVIF_INDENT) r.indent = item->iIndent;
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  if ((item->mask & LVIF_STATE) && item->iSubItem == 0)
    return ChangeState(hwnd, item->iItem, item->state, item->stateMask) ? TRUE : FALSE;
  return TRUE;
}

template <class ITEM>
LRESULT GetItem(HWND hwnd, ITEM* item, bool unicode) {
  auto w = Find(hwnd);
  if (!w || !item) return FALSE;
  if (item->mask & LVIF_TEXT) {
    if (!Valid(DataOf<ListViewData>(*w), item->iItem) || item->iSubItem < 0) return FALSE;
    CopyItemText(TextOf(hwnd, item->iItem, item->iSubItem), item, unicode);
    if (!(w = Find(hwnd))) return FALSE;
  }
  ListViewData& d = DataOf<ListViewData>(*w);
  if (!Valid(d, item->iItem) || item->iSubItem < 0) return FALSE;
  const Row& r = d.rows[static_cast<size_t>(item->iItem)];
  if (item->mask & LVIF_PARAM) item->lParam = r.lParam;
  if (item->mask & LVIF_IMAGE) item->iImage = r.image;
  if (item->mask & LVIF_INDENT) item->iIndent = r.indent;
  if (item->mask & LVIF_STATE) item->state = r.state & item->stateMask;
  return TRUE;
}

bool DeleteItem(HWND hwnd, int i, bool notify) {
  auto w = Find(hwnd);
  if (!w) return false;
  ListViewData& d = DataOf<ListViewData>(*w);
  if (!Valid(d, i)) return false;
  if (notify) {
    NMLISTVIEW nm{};
    nm.iItem = i;
    nm.lParam = d.rows[static_cast<size_t>(i)].lParam;
    Notify(hwnd, LVN_DELETEITEM, &nm.hdr);
    if (!(w = Find(hwnd))) return false;
  }
  ListViewData& dd = DataOf<ListViewData>(*w);
  if (!Valid(dd, i)) return false;
  dd.rows.erase(dd.rows.begin() + i);
  if (dd.anchor == i)
    dd.anchor = -1;
  else if (dd.anchor > i)
    --dd.anchor;
  SetTop(hwnd, dd.top);
  InvalidateRect(hwnd, nullptr, TRUE);
  return true;
}

void DeleteAll(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return;
  ListViewData& d = DataOf<ListViewData>(*w);
  if (d.rows.empty()) return;
  NMLISTVIEW nm{};
  nm.iItem = -1;
  // An answer of TRUE asks for no LVN_DELETEITEM for each item.
  bool each = !Notify(hwnd, LVN_DELETEALLITEMS, &nm.hdr);
  while (auto again = Find(hwnd)) {
    ListViewData& dd = DataOf<ListViewData>(*again);
    if (dd.rows.empty()) break;
    if (!DeleteItem(hwnd, 0, each)) break;
  }
}

int NextItem(const ListViewData& d, int start, UINT flags) {
  auto match = [&](int i) {
    UINT s = d.rows[static_cast<size_t>(i)].state;
    if ((flags & LVNI_FOCUSED) && !(s & LVIS_FOCUSED)) return false;
    if ((flags & LVNI_SELECTED) && !(s & LVIS_SELECTED)) return false;
    if ((flags & LVNI_CUT) && !(s & LVIS_CUT)) return false;
    if ((flags & LVNI_DROPHILITED) && !(s & LVIS_DROPHILITED)) return false;
    return true;
  };
  // Rows have no neighbours beside them.
  if (flags & (LVNI_TOLEFT | LVNI_TORIGHT)) return -1;
  if (flags & LVNI_ABOVE) {
    for (int i = std::min(start, Count(d)) - 1; i >= 0; --i)
      if (match(i)) return i;
    return -1;
  }
  for (int i = std::max(start + 1, 0); i < Count(d); ++i)
    if (match(i)) return i;
  return -1;
}

void NotifyActivate(HWND hwnd, UINT code, int item, int sub, POINT pt) {
  NMITEMACTIVATE nm{};
  nm.iItem = item;
  nm.iSubItem = sub;
  nm.ptAction = pt;
  nm.uKeyFlags = (GetKeyState(VK_SHIFT) < 0 ? LVKF_SHIFT : 0) | (GetKeyState(VK_CONTROL) < 0 ? LVKF_CONTROL : 0);
  Notify(hwnd, code, &nm.hdr);
}

LRESULT ListViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  ListViewData& d = DataOf<ListViewData>(*w);
  int iw = static_cast<int>(wp);
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, Paint, PaintInto::OwnDC, painted)) return painted;
  switch (msg) {
    case WM_CREATE: {
      HWND header =
          CreateWindowExW(0, u"SysHeader32", nullptr,
                          WS_CHILD | HDS_HORZ | ((w->style & LVS_NOSORTHEADER) ? 0 : HDS_BUTTONS) | HDS_FULLDRAG, 0, 0,
                          0, 0, hwnd, nullptr, w->instance, nullptr);
      if (!(w = Find(hwnd)) || !header) return -1;
      DataOf<ListViewData>(*w).header = header;
      if (w->parent)
        DataOf<ListViewData>(*w).unicodeParent =
            SendMessageW(w->parent, WM_NOTIFYFORMAT, reinterpret_cast<WPARAM>(hwnd), NF_QUERY) != NFR_ANSI;
      if (!(w = Find(hwnd))) return -1;
      LayoutHeader(hwnd);
      return 0;
    }
    case WM_NOTIFYFORMAT: return NFR_UNICODE;
    case WM_NCDESTROY:
      // The list view owns the image lists it was given unless they are shared.
      if (!(w->style & LVS_SHAREIMAGELISTS))
        for (size_t k = 0; k < 3; ++k)
          if (d.images[k] && std::find(d.images, d.images + k, d.images[k]) == d.images + k)
            ImageList_Destroy(d.images[k]);
      std::fill(d.images, d.images + 3, nullptr);
      return DefWindowProcW(hwnd, msg, wp, lp);
    case WM_SIZE:
      LayoutHeader(hwnd);
      SetTop(hwnd, d.top);
      return 0;
    case WM_STYLECHANGED:
      LayoutHeader(hwnd);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wp);
      if (d.header) SendMessageW(d.header, WM_SETFONT, wp, lp);
      LayoutHeader(hwnd);
      if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_SETFOCUS: {
      d.focused = true;
      InvalidateRect(hwnd, nullptr, TRUE);
      NMHDR h{};
      Notify(hwnd, NM_SETFOCUS, &h);
      return 0;
    }
    case WM_KILLFOCUS: {
      d.focused = false;
      InvalidateRect(hwnd, nullptr, TRUE);
      NMHDR h{};
      Notify(hwnd, NM_KILLFOCUS, &h);
      return 0;
    }
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_NOTIFY: {
      auto h = reinterpret_cast<NMHDR*>(lp);
      if (h && h->hwndFrom == d.header) {
        if (h->code == HDN_ITEMCLICKW || h->code == HDN_ITEMCLICKA) {
          auto nh = reinterpret_cast<NMHEADERW*>(lp);
          NMLISTVIEW nm{};
          nm.iItem = -1;
          nm.iSubItem = nh->iItem;
          Notify(hwnd, LVN_COLUMNCLICK, &nm.hdr);
        } else if (h->code == HDN_ITEMCHANGEDW || h->code == HDN_ITEMCHANGEDA || h->code == HDN_TRACKW ||
                   h->code == HDN_TRACKA) {
          InvalidateRect(hwnd, nullptr, TRUE);
        }
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
      if (GetFocus() != hwnd) SetFocus(hwnd);
      if (!(w = Find(hwnd))) return 0;
      ListViewData& dd = DataOf<ListViewData>(*w);
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      UINT flags;
      int sub;
      int i = HitRow(*w, dd, p, &flags, &sub);
      if (i >= 0) {
        UserSelect(hwnd, i, (wp & MK_SHIFT) != 0, (wp & MK_CONTROL) != 0);
      } else if (!(wp & (MK_SHIFT | MK_CONTROL))) {
        // A click on no item clears the selection.
        for (int k = 0; k < Count(dd); ++k) {
          ChangeState(hwnd, k, 0, LVIS_SELECTED);
          if (!Find(hwnd)) return 0;
        }
      }
      if (msg == WM_RBUTTONDOWN)
        NotifyActivate(hwnd, NM_RCLICK, i, sub, p);
      else
        SetCapture(hwnd);
      return 0;
    }
    case WM_LBUTTONUP: {
      if (GetCapture() != hwnd) return 0;
      ReleaseCapture();
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      UINT flags;
      int sub;
      int i = HitRow(*w, d, p, &flags, &sub);
      NotifyActivate(hwnd, NM_CLICK, i, sub, p);
      if (i >= 0 && (d.exStyle & LVS_EX_ONECLICKACTIVATE)) NotifyActivate(hwnd, LVN_ITEMACTIVATE, i, sub, p);
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      UINT flags;
      int sub;
      int i = HitRow(*w, d, p, &flags, &sub);
      NotifyActivate(hwnd, NM_DBLCLK, i, sub, p);
      if (i >= 0 && Find(hwnd)) NotifyActivate(hwnd, LVN_ITEMACTIVATE, i, sub, p);
      return 0;
    }
    case WM_KEYDOWN: {
      NMLVKEYDOWN kd{};
      kd.wVKey = static_cast<WORD>(wp);
      Notify(hwnd, LVN_KEYDOWN, &kd.hdr);
      if (!(w = Find(hwnd))) return 0;
      ListViewData& dd = DataOf<ListViewData>(*w);
      int n = Count(dd);
      if (!n) return 0;
      int cur = Focused(dd);
      int page = PerPage(*w, dd);
      int target;
      switch (wp) {
        case VK_UP: target = cur < 0 ? 0 : cur - 1; break;
        case VK_DOWN: target = cur + 1; break;
        case VK_HOME: target = 0; break;
        case VK_END: target = n - 1; break;
        case VK_PRIOR: target = cur - page + 1; break;
        case VK_NEXT: target = cur + page - 1; break;
        case VK_RETURN: {
          NMHDR h{};
          Notify(hwnd, NM_RETURN, &h);
          if (cur >= 0 && Find(hwnd)) NotifyActivate(hwnd, LVN_ITEMACTIVATE, cur, 0, POINT{0, 0});
          return 0;
        }
        case VK_SPACE:
          if (cur >= 0) UserSelect(hwnd, cur, false, GetKeyState(VK_CONTROL) < 0);
          return 0;
        default: return 0;
      }
      target = std::clamp(target, 0, n - 1);
      bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
      if (ctrl && !shift && !(w->style & LVS_SINGLESEL)) {
        ChangeState(hwnd, target, LVIS_FOCUSED, LVIS_FOCUSED);
        EnsureVisible(hwnd, target);
      } else {
        UserSelect(hwnd, target, shift, false);
      }
      return 0;
    }
    case WM_MOUSEWHEEL: SetTop(hwnd, d.top - 3 * GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA); return 0;
    case WM_VSCROLL: {
      int page = PerPage(*w, d);
      switch (LOWORD(wp)) {
        case SB_LINEUP: SetTop(hwnd, d.top - 1); break;
        case SB_LINEDOWN: SetTop(hwnd, d.top + 1); break;
        case SB_PAGEUP: SetTop(hwnd, d.top - page); break;
        case SB_PAGEDOWN: SetTop(hwnd, d.top + page); break;
        case SB_TOP: SetTop(hwnd, 0); break;
        case SB_BOTTOM: SetTop(hwnd, Count(d)); break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: SetTop(hwnd, static_cast<short>(HIWORD(wp))); break;
        default: break;
      }
      return 0;
    }
    case LVM_INSERTCOLUMNW: return InsertColumn(hwnd, d, iw, reinterpret_cast<const LVCOLUMNW*>(lp), true);
    case LVM_INSERTCOLUMNA: return InsertColumn(hwnd, d, iw, reinterpret_cast<const LVCOLUMNA*>(lp), false);
    case LVM_SETCOLUMNW: return SetColumn(hwnd, d, iw, reinterpret_cast<const LVCOLUMNW*>(lp), true);
    case LVM_SETCOLUMNA: return SetColumn(hwnd, d, iw, reinterpret_cast<const LVCOLUMNA*>(lp), false);
    case LVM_GETCOLUMNW: return GetColumn(d, iw, reinterpret_cast<LVCOLUMNW*>(lp), true);
    case LVM_GETCOLUMNA: return GetColumn(d, iw, reinterpret_cast<LVCOLUMNA*>(lp), false);
    case LVM_DELETECOLUMN:
      if (iw < 0 || iw >= ColumnCount(d) || !SendMessageW(d.header, HDM_DELETEITEM, wp, 0)) return FALSE;
      if (!(w = Find(hwnd))) return FALSE;
      DataOf<ListViewData>(*w).columns.erase(DataOf<ListViewData>(*w).columns.begin() + iw);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case LVM_GETCOLUMNWIDTH: {
      if (iw < 0 || iw >= ColumnCount(d)) return 0;
      HDITEMW hi{};
      hi.mask = HDI_WIDTH;
      SendMessageW(d.header, HDM_GETITEMW, wp, reinterpret_cast<LPARAM>(&hi));
      return hi.cxy;
    }
    case LVM_SETCOLUMNWIDTH: {
      if (iw < 0 || iw >= ColumnCount(d)) return FALSE;
      HDITEMW hi{};
      hi.mask = HDI_WIDTH;
      hi.cxy = static_cast<short>(LOWORD(lp));
      if (hi.cxy < 0) {
        // LVSCW_AUTOSIZE (-1) and LVSCW_AUTOSIZE_USEHEADER (-2): as wide as the widest text.
        HDC dc = CreateCompatibleDC(nullptr);
        int widest = 0;
        {
          FontScope fs(dc, w->font);
          int sub = d.columns[static_cast<size_t>(iw)].subItem;
          for (int i = 0; i < Count(d); ++i) widest = std::max(widest, TextWidth(dc, TextOf(hwnd, i, sub)));
        }
        DeleteDC(dc);
        hi.cxy = widest + 12;
      }
      return SendMessageW(d.header, HDM_SETITEMW, wp, reinterpret_cast<LPARAM>(&hi));
    }
    case LVM_GETHEADER: return reinterpret_cast<LRESULT>(d.header);
    case LVM_INSERTITEMW: return InsertItem(hwnd, d, reinterpret_cast<const LVITEMW*>(lp), true);
    case LVM_INSERTITEMA: return InsertItem(hwnd, d, reinterpret_cast<const LVITEMA*>(lp), false);
    case LVM_SETITEMW: return SetItem(hwnd, d, reinterpret_cast<const LVITEMW*>(lp), true);
    case LVM_SETITEMA: return SetItem(hwnd, d, reinterpret_cast<const LVITEMA*>(lp), false);
    case LVM_GETITEMW: return GetItem(hwnd, reinterpret_cast<LVITEMW*>(lp), true);
    case LVM_GETITEMA: return GetItem(hwnd, reinterpret_cast<LVITEMA*>(lp), false);
    case LVM_SETITEMTEXTW:
    case LVM_SETITEMTEXTA: {
      if (!lp || !Valid(d, iw)) return FALSE;
      bool unicode = msg == LVM_SETITEMTEXTW;
      int sub =
          unicode ? reinterpret_cast<const LVITEMW*>(lp)->iSubItem : reinterpret_cast<const LVITEMA*>(lp)->iSubItem;
      LPARAM text = unicode ? reinterpret_cast<LPARAM>(reinterpret_cast<const LVITEMW*>(lp)->pszText)
                            : reinterpret_cast<LPARAM>(reinterpret_cast<const LVITEMA*>(lp)->pszText);
      if (sub < 0 || sub >= kMaxSubItems) return FALSE;
      SetText(d.rows[static_cast<size_t>(iw)], sub, text, unicode);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case LVM_GETITEMTEXTW:
      if (!lp || !Valid(d, iw)) return 0;
      return CopyItemText(TextOf(hwnd, iw, reinterpret_cast<LVITEMW*>(lp)->iSubItem), reinterpret_cast<LVITEMW*>(lp),
                          true);
    case LVM_GETITEMTEXTA:
      if (!lp || !Valid(d, iw)) return 0;
      return CopyItemText(TextOf(hwnd, iw, reinterpret_cast<LVITEMA*>(lp)->iSubItem), reinterpret_cast<LVITEMA*>(lp),
                          false);
    case LVM_DELETEITEM: return DeleteItem(hwnd, iw, true) ? TRUE : FALSE;
    case LVM_DELETEALLITEMS: DeleteAll(hwnd); return TRUE;
    case LVM_GETITEMCOUNT: return Count(d);
    case LVM_SETITEMCOUNT:
      // Only a hint for the storage; an absurd count is not reserved.
      if (iw > 0 && iw <= (1 << 20)) d.rows.reserve(static_cast<size_t>(iw));
      return TRUE;
    case LVM_GETNEXTITEM: return NextItem(d, iw, static_cast<UINT>(LOWORD(lp)));
    case LVM_SETITEMSTATE: {
      auto item = reinterpret_cast<const LVITEMW*>(lp);
      if (!item) return FALSE;
      UINT state = item->state, mask = item->stateMask;
      if (iw == -1) {
        for (int k = 0; k < Count(d); ++k) {
          ChangeState(hwnd, k, state, mask);
          if (!(w = Find(hwnd))) return FALSE;
        }
        return TRUE;
      }
      return ChangeState(hwnd, iw, state, mask) ? TRUE : FALSE;
    }
    case LVM_GETITEMSTATE:
      return Valid(d, iw) ? static_cast<LRESULT>(d.rows[static_cast<size_t>(iw)].state & static_cast<UINT>(lp)) : 0;
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(d.rows.begin(), d.rows.end(), [](const Row& r) { return (r.state & LVIS_SELECTED) != 0; });
    case LVM_GETITEMRECT: {
      auto r = reinterpret_cast<RECT*>(lp);
      if (!r || !Valid(d, iw)) return FALSE;
      int code = r->left;
      RECT row = RowRect(*w, d, iw);
      if (code == LVIR_LABEL && ColumnCount(d)) {
        int l, rr;
        if (ColumnSpan(d, 0, &l, &rr)) {
          row.left = l;
          row.right = rr;
        }
      } else if (code == LVIR_ICON) {
        row.right = row.left;
      } else if (code != LVIR_BOUNDS && code != LVIR_SELECTBOUNDS && code != LVIR_LABEL) {
        return FALSE;
      }
      *r = row;
      return TRUE;
    }
    case LVM_GETSUBITEMRECT: {
      auto r = reinterpret_cast<RECT*>(lp);
      if (!r || !Valid(d, iw)) return FALSE;
      int sub = r->top, code = r->left;
      if (code != LVIR_BOUNDS && code != LVIR_LABEL && code != LVIR_ICON) return FALSE;
      RECT row = RowRect(*w, d, iw);
      if (sub == 0 && code == LVIR_BOUNDS) {
        *r = row;
        return TRUE;
      }
      int l = 0, rr = 0;
      if (sub < 0 || sub >= std::max(1, ColumnCount(d)) || !ColumnSpan(d, sub, &l, &rr)) return FALSE;
      *r = RECT{l, row.top, code == LVIR_ICON ? l : rr, row.bottom};
      return TRUE;
    }
    case LVM_HITTEST: {
      auto ht = reinterpret_cast<LVHITTESTINFO*>(lp);
      if (!ht) return -1;
      ht->iItem = HitRow(*w, d, ht->pt, &ht->flags, &ht->iSubItem);
      return ht->iItem;
    }
    case LVM_ENSUREVISIBLE:
      if (!Valid(d, iw)) return FALSE;
      EnsureVisible(hwnd, iw);
      return TRUE;
    case LVM_SCROLL:
      d.xScroll = static_cast<int>(std::clamp<long long>(static_cast<long long>(d.xScroll) + static_cast<int>(wp), 0,
                                                         std::max(0, TotalWidth(*w, d))));
      LayoutHeader(hwnd);
      SetTop(hwnd, d.top + static_cast<int>(lp) / RowHeight(*w));
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case LVM_GETTOPINDEX: return d.top;
    case LVM_GETCOUNTPERPAGE: return PerPage(*w, d);
    case LVM_REDRAWITEMS:
    case LVM_UPDATE: InvalidateRect(hwnd, nullptr, TRUE); return TRUE;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD old = d.exStyle;
      DWORD mask = wp ? static_cast<DWORD>(wp) : 0xFFFFFFFFu;
      d.exStyle = (d.exStyle & ~mask) | (static_cast<DWORD>(lp) & mask);
      InvalidateRect(hwnd, nullptr, TRUE);
      return static_cast<LRESULT>(old);
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return static_cast<LRESULT>(d.exStyle);
    case LVM_SETBKCOLOR:
      d.bk = static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case LVM_GETBKCOLOR: return static_cast<LRESULT>(d.bk == CLR_DEFAULT ? GetSysColor(COLOR_WINDOW) : d.bk);
    case LVM_SETTEXTCOLOR:
      d.text = static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case LVM_GETTEXTCOLOR: return static_cast<LRESULT>(d.text == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : d.text);
    case LVM_SETTEXTBKCOLOR:
      d.textBk = static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case LVM_GETTEXTBKCOLOR: return static_cast<LRESULT>(d.textBk);
    case LVM_SETIMAGELIST: {
      if (iw < 0 || iw > LVSIL_STATE) return 0;
      HIMAGELIST old = d.images[iw];
      d.images[iw] = reinterpret_cast<HIMAGELIST>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETIMAGELIST: return iw >= 0 && iw <= LVSIL_STATE ? reinterpret_cast<LRESULT>(d.images[iw]) : 0;
    case LVM_SORTITEMS: {
      auto cmp = reinterpret_cast<PFNLVCOMPARE>(lp);
      if (!cmp) return FALSE;
      LPARAM sortParam = static_cast<LPARAM>(wp);
      std::stable_sort(d.rows.begin(), d.rows.end(),
                       [&](const Row& a, const Row& b) { return cmp(a.lParam, b.lParam, sortParam) < 0; });
      d.anchor = -1;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterListViewClass() {
  RegisterSystemClass(u"SysListView32", ListViewProc, CS_DBLCLKS, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
