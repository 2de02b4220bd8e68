// The raster core: ROP2/ROP3 evaluation, brush patterns, span filling and the blits
// (BitBlt, StretchBlt, PatBlt, MaskBlt, TransparentBlt, StretchDIBits, SetDIBitsToDevice).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/internal.h"
#include "platform/gdi/raster.h"

namespace kv::gdi {

// Truth table of a ROP3: bit (P << 2 | S << 1 | D) of the code gives the result bit.
uint32_t Rop3(uint32_t p, uint32_t s, uint32_t d, uint8_t code) {
  switch (code) {
    case 0x00: return 0;
    case 0xFF: return ~0u;
    case 0xCC: return s;
    case 0xF0: return p;
    case 0xAA: return d;
    case 0x33: return ~s;
    case 0x55: return ~d;
    case 0x88: return s & d;
    case 0xEE: return s | d;
    case 0x66: return s ^ d;
    case 0x5A: return p ^ d;
    case 0xC0: return p & s;
    default: break;
  }
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((code >> i) & 1)) continue;
    r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  }
  return r;
}

// ROP2 code c: the truth table (c - 1) over P (bit 1) and D (bit 0).
uint32_t Rop2(uint32_t p, uint32_t d, int rop2) {
  int t = (rop2 - 1) & 0xF;
  uint32_t r = 0;
  for (int i = 0; i < 4; ++i) {
    if (!((t >> i) & 1)) continue;
    r |= ((i & 2) ? p : ~p) & ((i & 1) ? d : ~d);
  }
  return r;
}

uint8_t Rop2ToRop3(int rop2) {
  // Spread the 2-variable table over P and D, S ignored.
  int t = (rop2 - 1) & 0xF;
  uint8_t code = 0;
  for (int i = 0; i < 8; ++i) {
    int p = (i >> 2) & 1, d = i & 1;
    if ((t >> (p << 1 | d)) & 1) code |= uint8_t(1 << i);
  }
  return code;
}

// ---- Brush patterns ---------------------------------------------------------------------
namespace {

bool hatchBit(int hatch, int x, int y) {
  x &= 7;
  y &= 7;
  switch (hatch) {
    case HS_HORIZONTAL: return y == 3;
    case HS_VERTICAL: return x == 3;
    case HS_FDIAGONAL: return x == y;
    case HS_BDIAGONAL: return x + y == 7;
    case HS_CROSS: return x == 3 || y == 3;
    case HS_DIAGCROSS: return x == y || x + y == 7;
    default: return false;
  }
}

}  // namespace

bool PatternSource::At(int x, int y, uint32_t* v) const {
  if (solid) {
    *v = value;
    return true;
  }
  int tx = (x - org.x) % w, ty = (y - org.y) % h;
  if (tx < 0) tx += w;
  if (ty < 0) ty += h;
  size_t i = size_t(ty) * size_t(w) + size_t(tx);
  if (!skip.empty() && skip[i]) return false;
  *v = tile[i];
  return true;
}

PatternSource SolidSource(const DC& dc, COLORREF c) {
  PatternSource s;
  Bitmap* t = dc.Target();
  s.value = t ? t->format.FromRgb(dc.Resolve(c)) : 0;
  return s;
}

PatternSource BrushSource(const DC& dc, const Brush& b) {
  PatternSource s;
  Bitmap* t = dc.Target();
  if (!t) return s;
  const Format& f = t->format;
  s.org = {dc.st.brushOrg.x + dc.surfaceOrigin.x, dc.st.brushOrg.y + dc.surfaceOrigin.y};
  switch (b.style) {
    case BS_NULL: s.null = true; return s;
    case BS_SOLID: s.value = f.FromRgb(dc.Resolve(b.dcBrush ? dc.st.dcBrushColor : b.color)); return s;
    case BS_HATCHED: {
      s.solid = false;
      s.w = s.h = 8;
      uint32_t fg = f.FromRgb(dc.Resolve(b.color)), bg = f.FromRgb(dc.Resolve(dc.st.bkColor));
      bool transparent = dc.st.bkMode == TRANSPARENT;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          bool on = hatchBit(b.hatch, x, y);
          s.tile.push_back(on ? fg : bg);
          if (transparent) s.skip.push_back(on ? 0 : 1);
        }
      return s;
    }
    default: {
      const Bitmap& p = *b.pattern;
      s.solid = false;
      s.w = p.width;
      s.h = p.height;
      bool direct = p.format.SameAs(f);
      uint32_t fg = f.FromRgb(dc.Resolve(dc.st.textColor)), bg = f.FromRgb(dc.Resolve(dc.st.bkColor));
      for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
          uint32_t v = p.Get(x, y);
          if (b.patternMono && f.bpp != 1)
            s.tile.push_back(v ? bg : fg);
          else if (direct)
            s.tile.push_back(v);
          else
            s.tile.push_back(f.FromRgb(p.format.ToRgb(v)));
        }
      return s;
    }
  }
}

