// TBitmap: a DIB section with a canvas, BMP streams and the clipboard's bitmap format.
#include <algorithm>
#include <cstring>

#include "framework/graphics/graphics.h"
#include "platform/base/error.h"
#include "platform/user/clipboard.h"

namespace {

int BppOf(TPixelFormat f) {
  switch (f) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    default: return 32;
  }
}

// A BITMAPINFO with room for masks and a 256-entry colour table.
struct Info {
  BITMAPINFOHEADER h;
  union {
    DWORD masks[3];
    RGBQUAD colors[256];
  };
  const BITMAPINFO* get() const { return reinterpret_cast<const BITMAPINFO*>(this); }
  DWORD size() const {
    DWORD n = sizeof h;
    if (h.biCompression == BI_BITFIELDS) n += 12;
    if (h.biBitCount <= 8) n += sizeof(RGBQUAD) << h.biBitCount;
    return n;
  }
};

Info MakeInfo(int w, int h, TPixelFormat f, const std::vector<RGBQUAD>& colors) {
  Info info;
  std::memset(&info, 0, sizeof info);
  info.h.biSize = sizeof(BITMAPINFOHEADER);
  info.h.biWidth = w;
  info.h.biHeight = h;  // positive: bottom-up rows
  info.h.biPlanes = 1;
  info.h.biBitCount = static_cast<WORD>(BppOf(f));
  info.h.biCompression = BI_RGB;
  if (f == pf16bit) {
    info.h.biCompression = BI_BITFIELDS;
    info.masks[0] = 0xF800;
    info.masks[1] = 0x07E0;
    info.masks[2] = 0x001F;
  }
  if (info.h.biBitCount <= 8) {
    size_t n = std::min<size_t>(colors.size(), size_t(1) << info.h.biBitCount);
    std::memcpy(info.colors, colors.data(), n * sizeof(RGBQUAD));
    info.h.biClrUsed = 0;
  }
  return info;
}

// A memory DC holding `bmp` for the life of the object.
class BitmapDC {
 public:
  explicit BitmapDC(HBITMAP bmp) : dc_(CreateCompatibleDC(nullptr)) {
    if (dc_) old_ = SelectObject(dc_, bmp);
  }
  ~BitmapDC() {
    if (dc_) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

}  // namespace

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  canvas_.reset();
  if (handle_) DeleteObject(handle_);
  if (palette_) DeleteObject(palette_);
}

bool TBitmap::Empty() const { return width_ <= 0 || height_ <= 0; }
int TBitmap::BitsPerPixel() const { return BppOf(pixel_format_); }
int TBitmap::Stride() const { return ((width_ * BitsPerPixel() + 31) & ~31) / 8; }

