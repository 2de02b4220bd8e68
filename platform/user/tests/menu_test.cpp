// Menus: items and their state, the menu bar, the system menu, and the menu loop of
// TrackPopupMenu on injected input.
#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/user/testing.h"
#include "platform/user/tests/user_test_util.h"

namespace kvtest {
namespace {

using kv::Posted;
using kv::Sent;
using kv::WithW;

class MenuTest : public UserTest {};

TEST_F(MenuTest, ItemsStatesAndInfo) {
  HMENU m = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuW(m, MF_STRING, 10, u"&Open"));
  ASSERT_TRUE(AppendMenuA(m, MF_STRING | MF_GRAYED, 11, "\xb4\xf2\xd3\xa1"));  // GBK text
  ASSERT_TRUE(AppendMenuW(m, MF_SEPARATOR, 0, nullptr));
  ASSERT_TRUE(AppendMenuW(m, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"More"));
  ASSERT_TRUE(AppendMenuW(sub, MF_STRING | MF_CHECKED, 20, u"Deep"));
  EXPECT_EQ(GetMenuItemCount(m), 4);
  EXPECT_EQ(GetMenuItemID(m, 0), 10u);
  EXPECT_EQ(GetMenuItemID(m, 3), static_cast<UINT>(-1));
  EXPECT_EQ(GetSubMenu(m, 3), sub);
  EXPECT_EQ(GetMenuState(m, 11, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  EXPECT_EQ(GetMenuState(m, 20, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));  // found in the submenu
  EXPECT_EQ(GetMenuState(m, 3, MF_BYPOSITION) & MF_POPUP, static_cast<UINT>(MF_POPUP));
  EXPECT_EQ(GetMenuState(m, 99, MF_BYCOMMAND), static_cast<UINT>(-1));
  char a[16];
  EXPECT_EQ(GetMenuStringA(m, 11, a, sizeof a, MF_BYCOMMAND), 4);
  WCHAR w[16];
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING | MIIM_ID | MIIM_STATE | MIIM_SUBMENU;
  info.dwTypeData = w;
  info.cch = 16;
  ASSERT_TRUE(GetMenuItemInfoW(m, 1, TRUE, &info));
  EXPECT_EQ(info.wID, 11u);
  EXPECT_EQ(info.cch, 2u);
  EXPECT_EQ(std::u16string(w), u"\u6253\u5370");
  info.fMask = MIIM_STATE;
  info.fState = MFS_CHECKED;
  ASSERT_TRUE(SetMenuItemInfoW(m, 10, FALSE, &info));
  EXPECT_EQ(CheckMenuItem(m, 10, MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
  MENUITEMINFOA ins{};
  ins.cbSize = sizeof ins;
  ins.fMask = MIIM_TYPE | MIIM_ID;
  ins.fType = MFT_STRING;
  ins.wID = 5;
  ins.dwTypeData = const_cast<LPSTR>("First");
  ASSERT_TRUE(InsertMenuItemA(m, 0, TRUE, &ins));
  EXPECT_EQ(GetMenuItemID(m, 0), 5u);
  EXPECT_TRUE(DeleteMenu(m, 4, MF_BYPOSITION));  // the popup, with its submenu
  EXPECT_FALSE(IsMenu(sub));
  EXPECT_TRUE(DestroyMenu(m));
  EXPECT_FALSE(IsMenu(m));
  EXPECT_FALSE(AppendMenuW(m, MF_STRING, 1, u"x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
}

std::vector<int> gFilterCodes;
LRESULT MsgFilter(int code, WPARAM wp, LPARAM lp) {
  gFilterCodes.push_back(code);
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(MenuTest, TrackPopupMenuChoosesByMouseAndPostsCommand) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200);
  KvPumpMessages();
  HMENU m = CreatePopupMenu();
  AppendMenuW(m, MF_STRING, 101, u"One");
  AppendMenuW(m, MF_STRING, 102, u"Two");
  gFilterCodes.clear();
  HHOOK hk = SetWindowsHookExW(WH_MSGFILTER, MsgFilter, nullptr, GetCurrentThreadId());
  HWND popup = nullptr;
  Handlers()[WM_INITMENUPOPUP] = [&](HWND, UINT, WPARAM wp, LPARAM, bool* handled) {
    EXPECT_EQ(reinterpret_cast<HMENU>(wp), m);
    *handled = true;
    return LRESULT(0);
  };
  Handlers()[WM_MENUSELECT] = [&](HWND, UINT, WPARAM, LPARAM, bool*) {
    if (!popup) popup = FindWindowW(u"#32768", nullptr);
    return LRESULT(0);
  };
  // Items are 19 pixels high below a 2-pixel edge: the second is at y 21..40.
  KvInjectMouseMove(60, 80);
  KvInjectMouseMove(60, 50 + 2 + 19 + 5);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvSpyStart(h);
  EXPECT_TRUE(TrackPopupMenu(m, TPM_LEFTALIGN, 50, 50, 0, h, nullptr));
  UnhookWindowsHookEx(hk);
  ASSERT_TRUE(popup);
  EXPECT_FALSE(IsWindow(popup));  // the "#32768" window goes with the loop
  EXPECT_FALSE(gFilterCodes.empty());
  EXPECT_EQ(gFilterCodes.front(), MSGF_MENU);
  KvPumpMessages();
  auto got = Only({WM_ENTERMENULOOP, WM_INITMENU, WM_INITMENUPOPUP, WM_MENUSELECT, WM_EXITMENULOOP, WM_COMMAND});
  EXPECT_SEQ(got, WithW(Sent(WM_ENTERMENULOOP, h), TRUE), Sent(WM_INITMENU, h), Sent(WM_INITMENUPOPUP, h),
             WithW(Sent(WM_MENUSELECT, h), MAKEWPARAM(102, MF_HILITE)), kv::Optional(Sent(WM_MENUSELECT, h)),
             WithW(Sent(WM_MENUSELECT, h), MAKEWPARAM(0, 0xFFFF)), Sent(WM_EXITMENULOOP, h),
             WithW(Posted(WM_COMMAND, h), 102));
  DestroyMenu(m);
}

TEST_F(MenuTest, MenuLoopWithoutInputEndsChoosingNothing) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200);
  HMENU m = CreatePopupMenu();
  AppendMenuW(m, MF_STRING, 1, u"x");
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 10, 10, 0, h, nullptr), 0);
  // Keys: down twice (skipping the grey item), then Enter.
  AppendMenuW(m, MF_STRING | MF_GRAYED, 2, u"grey");
  AppendMenuW(m, MF_STRING, 3, u"z");
  KvInjectKey(VK_DOWN, TRUE);
  KvInjectKey(VK_DOWN, TRUE);
  KvInjectKey(VK_DOWN, TRUE);
  KvInjectKey(VK_RETURN, TRUE);
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD | TPM_NONOTIFY, 10, 10, 0, h, nullptr), 3);
  EXPECT_FALSE(TrackPopupMenu(reinterpret_cast<HMENU>(0x77), 0, 0, 0, 0, h, nullptr));
  DestroyMenu(m);
}

