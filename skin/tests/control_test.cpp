// The skin data's class table and store text, the control skinner base (ParentBackground,
// focus rectangle, mouse-down forwarding) and the strip, flip, rotate and parent-background
// painting routines.
#include <gtest/gtest.h>

#include "framework/controls/forms.h"
#include "framework/controls/typinfo.h"
#include "skin/skin_control.h"
#include "skin/skin_data.h"
#include "skin/skin_paint.h"

namespace {

TEST(SkinData, ClassTableDefaultsAndStoreText) {
  TSkinData data(nullptr);
  ASSERT_EQ(data.Skin3rd.Count(), 118);
  EXPECT_EQ(data.Skin3rd.Strings(0), "TCategoryButtons=scrollbar");
  EXPECT_EQ(data.Skin3rd.Strings(1), "TPngSpeedbutton=pngspeedbutton");
  EXPECT_EQ(data.Skin3rd.Strings(2), "TPngBitBtn=pngbitbtn");
  EXPECT_EQ(data.Skin3rd.Strings(3), "TVirtualStringTree=scrollbar");
  EXPECT_EQ(data.Skin3rd.Strings(117), "TOVCDBNUMERICFIELD=Edit");
  // Every line is ClassName=kind; the three doubled classes have one kind both times.
  std::map<AnsiString, std::pair<int, AnsiString>> seen;
  for (int i = 0; i < data.Skin3rd.Count(); ++i) {
    const AnsiString line = data.Skin3rd.Strings(i);
    const size_t eq = line.find('=');
    ASSERT_NE(eq, AnsiString::npos) << line;
    auto& s = seen[line.substr(0, eq)];
    if (s.first) {
      EXPECT_EQ(s.second, line.substr(eq + 1)) << line;
    }
    ++s.first;
    s.second = line.substr(eq + 1);
  }
  std::vector<AnsiString> doubled;
  for (const auto& [name, s] : seen)
    if (s.first == 2) doubled.push_back(name);
  EXPECT_EQ(doubled, (std::vector<AnsiString>{"TDBCheckboxEh", "TLMDFontSizeCombobox", "TWWDBCombobox"}));

  EXPECT_EQ(data.SkinStore(), "(none)");
  data.SetSkinBytes(DefaultSkinData(), DefaultSkinSize());
  EXPECT_EQ(data.SkinStore(), "(none)");  // only the designer is told that a skin is held
  data.SetDesigning(true);
  EXPECT_EQ(data.SkinStore(), "(Good)");
  data.SkinStream()->Clear();
  EXPECT_EQ(data.SkinStore(), "(none)");
}

// A bitmap of W x H whose pixel (x, y) is the colour x + 16 y + 1.
void Numbered(TBitmap& b, int w, int h) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Canvas()->SetPixels(x, y, x + 16 * y + 1);
}

TEST(SkinPainting, FlipAndQuarterTurnsMoveEveryPixel) {
  TBitmap b;
  Numbered(b, 3, 2);
  FlipBitmap(&b);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), 17);
  EXPECT_EQ(b.Canvas()->Pixels(2, 1), 3);
  Numbered(b, 3, 2);
  RotateBitmapLeft(&b);  // (x, y) -> (y, W - 1 - x)
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 3);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.Canvas()->Pixels(y, 2 - x), x + 16 * y + 1) << x << "," << y;
  Numbered(b, 3, 2);
  RotateBitmapRight(&b);  // (x, y) -> (H - 1 - y, x)
  ASSERT_EQ(b.Width(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.Canvas()->Pixels(1 - y, x), x + 16 * y + 1) << x << "," << y;
  TBitmap empty;
  RotateBitmapLeft(&empty);
  FlipBitmap(&empty);
  EXPECT_TRUE(empty.Empty());
}

class SkinBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two side-by-side frames of 10 x 4: frame 2 holds caps 1 (x 0-1), 2 (x 8-9) and a middle of
    // numbered columns; frame 1 is black.
    image.SetPixelFormat(pf24bit);
    image.SetSize(20, 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 10; ++x) {
        image.Canvas()->SetPixels(x, y, 0);
        image.Canvas()->SetPixels(10 + x, y, x < 2 ? kLeftCap : x >= 8 ? kRightCap : 0x100 * (x - 1));
      }
    target.SetPixelFormat(pf24bit);
    target.SetSize(40, 12);
    RECT all{0, 0, 40, 12};
    FillRect(target.Canvas()->Handle(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  TColor At(int x, int y) { return target.Canvas()->Pixels(x, y); }
  static constexpr TColor kLeftCap = 0x0000FF, kRightCap = 0xFF0000;
  TBitmap image, target;
  const TSkinMargins margins{2, 0, 2, 0};
};

TEST_F(SkinBarTest, BarRepeatsTheMiddleUnscaledBetweenItsCaps) {
  DrawSkinBar(target.Canvas()->Handle(), TRect{5, 2, 30, 12}, &image, false, false, 2, 2, margins);
  EXPECT_EQ(At(5, 2), kLeftCap);
  EXPECT_EQ(At(6, 5), kLeftCap);
  for (int x = 7; x < 28; ++x) EXPECT_EQ(At(x, 3), 0x100 * ((x - 7) % 6 + 1)) << x;  // columns repeat by 6
  EXPECT_EQ(At(28, 2), kRightCap);
  EXPECT_EQ(At(29, 5), kRightCap);
  EXPECT_EQ(At(30, 2), 0xFFFFFF);
  EXPECT_EQ(At(10, 6), 0xFFFFFF);  // the frame's own height, not the rectangle's
}

TEST_F(SkinBarTest, TilingRepeatsTheSourceUnscaledAndClipsAtTheDestination) {
  // The middle of frame 2 (x 12-17, six numbered columns) over a rectangle 14 wide, 6 high.
  TileBitmap(target.Canvas()->Handle(), TRect{3, 1, 17, 7}, &image, TRect{12, 0, 18, 4});
  for (int x = 3; x < 17; ++x) EXPECT_EQ(At(x, 5), 0x100 * ((x - 3) % 6 + 1)) << x;
  EXPECT_EQ(At(17, 5), 0xFFFFFF);  // clipped: the third copy stops at the right edge
  EXPECT_EQ(At(5, 7), 0xFFFFFF);   // and the second row at the bottom
  EXPECT_EQ(At(2, 1), 0xFFFFFF);
  // An inverted or empty source draws nothing.
  TileBitmap(target.Canvas()->Handle(), TRect{20, 0, 40, 12}, &image, TRect{18, 0, 12, 4});
  TileBitmap(target.Canvas()->Handle(), TRect{20, 0, 40, 12}, &image, TRect{12, 2, 18, 2});
  EXPECT_EQ(At(25, 5), 0xFFFFFF);
  // A tiled element's centre is laid out the same way, between its kept margins.
  auto frame = RenderSkinImage(TRect{0, 0, 22, 4}, &image, margins, false, true, 2, 2);
  EXPECT_EQ(frame->Canvas()->Pixels(0, 0), kLeftCap);
  for (int x = 2; x < 20; ++x) EXPECT_EQ(frame->Canvas()->Pixels(x, 1), 0x100 * ((x - 2) % 6 + 1)) << x;
  EXPECT_EQ(frame->Canvas()->Pixels(21, 0), kRightCap);
}

TEST_F(SkinBarTest, StretchedBarKeepsCapsUnlessNarrowerThanAFrame) {
  DrawSkinBarStretched(target.Canvas()->Handle(), TRect{0, 0, 30, 8}, &image, false, 2, 2, margins);
  EXPECT_EQ(At(1, 7), kLeftCap);
  EXPECT_EQ(At(2, 7), 0x100);  // the middle starts right after the cap
  EXPECT_EQ(At(28, 0), kRightCap);
  EXPECT_EQ(At(27, 0), 0x600);
  // Eight pixels wide (one frame is ten): the whole frame, caps included, squeezed.
  DrawSkinBarStretched(target.Canvas()->Handle(), TRect{30, 0, 35, 8}, &image, false, 2, 2, margins);
  EXPECT_EQ(At(30, 0), kLeftCap);
  EXPECT_EQ(At(34, 0), kRightCap);
  EXPECT_NE(At(31, 0), kLeftCap);  // a 2-pixel cap shrinks to one pixel
}

// A window control that publishes ParentBackground and records its mouse-down calls.
class TBackgroundBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  bool ParentBackground = true;
  TMouseButton Button = mbRight;
  TShiftState Shift;
  TPoint At{-1, -1};
  int Downs = 0;

 protected:
  void MouseDown(TMouseButton B, TShiftState S, int X, int Y) override {
    Button = B;
    Shift = S;
    At = TPoint{X, Y};
    ++Downs;
  }
};

class SkinControlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterClassProps<TBackgroundBox>("TBackgroundBox",
                                       {BoolProp<TBackgroundBox>(
                                           "ParentBackground", [](TBackgroundBox& b) { return b.ParentBackground; },
                                           [](TBackgroundBox& b, bool v) { b.ParentBackground = v; })});
  }
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 200, 150);
    box = new TBackgroundBox(form);
    box->SetParent(form);
    box->SetBounds(10, 20, 60, 30);
  }
  void TearDown() override { delete form; }
  TSkinData data{nullptr};
  TForm* form = nullptr;
  TBackgroundBox* box = nullptr;
};

