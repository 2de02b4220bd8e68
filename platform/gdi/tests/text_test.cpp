// Text with the fixed-cell test font at exact pixels, DrawText's flags, metrics, and the CJK
// font's ink.
#include <cstring>
#include <iterator>
#include <string>

#include "platform/gdi/tests/gdi_test_util.h"

using kvtest::Canvas;
using kvtest::Px;

namespace {

// Test font of 10-pixel cells: ascent 8, descent 2, 5 pixels wide.
struct TestFont {
  HFONT font;
  explicit TestFont(int height = -10, int width = 0, bool underline = false) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfUnderline = underline;
    std::memcpy(lf.lfFaceName, u"KvTestFont", sizeof(u"KvTestFont"));
    font = CreateFontIndirectW(&lf);
  }
  ~TestFont() { DeleteObject(font); }
};

struct TextCanvas : Canvas {
  TestFont f;
  HGDIOBJ oldFont;
  TextCanvas(int w, int h) : Canvas(w, h) {
    oldFont = SelectObject(dc, f.font);
    SetBkMode(dc, TRANSPARENT);
  }
  ~TextCanvas() { SelectObject(dc, oldFont); }
};

TEST(TestFontText, GlyphCellsAtExactPixels) {
  TextCanvas c(30, 16);
  ASSERT_TRUE(TextOutW(c.dc, 2, 3, u"A B", 3));
  EXPECT_EQ(c.Row(2), std::string(30, '.'));
  EXPECT_EQ(c.Row(3), "..#####.....#####.............");
  EXPECT_EQ(c.Row(12), "..#####.....#####.............");
  EXPECT_EQ(c.Row(13), std::string(30, '.'));
  // Opaque: the space's cell takes the background colour.
  SetBkMode(c.dc, OPAQUE);
  SetBkColor(c.dc, RGB(255, 0, 0));
  TextOutW(c.dc, 2, 3, u"A B", 3);
  EXPECT_EQ(c.Row(5, RGB(255, 0, 0)), ".......#####..................");
}

TEST(TestFontText, AlignmentAndCurrentPosition) {
  struct Case {
    UINT align;
    int x, y;
    RECT cell;
  };
  const std::vector<Case> cases = {
      {TA_LEFT | TA_TOP, 4, 2, {4, 2, 14, 12}},
      {TA_LEFT | TA_BASELINE, 4, 10, {4, 2, 14, 12}},
      {TA_RIGHT | TA_BOTTOM, 20, 12, {10, 2, 20, 12}},
      {TA_CENTER | TA_TOP, 15, 0, {10, 0, 20, 10}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.align);
    TextCanvas c(30, 16);
    SetTextAlign(c.dc, k.align);
    TextOutW(c.dc, k.x, k.y, u"AB", 2);
    RECT ink = c.Ink();
    EXPECT_EQ(ink.left, k.cell.left);
    EXPECT_EQ(ink.top, k.cell.top);
    EXPECT_EQ(ink.right, k.cell.right);
    EXPECT_EQ(ink.bottom, k.cell.bottom);
  }
  TextCanvas c(30, 16);
  SetTextAlign(c.dc, TA_UPDATECP);
  MoveToEx(c.dc, 1, 1, nullptr);
  TextOutW(c.dc, 99, 99, u"A", 1);
  TextOutW(c.dc, 99, 99, u"B", 1);
  EXPECT_EQ(c.Ink().right, 11);
  POINT cur;
  GetCurrentPositionEx(c.dc, &cur);
  EXPECT_EQ(cur.x, 11);
}

