#include "gif/gif_dib.h"

#include <algorithm>
#include <cstring>

#include "gif/texts.h"
#include "platform/base/error.h"
#include "platform/base/global_memory.h"

void GDIError() {
  DWORD code = GetLastError();
  if (code != 0) {
    char buffer[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                             sizeof buffer, nullptr);
    if (n > 0) throw EOutOfResources(AnsiString(buffer, n));
  }
  throw EOutOfResources(gif_texts::kOutOfResources);
}

// ---- TDIBReader ----------------------------------------------------------------------

TDIBReader::TDIBReader(TBitmap* ABitmap, TPixelFormat APixelFormat) : TDIB(ABitmap, APixelFormat) {
  SetPixelFormat(bitmap_, pixel_format_);
}

void* TDIBReader::ScanLine(int Row) { return bitmap_->ScanLine(Row); }

// ---- TDIBWriter ----------------------------------------------------------------------

TDIBWriter::TDIBWriter(TBitmap* ABitmap, HPALETTE APalette, int AHeight, int AWidth, TPixelFormat APixelFormat)
    : TDIB(ABitmap, APixelFormat), height_(AHeight), width_(AWidth), palette_(APalette) {
  if (APixelFormat != pf8bit && APixelFormat != pf24bit) GIFError(gif_texts::kUnsupportedPixelFormat);
  if (AWidth == 0 || AHeight == 0) GIFError(gif_texts::kInvalidDimensions);
}

int TDIBWriter::Stride() const {
  int bits = pixel_format_ == pf8bit ? 8 : 24;
  return static_cast<int>(((static_cast<int64_t>(width_) * bits + 31) & -32) >> 3);
}

void TDIBWriter::Build() {
  if (!header_.empty()) return;
  const bool eight = pixel_format_ == pf8bit;
  std::vector<BYTE> header(sizeof(BITMAPINFOHEADER) + (eight ? 256 * sizeof(RGBQUAD) : 0), 0);
  auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(header.data());
  bih->biSize = sizeof(BITMAPINFOHEADER);
  bih->biWidth = width_;
  bih->biHeight = height_;
  bih->biPlanes = 1;
  bih->biBitCount = eight ? 8 : 24;
  bih->biCompression = BI_RGB;
  if (eight) {
    PALETTEENTRY entries[256] = {};
    UINT n = palette_ ? GetPaletteEntries(palette_, 0, 256, entries) : 0;
    bih->biClrUsed = 256;
    bih->biClrImportant = n;
    auto* quads = reinterpret_cast<RGBQUAD*>(header.data() + sizeof(BITMAPINFOHEADER));
    for (UINT i = 0; i < n; ++i) quads[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  }
  uint64_t rows = static_cast<uint64_t>(height_ < 0 ? -static_cast<int64_t>(height_) : height_);
  uint64_t size = GIFCheckedArea(static_cast<uint64_t>(Stride()), rows);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(size));
  BYTE* pixels = block ? static_cast<BYTE*>(GlobalLock(block)) : nullptr;
  if (!pixels) {
    if (block) GlobalFree(block);
    throw EOutOfMemory(gif_texts::kDIBAlloc);
  }
  header_ = std::move(header);
  pixels_ = pixels;
  pixel_size_ = size;
}

void* TDIBWriter::ScanLine(int Row) {
  Build();
  if (!pixels_) GIFError(gif_texts::kNoDIB);
  int rows = height_ < 0 ? -height_ : height_;
  if (Row < 0 || Row >= rows) throw EInvalidGraphicOperation(gif_texts::kScanLineRange);
  GdiFlush();
  int index = height_ > 0 ? height_ - 1 - Row : Row;
  return pixels_ + static_cast<uint64_t>(index) * static_cast<uint64_t>(Stride());
}

void TDIBWriter::Commit() {
  if (!pixels_) return;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  uint64_t total = sizeof(BITMAPFILEHEADER) + header_.size() + pixel_size_;
  file.bfSize = static_cast<DWORD>(total);
  file.bfOffBits = static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + header_.size());
  TMemoryStream stream;
  stream.WriteBuffer(&file, sizeof file);
  stream.WriteBuffer(header_.data(), static_cast<int>(header_.size()));
  stream.WriteBuffer(pixels_, static_cast<int>(pixel_size_));
  stream.SetPosition(0);
  HGLOBAL block = GlobalHandle(pixels_);
  pixels_ = nullptr;
  if (block) {
    GlobalUnlock(block);
    GlobalFree(block);
  }
  bitmap_->LoadFromStream(&stream);
}

