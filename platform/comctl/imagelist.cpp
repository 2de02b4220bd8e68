// Image lists: equal-sized images kept as pixels with a transparency mask, drawn by index.
#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/base/error.h"
#include "platform/comctl/internal.h"
#include "platform/comctl/imagelist.h"

struct _IMAGELIST {
  struct Image {
    std::vector<COLORREF> pixels;      // cx * cy, row by row
    std::vector<unsigned char> clear;  // 1 where the mask makes the pixel transparent
  };
  int cx = 0, cy = 0;
  UINT flags = 0;
  COLORREF bk = CLR_NONE;
  std::vector<Image> images;
};

namespace kv::comctl {
namespace {

// The live lists; a handle not in the set is refused (a list destroyed twice, a stray value).
std::mutex gListsMutex;
std::set<HIMAGELIST>& Lists() {
  static auto* lists = new std::set<HIMAGELIST>;
  return *lists;
}

HIMAGELIST Valid(HIMAGELIST h) {
  std::lock_guard<std::mutex> lock(gListsMutex);
  if (h && Lists().count(h)) return h;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

constexpr int kMaxSide = 1024;

bool Masked(const _IMAGELIST& l) { return (l.flags & ILC_MASK) != 0; }

// Reads `bmp` (any depth) into pixels through a memory DC.
bool ReadBitmap(HBITMAP bmp, int* w, int* h, std::vector<COLORREF>* out) {
  BITMAP info{};
  if (!bmp || GetObjectA(bmp, sizeof info, &info) != static_cast<int>(sizeof info) || info.bmWidth <= 0 ||
      info.bmHeight <= 0)
    return false;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  HGDIOBJ old = SelectObject(dc, bmp);
  if (!old) {
    DeleteDC(dc);
    return false;
  }
  *w = info.bmWidth;
  *h = info.bmHeight;
  out->assign(static_cast<size_t>(*w) * static_cast<size_t>(*h), 0);
  for (int y = 0; y < *h; ++y)
    for (int x = 0; x < *w; ++x)
      (*out)[static_cast<size_t>(y) * static_cast<size_t>(*w) + static_cast<size_t>(x)] = GetPixel(dc, x, y) & 0xFFFFFF;
  SelectObject(dc, old);
  DeleteDC(dc);
  return true;
}

// Cuts a strip of pixels (w by h) into images of the list's size; `clearOf` says which
// pixel (x, y) of the strip is transparent.
template <class ClearOf>
int AddStrip(_IMAGELIST& l, const std::vector<COLORREF>& px, int w, int h, ClearOf clearOf) {
  int n = w / l.cx;
  if (n < 1) n = 1;
  int first = static_cast<int>(l.images.size());
  for (int k = 0; k < n; ++k) {
    _IMAGELIST::Image im;
    im.pixels.assign(static_cast<size_t>(l.cx) * static_cast<size_t>(l.cy), 0);
    im.clear.assign(im.pixels.size(), 0);
    for (int y = 0; y < l.cy && y < h; ++y)
      for (int x = 0; x < l.cx && k * l.cx + x < w; ++x) {
        int sx = k * l.cx + x;
        size_t d = static_cast<size_t>(y) * static_cast<size_t>(l.cx) + static_cast<size_t>(x);
        im.pixels[d] = px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(sx)];
        im.clear[d] = Masked(l) && clearOf(sx, y) ? 1 : 0;
      }
    l.images.push_back(std::move(im));
  }
  return first;
}

}  // namespace
}  // namespace kv::comctl

using namespace kv::comctl;

extern "C" {

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow) {
  if (cx <= 0 || cy <= 0 || cx > kMaxSide || cy > kMaxSide || cInitial < 0 || cGrow < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* l = new _IMAGELIST;
  l->cx = cx;
  l->cy = cy;
  l->flags = flags;
  l->images.reserve(static_cast<size_t>(std::min(cInitial, 256)));
  std::lock_guard<std::mutex> lock(gListsMutex);
  Lists().insert(l);
  return l;
}

BOOL ImageList_Destroy(HIMAGELIST himl) {
  if (!Valid(himl)) return FALSE;
  {
    std::lock_guard<std::mutex> lock(gListsMutex);
    Lists().erase(himl);
  }
  delete himl;
  return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST himl) { return Valid(himl) ? static_cast<int>(himl->images.size()) : 0; }

BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
  if (!Valid(himl)) return FALSE;
  if (!cx || !cy) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *cx = himl->cx;
  *cy = himl->cy;
  return TRUE;
}

BOOL ImageList_SetIconSize(HIMAGELIST himl, int cx, int cy) {
  if (!Valid(himl)) return FALSE;
  if (cx <= 0 || cy <= 0 || cx > kMaxSide || cy > kMaxSide) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  himl->cx = cx;
  himl->cy = cy;
  himl->images.clear();
  return TRUE;
}

