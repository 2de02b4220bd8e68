// "SysTabControl32": items across the A/W boundary, selection and focus, clicks and keys
// the parent may refuse, the four sides, and the plain look.
#include <cstring>

#include "platform/comctl/tab.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

class TabTest : public ControlTest {
 protected:
  HWND Tabs(DWORD style = 0, int n = 3) {
    HWND t = Make(WC_TABCONTROLW, style, 10, 10, 300, 150, 70);
    const char16_t* names[] = {u"First", u"Second", u"Third", u"Fourth"};
    for (int i = 0; i < n; ++i) {
      TCITEMW it{};
      it.mask = TCIF_TEXT | TCIF_PARAM;
      it.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(names[i]));
      it.lParam = 100 + i;
      EXPECT_EQ(SendMessageW(t, TCM_INSERTITEMW, 99, reinterpret_cast<LPARAM>(&it)), i);  // past the end: appended
    }
    KvPumpMessages();
    return t;
  }
  static RECT ItemRect(HWND t, int i) {
    RECT r{};
    EXPECT_TRUE(SendMessageW(t, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)));
    return r;
  }
  static std::vector<UINT> TabCodes() { return Codes(WM_NOTIFY); }
};

TEST_F(TabTest, ItemsAcrossTheAWBoundarySelectionAndFocus) {
  HWND t = Tabs();
  EXPECT_EQ(SendMessageW(t, TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(t, TCM_GETCURSEL, 0, 0), 0);  // the first tab inserted is selected
  EXPECT_EQ(SendMessageW(t, TCM_GETCURFOCUS, 0, 0), 0);
  TCITEMA a{};
  a.mask = TCIF_TEXT;
  a.pszText = const_cast<LPSTR>("\xd6\xd0\xce\xc4");  // two Chinese characters in the ANSI code page
  ASSERT_TRUE(SendMessageA(t, TCM_SETITEMA, 1, reinterpret_cast<LPARAM>(&a)));
  WCHAR w[3] = {};
  TCITEMW get{};
  get.mask = TCIF_TEXT | TCIF_PARAM;
  get.pszText = w;
  get.cchTextMax = 3;
  ASSERT_TRUE(SendMessageW(t, TCM_GETITEMW, 1, reinterpret_cast<LPARAM>(&get)));
  EXPECT_EQ(std::u16string(w), u"\u4e2d\u6587");
  EXPECT_EQ(get.lParam, 101);
  char s[4] = {};
  TCITEMA geta{};
  geta.mask = TCIF_TEXT;
  geta.pszText = s;
  geta.cchTextMax = 4;
  ASSERT_TRUE(SendMessageA(t, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&geta)));
  EXPECT_STREQ(s, "Fir");  // cut to the buffer
  EXPECT_FALSE(SendMessageW(t, TCM_GETITEMW, 3, reinterpret_cast<LPARAM>(&get)));

  EXPECT_EQ(SendMessageW(t, TCM_SETCURSEL, 2, 0), 0);
  EXPECT_EQ(SendMessageW(t, TCM_SETCURSEL, 5, 0), -1);
  EXPECT_EQ(SendMessageW(t, TCM_GETCURFOCUS, 0, 0), 2);
  EXPECT_TRUE(TabCodes().empty());  // set by message: no notification
  // A tab removed before the selection moves it back; the selected tab removed leaves none.
  ASSERT_TRUE(SendMessageW(t, TCM_DELETEITEM, 0, 0));
  EXPECT_EQ(SendMessageW(t, TCM_GETCURSEL, 0, 0), 1);
  ASSERT_TRUE(SendMessageW(t, TCM_DELETEITEM, 1, 0));
  EXPECT_EQ(SendMessageW(t, TCM_GETCURSEL, 0, 0), -1);
  EXPECT_FALSE(SendMessageW(t, TCM_DELETEITEM, 4, 0));

  HIMAGELIST il = ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
  EXPECT_EQ(SendMessageW(t, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(il)), 0);
  EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(t, TCM_GETIMAGELIST, 0, 0)), il);
  DestroyWindow(t);
  ImageList_Destroy(il);
}

