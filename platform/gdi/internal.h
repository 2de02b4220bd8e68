// Internals of the raster engine shared by the files of platform/gdi (not for other areas).
#pragma once

#include <pixman.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/error.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/engine.h"

// Pango types the font data holds (pango's own declarations, repeated).
typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _PangoGlyphItem PangoGlyphItem;
typedef struct _PangoLayout PangoLayout;

namespace kv::gdi {

// One lock around the whole engine: GDI calls come from the GUI thread and the few
// painter threads, and the object table, pango and the stock objects are shared.
std::recursive_mutex& Lock();
#define KV_GDI_LOCK std::lock_guard<std::recursive_mutex> kv_gdi_guard(::kv::gdi::Lock())

inline BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

struct DC;

struct Object {
  explicit Object(DWORD t) : type(t) {}
  virtual ~Object() = default;
  DWORD type;
  bool stock = false;
  HGDIOBJ handle = nullptr;
};

// ---- Bitmaps -------------------------------------------------------------------------
// A pixel format: 1/4/8 bits index a colour table; 16/32 bits use masks (BI_RGB 16 is
// 5-5-5, BI_RGB 32 is 8-8-8 with the top byte kept 0); 24 bits are B, G, R bytes.
struct Format {
  int bpp = 32;
  bool bitfields = false;
  uint32_t masks[3] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
  std::vector<RGBQUAD> colors;

  uint32_t ValueMask() const;          // the bits a pixel value may hold
  uint32_t FromRgb(COLORREF c) const;  // nearest representable value
  COLORREF ToRgb(uint32_t v) const;
  bool SameAs(const Format& o) const;
};

Format DeviceFormat();          // 32 bits, BI_RGB
Format MonoFormat();            // 1 bit, black and white
Format DefaultFormat(int bpp);  // tables: 1 b/w, 4 VGA, 8 halftone

struct Bitmap : Object {
  Bitmap() : Object(OBJ_BITMAP) {}
  ~Bitmap() override;
  int width = 0;
  int height = 0;
  Format format;
  bool topDown = true;
  int stride = 0;
  uint8_t* bits = nullptr;
  bool ownsBits = true;
  bool isDib = false;  // a DIB section
  BITMAPINFOHEADER dibHeader{};
  DC* selectedIn = nullptr;
  SIZE dimension{0, 0};

  uint8_t* Row(int y) const { return bits + static_cast<ptrdiff_t>(topDown ? y : height - 1 - y) * stride; }
  uint32_t Get(int x, int y) const;
  void Set(int x, int y, uint32_t v);
  COLORREF GetRgb(int x, int y) const { return format.ToRgb(Get(x, y)); }
};

int DibStride(int width, int bpp);
// Allocates a zeroed bitmap; nullptr (ERROR_NOT_ENOUGH_MEMORY / ERROR_INVALID_PARAMETER).
std::shared_ptr<Bitmap> NewBitmap(int width, int height, const Format& f, bool topDown);

// ---- Pens, brushes, fonts, palettes, regions -------------------------------------------
struct Pen : Object {
  Pen() : Object(OBJ_PEN) {}
  int style = PS_SOLID;  // PS_STYLE_MASK part
  int width = 1;
  bool geometric = false;
  int endCap = PS_ENDCAP_ROUND;
  int join = PS_JOIN_ROUND;
  COLORREF color = 0;
  std::vector<DWORD> userStyle;
  bool dcPen = false;  // the stock DC_PEN: colour from the DC
};

struct Brush : Object {
  Brush() : Object(OBJ_BRUSH) {}
  int style = BS_SOLID;
  COLORREF color = 0;
  int hatch = 0;
  std::shared_ptr<Bitmap> pattern;  // BS_PATTERN / BS_DIBPATTERN (a private copy)
  bool patternMono = false;         // a 1-bit device pattern: text/background colours apply
  bool dcBrush = false;
};

struct FontData;  // font.cpp
struct Font : Object {
  Font() : Object(OBJ_FONT) {}
  ~Font() override;
  LOGFONTW lf{};
  FontData* data = nullptr;                      // resolved once (cached)
  std::vector<std::pair<int, FontData*>> byDpi;  // a zero height resolves per device resolution
};

struct Palette : Object {
  Palette() : Object(OBJ_PAL) {}
  std::vector<PALETTEENTRY> entries;
};

struct Region : Object {
  Region() : Object(OBJ_REGION) { pixman_region32_init(&r); }
  ~Region() override { pixman_region32_fini(&r); }
  pixman_region32_t r;
};

// A region value type for clipping.
struct Rgn {
  Rgn() { pixman_region32_init(&r); }
  explicit Rgn(const RECT& rc);
  Rgn(const Rgn& o) {
    pixman_region32_init(&r);
    pixman_region32_copy(&r, &o.r);
  }
  Rgn& operator=(const Rgn& o) {
    if (this != &o) pixman_region32_copy(&r, &o.r);
    return *this;
  }
  ~Rgn() { pixman_region32_fini(&r); }
  pixman_region32_t r;
  bool Empty() const { return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&r)); }
  void Intersect(const Rgn& o) { pixman_region32_intersect(&r, &r, const_cast<pixman_region32_t*>(&o.r)); }
  void IntersectRect(const RECT& rc);
  void Union(const Rgn& o) { pixman_region32_union(&r, &r, const_cast<pixman_region32_t*>(&o.r)); }
  void Subtract(const Rgn& o) { pixman_region32_subtract(&r, &r, const_cast<pixman_region32_t*>(&o.r)); }
  void Translate(int dx, int dy) { pixman_region32_translate(&r, dx, dy); }
  std::vector<RECT> Rects() const;
  RECT Box() const;
};

