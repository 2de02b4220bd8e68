#include "gif/gif_color.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gif/texts.h"

// ---- Palettes ------------------------------------------------------------------------

HPALETTE MakePalette(const std::vector<TGIFRGB>& Colors, BYTE Flags) {
  size_t n = std::min<size_t>(Colors.size(), 256);
  std::vector<BYTE> block(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY), 0);
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(n);
  for (size_t i = 0; i < n; ++i)
    lp->palPalEntry[i] = PALETTEENTRY{Colors[i].Red, Colors[i].Green, Colors[i].Blue, Flags};
  return GDICheck(CreatePalette(lp));
}

std::vector<TGIFRGB> PaletteColors(HPALETTE Palette) {
  std::vector<TGIFRGB> colors;
  if (!Palette) return colors;
  PALETTEENTRY entries[256];
  UINT n = GetPaletteEntries(Palette, 0, 256, entries);
  for (UINT i = 0; i < n && i < 256; ++i) colors.push_back({entries[i].peRed, entries[i].peGreen, entries[i].peBlue});
  return colors;
}

HPALETTE WebPalette() {
  std::vector<TGIFRGB> colors;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        colors.push_back({static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51)});
  return MakePalette(colors);
}

HPALETTE GrayScalePalette() {
  std::vector<TGIFRGB> colors;
  for (int i = 0; i < 256; ++i) colors.push_back({static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i)});
  return MakePalette(colors, PC_NOCOLLAPSE);
}

HPALETTE MonochromePalette() { return MakePalette({{0, 0, 0}, {255, 255, 255}}); }

HPALETTE Gray4Palette() {
  return MakePalette({{0, 0, 0}, {128, 128, 128}, {192, 192, 192}, {255, 255, 255}}, PC_NOCOLLAPSE);
}

HPALETTE Windows20Palette() {
  return MakePalette(PaletteColors(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE))));
}

HPALETTE WindowsHalftonePalette() {
  HDC dc = GDICheck(CreateCompatibleDC(nullptr));
  HPALETTE palette = CreateHalftonePalette(dc);
  DeleteDC(dc);
  return GDICheck(palette);
}

// ---- Lookups -------------------------------------------------------------------------

TFastColorLookup::TFastColorLookup(HPALETTE Palette)
    : TColorLookup(0), palette_(PaletteColors(Palette)), cache_(32768, -1) {
  color_count_ = static_cast<int>(palette_.size());
  for (int i = 0; i < color_count_; ++i) {
    const TGIFRGB& c = palette_[i];
    int cell = (c.Red >> 3) | (c.Green >> 3) << 5 | (c.Blue >> 3) << 10;
    if (cache_[cell] < 0) cache_[cell] = static_cast<int16_t>(i);
  }
}

int TFastColorLookup::Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) {
  int cell = (Red >> 3) | (Green >> 3) << 5 | (Blue >> 3) << 10;
  int index = cache_[cell];
  if (index < 0) {
    int best = 196608;
    index = 0;
    for (int i = 0; i < color_count_; ++i) {
      const TGIFRGB& c = palette_[i];
      int d = std::abs(Red - c.Red) + std::abs(Green - c.Green) + std::abs(Blue - c.Blue);
      if (d < best) {
        best = d;
        index = i;
      }
    }
    cache_[cell] = static_cast<int16_t>(index);
  }
  Chosen = color_count_ > 0 ? palette_[index] : TGIFRGB{0, 0, 0};
  return index;
}

TSlowColorLookup::TSlowColorLookup(HPALETTE Palette)
    : TColorLookup(0), palette_(Palette), colors_(PaletteColors(Palette)) {
  color_count_ = static_cast<int>(colors_.size());
}

int TSlowColorLookup::Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) {
  UINT index = GetNearestPaletteIndex(palette_, RGB(Red, Green, Blue));
  if (index >= colors_.size()) index = 0;
  Chosen = colors_.empty() ? TGIFRGB{0, 0, 0} : colors_[index];
  return static_cast<int>(index);
}

int TNetscapeColorLookup::Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) {
  int r = (Red + 3) / 51, g = (Green + 3) / 51, b = (Blue + 3) / 51;
  Chosen = {static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51)};
  return r * 36 + g * 6 + b;
}

int TGrayScaleLookup::Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) {
  int y = (77 * Red + 150 * Green + 29 * Blue) >> 8;
  Chosen = {static_cast<BYTE>(y), static_cast<BYTE>(y), static_cast<BYTE>(y)};
  return y;
}

