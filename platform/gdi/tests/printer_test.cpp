// Printer DCs: capabilities, page lifecycle, the record of drawing operations and the
// replay of text onto another cairo surface; window-surface DCs.
#include <cairo.h>

#include <cstring>

#include "platform/gdi/engine.h"
#include "platform/gdi/tests/gdi_test_util.h"

using kvtest::Canvas;

namespace {

kv::gdi::PrinterCaps smallPage() {
  kv::gdi::PrinterCaps c;
  c.horzRes = 400;
  c.vertRes = 300;
  c.logPixelsX = 600;
  c.logPixelsY = 300;
  c.physicalWidth = 420;
  c.physicalHeight = 320;
  c.physicalOffsetX = 10;
  c.physicalOffsetY = 12;
  c.horzSizeMm = 17;
  c.vertSizeMm = 25;
  return c;
}

struct Printer {
  HDC dc;
  Printer() : dc(kv::gdi::CreatePrinterDC(smallPage())) {}
  ~Printer() { DeleteDC(dc); }
  const kv::gdi::PrinterPage& Page() { return *kv::gdi::GetPrinterPage(dc); }
  uint32_t At(int x, int y) {
    auto& r = Page().raster;
    return r.pixels[size_t(y) * size_t(r.stride / 4) + size_t(x)] & 0xFFFFFF;
  }
};

TEST(PrinterDC, CapabilitiesAndPageLifecycle) {
  Printer p;
  ASSERT_NE(p.dc, nullptr);
  EXPECT_TRUE(kv::gdi::IsPrinterDC(p.dc));
  const std::vector<std::pair<int, int>> caps = {
      {HORZRES, 400},        {VERTRES, 300},        {LOGPIXELSX, 600},
      {LOGPIXELSY, 300},     {PHYSICALWIDTH, 420},  {PHYSICALHEIGHT, 320},
      {PHYSICALOFFSETX, 10}, {PHYSICALOFFSETY, 12}, {TECHNOLOGY, DT_RASPRINTER},
      {BITSPIXEL, 24},       {NUMCOLORS, -1},       {HORZSIZE, 17}};
  for (auto [index, value] : caps) EXPECT_EQ(GetDeviceCaps(p.dc, index), value) << index;
  // No page yet: drawing fails plainly.
  EXPECT_EQ(kv::gdi::GetPrinterPage(p.dc), nullptr);
  EXPECT_FALSE(LineTo(p.dc, 10, 10));
  EXPECT_FALSE(TextOutW(p.dc, 0, 0, u"x", 1));
  ASSERT_TRUE(kv::gdi::BeginPrinterPage(p.dc));
  EXPECT_EQ(p.Page().raster.width, 400);
  EXPECT_EQ(p.At(399, 299), 0xFFFFFFu);
  EXPECT_TRUE(PatBlt(p.dc, 0, 0, 10, 10, BLACKNESS));
  EXPECT_EQ(p.Page().ops.size(), 1u);
  ASSERT_TRUE(kv::gdi::BeginPrinterPage(p.dc));  // the next page starts clean
  EXPECT_EQ(p.At(5, 5), 0xFFFFFFu);
  EXPECT_TRUE(p.Page().ops.empty());
  // A compatible memory DC answers with the printer's resolution.
  HDC mem = CreateCompatibleDC(p.dc);
  EXPECT_EQ(GetDeviceCaps(mem, LOGPIXELSY), 300);
  DeleteDC(mem);
  EXPECT_TRUE(kv::gdi::ReleasePrinterPage(p.dc));
  EXPECT_FALSE(PatBlt(p.dc, 0, 0, 10, 10, BLACKNESS));
  auto bigger = smallPage();
  bigger.horzRes = 500;
  ASSERT_TRUE(kv::gdi::ResetPrinterDC(p.dc, bigger));
  EXPECT_EQ(GetDeviceCaps(p.dc, HORZRES), 500);
  bigger.horzRes = 0;
  EXPECT_FALSE(kv::gdi::ResetPrinterDC(p.dc, bigger));
}

TEST(PrinterDC, RecordsLinesTextAndImagesInDeviceCoordinates) {
  Printer p;
  ASSERT_TRUE(kv::gdi::BeginPrinterPage(p.dc));
  std::vector<kv::gdi::PageOp::Kind> seen;
  kv::gdi::SetPrinterOpObserver(p.dc, [&](const kv::gdi::PageOp& op) { seen.push_back(op.kind); });
  SetViewportOrgEx(p.dc, 5, 0, nullptr);
  HPEN pen = CreatePen(PS_DOT, 3, RGB(0, 0, 0));
  HGDIOBJ oldPen = SelectObject(p.dc, pen);
  MoveToEx(p.dc, 10, 20, nullptr);
  LineTo(p.dc, 100, 20);
  SelectObject(p.dc, oldPen);
  DeleteObject(pen);
  ASSERT_EQ(p.Page().ops.size(), 1u);
  const auto& line = p.Page().ops[0];
  EXPECT_EQ(line.kind, kv::gdi::PageOp::Kind::Path);
  EXPECT_TRUE(line.path.stroke);
  EXPECT_EQ(line.path.pen.width, 3);
  EXPECT_EQ(line.path.pen.style, PS_DOT);
  EXPECT_EQ(line.path.pen.dashes, (std::vector<DWORD>{3, 3}));
  EXPECT_DOUBLE_EQ(line.path.subpaths[0][0].first, 15.5);
  EXPECT_DOUBLE_EQ(line.path.subpaths[0][1].first, 105.5);
  EXPECT_EQ(p.At(16, 20), 0u);  // and the raster has it too
  EXPECT_EQ(p.At(19, 20), 0xFFFFFFu);

  LOGFONTW lf{};
  lf.lfHeight = -50;
  std::memcpy(lf.lfFaceName, u"宋体", sizeof(u"宋体"));
  HFONT f = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(p.dc, f);
  ASSERT_TRUE(TextOutW(p.dc, 20, 100, u"发票", 2));
  SelectObject(p.dc, oldFont);
  DeleteObject(f);
  const auto& text = p.Page().ops.back();
  ASSERT_EQ(text.kind, kv::gdi::PageOp::Kind::Text);
  EXPECT_EQ(text.text.utf8, "发票");
  EXPECT_EQ(text.text.font.family, "WenQuanYi Zen Hei");
  EXPECT_EQ(text.text.font.emHeight, 50);
  EXPECT_DOUBLE_EQ(text.text.x, 25);
  EXPECT_TRUE(text.text.opaque);
  EXPECT_EQ(text.text.cell.top, 100);

  Canvas img(2, 2, RGB(255, 0, 0));
  ASSERT_TRUE(StretchBlt(p.dc, 200, 10, 40, 40, img.dc, 0, 0, 2, 2, SRCCOPY));
  const auto& image = p.Page().ops.back();
  ASSERT_EQ(image.kind, kv::gdi::PageOp::Kind::Image);
  EXPECT_EQ(image.image.dst.left, 205);
  EXPECT_EQ(image.image.dst.right, 245);
  EXPECT_EQ(image.image.width, 2);
  EXPECT_EQ(image.image.pixels[0], 0xFF0000u);
  EXPECT_FALSE(image.image.rasterPatch);
  EXPECT_EQ(p.At(220, 30), 0xFF0000u);

  // An XOR line has no vector form: it becomes a patch of the page pixels.
  SetROP2(p.dc, R2_XORPEN);
  SelectObject(p.dc, GetStockObject(WHITE_PEN));
  MoveToEx(p.dc, 0, 200, nullptr);
  LineTo(p.dc, 10, 200);
  const auto& patch = p.Page().ops.back();
  EXPECT_EQ(patch.kind, kv::gdi::PageOp::Kind::Image);
  EXPECT_TRUE(patch.image.rasterPatch);
  EXPECT_EQ(seen.size(), p.Page().ops.size());

  // Clipped drawing carries its clip.
  SetROP2(p.dc, R2_COPYPEN);
  IntersectClipRect(p.dc, 0, 0, 50, 50);
  RECT r{0, 0, 100, 100};
  FillRect(p.dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  const auto& fill = p.Page().ops.back();
  ASSERT_EQ(fill.clip.size(), 1u);
  EXPECT_EQ(fill.clip[0].right, 55);
}

TEST(PrinterDC, TextReplayMatchesTheRaster) {
  Printer p;
  ASSERT_TRUE(kv::gdi::BeginPrinterPage(p.dc));
  LOGFONTW lf{};
  lf.lfHeight = -40;
  std::memcpy(lf.lfFaceName, u"SimSun", sizeof(u"SimSun"));
  HFONT f = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(p.dc, f);
  SetBkMode(p.dc, TRANSPARENT);
  TextOutW(p.dc, 30, 40, u"发票", 2);
  SelectObject(p.dc, old);
  DeleteObject(f);
  const auto& op = p.Page().ops.back();
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 400, 300);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  kv::gdi::DrawTextOnCairo(cr, op.text);
  cairo_destroy(cr);
  cairo_surface_flush(s);
  auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s));
  int stride = cairo_image_surface_get_stride(s) / 4;
  int differ = 0, inked = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) {
      uint32_t a = px[y * stride + x] & 0xFFFFFF, b = p.At(x, y);
      if (b != 0xFFFFFF) ++inked;
      if ((a == 0xFFFFFF) != (b == 0xFFFFFF)) ++differ;
    }
  cairo_surface_destroy(s);
  EXPECT_GT(inked, 200);
  EXPECT_LT(differ, inked / 20);
}

