// DIB sections, GetDIBits / SetDIBits / StretchDIBits and BMP files for every depth.
#include <cstring>
#include <random>
#include <vector>

#include "platform/gdi/tests/gdi_test_util.h"

using kvtest::Canvas;
using kvtest::Px;

namespace {

// A DIB description of a given depth with a recognisable colour table.
struct Dib {
  std::vector<uint8_t> info;
  std::vector<uint8_t> bits;
  int w, h, bpp, stride;
  BITMAPINFO* bmi() { return reinterpret_cast<BITMAPINFO*>(info.data()); }

  Dib(int width, int height, int depth, bool fields = false, bool topDown = false) : w(width), h(height), bpp(depth) {
    int colors = bpp <= 8 ? 1 << bpp : 0;
    info.assign(sizeof(BITMAPINFOHEADER) + 12 + size_t(colors) * 4, 0);
    auto& hd = bmi()->bmiHeader;
    hd.biSize = sizeof(BITMAPINFOHEADER);
    hd.biWidth = w;
    hd.biHeight = topDown ? -h : h;
    hd.biPlanes = 1;
    hd.biBitCount = WORD(bpp);
    hd.biCompression = fields ? BI_BITFIELDS : BI_RGB;
    auto* tail = info.data() + sizeof(BITMAPINFOHEADER);
    if (fields) {
      DWORD m[3] = {bpp == 16 ? 0xF800u : 0xFF0000u, bpp == 16 ? 0x07E0u : 0xFF00u, bpp == 16 ? 0x001Fu : 0xFFu};
      std::memcpy(tail, m, 12);
    }
    auto* table = reinterpret_cast<RGBQUAD*>(tail + (fields ? 12 : 0));
    for (int i = 0; i < colors; ++i) table[i] = {BYTE(i * 7), BYTE(255 - i), BYTE(i * 3 + 1), 0};
    stride = ((w * bpp + 31) / 32) * 4;
    bits.assign(size_t(stride) * size_t(h), 0);
  }
  void Randomize(uint32_t seed) {
    std::mt19937 rng(seed);
    size_t rowBytes = (size_t(w) * size_t(bpp) + 7) / 8;
    for (int y = 0; y < h; ++y)
      for (size_t i = 0; i < rowBytes; ++i) bits[size_t(y) * size_t(stride) + i] = uint8_t(rng());
    // Bits past the last pixel of a row stay zero so byte comparison is fair.
    int used = (w * bpp) % 8;
    if (used)
      for (int y = 0; y < h; ++y) bits[size_t(y) * size_t(stride) + rowBytes - 1] &= uint8_t(0xFF << (8 - used));
    if (bpp == 16 && bmi()->bmiHeader.biCompression == BI_RGB)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bits[size_t(y) * size_t(stride) + size_t(x) * 2 + 1] &= 0x7F;
    if (bpp == 32)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bits[size_t(y) * size_t(stride) + size_t(x) * 4 + 3] = 0;
  }
};

struct Depth {
  int bpp;
  bool fields;
};
const Depth kDepths[] = {{1, false}, {4, false},  {8, false},  {16, false},
                         {16, true}, {24, false}, {32, false}, {32, true}};

TEST(Dib, SectionRoundTripsThroughSetAndGetDIBitsAtEveryDepth) {
  for (auto [bpp, fields] : kDepths) {
    SCOPED_TRACE(testing::Message() << bpp << (fields ? " bitfields" : ""));
    Dib src(13, 5, bpp, fields);
    src.Randomize(uint32_t(bpp * 31 + fields));
    HDC dc = CreateCompatibleDC(nullptr);
    void* p = nullptr;
    HBITMAP sec = CreateDIBSection(dc, src.bmi(), DIB_RGB_COLORS, &p, nullptr, 0);
    ASSERT_NE(sec, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(SetDIBits(dc, sec, 0, 5, src.bits.data(), src.bmi(), DIB_RGB_COLORS), 5);
    EXPECT_EQ(std::memcmp(p, src.bits.data(), src.bits.size()), 0);
    Dib back(13, 5, bpp, fields);
    EXPECT_EQ(GetDIBits(dc, sec, 0, 5, back.bits.data(), back.bmi(), DIB_RGB_COLORS), 5);
    EXPECT_EQ(back.bits, src.bits);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectW(sec, sizeof ds, &ds), int(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmBits, p);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, src.stride);
    EXPECT_EQ(ds.dsBmih.biBitCount, bpp);
    if (fields) {
      EXPECT_EQ(ds.dsBitfields[1], bpp == 16 ? 0x07E0u : 0xFF00u);
    }
    DeleteObject(sec);
    DeleteDC(dc);
  }
}

TEST(Dib, PixelsConvertThroughTheColourTableAndMasks) {
  // A 4-bit bottom-up DIB: pixel (0, top row) is the last row in memory.
  Dib d4(2, 2, 4);
  d4.bits[size_t(d4.stride)] = 0x3A;  // top row: indices 3 and 10
  Canvas c(2, 2);
  ASSERT_EQ(StretchDIBits(c.dc, 0, 0, 2, 2, 0, 0, 2, 2, d4.bits.data(), d4.bmi(), DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(c.at(0, 0), Px(RGB(3 * 3 + 1, 255 - 3, 3 * 7)));
  EXPECT_EQ(c.at(1, 0), Px(RGB(10 * 3 + 1, 255 - 10, 10 * 7)));
  EXPECT_EQ(c.at(0, 1), Px(RGB(1, 255, 0)));
  // 5-6-5 bit fields: pure green is 0x07E0.
  Dib d16(1, 1, 16, true);
  d16.bits[0] = 0xE0;
  d16.bits[1] = 0x07;
  ASSERT_EQ(SetDIBitsToDevice(c.dc, 1, 1, 1, 1, 0, 0, 0, 1, d16.bits.data(), d16.bmi(), DIB_RGB_COLORS), 1);
  EXPECT_EQ(c.at(1, 1), 0x00FF00u);
  // 24 bits (B, G, R bytes) stretched onto 32 bits.
  Dib d24(2, 1, 24);
  const uint8_t rgb[6] = {0x30, 0x20, 0x10, 0x03, 0x02, 0x01};
  std::memcpy(d24.bits.data(), rgb, 6);
  Canvas wide(4, 1);
  ASSERT_EQ(StretchDIBits(wide.dc, 0, 0, 4, 1, 0, 0, 2, 1, d24.bits.data(), d24.bmi(), DIB_RGB_COLORS, SRCCOPY), 1);
  EXPECT_EQ(wide.at(1, 0), 0x102030u);
  EXPECT_EQ(wide.at(2, 0), 0x010203u);
}

TEST(Dib, PaletteIndexColourTablesTakeTheSelectedPalette) {
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 2 * sizeof(WORD));
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 1, 1, 1, BI_RGB, 0, 0, 0, 2, 0};
  const WORD idx[2] = {13, 16};  // red and blue of the default palette
  std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), idx, sizeof idx);
  Canvas c(2, 1);
  const uint8_t bits[4] = {0x40, 0, 0, 0};  // 0 1
  ASSERT_EQ(StretchDIBits(c.dc, 0, 0, 2, 1, 0, 0, 2, 1, bits, bi, DIB_PAL_COLORS, SRCCOPY), 1);
  EXPECT_EQ(c.at(0, 0), 0xFF0000u);
  EXPECT_EQ(c.at(1, 0), 0x0000FFu);
}

