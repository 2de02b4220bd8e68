// "SysListView32" in report view: columns through the header child, items and sub-items,
// states with their notifications, clicks, keys and scrolling.
#include "platform/base/codepage.h"
#include "platform/comctl/comctl.h"
#include "platform/comctl/header.h"
#include "platform/comctl/listview.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

class ListViewTest : public ControlTest {
 protected:
  HWND View(DWORD style = LVS_REPORT | LVS_SHOWSELALWAYS, int rows = 3) {
    HWND lv = Make(u"SysListView32", style, 0, 0, 300, 200, 70);
    const char16_t* cols[] = {u"Name", u"Value"};
    for (int c = 0; c < 2; ++c) {
      LVCOLUMNW col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      col.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(cols[c]));
      col.cx = 100;
      col.iSubItem = c;
      EXPECT_EQ(SendMessageW(lv, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col)), c);
    }
    for (int i = 0; i < rows; ++i) {
      std::u16string name = u"item" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
      LVITEMW it{};
      it.mask = LVIF_TEXT | LVIF_PARAM;
      it.iItem = i;
      it.pszText = reinterpret_cast<LPWSTR>(name.data());
      it.lParam = 100 + i;
      EXPECT_EQ(SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)), i);
      std::u16string v = u"v" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
      LVITEMW sub{};
      sub.iSubItem = 1;
      sub.pszText = reinterpret_cast<LPWSTR>(v.data());
      EXPECT_TRUE(SendMessageW(lv, LVM_SETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&sub)));
    }
    return lv;
  }
  static std::u16string ItemText(HWND lv, int i, int sub) {
    WCHAR buf[32] = {};
    LVITEMW it{};
    it.iSubItem = sub;
    it.pszText = buf;
    it.cchTextMax = 32;
    SendMessageW(lv, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&it));
    return buf;
  }
  static UINT State(HWND lv, int i) {
    return static_cast<UINT>(SendMessageW(lv, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED | LVIS_FOCUSED));
  }
  static std::vector<UINT> NotifyCodes() {
    std::vector<UINT> out;
    for (const Note& n : Notes())
      if (n.msg == WM_NOTIFY && n.id == 70) out.push_back(n.code);
    return out;
  }
};

TEST_F(ListViewTest, ColumnsLiveInTheHeader) {
  HWND lv = View();
  HWND header = reinterpret_cast<HWND>(SendMessageW(lv, LVM_GETHEADER, 0, 0));
  ASSERT_TRUE(header);
  WCHAR cls[32] = {};
  GetClassNameW(header, cls, 32);
  EXPECT_EQ(std::u16string(cls), u"SysHeader32");
  EXPECT_TRUE(IsWindowVisible(header));
  EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(lv, LVM_GETCOLUMNWIDTH, 1, 0), 100);
  EXPECT_TRUE(SendMessageW(lv, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(140, 0)));
  EXPECT_EQ(SendMessageW(lv, LVM_GETCOLUMNWIDTH, 1, 0), 140);
  WCHAR buf[16] = {};
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  col.pszText = buf;
  col.cchTextMax = 16;
  ASSERT_TRUE(SendMessageW(lv, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&col)));
  EXPECT_EQ(std::u16string(buf), u"Value");
  EXPECT_EQ(col.cx, 140);
  EXPECT_EQ(col.iSubItem, 1);
  EXPECT_FALSE(SendMessageW(lv, LVM_GETCOLUMNW, 5, reinterpret_cast<LPARAM>(&col)));
  EXPECT_TRUE(SendMessageW(lv, LVM_DELETECOLUMN, 0, 0));
  EXPECT_FALSE(SendMessageW(lv, LVM_DELETECOLUMN, 3, 0));
  EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 1);
  // A click on a heading is a column click for the list view's parent.
  Notes().clear();
  ClickAt(header, 20, 5);
  ASSERT_EQ(NotifyCodes(), (std::vector<UINT>{LVN_COLUMNCLICK}));
}

