// "SysHeader32": items, layout, hit testing, divider tracking and clicks.
#include "platform/comctl/header.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

class HeaderTest : public ControlTest {
 protected:
  HWND Header(DWORD style = HDS_BUTTONS) {
    HWND h = Make(u"SysHeader32", style, 0, 0, 300, 20, 60);
    const char16_t* names[] = {u"Name", u"Size", u"Date"};
    int widths[] = {100, 60, 80};
    for (int i = 0; i < 3; ++i) {
      HDITEMW it{};
      it.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT | HDI_LPARAM;
      it.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(names[i]));
      it.cxy = widths[i];
      it.fmt = HDF_LEFT | HDF_STRING;
      it.lParam = 10 + i;
      EXPECT_EQ(SendMessageW(h, HDM_INSERTITEMW, 100, reinterpret_cast<LPARAM>(&it)), i);  // past the end: appended
    }
    return h;
  }
  static std::vector<UINT> HeaderCodes() {
    std::vector<UINT> out;
    for (const Note& n : Notes())
      if (n.msg == WM_NOTIFY) out.push_back(n.code);
    return out;
  }
};

TEST_F(HeaderTest, ItemsRectsAndHitTest) {
  HWND h = Header();
  EXPECT_EQ(SendMessageW(h, HDM_GETITEMCOUNT, 0, 0), 3);
  RECT r{};
  ASSERT_TRUE(SendMessageW(h, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r)));
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right, 160);
  EXPECT_FALSE(SendMessageW(h, HDM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&r)));
  WCHAR buf[3] = {};
  HDITEMW get{};
  get.mask = HDI_TEXT | HDI_WIDTH | HDI_LPARAM | HDI_ORDER;
  get.pszText = buf;
  get.cchTextMax = 3;
  ASSERT_TRUE(SendMessageW(h, HDM_GETITEMW, 2, reinterpret_cast<LPARAM>(&get)));
  EXPECT_EQ(std::u16string(buf), u"Da");  // cut to the buffer
  EXPECT_EQ(get.cxy, 80);
  EXPECT_EQ(get.lParam, 12);
  EXPECT_EQ(get.iOrder, 2);
  struct Hit {
    int x, y;
    int item;
    UINT flags;
  } hits[] = {
      {50, 5, 0, HHT_ONHEADER},
      {99, 5, 0, HHT_ONDIVIDER},
      {102, 5, 0, HHT_ONDIVIDER},
      {130, 5, 1, HHT_ONHEADER},
      {290, 5, -1, HHT_NOWHERE | HHT_TORIGHT},
      {50, 40, -1, HHT_BELOW},
  };
  for (const Hit& t : hits) {
    HDHITTESTINFO ht{};
    ht.pt = POINT{t.x, t.y};
    EXPECT_EQ(SendMessageW(h, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&ht)), t.item) << t.x;
    EXPECT_EQ(ht.flags, t.flags) << t.x;
  }
  // Layout: the header takes the top of the rectangle.
  RECT area{0, 0, 300, 200};
  WINDOWPOS pos{};
  HDLAYOUT layout{&area, &pos};
  ASSERT_TRUE(SendMessageW(h, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&layout)));
  EXPECT_GT(pos.cy, 0);
  EXPECT_EQ(area.top, pos.cy);
  EXPECT_EQ(pos.cx, 300);
  // Order: the display order moves items, the indexes stay.
  int order[3] = {2, 0, 1};
  ASSERT_TRUE(SendMessageW(h, HDM_SETORDERARRAY, 3, reinterpret_cast<LPARAM>(order)));
  SendMessageW(h, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(SendMessageW(h, HDM_ORDERTOINDEX, 0, 0), 2);
  int bad[3] = {0, 0, 1};
  EXPECT_FALSE(SendMessageW(h, HDM_SETORDERARRAY, 3, reinterpret_cast<LPARAM>(bad)));
  EXPECT_TRUE(SendMessageW(h, HDM_DELETEITEM, 0, 0));
  EXPECT_FALSE(SendMessageW(h, HDM_DELETEITEM, 5, 0));
  EXPECT_EQ(SendMessageW(h, HDM_GETITEMCOUNT, 0, 0), 2);
}

TEST_F(HeaderTest, DraggingADividerTracksAndChangesWidth) {
  HWND h = Header();
  KvPumpMessages();
  Notes().clear();
  POINT a{100, 5}, b{130, 5};
  ClientToScreen(h, &a);
  ClientToScreen(h, &b);
  KvInjectMouseMove(a.x, a.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(b.x, b.y);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  std::vector<UINT> want = {HDN_BEGINTRACKW, HDN_TRACKW, HDN_ENDTRACKW, HDN_ITEMCHANGINGW, HDN_ITEMCHANGEDW};
  EXPECT_EQ(HeaderCodes(), want);
  HDITEMW get{};
  get.mask = HDI_WIDTH;
  SendMessageW(h, HDM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get));
  EXPECT_EQ(get.cxy, 130);
  EXPECT_EQ(GetCapture(), nullptr);
  // A parent that refuses HDN_BEGINTRACK keeps the width.
  Extra() = [](HWND, UINT msg, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == HDN_BEGINTRACKW) {
      *handled = true;
      return TRUE;
    }
    return 0;
  };
  POINT c{130, 5}, e{20, 5};
  ClientToScreen(h, &c);
  ClientToScreen(h, &e);
  KvInjectMouseMove(c.x, c.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(e.x, e.y);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  SendMessageW(h, HDM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get));
  EXPECT_EQ(get.cxy, 130);
}

TEST_F(HeaderTest, SetItemNotifiesAndMayBeRefused) {
  HWND h = Header();
  Notes().clear();
  HDITEMW set{};
  set.mask = HDI_WIDTH | HDI_TEXT;
  set.cxy = 33;
  set.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(u"Size (kB)"));
  ASSERT_TRUE(SendMessageW(h, HDM_SETITEMW, 1, reinterpret_cast<LPARAM>(&set)));
  EXPECT_EQ(HeaderCodes(), (std::vector<UINT>{HDN_ITEMCHANGINGW, HDN_ITEMCHANGEDW}));
  RECT r{};
  SendMessageW(h, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r.left, 133);
  Extra() = [](HWND, UINT msg, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == HDN_ITEMCHANGINGW) {
      *handled = true;
      return TRUE;
    }
    return 0;
  };
  set.cxy = 90;
  EXPECT_FALSE(SendMessageW(h, HDM_SETITEMW, 1, reinterpret_cast<LPARAM>(&set)));
  HDITEMW get{};
  get.mask = HDI_WIDTH;
  SendMessageW(h, HDM_GETITEMW, 1, reinterpret_cast<LPARAM>(&get));
  EXPECT_EQ(get.cxy, 33);
  EXPECT_FALSE(SendMessageW(h, HDM_SETITEMW, 9, reinterpret_cast<LPARAM>(&set)));
}

TEST_F(HeaderTest, ClickOnButtonHeading) {
  HWND h = Header();
  KvPumpMessages();
  Notes().clear();
  ClickAt(h, 130, 5);
  ASSERT_EQ(HeaderCodes(), (std::vector<UINT>{HDN_ITEMCLICKW}));
  // Without HDS_BUTTONS the headings do not click.
  DestroyWindow(h);
  HWND plain = Header(0);
  KvPumpMessages();
  Notes().clear();
  ClickAt(plain, 130, 5);
  EXPECT_TRUE(HeaderCodes().empty());
}

}  // namespace
}  // namespace kvtest
