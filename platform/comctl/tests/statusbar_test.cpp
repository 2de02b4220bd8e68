// The status bar's parts and texts across the A/W boundary, and the progress bar's range
// and steps.
#include <vector>

#include "platform/comctl/progress.h"
#include "platform/comctl/statusbar.h"
#include "platform/user/tests/user_test_util.h"

namespace kvtest {
namespace {

class StatusBarTest : public UserTest {
 protected:
  HWND Make(const char16_t* cls, DWORD style, int x, int y, int w, int h, int id) {
    return CreateWindowExW(0, cls, u"", WS_CHILD | WS_VISIBLE | style, x, y, w, h, form_,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
  }
  HWND form_ = nullptr;
};

TEST_F(StatusBarTest, StatusBarPartsAndProgressSteps) {
  form_ = Top(WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
  HWND sb = Make(STATUSCLASSNAMEW, 0, 0, 0, 0, 0, 1);
  int parts[] = {100, 200, -1};
  EXPECT_TRUE(SendMessageW(sb, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts)));
  EXPECT_TRUE(SendMessageA(sb, SB_SETTEXTA, 1 | SBT_POPOUT, reinterpret_cast<LPARAM>("\xd6\xd0")));
  EXPECT_FALSE(SendMessageW(sb, SB_SETTEXTW, 5, reinterpret_cast<LPARAM>(u"x")));
  WCHAR w[8];
  LRESULT r = SendMessageW(sb, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(w));
  EXPECT_EQ(LOWORD(r), 1);
  EXPECT_EQ(HIWORD(r), SBT_POPOUT);
  EXPECT_EQ(w[0], u'\u4e2d');
  EXPECT_EQ(SendMessageW(sb, SB_GETPARTS, 0, 0), 3);
  RECT pr;
  EXPECT_TRUE(SendMessageW(sb, SB_GETRECT, 2, reinterpret_cast<LPARAM>(&pr)));
  EXPECT_EQ(pr.right, 300);

  HWND pb = Make(PROGRESS_CLASSW, 0, 0, 0, 100, 10, 2);
  EXPECT_EQ(SendMessageW(pb, PBM_SETRANGE32, 0, 50), MAKELRESULT(0, 100));
  SendMessageW(pb, PBM_SETSTEP, 20, 0);
  std::vector<LRESULT> seen;
  for (int i = 0; i < 4; ++i) {
    SendMessageW(pb, PBM_STEPIT, 0, 0);
    seen.push_back(SendMessageW(pb, PBM_GETPOS, 0, 0));
  }
  EXPECT_EQ(seen, (std::vector<LRESULT>{20, 40, 10, 30}));  // past the end it starts over
  EXPECT_EQ(SendMessageW(pb, PBM_SETPOS, 999, 0), 30);
  EXPECT_EQ(SendMessageW(pb, PBM_GETPOS, 0, 0), 50);
  PBRANGE range;
  EXPECT_EQ(SendMessageW(pb, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 0);
  EXPECT_EQ(range.iHigh, 50);
}

}  // namespace
}  // namespace kvtest
