// Pens, lines, shapes, rectangle fills, edges, pixels and the DC state.
#include "platform/gdi/tests/gdi_test_util.h"

using kvtest::Canvas;
using kvtest::Px;

namespace {

TEST(Lines, EndPointIsExcluded) {
  struct Case {
    POINT a, b;
    std::vector<POINT> on;
    POINT off;
  };
  const std::vector<Case> cases = {
      {{0, 0}, {5, 0}, {{0, 0}, {4, 0}}, {5, 0}},
      {{5, 2}, {0, 2}, {{5, 2}, {1, 2}}, {0, 2}},
      {{1, 0}, {1, 4}, {{1, 0}, {1, 3}}, {1, 4}},
      {{0, 0}, {4, 4}, {{0, 0}, {1, 1}, {3, 3}}, {4, 4}},
  };
  for (const auto& c : cases) {
    Canvas d(8, 8);
    MoveToEx(d.dc, c.a.x, c.a.y, nullptr);
    ASSERT_TRUE(LineTo(d.dc, c.b.x, c.b.y));
    for (auto p : c.on) EXPECT_EQ(d.at(p.x, p.y), 0u) << p.x << "," << p.y;
    EXPECT_EQ(d.at(c.off.x, c.off.y), 0xFFFFFFu) << "end point drawn";
    POINT cur;
    GetCurrentPositionEx(d.dc, &cur);
    EXPECT_EQ(cur.x, c.b.x);
    EXPECT_EQ(cur.y, c.b.y);
  }
}

TEST(Lines, PolylineJoinsSegmentsWithoutDoubleXor) {
  Canvas d(6, 6);
  SetROP2(d.dc, R2_NOT);
  POINT pts[3] = {{0, 0}, {4, 0}, {4, 4}};
  ASSERT_TRUE(Polyline(d.dc, pts, 3));
  EXPECT_EQ(d.at(4, 0), 0u);  // the joint is inverted once
  EXPECT_EQ(d.at(4, 3), 0u);
  EXPECT_EQ(d.at(4, 4), 0xFFFFFFu);
}

TEST(Lines, TheSevenPenStylesOnOnePixelLines) {
  struct Case {
    int style;
    const char* row;  // 20 pixels of a line from (0,0) to (20,0)
  };
  const std::vector<Case> cases = {
      {PS_DOT, "###...###...###...##"},     {PS_DASH, "##################.."},
      {PS_DASHDOT, "#########......###.."}, {PS_DASHDOTDOT, "#########...###...##"},
      {PS_SOLID, "####################"},   {PS_INSIDEFRAME, "####################"},
      {PS_NULL, "...................."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    Canvas d(24, 1);
    HPEN pen = CreatePen(c.style, 1, RGB(0, 0, 0));
    HGDIOBJ op = SelectObject(d.dc, pen);
    SetBkMode(d.dc, TRANSPARENT);
    MoveToEx(d.dc, 0, 0, nullptr);
    LineTo(d.dc, 20, 0);
    EXPECT_EQ(d.Row(0).substr(0, 20), c.row);
    SelectObject(d.dc, op);
    DeleteObject(pen);
  }
}

TEST(Lines, OpaqueBackgroundFillsGapsOfStyledLines) {
  Canvas d(8, 1);
  HPEN pen = CreatePen(PS_DOT, 1, RGB(0, 0, 0));
  HGDIOBJ op = SelectObject(d.dc, pen);
  SetBkMode(d.dc, OPAQUE);
  SetBkColor(d.dc, RGB(255, 0, 0));
  MoveToEx(d.dc, 0, 0, nullptr);
  LineTo(d.dc, 8, 0);
  EXPECT_EQ(d.Row(0, RGB(255, 0, 0)), "...###..");
  SelectObject(d.dc, op);
  DeleteObject(pen);
}

TEST(Lines, HugePenWidthsCoverTheSurfaceWithoutOverflow) {
  for (int width : {100000000, 2147483647}) {
    Canvas d(16, 16);
    HPEN pen = CreatePen(PS_SOLID, width, RGB(0, 0, 0));
    HGDIOBJ op = SelectObject(d.dc, pen);
    MoveToEx(d.dc, 2, 8, nullptr);
    ASSERT_TRUE(LineTo(d.dc, 12, 8));
    EXPECT_EQ(d.at(0, 0), 0u) << width;
    EXPECT_EQ(d.at(15, 15), 0u) << width;
    SelectObject(d.dc, op);
    DeleteObject(pen);
  }
}

TEST(Lines, WidePenCoversItsWidthAndDotsScaleWithIt) {
  Canvas d(30, 9);
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
  HGDIOBJ op = SelectObject(d.dc, pen);
  MoveToEx(d.dc, 5, 4, nullptr);
  LineTo(d.dc, 20, 4);
  EXPECT_EQ(d.at(10, 3), 0u);
  EXPECT_EQ(d.at(10, 5), 0u);
  EXPECT_EQ(d.at(10, 2), 0xFFFFFFu);
  EXPECT_EQ(d.at(10, 6), 0xFFFFFFu);
  EXPECT_EQ(d.at(4, 4), 0u);  // round cap reaches half the width beyond the end
  EXPECT_EQ(d.at(2, 4), 0xFFFFFFu);
  SelectObject(d.dc, op);
  DeleteObject(pen);

  Canvas e(30, 5);
  HPEN dot = CreatePen(PS_DOT, 3, RGB(0, 0, 0));
  op = SelectObject(e.dc, dot);
  MoveToEx(e.dc, 0, 2, nullptr);
  LineTo(e.dc, 18, 2);
  EXPECT_EQ(e.Row(2).substr(0, 18), "###...###...###...");
  EXPECT_EQ(e.Row(1).substr(0, 18), "###...###...###...");
  SelectObject(e.dc, op);
  DeleteObject(dot);
}

TEST(Shapes, RectangleWithPenAndBrush) {
  Canvas d(8, 6);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ ob = SelectObject(d.dc, red);
  ASSERT_TRUE(Rectangle(d.dc, 1, 1, 6, 5));
  EXPECT_EQ(d.Row(0), "........");
  EXPECT_EQ(d.Row(1), ".#####..");
  EXPECT_EQ(d.Row(2), ".#...#..");
  EXPECT_EQ(d.Row(2, RGB(255, 0, 0)), "..###...");
  EXPECT_EQ(d.Row(4), ".#####..");
  EXPECT_EQ(d.Row(5), "........");
  // Without a pen the filled area loses its right column and bottom row.
  SelectObject(d.dc, GetStockObject(NULL_PEN));
  Canvas e(8, 6);
  SelectObject(e.dc, red);
  SelectObject(e.dc, GetStockObject(NULL_PEN));
  Rectangle(e.dc, 1, 1, 6, 5);
  EXPECT_EQ(e.Row(1, RGB(255, 0, 0)), ".####...");
  EXPECT_EQ(e.Row(4, RGB(255, 0, 0)), "........");
  SelectObject(e.dc, GetStockObject(WHITE_BRUSH));
  SelectObject(d.dc, ob);
  DeleteObject(red);
}

TEST(Shapes, EllipseStaysInsideItsBox) {
  Canvas d(20, 20);
  HBRUSH b = CreateSolidBrush(RGB(0, 0, 255));
  HGDIOBJ ob = SelectObject(d.dc, b);
  ASSERT_TRUE(Ellipse(d.dc, 2, 3, 18, 13));
  RECT ink = d.Ink();
  EXPECT_EQ(ink.left, 2);
  EXPECT_EQ(ink.top, 3);
  EXPECT_EQ(ink.right, 18);
  EXPECT_EQ(ink.bottom, 13);
  EXPECT_EQ(d.at(10, 8), 0x0000FFu);  // filled centre
  EXPECT_EQ(d.at(10, 3), 0u);         // outline at the top
  EXPECT_EQ(d.at(2, 3), 0xFFFFFFu);   // corner outside
  SelectObject(d.dc, ob);
  DeleteObject(b);
}

TEST(Shapes, PolygonFillExcludesRightAndBottomEdges) {
  Canvas d(8, 8);
  SelectObject(d.dc, GetStockObject(NULL_PEN));
  SelectObject(d.dc, GetStockObject(BLACK_BRUSH));
  POINT sq[4] = {{1, 1}, {5, 1}, {5, 5}, {1, 5}};
  ASSERT_TRUE(Polygon(d.dc, sq, 4));
  EXPECT_EQ(d.Row(1), ".####...");
  EXPECT_EQ(d.Row(4), ".####...");
  EXPECT_EQ(d.Row(5), "........");
  SelectObject(d.dc, GetStockObject(WHITE_BRUSH));
  SelectObject(d.dc, GetStockObject(BLACK_PEN));
}

TEST(Fills, FillRectFrameRectInvertRectAndSystemColourBrushes) {
  Canvas d(6, 4);
  RECT r{1, 1, 5, 3};
  HBRUSH b = CreateSolidBrush(RGB(0, 128, 0));
  EXPECT_EQ(FillRect(d.dc, &r, b), 1);
  EXPECT_EQ(d.Row(1, RGB(0, 128, 0)), ".####.");
  EXPECT_EQ(d.Row(3, RGB(0, 128, 0)), "......");
  EXPECT_EQ(FillRect(d.dc, &r, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)), 1);
  EXPECT_EQ(d.at(2, 2), Px(GetSysColor(COLOR_BTNFACE)));
  RECT all{0, 0, 6, 4};
  FillRect(d.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECT q{1, 0, 5, 4};
  FrameRect(d.dc, &q, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(d.Row(0), ".####.");
  EXPECT_EQ(d.Row(2), ".#..#.");
  InvertRect(d.dc, &q);
  EXPECT_EQ(d.Row(2), "..##..");
  EXPECT_EQ(d.Row(0), "......");
  EXPECT_EQ(FillRect(d.dc, &r, reinterpret_cast<HBRUSH>(0x4321)), 0);
  DeleteObject(b);
}

TEST(Fills, FocusRectangleIsDottedAndErasesItself) {
  Canvas d(6, 4);
  RECT r{0, 0, 6, 4};
  ASSERT_TRUE(DrawFocusRect(d.dc, &r));
  EXPECT_EQ(d.Row(0), "#.#.#.");
  EXPECT_EQ(d.Row(1), ".....#");
  ASSERT_TRUE(DrawFocusRect(d.dc, &r));
  EXPECT_EQ(d.Ink().right, 0);
}

TEST(Fills, DrawEdgeUsesTheThreeDColours) {
  Canvas d(6, 6);
  RECT r{0, 0, 6, 6};
  ASSERT_TRUE(DrawEdge(d.dc, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST));
  EXPECT_EQ(d.at(0, 0), Px(GetSysColor(COLOR_3DLIGHT)));
  EXPECT_EQ(d.at(5, 5), Px(GetSysColor(COLOR_3DDKSHADOW)));
  EXPECT_EQ(d.at(1, 1), Px(GetSysColor(COLOR_BTNHIGHLIGHT)));
  EXPECT_EQ(d.at(4, 4), Px(GetSysColor(COLOR_BTNSHADOW)));
  EXPECT_EQ(d.at(2, 2), Px(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(r.left, 2);
  EXPECT_EQ(r.right, 4);
  Canvas s(4, 4);
  RECT q{0, 0, 4, 4};
  DrawEdge(s.dc, &q, EDGE_SUNKEN, BF_RECT);
  EXPECT_EQ(s.at(0, 0), Px(GetSysColor(COLOR_BTNSHADOW)));
  EXPECT_EQ(s.at(3, 3), Px(GetSysColor(COLOR_BTNHIGHLIGHT)));
  EXPECT_EQ(s.at(1, 1), Px(GetSysColor(COLOR_3DDKSHADOW)));
}

TEST(Pixels, SetAndGetThroughOriginsAndClip) {
  Canvas d(10, 10);
  SetViewportOrgEx(d.dc, 3, 2, nullptr);
  SetWindowOrgEx(d.dc, 1, 1, nullptr);
  EXPECT_EQ(SetPixel(d.dc, 1, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
  EXPECT_EQ(d.at(3, 2), 0x010203u);
  EXPECT_EQ(GetPixel(d.dc, 1, 1), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(d.dc, 100, 100), CLR_INVALID);
  EXPECT_EQ(SetPixel(d.dc, -50, 0, 0), CLR_INVALID);
}

TEST(State, SaveAndRestoreBringBackObjectsColoursAndClip) {
  Canvas d(10, 10);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  int level = SaveDC(d.dc);
  ASSERT_EQ(level, 1);
  HGDIOBJ old = SelectObject(d.dc, pen);
  SetTextColor(d.dc, RGB(9, 9, 9));
  IntersectClipRect(d.dc, 0, 0, 2, 2);
  SaveDC(d.dc);
  SetTextColor(d.dc, RGB(8, 8, 8));
  ASSERT_TRUE(RestoreDC(d.dc, -1));
  EXPECT_EQ(GetTextColor(d.dc), RGB(9, 9, 9));
  ASSERT_TRUE(RestoreDC(d.dc, 1));
  EXPECT_EQ(GetTextColor(d.dc), RGB(0, 0, 0));
  EXPECT_EQ(GetCurrentObject(d.dc, OBJ_PEN), old);
  RECT box;
  EXPECT_EQ(GetClipBox(d.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.right, 10);
  EXPECT_FALSE(RestoreDC(d.dc, 1));  // nothing saved any more
  DeleteObject(pen);
}

TEST(State, DeviceCapsOfMemoryDCs) {
  HDC dc = CreateCompatibleDC(nullptr);
  KvScreenSetSize(1280, 1024);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
  EXPECT_EQ(GetDeviceCaps(dc, NUMCOLORS), -1);
  EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), 0);
  EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASDISPLAY);
  EXPECT_TRUE(GetDeviceCaps(dc, RASTERCAPS) & RC_STRETCHDIB);
  EXPECT_FALSE(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE);
  HDC dc2 = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(dc2, HORZRES), 1280);
  KvScreenSetSize(1024, 768);
  DeleteDC(dc2);
  DeleteDC(dc);
}

TEST(Objects, SelectionRulesAndStockObjects) {
  DWORD before = KvGdiObjectCount();
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(a, 4, 4);
  EXPECT_EQ(GetObjectType(a), DWORD(OBJ_MEMDC));
  HGDIOBJ first = SelectObject(a, bm);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(SelectObject(b, bm), nullptr);  // one DC at a time
  EXPECT_FALSE(DeleteObject(bm));           // still selected
  SelectObject(a, first);
  EXPECT_TRUE(DeleteObject(bm));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));  // stock objects stay
  EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), DWORD(OBJ_PEN));
  LOGPEN lp{};
  EXPECT_EQ(GetObjectW(GetStockObject(WHITE_PEN), sizeof lp, &lp), int(sizeof lp));
  EXPECT_EQ(lp.lopnColor, RGB(255, 255, 255));
  BITMAP info{};
  HBITMAP mono = CreateBitmap(9, 2, 1, 1, nullptr);
  EXPECT_EQ(GetObjectW(mono, sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmWidthBytes, 2);
  EXPECT_EQ(info.bmBitsPixel, 1);
  DeleteObject(mono);
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(0x999)));
  DeleteDC(a);
  DeleteDC(b);
  EXPECT_EQ(KvGdiObjectCount(), before);
}