void TBitmap::DefaultColorTable(TPixelFormat Format, std::vector<RGBQUAD>& Table) const {
  Table.clear();
  auto add = [&](BYTE r, BYTE g, BYTE b) { Table.push_back(RGBQUAD{b, g, r, 0}); };
  if (palette_ && BppOf(Format) <= 8) {
    PALETTEENTRY e[256];
    UINT n = GetPaletteEntries(palette_, 0, 1u << BppOf(Format), e);
    for (UINT i = 0; i < n; ++i) add(e[i].peRed, e[i].peGreen, e[i].peBlue);
    if (!Table.empty()) return;
  }
  switch (Format) {
    case pf1bit:
      add(0, 0, 0);
      add(255, 255, 255);
      break;
    case pf4bit: {
      static const BYTE k16[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                      {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                      {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                      {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
      for (auto& c : k16) add(c[0], c[1], c[2]);
      break;
    }
    case pf8bit: {
      HPALETTE h = CreateHalftonePalette(nullptr);
      PALETTEENTRY e[256];
      UINT n = h ? GetPaletteEntries(h, 0, 256, e) : 0;
      for (UINT i = 0; i < n; ++i) add(e[i].peRed, e[i].peGreen, e[i].peBlue);
      if (h) DeleteObject(h);
      while (Table.size() < 256) add(0, 0, 0);
      break;
    }
    default: break;
  }
}

void TBitmap::FreeContext() {
  if (canvas_) canvas_->FreeContext();
}

void TBitmap::Wake() {
  if (dormant_.empty() || handle_) return;
  std::string image;
  image.swap(dormant_);
  TColor tc = transparent_color_;
  TTransparentMode tm = transparent_mode_;
  TStringStream s(image);
  LoadFromStream(&s);
  transparent_color_ = tc;
  transparent_mode_ = tm;
}

void TBitmap::EnsureHandle() {
  Wake();
  if (!handle_ && !Empty()) Rebuild(width_, height_, pixel_format_, false);
}

void TBitmap::Rebuild(int NewWidth, int NewHeight, TPixelFormat NewFormat, bool KeepPixels) {
  Wake();
  FreeContext();
  if (NewFormat == pfCustom) NewFormat = pf32bit;
  HBITMAP old = handle_;
  int oldW = width_, oldH = height_;
  std::vector<RGBQUAD> table;
  if (BppOf(NewFormat) <= 8) {
    if (NewFormat == pixel_format_ && !colors_.empty())
      table = colors_;
    else
      DefaultColorTable(NewFormat, table);
  }
  HBITMAP fresh = nullptr;
  void* bits = nullptr;
  if (NewWidth > 0 && NewHeight > 0) {
    if (static_cast<long long>(NewWidth) * NewHeight > (256LL << 20)) throw EOutOfResources("Out of system resources");
    Info info = MakeInfo(NewWidth, NewHeight, NewFormat, table);
    fresh = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!fresh) throw EOutOfResources("Out of system resources");
    BitmapDC to(fresh);
    PatBlt(to.get(), 0, 0, NewWidth, NewHeight, WHITENESS);
    if (KeepPixels && old) {
      BitmapDC from(old);
      BitBlt(to.get(), 0, 0, std::min(oldW, NewWidth), std::min(oldH, NewHeight), from.get(), 0, 0, SRCCOPY);
    }
    GdiFlush();
  }
  if (old) DeleteObject(old);
  handle_ = fresh;
  bits_ = bits;
  width_ = std::max(0, NewWidth);
  height_ = std::max(0, NewHeight);
  pixel_format_ = NewFormat;
  colors_ = table;
}

void TBitmap::SetWidth(int Value) { SetSize(Value, height_); }
void TBitmap::SetHeight(int Value) { SetSize(width_, Value); }

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (AWidth == width_ && AHeight == height_) return;
  Rebuild(AWidth, AHeight, pixel_format_, true);
  Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == pixel_format_) return;
  Rebuild(width_, height_, Value, true);
  Changed(this);
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value == Monochrome()) return;
  SetPixelFormat(Value ? pf1bit : pfDevice);
}

void TBitmap::SetHandleType(TBitmapHandleType Value) {
  if (Value == HandleType()) return;
  SetPixelFormat(Value == bmDDB ? pfDevice : pf32bit);
}

void* TBitmap::ScanLine(int Row) {
  EnsureHandle();
  if (Row < 0 || Row >= height_ || !bits_) throw EInvalidGraphicOperation("Scan line index out of range");
  GdiFlush();
  return static_cast<BYTE*>(bits_) + static_cast<size_t>(height_ - 1 - Row) * Stride();
}

TCanvas* TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(this);
  return canvas_.get();
}

