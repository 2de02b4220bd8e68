// The in-process clipboard.
#include "platform/user/clipboard.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/gdi/gdi.h"
#include "platform/base/global_memory.h"

namespace {

struct Clipboard {
  std::mutex lock;
  std::vector<std::u16string> names;          // format 0xC000 + i
  std::vector<std::pair<UINT, HANDLE>> data;  // in the order they were set
  bool open = false;
  std::thread::id opener;
  bool emptiedByOpener = false;
  HWND owner = nullptr;
  HWND openOwner = nullptr;
};

Clipboard& Board() {
  static Clipboard* c = new Clipboard;
  return *c;
}

std::u16string Fold(const std::u16string& s) {
  std::u16string r = s;
  for (auto& ch : r)
    if (ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - 32);
  return r;
}

void Release(UINT format, HANDLE h) {
  if (!h) return;
  if (format == CF_BITMAP || format == CF_PALETTE || format == CF_ENHMETAFILE)
    DeleteObject(h);
  else
    GlobalFree(h);
}

bool HeldByMe(Clipboard& c) { return c.open && c.opener == std::this_thread::get_id(); }

UINT Register(const std::u16string& name) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  std::u16string key = Fold(name);
  for (size_t i = 0; i < c.names.size(); ++i)
    if (Fold(c.names[i]) == key) return static_cast<UINT>(0xC000 + i);
  if (c.names.size() >= 0x4000) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  c.names.push_back(name);
  return static_cast<UINT>(0xC000 + c.names.size() - 1);
}

std::u16string NameOf(UINT format) {
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  if (format < 0xC000 || format - 0xC000 >= c.names.size()) return {};
  return c.names[format - 0xC000];
}

// GetClipboardFormatName in both forms (ANSI text for the A form).
template <class C>
int FormatName(UINT format, C* name, int cchMax) {
  std::basic_string<C> s;
  if constexpr (std::is_same_v<C, char>)
    s = kv::WideToAnsi(NameOf(format));
  else
    s = NameOf(format);
  if (s.empty() || !name || cchMax <= 0) {
    SetLastError(s.empty() ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  size_t n = std::min<size_t>(s.size(), static_cast<size_t>(cchMax - 1));
  s.copy(name, n);
  name[n] = 0;
  return static_cast<int>(n);
}

}  // namespace

extern "C" {

UINT RegisterClipboardFormatA(LPCSTR name) { return Register(name ? kv::AnsiToWide(name) : u""); }
UINT RegisterClipboardFormatW(LPCWSTR name) { return Register(name ? std::u16string(name) : u""); }

int GetClipboardFormatNameA(UINT format, LPSTR name, int cchMax) { return FormatName(format, name, cchMax); }

int GetClipboardFormatNameW(UINT format, LPWSTR name, int cchMax) { return FormatName(format, name, cchMax); }

BOOL OpenClipboard(HWND owner) {
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  if (c.open && c.opener != std::this_thread::get_id()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  c.open = true;
  c.opener = std::this_thread::get_id();
  c.openOwner = owner;
  c.emptiedByOpener = false;
  return TRUE;
}

BOOL CloseClipboard(void) {
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  if (!HeldByMe(c)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  c.open = false;
  c.emptiedByOpener = false;
  return TRUE;
}

BOOL EmptyClipboard(void) {
  std::vector<std::pair<UINT, HANDLE>> old;
  {
    Clipboard& c = Board();
    std::lock_guard<std::mutex> g(c.lock);
    if (!HeldByMe(c)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    old.swap(c.data);
    c.emptiedByOpener = true;
    c.owner = c.openOwner;
  }
  for (auto& [f, h] : old) Release(f, h);
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  if (format == 0 || !data) {  // delayed rendering needs a window system: refused plainly
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE replaced = nullptr;
  {
    Clipboard& c = Board();
    std::lock_guard<std::mutex> g(c.lock);
    if (!HeldByMe(c) || !c.emptiedByOpener) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    bool found = false;
    for (auto& [f, h] : c.data)
      if (f == format) {
        if (h != data) replaced = h;
        h = data;
        found = true;
      }
    if (!found) c.data.emplace_back(format, data);
  }
  Release(format, replaced);
  return data;
}

HANDLE GetClipboardData(UINT format) {
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  if (!HeldByMe(c)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  for (auto& [f, h] : c.data)
    if (f == format) return h;
  SetLastError(ERROR_NOT_FOUND);
  return nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  for (auto& [f, h] : c.data)
    if (f == format) return TRUE;
  return FALSE;
}

int CountClipboardFormats(void) {
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  return static_cast<int>(c.data.size());
}

UINT EnumClipboardFormats(UINT format) {
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  if (!HeldByMe(c)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  SetLastError(NO_ERROR);
  if (format == 0) return c.data.empty() ? 0 : c.data.front().first;
  for (size_t i = 0; i + 1 < c.data.size(); ++i)
    if (c.data[i].first == format) return c.data[i + 1].first;
  return 0;
}

HWND GetClipboardOwner(void) {
  Clipboard& c = Board();
  std::lock_guard<std::mutex> g(c.lock);
  return c.owner;
}

}  // extern "C"
