// Colour reduction for GIF frames: fixed palettes, colour lookups, the octree quantizer
// and the error-diffusion ditherers, and ReduceBitmapColors that turns any bitmap into
// an 8-bit bitmap with a palette.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gif/gif_dib.h"
#include "gif/gif_stream.h"

enum TColorReduction : BYTE {
  rmNone = 0,
  rmWindows20 = 1,
  rmWindowsHalftone = 2,
  rmGray4 = 3,
  rmMonochrome = 4,
  rmGray256 = 5,
  rmNetscape = 6,
  rmQuantize = 7,
  rmQuantizeWindows = 8,
  rmPalette = 9,
};
// The names the image's settings use.
constexpr TColorReduction ReduceNone = rmNone;
constexpr TColorReduction ReduceWindows20 = rmWindows20;
constexpr TColorReduction ReduceWindowsHalftone = rmWindowsHalftone;
constexpr TColorReduction ReduceGray4 = rmGray4;
constexpr TColorReduction ReduceMonochrome = rmMonochrome;
constexpr TColorReduction ReduceGray256 = rmGray256;
constexpr TColorReduction ReduceWebSafe = rmNetscape;
constexpr TColorReduction ReduceOctree = rmQuantize;
constexpr TColorReduction ReduceOctreeWindows = rmQuantizeWindows;
constexpr TColorReduction ReduceCustom = rmPalette;

enum TDitherMode : BYTE {
  DitherNearest = 0,
  DitherFloydSteinberg = 1,
  DitherStucki = 2,
  DitherSierra = 3,
  DitherJarvisJudiceNinke = 4,
  DitherStevensonArce = 5,
  DitherBurkes = 6,
};

struct TGIFRGB {
  BYTE Red, Green, Blue;
  bool operator==(const TGIFRGB&) const = default;
};

// ---- Fixed palettes (each a new handle the caller deletes) ----------------------------
HPALETTE WebPalette();
HPALETTE GrayScalePalette();
HPALETTE MonochromePalette();
HPALETTE Gray4Palette();
HPALETTE Windows20Palette();
HPALETTE WindowsHalftonePalette();
// A palette of the given colours (at most 256), version 0x300.
HPALETTE MakePalette(const std::vector<TGIFRGB>& Colors, BYTE Flags = 0);
// The entries of a palette (at most 256).
std::vector<TGIFRGB> PaletteColors(HPALETTE Palette);

// ---- Colour lookups ---------------------------------------------------------------------
class TColorLookup {
 public:
  explicit TColorLookup(int ColorCount) : color_count_(ColorCount) {}
  virtual ~TColorLookup() = default;
  TColorLookup(const TColorLookup&) = delete;
  TColorLookup& operator=(const TColorLookup&) = delete;
  // The palette index for (R, G, B); Chosen receives that entry's colour.
  virtual int Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) = 0;
  int Colors() const { return color_count_; }

 protected:
  int color_count_;
};

class TFastColorLookup : public TColorLookup {
 public:
  explicit TFastColorLookup(HPALETTE Palette);
  int Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) override;

 private:
  std::vector<TGIFRGB> palette_;
  std::vector<int16_t> cache_;  // 32768 cells, -1 empty
};

class TSlowColorLookup : public TColorLookup {
 public:
  explicit TSlowColorLookup(HPALETTE Palette);
  int Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) override;

 private:
  HPALETTE palette_;
  std::vector<TGIFRGB> colors_;
};

class TNetscapeColorLookup : public TColorLookup {
 public:
  TNetscapeColorLookup() : TColorLookup(216) {}
  int Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) override;
};

class TGrayScaleLookup : public TColorLookup {
 public:
  TGrayScaleLookup() : TColorLookup(256) {}
  int Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) override;
};

class TMonochromeLookup : public TColorLookup {
 public:
  TMonochromeLookup() : TColorLookup(2) {}
  int Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) override;
};