// ---- Filling -------------------------------------------------------------------------------
void FillDeviceRgnRop3(DC& dc, const Rgn& devRgn, const PatternSource& src, uint8_t code) {
  Bitmap* t = dc.Target();
  if (!t || src.null) return;
  Rgn area = devRgn;
  area.Translate(dc.surfaceOrigin.x, dc.surfaceOrigin.y);
  area.Intersect(dc.ClipInTarget());
  uint32_t vmask = t->format.ValueMask();
  for (const RECT& r : area.Rects()) {
    for (int y = r.top; y < r.bottom; ++y) {
      if (t->format.bpp == 32 && src.solid && code == 0xF0) {
        auto* row = reinterpret_cast<uint32_t*>(t->Row(y));
        std::fill(row + r.left, row + r.right, src.value & vmask);
        continue;
      }
      for (int x = r.left; x < r.right; ++x) {
        uint32_t p = 0;
        if (!src.At(x, y, &p)) continue;
        uint32_t d = t->Get(x, y);
        t->Set(x, y, Rop3(p, 0, d, code) & vmask);
      }
    }
  }
}

void FillDeviceRgn(DC& dc, const Rgn& devRgn, const PatternSource& src, int rop2) {
  FillDeviceRgnRop3(dc, devRgn, src, Rop2ToRop3(rop2));
}

void BlendMask(DC& dc, int tx, int ty, int w, int h, const uint8_t* mask, int maskStride, COLORREF color,
               const Rgn* extraClip) {
  Bitmap* t = dc.Target();
  if (!t) return;
  Rgn area = dc.ClipInTarget();
  area.IntersectRect({tx, ty, tx + w, ty + h});
  if (extraClip) area.Intersect(*extraClip);
  COLORREF c = dc.Resolve(color);
  uint32_t solid = t->format.FromRgb(c);
  bool blend = t->format.bpp >= 16;
  bool rgb32 = t->format.bpp == 32 && !t->format.bitfields;
  uint32_t cr = GetRValue(c), cg = GetGValue(c), cb = GetBValue(c);
  for (const RECT& r : area.Rects()) {
    for (int y = r.top; y < r.bottom; ++y) {
      const uint8_t* m = mask + size_t(y - ty) * size_t(maskStride);
      if (rgb32) {
        auto* row = reinterpret_cast<uint32_t*>(t->Row(y));
        for (int x = r.left; x < r.right; ++x) {
          uint32_t a = m[x - tx];
          if (!a) continue;
          if (a == 255) {
            row[x] = solid;
            continue;
          }
          uint32_t d = row[x], na = 255 - a;
          uint32_t rr = (cr * a + ((d >> 16) & 0xFF) * na + 127) / 255;
          uint32_t gg = (cg * a + ((d >> 8) & 0xFF) * na + 127) / 255;
          uint32_t bb = (cb * a + (d & 0xFF) * na + 127) / 255;
          row[x] = rr << 16 | gg << 8 | bb;
        }
        continue;
      }
      for (int x = r.left; x < r.right; ++x) {
        uint32_t a = m[x - tx];
        if (!a) continue;
        if (!blend || a == 255) {
          if (a >= 128) t->Set(x, y, solid);
          continue;
        }
        COLORREF d = t->GetRgb(x, y);
        auto mix = [&](uint32_t s, uint32_t dd) { return (s * a + dd * (255 - a) + 127) / 255; };
        t->Set(x, y,
               t->format.FromRgb(RGB(mix(GetRValue(c), GetRValue(d)), mix(GetGValue(c), GetGValue(d)),
                                     mix(GetBValue(c), GetBValue(d)))));
      }
    }
  }
}

