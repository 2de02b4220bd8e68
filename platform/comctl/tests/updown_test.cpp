// "msctls_updown32": ranges and positions, the buddy's text, clicks on either half asked of
// the parent, wrapping, and the pressed half's look.
#include "platform/comctl/updown.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

class UpDownTest : public ControlTest {
 protected:
  std::vector<int> scrolls_;
  HWND buddy_ = nullptr;
  HWND UpDown(DWORD style) {
    buddy_ = Make(u"Edit", 0, 10, 10, 60, 20, 90, u"");
    HWND u = Make(UPDOWN_CLASSW, style, 70, 10, 16, 20, 91);
    SendMessageW(u, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy_), 0);
    SendMessageW(u, UDM_SETRANGE32, 0, 10);
    KvPumpMessages();
    Extra() = [this](HWND, UINT msg, WPARAM wp, LPARAM, bool*) -> LRESULT {
      if (msg == WM_VSCROLL || msg == WM_HSCROLL) scrolls_.push_back(LOWORD(wp));
      return 0;
    };
    return u;
  }
};

TEST_F(UpDownTest, RangesPositionsAndTheBuddysText) {
  HWND u = UpDown(UDS_SETBUDDYINT);
  int lo = -1, hi = -1;
  SendMessageW(u, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 10);
  EXPECT_EQ(SendMessageW(u, UDM_SETPOS32, 0, 25), 0);
  EXPECT_EQ(SendMessageW(u, UDM_GETPOS32, 0, 0), 10);  // kept within the range
  EXPECT_EQ(Text(buddy_), u"10");
  SetWindowTextW(buddy_, u"4");  // typed into the buddy: read back as the position
  EXPECT_EQ(SendMessageW(u, UDM_GETPOS32, 0, 0), 4);
  SendMessageW(u, UDM_SETRANGE32, 0, 5000);
  SendMessageW(u, UDM_SETPOS32, 0, 1234);
  EXPECT_EQ(Text(buddy_), u"1,234");
  EXPECT_EQ(SendMessageW(u, UDM_GETPOS32, 0, 0), 1234);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(u, UDM_GETBUDDY, 0, 0)), buddy_);
}

TEST_F(UpDownTest, ClicksStepAskTheParentAndWrap) {
  HWND u = UpDown(UDS_SETBUDDYINT | UDS_WRAP);
  SendMessageW(u, UDM_SETPOS32, 0, 9);
  ClickAt(u, 8, 3);  // the upper half steps up
  EXPECT_EQ(SendMessageW(u, UDM_GETPOS32, 0, 0), 10);
  EXPECT_EQ(Codes(WM_NOTIFY), (std::vector<UINT>{UDN_DELTAPOS}));
  EXPECT_EQ(scrolls_, (std::vector<int>{SB_THUMBPOSITION, SB_ENDSCROLL}));
  ClickAt(u, 8, 3);  // past the upper bound it wraps
  EXPECT_EQ(SendMessageW(u, UDM_GETPOS32, 0, 0), 0);
  ClickAt(u, 8, 17);  // and back down below the lower bound
  EXPECT_EQ(Text(buddy_), u"10");

  Extra() = [](HWND, UINT msg, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
    if (msg != WM_NOTIFY) return 0;
    auto nm = reinterpret_cast<NMUPDOWN*>(lp);
    EXPECT_EQ(nm->iPos, 10);
    EXPECT_EQ(nm->iDelta, -1);
    *handled = true;
    return TRUE;  // refused
  };
  ClickAt(u, 8, 17);
  EXPECT_EQ(SendMessageW(u, UDM_GETPOS32, 0, 0), 10);
}

TEST_F(UpDownTest, ThePressedHalfLooksPushed) {
  HWND u = UpDown(0);
  COLORREF upEdge = KvWindowGetPixel(u, 1, 1), downEdge = KvWindowGetPixel(u, 1, 11);
  EXPECT_EQ(upEdge, downEdge);
  POINT p{8, 3};
  ClientToScreen(u, &p);
  KvInjectMouseMove(p.x, p.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvPumpMessages();
  EXPECT_NE(KvWindowGetPixel(u, 1, 1), upEdge);
  EXPECT_EQ(KvWindowGetPixel(u, 1, 11), downEdge);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  EXPECT_EQ(KvWindowGetPixel(u, 1, 1), upEdge);
}

}  // namespace
}  // namespace kvtest