// A window with the menu bar "&File" (E&xit 201) and "&Edit" (&Copy 301), recording the
// menus it is told are opening.
class MenuBarTest : public MenuTest {
 protected:
  void SetUp() override {
    MenuTest::SetUp();
    h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200);
    bar = CreateMenu();
    file = CreatePopupMenu();
    edit = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 201, u"E&xit");
    AppendMenuW(edit, MF_STRING, 301, u"&Copy");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), u"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), u"&Edit");
    ASSERT_TRUE(SetMenu(h, bar));
    SetFocus(h);
    KvPumpMessages();
    Handlers()[WM_INITMENUPOPUP] = [this](HWND, UINT, WPARAM wp, LPARAM, bool*) {
      opened.push_back(reinterpret_cast<HMENU>(wp));
      return LRESULT(0);
    };
  }
  HWND h = nullptr;
  HMENU bar = nullptr, file = nullptr, edit = nullptr;
  std::vector<HMENU> opened;
};

TEST_F(MenuBarTest, APressOutsideClosesTheMenuAndStillReachesItsWindow) {
  int presses = 0;
  Handlers()[WM_LBUTTONDOWN] = [&](HWND, UINT, WPARAM, LPARAM, bool*) {
    ++presses;
    return LRESULT(0);
  };
  // A context menu: the press in the client area ends it and is then the window's.
  HMENU m = CreatePopupMenu();
  AppendMenuW(m, MF_STRING, 101, u"One");
  KvInjectClick(250, 150);
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 50, 50, 0, h, nullptr), 0);
  KvPumpMessages();
  EXPECT_EQ(presses, 1);

  // The menu bar: a press on another item switches to its menu; on the open item, closes it.
  RECT fileItem, editItem;
  ASSERT_TRUE(GetMenuItemRect(h, bar, 0, &fileItem));
  ASSERT_TRUE(GetMenuItemRect(h, bar, 1, &editItem));
  opened.clear();
  KvInjectClick(fileItem.left + 5, fileItem.top + 5);
  KvInjectClick(editItem.left + 5, editItem.top + 5);
  KvInjectClick(editItem.left + 10, editItem.bottom + 2 + 5);
  KvSpyStart(h);
  KvPumpMessages();
  KvPumpMessages();
  EXPECT_EQ(opened, (std::vector<HMENU>{file, edit}));
  EXPECT_SEQ(Only({WM_COMMAND}), WithW(Posted(WM_COMMAND, h), 301));
  opened.clear();
  KvInjectClick(fileItem.left + 5, fileItem.top + 5);
  KvInjectClick(fileItem.left + 5, fileItem.top + 5);
  KvPumpMessages();
  KvPumpMessages();
  EXPECT_EQ(opened, std::vector<HMENU>{file});
  EXPECT_FALSE(FindWindowW(u"#32768", nullptr));
  DestroyMenu(m);
}