// ---- Blits ----------------------------------------------------------------------------------
namespace {

bool usesSource(uint8_t c) { return ((c >> 2) & 0x33) != (c & 0x33); }
bool usesPattern(uint8_t c) { return ((c >> 4) & 0x0F) != (c & 0x0F); }

// Converts source pixel values to destination values.
struct Converter {
  const Format* sf = nullptr;
  const Format* df = nullptr;
  bool identity = false;
  std::vector<uint32_t> lut;  // indexed sources
  void Init(const BlitSource& src, const DC& dst) {
    sf = &src.bmp->format;
    df = &dst.Target()->format;
    identity = sf->SameAs(*df);
    // 24-bit and plain 32-bit pixels hold the same 0xRRGGBB values.
    auto rgbValues = [](const Format& f) { return f.bpp == 24 || (f.bpp == 32 && !f.bitfields); };
    if (rgbValues(*sf) && rgbValues(*df)) identity = true;
    if (identity && !(sf->bpp == 1 && df->bpp == 1)) identity = !(sf->bpp == 1 && src.monoUsesDcColors);
    if (sf->bpp == 1 && df->bpp == 1) {
      identity = true;
      return;
    }
    if (identity) return;
    if (sf->bpp <= 8) {
      lut.resize(size_t(1) << sf->bpp);
      for (size_t v = 0; v < lut.size(); ++v) lut[v] = map(src, dst, uint32_t(v));
    }
  }
  uint32_t map(const BlitSource& src, const DC& dst, uint32_t v) const {
    if (sf->bpp == 1 && src.monoUsesDcColors) {
      // Monochrome to colour: 0 bits take the text colour, 1 bits the background colour.
      return df->FromRgb(dst.Resolve(v ? dst.st.bkColor : dst.st.textColor));
    }
    COLORREF c = sf->ToRgb(v);
    if (df->bpp == 1 && src.monoUsesDcColors) {
      // Colour to monochrome: the source DC's background colour becomes 1, all else 0.
      return c == src.srcBk ? 1u : 0u;
    }
    return df->FromRgb(c);
  }
  uint32_t operator()(const BlitSource& src, const DC& dst, uint32_t v) const {
    if (identity) return v;
    if (!lut.empty()) return v < lut.size() ? lut[v] : 0;
    return map(src, dst, v);
  }
};

// Source index for destination index i of n over a source extent of m (nearest neighbour,
// sampled at pixel centres).
inline int64_t nearest(int64_t i, int64_t n, int64_t m) { return ((2 * i + 1) * m) / (2 * n); }

}  // namespace

