// "msctls_progress32": range, position, step, bar and background colours, blocks or smooth,
// horizontal or vertical.
#include <algorithm>

#include "platform/base/error.h"
#include "platform/comctl/internal.h"
#include "platform/comctl/progress.h"

namespace kv::comctl {

namespace {

struct ProgressData : ControlData {
  int low = 0, high = 100, pos = 0, step = 10;
  COLORREF bar = CLR_DEFAULT, back = CLR_DEFAULT;
};

ProgressData& PData(Window& w) {
  if (!w.control) w.control = std::make_unique<ProgressData>();
  return *static_cast<ProgressData*>(w.control.get());
}

void PaintProgress(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  ProgressData& d = PData(*w);
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  HBRUSH back = d.back == CLR_DEFAULT ? GetSysColorBrush(COLOR_3DFACE) : CreateSolidBrush(d.back);
  FillRect(hdc, &r, back);
  if (d.back != CLR_DEFAULT) DeleteObject(back);
  InflateRect(&r, -1, -1);
  bool vert = (w->style & PBS_VERTICAL) != 0;
  int len = vert ? r.bottom - r.top : r.right - r.left;
  long long range = static_cast<long long>(d.high) - d.low;
  int filled = range > 0 ? static_cast<int>(len * (static_cast<long long>(d.pos) - d.low) / range) : 0;
  HBRUSH bar = d.bar == CLR_DEFAULT ? GetSysColorBrush(COLOR_HIGHLIGHT) : CreateSolidBrush(d.bar);
  if (w->style & PBS_SMOOTH) {
    RECT f = vert ? RECT{r.left, r.bottom - filled, r.right, r.bottom} : RECT{r.left, r.top, r.left + filled, r.bottom};
    FillRect(hdc, &f, bar);
  } else {
    int block = std::max(2, ((vert ? r.right - r.left : r.bottom - r.top) * 2) / 3);
    for (int at = 0; at < filled; at += block + 2) {
      int end = std::min(at + block, len);
      RECT f = vert ? RECT{r.left, r.bottom - end, r.right, r.bottom - at}
                    : RECT{r.left + at, r.top, r.left + end, r.bottom};
      FillRect(hdc, &f, bar);
    }
  }
  if (d.bar != CLR_DEFAULT) DeleteObject(bar);
}

void SetPos(HWND hwnd, ProgressData& d, long long wanted) {
  int pos = static_cast<int>(std::clamp<long long>(wanted, std::min(d.low, d.high), std::max(d.low, d.high)));
  if (pos != d.pos) {
    d.pos = pos;
    InvalidateRect(hwnd, nullptr, FALSE);
  }
}

LRESULT ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  ProgressData& d = PData(*w);
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, PaintProgress, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case PBM_SETRANGE: {
      LRESULT old = MAKELRESULT(static_cast<WORD>(d.low), static_cast<WORD>(d.high));
      d.low = LOWORD(lp);
      d.high = HIWORD(lp);
      SetPos(hwnd, d, d.pos);
      InvalidateRect(hwnd, nullptr, FALSE);
      return old;
    }
    case PBM_SETRANGE32: {
      LRESULT old = MAKELRESULT(static_cast<WORD>(d.low), static_cast<WORD>(d.high));
      d.low = static_cast<int>(wp);
      d.high = static_cast<int>(lp);
      SetPos(hwnd, d, d.pos);
      InvalidateRect(hwnd, nullptr, FALSE);
      return old;
    }
    case PBM_GETRANGE:
      if (lp) {
        auto r = reinterpret_cast<PBRANGE*>(lp);
        r->iLow = d.low;
        r->iHigh = d.high;
      }
      return wp ? d.low : d.high;
    case PBM_SETPOS: {
      int old = d.pos;
      SetPos(hwnd, d, static_cast<int>(wp));
      return old;
    }
    case PBM_DELTAPOS: {
      int old = d.pos;
      SetPos(hwnd, d, static_cast<long long>(d.pos) + static_cast<int>(wp));
      return old;
    }
    case PBM_SETSTEP: {
      int old = d.step;
      d.step = static_cast<int>(wp);
      return old;
    }
    case PBM_STEPIT: {
      int old = d.pos;
      long long next = static_cast<long long>(d.pos) + d.step;
      // Stepping past the end starts again from the beginning.
      if (next > d.high) next = d.low + (next - d.high);
      if (next < d.low) next = d.high - (d.low - next);
      SetPos(hwnd, d, next);
      return old;
    }
    case PBM_GETPOS: return d.pos;
    case PBM_SETBARCOLOR: {
      COLORREF old = d.bar;
      d.bar = static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, FALSE);
      return static_cast<LRESULT>(old);
    }
    case PBM_SETBKCOLOR: {
      COLORREF old = d.back;
      d.back = static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, FALSE);
      return static_cast<LRESULT>(old);
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterProgressClass() {
  RegisterSystemClass(u"msctls_progress32", ProgressProc, CS_HREDRAW | CS_VREDRAW, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