TEST(Dib, StretchDIBitsCountsSourceRowsFromTheBottomOfBottomUpDibs) {
  Dib d(1, 4, 32);
  for (int r = 0; r < 4; ++r) {
    uint32_t v = 0x111111u * uint32_t(r + 1);  // memory row r = image row 3 - r
    std::memcpy(d.bits.data() + size_t(r) * 4, &v, 4);
  }
  Canvas c(1, 1);
  // Source row 0 from the bottom is memory row 0.
  StretchDIBits(c.dc, 0, 0, 1, 1, 0, 0, 1, 1, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.at(0, 0), 0x111111u);
  StretchDIBits(c.dc, 0, 0, 1, 1, 0, 3, 1, 1, d.bits.data(), d.bmi(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.at(0, 0), 0x444444u);
  Dib td(1, 4, 32, false, true);
  std::memcpy(td.bits.data(), d.bits.data(), td.bits.size());
  StretchDIBits(c.dc, 0, 0, 1, 1, 0, 0, 1, 1, td.bits.data(), td.bmi(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.at(0, 0), 0x111111u);  // top-down: row 0 is the first in memory
}

TEST(Dib, DescribeOnlyAndBadHeaders) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(dc, 7, 3);  // monochrome, like the DC's bitmap
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  ASSERT_NE(GetDIBits(dc, bm, 0, 0, nullptr, &bi, DIB_RGB_COLORS), 0);
  EXPECT_EQ(bi.bmiHeader.biWidth, 7);
  EXPECT_EQ(bi.bmiHeader.biHeight, 3);
  EXPECT_EQ(bi.bmiHeader.biBitCount, 1);
  Dib bad(2, 2, 8);
  bad.bmi()->bmiHeader.biBitCount = 7;
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(dc, bad.bmi(), DIB_RGB_COLORS, &p, nullptr, 0), nullptr);
  EXPECT_EQ(p, nullptr);
  bad.bmi()->bmiHeader.biBitCount = 8;
  bad.bmi()->bmiHeader.biWidth = 0;
  EXPECT_EQ(CreateDIBSection(dc, bad.bmi(), DIB_RGB_COLORS, &p, nullptr, 0), nullptr);
  Dib zeroMask(2, 2, 16, true);
  std::memset(zeroMask.info.data() + sizeof(BITMAPINFOHEADER), 0, 12);
  EXPECT_EQ(CreateDIBSection(dc, zeroMask.bmi(), DIB_RGB_COLORS, &p, nullptr, 0), nullptr);
  DeleteObject(bm);
  DeleteDC(dc);
}