bool Blit(DC& dst, int dx, int dy, int dw, int dh, const BlitSource* src, int sx, int sy, int sw, int sh,
          const Bitmap* mask, int mx, int my, DWORD rop) {
  Bitmap* t = dst.Target();
  if (!t) return Fail(ERROR_INVALID_HANDLE);
  uint8_t fore = uint8_t(rop >> 16), back = uint8_t(mask ? (rop >> 24) : (rop >> 16));
  bool needS = usesSource(fore) || usesSource(back);
  bool needP = usesPattern(fore) || usesPattern(back);
  if (needS && !src) return Fail(ERROR_INVALID_PARAMETER);
  if (!needS) src = nullptr;
  if (dw == 0 || dh == 0) return TRUE;
  if (src && (sw == 0 || sh == 0)) return TRUE;
  bool mirrorX = (dw < 0) != (src && sw < 0), mirrorY = (dh < 0) != (src && sh < 0);
  if (dw == INT32_MIN || dh == INT32_MIN || sw == INT32_MIN || sh == INT32_MIN) return Fail(ERROR_INVALID_PARAMETER);
  int64_t left = dw < 0 ? int64_t(dx) + dw : dx, top = dh < 0 ? int64_t(dy) + dh : dy;
  int64_t W = std::abs(int64_t(dw)), H = std::abs(int64_t(dh));
  int64_t sLeft = 0, sTop = 0, SW = W, SH = H;
  if (src) {
    SW = std::abs(int64_t(sw));
    SH = std::abs(int64_t(sh));
    sLeft = sw < 0 ? int64_t(sx) + sw : sx;
    sTop = sh < 0 ? int64_t(sy) + sh : sy;
  }
  if (mask) {
    if (mx < 0 || my < 0 || mx + W > mask->width || my + H > mask->height) return Fail(ERROR_INVALID_PARAMETER);
  }
  int64_t tl = left + dst.surfaceOrigin.x, tt = top + dst.surfaceOrigin.y;
  Rgn area = dst.ClipInTarget();
  area.IntersectRect({ClampCoord(tl), ClampCoord(tt), ClampCoord(tl + W), ClampCoord(tt + H)});
  if (area.Empty()) return TRUE;
  RECT box = area.Box();

  PatternSource pat;
  if (needP) pat = BrushSource(dst, *dst.st.brush);
  if (needP && pat.null) {
    pat = PatternSource{};  // a null brush paints as black pattern bits
    pat.value = 0;
  }
  Converter conv;
  std::shared_ptr<Bitmap> copy;
  BlitSource local;
  if (src) {
    local = *src;
    if (src->bmp == t) {
      // Source and destination share pixels: read from a snapshot.
      copy = NewBitmap(t->width, t->height, t->format, true);
      if (!copy) return FALSE;
      for (int y = 0; y < t->height; ++y) std::memcpy(copy->Row(y), t->Row(y), size_t(t->stride));
      local.bmp = copy.get();
    }
    conv.Init(local, dst);
  }
  const Bitmap* sb = src ? local.bmp : nullptr;
  uint32_t vmask = t->format.ValueMask();
  int mode = dst.st.stretchMode;
  bool shrinkCombine = src && (mode == BLACKONWHITE || mode == WHITEONBLACK) && (SW > W || SH > H);
  bool fast = src && !mask && fore == 0xCC && conv.identity && !mirrorX && !mirrorY && SW == W && SH == H &&
              t->format.bpp >= 8 && sb->format.bpp == t->format.bpp;
  // Stretching 32-bit pixels without a ROP: column map straight into the row.
  bool fastStretch = src && !mask && fore == 0xCC && conv.identity && !shrinkCombine && t->format.bpp == 32 &&
                     (sb->format.bpp == 32 || sb->format.bpp == 24);

  // Source column of each destination column inside the clip box.
  std::vector<int64_t> colMap(static_cast<size_t>(box.right - box.left));
  for (int x = box.left; x < box.right; ++x) {
    int64_t i = x - tl;
    int64_t k = mirrorX ? W - 1 - i : i;
    colMap[size_t(x - box.left)] = sLeft + (SW == W ? k : nearest(k, W, SW));
  }
  // Black or white without a mask reads nothing: one value fills each row.
  if (!src && !needP && !mask && (fore == 0x00 || fore == 0xFF)) {
    uint32_t v = Rop3(0, 0, 0, fore) & vmask;
    for (const RECT& r : area.Rects())
      for (int y = r.top; y < r.bottom; ++y) {
        uint8_t* row = t->Row(y);
        if (t->format.bpp == 32) {
          std::fill_n(reinterpret_cast<uint32_t*>(row) + r.left, r.right - r.left, v);
        } else if (t->format.bpp == 24 || t->format.bpp == 8) {  // v is all ones or 0
          int bpp = t->format.bpp / 8;
          std::memset(row + size_t(r.left) * size_t(bpp), v ? 0xFF : 0, size_t(r.right - r.left) * size_t(bpp));
        } else {
          for (int x = r.left; x < r.right; ++x) t->Set(x, y, v);
        }
      }
    return TRUE;
  }
  for (const RECT& r : area.Rects()) {
    for (int y = r.top; y < r.bottom; ++y) {
      int64_t j = y - tt;
      int sy0 = 0;
      if (src) {
        int64_t k = mirrorY ? H - 1 - j : j;
        int64_t row = sTop + (SH == H ? k : nearest(k, H, SH));
        if (row < 0 || row >= sb->height) continue;
        sy0 = int(row);
      }
      if (fast) {
        int64_t x0 = r.left, x1 = r.right;
        int64_t s0 = colMap[size_t(x0 - box.left)];
        // Clamp to the source's columns.
        if (s0 < 0) {
          x0 += -s0;
          s0 = 0;
        }
        if (s0 + (x1 - x0) > sb->width) x1 = x0 + (sb->width - s0);
        if (x1 > x0) {
          int bpp = t->format.bpp / 8;
          std::memcpy(t->Row(y) + size_t(x0) * size_t(bpp), sb->Row(sy0) + size_t(s0) * size_t(bpp),
                      size_t(x1 - x0) * size_t(bpp));
        }
        continue;
      }
      if (fastStretch) {
        auto* out = reinterpret_cast<uint32_t*>(t->Row(y));
        const uint8_t* in = sb->Row(sy0);
        bool packed = sb->format.bpp == 24;
        for (int x = r.left; x < r.right; ++x) {
          int64_t sxx = colMap[size_t(x - box.left)];
          if (sxx < 0 || sxx >= sb->width) continue;
          uint32_t v;
          if (packed) {
            const uint8_t* q = in + 3 * sxx;
            v = uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16;
          } else {
            std::memcpy(&v, in + 4 * sxx, 4);
          }
          out[x] = v & vmask;
        }
        continue;
      }
      for (int x = r.left; x < r.right; ++x) {
        int64_t i = x - tl;
        uint32_t s = 0, p = 0;
        if (src) {
          int64_t sxx = colMap[size_t(x - box.left)];
          if (sxx < 0 || sxx >= sb->width) continue;
          s = conv(local, dst, sb->Get(int(sxx), sy0));
          if (shrinkCombine) {
            // Rows and columns that fall together are ANDed (black wins) or ORed.
            int64_t kx = mirrorX ? W - 1 - i : i, ky = mirrorY ? H - 1 - j : j;
            int64_t cx0 = sLeft + kx * SW / W, cx1 = sLeft + (kx + 1) * SW / W;
            int64_t cy0 = sTop + ky * SH / H, cy1 = sTop + (ky + 1) * SH / H;
            if (SW <= W) {
              cx0 = sxx;
              cx1 = sxx + 1;
            }
            if (SH <= H) {
              cy0 = sy0;
              cy1 = sy0 + 1;
            }
            for (int64_t yy = std::max<int64_t>(cy0, 0); yy < std::min<int64_t>(cy1, sb->height); ++yy)
              for (int64_t xx = std::max<int64_t>(cx0, 0); xx < std::min<int64_t>(cx1, sb->width); ++xx) {
                uint32_t v = conv(local, dst, sb->Get(int(xx), int(yy)));
                s = mode == BLACKONWHITE ? (s & v) : (s | v);
              }
          }
        }
        if (needP && !pat.At(x, y, &p)) continue;
        uint8_t code = fore;
        if (mask && !mask->Get(int(mx + i), int(my + j))) code = back;
        uint32_t d = t->Get(x, y);
        t->Set(x, y, Rop3(p, s, d, code) & vmask);
      }
    }
  }
  return TRUE;
}

