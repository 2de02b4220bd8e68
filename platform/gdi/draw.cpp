// Pixels, lines with pens, shapes, rectangle fills, focus rectangles, 3-D edges and the
// default system colours.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/internal.h"
#include "platform/gdi/raster.h"

namespace kv::gdi {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct PixelWriter {
  DC& dc;
  Bitmap* t;
  Rgn clip;
  uint32_t vmask;
  explicit PixelWriter(DC& d) : dc(d), t(d.Target()), clip(d.ClipInTarget()), vmask(t ? t->format.ValueMask() : 0) {}
  // (x, y) in device coordinates.
  void Put(int x, int y, uint32_t pen, int rop2) {
    x += dc.surfaceOrigin.x;
    y += dc.surfaceOrigin.y;
    if (!pixman_region32_contains_point(&clip.r, x, y, nullptr)) return;
    t->Set(x, y, Rop2(pen, t->Get(x, y), rop2) & vmask);
  }
};

std::vector<int> cosmeticDashes(const PenInfo& p) {
  std::vector<int> d;
  for (DWORD v : p.dashes) d.push_back(int(std::max<DWORD>(1, v)));
  return d;
}

// A cosmetic line from a to b, end point excluded; the style position carries over. The
// minor coordinate of step i is i * dminor / dmajor rounded half up; only the steps whose
// major coordinate can fall on the target are visited.
void cosmeticLine(DC& dc, PixelWriter& w, POINT a, POINT b, const PenInfo& pen, const std::vector<int>& dashes) {
  int64_t dx = std::abs(int64_t(b.x) - a.x), dy = std::abs(int64_t(b.y) - a.y);
  int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  int64_t steps = std::max(dx, dy);
  if (steps == 0) return;
  bool xMajor = dx >= dy;
  int64_t dmaj = xMajor ? dx : dy, dmin = xMajor ? dy : dx;
  RECT lim = dc.DeviceLimit(1);
  int64_t start = xMajor ? a.x : a.y, smaj = xMajor ? sx : sy;
  int64_t lo = xMajor ? lim.left : lim.top, hi = xMajor ? lim.right : lim.bottom;
  int64_t iLo = smaj > 0 ? lo - start : start - (hi - 1), iHi = smaj > 0 ? hi - start : start - lo + 1;
  iLo = std::max<int64_t>(iLo, 0);
  iHi = std::min<int64_t>(iHi, steps);
  Bitmap* t = dc.Target();
  uint32_t fg = t->format.FromRgb(pen.color);
  uint32_t bg = t->format.FromRgb(dc.Resolve(dc.st.bkColor));
  int64_t period = 0;
  for (int v : dashes) period += v;
  for (int64_t i = iLo; i < iHi; ++i) {
    bool on = true;
    if (period) {
      int64_t pos = (dc.styleCount + i) % period;
      for (size_t k = 0; k < dashes.size(); ++k) {
        if (pos < dashes[k]) {
          on = (k % 2) == 0;
          break;
        }
        pos -= dashes[k];
      }
    }
    int64_t minor = (2 * i * dmin + dmaj) / (2 * dmaj);
    int x = int(a.x + sx * (xMajor ? i : minor)), y = int(a.y + sy * (xMajor ? minor : i));
    if (on)
      w.Put(x, y, fg, dc.st.rop2);
    else if (dc.st.bkMode == OPAQUE)
      w.Put(x, y, bg, dc.st.rop2);
  }
  if (period) dc.styleCount = int((dc.styleCount + steps) % period);
}

void discSpans(double cx, double cy, double r, SpanList* out) {
  int y0 = std::max<int>(ClampCoord(std::ceil(cy - r)), out->limit.top);
  int y1 = std::min<int>(ClampCoord(std::floor(cy + r)), out->limit.bottom - 1);
  for (int y = y0; y <= y1; ++y) {
    double dy = y - cy;
    double q = r * r - dy * dy;
    if (q < 0) continue;
    double hw = std::sqrt(q);
    out->Add(ClampCoord(std::ceil(cx - hw)), ClampCoord(std::floor(cx + hw)) + 1, y);
  }
}

// The area a wide pen covers along a segment (coordinates: pixel centres at integers).
void wideSegment(double x0, double y0, double x1, double y1, double width, int cap, bool startCap, bool endCap,
                 SpanList* out) {
  double len = std::hypot(x1 - x0, y1 - y0);
  double h = width / 2.0;
  if (len > 0) {
    double ux = (x1 - x0) / len, uy = (y1 - y0) / len;
    double nx = -uy * h, ny = ux * h;
    double ex0 = x0, ey0 = y0, ex1 = x1, ey1 = y1;
    if (cap == PS_ENDCAP_SQUARE) {
      if (startCap) {
        ex0 -= ux * h;
        ey0 -= uy * h;
      }
      if (endCap) {
        ex1 += ux * h;
        ey1 += uy * h;
      }
    }
    // Integer positions are pixel centres here, which is where the span filler samples.
    std::vector<std::vector<std::pair<double, double>>> poly{
        {{ex0 + nx, ey0 + ny}, {ex1 + nx, ey1 + ny}, {ex1 - nx, ey1 - ny}, {ex0 - nx, ey0 - ny}}};
    PolygonSpans(poly, WINDING, out);
  }
  if (cap == PS_ENDCAP_ROUND) {
    if (startCap) discSpans(x0, y0, h, out);
    if (endCap) discSpans(x1, y1, h, out);
  }
}

void widePolyline(DC& dc, const POINT* p, int n, bool closed, const PenInfo& pen) {
  SpanList spans;
  spans.limit = dc.DeviceLimit(pen.width + 2);
  int segs = closed ? n : n - 1;
  double width = pen.width;
  auto pt = [&](int i) { return p[(i % n + n) % n]; };
  if (pen.dashes.empty()) {
    for (int i = 0; i < segs; ++i) {
      POINT a = pt(i), b = pt(i + 1);
      bool joinRound = pen.join == PS_JOIN_ROUND;
      wideSegment(a.x, a.y, b.x, b.y, width, pen.endCap, i == 0 ? !closed || joinRound : joinRound,
                  i == segs - 1 ? !closed || joinRound : joinRound, &spans);
      if (pen.endCap != PS_ENDCAP_ROUND && joinRound && (i > 0 || closed)) discSpans(a.x, a.y, width / 2, &spans);
    }
  } else {
    // Dashes along the path, each a flat segment.
    size_t k = 0;
    double left = pen.dashes[0];
    bool on = true;
    for (int i = 0; i < segs; ++i) {
      POINT a = pt(i), b = pt(i + 1);
      double len = std::hypot(double(b.x - a.x), double(b.y - a.y));
      double pos = 0;
      while (pos < len) {
        double step = std::min(left, len - pos);
        if (on) {
          double t0 = pos / len, t1 = (pos + step) / len;
          wideSegment(a.x + (b.x - a.x) * t0, a.y + (b.y - a.y) * t0, a.x + (b.x - a.x) * t1, a.y + (b.y - a.y) * t1,
                      width, PS_ENDCAP_FLAT, false, false, &spans);
        }
        pos += step;
        left -= step;
        if (left <= 1e-9) {
          k = (k + 1) % pen.dashes.size();
          left = std::max<double>(1, pen.dashes[k]);
          on = !on;
          if (pen.dashes.size() % 2 && k == 0) on = true;
        }
      }
    }
  }
  Rgn area = spans.ToRgn();
  FillDeviceRgn(dc, area, SolidSource(dc, pen.color), dc.st.rop2);
}

void recordStroke(DC& dc, const POINT* p, int n, bool closed, bool fill) {
  PageOp op;
  op.kind = PageOp::Kind::Path;
  op.rop = DWORD(dc.st.rop2);
  op.isRop2 = true;
  std::vector<std::pair<double, double>> sp;
  for (int i = 0; i < n; ++i) sp.push_back({p[i].x + 0.5, p[i].y + 0.5});
  op.path.subpaths.push_back(std::move(sp));
  op.path.closed.push_back(closed);
  op.path.stroke = dc.st.pen->style != PS_NULL;
  op.path.pen = DescribePen(dc);
  op.path.fill = fill;
  if (fill) op.path.brush = DescribeBrush(dc);
  op.path.fillMode = dc.st.polyFillMode;
  Record(dc, std::move(op));
}

}  // namespace

