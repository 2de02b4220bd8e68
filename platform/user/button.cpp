// "Button": push buttons, check boxes, radio buttons (automatic or not, two or three
// states), group boxes and owner-drawn buttons, each painting a plain look of its own and
// notifying its parent with BN_ codes.
#include <algorithm>

#include "platform/base/error.h"
#include "platform/user/button.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct ButtonData : ControlData {
  UINT check = BST_UNCHECKED;
  bool pushed = false;
  bool focused = false;
  bool tracking = false;
};

ButtonData& BtnData(Window& w) {
  if (!w.control) w.control = std::make_unique<ButtonData>();
  return *static_cast<ButtonData*>(w.control.get());
}

UINT ButtonType(const Window& w) { return w.style & BS_TYPEMASK; }

bool IsCheckType(UINT t) {
  return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE || t == BS_RADIOBUTTON ||
         t == BS_AUTORADIOBUTTON;
}

void PaintButton(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  ButtonData& d = BtnData(*w);
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  UINT t = ButtonType(*w);
  if (t == BS_OWNERDRAW) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(w->id);
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState =
        (d.pushed ? ODS_SELECTED : 0) | (d.focused ? ODS_FOCUS : 0) | ((w->style & WS_DISABLED) ? ODS_DISABLED : 0);
    dis.hwndItem = hwnd;
    dis.hDC = hdc;
    dis.rcItem = r;
    if (w->parent) SendMessageW(w->parent, WM_DRAWITEM, w->id, reinterpret_cast<LPARAM>(&dis));
    return;
  }
  bool pushLike = t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == BS_PUSHBOX || t == BS_USERBUTTON ||
                  (IsCheckType(t) && (w->style & BS_PUSHLIKE));
  if (pushLike) {
    HBRUSH br = ParentBrush(hwnd, hdc, WM_CTLCOLORBTN);
    (void)br;
    FillRect(hdc, &r, GetSysColorBrush(COLOR_BTNFACE));
    RECT e = r;
    if (t == BS_DEFPUSHBUTTON) {
      FrameRect(hdc, &e, GetSysColorBrush(COLOR_WINDOWFRAME));
      InflateRect(&e, -1, -1);
    }
    bool down = d.pushed || (IsCheckType(t) && d.check == BST_CHECKED);
    DrawEdge(hdc, &e, down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    RECT text = r;
    if (down) OffsetRect(&text, 1, 1);
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    DrawLabel(hdc, *w, text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (d.focused) {
      RECT f = r;
      InflateRect(&f, -4, -4);
      DrawFocusRect(hdc, &f);
    }
    return;
  }
  HBRUSH bg = ParentBrush(hwnd, hdc, WM_CTLCOLORSTATIC);
  FillRect(hdc, &r, bg);
  SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
  if (t == BS_GROUPBOX) {
    RECT f = r;
    f.top += 6;
    DrawEdge(hdc, &f, EDGE_ETCHED, BF_RECT);
    RECT text{8, 0, r.right - 8, 14};
    if (!w->text.empty()) {
      SIZE sz{};
      GetTextExtentPoint32W(hdc, w->text.c_str(), static_cast<int>(w->text.size()), &sz);
      RECT gap{text.left - 2, 0, std::min<LONG>(text.left + sz.cx + 2, r.right), std::max<LONG>(sz.cy, 13)};
      FillRect(hdc, &gap, bg);
    }
    DrawLabel(hdc, *w, text, DT_LEFT | DT_TOP | DT_SINGLELINE);
    return;
  }
  // Check boxes and radio buttons: a 13-pixel box beside the text.
  const int box = 13;
  bool leftText = (w->style & BS_LEFTTEXT) != 0;
  int top = (r.bottom - box) / 2;
  RECT b = leftText ? RECT{r.right - box, top, r.right, top + box} : RECT{0, top, box, top + box};
  bool radio = t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON;
  FillRect(hdc, &b, GetSysColorBrush((w->style & WS_DISABLED) || d.pushed ? COLOR_3DFACE : COLOR_WINDOW));
  RECT e = b;
  DrawEdge(hdc, &e, EDGE_SUNKEN, BF_RECT);
  if (d.check) {
    RECT m = b;
    InflateRect(&m, radio ? -4 : -3, radio ? -4 : -3);
    HBRUSH ink = GetSysColorBrush(d.check == BST_INDETERMINATE ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
    if (radio) {
      HGDIOBJ ob = SelectObject(hdc, ink);
      HGDIOBJ op = SelectObject(hdc, GetStockObject(NULL_PEN));
      Ellipse(hdc, m.left, m.top, m.right + 1, m.bottom + 1);
      SelectObject(hdc, op);
      SelectObject(hdc, ob);
    } else {
      FillRect(hdc, &m, ink);
    }
  }
  RECT text = leftText ? RECT{0, 0, b.left - 4, r.bottom} : RECT{b.right + 4, 0, r.right, r.bottom};
  DrawLabel(hdc, *w, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  if (d.focused) DrawFocusRect(hdc, &text);
}

void SetCheck(HWND hwnd, UINT check) {
  auto w = Find(hwnd);
  if (!w) return;
  UINT t = ButtonType(*w);
  if (!IsCheckType(t)) return;
  if (check == BST_INDETERMINATE && t != BS_3STATE && t != BS_AUTO3STATE) check = BST_CHECKED;
  ButtonData& d = BtnData(*w);
  if (d.check != check) {
    d.check = check;
    InvalidateRect(hwnd, nullptr, FALSE);
  }
  // An automatic radio button unchecks the others of its group.
  if (t == BS_AUTORADIOBUTTON && check == BST_CHECKED && w->parent) {
    auto p = Find(w->parent);
    if (!p) return;
    auto& sib = p->children;
    auto me = std::find(sib.begin(), sib.end(), hwnd);
    if (me == sib.end()) return;
    // The group runs from the last WS_GROUP window at or before this one to the next one.
    auto start = me;
    while (start != sib.begin()) {
      auto sw = Find(*start);
      if (sw && (sw->style & WS_GROUP)) break;
      --start;
    }
    for (auto it = start; it != sib.end(); ++it) {
      auto sw = Find(*it);
      if (!sw) continue;
      if (it != start && (sw->style & WS_GROUP)) break;
      if (*it == hwnd || ButtonType(*sw) != BS_AUTORADIOBUTTON) continue;
      ButtonData& od = BtnData(*sw);
      if (od.check) {
        od.check = BST_UNCHECKED;
        InvalidateRect(*it, nullptr, FALSE);
      }
    }
  }
}

void Click(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return;
  UINT t = ButtonType(*w);
  ButtonData& d = BtnData(*w);
  if (t == BS_AUTOCHECKBOX)
    SetCheck(hwnd, d.check ? BST_UNCHECKED : BST_CHECKED);
  else if (t == BS_AUTO3STATE)
    SetCheck(hwnd, (d.check + 1) % 3);
  else if (t == BS_AUTORADIOBUTTON)
    SetCheck(hwnd, BST_CHECKED);
  NotifyCommand(hwnd, BN_CLICKED);
}

void SetPushed(HWND hwnd, bool pushed) {
  auto w = Find(hwnd);
  if (!w) return;
  ButtonData& d = BtnData(*w);
  if (d.pushed == pushed) return;
  d.pushed = pushed;
  InvalidateRect(hwnd, nullptr, FALSE);
  if (w->style & BS_NOTIFY) NotifyCommand(hwnd, pushed ? BN_HILITE : BN_UNHILITE);
}

LRESULT ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  ButtonData& d = BtnData(*w);
  UINT t = ButtonType(*w);
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, PaintButton, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (t == BS_GROUPBOX) return 0;
      SetCapture(hwnd);
      SetFocus(hwnd);
      d.tracking = true;
      SetPushed(hwnd, true);
      if (msg == WM_LBUTTONDBLCLK &&
          ((w->style & BS_NOTIFY) || t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON || t == BS_OWNERDRAW))
        NotifyCommand(hwnd, BN_DOUBLECLICKED);
      return 0;
    case WM_MOUSEMOVE:
      if (d.tracking && GetCapture() == hwnd) {
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
        SetPushed(hwnd, PtInRect(&r, p) != FALSE);
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!d.tracking) return 0;
      d.tracking = false;
      bool was = d.pushed;
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
      SetPushed(hwnd, false);
      if (GetCapture() == hwnd) ReleaseCapture();
      if (was && PtInRect(&r, p)) Click(hwnd);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (d.tracking) {
        d.tracking = false;
        SetPushed(hwnd, false);
      }
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_SPACE && t != BS_GROUPBOX) SetPushed(hwnd, true);
      return 0;
    case WM_KEYUP:
      if (wp == VK_SPACE && d.pushed) {
        SetPushed(hwnd, false);
        Click(hwnd);
      }
      return 0;
    case WM_SETFOCUS:
      d.focused = true;
      InvalidateRect(hwnd, nullptr, FALSE);
      if (w->style & BS_NOTIFY) NotifyCommand(hwnd, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      d.focused = false;
      if (d.tracking && GetCapture() == hwnd) ReleaseCapture();
      InvalidateRect(hwnd, nullptr, FALSE);
      if (auto ww = Find(hwnd); ww && (ww->style & BS_NOTIFY)) NotifyCommand(hwnd, BN_KILLFOCUS);
      return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wp);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETDLGCODE:
      if (t == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (t == BS_PUSHBUTTON || t == BS_PUSHBOX) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      if (t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON) return DLGC_BUTTON | DLGC_RADIOBUTTON;
      if (t == BS_GROUPBOX) return DLGC_STATIC;
      return DLGC_BUTTON;
    case BM_GETCHECK: return IsCheckType(t) ? d.check : 0;
    case BM_SETCHECK: SetCheck(hwnd, static_cast<UINT>(wp)); return 0;
    case BM_GETSTATE:
      return static_cast<LRESULT>((IsCheckType(t) ? d.check : 0) | (d.pushed ? BST_PUSHED : 0) |
                                  (d.focused ? BST_FOCUS : 0));
    case BM_SETSTATE: SetPushed(hwnd, wp != 0); return 0;
    case BM_SETSTYLE: {
      DWORD style = (w->style & ~static_cast<DWORD>(0xFFFF)) | (static_cast<DWORD>(wp) & 0xFFFF);
      w->style = style;
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    }
    case BM_CLICK:
      if (w->style & WS_DISABLED) return 0;
      Click(hwnd);
      return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterButtonClass() {
  RegisterSystemClass(u"Button", ButtonProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_PARENTDC, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::user