namespace {

bool blitHasVectorForm(const BlitSource* src, bool masked, DWORD rop) {
  uint8_t code = uint8_t(rop >> 16);
  if (masked) return false;
  return src ? code == 0xCC : (code == 0xF0 || code == 0x00 || code == 0xFF);
}

RECT blitBox(int dx, int dy, int dw, int dh) {
  int64_t x2 = int64_t(dx) + dw, y2 = int64_t(dy) + dh;
  return {ClampCoord(std::min<int64_t>(dx, x2)), ClampCoord(std::min<int64_t>(dy, y2)),
          ClampCoord(std::max<int64_t>(dx, x2)), ClampCoord(std::max<int64_t>(dy, y2))};
}

// Records a blit with a vector form onto a printer page: SRCCOPY of a source as an image,
// a pattern, black or white fill as a path.
void recordBlit(DC& dst, int dx, int dy, int dw, int dh, const BlitSource* src, int sx, int sy, int sw, int sh,
                DWORD rop) {
  RECT box = blitBox(dx, dy, dw, dh);
  uint8_t code = uint8_t(rop >> 16);
  if (code == 0xCC && src) {
    PageOp op;
    op.kind = PageOp::Kind::Image;
    op.rop = SRCCOPY;
    // Only the part of the source rectangle inside the source bitmap is an image; the
    // destination rectangle shrinks in proportion.
    const Bitmap* sb = src->bmp;
    int64_t W = std::abs(int64_t(sw)), H = std::abs(int64_t(sh));
    int64_t sLeft = sw < 0 ? int64_t(sx) + sw : sx, sTop = sh < 0 ? int64_t(sy) + sh : sy;
    int64_t cl = std::max<int64_t>(sLeft, 0), ct = std::max<int64_t>(sTop, 0);
    int64_t cr = std::min<int64_t>(sLeft + W, sb->width), cb = std::min<int64_t>(sTop + H, sb->height);
    if (W == 0 || H == 0 || cr <= cl || cb <= ct) return;
    bool flipX = (sw < 0) != (dw < 0), flipY = (sh < 0) != (dh < 0);
    double bw = double(box.right) - box.left, bh = double(box.bottom) - box.top;
    // Fractions of the source kept, measured from the side that lands at box.left / box.top.
    double fx0 = double(flipX ? sLeft + W - cr : cl - sLeft) / double(W);
    double fx1 = double(flipX ? sLeft + W - cl : cr - sLeft) / double(W);
    double fy0 = double(flipY ? sTop + H - cb : ct - sTop) / double(H);
    double fy1 = double(flipY ? sTop + H - ct : cb - sTop) / double(H);
    op.image.dst = {ClampCoord(std::round(box.left + fx0 * bw)), ClampCoord(std::round(box.top + fy0 * bh)),
                    ClampCoord(std::round(box.left + fx1 * bw)), ClampCoord(std::round(box.top + fy1 * bh))};
    if (flipX) std::swap(op.image.dst.left, op.image.dst.right);
    if (flipY) std::swap(op.image.dst.top, op.image.dst.bottom);
    int iw = int(cr - cl), ih = int(cb - ct);
    op.image.width = iw;
    op.image.height = ih;
    op.image.pixels.resize(size_t(iw) * size_t(ih));
    // 24-bit and plain 32-bit pixels already hold 0xRRGGBB.
    const bool rgb = sb->format.bpp == 24 || (sb->format.bpp == 32 && !sb->format.bitfields);
    for (int y = 0; y < ih && rgb; ++y) {
      const uint8_t* in = sb->Row(int(ct) + y) + size_t(cl) * size_t(sb->format.bpp / 8);
      uint32_t* out = op.image.pixels.data() + size_t(y) * size_t(iw);
      if (sb->format.bpp == 24) {
        for (int x = 0; x < iw; ++x, in += 3) out[x] = uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16;
      } else {
        std::memcpy(out, in, size_t(iw) * 4);
        for (int x = 0; x < iw; ++x) out[x] &= 0x00FFFFFF;
      }
    }
    for (int y = 0; y < ih && !rgb; ++y)
      for (int x = 0; x < iw; ++x) {
        uint32_t v = sb->Get(int(cl) + x, int(ct) + y);
        COLORREF c = (sb->format.bpp == 1 && src->monoUsesDcColors) ? dst.Resolve(v ? dst.st.bkColor : dst.st.textColor)
                                                                    : sb->format.ToRgb(v);
        op.image.pixels[size_t(y) * size_t(iw) + size_t(x)] =
            uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
      }
    Record(dst, std::move(op));
    return;
  }
  if (!src) {
    PageOp op;
    op.kind = PageOp::Kind::Path;
    op.rop = rop;
    op.path.fill = true;
    if (code == 0xF0) {
      op.path.brush = DescribeBrush(dst);
    } else {
      op.path.brush.style = BS_SOLID;
      op.path.brush.color = code == 0 ? 0 : 0xFFFFFF;
    }
    op.path.subpaths.push_back({{double(box.left), double(box.top)},
                                {double(box.right), double(box.top)},
                                {double(box.right), double(box.bottom)},
                                {double(box.left), double(box.bottom)}});
    op.path.closed.push_back(true);
    if (op.path.brush.style != BS_NULL) Record(dst, std::move(op));
  }
}

}  // namespace