TEST_F(ListViewTest, ItemsAndSubItems) {
  HWND lv = View();
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(ItemText(lv, 1, 0), u"item1");
  EXPECT_EQ(ItemText(lv, 1, 1), u"v1");
  EXPECT_EQ(ItemText(lv, 1, 7), u"");  // a sub-item never set
  LVITEMW far{};
  far.iSubItem = 0x7FFFFFF0;
  far.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(u"x"));
  EXPECT_FALSE(SendMessageW(lv, LVM_SETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&far)));
  EXPECT_TRUE(SendMessageW(lv, LVM_SETITEMCOUNT, 0x7FFFFFFF, 0));  // a hint only
  LVITEMW it{};
  it.mask = LVIF_PARAM;
  it.iItem = 2;
  ASSERT_TRUE(SendMessageW(lv, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)));
  EXPECT_EQ(it.lParam, 102);
  it.iItem = 3;
  EXPECT_FALSE(SendMessageW(lv, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)));
  // Inserting past the end appends; a negative index or a sub-item fails.
  LVITEMW add{};
  add.mask = LVIF_TEXT;
  add.iItem = 99;
  add.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(u"last"));
  EXPECT_EQ(SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&add)), 3);
  add.iItem = -1;
  EXPECT_EQ(SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&add)), -1);
  Notes().clear();
  EXPECT_TRUE(SendMessageW(lv, LVM_DELETEITEM, 0, 0));
  EXPECT_EQ(NotifyCodes(), (std::vector<UINT>{LVN_DELETEITEM}));
  EXPECT_EQ(ItemText(lv, 0, 0), u"item1");
  Notes().clear();
  SendMessageW(lv, LVM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0), 0);
  EXPECT_EQ(NotifyCodes(), (std::vector<UINT>{LVN_DELETEALLITEMS, LVN_DELETEITEM, LVN_DELETEITEM, LVN_DELETEITEM}));
}

TEST_F(ListViewTest, CallbackTextsAreAskedFromTheParent) {
  HWND lv = View(LVS_REPORT, 0);
  LVITEMW it{};
  it.mask = LVIF_TEXT | LVIF_PARAM;
  it.iItem = 0;
  it.pszText = LPSTR_TEXTCALLBACKW;
  it.lParam = 7;
  ASSERT_EQ(SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)), 0);
  int asked = 0;
  Extra() = [&asked](HWND, UINT msg, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
    auto h = reinterpret_cast<NMHDR*>(lp);
    if (msg == WM_NOTIFY && h->code == LVN_GETDISPINFOW) {
      auto di = reinterpret_cast<NMLVDISPINFOW*>(lp);
      ++asked;
      std::u16string s = u"row" + std::u16string(1, static_cast<char16_t>(u'0' + di->item.lParam)) + u"/" +
                         std::u16string(1, static_cast<char16_t>(u'0' + di->item.iSubItem));
      std::copy(s.begin(), s.end(), di->item.pszText);
      di->item.pszText[s.size()] = 0;
      *handled = true;
    }
    return 0;
  };
  EXPECT_EQ(ItemText(lv, 0, 0), u"row7/0");
  EXPECT_EQ(asked, 1);
  // A text set later replaces the callback.
  LVITEMW sub{};
  sub.iSubItem = 0;
  sub.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(u"fixed"));
  SendMessageW(lv, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&sub));
  EXPECT_EQ(ItemText(lv, 0, 0), u"fixed");
  EXPECT_EQ(asked, 1);
}