int ImageList_Add(HIMAGELIST himl, HBITMAP image, HBITMAP mask) {
  if (!Valid(himl)) return -1;
  int w = 0, h = 0, mw = 0, mh = 0;
  std::vector<COLORREF> px, mpx;
  if (!ReadBitmap(image, &w, &h, &px) || (mask && !ReadBitmap(mask, &mw, &mh, &mpx))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return AddStrip(*himl, px, w, h, [&](int x, int y) {
    return mask && x < mw && y < mh &&
           mpx[static_cast<size_t>(y) * static_cast<size_t>(mw) + static_cast<size_t>(x)] == 0xFFFFFF;
  });
}

int ImageList_AddMasked(HIMAGELIST himl, HBITMAP image, COLORREF mask) {
  if (!Valid(himl)) return -1;
  int w = 0, h = 0;
  std::vector<COLORREF> px;
  if (!ReadBitmap(image, &w, &h, &px)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  COLORREF key = mask & 0xFFFFFF;
  return AddStrip(*himl, px, w, h, [&](int x, int y) {
    return px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] == key;
  });
}

int ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON icon) {
  if (!Valid(himl)) return -1;
  if (i < -1 || i >= static_cast<int>(himl->images.size())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  // The icon is drawn at the list's size: its colour over black, its mask over white.
  int cx = himl->cx, cy = himl->cy;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP color = CreateBitmap(cx, cy, 1, 32, nullptr), mask = CreateBitmap(cx, cy, 1, 32, nullptr);
  bool ok = dc && color && mask;
  if (ok) {
    RECT r{0, 0, cx, cy};
    HGDIOBJ old = SelectObject(dc, mask);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ok = DrawIconEx(dc, 0, 0, icon, cx, cy, 0, nullptr, DI_MASK);
    SelectObject(dc, color);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ok = ok && DrawIconEx(dc, 0, 0, icon, cx, cy, 0, nullptr, DI_IMAGE);
    SelectObject(dc, old);
  }
  int result = -1;
  if (ok) {
    // A list without a mask keeps the icon over black, as drawn.
    _IMAGELIST one;
    one.cx = cx;
    one.cy = cy;
    one.flags = himl->flags;
    int w = 0, h = 0, mw = 0, mh = 0;
    std::vector<COLORREF> px, mpx;
    if (ReadBitmap(color, &w, &h, &px) && ReadBitmap(mask, &mw, &mh, &mpx)) {
      AddStrip(one, px, w, h, [&](int x, int y) {
        return mpx[static_cast<size_t>(y) * static_cast<size_t>(mw) + static_cast<size_t>(x)] == 0xFFFFFF;
      });
      if (i == -1) {
        himl->images.push_back(std::move(one.images[0]));
        result = static_cast<int>(himl->images.size()) - 1;
      } else {
        himl->images[static_cast<size_t>(i)] = std::move(one.images[0]);
        result = i;
      }
    }
  } else if (icon) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
  }
  if (color) DeleteObject(color);
  if (mask) DeleteObject(mask);
  if (dc) DeleteDC(dc);
  return result;
}

BOOL ImageList_Remove(HIMAGELIST himl, int i) {
  if (!Valid(himl)) return FALSE;
  if (i == -1) {
    himl->images.clear();
    return TRUE;
  }
  if (i < 0 || i >= static_cast<int>(himl->images.size())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  himl->images.erase(himl->images.begin() + i);
  return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST himl, COLORREF color) {
  if (!Valid(himl)) return CLR_NONE;
  COLORREF old = himl->bk;
  himl->bk = color;
  return old;
}

COLORREF ImageList_GetBkColor(HIMAGELIST himl) { return Valid(himl) ? himl->bk : CLR_NONE; }

BOOL ImageList_Draw(HIMAGELIST himl, int i, HDC hdc, int x, int y, UINT style) {
  if (!Valid(himl)) return FALSE;
  if (i < 0 || i >= static_cast<int>(himl->images.size()) || (style & ~static_cast<UINT>(ILD_TRANSPARENT | ILD_MASK))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD type = GetObjectType(hdc);
  if (type != OBJ_DC && type != OBJ_MEMDC) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const _IMAGELIST::Image& im = himl->images[static_cast<size_t>(i)];
  bool mask = (style & ILD_MASK) != 0;
  // ILD_NORMAL fills transparent pixels with the list's background colour when it has one.
  bool fill = !mask && !(style & ILD_TRANSPARENT) && himl->bk != CLR_NONE;
  for (int yy = 0; yy < himl->cy; ++yy)
    for (int xx = 0; xx < himl->cx; ++xx) {
      size_t k = static_cast<size_t>(yy) * static_cast<size_t>(himl->cx) + static_cast<size_t>(xx);
      COLORREF c;
      if (mask)
        c = im.clear[k] ? RGB(255, 255, 255) : RGB(0, 0, 0);
      else if (!im.clear[k])
        c = im.pixels[k];
      else if (fill)
        c = himl->bk & 0xFFFFFF;
      else
        continue;
      SetPixelV(hdc, x + xx, y + yy, c);  // pixels outside the clip are simply not drawn
    }
  return TRUE;
}

}  // extern "C"
