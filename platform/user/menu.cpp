// Menus: menu objects and their items, the item calls and the system menu.
#include <algorithm>
#include <cstring>

#include "platform/base/error.h"
#include "platform/user/internal.h"
#include "platform/user/menu_model.h"

namespace kv::user {

namespace {

uintptr_t gNextMenu = 0x50000;

}  // namespace

std::unordered_map<uintptr_t, std::shared_ptr<Menu>>& Menus() {
  static std::unordered_map<uintptr_t, std::shared_ptr<Menu>> m;
  return m;
}
std::map<HWND, HMENU>& SystemMenus() {
  static std::map<HWND, HMENU> m;
  return m;
}

std::shared_ptr<Menu> FindMenu(HMENU h) {
  auto it = Menus().find(reinterpret_cast<uintptr_t>(h));
  return it == Menus().end() ? nullptr : it->second;
}
std::shared_ptr<Menu> GetMenuObj(HMENU h) {
  auto m = FindMenu(h);
  if (!m) SetLastError(ERROR_INVALID_MENU_HANDLE);
  return m;
}

HMENU NewMenu(bool popup) {
  auto m = std::make_shared<Menu>();
  m->popup = popup;
  HMENU h = reinterpret_cast<HMENU>(gNextMenu);
  gNextMenu += 4;
  Menus()[reinterpret_cast<uintptr_t>(h)] = m;
  return h;
}

MenuItem* Locate(HMENU h, UINT item, bool byPos, HMENU* owner, int* index) {
  auto m = FindMenu(h);
  if (!m) return nullptr;
  if (byPos) {
    if (item >= m->items.size()) return nullptr;
    if (owner) *owner = h;
    if (index) *index = static_cast<int>(item);
    return &m->items[item];
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    MenuItem& it = m->items[i];
    if (it.sub) {
      if (MenuItem* found = Locate(it.sub, item, false, owner, index)) return found;
    }
    if (!it.sub && it.id == item) {
      if (owner) *owner = h;
      if (index) *index = static_cast<int>(i);
      return &it;
    }
  }
  // A submenu item can also be found by its own identifier when it has one.
  for (size_t i = 0; i < m->items.size(); ++i)
    if (m->items[i].sub && m->items[i].id == item) {
      if (owner) *owner = h;
      if (index) *index = static_cast<int>(i);
      return &m->items[i];
    }
  return nullptr;
}

void DestroyMenuTree(HMENU h) {
  auto m = FindMenu(h);
  if (!m) return;
  Menus().erase(reinterpret_cast<uintptr_t>(h));
  for (auto& it : m->items)
    if (it.sub) DestroyMenuTree(it.sub);
}

namespace {

MenuItem FromFlags(UINT flags, UINT_PTR idOrSub, const std::u16string* text, const void* raw) {
  MenuItem it;
  if (flags & MF_POPUP) {
    it.sub = reinterpret_cast<HMENU>(idOrSub);
    it.id = static_cast<UINT>(idOrSub);
  } else {
    it.id = static_cast<UINT>(idOrSub);
  }
  if (flags & MF_SEPARATOR)
    it.type = MFT_SEPARATOR;
  else if (flags & MF_OWNERDRAW) {
    it.type = MFT_OWNERDRAW;
    it.data = reinterpret_cast<ULONG_PTR>(raw);
  } else if (flags & MF_BITMAP) {
    it.type = MFT_BITMAP;
    it.bitmap = reinterpret_cast<HBITMAP>(const_cast<void*>(raw));
  } else if (text) {
    it.text = *text;
  }
  it.type |= flags & (MF_MENUBARBREAK | MF_MENUBREAK | MF_RIGHTJUSTIFY);
  it.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT);
  return it;
}

bool InsertCommon(HMENU h, UINT pos, UINT flags, UINT_PTR idOrSub, const std::u16string* text, const void* raw) {
  auto m = GetMenuObj(h);
  if (!m) return false;
  if ((flags & MF_POPUP) && !FindMenu(reinterpret_cast<HMENU>(idOrSub))) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return false;
  }
  MenuItem it = FromFlags(flags, idOrSub, text, raw);
  size_t at = m->items.size();
  if (pos != static_cast<UINT>(-1)) {
    if (flags & MF_BYPOSITION) {
      at = std::min<size_t>(pos, m->items.size());
    } else {
      HMENU owner = nullptr;
      int index = -1;
      if (Locate(h, pos, false, &owner, &index)) {
        if (owner != h) return InsertCommon(owner, static_cast<UINT>(index), flags | MF_BYPOSITION, idOrSub, text, raw);
        at = static_cast<size_t>(index);
      }
    }
  }
  m->items.insert(m->items.begin() + static_cast<long>(at), it);
  return true;
}