TEST(Dib, DrawingOnASectionIsVisibleInItsMemory) {
  Dib d(4, 2, 8);
  HDC dc = CreateCompatibleDC(nullptr);
  void* p = nullptr;
  HBITMAP sec = CreateDIBSection(dc, d.bmi(), DIB_RGB_COLORS, &p, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, sec);
  // Index 5's colour: exact match in the table.
  SetPixel(dc, 1, 0, RGB(5 * 3 + 1, 250, 35));
  EXPECT_EQ(static_cast<uint8_t*>(p)[4 + 1], 5);  // top row is the second row in memory
  RGBQUAD q[2];
  EXPECT_EQ(GetDIBColorTable(dc, 5, 2, q), 2u);
  EXPECT_EQ(q[0].rgbBlue, 35);
  RGBQUAD red{0, 0, 255, 0};
  EXPECT_EQ(SetDIBColorTable(dc, 5, 1, &red), 1u);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 0, 0));
  SelectObject(dc, old);
  DeleteObject(sec);
  DeleteDC(dc);
}

// ---- BMP files --------------------------------------------------------------------------
std::vector<uint8_t> encode(Dib& d) {
  void* out = nullptr;
  SIZE_T n = 0;
  EXPECT_TRUE(KvBmpEncode(d.bmi(), d.bits.data(), &out, &n));
  std::vector<uint8_t> v(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + n);
  KvGdiFree(out);
  return v;
}

TEST(Bmp, RoundTripsEveryDepth) {
  for (auto [bpp, fields] : kDepths) {
    SCOPED_TRACE(testing::Message() << bpp << (fields ? " bitfields" : ""));
    Dib d(11, 6, bpp, fields);
    d.Randomize(uint32_t(bpp + 100 * fields));
    auto file = encode(d);
    KVDIB out;
    ASSERT_TRUE(KvBmpDecode(file.data(), file.size(), &out));
    EXPECT_EQ(out.info->bmiHeader.biBitCount, bpp);
    EXPECT_EQ(out.info->bmiHeader.biWidth, 11);
    EXPECT_EQ(out.info->bmiHeader.biHeight, 6);
    EXPECT_EQ(out.info->bmiHeader.biCompression, DWORD(fields ? BI_BITFIELDS : BI_RGB));
    ASSERT_EQ(out.bitsSize, d.bits.size());
    EXPECT_EQ(std::memcmp(out.bits, d.bits.data(), d.bits.size()), 0);
    if (bpp <= 8) {
      EXPECT_EQ(std::memcmp(out.info->bmiColors, d.info.data() + sizeof(BITMAPINFOHEADER), size_t(4) << bpp), 0);
    }
    KvDibFree(&out);
    // Through a DIB section and back to a file.
    HPALETTE pal = nullptr;
    HBITMAP hbm = KvBmpLoad(file.data(), file.size(), &pal);
    ASSERT_NE(hbm, nullptr);
    EXPECT_EQ(pal != nullptr, bpp <= 8);
    SIZE_T need = KvBmpSave(hbm, nullptr, 0);
    std::vector<uint8_t> again(need);
    ASSERT_EQ(KvBmpSave(hbm, again.data(), again.size()), need);
    EXPECT_EQ(again, file);
    DeleteObject(hbm);
    if (pal) DeleteObject(pal);
  }
}

