// DrawFrameControl and InitCommonControls(Ex).
#include "platform/base/error.h"
#include "platform/comctl/comctl.h"
#include "platform/user/tests/control_test_util.h"
#include "platform/user/frame.h"

namespace kvtest {
namespace {

class FrameTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    dc_ = CreateCompatibleDC(nullptr);
    bmp_ = CreateBitmap(40, 40, 1, 32, nullptr);  // a memory DC is monochrome until given colours
    old_ = SelectObject(dc_, bmp_);
    RECT all{0, 0, 40, 40};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  void TearDown() override {
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
    ControlTest::TearDown();
  }
  // Whether any pixel of the rectangle has the colour.
  bool Has(RECT r, COLORREF c) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (GetPixel(dc_, x, y) == c) return true;
    return false;
  }
  HDC dc_ = nullptr;
  HBITMAP bmp_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

TEST_F(FrameTest, PushButtonsRaisedOrSunken) {
  RECT r{0, 0, 20, 20};
  ASSERT_TRUE(DrawFrameControl(dc_, &r, DFC_BUTTON, DFCS_BUTTONPUSH));
  EXPECT_EQ(GetPixel(dc_, 1, 10), GetSysColor(COLOR_3DHIGHLIGHT));
  EXPECT_EQ(GetPixel(dc_, 10, 10), GetSysColor(COLOR_3DFACE));
  ASSERT_TRUE(DrawFrameControl(dc_, &r, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED));
  EXPECT_EQ(GetPixel(dc_, 0, 10), GetSysColor(COLOR_3DSHADOW));
  // DFCS_ADJUSTRECT leaves the rectangle inside the edges.
  RECT adj = r;
  DrawFrameControl(dc_, &adj, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_ADJUSTRECT);
  EXPECT_EQ(adj.left, 2);
  EXPECT_EQ(adj.right, 18);
}

TEST_F(FrameTest, MarksAndArrows) {
  struct Case {
    UINT type, state;
    int ink;  // a system colour that must appear inside
  } cases[] = {
      {DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED, COLOR_WINDOWTEXT},
      {DFC_BUTTON, DFCS_BUTTONRADIO | DFCS_CHECKED, COLOR_WINDOWTEXT},
      {DFC_SCROLL, DFCS_SCROLLDOWN, COLOR_BTNTEXT},
      {DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_INACTIVE, COLOR_GRAYTEXT},
      {DFC_CAPTION, DFCS_CAPTIONCLOSE, COLOR_BTNTEXT},
      {DFC_CAPTION, DFCS_CAPTIONMAX, COLOR_BTNTEXT},
      {DFC_MENU, DFCS_MENUCHECK, COLOR_MENUTEXT},
      {DFC_MENU, DFCS_MENUARROW, COLOR_MENUTEXT},
  };
  for (const Case& c : cases) {
    RECT all{0, 0, 40, 40};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECT r{4, 4, 20, 20};
    ASSERT_TRUE(DrawFrameControl(dc_, &r, c.type, c.state)) << c.type << " " << c.state;
    RECT inner{7, 7, 17, 17};
    EXPECT_TRUE(Has(inner, GetSysColor(c.ink))) << c.type << " " << c.state;
    EXPECT_EQ(GetPixel(dc_, 30, 30), RGB(255, 255, 255));  // nothing outside
  }
  // An unchecked box has no mark.
  RECT r{4, 4, 20, 20};
  DrawFrameControl(dc_, &r, DFC_BUTTON, DFCS_BUTTONCHECK);
  RECT inner{7, 7, 17, 17};
  EXPECT_FALSE(Has(inner, GetSysColor(COLOR_WINDOWTEXT)));
}

TEST_F(FrameTest, BadArgumentsFail) {
  RECT r{0, 0, 10, 10};
  SetLastError(0);
  EXPECT_FALSE(DrawFrameControl(dc_, &r, 99, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(DrawFrameControl(dc_, &r, DFC_SCROLL, 0x07));
  EXPECT_FALSE(DrawFrameControl(dc_, &r, DFC_CAPTION, 0x09));
  EXPECT_FALSE(DrawFrameControl(nullptr, &r, DFC_BUTTON, DFCS_BUTTONPUSH));
  EXPECT_FALSE(DrawFrameControl(dc_, nullptr, DFC_BUTTON, DFCS_BUTTONPUSH));
}

TEST_F(FrameTest, InitCommonControlsChecksItsArgument) {
  InitCommonControls();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
  EXPECT_TRUE(InitCommonControlsEx(&icc));
  icc.dwSize = 4;
  EXPECT_FALSE(InitCommonControlsEx(&icc));
  EXPECT_FALSE(InitCommonControlsEx(nullptr));
  // The classes exist from the start.
  WNDCLASSW wc{};
  for (const char16_t* name : {u"#32770", u"ToolbarWindow32", u"SysHeader32", u"SysListView32"})
    EXPECT_TRUE(GetClassInfoW(nullptr, reinterpret_cast<LPCWSTR>(name), &wc)) << static_cast<int>(name[1]);
}

}  // namespace
}  // namespace kvtest
