// "Edit": single- and multi-line text with selection, limits, read-only, number and
// password styles, and the EN_ notifications.
#include <algorithm>
#include <cstring>

#include "platform/base/error.h"
#include "platform/user/edit.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct EditData : ControlData {
  size_t selStart = 0, selEnd = 0;
  bool modified = false;
  size_t limit = 30000;
  WCHAR password = 0;
  std::u16string undo;
  bool canUndo = false;
};

EditData& Data(Window& w) {
  if (!w.control) {
    auto d = std::make_unique<EditData>();
    if (w.style & ES_PASSWORD) d->password = u'*';
    w.control = std::move(d);
  }
  return *static_cast<EditData*>(w.control.get());
}

std::vector<size_t> LineStarts(const std::u16string& t) {
  std::vector<size_t> s{0};
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i] == u'\n') s.push_back(i + 1);
  return s;
}

// Replaces the selection with `text`, as typing or EM_REPLACESEL does. False when
// nothing could be inserted (limit, read-only).
bool Replace(HWND hwnd, std::u16string text, bool notify) {
  auto w = Find(hwnd);
  if (!w) return false;
  EditData& d = Data(*w);
  size_t a = std::min(d.selStart, d.selEnd), b = std::max(d.selStart, d.selEnd);
  a = std::min(a, w->text.size());
  b = std::min(b, w->text.size());
  if (!(w->style & ES_MULTILINE)) {
    // A single line keeps only what comes before a line break.
    size_t cut = text.find_first_of(u"\r\n");
    if (cut != std::u16string::npos) text.resize(cut);
  }
  if (w->style & ES_UPPERCASE)
    for (auto& c : text)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  if (w->style & ES_LOWERCASE)
    for (auto& c : text)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  size_t room = d.limit > w->text.size() - (b - a) ? d.limit - (w->text.size() - (b - a)) : 0;
  bool truncated = text.size() > room;
  if (truncated) text.resize(room);
  if (text.empty() && a == b) {
    if (truncated && notify) NotifyCommand(hwnd, EN_MAXTEXT);
    return false;
  }
  d.undo = w->text;
  d.canUndo = true;
  w->text.replace(a, b - a, text);
  d.selStart = d.selEnd = a + text.size();
  d.modified = true;
  InvalidateRect(hwnd, nullptr, TRUE);
  if (notify) {
    NotifyCommand(hwnd, EN_UPDATE);
    NotifyCommand(hwnd, EN_CHANGE);
    if (truncated) NotifyCommand(hwnd, EN_MAXTEXT);
  }
  return true;
}

