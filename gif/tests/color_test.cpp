// Colour lookups, fixed palettes, the octree, the ditherers and the DIB writer.
#include <gtest/gtest.h>

#include <set>

#include "gif/tests/gif_test_util.h"
#include "gif/texts.h"

namespace {

TEST(Lookup, WebSafeAndMonochromeAndGray) {
  struct Case {
    int r, g, b, index;
    TGIFRGB chosen;
  };
  TNetscapeColorLookup web;
  for (const Case& c : std::vector<Case>{{0, 0, 0, 0, {0, 0, 0}},
                                         {255, 255, 255, 215, {255, 255, 255}},
                                         {128, 128, 128, 86, {102, 102, 102}},
                                         {255, 0, 0, 180, {255, 0, 0}}}) {
    TGIFRGB chosen;
    EXPECT_EQ(web.Lookup(c.r, c.g, c.b, chosen), c.index);
    EXPECT_EQ(chosen, c.chosen);
  }
  TMonochromeLookup mono;
  TGIFRGB chosen;
  EXPECT_EQ(mono.Lookup(127, 127, 127, chosen), 0);
  EXPECT_EQ(mono.Lookup(128, 128, 128, chosen), 1);
  EXPECT_EQ(chosen, (TGIFRGB{255, 255, 255}));
  TGrayScaleLookup gray;
  EXPECT_EQ(gray.Lookup(255, 255, 255, chosen), 255);
}

TEST(Lookup, FastLookupFindsTheNearestEntry) {
  HPALETTE palette = MakePalette({{0, 0, 0}, {250, 10, 10}, {10, 10, 250}, {250, 10, 10}});
  TFastColorLookup fast(palette);
  TGIFRGB chosen;
  EXPECT_EQ(fast.Lookup(240, 0, 0, chosen), 1);  // first of equal entries
  EXPECT_EQ(fast.Lookup(0, 0, 200, chosen), 2);
  EXPECT_EQ(fast.Lookup(0, 0, 200, chosen), 2);  // cached answer
  DeleteObject(palette);
}

std::unique_ptr<TBitmap> Flat(int w, int h, BYTE r, BYTE g, BYTE b) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    BYTE* row = static_cast<BYTE*>(bitmap->ScanLine(y));
    for (int x = 0; x < w; ++x) {
      row[3 * x] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
    }
  }
  return bitmap;
}

std::set<int> Indices(TBitmap* bitmap) {
  std::set<int> seen;
  for (int y = 0; y < bitmap->Height(); ++y) {
    const BYTE* row = static_cast<const BYTE*>(bitmap->ScanLine(y));
    for (int x = 0; x < bitmap->Width(); ++x) seen.insert(row[x]);
  }
  return seen;
}

TEST(Dither, FlatPaletteColourSpreadsNoError) {
  for (TDitherMode mode : {DitherNearest, DitherFloydSteinberg, DitherStucki, DitherSierra, DitherJarvisJudiceNinke,
                           DitherStevensonArce, DitherBurkes}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto source = Flat(13, 9, 51, 102, 153);
    std::unique_ptr<TBitmap> reduced(ReduceBitmapColors(source.get(), ReduceWebSafe, mode, nullptr, 8));
    ASSERT_EQ(reduced->Width(), 13);
    ASSERT_EQ(reduced->PixelFormat(), pf8bit);
    EXPECT_EQ(Indices(reduced.get()), std::set<int>{1 * 36 + 2 * 6 + 3});
  }
}

TEST(Dither, ErrorDiffusionMixesAnOffPaletteColour) {
  auto source = Flat(16, 16, 128, 128, 128);
  std::unique_ptr<TBitmap> reduced(
      ReduceBitmapColors(source.get(), ReduceMonochrome, DitherFloydSteinberg, nullptr, 8));
  EXPECT_EQ(Indices(reduced.get()), (std::set<int>{0, 1}));
  std::unique_ptr<TBitmap> nearest(ReduceBitmapColors(source.get(), ReduceMonochrome, DitherNearest, nullptr, 8));
  EXPECT_EQ(Indices(nearest.get()), std::set<int>{1});
}

