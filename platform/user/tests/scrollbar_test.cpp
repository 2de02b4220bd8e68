// "ScrollBar" controls: the SBM_ messages against the scroll-bar functions, and the
// tracking of presses on arrows, page areas and thumb from injected input.
#include "platform/user/scrollbar.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

class ScrollBarTest : public ControlTest {
 protected:
  std::vector<std::pair<int, int>> scrolls_;  // code and position of each WM_VSCROLL
  HWND Bar() {
    HWND s = Make(u"ScrollBar", SBS_VERT, 10, 10, 17, 200, 95);
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0, 0};
    SendMessageW(s, SBM_SETSCROLLINFO, TRUE, reinterpret_cast<LPARAM>(&si));
    KvPumpMessages();
    // The parent follows the requests as programs do: it moves the thumb.
    Extra() = [this](HWND, UINT msg, WPARAM wp, LPARAM lp, bool* handled) -> LRESULT {
      if (msg != WM_VSCROLL) return 0;
      auto bar = reinterpret_cast<HWND>(lp);
      int code = LOWORD(wp), pos = static_cast<int>(SendMessageW(bar, SBM_GETPOS, 0, 0));
      scrolls_.emplace_back(code, HIWORD(wp));
      if (code == SB_LINEDOWN) pos += 1;
      if (code == SB_PAGEDOWN) pos += 10;
      if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) pos = HIWORD(wp);
      SendMessageW(bar, SBM_SETPOS, static_cast<WPARAM>(pos), TRUE);
      *handled = true;
      return 0;
    };
    return s;
  }
  static SCROLLBARINFO Info(HWND s) {
    SCROLLBARINFO sbi{};
    sbi.cbSize = sizeof sbi;
    EXPECT_TRUE(SendMessageW(s, SBM_GETSCROLLBARINFO, 0, reinterpret_cast<LPARAM>(&sbi)));
    return sbi;
  }
  std::vector<int> Codes() const {
    std::vector<int> out;
    for (auto& s : scrolls_) out.push_back(s.first);
    return out;
  }
};

TEST_F(ScrollBarTest, MessagesActAsTheScrollBarFunctions) {
  HWND s = Bar();
  EXPECT_EQ(SendMessageW(s, SBM_SETPOS, 200, TRUE), 0);  // answers the position before
  EXPECT_EQ(SendMessageW(s, SBM_GETPOS, 0, 0), 90);      // kept within max - page + 1
  EXPECT_EQ(GetScrollPos(s, SB_CTL), 90);
  EXPECT_EQ(SendMessageW(s, SBM_SETRANGE, 10, 50), 90);
  int lo = 0, hi = 0;
  SendMessageW(s, SBM_GETRANGE, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
  EXPECT_EQ(lo, 10);
  EXPECT_EQ(hi, 50);
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
  ASSERT_TRUE(SendMessageW(s, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&si)));
  EXPECT_EQ(si.nPage, 10u);
  EXPECT_EQ(si.nPos, GetScrollPos(s, SB_CTL));
  EXPECT_FALSE(SendMessageW(s, SBM_GETSCROLLINFO, 0, 0));
  EXPECT_TRUE(SendMessageW(s, SBM_ENABLE_ARROWS, ESB_DISABLE_BOTH, 0));
  EXPECT_EQ(Info(s).rgstate[0] & STATE_SYSTEM_UNAVAILABLE, static_cast<DWORD>(STATE_SYSTEM_UNAVAILABLE));
}

TEST_F(ScrollBarTest, PressesOnArrowPageAndThumbSendTheirCodesThenEnd) {
  HWND s = Bar();
  ClickAt(s, 8, 195);  // the lower arrow
  EXPECT_EQ(Codes(), (std::vector<int>{SB_LINEDOWN, SB_ENDSCROLL}));
  scrolls_.clear();
  ClickAt(s, 8, 150);  // the page area below the thumb
  EXPECT_EQ(Codes(), (std::vector<int>{SB_PAGEDOWN, SB_ENDSCROLL}));
  EXPECT_EQ(SendMessageW(s, SBM_GETPOS, 0, 0), 11);

  scrolls_.clear();
  SCROLLBARINFO before = Info(s);
  POINT p{8, (before.xyThumbTop + before.xyThumbBottom) / 2};
  ClientToScreen(s, &p);
  KvInjectMouseMove(p.x, p.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(p.x, p.y + 40);
  KvInjectMouseMove(p.x, p.y + 80);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  EXPECT_EQ(Codes(), (std::vector<int>{SB_THUMBTRACK, SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL}));
  EXPECT_LT(scrolls_[0].second, scrolls_[1].second);
  EXPECT_EQ(scrolls_[2].second, scrolls_[1].second);      // the last tracked position
  EXPECT_GT(Info(s).xyThumbTop, before.xyThumbTop + 70);  // the thumb followed the drag
}

TEST_F(ScrollBarTest, SuperclassOfTheScrollBarIsAScrollBarControl) {
  // A class of its own name whose procedure hands everything to the scroll bar's.
  static WNDPROC base = nullptr;
  WNDCLASSW wc{};
  ASSERT_TRUE(GetClassInfoW(nullptr, u"ScrollBar", &wc));
  base = wc.lpfnWndProc;
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT { return CallWindowProcW(base, h, m, w, l); };
  wc.lpszClassName = u"OwnBar";
  ASSERT_TRUE(RegisterClassW(&wc));
  HWND s = Make(u"OwnBar", SBS_VERT, 10, 10, 17, 200, 95);
  SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 5, 0};
  EXPECT_EQ(SetScrollInfo(s, SB_CTL, &si, TRUE), 5);
  EXPECT_EQ(GetScrollPos(s, SB_CTL), 5);
  EXPECT_EQ(Info(s).rcScrollBar.bottom - Info(s).rcScrollBar.top, 200);
  Extra() = [this](HWND, UINT msg, WPARAM wp, LPARAM, bool*) -> LRESULT {
    if (msg == WM_VSCROLL) scrolls_.emplace_back(LOWORD(wp), HIWORD(wp));
    return 0;
  };
  ClickAt(s, 8, 195);
  EXPECT_EQ(Codes(), (std::vector<int>{SB_LINEDOWN, SB_ENDSCROLL}));
}

TEST_F(ScrollBarTest, TrackingEndsWhenTheScriptedInputEnds) {
  HWND s = Bar();
  SCROLLBARINFO sbi = Info(s);
  POINT p{8, (sbi.xyThumbTop + sbi.xyThumbBottom) / 2};
  ClientToScreen(s, &p);
  KvInjectMouseMove(p.x, p.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(p.x, p.y + 30);  // no release follows
  KvPumpMessages();
  EXPECT_EQ(Codes(), (std::vector<int>{SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL}));
  EXPECT_NE(GetCapture(), s);
}

}  // namespace
}  // namespace kvtest
