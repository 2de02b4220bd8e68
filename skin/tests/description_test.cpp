#include <gtest/gtest.h>

#include "platform/user/testing.h"
#include "skin/quick_ini.h"
#include "skin/skin_data.h"
#include "skin/skin_manager.h"
#include "skin/tests/skin_test_util.h"

namespace {

TEST(QuickIni, SectionsKeysCommentsAndDuplicates) {
  TQuickIni ini;
  static const char kText[] =
      "; a comment\r\n[personality]\n  Top = top.bmp  \r"
      "Key=first\nkey=second\nEmpty=\nEmpty=later\nnoequals\nsemi=a;b\n"
      "[buttons]\nHex=0x1F\nDollar=$20\nBad=12a\nShort=0x\n[Personality]\nTop=other.bmp\n"
      "[Last]\nCut=yes\0[Hidden]\nX=1";
  ini.LoadFromText(AnsiString(kText, sizeof kText - 1));
  EXPECT_EQ(ini.Sections(), (std::vector<AnsiString>{"personality", "buttons", "Personality", "Last"}));
  struct Case {
    const char *section, *key, *expected;
  } cases[] = {
      {"personality", "TOP", "top.bmp"},    // case-free, trimmed, first section wins
      {"Personality", "key", "first"},      // the first occurrence decides
      {"Personality", "Empty", "dflt"},     // ... even when empty: the default applies
      {"Personality", "noequals", "dflt"},  // a line without "=" never matches
      {"Personality", "semi", "a;b"},       // ";" inside a line is kept
      {"Personality", "Hex", "dflt"},       // keys end at the next section
      {"Last", "Cut", "yes"},               // NUL ends the text
      {"Hidden", "X", "dflt"},
      {"Missing", "Top", "dflt"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ini.ReadString(c.section, c.key, "dflt"), c.expected) << c.section << "/" << c.key;
  EXPECT_EQ(ini.ReadInteger("Buttons", "Hex", -1), 0x1F);
  EXPECT_EQ(ini.ReadInteger("Buttons", "Dollar", -1), 0x20);
  EXPECT_EQ(ini.ReadInteger("Buttons", "Bad", -1), -1);
  EXPECT_EQ(ini.ReadInteger("Buttons", "Short", -1), -1);
}

TEST(SkinColourText, ComponentsAreReducedAndTrailingDigitsNeedTwoBefore) {
  struct Case {
    const char* text;
    TColor expected;
  } cases[] = {
      {"128,64,0", static_cast<TColor>(RGB(128, 64, 0))},   {"128,64", static_cast<TColor>(RGB(128, 0, 0))},
      {"300,256,513", static_cast<TColor>(RGB(44, 0, 1))},  // B too is taken modulo 256
      {"1 2 3 4", static_cast<TColor>(RGB(1, 2, 3))},       // a fourth number is ignored
      {"r10g20b30;", static_cast<TColor>(RGB(10, 20, 30))}, {"", 77},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadSkinColour(c.text, 77), c.expected) << c.text;
}

class SkinLoadTest : public ::testing::Test {
 protected:
  bool Load(const std::string& description) {
    const auto bytes = skintest::ContainerWith(description);
    return data.SetSkinBytes(bytes.data(), bytes.size());
  }
  TSkinData data{nullptr};
};

TEST_F(SkinLoadTest, DefaultSkinElements) {
  ASSERT_TRUE(data.SetSkinBytes(DefaultSkinData(), DefaultSkinSize()));
  EXPECT_TRUE(data.SkinLoaded());
  EXPECT_EQ(data.SkinName(), "Korvane");
  TDataSkinBorder* top = data.Border(2);
  EXPECT_EQ(top->Map->Width(), 60);
  EXPECT_EQ(top->Map->Height(), 48);
  EXPECT_EQ(top->Frame, 2);
  EXPECT_EQ(top->Trans, 1);
  EXPECT_EQ(top->Tile, 0);
  EXPECT_EQ(top->LeftMargin, 6);  // TopTopHeight / TopBotHeight are the caption's side margins
  EXPECT_EQ(top->RightMargin, 6);
  EXPECT_EQ(data.Border(0)->Trans, 0);
  EXPECT_EQ(data.Border(0)->Map->Width(), 8);
  // Caption buttons: the four BUTTON sections, the icon button, and the three MDI controls.
  const auto& b = data.SysButtons();
  ASSERT_EQ(b.size(), 8u);
  EXPECT_EQ(b[0]->IDName, "BUTTON.CLOSE");
  EXPECT_EQ(b[0]->Align, 1);
  EXPECT_EQ(b[0]->Xcoord, 24);
  EXPECT_EQ(b[0]->Frame, 3);
  EXPECT_EQ(b[0]->CombineOp, -1);
  EXPECT_EQ(b[4]->Action, 3);
  EXPECT_FALSE(b[4]->HasImage());  // the icon button's image is cleared (it shows the window icon)
  EXPECT_EQ(b[4]->Frame, 6);
  EXPECT_EQ(b[5]->Action, 7);
  EXPECT_EQ(b[5]->Align, 100);
  EXPECT_EQ(b[5]->Frame, 4);
  // Push buttons and boxes.
  EXPECT_EQ(data.Buttons()->Frame, 5);
  EXPECT_EQ(data.Buttons()->LeftMargin, 4);
  EXPECT_EQ(data.Buttons()->CheckFrame, 12);
  EXPECT_TRUE(data.Buttons()->MouseOver2Given);
  EXPECT_EQ(data.Buttons()->MouseOverColour2, static_cast<TColor>(RGB(20, 40, 90)));
  EXPECT_EQ(data.Buttons()->NormalColour, kColourNotGiven);
  // Title.
  EXPECT_EQ(data.Title()->LeftMargin, 26);
  EXPECT_EQ(data.Title()->RightMargin, 70);
  EXPECT_EQ(data.Title()->ActiveTextColour, kTitleColourNotGiven);
  // Per-section elements with the frame counts the drawing code expects.
  struct Element {
    const char* name;
    int frames, left, top;
  } elements[] = {
      {"MenuItem", 5, 4, 3},           {"MenuBackground", 1, 3, 3},  {"MenuBar", 2, 2, 0},      {"Scrollbar", 23, 0, 0},
      {"HorzScroll", 4, 2, 0},         {"HorzScrollThumb", 3, 4, 0}, {"Tabs", 5, 4, 4},         {"Tab.Pane", 1, 2, 2},
      {"Progress", 2, 3, 3},           {"GroupBox", 1, 5, 0},        {"GroupBoxEdge", 2, 4, 4}, {"Track", 1, 3, 3},
      {"Trackbar.ThumbHorz", 5, 0, 0}, {"Toolbar", 1, 0, 0}};
  for (const Element& e : elements) {
    TDataSkinObject* o = data.Element(e.name);
    ASSERT_NE(o, nullptr) << e.name;
    EXPECT_TRUE(o->HasImage()) << e.name;
    EXPECT_EQ(o->Frame, e.frames) << e.name;
    EXPECT_EQ(o->LeftMargin, e.left) << e.name;
    EXPECT_EQ(o->TopMargin, e.top) << e.name;
  }
  EXPECT_EQ(static_cast<TDataSkinBoxLabel*>(data.Element("GroupBox"))->BackgroundLeftShift, 4);
  EXPECT_EQ(data.Element("UpDown.Horz"), nullptr);  // no section: no element
  // Colours as given.
  EXPECT_EQ(data.Colour(csButtonFace), static_cast<TColor>(RGB(236, 236, 232)));
  EXPECT_TRUE(data.ColourGiven(csHilight));
}

TEST_F(SkinLoadTest, ColourTableDefaults) {
  ASSERT_TRUE(Load("[Personality]\nTop=top.bmp\n"));
  struct Slot {
    int slot;
    uint32_t value;
  } slots[] = {{0, 0xFF000008},  {1, 0xFF000009},  {2, 0xFF000013},  {3, 0xFF00000F},
               {4, 0xFF000012},  {5, 0xFF000014},  {6, 0xFF000014},  {7, 0xFF000010},
               {8, 0xFF000015},  {11, 0xFF00000E}, {12, 0xFF00000D}, {13, 0xFF00000F},
               {14, 0xFF000007}, {15, 0xFF000007}, {16, 0xFF000004}, {18, 0xFF000000}};
  for (const Slot& s : slots) {
    EXPECT_EQ(static_cast<uint32_t>(data.Colour(s.slot)), s.value) << s.slot;
    EXPECT_FALSE(data.ColourGiven(s.slot)) << s.slot;
  }
  // Menubar takes ButtonFace as just read.
  ASSERT_TRUE(Load("[Colours]\nButtonFace=1,2,3\n"));
  EXPECT_EQ(data.Colour(csMenubar), static_cast<TColor>(RGB(1, 2, 3)));
}

TEST_F(SkinLoadTest, FaultyValuesLeaveElementsUnskinnedWithoutACrash) {
  // Frame counts of 0 or below count as 1; an image named .BMP (upper case), a missing entry or
  // margins beyond the image leave the element plain.
  ASSERT_TRUE(
      Load("[Personality]\nTop=top.bmp\nTopFrame=0\nLeft=LEFT.BMP\nRight=missing.bmp\n"
           "[MenuItem]\nImage=menuitem.bmp\nLeftWidth=500\nTopHeight=-7\n"
           "[Button.X]\nAction=5\nButtonImage=close.bmp\nframe=-3\n"
           "[Progress]\nBitmap=progress.bmp\nTile=2\nStyle=1\n"
           "[ToolBars]\nImage=buttons.bmp\nTile=2\n"));
  EXPECT_EQ(data.Border(2)->Frame, 1);
  EXPECT_FALSE(data.Border(0)->HasImage());
  EXPECT_FALSE(data.Border(1)->HasImage());
  EXPECT_EQ(data.SysButtons()[0]->Frame, 3);  // 54 x 16: width / height at most 3.8
  EXPECT_EQ(data.Element("Progress")->Tile, 1);
  EXPECT_EQ(data.Element("Progress")->Frame, 1);
  EXPECT_EQ(data.Element("ToolBars")->Tile, 0);
  TDataSkinObject* item = data.Element("MenuItem");
  auto frame = RenderSkinImage(TRect{0, 0, 40, 10}, item->Map.get(), item->Margins(), false, false, 5, 9);
  EXPECT_EQ(frame->Width(), 40);
}

TEST_F(SkinLoadTest, RefusedContainersKeepThePreviousSkin) {
  ASSERT_TRUE(data.SetSkinBytes(DefaultSkinData(), DefaultSkinSize()));
  const int width = data.Border(2)->Map->Width();
  auto damaged = skintest::ContainerWith("[Personality]\nTop=menubar.bmp\n");
  damaged.resize(damaged.size() / 3);
  EXPECT_FALSE(data.SetSkinBytes(damaged.data(), damaged.size()));
  EXPECT_FALSE(data.SkinLoaded());
  EXPECT_EQ(data.Border(2)->Map->Width(), width);
  // An older format: the reader's "older skin" message, and the skin stays.
  KvMessageBoxLogClear();
  const auto older = skinpack::Container(skinpack::Body(10000, {}));
  EXPECT_FALSE(data.SetSkinBytes(older.data(), older.size()));
  EXPECT_EQ(data.Border(2)->Map->Width(), width);
  ASSERT_EQ(KvMessageBoxLogCount(), 1u);
  KVMSGBOXRECORD r{};
  KvMessageBoxLogGet(0, &r);
  EXPECT_STREQ(r.text, "This is Older Skin File\rPlease update to new version !");
}

TEST(SkinPainting, MixColorsAndSaturation) {
  EXPECT_EQ(MixColors(0xFFFFFF, 0, 75), static_cast<TColor>(RGB(191, 191, 191)));
  EXPECT_EQ(MixColors(0xFFFFFF, 0, 750), static_cast<TColor>(RGB(191, 191, 191)));
  EXPECT_EQ(MixColors(0x123456, 0xABCDEF, 100), 0x123456);  // weight 100 is the first colour
  EXPECT_EQ(MixColors(0x123456, 0xABCDEF, 1000), 0x123456);
  EXPECT_EQ(SaturationScore(RGB(100, 150, 159)), 200);
  EXPECT_EQ(SaturationScore(RGB(255, 0, 0)), 255);
  EXPECT_EQ(SaturationScore(RGB(200, 100, 100)), 128);  // 127.5 rounds to even
}

TEST(SkinPainting, NineSliceKeepsCornersAndDropsMarginsWiderThanTheTarget) {
  TBitmap image;
  image.SetSize(20, 10);
  auto px = [&](int x, int y, TColor c) { image.Canvas()->SetPixels(x, y, c); };
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) px(x, y, x < 10 ? 0x0000FF : 0x00FF00);  // frame 1 red, frame 2 green
  px(0, 0, 0xFF0000);                                                     // frame 1's top-left corner pixel
  auto big = RenderSkinImage(TRect{0, 0, 30, 30}, &image, TSkinMargins{2, 2, 2, 2}, false, false, 2, 1);
  EXPECT_EQ(big->Canvas()->Pixels(0, 0), 0xFF0000);
  EXPECT_EQ(big->Canvas()->Pixels(15, 15), 0x0000FF);
  auto second = RenderSkinImage(TRect{0, 0, 30, 30}, &image, TSkinMargins{2, 2, 2, 2}, false, false, 2, 2);
  EXPECT_EQ(second->Canvas()->Pixels(0, 0), 0x00FF00);
  // Narrower than both margins: stretched without corners, so the corner pixel is scaled away.
  auto narrow = RenderSkinImage(TRect{0, 0, 3, 30}, &image, TSkinMargins{2, 0, 2, 0}, false, false, 2, 1);
  EXPECT_EQ(narrow->Width(), 3);
  TBitmap target;
  target.SetSize(10, 10);
  RECT all{0, 0, 10, 10};
  FillRect(target.Canvas()->Handle(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  GradientFill(target.Canvas()->Handle(), TRect{0, 5, 10, 5}, 0, true, 0);  // 0 pixels high: nothing
  EXPECT_EQ(target.Canvas()->Pixels(3, 5), 0xFFFFFF);
  GradientFill(target.Canvas()->Handle(), TRect{0, 0, 10, 10}, 0, true, 0x0000FF);
  EXPECT_EQ(target.Canvas()->Pixels(3, 0), 0);
  EXPECT_EQ(target.Canvas()->Pixels(3, 9), 0x0000FF);
}

}  // namespace

namespace {

TEST(SkinDataLoaded, OptionalEntriesAndMenuGates) {
  KvUserReset();
  ASSERT_TRUE(KvUserSetOptionalEntry("GetScrollBarInfo", FALSE));
  {
    TSkinData data(nullptr);
    EXPECT_EQ(skin_user32::GetScrollBarInfo, nullptr);
    EXPECT_NE(skin_user32::TrackMouseEvent, nullptr);
    data.Loaded();
    EXPECT_FALSE(data.SkinControls.Contains(xcScrollbar));  // removed with the missing entry
    EXPECT_FALSE(data.SkinControls.Contains(xcMenuItem));   // xcMainMenu on: menu items are not skinned
    EXPECT_TRUE(data.SkinControls.Contains(xcSystemMenu));
    EXPECT_FALSE(data.Active());  // nothing loaded: Active stays off
  }
  KvUserSetOptionalEntry("GetScrollBarInfo", TRUE);
  {
    TSkinData data(nullptr);
    data.SkinControls >> xcMainMenu;
    data.Loaded();
    EXPECT_TRUE(data.SkinControls.Contains(xcScrollbar));
    EXPECT_FALSE(data.SkinControls.Contains(xcSystemMenu));  // without xcMainMenu
  }
  TSkinManage::Shutdown();
  KvUserReset();
}

}  // namespace
