// "ToolbarWindow32": buttons, states, check groups, clicks and notifications.
#include "platform/comctl/comctl.h"
#include "platform/comctl/imagelist.h"
#include "platform/comctl/toolbar.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

class ToolbarTest : public ControlTest {
 protected:
  HWND Bar(DWORD style = TBSTYLE_FLAT) {
    HWND tb = Make(u"ToolbarWindow32", style, 0, 0, 0, 0, 50);
    SendMessageW(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBBUTTON b[5] = {};
    auto set = [&](int i, int cmd, BYTE style2, const char16_t* text) {
      b[i].iBitmap = i;
      b[i].idCommand = cmd;
      b[i].fsState = TBSTATE_ENABLED;
      b[i].fsStyle = style2;
      b[i].iString = reinterpret_cast<INT_PTR>(text);
    };
    set(0, 101, TBSTYLE_BUTTON, u"Open");
    set(1, 0, TBSTYLE_SEP, nullptr);
    set(2, 102, TBSTYLE_CHECK, nullptr);
    set(3, 103, TBSTYLE_CHECKGROUP, nullptr);
    set(4, 104, TBSTYLE_CHECKGROUP, nullptr);
    EXPECT_TRUE(SendMessageW(tb, TB_ADDBUTTONSW, 5, reinterpret_cast<LPARAM>(b)));
    return tb;
  }
  static POINT Centre(HWND tb, int cmd) {
    RECT r{};
    SendMessageW(tb, TB_GETRECT, static_cast<WPARAM>(cmd), reinterpret_cast<LPARAM>(&r));
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
};

TEST_F(ToolbarTest, ButtonsAndStates) {
  HWND tb = Bar();
  ASSERT_TRUE(tb);
  EXPECT_EQ(SendMessageW(tb, TB_BUTTONCOUNT, 0, 0), 5);
  // Aligned along the top of the parent, as wide as its client.
  RECT r;
  GetWindowRect(tb, &r);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(SendMessageW(tb, TB_COMMANDTOINDEX, 103, 0), 3);
  EXPECT_EQ(SendMessageW(tb, TB_COMMANDTOINDEX, 999, 0), -1);
  TBBUTTON got{};
  ASSERT_TRUE(SendMessageW(tb, TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&got)));
  EXPECT_EQ(got.idCommand, 101);
  EXPECT_FALSE(SendMessageW(tb, TB_GETBUTTON, 5, reinterpret_cast<LPARAM>(&got)));
  WCHAR text[16] = {};
  EXPECT_EQ(SendMessageW(tb, TB_GETBUTTONTEXTW, 101, reinterpret_cast<LPARAM>(text)), 4);
  EXPECT_EQ(std::u16string(text), u"Open");
  // Buttons follow each other: the separator is narrower.
  RECT a{}, s{}, c{};
  SendMessageW(tb, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&a));
  SendMessageW(tb, TB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&s));
  SendMessageW(tb, TB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&c));
  EXPECT_EQ(s.left, a.right);
  EXPECT_EQ(c.left, s.right);
  EXPECT_LT(s.right - s.left, a.right - a.left);
  EXPECT_TRUE(SendMessageW(tb, TB_SETBUTTONSIZE, 0, MAKELPARAM(30, 26)));
  EXPECT_EQ(SendMessageW(tb, TB_GETBUTTONSIZE, 0, 0), MAKELRESULT(30, 26));
  // State messages by command; unknown commands fail.
  EXPECT_TRUE(SendMessageW(tb, TB_ENABLEBUTTON, 101, FALSE));
  EXPECT_FALSE(SendMessageW(tb, TB_ISBUTTONENABLED, 101, 0));
  EXPECT_FALSE(SendMessageW(tb, TB_ENABLEBUTTON, 999, TRUE));
  EXPECT_EQ(SendMessageW(tb, TB_GETSTATE, 999, 0), -1);
  SendMessageW(tb, TB_CHECKBUTTON, 103, TRUE);
  SendMessageW(tb, TB_CHECKBUTTON, 104, TRUE);
  EXPECT_FALSE(SendMessageW(tb, TB_ISBUTTONCHECKED, 103, 0));  // one of a check group
  EXPECT_TRUE(SendMessageW(tb, TB_ISBUTTONCHECKED, 104, 0));
  SendMessageW(tb, TB_PRESSBUTTON, 102, TRUE);
  EXPECT_TRUE(SendMessageW(tb, TB_ISBUTTONPRESSED, 102, 0));
  auto img = reinterpret_cast<HIMAGELIST>(static_cast<uintptr_t>(0x1234));
  EXPECT_EQ(SendMessageW(tb, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(img)), 0);
  EXPECT_EQ(SendMessageW(tb, TB_GETIMAGELIST, 0, 0), reinterpret_cast<LRESULT>(img));
  EXPECT_TRUE(SendMessageW(tb, TB_DELETEBUTTON, 1, 0));
  EXPECT_FALSE(SendMessageW(tb, TB_DELETEBUTTON, 10, 0));
  EXPECT_EQ(SendMessageW(tb, TB_BUTTONCOUNT, 0, 0), 4);
  TBBUTTON ins{};
  ins.idCommand = 100;
  ins.fsState = TBSTATE_ENABLED;
  EXPECT_TRUE(SendMessageW(tb, TB_INSERTBUTTONW, 0, reinterpret_cast<LPARAM>(&ins)));
  EXPECT_EQ(SendMessageW(tb, TB_COMMANDTOINDEX, 100, 0), 0);
}

