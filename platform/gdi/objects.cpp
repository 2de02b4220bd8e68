// The GDI object table, pixel formats, stock objects, pens, brushes, palettes and the
// generic object calls (SelectObject, DeleteObject, GetObject).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/base/codepage.h"
#include "platform/gdi/internal.h"

// A pen wider than this covers any surface the engine draws on; wider ones are drawn at
// this width, so pen geometry stays far from integer overflow.
constexpr int kMaxPenWidth = 1 << 16;

namespace kv::gdi {

std::recursive_mutex& Lock() {
  static std::recursive_mutex* m = new std::recursive_mutex;
  return *m;
}

namespace {

struct Table {
  std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects;
  uintptr_t next = 0x10000;  // above the (HBRUSH)(COLOR_x + 1) values
};

Table& table() {
  static Table* t = new Table;
  return *t;
}

}  // namespace

HGDIOBJ Register(std::shared_ptr<Object> obj) {
  auto& t = table();
  uintptr_t key = (t.next++) << 4 | (obj->type & 0xF);
  HGDIOBJ h = reinterpret_cast<HGDIOBJ>(key);
  obj->handle = h;
  t.objects[key] = std::move(obj);
  return h;
}

std::shared_ptr<Object> Find(HGDIOBJ h) {
  auto& t = table();
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
  return it == t.objects.end() ? nullptr : it->second;
}

void Unregister(HGDIOBJ h) { table().objects.erase(reinterpret_cast<uintptr_t>(h)); }

DC* FindDC(HDC h) {
  auto o = Find(h);
  if (!o || (o->type != OBJ_DC && o->type != OBJ_MEMDC)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<DC*>(o.get());
}

// ---- Formats ---------------------------------------------------------------------------
namespace {

int maskShift(uint32_t m) {
  if (!m) return 0;
  int s = 0;
  while (!(m & 1)) {
    m >>= 1;
    ++s;
  }
  return s;
}
int maskBits(uint32_t m) {
  int n = 0;
  while (m) {
    n += m & 1;
    m >>= 1;
  }
  return n;
}
uint32_t expandChannel(uint32_t v, uint32_t mask) {
  if (!mask) return 0;
  int bits = maskBits(mask);
  uint32_t x = (v & mask) >> maskShift(mask);
  if (bits >= 8) return x >> (bits - 8);
  // Replicate the top bits so full intensity maps to 255.
  uint32_t out = 0;
  int have = 0;
  while (have < 8) {
    out = (out << bits) | x;
    have += bits;
  }
  return out >> (have - 8);
}
uint32_t packChannel(uint32_t v8, uint32_t mask) {
  if (!mask) return 0;
  int bits = maskBits(mask);
  uint32_t x = bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits);
  return (x << maskShift(mask)) & mask;
}

}  // namespace

uint32_t Format::ValueMask() const {
  switch (bpp) {
    case 1: return 1;
    case 4: return 0xF;
    case 8: return 0xFF;
    case 16: return bitfields ? (masks[0] | masks[1] | masks[2]) & 0xFFFF : 0x7FFF;
    case 24: return 0xFFFFFF;
    default: return bitfields ? masks[0] | masks[1] | masks[2] : 0xFFFFFF;
  }
}

uint32_t Format::FromRgb(COLORREF c) const {
  uint32_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  switch (bpp) {
    case 1:
    case 4:
    case 8: {
      if (colors.empty()) return 0;
      uint32_t best = 0, bestD = UINT32_MAX;
      for (size_t i = 0; i < colors.size(); ++i) {
        int dr = int(colors[i].rgbRed) - int(r), dg = int(colors[i].rgbGreen) - int(g),
            db = int(colors[i].rgbBlue) - int(b);
        uint32_t d = uint32_t(dr * dr + dg * dg + db * db);
        if (d < bestD) {
          bestD = d;
          best = uint32_t(i);
        }
      }
      return best;
    }
    case 16:
      if (!bitfields) return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
      return packChannel(r, masks[0]) | packChannel(g, masks[1]) | packChannel(b, masks[2]);
    case 24: return r << 16 | g << 8 | b;
    default:
      if (!bitfields) return r << 16 | g << 8 | b;
      return packChannel(r, masks[0]) | packChannel(g, masks[1]) | packChannel(b, masks[2]);
  }
}

COLORREF Format::ToRgb(uint32_t v) const {
  switch (bpp) {
    case 1:
    case 4:
    case 8: {
      if (v >= colors.size()) return 0;
      const RGBQUAD& q = colors[v];
      return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case 16:
      if (!bitfields) return RGB(expandChannel(v, 0x7C00), expandChannel(v, 0x03E0), expandChannel(v, 0x001F));
      return RGB(expandChannel(v, masks[0]), expandChannel(v, masks[1]), expandChannel(v, masks[2]));
    case 24: return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    default:
      if (!bitfields) return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
      return RGB(expandChannel(v, masks[0]), expandChannel(v, masks[1]), expandChannel(v, masks[2]));
  }
}

bool Format::SameAs(const Format& o) const {
  if (bpp != o.bpp) return false;
  if (bpp <= 8) {
    if (colors.size() != o.colors.size()) return false;
    for (size_t i = 0; i < colors.size(); ++i)
      if (colors[i].rgbRed != o.colors[i].rgbRed || colors[i].rgbGreen != o.colors[i].rgbGreen ||
          colors[i].rgbBlue != o.colors[i].rgbBlue)
        return false;
    return true;
  }
  if (bpp == 24) return true;
  return ValueMask() == o.ValueMask() && FromRgb(0x123456) == o.FromRgb(0x123456) && bitfields == o.bitfields &&
         (!bitfields || (masks[0] == o.masks[0] && masks[1] == o.masks[1] && masks[2] == o.masks[2]));
}

Format DeviceFormat() { return Format{}; }

Format MonoFormat() {
  Format f;
  f.bpp = 1;
  f.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  return f;
}

Format DefaultFormat(int bpp) {
  Format f;
  f.bpp = bpp;
  if (bpp == 1) return MonoFormat();
  if (bpp == 4) {
    static const BYTE vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                                    {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (auto& c : vga) f.colors.push_back({c[2], c[1], c[0], 0});
  } else if (bpp == 8) {
    for (auto& e : HalftoneEntries()) f.colors.push_back({e.peBlue, e.peGreen, e.peRed, 0});
  }
  return f;
}

// ---- Bitmaps -----------------------------------------------------------------------------
Bitmap::~Bitmap() {
  if (ownsBits) std::free(bits);
}

int DibStride(int width, int bpp) { return static_cast<int>(((int64_t(width) * bpp + 31) / 32) * 4); }

std::shared_ptr<Bitmap> NewBitmap(int width, int height, const Format& f, bool topDown) {
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto b = std::make_shared<Bitmap>();
  b->width = width;
  b->height = height;
  b->format = f;
  b->topDown = topDown;
  b->stride = DibStride(width, f.bpp);
  size_t bytes = size_t(b->stride) * size_t(height);
  if (bytes > (size_t(1) << 31)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  b->bits = static_cast<uint8_t*>(std::calloc(1, bytes ? bytes : 1));
  if (!b->bits) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return b;
}

uint32_t Bitmap::Get(int x, int y) const {
  const uint8_t* row = Row(y);
  switch (format.bpp) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
    case 8: return row[x];
    case 16: return uint32_t(row[2 * x]) | uint32_t(row[2 * x + 1]) << 8;
    case 24: return uint32_t(row[3 * x]) | uint32_t(row[3 * x + 1]) << 8 | uint32_t(row[3 * x + 2]) << 16;
    default: {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      return v;
    }
  }
}

void Bitmap::Set(int x, int y, uint32_t v) {
  uint8_t* row = Row(y);
  switch (format.bpp) {
    case 1: {
      uint8_t bit = uint8_t(0x80 >> (x & 7));
      if (v & 1)
        row[x >> 3] |= bit;
      else
        row[x >> 3] &= uint8_t(~bit);
      break;
    }
    case 4:
      if (x & 1)
        row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 0xF));
      else
        row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | (v & 0xF) << 4);
      break;
    case 8: row[x] = uint8_t(v); break;
    case 16:
      row[2 * x] = uint8_t(v);
      row[2 * x + 1] = uint8_t(v >> 8);
      break;
    case 24:
      row[3 * x] = uint8_t(v);
      row[3 * x + 1] = uint8_t(v >> 8);
      row[3 * x + 2] = uint8_t(v >> 16);
      break;
    default: std::memcpy(row + 4 * x, &v, 4); break;
  }
}