void DrawPolyline(DC& dc, const POINT* p, int n, bool closed) {
  if (n < 2 || dc.st.pen->style == PS_NULL) return;
  PenInfo pen = DescribePen(dc);
  if (pen.width > 1 || pen.geometric) {
    widePolyline(dc, p, n, closed, pen);
    return;
  }
  PixelWriter w(dc);
  auto dashes = cosmeticDashes(pen);
  int segs = closed ? n : n - 1;
  for (int i = 0; i < segs; ++i) cosmeticLine(dc, w, p[i], p[(i + 1) % n], pen, dashes);
}

namespace {

DC* drawDC(HDC hdc) {
  DC* dc = FindDC(hdc);
  if (!dc || !PageReady(*dc)) return nullptr;
  return dc;
}

bool needsPatch(const DC& dc) { return dc.st.rop2 != R2_COPYPEN; }

std::vector<POINT> toDevice(const DC& dc, const POINT* pts, int n) {
  std::vector<POINT> v(size_t(std::max(n, 0)));
  for (int i = 0; i < n; ++i) v[size_t(i)] = dc.ToDevice(pts[i].x, pts[i].y);
  return v;
}

RECT boundsOf(const std::vector<POINT>& v, int grow) {
  RECT r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (auto& p : v) {
    r.left = std::min(r.left, p.x);
    r.top = std::min(r.top, p.y);
    r.right = std::max(r.right, p.x + 1);
    r.bottom = std::max(r.bottom, p.y + 1);
  }
  return {r.left - grow, r.top - grow, r.right + grow, r.bottom + grow};
}

// An open or closed polyline with the DC's pen (not PS_NULL), device points.
BOOL strokeLines(DC& dc, const POINT* p, int n, bool closed) {
  auto raster = [&] {
    DrawPolyline(dc, p, n, closed);
    return true;
  };
  if (needsPatch(dc)) return PaintPatch(dc, raster, boundsOf(std::vector<POINT>(p, p + n), dc.st.pen->width));
  return Paint(dc, raster, [&] { recordStroke(dc, p, n, closed, false); });
}

Rgn erode(const Rgn& r) {
  Rgn inner = r;
  for (auto [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
    Rgn m = r;
    m.Translate(dx, dy);
    inner.Intersect(m);
  }
  return inner;
}

enum class Shape { Ellipse, RoundRect };

// Fills and outlines an ellipse or round rectangle in [l, r) x [t, b) (device coordinates).
void drawShape(DC& dc, Shape shape, int l, int t, int r, int b, int ew, int eh) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  bool pen = dc.st.pen->style != PS_NULL;
  int pw = pen ? dc.st.pen->width : 0;
  auto spans = [&](int l0, int t0, int r0, int b0) {
    SpanList s;
    s.limit = dc.DeviceLimit(pw + 2);
    if (shape == Shape::Ellipse)
      EllipseSpans(l0, t0, r0, b0, &s);
    else
      RoundRectSpans(l0, t0, r0, b0, ew, eh, &s);
    return s.ToRgn();
  };
  if (!pen) {
    Rgn fill = spans(l, t, r - 1, b - 1);
    FillDeviceRgn(dc, fill, BrushSource(dc, *dc.st.brush), dc.st.rop2);
    return;
  }
  Rgn outer, inner;
  if (pw <= 1) {
    outer = spans(l, t, r, b);
    inner = erode(outer);
  } else {
    int grow = dc.st.pen->style == PS_INSIDEFRAME ? 0 : pw / 2;
    int ol = l - grow, ot = t - grow, orr = r + grow, ob = b + grow;
    outer = spans(ol, ot, orr, ob);
    inner = spans(ol + pw, ot + pw, orr - pw, ob - pw);
    inner.Intersect(outer);
  }
  FillDeviceRgn(dc, inner, BrushSource(dc, *dc.st.brush), dc.st.rop2);
  Rgn ring = outer;
  ring.Subtract(inner);
  PenInfo p = DescribePen(dc);
  FillDeviceRgn(dc, ring, SolidSource(dc, p.color), dc.st.rop2);
}

void recordShapePath(DC& dc, std::vector<std::pair<double, double>> path) {
  PageOp op;
  op.kind = PageOp::Kind::Path;
  op.rop = DWORD(dc.st.rop2);
  op.isRop2 = true;
  op.path.subpaths.push_back(std::move(path));
  op.path.closed.push_back(true);
  op.path.fill = dc.st.brush->style != BS_NULL;
  op.path.brush = DescribeBrush(dc);
  op.path.stroke = dc.st.pen->style != PS_NULL;
  op.path.pen = DescribePen(dc);
  op.path.fillMode = dc.st.polyFillMode;
  Record(dc, std::move(op));
}

// Flattened outline of an ellipse / round rect through pixel centres of [l, r) x [t, b).
std::vector<std::pair<double, double>> roundPath(double l, double t, double r, double b, double ew, double eh) {
  std::vector<std::pair<double, double>> p;
  double a = ew / 2, bb = eh / 2;
  double cxs[4] = {r - a, l + a, l + a, r - a}, cys[4] = {t + bb, t + bb, b - bb, b - bb};
  int n = std::clamp(int(std::max(a, bb)), 4, 180);
  for (int q = 0; q < 4; ++q)
    for (int i = 0; i <= n; ++i) {
      double ang = -kPi / 2 * q - kPi / 2 * i / n;
      p.push_back({cxs[q] + a * std::cos(ang), cys[q] + bb * std::sin(ang)});
    }
  return p;
}

}  // namespace

