// C++ face of the raster engine for the other areas inside libplatform.so (print, user).
// Not part of the public C API: nothing here crosses the boundary of libplatform.so.
//
// Printer DCs. The print area makes a DC over a page of a given pixel size with the
// device capabilities it supplies. Every drawing call on that DC appends one PageOp to the
// page's record, in device pixels, so the page can be replayed as vectors (the PDF of the
// page). When the DC keeps page rasters (PrinterCaps::pageRaster) it also renders into the
// page's 32-bit raster (the PNG of the page), exactly as on a memory DC. Without them no
// page-sized memory is taken unless an operation reads the page's pixels (a ROP reading
// the destination, GetPixel, the DC as a blit source): that page then gets a raster, the
// record so far painted onto it by the DC's page painter, and goes on with both.
// BeginPrinterPage() starts a new page: raster (if any) white, record emptied. The DC's
// state (objects, colours, origins, clip) stays, as on the platform's NT family. Outside a
// page (before the first BeginPrinterPage, after ReleasePrinterPage) every drawing call on
// the DC fails (FALSE / 0 / GDI_ERROR).
// Ops that have no vector form (blits with a ROP other than SRCCOPY, masked blits,
// pen/brush drawing with a ROP2 other than R2_COPYPEN, fills with a ROP other than
// PATCOPY/BLACKNESS/WHITENESS) are recorded as raster patches: an Image op holding the
// final page pixels of the op's clipped bounding box (rasterPatch = true, rop SRCCOPY).
//
// Geometry of the record, device pixels as doubles: pixel (x, y) covers [x, x+1) x [y, y+1).
// A cosmetic or wide pen's path runs through pixel centres (x + 0.5, y + 0.5); a filled
// area's outline lies on pixel edges (a FillRect of {l, t, r, b} is the path
// (l,t) (r,t) (r,b) (l,b)). Ellipses, arcs and round corners arrive flattened to polygons.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

typedef struct _cairo cairo_t;

