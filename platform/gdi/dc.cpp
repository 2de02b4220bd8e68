// Device contexts: memory, printer, surface and display DCs, their state, SaveDC /
// RestoreDC, GetDeviceCaps, SelectObject and the recording of printer pages.
#include <algorithm>
#include <cstring>

#include "platform/gdi/internal.h"

namespace kv::gdi {

namespace {
int gScreenW = 1024, gScreenH = 768;
}

Caps ScreenCaps() {
  Caps c;
  c.horzRes = gScreenW;
  c.vertRes = gScreenH;
  c.horzSize = int(gScreenW * 254 / 960);
  c.vertSize = int(gScreenH * 254 / 960);
  return c;
}

DC::~DC() {
  if (st.bitmap && st.bitmap->selectedIn == this) st.bitmap->selectedIn = nullptr;
}

Rgn::Rgn(const RECT& rc) {
  if (rc.right > rc.left && rc.bottom > rc.top)
    pixman_region32_init_rect(&r, rc.left, rc.top, unsigned(rc.right - rc.left), unsigned(rc.bottom - rc.top));
  else
    pixman_region32_init(&r);
}

void Rgn::IntersectRect(const RECT& rc) { Intersect(Rgn(rc)); }

std::vector<RECT> Rgn::Rects() const {
  int n = 0;
  const pixman_box32_t* b = pixman_region32_rectangles(const_cast<pixman_region32_t*>(&r), &n);
  std::vector<RECT> out;
  out.reserve(size_t(n));
  for (int i = 0; i < n; ++i) out.push_back({b[i].x1, b[i].y1, b[i].x2, b[i].y2});
  return out;
}

RECT Rgn::Box() const {
  if (Empty()) return {0, 0, 0, 0};
  const pixman_box32_t* b = pixman_region32_extents(const_cast<pixman_region32_t*>(&r));
  return {b->x1, b->y1, b->x2, b->y2};
}

Rgn SpanList::ToRgn() const {
  Rgn out;
  if (!boxes.empty()) {
    pixman_region32_fini(&out.r);
    pixman_region32_init_rects(&out.r, boxes.data(), int(boxes.size()));
  }
  return out;
}

SIZE DC::Extent() const {
  if (Bitmap* t = Target()) return {t->width, t->height};
  if (kind == DCKind::Printer && pageOpen) return {caps.horzRes, caps.vertRes};
  return {0, 0};
}

Rgn DC::ClipInTarget() const {
  SIZE e = Extent();
  if (e.cx <= 0 || e.cy <= 0) return Rgn();
  Rgn out(RECT{0, 0, e.cx, e.cy});
  if (visible) out.Intersect(*visible);
  if (st.clip) {
    Rgn c = *st.clip;
    c.Translate(surfaceOrigin.x, surfaceOrigin.y);
    out.Intersect(c);
  }
  return out;
}

RECT DC::DeviceLimit(int margin) const {
  SIZE e = Extent();
  int w = e.cx, h = e.cy;
  return {-surfaceOrigin.x - margin, -surfaceOrigin.y - margin, w - surfaceOrigin.x + margin,
          h - surfaceOrigin.y + margin};
}

COLORREF DC::Resolve(COLORREF c) const {
  switch (c >> 24) {
    case 1: {
      const auto& e = (st.palette ? st.palette : DefaultPalette())->entries;
      UINT i = c & 0xFFFF;
      if (i >= e.size()) i = 0;
      return RGB(e[i].peRed, e[i].peGreen, e[i].peBlue);
    }
    default: return c & 0xFFFFFF;
  }
}

std::vector<RECT> ClipRectsDevice(const DC& dc) {
  if (!dc.st.clip && !dc.visible) return {};
  Rgn c = dc.ClipInTarget();
  c.Translate(-dc.surfaceOrigin.x, -dc.surfaceOrigin.y);
  auto rects = c.Rects();
  if (rects.empty()) rects.push_back({0, 0, 0, 0});  // everything clipped away
  return rects;
}

PenInfo DescribePen(const DC& dc) {
  PenInfo p;
  const Pen& pen = *dc.st.pen;
  p.style = pen.style;
  p.width = pen.width;
  p.geometric = pen.geometric;
  p.endCap = pen.endCap;
  p.join = pen.join;
  p.color = dc.Resolve(pen.dcPen ? dc.st.dcPenColor : pen.color);
  // Cosmetic styles in pixels; a wide pen's dashes scale with its width.
  auto style = [&](std::initializer_list<DWORD> cosmetic, std::initializer_list<DWORD> wide) {
    if (pen.width > 1) {
      for (DWORD v : wide) p.dashes.push_back(v * DWORD(pen.width));
    } else {
      p.dashes = cosmetic;
    }
  };
  switch (pen.style) {
    case PS_DASH: style({18, 6}, {3, 1}); break;
    case PS_DOT: style({3, 3}, {1, 1}); break;
    case PS_DASHDOT: style({9, 6, 3, 6}, {3, 1, 1, 1}); break;
    case PS_DASHDOTDOT: style({9, 3, 3, 3, 3, 3}, {3, 1, 1, 1, 1, 1}); break;
    case PS_ALTERNATE: p.dashes = {1, 1}; break;
    case PS_USERSTYLE: p.dashes = pen.userStyle; break;
    default: break;
  }
  return p;
}

BrushInfo DescribeBrush(const DC& dc) { return DescribeBrushOf(dc, *dc.st.brush); }

BrushInfo DescribeBrushOf(const DC& dc, const Brush& br) {
  BrushInfo b;
  b.style = br.style == BS_DIBPATTERN ? BS_PATTERN : br.style;
  b.color = dc.Resolve(br.dcBrush ? dc.st.dcBrushColor : br.color);
  b.hatch = br.hatch;
  b.bkColor = dc.Resolve(dc.st.bkColor);
  b.bkOpaque = dc.st.bkMode == OPAQUE;
  b.origin = dc.st.brushOrg;
  if (br.pattern) {
    b.patternWidth = br.pattern->width;
    b.patternHeight = br.pattern->height;
    for (int y = 0; y < br.pattern->height; ++y)
      for (int x = 0; x < br.pattern->width; ++x) {
        COLORREF c;
        if (br.patternMono)
          c = br.pattern->Get(x, y) ? dc.Resolve(dc.st.bkColor) : dc.Resolve(dc.st.textColor);
        else
          c = br.pattern->GetRgb(x, y);
        b.pattern.push_back(uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c));
      }
  }
  return b;
}