template <class Info, class Str>
bool ApplyInfo(MenuItem& it, const Info& info, bool unicode) {
  if (info.fMask & MIIM_SUBMENU) {
    if (info.hSubMenu && !FindMenu(info.hSubMenu)) {
      SetLastError(ERROR_INVALID_MENU_HANDLE);
      return false;
    }
    it.sub = info.hSubMenu;
  }
  if (info.fMask & MIIM_ID) it.id = info.wID;
  if (info.fMask & MIIM_STATE) it.state = info.fState;
  if (info.fMask & MIIM_DATA) it.data = info.dwItemData;
  if (info.fMask & MIIM_CHECKMARKS) {
    it.checked = info.hbmpChecked;
    it.unchecked = info.hbmpUnchecked;
  }
  if (info.fMask & MIIM_BITMAP) it.bitmap = info.hbmpItem;
  if (info.fMask & MIIM_TYPE) {
    it.type = info.fType;
    if (!(info.fType & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW))) {
      Str s = reinterpret_cast<Str>(info.dwTypeData);
      it.text = !s        ? std::u16string()
                : unicode ? std::u16string(reinterpret_cast<LPCWSTR>(s))
                          : ToWide(reinterpret_cast<LPCSTR>(s));
    } else if (info.fType & MFT_BITMAP) {
      it.bitmap = reinterpret_cast<HBITMAP>(info.dwTypeData);
    }
  }
  if (info.fMask & MIIM_FTYPE) it.type = (it.type & (MFT_BITMAP | MFT_SEPARATOR | MFT_OWNERDRAW)) | info.fType;
  if (info.fMask & MIIM_STRING) {
    Str s = reinterpret_cast<Str>(info.dwTypeData);
    it.text = !s        ? std::u16string()
              : unicode ? std::u16string(reinterpret_cast<LPCWSTR>(s))
                        : ToWide(reinterpret_cast<LPCSTR>(s));
  }
  return true;
}

template <class Info>
bool ReadInfo(const MenuItem& it, Info* info, bool unicode) {
  auto copyText = [&]() {
    if (unicode) {
      auto buf = reinterpret_cast<LPWSTR>(info->dwTypeData);
      if (buf && info->cch) {
        size_t n = std::min<size_t>(it.text.size(), info->cch - 1);
        std::memcpy(buf, it.text.data(), n * sizeof(WCHAR));
        buf[n] = 0;
      }
      info->cch = static_cast<UINT>(it.text.size());
    } else {
      std::string a = ToAnsi(it.text);
      auto buf = reinterpret_cast<LPSTR>(info->dwTypeData);
      if (buf && info->cch) {
        size_t n = std::min<size_t>(a.size(), info->cch - 1);
        std::memcpy(buf, a.data(), n);
        buf[n] = 0;
      }
      info->cch = static_cast<UINT>(a.size());
    }
  };
  if (info->fMask & MIIM_SUBMENU) info->hSubMenu = it.sub;
  if (info->fMask & MIIM_ID) info->wID = it.id;
  if (info->fMask & MIIM_STATE) info->fState = it.state;
  if (info->fMask & MIIM_DATA) info->dwItemData = it.data;
  if (info->fMask & MIIM_CHECKMARKS) {
    info->hbmpChecked = it.checked;
    info->hbmpUnchecked = it.unchecked;
  }
  if (info->fMask & MIIM_BITMAP) info->hbmpItem = it.bitmap;
  if (info->fMask & (MIIM_TYPE | MIIM_FTYPE)) info->fType = it.type;
  if (info->fMask & MIIM_TYPE) {
    if (it.type & (MFT_SEPARATOR | MFT_OWNERDRAW)) {
      info->cch = 0;
    } else if (it.type & MFT_BITMAP) {
      info->dwTypeData = reinterpret_cast<decltype(info->dwTypeData)>(it.bitmap);
      info->cch = 0;
    } else {
      copyText();
    }
  } else if (info->fMask & MIIM_STRING) {
    copyText();
  }
  return true;
}

}  // namespace

