// "ComboBoxEx32": a combo box child (owner-drawn fixed, with strings) whose items this
// window keeps with their images, indents and data, and draws: the image from the image
// list, then the text.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/comctl/comboex.h"
#include "platform/comctl/internal.h"

namespace kv::comctl {

namespace {

constexpr int kIndentStep = 10;

struct ComboExItem {
  std::u16string text;
  int image = -1, selectedImage = -1, overlay = -1, indent = 0;
  LPARAM param = 0;
};

struct ComboExData : ControlData {
  HWND combo = nullptr;
  HIMAGELIST images = nullptr;
  std::vector<ComboExItem> items;
};

ComboExData* DataFor(HWND hwnd) {
  auto w = Find(hwnd);
  return w ? &DataOf<ComboExData>(*w) : nullptr;
}

// The A and W item records have one layout; only the text's character type differs.
static_assert(sizeof(COMBOBOXEXITEMA) == sizeof(COMBOBOXEXITEMW));

void Notify(HWND hwnd, UINT code, const COMBOBOXEXITEMW& item) {
  NMCOMBOBOXEXW nm{};
  nm.ceItem = item;
  NotifyParentHdr(hwnd, code, &nm.hdr);
}

void Apply(ComboExItem& it, const COMBOBOXEXITEMW& in, bool unicode) {
  if (in.mask & CBEIF_TEXT) it.text = TextParam(reinterpret_cast<LPARAM>(in.pszText), unicode);
  if (in.mask & CBEIF_IMAGE) it.image = in.iImage;
  if (in.mask & CBEIF_SELECTEDIMAGE) it.selectedImage = in.iSelectedImage;
  if (in.mask & CBEIF_OVERLAY) it.overlay = in.iOverlay;
  if (in.mask & CBEIF_INDENT) it.indent = std::max(0, in.iIndent);
  if (in.mask & CBEIF_LPARAM) it.param = in.lParam;
}

LRESULT Insert(HWND hwnd, const COMBOBOXEXITEMW* in, bool unicode) {
  ComboExData* d = DataFor(hwnd);
  if (!d || !in || !d->combo) return -1;
  const int count = static_cast<int>(d->items.size());
  const int at = in->iItem < 0 || in->iItem > count ? count : static_cast<int>(in->iItem);
  ComboExItem it;
  Apply(it, *in, unicode);
  if (SendMessageW(d->combo, CB_INSERTSTRING, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(it.text.c_str())) < 0)
    return -1;
  d->items.insert(d->items.begin() + at, std::move(it));
  COMBOBOXEXITEMW told = *in;
  told.iItem = at;
  Notify(hwnd, CBEN_INSERTITEM, told);
  return at;
}

LRESULT Delete(HWND hwnd, WPARAM index) {
  ComboExData* d = DataFor(hwnd);
  if (!d || index >= d->items.size()) return CB_ERR;
  COMBOBOXEXITEMW told{};
  told.iItem = static_cast<INT_PTR>(index);
  Notify(hwnd, CBEN_DELETEITEM, told);
  if (!(d = DataFor(hwnd)) || index >= d->items.size()) return CB_ERR;
  d->items.erase(d->items.begin() + static_cast<ptrdiff_t>(index));
  return SendMessageW(d->combo, CB_DELETESTRING, index, 0);
}

// Item -1 is the selected one.
ComboExItem* ItemAt(ComboExData& d, INT_PTR index) {
  if (index < 0) index = d.combo ? SendMessageW(d.combo, CB_GETCURSEL, 0, 0) : -1;
  if (index < 0 || static_cast<size_t>(index) >= d.items.size()) return nullptr;
  return &d.items[static_cast<size_t>(index)];
}

BOOL Get(HWND hwnd, COMBOBOXEXITEMW* out, bool unicode) {
  ComboExData* d = DataFor(hwnd);
  const ComboExItem* it = d && out ? ItemAt(*d, out->iItem) : nullptr;
  if (!it) return FALSE;
  if (out->mask & CBEIF_TEXT) {
    if (!out->pszText || out->cchTextMax <= 0) return FALSE;
    CopyItemText(it->text, out, unicode);
  }
  if (out->mask & CBEIF_IMAGE) out->iImage = it->image;
  if (out->mask & CBEIF_SELECTEDIMAGE) out->iSelectedImage = it->selectedImage;
  if (out->mask & CBEIF_OVERLAY) out->iOverlay = it->overlay;
  if (out->mask & CBEIF_INDENT) out->iIndent = it->indent;
  if (out->mask & CBEIF_LPARAM) out->lParam = it->param;
  return TRUE;
}

BOOL Set(HWND hwnd, const COMBOBOXEXITEMW* in, bool unicode) {
  ComboExData* d = DataFor(hwnd);
  ComboExItem* it = d && in ? ItemAt(*d, in->iItem) : nullptr;
  if (!it) return FALSE;
  Apply(*it, *in, unicode);
  if (in->mask & CBEIF_TEXT) {
    // The combo box keeps the texts too (its edit and its searches read them).
    const auto index = static_cast<WPARAM>(it - d->items.data());
    const LRESULT selected = SendMessageW(d->combo, CB_GETCURSEL, 0, 0);
    SendMessageW(d->combo, CB_DELETESTRING, index, 0);
    SendMessageW(d->combo, CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(it->text.c_str()));
    if (selected == static_cast<LRESULT>(index)) SendMessageW(d->combo, CB_SETCURSEL, index, 0);
  }
  InvalidateRect(d->combo, nullptr, TRUE);
  return TRUE;
}

int IconHeight(HIMAGELIST images) {
  int cx = 0, cy = 0;
  return images && ImageList_GetIconSize(images, &cx, &cy) ? cy : 0;
}

void DrawItem(ComboExData& d, const DRAWITEMSTRUCT& dis) {
  HDC dc = dis.hDC;
  RECT r = dis.rcItem;
  const bool selected = (dis.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (dis.itemID >= d.items.size()) return;
  const ComboExItem& it = d.items[dis.itemID];
  // The selection field shows its item without the indent.
  int x = r.left + 2 + ((dis.itemState & ODS_COMBOBOXEDIT) ? 0 : it.indent * kIndentStep);
  int cx = 0, cy = 0;
  if (d.images && ImageList_GetIconSize(d.images, &cx, &cy)) {
    const int image = selected && it.selectedImage >= 0 ? it.selectedImage : it.image;
    if (image >= 0) ImageList_Draw(d.images, image, dc, x, r.top + (r.bottom - r.top - cy) / 2, ILD_TRANSPARENT);
    x += cx + 4;
  }
  RECT text{x, r.top, r.right, r.bottom};
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  DrawTextW(dc, it.text.c_str(), static_cast<int>(it.text.size()), &text,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

HWND EditOf(HWND combo) {
  for (HWND c = combo ? GetWindow(combo, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT)) {
    char16_t name[16] = {};
    GetClassNameW(c, name, 16);
    if (std::u16string(name) == u"Edit") return c;
  }
  return nullptr;
}

LRESULT ComboExProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  ComboExData& d = DataOf<ComboExData>(*w);
  switch (msg) {
    case WM_CREATE: {
      auto cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      const DWORD kind = (w->style & 3) ? (w->style & 3) : CBS_DROPDOWN;
      HWND combo = CreateWindowExW(0, u"ComboBox", nullptr,
                                   WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_AUTOHSCROLL | CBS_OWNERDRAWFIXED |
                                       CBS_HASSTRINGS | kind,
                                   0, 0, cs ? cs->cx : 100, cs ? cs->cy : 100, hwnd,
                                   reinterpret_cast<HMENU>(static_cast<intptr_t>(w->id)), w->instance, nullptr);
      if (!combo) return -1;
      ComboExData* e = DataFor(hwnd);
      if (!e) return -1;
      e->combo = combo;
      // The window is as high as its combo box's selection field.
      RECT c{};
      GetWindowRect(combo, &c);
      SetWindowPos(hwnd, nullptr, 0, 0, cs ? cs->cx : c.right - c.left, c.bottom - c.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SIZE:
      if (d.combo) {
        RECT c{};
        GetWindowRect(d.combo, &c);
        SetWindowPos(d.combo, nullptr, 0, 0, LOWORD(lp), c.bottom - c.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    case WM_SETFOCUS:
      if (d.combo) SetFocus(d.combo);
      return 0;
    case WM_ENABLE:
      if (d.combo) EnableWindow(d.combo, static_cast<BOOL>(wp));
      return 0;
    case WM_SETFONT:
    case WM_GETFONT: return d.combo ? SendMessageW(d.combo, msg, wp, lp) : 0;
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (mis && mis->itemID != static_cast<UINT>(-1))
        mis->itemHeight = std::max<UINT>(mis->itemHeight, static_cast<UINT>(IconHeight(d.images) + 2));
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (!dis || dis->hwndItem != d.combo) return FALSE;
      DrawItem(d, *dis);
      return TRUE;
    }
    case WM_COMMAND:
      // The combo box's notifications are the extended combo's own.
      if (reinterpret_cast<HWND>(lp) == d.combo && w->parent)
        return SendMessageW(w->parent, WM_COMMAND, MAKEWPARAM(w->id, HIWORD(wp)), reinterpret_cast<LPARAM>(hwnd));
      return 0;
    case CBEM_INSERTITEMA:
    case CBEM_INSERTITEMW:
      return Insert(hwnd, reinterpret_cast<const COMBOBOXEXITEMW*>(lp), msg == CBEM_INSERTITEMW);
    case CBEM_GETITEMA:
    case CBEM_GETITEMW: return Get(hwnd, reinterpret_cast<COMBOBOXEXITEMW*>(lp), msg == CBEM_GETITEMW);
    case CBEM_SETITEMA:
    case CBEM_SETITEMW: return Set(hwnd, reinterpret_cast<const COMBOBOXEXITEMW*>(lp), msg == CBEM_SETITEMW);
    case CBEM_DELETEITEM: return Delete(hwnd, wp);
    case CBEM_SETIMAGELIST: {
      HIMAGELIST old = d.images;
      d.images = reinterpret_cast<HIMAGELIST>(lp);
      if (d.combo) {
        // The list's items make room for the images.
        const LRESULT h = SendMessageW(d.combo, CB_GETITEMHEIGHT, 0, 0);
        SendMessageW(d.combo, CB_SETITEMHEIGHT, 0, std::max<LRESULT>(h, IconHeight(d.images) + 2));
        InvalidateRect(d.combo, nullptr, TRUE);
      }
      return reinterpret_cast<LRESULT>(old);
    }
    case CBEM_GETIMAGELIST: return reinterpret_cast<LRESULT>(d.images);
    case CBEM_GETCOMBOCONTROL: return reinterpret_cast<LRESULT>(d.combo);
    case CBEM_GETEDITCONTROL: return reinterpret_cast<LRESULT>(EditOf(d.combo));
    case CB_RESETCONTENT:
      while (!d.items.empty())
        if (Delete(hwnd, d.items.size() - 1) == CB_ERR || !Find(hwnd)) return CB_ERR;
      return CB_OKAY;
    case CB_GETITEMDATA: {
      const ComboExItem* it = static_cast<int>(wp) < 0 ? nullptr : ItemAt(d, static_cast<INT_PTR>(wp));
      return it ? it->param : CB_ERR;
    }
    case CB_SETITEMDATA: {
      ComboExItem* it = static_cast<int>(wp) < 0 ? nullptr : ItemAt(d, static_cast<INT_PTR>(wp));
      if (!it) return CB_ERR;
      it->param = lp;
      return TRUE;
    }
    // The combo-box messages without texts are the inner combo box's. Texts come and go
    // through the CBEM_ messages only, whose records say their character type.
    case CB_GETEDITSEL:
    case CB_LIMITTEXT:
    case CB_SETEDITSEL:
    case CB_GETCOUNT:
    case CB_GETCURSEL:
    case CB_SETCURSEL:
    case CB_SHOWDROPDOWN:
    case CB_GETDROPPEDCONTROLRECT:
    case CB_SETITEMHEIGHT:
    case CB_GETITEMHEIGHT:
    case CB_GETDROPPEDSTATE:
    case CB_GETDROPPEDWIDTH:
    case CB_SETDROPPEDWIDTH: return d.combo ? SendMessageW(d.combo, msg, wp, lp) : CB_ERR;
    default:
      if (msg >= CB_GETEDITSEL && msg <= CB_SETDROPPEDWIDTH) return CB_ERR;
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterComboBoxExClass() {
  RegisterSystemClass(u"ComboBoxEx32", ComboExProc, CS_DBLCLKS, 0, nullptr, LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
