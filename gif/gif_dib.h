// Building blocks of the GIF codec: the module's exception and error raiser, stream byte
// helpers, device-independent access to framework bitmaps (TDIBReader, TDIBWriter), the
// masked stretch blit that draws transparent frames and the graphics-handle check.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/strings.h"
#include "framework/graphics/graphics.h"

// The one exception class of the GIF codec.
KV_EXCEPTION(GIFException, EInvalidGraphic);

// Raises GIFException with Message.
[[noreturn]] void GIFError(const char* Message);

// Largest pixel buffer a frame or bitmap may ask for (bytes); above it EOutOfMemory.
constexpr uint64_t kGIFMaxPixelBytes = uint64_t{1} << 28;
// width x height in 64 bits; EOutOfMemory when it passes kGIFMaxPixelBytes.
uint64_t GIFCheckedArea(uint64_t Width, uint64_t Height);

// Stream helpers.
void WriteByte(TStream* Stream, BYTE Value);
// -1 at the end of the stream.
int ReadByte(TStream* Stream);
// Exactly Count bytes, or GIFException "Premature end of data".
void ReadCheck(TStream* Stream, void* Buffer, int Count);
// 0 for 0, else the smallest n >= 1 with 2^n >= Count.
int BitsPerPixelOf(int Count);
void SetPixelFormat(TBitmap* Bitmap, TPixelFormat Format);

// Text of comment and plain-text extensions as data sub-blocks: every string cut into
// blocks of at most 255 bytes (empty strings write nothing), then one zero-length block.
// Reading takes one string per sub-block up to the zero-length block or the stream end;
// it returns false when the stream ended first (in a block or where a block was due).
void WriteStrings(TStream* Stream, TStrings* Strings);
bool ReadStrings(TStream* Stream, TStrings* Strings);

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
