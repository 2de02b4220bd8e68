// The print road on the virtual printer: paper, pages, items at their device pixels,
// failures through ErrorNum / ErrorMessage, the print dialog and the debug boxes.
#include "print_control/tests/fixture.h"

namespace {

using namespace zorbel_test;

// The two-page example job: a 14-point text, a FontSize text and a 3-pixel line on
// page 1, a 30 x 30 mm picture on page 2.
std::string ExampleJob(const std::string& picture) {
  return "148,210$^<font>=14,20,15,Invoice`20,30,Name`<line>20,35,120,35,1,3#*<image>100,20,30,30," + Base64(picture);
}

struct Geometry {
  int dpi_x, dpi_y, repair_x, repair_y;
};

class ExampleJobTest : public PrintTest, public ::testing::WithParamInterface<Geometry> {};

TEST_P(ExampleJobTest, ItemsLandOnTheirDevicePixels) {
  const Geometry g = GetParam();
  UseDpi(g.dpi_x, g.dpi_y);
  control_.FontSize = 10;
  control_.RepairX = g.repair_x;
  control_.RepairY = g.repair_y;
  Print(ExampleJob(BlackPicture("jpeg")));
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  ASSERT_EQ(Documents(), 1u);
  KvPrintDocument d = LastDocument();
  EXPECT_EQ(d.pages, 2u);
  EXPECT_EQ(d.paperSize, DMPAPER_USER);
  EXPECT_EQ(d.paperWidth, 1480);
  EXPECT_EQ(d.paperLength, 2100);
  EXPECT_NEAR(d.pageWidthPx, 148 / 25.4 * g.dpi_x, 1.0);
  EXPECT_NEAR(d.pageHeightPx, 210 / 25.4 * g.dpi_y, 1.0);
  auto x = [&](int mm) { return Px(mm + g.repair_x, g.dpi_x); };
  auto y = [&](int mm) { return Px(mm + g.repair_y, g.dpi_y); };

  Page one(PagePath(d, 1));
  ASSERT_TRUE(one.ok());
  // Texts: ink starts at their corner, none to the left of it or above it.
  for (auto [mx, my] : {std::pair{20, 15}, std::pair{20, 30}}) {
    EXPECT_GT(one.ink(x(mx), y(my), x(mx) + g.dpi_x / 4, y(my) + g.dpi_y / 10), 0) << my;
    EXPECT_EQ(one.ink(0, y(my), x(mx) - 1, y(my) + g.dpi_y / 10), 0) << my;
  }
  EXPECT_EQ(one.ink(0, 0, one.width(), y(15) - 1), 0);
  // The 14-point text is taller than the 10-point one.
  auto rows = [&](int my) {
    int n = 0;
    for (int r = y(my); r < y(my) + g.dpi_y / 5; ++r) n += one.ink(x(20), r, x(60), r + 1) > 0 ? 1 : 0;
    return n;
  };
  EXPECT_GT(rows(15), rows(30));
  // The line: 3 device pixels thick around its row, from x(20) to x(120).
  const int ly = y(35);
  EXPECT_TRUE(one.dark(x(70), ly - 1));
  EXPECT_TRUE(one.dark(x(70), ly + 1));
  EXPECT_FALSE(one.dark(x(70), ly - 3));
  EXPECT_FALSE(one.dark(x(70), ly + 3));
  EXPECT_TRUE(one.dark(x(20) + 1, ly));
  EXPECT_FALSE(one.dark(x(20) - 3, ly));
  EXPECT_FALSE(one.dark(x(120) + 3, ly));

  // The picture fills left = x(100), top = y(20), right = left + W, bottom = top + H.
  Page two(PagePath(d, 2));
  ASSERT_TRUE(two.ok());
  const int l = x(100), t = y(20), r = l + Px(30, g.dpi_x), b = t + Px(30, g.dpi_y);
  EXPECT_TRUE(two.dark(l + 1, t + 1));
  EXPECT_TRUE(two.dark(r - 2, b - 2));
  EXPECT_TRUE(two.dark((l + r) / 2, (t + b) / 2));
  EXPECT_FALSE(two.dark(l - 2, t + 5));
  EXPECT_FALSE(two.dark(l + 5, t - 2));
  EXPECT_FALSE(two.dark(r + 1, b - 5));
  EXPECT_FALSE(two.dark(r - 5, b + 1));
  EXPECT_EQ(two.ink(0, 0, two.width(), t - 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, ExampleJobTest,
                         ::testing::Values(Geometry{600, 600, 0, 0}, Geometry{600, 300, 0, 0},
                                           Geometry{600, 600, 3, -2}, Geometry{300, 600, -5, 7}),
                         [](const ::testing::TestParamInfo<Geometry>& info) {
                           const Geometry& g = info.param;
                           auto n = [](int v) { return (v < 0 ? "m" : "") + std::to_string(v < 0 ? -v : v); };
                           return "dpi" + n(g.dpi_x) + "x" + n(g.dpi_y) + "_repair" + n(g.repair_x) + "_" +
                                  n(g.repair_y);
                         });

TEST_F(PrintTest, EdgeCases) {
  struct Case {
    const char* job;
    DWORD pages;  // pages of the document that was ended; 0: no document
    int error_num;
    const char* message;
    int paper_width = 2100, paper_length = 2970;
  } cases[] = {
      {"10,10,Hi", 1, 0, ""},
      {"100,50$^10,10,Hi", 1, 0, "", 1000, 500},
      {"abc,250$^10,10,Hi", 1, 0, "", 2100, 2500},
      {"10,10,A`", 1, 2, "'' is not a valid integer value"},
      {"10,10,A#*", 2, 2, "'' is not a valid integer value"},
      {"", 1, 2, "'' is not a valid integer value"},
      {"[LINE]10,10,50,10,2,1,", 1, 2, "'[LINE]10' is not a valid integer value"},
      {"<line>10,10,50,10,2,1", 1, 0, ""},
      {"<line>10,10,50,10", 1, 2, "'' is not a valid integer value"},
      {"<line>10,10,50,10,,2", 1, 2, "'' is not a valid pen style"},
      {"10.5,10,x", 1, 2, "'10.5' is not a valid integer value"},
      {"10,10", 1, 2, "'' is not a valid integer value"},
      {"<font>=0,10,10,x", 1, 0, ""},
      {"<font>=x,10,10,x", 1, 2, "'x' is not a valid integer value"},
      {"99999999,10,x", 1, 2, "Position 99999999 mm is out of range"},
      {"<image>1,1,10,10,AAAA", 1, 0, ""},  // an unknown picture kind is skipped
      {"<line>1,1,100,1,1,100000000", 1, 2, "Pen width 100000000 is out of range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.job);
    KvPrintClearDocuments();
    control_.ErrorNum = 0;
    control_.ErrorMessage.clear();
    Print(c.job);
    EXPECT_EQ(control_.ErrorNum, c.error_num);
    EXPECT_EQ(control_.ErrorMessage, c.message);
    ASSERT_EQ(Documents(), c.pages ? 1u : 0u);
    if (!c.pages) continue;
    KvPrintDocument d = LastDocument();
    EXPECT_EQ(d.pages, c.pages);
    EXPECT_FALSE(d.aborted);
    EXPECT_EQ(d.paperSize, DMPAPER_USER);
    EXPECT_EQ(d.paperWidth, c.paper_width);
    EXPECT_EQ(d.paperLength, c.paper_length);
  }
}

TEST_F(PrintTest, AFailureInTheMiddleStillPrintsWhatCameBefore) {
  Print("10,10,Before`<line>10,30,100,30,1,3`10,bad,x`10,50,After");
  EXPECT_EQ(control_.ErrorNum, 2);
  EXPECT_EQ(control_.ErrorMessage, "'bad' is not a valid integer value");
  ASSERT_EQ(Documents(), 1u);
  Page page(PagePath(LastDocument(), 1));
  ASSERT_TRUE(page.ok());
  EXPECT_GT(page.ink(Px(10, 600), Px(10, 600), Px(40, 600), Px(15, 600)), 0);
  EXPECT_TRUE(page.dark(Px(50, 600), Px(30, 600)));
  EXPECT_EQ(page.ink(0, Px(45, 600), page.width(), page.height()), 0);
}

// Texts keep the canvas' default brush: each run is painted on an opaque white cell, so a
// run of blanks clears what was drawn under it.
TEST_F(PrintTest, TextCellsAreOpaque) {
  control_.FontSize = 10;
  Print("<line>5,11,100,11,1,5`10,10,        ");
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  Page page(PagePath(LastDocument(), 1));
  ASSERT_TRUE(page.ok());
  const int row = Px(11, 600);
  EXPECT_TRUE(page.dark(Px(7, 600), row));
  EXPECT_FALSE(page.dark(Px(10, 600) + 5, row));
  EXPECT_TRUE(page.dark(Px(90, 600), row));
}

TEST_F(PrintTest, PrinterRefusals) {
  KvPrintInjectFailure(KV_PRINT_FAIL_STARTDOC);
  Print("10,10,x");
  EXPECT_EQ(control_.ErrorNum, 2);
  EXPECT_FALSE(control_.ErrorMessage.empty());
  KvPrintInjectFailure(KV_PRINT_FAIL_NO_PRINTER);
  SetPrinter(new TPrinter);
  control_.ErrorNum = 0;
  Print("10,10,x");
  EXPECT_EQ(control_.ErrorNum, 2);
  EXPECT_EQ(Documents(), 0u);
}

TEST_F(PrintTest, PrintDialog) {
  control_.IsPrintSetup = 1;
  KvPrintDialogScript(KV_PRINT_DIALOG_CANCEL, nullptr, 0, 0);
  Print("10,10,x");
  EXPECT_EQ(KvPrintDialogShownCount(), 1u);
  EXPECT_EQ(Documents(), 0u);
  EXPECT_EQ(control_.ErrorNum, 0);

  KvPrintDialogScript(KV_PRINT_DIALOG_FAIL, nullptr, 0, CDERR_DIALOGFAILURE);
  Print("10,10,x");
  EXPECT_EQ(Documents(), 0u);
  EXPECT_EQ(control_.ErrorNum, 1);
  EXPECT_EQ(control_.ErrorMessage, "Print dialog failed (65535)");

  KvPrintDialogScript(KV_PRINT_DIALOG_OK, nullptr, 0, 0);
  Print("10,10,x");
  EXPECT_EQ(Documents(), 1u);

  // Any value other than 1 prints without asking.
  control_.IsPrintSetup = 2;
  Print("10,10,x");
  EXPECT_EQ(KvPrintDialogShownCount(), 3u);
  EXPECT_EQ(Documents(), 2u);
}

TEST_F(PrintTest, ErrorNumIsNeverReset) {
  Print("10,10,x`");
  EXPECT_EQ(control_.ErrorNum, 2);
  Print("10,10,x");
  EXPECT_EQ(Documents(), 2u);
  EXPECT_EQ(control_.ErrorNum, 2);
  EXPECT_EQ(control_.ErrorMessage, "'' is not a valid integer value");
}

TEST_F(PrintTest, DebugBoxesOnlyWithIsDebug) {
  Print("10,10,x`");
  EXPECT_TRUE(zorbel::MessageBoxLog().empty());
  control_.IsDebug = 1;
  Print("10,10,x`");
  auto log = zorbel::MessageBoxLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(Utf8(log[0]), "错误类型：EConvertError");
  EXPECT_EQ(Utf8(log[1]), "错误信息: '' is not a valid integer value");
}

// In GBK the trail byte of a double-byte character can be a grave accent; the markers
// are found in the wide form, so such a character stays inside its text.
TEST_F(PrintTest, TrailBytesAreNeverMarkers) {
  ASSERT_EQ(GetACP(), 936u);
  std::u16string found;
  for (char16_t c = 0x4E00; c < 0x9FA5 && found.empty(); ++c) {
    std::string gbk = kv::WideToAnsi(std::u16string(1, c));
    if (gbk.size() == 2 && gbk[1] == '`') found.assign(1, c);
  }
  ASSERT_FALSE(found.empty());
  control_.Start_Print(u"10,10,A" + found + u"B#*10,10," + found);
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  EXPECT_EQ(LastDocument().pages, 2u);
  // PrintStr keeps the job in the ANSI code page.
  EXPECT_EQ(kv::AnsiToWide(control_.PrintStr), u"10,10,A" + found + u"B#*10,10," + found);
}

}  // namespace

namespace {

using namespace zorbel_test;

// The dark and light pixels of a page row from x0 on, '#' for dark.
std::string RowPattern(const Page& page, int x0, int y, int n) {
  std::string s;
  for (int x = x0; x < x0 + n; ++x) s += page.dark(x, y) ? '#' : '.';
  return s;
}

TEST_F(PrintTest, EachPenStyleDrawsItsPattern) {
  struct Case {
    const char* style;
    const char* pattern;  // the first 24 pixels of the line from its start
  } cases[] = {
      {"1", "########################"}, {"2", "##################......"}, {"3", "###...###...###...###..."},
      {"4", "#########......###......"}, {"5", "#########...###...###..."}, {"6", "........................"},
      {"7", "########################"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    Print(std::string("<line>10,20,100,20,") + c.style + ",1");
    EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
    Page page(PagePath(LastDocument(), 1));
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(RowPattern(page, 236, 472, 24), c.pattern);
    EXPECT_EQ(RowPattern(page, 236, 471, 24), "........................");
    EXPECT_EQ(RowPattern(page, 236, 473, 24), "........................");
  }
}

// Chinese text is drawn in its own glyphs: a many-stroked character inks far more than
// the one-stroke character, where a missing glyph would draw the same box for both.
TEST_F(PrintTest, ChineseTextIsInked) {
  Print("<font>=12,10,10,增`<font>=12,10,30,一");
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  Page page(PagePath(LastDocument(), 1));
  ASSERT_TRUE(page.ok());
  // 12 points at 600 dpi: a 100-pixel em from (236, 236) and (236, 708).
  const int many = page.ink(236, 236, 336, 354), one = page.ink(236, 708, 336, 826);
  EXPECT_GT(one, 100);
  EXPECT_GT(many, 3 * one);
}

// A size of 0 leaves the height to the device: 12 pixels at 96 dpi, 75 at 600 dpi, the
// height of 9 points.
TEST_F(PrintTest, FontSizeZeroIsTheDevicesDefaultHeight) {
  auto inkOf = [&](const char* size) {
    Print(std::string("<font>=") + size + ",10,10,HHHH");
    EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
    Page page(PagePath(LastDocument(), 1));
    return page.ink(0, 0, page.width(), 472);
  };
  const int zero = inkOf("0");
  EXPECT_GT(zero, 0);
  EXPECT_EQ(zero, inkOf("9"));
  EXPECT_NE(zero, inkOf("10"));
}

// The printable area's corner is the origin; the physical offset is not corrected.
TEST_F(PrintTest, ThePrintableOffsetShiftsThePage) {
  setenv("KORVANE_PRINT_OFFSETX", "50", 1);   // 5 mm: 118 pixels at 600 dpi
  setenv("KORVANE_PRINT_OFFSETY", "100", 1);  // 10 mm: 236 pixels
  UseDpi(600, 600);
  Print("<line>10,20,100,20,1,1");
  unsetenv("KORVANE_PRINT_OFFSETX");
  unsetenv("KORVANE_PRINT_OFFSETY");
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  KvPrintDocument d = LastDocument();
  EXPECT_EQ(d.offsetXPx, 118);
  EXPECT_EQ(d.offsetYPx, 236);
  Page page(PagePath(d, 1));
  ASSERT_TRUE(page.ok());
  EXPECT_EQ(RowPattern(page, 350, 708, 8), "....####");  // from 118 + 236 = 354
  EXPECT_FALSE(page.dark(600, 472));
  EXPECT_FALSE(page.dark(600, 707));
  EXPECT_FALSE(page.dark(600, 709));
}

TEST_F(PrintTest, ARefusedEndDocFailsThePrint) {
  KvPrintInjectFailure(KV_PRINT_FAIL_ENDDOC);
  Print("10,10,x");
  EXPECT_EQ(control_.ErrorNum, 2);
  EXPECT_FALSE(control_.ErrorMessage.empty());
  EXPECT_TRUE(LastDocument().aborted);
}

// The device mode the dialog gave is the one the job is printed with, and it stays with
// the printer for the next print of the process.
TEST_F(PrintTest, TheDialogsDeviceModeCarriesOver) {
  control_.IsPrintSetup = 1;
  KvPrintDialogScript(KV_PRINT_DIALOG_OK, nullptr, 3, 0);
  Print("100,50$^10,10,x");
  EXPECT_EQ(control_.ErrorNum, 0) << control_.ErrorMessage;
  KvPrintDocument d = LastDocument();
  EXPECT_EQ(d.copies, 3);
  EXPECT_EQ(d.paperWidth, 1000);
  EXPECT_EQ(d.paperLength, 500);
  control_.IsPrintSetup = 0;
  Print("10,10,x");
  d = LastDocument();
  EXPECT_EQ(d.copies, 3);
  EXPECT_EQ(d.paperWidth, 2100);
  EXPECT_EQ(d.paperLength, 2970);
}

// Paper sizes that convert are handed to the printer, which takes what it can: a side
// under 1 mm is not taken (the printer's own stands), and a page beyond what the
// printer can hold fails the job without leaving the printer unusable.
TEST_F(PrintTest, ThePrinterJudgesThePaper) {
  struct Case {
    const char* job;
    int error_num;
    int width, length;
  } cases[] = {
      {"0,0$^10,10,x", 0, 2100, 2970},      {"-5,100$^10,10,x", 0, 2100, 1000},
      {"5000,100$^10,10,x", 0, 2100, 1000},  // 50000 tenths is negative in 16 bits
      {"3000,3000$^10,10,x", 2, 0, 0},      {"100,50$^10,10,x", 0, 1000, 500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.job);
    KvPrintClearDocuments();
    control_.ErrorNum = 0;
    Print(c.job);
    EXPECT_EQ(control_.ErrorNum, c.error_num) << control_.ErrorMessage;
    if (c.error_num) {
      EXPECT_EQ(control_.ErrorMessage, "Printer selected is not valid");
      EXPECT_EQ(Documents(), 0u);
      continue;
    }
    ASSERT_EQ(Documents(), 1u);
    EXPECT_EQ(LastDocument().paperWidth, c.width);
    EXPECT_EQ(LastDocument().paperLength, c.length);
  }
}

}  // namespace