std::vector<uint8_t> fileWith(const std::vector<uint8_t>& header, const std::vector<uint8_t>& table,
                              const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> f(14, 0);
  f[0] = 'B';
  f[1] = 'M';
  uint32_t off = uint32_t(14 + header.size() + table.size());
  uint32_t size = off + uint32_t(pixels.size());
  std::memcpy(&f[2], &size, 4);
  std::memcpy(&f[10], &off, 4);
  f.insert(f.end(), header.begin(), header.end());
  f.insert(f.end(), table.begin(), table.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

std::vector<uint8_t> infoHeader(int w, int h, int bpp, uint32_t comp, uint32_t sizeImage, uint32_t used = 0) {
  std::vector<uint8_t> v(40, 0);
  uint32_t s = 40;
  std::memcpy(&v[0], &s, 4);
  std::memcpy(&v[4], &w, 4);
  std::memcpy(&v[8], &h, 4);
  v[12] = 1;
  v[14] = uint8_t(bpp);
  std::memcpy(&v[16], &comp, 4);
  std::memcpy(&v[20], &sizeImage, 4);
  std::memcpy(&v[32], &used, 4);
  return v;
}

TEST(Bmp, ReadsRleAndCoreHeaders) {
  // RLE8, 4 x 2: bottom row "3 x index 5, then index 9", top row absolute 1 2 3 4.
  std::vector<uint8_t> rle8 = {3, 5, 1, 9, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1};
  std::vector<uint8_t> table(256 * 4, 0);
  auto f8 = fileWith(infoHeader(4, 2, 8, BI_RLE8, uint32_t(rle8.size())), table, rle8);
  KVDIB d;
  ASSERT_TRUE(KvBmpDecode(f8.data(), f8.size(), &d));
  auto* b = static_cast<uint8_t*>(d.bits);
  EXPECT_EQ(d.info->bmiHeader.biCompression, DWORD(BI_RGB));
  EXPECT_EQ(std::vector<uint8_t>(b, b + 8), (std::vector<uint8_t>{5, 5, 5, 9, 1, 2, 3, 4}));
  KvDibFree(&d);
  // RLE4, 5 x 1: four pixels alternating 1 and 2, then the end of the bitmap.
  std::vector<uint8_t> rle4 = {4, 0x12, 0, 1};
  std::vector<uint8_t> t16(16 * 4, 0);
  auto f4 = fileWith(infoHeader(5, 1, 4, BI_RLE4, uint32_t(rle4.size())), t16, rle4);
  ASSERT_TRUE(KvBmpDecode(f4.data(), f4.size(), &d));
  b = static_cast<uint8_t*>(d.bits);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(b[1], 0x12);
  KvDibFree(&d);
  // A core header (12 bytes) with a 1-bit table of triples.
  std::vector<uint8_t> core = {12, 0, 0, 0, 3, 0, 1, 0, 1, 0, 1, 0};
  std::vector<uint8_t> tri = {0, 0, 0, 255, 255, 255};
  auto fc = fileWith(core, tri, {0x40, 0, 0, 0});
  ASSERT_TRUE(KvBmpDecode(fc.data(), fc.size(), &d));
  EXPECT_EQ(d.info->bmiHeader.biWidth, 3);
  EXPECT_EQ(d.info->bmiColors[1].rgbRed, 255);
  HBITMAP hb = KvBmpLoad(fc.data(), fc.size(), nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, hb);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
  SelectObject(dc, old);
  DeleteObject(hb);
  DeleteDC(dc);
  KvDibFree(&d);
}

TEST(Bmp, ReadsV4AndV5Headers) {
  // V5 (124 bytes), 32 bits with the masks inside the header: 0x00FF0000 red ... reversed here.
  std::vector<uint8_t> v5(124, 0);
  uint32_t size = 124, comp = BI_BITFIELDS;
  int w = 1, h = 1;
  std::memcpy(&v5[0], &size, 4);
  std::memcpy(&v5[4], &w, 4);
  std::memcpy(&v5[8], &h, 4);
  v5[12] = 1;
  v5[14] = 32;
  std::memcpy(&v5[16], &comp, 4);
  const uint32_t masks[3] = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the lowest byte
  std::memcpy(&v5[40], masks, 12);
  auto f = fileWith(v5, {}, {0x11, 0x22, 0x33, 0});
  HBITMAP hb = KvBmpLoad(f.data(), f.size(), nullptr);
  ASSERT_NE(hb, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, hb);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0x11, 0x22, 0x33));
  SelectObject(dc, old);
  DeleteObject(hb);
  // V4 (108 bytes), 24 bits BI_RGB.
  std::vector<uint8_t> v4(v5.begin(), v5.begin() + 108);
  size = 108;
  comp = BI_RGB;
  std::memcpy(&v4[0], &size, 4);
  std::memcpy(&v4[16], &comp, 4);
  v4[14] = 24;
  auto g = fileWith(v4, {}, {0x11, 0x22, 0x33, 0});
  hb = KvBmpLoad(g.data(), g.size(), nullptr);
  ASSERT_NE(hb, nullptr);
  old = SelectObject(dc, hb);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0x33, 0x22, 0x11));
  SelectObject(dc, old);
  DeleteObject(hb);
  DeleteDC(dc);
}