HBITMAP TBitmap::Handle() {
  EnsureHandle();
  return handle_;
}

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == handle_) return;
  if (!Value) {
    Rebuild(0, 0, pixel_format_, false);
    Changed(this);
    return;
  }
  DIBSECTION ds{};
  int got = GetObjectA(Value, sizeof ds, &ds);
  if (got < static_cast<int>(sizeof(BITMAP))) throw EInvalidGraphic("Bitmap image is not valid");
  TPixelFormat f = pfDevice;
  std::vector<RGBQUAD> table;
  if (got == static_cast<int>(sizeof(DIBSECTION))) {
    switch (ds.dsBmih.biBitCount) {
      case 1: f = pf1bit; break;
      case 4: f = pf4bit; break;
      case 8: f = pf8bit; break;
      case 16: f = ds.dsBmih.biCompression == BI_BITFIELDS && ds.dsBitfields[1] == 0x07E0 ? pf16bit : pf15bit; break;
      case 24: f = pf24bit; break;
      default: f = pf32bit; break;
    }
    if (ds.dsBmih.biBitCount <= 8) {
      BitmapDC src(Value);
      table.resize(size_t(1) << ds.dsBmih.biBitCount);
      UINT n = GetDIBColorTable(src.get(), 0, static_cast<UINT>(table.size()), table.data());
      table.resize(n);
    }
  } else if (ds.dsBm.bmBitsPixel == 1) {
    f = pf1bit;
  }
  Dormant();  // drop the old handle cleanly
  dormant_.clear();
  width_ = height_ = 0;
  pixel_format_ = f;
  colors_ = table;
  Rebuild(ds.dsBm.bmWidth, std::abs(ds.dsBm.bmHeight), f, false);
  if (handle_) {
    BitmapDC from(Value), to(handle_);
    BitBlt(to.get(), 0, 0, width_, height_, from.get(), 0, 0, SRCCOPY);
    GdiFlush();
  }
  DeleteObject(Value);  // the bitmap owns what it was given
  Changed(this);
}

HBITMAP TBitmap::ReleaseHandle() {
  EnsureHandle();
  if (!handle_) return nullptr;
  FreeContext();
  Info info = MakeInfo(width_, height_, pixel_format_, colors_);
  void* bits = nullptr;
  HBITMAP copy = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!copy) throw EOutOfResources("Out of system resources");
  GdiFlush();
  std::memcpy(bits, bits_, static_cast<size_t>(Stride()) * height_);
  HBITMAP given = handle_;
  handle_ = copy;
  bits_ = bits;
  return given;
}

