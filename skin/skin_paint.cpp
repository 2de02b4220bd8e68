#include "skin/skin_paint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

COLORREF SkinColorToRGB(TColor Color) {
  if (Color < 0) return GetSysColor(Color & 0xFF);
  return static_cast<COLORREF>(Color) & 0xFFFFFF;
}

TColor MixColors(TColor C1, TColor C2, int Weight) {
  const COLORREF a = SkinColorToRGB(C1), b = SkinColorToRGB(C2);
  const int base = Weight <= 100 ? 100 : 1000;
  TColor out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int x = static_cast<int>((a >> shift) & 0xFF), y = static_cast<int>((b >> shift) & 0xFF);
    const int v = (x * Weight + y * (base - Weight) + base / 2) / base;
    out |= (v & 0xFF) << shift;
  }
  return out;
}

int SaturationScore(TColor Color) {
  const COLORREF c = SkinColorToRGB(Color);
  const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
  if (mx <= 159) return 200;
  if (mx == 0) return 0;
  return static_cast<int>(std::nearbyint(255.0 * (mx - mn) / mx));  // ties to even
}

namespace {

// Pixels of a 24-bit bitmap as rows top-down (B, G, R).
uint8_t* Row24(TBitmap* b, int y) { return static_cast<uint8_t*>(b->ScanLine(y)); }

// Frame K of N as (x, y, width, height) in Image; false when the frame is empty.
bool FrameRect(TBitmap* Image, bool Vertical, int N, int K, int& X, int& Y, int& W, int& H) {
  if (!Image || Image->Empty()) return false;
  N = FrameCount(N);
  K = std::clamp(K, 1, N);
  X = Y = 0;
  W = Image->Width();
  H = Image->Height();
  if (Vertical) {
    H /= N;
    Y = (K - 1) * H;
  } else {
    W /= N;
    X = (K - 1) * W;
  }
  return W > 0 && H > 0;
}

void Blit(HDC DC, const TRect& Rect, TBitmap* Bitmap, bool Transparent) {
  if (Transparent)
    DrawTransparent(DC, Rect, Bitmap, kSkinMagenta);
  else
    BitBlt(DC, Rect.left, Rect.top, Bitmap->Width(), Bitmap->Height(), Bitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
}

}  // namespace

void ReplaceColor(TBitmap* Bitmap, TColor Color) {
  if (Bitmap->Empty()) return;
  Bitmap->SetPixelFormat(pf24bit);
  const COLORREF c = SkinColorToRGB(Color);
  for (int y = 0; y < Bitmap->Height(); ++y) {
    uint8_t* p = Row24(Bitmap, y);
    for (int x = 0; x < Bitmap->Width(); ++x, p += 3)
      if (p[0] == 255 && p[1] == 0 && p[2] == 255) {
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
      }
  }
}

void MirrorBitmap(TBitmap* Bitmap) {
  if (Bitmap->Empty()) return;
  Bitmap->SetPixelFormat(pf24bit);
  const int w = Bitmap->Width();
  for (int y = 0; y < Bitmap->Height(); ++y) {
    uint8_t* p = Row24(Bitmap, y);
    for (int x = 0; x < w / 2; ++x)
      for (int k = 0; k < 3; ++k) std::swap(p[3 * x + k], p[3 * (w - 1 - x) + k]);
  }
}

void FlipBitmap(TBitmap* Bitmap) {
  if (Bitmap->Empty()) return;
  const int h = Bitmap->Height();
  const size_t row = static_cast<size_t>((Bitmap->Width() * Bitmap->BitsPerPixel() + 7) / 8);
  std::vector<uint8_t> swap(row);
  for (int y = 0; y < h / 2; ++y) {
    auto* a = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    auto* b = static_cast<uint8_t*>(Bitmap->ScanLine(h - 1 - y));
    std::memcpy(swap.data(), a, row);
    std::memcpy(a, b, row);
    std::memcpy(b, swap.data(), row);
  }
}

namespace {

// The pixels turned a quarter: Clockwise puts (x, y) at (H - 1 - y, x), else at (y, W - 1 - x).
void RotateBitmap(TBitmap* Bitmap, bool Clockwise) {
  if (Bitmap->Empty()) return;
  TBitmap source;
  source.Assign(Bitmap);
  source.SetPixelFormat(pf32bit);
  const int w = source.Width(), h = source.Height();
  Bitmap->SetPixelFormat(pf32bit);
  Bitmap->SetSize(h, w);
  for (int y = 0; y < h; ++y) {
    const auto* from = static_cast<const uint32_t*>(source.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      const int nx = Clockwise ? h - 1 - y : y, ny = Clockwise ? x : w - 1 - x;
      static_cast<uint32_t*>(Bitmap->ScanLine(ny))[nx] = from[x];
    }
  }
}

}  // namespace

void RotateBitmapLeft(TBitmap* Bitmap) { RotateBitmap(Bitmap, false); }
void RotateBitmapRight(TBitmap* Bitmap) { RotateBitmap(Bitmap, true); }

void CopyBitmap(TBitmap* Source, TBitmap* Target) { Target->Assign(Source); }

void TileBitmap(HDC DC, const TRect& Dest, TBitmap* Bitmap, const TRect& Source) {
  const int sw = Source.right - Source.left, sh = Source.bottom - Source.top;
  if (sw <= 0 || sh <= 0 || !Bitmap) return;
  TBitmap part;
  part.SetPixelFormat(pf24bit);
  part.SetSize(sw, sh);
  HDC pdc = part.Canvas()->Handle();
  BitBlt(pdc, 0, 0, sw, sh, Bitmap->Canvas()->Handle(), Source.left, Source.top, SRCCOPY);
  const int saved = SaveDC(DC);
  IntersectClipRect(DC, Dest.left, Dest.top, Dest.right, Dest.bottom);
  for (int y = Dest.top; y < Dest.bottom; y += sh)
    for (int x = Dest.left; x < Dest.right; x += sw) BitBlt(DC, x, y, sw, sh, pdc, 0, 0, SRCCOPY);
  RestoreDC(DC, saved);
}

std::unique_ptr<TBitmap> RenderSkinImage(const TRect& Target, TBitmap* Image, const TSkinMargins& Margins,
                                         bool Vertical, bool Tile, int N, int K) {
  auto out = std::make_unique<TBitmap>();
  const int tw = Target.right - Target.left, th = Target.bottom - Target.top;
  if (tw <= 0 || th <= 0) return out;
  out->SetSize(tw, th);
  int fx, fy, fw, fh;
  if (!FrameRect(Image, Vertical, N, K, fx, fy, fw, fh)) return out;
  int l = std::clamp(Margins.Left, 0, fw), r = std::clamp(Margins.Right, 0, fw - l);
  int t = std::clamp(Margins.Top, 0, fh), b = std::clamp(Margins.Bottom, 0, fh - t);
  if (tw < l + r) l = r = 0;
  if (th < t + b) t = b = 0;
  HDC src = Image->Canvas()->Handle();
  HDC dst = out->Canvas()->Handle();
  SetStretchBltMode(dst, COLORONCOLOR);
  auto piece = [&](int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) {
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    StretchBlt(dst, dx, dy, dw, dh, src, fx + sx, fy + sy, sw, sh, SRCCOPY);
  };
  const int cw = fw - l - r, ch = fh - t - b, dcw = tw - l - r, dch = th - t - b;
  if (l && t) piece(0, 0, l, t, 0, 0, l, t);
  if (l && b) piece(0, th - b, l, b, 0, fh - b, l, b);
  if (r && t) piece(tw - r, 0, r, t, fw - r, 0, r, t);
  if (l) piece(0, t, l, dch, 0, t, l, ch);
  if (t) piece(l, 0, dcw, t, l, 0, cw, t);
  if (Tile && cw > 0 && ch > 0) {
    if (dcw > 0 && dch > 0)
      TileBitmap(dst, TRect{l, t, l + dcw, t + dch}, Image, TRect{fx + l, fy + t, fx + l + cw, fy + t + ch});
  } else {
    piece(l, t, dcw, dch, l, t, cw, ch);
  }
  if (r && b) piece(tw - r, th - b, r, b, fw - r, fh - b, r, b);
  if (r) piece(tw - r, t, r, dch, fw - r, t, r, ch);
  if (b) piece(l, th - b, dcw, b, l, fh - b, cw, b);
  return out;
}

void DrawTransparent(HDC DC, const TRect& Rect, TBitmap* Bitmap, TColor TransparentColour) {
  const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
  if (w <= 0 || h <= 0 || !Bitmap || Bitmap->Empty()) return;
  TransparentBlt(DC, Rect.left, Rect.top, w, h, Bitmap->Canvas()->Handle(), 0, 0, std::min(w, Bitmap->Width()),
                 std::min(h, Bitmap->Height()), SkinColorToRGB(TransparentColour));
}

void DrawSkinImage(HDC DC, const TRect& Rect, TBitmap* Image, bool Vertical, bool Tile, bool Transparent, int N, int K,
                   const TSkinMargins& Margins) {
  if (Rect.right < Rect.left || Rect.bottom < Rect.top || !Image || Image->Empty()) return;
  auto frame = RenderSkinImage(Rect, Image, Margins, Vertical, Tile, N, K);
  if (!frame->Empty()) Blit(DC, Rect, frame.get(), Transparent);
}

void DrawSkinBar(HDC DC, const TRect& Rect, TBitmap* Image, bool Vertical, bool Transparent, int N, int K,
                 const TSkinMargins& Margins) {
  int fx, fy, fw, fh;
  const int width = Rect.right - Rect.left;
  if (width <= 0 || Rect.bottom <= Rect.top || !FrameRect(Image, Vertical, N, K, fx, fy, fw, fh)) return;
  const int l = std::clamp(Margins.Left, 0, fw), r = std::clamp(Margins.Right, 0, fw - l), mid = fw - l - r;
  const int h = std::min(fh, Rect.bottom - Rect.top);
  TBitmap bar;
  bar.SetPixelFormat(pf24bit);
  bar.SetSize(width, h);
  HDC src = Image->Canvas()->Handle(), dst = bar.Canvas()->Handle();
  BitBlt(dst, 0, 0, std::min(l, width), h, src, fx, fy, SRCCOPY);
  if (mid > 0)
    for (int x = l; x < width - r; x += mid)
      BitBlt(dst, x, 0, std::min(mid, width - r - x), h, src, fx + l, fy, SRCCOPY);
  if (r > 0) BitBlt(dst, width - r, 0, r, h, src, fx + fw - r, fy, SRCCOPY);
  Blit(DC, TRect{Rect.left, Rect.top, Rect.left + width, Rect.top + h}, &bar, Transparent);
}

void DrawSkinBarStretched(HDC DC, const TRect& Rect, TBitmap* Image, bool Vertical, int N, int K,
                          const TSkinMargins& Margins) {
  int fx, fy, fw, fh;
  if (!FrameRect(Image, Vertical, N, K, fx, fy, fw, fh)) return;
  const bool capped = Rect.right - Rect.left >= fw;
  DrawSkinImage(DC, Rect, Image, Vertical, false, false, N, K,
                capped ? TSkinMargins{Margins.Left, 0, Margins.Right, 0} : TSkinMargins{});
}

void PaintParentBackground(TControl* Control, HDC DC) {
  TWinControl* parent = Control ? Control->Parent() : nullptr;
  if (!parent) return;
  const int saved = SaveDC(DC);
  try {
    OffsetViewportOrgEx(DC, -Control->Left(), -Control->Top(), nullptr);
    const TRect b = Control->BoundsRect();
    IntersectClipRect(DC, b.left, b.top, b.right, b.bottom);
    parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
    parent->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
  } catch (const Exception&) {
    RestoreDC(DC, saved);
    if (!Control->ComponentState().Contains(csDesigning)) throw;
    return;
  }
  RestoreDC(DC, saved);
}

void DrawSkinFrame(HDC DC, const TRect& Rect, TBitmap* Image, bool Transparent, int N, int K) {
  DrawSkinImage(DC, Rect, Image, false, false, Transparent, N, K, TSkinMargins{});
}

void DrawSkinGlyph(HDC DC, const TRect& Rect, TBitmap* Image, bool Transparent, int N, int K) {
  if (!Image || Image->Empty()) return;
  N = FrameCount(N);
  const int fw = Image->Width() / N, fh = Image->Height();
  if (fw <= 0) return;
  const int x = Rect.left + (Rect.right - Rect.left - fw) / 2, y = Rect.top + (Rect.bottom - Rect.top - fh) / 2;
  TRect target{x, y, x + fw, y + fh};
  DrawSkinImage(DC, target, Image, false, false, Transparent, N, std::clamp(K, 1, N), TSkinMargins{});
}

namespace {

struct TGradientPalette {
  int N = 0;
  COLORREF First = 0, Last = 0;
  std::vector<COLORREF> Entries;
};
std::array<TGradientPalette, 16> gPalettes;
int gNextPalette = 0;

const std::vector<COLORREF>& Palette(COLORREF c1, COLORREF c2, int n) {
  for (int i = 15; i >= 0; --i) {
    const auto& p = gPalettes[static_cast<size_t>(i)];
    if (p.N == n && p.First == c1 && p.Last == c2) return p.Entries;
  }
  TGradientPalette& p = gPalettes[static_cast<size_t>(gNextPalette)];
  gNextPalette = (gNextPalette + 1) % 16;
  p.N = n;
  p.First = c1;
  p.Last = c2;
  p.Entries.assign(static_cast<size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    COLORREF v = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const int a = static_cast<int>((c1 >> shift) & 0xFF), b = static_cast<int>((c2 >> shift) & 0xFF);
      const int delta = b - a;
      const int d = n - 1;
      const int ch = d == 0 ? a + delta / 2 : a + (d / 2 + i * delta) / d;
      v |= static_cast<COLORREF>(std::clamp(ch, 0, 255)) << shift;
    }
    p.Entries[static_cast<size_t>(i)] = v;
  }
  return p.Entries;
}

}  // namespace

