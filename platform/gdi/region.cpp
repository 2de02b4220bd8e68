// Regions (on pixman), shape rasterisation into spans, and the clipping calls of DCs.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/internal.h"

namespace kv::gdi {

void PolygonSpans(const std::vector<std::vector<std::pair<double, double>>>& polys, int fillMode, SpanList* out) {
  struct Edge {
    double x0, y0, x1, y1;
    int dir;
  };
  std::vector<Edge> edges;
  double ymin = 1e18, ymax = -1e18;
  for (auto& p : polys) {
    size_t n = p.size();
    if (n < 2) continue;
    for (size_t i = 0; i < n; ++i) {
      auto a = p[i], b = p[(i + 1) % n];
      if (a.second == b.second) continue;
      int dir = a.second < b.second ? 1 : -1;
      if (dir < 0) std::swap(a, b);
      edges.push_back({a.first, a.second, b.first, b.second, dir});
      ymin = std::min(ymin, a.second);
      ymax = std::max(ymax, b.second);
    }
  }
  if (edges.empty()) return;
  int y0 = std::max<int>(ClampCoord(std::ceil(ymin)), out->limit.top);
  int y1 = std::min<int>(ClampCoord(std::ceil(ymax)), out->limit.bottom);
  std::vector<std::pair<double, int>> xs;
  for (int y = y0; y < y1; ++y) {
    xs.clear();
    for (auto& e : edges) {
      if (y < e.y0 || y >= e.y1) continue;
      double t = (y - e.y0) / (e.y1 - e.y0);
      xs.push_back({e.x0 + t * (e.x1 - e.x0), e.dir});
    }
    std::sort(xs.begin(), xs.end());
    int wind = 0;
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
      wind += fillMode == WINDING ? xs[i].second : 1;
      bool inside = fillMode == WINDING ? wind != 0 : (wind & 1);
      if (inside) out->Add(ClampCoord(std::ceil(xs[i].first)), ClampCoord(std::ceil(xs[i + 1].first)), y);
    }
  }
}

// The ellipse inscribed in [l, r) x [t, b), sampled at pixel centres.
void EllipseSpans(int l, int t, int r, int b, SpanList* out) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  if (int64_t(r) - l < 1 || int64_t(b) - t < 1) return;
  double a = (double(r) - l) / 2.0, bb = (double(b) - t) / 2.0;
  double cx = l + a, cy = t + bb;
  int y0 = std::max<int>(t, out->limit.top), y1 = std::min<int>(b, out->limit.bottom);
  for (int y = y0; y < y1; ++y) {
    double dy = (y + 0.5) - cy;
    double q = 1.0 - (dy * dy) / (bb * bb);
    if (q < 0) continue;
    double hw = a * std::sqrt(q);
    out->Add(std::max(l, ClampCoord(std::round(cx - hw))), std::min(r, ClampCoord(std::round(cx + hw))), y);
  }
}

// A rectangle [l, r) x [t, b) with corners cut by quarter ellipses of ew x eh.
void RoundRectSpans(int l, int t, int r, int b, int ew, int eh, SpanList* out) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  ew = int(std::min<int64_t>(std::abs(int64_t(ew)), int64_t(r) - l));
  eh = int(std::min<int64_t>(std::abs(int64_t(eh)), int64_t(b) - t));
  if (ew < 2 || eh < 2) {
    out->AddRect(l, t, r, b);
    return;
  }
  double a = ew / 2.0, bb = eh / 2.0;
  double topC = t + bb, botC = b - bb;
  int y0 = std::max<int>(t, out->limit.top), y1 = std::min<int>(b, out->limit.bottom);
  for (int y = y0; y < y1; ++y) {
    double yc = y + 0.5, dy = 0;
    if (yc < topC)
      dy = topC - yc;
    else if (yc > botC)
      dy = yc - botC;
    double q = 1.0 - (dy * dy) / (bb * bb);
    if (q < 0) continue;
    double inset = a - a * std::sqrt(q);
    int in = ClampCoord(std::round(inset));
    out->Add(ClampCoord(int64_t(l) + in), ClampCoord(int64_t(r) - in), y);
  }
}