int TMonochromeLookup::Lookup(int Red, int Green, int Blue, TGIFRGB& Chosen) {
  if (77 * Red + 150 * Green + 29 * Blue < 32513) {
    Chosen = {0, 0, 0};
    return 0;
  }
  Chosen = {255, 255, 255};
  return 1;
}

// ---- Octree --------------------------------------------------------------------------

struct TColorQuantizer::TOctreeNode {
  bool leaf = false;
  uint64_t count = 0;
  uint64_t red = 0, green = 0, blue = 0;
  TOctreeNode* next = nullptr;
  TOctreeNode* child[8] = {};
  ~TOctreeNode() {
    for (TOctreeNode* c : child) delete c;
  }
};

TColorQuantizer::TColorQuantizer(int MaxColors, int ColorBits)
    : max_colors_(std::max(1, MaxColors)), color_bits_(std::clamp(ColorBits, 1, 8)), reducible_(9, nullptr) {
  root_ = new TOctreeNode;
  root_->next = reducible_[0];
  reducible_[0] = root_;
}

TColorQuantizer::~TColorQuantizer() { delete root_; }

void TColorQuantizer::AddColor(int Red, int Green, int Blue) {
  TOctreeNode* node = root_;
  int depth = 0;
  while (!node->leaf) {
    int shift = 7 - depth;
    int i = ((Red >> shift) & 1) << 2 | ((Green >> shift) & 1) << 1 | ((Blue >> shift) & 1);
    TOctreeNode*& c = node->child[i];
    if (!c) {
      c = new TOctreeNode;
      if (depth + 1 >= color_bits_) {
        c->leaf = true;
        ++leaf_count_;
      } else {
        c->next = reducible_[depth + 1];
        reducible_[depth + 1] = c;
      }
    }
    node = c;
    ++depth;
  }
  node->count += 1;
  node->red += static_cast<uint64_t>(Red);
  node->green += static_cast<uint64_t>(Green);
  node->blue += static_cast<uint64_t>(Blue);
  while (leaf_count_ > max_colors_) Reduce();
}

void TColorQuantizer::Reduce() {
  int depth = color_bits_ - 1;
  while (depth > 0 && !reducible_[depth]) --depth;
  TOctreeNode* node = reducible_[depth];
  if (!node) {  // nothing left to fold: the root is already a leaf
    leaf_count_ = max_colors_;
    return;
  }
  reducible_[depth] = node->next;
  int children = 0;
  for (TOctreeNode*& c : node->child) {
    if (!c) continue;
    node->count += c->count;
    node->red += c->red;
    node->green += c->green;
    node->blue += c->blue;
    delete c;
    c = nullptr;
    ++children;
  }
  node->leaf = true;
  leaf_count_ += 1 - children;
}

std::vector<TGIFRGB> TColorQuantizer::Colors() const {
  std::vector<TGIFRGB> colors;
  std::vector<const TOctreeNode*> stack{root_};
  while (!stack.empty()) {
    const TOctreeNode* n = stack.back();
    stack.pop_back();
    if (n->leaf) {
      if (n->count == 0) {
        colors.push_back({0, 0, 0});
      } else {
        colors.push_back({static_cast<BYTE>(n->red / n->count), static_cast<BYTE>(n->green / n->count),
                          static_cast<BYTE>(n->blue / n->count)});
      }
      continue;
    }
    for (int i = 7; i >= 0; --i)
      if (n->child[i]) stack.push_back(n->child[i]);
  }
  return colors;
}

