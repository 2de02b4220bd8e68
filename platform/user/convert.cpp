// Procedures across the A and W sides: the thunks GetWindowLong hands out and the
// conversion of text messages between the two forms.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "platform/base/codepage.h"
#include "platform/user/combobox.h"
#include "platform/user/edit.h"
#include "platform/user/ime.h"
#include "platform/user/internal.h"
#include "platform/user/listbox.h"

namespace kv::user {

namespace {

// ---- Thunks ------------------------------------------------------------------------------------
// A procedure handed to the other side is a small number that CallWindowProc knows; no
// real code lives at addresses below 64 KiB, so the values never meet a real procedure.
constexpr uintptr_t kThunkBase = 0x8000;
struct Thunk {
  WNDPROC proc;
  bool unicode;
};
std::vector<Thunk>& Thunks() {
  static std::vector<Thunk> t;
  return t;
}
bool IsThunk(WNDPROC p) {
  auto v = reinterpret_cast<uintptr_t>(p);
  return v >= kThunkBase && v < kThunkBase + Thunks().size();
}

}  // namespace

WNDPROC ProcForSide(WNDPROC proc, bool procUnicode, bool wantUnicode) {
  if (!proc || procUnicode == wantUnicode) return proc;
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto& t = Thunks();
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i].proc == proc && t[i].unicode == procUnicode) return reinterpret_cast<WNDPROC>(kThunkBase + i);
  t.push_back(Thunk{proc, procUnicode});
  return reinterpret_cast<WNDPROC>(kThunkBase + t.size() - 1);
}

WNDPROC ResolveProc(WNDPROC value, bool valueUnicode, bool* unicode) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (IsThunk(value)) {
    const Thunk& t = Thunks()[reinterpret_cast<uintptr_t>(value) - kThunkBase];
    *unicode = t.unicode;
    return t.proc;
  }
  *unicode = valueUnicode;
  return value;
}

// ---- Conversion of text messages -------------------------------------------------------------------
namespace {

bool IsListStringIn(UINT msg) {
  switch (msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
    case LB_SELECTSTRING:
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
    case CB_SELECTSTRING: return true;
    default: return false;
  }
}

bool IsTextMessage(UINT msg, HWND hwnd) {
  switch (msg) {
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_CHAR:
    case WM_SYSCHAR:
    case WM_DEADCHAR:
    case WM_SYSDEADCHAR:
    case WM_IME_CHAR:
    case WM_MDICREATE:
    case EM_REPLACESEL: return true;
    case LB_GETTEXT:
    case LB_GETTEXTLEN:
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN: return ListHasStrings(hwnd);
    default: return IsListStringIn(msg) && ListHasStrings(hwnd);
  }
}

// Copies `s` into a caller's buffer of `size` units, NUL-terminated, cut so that no
// double-byte character is split. Returns the units copied.
LRESULT CopyOut(const std::string& s, LPSTR buf, size_t size) {
  if (!buf || !size) return 0;
  size_t n = 0;
  while (n < s.size()) {
    size_t step = (IsDBCSLeadByte(static_cast<BYTE>(s[n])) && n + 1 < s.size()) ? 2 : 1;
    if (n + step > size - 1) break;
    n += step;
  }
  std::memcpy(buf, s.data(), n);
  buf[n] = 0;
  return static_cast<LRESULT>(n);
}
LRESULT CopyOut(const std::u16string& s, LPWSTR buf, size_t size) {
  if (!buf || !size) return 0;
  size_t n = std::min(s.size(), size - 1);
  std::memcpy(buf, s.data(), n * sizeof(WCHAR));
  buf[n] = 0;
  return static_cast<LRESULT>(n);
}

thread_local BYTE tLeadByte = 0;

// Calls `proc` with a copy of the structure at `lp` (in the other character form, `From`)
// in the procedure's form `To`: its text and class converted. A null text, or a class
// given by its atom, passes as it is.
template <class To, class From, class Text, class FromText>
LRESULT CallWithCopy(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, Text To::*text, Text To::*cls,
                     FromText From::*from_text, FromText From::*from_cls) {
  const auto convert = [](FromText s) {
    if constexpr (std::is_same_v<Text, LPCWSTR>)
      return ToWide(s);
    else
      return ToAnsi(s);
  };
  using String = decltype(convert(nullptr));
  const auto* from = reinterpret_cast<const From*>(lp);
  To copy;
  std::memcpy(&copy, from, sizeof copy);
  const String converted_text = from->*from_text ? convert(from->*from_text) : String();
  const String converted_cls = IS_INTRESOURCE(from->*from_cls) ? String() : convert(from->*from_cls);
  if (from->*from_text) copy.*text = converted_text.c_str();
  if (!IS_INTRESOURCE(from->*from_cls)) copy.*cls = converted_cls.c_str();
  return proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(&copy));
}