HPALETTE TBitmap::Palette() {
  if (!palette_ && BitsPerPixel() <= 8 && !colors_.empty()) {
    std::vector<BYTE> block(sizeof(LOGPALETTE) + colors_.size() * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(colors_.size());
    for (size_t i = 0; i < colors_.size(); ++i)
      lp->palPalEntry[i] = PALETTEENTRY{colors_[i].rgbRed, colors_[i].rgbGreen, colors_[i].rgbBlue, 0};
    palette_ = CreatePalette(lp);
  }
  return palette_;
}

void TBitmap::SetPalette(HPALETTE Value) {
  PALETTEENTRY e[256];
  UINT n = Value ? GetPaletteEntries(Value, 0, 256, e) : 0;
  if (palette_) DeleteObject(palette_);
  palette_ = nullptr;
  if (n) {
    std::vector<BYTE> block(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(n);
    std::memcpy(lp->palPalEntry, e, n * sizeof(PALETTEENTRY));
    palette_ = CreatePalette(lp);
  }
  if (BitsPerPixel() <= 8 && n) {
    // The entries become the colour table; the pixel indices stay.
    EnsureHandle();
    FreeContext();
    size_t count = std::min<size_t>(n, size_t(1) << BitsPerPixel());
    colors_.assign(size_t(1) << BitsPerPixel(), RGBQUAD{0, 0, 0, 0});
    for (size_t i = 0; i < count; ++i) colors_[i] = RGBQUAD{e[i].peBlue, e[i].peGreen, e[i].peRed, 0};
    if (handle_) {
      BitmapDC dc(handle_);
      SetDIBColorTable(dc.get(), 0, static_cast<UINT>(colors_.size()), colors_.data());
    }
  }
  Changed(this);
}

TColor TBitmap::TransparentColor() {
  if (transparent_mode_ == tmFixed && transparent_color_ != clDefault) return transparent_color_;
  if (Empty()) return clDefault;
  if (Monochrome()) return clWhite;
  return Canvas()->Pixels(0, height_ - 1) | 0x02000000;
}

void TBitmap::SetTransparentColor(TColor Value) {
  if (Value == transparent_color_) return;
  transparent_color_ = Value;
  transparent_mode_ = Value == clDefault ? tmAuto : tmFixed;
  Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == transparent_mode_) return;
  if (Value == tmAuto)
    transparent_color_ = clDefault;
  else if (transparent_color_ == clDefault)
    transparent_color_ = TransparentColor();
  transparent_mode_ = Value;
  Changed(this);
}

void TBitmap::Mask(TColor TransparentColor) {
  EnsureHandle();
  if (Empty()) return;
  TBitmap source;
  source.Assign(this);
  source.SetPixelFormat(pf32bit);
  COLORREF key = ColorToRGB(TransparentColor & 0xFFFFFF);
  uint32_t bgr = (GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key);
  if (palette_) {
    DeleteObject(palette_);
    palette_ = nullptr;
  }
  colors_.clear();
  pixel_format_ = pfDevice;  // force a fresh black-and-white table
  Rebuild(width_, height_, pf1bit, false);
  for (int y = 0; y < height_; ++y) {
    auto* src = static_cast<const uint32_t*>(source.ScanLine(y));
    auto* dst = static_cast<BYTE*>(ScanLine(y));
    std::memset(dst, 0, static_cast<size_t>(Stride()));
    for (int x = 0; x < width_; ++x)
      if ((src[x] & 0xFFFFFF) == bgr) dst[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
  }
  Changed(this);
}

void TBitmap::Dormant() {
  if (!handle_) return;
  TStringStream s;
  SaveToStream(&s);
  FreeContext();
  canvas_.reset();
  DeleteObject(handle_);
  handle_ = nullptr;
  bits_ = nullptr;
  dormant_ = s.DataString();
}

void TBitmap::FreeImage() { Wake(); }

void TBitmap::LoadFromStream(TStream* Stream) {
  int64_t start = Stream->Position();
  int64_t available = Stream->Size() - start;
  BITMAPFILEHEADER fh{};
  if (available < static_cast<int64_t>(sizeof fh)) throw EInvalidGraphic("Bitmap image is not valid");
  Stream->ReadBuffer(&fh, sizeof fh);
  if (fh.bfType != 0x4D42) {
    Stream->SetPosition(start);
    throw EInvalidGraphic("Bitmap image is not valid");
  }
  // The file header's size when it is plausible, else the rest of the stream.
  int64_t size = (fh.bfSize >= sizeof fh && fh.bfSize <= available) ? fh.bfSize : available;
  if (size > (1LL << 31) - 1) throw EInvalidGraphic("Bitmap image is not valid");
  std::string data(static_cast<size_t>(size), '\0');
  std::memcpy(data.data(), &fh, sizeof fh);
  Stream->ReadBuffer(data.data() + sizeof fh, static_cast<int>(size - sizeof fh));
  KVDIB dib{};
  if (!KvBmpDecode(data.data(), data.size(), &dib)) {
    Stream->SetPosition(start);
    if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY) throw EInvalidGraphic("Bitmap image is too large");
    throw EInvalidGraphic("Bitmap image is not valid");
  }
  const BITMAPINFOHEADER& h = dib.info->bmiHeader;
  TPixelFormat f;
  switch (h.biBitCount) {
    case 1: f = pf1bit; break;
    case 4: f = pf4bit; break;
    case 8: f = pf8bit; break;
    case 16: {
      const DWORD* m = reinterpret_cast<const DWORD*>(reinterpret_cast<const BYTE*>(dib.info) + h.biSize);
      f = (h.biCompression == BI_BITFIELDS && m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F) ? pf16bit : pf15bit;
      if (h.biCompression == BI_BITFIELDS && f == pf15bit && !(m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F))
        f = pf32bit;  // other masks: converted to 32 bits
      break;
    }
    case 24: f = pf24bit; break;
    default: f = pf32bit; break;
  }
  std::vector<RGBQUAD> table;
  if (h.biBitCount <= 8) {
    size_t n = h.biClrUsed ? std::min<size_t>(h.biClrUsed, size_t(1) << h.biBitCount) : size_t(1) << h.biBitCount;
    const auto* colors = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(dib.info) + h.biSize +
                                                          (h.biCompression == BI_BITFIELDS ? 12 : 0));
    table.assign(colors, colors + n);
    table.resize(size_t(1) << h.biBitCount, RGBQUAD{0, 0, 0, 0});
  }
  int w = h.biWidth, hh = std::abs(h.biHeight);
  try {
    FreeContext();
    if (handle_) DeleteObject(handle_);
    handle_ = nullptr;
    bits_ = nullptr;
    dormant_.clear();
    if (palette_) DeleteObject(palette_);
    palette_ = nullptr;
    width_ = height_ = 0;
    pixel_format_ = f;
    colors_ = table;
    Rebuild(w, hh, f, false);
    // Same depth: rows copied as they are (turned over for a top-down file); other
    // masks: through the raster engine.
    if (BppOf(f) == h.biBitCount && !(h.biBitCount == 16 && f == pf32bit)) {
      size_t stride = static_cast<size_t>(Stride());
      for (int y = 0; y < hh; ++y) {
        int srcRow = h.biHeight > 0 ? y : hh - 1 - y;  // y counts from the bottom
        if ((static_cast<size_t>(srcRow) + 1) * stride > dib.bitsSize) break;
        std::memcpy(static_cast<BYTE*>(bits_) + static_cast<size_t>(y) * stride,
                    static_cast<const BYTE*>(dib.bits) + static_cast<size_t>(srcRow) * stride, stride);
      }
    } else {
      BitmapDC to(handle_);
      StretchDIBits(to.get(), 0, 0, w, hh, 0, 0, w, hh, dib.bits, dib.info, DIB_RGB_COLORS, SRCCOPY);
      GdiFlush();
    }
  } catch (...) {
    KvDibFree(&dib);
    throw;
  }
  KvDibFree(&dib);
  Stream->SetPosition(start + size);
  Changed(this);
}