TDIBWriter::~TDIBWriter() {
  try {
    Commit();
  } catch (...) {
    // A bitmap that refuses the rows keeps its old contents; nothing may escape here.
  }
  if (pixels_) {
    HGLOBAL block = GlobalHandle(pixels_);
    if (block) {
      GlobalUnlock(block);
      GlobalFree(block);
    }
  }
}

// ---- MaskedStretchBlit ---------------------------------------------------------------

namespace {

struct DCHolder {
  HDC dc = nullptr;
  HGDIOBJ old = nullptr;
  ~DCHolder() {
    if (dc) {
      if (old) SelectObject(dc, old);
      DeleteDC(dc);
    }
  }
};

struct ObjHolder {
  HGDIOBJ obj = nullptr;
  ~ObjHolder() {
    if (obj) DeleteObject(obj);
  }
};

}  // namespace

void MaskedStretchBlit(HDC DestDC, int DestX, int DestY, int DestW, int DestH, HDC SourceDC, int SrcX, int SrcY,
                       int SrcW, int SrcH, HDC MaskDC, int MaskX, int MaskY) {
  if (DestW == SrcW && DestH == SrcH) {
    // Same size: one mask blit; the mask bitmap is borrowed from its DC meanwhile.
    ObjHolder temp;
    temp.obj = GDICheck(CreateBitmap(1, 1, 1, 1, nullptr));
    HGDIOBJ mask = SelectObject(MaskDC, temp.obj);
    BOOL ok = MaskBlt(DestDC, DestX, DestY, DestW, DestH, SourceDC, SrcX, SrcY, static_cast<HBITMAP>(mask), MaskX,
                      MaskY, MAKEROP4(0x00AA0029u, SRCCOPY));
    SelectObject(MaskDC, mask);
    if (!ok) GDIError();
    return;
  }
  // Stretched: source AND not-mask painted over destination AND mask.
  DCHolder mono;
  ObjHolder mono_bitmap;
  mono.dc = GDICheck(CreateCompatibleDC(DestDC));
  mono_bitmap.obj = GDICheck(CreateBitmap(SrcW, SrcH, 1, 1, nullptr));
  mono.old = SelectObject(mono.dc, mono_bitmap.obj);
  BitBlt(mono.dc, 0, 0, SrcW, SrcH, MaskDC, MaskX, MaskY, NOTSRCCOPY);

  DCHolder color;
  ObjHolder color_bitmap;
  color.dc = GDICheck(CreateCompatibleDC(DestDC));
  color_bitmap.obj = GDICheck(CreateCompatibleBitmap(DestDC, SrcW, SrcH));
  color.old = SelectObject(color.dc, color_bitmap.obj);
  HPALETTE source_palette = static_cast<HPALETTE>(GetCurrentObject(SourceDC, OBJ_PAL));
  if (!source_palette) source_palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  HPALETTE old_palette = SelectPalette(color.dc, source_palette, FALSE);
  RealizePalette(color.dc);
  BitBlt(color.dc, 0, 0, SrcW, SrcH, mono.dc, 0, 0, SRCCOPY);
  BitBlt(color.dc, 0, 0, SrcW, SrcH, SourceDC, SrcX, SrcY, SRCAND);
  if (old_palette) SelectPalette(color.dc, old_palette, TRUE);

  COLORREF old_text = SetTextColor(DestDC, RGB(0, 0, 0));
  COLORREF old_back = SetBkColor(DestDC, RGB(255, 255, 255));
  StretchBlt(DestDC, DestX, DestY, DestW, DestH, MaskDC, MaskX, MaskY, SrcW, SrcH, 0x8800C6u);
  StretchBlt(DestDC, DestX, DestY, DestW, DestH, color.dc, 0, 0, SrcW, SrcH, 0xEE0086u);
  SetTextColor(DestDC, old_text);
  SetBkColor(DestDC, old_back);
}
