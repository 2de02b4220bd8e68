// "msctls_updown32": range and position (16- or 32-bit), the buddy window and its text,
// wrapping, arrow keys, and the two arrow halves pressed by the mouse.
#include <algorithm>
#include <string>

#include "platform/comctl/internal.h"
#include "platform/comctl/updown.h"
#include "platform/user/frame.h"

namespace kv::comctl {

namespace {

struct UpDownData : ControlData {
  int low = 0, high = 100, pos = 0;
  HWND buddy = nullptr;
  int pressed = -1;  // the half held down: 0 the first (up / left), 1 the second
};

bool Horz(const Window& w) { return (w.style & UDS_HORZ) != 0; }

// The two halves: top and bottom, or left and right with UDS_HORZ.
RECT Half(const Window& w, int i) {
  RECT c = ClientRectOf(w);
  if (Horz(w)) {
    int mid = (c.right - c.left) / 2;
    return i == 0 ? RECT{c.left, c.top, mid, c.bottom} : RECT{mid, c.top, c.right, c.bottom};
  }
  int mid = (c.bottom - c.top) / 2;
  return i == 0 ? RECT{c.left, c.top, c.right, mid} : RECT{c.left, mid, c.right, c.bottom};
}

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  UpDownData& d = DataOf<UpDownData>(*w);
  bool disabled = (w->style & WS_DISABLED) != 0;
  for (int i = 0; i < 2; ++i) {
    RECT r = Half(*w, i);
    UINT part = Horz(*w) ? (i == 0 ? DFCS_SCROLLLEFT : DFCS_SCROLLRIGHT) : (i == 0 ? DFCS_SCROLLUP : DFCS_SCROLLDOWN);
    if (d.pressed == i) part |= DFCS_PUSHED;
    if (disabled) part |= DFCS_INACTIVE;
    DrawFrameControl(hdc, &r, DFC_SCROLL, part);
  }
}

void ShowInBuddy(const Window& w, const UpDownData& d) {
  if (!(w.style & UDS_SETBUDDYINT) || !d.buddy) return;
  std::string t = std::to_string(d.pos);
  if (!(w.style & UDS_NOTHOUSANDS) && std::abs(static_cast<long long>(d.pos)) >= 1000)
    for (int at = static_cast<int>(t.size()) - 3; at > (d.pos < 0 ? 1 : 0); at -= 3)
      t.insert(static_cast<size_t>(at), ",");
  SetWindowTextA(d.buddy, t.c_str());
}

// One step of `delta` (the first half steps toward the upper bound) after the parent
// agreed to it with UDN_DELTAPOS.
void Step(HWND hwnd, int delta) {
  auto w = Find(hwnd);
  if (!w) return;
  UpDownData& d = DataOf<UpDownData>(*w);
  if (d.low == d.high) return;
  int dir = d.high > d.low ? 1 : -1;
  NMUPDOWN nm{};
  nm.iPos = d.pos;
  nm.iDelta = delta * dir;
  if (NotifyParentHdr(hwnd, UDN_DELTAPOS, &nm.hdr)) return;
  w = Find(hwnd);
  if (!w) return;
  UpDownData& e = DataOf<UpDownData>(*w);
  int lo = std::min(e.low, e.high), hi = std::max(e.low, e.high);
  long long next = static_cast<long long>(e.pos) + nm.iDelta;
  if (next > hi) next = (w->style & UDS_WRAP) ? lo : hi;
  if (next < lo) next = (w->style & UDS_WRAP) ? hi : lo;
  e.pos = static_cast<int>(next);
  ShowInBuddy(*w, e);
  if (w->parent)
    SendMessageW(w->parent, Horz(*w) ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(e.pos)),
                 reinterpret_cast<LPARAM>(hwnd));
}

void EndScroll(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !w->parent) return;
  SendMessageW(w->parent, Horz(*w) ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0),
               reinterpret_cast<LPARAM>(hwnd));
}