void Record(DC& dc, PageOp op) {
  if (!dc.Recording() || !dc.pageOpen) return;
  op.clip = ClipRectsDevice(dc);
  dc.page.ops.push_back(std::move(op));
  if (dc.opObserver) dc.opObserver(dc.page.ops.back());
}

void RecordPatch(DC& dc, RECT r) {
  Bitmap* t = dc.Target();
  if (!dc.Recording() || !dc.pageOpen || !t) return;
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  Rgn clip = dc.ClipInTarget();
  clip.IntersectRect(r);
  RECT box = clip.Box();
  if (box.right <= box.left || box.bottom <= box.top) return;
  PageOp op;
  op.kind = PageOp::Kind::Image;
  op.rop = SRCCOPY;
  op.image.dst = box;
  op.image.width = box.right - box.left;
  op.image.height = box.bottom - box.top;
  op.image.rasterPatch = true;
  op.image.pixels.reserve(size_t(op.image.width) * size_t(op.image.height));
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) op.image.pixels.push_back(t->Get(x, y) & 0xFFFFFF);
  Record(dc, std::move(op));
}

bool PageReady(DC& dc) {
  if (dc.kind == DCKind::Printer && !dc.pageOpen) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!dc.Target() && !dc.Recording()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

namespace {

void defaults(DCState& s) {
  s = DCState{};
  s.pen = std::static_pointer_cast<Pen>(Stock(BLACK_PEN));
  s.brush = std::static_pointer_cast<Brush>(Stock(WHITE_BRUSH));
  s.font = std::static_pointer_cast<Font>(Stock(SYSTEM_FONT));
  s.palette = DefaultPalette();
}

std::shared_ptr<DC> newDC(DCKind kind, const Caps& caps) {
  auto dc = std::make_shared<DC>();
  dc->kind = kind;
  dc->caps = caps;
  defaults(dc->st);
  return dc;
}

// A bitmap over pixels owned elsewhere (window surfaces).
std::shared_ptr<Bitmap> wrap(const SurfaceView& v) {
  auto b = std::make_shared<Bitmap>();
  b->width = v.width;
  b->height = v.height;
  b->stride = v.stride;
  b->bits = reinterpret_cast<uint8_t*>(v.pixels);
  b->ownsBits = false;
  b->format = DeviceFormat();
  return b;
}

bool validView(const SurfaceView& v) {
  return v.pixels && v.width > 0 && v.height > 0 && v.stride >= v.width * 4 && v.stride % 4 == 0;
}

DC* printerDC(HDC h) {
  DC* dc = FindDC(h);
  if (dc && dc->kind != DCKind::Printer) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return dc;
}

Caps capsOf(const PrinterCaps& p) {
  Caps c;
  c.technology = DT_RASPRINTER;
  c.horzRes = p.horzRes;
  c.vertRes = p.vertRes;
  c.horzSize = p.horzSizeMm;
  c.vertSize = p.vertSizeMm;
  c.logPixelsX = p.logPixelsX;
  c.logPixelsY = p.logPixelsY;
  c.bitsPixel = p.bitsPixel;
  c.physicalWidth = p.physicalWidth;
  c.physicalHeight = p.physicalHeight;
  c.physicalOffsetX = p.physicalOffsetX;
  c.physicalOffsetY = p.physicalOffsetY;
  c.rasterCaps = p.rasterCaps;
  return c;
}

bool validCaps(const PrinterCaps& c) {
  return c.horzRes > 0 && c.vertRes > 0 && c.horzRes <= 20000 && c.vertRes <= 20000 && c.logPixelsX > 0 &&
         c.logPixelsY > 0;
}

void releaseSelection(DC& dc) {
  if (dc.st.bitmap && dc.st.bitmap->selectedIn == &dc) dc.st.bitmap->selectedIn = nullptr;
}

}  // namespace

HDC CreatePrinterDC(const PrinterCaps& caps) {
  KV_GDI_LOCK;
  if (!validCaps(caps)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto dc = newDC(DCKind::Printer, capsOf(caps));
  dc->keepRaster = caps.pageRaster;
  dc->backend = &PageBackend();
  return static_cast<HDC>(Register(dc));
}

bool ResetPrinterDC(HDC hdc, const PrinterCaps& caps) {
  KV_GDI_LOCK;
  DC* dc = printerDC(hdc);
  if (!dc) return false;
  if (!validCaps(caps)) return Fail(ERROR_INVALID_PARAMETER);
  dc->caps = capsOf(caps);
  dc->keepRaster = caps.pageRaster;
  defaults(dc->st);
  dc->saved.clear();
  dc->surface.reset();
  dc->pageOpen = false;
  dc->page = PrinterPage{};
  dc->backend = &PageBackend();
  return true;
}

bool BeginPrinterPage(HDC hdc) {
  KV_GDI_LOCK;
  DC* dc = printerDC(hdc);
  if (!dc) return false;
  dc->page.ops.clear();
  // Without a painter a raster made mid-page could not show the page so far: such a DC
  // keeps rasters.
  if (!dc->keepRaster && dc->painter) {
    dc->surface.reset();  // a raster of the last page was for that page only
    dc->page.raster = SurfaceView{};
    dc->backend = &PageBackend();
    dc->pageOpen = true;
    return true;
  }
  if (!dc->surface || dc->surface->width != dc->caps.horzRes || dc->surface->height != dc->caps.vertRes) {
    dc->surface.reset();
    dc->surface = NewBitmap(dc->caps.horzRes, dc->caps.vertRes, DeviceFormat(), true);
    if (!dc->surface) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  for (int y = 0; y < dc->surface->height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(dc->surface->Row(y));
    for (int x = 0; x < dc->surface->width; ++x) row[x] = 0x00FFFFFF;
  }
  dc->page.raster = {reinterpret_cast<uint32_t*>(dc->surface->bits), dc->surface->width, dc->surface->height,
                     dc->surface->stride};
  dc->backend = &PageRasterBackend();
  dc->pageOpen = true;
  return true;
}

bool ReleasePrinterPage(HDC hdc) {
  KV_GDI_LOCK;
  DC* dc = printerDC(hdc);
  if (!dc) return false;
  dc->surface.reset();
  dc->page = PrinterPage{};
  dc->pageOpen = false;
  dc->backend = &PageBackend();
  return true;
}

bool SetPrinterPagePainter(HDC hdc, PagePainter painter) {
  KV_GDI_LOCK;
  DC* dc = printerDC(hdc);
  if (!dc) return false;
  dc->painter = std::move(painter);
  return true;
}

const PrinterPage* GetPrinterPage(HDC hdc) {
  KV_GDI_LOCK;
  DC* dc = printerDC(hdc);
  if (!dc || !dc->pageOpen) return nullptr;
  return &dc->page;
}

bool SetPrinterOpObserver(HDC hdc, std::function<void(const PageOp&)> observer) {
  KV_GDI_LOCK;
  DC* dc = printerDC(hdc);
  if (!dc) return false;
  dc->opObserver = std::move(observer);
  return true;
}

bool SetPrinterDCDeleteObserver(HDC hdc, std::function<void(HDC)> observer) {
  KV_GDI_LOCK;
  DC* dc = printerDC(hdc);
  if (!dc) return false;
  dc->deleteObserver = std::move(observer);
  return true;
}

bool IsPrinterDC(HDC hdc) {
  KV_GDI_LOCK;
  auto o = Find(hdc);
  return o && o->type == OBJ_DC && static_cast<DC*>(o.get())->kind == DCKind::Printer;
}

HDC CreateSurfaceDC(const SurfaceView& view, POINT origin, const std::vector<RECT>& visible) {
  KV_GDI_LOCK;
  if (!validView(view)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto dc = newDC(DCKind::Surface, ScreenCaps());
  HDC h = static_cast<HDC>(Register(dc));
  SetSurfaceDCGeometry(h, view, origin, visible);
  return h;
}

bool SetSurfaceDCGeometry(HDC hdc, const SurfaceView& view, POINT origin, const std::vector<RECT>& visible) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return false;
  if (dc->kind != DCKind::Surface || !validView(view)) return Fail(ERROR_INVALID_PARAMETER);
  dc->surface = wrap(view);
  dc->surfaceOrigin = origin;
  if (visible.empty()) {
    dc->visible.reset();
  } else {
    SpanList s;
    for (auto& r : visible) s.AddRect(r.left, r.top, r.right, r.bottom);
    dc->visible = s.ToRgn();
  }
  return true;
}

HDC CreateDisplayDC() {
  KV_GDI_LOCK;
  auto dc = newDC(DCKind::Display, ScreenCaps());
  dc->surface = NewBitmap(gScreenW, gScreenH, DeviceFormat(), true);
  if (!dc->surface) return nullptr;
  return static_cast<HDC>(Register(dc));
}

bool ReadBitmap32(HBITMAP hbm, int* width, int* height, std::vector<uint32_t>* pixels) {
  KV_GDI_LOCK;
  auto b = FindAs<Bitmap>(hbm, OBJ_BITMAP);
  if (!b) return Fail(ERROR_INVALID_HANDLE);
  *width = b->width;
  *height = b->height;
  pixels->clear();
  pixels->reserve(size_t(b->width) * size_t(b->height));
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x) {
      COLORREF c = b->GetRgb(x, y);
      pixels->push_back(uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c));
    }
  return true;
}

}  // namespace kv::gdi