LRESULT Convert(WNDPROC proc, bool procUnicode, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case LB_GETTEXT:
    case CB_GETLBTEXT: {
      // The caller's buffer is as large as the length message said, as on the platform.
      UINT lenMsg = msg == LB_GETTEXT ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
      LRESULT n = proc(hwnd, lenMsg, wp, 0);
      if (n < 0 || !lp) return n;
      if (procUnicode) {
        std::u16string buf(static_cast<size_t>(n) + 1, u'\0');
        LRESULT got = proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(buf.data()));
        if (got < 0) return got;
        buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
        std::string a = ToAnsi(buf);
        std::memcpy(reinterpret_cast<LPSTR>(lp), a.c_str(), a.size() + 1);
        return static_cast<LRESULT>(a.size());
      }
      std::string buf(static_cast<size_t>(n) + 1, '\0');
      LRESULT got = proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(buf.data()));
      if (got < 0) return got;
      buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
      std::u16string w = ToWide(buf.c_str());
      std::memcpy(reinterpret_cast<LPWSTR>(lp), w.c_str(), (w.size() + 1) * sizeof(WCHAR));
      return static_cast<LRESULT>(w.size());
    }
    case LB_GETTEXTLEN:
    case CB_GETLBTEXTLEN: {
      LRESULT n = proc(hwnd, msg, wp, 0);
      if (n <= 0) return n;
      UINT textMsg = msg == LB_GETTEXTLEN ? LB_GETTEXT : CB_GETLBTEXT;
      if (procUnicode) {
        std::u16string buf(static_cast<size_t>(n) + 1, u'\0');
        LRESULT got = proc(hwnd, textMsg, wp, reinterpret_cast<LPARAM>(buf.data()));
        buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
        return static_cast<LRESULT>(ToAnsi(buf).size());
      }
      std::string buf(static_cast<size_t>(n) + 1, '\0');
      LRESULT got = proc(hwnd, textMsg, wp, reinterpret_cast<LPARAM>(buf.data()));
      buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
      return static_cast<LRESULT>(ToWide(buf.c_str()).size());
    }
    case EM_REPLACESEL:
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
    case LB_SELECTSTRING:
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
    case CB_SELECTSTRING:
    case WM_SETTEXT: {
      if (!lp) return proc(hwnd, msg, wp, lp);
      if (procUnicode) {
        std::u16string w = ToWide(reinterpret_cast<LPCSTR>(lp));
        return proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(w.c_str()));
      }
      std::string a = ToAnsi(reinterpret_cast<LPCWSTR>(lp));
      return proc(hwnd, msg, wp, reinterpret_cast<LPARAM>(a.c_str()));
    }
    case WM_GETTEXT: {
      size_t size = wp;
      if (!size || !lp) return proc(hwnd, msg, wp, lp);
      if (procUnicode) {  // ANSI caller
        std::u16string buf(size + 1, u'\0');
        LRESULT n = proc(hwnd, msg, size, reinterpret_cast<LPARAM>(buf.data()));
        buf.resize(static_cast<size_t>(std::clamp<LRESULT>(n, 0, static_cast<LRESULT>(size))));
        return CopyOut(ToAnsi(buf), reinterpret_cast<LPSTR>(lp), size);
      }
      std::string buf(size * 2 + 2, '\0');
      LRESULT n = proc(hwnd, msg, size * 2 + 1, reinterpret_cast<LPARAM>(buf.data()));
      buf.resize(static_cast<size_t>(std::clamp<LRESULT>(n, 0, static_cast<LRESULT>(size * 2 + 1))));
      return CopyOut(ToWide(buf.c_str()), reinterpret_cast<LPWSTR>(lp), size);
    }
    case WM_GETTEXTLENGTH: {
      LRESULT n = proc(hwnd, msg, wp, lp);
      if (n <= 0) return n;
      if (procUnicode) {
        std::u16string buf(static_cast<size_t>(n) + 1, u'\0');
        LRESULT got = proc(hwnd, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(buf.data()));
        buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
        return static_cast<LRESULT>(ToAnsi(buf).size());
      }
      std::string buf(static_cast<size_t>(n) + 1, '\0');
      LRESULT got = proc(hwnd, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(buf.data()));
      buf.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, n)));
      return static_cast<LRESULT>(ToWide(buf.c_str()).size());
    }
    case WM_NCCREATE:
    case WM_CREATE:
      if (!lp) return proc(hwnd, msg, wp, lp);
      return procUnicode ? CallWithCopy(proc, hwnd, msg, wp, lp, &CREATESTRUCTW::lpszName, &CREATESTRUCTW::lpszClass,
                                        &CREATESTRUCTA::lpszName, &CREATESTRUCTA::lpszClass)
                         : CallWithCopy(proc, hwnd, msg, wp, lp, &CREATESTRUCTA::lpszName, &CREATESTRUCTA::lpszClass,
                                        &CREATESTRUCTW::lpszName, &CREATESTRUCTW::lpszClass);
    case WM_MDICREATE:
      // The class and title of the child to make, in the procedure's form.
      if (!lp) return proc(hwnd, msg, wp, lp);
      return procUnicode ? CallWithCopy(proc, hwnd, msg, wp, lp, &MDICREATESTRUCTW::szTitle, &MDICREATESTRUCTW::szClass,
                                        &MDICREATESTRUCTA::szTitle, &MDICREATESTRUCTA::szClass)
                         : CallWithCopy(proc, hwnd, msg, wp, lp, &MDICREATESTRUCTA::szTitle, &MDICREATESTRUCTA::szClass,
                                        &MDICREATESTRUCTW::szTitle, &MDICREATESTRUCTW::szClass);
    case WM_IME_CHAR: {
      // The ANSI form holds a double-byte character whole, its lead byte high.
      if (procUnicode) {
        char bytes[3] = {static_cast<char>((wp >> 8) & 0xFF), static_cast<char>(wp & 0xFF), 0};
        std::u16string w = ToWide(bytes[0] ? bytes : bytes + 1);
        return proc(hwnd, msg, w.empty() ? 0 : w[0], lp);
      }
      char16_t c[2] = {static_cast<char16_t>(wp & 0xFFFF), 0};
      std::string a = ToAnsi(c);
      WPARAM packed = a.size() > 1 ? (WPARAM(BYTE(a[0])) << 8) | BYTE(a[1]) : a.empty() ? 0 : BYTE(a[0]);
      return proc(hwnd, msg, packed, lp);
    }
    default: {  // characters
      if (procUnicode) {
        BYTE b = static_cast<BYTE>(wp & 0xFF);
        char bytes[3] = {0, 0, 0};
        if (tLeadByte) {
          bytes[0] = static_cast<char>(tLeadByte);
          bytes[1] = static_cast<char>(b);
          tLeadByte = 0;
        } else if (IsDBCSLeadByte(b)) {
          tLeadByte = b;
          return 0;
        } else {
          bytes[0] = static_cast<char>(b);
        }
        std::u16string w = ToWide(bytes);
        return proc(hwnd, msg, w.empty() ? 0 : w[0], lp);
      }
      char16_t c[2] = {static_cast<char16_t>(wp & 0xFFFF), 0};
      std::string a = ToAnsi(c);
      LRESULT r = 0;
      for (char ch : a) r = proc(hwnd, msg, static_cast<BYTE>(ch), lp);
      return r;
    }
  }
}

}  // namespace

LRESULT CallProc(WNDPROC proc, bool procUnicode, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                 bool callerUnicode) {
  if (!proc) return 0;
  if (procUnicode == callerUnicode || !IsTextMessage(msg, hwnd)) return proc(hwnd, msg, wParam, lParam);
  return Convert(proc, procUnicode, hwnd, msg, wParam, lParam);
}

}  // namespace kv::user

using namespace kv::user;

extern "C" {

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  bool unicode = true;
  WNDPROC p = ResolveProc(proc, true, &unicode);
  if (!p) return 0;
  return CallProc(p, unicode, hwnd, msg, wParam, lParam, true);
}
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  bool unicode = false;
  WNDPROC p = ResolveProc(proc, false, &unicode);
  if (!p) return 0;
  return CallProc(p, unicode, hwnd, msg, wParam, lParam, false);
}

}  // extern "C"