void TBitmap::SaveToStream(TStream* Stream) {
  EnsureHandle();
  if (Empty() || !bits_) return;
  GdiFlush();
  Info info = MakeInfo(width_, height_, pixel_format_, colors_);
  void* out = nullptr;
  SIZE_T size = 0;
  if (!KvBmpEncode(info.get(), bits_, &out, &size)) throw EInvalidGraphic("Bitmap image is not valid");
  try {
    Stream->WriteBuffer(out, static_cast<int>(size));
  } catch (...) {
    KvGdiFree(out);
    throw;
  }
  KvGdiFree(out);
}

void TBitmap::LoadFromClipboardFormat(WORD Format, HANDLE Data, HPALETTE Pal) {
  if (Format != CF_BITMAP || !Data) throw EInvalidGraphic("Unsupported clipboard format");
  // The clipboard keeps its bitmap: work on a copy.
  TBitmap copy;
  {
    DIBSECTION ds{};
    int got = GetObjectA(Data, sizeof ds, &ds);
    if (got < static_cast<int>(sizeof(BITMAP))) throw EInvalidGraphic("Unsupported clipboard format");
    copy.SetPixelFormat(pf32bit);
    copy.SetSize(ds.dsBm.bmWidth, std::abs(ds.dsBm.bmHeight));
    BitmapDC from(static_cast<HBITMAP>(Data));
    BitBlt(copy.Canvas()->Handle(), 0, 0, copy.Width(), copy.Height(), from.get(), 0, 0, SRCCOPY);
    GdiFlush();
  }
  Assign(&copy);
  if (Pal) SetPalette(Pal);
}

