// Raster operations, masked blits, colour <-> monochrome conversion and stretching.
#include <functional>

#include "platform/gdi/tests/gdi_test_util.h"

using kvtest::Canvas;
using kvtest::Px;

namespace {

struct RopCase {
  const char* name;
  DWORD rop;
  std::function<uint32_t(uint32_t p, uint32_t s, uint32_t d)> expect;
};

TEST(Rop3, TableOfCodesOnSmallBitmaps) {
  const uint32_t src[4] = {0xFF00FF, 0x12F0A5, 0x000000, 0xFFFFFF};
  const uint32_t dst[4] = {0xAA5533, 0xFFFFFF, 0x123456, 0x000000};
  const COLORREF brush = RGB(0x0F, 0xF0, 0x3C);
  const std::vector<RopCase> cases = {
      {"SRCCOPY", SRCCOPY, [](uint32_t, uint32_t s, uint32_t) { return s; }},
      {"SRCAND", SRCAND, [](uint32_t, uint32_t s, uint32_t d) { return s & d; }},
      {"SRCPAINT", SRCPAINT, [](uint32_t, uint32_t s, uint32_t d) { return s | d; }},
      {"SRCINVERT", SRCINVERT, [](uint32_t, uint32_t s, uint32_t d) { return s ^ d; }},
      {"NOTSRCCOPY", NOTSRCCOPY, [](uint32_t, uint32_t s, uint32_t) { return ~s; }},
      {"PATCOPY", PATCOPY, [](uint32_t p, uint32_t, uint32_t) { return p; }},
      {"PATINVERT", PATINVERT, [](uint32_t p, uint32_t, uint32_t d) { return p ^ d; }},
      // DSPDxax: the pattern where the source has 1 bits, the destination elsewhere.
      {"DSPDxax", 0x00E20746, [](uint32_t p, uint32_t s, uint32_t d) { return (s & p) | (~s & d); }},
      {"DSTINVERT", DSTINVERT, [](uint32_t, uint32_t, uint32_t d) { return ~d; }},
      {"MERGEPAINT", MERGEPAINT, [](uint32_t, uint32_t s, uint32_t d) { return ~s | d; }},
      {"BLACKNESS", BLACKNESS, [](uint32_t, uint32_t, uint32_t) { return 0u; }},
      {"WHITENESS", WHITENESS, [](uint32_t, uint32_t, uint32_t) { return ~0u; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Canvas s(4, 1), d(4, 1);
    for (int i = 0; i < 4; ++i) {
      s.at(i, 0) = src[i];
      d.at(i, 0) = dst[i];
    }
    HBRUSH b = CreateSolidBrush(brush);
    HGDIOBJ ob = SelectObject(d.dc, b);
    ASSERT_TRUE(BitBlt(d.dc, 0, 0, 4, 1, s.dc, 0, 0, c.rop));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d.at(i, 0), c.expect(Px(brush), src[i], dst[i]) & 0xFFFFFF) << "pixel " << i;
    SelectObject(d.dc, ob);
    DeleteObject(b);
  }
}

TEST(Rop3, EveryCodeFollowsItsTruthTable) {
  // One bit per (P, S, D) combination: the result's bit i must be bit i of the code.
  Canvas s(1, 1), d(1, 1);
  for (int code = 0; code < 256; ++code) {
    const uint32_t P = 0xF0, S = 0xCC, D = 0xAA;  // the truth-table columns in the blue byte
    s.at(0, 0) = S;
    d.at(0, 0) = D;
    HBRUSH b = CreateSolidBrush(RGB(0, 0, P));
    HGDIOBJ ob = SelectObject(d.dc, b);
    ASSERT_TRUE(BitBlt(d.dc, 0, 0, 1, 1, s.dc, 0, 0, DWORD(code) << 16));
    EXPECT_EQ(d.at(0, 0) & 0xFF, uint32_t(code)) << "code " << code;
    SelectObject(d.dc, ob);
    DeleteObject(b);
  }
}

TEST(MaskBlt, KeepsDestinationWhereMaskIsSetAndCopiesElsewhere) {
  Canvas s(4, 2, RGB(255, 0, 0)), d(4, 2, RGB(0, 0, 255));
  // Mask rows (1 bit per pixel, rows padded to 16 bits): 1010 / 0101.
  const BYTE maskBits[4] = {0xA0, 0, 0x50, 0};
  HBITMAP mask = CreateBitmap(4, 2, 1, 1, maskBits);
  ASSERT_TRUE(MaskBlt(d.dc, 0, 0, 4, 2, s.dc, 0, 0, mask, 0, 0, MAKEROP4(0x00AA0029, SRCCOPY)));
  EXPECT_EQ(d.Row(0, RGB(255, 0, 0)), ".#.#");
  EXPECT_EQ(d.Row(1, RGB(255, 0, 0)), "#.#.");
  EXPECT_EQ(d.at(0, 0), 0x0000FFu);
  // A mask smaller than the blit is refused.
  EXPECT_FALSE(MaskBlt(d.dc, 0, 0, 4, 3, s.dc, 0, 0, mask, 0, 0, MAKEROP4(0x00AA0029, SRCCOPY)));
  DeleteObject(mask);
}

TEST(MonoColour, MonochromeSourceTakesTextAndBackgroundColours) {
  const BYTE bits[2] = {0xA0, 0};  // 1 0 1 0
  HBITMAP mono = CreateBitmap(4, 1, 1, 1, bits);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, mono);
  Canvas d(4, 1);
  SetTextColor(d.dc, RGB(255, 0, 0));
  SetBkColor(d.dc, RGB(0, 0, 255));
  ASSERT_TRUE(BitBlt(d.dc, 0, 0, 4, 1, mdc, 0, 0, SRCCOPY));
  EXPECT_EQ(d.at(0, 0), 0x0000FFu);  // 1 bit: background colour
  EXPECT_EQ(d.at(1, 0), 0xFF0000u);  // 0 bit: text colour
  EXPECT_EQ(d.at(2, 0), 0x0000FFu);
  SelectObject(mdc, old);
  DeleteObject(mono);
  DeleteDC(mdc);
}

TEST(MonoColour, ColourSourceBecomesOneWhereItMatchesTheSourceBackground) {
  Canvas s(4, 1);
  s.at(0, 0) = 0x00FF00;
  s.at(1, 0) = 0x123456;
  s.at(2, 0) = 0x00FF00;
  s.at(3, 0) = 0xFFFFFF;
  SetBkColor(s.dc, RGB(0, 255, 0));
  HBITMAP mono = CreateBitmap(4, 1, 1, 1, nullptr);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, mono);
  ASSERT_TRUE(BitBlt(mdc, 0, 0, 4, 1, s.dc, 0, 0, SRCCOPY));
  BYTE out[2] = {};
  ASSERT_EQ(GetBitmapBits(mono, 2, out), 2);
  EXPECT_EQ(out[0] & 0xF0, 0xA0);
  EXPECT_EQ(GetPixel(mdc, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(mdc, 1, 0), RGB(0, 0, 0));
  SelectObject(mdc, old);
  DeleteObject(mono);
  DeleteDC(mdc);
}

TEST(MonoColour, MaskTrickOfTransparentDrawingComposes) {
  // The classic three-blit transparency: SRCINVERT, SRCAND with the mask, SRCINVERT.
  Canvas img(3, 1), d(3, 1, RGB(10, 20, 30));
  img.at(0, 0) = 0xFF00FF;  // transparent magenta
  img.at(1, 0) = 0x00FF00;
  img.at(2, 0) = 0xFF00FF;
  SetBkColor(img.dc, RGB(255, 0, 255));
  HBITMAP mono = CreateBitmap(3, 1, 1, 1, nullptr);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, mono);
  BitBlt(mdc, 0, 0, 3, 1, img.dc, 0, 0, SRCCOPY);  // mask: 1 where transparent
  SetBkColor(d.dc, RGB(255, 255, 255));
  SetTextColor(d.dc, RGB(0, 0, 0));
  BitBlt(d.dc, 0, 0, 3, 1, img.dc, 0, 0, SRCINVERT);
  BitBlt(d.dc, 0, 0, 3, 1, mdc, 0, 0, SRCAND);
  BitBlt(d.dc, 0, 0, 3, 1, img.dc, 0, 0, SRCINVERT);
  EXPECT_EQ(d.at(0, 0), 0x0A141Eu);
  EXPECT_EQ(d.at(1, 0), 0x00FF00u);
  EXPECT_EQ(d.at(2, 0), 0x0A141Eu);
  SelectObject(mdc, old);
  DeleteObject(mono);
  DeleteDC(mdc);
}