BOOL PaintBlit(DC& dst, int dx, int dy, int dw, int dh, const BlitSource* src, int sx, int sy, int sw, int sh,
               const Bitmap* mask, int mx, int my, DWORD rop) {
  bool empty = dw == 0 || dh == 0 || (src && (sw == 0 || sh == 0));
  if (!empty && (dw == INT32_MIN || dh == INT32_MIN || sw == INT32_MIN || sh == INT32_MIN))
    return Fail(ERROR_INVALID_PARAMETER);
  auto raster = [&] { return Blit(dst, dx, dy, dw, dh, src, sx, sy, sw, sh, mask, mx, my, rop) != FALSE; };
  if (!blitHasVectorForm(src, mask != nullptr, rop)) return PaintPatch(dst, raster, blitBox(dx, dy, dw, dh));
  return Paint(dst, raster, [&] { recordBlit(dst, dx, dy, dw, dh, src, sx, sy, sw, sh, rop); });
}

}  // namespace kv::gdi

using namespace kv::gdi;

namespace {

bool sourceOf(HDC hdc, int x, int y, BlitSource* out, POINT* p) {
  DC* s = FindDC(hdc);
  if (!s) return false;
  Bitmap* b = s->backend->Pixels(*s);
  if (!b) return false;
  out->bmp = b;
  out->monoUsesDcColors = true;
  out->srcBk = s->Resolve(s->st.bkColor);
  POINT d = s->ToDevice(x, y);
  *p = {d.x + s->surfaceOrigin.x, d.y + s->surfaceOrigin.y};
  return true;
}

}  // namespace