TEST(TestFontText, ExtTextOutOpaqueClippedAndAdvances) {
  TextCanvas c(30, 12);
  RECT r{0, 0, 8, 12};
  SetBkColor(c.dc, RGB(0, 0, 255));
  ASSERT_TRUE(ExtTextOutW(c.dc, 2, 1, ETO_OPAQUE | ETO_CLIPPED, &r, u"AB", 2, nullptr));
  EXPECT_EQ(c.Row(0, RGB(0, 0, 255)), "########......................");
  EXPECT_EQ(c.Row(5), "..######......................");  // clipped at x = 8
  TextCanvas d(30, 12);
  const INT dx[2] = {9, 5};
  ASSERT_TRUE(ExtTextOutW(d.dc, 0, 0, 0, nullptr, u"AB", 2, dx));
  EXPECT_EQ(d.Row(0), "#####....#####................");
  // ANSI text: advances per byte.
  TextCanvas e(30, 12);
  const INT adx[2] = {7, 5};
  ASSERT_TRUE(ExtTextOutA(e.dc, 0, 0, 0, nullptr, "AB", 2, adx));
  EXPECT_EQ(e.Row(0), "#####..#####..................");
  SetTextCharacterExtra(e.dc, 2);
  SIZE sz;
  GetTextExtentPoint32W(e.dc, u"AB", 2, &sz);
  EXPECT_EQ(sz.cx, 14);
}

TEST(TestFontText, MetricsAndExtents) {
  TextCanvas c(4, 4);
  TEXTMETRICW tm;
  ASSERT_TRUE(GetTextMetricsW(c.dc, &tm));
  EXPECT_EQ(tm.tmHeight, 10);
  EXPECT_EQ(tm.tmAscent, 8);
  EXPECT_EQ(tm.tmDescent, 2);
  EXPECT_EQ(tm.tmInternalLeading, 0);
  EXPECT_EQ(tm.tmAveCharWidth, 5);
  SIZE sz;
  ASSERT_TRUE(GetTextExtentPoint32A(c.dc, "abcd", 4, &sz));
  EXPECT_EQ(sz.cx, 20);
  EXPECT_EQ(sz.cy, 10);
  char face[32];
  EXPECT_EQ(GetTextFaceA(c.dc, 32, face), 11);
  EXPECT_STREQ(face, "KvTestFont");
  TestFont wide(12, 3);
  SelectObject(c.dc, wide.font);
  GetTextExtentPoint32W(c.dc, u"xy", 2, &sz);
  EXPECT_EQ(sz.cx, 6);
  EXPECT_EQ(sz.cy, 12);
  SelectObject(c.dc, c.f.font);
}

struct DrawCase {
  const char* name;
  const char16_t* text;
  UINT format;
  RECT rc;
  RECT ink;  // expected ink box ({0,0,0,0}: none)
  int ret;
};

TEST(TestFontText, DrawTextFlags) {
  const std::vector<DrawCase> cases = {
      {"left top", u"AB", DT_LEFT | DT_TOP, {2, 1, 40, 30}, {2, 1, 12, 11}, 10},
      {"centre vcentre", u"AB", DT_CENTER | DT_VCENTER | DT_SINGLELINE, {0, 0, 40, 20}, {15, 5, 25, 15}, 15},
      {"right bottom", u"AB", DT_RIGHT | DT_BOTTOM | DT_SINGLELINE, {0, 0, 40, 30}, {30, 20, 40, 30}, 30},
      {"two lines", u"AB\r\nC", DT_LEFT, {0, 0, 40, 30}, {0, 0, 10, 20}, 20},
      {"word break", u"AA BB", DT_WORDBREAK, {0, 0, 20, 30}, {0, 0, 10, 20}, 20},
      {"single line ignores breaks", u"AB\nC", DT_SINGLELINE, {0, 0, 40, 30}, {0, 0, 20, 10}, 10},
      {"clipped", u"ABCDEFGH", DT_SINGLELINE, {0, 0, 12, 30}, {0, 0, 12, 10}, 10},
      {"end ellipsis", u"AAAAAAAA", DT_SINGLELINE | DT_END_ELLIPSIS, {0, 0, 22, 30}, {0, 0, 20, 10}, 10},
      {"prefix removed", u"&&A", DT_SINGLELINE, {0, 0, 40, 30}, {0, 0, 10, 10}, 10},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    TextCanvas c(40, 30);
    RECT rc = k.rc;
    EXPECT_EQ(DrawTextW(c.dc, k.text, -1, &rc, k.format), k.ret);
    RECT ink = c.Ink();
    EXPECT_EQ(ink.left, k.ink.left);
    EXPECT_EQ(ink.top, k.ink.top);
    EXPECT_EQ(ink.right, k.ink.right);
    EXPECT_EQ(ink.bottom, k.ink.bottom);
  }
}

