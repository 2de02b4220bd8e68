// "SysMonthCal32": a month of days under a title with the previous and next month's
// arrows, the selected day, and the date helpers the date-time picker shares.
#include <algorithm>
#include <cstdio>

#include "platform/comctl/datetime.h"
#include "platform/comctl/internal.h"
#include "platform/user/frame.h"

namespace kv::comctl {

bool ValidDate(const SYSTEMTIME& st) {
  FILETIME ft;
  return st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 && SystemTimeToFileTime(&st, &ft);
}

SYSTEMTIME AddDays(const SYSTEMTIME& st, int days) {
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft)) return st;
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  u.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(days) * 864000000000LL);
  ft.dwLowDateTime = u.LowPart;
  ft.dwHighDateTime = u.HighPart;
  SYSTEMTIME out = st;
  if (!FileTimeToSystemTime(&ft, &out)) return st;
  return out;
}

namespace {

int DaysIn(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

SYSTEMTIME Today() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  st.wHour = st.wMinute = st.wSecond = st.wMilliseconds = 0;
  return st;
}

struct MonthData : ControlData {
  HWND notify = nullptr;  // where the notifications go instead of the parent
  SYSTEMTIME sel = Today();
  int year = sel.wYear, month = sel.wMonth;  // the month shown
};

const int kCell = 20;   // a day's cell, square
const int kTitle = 24;  // the title band; the weekday names follow in a cell-high band

RECT ArrowRect(int which) {
  return which == 0 ? RECT{2, 2, 2 + kTitle - 4, kTitle - 2}
                    : RECT{7 * kCell - kTitle + 2, 2, 7 * kCell - 2, kTitle - 2};
}

// The grid cell of a day of the shown month (row 0 holds the first).
RECT DayRect(const MonthData& d, int day) {
  SYSTEMTIME first{};
  first.wYear = static_cast<WORD>(d.year);
  first.wMonth = static_cast<WORD>(d.month);
  first.wDay = 1;
  first = AddDays(first, 0);  // fills in the day of the week
  int at = first.wDayOfWeek + day - 1;
  int x = (at % 7) * kCell, y = kTitle + kCell + (at / 7) * kCell;
  return RECT{x, y, x + kCell, y + kCell};
}

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  MonthData& d = DataOf<MonthData>(*w);
  RECT c = ClientRectOf(*w);
  FillRect(hdc, &c, GetSysColorBrush(COLOR_WINDOW));
  RECT title{0, 0, c.right, kTitle};
  FillRect(hdc, &title, GetSysColorBrush(COLOR_ACTIVECAPTION));
  FontScope fs(hdc, w->font);
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, GetSysColor(COLOR_CAPTIONTEXT));
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d", d.year, d.month);
  DrawTextA(hdc, text, -1, &title, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  for (int i = 0; i < 2; ++i) {
    RECT a = ArrowRect(i);
    DrawFrameControl(hdc, &a, DFC_SCROLL, i == 0 ? DFCS_SCROLLLEFT : DFCS_SCROLLRIGHT);
  }
  static const char* kDays[] = {"S", "M", "T", "W", "T", "F", "S"};
  SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
  for (int i = 0; i < 7; ++i) {
    RECT r{i * kCell, kTitle, (i + 1) * kCell, kTitle + kCell};
    DrawTextA(hdc, kDays[i], 1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }
  for (int day = 1; day <= DaysIn(d.year, d.month); ++day) {
    RECT r = DayRect(d, day);
    bool selected = d.sel.wYear == d.year && d.sel.wMonth == d.month && d.sel.wDay == day;
    if (selected) FillRect(hdc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(hdc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    std::snprintf(text, sizeof text, "%d", day);
    DrawTextA(hdc, text, -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }
}

void Tell(HWND hwnd, UINT code, const SYSTEMTIME& st) {
  auto w = Find(hwnd);
  if (!w) return;
  HWND notify = DataOf<MonthData>(*w).notify;
  HWND to = notify ? notify : w->parent;
  if (!to) return;
  NMSELCHANGE nm{};
  nm.nmhdr.hwndFrom = hwnd;
  nm.nmhdr.idFrom = w->id;
  nm.nmhdr.code = code;
  nm.stSelStart = nm.stSelEnd = st;
  SendMessageW(to, WM_NOTIFY, w->id, reinterpret_cast<LPARAM>(&nm));
}

void ShowMonth(MonthData& d, int delta) {
  int m = d.year * 12 + (d.month - 1) + delta;
  d.year = std::clamp(m / 12, 1601, 30827);
  d.month = m % 12 + 1;
}

LRESULT MonthProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  MonthData& d = DataOf<MonthData>(*w);
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, Paint, PaintInto::OwnDC, painted)) return painted;
  switch (msg) {
    case WM_SETFONT: w->font = reinterpret_cast<HFONT>(wp); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w->font);
    case WM_LBUTTONDOWN: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      for (int i = 0; i < 2; ++i) {
        RECT a = ArrowRect(i);
        if (PtInRect(&a, p)) {
          ShowMonth(d, i == 0 ? -1 : 1);
          InvalidateRect(hwnd, nullptr, TRUE);
          return 0;
        }
      }
      for (int day = 1; day <= DaysIn(d.year, d.month); ++day) {
        RECT r = DayRect(d, day);
        if (!PtInRect(&r, p)) continue;
        d.sel.wYear = static_cast<WORD>(d.year);
        d.sel.wMonth = static_cast<WORD>(d.month);
        d.sel.wDay = static_cast<WORD>(day);
        d.sel = AddDays(d.sel, 0);
        SYSTEMTIME st = d.sel;
        InvalidateRect(hwnd, nullptr, TRUE);
        Tell(hwnd, MCN_SELCHANGE, st);
        Tell(hwnd, MCN_SELECT, st);
        return 0;
      }
      return 0;
    }
    case MCM_GETCURSEL:
      if (!lp) return FALSE;
      *reinterpret_cast<SYSTEMTIME*>(lp) = d.sel;
      return TRUE;
    case MCM_SETCURSEL: {
      if (!lp) return FALSE;
      SYSTEMTIME st = *reinterpret_cast<const SYSTEMTIME*>(lp);
      if (!ValidDate(st)) return FALSE;
      st.wHour = st.wMinute = st.wSecond = st.wMilliseconds = 0;
      d.sel = AddDays(st, 0);
      d.year = d.sel.wYear;
      d.month = d.sel.wMonth;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case MCM_GETMINREQRECT:
      if (!lp) return FALSE;
      *reinterpret_cast<RECT*>(lp) = RECT{0, 0, 7 * kCell, kTitle + 7 * kCell};
      return TRUE;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void SetMonthCalNotify(HWND calendar, HWND to) {
  if (auto w = Find(calendar)) DataOf<MonthData>(*w).notify = to;
}

void RegisterMonthCalClass() {
  RegisterSystemClass(u"SysMonthCal32", MonthProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