namespace {

int rgnType(const pixman_region32_t* r) {
  int n = pixman_region32_n_rects(const_cast<pixman_region32_t*>(r));
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

HRGN newRegion(const Rgn& from) {
  auto r = std::make_shared<Region>();
  pixman_region32_copy(&r->r, const_cast<pixman_region32_t*>(&from.r));
  return static_cast<HRGN>(Register(r));
}

std::shared_ptr<Region> region(HRGN h) {
  auto r = FindAs<Region>(h, OBJ_REGION);
  if (!r) SetLastError(ERROR_INVALID_HANDLE);
  return r;
}

RECT ordered(int l, int t, int r, int b) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  return {l, t, r, b};
}

// The device's whole surface in device coordinates.
Rgn wholeDevice(const DC& dc) {
  Bitmap* t = dc.Target();
  int w = t ? t->width : dc.caps.horzRes, h = t ? t->height : dc.caps.vertRes;
  return Rgn(RECT{-dc.surfaceOrigin.x, -dc.surfaceOrigin.y, w - dc.surfaceOrigin.x, h - dc.surfaceOrigin.y});
}

Rgn toRgn(const Region& r) {
  Rgn out;
  pixman_region32_copy(&out.r, const_cast<pixman_region32_t*>(&r.r));
  return out;
}

}  // namespace

}  // namespace kv::gdi

using namespace kv::gdi;

