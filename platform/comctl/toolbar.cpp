// "ToolbarWindow32": a row of buttons and separators along the top of its parent. A click
// on a button sends WM_COMMAND with the button's command; the TBN_ and NM_ notifications
// arrive as WM_NOTIFY. Image lists are kept as handles and not drawn: a button shows its
// face and its text.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/comctl/imagelist.h"
#include "platform/comctl/internal.h"
#include "platform/comctl/toolbar.h"
#include "platform/user/button.h"

namespace kv::comctl {

namespace {

struct Button {
  int bitmap = 0;
  int cmd = 0;
  BYTE state = 0;
  BYTE style = 0;
  DWORD_PTR data = 0;
  INT_PTR string = 0;
  std::u16string text;
};

struct ToolData : ControlData {
  std::vector<Button> buttons;
  std::vector<std::u16string> strings;  // TB_ADDSTRING
  size_t structSize = 0;
  int bw = 24, bh = 22;
  int bmw = 16, bmh = 15;
  HIMAGELIST images = nullptr;
  HWND notify = nullptr;
  int pressed = -1;  // index held down by the mouse
  bool inside = false;
  int hot = -1;
};

constexpr int kTop = 2, kSepWidth = 8;

HWND NotifyTarget(const Window& w, const ToolData& d) { return d.notify ? d.notify : w.parent; }

LRESULT SendNotify(HWND hwnd, UINT code, NMHDR* hdr) {
  auto w = Find(hwnd);
  if (!w) return 0;
  ToolData& d = DataOf<ToolData>(*w);
  HWND to = NotifyTarget(*w, d);
  if (!to) return 0;
  hdr->hwndFrom = hwnd;
  hdr->idFrom = w->id;
  hdr->code = code;
  return SendMessageW(to, WM_NOTIFY, w->id, reinterpret_cast<LPARAM>(hdr));
}

int Index(const ToolData& d, int cmd) {
  for (size_t i = 0; i < d.buttons.size(); ++i)
    if (d.buttons[i].cmd == cmd) return static_cast<int>(i);
  return -1;
}

bool IsSep(const Button& b) { return (b.style & TBSTYLE_SEP) != 0; }

int ButtonWidth(const Window& w, const ToolData& d, const Button& b) {
  if (IsSep(b)) return b.bitmap > 0 ? b.bitmap : kSepWidth;
  if (!b.text.empty() && (b.style & TBSTYLE_AUTOSIZE)) {
    HDC dc = CreateCompatibleDC(nullptr);
    int tw;
    {
      FontScope fs(dc, w.font);
      tw = TextWidth(dc, b.text);
    }
    DeleteDC(dc);
    return std::max(d.bw, tw + 8 + ((w.style & TBSTYLE_LIST) ? d.bmw + 4 : 0));
  }
  return d.bw;
}

// The rectangles of the buttons in client coordinates; hidden ones are empty.
std::vector<RECT> Layout(const Window& w, const ToolData& d) {
  std::vector<RECT> out;
  int x = 0;
  for (const Button& b : d.buttons) {
    if (b.state & TBSTATE_HIDDEN) {
      out.push_back(RECT{x, kTop, x, kTop});
      continue;
    }
    int bw = ButtonWidth(w, d, b);
    out.push_back(RECT{x, kTop, x + bw, kTop + d.bh});
    x += bw;
  }
  return out;
}

int HitIndex(const Window& w, const ToolData& d, POINT p) {
  auto rects = Layout(w, d);
  for (size_t i = 0; i < rects.size(); ++i)
    if (PtInRect(&rects[i], p)) return static_cast<int>(i);
  return -1;
}

void Align(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !w->parent) return;
  ToolData& d = DataOf<ToolData>(*w);
  if ((w->style & CCS_NORESIZE)) return;
  RECT pc;
  GetClientRect(w->parent, &pc);
  int h = d.bh + 2 * kTop + ((w->style & CCS_NODIVIDER) ? 0 : 2);
  int y = ((w->style & 3) == CCS_BOTTOM) ? pc.bottom - h : 0;
  if (w->style & CCS_NOPARENTALIGN) y = w->rect.top;
  SetWindowPos(hwnd, nullptr, (w->style & CCS_NOPARENTALIGN) ? w->rect.left : 0, y, pc.right, h,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void FillNm(const Window& w, const ToolData& d, int index, NMTOOLBARW* nm) {
  const Button& b = d.buttons[static_cast<size_t>(index)];
  nm->iItem = b.cmd;
  nm->tbButton.iBitmap = b.bitmap;
  nm->tbButton.idCommand = b.cmd;
  nm->tbButton.fsState = b.state;
  nm->tbButton.fsStyle = b.style;
  nm->tbButton.dwData = b.data;
  nm->tbButton.iString = b.string;
  nm->rcButton = Layout(w, d)[static_cast<size_t>(index)];
}

// The button's image from the tool bar's list: centred above the text, or left of it in
// the list style; a disabled button's image is greyed by a half-tone of the face colour.
void DrawImage(DWORD style, const ToolData& d, const Button& b, RECT r, bool down, HDC hdc) {
  int cx = 0, cy = 0;
  if (!d.images || b.bitmap < 0 || b.bitmap >= ImageList_GetImageCount(d.images) ||
      !ImageList_GetIconSize(d.images, &cx, &cy))
    return;
  if (down) OffsetRect(&r, 1, 1);
  int x = (style & TBSTYLE_LIST) ? r.left + 3 : r.left + (r.right - r.left - cx) / 2;
  int y = (style & TBSTYLE_LIST) || b.text.empty() ? r.top + (r.bottom - r.top - cy) / 2 : r.top + 3;
  ImageList_Draw(d.images, b.bitmap, hdc, x, y, ILD_TRANSPARENT);
  if (!(b.state & TBSTATE_ENABLED)) {
    COLORREF face = GetSysColor(COLOR_3DFACE);
    for (int yy = 0; yy < cy; ++yy)
      for (int xx = yy & 1; xx < cx; xx += 2) SetPixelV(hdc, x + xx, y + yy, face);
  }
}

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  ToolData& d = DataOf<ToolData>(*w);
  RECT c = ClientRectOf(*w);
  FillRect(hdc, &c, GetSysColorBrush(COLOR_3DFACE));
  if (!(w->style & CCS_NODIVIDER)) {
    RECT line{0, 0, c.right, 2};
    DrawEdge(hdc, &line, EDGE_ETCHED, BF_TOP);
  }
  FontScope fs(hdc, w->font);
  SetBkMode(hdc, TRANSPARENT);
  auto rects = Layout(*w, d);
  bool flat = (w->style & TBSTYLE_FLAT) != 0;
  for (size_t i = 0; i < d.buttons.size(); ++i) {
    const Button& b = d.buttons[i];
    RECT r = rects[i];
    if (r.right <= r.left) continue;
    if (IsSep(b)) {
      if (flat) {
        RECT sep{r.left + (r.right - r.left) / 2 - 1, r.top, r.left + (r.right - r.left) / 2 + 1, r.bottom};
        DrawEdge(hdc, &sep, EDGE_ETCHED, BF_LEFT);
      }
      continue;
    }
    bool down = (b.state & (TBSTATE_PRESSED | TBSTATE_CHECKED)) != 0;
    if (b.state & TBSTATE_CHECKED && !(b.state & TBSTATE_PRESSED)) {
      RECT in = r;
      InflateRect(&in, -1, -1);
      FillRect(hdc, &in, GetSysColorBrush(COLOR_3DHILIGHT));
    }
    if (down)
      DrawEdge(hdc, &r, flat ? BDR_SUNKENOUTER : EDGE_SUNKEN, BF_RECT);
    else if (!flat || static_cast<int>(i) == d.hot)
      DrawEdge(hdc, &r, flat ? BDR_RAISEDINNER : EDGE_RAISED, BF_RECT);
    DrawImage(w->style, d, b, r, down, hdc);
    if (!b.text.empty()) {
      RECT t = r;
      if (down) OffsetRect(&t, 1, 1);
      if (w->style & TBSTYLE_LIST)
        t.left += d.bmw + 4;
      else
        t.top += d.bmh + 2;
      SetTextColor(hdc, GetSysColor((b.state & TBSTATE_ENABLED) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
      DrawTextW(hdc, reinterpret_cast<LPCWSTR>(b.text.c_str()), static_cast<int>(b.text.size()), &t,
                DT_CENTER | DT_SINGLELINE | ((w->style & TBSTYLE_LIST) ? DT_VCENTER : DT_TOP) | DT_NOPREFIX);
    }
  }
}

void SetState(HWND hwnd, ToolData& d, int index, BYTE state) {
  if (d.buttons[static_cast<size_t>(index)].state == state) return;
  d.buttons[static_cast<size_t>(index)].state = state;
  InvalidateRect(hwnd, nullptr, TRUE);
}

// Checks a button; in a check group the others of the group are unchecked.
void Check(HWND hwnd, ToolData& d, int index, bool on) {
  Button& b = d.buttons[static_cast<size_t>(index)];
  SetState(hwnd, d, index, static_cast<BYTE>(on ? (b.state | TBSTATE_CHECKED) : (b.state & ~TBSTATE_CHECKED)));
  if (!on || (b.style & TBSTYLE_CHECKGROUP) != TBSTYLE_CHECKGROUP) return;
  auto inGroup = [&](int k) {
    return k >= 0 && k < static_cast<int>(d.buttons.size()) &&
           (d.buttons[static_cast<size_t>(k)].style & TBSTYLE_CHECKGROUP) == TBSTYLE_CHECKGROUP;
  };
  for (int k = index - 1; inGroup(k); --k)
    SetState(hwnd, d, k, static_cast<BYTE>(d.buttons[static_cast<size_t>(k)].state & ~TBSTATE_CHECKED));
  for (int k = index + 1; inGroup(k); ++k)
    SetState(hwnd, d, k, static_cast<BYTE>(d.buttons[static_cast<size_t>(k)].state & ~TBSTATE_CHECKED));
}

std::u16string StringOf(const ToolData& d, INT_PTR s, bool unicode) {
  if (s == 0 || s == -1) return {};
  if (IS_INTRESOURCE(reinterpret_cast<void*>(s))) {
    size_t i = static_cast<size_t>(s);
    return i < d.strings.size() ? d.strings[i] : std::u16string();
  }
  return TextParam(static_cast<LPARAM>(s), unicode);
}

LRESULT Insert(HWND hwnd, ToolData& d, int at, int count, LPARAM lp, bool unicode) {
  if (count <= 0 || !lp) return FALSE;
  size_t size = d.structSize ? d.structSize : sizeof(TBBUTTON);
  if (size < offsetof(TBBUTTON, dwData)) return FALSE;
  auto base = reinterpret_cast<const BYTE*>(lp);
  at = std::clamp(at, 0, static_cast<int>(d.buttons.size()));
  for (int i = 0; i < count; ++i) {
    TBBUTTON tb{};
    std::memcpy(&tb, base + static_cast<size_t>(i) * size, std::min(size, sizeof tb));
    Button b;
    b.bitmap = tb.iBitmap;
    b.cmd = tb.idCommand;
    b.state = tb.fsState;
    b.style = tb.fsStyle;
    b.data = tb.dwData;
    b.string = tb.iString;
    b.text = StringOf(d, tb.iString, unicode);
    d.buttons.insert(d.buttons.begin() + at + i, std::move(b));
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  return TRUE;
}

LRESULT AddStrings(ToolData& d, WPARAM wp, LPARAM lp, bool unicode) {
  if (wp || !lp) return -1;  // strings from a module's resources are not available
  LRESULT first = static_cast<LRESULT>(d.strings.size());
  if (unicode) {
    for (auto p = reinterpret_cast<LPCWSTR>(lp); *p;) {
      std::u16string s(p);
      p += s.size() + 1;
      d.strings.push_back(std::move(s));
    }
  } else {
    for (auto p = reinterpret_cast<LPCSTR>(lp); *p;) {
      size_t n = std::strlen(p);
      d.strings.push_back(ToWide(p));
      p += n + 1;
    }
  }
  return first;
}

void SetHot(HWND hwnd, ToolData& d, int index) {
  if (d.hot == index) return;
  NMTBHOTITEM nm{};
  auto w = Find(hwnd);
  if (!w) return;
  nm.idOld = d.hot >= 0 && d.hot < static_cast<int>(d.buttons.size()) ? d.buttons[static_cast<size_t>(d.hot)].cmd : 0;
  nm.idNew = index >= 0 ? d.buttons[static_cast<size_t>(index)].cmd : 0;
  nm.dwFlags = HICF_MOUSE | (index < 0 ? HICF_LEAVING : 0);
  if (SendNotify(hwnd, TBN_HOTITEMCHANGE, &nm.hdr)) return;
  if (!(w = Find(hwnd))) return;
  DataOf<ToolData>(*w).hot = index;
  InvalidateRect(hwnd, nullptr, TRUE);
}

void Click(HWND hwnd, int index) {
  auto w = Find(hwnd);
  if (!w) return;
  ToolData& d = DataOf<ToolData>(*w);
  Button& b = d.buttons[static_cast<size_t>(index)];
  int cmd = b.cmd;
  // A check button toggles; a button of a check group stays checked.
  if (b.style & TBSTYLE_CHECK) {
    bool group = (b.style & TBSTYLE_GROUP) != 0;
    Check(hwnd, d, index, group || !(b.state & TBSTATE_CHECKED));
  }
  NMMOUSE nm{};
  nm.dwItemSpec = static_cast<DWORD_PTR>(cmd);
  nm.dwItemData = b.data;
  SendNotify(hwnd, NM_CLICK, &nm.hdr);
  if (!(w = Find(hwnd))) return;
  HWND to = NotifyTarget(*w, DataOf<ToolData>(*w));
  if (to) SendMessageW(to, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(cmd), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT ToolProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  ToolData& d = DataOf<ToolData>(*w);
  int iw = static_cast<int>(wp);
  auto byCmd = [&](int cmd) { return Index(d, cmd); };
  LRESULT answer;
  if (PaintOrFontMessage(*w, msg, wp, lp, Paint, answer)) return answer;
  switch (msg) {
    case WM_CREATE: Align(hwnd); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      int i = HitIndex(*w, d, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      if (i < 0 || IsSep(d.buttons[static_cast<size_t>(i)]) ||
          !(d.buttons[static_cast<size_t>(i)].state & TBSTATE_ENABLED))
        return 0;
      NMTOOLBARW nm{};
      FillNm(*w, d, i, &nm);
      if (d.buttons[static_cast<size_t>(i)].style & TBSTYLE_DROPDOWN) {
        SendNotify(hwnd, TBN_DROPDOWN, &nm.hdr);
        return 0;
      }
      SendNotify(hwnd, TBN_BEGINDRAG, &nm.hdr);
      if (!(w = Find(hwnd))) return 0;
      ToolData& dd = DataOf<ToolData>(*w);
      if (i >= static_cast<int>(dd.buttons.size())) return 0;
      dd.pressed = i;
      dd.inside = true;
      SetState(hwnd, dd, i, static_cast<BYTE>(dd.buttons[static_cast<size_t>(i)].state | TBSTATE_PRESSED));
      SetCapture(hwnd);
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      int i = HitIndex(*w, d, p);
      if (d.pressed >= 0 && GetCapture() == hwnd) {
        bool inside = i == d.pressed;
        if (inside != d.inside) {
          d.inside = inside;
          BYTE s = d.buttons[static_cast<size_t>(d.pressed)].state;
          SetState(hwnd, d, d.pressed, static_cast<BYTE>(inside ? (s | TBSTATE_PRESSED) : (s & ~TBSTATE_PRESSED)));
        }
        return 0;
      }
      if (w->style & TBSTYLE_FLAT) {
        if (i >= 0 &&
            (IsSep(d.buttons[static_cast<size_t>(i)]) || !(d.buttons[static_cast<size_t>(i)].state & TBSTATE_ENABLED)))
          i = -1;
        SetHot(hwnd, d, i);
        if (i >= 0) {
          TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
          TrackMouseEvent(&tme);
        }
      }
      return 0;
    }
    case WM_MOUSELEAVE: SetHot(hwnd, d, -1); return 0;
    case WM_LBUTTONUP: {
      int i = d.pressed;
      if (i < 0) return 0;
      bool inside = d.inside;
      d.pressed = -1;
      if (GetCapture() == hwnd) ReleaseCapture();
      if (!(w = Find(hwnd))) return 0;
      ToolData& dd = DataOf<ToolData>(*w);
      if (i >= static_cast<int>(dd.buttons.size())) return 0;
      SetState(hwnd, dd, i, static_cast<BYTE>(dd.buttons[static_cast<size_t>(i)].state & ~TBSTATE_PRESSED));
      NMTOOLBARW nm{};
      FillNm(*w, dd, i, &nm);
      SendNotify(hwnd, TBN_ENDDRAG, &nm.hdr);
      if (inside && Find(hwnd)) Click(hwnd, i);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (d.pressed >= 0 && d.pressed < static_cast<int>(d.buttons.size())) {
        SetState(hwnd, d, d.pressed,
                 static_cast<BYTE>(d.buttons[static_cast<size_t>(d.pressed)].state & ~TBSTATE_PRESSED));
        d.pressed = -1;
      }
      return 0;
    case TB_BUTTONSTRUCTSIZE: d.structSize = wp; return 0;
    case TB_ADDBUTTONSA:
    case TB_ADDBUTTONSW: return Insert(hwnd, d, static_cast<int>(d.buttons.size()), iw, lp, msg == TB_ADDBUTTONSW);
    case TB_INSERTBUTTONA:
    case TB_INSERTBUTTONW:
      return Insert(hwnd, d, iw < 0 ? static_cast<int>(d.buttons.size()) : iw, 1, lp, msg == TB_INSERTBUTTONW);
    case TB_DELETEBUTTON: {
      if (iw < 0 || iw >= static_cast<int>(d.buttons.size())) return FALSE;
      NMTOOLBARW nm{};
      FillNm(*w, d, iw, &nm);
      SendNotify(hwnd, TBN_DELETINGBUTTON, &nm.hdr);
      if (!(w = Find(hwnd))) return FALSE;
      ToolData& dd = DataOf<ToolData>(*w);
      if (iw >= static_cast<int>(dd.buttons.size())) return FALSE;
      dd.buttons.erase(dd.buttons.begin() + iw);
      if (dd.hot >= static_cast<int>(dd.buttons.size())) dd.hot = -1;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case TB_BUTTONCOUNT: return static_cast<LRESULT>(d.buttons.size());
    case TB_GETBUTTON: {
      if (iw < 0 || iw >= static_cast<int>(d.buttons.size()) || !lp) return FALSE;
      const Button& b = d.buttons[static_cast<size_t>(iw)];
      TBBUTTON tb{};
      tb.iBitmap = b.bitmap;
      tb.idCommand = b.cmd;
      tb.fsState = b.state;
      tb.fsStyle = b.style;
      tb.dwData = b.data;
      tb.iString = b.string;
      std::memcpy(reinterpret_cast<void*>(lp), &tb, std::min(d.structSize ? d.structSize : sizeof tb, sizeof tb));
      return TRUE;
    }
    case TB_COMMANDTOINDEX: return byCmd(iw);
    case TB_ADDSTRINGA:
    case TB_ADDSTRINGW: return AddStrings(d, wp, lp, msg == TB_ADDSTRINGW);
    case TB_GETITEMRECT:
    case TB_GETRECT: {
      int i = msg == TB_GETRECT ? byCmd(iw) : iw;
      if (i < 0 || i >= static_cast<int>(d.buttons.size()) || !lp) return FALSE;
      *reinterpret_cast<RECT*>(lp) = Layout(*w, d)[static_cast<size_t>(i)];
      return TRUE;
    }
    case TB_ENABLEBUTTON:
    case TB_CHECKBUTTON:
    case TB_PRESSBUTTON:
    case TB_HIDEBUTTON:
    case TB_INDETERMINATE: {
      int i = byCmd(iw);
      if (i < 0) return FALSE;
      bool on = LOWORD(lp) != 0;
      BYTE bit = msg == TB_ENABLEBUTTON  ? TBSTATE_ENABLED
                 : msg == TB_CHECKBUTTON ? TBSTATE_CHECKED
                 : msg == TB_PRESSBUTTON ? TBSTATE_PRESSED
                 : msg == TB_HIDEBUTTON  ? TBSTATE_HIDDEN
                                         : TBSTATE_INDETERMINATE;
      if (msg == TB_CHECKBUTTON) {
        Check(hwnd, d, i, on);
        return TRUE;
      }
      BYTE s = d.buttons[static_cast<size_t>(i)].state;
      SetState(hwnd, d, i, static_cast<BYTE>(on ? (s | bit) : (s & ~bit)));
      return TRUE;
    }
    case TB_ISBUTTONENABLED:
    case TB_ISBUTTONCHECKED:
    case TB_ISBUTTONPRESSED:
    case TB_ISBUTTONHIDDEN:
    case TB_ISBUTTONINDETERMINATE: {
      int i = byCmd(iw);
      if (i < 0) return -1;
      BYTE bit = msg == TB_ISBUTTONENABLED   ? TBSTATE_ENABLED
                 : msg == TB_ISBUTTONCHECKED ? TBSTATE_CHECKED
                 : msg == TB_ISBUTTONPRESSED ? TBSTATE_PRESSED
                 : msg == TB_ISBUTTONHIDDEN  ? TBSTATE_HIDDEN
                                             : TBSTATE_INDETERMINATE;
      return (d.buttons[static_cast<size_t>(i)].state & bit) ? TRUE : FALSE;
    }
    case TB_SETSTATE: {
      int i = byCmd(iw);
      if (i < 0) return FALSE;
      SetState(hwnd, d, i, static_cast<BYTE>(LOWORD(lp)));
      return TRUE;
    }
    case TB_GETSTATE: {
      int i = byCmd(iw);
      return i < 0 ? -1 : d.buttons[static_cast<size_t>(i)].state;
    }
    case TB_SETBUTTONSIZE:
      if (LOWORD(lp) == 0 || HIWORD(lp) == 0) return FALSE;
      d.bw = LOWORD(lp);
      d.bh = HIWORD(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case TB_GETBUTTONSIZE: return MAKELRESULT(d.bw, d.bh);
    case TB_SETBITMAPSIZE:
      if (LOWORD(lp) == 0 || HIWORD(lp) == 0) return FALSE;
      d.bmw = LOWORD(lp);
      d.bmh = HIWORD(lp);
      return TRUE;
    case TB_AUTOSIZE: Align(hwnd); return 0;
    case TB_SETPARENT: {
      HWND old = NotifyTarget(*w, d);
      d.notify = reinterpret_cast<HWND>(wp);
      return reinterpret_cast<LRESULT>(old);
    }
    case TB_GETBUTTONTEXTA:
    case TB_GETBUTTONTEXTW: {
      int i = byCmd(iw);
      if (i < 0) return -1;
      return CopyTextOut(d.buttons[static_cast<size_t>(i)].text, lp, msg == TB_GETBUTTONTEXTW);
    }
    case TB_SETIMAGELIST: {
      HIMAGELIST old = d.images;
      d.images = reinterpret_cast<HIMAGELIST>(lp);
      return reinterpret_cast<LRESULT>(old);
    }
    case TB_GETIMAGELIST: return reinterpret_cast<LRESULT>(d.images);
    case TB_SETSTYLE:
      w->style = (w->style & 0xFFFF0000u) | (static_cast<DWORD>(lp) & 0xFFFF);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case TB_GETSTYLE: return static_cast<LRESULT>(w->style & 0xFFFF);
    case TB_HITTEST: {
      if (!lp) return -1;
      int i = HitIndex(*w, d, *reinterpret_cast<POINT*>(lp));
      if (i < 0) return -1;
      return IsSep(d.buttons[static_cast<size_t>(i)]) ? -(i + 1) : i;
    }
    case TB_GETHOTITEM: return d.hot;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterToolbarClass() {
  RegisterSystemClass(u"ToolbarWindow32", ToolProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