// Exposes the protected helpers of the base.
class TProbeSkinner : public TSkinControl {
 public:
  using TSkinControl::DrawFocusRectFor;
  using TSkinControl::ForwardMouseDown;
  using TSkinControl::TSkinControl;
};

TEST_F(SkinControlTest, ParentBackgroundIsSwitchedOffWhileSkinned) {
  struct Case {
    bool option, before, kept;
    bool whileSkinned;
  } cases[] = {
      {false, true, true, false},   // switched off, back on at detach
      {false, false, true, false},  // already off: stays off and is not turned on later
      {true, true, true, true},     // xoParentBackGround leaves it alone
      {false, true, false, true},   // without keep colour nothing is touched
  };
  for (const Case& c : cases) {
    box->ParentBackground = c.before;
    data.Options = c.option ? TSkinOptions() << xoParentBackGround : TSkinOptions();
    auto* skinner = new TProbeSkinner(box);
    skinner->AttachControl(nullptr, &data, box, c.kept, nullptr);
    EXPECT_EQ(box->ParentBackground, c.before && c.whileSkinned) << c.option << c.before << c.kept;
    skinner->Detach();
    EXPECT_EQ(box->ParentBackground, c.before) << c.option << c.before << c.kept;
    delete skinner;
  }
}

TEST_F(SkinControlTest, MouseDownIsForwardedAsALeftPress) {
  auto* skinner = new TProbeSkinner(box);
  skinner->AttachControl(nullptr, &data, box, false, nullptr);
  TMessage m{WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(0xFFFE, 7), 0};  // x is -2 as 16 bits
  skinner->ForwardMouseDown(m);
  EXPECT_EQ(box->Downs, 1);
  EXPECT_EQ(box->Button, mbLeft);
  EXPECT_TRUE(box->Shift.Contains(ssShift));
  EXPECT_TRUE(box->Shift.Contains(ssLeft));
  EXPECT_EQ(box->At.x, -2);
  EXPECT_EQ(box->At.y, 7);
  delete skinner;
}

TEST_F(SkinControlTest, FocusRectangleFollowsTheAlignmentAndStaysInsideTheBounds) {
  TProbeSkinner skinner(nullptr);
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(100, 20);
  HDC dc = b.Canvas()->Handle();
  // Columns of the focus rectangle's top edge drawn for Flags in bounds 0..100 x 0..20.
  auto edges = [&](UINT flags) {
    RECT all{0, 0, 100, 20};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    skinner.DrawFocusRectFor(dc, TRect{0, 0, 100, 20}, u"Ok", flags | DT_SINGLELINE);
    int first = -1, last = -1;
    for (int x = 0; x < 100; ++x)
      for (int y = 0; y < 20; ++y)
        if (b.Canvas()->Pixels(x, y) != 0xFFFFFF) {
          if (first < 0) first = x;
          last = x;
        }
    return std::pair<int, int>{first, last};
  };
  const auto left = edges(DT_LEFT);
  EXPECT_EQ(left.first, 0);  // inflated past the bounds, clipped back to them
  EXPECT_GT(left.second, 2);
  const int width = left.second + 1;
  const auto right = edges(DT_RIGHT);
  EXPECT_EQ(right.second, 99);
  EXPECT_EQ(right.first, 100 - width);
  const auto centre = edges(DT_CENTER);
  EXPECT_NEAR(centre.first, 99 - centre.second, 1);
  EXPECT_EQ(centre.second - centre.first, width + 1);  // unclipped: two more columns than the text
}

TEST_F(SkinControlTest, ParentBackgroundIsPaintedAtTheControlsPlace) {
  std::vector<UINT> seen;
  form->WindowProc = [&](TMessage& m) {
    seen.push_back(m.Msg);
    if (m.Msg != WM_PAINT) return;
    // The parent paints red at its own (10, 20) and green everywhere else.
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    RECT all{0, 0, 200, 150};
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0)), red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, green);
    RECT spot{10, 20, 11, 21};
    FillRect(dc, &spot, red);
    DeleteObject(green);
    DeleteObject(red);
  };
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(80, 40);
  HDC dc = b.Canvas()->Handle();
  RECT all{0, 0, 80, 40};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  PaintParentBackground(box, dc);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_ERASEBKGND, WM_PAINT}));
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), 0x0000FF);  // the parent's (10, 20)
  EXPECT_EQ(b.Canvas()->Pixels(59, 29), 0x00FF00);
  EXPECT_EQ(b.Canvas()->Pixels(60, 30), 0xFFFFFF);  // clipped to the control's bounds
  POINT origin{};
  GetViewportOrgEx(dc, &origin);
  EXPECT_EQ(origin.x, 0);  // the device context is given back as it was
  seen.clear();
  box->SetParent(nullptr);
  PaintParentBackground(box, dc);
  EXPECT_TRUE(seen.empty());
  box->SetParent(form);
}

}  // namespace