TEST(TestFontText, DrawTextPrefixUnderlineAndCalcRect) {
  TextCanvas c(40, 20);
  RECT rc{0, 0, 40, 20};
  DrawTextW(c.dc, u"A& B", -1, &rc, DT_SINGLELINE);
  // The prefixed space is underlined one row below the baseline.
  EXPECT_EQ(c.Row(9).substr(0, 15), "###############");
  EXPECT_EQ(c.Row(5).substr(0, 15), "#####.....#####");
  TextCanvas n(40, 20);
  DrawTextW(n.dc, u"A& B", -1, &rc, DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(n.Ink().right, 20);  // "&" drawn as a character
  RECT calc{5, 5, 25, 5};
  EXPECT_EQ(DrawTextW(n.dc, u"AA BB CC", -1, &calc, DT_CALCRECT | DT_WORDBREAK), 30);
  EXPECT_EQ(calc.left, 5);
  EXPECT_EQ(calc.right, 15);
  EXPECT_EQ(calc.bottom, 35);
  RECT one{0, 0, 1, 1};
  EXPECT_EQ(DrawTextA(n.dc, "abc", 3, &one, DT_CALCRECT | DT_SINGLELINE), 10);
  EXPECT_EQ(one.right, 15);
  EXPECT_EQ(DrawTextW(n.dc, u"x", 1, nullptr, 0), 0);
}

TEST(TestFontText, ExpandTabs) {
  TextCanvas c(100, 12);
  RECT rc{0, 0, 100, 12};
  DrawTextW(c.dc, u"A\tB", -1, &rc, DT_SINGLELINE | DT_EXPANDTABS);
  // Tab stops every 8 average character widths: 40 pixels.
  EXPECT_EQ(c.Row(0).substr(0, 46), "#####" + std::string(35, '.') + "#####.");
}

TEST(TestFontText, ExtremeArgumentsAreClampedOrRefused) {
  TextCanvas c(20, 12);
  const INT dx[2] = {INT32_MAX, INT32_MAX};
  EXPECT_TRUE(ExtTextOutW(c.dc, 0, 0, 0, nullptr, u"AB", 2, dx));
  EXPECT_FALSE(ExtTextOutW(c.dc, 0, 0, 0, nullptr, nullptr, 2, nullptr));
  EXPECT_FALSE(TextOutW(c.dc, 0, 0, u"A", -1));
  RECT huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  EXPECT_GT(DrawTextW(c.dc, u"AB CD", -1, &huge, DT_CENTER | DT_VCENTER | DT_SINGLELINE), 0);
  std::u16string lots(100000, u'A');
  SIZE sz;
  ASSERT_TRUE(GetTextExtentPoint32W(c.dc, lots.data(), int(lots.size()), &sz));
  EXPECT_EQ(sz.cx, 500000);
  RECT calc{INT32_MAX - 10, 0, INT32_MAX, 0};
  EXPECT_GT(DrawTextW(c.dc, lots.data(), int(lots.size()), &calc, DT_CALCRECT | DT_SINGLELINE), 0);
}

TEST(TestFontText, DrawsOnMonochromeAndSixteenBitTargets) {
  TestFont f;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateBitmap(16, 12, 1, 1, nullptr);
  HGDIOBJ ob = SelectObject(dc, mono);
  PatBlt(dc, 0, 0, 16, 12, WHITENESS);
  HGDIOBJ of = SelectObject(dc, f.font);
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, 1, 1, u"A", 1);
  EXPECT_EQ(GetPixel(dc, 3, 5), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dc, 7, 5), RGB(255, 255, 255));
  SelectObject(dc, ob);
  DeleteObject(mono);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, 12, 1, 16, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP sec = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ob = SelectObject(dc, sec);
  SetTextColor(dc, RGB(255, 0, 0));
  TextOutW(dc, 1, 1, u"A", 1);
  EXPECT_EQ(GetPixel(dc, 3, 5), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 7, 5), RGB(0, 0, 0));
  SelectObject(dc, ob);
  SelectObject(dc, of);
  DeleteObject(sec);
  DeleteDC(dc);
}