extern "C" {

BOOL StretchBlt(HDC hdst, int xd, int yd, int wd, int hd, HDC hsrc, int xs, int ys, int ws, int hs, DWORD rop) {
  KV_GDI_LOCK;
  DC* dst = FindDC(hdst);
  if (!dst || !PageReady(*dst)) return FALSE;
  uint8_t code = uint8_t(rop >> 16);
  BlitSource src;
  POINT sp{0, 0};
  bool haveSrc = false;
  if (usesSource(code)) {
    if (!hsrc) return Fail(ERROR_INVALID_HANDLE);
    if (!sourceOf(hsrc, xs, ys, &src, &sp)) return FALSE;
    haveSrc = true;
  }
  POINT d = dst->ToDevice(xd, yd);
  return PaintBlit(*dst, d.x, d.y, wd, hd, haveSrc ? &src : nullptr, sp.x, sp.y, ws, hs, nullptr, 0, 0, rop);
}

BOOL BitBlt(HDC hdst, int x, int y, int cx, int cy, HDC hsrc, int x1, int y1, DWORD rop) {
  return StretchBlt(hdst, x, y, cx, cy, hsrc, x1, y1, cx, cy, rop);
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  KV_GDI_LOCK;
  uint8_t code = uint8_t(rop >> 16);
  if (usesSource(code)) return Fail(ERROR_INVALID_PARAMETER);
  return StretchBlt(hdc, x, y, w, h, nullptr, 0, 0, w, h, rop);
}

BOOL MaskBlt(HDC hdst, int xd, int yd, int w, int h, HDC hsrc, int xs, int ys, HBITMAP hmask, int xm, int ym,
             DWORD rop) {
  KV_GDI_LOCK;
  if (!hmask) return BitBlt(hdst, xd, yd, w, h, hsrc, xs, ys, rop & 0x00FFFFFF);
  DC* dst = FindDC(hdst);
  if (!dst || !PageReady(*dst)) return FALSE;
  auto mask = FindAs<Bitmap>(hmask, OBJ_BITMAP);
  if (!mask) return Fail(ERROR_INVALID_HANDLE);
  if (mask->format.bpp != 1) return Fail(ERROR_INVALID_PARAMETER);
  uint8_t fore = uint8_t(rop >> 16), back = uint8_t(rop >> 24);
  BlitSource src;
  POINT sp{0, 0};
  bool haveSrc = false;
  if (usesSource(fore) || usesSource(back)) {
    if (!hsrc) return Fail(ERROR_INVALID_HANDLE);
    if (!sourceOf(hsrc, xs, ys, &src, &sp)) return FALSE;
    haveSrc = true;
  }
  if (w < 0 || h < 0) return Fail(ERROR_INVALID_PARAMETER);
  POINT d = dst->ToDevice(xd, yd);
  return PaintBlit(*dst, d.x, d.y, w, h, haveSrc ? &src : nullptr, sp.x, sp.y, w, h, mask.get(), xm, ym, rop);
}

// Copies the source except the pixels of the transparent colour, stretching nearest-neighbour.
BOOL TransparentBlt(HDC hdst, int xd, int yd, int wd, int hd, HDC hsrc, int xs, int ys, int ws, int hs,
                    UINT transparent) {
  KV_GDI_LOCK;
  DC* dst = FindDC(hdst);
  if (!dst || !PageReady(*dst)) return FALSE;
  if (wd <= 0 || hd <= 0 || ws <= 0 || hs <= 0) return Fail(ERROR_INVALID_PARAMETER);
  BlitSource src;
  POINT sp;
  if (!sourceOf(hsrc, xs, ys, &src, &sp)) return FALSE;
  if (sp.x < 0 || sp.y < 0 || sp.x + ws > src.bmp->width || sp.y + hs > src.bmp->height)
    return Fail(ERROR_INVALID_PARAMETER);
  // The mask: 1 where the source keeps the destination, as MaskBlt's background operation.
  auto mask = NewBitmap(wd, hd, MonoFormat(), true);
  if (!mask) return FALSE;
  for (int y = 0; y < hd; ++y)
    for (int x = 0; x < wd; ++x) {
      int sx = sp.x + nearest(x, wd, ws), sy = sp.y + nearest(y, hd, hs);
      mask->Set(x, y, src.bmp->GetRgb(sx, sy) == (transparent & 0xFFFFFF) ? 0 : 1);
    }
  POINT d = dst->ToDevice(xd, yd);
  int saved = dst->st.stretchMode;
  dst->st.stretchMode = COLORONCOLOR;
  BOOL ok =
      PaintBlit(*dst, d.x, d.y, wd, hd, &src, sp.x, sp.y, ws, hs, mask.get(), 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029));
  dst->st.stretchMode = saved;
  return ok;
}