// ---- Filling rectangles with brushes -------------------------------------------------------
namespace {

std::shared_ptr<Brush> brushArg(HBRUSH hbr) {
  uintptr_t v = reinterpret_cast<uintptr_t>(hbr);
  if (v >= 1 && v <= 31) hbr = GetSysColorBrush(int(v - 1));
  return FindAs<Brush>(hbr, OBJ_BRUSH);
}

void fillRectWith(DC& dc, RECT d, const Brush& b, uint8_t code) {
  if (d.right <= d.left || d.bottom <= d.top) return;
  auto raster = [&] {
    FillDeviceRgnRop3(dc, Rgn(d), code == 0x55 ? PatternSource{} : BrushSource(dc, b), code);
    return true;
  };
  if (code != 0xF0) {
    PaintPatch(dc, raster, d);
    return;
  }
  Paint(dc, raster, [&] {
    PageOp op;
    op.kind = PageOp::Kind::Path;
    op.rop = PATCOPY;
    op.path.brush = DescribeBrushOf(dc, b);
    op.path.fill = true;
    op.path.subpaths.push_back({{double(d.left), double(d.top)},
                                {double(d.right), double(d.top)},
                                {double(d.right), double(d.bottom)},
                                {double(d.left), double(d.bottom)}});
    op.path.closed.push_back(true);
    if (b.style != BS_NULL) Record(dc, std::move(op));
  });
}

RECT devRect(const DC& dc, const RECT& rc) {
  POINT a = dc.ToDevice(rc.left, rc.top), z = dc.ToDevice(rc.right, rc.bottom);
  return {std::min(a.x, z.x), std::min(a.y, z.y), std::max(a.x, z.x), std::max(a.y, z.y)};
}

}  // namespace

}  // namespace kv::gdi

