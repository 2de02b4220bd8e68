// Small fixtures for the raster engine's tests: a memory DC over a 32-bit top-down DIB
// section whose pixels the test reads directly (0x00RRGGBB).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/gdi/gdi.h"

namespace kvtest {

inline uint32_t Px(COLORREF c) { return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c); }

struct Canvas {
  HDC dc = nullptr;
  HBITMAP bmp = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* bits = nullptr;
  int w = 0, h = 0;

  Canvas(int width, int height, COLORREF fill = RGB(255, 255, 255)) : w(width), h(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* p = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint32_t*>(p);
    old = SelectObject(dc, bmp);
    for (int i = 0; i < w * h; ++i) bits[i] = Px(fill);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
  }
  uint32_t& at(int x, int y) { return bits[y * w + x]; }
  // Row y as a string: '#' where the pixel equals `ink`, '.' elsewhere.
  std::string Row(int y, COLORREF ink = RGB(0, 0, 0)) {
    std::string s;
    for (int x = 0; x < w; ++x) s.push_back(at(x, y) == Px(ink) ? '#' : '.');
    return s;
  }
  // Bounding box of pixels differing from `background`; empty when none.
  RECT Ink(COLORREF background = RGB(255, 255, 255)) {
    RECT r{w, h, 0, 0};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (at(x, y) != Px(background)) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    if (r.right == 0) return {0, 0, 0, 0};
    return r;
  }
};

}  // namespace kvtest