HPALETTE BuildOctreePalette(TBitmap* Bitmap, int MaxColors, int ColorBits, bool WithSystemColors) {
  MaxColors = std::clamp(MaxColors, 1, 256);
  int octree_colors = WithSystemColors ? std::min(MaxColors, 236) : MaxColors;
  TColorQuantizer quantizer(octree_colors, ColorBits);
  TDIBReader reader(Bitmap, pf24bit);
  for (int y = 0; y < Bitmap->Height(); ++y) {
    const BYTE* row = static_cast<const BYTE*>(reader.ScanLine(y));
    for (int x = 0; x < Bitmap->Width(); ++x) quantizer.AddColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
  }
  std::vector<TGIFRGB> leaves = quantizer.Colors();
  std::vector<TGIFRGB> colors;
  if (WithSystemColors) {
    std::vector<TGIFRGB> system = PaletteColors(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
    system.resize(20, TGIFRGB{0, 0, 0});
    colors.assign(256, TGIFRGB{0, 0, 0});
    for (int i = 0; i < 10; ++i) {
      colors[i] = system[i];
      colors[246 + i] = system[10 + i];
    }
    for (size_t i = 0; i < leaves.size() && i < 236; ++i) colors[10 + i] = leaves[i];
  } else {
    colors.assign(static_cast<size_t>(MaxColors), TGIFRGB{0, 0, 0});
    for (size_t i = 0; i < leaves.size() && i < colors.size(); ++i) colors[i] = leaves[i];
  }
  return MakePalette(colors);
}

// ---- Ditherers -----------------------------------------------------------------------

int TDitherEngine::Dither(int Red, int Green, int Blue, TGIFRGB& Chosen) {
  int index = lookup_->Lookup(Red, Green, Blue, Chosen);
  column_ += direction_;
  return index;
}

void TDitherEngine::NextLine() {
  direction_ = -direction_;
  column_ = direction_ > 0 ? 0 : width_ - 1;
}

TErrorDiffusionDitherer::TErrorDiffusionDitherer(int Width, TColorLookup* Lookup, int Divisor,
                                                 std::vector<TDitherWeight> Kernel)
    : TDitherEngine(Width, Lookup), divisor_(Divisor), kernel_(std::move(Kernel)) {
  for (const TDitherWeight& w : kernel_) {
    guard_ = std::max(guard_, std::abs(w.Ahead));
    rows_ = std::max(rows_, w.Row + 1);
  }
  for (auto& channel : errors_)
    channel.assign(static_cast<size_t>(rows_), std::vector<int>(static_cast<size_t>(Width + 2 * guard_), 0));
}

int TErrorDiffusionDitherer::Dither(int Red, int Green, int Blue, TGIFRGB& Chosen) {
  int value[3] = {Red, Green, Blue};
  size_t at = static_cast<size_t>(column_ + guard_);
  for (int c = 0; c < 3; ++c) {
    value[c] += (errors_[c][0][at] + divisor_ / 2) / divisor_;
    value[c] = std::clamp(value[c], 0, 255);
  }
  int index = lookup_->Lookup(value[0], value[1], value[2], Chosen);
  int error[3] = {value[0] - Chosen.Red, value[1] - Chosen.Green, value[2] - Chosen.Blue};
  for (const TDitherWeight& w : kernel_) {
    size_t target = static_cast<size_t>(column_ + guard_ + w.Ahead * direction_);
    for (int c = 0; c < 3; ++c) errors_[c][static_cast<size_t>(w.Row)][target] += error[c] * w.Weight;
  }
  column_ += direction_;
  return index;
}

void TErrorDiffusionDitherer::NextLine() {
  for (auto& channel : errors_) {
    std::vector<int> oldest = std::move(channel.front());
    channel.erase(channel.begin());
    std::fill(oldest.begin(), oldest.end(), 0);
    channel.push_back(std::move(oldest));
  }
  TDitherEngine::NextLine();
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int Width, TColorLookup* Lookup)
    : TErrorDiffusionDitherer(Width, Lookup, 16, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}) {}

TStuckiDitherer::TStuckiDitherer(int Width, TColorLookup* Lookup)
    : TErrorDiffusionDitherer(Width, Lookup, 42,
                              {{0, 1, 8},
                               {0, 2, 4},
                               {1, -2, 2},
                               {1, -1, 4},
                               {1, 0, 8},
                               {1, 1, 4},
                               {1, 2, 2},
                               {2, -2, 1},
                               {2, -1, 2},
                               {2, 0, 4},
                               {2, 1, 2},
                               {2, 2, 1}}) {}

TSierraDitherer::TSierraDitherer(int Width, TColorLookup* Lookup)
    : TErrorDiffusionDitherer(Width, Lookup, 32,
                              {{0, 1, 5},
                               {0, 2, 3},
                               {1, -2, 2},
                               {1, -1, 4},
                               {1, 0, 5},
                               {1, 1, 4},
                               {1, 2, 2},
                               {2, -1, 2},
                               {2, 0, 3},
                               {2, 1, 2}}) {}

TJaJuNiDitherer::TJaJuNiDitherer(int Width, TColorLookup* Lookup)
    : TErrorDiffusionDitherer(Width, Lookup, 48,
                              {{0, 1, 7},
                               {0, 2, 5},
                               {1, -2, 3},
                               {1, -1, 5},
                               {1, 0, 7},
                               {1, 1, 5},
                               {1, 2, 3},
                               {2, -2, 1},
                               {2, -1, 3},
                               {2, 0, 5},
                               {2, 1, 3},
                               {2, 2, 1}}) {}

TSteveArceDitherer::TSteveArceDitherer(int Width, TColorLookup* Lookup)
    : TErrorDiffusionDitherer(Width, Lookup, 200,
                              {{0, 2, 32},
                               {1, -3, 12},
                               {1, -1, 26},
                               {1, 1, 30},
                               {1, 3, 16},
                               {2, -2, 12},
                               {2, 0, 26},
                               {2, 2, 12},
                               {3, -3, 5},
                               {3, -1, 12},
                               {3, 1, 12},
                               {3, 3, 5}}) {}