using namespace kv::gdi;

extern "C" {

// ---- Pixels ---------------------------------------------------------------------------------
COLORREF GetPixel(HDC hdc, int x, int y) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  POINT p = dc->ToDevice(x, y);
  p.x += dc->surfaceOrigin.x;
  p.y += dc->surfaceOrigin.y;
  Rgn clip = dc->ClipInTarget();
  if (!pixman_region32_contains_point(&clip.r, p.x, p.y, nullptr)) return CLR_INVALID;
  Bitmap* t = dc->backend->Pixels(*dc);
  if (!t) return CLR_INVALID;
  return t->GetRgb(p.x, p.y);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return CLR_INVALID;
  POINT p = dc->ToDevice(x, y);
  int tx = p.x + dc->surfaceOrigin.x, ty = p.y + dc->surfaceOrigin.y;
  Rgn clip = dc->ClipInTarget();
  if (!pixman_region32_contains_point(&clip.r, tx, ty, nullptr)) return CLR_INVALID;
  // The colour the pixel takes: the nearest the target holds (a printer page holds RGB).
  const Format format = dc->Target() ? dc->Target()->format : DeviceFormat();
  uint32_t v = format.FromRgb(dc->Resolve(color));
  Paint(
      *dc,
      [&] {
        dc->Target()->Set(tx, ty, v);
        return true;
      },
      [&] {
        PageOp op;
        op.kind = PageOp::Kind::Path;
        op.rop = PATCOPY;
        op.path.fill = true;
        op.path.brush.color = format.ToRgb(v);
        op.path.subpaths.push_back(
            {{double(p.x), double(p.y)}, {p.x + 1.0, double(p.y)}, {p.x + 1.0, p.y + 1.0}, {double(p.x), p.y + 1.0}});
        op.path.closed.push_back(true);
        Record(*dc, std::move(op));
      });
  return format.ToRgb(v);
}