TEST_F(MenuBarTest, AltAndACharacterOpensTheBarItemWithThatMnemonic) {
  auto altKey = [](int vk) {
    KvInjectKey(VK_MENU, TRUE);
    if (vk) {
      KvInjectKey(vk, TRUE);
      KvInjectKey(vk, FALSE);
    }
    KvInjectKey(VK_MENU, FALSE);
  };
  struct Case {
    const char* name;
    int key;
    std::vector<HMENU> want;
  } cases[] = {{"Alt alone: the first item", 0, {file}},
               {"Alt+E: the second item", 'E', {edit}},
               {"no item has Q: nothing opens", 'Q', {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    opened.clear();
    altKey(c.key);
    KvPumpMessages();
    KvPumpMessages();
    EXPECT_EQ(opened, c.want);
  }
  // Without a menu bar a character opens nothing (not the system menu).
  SetMenu(h, nullptr);
  opened.clear();
  altKey('E');
  KvPumpMessages();
  EXPECT_TRUE(opened.empty());
  DestroyMenu(bar);
}

TEST_F(MenuTest, OwnerDrawnItemsAreMeasuredAndDrawnByTheOwner) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200);
  HMENU m = CreatePopupMenu();
  AppendMenuW(m, MF_OWNERDRAW, 7, reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(0x1234)));
  int measured = 0, drawn = 0;
  Handlers()[WM_MEASUREITEM] = [&](HWND, UINT, WPARAM, LPARAM lp, bool* handled) {
    auto mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    EXPECT_EQ(mis->itemData, 0x1234u);
    mis->itemWidth = 80;
    mis->itemHeight = 30;
    ++measured;
    *handled = true;
    return LRESULT(TRUE);
  };
  Handlers()[WM_DRAWITEM] = [&](HWND, UINT, WPARAM, LPARAM lp, bool* handled) {
    auto dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    EXPECT_EQ(dis->CtlType, static_cast<UINT>(ODT_MENU));
    EXPECT_EQ(dis->rcItem.bottom - dis->rcItem.top, 30);
    ++drawn;
    *handled = true;
    return LRESULT(TRUE);
  };
  // A move over the item keeps the loop alive long enough to paint.
  KvInjectMouseMove(20, 20);
  KvInjectKey(VK_ESCAPE, TRUE);
  TrackPopupMenu(m, TPM_RETURNCMD, 10, 10, 0, h, nullptr);
  EXPECT_GE(measured, 1);
  EXPECT_GE(drawn, 1);
  DestroyMenu(m);
}