TEST(CjkText, InkLiesInTheTextCell) {
  Canvas c(120, 60);
  LOGFONTW lf{};
  lf.lfHeight = -24;
  std::memcpy(lf.lfFaceName, u"宋体", sizeof(u"宋体"));
  HFONT f = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(c.dc, f);
  SetBkMode(c.dc, TRANSPARENT);
  SIZE sz;
  ASSERT_TRUE(GetTextExtentPoint32W(c.dc, u"发票", 2, &sz));
  EXPECT_NEAR(sz.cx, 48, 4);
  TEXTMETRICW tm;
  GetTextMetricsW(c.dc, &tm);
  EXPECT_GE(tm.tmHeight, 24);
  EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 24);
  ASSERT_TRUE(TextOutW(c.dc, 10, 8, u"发票", 2));
  RECT ink = c.Ink();
  EXPECT_GE(ink.left, 10);
  EXPECT_GE(ink.top, 8);
  EXPECT_LE(ink.right, 10 + sz.cx + 1);
  EXPECT_LE(ink.bottom, 8 + tm.tmHeight);
  EXPECT_GT(ink.right - ink.left, 30);  // both characters inked
  EXPECT_GT(ink.bottom - ink.top, 15);
  // A positive height is the cell height.
  lf.lfHeight = 30;
  HFONT cell = CreateFontIndirectW(&lf);
  SelectObject(c.dc, cell);
  GetTextMetricsW(c.dc, &tm);
  EXPECT_NEAR(tm.tmHeight, 30, 1);
  SelectObject(c.dc, old);
  DeleteObject(f);
  DeleteObject(cell);
}

// A string's extent (shaped once for drawing) and the end of its advances (measured on a
// line) agree, for text in one font and text with fallback fonts, in both directions.
TEST(CjkText, ExtentAndAdvancesAgree) {
  ASSERT_TRUE(KvGdiMapFace("Latin Face", "DejaVu Sans"));
  Canvas c(40, 40);
  const char16_t* faces[] = {u"宋体", u"Latin Face"};
  const char16_t* texts[] = {u"发票号码 No. 0012345678  金额 1,234.56", u"Invoice AV Wa fi", u"שלום עולם abc",
                             u"a\u0301 e\u0308", u"mixed 中文 and English", u" "};
  for (const char16_t* face : faces) {
    SCOPED_TRACE(face == faces[0] ? "CJK face" : "Latin face");
    LOGFONTW lf{};
    lf.lfHeight = -37;
    std::memcpy(lf.lfFaceName, face, (std::char_traits<char16_t>::length(face) + 1) * sizeof(char16_t));
    HFONT f = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(c.dc, f);
    for (size_t i = 0; i < std::size(texts); ++i) {
      SCOPED_TRACE(i);
      const char16_t* t = texts[i];
      const int n = int(std::char_traits<char16_t>::length(t));
      SIZE shaped, measured;
      ASSERT_TRUE(GetTextExtentPoint32W(c.dc, t, n, &shaped));
      ASSERT_TRUE(GetTextExtentExPointW(c.dc, t, n, -1, nullptr, nullptr, &measured));
      EXPECT_GT(shaped.cx, 0);
      EXPECT_EQ(shaped.cx, measured.cx);
    }
    SelectObject(c.dc, old);
    DeleteObject(f);
  }
  KvGdiMapFace("Latin Face", nullptr);
}

TEST(CjkText, AnsiFunctionsTakeTheAnsiCodePage) {
  Canvas c(80, 40);
  LOGFONTA lf{};
  lf.lfHeight = -20;
  std::strcpy(lf.lfFaceName, "Tahoma");
  HFONT f = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(c.dc, f);
  // "发票" in GBK.
  const char gbk[] = "\xB7\xA2\xC6\xB1";
  SIZE a, w;
  ASSERT_TRUE(GetTextExtentPoint32A(c.dc, gbk, 4, &a));
  ASSERT_TRUE(GetTextExtentPoint32W(c.dc, u"发票", 2, &w));
  EXPECT_EQ(a.cx, w.cx);
  SelectObject(c.dc, old);
  DeleteObject(f);
}

}  // namespace