BOOL SetPixelV(HDC hdc, int x, int y, COLORREF color) {
  return SetPixel(hdc, x, y, color) != CLR_INVALID ? TRUE : FALSE;
}

// ---- Lines ----------------------------------------------------------------------------------
BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  if (old) *old = dc->st.cur;
  dc->st.cur = {x, y};
  dc->styleCount = 0;
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  POINT pts[2] = {dc->ToDevice(dc->st.cur.x, dc->st.cur.y), dc->ToDevice(x, y)};
  dc->st.cur = {x, y};
  if (dc->st.pen->style == PS_NULL) return TRUE;
  return strokeLines(*dc, pts, 2, false);
}

BOOL Polyline(HDC hdc, const POINT* pts, int count) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  if (!pts || count < 2) return Fail(ERROR_INVALID_PARAMETER);
  auto v = toDevice(*dc, pts, count);
  dc->styleCount = 0;
  if (dc->st.pen->style == PS_NULL) return TRUE;
  return strokeLines(*dc, v.data(), count, false);
}

BOOL PolylineTo(HDC hdc, const POINT* pts, DWORD count) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  if (!pts || count == 0 || count > 1000000) return Fail(ERROR_INVALID_PARAMETER);
  std::vector<POINT> all{dc->st.cur};
  all.insert(all.end(), pts, pts + count);
  BOOL ok = Polyline(hdc, all.data(), int(all.size()));
  if (ok) dc->st.cur = pts[count - 1];
  return ok;
}

// ---- Shapes ---------------------------------------------------------------------------------
BOOL PolyPolygon(HDC hdc, const POINT* pts, const INT* counts, int polys) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  if (!pts || !counts || polys <= 0) return Fail(ERROR_INVALID_PARAMETER);
  std::vector<std::vector<POINT>> dev;
  std::vector<std::vector<std::pair<double, double>>> geo;
  const POINT* p = pts;
  for (int i = 0; i < polys; ++i) {
    if (counts[i] < 2) return Fail(ERROR_INVALID_PARAMETER);
    dev.push_back(toDevice(*dc, p, counts[i]));
    std::vector<std::pair<double, double>> g;
    for (auto& q : dev.back()) g.push_back({double(q.x), double(q.y)});
    geo.push_back(std::move(g));
    p += counts[i];
  }
  auto raster = [&] {
    if (dc->st.brush->style != BS_NULL) {
      SpanList s;
      s.limit = dc->DeviceLimit(2);
      PolygonSpans(geo, dc->st.polyFillMode, &s);
      FillDeviceRgn(*dc, s.ToRgn(), BrushSource(*dc, *dc->st.brush), dc->st.rop2);
    }
    for (auto& d : dev) {
      dc->styleCount = 0;
      DrawPolyline(*dc, d.data(), int(d.size()), true);
    }
    return true;
  };
  if (needsPatch(*dc)) {
    std::vector<POINT> all;
    for (auto& d : dev) all.insert(all.end(), d.begin(), d.end());
    return PaintPatch(*dc, raster, boundsOf(all, dc->st.pen->width));
  }
  return Paint(*dc, raster, [&] {
    PageOp op;
    op.kind = PageOp::Kind::Path;
    op.rop = DWORD(dc->st.rop2);
    op.isRop2 = true;
    op.path.fill = dc->st.brush->style != BS_NULL;
    op.path.brush = DescribeBrush(*dc);
    op.path.stroke = dc->st.pen->style != PS_NULL;
    op.path.pen = DescribePen(*dc);
    op.path.fillMode = dc->st.polyFillMode;
    for (auto& d : dev) {
      std::vector<std::pair<double, double>> sp;
      for (auto& q : d) sp.push_back({q.x + 0.5, q.y + 0.5});
      op.path.subpaths.push_back(std::move(sp));
      op.path.closed.push_back(true);
    }
    Record(*dc, std::move(op));
  });
}

