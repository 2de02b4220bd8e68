// Window classes and the atom table.
#include <algorithm>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/user/internal.h"

namespace kv::user {

namespace {

struct AtomEntry {
  std::u16string name;
  int refs = 0;
};

// String atoms live in 0xC000..0xFFFF, as the platform's do.
std::map<ATOM, AtomEntry>& Atoms() {
  static std::map<ATOM, AtomEntry> atoms;
  return atoms;
}

std::u16string Lower(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return out;
}

std::vector<std::shared_ptr<Class>>& Classes() {
  static std::vector<std::shared_ptr<Class>> classes;
  return classes;
}

}  // namespace

std::u16string ToWide(LPCSTR s) { return s ? kv::AnsiToWide(s) : std::u16string(); }
std::string ToAnsi(std::u16string_view s) { return kv::WideToAnsi(s); }

ATOM FindAtom(std::u16string_view name) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  std::u16string key = Lower(name);
  for (auto& [atom, e] : Atoms())
    if (Lower(e.name) == key) return atom;
  return 0;
}

ATOM AddAtom(std::u16string_view name) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (name.empty() || name.size() > 255) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (ATOM a = FindAtom(name)) {
    ++Atoms()[a].refs;
    return a;
  }
  for (unsigned a = 0xC000; a <= 0xFFFF; ++a) {
    if (!Atoms().count(static_cast<ATOM>(a))) {
      Atoms()[static_cast<ATOM>(a)] = AtomEntry{std::u16string(name), 1};
      return static_cast<ATOM>(a);
    }
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

std::u16string AtomName(ATOM atom) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto it = Atoms().find(atom);
  if (it != Atoms().end()) return it->second.name;
  if (atom && atom < 0xC000) {
    std::string s = "#" + std::to_string(atom);
    return std::u16string(s.begin(), s.end());
  }
  return {};
}

ATOM NameToAtom(LPCWSTR name, bool add) {
  if (IS_INTRESOURCE(name)) return static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
  std::u16string_view n(name);
  if (n.size() > 1 && n[0] == u'#') {
    unsigned v = 0;
    bool digits = true;
    for (size_t i = 1; i < n.size(); ++i) {
      if (n[i] < u'0' || n[i] > u'9') {
        digits = false;
        break;
      }
      v = v * 10 + unsigned(n[i] - u'0');
      if (v > 0xFFFF) {
        digits = false;
        break;
      }
    }
    if (digits && v && v < 0xC000) return static_cast<ATOM>(v);
  }
  return add ? AddAtom(n) : FindAtom(n);
}

std::shared_ptr<Class> FindClass(LPCWSTR name, HINSTANCE instance) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (!name) return nullptr;
  std::shared_ptr<Class> global, system;
  if (IS_INTRESOURCE(name)) {
    ATOM a = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
    for (auto& c : Classes())
      if (c->atom == a) {
        if (!c->system && c->instance == instance) return c;
        if (!c->system && (c->style & CS_GLOBALCLASS) && !global) global = c;
        if (c->system && !system) system = c;
        if (!c->system && !global) global = c;
      }
    return global ? global : system;
  }
  std::u16string key = Lower(name);
  for (auto& c : Classes()) {
    if (Lower(c->name) != key) continue;
    if (!c->system && c->instance == instance) return c;
    if (!c->system && (c->style & CS_GLOBALCLASS) && !global) global = c;
    if (c->system && !system) system = c;
  }
  if (global) return global;
  if (system) return system;
  // A class of another module that is not global is still found when no better one is:
  // every module of this process shares one window system.
  for (auto& c : Classes())
    if (Lower(c->name) == key) return c;
  return nullptr;
}

void RegisterSystemClass(const char16_t* name, WNDPROC proc, UINT style, int wndExtra, HBRUSH bg, HCURSOR cursor) {
  auto c = std::make_shared<Class>();
  c->name = name;
  c->atom = AddAtom(name);
  c->proc = proc;
  c->unicode = true;
  c->style = style | CS_GLOBALCLASS;
  c->wndExtra = wndExtra;
  c->background = bg;
  c->cursor = cursor;
  c->system = true;
  Classes().push_back(c);
}

void ResetClasses() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto& cs = Classes();
  cs.erase(std::remove_if(cs.begin(), cs.end(), [](auto& c) { return !c->system; }), cs.end());
}