TBurkesDitherer::TBurkesDitherer(int Width, TColorLookup* Lookup)
    : TErrorDiffusionDitherer(Width, Lookup, 32,
                              {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}) {}

std::unique_ptr<TDitherEngine> MakeDitherer(TDitherMode Mode, int Width, TColorLookup* Lookup) {
  switch (Mode) {
    case DitherNearest: return std::make_unique<TDitherEngine>(Width, Lookup);
    case DitherFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(Width, Lookup);
    case DitherStucki: return std::make_unique<TStuckiDitherer>(Width, Lookup);
    case DitherSierra: return std::make_unique<TSierraDitherer>(Width, Lookup);
    case DitherJarvisJudiceNinke: return std::make_unique<TJaJuNiDitherer>(Width, Lookup);
    case DitherStevensonArce: return std::make_unique<TSteveArceDitherer>(Width, Lookup);
    case DitherBurkes: return std::make_unique<TBurkesDitherer>(Width, Lookup);
  }
  return nullptr;
}

// ---- ReduceBitmapColors ----------------------------------------------------------------

namespace {

struct PaletteHolder {
  HPALETTE handle = nullptr;
  ~PaletteHolder() {
    if (handle) DeleteObject(handle);
  }
};

}  // namespace

TBitmap* ReduceBitmapColors(TBitmap* Bitmap, TColorReduction ColorReduction, TDitherMode DitherMode,
                            HPALETTE CustomPalette, int OctreeBits) {
  auto result = std::make_unique<TBitmap>();
  if (ColorReduction == rmNone) {
    result->Assign(Bitmap);
    result->SetPixelFormat(pf24bit);
    return result.release();
  }
  const int width = Bitmap->Width(), height = Bitmap->Height();
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > 500000) result->SetPixelFormat(pf1bit);
  if (width <= 0 || height <= 0) return result.release();

  PaletteHolder palette;
  switch (ColorReduction) {
    case rmWindows20: palette.handle = Windows20Palette(); break;
    case rmWindowsHalftone: palette.handle = WindowsHalftonePalette(); break;
    case rmGray4: palette.handle = Gray4Palette(); break;
    case rmMonochrome: palette.handle = MonochromePalette(); break;
    case rmGray256: palette.handle = GrayScalePalette(); break;
    case rmNetscape: palette.handle = WebPalette(); break;
    case rmQuantize: {
      int bits = std::clamp(OctreeBits, 1, 8);
      palette.handle = BuildOctreePalette(Bitmap, 1 << bits, 8, false);
      break;
    }
    case rmQuantizeWindows: palette.handle = BuildOctreePalette(Bitmap, 256, 8, true); break;
    case rmPalette:
      if (CustomPalette) palette.handle = MakePalette(PaletteColors(CustomPalette));
      break;
    default: return result.release();
  }

  std::unique_ptr<TColorLookup> lookup;
  switch (ColorReduction) {
    case rmMonochrome: lookup = std::make_unique<TMonochromeLookup>(); break;
    case rmGray256: lookup = std::make_unique<TGrayScaleLookup>(); break;
    case rmNetscape: lookup = std::make_unique<TNetscapeColorLookup>(); break;
    case rmQuantize: lookup = std::make_unique<TFastColorLookup>(palette.handle); break;
    default:
      if (palette.handle) lookup = std::make_unique<TSlowColorLookup>(palette.handle);
      break;
  }
  if (!lookup || lookup->Colors() == 0) return result.release();
  std::unique_ptr<TDitherEngine> ditherer = MakeDitherer(DitherMode, width, lookup.get());
  if (!ditherer) return result.release();

  TDIBReader reader(Bitmap, pf24bit);
  {
    TDIBWriter writer(result.get(), palette.handle, height, width, pf8bit);
    for (int y = 0; y < height; ++y) {
      const BYTE* src = static_cast<const BYTE*>(reader.ScanLine(y));
      BYTE* dst = static_cast<BYTE*>(writer.ScanLine(y));
      TGIFRGB chosen;
      for (int i = 0; i < width; ++i) {
        int x = ditherer->Column();
        dst[x] = static_cast<BYTE>(ditherer->Dither(src[3 * x + 2], src[3 * x + 1], src[3 * x], chosen));
      }
      ditherer->NextLine();
    }
    writer.Commit();
  }
  result->SetPalette(palette.handle);
  return result.release();
}
