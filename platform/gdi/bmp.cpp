// BMP files: reading (core, info, V4 and V5 headers; BI_RGB, BI_RLE4, BI_RLE8,
// BI_BITFIELDS) into packed DIBs or DIB sections, and writing them back.
//
// Every length in the file is checked against the bytes that are really there before it
// is used, so a truncated or lying file fails instead of reading beyond its end.
#include <cstdlib>
#include <cstring>

#include "platform/gdi/internal.h"

using namespace kv::gdi;

namespace {

uint32_t rd32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void wr32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
void wr16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

constexpr size_t kFileHeader = 14;
constexpr size_t kMaxPixelBytes = size_t(256) << 20;  // larger images are refused
// Also refused: more pixels than a 256 MB surface of 4 bytes a pixel holds, however few
// bytes the file spends on them (a run-length file states its size almost for free).
constexpr size_t kMaxPixels = size_t(64) << 20;

BOOL bad() {
  SetLastError(ERROR_INVALID_DATA);
  return FALSE;
}

// Bytes of header, masks and colour table that the info block at p claims, or 0 when the
// header itself is not acceptable. avail: bytes available from p.
size_t infoBytesClaimed(const uint8_t* p, size_t avail) {
  if (avail < 4) return 0;
  uint32_t hs = rd32(p);
  if (hs != 12 && hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124) return 0;
  if (avail < hs) return 0;
  if (hs == 12) {
    int bpp = rd16(p + 10);
    return hs + (bpp <= 8 ? (size_t(1) << bpp) * 3 : 0);
  }
  int bpp = rd16(p + 14);
  uint32_t comp = rd32(p + 16), used = rd32(p + 32);
  if (used > 65536) return 0;
  size_t n = hs;
  if (comp == BI_BITFIELDS && hs == 40) n += 12;
  size_t entries = used ? used : (bpp <= 8 && bpp > 0 ? (size_t(1) << bpp) : 0);
  return n + entries * 4;
}

}  // namespace

