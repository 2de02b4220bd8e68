// Bitmaps and DIBs: creation, DIB sections, GetDIBits / SetDIBits, colour tables, the DIB
// header reader shared with the BMP codec and RLE decoding.
#include <algorithm>
#include <cstring>

#include "platform/gdi/internal.h"
#include "platform/gdi/raster.h"

namespace kv::gdi {

namespace {

uint32_t rd32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

bool validMasks(const uint32_t m[3], int bpp) {
  for (int i = 0; i < 3; ++i) {
    if (!m[i]) return false;
    if (bpp == 16 && (m[i] >> 16)) return false;
    // Contiguous bits only.
    uint32_t v = m[i];
    while (!(v & 1)) v >>= 1;
    if (v & (v + 1)) return false;
  }
  return true;
}

}  // namespace

// Reads a DIB header (core, info, V4, V5) with its masks and colour table.
bool DibFormatFromInfo(const BITMAPINFO* bmi, UINT usage, const DC* dc, Format* f, int* w, int* h, bool* topDown,
                       DWORD* infoBytes) {
  if (!bmi) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(bmi);
  DWORD size = rd32(p);
  int bpp;
  DWORD compression = BI_RGB, clrUsed = 0;
  int width, height;
  bool core = size == sizeof(BITMAPCOREHEADER);
  if (core) {
    width = rd16(p + 4);
    if (rd16(p + 8) != 1) return false;
    bpp = rd16(p + 10);
    height = rd16(p + 6);
  } else if (size >= 40 && size <= 124) {
    width = int32_t(rd32(p + 4));
    height = int32_t(rd32(p + 8));
    if (rd16(p + 12) != 1) return false;
    bpp = rd16(p + 14);
    compression = rd32(p + 16);
    clrUsed = rd32(p + 32);
  } else {
    return false;
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (width <= 0 || height == 0 || width > 65535 || height > 65535 || height < -65535) return false;
  switch (compression) {
    case BI_RGB: break;
    case BI_RLE8:
      if (bpp != 8 || height < 0) return false;
      break;
    case BI_RLE4:
      if (bpp != 4 || height < 0) return false;
      break;
    case BI_BITFIELDS:
      if (bpp != 16 && bpp != 32) return false;
      break;
    default: return false;
  }
  Format fmt;
  fmt.bpp = bpp;
  DWORD off = size;
  if (compression == BI_BITFIELDS) {
    fmt.bitfields = true;
    const uint8_t* m = size >= 52 ? p + 40 : p + size;
    fmt.masks[0] = rd32(m);
    fmt.masks[1] = rd32(m + 4);
    fmt.masks[2] = rd32(m + 8);
    if (!validMasks(fmt.masks, bpp)) return false;
    if (size < 52) off += 12;
  } else if (bpp == 16) {
    fmt.masks[0] = 0x7C00;
    fmt.masks[1] = 0x03E0;
    fmt.masks[2] = 0x001F;
  }
  DWORD entries = clrUsed;
  if (bpp <= 8) {
    DWORD maxEntries = 1u << bpp;
    if (entries == 0 || core) entries = maxEntries;
    if (entries > 65536) return false;
  } else if (entries > 65536) {
    return false;
  }
  DWORD entrySize = core ? 3 : (usage == DIB_PAL_COLORS ? 2 : 4);
  if (bpp <= 8) {
    DWORD use = std::min<DWORD>(entries, 1u << bpp);
    const uint8_t* t = p + off;
    for (DWORD i = 0; i < use; ++i) {
      RGBQUAD q{};
      if (usage == DIB_PAL_COLORS && !core) {
        UINT idx = rd16(t + 2 * i);
        const auto& pe = (dc && dc->st.palette ? dc->st.palette : DefaultPalette())->entries;
        if (idx >= pe.size()) idx = 0;
        q = {pe[idx].peBlue, pe[idx].peGreen, pe[idx].peRed, 0};
      } else {
        const uint8_t* e = t + i * entrySize;
        q = {e[0], e[1], e[2], 0};
      }
      fmt.colors.push_back(q);
    }
    while (fmt.colors.size() < (size_t(1) << bpp)) fmt.colors.push_back({0, 0, 0, 0});
  }
  off += entries * entrySize;
  *f = fmt;
  *w = width;
  *h = height < 0 ? -height : height;
  *topDown = height < 0;
  *infoBytes = off;
  return true;
}

bool DecodeRle(const uint8_t* d, size_t size, int bpp, int w, int h, std::vector<uint8_t>* out) {
  int stride = DibStride(w, bpp);
  out->assign(size_t(stride) * size_t(h), 0);
  auto put = [&](int x, int y, uint8_t v) {
    if (x < 0 || x >= w || y < 0 || y >= h) return;
    uint8_t* row = out->data() + size_t(y) * size_t(stride);
    if (bpp == 8)
      row[x] = v;
    else if (x & 1)
      row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 0xF));
    else
      row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | (v & 0xF) << 4);
  };
  size_t i = 0;
  int x = 0, y = 0;
  while (i < size) {
    if (i + 2 > size) return false;
    uint8_t n = d[i], v = d[i + 1];
    i += 2;
    if (n) {
      for (int k = 0; k < n; ++k, ++x) put(x, y, bpp == 8 ? v : ((k & 1) ? (v & 0xF) : (v >> 4)));
      continue;
    }
    if (v == 0) {
      x = 0;
      if (++y > h) return false;
    } else if (v == 1) {
      return true;
    } else if (v == 2) {
      if (i + 2 > size) return false;
      x += d[i];
      y += d[i + 1];
      i += 2;
      if (y > h) return false;
    } else {
      size_t bytes = bpp == 8 ? v : (size_t(v) + 1) / 2;
      size_t padded = (bytes + 1) & ~size_t(1);
      if (i + padded > size) return false;
      for (int k = 0; k < v; ++k, ++x) {
        uint8_t b = bpp == 8 ? d[i + size_t(k)] : d[i + size_t(k) / 2];
        put(x, y, bpp == 8 ? b : ((k & 1) ? (b & 0xF) : (b >> 4)));
      }
      i += padded;
    }
  }
  return true;  // data ended without the end-of-bitmap mark: keep what was decoded
}