namespace {

template <class WC>
ATOM RegisterCommon(const WC& wc, UINT size, bool unicode, std::u16string name, std::u16string menu, HICON iconSm) {
  (void)size;
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (!wc.lpfnWndProc || wc.cbClsExtra < 0 || wc.cbWndExtra < 0 || wc.cbClsExtra > 40000 || wc.cbWndExtra > 40000 ||
      name.empty() || name.size() > 255) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string key = Lower(name);
  for (auto& c : Classes()) {
    if (c->system || Lower(c->name) != key) continue;
    if (c->instance == wc.hInstance || ((c->style & CS_GLOBALCLASS) && (wc.style & CS_GLOBALCLASS))) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  auto c = std::make_shared<Class>();
  c->name = name;
  c->atom = AddAtom(name);
  if (!c->atom) return 0;
  c->style = wc.style;
  c->proc = ResolveProc(wc.lpfnWndProc, unicode, &c->unicode);
  c->clsExtra = wc.cbClsExtra;
  c->wndExtra = wc.cbWndExtra;
  c->extra.assign(static_cast<size_t>(wc.cbClsExtra), 0);
  c->instance = wc.hInstance;
  c->icon = wc.hIcon;
  c->iconSm = iconSm;
  c->cursor = wc.hCursor;
  c->background = wc.hbrBackground;
  c->menuName = std::move(menu);
  Classes().push_back(c);
  return c->atom;
}

std::u16string NameOf(LPCSTR s) {
  if (!s) return {};
  if (IS_INTRESOURCE(s)) return AtomName(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(s)));
  return ToWide(s);
}
std::u16string NameOf(LPCWSTR s) {
  if (!s) return {};
  if (IS_INTRESOURCE(s)) return AtomName(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(s)));
  return s;
}

bool Unregister(LPCWSTR name, HINSTANCE instance) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto c = FindClass(name, instance);
  if (!c || c->system || (c->instance != instance && !(c->style & CS_GLOBALCLASS))) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return false;
  }
  if (c->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return false;
  }
  auto& cs = Classes();
  cs.erase(std::remove(cs.begin(), cs.end(), c), cs.end());
  return true;
}

template <class WC, class Str>
void FillInfo(const Class& c, WC* wc, bool unicode, Str menuName, Str className) {
  wc->style = c.style;
  wc->lpfnWndProc = ProcForSide(c.proc, c.unicode, unicode);
  wc->cbClsExtra = c.clsExtra;
  wc->cbWndExtra = c.wndExtra;
  wc->hInstance = c.instance;
  wc->hIcon = c.icon;
  wc->hCursor = c.cursor;
  wc->hbrBackground = c.background;
  wc->lpszMenuName = menuName;
  wc->lpszClassName = className;
}

// Stable copies of names handed out by GetClassInfo.
const char* AnsiCopy(const std::u16string& s) {
  static std::map<std::u16string, std::string> copies;
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto it = copies.find(s);
  if (it == copies.end()) it = copies.emplace(s, ToAnsi(s)).first;
  return it->second.c_str();
}

