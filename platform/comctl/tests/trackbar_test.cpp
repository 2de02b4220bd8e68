// "msctls_trackbar32": range and position, its rectangles along either axis, custom draw
// of tics, channel and thumb, and the scroll codes of drags, pages and keys.
#include "platform/comctl/trackbar.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/testing.h"

namespace kvtest {
namespace {

class TrackBarTest : public ControlTest {
 protected:
  HWND Track(DWORD style, int w = 200, int h = 30) {
    HWND t = Make(TRACKBAR_CLASSW, style, 10, 10, w, h, 80);
    SendMessageW(t, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    KvPumpMessages();
    return t;
  }
  static RECT Rect(HWND t, UINT msg) {
    RECT r{};
    SendMessageW(t, msg, 0, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  // The scroll codes the parent received (low word of WM_HSCROLL / WM_VSCROLL).
  std::vector<int> codes_;
  void RecordScrolls() {
    Extra() = [this](HWND, UINT msg, WPARAM wp, LPARAM, bool*) -> LRESULT {
      if (msg == WM_HSCROLL || msg == WM_VSCROLL) codes_.push_back(LOWORD(wp));
      return 0;
    };
  }
};

TEST_F(TrackBarTest, RangePositionAndRectanglesAlongEitherAxis) {
  for (DWORD style : {DWORD{TBS_HORZ}, DWORD{TBS_VERT}}) {
    bool vert = style == TBS_VERT;
    HWND t = vert ? Track(style, 30, 200) : Track(style);
    SendMessageW(t, TBM_SETPOS, TRUE, 150);
    EXPECT_EQ(SendMessageW(t, TBM_GETPOS, 0, 0), 100);  // kept within the range
    SendMessageW(t, TBM_SETPOS, TRUE, 50);
    RECT ch = Rect(t, TBM_GETCHANNELRECT), th = Rect(t, TBM_GETTHUMBRECT);
    // The channel runs along the control; the thumb's middle sits half way along it.
    int chLen = vert ? ch.bottom - ch.top : ch.right - ch.left;
    int thMid = vert ? (th.top + th.bottom) / 2 : (th.left + th.right) / 2;
    int chStart = vert ? ch.top : ch.left;
    EXPECT_GT(chLen, 150) << vert;
    EXPECT_NEAR(thMid, chStart + chLen / 2, 1) << vert;
    // The thumb lies across the channel.
    if (vert) {
      EXPECT_LT(th.left, ch.left);
      EXPECT_GT(th.right, ch.right);
    } else {
      EXPECT_LT(th.top, ch.top);
      EXPECT_GT(th.bottom, ch.bottom);
    }
    DestroyWindow(t);
  }
}

TEST_F(TrackBarTest, CustomDrawAsksForTicsChannelAndThumbAndHonoursSkipDefault) {
  std::vector<std::pair<DWORD, DWORD_PTR>> seen;
  LRESULT prepaint = CDRF_NOTIFYITEMDRAW;
  Extra() = [&](HWND, UINT msg, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
    if (msg != WM_NOTIFY || reinterpret_cast<NMHDR*>(lp)->code != NM_CUSTOMDRAW) return 0;
    auto cd = reinterpret_cast<NMCUSTOMDRAW*>(lp);
    seen.emplace_back(cd->dwDrawStage, cd->dwItemSpec);
    *handled = true;
    if (cd->dwDrawStage == CDDS_PREPAINT) return prepaint;
    if (cd->dwDrawStage == CDDS_ITEMPREPAINT && cd->dwItemSpec == TBCD_THUMB) {
      HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
      FillRect(cd->hdc, &cd->rc, red);
      DeleteObject(red);
      return CDRF_SKIPDEFAULT;
    }
    return CDRF_DODEFAULT;
  };
  HWND t = Track(TBS_AUTOTICKS);
  SendMessageW(t, TBM_SETPOS, TRUE, 20);
  InvalidateRect(t, nullptr, TRUE);
  seen.clear();
  RECT th = Rect(t, TBM_GETTHUMBRECT), ch = Rect(t, TBM_GETCHANNELRECT);
  COLORREF thumb = KvWindowGetPixel(t, (th.left + th.right) / 2, (th.top + th.bottom) / 2);
  EXPECT_EQ(seen, (std::vector<std::pair<DWORD, DWORD_PTR>>{{CDDS_PREPAINT, 0},
                                                            {CDDS_ITEMPREPAINT, TBCD_TICS},
                                                            {CDDS_ITEMPREPAINT, TBCD_CHANNEL},
                                                            {CDDS_ITEMPREPAINT, TBCD_THUMB}}));
  EXPECT_EQ(thumb, RGB(255, 0, 0));  // the parent's thumb, not the plain one
  // The channel kept its plain look: a sunken well in the window colour.
  EXPECT_EQ(KvWindowGetPixel(t, ch.right - 20, (ch.top + ch.bottom) / 2), GetSysColor(COLOR_WINDOW));

  // Without CDRF_NOTIFYITEMDRAW only the control's stage is asked and every part is plain.
  prepaint = CDRF_DODEFAULT;
  InvalidateRect(t, nullptr, TRUE);
  seen.clear();
  EXPECT_EQ(KvWindowGetPixel(t, (th.left + th.right) / 2, (th.top + th.bottom) / 2), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(seen, (std::vector<std::pair<DWORD, DWORD_PTR>>{{CDDS_PREPAINT, 0}}));
}

TEST_F(TrackBarTest, DragsPagesAndKeysSendTheirScrollCodes) {
  HWND t = Track(TBS_HORZ);
  RecordScrolls();
  RECT th = Rect(t, TBM_GETTHUMBRECT), ch = Rect(t, TBM_GETCHANNELRECT);
  POINT p{(th.left + th.right) / 2, (th.top + th.bottom) / 2};
  ClientToScreen(t, &p);
  KvInjectMouseMove(p.x, p.y);
  KvInjectMouseButton(VK_LBUTTON, TRUE);
  KvInjectMouseMove(p.x + (ch.right - ch.left) / 2, p.y);
  KvInjectMouseButton(VK_LBUTTON, FALSE);
  KvPumpMessages();
  EXPECT_EQ(SendMessageW(t, TBM_GETPOS, 0, 0), 50);
  ASSERT_GE(codes_.size(), 3u);
  EXPECT_EQ(codes_.front(), TB_THUMBTRACK);
  EXPECT_EQ((std::vector<int>(codes_.end() - 2, codes_.end())), (std::vector<int>{TB_THUMBPOSITION, TB_ENDTRACK}));

  codes_.clear();
  ClickAt(t, ch.right - 2, (ch.top + ch.bottom) / 2);  // the channel past the thumb
  EXPECT_EQ(codes_, (std::vector<int>{TB_PAGEDOWN, TB_ENDTRACK}));
  EXPECT_EQ(SendMessageW(t, TBM_GETPOS, 0, 0), 70);

  codes_.clear();
  Key(VK_LEFT);
  Key(VK_END);
  EXPECT_EQ(codes_, (std::vector<int>{TB_LINEUP, TB_ENDTRACK, TB_BOTTOM, TB_ENDTRACK}));
  EXPECT_EQ(SendMessageW(t, TBM_GETPOS, 0, 0), 100);
}

}  // namespace
}  // namespace kvtest