bool MakeDibView(const BITMAPINFO* bmi, const void* bits, UINT usage, const DC* dc, DibView* out, UINT startScan,
                 UINT lines) {
  Format f;
  int w, h;
  bool topDown;
  DWORD infoBytes;
  if (!bits || !DibFormatFromInfo(bmi, usage, dc, &f, &w, &h, &topDown, &infoBytes))
    return Fail(ERROR_INVALID_PARAMETER);
  DWORD compression = bmi->bmiHeader.biSize == sizeof(BITMAPCOREHEADER) ? BI_RGB : bmi->bmiHeader.biCompression;
  auto b = std::make_shared<Bitmap>();
  b->width = w;
  b->height = h;
  b->format = f;
  b->topDown = topDown;
  b->stride = DibStride(w, f.bpp);
  b->ownsBits = false;
  if (compression == BI_RLE4 || compression == BI_RLE8) {
    DWORD sz = bmi->bmiHeader.biSizeImage;
    if (!sz || !DecodeRle(static_cast<const uint8_t*>(bits), sz, f.bpp, w, h, &out->decoded))
      return Fail(ERROR_INVALID_PARAMETER);
    b->bits = out->decoded.data();
  } else {
    if (lines) {
      if (startScan >= UINT(h)) return Fail(ERROR_INVALID_PARAMETER);
      b->height = int(std::min<UINT>(lines, UINT(h) - startScan));
    }
    b->bits = static_cast<uint8_t*>(const_cast<void*>(bits));
  }
  out->bmp = b;
  out->bottomUp = !topDown;
  return true;
}

namespace {

// Copies `width` pixels of row sy of src to row dy of dst, converting through RGB.
void CopyConvert(const Bitmap& src, int sy, Bitmap& dst, int dy, int width) {
  if (src.format.SameAs(dst.format)) {
    size_t bytes = (size_t(width) * size_t(src.format.bpp) + 7) / 8;
    std::memcpy(dst.Row(dy), src.Row(sy), bytes);
    return;
  }
  if (src.format.bpp <= 8) {
    uint32_t lut[256];
    for (uint32_t v = 0; v < (1u << src.format.bpp); ++v) lut[v] = dst.format.FromRgb(src.format.ToRgb(v));
    for (int x = 0; x < width; ++x) dst.Set(x, dy, lut[src.Get(x, sy)]);
    return;
  }
  for (int x = 0; x < width; ++x) dst.Set(x, dy, dst.format.FromRgb(src.format.ToRgb(src.Get(x, sy))));
}

BITMAPINFOHEADER headerFor(const Bitmap& b, bool topDown) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = b.width;
  h.biHeight = topDown ? -b.height : b.height;
  h.biPlanes = 1;
  h.biBitCount = WORD(b.format.bpp);
  h.biCompression = b.format.bitfields ? BI_BITFIELDS : BI_RGB;
  h.biSizeImage = DWORD(DibStride(b.width, b.format.bpp)) * DWORD(b.height);
  h.biClrUsed = b.format.bpp <= 8 ? DWORD(b.format.colors.size()) : 0;
  return h;
}