// ---- Octree quantizer -------------------------------------------------------------------
class TColorQuantizer {
 public:
  TColorQuantizer(int MaxColors, int ColorBits);
  ~TColorQuantizer();
  TColorQuantizer(const TColorQuantizer&) = delete;
  TColorQuantizer& operator=(const TColorQuantizer&) = delete;
  void AddColor(int Red, int Green, int Blue);
  // The leaves in tree order.
  std::vector<TGIFRGB> Colors() const;
  int LeafCount() const { return leaf_count_; }

 private:
  struct TOctreeNode;
  void Reduce();
  int max_colors_, color_bits_;
  TOctreeNode* root_;
  int leaf_count_ = 0;
  std::vector<TOctreeNode*> reducible_;  // head of each depth's list
};

// A palette of exactly MaxColors entries from the bitmap's colours (switched to 24 bits);
// with system colours the octree takes 236 and the 20 static colours fill 0-9, 246-255.
HPALETTE BuildOctreePalette(TBitmap* Bitmap, int MaxColors, int ColorBits, bool WithSystemColors);

// ---- Ditherers ----------------------------------------------------------------------------
class TDitherEngine {
 public:
  TDitherEngine(int Width, TColorLookup* Lookup) : width_(Width), lookup_(Lookup) {}
  virtual ~TDitherEngine() = default;
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;
  // Index and chosen colour of the pixel at the current column; steps to the next column.
  virtual int Dither(int Red, int Green, int Blue, TGIFRGB& Chosen);
  // Starts the next row, in the other direction.
  virtual void NextLine();
  int Direction() const { return direction_; }
  int Column() const { return column_; }

 protected:
  int width_;
  TColorLookup* lookup_;
  int direction_ = 1;
  int column_ = 0;
};

struct TDitherWeight {
  int Row;    // 0 current row, 1 next ...
  int Ahead;  // columns in the scan direction (negative: behind)
  int Weight;
};

// Error diffusion with a fixed kernel.
class TErrorDiffusionDitherer : public TDitherEngine {
 public:
  TErrorDiffusionDitherer(int Width, TColorLookup* Lookup, int Divisor, std::vector<TDitherWeight> Kernel);
  int Dither(int Red, int Green, int Blue, TGIFRGB& Chosen) override;
  void NextLine() override;

 private:
  int divisor_;
  std::vector<TDitherWeight> kernel_;
  int guard_ = 0;
  int rows_ = 0;
  std::vector<std::vector<int>> errors_[3];
};

class TFloydSteinbergDitherer : public TErrorDiffusionDitherer {
 public:
  TFloydSteinbergDitherer(int Width, TColorLookup* Lookup);
};
class TStuckiDitherer : public TErrorDiffusionDitherer {
 public:
  TStuckiDitherer(int Width, TColorLookup* Lookup);
};
class TSierraDitherer : public TErrorDiffusionDitherer {
 public:
  TSierraDitherer(int Width, TColorLookup* Lookup);
};
class TJaJuNiDitherer : public TErrorDiffusionDitherer {
 public:
  TJaJuNiDitherer(int Width, TColorLookup* Lookup);
};
class TSteveArceDitherer : public TErrorDiffusionDitherer {
 public:
  TSteveArceDitherer(int Width, TColorLookup* Lookup);
};
class TBurkesDitherer : public TErrorDiffusionDitherer {
 public:
  TBurkesDitherer(int Width, TColorLookup* Lookup);
};

// The ditherer of a dither mode; nullptr for an unknown mode.
std::unique_ptr<TDitherEngine> MakeDitherer(TDitherMode Mode, int Width, TColorLookup* Lookup);

// A new 8-bit bitmap (24-bit for ReduceNone) of Bitmap's colours reduced with the method
// and ditherer; the caller owns it. The source is switched to 24 bits. An unknown method
// or dither mode, or a lookup without colours, gives an empty bitmap.
TBitmap* ReduceBitmapColors(TBitmap* Bitmap, TColorReduction ColorReduction, TDitherMode DitherMode,
                            HPALETTE CustomPalette, int OctreeBits);