void DestroyWindowMenus(HWND hwnd) {
  auto w = Find(hwnd);
  if (w && !(w->style & WS_CHILD) && w->menu) {
    DestroyMenuTree(w->menu);
    w->menu = nullptr;
  }
  auto it = SystemMenus().find(hwnd);
  if (it != SystemMenus().end()) {
    DestroyMenuTree(it->second);
    SystemMenus().erase(it);
  }
}

}  // namespace kv::user

using namespace kv::user;

namespace {

// InsertMenuItem in either form: the item goes before `item` (a position, or the item of
// that command in this menu itself), at the end when there is none.
template <class Info, class Str>
BOOL InsertItem(HMENU menu, UINT item, BOOL byPos, const Info* info, bool unicode) {
  auto m = GetMenuObj(menu);
  if (!m) return FALSE;
  if (!info || info->cbSize < offsetof(Info, hbmpItem)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  MenuItem it;
  if (!ApplyInfo<Info, Str>(it, *info, unicode)) return FALSE;
  size_t at = m->items.size();
  if (byPos)
    at = std::min<size_t>(item, m->items.size());
  else {
    HMENU owner = nullptr;
    int index = -1;
    if (Locate(menu, item, false, &owner, &index) && owner == menu) at = static_cast<size_t>(index);
  }
  m->items.insert(m->items.begin() + static_cast<long>(at), it);
  return TRUE;
}

// The item that GetMenuItemInfo and SetMenuItemInfo work on; null with the last error set.
MenuItem* ItemFor(HMENU menu, UINT item, BOOL byPos, const void* info) {
  if (!GetMenuObj(menu)) return nullptr;
  MenuItem* it = Locate(menu, item, byPos != FALSE);
  if (!it || !info) {
    SetLastError(it ? ERROR_INVALID_PARAMETER : ERROR_MENU_ITEM_NOT_FOUND);
    return nullptr;
  }
  return it;
}

// An item's text from its flags: none for bitmaps, owner-drawn items and separators.
template <class C>
std::u16string ItemText(UINT flags, const C* text) {
  return !(flags & (MF_BITMAP | MF_OWNERDRAW | MF_SEPARATOR)) ? ToWide(text) : u"";
}

template <class C>
BOOL AddItem(HMENU menu, UINT pos, UINT flags, UINT_PTR id, const C* text) {
  std::u16string t = ItemText(flags, text);
  return InsertCommon(menu, pos, flags, id, &t, text);
}

template <class C>
BOOL Modify(HMENU menu, UINT pos, UINT flags, UINT_PTR id, const C* text) {
  MenuItem* it = Locate(menu, pos, (flags & MF_BYPOSITION) != 0);
  if (!it) {
    SetLastError(FindMenu(menu) ? ERROR_MENU_ITEM_NOT_FOUND : ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  std::u16string t = ItemText(flags, text);
  *it = FromFlags(flags, id, &t, text);
  return TRUE;
}

template <class C>
int MenuString(HMENU menu, UINT item, C* buffer, int size, UINT flags) {
  MenuItem* it = Locate(menu, item, (flags & MF_BYPOSITION) != 0);
  if (!it) return 0;
  std::basic_string<C> text = TextFor<C>(it->text);
  if (!buffer || size <= 0) return static_cast<int>(text.size());
  return CopyOut(text, buffer, size);
}

}  // namespace

extern "C" {

HMENU CreateMenu(void) { return NewMenu(false); }
HMENU CreatePopupMenu(void) { return NewMenu(true); }

BOOL DestroyMenu(HMENU menu) {
  if (!GetMenuObj(menu)) return FALSE;
  DestroyMenuTree(menu);
  return TRUE;
}

BOOL IsMenu(HMENU menu) { return FindMenu(menu) != nullptr; }

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) {
  return AddItem(menu, static_cast<UINT>(-1), flags, id, text);
}
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, LPCSTR text) {
  return AddItem(menu, static_cast<UINT>(-1), flags, id, text);
}
BOOL InsertMenuW(HMENU menu, UINT pos, UINT flags, UINT_PTR id, LPCWSTR text) {
  return AddItem(menu, pos, flags, id, text);
}
BOOL InsertMenuA(HMENU menu, UINT pos, UINT flags, UINT_PTR id, LPCSTR text) {
  return AddItem(menu, pos, flags, id, text);
}

BOOL ModifyMenuW(HMENU menu, UINT pos, UINT flags, UINT_PTR id, LPCWSTR text) {
  return Modify(menu, pos, flags, id, text);
}
BOOL ModifyMenuA(HMENU menu, UINT pos, UINT flags, UINT_PTR id, LPCSTR text) {
  return Modify(menu, pos, flags, id, text);
}

static BOOL RemoveCommon(HMENU menu, UINT pos, UINT flags, bool destroy) {
  HMENU owner = nullptr;
  int index = -1;
  if (!Locate(menu, pos, (flags & MF_BYPOSITION) != 0, &owner, &index)) {
    SetLastError(FindMenu(menu) ? ERROR_MENU_ITEM_NOT_FOUND : ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  auto m = FindMenu(owner);
  HMENU sub = m->items[size_t(index)].sub;
  m->items.erase(m->items.begin() + index);
  if (destroy && sub) DestroyMenuTree(sub);
  return TRUE;
}
BOOL RemoveMenu(HMENU menu, UINT pos, UINT flags) { return RemoveCommon(menu, pos, flags, false); }
BOOL DeleteMenu(HMENU menu, UINT pos, UINT flags) { return RemoveCommon(menu, pos, flags, true); }

BOOL InsertMenuItemW(HMENU menu, UINT item, BOOL byPos, LPCMENUITEMINFOW info) {
  return InsertItem<MENUITEMINFOW, LPWSTR>(menu, item, byPos, info, true);
}
BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL byPos, LPCMENUITEMINFOA info) {
  return InsertItem<MENUITEMINFOA, LPSTR>(menu, item, byPos, info, false);
}

BOOL GetMenuItemInfoW(HMENU menu, UINT item, BOOL byPos, LPMENUITEMINFOW info) {
  MenuItem* it = ItemFor(menu, item, byPos, info);
  return it && ReadInfo(*it, info, true);
}
BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL byPos, LPMENUITEMINFOA info) {
  MenuItem* it = ItemFor(menu, item, byPos, info);
  return it && ReadInfo(*it, info, false);
}
BOOL SetMenuItemInfoW(HMENU menu, UINT item, BOOL byPos, LPCMENUITEMINFOW info) {
  MenuItem* it = ItemFor(menu, item, byPos, info);
  return it && ApplyInfo<MENUITEMINFOW, LPWSTR>(*it, *info, true);
}
BOOL SetMenuItemInfoA(HMENU menu, UINT item, BOOL byPos, LPCMENUITEMINFOA info) {
  MenuItem* it = ItemFor(menu, item, byPos, info);
  return it && ApplyInfo<MENUITEMINFOA, LPSTR>(*it, *info, false);
}

int GetMenuItemCount(HMENU menu) {
  auto m = GetMenuObj(menu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int pos) {
  auto m = FindMenu(menu);
  if (!m || pos < 0 || static_cast<size_t>(pos) >= m->items.size()) return static_cast<UINT>(-1);
  const MenuItem& it = m->items[size_t(pos)];
  return it.sub ? static_cast<UINT>(-1) : it.id;
}

UINT GetMenuState(HMENU menu, UINT id, UINT flags) {
  MenuItem* it = Locate(menu, id, (flags & MF_BYPOSITION) != 0);
  if (!it) return static_cast<UINT>(-1);
  UINT r = it->state | (it->type & (MF_SEPARATOR | MF_OWNERDRAW | MF_BITMAP | MF_MENUBARBREAK | MF_MENUBREAK));
  if (it->sub) {
    auto m = FindMenu(it->sub);
    r = MF_POPUP | (r & 0xFF) | (m ? static_cast<UINT>(m->items.size()) << 8 : 0);
  }
  return r;
}

HMENU GetSubMenu(HMENU menu, int pos) {
  auto m = FindMenu(menu);
  if (!m || pos < 0 || static_cast<size_t>(pos) >= m->items.size()) return nullptr;
  return m->items[size_t(pos)].sub;
}

int GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int size, UINT flags) {
  return MenuString(menu, item, buffer, size, flags);
}
int GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags) {
  return MenuString(menu, item, buffer, size, flags);
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT check) {
  MenuItem* it = Locate(menu, item, (check & MF_BYPOSITION) != 0);
  if (!it) return static_cast<DWORD>(-1);
  DWORD old = it->state & MF_CHECKED;
  it->state = (it->state & ~static_cast<UINT>(MF_CHECKED)) | (check & MF_CHECKED);
  return old;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable) {
  MenuItem* it = Locate(menu, item, (enable & MF_BYPOSITION) != 0);
  if (!it) return -1;
  BOOL old = static_cast<BOOL>(it->state & (MF_GRAYED | MF_DISABLED));
  it->state = (it->state & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  return old;
}

HMENU GetSystemMenu(HWND hwnd, BOOL revert) {
  auto w = Get(hwnd);
  if (!w) return nullptr;
  auto it = SystemMenus().find(hwnd);
  if (revert) {
    if (it != SystemMenus().end()) {
      DestroyMenuTree(it->second);
      SystemMenus().erase(it);
    }
    return nullptr;
  }
  if (it != SystemMenus().end()) return it->second;
  if (!(w->style & WS_SYSMENU)) return nullptr;
  HMENU m = NewMenu(true);
  AppendMenuW(m, MF_STRING, SC_RESTORE, u"&Restore");
  AppendMenuW(m, MF_STRING, SC_MOVE, u"&Move");
  AppendMenuW(m, MF_STRING, SC_SIZE, u"&Size");
  AppendMenuW(m, MF_STRING, SC_MINIMIZE, u"Mi&nimize");
  AppendMenuW(m, MF_STRING, SC_MAXIMIZE, u"Ma&ximize");
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(m, MF_STRING | MF_DEFAULT, SC_CLOSE, u"&Close\tAlt+F4");
  bool zoomed = (w->style & WS_MAXIMIZE) != 0, iconic = (w->style & WS_MINIMIZE) != 0;
  if (!zoomed && !iconic) EnableMenuItem(m, SC_RESTORE, MF_GRAYED);
  if (!(w->style & WS_THICKFRAME) || zoomed || iconic) EnableMenuItem(m, SC_SIZE, MF_GRAYED);
  if (!(w->style & WS_MINIMIZEBOX) || iconic) EnableMenuItem(m, SC_MINIMIZE, MF_GRAYED);
  if (!(w->style & WS_MAXIMIZEBOX) || zoomed) EnableMenuItem(m, SC_MAXIMIZE, MF_GRAYED);
  if (zoomed) EnableMenuItem(m, SC_MOVE, MF_GRAYED);
  SystemMenus()[hwnd] = m;
  return m;
}

}  // extern "C"