TEST(Octree, FewColoursComeOutExactlyAndTheRestIsBlack) {
  auto source = Flat(6, 4, 200, 30, 40);
  BYTE* row = static_cast<BYTE*>(source->ScanLine(1));
  row[0] = 10, row[1] = 220, row[2] = 5;  // (5, 220, 10)
  row = static_cast<BYTE*>(source->ScanLine(2));
  row[3] = 99, row[4] = 98, row[5] = 97;  // (97, 98, 99)
  HPALETTE palette = BuildOctreePalette(source.get(), 8, 8, false);
  std::vector<TGIFRGB> colors = PaletteColors(palette);
  DeleteObject(palette);
  ASSERT_EQ(colors.size(), 8u);
  std::multiset<std::tuple<int, int, int>> got;
  for (size_t i = 0; i < 3; ++i) got.insert({colors[i].Red, colors[i].Green, colors[i].Blue});
  EXPECT_EQ(got, (std::multiset<std::tuple<int, int, int>>{{200, 30, 40}, {5, 220, 10}, {97, 98, 99}}));
  for (size_t i = 3; i < 8; ++i) EXPECT_EQ(colors[i], (TGIFRGB{0, 0, 0}));
}

TEST(Octree, BitsAreClampedSoAtMost256EntriesAreMade) {
  auto source = Flat(40, 40, 0, 0, 0);
  for (int y = 0; y < 40; ++y) {
    BYTE* row = static_cast<BYTE*>(source->ScanLine(y));
    for (int x = 0; x < 40; ++x) {
      row[3 * x] = static_cast<BYTE>(x * 6);
      row[3 * x + 1] = static_cast<BYTE>(y * 6);
      row[3 * x + 2] = static_cast<BYTE>((x * y) & 0xFF);
    }
  }
  for (auto [bits, entries] : std::vector<std::pair<int, size_t>>{{12, 256}, {0, 2}, {-5, 2}, {4, 16}}) {
    std::unique_ptr<TBitmap> reduced(ReduceBitmapColors(source.get(), ReduceOctree, DitherNearest, nullptr, bits));
    EXPECT_EQ(PaletteColors(reduced->Palette()).size(), entries) << bits;
    for (int i : Indices(reduced.get())) EXPECT_LT(static_cast<size_t>(i), entries);
  }
}

TEST(Reduce, UnknownMethodsGiveAnEmptyBitmap) {
  auto source = Flat(4, 4, 1, 2, 3);
  std::unique_ptr<TBitmap> a(
      ReduceBitmapColors(source.get(), static_cast<TColorReduction>(10), DitherNearest, nullptr, 8));
  EXPECT_TRUE(a->Empty());
  std::unique_ptr<TBitmap> b(ReduceBitmapColors(source.get(), ReduceWebSafe, static_cast<TDitherMode>(7), nullptr, 8));
  EXPECT_TRUE(b->Empty());
  std::unique_ptr<TBitmap> c(ReduceBitmapColors(source.get(), ReduceCustom, DitherNearest, nullptr, 8));
  EXPECT_TRUE(c->Empty());
}

TEST(DIBWriter, StrideHeaderAndFormats) {
  TBitmap bitmap;
  EXPECT_EQ(TDIBWriter(&bitmap, nullptr, 1, 1, pf8bit).Stride(), 4);
  EXPECT_EQ(TDIBWriter(&bitmap, nullptr, 1, 3, pf24bit).Stride(), 12);
  std::vector<TGIFRGB> sixteen;
  for (int i = 0; i < 16; ++i) sixteen.push_back({static_cast<BYTE>(i), 0, 200});
  HPALETTE palette = MakePalette(sixteen);
  {
    TDIBWriter writer(&bitmap, palette, 2, 2, pf8bit);
    const std::vector<BYTE>& header = writer.Header();
    ASSERT_EQ(header.size(), 1064u);
    auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(header.data());
    EXPECT_EQ(bih->biClrUsed, 256u);
    EXPECT_EQ(bih->biClrImportant, 16u);
    auto* quads = reinterpret_cast<const RGBQUAD*>(header.data() + 40);
    EXPECT_EQ(quads[5].rgbRed, 5);
    EXPECT_EQ(quads[5].rgbBlue, 200);
    EXPECT_EQ(quads[16].rgbBlue, 0);
    static_cast<BYTE*>(writer.ScanLine(0))[1] = 7;
    EXPECT_THROW(writer.ScanLine(2), EInvalidGraphicOperation);
  }
  EXPECT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(static_cast<BYTE*>(bitmap.ScanLine(0))[1], 7);
  DeleteObject(palette);
  EXPECT_THROW(TDIBWriter(&bitmap, nullptr, 1, 1, pf4bit), GIFException);
  EXPECT_THROW(TDIBWriter(&bitmap, nullptr, 0, 1, pf8bit), GIFException);
}

}  // namespace