void GradientFill(HDC DC, const TRect& Rect, TColor Colour1, bool Vertical, TColor Colour2) {
  const int n = Vertical ? Rect.bottom - Rect.top : Rect.right - Rect.left;
  if (n <= 0 || Rect.right <= Rect.left || Rect.bottom <= Rect.top) return;
  const auto& pal = Palette(SkinColorToRGB(Colour1), SkinColorToRGB(Colour2), n);
  RECT clip{};
  GetClipBox(DC, &clip);
  for (int i = 0; i < n; ++i) {
    RECT strip = Vertical ? RECT{Rect.left, Rect.top + i, Rect.right, Rect.top + i + 1}
                          : RECT{Rect.left + i, Rect.top, Rect.left + i + 1, Rect.bottom};
    RECT inside;
    if (!IntersectRect(&inside, &strip, &clip)) continue;
    HBRUSH brush = CreateSolidBrush(pal[static_cast<size_t>(i)]);
    FillRect(DC, &strip, brush);
    DeleteObject(brush);
  }
}

HRGN BitmapToRegion(TBitmap* Bitmap, int X, int Y, int Tolerance, TColor Transparent) {
  HRGN result = CreateRectRgn(0, 0, 0, 0);
  if (!Bitmap || Bitmap->Empty()) return result;
  TBitmap copy;
  copy.Assign(Bitmap);
  copy.SetPixelFormat(pf32bit);
  const COLORREF t = SkinColorToRGB(Transparent);
  const int lr = GetRValue(t), lg = GetGValue(t), lb = GetBValue(t);
  const int hr = std::min(255, lr + Tolerance), hg = std::min(255, lg + Tolerance), hb = std::min(255, lb + Tolerance);
  std::vector<RECT> rects;
  auto flush = [&]() {
    if (rects.empty()) return;
    std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* hdr = reinterpret_cast<RGNDATAHEADER*>(data.data());
    hdr->dwSize = sizeof(RGNDATAHEADER);
    hdr->iType = RDH_RECTANGLES;
    hdr->nCount = static_cast<DWORD>(rects.size());
    hdr->nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    hdr->rcBound = RECT{X, Y, X + copy.Width(), Y + copy.Height()};
    std::memcpy(data.data() + sizeof(RGNDATAHEADER), rects.data(), rects.size() * sizeof(RECT));
    HRGN part =
        ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
    if (part) {
      CombineRgn(result, result, part, RGN_OR);
      DeleteObject(part);
    }
    rects.clear();
  };
  for (int y = 0; y < copy.Height(); ++y) {
    const auto* p = static_cast<const uint8_t*>(copy.ScanLine(y));
    int x = 0;
    const int w = copy.Width();
    while (x < w) {
      auto opaque = [&](int i) {
        const int b = p[4 * i], g = p[4 * i + 1], r = p[4 * i + 2];
        return r < lr || r > hr || g < lg || g > hg || b < lb || b > hb;
      };
      while (x < w && !opaque(x)) ++x;
      const int start = x;
      while (x < w && opaque(x)) ++x;
      if (x > start) rects.push_back(RECT{X + start, Y + y, X + x, Y + y + 1});
      if (rects.size() >= 2000) flush();
    }
  }
  flush();
  return result;
}