TEST_F(MenuTest, MenuBarChangesTheFrameAndOpensOnClick) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200);
  KvPumpMessages();
  RECT before;
  GetClientRect(h, &before);
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, 201, u"Exit");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), u"File");
  KvSpyStart(h);
  ASSERT_TRUE(SetMenu(h, bar));
  KvPumpMessages();
  EXPECT_SEQ(Only({WM_NCCALCSIZE, WM_NCPAINT}), Sent(WM_NCCALCSIZE, h), Sent(WM_NCPAINT, h));
  RECT after;
  GetClientRect(h, &after);
  EXPECT_EQ(before.bottom - after.bottom, GetSystemMetrics(SM_CYMENU));
  EXPECT_EQ(GetMenu(h), bar);
  EXPECT_EQ(SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(20, 4 + 19 + 5)), HTMENU);
  EXPECT_EQ(KvWindowGetPixel(h, 200, 4 + 19 + 5), GetSysColor(COLOR_MENU));
  RECT item;
  ASSERT_TRUE(GetMenuItemRect(h, bar, 0, &item));
  // Click "File", then "Exit" in the popup below it.
  KvInjectClick(item.left + 5, item.top + 5);
  KvInjectMouseMove(item.left + 10, item.bottom + 2 + 5);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvSpyStart(h);
  KvPumpMessages();
  KvPumpMessages();
  auto got = Only({WM_COMMAND, WM_INITMENUPOPUP});
  EXPECT_SEQ(got, Sent(WM_INITMENUPOPUP, h), WithW(Posted(WM_COMMAND, h), 201));
  // The system menu follows the styles.
  HMENU sys = GetSystemMenu(h, FALSE);
  ASSERT_TRUE(sys);
  EXPECT_EQ(GetMenuState(sys, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  EXPECT_EQ(GetMenuState(sys, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);
  DestroyWindow(h);
  EXPECT_FALSE(IsMenu(bar));  // a window's menu goes with it
  EXPECT_FALSE(IsMenu(sys));
}

// A popup menu window keeps a 3-pixel frame in its non-client area, painted by WM_NCPAINT:
// a skinned popup replaces that frame, the items stay in the client area.
TEST_F(MenuTest, PopupWindowHasANonClientFrameAroundItsItems) {
  HWND h = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200);
  KvPumpMessages();
  HMENU m = CreatePopupMenu();
  AppendMenuW(m, MF_STRING, 101, u"One");
  HWND popup = nullptr;
  RECT window{}, client{};
  POINT origin{};
  Handlers()[WM_MENUSELECT] = [&](HWND, UINT, WPARAM wp, LPARAM, bool*) {
    if (!popup && HIWORD(wp) != 0xFFFF && (popup = FindWindowW(u"#32768", nullptr))) {
      GetWindowRect(popup, &window);
      GetClientRect(popup, &client);
      ClientToScreen(popup, &origin);
      KvSpyStart(popup);
      RedrawWindow(popup, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
      KvSpyStop();
    }
    return LRESULT(0);
  };
  KvInjectMouseMove(60, 55);
  KvInjectKey(VK_ESCAPE, TRUE);
  KvInjectKey(VK_ESCAPE, FALSE);
  TrackPopupMenu(m, TPM_LEFTALIGN, 50, 50, 0, h, nullptr);
  ASSERT_TRUE(popup);
  EXPECT_EQ(origin.x - window.left, 3);
  EXPECT_EQ(origin.y - window.top, 3);
  EXPECT_EQ(client.right, window.right - window.left - 6);
  auto got = Only({WM_NCPAINT, WM_PAINT});
  EXPECT_SEQ(got, Sent(WM_NCPAINT, popup), Sent(WM_PAINT, popup));
  DestroyMenu(m);
}

}  // namespace
}  // namespace kvtest