// Coordinates are kept within this range so no arithmetic on them can overflow.
constexpr int kCoordLimit = 1 << 27;
inline int ClampCoord(int64_t v) { return int(std::clamp<int64_t>(v, -kCoordLimit, kCoordLimit)); }
inline int ClampCoord(double v) {
  if (!(v > -kCoordLimit)) return -kCoordLimit;  // NaN too
  if (v > kCoordLimit) return kCoordLimit;
  return int(v);
}

// Rows of spans -> region (rects given as [x0, x1) on row y, any order). Spans outside
// `limit` are dropped, so shapes far larger than any surface cost only their visible rows;
// regions built without a surface are limited to +-262144.
struct SpanList {
  static constexpr int kRegionLimit = 1 << 18;
  RECT limit{-kRegionLimit, -kRegionLimit, kRegionLimit, kRegionLimit};
  std::vector<pixman_box32_t> boxes;
  void Add(int x0, int x1, int y) {
    if (y < limit.top || y >= limit.bottom) return;
    x0 = std::max<int>(x0, limit.left);
    x1 = std::min<int>(x1, limit.right);
    if (x1 > x0) boxes.push_back({x0, y, x1, y + 1});
  }
  void AddRect(int l, int t, int r, int b) {
    l = std::max<int>(l, limit.left);
    t = std::max<int>(t, limit.top);
    r = std::min<int>(r, limit.right);
    b = std::min<int>(b, limit.bottom);
    if (r > l && b > t) boxes.push_back({l, t, r, b});
  }
  Rgn ToRgn() const;
};

// Scanline polygon fill sampled at integer pixel positions (right/bottom edges excluded).
void PolygonSpans(const std::vector<std::vector<std::pair<double, double>>>& polys, int fillMode, SpanList* out);
// Ellipse inscribed in [l, r) x [t, b).
void EllipseSpans(int l, int t, int r, int b, SpanList* out);
void RoundRectSpans(int l, int t, int r, int b, int ew, int eh, SpanList* out);

// ---- Device contexts --------------------------------------------------------------------
struct Caps {
  int technology = DT_RASDISPLAY;
  int horzRes = 1024, vertRes = 768;
  int horzSize = 0, vertSize = 0;
  int logPixelsX = 96, logPixelsY = 96;
  int bitsPixel = 32;
  int physicalWidth = 0, physicalHeight = 0, physicalOffsetX = 0, physicalOffsetY = 0;
  int rasterCaps =
      RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_BIGFONT | RC_STRETCHBLT | RC_FLOODFILL | RC_STRETCHDIB;
};
Caps ScreenCaps();

struct DCState {
  std::shared_ptr<Pen> pen;
  std::shared_ptr<Brush> brush;
  std::shared_ptr<Font> font;
  std::shared_ptr<Palette> palette;
  std::shared_ptr<Bitmap> bitmap;  // memory DCs
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  int stretchMode = BLACKONWHITE;
  int polyFillMode = ALTERNATE;
  UINT textAlign = TA_LEFT | TA_TOP;
  int charExtra = 0;
  COLORREF dcBrushColor = 0xFFFFFF;
  COLORREF dcPenColor = 0;
  POINT brushOrg{0, 0};
  POINT viewportOrg{0, 0};
  POINT windowOrg{0, 0};
  POINT cur{0, 0};
  std::optional<Rgn> clip;  // device coordinates
};

enum class DCKind { Memory, Printer, Surface, Display };