TEST_F(ListViewTest, AnsiFormsConvertThroughTheCodePage) {
  HWND lv = View(LVS_REPORT, 0);
  std::string name = kv::WideToAnsi(u"发票");
  LVITEMA it{};
  it.mask = LVIF_TEXT;
  it.pszText = name.data();
  ASSERT_EQ(SendMessageW(lv, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it)), 0);
  EXPECT_EQ(ItemText(lv, 0, 0), u"发票");
  char buf[16] = {};
  LVITEMA get{};
  get.pszText = buf;
  get.cchTextMax = 16;
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&get)), static_cast<LRESULT>(name.size()));
  EXPECT_EQ(std::string(buf), name);
  // Columns too; LVM_SETCOLUMN changes the heading and the width.
  std::string heading = kv::WideToAnsi(u"金额");
  LVCOLUMNA col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.pszText = heading.data();
  col.cx = 77;
  ASSERT_TRUE(SendMessageW(lv, LVM_SETCOLUMNA, 1, reinterpret_cast<LPARAM>(&col)));
  WCHAR wbuf[8] = {};
  LVCOLUMNW wcol{};
  wcol.mask = LVCF_TEXT | LVCF_WIDTH;
  wcol.pszText = wbuf;
  wcol.cchTextMax = 8;
  ASSERT_TRUE(SendMessageW(lv, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&wcol)));
  EXPECT_EQ(std::u16string(wbuf), u"金额");
  EXPECT_EQ(wcol.cx, 77);
  // The extended styles answer their previous value; the mask limits the change.
  EXPECT_EQ(SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), 0);
  EXPECT_EQ(SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, 0),
            LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  EXPECT_EQ(SendMessageW(lv, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
}

TEST_F(ListViewTest, StatesNotifyAndCanBeRefused) {
  HWND lv = View();
  Notes().clear();
  LVITEMW st{};
  st.state = LVIS_SELECTED | LVIS_FOCUSED;
  st.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  EXPECT_TRUE(SendMessageW(lv, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&st)));
  EXPECT_EQ(NotifyCodes(), (std::vector<UINT>{LVN_ITEMCHANGING, LVN_ITEMCHANGED}));
  EXPECT_EQ(State(lv, 1), static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, 1, LVNI_SELECTED), -1);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 1);
  // Neighbours of the focused row, as the browser host's arrow keys ask.
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, 1, LVNI_BELOW), 2);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, 1, LVNI_ABOVE), 0);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, 0, LVNI_ABOVE), -1);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, 1, LVNI_TOLEFT), -1);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, 1, LVNI_TORIGHT), -1);
  // Only one item has the focus.
  st.state = LVIS_FOCUSED;
  st.stateMask = LVIS_FOCUSED;
  SendMessageW(lv, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&st));
  EXPECT_EQ(State(lv, 1), static_cast<UINT>(LVIS_SELECTED));
  // Select all, then a parent that answers TRUE to LVN_ITEMCHANGING keeps the state.
  st.state = LVIS_SELECTED;
  st.stateMask = LVIS_SELECTED;
  SendMessageW(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&st));
  EXPECT_EQ(SendMessageW(lv, LVM_GETSELECTEDCOUNT, 0, 0), 3);
  Extra() = [](HWND, UINT msg, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == LVN_ITEMCHANGING) {
      *handled = true;
      return TRUE;
    }
    return 0;
  };
  st.state = 0;
  EXPECT_FALSE(SendMessageW(lv, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&st)));
  EXPECT_EQ(State(lv, 0), static_cast<UINT>(LVIS_SELECTED));
}