// RegisterClass(Ex) in both forms; the WNDCLASSEX forms check their size and carry a
// small icon.
template <class WC>
ATOM RegisterFrom(const WC* wc) {
  constexpr bool ex = requires { wc->hIconSm; };
  if constexpr (ex) {
    if (wc && wc->cbSize != sizeof(WC)) wc = nullptr;
  }
  if (!wc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  using C = std::remove_const_t<std::remove_pointer_t<decltype(wc->lpszClassName)>>;
  std::u16string menu = IS_INTRESOURCE(wc->lpszMenuName) ? std::u16string() : ToWide(wc->lpszMenuName);
  if constexpr (ex)
    return RegisterCommon(*wc, wc->cbSize, kWide<C>, NameOf(wc->lpszClassName), std::move(menu), wc->hIconSm);
  else
    return RegisterCommon(*wc, 0, kWide<C>, NameOf(wc->lpszClassName), std::move(menu), nullptr);
}

// A name handed out in a WNDCLASS: the class's own text for the W forms, a stable ANSI
// copy for the A forms.
inline LPCWSTR HandedName(const std::u16string& s, const WCHAR*) { return s.c_str(); }
inline LPCSTR HandedName(const std::u16string& s, const char*) { return AnsiCopy(s); }

template <class C, class WCEX>
BOOL ClassInfoEx(HINSTANCE instance, const C* class_name, WCEX* wc) {
  std::u16string keep;
  auto c = FindClass(WideName(class_name, keep), instance);
  if (!c || !wc) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  FillInfo(*c, wc, kWide<C>, c->menuName.empty() ? nullptr : HandedName(c->menuName, class_name),
           HandedName(c->name, class_name));
  wc->hIconSm = c->iconSm;
  return c->atom;
}

// GetClassInfo: GetClassInfoEx without the size and the small icon.
template <class C, class WC>
BOOL ClassInfo(HINSTANCE instance, const C* class_name, WC* wc) {
  std::conditional_t<kWide<C>, WNDCLASSEXW, WNDCLASSEXA> ex{};
  ex.cbSize = sizeof ex;
  BOOL r = ClassInfoEx(instance, class_name, &ex);
  if (r && wc) {
    wc->style = ex.style;
    wc->lpfnWndProc = ex.lpfnWndProc;
    wc->cbClsExtra = ex.cbClsExtra;
    wc->cbWndExtra = ex.cbWndExtra;
    wc->hInstance = ex.hInstance;
    wc->hIcon = ex.hIcon;
    wc->hCursor = ex.hCursor;
    wc->hbrBackground = ex.hbrBackground;
    wc->lpszMenuName = ex.lpszMenuName;
    wc->lpszClassName = ex.lpszClassName;
  }
  return r;
}

template <class C>
int ClassName(HWND hwnd, C* buffer, int size) {
  auto w = Get(hwnd);
  if (!w) return 0;
  if (!buffer || size <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return CopyOut(TextFor<C>(w->cls->name), buffer, size);
}

template <class C>
UINT AtomNameOf(ATOM atom, C* buffer, int size) {
  std::u16string n = AtomName(atom);
  if (n.empty() || !buffer || size <= 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<UINT>(CopyOut(TextFor<C>(n), buffer, size));
}

}  // namespace

}  // namespace kv::user

using namespace kv::user;

extern "C" {

ATOM RegisterClassA(const WNDCLASSA* wc) { return RegisterFrom(wc); }
ATOM RegisterClassW(const WNDCLASSW* wc) { return RegisterFrom(wc); }
ATOM RegisterClassExA(const WNDCLASSEXA* wc) { return RegisterFrom(wc); }
ATOM RegisterClassExW(const WNDCLASSEXW* wc) { return RegisterFrom(wc); }

BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE instance) {
  std::u16string keep;
  return UnregisterClassW(WideName(class_name, keep), instance);
}
BOOL UnregisterClassW(LPCWSTR class_name, HINSTANCE instance) {
  if (!class_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Unregister(class_name, instance);
}

BOOL GetClassInfoExW(HINSTANCE instance, LPCWSTR class_name, LPWNDCLASSEXW wc) {
  return ClassInfoEx(instance, class_name, wc);
}
BOOL GetClassInfoExA(HINSTANCE instance, LPCSTR class_name, LPWNDCLASSEXA wc) {
  return ClassInfoEx(instance, class_name, wc);
}
BOOL GetClassInfoW(HINSTANCE instance, LPCWSTR class_name, LPWNDCLASSW wc) {
  return ClassInfo(instance, class_name, wc);
}
BOOL GetClassInfoA(HINSTANCE instance, LPCSTR class_name, LPWNDCLASSA wc) {
  return ClassInfo(instance, class_name, wc);
}

int GetClassNameW(HWND hwnd, LPWSTR buffer, int size) { return ClassName(hwnd, buffer, size); }
int GetClassNameA(HWND hwnd, LPSTR buffer, int size) { return ClassName(hwnd, buffer, size); }

static ULONG_PTR ClassLong(HWND hwnd, int index, bool unicode) {
  auto w = Get(hwnd);
  if (!w) return 0;
  Class& c = *w->cls;
  if (index >= 0) {
    if (index + int(sizeof(LONG)) > c.clsExtra) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG_PTR v = 0;
    std::memcpy(&v, c.extra.data() + index, std::min<size_t>(sizeof v, size_t(c.clsExtra - index)));
    return static_cast<ULONG_PTR>(v);
  }
  switch (index) {
    case GCL_STYLE: return c.style;
    case GCL_WNDPROC: return reinterpret_cast<ULONG_PTR>(ProcForSide(c.proc, c.unicode, unicode));
    case GCL_CBCLSEXTRA: return ULONG_PTR(c.clsExtra);
    case GCL_CBWNDEXTRA: return ULONG_PTR(c.wndExtra);
    case GCL_HMODULE: return reinterpret_cast<ULONG_PTR>(c.instance);
    case GCL_HICON: return reinterpret_cast<ULONG_PTR>(c.icon);
    case GCL_HICONSM: return reinterpret_cast<ULONG_PTR>(c.iconSm);
    case GCL_HCURSOR: return reinterpret_cast<ULONG_PTR>(c.cursor);
    case GCL_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(c.background);
    case GCW_ATOM: return c.atom;
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
  }
}

static ULONG_PTR SetClassLongCommon(HWND hwnd, int index, LONG_PTR value, bool unicode) {
  auto w = Get(hwnd);
  if (!w) return 0;
  Class& c = *w->cls;
  ULONG_PTR old = ClassLong(hwnd, index, unicode);
  if (index >= 0) {
    if (index + int(sizeof(LONG)) > c.clsExtra) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    std::memcpy(c.extra.data() + index, &value, std::min<size_t>(sizeof value, size_t(c.clsExtra - index)));
    return old;
  }
  switch (index) {
    case GCL_STYLE: c.style = static_cast<UINT>(value); break;
    case GCL_WNDPROC: c.proc = ResolveProc(reinterpret_cast<WNDPROC>(value), unicode, &c.unicode); break;
    case GCL_HICON: c.icon = reinterpret_cast<HICON>(value); break;
    case GCL_HICONSM: c.iconSm = reinterpret_cast<HICON>(value); break;
    case GCL_HCURSOR: c.cursor = reinterpret_cast<HCURSOR>(value); break;
    case GCL_HBRBACKGROUND: c.background = reinterpret_cast<HBRUSH>(value); break;
    case GCL_HMODULE: c.instance = reinterpret_cast<HINSTANCE>(value); break;
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
  }
  return old;
}

DWORD GetClassLongA(HWND hwnd, int index) { return static_cast<DWORD>(ClassLong(hwnd, index, false)); }
DWORD GetClassLongW(HWND hwnd, int index) { return static_cast<DWORD>(ClassLong(hwnd, index, true)); }
ULONG_PTR GetClassLongPtrA(HWND hwnd, int index) { return ClassLong(hwnd, index, false); }
ULONG_PTR GetClassLongPtrW(HWND hwnd, int index) { return ClassLong(hwnd, index, true); }
ULONG_PTR SetClassLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  return SetClassLongCommon(hwnd, index, value, false);
}
ULONG_PTR SetClassLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  return SetClassLongCommon(hwnd, index, value, true);
}
DWORD SetClassLongA(HWND hwnd, int index, LONG value) {
  return static_cast<DWORD>(SetClassLongCommon(hwnd, index, value, false));
}
DWORD SetClassLongW(HWND hwnd, int index, LONG value) {
  return static_cast<DWORD>(SetClassLongCommon(hwnd, index, value, true));
}