// ---- Backends -------------------------------------------------------------------------------
// Every drawing primitive describes its work as one Drawing and hands it to the DC's
// backend, which decides where it goes (backend.cpp):
//   RasterBackend      memory, surface and display DCs: onto their pixels only.
//   PageBackend        a printer page without a raster: into the page's record only. An
//                      operation without a vector form (it reads the destination) first
//                      makes a raster for this page, with the record so far painted onto
//                      it, and the page goes on with both.
//   PageRasterBackend  a printer page with a raster: onto the pixels, then into the record;
//                      an operation without a vector form is recorded as a raster patch of
//                      its result.
struct Drawing {
  std::function<bool()> raster;  // draws onto dc.Target(); false (last error set): failed
  std::function<void()> record;  // appends the vector form; empty: there is none
  RECT patch{0, 0, 0, 0};        // device pixels the operation may change (no vector form)
};

class Backend {
 public:
  virtual ~Backend() = default;
  // The pixels drawing lands on; nullptr while the DC keeps none.
  virtual Bitmap* Raster(const DC& dc) const = 0;
  virtual bool Records() const = 0;
  // Runs one operation; false (last error set) when it could not be done.
  virtual bool Paint(DC& dc, const Drawing& d) const = 0;
  // Pixels to read (GetPixel, the DC as a blit source), made on demand for a page;
  // nullptr (last error set) when there are none.
  virtual Bitmap* Pixels(DC& dc) const = 0;
};
const Backend& RasterBackend();
const Backend& PageBackend();
const Backend& PageRasterBackend();

struct DC : Object {
  DC() : Object(OBJ_DC) {}
  ~DC() override;
  DCKind kind = DCKind::Memory;
  Caps caps;
  DCState st;
  std::vector<DCState> saved;
  // Target of drawing: the selected bitmap (memory DCs) or the DC's own surface bitmap.
  std::shared_ptr<Bitmap> surface;
  POINT surfaceOrigin{0, 0};   // device (0,0) on the surface
  std::optional<Rgn> visible;  // surface coordinates (surface DCs)
  const Backend* backend = &RasterBackend();
  // Printer DCs.
  bool pageOpen = false;
  bool keepRaster = true;  // every page gets a raster (else only a page that reads pixels)
  PrinterPage page;
  PagePainter painter;  // paints a page's record onto a raster made mid-page
  std::function<void(const PageOp&)> opObserver;
  std::function<void(HDC)> deleteObserver;
  // Style position of cosmetic styled lines, carried between LineTo calls.
  int styleCount = 0;

  Bitmap* Target() const { return backend->Raster(*this); }
  bool Recording() const { return backend->Records(); }
  // Size of the drawing area in target coordinates: the target's, or a printer page's
  // while it has no raster.
  SIZE Extent() const;
  // Device clip in target (surface) coordinates, the target's bounds included.
  Rgn ClipInTarget() const;
  POINT ToDevice(int x, int y) const {
    return {ClampCoord(int64_t(x) - st.windowOrg.x + st.viewportOrg.x),
            ClampCoord(int64_t(y) - st.windowOrg.y + st.viewportOrg.y)};
  }
  // The target's area in device coordinates, grown by `margin` (a limit for span building).
  RECT DeviceLimit(int margin) const;
  COLORREF Resolve(COLORREF c) const;  // PALETTEINDEX / PALETTERGB to RGB
};

// Handle table.
HGDIOBJ Register(std::shared_ptr<Object> obj);
std::shared_ptr<Object> Find(HGDIOBJ h);
template <class T>
std::shared_ptr<T> FindAs(HGDIOBJ h, DWORD type) {
  auto o = Find(h);
  if (!o || o->type != type) return nullptr;
  return std::static_pointer_cast<T>(o);
}
DC* FindDC(HDC h);  // nullptr + ERROR_INVALID_HANDLE
void Unregister(HGDIOBJ h);
std::shared_ptr<Object> Stock(int i);

std::shared_ptr<Palette> DefaultPalette();
std::vector<PALETTEENTRY> HalftoneEntries();
UINT NearestIndex(const std::vector<PALETTEENTRY>& e, COLORREF c);

// ---- Raster core --------------------------------------------------------------------------
uint32_t Rop3(uint32_t p, uint32_t s, uint32_t d, uint8_t code);
uint32_t Rop2(uint32_t p, uint32_t d, int rop2);