TEST_F(ListViewTest, ClicksAndKeysSelect) {
  HWND lv = View(LVS_REPORT | LVS_SINGLESEL);
  RECT r{};
  r.left = LVIR_BOUNDS;
  ASSERT_TRUE(SendMessageW(lv, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r)));
  EXPECT_GT(r.top, 0);  // below the header
  Notes().clear();
  ClickAt(lv, 20, (r.top + r.bottom) / 2);
  EXPECT_EQ(GetFocus(), lv);
  EXPECT_EQ(State(lv, 1), static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));
  auto codes = NotifyCodes();
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.back(), static_cast<UINT>(NM_CLICK));
  LVHITTESTINFO ht{};
  ht.pt = POINT{150, (r.top + r.bottom) / 2};
  EXPECT_EQ(SendMessageW(lv, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&ht)), 1);
  EXPECT_EQ(ht.iSubItem, 1);
  EXPECT_EQ(ht.flags, static_cast<UINT>(LVHT_ONITEMLABEL));
  // Sub-item rectangles: a column's span on the row; sub-item 0's bounds are the row's.
  struct SubRect {
    int sub, code;
    BOOL ok;
    RECT want;
  } subs[] = {{1, LVIR_BOUNDS, TRUE, {100, r.top, 200, r.bottom}},
              {1, LVIR_LABEL, TRUE, {100, r.top, 200, r.bottom}},
              {0, LVIR_BOUNDS, TRUE, r},
              {2, LVIR_BOUNDS, FALSE, {}},
              {1, 7, FALSE, {}}};
  for (const SubRect& t : subs) {
    RECT got{};
    got.top = t.sub;
    got.left = t.code;
    EXPECT_EQ(SendMessageW(lv, LVM_GETSUBITEMRECT, 1, reinterpret_cast<LPARAM>(&got)), t.ok) << t.sub;
    if (t.ok) {
      EXPECT_EQ(got.left, t.want.left) << t.sub;
      EXPECT_EQ(got.right, t.want.right) << t.sub;
      EXPECT_EQ(got.top, t.want.top) << t.sub;
      EXPECT_EQ(got.bottom, t.want.bottom) << t.sub;
    }
  }
  EXPECT_FALSE(SendMessageW(lv, LVM_GETSUBITEMRECT, 9, reinterpret_cast<LPARAM>(&r)));
  Key(VK_DOWN);
  EXPECT_EQ(State(lv, 2), static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));
  EXPECT_EQ(State(lv, 1), 0u);  // single selection
  Key(VK_HOME);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 0);
  Notes().clear();
  Key(VK_RETURN);
  auto k = NotifyCodes();
  EXPECT_EQ(k, (std::vector<UINT>{LVN_KEYDOWN, NM_RETURN, LVN_ITEMACTIVATE}));
}

TEST_F(ListViewTest, ScrollsToKeepItemsVisible) {
  HWND lv = View(LVS_REPORT, 40);
  int page = static_cast<int>(SendMessageW(lv, LVM_GETCOUNTPERPAGE, 0, 0));
  ASSERT_GT(page, 1);
  ASSERT_LT(page, 40);
  EXPECT_EQ(SendMessageW(lv, LVM_GETTOPINDEX, 0, 0), 0);
  EXPECT_TRUE(GetWindowLongW(lv, GWL_STYLE) & WS_VSCROLL);
  EXPECT_TRUE(SendMessageW(lv, LVM_ENSUREVISIBLE, 30, FALSE));
  EXPECT_EQ(SendMessageW(lv, LVM_GETTOPINDEX, 0, 0), 30 - page + 1);
  SendMessageW(lv, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(SendMessageW(lv, LVM_GETTOPINDEX, 0, 0), 0);
  SendMessageW(lv, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(SendMessageW(lv, LVM_GETTOPINDEX, 0, 0), 40 - page);
  EXPECT_FALSE(SendMessageW(lv, LVM_ENSUREVISIBLE, 40, FALSE));
}

TEST_F(ListViewTest, PaintsSelectionAndHeader) {
  HWND lv = View(LVS_REPORT);
  SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  SetFocus(lv);
  LVITEMW st{};
  st.state = st.stateMask = LVIS_SELECTED;
  SendMessageW(lv, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&st));
  RECT r{};
  r.left = LVIR_BOUNDS;
  SendMessageW(lv, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
  // Far right in the second column, clear of the text: the highlight; the row below: the window.
  EXPECT_EQ(KvWindowGetPixel(lv, 190, r.top + 1), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(KvWindowGetPixel(lv, 190, r.bottom + 1), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(KvWindowGetPixel(lv, 250, r.top + 1), GetSysColor(COLOR_WINDOW));  // past the columns
  // The header's first heading is a raised button face.
  HWND header = reinterpret_cast<HWND>(SendMessageW(lv, LVM_GETHEADER, 0, 0));
  EXPECT_EQ(KvWindowGetPixel(header, 1, 5), GetSysColor(COLOR_3DHIGHLIGHT));
  EXPECT_EQ(KvWindowGetPixel(header, 95, 2), GetSysColor(COLOR_3DFACE));
}

}  // namespace
}  // namespace kvtest
