// "ListBox", its drop-down form "ComboLBox", and "ComboBox" (simple, drop-down and
// drop-down list, with an "Edit" child for the first two).
#include <algorithm>
#include <cstring>

#include "platform/base/error.h"
#include "platform/user/combobox.h"
#include "platform/user/edit.h"
#include "platform/user/internal.h"
#include "platform/user/listbox.h"

namespace kv::user {

namespace {

constexpr int kItemHeight = 16;
constexpr UINT kEditId = 1001;
constexpr UINT kListId = 1000;

struct Item {
  std::u16string text;
  ULONG_PTR data = 0;
  bool selected = false;
};

struct ListData : ControlData {
  std::vector<Item> items;
  int cur = -1;
  int top = 0;
  int itemHeight = kItemHeight;
  HWND combo = nullptr;  // the owning combo box of a "ComboLBox"
};

struct ComboData : ControlData {
  HWND edit = nullptr;
  HWND list = nullptr;
  int droppedHeight = 100;
  int droppedWidth = 0;
  bool dropped = false;
  bool inPosChange = false;
  bool settingEdit = false;  // the combo writes its edit field itself: no CBN_EDITCHANGE
};

ListData& LData(Window& w) {
  if (!w.control) w.control = std::make_unique<ListData>();
  return *static_cast<ListData*>(w.control.get());
}
ComboData& CData(Window& w) {
  if (!w.control) w.control = std::make_unique<ComboData>();
  return *static_cast<ComboData*>(w.control.get());
}

bool HasStrings(const Window& w, bool combo) {
  if (combo) return (w.style & CBS_HASSTRINGS) || !(w.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE));
  return (w.style & LBS_HASSTRINGS) || !(w.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE));
}