extern "C" {

void KvGdiFree(void* p) { std::free(p); }

void KvDibFree(KVDIB* dib) {
  if (!dib) return;
  std::free(dib->info);
  std::free(dib->bits);
  *dib = KVDIB{};
}

BOOL KvBmpDecode(const void* data, SIZE_T size, KVDIB* out) {
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *out = KVDIB{};
  const auto* d = static_cast<const uint8_t*>(data);
  if (!d || size < kFileHeader + 12 || d[0] != 'B' || d[1] != 'M') return bad();
  uint32_t offBits = rd32(d + 10);
  const uint8_t* info = d + kFileHeader;
  size_t avail = size - kFileHeader;
  size_t claimed = infoBytesClaimed(info, avail);
  if (!claimed || claimed > avail) return bad();
  if (offBits < kFileHeader + rd32(info) || offBits > size) return bad();
  if (kFileHeader + claimed > offBits) return bad();
  Format f;
  int w, h;
  bool topDown;
  DWORD infoBytes;
  if (!DibFormatFromInfo(reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS, nullptr, &f, &w, &h, &topDown,
                         &infoBytes))
    return bad();
  uint32_t hs = rd32(info);
  DWORD comp = hs == 12 ? BI_RGB : rd32(info + 16);
  int stride = DibStride(w, f.bpp);
  size_t pixelBytes = size_t(stride) * size_t(h);
  if (pixelBytes > kMaxPixelBytes || size_t(w) * size_t(h) > kMaxPixels) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  const uint8_t* px = d + offBits;
  size_t pxAvail = size - offBits;
  void* bits = std::malloc(pixelBytes ? pixelBytes : 1);
  if (!bits) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  if (comp == BI_RLE4 || comp == BI_RLE8) {
    uint32_t sizeImage = rd32(info + 20);
    size_t n = sizeImage && sizeImage < pxAvail ? sizeImage : pxAvail;
    std::vector<uint8_t> decoded;
    if (!DecodeRle(px, n, f.bpp, w, h, &decoded)) {
      std::free(bits);
      return bad();
    }
    std::memcpy(bits, decoded.data(), pixelBytes);
  } else {
    if (pxAvail < pixelBytes) {
      std::free(bits);
      return bad();
    }
    std::memcpy(bits, px, pixelBytes);
  }
  bool fields = f.bitfields;
  size_t colors = f.bpp <= 8 ? f.colors.size() : 0;
  if (f.bpp <= 8 && hs != 12) {
    uint32_t used = rd32(info + 32);
    if (used && used < colors) colors = used;
  }
  size_t outInfo = sizeof(BITMAPINFOHEADER) + (fields ? 12 : 0) + colors * sizeof(RGBQUAD);
  auto* bi = static_cast<BITMAPINFO*>(std::calloc(1, outInfo < sizeof(BITMAPINFO) ? sizeof(BITMAPINFO) : outInfo));
  if (!bi) {
    std::free(bits);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  BITMAPINFOHEADER& o = bi->bmiHeader;
  o.biSize = sizeof(BITMAPINFOHEADER);
  o.biWidth = w;
  o.biHeight = topDown ? -h : h;
  o.biPlanes = 1;
  o.biBitCount = WORD(f.bpp);
  o.biCompression = fields ? BI_BITFIELDS : BI_RGB;
  o.biSizeImage = DWORD(pixelBytes);
  if (hs >= 40) {
    o.biXPelsPerMeter = LONG(rd32(info + 24));
    o.biYPelsPerMeter = LONG(rd32(info + 28));
    o.biClrImportant = rd32(info + 36) <= colors ? rd32(info + 36) : 0;
  }
  o.biClrUsed = DWORD(colors);
  auto* tail = reinterpret_cast<uint8_t*>(bi) + sizeof(BITMAPINFOHEADER);
  if (fields) {
    wr32(tail, f.masks[0]);
    wr32(tail + 4, f.masks[1]);
    wr32(tail + 8, f.masks[2]);
    tail += 12;
  }
  if (colors) std::memcpy(tail, f.colors.data(), colors * sizeof(RGBQUAD));
  out->info = bi;
  out->infoSize = DWORD(outInfo);
  out->bits = bits;
  out->bitsSize = DWORD(pixelBytes);
  return TRUE;
}

BOOL KvBmpEncode(const BITMAPINFO* bmi, const void* bits, void** out, SIZE_T* outSize) {
  if (!bmi || !bits || !out || !outSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *out = nullptr;
  *outSize = 0;
  Format f;
  int w, h;
  bool topDown;
  DWORD infoBytes;
  if (bmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) ||
      !DibFormatFromInfo(bmi, DIB_RGB_COLORS, nullptr, &f, &w, &h, &topDown, &infoBytes) ||
      (bmi->bmiHeader.biCompression != BI_RGB && bmi->bmiHeader.biCompression != BI_BITFIELDS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t colors =
      f.bpp <= 8 ? (bmi->bmiHeader.biClrUsed && bmi->bmiHeader.biClrUsed < f.colors.size() ? bmi->bmiHeader.biClrUsed
                                                                                           : f.colors.size())
                 : 0;
  size_t header = kFileHeader + sizeof(BITMAPINFOHEADER) + (f.bitfields ? 12 : 0) + colors * 4;
  size_t pixels = size_t(DibStride(w, f.bpp)) * size_t(h);
  size_t total = header + pixels;
  if (total > 0xFFFFFFFFu) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* p = static_cast<uint8_t*>(std::calloc(1, total));
  if (!p) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  p[0] = 'B';
  p[1] = 'M';
  wr32(p + 2, uint32_t(total));
  wr32(p + 10, uint32_t(header));
  uint8_t* ih = p + kFileHeader;
  wr32(ih, 40);
  wr32(ih + 4, uint32_t(w));
  wr32(ih + 8, uint32_t(topDown ? -h : h));
  wr16(ih + 12, 1);
  wr16(ih + 14, uint16_t(f.bpp));
  wr32(ih + 16, f.bitfields ? BI_BITFIELDS : BI_RGB);
  wr32(ih + 20, uint32_t(pixels));
  wr32(ih + 24, uint32_t(bmi->bmiHeader.biXPelsPerMeter));
  wr32(ih + 28, uint32_t(bmi->bmiHeader.biYPelsPerMeter));
  wr32(ih + 32, uint32_t(f.bpp <= 8 ? colors : 0));
  wr32(ih + 36, bmi->bmiHeader.biClrImportant <= colors ? bmi->bmiHeader.biClrImportant : 0);
  uint8_t* t = ih + 40;
  if (f.bitfields) {
    wr32(t, f.masks[0]);
    wr32(t + 4, f.masks[1]);
    wr32(t + 8, f.masks[2]);
    t += 12;
  }
  if (colors) std::memcpy(t, f.colors.data(), colors * 4);
  std::memcpy(p + header, bits, pixels);
  *out = p;
  *outSize = total;
  return TRUE;
}

HBITMAP KvBmpLoad(const void* data, SIZE_T size, HPALETTE* palette) {
  if (palette) *palette = nullptr;
  KVDIB dib;
  if (!KvBmpDecode(data, size, &dib)) return nullptr;
  void* bits = nullptr;
  HBITMAP hbm = CreateDIBSection(nullptr, dib.info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!hbm) {
    KvDibFree(&dib);
    return nullptr;
  }
  std::memcpy(bits, dib.bits, dib.bitsSize);
  if (palette && dib.info->bmiHeader.biBitCount <= 8 && dib.info->bmiHeader.biClrUsed) {
    DWORD n = dib.info->bmiHeader.biClrUsed;
    std::vector<uint8_t> block(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = WORD(n);
    for (DWORD i = 0; i < n; ++i) {
      const RGBQUAD& q = dib.info->bmiColors[i];
      lp->palPalEntry[i] = {q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    }
    *palette = CreatePalette(lp);
  }
  KvDibFree(&dib);
  return hbm;
}

SIZE_T KvBmpSave(HBITMAP hbm, void* buffer, SIZE_T size) {
  KV_GDI_LOCK;
  auto b = FindAs<Bitmap>(hbm, OBJ_BITMAP);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  const Format& f = b->format;
  size_t colors = f.bpp <= 8 ? f.colors.size() : 0;
  std::vector<uint8_t> infoBlock(sizeof(BITMAPINFOHEADER) + 12 + colors * 4 + 4);
  auto* bi = reinterpret_cast<BITMAPINFO*>(infoBlock.data());
  BITMAPINFOHEADER& h = bi->bmiHeader;
  h.biSize = sizeof h;
  h.biWidth = b->width;
  h.biHeight = b->height;  // written bottom-up
  h.biPlanes = 1;
  h.biBitCount = WORD(f.bpp);
  h.biCompression = f.bitfields ? BI_BITFIELDS : BI_RGB;
  h.biClrUsed = DWORD(colors);
  if (b->isDib) {
    h.biXPelsPerMeter = b->dibHeader.biXPelsPerMeter;
    h.biYPelsPerMeter = b->dibHeader.biYPelsPerMeter;
  }
  uint8_t* t = infoBlock.data() + sizeof(BITMAPINFOHEADER);
  if (f.bitfields) {
    wr32(t, f.masks[0]);
    wr32(t + 4, f.masks[1]);
    wr32(t + 8, f.masks[2]);
    t += 12;
  }
  if (colors) std::memcpy(t, f.colors.data(), colors * 4);
  int stride = DibStride(b->width, f.bpp);
  std::vector<uint8_t> rows(size_t(stride) * size_t(b->height));
  size_t rowBytes = (size_t(b->width) * size_t(f.bpp) + 7) / 8;
  for (int y = 0; y < b->height; ++y)
    std::memcpy(rows.data() + size_t(b->height - 1 - y) * size_t(stride), b->Row(y), rowBytes);
  void* file = nullptr;
  SIZE_T n = 0;
  if (!KvBmpEncode(bi, rows.data(), &file, &n)) return 0;
  if (buffer && size >= n) std::memcpy(buffer, file, n);
  std::free(file);
  return n;
}

}  // extern "C"
