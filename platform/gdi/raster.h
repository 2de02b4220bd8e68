// Internal interface of the blit engine (raster.cpp, bitmap.cpp, text.cpp, draw.cpp).
#pragma once

#include "platform/gdi/internal.h"

namespace kv::gdi {

struct BlitSource {
  const Bitmap* bmp = nullptr;
  // A 1-bit source from a DC takes the destination's text/background colours, and a
  // colour source into a 1-bit destination compares with srcBk; DIB sources use their
  // colour table instead.
  bool monoUsesDcColors = true;
  COLORREF srcBk = 0xFFFFFF;
};

// Blits in target coordinates of dst's device space (dx, dy device coordinates); widths may be
// negative (mirroring). mask: 1-bit bitmap selecting the foreground ROP (bit 1) or background
// ROP (bit 0, rop >> 24).
bool Blit(DC& dst, int dx, int dy, int dw, int dh, const BlitSource* src, int sx, int sy, int sw, int sh,
          const Bitmap* mask, int mx, int my, DWORD rop);
// Hands a blit to the DC's backend (Blit for the pixels; an image or a fill for the record
// where the blit has a vector form, else a raster patch of its result).
BOOL PaintBlit(DC& dst, int dx, int dy, int dw, int dh, const BlitSource* src, int sx, int sy, int sw, int sh,
               const Bitmap* mask, int mx, int my, DWORD rop);
uint8_t Rop2ToRop3(int rop2);

// Composites a coverage mask (0..255) in colour onto the target at target position (tx, ty).
void BlendMask(DC& dc, int tx, int ty, int w, int h, const uint8_t* mask, int maskStride, COLORREF color,
               const Rgn* extraClip);

// A read-only bitmap over caller DIB memory (RLE input decoded into owned memory).
struct DibView {
  std::shared_ptr<Bitmap> bmp;
  std::vector<uint8_t> decoded;
  bool bottomUp = true;
};
// lines > 0: the memory holds only that many rows (SetDIBitsToDevice).
bool MakeDibView(const BITMAPINFO* bmi, const void* bits, UINT usage, const DC* dc, DibView* out, UINT startScan = 0,
                 UINT lines = 0);

}  // namespace kv::gdi
