// Device-independent access to framework bitmaps (TDIBReader, TDIBWriter), the masked
// stretch blit that draws transparent frames, and the graphics-handle check.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/graphics/graphics.h"
#include "gif/gif_stream.h"

// A non-zero handle passes; 0 raises EOutOfResources with the system's text for the last
// error, or "Out of system resources".
[[noreturn]] void GDIError();
template <class H>
H GDICheck(H Value) {
  if (Value == H{}) GDIError();
  return Value;
}

class TDIB {
 public:
  TDIB(TBitmap* ABitmap, TPixelFormat APixelFormat) : bitmap_(ABitmap), pixel_format_(APixelFormat) {}
  virtual ~TDIB() = default;
  TDIB(const TDIB&) = delete;
  TDIB& operator=(const TDIB&) = delete;
  virtual void* ScanLine(int Row) = 0;
  TBitmap* Bitmap() const { return bitmap_; }
  TPixelFormat PixelFormat() const { return pixel_format_; }

 protected:
  TBitmap* bitmap_;
  TPixelFormat pixel_format_;
};

// Reads the rows of a bitmap switched to the given pixel format.
class TDIBReader : public TDIB {
 public:
  TDIBReader(TBitmap* ABitmap, TPixelFormat APixelFormat);
  void* ScanLine(int Row) override;
};

// Builds rows of an 8- or 24-bit DIB in memory and loads them into the bitmap when it is
// destroyed.
class TDIBWriter : public TDIB {
 public:
  // "Unsupported PixelFormat" for a format other than 8 or 24 bits; "Invalid image
  // dimensions" for a zero width or height.
  TDIBWriter(TBitmap* ABitmap, HPALETTE APalette, int AHeight, int AWidth, TPixelFormat APixelFormat);
  ~TDIBWriter() override;
  void* ScanLine(int Row) override;
  int Stride() const;
  // The header block: 40-byte header, then 256 quads for 8 bits.
  const std::vector<BYTE>& Header() {
    Build();
    return header_;
  }
  // Writes the DIB into the bitmap now (the destructor does it otherwise).
  void Commit();

 private:
  void Build();
  int height_, width_;
  HPALETTE palette_;
  std::vector<BYTE> header_;
  BYTE* pixels_ = nullptr;
  uint64_t pixel_size_ = 0;
};

// Draws SrcW x SrcH of Source at (SrcX, SrcY) into the destination rectangle, keeping the
// destination where the mask (selected into MaskDC) has a set bit.
void MaskedStretchBlit(HDC DestDC, int DestX, int DestY, int DestW, int DestH, HDC SourceDC, int SrcX, int SrcY,
                       int SrcW, int SrcH, HDC MaskDC, int MaskX, int MaskY);