void TBitmap::SaveToClipboardFormat(WORD& Format, HANDLE& Data, HPALETTE& Pal) {
  Format = CF_BITMAP;
  TBitmap copy;
  copy.Assign(this);
  Data = copy.ReleaseHandle();
  Pal = nullptr;
  if (HPALETTE p = Palette()) {
    PALETTEENTRY e[256];
    UINT n = GetPaletteEntries(p, 0, 256, e);
    std::vector<BYTE> block(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(n);
    std::memcpy(lp->palPalEntry, e, n * sizeof(PALETTEENTRY));
    Pal = CreatePalette(lp);
  }
}

void TBitmap::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    Rebuild(0, 0, pixel_format_, false);
    Changed(this);
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    b->Wake();
    if (palette_) DeleteObject(palette_);
    palette_ = nullptr;
    pixel_format_ = b->pixel_format_;
    colors_ = b->colors_;
    width_ = height_ = 0;
    Rebuild(b->width_, b->height_, b->pixel_format_, false);
    if (bits_ && b->bits_) {
      GdiFlush();
      std::memcpy(bits_, b->bits_, static_cast<size_t>(Stride()) * height_);
    }
    if (b->palette_) SetPalette(b->palette_);
    transparent_color_ = b->transparent_color_;
    transparent_mode_ = b->transparent_mode_;
    SetTransparent(b->Transparent());
    Changed(this);
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    // A graphic that knows how to give itself to a bitmap does so (AssignTo); any other
    // is drawn onto a bitmap of its size.
    try {
      TGraphic::Assign(Source);
      return;
    } catch (const EConvertError&) {
    }
    Rebuild(0, 0, pf24bit, false);
    Rebuild(g->Width(), g->Height(), pf24bit, false);
    if (!Empty()) Canvas()->Draw(0, 0, g);
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& R) {
  EnsureHandle();
  if (Empty()) return;
  HDC dst = ACanvas->Handle();
  HDC src = Canvas()->Handle();
  HPALETTE pal = Palette();
  HPALETTE oldPal = nullptr;
  if (pal) {
    oldPal = SelectPalette(dst, pal, TRUE);
    RealizePalette(dst);
  }
  int oldMode = SetStretchBltMode(dst, COLORONCOLOR);
  if (Transparent()) {
    TransparentBlt(dst, R.left, R.top, R.right - R.left, R.bottom - R.top, src, 0, 0, width_, height_,
                   ColorToRGB(TransparentColor() & 0xFFFFFF));
  } else {
    StretchBlt(dst, R.left, R.top, R.right - R.left, R.bottom - R.top, src, 0, 0, width_, height_, ACanvas->CopyMode());
  }
  if (oldMode) SetStretchBltMode(dst, oldMode);
  if (pal) SelectPalette(dst, oldPal, TRUE);
}

// ---- TBitmapCanvas -------------------------------------------------------------------------------

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::FreeContext() {
  if (!dc_) return;
  DeselectHandle();
  if (old_palette_) SelectPalette(dc_, old_palette_, TRUE);
  if (old_bitmap_) SelectObject(dc_, old_bitmap_);
  DeleteDC(dc_);
  dc_ = nullptr;
  old_bitmap_ = nullptr;
  old_palette_ = nullptr;
}

void TBitmapCanvas::CreateHandle() {
  if (dc_) return;
  bitmap_->EnsureHandle();
  dc_ = CreateCompatibleDC(nullptr);
  if (!dc_) throw EOutOfResources("Out of system resources");
  // An empty bitmap still gives a DC (text can be measured on it; drawing shows nowhere).
  if (bitmap_->handle_) old_bitmap_ = SelectObject(dc_, bitmap_->handle_);
  if (HPALETTE p = bitmap_->palette_) {
    old_palette_ = SelectPalette(dc_, p, TRUE);
    RealizePalette(dc_);
  }
  SetHandle(dc_);
}