TEST(TransparentBlt, SkipsTheTransparentColour) {
  Canvas s(2, 1), d(4, 2, RGB(0, 0, 0));
  s.at(0, 0) = 0xFF00FF;
  s.at(1, 0) = 0x336699;
  ASSERT_TRUE(TransparentBlt(d.dc, 0, 0, 4, 2, s.dc, 0, 0, 2, 1, RGB(255, 0, 255)));
  EXPECT_EQ(d.Row(0, RGB(0x33, 0x66, 0x99)), "..##");
  EXPECT_EQ(d.Row(1, RGB(0x33, 0x66, 0x99)), "..##");
}

TEST(StretchBlt, NearestNeighbourAndMirroring) {
  Canvas s(2, 2), d(4, 4);
  s.at(0, 0) = 0x111111;
  s.at(1, 0) = 0x222222;
  s.at(0, 1) = 0x333333;
  s.at(1, 1) = 0x444444;
  SetStretchBltMode(d.dc, COLORONCOLOR);
  ASSERT_TRUE(StretchBlt(d.dc, 0, 0, 4, 4, s.dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(d.at(0, 0), 0x111111u);
  EXPECT_EQ(d.at(1, 1), 0x111111u);
  EXPECT_EQ(d.at(2, 0), 0x222222u);
  EXPECT_EQ(d.at(3, 3), 0x444444u);
  // A negative destination width mirrors horizontally.
  ASSERT_TRUE(StretchBlt(d.dc, 2, 0, -2, 1, s.dc, 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(d.at(0, 0), 0x222222u);
  EXPECT_EQ(d.at(1, 0), 0x111111u);
}

TEST(StretchBlt, BlackOnWhiteShrinkKeepsBlack) {
  Canvas s(4, 1), d(1, 1);
  s.at(0, 0) = 0x000000;
  SetStretchBltMode(d.dc, BLACKONWHITE);
  ASSERT_TRUE(StretchBlt(d.dc, 0, 0, 1, 1, s.dc, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(d.at(0, 0), 0x000000u);
  SetStretchBltMode(d.dc, COLORONCOLOR);
  d.at(0, 0) = 0xFFFFFF;
  ASSERT_TRUE(StretchBlt(d.dc, 0, 0, 1, 1, s.dc, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(d.at(0, 0), 0xFFFFFFu);  // the sampled pixel only
}

TEST(Blit, OverlappingCopyWithinOneBitmap) {
  Canvas c(4, 1);
  for (int i = 0; i < 4; ++i) c.at(i, 0) = uint32_t(i + 1);
  ASSERT_TRUE(BitBlt(c.dc, 1, 0, 3, 1, c.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(c.at(1, 0), 1u);
  EXPECT_EQ(c.at(2, 0), 2u);
  EXPECT_EQ(c.at(3, 0), 3u);
}

TEST(Blit, BadArgumentsFailPlainly) {
  Canvas d(2, 2);
  EXPECT_FALSE(BitBlt(d.dc, 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
  EXPECT_FALSE(BitBlt(reinterpret_cast<HDC>(0x1234), 0, 0, 2, 2, d.dc, 0, 0, SRCCOPY));
  EXPECT_FALSE(PatBlt(d.dc, 0, 0, 2, 2, SRCCOPY));  // a source ROP without a source
  EXPECT_TRUE(PatBlt(d.dc, 0, 0, 2, 2, BLACKNESS));
  EXPECT_EQ(d.at(1, 1), 0u);
}

TEST(PatBlt, HatchBrushPatternAndTransparentBackground) {
  Canvas d(8, 8, RGB(0, 255, 0));
  HBRUSH h = CreateHatchBrush(HS_CROSS, RGB(255, 0, 0));
  HGDIOBJ ob = SelectObject(d.dc, h);
  SetBkMode(d.dc, OPAQUE);
  SetBkColor(d.dc, RGB(0, 0, 255));
  ASSERT_TRUE(PatBlt(d.dc, 0, 0, 8, 8, PATCOPY));
  EXPECT_EQ(d.at(3, 0), 0xFF0000u);  // on the vertical hatch line
  EXPECT_EQ(d.at(0, 0), 0x0000FFu);  // background in the background colour
  SetBkMode(d.dc, TRANSPARENT);
  d.at(0, 0) = 0x00FF00;
  ASSERT_TRUE(PatBlt(d.dc, 0, 0, 8, 8, PATCOPY));
  EXPECT_EQ(d.at(0, 0), 0x00FF00u);  // background left alone
  SelectObject(d.dc, ob);
  DeleteObject(h);
}

TEST(PatBlt, PatternBrushesTileFromTheBrushOrigin) {
  // A monochrome 2 x 1 pattern paints its 0 bits in the text colour, 1 bits in the background.
  const BYTE bits[2] = {0x40, 0};  // 0 1
  HBITMAP pat = CreateBitmap(2, 1, 1, 1, bits);
  HBRUSH b = CreatePatternBrush(pat);
  DeleteObject(pat);  // the brush keeps its own copy
  Canvas d(5, 1);
  SetTextColor(d.dc, RGB(255, 0, 0));
  SetBkColor(d.dc, RGB(0, 0, 255));
  HGDIOBJ ob = SelectObject(d.dc, b);
  ASSERT_TRUE(PatBlt(d.dc, 0, 0, 5, 1, PATCOPY));
  EXPECT_EQ(d.Row(0, RGB(255, 0, 0)), "#.#.#");
  SetBrushOrgEx(d.dc, 1, 0, nullptr);
  ASSERT_TRUE(PatBlt(d.dc, 0, 0, 5, 1, PATCOPY));
  EXPECT_EQ(d.Row(0, RGB(255, 0, 0)), ".#.#.");
  SelectObject(d.dc, ob);
  DeleteObject(b);
  EXPECT_EQ(CreatePatternBrush(reinterpret_cast<HBITMAP>(0x5555)), nullptr);
}

}  // namespace