int StretchDIBits(HDC hdc, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs, LPCVOID bits,
                  const BITMAPINFO* bmi, UINT usage, DWORD rop) {
  KV_GDI_LOCK;
  DC* dst = FindDC(hdc);
  if (!dst || !PageReady(*dst)) return 0;
  DibView view;
  if (!MakeDibView(bmi, bits, usage, dst, &view)) return 0;
  BlitSource src;
  src.bmp = view.bmp.get();
  src.monoUsesDcColors = false;
  int H = view.bmp->height;
  // A bottom-up DIB counts ys from its lowest row.
  int sTop = view.bottomUp ? H - ys - hs : ys;
  POINT d = dst->ToDevice(xd, yd);
  uint8_t code = uint8_t(rop >> 16);
  const BlitSource* sp = usesSource(code) ? &src : nullptr;
  if (!PaintBlit(*dst, d.x, d.y, wd, hd, sp, xs, sTop, ws, hs, nullptr, 0, 0, rop)) return 0;
  return std::abs(hs);
}

int SetDIBitsToDevice(HDC hdc, int xd, int yd, DWORD w, DWORD h, int xs, int ys, UINT startScan, UINT lines,
                      LPCVOID bits, const BITMAPINFO* bmi, UINT usage) {
  KV_GDI_LOCK;
  DC* dst = FindDC(hdc);
  if (!dst || !PageReady(*dst)) return 0;
  if (w > 65535 || h > 65535) return Fail(ERROR_INVALID_PARAMETER);
  DibView view;
  if (!MakeDibView(bmi, bits, usage, dst, &view, startScan, lines)) return 0;
  BlitSource src;
  src.bmp = view.bmp.get();
  src.monoUsesDcColors = false;
  int L = view.bmp->height;
  int ww = int(w), hh = int(h);
  // Rows of the buffer hold DIB scans startScan .. startScan + lines - 1.
  int sTop = view.bottomUp ? int(startScan) + L - ys - hh : ys - int(startScan);
  POINT d = dst->ToDevice(xd, yd);
  if (!PaintBlit(*dst, d.x, d.y, ww, hh, &src, xs, sTop, ww, hh, nullptr, 0, 0, SRCCOPY)) return 0;
  return L;
}

}  // extern "C"