BOOL Polygon(HDC hdc, const POINT* pts, int count) {
  INT c = count;
  return PolyPolygon(hdc, pts, &c, 1);
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  RECT d = devRect(*dc, {left, top, right, bottom});
  bool pen = dc->st.pen->style != PS_NULL;
  int pw = pen ? dc->st.pen->width : 0;
  auto raster = [&] {
    if (!pen) {
      FillDeviceRgn(*dc, Rgn(RECT{d.left, d.top, d.right - 1, d.bottom - 1}), BrushSource(*dc, *dc->st.brush),
                    dc->st.rop2);
    } else if (pw <= 1) {
      FillDeviceRgn(*dc, Rgn(RECT{d.left + 1, d.top + 1, d.right - 1, d.bottom - 1}), BrushSource(*dc, *dc->st.brush),
                    dc->st.rop2);
      if (d.right - d.left >= 1 && d.bottom - d.top >= 1) {
        POINT frame[4] = {{d.left, d.top}, {d.right - 1, d.top}, {d.right - 1, d.bottom - 1}, {d.left, d.bottom - 1}};
        dc->styleCount = 0;
        if (d.right - d.left == 1 || d.bottom - d.top == 1) {
          FillDeviceRgn(*dc, Rgn(d), SolidSource(*dc, DescribePen(*dc).color), dc->st.rop2);
        } else {
          DrawPolyline(*dc, frame, 4, true);
        }
      }
    } else {
      // A wide pen: a frame of the pen's width centred on the outline (inside it for
      // PS_INSIDEFRAME), square corners.
      RECT o = d;
      if (dc->st.pen->style != PS_INSIDEFRAME)
        o = {d.left - pw / 2, d.top - pw / 2, d.right - 1 + (pw - pw / 2), d.bottom - 1 + (pw - pw / 2)};
      RECT in{o.left + pw, o.top + pw, o.right - pw, o.bottom - pw};
      Rgn inner(in), outer(o);
      FillDeviceRgn(*dc, inner, BrushSource(*dc, *dc->st.brush), dc->st.rop2);
      outer.Subtract(inner);
      if (dc->st.pen->style == PS_SOLID || dc->st.pen->style == PS_INSIDEFRAME) {
        FillDeviceRgn(*dc, outer, SolidSource(*dc, DescribePen(*dc).color), dc->st.rop2);
      } else {
        POINT frame[4] = {{d.left, d.top}, {d.right - 1, d.top}, {d.right - 1, d.bottom - 1}, {d.left, d.bottom - 1}};
        DrawPolyline(*dc, frame, 4, true);
      }
    }
    return true;
  };
  if (needsPatch(*dc)) return PaintPatch(*dc, raster, {d.left - pw, d.top - pw, d.right + pw, d.bottom + pw});
  return Paint(*dc, raster, [&] {
    if (pen) {
      recordShapePath(*dc, {{d.left + 0.5, d.top + 0.5},
                            {d.right - 0.5, d.top + 0.5},
                            {d.right - 0.5, d.bottom - 0.5},
                            {d.left + 0.5, d.bottom - 0.5}});
    } else {
      recordShapePath(*dc, {{double(d.left), double(d.top)},
                            {d.right - 1.0, double(d.top)},
                            {d.right - 1.0, d.bottom - 1.0},
                            {double(d.left), d.bottom - 1.0}});
    }
  });
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  RECT d = devRect(*dc, {left, top, right, bottom});
  auto raster = [&] {
    drawShape(*dc, Shape::Ellipse, d.left, d.top, d.right, d.bottom, 0, 0);
    return true;
  };
  int pw = dc->st.pen->width;
  if (needsPatch(*dc)) return PaintPatch(*dc, raster, {d.left - pw, d.top - pw, d.right + pw, d.bottom + pw});
  return Paint(*dc, raster, [&] {
    // Flattened through the pixel centres of the box.
    std::vector<std::pair<double, double>> path;
    double cx = (d.left + d.right) / 2.0, cy = (d.top + d.bottom) / 2.0;
    double a = (d.right - d.left - 1) / 2.0, b = (d.bottom - d.top - 1) / 2.0;
    size_t n = size_t(std::clamp(int(std::max(a, b) * 2), 16, 720));
    for (size_t i = 0; i < n; ++i) {
      double ang = 2 * kPi * double(i) / double(n);
      path.push_back({cx + a * std::cos(ang), cy + b * std::sin(ang)});
    }
    recordShapePath(*dc, std::move(path));
  });
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  RECT d = devRect(*dc, {left, top, right, bottom});
  auto raster = [&] {
    drawShape(*dc, Shape::RoundRect, d.left, d.top, d.right, d.bottom, width, height);
    return true;
  };
  int pw = dc->st.pen->width;
  if (needsPatch(*dc)) return PaintPatch(*dc, raster, {d.left - pw, d.top - pw, d.right + pw, d.bottom + pw});
  return Paint(*dc, raster, [&] {
    double ew = std::min<double>(std::abs(width), d.right - d.left),
           eh = std::min<double>(std::abs(height), d.bottom - d.top);
    recordShapePath(*dc, roundPath(d.left + 0.5, d.top + 0.5, d.right - 0.5, d.bottom - 0.5, ew, eh));
  });
}