TEST_F(TabTest, ClicksAndKeysAskTheParentWhichMayRefuse) {
  HWND t = Tabs();
  RECT r = ItemRect(t, 1);
  ClickAt(t, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  EXPECT_EQ(SendMessageW(t, TCM_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(GetFocus(), t);
  EXPECT_EQ(TabCodes(), (std::vector<UINT>{TCN_SELCHANGING, TCN_SELCHANGE}));
  Notes().clear();
  Key(VK_RIGHT);
  EXPECT_EQ(SendMessageW(t, TCM_GETCURSEL, 0, 0), 2);
  Key(VK_RIGHT);  // already the last tab
  EXPECT_EQ(TabCodes(), (std::vector<UINT>{TCN_SELCHANGING, TCN_SELCHANGE}));

  Notes().clear();
  Extra() = [](HWND, UINT msg, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
    if (msg != WM_NOTIFY || reinterpret_cast<NMHDR*>(lp)->code != TCN_SELCHANGING) return 0;
    *handled = true;
    return TRUE;
  };
  r = ItemRect(t, 0);
  ClickAt(t, r.left + 5, r.top + 5);
  EXPECT_EQ(SendMessageW(t, TCM_GETCURSEL, 0, 0), 2);
  EXPECT_TRUE(TabCodes().empty());
}

TEST_F(TabTest, EachSideLaysOutTabsPaneAndDisplayArea) {
  struct Case {
    DWORD style;
    const char* name;
  } cases[] = {{0, "top"}, {TCS_BOTTOM, "bottom"}, {TCS_VERTICAL, "left"}, {TCS_VERTICAL | TCS_RIGHT, "right"}};
  for (const Case& c : cases) {
    HWND t = Tabs(c.style, 2);
    RECT a = ItemRect(t, 0), b = ItemRect(t, 1);
    RECT display{0, 0, 300, 150};
    SendMessageW(t, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    switch (c.style) {
      case 0:
        EXPECT_EQ(a.top, b.top) << c.name;
        EXPECT_EQ(a.right, b.left) << c.name;
        EXPECT_GT(display.top, a.bottom) << c.name;
        break;
      case TCS_BOTTOM:
        EXPECT_EQ(a.bottom, 148) << c.name;
        EXPECT_LT(display.bottom, a.top) << c.name;
        break;
      case TCS_VERTICAL:
        EXPECT_EQ(a.bottom, b.top) << c.name;
        EXPECT_GT(display.left, a.right) << c.name;
        break;
      default: EXPECT_EQ(a.right, 298) << c.name; EXPECT_LT(display.right, a.left) << c.name;
    }
    // Back from the display area to the window rectangle.
    SendMessageW(t, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&display));
    EXPECT_EQ(display.left, 0) << c.name;
    EXPECT_EQ(display.top, 0) << c.name;
    EXPECT_EQ(display.right, 300) << c.name;
    EXPECT_EQ(display.bottom, 150) << c.name;
    // A hit on the second tab's middle.
    TCHITTESTINFO hit{{(b.left + b.right) / 2, (b.top + b.bottom) / 2}, 0};
    EXPECT_EQ(SendMessageW(t, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)), 1) << c.name;
    EXPECT_EQ(hit.flags, static_cast<UINT>(TCHT_ONITEMLABEL)) << c.name;
    DestroyWindow(t);
  }
}

TEST_F(TabTest, PlainLookTheSelectedTabMergesWithThePane) {
  HWND t = Tabs(0, 2);
  SendMessageW(t, TCM_SETCURSEL, 1, 0);
  InvalidateRect(t, nullptr, TRUE);
  RECT a = ItemRect(t, 0), b = ItemRect(t, 1);
  COLORREF face = GetSysColor(COLOR_3DFACE);
  // The pane's top edge (its inner, highlighted line) runs under the unselected tab but not
  // under the selected one.
  int paneInner = a.bottom + 1;
  EXPECT_NE(KvWindowGetPixel(t, (a.left + a.right) / 2, paneInner), face);
  EXPECT_EQ(KvWindowGetPixel(t, (b.left + b.right) / 2, paneInner), face);
  // The selected tab stands out above the others: its top edge is 2 pixels higher.
  EXPECT_NE(KvWindowGetPixel(t, (b.left + b.right) / 2, b.top - 1), face);
  EXPECT_EQ(KvWindowGetPixel(t, (a.left + a.right) / 2, a.top - 1), face);
  // Past the last tab the row shows the face colour; the pane has its bottom edge.
  EXPECT_EQ(KvWindowGetPixel(t, 290, a.top + 5), face);
  EXPECT_NE(KvWindowGetPixel(t, 150, 149), face);
  EXPECT_EQ(KvWindowGetPixel(t, 150, 100), face);
}

}  // namespace
}  // namespace kvtest
