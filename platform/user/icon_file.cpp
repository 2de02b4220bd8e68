// Icons read from ICO files and icon images: the directory, the image nearest the wanted
// size, and each image's colour rows (1, 4, 8, 24 or 32 bits) with its AND mask or, at 32
// bits, its alpha. The picture is scaled to the wanted size (nearest pixel) and made into
// an icon of a 32-bit colour bitmap and a mask; drawing has no blending, so an alpha
// below 128 counts as transparent and any other as opaque.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/sync.h"
#include "platform/user/internal.h"

namespace {

constexpr size_t kMaxFileSize = 16u << 20;
constexpr int kMaxSide = 256;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// A decoded picture: BGRA rows top-down, alpha 0 for transparent and 255 for opaque.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// One BMP-in-ICO image (header, colour table, XOR rows, AND rows); false for anything
// malformed, truncated, compressed or PNG.
bool DecodeImage(const uint8_t* data, size_t size, Picture* out) {
  if (size < 40 || U32(data) < 40 || U32(data) > size) return false;
  const int32_t width = static_cast<int32_t>(U32(data + 4));
  const int32_t height2 = static_cast<int32_t>(U32(data + 8));
  const int bits = U16(data + 14);
  const uint32_t compression = U32(data + 16);
  uint32_t used = U32(data + 32);
  if (width <= 0 || width > kMaxSide || height2 <= 0 || height2 > 2 * kMaxSide || height2 % 2) return false;
  if (compression != 0) return false;  // BI_RGB only
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
  const int height = height2 / 2;
  size_t at = U32(data);
  std::vector<uint32_t> table;
  if (bits <= 8) {
    const uint32_t most = 1u << bits;
    if (used == 0 || used > most) used = most;
    if (size - at < used * 4u) return false;
    for (uint32_t i = 0; i < used; ++i) table.push_back(U32(data + at + 4 * i) & 0xFFFFFF);
    at += used * 4u;
  }
  const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  const size_t mask_stride = ((static_cast<size_t>(width) + 31) / 32) * 4;
  if (size - at < stride * height) return false;
  const uint8_t* rows = data + at;
  at += stride * height;
  const bool has_mask = size - at >= mask_stride * height;
  const uint8_t* mask = has_mask ? data + at : nullptr;
  bool any_alpha = false;
  if (bits == 32)
    for (int y = 0; y < height && !any_alpha; ++y)
      for (int x = 0; x < width && !any_alpha; ++x) any_alpha = rows[y * stride + 4 * x + 3] != 0;
  if (!mask && !any_alpha) return false;  // no way to tell what shows
  out->width = width;
  out->height = height;
  out->pixels.assign(static_cast<size_t>(width) * height, 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = rows + (height - 1 - y) * stride;  // bottom-up
    for (int x = 0; x < width; ++x) {
      uint32_t colour = 0;
      bool opaque = true;
      if (bits == 32) {
        colour = U32(row + 4 * x) & 0xFFFFFF;
        if (any_alpha) opaque = row[4 * x + 3] >= 128;
      } else if (bits == 24) {
        colour = row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
      } else {
        const int per_byte = 8 / bits;
        const int shift = 8 - bits * (x % per_byte + 1);
        const uint32_t index = (row[x / per_byte] >> shift) & ((1u << bits) - 1);
        colour = index < table.size() ? table[index] : 0;
      }
      if (mask && !(bits == 32 && any_alpha)) {
        const uint8_t* mrow = mask + (height - 1 - y) * mask_stride;
        opaque = !((mrow[x / 8] >> (7 - x % 8)) & 1);
      }
      out->pixels[static_cast<size_t>(y) * width + x] = opaque ? (colour | 0xFF000000u) : 0;
    }
  }
  return true;
}

// The image of an ICO file nearest the wanted size (ties: more bits); PNG images and
// malformed entries are passed over.
bool DecodeFile(const uint8_t* data, size_t size, int want, Picture* out) {
  if (size < 6 || U16(data) != 0 || U16(data + 2) != 1) return false;
  const int count = U16(data + 4);
  if (count == 0 || size < 6 + 16u * count) return false;
  struct Choice {
    int index, distance, bits;
  };
  std::vector<Choice> order;
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = data + 6 + 16 * i;
    const int side = e[0] ? e[0] : 256;
    order.push_back({i, side > want ? side - want : want - side, U16(e + 6)});
  }
  std::stable_sort(order.begin(), order.end(), [](const Choice& a, const Choice& b) {
    return a.distance != b.distance ? a.distance < b.distance : a.bits > b.bits;
  });
  for (const Choice& c : order) {
    const uint8_t* e = data + 6 + 16 * c.index;
    const uint32_t length = U32(e + 8), offset = U32(e + 12);
    if (offset > size || length > size - offset || length < 8) continue;
    if (std::memcmp(data + offset, "\x89PNG", 4) == 0) continue;
    if (DecodeImage(data + offset, length, out)) return true;
  }
  return false;
}

HICON MakeIcon(const Picture& picture, int cx, int cy) {
  if (cx <= 0) cx = picture.width;
  if (cy <= 0) cy = picture.height;
  if (cx > kMaxSide || cy > kMaxSide) return nullptr;
  std::vector<uint32_t> colour(static_cast<size_t>(cx) * cy);
  const size_t mask_stride = ((static_cast<size_t>(cx) + 15) / 16) * 2;  // WORD-aligned rows
  std::vector<uint8_t> mask(mask_stride * cy, 0);
  for (int y = 0; y < cy; ++y)
    for (int x = 0; x < cx; ++x) {
      const uint32_t p = picture.pixels[static_cast<size_t>(y * picture.height / cy) * picture.width +
                                        x * picture.width / cx];
      // Transparent: mask 1 and black colour, so the background shows unchanged.
      if (p >> 24) {
        colour[static_cast<size_t>(y) * cx + x] = p & 0xFFFFFF;
      } else {
        mask[y * mask_stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = CreateBitmap(cx, cy, 1, 32, colour.data());
  info.hbmMask = CreateBitmap(cx, cy, 1, 1, mask.data());
  HICON icon = info.hbmColor && info.hbmMask ? CreateIconIndirect(&info) : nullptr;
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return icon;
}

}  // namespace

extern "C" {

HICON KvIconFromIcoFile(const void* data, SIZE_T size, int cx, int cy) {
  Picture picture;
  if (!data || !DecodeFile(static_cast<const uint8_t*>(data), size, cx > 0 ? cx : 32, &picture)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return MakeIcon(picture, cx, cy);
}

HICON CreateIconFromResourceEx(LPBYTE bits, DWORD size, BOOL icon, DWORD, int cx, int cy, UINT) {
  Picture picture;
  if (!bits || !icon || !DecodeImage(bits, size, &picture)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return MakeIcon(picture, cx, cy);
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
  if (type != IMAGE_ICON || !(flags & LR_LOADFROMFILE) || instance || !name) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  std::vector<uint8_t> data;
  uint8_t chunk[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0) {
    data.insert(data.end(), chunk, chunk + got);
    if (data.size() > kMaxFileSize) {
      ok = false;
      break;
    }
  }
  CloseHandle(file);
  if (!ok) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  if (flags & LR_DEFAULTSIZE) {
    if (cx == 0) cx = GetSystemMetrics(SM_CXICON);
    if (cy == 0) cy = GetSystemMetrics(SM_CYICON);
  }
  return KvIconFromIcoFile(data.data(), data.size(), cx, cy);
}

}  // extern "C"