using namespace kv::gdi;

extern "C" {

void KvScreenSetSize(int width, int height) {
  KV_GDI_LOCK;
  if (width > 0 && height > 0) {
    gScreenW = width;
    gScreenH = height;
  }
}

void KvScreenGetSize(int* width, int* height) {
  KV_GDI_LOCK;
  if (width) *width = gScreenW;
  if (height) *height = gScreenH;
}

HDC CreateCompatibleDC(HDC hdc) {
  KV_GDI_LOCK;
  Caps caps = ScreenCaps();
  if (hdc) {
    DC* ref = FindDC(hdc);
    if (!ref) return nullptr;
    caps = ref->caps;
  }
  auto dc = newDC(DCKind::Memory, caps);
  auto mono = std::static_pointer_cast<Bitmap>(Stock(-1));
  dc->st.bitmap = mono;
  return static_cast<HDC>(Register(dc));
}

BOOL DeleteDC(HDC hdc) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  auto keep = Find(hdc);  // alive until we are done, even if the observer deletes it too
  if (dc->deleteObserver) {
    auto obs = std::move(dc->deleteObserver);
    obs(hdc);
  }
  releaseSelection(*dc);
  Unregister(hdc);
  return TRUE;
}

int SaveDC(HDC hdc) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  return int(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int n) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  int levels = int(dc->saved.size());
  int target = n < 0 ? levels + n + 1 : n;
  if (target < 1 || target > levels) return Fail(ERROR_INVALID_PARAMETER);
  DCState s = dc->saved[size_t(target - 1)];
  dc->saved.resize(size_t(target - 1));
  // The saved bitmap comes back only when nobody else holds it now.
  if (dc->kind == DCKind::Memory && s.bitmap != dc->st.bitmap) {
    if (s.bitmap && (s.bitmap->stock || Find(s.bitmap->handle)) && !s.bitmap->selectedIn) {
      releaseSelection(*dc);
      if (!s.bitmap->stock) s.bitmap->selectedIn = dc;
    } else {
      s.bitmap = dc->st.bitmap;
    }
  }
  dc->st = std::move(s);
  return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return 0;
  const Caps& c = dc->caps;
  bool printer = c.technology == DT_RASPRINTER;
  switch (index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return c.technology;
    case HORZSIZE: return c.horzSize;
    case VERTSIZE: return c.vertSize;
    case HORZRES: return c.horzRes;
    case VERTRES: return c.vertRes;
    case DESKTOPHORZRES: return c.horzRes;
    case DESKTOPVERTRES: return c.vertRes;
    case BITSPIXEL: return c.bitsPixel;
    case PLANES: return 1;
    case NUMBRUSHES:
    case NUMPENS:
    case NUMFONTS: return -1;
    case NUMCOLORS: return c.bitsPixel > 8 ? -1 : (1 << c.bitsPixel);
    case RASTERCAPS: return c.rasterCaps;
    case SIZEPALETTE: return (c.rasterCaps & RC_PALETTE) ? 256 : 0;
    case NUMRESERVED: return (c.rasterCaps & RC_PALETTE) ? 20 : 0;
    case COLORRES: return (c.rasterCaps & RC_PALETTE) ? 18 : 0;
    case LOGPIXELSX: return c.logPixelsX;
    case LOGPIXELSY: return c.logPixelsY;
    case ASPECTX:
    case ASPECTY: return 36;
    case ASPECTXY: return 51;
    case PHYSICALWIDTH: return printer ? c.physicalWidth : 0;
    case PHYSICALHEIGHT: return printer ? c.physicalHeight : 0;
    case PHYSICALOFFSETX: return printer ? c.physicalOffsetX : 0;
    case PHYSICALOFFSETY: return printer ? c.physicalOffsetY : 0;
    case SCALINGFACTORX:
    case SCALINGFACTORY: return 0;
    case VREFRESH: return printer ? 0 : 60;
    case BLTALIGNMENT: return 0;
    case CURVECAPS: return 0x1FF;
    case LINECAPS: return 0xFE;
    case POLYGONALCAPS: return 0xFF;
    case TEXTCAPS: return 0x7807;
    case CLIPCAPS: return 1;
    default: return 0;
  }
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return nullptr;
  auto o = Find(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  switch (o->type) {
    case OBJ_PEN: {
      HGDIOBJ old = dc->st.pen->handle;
      dc->st.pen = std::static_pointer_cast<Pen>(o);
      return old;
    }
    case OBJ_BRUSH: {
      HGDIOBJ old = dc->st.brush->handle;
      dc->st.brush = std::static_pointer_cast<Brush>(o);
      return old;
    }
    case OBJ_FONT: {
      HGDIOBJ old = dc->st.font->handle;
      dc->st.font = std::static_pointer_cast<Font>(o);
      return old;
    }
    case OBJ_BITMAP: {
      auto b = std::static_pointer_cast<Bitmap>(o);
      if (dc->kind != DCKind::Memory) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      if (b == dc->st.bitmap) return h;
      if (b->selectedIn && b->selectedIn != dc) {
        SetLastError(ERROR_INVALID_PARAMETER);  // one DC at a time
        return nullptr;
      }
      HGDIOBJ old = dc->st.bitmap ? dc->st.bitmap->handle : nullptr;
      releaseSelection(*dc);
      dc->st.bitmap = b;
      if (!b->stock) b->selectedIn = dc;
      return old;
    }
    case OBJ_REGION: return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(SelectClipRgn(hdc, static_cast<HRGN>(h))));
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->st.pen->handle;
    case OBJ_BRUSH: return dc->st.brush->handle;
    case OBJ_FONT: return dc->st.font->handle;
    case OBJ_PAL: return dc->st.palette->handle;
    case OBJ_BITMAP: return dc->kind == DCKind::Memory && dc->st.bitmap ? dc->st.bitmap->handle : nullptr;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

BOOL GdiFlush(void) { return TRUE; }

#define KV_DC_OR(fail)  \
  KV_GDI_LOCK;          \
  DC* dc = FindDC(hdc); \
  if (!dc) return fail

COLORREF SetTextColor(HDC hdc, COLORREF c) {
  KV_DC_OR(CLR_INVALID);
  std::swap(dc->st.textColor, c);
  return c;
}
COLORREF GetTextColor(HDC hdc) {
  KV_DC_OR(CLR_INVALID);
  return dc->st.textColor;
}
COLORREF SetBkColor(HDC hdc, COLORREF c) {
  KV_DC_OR(CLR_INVALID);
  std::swap(dc->st.bkColor, c);
  return c;
}
COLORREF GetBkColor(HDC hdc) {
  KV_DC_OR(CLR_INVALID);
  return dc->st.bkColor;
}
COLORREF SetDCBrushColor(HDC hdc, COLORREF c) {
  KV_DC_OR(CLR_INVALID);
  std::swap(dc->st.dcBrushColor, c);
  return c;
}
COLORREF SetDCPenColor(HDC hdc, COLORREF c) {
  KV_DC_OR(CLR_INVALID);
  std::swap(dc->st.dcPenColor, c);
  return c;
}

int SetBkMode(HDC hdc, int mode) {
  KV_DC_OR(0);
  if (mode != OPAQUE && mode != TRANSPARENT) return Fail(ERROR_INVALID_PARAMETER);
  std::swap(dc->st.bkMode, mode);
  return mode;
}
int GetBkMode(HDC hdc) {
  KV_DC_OR(0);
  return dc->st.bkMode;
}

int SetROP2(HDC hdc, int rop2) {
  KV_DC_OR(0);
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return Fail(ERROR_INVALID_PARAMETER);
  std::swap(dc->st.rop2, rop2);
  return rop2;
}
int GetROP2(HDC hdc) {
  KV_DC_OR(0);
  return dc->st.rop2;
}

int SetStretchBltMode(HDC hdc, int mode) {
  KV_DC_OR(0);
  if (mode < BLACKONWHITE || mode > HALFTONE) return Fail(ERROR_INVALID_PARAMETER);
  std::swap(dc->st.stretchMode, mode);
  return mode;
}
int GetStretchBltMode(HDC hdc) {
  KV_DC_OR(0);
  return dc->st.stretchMode;
}

int SetPolyFillMode(HDC hdc, int mode) {
  KV_DC_OR(0);
  if (mode != ALTERNATE && mode != WINDING) return Fail(ERROR_INVALID_PARAMETER);
  std::swap(dc->st.polyFillMode, mode);
  return mode;
}
int GetPolyFillMode(HDC hdc) {
  KV_DC_OR(0);
  return dc->st.polyFillMode;
}

int SetMapMode(HDC hdc, int mode) {
  KV_DC_OR(0);
  if (mode != MM_TEXT) return Fail(ERROR_NOT_SUPPORTED);
  return MM_TEXT;
}
int GetMapMode(HDC hdc) {
  KV_DC_OR(0);
  return MM_TEXT;
}

UINT SetTextAlign(HDC hdc, UINT align) {
  KV_DC_OR(GDI_ERROR);
  UINT old = dc->st.textAlign;
  dc->st.textAlign = align & TA_MASK;
  return old;
}
UINT GetTextAlign(HDC hdc) {
  KV_DC_OR(GDI_ERROR);
  return dc->st.textAlign;
}

int SetTextCharacterExtra(HDC hdc, int extra) {
  KV_DC_OR(int(0x80000000));
  extra = std::clamp(extra, -32768, 32767);
  std::swap(dc->st.charExtra, extra);
  return extra;
}
int GetTextCharacterExtra(HDC hdc) {
  KV_DC_OR(int(0x80000000));
  return dc->st.charExtra;
}

static void givePoint(LPPOINT p, POINT v) {
  if (p) *p = v;
}

BOOL SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT old) {
  KV_DC_OR(FALSE);
  givePoint(old, dc->st.brushOrg);
  dc->st.brushOrg = {x, y};
  return TRUE;
}
BOOL GetBrushOrgEx(HDC hdc, LPPOINT pt) {
  KV_DC_OR(FALSE);
  givePoint(pt, dc->st.brushOrg);
  return TRUE;
}
BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old) {
  KV_DC_OR(FALSE);
  givePoint(old, dc->st.viewportOrg);
  dc->st.viewportOrg = {x, y};
  return TRUE;
}
BOOL GetViewportOrgEx(HDC hdc, LPPOINT pt) {
  KV_DC_OR(FALSE);
  givePoint(pt, dc->st.viewportOrg);
  return TRUE;
}
BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, LPPOINT old) {
  KV_DC_OR(FALSE);
  givePoint(old, dc->st.viewportOrg);
  dc->st.viewportOrg.x += dx;
  dc->st.viewportOrg.y += dy;
  return TRUE;
}
BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT old) {
  KV_DC_OR(FALSE);
  givePoint(old, dc->st.windowOrg);
  dc->st.windowOrg = {x, y};
  return TRUE;
}
BOOL GetWindowOrgEx(HDC hdc, LPPOINT pt) {
  KV_DC_OR(FALSE);
  givePoint(pt, dc->st.windowOrg);
  return TRUE;
}
BOOL OffsetWindowOrgEx(HDC hdc, int dx, int dy, LPPOINT old) {
  KV_DC_OR(FALSE);
  givePoint(old, dc->st.windowOrg);
  dc->st.windowOrg.x += dx;
  dc->st.windowOrg.y += dy;
  return TRUE;
}
BOOL LPtoDP(HDC hdc, LPPOINT pts, int count) {
  KV_DC_OR(FALSE);
  if (!pts || count < 0) return Fail(ERROR_INVALID_PARAMETER);
  for (int i = 0; i < count; ++i) pts[i] = dc->ToDevice(pts[i].x, pts[i].y);
  return TRUE;
}
BOOL DPtoLP(HDC hdc, LPPOINT pts, int count) {
  KV_DC_OR(FALSE);
  if (!pts || count < 0) return Fail(ERROR_INVALID_PARAMETER);
  for (int i = 0; i < count; ++i) {
    pts[i].x += dc->st.windowOrg.x - dc->st.viewportOrg.x;
    pts[i].y += dc->st.windowOrg.y - dc->st.viewportOrg.y;
  }
  return TRUE;
}
BOOL GetCurrentPositionEx(HDC hdc, LPPOINT pt) {
  KV_DC_OR(FALSE);
  givePoint(pt, dc->st.cur);
  return TRUE;
}

HPALETTE SelectPalette(HDC hdc, HPALETTE pal, BOOL) {
  KV_DC_OR(nullptr);
  auto p = FindAs<Palette>(pal, OBJ_PAL);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HPALETTE old = static_cast<HPALETTE>(dc->st.palette->handle);
  dc->st.palette = p;
  return old;
}

// A true-colour device has no hardware palette to map: nothing to realise.
UINT RealizePalette(HDC hdc) {
  KV_DC_OR(GDI_ERROR);
  return 0;
}

COLORREF GetNearestColor(HDC hdc, COLORREF color) {
  KV_DC_OR(CLR_INVALID);
  COLORREF c = dc->Resolve(color);
  Bitmap* t = dc->Target();
  if (t && t->format.bpp <= 8) return t->format.ToRgb(t->format.FromRgb(c));
  return c;
}

}  // extern "C"