int CompareNoCase(const std::u16string& a, const std::u16string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool Prefix(const std::u16string& item, const std::u16string& p) {
  return item.size() >= p.size() && CompareNoCase(item.substr(0, p.size()), p) == 0;
}

void PaintList(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  ListData& d = LData(*w);
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  HBRUSH br = nullptr;
  if (w->parent && !d.combo)
    br = reinterpret_cast<HBRUSH>(
        SendMessageW(w->parent, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd)));
  FillRect(hdc, &r, br ? br : GetSysColorBrush(COLOR_WINDOW));
  HGDIOBJ old = w->font ? SelectObject(hdc, w->font) : nullptr;
  SetBkMode(hdc, TRANSPARENT);
  bool multi = (w->style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
  for (int i = d.top; i < static_cast<int>(d.items.size()); ++i) {
    int y = (i - d.top) * d.itemHeight;
    if (y >= r.bottom) break;
    RECT ir{0, y, r.right, y + d.itemHeight};
    bool sel = multi ? d.items[size_t(i)].selected : i == d.cur;
    if (w->style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) {
      // A combo's list is drawn by the combo's parent, as the combo's items.
      HWND owner = d.combo ? d.combo : hwnd;
      auto ow = d.combo ? Find(d.combo) : w;
      DRAWITEMSTRUCT dis{};
      dis.CtlType = d.combo ? ODT_COMBOBOX : ODT_LISTBOX;
      dis.CtlID = ow ? static_cast<UINT>(ow->id) : 0;
      dis.itemID = static_cast<UINT>(i);
      dis.itemAction = ODA_DRAWENTIRE;
      dis.itemState = sel ? ODS_SELECTED : 0;
      dis.hwndItem = owner;
      dis.hDC = hdc;
      dis.rcItem = ir;
      dis.itemData = d.items[size_t(i)].data;
      if (ow && ow->parent) SendMessageW(ow->parent, WM_DRAWITEM, ow->id, reinterpret_cast<LPARAM>(&dis));
      continue;
    }
    if (sel) FillRect(hdc, &ir, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(hdc, GetSysColor(sel ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT tr = ir;
    tr.left += 2;
    const auto& t = d.items[size_t(i)].text;
    DrawTextW(hdc, t.c_str(), static_cast<int>(t.size()), &tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  if (old) SelectObject(hdc, old);
}

void ComboSelect(HWND combo, int index, bool notify);
void ComboClose(HWND combo, bool ok);

int ItemAt(const Window& w, const ListData& d, int y) {
  if (y < 0) return -1;
  int i = d.top + y / d.itemHeight;
  (void)w;
  return i < static_cast<int>(d.items.size()) ? i : -1;
}

LRESULT ListCommon(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  ListData& d = LData(*w);
  bool multi = (w->style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
  int count = static_cast<int>(d.items.size());
  auto valid = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, PaintList, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      Item it;
      if (HasStrings(*w, false)) {
        if (lp) it.text = reinterpret_cast<LPCWSTR>(lp);
      } else {
        it.data = static_cast<ULONG_PTR>(lp);
      }
      int at;
      if (msg == LB_ADDSTRING && (w->style & LBS_SORT) && HasStrings(*w, false)) {
        at = 0;
        while (at < count && CompareNoCase(d.items[size_t(at)].text, it.text) <= 0) ++at;
      } else if (msg == LB_ADDSTRING || static_cast<int>(wp) == -1) {
        at = count;
      } else {
        if (static_cast<int>(wp) > count) return LB_ERR;
        at = static_cast<int>(wp);
      }
      d.items.insert(d.items.begin() + at, it);
      if (d.cur >= at) ++d.cur;
      InvalidateRect(hwnd, nullptr, TRUE);
      return at;
    }
    case LB_DELETESTRING:
      if (!valid(wp)) return LB_ERR;
      d.items.erase(d.items.begin() + static_cast<long>(wp));
      if (d.cur == static_cast<int>(wp))
        d.cur = -1;
      else if (d.cur > static_cast<int>(wp))
        --d.cur;
      InvalidateRect(hwnd, nullptr, TRUE);
      return static_cast<LRESULT>(d.items.size());
    case LB_RESETCONTENT:
      d.items.clear();
      d.cur = -1;
      d.top = 0;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case LB_GETCOUNT: return count;
    case LB_GETTEXT:
      if (!valid(wp) || !lp) return LB_ERR;
      if (!HasStrings(*w, false)) {
        *reinterpret_cast<ULONG_PTR*>(lp) = d.items[wp].data;
        return sizeof(ULONG_PTR);
      }
      std::memcpy(reinterpret_cast<LPWSTR>(lp), d.items[wp].text.c_str(),
                  (d.items[wp].text.size() + 1) * sizeof(WCHAR));
      return static_cast<LRESULT>(d.items[wp].text.size());
    case LB_GETTEXTLEN:
      if (!valid(wp)) return LB_ERR;
      return HasStrings(*w, false) ? static_cast<LRESULT>(d.items[wp].text.size()) : sizeof(ULONG_PTR);
    case LB_GETITEMDATA:
      if (!valid(wp)) return LB_ERR;
      return static_cast<LRESULT>(d.items[wp].data);
    case LB_SETITEMDATA:
      if (!valid(wp)) return LB_ERR;
      d.items[wp].data = static_cast<ULONG_PTR>(lp);
      return TRUE;
    case LB_SETCURSEL:
      if (multi) return LB_ERR;
      if (static_cast<int>(wp) == -1) {
        d.cur = -1;
        InvalidateRect(hwnd, nullptr, TRUE);
        return LB_ERR;
      }
      if (!valid(wp)) return LB_ERR;
      d.cur = static_cast<int>(wp);
      if (d.cur < d.top) d.top = d.cur;
      InvalidateRect(hwnd, nullptr, TRUE);
      return d.cur;
    case LB_GETCURSEL: return d.cur;
    case LB_SETSEL:
      if (!multi) return LB_ERR;
      if (static_cast<int>(lp) == -1) {
        for (auto& i : d.items) i.selected = wp != 0;
      } else {
        if (!valid(static_cast<WPARAM>(lp))) return LB_ERR;
        d.items[static_cast<size_t>(lp)].selected = wp != 0;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case LB_GETSEL:
      if (!valid(wp)) return LB_ERR;
      return multi ? (d.items[wp].selected ? 1 : 0) : (d.cur == static_cast<int>(wp) ? 1 : 0);
    case LB_GETSELCOUNT: {
      if (!multi) return LB_ERR;
      return std::count_if(d.items.begin(), d.items.end(), [](const Item& i) { return i.selected; });
    }
    case LB_GETSELITEMS: {
      if (!multi || !lp) return LB_ERR;
      int n = 0;
      for (int i = 0; i < count && n < static_cast<int>(wp); ++i)
        if (d.items[size_t(i)].selected) reinterpret_cast<int*>(lp)[n++] = i;
      return n;
    }
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
    case LB_SELECTSTRING: {
      if (!lp || !count) return LB_ERR;
      std::u16string p = HasStrings(*w, false) ? std::u16string(reinterpret_cast<LPCWSTR>(lp)) : std::u16string();
      int start = static_cast<int>(wp);
      for (int k = 1; k <= count; ++k) {
        int i = ((start < 0 ? -1 : start) + k) % count;
        if (i < 0) i += count;
        bool hit = HasStrings(*w, false) ? (msg == LB_FINDSTRINGEXACT ? CompareNoCase(d.items[size_t(i)].text, p) == 0
                                                                      : Prefix(d.items[size_t(i)].text, p))
                                         : d.items[size_t(i)].data == static_cast<ULONG_PTR>(lp);
        if (hit) {
          if (msg == LB_SELECTSTRING && !multi) {
            d.cur = i;
            InvalidateRect(hwnd, nullptr, TRUE);
          }
          return i;
        }
      }
      return LB_ERR;
    }
    case LB_GETTOPINDEX: return d.top;
    case LB_SETTOPINDEX:
      if (!valid(wp) && !(wp == 0 && count == 0)) return LB_ERR;
      d.top = static_cast<int>(wp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return LB_OKAY;
    case LB_GETITEMHEIGHT: return d.itemHeight;
    case LB_SETITEMHEIGHT:
      if (LOWORD(lp) == 0 || LOWORD(lp) > 255) return LB_ERR;
      d.itemHeight = LOWORD(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return LB_OKAY;
    case LB_GETITEMRECT: {
      if (!valid(wp) || !lp) return LB_ERR;
      int y = (static_cast<int>(wp) - d.top) * d.itemHeight;
      *reinterpret_cast<RECT*>(lp) = RECT{0, y, w->client.right - w->client.left, y + d.itemHeight};
      return LB_OKAY;
    }
    case LB_ITEMFROMPOINT: {
      int i = ItemAt(*w, d, GET_Y_LPARAM(lp));
      return i < 0 ? MAKELRESULT(std::max(count - 1, 0), 1) : MAKELRESULT(i, 0);
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!d.combo) SetFocus(hwnd);
      if (d.combo) {
        // A dropped list holds the capture: a press outside it closes it.
        RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        if (!PtInRect(&r, p)) {
          ComboClose(d.combo, false);
          return 0;
        }
      }
      int i = ItemAt(*w, d, GET_Y_LPARAM(lp));
      if (i < 0) return 0;
      if (multi) {
        d.items[size_t(i)].selected = !d.items[size_t(i)].selected;
        d.cur = i;
      } else {
        d.cur = i;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      if (d.combo) return 0;  // the choice is made when the button is released
      if (w->style & LBS_NOTIFY) NotifyCommand(hwnd, msg == WM_LBUTTONDBLCLK ? LBN_DBLCLK : LBN_SELCHANGE);
      return 0;
    }
    case WM_LBUTTONUP:
      if (d.combo) {
        int i = ItemAt(*w, d, GET_Y_LPARAM(lp));
        RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        // Released over an item it chooses that item; elsewhere (the release of the
        // press that dropped the list) the list stays open.
        if (i >= 0 && PtInRect(&r, p)) {
          ComboSelect(d.combo, i, true);
          ComboClose(d.combo, true);
        }
      }
      return 0;
    case WM_KEYDOWN: {
      if (!count) return 0;
      int c = d.cur;
      switch (wp) {
        case VK_UP: c = std::max(0, c - 1); break;
        case VK_DOWN: c = std::min(count - 1, c + 1); break;
        case VK_HOME: c = 0; break;
        case VK_END: c = count - 1; break;
        default: return 0;
      }
      if (c != d.cur) {
        d.cur = c;
        InvalidateRect(hwnd, nullptr, TRUE);
        if (d.combo)
          ComboSelect(d.combo, c, true);
        else if (w->style & LBS_NOTIFY)
          NotifyCommand(hwnd, LBN_SELCHANGE);
      }
      return 0;
    }
    case WM_SETFOCUS:
      if (w->style & LBS_NOTIFY) NotifyCommand(hwnd, LBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      if (w->style & LBS_NOTIFY) NotifyCommand(hwnd, LBN_KILLFOCUS);
      return 0;
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wp);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT ListBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return ListCommon(hwnd, msg, wp, lp); }
LRESULT ComboLBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
  return ListCommon(hwnd, msg, wp, lp);
}

// ---- Combo box -------------------------------------------------------------------------------------
UINT ComboType(const Window& w) { return w.style & 0x3; }

int ComboItemHeight() { return kItemHeight + 2; }

RECT ButtonRect(const Window& w) {
  int cw = w.client.right - w.client.left;
  int ch = ComboType(w) == CBS_SIMPLE ? ComboItemHeight() + 4 : w.client.bottom - w.client.top;
  return RECT{cw - Metric(SM_CXVSCROLL) - 2, 2, cw - 2, ch - 2};
}

void Layout(HWND combo) {
  auto w = Find(combo);
  if (!w) return;
  ComboData& c = CData(*w);
  int cw = w->client.right - w->client.left;
  if (c.edit) {
    int right = ComboType(*w) == CBS_SIMPLE ? cw - 3 : ButtonRect(*w).left - 1;
    SetWindowPos(c.edit, nullptr, 3, 3, std::max(0, right - 3), kItemHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (c.list && ComboType(*w) == CBS_SIMPLE) {
    int top = ComboItemHeight() + 4;
    SetWindowPos(c.list, nullptr, 0, top, cw, std::max(0, static_cast<int>(w->client.bottom - w->client.top) - top),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void PaintCombo(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  ComboData& c = CData(*w);
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  if (ComboType(*w) == CBS_SIMPLE) r.bottom = ComboItemHeight() + 4;
  FillRect(hdc, &r, GetSysColorBrush((w->style & WS_DISABLED) ? COLOR_3DFACE : COLOR_WINDOW));
  RECT e = r;
  DrawEdge(hdc, &e, EDGE_SUNKEN, BF_RECT);
  if (ComboType(*w) != CBS_SIMPLE) {
    RECT b = ButtonRect(*w);
    FillRect(hdc, &b, GetSysColorBrush(COLOR_BTNFACE));
    RECT be = b;
    DrawEdge(hdc, &be, c.dropped ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    // The arrow.
    int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2 - 1;
    for (int i = 0; i < 4; ++i) {
      RECT a{cx - 3 + i, cy + i, cx + 4 - i, cy + i + 1};
      FillRect(hdc, &a, GetSysColorBrush(COLOR_BTNTEXT));
    }
  }
  if (ComboType(*w) == CBS_DROPDOWNLIST && c.list) {
    auto lw = Find(c.list);
    if (lw) {
      ListData& d = LData(*lw);
      RECT t{3, 3, ButtonRect(*w).left - 1, r.bottom - 3};
      if (w->style & CBS_OWNERDRAWFIXED) {
        // The parent draws the selected item into the selection field.
        bool has = d.cur >= 0 && d.cur < static_cast<int>(d.items.size());
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_COMBOBOX;
        dis.CtlID = static_cast<UINT>(w->id);
        dis.itemID = has ? static_cast<UINT>(d.cur) : static_cast<UINT>(-1);
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = ODS_COMBOBOXEDIT | (GetFocus() == hwnd ? ODS_SELECTED | ODS_FOCUS : 0);
        dis.hwndItem = hwnd;
        dis.hDC = hdc;
        dis.rcItem = t;
        dis.itemData = has ? d.items[size_t(d.cur)].data : 0;
        if (w->parent) SendMessageW(w->parent, WM_DRAWITEM, w->id, reinterpret_cast<LPARAM>(&dis));
      } else if (d.cur >= 0 && d.cur < static_cast<int>(d.items.size())) {
        bool focus = GetFocus() == hwnd;
        if (focus) FillRect(hdc, &t, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetBkMode(hdc, TRANSPARENT);
        SetTextColor(hdc, GetSysColor(focus ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        HGDIOBJ old = w->font ? SelectObject(hdc, w->font) : nullptr;
        const auto& s = d.items[size_t(d.cur)].text;
        DrawTextW(hdc, s.c_str(), static_cast<int>(s.size()), &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (old) SelectObject(hdc, old);
      }
    }
  }
}

void ComboSelect(HWND combo, int index, bool notify) {
  auto w = Find(combo);
  if (!w) return;
  ComboData& c = CData(*w);
  auto lw = Find(c.list);
  if (!lw) return;
  ListData& d = LData(*lw);
  d.cur = index;
  if (c.edit) {
    std::u16string t = index >= 0 && index < static_cast<int>(d.items.size()) ? d.items[size_t(index)].text : u"";
    c.settingEdit = true;
    SetWindowTextW(c.edit, t.c_str());
    if ((w = Find(combo))) CData(*w).settingEdit = false;
  }
  InvalidateRect(combo, nullptr, FALSE);
  InvalidateRect(c.list, nullptr, FALSE);
  if (notify) NotifyCommand(combo, CBN_SELCHANGE);
}

void ComboDrop(HWND combo) {
  auto w = Find(combo);
  if (!w) return;
  ComboData& c = CData(*w);
  if (c.dropped || ComboType(*w) == CBS_SIMPLE || !c.list) return;
  NotifyCommand(combo, CBN_DROPDOWN);
  if (!(w = Find(combo))) return;
  RECT r = ScreenRect(*w);
  int wd = std::max<int>(c.droppedWidth, r.right - r.left);
  int ht = std::max(c.droppedHeight - (r.bottom - r.top), kItemHeight + 2);
  c.dropped = true;
  SetWindowPos(c.list, HWND_TOPMOST, r.left, r.bottom, wd, ht, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  SetCapture(c.list);
  InvalidateRect(combo, nullptr, FALSE);
}

void ComboClose(HWND combo, bool ok) {
  auto w = Find(combo);
  if (!w) return;
  ComboData& c = CData(*w);
  if (!c.dropped) return;
  c.dropped = false;
  if (GetCapture() == c.list) ReleaseCapture();
  ShowWindow(c.list, SW_HIDE);
  InvalidateRect(combo, nullptr, FALSE);
  NotifyCommand(combo, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
  NotifyCommand(combo, CBN_CLOSEUP);
}

LRESULT ComboProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  ComboData& c = CData(*w);
  // List messages go to the list with their combo numbers.
  auto toList = [&](UINT lbMsg) -> LRESULT {
    if (!c.list) return CB_ERR;
    LRESULT r = SendMessageW(c.list, lbMsg, wp, lp);
    InvalidateRect(hwnd, nullptr, FALSE);
    return r;
  };
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, PaintCombo, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case WM_NCCREATE: {
      auto cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      c.droppedHeight = cs ? cs->cy : 100;
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    case WM_CREATE: {
      HINSTANCE inst = w->instance;
      DWORD lstyle = WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_COMBOBOX | ((w->style & CBS_SORT) ? LBS_SORT : 0) |
                     ((w->style & CBS_HASSTRINGS) ? LBS_HASSTRINGS : 0) |
                     ((w->style & CBS_OWNERDRAWFIXED) ? LBS_OWNERDRAWFIXED : 0);
      if (ComboType(*w) == CBS_SIMPLE) {
        c.list = CreateWindowExW(0, u"ListBox", nullptr, WS_CHILD | WS_VISIBLE | lstyle, 0, 0, 0, 0, hwnd,
                                 reinterpret_cast<HMENU>(kListId), inst, nullptr);
      } else {
        c.list = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, u"ComboLBox", nullptr, WS_POPUP | lstyle, 0, 0, 0, 0,
                                 hwnd, nullptr, inst, nullptr);
        if (auto lw = Find(c.list)) LData(*lw).combo = hwnd;
      }
      if (ComboType(*w) != CBS_DROPDOWNLIST) {
        c.edit = CreateWindowExW(0, u"Edit", nullptr, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 0, 0, hwnd,
                                 reinterpret_cast<HMENU>(static_cast<uintptr_t>(kEditId)), inst, nullptr);
      }
      if (!c.list || (ComboType(*w) != CBS_DROPDOWNLIST && !c.edit)) return -1;
      if (w->style & CBS_OWNERDRAWFIXED) {
        // The parent sizes the items: once for the selection field (-1), once for the
        // list's items. The selection field keeps the combo's one line.
        for (UINT item : {static_cast<UINT>(-1), 0u}) {
          MEASUREITEMSTRUCT mis{ODT_COMBOBOX, static_cast<UINT>(w->id), item, 0, kItemHeight, 0};
          if (w->parent) SendMessageW(w->parent, WM_MEASUREITEM, w->id, reinterpret_cast<LPARAM>(&mis));
          if (item == 0 && mis.itemHeight > 0) SendMessageW(c.list, LB_SETITEMHEIGHT, 0, MAKELPARAM(mis.itemHeight, 0));
        }
        if (!(w = Find(hwnd))) return -1;
      }
      if (ComboType(*w) != CBS_SIMPLE)
        SetWindowPos(hwnd, nullptr, 0, 0, w->rect.right - w->rect.left, ComboItemHeight() + 6,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(hwnd);
      return 0;
    }
    case WM_DESTROY:
      if (c.list && IsWindow(c.list) && ComboType(*w) != CBS_SIMPLE) DestroyWindow(c.list);
      return 0;
    case WM_WINDOWPOSCHANGING: {
      // A drop-down combo box is one line high; the height it was given is the list's.
      auto pos = reinterpret_cast<WINDOWPOS*>(lp);
      if (pos && ComboType(*w) != CBS_SIMPLE && !(pos->flags & SWP_NOSIZE)) {
        if (pos->cy > ComboItemHeight() + 6) c.droppedHeight = pos->cy;
        pos->cy = ComboItemHeight() + 6;
      }
      return 0;
    }
    case WM_SIZE: Layout(hwnd); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetFocus(c.edit ? c.edit : hwnd);
      if (c.dropped)
        ComboClose(hwnd, false);
      else
        ComboDrop(hwnd);
      return 0;
    case WM_SETFOCUS:
      if (c.edit) SetFocus(c.edit);
      InvalidateRect(hwnd, nullptr, FALSE);
      NotifyCommand(hwnd, CBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      if (c.dropped) ComboClose(hwnd, false);
      InvalidateRect(hwnd, nullptr, FALSE);
      NotifyCommand(hwnd, CBN_KILLFOCUS);
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_F4 || (wp == VK_DOWN && (GetKeyState(VK_MENU) < 0))) {
        if (c.dropped)
          ComboClose(hwnd, true);
        else
          ComboDrop(hwnd);
        return 0;
      }
      if (wp == VK_ESCAPE && c.dropped) {
        ComboClose(hwnd, false);
        return 0;
      }
      if (wp == VK_RETURN && c.dropped) {
        ComboClose(hwnd, true);
        return 0;
      }
      if (c.list) SendMessageW(c.list, WM_KEYDOWN, wp, lp);
      return 0;
    case WM_COMMAND:
      if (c.edit && reinterpret_cast<HWND>(lp) == c.edit) {
        if (c.settingEdit) return 0;
        if (HIWORD(wp) == EN_CHANGE) NotifyCommand(hwnd, CBN_EDITCHANGE);
        if (HIWORD(wp) == EN_UPDATE) NotifyCommand(hwnd, CBN_EDITUPDATE);
      } else if (reinterpret_cast<HWND>(lp) == c.list && ComboType(*w) == CBS_SIMPLE && HIWORD(wp) == LBN_SELCHANGE) {
        ComboSelect(hwnd, static_cast<int>(SendMessageW(c.list, LB_GETCURSEL, 0, 0)), true);
      } else if (reinterpret_cast<HWND>(lp) == c.list && ComboType(*w) == CBS_SIMPLE && HIWORD(wp) == LBN_DBLCLK) {
        // Only a simple combo's list stays up for a second click.
        NotifyCommand(hwnd, CBN_DBLCLK);
      }
      return 0;
    case WM_SETTEXT:
      if (c.edit) return SendMessageW(c.edit, WM_SETTEXT, wp, lp);
      return CB_ERR;
    case WM_GETTEXT:
      if (c.edit) return SendMessageW(c.edit, WM_GETTEXT, wp, lp);
      if (c.list && wp && lp) {
        int cur = static_cast<int>(SendMessageW(c.list, LB_GETCURSEL, 0, 0));
        if (cur < 0) {
          reinterpret_cast<LPWSTR>(lp)[0] = 0;
          return 0;
        }
        auto lw = Find(c.list);
        const auto& t = LData(*lw).items[size_t(cur)].text;
        size_t n = std::min(t.size(), static_cast<size_t>(wp) - 1);
        std::memcpy(reinterpret_cast<LPWSTR>(lp), t.data(), n * sizeof(WCHAR));
        reinterpret_cast<LPWSTR>(lp)[n] = 0;
        return static_cast<LRESULT>(n);
      }
      return 0;
    case WM_GETTEXTLENGTH:
      if (c.edit) return SendMessageW(c.edit, WM_GETTEXTLENGTH, 0, 0);
      if (c.list) {
        int cur = static_cast<int>(SendMessageW(c.list, LB_GETCURSEL, 0, 0));
        return cur < 0 ? 0 : SendMessageW(c.list, LB_GETTEXTLEN, static_cast<WPARAM>(cur), 0);
      }
      return 0;
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wp);
      if (c.edit) SendMessageW(c.edit, WM_SETFONT, wp, lp);
      if (c.list) SendMessageW(c.list, WM_SETFONT, wp, lp);
      return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case CB_ADDSTRING: return toList(LB_ADDSTRING);
    case CB_INSERTSTRING: return toList(LB_INSERTSTRING);
    case CB_DELETESTRING: return toList(LB_DELETESTRING);
    case CB_GETCOUNT: return toList(LB_GETCOUNT);
    case CB_GETCURSEL: return toList(LB_GETCURSEL);
    case CB_GETLBTEXT: return toList(LB_GETTEXT);
    case CB_GETLBTEXTLEN: return toList(LB_GETTEXTLEN);
    case CB_GETITEMDATA: return toList(LB_GETITEMDATA);
    case CB_SETITEMDATA: return toList(LB_SETITEMDATA);
    case CB_FINDSTRING: return toList(LB_FINDSTRING);
    case CB_FINDSTRINGEXACT: return toList(LB_FINDSTRINGEXACT);
    case CB_GETITEMHEIGHT:
      if (static_cast<int>(wp) == -1) return ComboItemHeight();
      return toList(LB_GETITEMHEIGHT);
    case CB_SETITEMHEIGHT:
      // Only the list's items change height; the selection field stays one line.
      if (static_cast<int>(wp) == -1) return CB_ERR;
      return toList(LB_SETITEMHEIGHT);
    case CB_RESETCONTENT:
      toList(LB_RESETCONTENT);
      if (c.edit) SetWindowTextW(c.edit, u"");
      return CB_OKAY;
    case CB_SETCURSEL: {
      LRESULT r = toList(LB_SETCURSEL);
      ComboSelect(hwnd, static_cast<int>(r), false);
      return r;
    }
    case CB_SELECTSTRING: {
      LRESULT r = toList(LB_SELECTSTRING);
      if (r != CB_ERR) ComboSelect(hwnd, static_cast<int>(r), false);
      return r;
    }
    case CB_SHOWDROPDOWN:
      if (wp)
        ComboDrop(hwnd);
      else
        ComboClose(hwnd, false);
      return TRUE;
    case CB_GETDROPPEDSTATE: return c.dropped ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT: {
      if (!lp) return CB_ERR;
      RECT r = ScreenRect(*w);
      r.bottom = r.top + std::max<int>(c.droppedHeight, r.bottom - r.top);
      *reinterpret_cast<RECT*>(lp) = r;
      return CB_OKAY;
    }
    case CB_SETDROPPEDWIDTH: c.droppedWidth = static_cast<int>(wp); return c.droppedWidth;
    case CB_GETDROPPEDWIDTH: return std::max<int>(c.droppedWidth, w->rect.right - w->rect.left);
    case CB_LIMITTEXT:
      if (c.edit) SendMessageW(c.edit, EM_LIMITTEXT, wp, 0);
      return TRUE;
    case CB_GETEDITSEL: return c.edit ? SendMessageW(c.edit, EM_GETSEL, wp, lp) : CB_ERR;
    case CB_SETEDITSEL:
      if (!c.edit) return CB_ERR;
      SendMessageW(c.edit, EM_SETSEL, static_cast<WPARAM>(static_cast<SHORT>(LOWORD(lp))),
                   static_cast<LPARAM>(static_cast<SHORT>(HIWORD(lp))));
      return TRUE;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterBuiltinLists() {
  HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  RegisterSystemClass(u"ListBox", ListBoxProc, CS_DBLCLKS | CS_PARENTDC, 0, nullptr, arrow);
  RegisterSystemClass(u"ComboLBox", ComboLBoxProc, CS_DBLCLKS | CS_SAVEBITS, 0, nullptr, arrow);
  RegisterSystemClass(u"ComboBox", ComboProc, CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW, 0, nullptr, arrow);
}

bool ComboInfo(HWND hwnd, COMBOBOXINFO* info) {
  auto w = Find(hwnd);
  // Only a combo box of this implementation carries ComboData: a window of the class or
  // of a class made from it (whatever its name and class procedure).
  if (!w || !dynamic_cast<ComboData*>(w->control.get())) return false;
  ComboData& c = CData(*w);
  int ch = ComboType(*w) == CBS_SIMPLE ? ComboItemHeight() + 4 : w->client.bottom - w->client.top;
  info->rcButton = ComboType(*w) == CBS_SIMPLE ? RECT{0, 0, 0, 0} : ButtonRect(*w);
  info->rcItem =
      RECT{3, 3, (ComboType(*w) == CBS_SIMPLE ? w->client.right - w->client.left : info->rcButton.left) - 1, ch - 3};
  info->stateButton = ComboType(*w) == CBS_SIMPLE ? STATE_SYSTEM_INVISIBLE : (c.dropped ? STATE_SYSTEM_PRESSED : 0);
  info->hwndCombo = hwnd;
  info->hwndItem = c.edit ? c.edit : hwnd;
  info->hwndList = c.list;
  return true;
}

}  // namespace kv::user

namespace kv::user {

// Judged by the data the list and combo procedures attach to their windows (from the
// first message on), not by the class name, so that windows of classes built on them (a
// framework's own class over "ComboBox") convert their strings the same way.
bool ListHasStrings(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !w->control) return false;
  if (dynamic_cast<ComboData*>(w->control.get())) return HasStrings(*w, true);
  if (dynamic_cast<ListData*>(w->control.get())) return HasStrings(*w, false);
  return false;
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

BOOL GetComboBoxInfo(HWND hwnd, PCOMBOBOXINFO info) {
  if (!Get(hwnd)) return FALSE;
  if (!info || info->cbSize != sizeof(COMBOBOXINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!ComboInfo(hwnd, info)) {
    SetLastError(ERROR_WINDOW_NOT_COMBOBOX);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