void Paint(HWND hwnd, HDC hdc) {
  auto w = Find(hwnd);
  if (!w) return;
  EditData& d = Data(*w);
  RECT r{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  bool grey = (w->style & (ES_READONLY | WS_DISABLED)) != 0;
  HBRUSH br = nullptr;
  if (w->parent)
    br = reinterpret_cast<HBRUSH>(SendMessageW(w->parent, grey ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT,
                                               reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd)));
  if (!br) br = GetSysColorBrush(grey ? COLOR_3DFACE : COLOR_WINDOW);
  FillRect(hdc, &r, br);
  std::u16string shown = w->text;
  if (d.password && !(w->style & ES_MULTILINE)) shown.assign(w->text.size(), d.password);
  HGDIOBJ old = w->font ? SelectObject(hdc, w->font) : nullptr;
  SetBkMode(hdc, TRANSPARENT);
  if (w->style & WS_DISABLED) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
  RECT t = r;
  InflateRect(&t, -1, -1);
  UINT align = (w->style & ES_CENTER) ? DT_CENTER : (w->style & ES_RIGHT) ? DT_RIGHT : DT_LEFT;
  UINT fmt = align | DT_NOPREFIX | ((w->style & ES_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE);
  DrawTextW(hdc, shown.c_str(), static_cast<int>(shown.size()), &t, fmt);
  if (old) SelectObject(hdc, old);
}

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto w = Find(hwnd);
  if (!w) return 0;
  EditData& d = Data(*w);
  LRESULT painted;
  if (PaintMessage(hwnd, msg, wp, Paint, PaintInto::GivenDC, painted)) return painted;
  switch (msg) {
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      if (!(w = Find(hwnd))) return r;
      if (w->text.size() > d.limit) w->text.resize(d.limit);
      if (!(w->style & ES_MULTILINE)) {
        size_t cut = w->text.find_first_of(u"\r\n");
        if (cut != std::u16string::npos) w->text.resize(cut);
      }
      d.selStart = d.selEnd = 0;
      d.modified = false;
      d.canUndo = false;
      InvalidateRect(hwnd, nullptr, TRUE);
      NotifyCommand(hwnd, EN_UPDATE);
      NotifyCommand(hwnd, EN_CHANGE);
      return r;
    }
    case WM_CHAR: {
      if (w->style & ES_READONLY) return 0;
      WCHAR c = static_cast<WCHAR>(wp);
      if (c == 8) {  // backspace
        if (d.selStart == d.selEnd && d.selStart > 0) --d.selStart;
        Replace(hwnd, u"", true);
        return 0;
      }
      if (c == u'\r') {
        if (w->style & ES_MULTILINE) Replace(hwnd, u"\r\n", true);
        return 0;
      }
      if (c < 0x20 && c != u'\t') return 0;
      if (c == u'\t' && !(w->style & ES_MULTILINE)) return 0;
      if ((w->style & ES_NUMBER) && (c < u'0' || c > u'9')) {
        MessageBeep(0);
        return 0;
      }
      Replace(hwnd, std::u16string(1, c), true);
      return 0;
    }
    case WM_KEYDOWN: {
      size_t n = w->text.size();
      bool shift = GetKeyState(VK_SHIFT) < 0;
      size_t caret = d.selEnd;
      switch (wp) {
        case VK_LEFT: caret = caret ? caret - 1 : 0; break;
        case VK_RIGHT: caret = std::min(caret + 1, n); break;
        case VK_HOME: caret = 0; break;
        case VK_END: caret = n; break;
        case VK_DELETE:
          if (w->style & ES_READONLY) return 0;
          if (d.selStart == d.selEnd && d.selEnd < n) ++d.selEnd;
          Replace(hwnd, u"", true);
          return 0;
        default: return 0;
      }
      d.selEnd = caret;
      if (!shift) d.selStart = caret;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      // The caret goes to the nearest character boundary.
      HDC hdc = GetDC(hwnd);
      HGDIOBJ old = w->font ? SelectObject(hdc, w->font) : nullptr;
      int x = GET_X_LPARAM(lp) - 1;
      size_t best = w->text.size();
      for (size_t i = 0; i <= w->text.size(); ++i) {
        SIZE sz{};
        if (i) GetTextExtentPoint32W(hdc, w->text.c_str(), static_cast<int>(i), &sz);
        if (sz.cx >= x) {
          best = i;
          break;
        }
      }
      if (old) SelectObject(hdc, old);
      ReleaseDC(hwnd, hdc);
      d.selStart = d.selEnd = best;
      if (msg == WM_LBUTTONDBLCLK) {
        d.selStart = 0;
        d.selEnd = w->text.size();
      }
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_SETFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      NotifyCommand(hwnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      NotifyCommand(hwnd, EN_KILLFOCUS);
      return 0;
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wp);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | ((w->style & ES_MULTILINE) ? DLGC_WANTALLKEYS : 0);
    case EM_GETSEL: {
      size_t a = std::min(d.selStart, d.selEnd), b = std::max(d.selStart, d.selEnd);
      if (wp) *reinterpret_cast<DWORD*>(wp) = static_cast<DWORD>(a);
      if (lp) *reinterpret_cast<DWORD*>(lp) = static_cast<DWORD>(b);
      return MAKELRESULT(std::min<size_t>(a, 0xFFFF), std::min<size_t>(b, 0xFFFF));
    }
    case EM_SETSEL: {
      size_t n = w->text.size();
      long a = static_cast<long>(static_cast<int>(wp)), b = static_cast<long>(static_cast<int>(lp));
      if (a < 0) {
        d.selStart = d.selEnd = std::min(d.selEnd, n);  // -1: no selection
      } else {
        d.selStart = std::min(static_cast<size_t>(a), n);
        d.selEnd = b < 0 ? n : std::min(static_cast<size_t>(b), n);
      }
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case EM_REPLACESEL: {
      if (!lp) return 0;
      Replace(hwnd, reinterpret_cast<LPCWSTR>(lp), true);
      if (!wp && (w = Find(hwnd))) Data(*w).canUndo = false;
      return 0;
    }
    case EM_GETMODIFY: return d.modified ? TRUE : FALSE;
    case EM_SETMODIFY: d.modified = wp != 0; return 0;
    case EM_LIMITTEXT: d.limit = wp ? static_cast<size_t>(wp) : 0x7FFFFFFE; return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(d.limit);
    case EM_SETREADONLY:
      if (wp)
        w->style |= ES_READONLY;
      else
        w->style &= ~ES_READONLY;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case EM_SETPASSWORDCHAR:
      if (w->style & ES_MULTILINE) return 0;
      d.password = static_cast<WCHAR>(wp);
      if (wp)
        w->style |= ES_PASSWORD;
      else
        w->style &= ~ES_PASSWORD;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case EM_GETPASSWORDCHAR: return d.password;
    case EM_CANUNDO: return d.canUndo ? TRUE : FALSE;
    case EM_UNDO:
      if (!d.canUndo) return FALSE;
      std::swap(w->text, d.undo);
      d.selStart = d.selEnd = w->text.size();
      InvalidateRect(hwnd, nullptr, TRUE);
      NotifyCommand(hwnd, EN_CHANGE);
      return TRUE;
    case EM_EMPTYUNDOBUFFER:
      d.canUndo = false;
      d.undo.clear();
      return 0;
    case EM_GETLINECOUNT: return (w->style & ES_MULTILINE) ? static_cast<LRESULT>(LineStarts(w->text).size()) : 1;
    case EM_LINEINDEX: {
      auto starts = LineStarts(w->text);
      long line = static_cast<long>(static_cast<int>(wp));
      if (line < 0) {
        size_t caret = d.selEnd;
        size_t l = 0;
        while (l + 1 < starts.size() && starts[l + 1] <= caret) ++l;
        return static_cast<LRESULT>(starts[l]);
      }
      if (static_cast<size_t>(line) >= starts.size()) return -1;
      return static_cast<LRESULT>(starts[static_cast<size_t>(line)]);
    }
    case EM_LINEFROMCHAR: {
      auto starts = LineStarts(w->text);
      size_t c = static_cast<int>(wp) < 0 ? d.selEnd : static_cast<size_t>(wp);
      size_t l = 0;
      while (l + 1 < starts.size() && starts[l + 1] <= c) ++l;
      return static_cast<LRESULT>(l);
    }
    case EM_LINELENGTH: {
      auto starts = LineStarts(w->text);
      size_t c = static_cast<int>(wp) < 0 ? d.selEnd : std::min(static_cast<size_t>(wp), w->text.size());
      size_t l = 0;
      while (l + 1 < starts.size() && starts[l + 1] <= c) ++l;
      size_t end = l + 1 < starts.size() ? starts[l + 1] - 1 : w->text.size();
      if (end > starts[l] && w->text[end - 1] == u'\r') --end;
      return static_cast<LRESULT>(end - starts[l]);
    }
    case EM_GETLINE: {
      // The buffer's first WORD gives its size in characters; no terminator is written.
      if (!lp) return 0;
      auto starts = LineStarts(w->text);
      if (wp >= starts.size()) return 0;
      size_t a = starts[wp];
      size_t end = wp + 1 < starts.size() ? starts[wp + 1] - 1 : w->text.size();
      if (end > a && w->text[end - 1] == u'\r') --end;
      auto buf = reinterpret_cast<LPWSTR>(lp);
      size_t room = *reinterpret_cast<WORD*>(buf);
      size_t n = std::min(end - a, room);
      std::memcpy(buf, w->text.data() + a, n * sizeof(WCHAR));
      return static_cast<LRESULT>(n);
    }
    case EM_GETRECT: {
      if (!lp) return 0;
      RECT* r = reinterpret_cast<RECT*>(lp);
      *r = RECT{1, 1, w->client.right - w->client.left - 1, w->client.bottom - w->client.top - 1};
      return 0;
    }
    case EM_SCROLLCARET: return TRUE;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterBuiltinEdit() {
  RegisterSystemClass(u"Edit", EditProc, CS_DBLCLKS | CS_PARENTDC, 0, nullptr,
                      LoadCursorW(nullptr, MAKEINTRESOURCEW(32513)));
}

}  // namespace kv::user