TEST(Palettes, StockHalftoneAndNearest) {
  HPALETTE def = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  PALETTEENTRY e[20];
  ASSERT_EQ(GetPaletteEntries(def, 0, 20, e), 20u);
  EXPECT_EQ(e[7].peRed, 192);
  EXPECT_EQ(e[19].peBlue, 255);
  EXPECT_EQ(GetNearestPaletteIndex(def, RGB(250, 5, 5)), 13u);
  HPALETTE ht = CreateHalftonePalette(nullptr);
  EXPECT_EQ(GetPaletteEntries(ht, 0, 0, nullptr), 256u);
  EXPECT_EQ(GetNearestPaletteIndex(ht, RGB(0, 0, 0)), 0u);
  LOGPALETTE lp{0x300, 1, {{1, 2, 3, 0}}};
  HPALETTE one = CreatePalette(&lp);
  PALETTEENTRY set{9, 8, 7, 0};
  EXPECT_EQ(SetPaletteEntries(one, 0, 1, &set), 1u);
  EXPECT_EQ(SetPaletteEntries(one, 1, 1, &set), 0u);
  LOGPALETTE bad{0x200, 1, {{0, 0, 0, 0}}};
  EXPECT_EQ(CreatePalette(&bad), nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectPalette(dc, one, FALSE), def);
  EXPECT_NE(RealizePalette(dc), GDI_ERROR);
  Canvas c(1, 1);
  SelectPalette(c.dc, one, FALSE);
  SetPixel(c.dc, 0, 0, PALETTEINDEX(0));
  EXPECT_EQ(c.at(0, 0), 0x090807u);
  EXPECT_EQ(GetNearestColor(c.dc, RGB(1, 2, 3)), RGB(1, 2, 3));  // a true-colour target
  SelectPalette(c.dc, def, FALSE);
  SelectPalette(dc, def, FALSE);
  DeleteDC(dc);
  DeleteObject(one);
  DeleteObject(ht);
}