extern "C" {

HRGN CreateRectRgn(int l, int t, int r, int b) {
  KV_GDI_LOCK;
  return newRegion(
      Rgn(ordered(ClampCoord(int64_t(l)), ClampCoord(int64_t(t)), ClampCoord(int64_t(r)), ClampCoord(int64_t(b)))));
}

HRGN CreateRectRgnIndirect(const RECT* rc) {
  if (!rc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateRectRgn(rc->left, rc->top, rc->right, rc->bottom);
}

HRGN CreateRoundRectRgn(int l, int t, int r, int b, int ew, int eh) {
  KV_GDI_LOCK;
  SpanList s;
  RoundRectSpans(l, t, r, b, ew, eh, &s);
  return newRegion(s.ToRgn());
}

HRGN CreateEllipticRgn(int l, int t, int r, int b) {
  KV_GDI_LOCK;
  SpanList s;
  EllipseSpans(l, t, r, b, &s);
  return newRegion(s.ToRgn());
}

HRGN CreateEllipticRgnIndirect(const RECT* rc) {
  if (!rc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateEllipticRgn(rc->left, rc->top, rc->right, rc->bottom);
}

HRGN CreatePolyPolygonRgn(const POINT* pts, const INT* counts, int polys, int fillMode) {
  KV_GDI_LOCK;
  if (!pts || !counts || polys <= 0 || (fillMode != ALTERNATE && fillMode != WINDING)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::vector<std::pair<double, double>>> ps;
  const POINT* p = pts;
  for (int i = 0; i < polys; ++i) {
    if (counts[i] < 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    std::vector<std::pair<double, double>> v;
    for (int k = 0; k < counts[i]; ++k, ++p) v.push_back({double(p->x), double(p->y)});
    ps.push_back(std::move(v));
  }
  SpanList s;
  PolygonSpans(ps, fillMode, &s);
  return newRegion(s.ToRgn());
}

HRGN CreatePolygonRgn(const POINT* pts, int count, int fillMode) {
  INT c = count;
  return CreatePolyPolygonRgn(pts, &c, 1, fillMode);
}

HRGN ExtCreateRegion(const XFORM* xf, DWORD count, const RGNDATA* data) {
  KV_GDI_LOCK;
  if (!data || count < sizeof(RGNDATAHEADER) || data->rdh.dwSize < sizeof(RGNDATAHEADER) ||
      data->rdh.iType != RDH_RECTANGLES || data->rdh.dwSize > count ||
      uint64_t(data->rdh.nCount) * sizeof(RECT) > uint64_t(count - data->rdh.dwSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (xf && (xf->eM12 != 0 || xf->eM21 != 0)) {
    SetLastError(ERROR_NOT_SUPPORTED);  // rotation and shear of regions are not drawn
    return nullptr;
  }
  const auto* base = reinterpret_cast<const uint8_t*>(data) + data->rdh.dwSize;
  SpanList s;
  for (DWORD i = 0; i < data->rdh.nCount; ++i) {
    RECT rc;
    std::memcpy(&rc, base + i * sizeof(RECT), sizeof rc);
    if (xf) {
      double l = rc.left * xf->eM11 + xf->eDx, r = rc.right * xf->eM11 + xf->eDx;
      double t = rc.top * xf->eM22 + xf->eDy, b = rc.bottom * xf->eM22 + xf->eDy;
      rc = ordered(int(std::lround(l)), int(std::lround(t)), int(std::lround(r)), int(std::lround(b)));
    }
    s.AddRect(rc.left, rc.top, rc.right, rc.bottom);
  }
  return newRegion(s.ToRgn());
}

DWORD GetRegionData(HRGN h, DWORD count, RGNDATA* data) {
  KV_GDI_LOCK;
  auto r = region(h);
  if (!r) return 0;
  Rgn v = toRgn(*r);
  auto rects = v.Rects();
  DWORD need = DWORD(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  if (!data) return need;
  if (count < need) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  data->rdh.dwSize = sizeof(RGNDATAHEADER);
  data->rdh.iType = RDH_RECTANGLES;
  data->rdh.nCount = DWORD(rects.size());
  data->rdh.nRgnSize = DWORD(rects.size() * sizeof(RECT));
  data->rdh.rcBound = v.Box();
  if (!rects.empty())
    std::memcpy(reinterpret_cast<uint8_t*>(data) + sizeof(RGNDATAHEADER), rects.data(), rects.size() * sizeof(RECT));
  return need;
}

int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
  KV_GDI_LOCK;
  auto d = region(dst);
  auto a = region(src1);
  if (!d || !a) return ERROR;
  if (mode == RGN_COPY) {
    pixman_region32_copy(&d->r, &a->r);
    return rgnType(&d->r);
  }
  auto b = region(src2);
  if (!b) return ERROR;
  switch (mode) {
    case RGN_AND: pixman_region32_intersect(&d->r, &a->r, &b->r); break;
    case RGN_OR: pixman_region32_union(&d->r, &a->r, &b->r); break;
    case RGN_DIFF: pixman_region32_subtract(&d->r, &a->r, &b->r); break;
    case RGN_XOR: {
      Rgn x = toRgn(*a), y = toRgn(*b);
      Rgn ab = x;
      ab.Subtract(y);
      y.Subtract(x);
      ab.Union(y);
      pixman_region32_copy(&d->r, &ab.r);
      break;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return ERROR;
  }
  return rgnType(&d->r);
}

int OffsetRgn(HRGN h, int dx, int dy) {
  KV_GDI_LOCK;
  auto r = region(h);
  if (!r) return ERROR;
  dx = ClampCoord(int64_t(dx));
  dy = ClampCoord(int64_t(dy));
  pixman_region32_translate(&r->r, dx, dy);
  return rgnType(&r->r);
}

BOOL PtInRegion(HRGN h, int x, int y) {
  KV_GDI_LOCK;
  auto r = region(h);
  if (!r) return FALSE;
  return pixman_region32_contains_point(&r->r, x, y, nullptr) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN h, const RECT* rc) {
  KV_GDI_LOCK;
  auto r = region(h);
  if (!r || !rc) return FALSE;
  RECT o = ordered(rc->left, rc->top, rc->right, rc->bottom);
  if (o.right == o.left || o.bottom == o.top) return FALSE;
  pixman_box32_t box{o.left, o.top, o.right, o.bottom};
  return pixman_region32_contains_rectangle(&r->r, &box) != PIXMAN_REGION_OUT ? TRUE : FALSE;
}

int GetRgnBox(HRGN h, LPRECT rc) {
  KV_GDI_LOCK;
  auto r = region(h);
  if (!r || !rc) return ERROR;
  *rc = toRgn(*r).Box();
  return rgnType(&r->r);
}

BOOL EqualRgn(HRGN a, HRGN b) {
  KV_GDI_LOCK;
  auto x = region(a), y = region(b);
  if (!x || !y) return ERROR;
  return pixman_region32_equal(&x->r, &y->r) ? TRUE : FALSE;
}

BOOL SetRectRgn(HRGN h, int l, int t, int r, int b) {
  KV_GDI_LOCK;
  auto rg = region(h);
  if (!rg) return FALSE;
  Rgn v(ordered(l, t, r, b));
  pixman_region32_copy(&rg->r, &v.r);
  return TRUE;
}

// ---- Filling regions -----------------------------------------------------------------------
BOOL FillRgn(HDC hdc, HRGN h, HBRUSH hbr) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  auto r = region(h);
  auto b = FindAs<Brush>(hbr, OBJ_BRUSH);
  if (!dc || !r) return FALSE;
  if (!b) return Fail(ERROR_INVALID_HANDLE);
  if (!PageReady(*dc)) return FALSE;
  Rgn dev = toRgn(*r);
  dev.Translate(dc->st.viewportOrg.x - dc->st.windowOrg.x, dc->st.viewportOrg.y - dc->st.windowOrg.y);
  return Paint(
      *dc,
      [&] {
        FillDeviceRgnRop3(*dc, dev, BrushSource(*dc, *b), 0xF0);
        return true;
      },
      [&] {
        PageOp op;
        op.kind = PageOp::Kind::Path;
        op.rop = PATCOPY;
        op.path.brush = DescribeBrushOf(*dc, *b);
        op.path.fill = true;
        for (auto& rc : dev.Rects()) {
          op.path.subpaths.push_back({{double(rc.left), double(rc.top)},
                                      {double(rc.right), double(rc.top)},
                                      {double(rc.right), double(rc.bottom)},
                                      {double(rc.left), double(rc.bottom)}});
          op.path.closed.push_back(true);
        }
        Record(*dc, std::move(op));
      });
}

BOOL PaintRgn(HDC hdc, HRGN h) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  return FillRgn(hdc, h, static_cast<HBRUSH>(dc->st.brush->handle));
}

BOOL FrameRgn(HDC hdc, HRGN h, HBRUSH hbr, int w, int hgt) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  auto r = region(h);
  if (!dc || !r) return FALSE;
  if (w <= 0 || hgt <= 0) return Fail(ERROR_INVALID_PARAMETER);
  // The frame is the region minus its erosion by w horizontally and h vertically.
  Rgn full = toRgn(*r), inner = full;
  for (auto [dx, dy] : {std::pair{w, 0}, std::pair{-w, 0}, std::pair{0, hgt}, std::pair{0, -hgt}}) {
    Rgn moved = full;
    moved.Translate(dx, dy);
    inner.Intersect(moved);
  }
  full.Subtract(inner);
  HRGN tmp = newRegion(full);
  BOOL ok = FillRgn(hdc, tmp, hbr);
  DeleteObject(tmp);
  return ok;
}

BOOL InvertRgn(HDC hdc, HRGN h) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  auto r = region(h);
  if (!dc || !r) return FALSE;
  if (!PageReady(*dc)) return FALSE;
  Rgn dev = toRgn(*r);
  dev.Translate(dc->st.viewportOrg.x - dc->st.windowOrg.x, dc->st.viewportOrg.y - dc->st.windowOrg.y);
  return PaintPatch(
      *dc,
      [&] {
        FillDeviceRgnRop3(*dc, dev, PatternSource{}, 0x55);
        return true;
      },
      dev.Box());
}

// ---- Clipping ---------------------------------------------------------------------------------
int ExtSelectClipRgn(HDC hdc, HRGN h, int mode) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return ERROR;
  if (!h) {
    if (mode != RGN_COPY) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return ERROR;
    }
    dc->st.clip.reset();
  } else {
    auto r = region(h);
    if (!r) return ERROR;
    Rgn src = toRgn(*r);
    // Without a clip region the current clip is the whole device.
    Rgn cur = dc->st.clip ? *dc->st.clip : wholeDevice(*dc);
    switch (mode) {
      case RGN_COPY: cur = src; break;
      case RGN_AND: cur.Intersect(src); break;
      case RGN_OR: cur.Union(src); break;
      case RGN_DIFF: cur.Subtract(src); break;
      case RGN_XOR: {
        Rgn a = cur;
        a.Subtract(src);
        src.Subtract(cur);
        a.Union(src);
        cur = a;
        break;
      }
      default: SetLastError(ERROR_INVALID_PARAMETER); return ERROR;
    }
    dc->st.clip = cur;
  }
  Rgn eff = dc->ClipInTarget();
  return rgnType(&eff.r);
}

int SelectClipRgn(HDC hdc, HRGN h) { return ExtSelectClipRgn(hdc, h, RGN_COPY); }

int IntersectClipRect(HDC hdc, int l, int t, int r, int b) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return ERROR;
  POINT a = dc->ToDevice(l, t), z = dc->ToDevice(r, b);
  Rgn rc(ordered(a.x, a.y, z.x, z.y));
  if (dc->st.clip)
    dc->st.clip->Intersect(rc);
  else
    dc->st.clip = rc;
  Rgn eff = dc->ClipInTarget();
  return rgnType(&eff.r);
}

int ExcludeClipRect(HDC hdc, int l, int t, int r, int b) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return ERROR;
  POINT a = dc->ToDevice(l, t), z = dc->ToDevice(r, b);
  Rgn rc(ordered(a.x, a.y, z.x, z.y));
  if (!dc->st.clip) dc->st.clip = wholeDevice(*dc);
  dc->st.clip->Subtract(rc);
  Rgn eff = dc->ClipInTarget();
  return rgnType(&eff.r);
}

