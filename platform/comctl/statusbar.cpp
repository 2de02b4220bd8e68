// "msctls_statusbar32": parts, texts, simple mode, size grip, alignment along the bottom
// (or top) of the parent.
#include <algorithm>
#include <cstring>

#include "platform/base/error.h"
#include "platform/comctl/internal.h"
#include "platform/comctl/statusbar.h"

namespace kv::comctl {

namespace {

struct StatusData : ControlData {
  std::vector<int> parts{-1};
  std::vector<std::u16string> texts{u""};
  std::vector<UINT> flags{0};
  bool simple = false;
  std::u16string simpleText;
  int minHeight = 0;
  bool aligning = false;
};

StatusData& SData(Window& w) {
  if (!w.control) w.control = std::make_unique<StatusData>();
  return *static_cast<StatusData*>(w.control.get());
}

int StatusHeight(const StatusData& d) { return std::max(20, d.minHeight); }

// A status bar sits along the bottom of its parent's client area, full width.
void Align(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || !w->parent) return;
  if (w->style & (CCS_NOPARENTALIGN | CCS_NORESIZE)) return;
  StatusData& d = SData(*w);
  if (d.aligning) return;
  auto p = Find(w->parent);
  if (!p) return;
  int pw = p->client.right - p->client.left, ph = p->client.bottom - p->client.top;
  int h = StatusHeight(d);
  d.aligning = true;
  bool top = (w->style & 0x3) == CCS_TOP;
  SetWindowPos(hwnd, nullptr, 0, top ? 0 : ph - h, pw, h, SWP_NOZORDER | SWP_NOACTIVATE);
  if (auto ww = Find(hwnd)) SData(*ww).aligning = false;
}

RECT PartRect(const Window& w, const StatusData& d, size_t i) {
  int cw = w.client.right - w.client.left, ch = w.client.bottom - w.client.top;
  int left = i ? d.parts[i - 1] + 2 : 0;
  int right = d.parts[i] < 0 ? cw : d.parts[i];
  if (w.style & SBARS_SIZEGRIP) right = std::min(right, cw - ch);
  return RECT{left, 2, std::max(left, right), ch};
}

void PaintStatus(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  StatusData& d = SData(*w);
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  FillRect(hdc, &r, GetSysColorBrush(COLOR_3DFACE));
  HGDIOBJ old = w->font ? SelectObject(hdc, w->font) : nullptr;
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
  auto drawPart = [&](RECT pr, const std::u16string& text, UINT flags) {
    if (!(flags & SBT_NOBORDERS)) {
      RECT e = pr;
      DrawEdge(hdc, &e, (flags & SBT_POPOUT) ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
    }
    RECT t = pr;
    InflateRect(&t, -2, -1);
    // Tabs split the text into left, centred and right-aligned pieces.
    std::u16string pieces[3];
    int k = 0;
    for (char16_t c : text) {
      if (c == u'\t' && k < 2)
        ++k;
      else
        pieces[k] += c;
    }
    UINT al[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
    for (int i = 0; i < 3; ++i)
      if (!pieces[i].empty())
        DrawTextW(hdc, pieces[i].c_str(), static_cast<int>(pieces[i].size()), &t,
                  al[i] | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  };
  if (d.simple) {
    drawPart(RECT{0, 2, r.right, r.bottom}, d.simpleText, 0);
  } else {
    for (size_t i = 0; i < d.parts.size(); ++i) {
      if (d.flags[i] & SBT_OWNERDRAW) {
        DRAWITEMSTRUCT dis{};
        dis.CtlID = static_cast<UINT>(w->id);
        dis.itemID = static_cast<UINT>(i);
        dis.hwndItem = hwnd;
        dis.hDC = hdc;
        dis.rcItem = PartRect(*w, d, i);
        dis.itemData = reinterpret_cast<ULONG_PTR>(d.texts[i].empty() ? nullptr : d.texts[i].data());
        if (w->parent) SendMessageW(w->parent, WM_DRAWITEM, w->id, reinterpret_cast<LPARAM>(&dis));
        continue;
      }
      drawPart(PartRect(*w, d, i), d.texts[i], d.flags[i]);
    }
  }
  if (w->style & SBARS_SIZEGRIP) {
    // Three diagonal ridges in the bottom right corner.
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 2; ++i) {
        int off = 4 + k * 4 + i;
        for (int y = 0; y < off; ++y) {
          RECT px{r.right - off + y, r.bottom - 1 - y, r.right - off + y + 1, r.bottom - y};
          FillRect(hdc, &px, GetSysColorBrush(i ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW));
        }
      }
  }
  if (old) SelectObject(hdc, old);
}

LRESULT SetText(HWND hwnd, Window& w, WPARAM wp, const std::u16string& text) {
  StatusData& d = SData(w);
  UINT part = static_cast<UINT>(wp & 0xFF);
  UINT flags = static_cast<UINT>(wp & 0xFF00);
  if (part == SB_SIMPLEID) {
    d.simpleText = text;
  } else {
    if (part >= d.parts.size()) return FALSE;
    d.texts[part] = text;
    d.flags[part] = flags;
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  return TRUE;
}

LRESULT GetText(Window& w, WPARAM wp, void* buf, bool unicode) {
  StatusData& d = SData(w);
  UINT part = static_cast<UINT>(wp & 0xFF);
  if (part >= d.parts.size()) return 0;
  const std::u16string& t = d.texts[part];
  if (unicode) {
    if (buf) std::memcpy(buf, t.c_str(), (t.size() + 1) * sizeof(WCHAR));
    return MAKELRESULT(t.size(), d.flags[part]);
  }
  std::string a = ToAnsi(t);
  if (buf) std::memcpy(buf, a.c_str(), a.size() + 1);
  return MAKELRESULT(a.size(), d.flags[part]);
}

LRESULT StatusProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  StatusData& d = SData(*w);
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, PaintStatus, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case WM_CREATE: Align(hwnd); return 0;
    case WM_SIZE:
      // The parent passes its own WM_SIZE on: the bar aligns itself again.
      Align(hwnd);
      return 0;
    case WM_NCHITTEST: {
      LRESULT hit = DefWindowProcW(hwnd, msg, wp, lp);
      if (hit == HTCLIENT && (w->style & SBARS_SIZEGRIP)) {
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ScreenToClient(hwnd, &p);
        int cw = w->client.right - w->client.left, ch = w->client.bottom - w->client.top;
        if (p.x >= cw - ch) return HTBOTTOMRIGHT;
      }
      return hit;
    }
    case WM_SETTEXT: {
      std::u16string t = lp ? std::u16string(reinterpret_cast<LPCWSTR>(lp)) : std::u16string();
      DefWindowProcW(hwnd, msg, wp, lp);
      return SetText(hwnd, *w, 0, t);
    }
    case SB_SETTEXTW:
      return SetText(hwnd, *w, wp, lp ? std::u16string(reinterpret_cast<LPCWSTR>(lp)) : std::u16string());
    case SB_SETTEXTA: return SetText(hwnd, *w, wp, lp ? ToWide(reinterpret_cast<LPCSTR>(lp)) : std::u16string());
    case SB_GETTEXTW: return GetText(*w, wp, reinterpret_cast<void*>(lp), true);
    case SB_GETTEXTA: return GetText(*w, wp, reinterpret_cast<void*>(lp), false);
    case SB_GETTEXTLENGTHW: return GetText(*w, wp, nullptr, true);
    case SB_GETTEXTLENGTHA: return GetText(*w, wp, nullptr, false);
    case SB_SETPARTS: {
      int n = static_cast<int>(wp);
      if (n <= 0 || n > 256 || !lp) return FALSE;
      auto edges = reinterpret_cast<const int*>(lp);
      d.parts.assign(edges, edges + n);
      d.texts.resize(size_t(n));
      d.flags.resize(size_t(n));
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case SB_GETPARTS: {
      int n = static_cast<int>(d.parts.size());
      if (lp)
        for (int i = 0; i < std::min(n, static_cast<int>(wp)); ++i) reinterpret_cast<int*>(lp)[i] = d.parts[size_t(i)];
      return n;
    }
    case SB_GETRECT: {
      if (wp >= d.parts.size() || !lp) return FALSE;
      *reinterpret_cast<RECT*>(lp) = PartRect(*w, d, wp);
      return TRUE;
    }
    case SB_GETBORDERS: {
      if (!lp) return FALSE;
      int* b = reinterpret_cast<int*>(lp);
      b[0] = 0;
      b[1] = 2;
      b[2] = 2;
      return TRUE;
    }
    case SB_SETMINHEIGHT: d.minHeight = static_cast<int>(wp); return 0;
    case SB_SIMPLE:
      d.simple = wp != 0;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case SB_ISSIMPLE: return d.simple ? TRUE : FALSE;
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wp);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterStatusBarClass() {
  RegisterSystemClass(u"msctls_statusbar32", StatusProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

}  // namespace kv::comctl
