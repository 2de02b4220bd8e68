// Regions and clipping.
#include <vector>

#include "platform/gdi/tests/gdi_test_util.h"

using kvtest::Canvas;

namespace {

struct RgnCase {
  const char* name;
  int mode;
  int type;
  RECT box;
  std::vector<std::pair<POINT, bool>> probes;
};

TEST(Regions, CombineTable) {
  // A = (0,0)-(10,10), B = (5,5)-(15,15).
  const std::vector<RgnCase> cases = {
      {"AND", RGN_AND, SIMPLEREGION, {5, 5, 10, 10}, {{{7, 7}, true}, {{2, 2}, false}, {{12, 12}, false}}},
      {"OR", RGN_OR, COMPLEXREGION, {0, 0, 15, 15}, {{{2, 2}, true}, {{12, 12}, true}, {{12, 2}, false}}},
      {"XOR", RGN_XOR, COMPLEXREGION, {0, 0, 15, 15}, {{{7, 7}, false}, {{2, 2}, true}, {{12, 12}, true}}},
      {"DIFF", RGN_DIFF, COMPLEXREGION, {0, 0, 10, 10}, {{{7, 7}, false}, {{2, 2}, true}, {{12, 12}, false}}},
      {"COPY", RGN_COPY, SIMPLEREGION, {0, 0, 10, 10}, {{{9, 9}, true}, {{10, 10}, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), d = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.type);
    RECT box;
    EXPECT_EQ(GetRgnBox(d, &box), c.type);
    EXPECT_EQ(box.left, c.box.left);
    EXPECT_EQ(box.top, c.box.top);
    EXPECT_EQ(box.right, c.box.right);
    EXPECT_EQ(box.bottom, c.box.bottom);
    for (auto& [p, in] : c.probes) EXPECT_EQ(bool(PtInRegion(d, p.x, p.y)), in) << p.x << "," << p.y;
    DeleteObject(a);
    DeleteObject(b);
    DeleteObject(d);
  }
  HRGN a = CreateRectRgn(0, 0, 2, 2), b = CreateRectRgn(5, 5, 6, 6), d = CreateRectRgn(0, 0, 1, 1);
  EXPECT_EQ(CombineRgn(d, a, b, RGN_AND), NULLREGION);
  EXPECT_EQ(CombineRgn(d, a, b, 99), ERROR);
  EXPECT_EQ(CombineRgn(d, a, reinterpret_cast<HRGN>(0x77), RGN_OR), ERROR);
  DeleteObject(a);
  DeleteObject(b);
  DeleteObject(d);
}

TEST(Regions, DataRoundTripOffsetEqualityAndShapes) {
  HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(2, 6, 8, 9), u = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(u, a, b, RGN_OR);
  DWORD need = GetRegionData(u, 0, nullptr);
  ASSERT_EQ(need, sizeof(RGNDATAHEADER) + 2 * sizeof(RECT));
  std::vector<char> buf(need);
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  EXPECT_EQ(GetRegionData(u, need - 1, data), 0u);
  ASSERT_EQ(GetRegionData(u, need, data), need);
  EXPECT_EQ(data->rdh.nCount, 2u);
  EXPECT_EQ(data->rdh.iType, DWORD(RDH_RECTANGLES));
  HRGN copy = ExtCreateRegion(nullptr, need, data);
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(EqualRgn(copy, u));
  XFORM shift{1, 0, 0, 1, 10, 20};
  HRGN moved = ExtCreateRegion(&shift, need, data);
  EXPECT_EQ(OffsetRgn(copy, 10, 20), COMPLEXREGION);
  EXPECT_TRUE(EqualRgn(copy, moved));
  // Lying counts are refused.
  data->rdh.nCount = 1000;
  EXPECT_EQ(ExtCreateRegion(nullptr, need, data), nullptr);
  data->rdh.nCount = 2;
  data->rdh.iType = 7;
  EXPECT_EQ(ExtCreateRegion(nullptr, need, data), nullptr);
  RECT in{3, 3, 5, 5}, out{4, 4, 6, 6};
  EXPECT_TRUE(RectInRegion(a, &in));
  EXPECT_FALSE(RectInRegion(a, &out));
  EXPECT_TRUE(SetRectRgn(a, 1, 1, 2, 2));
  EXPECT_TRUE(PtInRegion(a, 1, 1));
  EXPECT_FALSE(PtInRegion(a, 2, 2));
  for (HRGN h : {a, b, u, copy, moved}) DeleteObject(h);

  HRGN e = CreateEllipticRgn(0, 0, 20, 10);
  EXPECT_TRUE(PtInRegion(e, 10, 5));
  EXPECT_FALSE(PtInRegion(e, 0, 0));
  RECT box;
  GetRgnBox(e, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, 20);
  HRGN rr = CreateRoundRectRgn(0, 0, 20, 20, 8, 8);
  EXPECT_FALSE(PtInRegion(rr, 0, 0));
  EXPECT_TRUE(PtInRegion(rr, 10, 0));
  POINT tri[3] = {{0, 0}, {10, 0}, {0, 10}};
  HRGN t = CreatePolygonRgn(tri, 3, ALTERNATE);
  EXPECT_TRUE(PtInRegion(t, 1, 1));
  EXPECT_FALSE(PtInRegion(t, 8, 8));
  for (HRGN h : {e, rr, t}) DeleteObject(h);
}

TEST(Clipping, SelectIntersectExcludeAndClipBox) {
  Canvas d(10, 10);
  HRGN r = CreateRectRgn(2, 2, 8, 8);
  EXPECT_EQ(SelectClipRgn(d.dc, r), SIMPLEREGION);
  DeleteObject(r);  // the DC keeps its own copy
  EXPECT_EQ(ExcludeClipRect(d.dc, 4, 4, 6, 6), COMPLEXREGION);
  RECT all{0, 0, 10, 10};
  FillRect(d.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(d.Row(1), "..........");
  EXPECT_EQ(d.Row(2), "..######..");
  EXPECT_EQ(d.Row(4), "..##..##..");
  RECT box;
  EXPECT_EQ(GetClipBox(d.dc, &box), COMPLEXREGION);
  EXPECT_EQ(box.left, 2);
  EXPECT_EQ(box.bottom, 8);
  EXPECT_EQ(IntersectClipRect(d.dc, 0, 0, 3, 3), SIMPLEREGION);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(d.dc, got), 1);
  RECT gb;
  GetRgnBox(got, &gb);
  EXPECT_EQ(gb.right, 3);
  EXPECT_EQ(SelectClipRgn(d.dc, nullptr), SIMPLEREGION);
  EXPECT_EQ(GetClipRgn(d.dc, got), 0);
  DeleteObject(got);
  // Clip rectangles follow the logical origin; the box comes back in logical units.
  SetWindowOrgEx(d.dc, -5, 0, nullptr);
  IntersectClipRect(d.dc, 0, 0, 2, 2);
  GetClipBox(d.dc, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, 2);
  EXPECT_TRUE(PtVisible(d.dc, 1, 1));
  EXPECT_FALSE(PtVisible(d.dc, 3, 1));
}

TEST(Clipping, FillAndFrameRegions) {
  Canvas d(8, 8);
  HRGN r = CreateRectRgn(1, 1, 7, 7);
  ASSERT_TRUE(FrameRgn(d.dc, r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)), 2, 1));
  EXPECT_EQ(d.Row(1), ".######.");
  EXPECT_EQ(d.Row(3), ".##..##.");
  ASSERT_TRUE(FillRgn(d.dc, r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
  EXPECT_EQ(d.Row(3), ".######.");
  ASSERT_TRUE(InvertRgn(d.dc, r));
  EXPECT_EQ(d.Row(3), "........");
  DeleteObject(r);
}

}  // namespace
