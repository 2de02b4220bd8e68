// Helpers shared by the control classes.
#include <algorithm>

#include "platform/comctl/internal.h"

namespace kv::comctl {

LRESULT NotifyParentHdr(HWND hwnd, UINT code, NMHDR* hdr) {
  auto w = Find(hwnd);
  if (!w || !w->parent) return 0;
  hdr->hwndFrom = hwnd;
  hdr->idFrom = w->id;
  hdr->code = code;
  return SendMessageW(w->parent, WM_NOTIFY, w->id, reinterpret_cast<LPARAM>(hdr));
}

RECT ClientRectOf(const Window& w) {
  return RECT{0, 0, w.client.right - w.client.left, w.client.bottom - w.client.top};
}

bool PaintOrFontMessage(Window& w, UINT msg, WPARAM wp, LPARAM lp, void (*paint)(HWND, HDC), LRESULT& result) {
  if (PaintMessage(w.hwnd, msg, wp, paint, PaintInto::OwnDC, result)) return true;
  switch (msg) {
    case WM_SETFONT:
      w.font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(w.hwnd, nullptr, TRUE);
      return true;
    case WM_GETFONT: result = reinterpret_cast<LRESULT>(w.font); return true;
    default: return false;
  }
}

int FontHeight(HFONT font) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return 12;
  int h = 12;
  {
    FontScope fs(dc, font);
    TEXTMETRICW tm{};
    if (GetTextMetricsW(dc, &tm)) h = tm.tmHeight;
  }
  DeleteDC(dc);
  return std::max(h, 1);
}

int TextWidth(HDC hdc, std::u16string_view s) {
  if (s.empty()) return 0;
  SIZE sz{};
  GetTextExtentPoint32W(hdc, reinterpret_cast<LPCWSTR>(s.data()), static_cast<int>(s.size()), &sz);
  return sz.cx;
}

std::u16string TextParam(LPARAM lp, bool unicode) {
  if (!lp) return {};
  if (unicode) return std::u16string(reinterpret_cast<LPCWSTR>(lp));
  return ToWide(reinterpret_cast<LPCSTR>(lp));
}

LRESULT CopyTextOut(const std::u16string& s, LPARAM buffer, bool unicode) {
  if (!buffer) return static_cast<LRESULT>(unicode ? s.size() : ToAnsi(s).size());
  if (unicode) {
    auto out = reinterpret_cast<LPWSTR>(buffer);
    std::copy(s.begin(), s.end(), out);
    out[s.size()] = 0;
    return static_cast<LRESULT>(s.size());
  }
  std::string a = ToAnsi(s);
  auto out = reinterpret_cast<LPSTR>(buffer);
  std::copy(a.begin(), a.end(), out);
  out[a.size()] = 0;
  return static_cast<LRESULT>(a.size());
}

namespace {
char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
}  // namespace

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace kv::comctl
