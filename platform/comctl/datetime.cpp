// "SysDateTimePick32": the date or time as text, stepped by keys or up-down arrows, or
// chosen from a calendar that drops down below it.
#include <algorithm>
#include <cstdio>

#include "platform/comctl/datetime.h"
#include "platform/comctl/internal.h"
#include "platform/user/frame.h"

namespace kv::comctl {

namespace {

struct PickerData : ControlData {
  SYSTEMTIME st{};
  bool none = false;        // DTS_SHOWNONE: no date chosen
  HWND calendar = nullptr;  // the dropped-down "SysMonthCal32"
};

bool TimeOnly(const Window& w) { return (w.style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT; }

RECT ButtonRect(const Window& w) {
  RECT c = ClientRectOf(w);
  return RECT{std::max(c.left, c.right - Metric(SM_CXVSCROLL)), c.top, c.right, c.bottom};
}

std::u16string Text(const Window& w, const PickerData& d) {
  if (d.none) return u"";
  char buf[32];
  if (TimeOnly(w))
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", d.st.wHour, d.st.wMinute, d.st.wSecond);
  else
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", d.st.wYear, d.st.wMonth, d.st.wDay);
  return std::u16string(buf, buf + std::char_traits<char>::length(buf));
}

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  PickerData& d = DataOf<PickerData>(*w);
  RECT c = ClientRectOf(*w);
  bool disabled = (w->style & WS_DISABLED) != 0;
  FillRect(hdc, &c, GetSysColorBrush(disabled ? COLOR_3DFACE : COLOR_WINDOW));
  RECT b = ButtonRect(*w);
  if (w->style & DTS_UPDOWN) {
    RECT up{b.left, b.top, b.right, (b.top + b.bottom) / 2}, down{b.left, up.bottom, b.right, b.bottom};
    DrawFrameControl(hdc, &up, DFC_SCROLL, DFCS_SCROLLUP | (disabled ? DFCS_INACTIVE : 0u));
    DrawFrameControl(hdc, &down, DFC_SCROLL, DFCS_SCROLLDOWN | (disabled ? DFCS_INACTIVE : 0u));
  } else {
    DrawFrameControl(hdc, &b, DFC_SCROLL,
                     DFCS_SCROLLCOMBOBOX | (d.calendar ? DFCS_PUSHED : 0u) | (disabled ? DFCS_INACTIVE : 0u));
  }
  FontScope fs(hdc, w->font);
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
  RECT t{c.left + 3, c.top, b.left - 2, c.bottom};
  std::u16string s = Text(*w, d);
  DrawTextW(hdc, s.c_str(), static_cast<int>(s.size()), &t, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}

void Changed(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return;
  PickerData& d = DataOf<PickerData>(*w);
  InvalidateRect(hwnd, nullptr, TRUE);
  NMDATETIMECHANGE nm{};
  nm.dwFlags = d.none ? GDT_NONE : GDT_VALID;
  nm.st = d.st;
  NotifyParentHdr(hwnd, DTN_DATETIMECHANGE, &nm.nmhdr);
}

void CloseUp(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return;
  PickerData& d = DataOf<PickerData>(*w);
  HWND cal = d.calendar;
  if (!cal) return;
  d.calendar = nullptr;
  DestroyWindow(cal);
  InvalidateRect(hwnd, nullptr, TRUE);
  NMHDR hdr{};
  NotifyParentHdr(hwnd, DTN_CLOSEUP, &hdr);
}

void DropDown(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return;
  PickerData& d = DataOf<PickerData>(*w);
  if (d.calendar) return;
  NMHDR hdr{};
  NotifyParentHdr(hwnd, DTN_DROPDOWN, &hdr);
  w = Find(hwnd);
  if (!w) return;
  RECT size{};
  POINT at{0, w->client.bottom - w->client.top};
  ClientToScreen(hwnd, &at);
  // The calendar is a popup; its notifications come to the picker.
  HWND cal = CreateWindowExW(WS_EX_TOOLWINDOW, u"SysMonthCal32", u"", WS_POPUP | WS_BORDER, at.x, at.y, 10, 10, hwnd,
                             nullptr, nullptr, nullptr);
  if (!cal) return;
  SetMonthCalNotify(cal, hwnd);
  SendMessageW(cal, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&size));
  PickerData& e = DataOf<PickerData>(*Find(hwnd));
  SendMessageW(cal, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&e.st));
  SendMessageW(cal, WM_SETFONT, reinterpret_cast<WPARAM>(w->font), 0);
  SetWindowPos(cal, nullptr, 0, 0, size.right + 2, size.bottom + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  e.calendar = cal;
  InvalidateRect(hwnd, nullptr, TRUE);
}

// A step of a day (or, for a time, a second) from a key or an arrow.
void StepBy(HWND hwnd, int delta) {
  auto w = Find(hwnd);
  if (!w) return;
  PickerData& d = DataOf<PickerData>(*w);
  if (TimeOnly(*w)) {
    int s = (d.st.wHour * 3600 + d.st.wMinute * 60 + d.st.wSecond + delta + 86400) % 86400;
    d.st.wHour = static_cast<WORD>(s / 3600);
    d.st.wMinute = static_cast<WORD>(s / 60 % 60);
    d.st.wSecond = static_cast<WORD>(s % 60);
  } else {
    d.st = AddDays(d.st, delta);
  }
  d.none = false;
  Changed(hwnd);
}

LRESULT PickerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  PickerData& d = DataOf<PickerData>(*w);
  LRESULT answer;
  if (PaintOrFontMessage(*w, msg, wp, lp, Paint, answer)) return answer;
  switch (msg) {
    case WM_CREATE: GetLocalTime(&d.st); return 0;
    case WM_DESTROY: CloseUp(hwnd); return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN: {
      SetFocus(hwnd);
      auto ww = Find(hwnd);
      if (!ww) return 0;
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      RECT b = ButtonRect(*ww);
      if (!PtInRect(&b, p)) return 0;
      if (ww->style & DTS_UPDOWN)
        StepBy(hwnd, p.y < (b.top + b.bottom) / 2 ? 1 : -1);
      else if (DataOf<PickerData>(*ww).calendar)
        CloseUp(hwnd);
      else
        DropDown(hwnd);
      return 0;
    }
    case WM_KEYDOWN:
      if (wp == VK_UP || wp == VK_DOWN) StepBy(hwnd, wp == VK_UP ? 1 : -1);
      if (wp == VK_ESCAPE || wp == VK_RETURN) CloseUp(hwnd);
      if (wp == VK_F4 && !(w->style & DTS_UPDOWN)) DropDown(hwnd);
      return 0;
    case WM_NOTIFY: {
      auto hdr = reinterpret_cast<NMHDR*>(lp);
      if (!hdr || hdr->hwndFrom != d.calendar || hdr->code != MCN_SELECT) return 0;
      const SYSTEMTIME& pick = reinterpret_cast<NMSELCHANGE*>(lp)->stSelStart;
      d.st.wYear = pick.wYear;
      d.st.wMonth = pick.wMonth;
      d.st.wDay = pick.wDay;
      d.st.wDayOfWeek = pick.wDayOfWeek;
      d.none = false;
      Changed(hwnd);
      CloseUp(hwnd);
      return 0;
    }
    case DTM_GETSYSTEMTIME:
      if (!lp) return GDT_ERROR;
      if (d.none) return GDT_NONE;
      *reinterpret_cast<SYSTEMTIME*>(lp) = d.st;
      return GDT_VALID;
    case DTM_SETSYSTEMTIME: {
      if (wp == GDT_NONE) {
        if (!(w->style & DTS_SHOWNONE)) return FALSE;
        d.none = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
      }
      if (wp != GDT_VALID || !lp) return FALSE;
      SYSTEMTIME st = *reinterpret_cast<const SYSTEMTIME*>(lp);
      if (!ValidDate(st)) return FALSE;
      d.st = AddDays(st, 0);
      d.none = false;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case DTM_GETMONTHCAL: return reinterpret_cast<LRESULT>(d.calendar);
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterDateTimePickClass() {
  RegisterSystemClass(u"SysDateTimePick32", PickerProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