TEST(Robustness, HugeCoordinatesCostOnlyTheirVisiblePart) {
  Canvas d(16, 16);
  const int big = 2000000000;
  SetViewportOrgEx(d.dc, big, 0, nullptr);  // sums past the int range are clamped
  EXPECT_TRUE(Rectangle(d.dc, 0, 0, 10, 10));
  SetViewportOrgEx(d.dc, 0, 0, nullptr);
  EXPECT_TRUE(Rectangle(d.dc, -big, -big, big, big));
  EXPECT_TRUE(Ellipse(d.dc, -big, -big, big, big));
  EXPECT_TRUE(RoundRect(d.dc, -big, -big, big, big, big, big));
  MoveToEx(d.dc, -big, 5, nullptr);
  EXPECT_TRUE(LineTo(d.dc, big, 5));
  EXPECT_EQ(d.at(8, 5), 0u);
  HPEN wide = CreatePen(PS_DASH, 5, RGB(0, 0, 0));
  HGDIOBJ op = SelectObject(d.dc, wide);
  MoveToEx(d.dc, -100000, -100000, nullptr);
  EXPECT_TRUE(LineTo(d.dc, 100000, 100000));
  SelectObject(d.dc, op);
  DeleteObject(wide);
  POINT tri[3] = {{-big, -big}, {big, 0}, {0, big}};
  EXPECT_TRUE(Polygon(d.dc, tri, 3));
  HRGN r = CreatePolygonRgn(tri, 3, WINDING);
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(PtInRegion(r, 0, 0));
  DeleteObject(r);
  Canvas s(2, 2);
  EXPECT_TRUE(StretchBlt(d.dc, -big, -big, big, big, s.dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_TRUE(StretchBlt(d.dc, 0, 0, 16, 16, s.dc, -big, -big, big, big, SRCCOPY));
  EXPECT_FALSE(StretchBlt(d.dc, 0, 0, INT32_MIN, 16, s.dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(CreateCompatibleBitmap(d.dc, 100000, 100000), nullptr);
  EXPECT_EQ(CreateBitmap(40000, 40000, 1, 32, nullptr), nullptr);
}

}  // namespace