// The buddy's number, when it shows one, becomes the position before a step.
void ReadBuddy(Window& w, UpDownData& d) {
  if (!(w.style & UDS_SETBUDDYINT) || !d.buddy) return;
  char buf[32] = {};
  GetWindowTextA(d.buddy, buf, sizeof buf);
  std::string digits;
  for (char* c = buf; *c; ++c)
    if (*c != ',') digits += *c;
  char* end = nullptr;
  long v = std::strtol(digits.c_str(), &end, 10);
  if (end && end != digits.c_str() && *end == 0)
    d.pos = static_cast<int>(std::clamp<long>(v, std::min(d.low, d.high), std::max(d.low, d.high)));
}

LRESULT UpDownProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  UpDownData& d = DataOf<UpDownData>(*w);
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, Paint, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case WM_CREATE:
      if ((w->style & UDS_AUTOBUDDY) && w->parent) d.buddy = GetWindow(hwnd, GW_HWNDNEXT);
      return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (w->style & WS_DISABLED) return 0;
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      RECT first = Half(*w, 0);
      d.pressed = PtInRect(&first, p) ? 0 : 1;
      ReadBuddy(*w, d);
      SetCapture(hwnd);
      InvalidateRect(hwnd, nullptr, TRUE);
      Step(hwnd, d.pressed == 0 ? 1 : -1);
      return 0;
    }
    case WM_LBUTTONUP: {
      if (d.pressed < 0) return 0;
      d.pressed = -1;
      if (GetCapture() == hwnd) ReleaseCapture();
      InvalidateRect(hwnd, nullptr, TRUE);
      EndScroll(hwnd);
      return 0;
    }
    case WM_KEYDOWN:
      if (!(w->style & UDS_ARROWKEYS)) return DefWindowProcW(hwnd, msg, wp, lp);
      if (wp == VK_UP || wp == VK_DOWN) {
        ReadBuddy(*w, d);
        Step(hwnd, wp == VK_UP ? 1 : -1);
      }
      return 0;
    case UDM_SETRANGE:
      d.high = static_cast<short>(LOWORD(lp));
      d.low = static_cast<short>(HIWORD(lp));
      d.pos = std::clamp(d.pos, std::min(d.low, d.high), std::max(d.low, d.high));
      return 0;
    case UDM_GETRANGE: return MAKELONG(static_cast<WORD>(d.high), static_cast<WORD>(d.low));
    case UDM_SETRANGE32:
      d.low = static_cast<int>(wp);
      d.high = static_cast<int>(lp);
      d.pos = std::clamp(d.pos, std::min(d.low, d.high), std::max(d.low, d.high));
      return 0;
    case UDM_GETRANGE32:
      if (wp) *reinterpret_cast<int*>(wp) = d.low;
      if (lp) *reinterpret_cast<int*>(lp) = d.high;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      int before = d.pos;
      int v = msg == UDM_SETPOS ? static_cast<short>(LOWORD(lp)) : static_cast<int>(lp);
      d.pos = std::clamp(v, std::min(d.low, d.high), std::max(d.low, d.high));
      ShowInBuddy(*w, d);
      return msg == UDM_SETPOS ? static_cast<LRESULT>(static_cast<WORD>(before)) : before;
    }
    case UDM_GETPOS: ReadBuddy(*w, d); return static_cast<WORD>(d.pos);
    case UDM_GETPOS32:
      ReadBuddy(*w, d);
      if (lp) *reinterpret_cast<BOOL*>(lp) = FALSE;
      return d.pos;
    case UDM_SETBUDDY: {
      HWND before = d.buddy;
      d.buddy = reinterpret_cast<HWND>(wp);
      ShowInBuddy(*w, d);
      return reinterpret_cast<LRESULT>(before);
    }
    case UDM_GETBUDDY: return reinterpret_cast<LRESULT>(d.buddy);
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterUpDownClass() {
  RegisterSystemClass(u"msctls_updown32", UpDownProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
