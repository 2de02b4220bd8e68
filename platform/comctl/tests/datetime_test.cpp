// "SysDateTimePick32" and "SysMonthCal32": the date set and read, stepped by keys and
// arrows, chosen from the dropped-down calendar, and their notifications.
#include "platform/comctl/datetime.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

class DateTimeTest : public ControlTest {
 protected:
  static SYSTEMTIME Day(int y, int m, int d) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    return st;
  }
  static SYSTEMTIME Get(HWND p) {
    SYSTEMTIME st{};
    EXPECT_EQ(SendMessageW(p, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_VALID);
    return st;
  }
};

TEST_F(DateTimeTest, DateSetReadAndSteppedByKeysAndArrows) {
  HWND p = Make(DATETIMEPICK_CLASSW, DTS_UPDOWN | DTS_SHOWNONE, 10, 10, 120, 22, 40);
  SYSTEMTIME st = Day(2024, 2, 28);
  ASSERT_TRUE(SendMessageW(p, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st)));
  SYSTEMTIME bad = Day(2023, 2, 29);
  EXPECT_FALSE(SendMessageW(p, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&bad)));
  EXPECT_EQ(Get(p).wDayOfWeek, 3);  // a Wednesday
  SetFocus(p);
  Key(VK_UP);
  EXPECT_EQ(Get(p).wDay, 29);  // a leap year
  ClickAt(p, 115, 5);          // the up arrow
  EXPECT_EQ(Get(p).wMonth, 3);
  EXPECT_EQ(Get(p).wDay, 1);
  ClickAt(p, 115, 18);  // the down arrow
  EXPECT_EQ(Get(p).wDay, 29);
  EXPECT_EQ(Codes(WM_NOTIFY), (std::vector<UINT>(3, DTN_DATETIMECHANGE)));
  ASSERT_TRUE(SendMessageW(p, DTM_SETSYSTEMTIME, GDT_NONE, 0));
  SYSTEMTIME none{};
  EXPECT_EQ(SendMessageW(p, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&none)), GDT_NONE);
}

TEST_F(DateTimeTest, TheDroppedDownCalendarChoosesTheDay) {
  HWND p = Make(DATETIMEPICK_CLASSW, 0, 10, 10, 120, 22, 41);
  SYSTEMTIME st = Day(2026, 12, 11);
  SendMessageW(p, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  ClickAt(p, 115, 10);  // the drop button
  HWND cal = reinterpret_cast<HWND>(SendMessageW(p, DTM_GETMONTHCAL, 0, 0));
  ASSERT_TRUE(cal);
  EXPECT_TRUE(IsWindowVisible(cal));
  SYSTEMTIME shown{};
  ASSERT_TRUE(SendMessageW(cal, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&shown)));
  EXPECT_EQ(shown.wDay, 11);
  // 1 December 2026 is a Tuesday: the 24th sits in row 3 of the grid, Thursday's column.
  RECT need{};
  ASSERT_TRUE(SendMessageW(cal, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&need)));
  int cell = need.right / 7;
  int title = need.bottom - 7 * cell;
  ClickAt(cal, 4 * cell + cell / 2, title + cell + 3 * cell + cell / 2);
  EXPECT_EQ(Get(p).wDay, 24);
  EXPECT_EQ(Get(p).wDayOfWeek, 4);
  EXPECT_FALSE(IsWindow(cal));  // closed after the choice
  EXPECT_EQ(Codes(WM_NOTIFY), (std::vector<UINT>{DTN_DROPDOWN, DTN_DATETIMECHANGE, DTN_CLOSEUP}));

  // The title's arrows change the month shown, not the selection.
  ClickAt(p, 115, 10);
  cal = reinterpret_cast<HWND>(SendMessageW(p, DTM_GETMONTHCAL, 0, 0));
  ASSERT_TRUE(cal);
  ClickAt(cal, need.right - 8, 8);  // next month: January 2027 starts on a Friday
  ClickAt(cal, 5 * cell + cell / 2, title + cell + cell / 2);
  EXPECT_EQ(Get(p).wYear, 2027);
  EXPECT_EQ(Get(p).wMonth, 1);
  EXPECT_EQ(Get(p).wDay, 1);
}

TEST_F(DateTimeTest, PlainLookShowsTheDateAndTheDropButton) {
  HWND p = Make(DATETIMEPICK_CLASSW, 0, 10, 10, 120, 22, 42);
  SYSTEMTIME st = Day(2026, 1, 2);
  SendMessageW(p, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  InvalidateRect(p, nullptr, TRUE);
  EXPECT_EQ(KvWindowGetPixel(p, 100, 11), GetSysColor(COLOR_WINDOW));  // between text and button
  EXPECT_NE(KvWindowGetPixel(p, 119, 21), GetSysColor(COLOR_WINDOW));  // the button's edge
  bool ink = false;
  for (int x = 3; x < 60 && !ink; ++x)
    for (int y = 4; y < 18 && !ink; ++y) ink = KvWindowGetPixel(p, x, y) == GetSysColor(COLOR_WINDOWTEXT);
  EXPECT_TRUE(ink);  // the date's text
}

}  // namespace
}  // namespace kvtest