int OffsetClipRgn(HDC hdc, int dx, int dy) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return ERROR;
  if (dc->st.clip) dc->st.clip->Translate(dx, dy);
  Rgn eff = dc->ClipInTarget();
  return rgnType(&eff.r);
}

int GetClipBox(HDC hdc, LPRECT rc) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc || !rc) return ERROR;
  Rgn eff = dc->ClipInTarget();
  RECT b = eff.Box();
  if (eff.Empty()) {
    *rc = {0, 0, 0, 0};
    return NULLREGION;
  }
  int ox = -dc->surfaceOrigin.x - dc->st.viewportOrg.x + dc->st.windowOrg.x;
  int oy = -dc->surfaceOrigin.y - dc->st.viewportOrg.y + dc->st.windowOrg.y;
  *rc = {b.left + ox, b.top + oy, b.right + ox, b.bottom + oy};
  return rgnType(&eff.r);
}

int GetClipRgn(HDC hdc, HRGN h) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  auto r = region(h);
  if (!dc || !r) return -1;
  if (!dc->st.clip) return 0;
  pixman_region32_copy(&r->r, &dc->st.clip->r);
  return 1;
}

BOOL PtVisible(HDC hdc, int x, int y) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return -1;
  POINT p = dc->ToDevice(x, y);
  Rgn eff = dc->ClipInTarget();
  return pixman_region32_contains_point(&eff.r, p.x + dc->surfaceOrigin.x, p.y + dc->surfaceOrigin.y, nullptr) ? TRUE
                                                                                                               : FALSE;
}

BOOL RectVisible(HDC hdc, const RECT* rc) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc || !rc) return FALSE;
  POINT a = dc->ToDevice(rc->left, rc->top), z = dc->ToDevice(rc->right, rc->bottom);
  RECT o = ordered(a.x + dc->surfaceOrigin.x, a.y + dc->surfaceOrigin.y, z.x + dc->surfaceOrigin.x,
                   z.y + dc->surfaceOrigin.y);
  Rgn eff = dc->ClipInTarget();
  eff.IntersectRect(o);
  return eff.Empty() ? FALSE : TRUE;
}

}  // extern "C"