ATOM GlobalAddAtomW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return NameToAtom(name, true);
}
ATOM GlobalAddAtomA(LPCSTR name) {
  std::u16string keep;
  return GlobalAddAtomW(WideName(name, keep));
}
ATOM GlobalFindAtomW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ATOM a = NameToAtom(name, false);
  if (!a) SetLastError(ERROR_FILE_NOT_FOUND);
  return a;
}
ATOM GlobalFindAtomA(LPCSTR name) {
  std::u16string keep;
  return GlobalFindAtomW(WideName(name, keep));
}
ATOM GlobalDeleteAtom(ATOM atom) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto& atoms = Atoms();
  auto it = atoms.find(atom);
  if (it != atoms.end() && --it->second.refs <= 0) atoms.erase(it);
  return 0;
}
UINT GlobalGetAtomNameW(ATOM atom, LPWSTR buffer, int size) { return AtomNameOf(atom, buffer, size); }
UINT GlobalGetAtomNameA(ATOM atom, LPSTR buffer, int size) { return AtomNameOf(atom, buffer, size); }

UINT RegisterWindowMessageW(LPCWSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return AddAtom(name);
}
UINT RegisterWindowMessageA(LPCSTR name) { return RegisterWindowMessageW(ToWide(name).c_str()); }

}  // extern "C"