TEST(Bmp, MalformedFilesFailCleanly) {
  std::vector<uint8_t> table(16 * 4, 0);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"bad magic",
       [] {
         auto f = fileWith(infoHeader(1, 1, 24, BI_RGB, 0), {}, {0, 0, 0, 0});
         f[0] = 'X';
         return f;
       }()},
      {"zero width", fileWith(infoHeader(0, 1, 24, BI_RGB, 0), {}, {0, 0, 0, 0})},
      {"odd depth", fileWith(infoHeader(1, 1, 7, BI_RGB, 0), {}, {0, 0, 0, 0})},
      {"truncated pixels", fileWith(infoHeader(4, 4, 24, BI_RGB, 0), {}, {0, 0, 0, 0})},
      {"huge colour count", fileWith(infoHeader(1, 1, 4, BI_RGB, 0, 0x7FFFFFFF), table, {0, 0, 0, 0})},
      {"RLE on 24 bits", fileWith(infoHeader(1, 1, 24, BI_RLE8, 4), {}, {1, 1, 0, 1})},
      {"RLE command past the end", fileWith(infoHeader(4, 1, 4, BI_RLE4, 4), table, {0, 9, 0x11})},
      {"top-down RLE", fileWith(infoHeader(1, -1, 4, BI_RLE4, 2), table, {0, 1})},
      {"oversized", fileWith(infoHeader(60000, 60000, 32, BI_RGB, 0), {}, {0, 0, 0, 0})},
      {"offset past the end",
       [] {
         auto f = fileWith(infoHeader(1, 1, 24, BI_RGB, 0), {}, {0, 0, 0, 0});
         f[10] = 0xFF;
         f[11] = 0xFF;
         return f;
       }()},
  };
  for (const auto& [name, file] : cases) {
    SCOPED_TRACE(name);
    KVDIB d;
    EXPECT_FALSE(KvBmpDecode(file.data(), file.size(), &d));
    EXPECT_EQ(d.bits, nullptr);
    EXPECT_EQ(KvBmpLoad(file.data(), file.size(), nullptr), nullptr);
  }
}

TEST(Bmp, RandomMutationsAndTruncationsNeverReadOutOfBounds) {
  std::vector<std::vector<uint8_t>> seeds;
  for (auto [bpp, fields] : kDepths) {
    Dib d(5, 3, bpp, fields);
    d.Randomize(uint32_t(bpp));
    seeds.push_back(encode(d));
  }
  seeds.push_back(fileWith(infoHeader(4, 2, 8, BI_RLE8, 14), std::vector<uint8_t>(1024, 0),
                           {3, 5, 1, 9, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1}));
  std::mt19937 rng(1234);
  int decoded = 0;
  for (auto& seed : seeds) {
    for (size_t n = 0; n < seed.size(); ++n) {
      // Every prefix: heap copies of exactly n bytes so ASan sees any overread.
      std::vector<uint8_t> cut(seed.begin(), seed.begin() + long(n));
      KVDIB d;
      if (KvBmpDecode(cut.data(), cut.size(), &d)) KvDibFree(&d);
    }
    for (int i = 0; i < 300; ++i) {
      std::vector<uint8_t> m = seed;
      int flips = 1 + int(rng() % 4);
      for (int k = 0; k < flips; ++k) m[rng() % m.size()] = uint8_t(rng());
      KVDIB d;
      if (KvBmpDecode(m.data(), m.size(), &d)) {
        ++decoded;
        KvDibFree(&d);
      }
    }
  }
  EXPECT_GT(decoded, 0);  // many mutations stay valid files
}

}  // namespace