// Paint source for filling spans: a brush in the DC's state converted to the target.
struct PatternSource {
  bool solid = true;
  uint32_t value = 0;  // solid colour in target format
  // Pattern tile in target format; `skip` marks pixels left untouched (transparent hatch
  // background).
  int w = 0, h = 0;
  std::vector<uint32_t> tile;
  std::vector<uint8_t> skip;
  POINT org{0, 0};  // target coordinates of the tile's (0, 0)
  bool null = false;
  bool At(int x, int y, uint32_t* v) const;
};
PatternSource BrushSource(const DC& dc, const Brush& b);
PatternSource SolidSource(const DC& dc, COLORREF c);

// Fills a device-space region (device coordinates of dc) with a ROP2 or ROP3 (rop3 with
// only P and D used) through the clip.
void FillDeviceRgn(DC& dc, const Rgn& devRgn, const PatternSource& src, int rop2);
void FillDeviceRgnRop3(DC& dc, const Rgn& devRgn, const PatternSource& src, uint8_t rop3);

// For primitives: an operation with a vector form, and one without.
inline bool Paint(DC& dc, std::function<bool()> raster, std::function<void()> record) {
  return dc.backend->Paint(dc, Drawing{std::move(raster), std::move(record), RECT{0, 0, 0, 0}});
}
inline bool PaintPatch(DC& dc, std::function<bool()> raster, RECT patch) {
  return dc.backend->Paint(dc, Drawing{std::move(raster), nullptr, patch});
}

// Recording helpers (printer DCs).
std::vector<RECT> ClipRectsDevice(const DC& dc);
PenInfo DescribePen(const DC& dc);
BrushInfo DescribeBrush(const DC& dc);
BrushInfo DescribeBrushOf(const DC& dc, const Brush& br);
void Record(DC& dc, PageOp op);
// Records a raster patch of the page pixels in a device rectangle (clipped to the page).
void RecordPatch(DC& dc, RECT devRect);
bool PageReady(DC& dc);  // the DC can draw now: a target, or an open printer page (else ERROR_INVALID_HANDLE)

// Lines.
void DrawPolyline(DC& dc, const POINT* devPts, int n, bool closed);

// ---- Fonts (font.cpp) ---------------------------------------------------------------------
struct ShapedText {
  struct Run {
    PangoGlyphItem* glyphs = nullptr;
    int x = 0;  // origin from the line's left end, pango units
    int y = 0;  // raised above the baseline, pango units
  };
  std::string utf8;  // the text the runs' byte offsets index
  std::vector<Run> runs;
  int width = 0;  // logical width, pango units
  ShapedText() = default;
  ShapedText(const ShapedText&) = delete;
  ShapedText& operator=(const ShapedText&) = delete;
  ~ShapedText();
};

// A LOGFONT resolved for drawing: the test font's cells, or a pango description and the
// metrics at its final size.
struct FontData {
  bool test = false;
  std::string face;    // UTF-8 as given
  std::string family;  // drawn with
  int em = 0;
  int height = 0;  // cell
  int ascent = 0;
  int descent = 0;
  int aveWidth = 0;
  int maxWidth = 0;
  int cellWidth = 0;  // test font
  int weight = FW_NORMAL;
  bool italic = false, underline = false, strikeout = false;
  int escapement = 0;
  int ulPos = 0, ulThick = 1, stPos = 0, stThick = 1;  // offsets from the baseline (down positive)
  PangoFontDescription* desc = nullptr;
  std::string shapeKey;  // what shaping depends on: the description at its final size
  ~FontData();
};

void ReleaseFontData(FontData* d);
// The DC's font resolved at the DC's resolution (kept by the font object).
FontData* FontFor(DC& dc);
// UTF-8 for shaping, control characters drawn as spaces.
std::string SanitizedUtf8(std::u16string_view s);
// A new layout of the text in the font (the caller unrefs it).
PangoLayout* LayoutFor(const FontData& d, const std::string& utf8);
// The text shaped in the font, through the cache.
std::shared_ptr<const ShapedText> Shaped(const FontData& d, const std::string& utf8);
// A font as a page record describes it, and back (for replay onto other cairo contexts).
FontInfo DescribeFont(const FontData& d);
FontData* FontDataForInfo(const FontInfo& fi);

// BMP / DIB helpers.
bool DibFormatFromInfo(const BITMAPINFO* bmi, UINT usage, const DC* dc, Format* f, int* w, int* h, bool* topDown,
                       DWORD* infoBytes);
// Decodes RLE4/RLE8 rows into a bottom-up BI_RGB buffer; false when malformed.
bool DecodeRle(const uint8_t* data, size_t size, int bpp, int w, int h, std::vector<uint8_t>* out);

}  // namespace kv::gdi