TEST_F(ToolbarTest, ClickSendsCommandAndNotifications) {
  HWND tb = Bar();
  KvPumpMessages();
  Notes().clear();
  POINT p = Centre(tb, 101);
  ClickAt(tb, p.x, p.y);
  std::vector<std::pair<UINT, UINT>> got;
  for (const Note& n : Notes())
    if (n.msg == WM_COMMAND || n.code == TBN_BEGINDRAG || n.code == TBN_ENDDRAG || n.code == NM_CLICK)
      got.push_back({n.msg, n.msg == WM_COMMAND ? n.id : n.code});
  std::vector<std::pair<UINT, UINT>> want = {
      {WM_NOTIFY, TBN_BEGINDRAG}, {WM_NOTIFY, TBN_ENDDRAG}, {WM_NOTIFY, NM_CLICK}, {WM_COMMAND, 101}};
  EXPECT_EQ(got, want);
  EXPECT_FALSE(SendMessageW(tb, TB_ISBUTTONPRESSED, 101, 0));
  // A check button toggles; a check group keeps one checked.
  p = Centre(tb, 102);
  ClickAt(tb, p.x, p.y);
  EXPECT_TRUE(SendMessageW(tb, TB_ISBUTTONCHECKED, 102, 0));
  ClickAt(tb, p.x, p.y);
  EXPECT_FALSE(SendMessageW(tb, TB_ISBUTTONCHECKED, 102, 0));
  POINT g3 = Centre(tb, 103), g4 = Centre(tb, 104);
  ClickAt(tb, g3.x, g3.y);
  ClickAt(tb, g4.x, g4.y);
  ClickAt(tb, g4.x, g4.y);
  EXPECT_FALSE(SendMessageW(tb, TB_ISBUTTONCHECKED, 103, 0));
  EXPECT_TRUE(SendMessageW(tb, TB_ISBUTTONCHECKED, 104, 0));
  // Disabled buttons and separators do nothing; a press released outside does not click.
  SendMessageW(tb, TB_ENABLEBUTTON, 101, FALSE);
  Notes().clear();
  p = Centre(tb, 101);
  ClickAt(tb, p.x, p.y);
  EXPECT_TRUE(Codes().empty());
  for (const Note& n : Notes()) EXPECT_NE(n.code, static_cast<UINT>(NM_CLICK));
  SendMessageW(tb, TB_ENABLEBUTTON, 101, TRUE);
  POINT a = p, b{390, p.y};
  ClientToScreen(tb, &a);
  ClientToScreen(tb, &b);
  KvInjectMouseMove(a.x, a.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(b.x, b.y);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  Notes().clear();
  KvPumpMessages();
  EXPECT_TRUE(Codes().empty());
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ToolbarTest, AutoSizeFollowsTheParentAndAnsiTexts) {
  HWND tb = Bar();
  SetWindowPos(parent_, nullptr, 0, 0, 250, 150, SWP_NOMOVE | SWP_NOZORDER);
  SendMessageW(tb, TB_AUTOSIZE, 0, 0);
  RECT r;
  GetWindowRect(tb, &r);
  EXPECT_EQ(r.right - r.left, 250);
  // Texts of the A form, and from the string pool by index.
  EXPECT_EQ(SendMessageW(tb, TB_ADDSTRINGA, 0, reinterpret_cast<LPARAM>("Print\0Save\0")), 0);
  TBBUTTON b[2] = {};
  b[0].idCommand = 201;
  b[0].fsState = TBSTATE_ENABLED;
  b[0].iString = reinterpret_cast<INT_PTR>("Close");
  b[1].idCommand = 202;
  b[1].fsState = TBSTATE_ENABLED;
  b[1].iString = 1;  // "Save"
  ASSERT_TRUE(SendMessageW(tb, TB_ADDBUTTONSA, 2, reinterpret_cast<LPARAM>(b)));
  char buf[16] = {};
  EXPECT_EQ(SendMessageW(tb, TB_GETBUTTONTEXTA, 201, reinterpret_cast<LPARAM>(buf)), 5);
  EXPECT_EQ(std::string(buf), "Close");
  WCHAR wbuf[16] = {};
  EXPECT_EQ(SendMessageW(tb, TB_GETBUTTONTEXTW, 202, reinterpret_cast<LPARAM>(wbuf)), 4);
  EXPECT_EQ(std::u16string(wbuf), u"Save");
  EXPECT_FALSE(SendMessageW(tb, TB_ADDBUTTONSA, 0, reinterpret_cast<LPARAM>(b)));
  EXPECT_FALSE(SendMessageW(tb, TB_ADDBUTTONSA, 2, 0));
}

TEST_F(ToolbarTest, PaintsPressedButtonSunken) {
  HWND tb = Bar(0);
  RECT r{};
  SendMessageW(tb, TB_GETRECT, 101, reinterpret_cast<LPARAM>(&r));
  // Raised: a highlight inside the top-left edge; pressed: a shadow on it.
  EXPECT_EQ(KvWindowGetPixel(tb, r.left + 1, r.top + 5), GetSysColor(COLOR_3DHIGHLIGHT));
  SendMessageW(tb, TB_PRESSBUTTON, 101, TRUE);
  EXPECT_EQ(KvWindowGetPixel(tb, r.left, r.top + 5), GetSysColor(COLOR_3DSHADOW));
}

}  // namespace
}  // namespace kvtest