namespace kv::gdi {

// A 32-bit pixel buffer: each pixel a uint32_t 0x00RRGGBB (bytes B, G, R, 0 in memory),
// rows top-down, stride in bytes (a multiple of 4). Same layout as cairo's RGB24.
struct SurfaceView {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// ---- Printer DCs -----------------------------------------------------------------------
struct PrinterCaps {
  int horzRes = 0;  // printable width in pixels: the page surface's width
  int vertRes = 0;  // printable height in pixels: the page surface's height
  int logPixelsX = 600;
  int logPixelsY = 600;
  int physicalWidth = 0;  // whole paper in pixels
  int physicalHeight = 0;
  int physicalOffsetX = 0;  // printable area's corner on the paper, in pixels
  int physicalOffsetY = 0;
  int horzSizeMm = 0;  // HORZSIZE / VERTSIZE answers (millimetres of the printable area)
  int vertSizeMm = 0;
  int bitsPixel = 24;  // BITSPIXEL answer (the page raster itself is always 32 bits)
  int rasterCaps = RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_BIGFONT | RC_STRETCHBLT | RC_STRETCHDIB;
  // Every page gets a raster. Without, only a page whose drawing reads pixels gets one
  // (which needs a page painter; a DC without one keeps rasters).
  bool pageRaster = true;
};

struct PenInfo {
  int style = PS_SOLID;    // PS_SOLID ... PS_INSIDEFRAME, PS_USERSTYLE, PS_ALTERNATE
  int width = 1;           // device pixels, >= 1
  bool geometric = false;  // PS_GEOMETRIC or width > 1
  int endCap = PS_ENDCAP_ROUND;
  int join = PS_JOIN_ROUND;
  COLORREF color = 0;         // resolved RGB
  std::vector<DWORD> dashes;  // on/off lengths in pixels for styled pens (empty: solid)
};

struct BrushInfo {
  int style = BS_SOLID;  // BS_SOLID, BS_NULL, BS_HATCHED, BS_PATTERN (pattern below)
  COLORREF color = 0;    // solid colour, or hatch line colour
  int hatch = 0;
  COLORREF bkColor = 0xFFFFFF;  // hatch background when bkOpaque
  bool bkOpaque = true;
  int patternWidth = 0;  // BS_PATTERN / BS_DIBPATTERN: pixels 0x00RRGGBB, top-down
  int patternHeight = 0;
  std::vector<uint32_t> pattern;
  POINT origin{0, 0};  // device position where the pattern tile starts
};

struct FontInfo {
  std::string face;    // face name as the program gave it (UTF-8)
  std::string family;  // fontconfig family drawn with; empty for the fixed-cell test font
  int emHeight = 0;    // character height in pixels (the font's em size)
  int cellHeight = 0;  // ascent + descent
  int ascent = 0;
  int weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  int escapement = 0;  // tenths of a degree, counter-clockwise
};

// A string shaped in one font (font.cpp; defined in internal.h): pango's glyph runs of its
// one line. Immutable, shared by the text cache and the page records that draw it.
struct ShapedText;

struct TextInfo {
  std::u16string text;
  std::string utf8;
  FontInfo font;
  double x = 0;         // left edge of the first character cell
  double baseline = 0;  // baseline y
  std::vector<int> dx;  // per-character advances in pixels (empty: the font's own)
  int charExtra = 0;
  COLORREF color = 0;
  bool opaque = false;  // background cell painted with bkColor
  COLORREF bkColor = 0xFFFFFF;
  RECT cell{0, 0, 0, 0};       // the text's background cell (device)
  bool hasOpaqueRect = false;  // ETO_OPAQUE rectangle
  RECT opaqueRect{0, 0, 0, 0};
  bool hasClipRect = false;  // ETO_CLIPPED rectangle
  RECT clipRect{0, 0, 0, 0};
  // The glyphs as shaped when the text was drawn (null for the test font and for text laid
  // out character by character): a replay draws them without shaping again.
  std::shared_ptr<const ShapedText> shaped;
};

struct PathInfo {
  std::vector<std::vector<std::pair<double, double>>> subpaths;
  std::vector<bool> closed;  // one entry per subpath
  bool fill = false;
  BrushInfo brush;
  int fillMode = ALTERNATE;
  bool stroke = false;
  PenInfo pen;
};

struct ImageInfo {
  RECT dst{0, 0, 0, 0};  // device rectangle (right/bottom exclusive), may be mirrored: left > right
  int width = 0;         // source pixels after conversion to 32 bits, top-down
  int height = 0;
  std::vector<uint32_t> pixels;
  bool rasterPatch = false;  // pixels are final page pixels of dst (never mirrored)
};

struct PageOp {
  enum class Kind { Path, Text, Image };
  Kind kind = Kind::Path;
  DWORD rop = SRCCOPY;     // ROP3 of blits/fills; for pen/brush drawing the ROP2 in the low byte
  bool isRop2 = false;     // true: rop holds an R2_* code
  std::vector<RECT> clip;  // device clip rectangles; empty: the whole page
  PathInfo path;
  TextInfo text;
  ImageInfo image;
};

struct PrinterPage {
  SurfaceView raster;  // the page's pixels (pixels nullptr: none), valid until the next page
  std::vector<PageOp> ops;
};

// Paints recorded ops onto a cairo context whose user space is the page's device pixels
// (the print area's replay): how a page that has no raster gets one mid-page.
using PagePainter = std::function<void(cairo_t*, const std::vector<PageOp>&)>;

// Makes a printer DC (OBJ_DC, TECHNOLOGY DT_RASPRINTER, GetDeviceCaps answering from
// caps) whose page is caps.horzRes x caps.vertRes pixels. No page memory yet. Returns NULL
// (ERROR_INVALID_PARAMETER) for sizes <= 0 or above 20000 pixels a side.
HDC CreatePrinterDC(const PrinterCaps& caps);
// New capabilities (ResetDC): the DC's state is reset as for a fresh DC (stock objects,
// default colours, origins, no clip); any page is released.
bool ResetPrinterDC(HDC hdc, const PrinterCaps& caps);
// Starts a new page: the raster (when the DC keeps them; allocated here, false with
// ERROR_NOT_ENOUGH_MEMORY when it cannot be) becomes white, the record empty.
bool BeginPrinterPage(HDC hdc);
bool SetPrinterPagePainter(HDC hdc, PagePainter painter);
// Frees the page memory (after EndDoc); drawing fails until the next BeginPrinterPage.
bool ReleasePrinterPage(HDC hdc);
// The current page of a printer DC; nullptr for any other DC or outside a page. The
// record and raster stay readable until the next BeginPrinterPage/ReleasePrinterPage.
const PrinterPage* GetPrinterPage(HDC hdc);
// Optional observer, called with every op as it is recorded (empty: none).
bool SetPrinterOpObserver(HDC hdc, std::function<void(const PageOp&)> observer);
// Called by DeleteDC on this printer DC before the DC goes away (empty: none).
bool SetPrinterDCDeleteObserver(HDC hdc, std::function<void(HDC)> observer);
bool IsPrinterDC(HDC hdc);

// Draws a recorded text op onto any cairo context with the same font and layout as the
// raster engine (the print area's PDF replay). The context's user space is device pixels.
void DrawTextOnCairo(cairo_t* cr, const TextInfo& text);

// ---- Window surfaces -----------------------------------------------------------------------
// A DC over a surface owned by someone else (the window system). The DC draws into the
// view with its device origin at `origin` of the surface and never outside `visible`
// (surface coordinates; an empty vector means the whole surface). The owner keeps the
// pixels alive until DeleteDC and may change origin/visible parts later.
HDC CreateSurfaceDC(const SurfaceView& view, POINT origin, const std::vector<RECT>& visible);
bool SetSurfaceDCGeometry(HDC hdc, const SurfaceView& view, POINT origin, const std::vector<RECT>& visible);

// A screen DC (as CreateDC("DISPLAY")): 32 bits, the configured screen size, drawing goes to
// a private scratch surface of the screen's size.
HDC CreateDisplayDC();

// The 32-bit pixels of a bitmap converted to 0x00RRGGBB, top-down (for PNG output and tests).
bool ReadBitmap32(HBITMAP hbm, int* width, int* height, std::vector<uint32_t>* pixels);

}  // namespace kv::gdi