TEST(PrinterDC, DeleteObserverRunsBeforeTheDCGoes) {
  HDC dc = kv::gdi::CreatePrinterDC(smallPage());
  HDC seen = nullptr;
  ASSERT_TRUE(kv::gdi::SetPrinterDCDeleteObserver(dc, [&](HDC h) {
    seen = h;
    EXPECT_EQ(GetDeviceCaps(h, HORZRES), 400);
  }));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_EQ(seen, dc);
  EXPECT_FALSE(kv::gdi::IsPrinterDC(dc));
  auto bad = smallPage();
  bad.vertRes = -1;
  EXPECT_EQ(kv::gdi::CreatePrinterDC(bad), nullptr);
  Canvas c(2, 2);
  EXPECT_FALSE(kv::gdi::SetPrinterDCDeleteObserver(c.dc, nullptr));
}

TEST(SurfaceDC, DrawsAtItsOriginInsideTheVisibleParts) {
  std::vector<uint32_t> pixels(20 * 10, 0xFFFFFF);
  kv::gdi::SurfaceView view{pixels.data(), 20, 10, 80};
  HDC dc = kv::gdi::CreateSurfaceDC(view, {5, 2}, {RECT{0, 0, 10, 10}});
  ASSERT_NE(dc, nullptr);
  RECT r{0, 0, 20, 20};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(pixels[1 * 20 + 7], 0xFFFFFFu);  // above the origin
  EXPECT_EQ(pixels[2 * 20 + 5], 0u);
  EXPECT_EQ(pixels[2 * 20 + 9], 0u);
  EXPECT_EQ(pixels[2 * 20 + 10], 0xFFFFFFu);  // outside the visible part
  RECT box;
  GetClipBox(dc, &box);
  EXPECT_EQ(box.left, -5);  // the visible part reaches left of the origin
  EXPECT_EQ(box.right, 5);
  EXPECT_EQ(box.bottom, 8);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
  DeleteDC(dc);
  kv::gdi::SurfaceView bad{pixels.data(), 20, 10, 40};
  EXPECT_EQ(kv::gdi::CreateSurfaceDC(bad, {0, 0}, {}), nullptr);
}

}  // namespace
