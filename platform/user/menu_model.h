// Inside the window system: menu objects and their items, shared by the menu model
// (menu.cpp) and the menu loop with its bar and "#32768" windows (menu_loop.cpp).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/user/user.h"

namespace kv::user {

struct MenuItem {
  UINT type = MFT_STRING;
  UINT state = 0;
  UINT id = 0;
  HMENU sub = nullptr;
  ULONG_PTR data = 0;
  std::u16string text;
  HBITMAP bitmap = nullptr;
  HBITMAP checked = nullptr, unchecked = nullptr;
  RECT rect{};  // within its popup window's client, or the bar (window coordinates)
};

struct Menu {
  bool popup = false;
  std::vector<MenuItem> items;
  HWND hwnd = nullptr;  // the window showing it (popup window or the window of a bar)
};

std::unordered_map<uintptr_t, std::shared_ptr<Menu>>& Menus();
// The system menu of each window that asked for one.
std::map<HWND, HMENU>& SystemMenus();
std::shared_ptr<Menu> FindMenu(HMENU h);    // nullptr for a bad handle
std::shared_ptr<Menu> GetMenuObj(HMENU h);  // nullptr with ERROR_INVALID_MENU_HANDLE
HMENU NewMenu(bool popup);
// Finds an item by position or by command (searching submenus too, as the platform does).
MenuItem* Locate(HMENU h, UINT item, bool byPos, HMENU* owner = nullptr, int* index = nullptr);
// Destroys a menu and its submenus.
void DestroyMenuTree(HMENU h);

}  // namespace kv::user