std::shared_ptr<Bitmap> compatibleWith(DC* dc, int w, int h) {
  Format f = DeviceFormat();
  bool dib = false;
  BITMAPINFOHEADER hdr{};
  if (dc && dc->kind == DCKind::Memory && dc->st.bitmap) {
    f = dc->st.bitmap->format;
    dib = dc->st.bitmap->isDib;
    hdr = dc->st.bitmap->dibHeader;
  }
  auto b = NewBitmap(w, h, f, !dib || hdr.biHeight < 0);
  if (!b) return nullptr;
  if (dib) {
    b->isDib = true;
    b->dibHeader = headerFor(*b, b->topDown);
  }
  return b;
}

HBITMAP stockOneByOne() { return static_cast<HBITMAP>(Stock(-1)->handle); }

}  // namespace

}  // namespace kv::gdi

using namespace kv::gdi;

extern "C" {

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, LPCVOID bits) {
  KV_GDI_LOCK;
  if (width < 0 || height < 0 || planes != 1 ||
      (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (width == 0 || height == 0) return stockOneByOne();
  auto b = NewBitmap(width, height, DefaultFormat(int(bitCount)), true);
  if (!b) return nullptr;
  if (bits) {
    // Device bitmap rows are padded to 16 bits.
    size_t srcStride = ((size_t(width) * bitCount + 15) / 16) * 2;
    size_t rowBytes = (size_t(width) * bitCount + 7) / 8;
    for (int y = 0; y < height; ++y)
      std::memcpy(b->Row(y), static_cast<const uint8_t*>(bits) + size_t(y) * srcStride, rowBytes);
  }
  return static_cast<HBITMAP>(Register(b));
}

HBITMAP CreateBitmapIndirect(const BITMAP* bm) {
  if (!bm) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateBitmap(bm->bmWidth, bm->bmHeight, bm->bmPlanes, bm->bmBitsPixel, bm->bmBits);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return nullptr;
  if (width < 0 || height < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (width == 0 || height == 0) return stockOneByOne();
  auto b = compatibleWith(dc, width, height);
  return b ? static_cast<HBITMAP>(Register(b)) : nullptr;
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, LPVOID* bits, HANDLE section, DWORD) {
  KV_GDI_LOCK;
  DC* dc = nullptr;
  if (hdc && !(dc = FindDC(hdc))) return nullptr;
  if (section) {
    SetLastError(ERROR_NOT_SUPPORTED);  // file-mapping sections are not part of this platform
    return nullptr;
  }
  Format f;
  int w, h;
  bool topDown;
  DWORD infoBytes;
  if (!DibFormatFromInfo(bmi, usage, dc, &f, &w, &h, &topDown, &infoBytes) ||
      (bmi->bmiHeader.biSize != sizeof(BITMAPCOREHEADER) &&
       (bmi->bmiHeader.biCompression == BI_RLE4 || bmi->bmiHeader.biCompression == BI_RLE8))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    if (bits) *bits = nullptr;
    return nullptr;
  }
  auto b = NewBitmap(w, h, f, topDown);
  if (!b) {
    if (bits) *bits = nullptr;
    return nullptr;
  }
  b->isDib = true;
  b->dibHeader = headerFor(*b, topDown);
  if (bmi->bmiHeader.biSize >= 40) {
    b->dibHeader.biXPelsPerMeter = bmi->bmiHeader.biXPelsPerMeter;
    b->dibHeader.biYPelsPerMeter = bmi->bmiHeader.biYPelsPerMeter;
    b->dibHeader.biClrImportant = bmi->bmiHeader.biClrImportant;
  }
  if (bits) *bits = b->bits;
  return static_cast<HBITMAP>(Register(b));
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* bmih, DWORD init, LPCVOID bits, const BITMAPINFO* bmi,
                       UINT usage) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return nullptr;
  if (!bmih) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int w, h;
  if (bmih->biSize == sizeof(BITMAPCOREHEADER)) {
    const auto* c = reinterpret_cast<const BITMAPCOREHEADER*>(bmih);
    w = c->bcWidth;
    h = c->bcHeight;
  } else {
    w = bmih->biWidth;
    h = std::abs(bmih->biHeight);
  }
  if (w <= 0 || h <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto b = compatibleWith(dc, w, h);
  if (!b) return nullptr;
  HBITMAP hb = static_cast<HBITMAP>(Register(b));
  if ((init & CBM_INIT) && bits && bmi) {
    if (!SetDIBits(hdc, hb, 0, UINT(h), bits, bmi, usage)) {
      DeleteObject(hb);
      return nullptr;
    }
  }
  return hb;
}

int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT lines, LPCVOID bits, const BITMAPINFO* bmi, UINT usage) {
  KV_GDI_LOCK;
  DC* dc = hdc ? FindDC(hdc) : nullptr;
  auto b = FindAs<Bitmap>(hbm, OBJ_BITMAP);
  if (!b || b->stock) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  DibView view;
  if (!MakeDibView(bmi, bits, usage, dc, &view)) return 0;
  const Bitmap& src = *view.bmp;
  int H = src.height;
  if (start >= UINT(H) || lines == 0) return 0;
  UINT n = std::min<UINT>(lines, UINT(H) - start);
  // The buffer holds n scans beginning with scan `start` (from the bottom for bottom-up DIBs).
  Bitmap part;
  part.width = src.width;
  part.height = int(n);
  part.format = src.format;
  part.stride = src.stride;
  part.topDown = src.topDown;
  part.ownsBits = false;
  part.bits = src.bits;
  int width = std::min(src.width, b->width);
  for (UINT k = 0; k < n; ++k) {
    int scan = int(start + k);
    int destRow = view.bottomUp ? b->height - 1 - scan : scan;
    int srcRow = view.bottomUp ? int(n) - 1 - int(k) : int(k);
    if (destRow < 0 || destRow >= b->height) continue;
    CopyConvert(part, srcRow, *b, destRow, width);
  }
  return int(n);
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bmi, UINT usage) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  auto b = FindAs<Bitmap>(hbm, OBJ_BITMAP);
  if (!dc) return 0;
  if (!b || !bmi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  BITMAPINFOHEADER& h = bmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) && h.biSize != sizeof(BITMAPCOREHEADER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (h.biSize == sizeof(BITMAPCOREHEADER)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  if (h.biBitCount == 0) {
    // Describe the bitmap only.
    BITMAPINFOHEADER d = headerFor(*b, false);
    d.biSize = h.biSize;
    d.biClrUsed = 0;
    if (b->isDib) {
      d.biXPelsPerMeter = b->dibHeader.biXPelsPerMeter;
      d.biYPelsPerMeter = b->dibHeader.biYPelsPerMeter;
    }
    std::memcpy(&h, &d, sizeof d);
    return 1;
  }
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  Format f;
  f.bpp = bpp;
  if (h.biCompression == BI_BITFIELDS) {
    auto* m = reinterpret_cast<DWORD*>(reinterpret_cast<uint8_t*>(bmi) + h.biSize);
    if (h.biSize >= 52) m = reinterpret_cast<DWORD*>(reinterpret_cast<uint8_t*>(bmi) + 40);
    if (!m[0] && !m[1] && !m[2]) {
      // Ask for masks: give the bitmap's own (or 5-6-5 / 8-8-8).
      if (b->format.bpp == bpp && b->format.bitfields) {
        m[0] = b->format.masks[0];
        m[1] = b->format.masks[1];
        m[2] = b->format.masks[2];
      } else if (bpp == 16) {
        m[0] = 0xF800;
        m[1] = 0x07E0;
        m[2] = 0x001F;
      } else {
        m[0] = 0xFF0000;
        m[1] = 0xFF00;
        m[2] = 0xFF;
      }
    }
    f.bitfields = true;
    f.masks[0] = m[0];
    f.masks[1] = m[1];
    f.masks[2] = m[2];
    if (!m[0] || !m[1] || !m[2]) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  } else if (bpp == 16) {
    f.masks[0] = 0x7C00;
    f.masks[1] = 0x03E0;
    f.masks[2] = 0x001F;
  }
  if (bpp <= 8) {
    f.colors = (b->format.bpp == bpp) ? b->format.colors : DefaultFormat(bpp).colors;
    f.colors.resize(size_t(1) << bpp, RGBQUAD{0, 0, 0, 0});
    auto* table = reinterpret_cast<uint8_t*>(bmi) + h.biSize;
    if (usage == DIB_PAL_COLORS) {
      for (size_t i = 0; i < f.colors.size(); ++i) {
        WORD idx = WORD(i);
        std::memcpy(table + 2 * i, &idx, 2);
      }
    } else {
      std::memcpy(table, f.colors.data(), f.colors.size() * sizeof(RGBQUAD));
    }
    h.biClrUsed = 0;
  }
  h.biPlanes = 1;
  bool topDown = h.biHeight < 0;
  int stride = DibStride(h.biWidth > 0 ? h.biWidth : b->width, bpp);
  if (h.biWidth <= 0) h.biWidth = b->width;
  if (h.biHeight == 0) h.biHeight = b->height;
  h.biSizeImage = DWORD(stride) * DWORD(std::abs(h.biHeight));
  if (!bits) return 1;
  int H = std::abs(h.biHeight);
  if (start >= UINT(H) || lines == 0) return 0;
  UINT n = std::min<UINT>(lines, UINT(H) - start);
  Bitmap out;
  out.width = h.biWidth;
  out.height = int(n);
  out.format = f;
  out.stride = stride;
  out.topDown = true;
  out.ownsBits = false;
  out.bits = static_cast<uint8_t*>(bits);
  int width = std::min(out.width, b->width);
  UINT copied = 0;
  for (UINT k = 0; k < n; ++k) {
    int scan = int(start + k);
    int srcRow = topDown ? scan : b->height - 1 - scan;
    int outRow = int(k);  // memory row k holds scan start + k in either orientation
    if (srcRow < 0 || srcRow >= b->height) continue;
    std::memset(out.Row(outRow), 0, size_t(stride));
    CopyConvert(*b, srcRow, out, outRow, width);
    ++copied;
  }
  return int(copied);
}

UINT GetDIBColorTable(HDC hdc, UINT start, UINT count, RGBQUAD* colors) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return 0;
  Bitmap* b = dc->kind == DCKind::Memory ? dc->st.bitmap.get() : nullptr;
  if (!b || !b->isDib || b->format.bpp > 8 || !colors) return 0;
  if (start >= b->format.colors.size()) return 0;
  UINT n = std::min<UINT>(count, UINT(b->format.colors.size()) - start);
  std::memcpy(colors, b->format.colors.data() + start, n * sizeof(RGBQUAD));
  return n;
}

UINT SetDIBColorTable(HDC hdc, UINT start, UINT count, const RGBQUAD* colors) {
  KV_GDI_LOCK;
  DC* dc = FindDC(hdc);
  if (!dc) return 0;
  Bitmap* b = dc->kind == DCKind::Memory ? dc->st.bitmap.get() : nullptr;
  if (!b || !b->isDib || b->format.bpp > 8 || !colors) return 0;
  if (start >= b->format.colors.size()) return 0;
  UINT n = std::min<UINT>(count, UINT(b->format.colors.size()) - start);
  for (UINT i = 0; i < n; ++i)
    b->format.colors[start + i] = {colors[i].rgbBlue, colors[i].rgbGreen, colors[i].rgbRed, 0};
  return n;
}

LONG GetBitmapBits(HBITMAP hbm, LONG cb, LPVOID bits) {
  KV_GDI_LOCK;
  auto b = FindAs<Bitmap>(hbm, OBJ_BITMAP);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  size_t stride = ((size_t(b->width) * size_t(b->format.bpp) + 15) / 16) * 2;
  size_t total = stride * size_t(b->height);
  if (!bits) return LONG(total);
  if (cb <= 0) return 0;
  size_t want = std::min(total, size_t(cb));
  auto* out = static_cast<uint8_t*>(bits);
  size_t rowBytes = (size_t(b->width) * size_t(b->format.bpp) + 7) / 8;
  size_t done = 0;
  for (int y = 0; y < b->height && done < want; ++y) {
    size_t n = std::min(stride, want - done);
    std::memset(out + done, 0, n);
    std::memcpy(out + done, b->Row(y), std::min(n, rowBytes));
    done += n;
  }
  return LONG(done);
}

LONG SetBitmapBits(HBITMAP hbm, DWORD cb, LPCVOID bits) {
  KV_GDI_LOCK;
  auto b = FindAs<Bitmap>(hbm, OBJ_BITMAP);
  if (!b || b->stock || !bits) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  size_t stride = ((size_t(b->width) * size_t(b->format.bpp) + 15) / 16) * 2;
  size_t rowBytes = (size_t(b->width) * size_t(b->format.bpp) + 7) / 8;
  const auto* in = static_cast<const uint8_t*>(bits);
  size_t done = 0;
  for (int y = 0; y < b->height && done < cb; ++y) {
    size_t n = std::min(stride, size_t(cb) - done);
    std::memcpy(b->Row(y), in + done, std::min(n, rowBytes));
    done += n;
  }
  return LONG(done);
}

BOOL GetBitmapDimensionEx(HBITMAP hbm, LPSIZE size) {
  KV_GDI_LOCK;
  auto b = FindAs<Bitmap>(hbm, OBJ_BITMAP);
  if (!b || !size) return Fail(ERROR_INVALID_HANDLE);
  *size = b->dimension;
  return TRUE;
}

}  // extern "C"