// ---- Palettes ------------------------------------------------------------------------------
namespace {

const BYTE kStatic20[20][3] = {{0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
                               {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
                               {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
                               {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

}  // namespace

std::shared_ptr<Palette> DefaultPalette() { return std::static_pointer_cast<Palette>(Stock(DEFAULT_PALETTE)); }

// The halftone palette: the first ten static colours, a 6 x 6 x 6 colour cube, twenty
// grey levels and the last ten static colours.
std::vector<PALETTEENTRY> HalftoneEntries() {
  std::vector<PALETTEENTRY> e;
  for (int i = 0; i < 10; ++i) e.push_back({kStatic20[i][0], kStatic20[i][1], kStatic20[i][2], 0});
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) e.push_back({BYTE(r * 51), BYTE(g * 51), BYTE(b * 51), 0});
  for (int i = 1; i <= 20; ++i) {
    BYTE v = BYTE(i * 255 / 21);
    e.push_back({v, v, v, 0});
  }
  for (int i = 10; i < 20; ++i) e.push_back({kStatic20[i][0], kStatic20[i][1], kStatic20[i][2], 0});
  return e;
}

UINT NearestIndex(const std::vector<PALETTEENTRY>& e, COLORREF c) {
  if (e.empty()) return CLR_INVALID;
  UINT best = 0;
  uint32_t bestD = UINT32_MAX;
  for (size_t i = 0; i < e.size(); ++i) {
    int dr = int(e[i].peRed) - GetRValue(c), dg = int(e[i].peGreen) - GetGValue(c),
        db = int(e[i].peBlue) - GetBValue(c);
    uint32_t d = uint32_t(dr * dr + dg * dg + db * db);
    if (d < bestD) {
      bestD = d;
      best = UINT(i);
    }
  }
  return best;
}

// ---- Stock objects ---------------------------------------------------------------------------
namespace {

std::shared_ptr<Object> makeStock(int i) {
  auto solidBrush = [](COLORREF c, bool null) {
    auto b = std::make_shared<Brush>();
    b->style = null ? BS_NULL : BS_SOLID;
    b->color = c;
    return b;
  };
  auto pen = [](COLORREF c, int style) {
    auto p = std::make_shared<Pen>();
    p->color = c;
    p->style = style;
    return p;
  };
  auto font = [](int height, const char16_t* face, int pitch) {
    auto f = std::make_shared<Font>();
    f->lf.lfHeight = height;
    f->lf.lfWeight = FW_NORMAL;
    f->lf.lfCharSet = DEFAULT_CHARSET;
    f->lf.lfPitchAndFamily = BYTE(pitch);
    for (int k = 0; face[k] && k < LF_FACESIZE - 1; ++k) f->lf.lfFaceName[k] = face[k];
    return f;
  };
  switch (i) {
    case WHITE_BRUSH: return solidBrush(RGB(255, 255, 255), false);
    case LTGRAY_BRUSH: return solidBrush(RGB(192, 192, 192), false);
    case GRAY_BRUSH: return solidBrush(RGB(128, 128, 128), false);
    case DKGRAY_BRUSH: return solidBrush(RGB(64, 64, 64), false);
    case BLACK_BRUSH: return solidBrush(RGB(0, 0, 0), false);
    case NULL_BRUSH: return solidBrush(0, true);
    case WHITE_PEN: return pen(RGB(255, 255, 255), PS_SOLID);
    case BLACK_PEN: return pen(0, PS_SOLID);
    case NULL_PEN: return pen(0, PS_NULL);
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT: return font(16, u"Courier New", FIXED_PITCH);
    case ANSI_VAR_FONT: return font(16, u"MS Sans Serif", VARIABLE_PITCH);
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT: return font(16, u"System", VARIABLE_PITCH);
    case DEFAULT_GUI_FONT: return font(-11, u"MS Shell Dlg", VARIABLE_PITCH);
    case DEFAULT_PALETTE: {
      auto p = std::make_shared<Palette>();
      for (auto& c : kStatic20) p->entries.push_back({c[0], c[1], c[2], 0});
      return p;
    }
    case DC_BRUSH: {
      auto b = solidBrush(RGB(255, 255, 255), false);
      b->dcBrush = true;
      return b;
    }
    case DC_PEN: {
      auto p = pen(0, PS_SOLID);
      p->dcPen = true;
      return p;
    }
    default: return nullptr;
  }
}

std::vector<std::shared_ptr<Object>>& stocks() {
  static std::vector<std::shared_ptr<Object>>* s = [] {
    auto* v = new std::vector<std::shared_ptr<Object>>(DC_PEN + 1);
    for (int i = 0; i <= DC_PEN; ++i) {
      auto o = makeStock(i);
      if (!o) continue;
      o->stock = true;
      Register(o);
      (*v)[size_t(i)] = o;
    }
    return v;
  }();
  return *s;
}

std::shared_ptr<Bitmap>& stockBitmap() {
  static std::shared_ptr<Bitmap>* b = [] {
    auto* p = new std::shared_ptr<Bitmap>(NewBitmap(1, 1, MonoFormat(), true));
    (*p)->stock = true;
    Register(*p);
    return p;
  }();
  return *b;
}

}  // namespace

std::shared_ptr<Object> Stock(int i) {
  if (i == -1) return stockBitmap();  // the 1 x 1 monochrome bitmap of a fresh memory DC
  if (i < 0 || i > DC_PEN) return nullptr;
  return stocks()[size_t(i)];
}

}  // namespace kv::gdi

using namespace kv::gdi;

extern "C" {

HGDIOBJ GetStockObject(int i) {
  KV_GDI_LOCK;
  auto o = Stock(i);
  return o && i >= 0 ? o->handle : nullptr;
}

DWORD GetObjectType(HGDIOBJ h) {
  KV_GDI_LOCK;
  auto o = Find(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (o->type == OBJ_DC) return static_cast<DC*>(o.get())->kind == DCKind::Memory ? OBJ_MEMDC : OBJ_DC;
  return o->type;
}

DWORD KvGdiObjectCount(void) {
  KV_GDI_LOCK;
  DWORD n = 0;
  for (auto& [k, o] : table().objects) n += o->stock ? 0 : 1;
  return n;
}

// ---- Pens --------------------------------------------------------------------------------------
HPEN CreatePen(int style, int width, COLORREF color) {
  LOGPEN lp{UINT(style), {width, 0}, color};
  return CreatePenIndirect(&lp);
}

HPEN CreatePenIndirect(const LOGPEN* lp) {
  KV_GDI_LOCK;
  if (!lp) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int style = int(lp->lopnStyle & PS_STYLE_MASK);
  if (style > PS_ALTERNATE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (style == PS_NULL) return static_cast<HPEN>(Stock(NULL_PEN)->handle);
  auto p = std::make_shared<Pen>();
  p->style = style == PS_USERSTYLE ? PS_SOLID : style;
  p->width = std::clamp<LONG>(lp->lopnWidth.x, 1, kMaxPenWidth);
  p->geometric = p->width > 1;
  p->color = lp->lopnColor;
  return static_cast<HPEN>(Register(p));
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* lb, DWORD nStyle, const DWORD* styles) {
  KV_GDI_LOCK;
  if (!lb || (style & PS_STYLE_MASK) > PS_ALTERNATE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool geometric = (style & PS_TYPE_MASK) == PS_GEOMETRIC;
  int st = int(style & PS_STYLE_MASK);
  if (!geometric && width != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (st == PS_USERSTYLE && (nStyle == 0 || nStyle > 16 || !styles)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (lb->lbStyle != BS_SOLID && lb->lbStyle != BS_NULL) {
    SetLastError(ERROR_NOT_SUPPORTED);  // pens draw with solid colours only
    return nullptr;
  }
  if (st == PS_NULL || lb->lbStyle == BS_NULL) return static_cast<HPEN>(Stock(NULL_PEN)->handle);
  auto p = std::make_shared<Pen>();
  p->style = st;
  p->width = int(std::clamp<DWORD>(width, 1, kMaxPenWidth));
  p->geometric = geometric;
  p->endCap = int(style & PS_ENDCAP_MASK);
  p->join = int(style & PS_JOIN_MASK);
  p->color = lb->lbColor;
  if (st == PS_USERSTYLE) p->userStyle.assign(styles, styles + nStyle);
  return static_cast<HPEN>(Register(p));
}

// ---- Brushes ------------------------------------------------------------------------------------
HBRUSH CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return CreateBrushIndirect(&lb);
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
  LOGBRUSH lb{BS_HATCHED, color, ULONG_PTR(hatch)};
  return CreateBrushIndirect(&lb);
}

HBRUSH CreatePatternBrush(HBITMAP hbm) {
  LOGBRUSH lb{BS_PATTERN, 0, reinterpret_cast<ULONG_PTR>(hbm)};
  return CreateBrushIndirect(&lb);
}

HBRUSH CreateDIBPatternBrushPt(LPCVOID packedDib, UINT usage) {
  LOGBRUSH lb{BS_DIBPATTERNPT, usage, reinterpret_cast<ULONG_PTR>(packedDib)};
  return CreateBrushIndirect(&lb);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* lb) {
  KV_GDI_LOCK;
  if (!lb) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto b = std::make_shared<Brush>();
  b->style = int(lb->lbStyle);
  b->color = lb->lbColor;
  switch (lb->lbStyle) {
    case BS_SOLID: break;
    case BS_NULL: return static_cast<HBRUSH>(Stock(NULL_BRUSH)->handle);
    case BS_HATCHED:
      if (lb->lbHatch > HS_DIAGCROSS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      b->hatch = int(lb->lbHatch);
      break;
    case BS_PATTERN: {
      auto src = FindAs<Bitmap>(reinterpret_cast<HGDIOBJ>(lb->lbHatch), OBJ_BITMAP);
      if (!src) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      auto copy = NewBitmap(src->width, src->height, src->format, true);
      if (!copy) return nullptr;
      for (int y = 0; y < src->height; ++y) std::memcpy(copy->Row(y), src->Row(y), size_t(src->stride));
      b->pattern = copy;
      b->patternMono = src->format.bpp == 1 && !src->isDib;
      break;
    }
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT: {
      const void* packed = reinterpret_cast<const void*>(lb->lbHatch);
      if (!packed || lb->lbStyle == BS_DIBPATTERN) {
        // BS_DIBPATTERN takes a global memory handle, which this engine does not own.
        SetLastError(lb->lbStyle == BS_DIBPATTERN ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      const auto* bmi = static_cast<const BITMAPINFO*>(packed);
      Format f;
      int w, h;
      bool topDown;
      DWORD infoBytes;
      if (!DibFormatFromInfo(bmi, UINT(lb->lbColor), nullptr, &f, &w, &h, &topDown, &infoBytes) ||
          bmi->bmiHeader.biCompression > BI_BITFIELDS || bmi->bmiHeader.biCompression == BI_RLE4 ||
          bmi->bmiHeader.biCompression == BI_RLE8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      auto copy = NewBitmap(w, h, f, topDown);
      if (!copy) return nullptr;
      std::memcpy(copy->bits, static_cast<const uint8_t*>(packed) + infoBytes, size_t(copy->stride) * size_t(h));
      b->pattern = copy;
      b->style = BS_DIBPATTERN;
      break;
    }
    default: SetLastError(ERROR_NOT_SUPPORTED); return nullptr;
  }
  return static_cast<HBRUSH>(Register(b));
}

BOOL UnrealizeObject(HGDIOBJ h) {
  KV_GDI_LOCK;
  return Find(h) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

// ---- Palettes ------------------------------------------------------------------------------------
HPALETTE CreatePalette(const LOGPALETTE* lp) {
  KV_GDI_LOCK;
  if (!lp || lp->palVersion != 0x300 || lp->palNumEntries == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = std::make_shared<Palette>();
  p->entries.assign(lp->palPalEntry, lp->palPalEntry + lp->palNumEntries);
  return static_cast<HPALETTE>(Register(p));
}

HPALETTE CreateHalftonePalette(HDC hdc) {
  KV_GDI_LOCK;
  if (hdc && !FindDC(hdc)) return nullptr;
  auto p = std::make_shared<Palette>();
  p->entries = HalftoneEntries();
  return static_cast<HPALETTE>(Register(p));
}

UINT GetPaletteEntries(HPALETTE pal, UINT start, UINT count, PALETTEENTRY* entries) {
  KV_GDI_LOCK;
  auto p = FindAs<Palette>(pal, OBJ_PAL);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!entries) return UINT(p->entries.size());
  if (start >= p->entries.size()) return 0;
  UINT n = std::min<UINT>(count, UINT(p->entries.size()) - start);
  std::memcpy(entries, p->entries.data() + start, n * sizeof(PALETTEENTRY));
  return n;
}

UINT SetPaletteEntries(HPALETTE pal, UINT start, UINT count, const PALETTEENTRY* entries) {
  KV_GDI_LOCK;
  auto p = FindAs<Palette>(pal, OBJ_PAL);
  if (!p || p->stock) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!entries || start >= p->entries.size()) return 0;
  UINT n = std::min<UINT>(count, UINT(p->entries.size()) - start);
  std::memcpy(p->entries.data() + start, entries, n * sizeof(PALETTEENTRY));
  return n;
}

BOOL ResizePalette(HPALETTE pal, UINT count) {
  KV_GDI_LOCK;
  auto p = FindAs<Palette>(pal, OBJ_PAL);
  if (!p || p->stock) return Fail(ERROR_INVALID_HANDLE);
  if (count == 0 || count > 1024) return Fail(ERROR_INVALID_PARAMETER);
  p->entries.resize(count, PALETTEENTRY{0, 0, 0, 0});
  return TRUE;
}

UINT GetNearestPaletteIndex(HPALETTE pal, COLORREF color) {
  KV_GDI_LOCK;
  auto p = FindAs<Palette>(pal, OBJ_PAL);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return CLR_INVALID;
  }
  if ((color >> 24) == 1) {
    UINT i = color & 0xFFFF;
    return i < p->entries.size() ? i : 0;
  }
  return NearestIndex(p->entries, color & 0xFFFFFF);
}

// A true-colour screen has no hardware palette; the answer is the halftone palette, whose
// first and last ten entries are the static colours callers take from it.
UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, PALETTEENTRY* entries) {
  KV_GDI_LOCK;
  if (hdc && !FindDC(hdc)) return 0;
  auto e = HalftoneEntries();
  if (!entries) return UINT(e.size());
  if (start >= e.size()) return 0;
  UINT n = std::min<UINT>(count, UINT(e.size()) - start);
  std::memcpy(entries, e.data() + start, n * sizeof(PALETTEENTRY));
  return n;
}

// ---- Generic object calls ----------------------------------------------------------------------
BOOL DeleteObject(HGDIOBJ h) {
  KV_GDI_LOCK;
  auto o = Find(h);
  if (!o || o->type == OBJ_DC) return Fail(ERROR_INVALID_HANDLE);
  if (o->stock) return TRUE;
  if (o->type == OBJ_BITMAP && static_cast<Bitmap*>(o.get())->selectedIn) return FALSE;
  // A pen, brush, font or palette still selected stays alive inside its DC until it is
  // deselected; its handle is gone at once.
  Unregister(h);
  return TRUE;
}

int GetObjectW(HGDIOBJ h, int c, LPVOID pv) {
  KV_GDI_LOCK;
  auto o = Find(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  auto give = [&](const void* data, int size) -> int {
    if (!pv) return size;
    int n = std::min(c, size);
    if (n <= 0) return 0;
    std::memcpy(pv, data, size_t(n));
    return n;
  };
  switch (o->type) {
    case OBJ_PEN: {
      auto* p = static_cast<Pen*>(o.get());
      if (p->geometric || p->endCap || p->join || !p->userStyle.empty()) {
        if (c >= int(sizeof(EXTLOGPEN)) || !pv) {
          EXTLOGPEN e{};
          e.elpPenStyle = DWORD(p->style | p->endCap | p->join | (p->geometric ? PS_GEOMETRIC : 0));
          e.elpWidth = DWORD(p->width);
          e.elpBrushStyle = BS_SOLID;
          e.elpColor = p->color;
          e.elpNumEntries = DWORD(p->userStyle.size());
          e.elpStyleEntry[0] = p->userStyle.empty() ? 0 : p->userStyle[0];
          if (c >= int(sizeof(EXTLOGPEN)) || !pv) return give(&e, sizeof e);
        }
      }
      LOGPEN lp{UINT(p->style), {p->width, 0}, p->color};
      return give(&lp, sizeof lp);
    }
    case OBJ_BRUSH: {
      auto* b = static_cast<Brush*>(o.get());
      LOGBRUSH lb{UINT(b->style), b->color, ULONG_PTR(b->hatch)};
      return give(&lb, sizeof lb);
    }
    case OBJ_FONT: return give(&static_cast<Font*>(o.get())->lf, sizeof(LOGFONTW));
    case OBJ_PAL: {
      WORD n = WORD(static_cast<Palette*>(o.get())->entries.size());
      return give(&n, sizeof n);
    }
    case OBJ_BITMAP: {
      auto* b = static_cast<Bitmap*>(o.get());
      DIBSECTION ds{};
      ds.dsBm.bmType = 0;
      ds.dsBm.bmWidth = b->width;
      ds.dsBm.bmHeight = b->height;
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = WORD(b->format.bpp);
      if (b->isDib) {
        ds.dsBm.bmWidthBytes = b->stride;
        ds.dsBm.bmBits = b->bits;
        ds.dsBmih = b->dibHeader;
        if (b->format.bitfields) {
          ds.dsBitfields[0] = b->format.masks[0];
          ds.dsBitfields[1] = b->format.masks[1];
          ds.dsBitfields[2] = b->format.masks[2];
        }
        if (pv && c >= int(sizeof(DIBSECTION))) return give(&ds, sizeof ds);
        return give(&ds.dsBm, sizeof(BITMAP));
      }
      ds.dsBm.bmWidthBytes = ((b->width * b->format.bpp + 15) / 16) * 2;
      return give(&ds.dsBm, sizeof(BITMAP));
    }
    case OBJ_REGION:
    default: SetLastError(ERROR_INVALID_HANDLE); return 0;
  }
}

int GetObjectA(HGDIOBJ h, int c, LPVOID pv) {
  KV_GDI_LOCK;
  auto o = Find(h);
  if (o && o->type == OBJ_FONT) {
    const LOGFONTW& w = static_cast<Font*>(o.get())->lf;
    LOGFONTA a{};
    std::memcpy(&a, &w, offsetof(LOGFONTA, lfFaceName));
    std::u16string face;
    for (int i = 0; i < LF_FACESIZE && w.lfFaceName[i]; ++i) face.push_back(w.lfFaceName[i]);
    std::string ansi = kv::WideToAnsi(face);
    std::memcpy(a.lfFaceName, ansi.data(), std::min<size_t>(ansi.size(), LF_FACESIZE - 1));
    if (!pv) return sizeof a;
    int n = std::min<int>(c, sizeof a);
    if (n <= 0) return 0;
    std::memcpy(pv, &a, size_t(n));
    return n;
  }
  return GetObjectW(h, c, pv);
}

}  // extern "C"