int FillRect(HDC hdc, const RECT* rc, HBRUSH hbr) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return 0;
  auto b = brushArg(hbr);
  if (!rc || !b) return Fail(ERROR_INVALID_PARAMETER);
  fillRectWith(*dc, devRect(*dc, *rc), *b, 0xF0);
  return 1;
}

int FrameRect(HDC hdc, const RECT* rc, HBRUSH hbr) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return 0;
  auto b = brushArg(hbr);
  if (!rc || !b) return Fail(ERROR_INVALID_PARAMETER);
  RECT d = devRect(*dc, *rc);
  if (d.right <= d.left || d.bottom <= d.top) return 1;
  fillRectWith(*dc, {d.left, d.top, d.right, d.top + 1}, *b, 0xF0);
  fillRectWith(*dc, {d.left, d.bottom - 1, d.right, d.bottom}, *b, 0xF0);
  fillRectWith(*dc, {d.left, d.top + 1, d.left + 1, d.bottom - 1}, *b, 0xF0);
  fillRectWith(*dc, {d.right - 1, d.top + 1, d.right, d.bottom - 1}, *b, 0xF0);
  return 1;
}

BOOL InvertRect(HDC hdc, const RECT* rc) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  if (!rc) return Fail(ERROR_INVALID_PARAMETER);
  fillRectWith(*dc, devRect(*dc, *rc), *dc->st.brush, 0x55);
  return TRUE;
}

// A dotted frame drawn with XOR, so a second call erases it; the dots alternate by pixel
// parity of the device position.
BOOL DrawFocusRect(HDC hdc, const RECT* rc) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  if (!rc) return Fail(ERROR_INVALID_PARAMETER);
  RECT d = devRect(*dc, *rc);
  if (d.right <= d.left || d.bottom <= d.top) return TRUE;
  SpanList s;
  for (int x = d.left; x < d.right; ++x) {
    if (((x + d.top) & 1) == 0) s.Add(x, x + 1, d.top);
    if (d.bottom - 1 > d.top && ((x + d.bottom - 1) & 1) == 0) s.Add(x, x + 1, d.bottom - 1);
  }
  for (int y = d.top + 1; y < d.bottom - 1; ++y) {
    if (((d.left + y) & 1) == 0) s.Add(d.left, d.left + 1, y);
    if (d.right - 1 > d.left && ((d.right - 1 + y) & 1) == 0) s.Add(d.right - 1, d.right, y);
  }
  return PaintPatch(
      *dc,
      [&] {
        PatternSource white;
        white.value = dc->Target()->format.ValueMask();
        FillDeviceRgnRop3(*dc, s.ToRgn(), white, 0x5A);
        return true;
      },
      d);
}

