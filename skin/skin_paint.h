// Shared bitmap and painting routines of the skin engine: the nine-slice frame builder,
// frame and glyph drawing, transparent blitting (magenta is transparent), gradients, colour
// mixing and bitmap-to-region conversion.
#pragma once

#include <memory>

#include "framework/core/strings.h"
#include "framework/controls/controls.h"
#include "framework/graphics/graphics.h"
#include "platform/user/user.h"

// The transparent colour of every skin image.
constexpr TColor kSkinMagenta = 0xFF00FF;

struct TSkinMargins {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// A skin colour as RGB: a negative value names a system colour by its low byte.
COLORREF SkinColorToRGB(TColor Color);
// Weighted mix per channel: weights up to 100 count in percent, larger ones in per mille
// (100 gives C1 exactly, as does 1000).
TColor MixColors(TColor C1, TColor C2, int Weight);
// 200 for a dull colour (no channel above 159), else 255 x (max - min) / max rounded half to even.
int SaturationScore(TColor Color);

// Forces 24 bits a pixel; every pure magenta pixel becomes Color.
void ReplaceColor(TBitmap* Bitmap, TColor Color);
// Left-right mirror as a 24-bit bitmap.
void MirrorBitmap(TBitmap* Bitmap);
// Top-bottom flip by whole rows, in the bitmap's own format.
void FlipBitmap(TBitmap* Bitmap);
// Quarter turns, width and height swapping: left (counter-clockwise) puts (x, y) at
// (y, W - 1 - x); right (clockwise) puts it at (H - 1 - y, x). The result has 32 bits a pixel.
void RotateBitmapLeft(TBitmap* Bitmap);
void RotateBitmapRight(TBitmap* Bitmap);
void CopyBitmap(TBitmap* Source, TBitmap* Target);

// Builds frame K (1-based) of N of Image at the size of Target (its width and height): the
// corners and edges given by the margins are kept, the centre stretched (or tiled). Frames
// are side by side, or stacked when Vertical. A target narrower (lower) than its two side
// margins drops those margins.
std::unique_ptr<TBitmap> RenderSkinImage(const TRect& Target, TBitmap* Image, const TSkinMargins& Margins,
                                         bool Vertical, bool Tile, int N, int K);
// The Source part of Bitmap repeated unscaled from Dest's top-left across and down, clipped
// to Dest. Nothing for an empty or inverted Source.
void TileBitmap(HDC DC, const TRect& Dest, TBitmap* Bitmap, const TRect& Source);
// RenderSkinImage drawn at Rect of DC: transparent (magenta) or opaque.
void DrawSkinImage(HDC DC, const TRect& Rect, TBitmap* Image, bool Vertical, bool Tile, bool Transparent, int N, int K,
                   const TSkinMargins& Margins);
// A horizontal bar at its frame's height: frame K's left cap, its middle part repeated
// unscaled up to the right cap, the right cap at the right end. Frames are stacked when Vertical.
void DrawSkinBar(HDC DC, const TRect& Rect, TBitmap* Image, bool Vertical, bool Transparent, int N, int K,
                 const TSkinMargins& Margins);
// Frame K stretched over Rect keeping its left and right margin parts; a Rect narrower than
// one frame gets the whole frame stretched.
void DrawSkinBarStretched(HDC DC, const TRect& Rect, TBitmap* Image, bool Vertical, int N, int K,
                          const TSkinMargins& Margins);
// Frame K of N side-by-side frames stretched over Rect.
void DrawSkinFrame(HDC DC, const TRect& Rect, TBitmap* Image, bool Transparent, int N, int K);
// Frame K of N side-by-side frames unscaled, centred in Rect.
void DrawSkinGlyph(HDC DC, const TRect& Rect, TBitmap* Image, bool Transparent, int N, int K);
// Bitmap drawn at Rect (its size), pixels of TransparentColour left out.
void DrawTransparent(HDC DC, const TRect& Rect, TBitmap* Bitmap, TColor TransparentColour);
// The control's parent painted into DC as the control's background: the parent gets
// WM_ERASEBKGND and WM_PAINT with DC moved by the control's position and clipped to it.
void PaintParentBackground(TControl* Control, HDC DC);
// One-pixel strips from Colour1 to Colour2 (rows when Vertical), only those inside the clip box.
void GradientFill(HDC DC, const TRect& Rect, TColor Colour1, bool Vertical, TColor Colour2);
// The region of every pixel whose channels lie outside [transparent, transparent + Tolerance],
// moved by (X, Y). The caller owns it.
HRGN BitmapToRegion(TBitmap* Bitmap, int X, int Y, int Tolerance, TColor Transparent);
// Number of frames, never below 1 (a count of 0 in a skin must not divide by zero).
inline int FrameCount(int N) { return N < 1 ? 1 : N; }