BOOL DrawEdge(HDC hdc, LPRECT rc, UINT edge, UINT flags) {
  KV_GDI_LOCK;
  DC* dc = drawDC(hdc);
  if (!dc) return FALSE;
  if (!rc) return Fail(ERROR_INVALID_PARAMETER);
  if (flags & BF_DIAGONAL) return Fail(ERROR_NOT_SUPPORTED);
  RECT r = *rc;
  auto fill = [&](RECT a, int sysColor) {
    auto b = brushArg(reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(sysColor + 1)));
    if (b) fillRectWith(*dc, devRect(*dc, a), *b, 0xF0);
  };
  // Outer then inner border: (top-left colour, bottom-right colour).
  struct Pair {
    int tl, br;
  };
  auto colours = [&](bool outer, bool raised) -> Pair {
    if (flags & BF_MONO) return {COLOR_WINDOWFRAME, COLOR_WINDOWFRAME};
    if (flags & BF_FLAT) return outer ? Pair{COLOR_BTNSHADOW, COLOR_BTNSHADOW} : Pair{COLOR_BTNFACE, COLOR_BTNFACE};
    bool soft = (flags & BF_SOFT) != 0;
    if (outer)
      return raised ? Pair{soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW}
                    : Pair{COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
    return raised ? Pair{soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW}
                  : Pair{soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW, COLOR_3DLIGHT};
  };
  for (int pass = 0; pass < 2; ++pass) {
    bool outer = pass == 0;
    UINT bits = outer ? (edge & BDR_OUTER) : (edge & BDR_INNER);
    if (!bits) continue;
    bool raised = outer ? (bits & BDR_RAISEDOUTER) != 0 : (bits & BDR_RAISEDINNER) != 0;
    Pair c = colours(outer, raised);
    if (r.right <= r.left || r.bottom <= r.top) break;
    if (flags & BF_TOP) fill({r.left, r.top, r.right - 1, r.top + 1}, c.tl);
    if (flags & BF_LEFT) fill({r.left, r.top, r.left + 1, r.bottom - 1}, c.tl);
    if (flags & BF_BOTTOM) fill({r.left, r.bottom - 1, r.right, r.bottom}, c.br);
    if (flags & BF_RIGHT) fill({r.right - 1, r.top, r.right, r.bottom}, c.br);
    if (flags & BF_LEFT) ++r.left;
    if (flags & BF_TOP) ++r.top;
    if (flags & BF_RIGHT) --r.right;
    if (flags & BF_BOTTOM) --r.bottom;
  }
  if ((flags & BF_MIDDLE) && r.right > r.left && r.bottom > r.top)
    fill(r, (flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE);
  if (flags & BF_ADJUST) *rc = r;
  return TRUE;
}

// ---- Default system colours ------------------------------------------------------------------
__attribute__((weak)) DWORD GetSysColor(int index) {
  static const COLORREF table[31] = {RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128),
                                     RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
                                     RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
                                     RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),
                                     RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
                                     RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),
                                     RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 0, 128),     RGB(166, 202, 240),
                                     RGB(192, 192, 192), RGB(10, 36, 106),   RGB(212, 208, 200)};
  if (index < 0 || index > 30) return 0;
  return table[index];
}

__attribute__((weak)) HBRUSH GetSysColorBrush(int index) {
  KV_GDI_LOCK;
  static HBRUSH brushes[31] = {};
  if (index < 0 || index > 30) return nullptr;
  if (!brushes[index]) {
    auto b = std::make_shared<Brush>();
    b->color = GetSysColor(index);
    b->stock = true;  // system colour brushes are never deleted
    brushes[index] = static_cast<HBRUSH>(Register(b));
  }
  return brushes[index];
}

}  // extern "C"
