// One frame of a GIF image: its descriptor, pixels, local table and extensions, its
// rendering into a bitmap and mask, drawing, copying, crop and merge.
#include <algorithm>
#include <cstring>
#include <new>

#include "gif/gif_image.h"
#include "gif/texts.h"
#include "platform/base/system.h"

namespace {

void WriteWord(TStream* Stream, WORD Value) {
  BYTE b[2] = {static_cast<BYTE>(Value & 0xFF), static_cast<BYTE>(Value >> 8)};
  Stream->WriteBuffer(b, 2);
}

WORD GetWord(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

}  // namespace

TGIFSubImage::TGIFSubImage(TGIFImage* AImage)
    : TGIFItem(AImage),
      color_map_(std::make_unique<TGIFLocalColorMap>(this)),
      extensions_(std::make_unique<TGIFExtensionList>(this)) {}

TGIFSubImage::~TGIFSubImage() {
  if (image_) image_->Images()->Remove(this);
  FreeData();
  extensions_->Clear();
  FreeMask();
  bitmap_.reset();
  if (palette_) DeleteObject(palette_);
}

void TGIFSubImage::Clear() {
  extensions_->Clear();
  color_map_->Clear();
  FreeData();
  width_ = height_ = 0;
  transparent_ = false;
  gce_ = nullptr;
  FreeBitmap();
  FreeMask();
}

bool TGIFSubImage::Empty() const { return !(data_ && data_size_ > 0 && width_ > 0 && height_ > 0); }

TGIFColorMap* TGIFSubImage::ActiveColorMap() const {
  if (color_map_->Count() == 0 && image_ && image_->GlobalColorMap()->Count() > 0) return image_->GlobalColorMap();
  return color_map_.get();
}

int TGIFSubImage::TransparentIndex() const { return gce_ ? gce_->TransparentColorIndex() : 0; }

TGIFVersion TGIFSubImage::Version() const {
  if (color_map_->Optimized() || extensions_->Count() > 0) return gv89a;
  return gv87a;
}

void TGIFSubImage::FreeData() {
  if (image_) image_->pixel_bytes_ -= std::min(image_->pixel_bytes_, data_size_);
  data_.reset();
  data_size_ = 0;
}

void TGIFSubImage::AllocData(BYTE Fill) {
  FreeData();
  uint64_t size = GIFCheckedArea(width_, height_);
  if (size == 0) return;
  // The frames of one image together stay within the same bound as one frame, so a
  // small file cannot ask for any amount of memory.
  if (image_ && image_->pixel_bytes_ + size > kGIFMaxPixelBytes) throw EOutOfMemory(gif_texts::kOutOfMemory);
  // Zero-filled blocks come from calloc, which hands out untouched pages for large ones.
  BYTE* p = static_cast<BYTE*>(Fill == 0 ? std::calloc(size, 1) : std::malloc(size));
  if (!p) throw EOutOfMemory(gif_texts::kOutOfMemory);
  if (image_) image_->pixel_bytes_ += size;
  if (Fill != 0) std::memset(p, Fill, size);
  data_.reset(p);
  data_size_ = size;
}

void TGIFSubImage::SetData(std::vector<BYTE> Pixels) {
  AllocData(0);
  if (data_) std::memcpy(data_.get(), Pixels.data(), std::min<uint64_t>(data_size_, Pixels.size()));
  FreeBitmap();
  FreeMask();
}

int TGIFSubImage::Bounds(int Index) const {
  switch (Index) {
    case 1: return left_;
    case 2: return top_;
    case 3: return width_;
    case 4: return height_;
  }
  return 0;
}

void TGIFSubImage::SetBounds(int Index, int Value) {
  int l = left_, t = top_, w = width_, h = height_;
  switch (Index) {
    case 1: l = Value; break;
    case 2: t = Value; break;
    case 3: w = Value; break;
    case 4: h = Value; break;
  }
  SetBoundsRect(l, t, w, h);
}

void TGIFSubImage::SetBoundsRect(int ALeft, int ATop, int AWidth, int AHeight) {
  bool resized = AWidth != width_ || AHeight != height_;
  left_ = static_cast<WORD>(ALeft);
  top_ = static_cast<WORD>(ATop);
  width_ = static_cast<WORD>(AWidth);
  height_ = static_cast<WORD>(AHeight);
  if (resized) {
    FreeBitmap();
    FreeMask();
    AllocData(0);
  }
  if (!image_) return;
  bool warned = false;
  if (left_ + width_ > image_->Width()) {
    if (image_->Width() != 0) {
      Warning(1, gif_texts::kWidthTooSmall);
      warned = true;
    }
    image_->Header()->SetWidth(std::min(left_ + width_, 0xFFFF));
  }
  if (top_ + height_ > image_->Height()) {
    if (image_->Height() != 0) {
      Warning(1, gif_texts::kHeightTooSmall);
      warned = true;
    }
    image_->Header()->SetHeight(std::min(top_ + height_, 0xFFFF));
  }
  if (warned) Warning(1, gif_texts::kExceedsScreen);
}

BYTE* TGIFSubImage::ScanLine(int Y) {
  if (width_ == 0 || height_ == 0) GIFError(gif_texts::kImageEmpty);
  if (Y < 0 || Y >= height_) GIFError(gif_texts::kInvalidPixel);
  if (!data_) AllocData(0);
  return data_.get() + static_cast<uint64_t>(Y) * width_;
}

BYTE TGIFSubImage::Pixels(int X, int Y) {
  if (X < 0 || X >= width_) GIFError(gif_texts::kInvalidPixel);
  return ScanLine(Y)[X];
}

void TGIFSubImage::SetPixels(int X, int Y, BYTE Value) {
  if (X < 0 || X >= width_) GIFError(gif_texts::kInvalidPixel);
  ScanLine(Y)[X] = Value;
  FreeBitmap();
  FreeMask();
}

// ---- Reading and writing ------------------------------------------------------------------

void TGIFSubImage::LoadFromStream(TStream* Stream) {
  Clear();
  extensions_->LoadFromStream(Stream, this);
  int b = ReadByte(Stream);
  if (b < 0) return;
  Stream->Seek(-1, soCurrent);
  if (b == ';' || b == 0) return;  // extensions only
  BYTE descriptor[10];
  ReadCheck(Stream, descriptor, 10);
  left_ = GetWord(descriptor + 1);
  top_ = GetWord(descriptor + 3);
  width_ = GetWord(descriptor + 5);
  height_ = GetWord(descriptor + 7);
  flags_ = descriptor[9];
  if ((width_ == 0 || height_ == 0) && image_) {
    width_ = static_cast<WORD>(image_->Width());
    height_ = static_cast<WORD>(image_->Height());
    Warning(1, gif_texts::kExceedsScreen);
  }
  if (flags_ & 0x80) {
    color_map_->LoadFromStream(Stream, 2 << (flags_ & 7));
    color_map_->SetOptimized((flags_ & 0x20) != 0);
  }
  AllocData(transparent_ ? static_cast<BYTE>(TransparentIndex()) : 0);
  TGIFWarningProc warn = [this](const char* Message) { Warning(1, Message); };
  BYTE dummy = 0;
  const int highest =
      DecodeGIFData(Stream, data_ ? data_.get() : &dummy, data_ ? width_ : 0, data_ ? height_ : 0, Interlaced(), warn);
  // A pixel beyond the active table has no colour of its own, and saving refuses it:
  // tell the caller now.
  if (highest >= ActiveColorMap()->Count()) Warning(1, gif_texts::kInvalidColorIndex);
}

void TGIFSubImage::Prepare() {
  if (color_map_->Count() > 0) {
    BYTE flags = 0x80;
    if (color_map_->Optimized()) flags |= 0x20;
    flags |= static_cast<BYTE>((color_map_->BitsPerPixel() - 1) & 7);
    flags_ = flags;  // such a frame is written progressively
  } else {
    flags_ &= 0x40 | 0x18;
  }
}

void TGIFSubImage::SaveToStream(TStream* Stream) {
  extensions_->SaveToStream(Stream);
  if (Empty()) return;
  Prepare();
  ::WriteByte(Stream, ',');
  WriteWord(Stream, left_);
  WriteWord(Stream, top_);
  WriteWord(Stream, width_);
  WriteWord(Stream, height_);
  ::WriteByte(Stream, flags_);
  color_map_->SaveToStream(Stream);
  int bits, count;
  if (color_map_->Count() > 0) {
    bits = color_map_->BitsPerPixel();
    count = color_map_->Count();
  } else {
    bits = image_ ? image_->BitsPerPixel() : 8;
    count = 1 << bits;
  }
  if (image_ && image_->EncoderKind == CompressRLE) {
    TRLEEncoder encoder;
    encoder.Encode(Stream, bits, count, width_, height_, Interlaced(), data_.get());
  } else {
    auto encoder = std::make_unique<TLZWEncoder>();
    encoder->Encode(Stream, bits, count, width_, height_, Interlaced(), data_.get());
  }
}

// ---- Palette, bitmap and mask ---------------------------------------------------------------

HPALETTE TGIFSubImage::Palette() {
  if (bitmap_ && bitmap_->Palette()) return bitmap_->Palette();
  if (palette_) return palette_;
  if (image_ && image_->DoDither()) {
    palette_ = WebPalette();
    return palette_;
  }
  if (color_map_->Count() > 0) {
    palette_ = color_map_->ExportPalette();
    return palette_;
  }
  return image_ ? image_->Palette() : nullptr;
}

void TGIFSubImage::SetPalette(HPALETTE Value) {
  if (Value == palette_) return;
  if (palette_) DeleteObject(palette_);
  palette_ = Value;
  if (bitmap_ && bitmap_->Palette() != Value) {
    FreeBitmap();
    if (image_) {
      image_->SetModified(true);
      image_->Changed(image_);
    }
  }
}

void TGIFSubImage::FreeBitmap() {
  if (image_) {
    std::lock_guard<std::recursive_mutex> guard(image_->render_lock_);
    bitmap_.reset();
    return;
  }
  bitmap_.reset();
}

void TGIFSubImage::FreeMask() {
  if (mask_) DeleteObject(mask_);
  mask_ = nullptr;
  need_mask_ = true;
}

TBitmap* TGIFSubImage::Bitmap() {
  if (image_) {
    std::lock_guard<std::recursive_mutex> guard(image_->render_lock_);
    if (!bitmap_) RenderBitmap();
    return bitmap_.get();
  }
  if (!bitmap_) RenderBitmap();
  return bitmap_.get();
}

void TGIFSubImage::RenderBitmap() {
  auto bitmap = std::make_unique<TBitmap>();
  if (image_) image_->FireProgress(psStarting, 0, gif_texts::kRendering);
  bool ok = false;
  try {
    if (GIFCheckedArea(width_, height_) > 500000) bitmap->SetPixelFormat(pf1bit);
    HPALETTE palette = Palette();
    if (Empty()) {
      bitmap->SetPixelFormat(pf8bit);
      bitmap->SetSize(width_, height_);
      if (palette) bitmap->SetPalette(palette);
    } else {
      bitmap->SetPixelFormat(pf8bit);
      if (palette) bitmap->SetPalette(palette);
      bitmap->SetSize(width_, height_);
      bool dither = image_ && image_->DoDither();
      bool build_mask = transparent_ && !mask_;
      const int mask_stride = ((width_ + 15) / 16) * 2;
      std::vector<BYTE> mask_bits(build_mask ? static_cast<size_t>(mask_stride) * height_ : 0, 0);
      bool any_masked = false;
      const int transparent_index = TransparentIndex();
      TGIFColorMap* map = ActiveColorMap();
      std::vector<TGIFRGB> colors(256, TGIFRGB{0, 0, 0});
      for (int i = 0; i < map->Count(); ++i) colors[static_cast<size_t>(i)] = map->Entry(i);
      TNetscapeColorLookup lookup;
      TFloydSteinbergDitherer ditherer(width_, &lookup);
      BYTE fill = 0;
      if (dither && build_mask) {
        TGIFRGB t = colors[static_cast<size_t>(transparent_index)];
        fill = static_cast<BYTE>((MulDiv(36, t.Red, 51) + MulDiv(6, t.Green, 51) + t.Blue / 51 + 1) % 256);
      }
      for (int y = 0; y < height_; ++y) {
        const BYTE* src = data_.get() + static_cast<uint64_t>(y) * width_;
        BYTE* dst = static_cast<BYTE*>(bitmap->ScanLine(y));
        BYTE* mrow = build_mask ? mask_bits.data() + static_cast<size_t>(y) * mask_stride : nullptr;
        if (!dither) {
          std::memcpy(dst, src, width_);
          if (mrow)
            for (int x = 0; x < width_; ++x)
              if (src[x] == transparent_index) {
                mrow[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                any_masked = true;
              }
        } else {
          if (build_mask) std::memset(dst, fill, width_);
          TGIFRGB chosen;
          for (int i = 0; i < width_; ++i) {
            int x = ditherer.Column();
            if (mrow && src[x] == transparent_index) {
              mrow[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
              any_masked = true;
              ditherer.TDitherEngine::Dither(0, 0, 0, chosen);  // step without spreading error
              continue;
            }
            const TGIFRGB& c = colors[src[x]];
            dst[x] = static_cast<BYTE>(ditherer.Dither(c.Red, c.Green, c.Blue, chosen));
          }
          ditherer.NextLine();
        }
        if (image_ && (y % 32) == 31)
          image_->FireProgress(psRunning, static_cast<BYTE>(MulDiv(y + 1, 100, height_)), gif_texts::kRendering);
      }
      if (build_mask) {
        need_mask_ = false;
        if (any_masked) mask_ = GDICheck(CreateBitmap(width_, height_, 1, 1, mask_bits.data()));
      }
    }
    ok = true;
  } catch (EAbort&) {
    // A cancelled render leaves the frame without a bitmap.
  } catch (...) {
    if (image_) image_->FireProgress(psEnding, 0, gif_texts::kRendering);
    throw;
  }
  if (image_) image_->FireProgress(psEnding, ok ? 100 : 0, gif_texts::kRendering);
  if (ok) bitmap_ = std::move(bitmap);
}

// ---- Drawing -----------------------------------------------------------------------------------

void TGIFSubImage::DrawPiece(HDC DC, const TRect& Target, bool DoTransparent) {
  TBitmap* bitmap = Bitmap();
  if (!bitmap || bitmap->Empty()) return;
  HDC source = bitmap->Canvas()->Handle();
  int tw = Target.right - Target.left, th = Target.bottom - Target.top;
  if (DoTransparent && transparent_ && mask_) {
    HDC mask_dc = GDICheck(CreateCompatibleDC(DC));
    HGDIOBJ old = SelectObject(mask_dc, mask_);
    try {
      MaskedStretchBlit(DC, Target.left, Target.top, tw, th, source, 0, 0, width_, height_, mask_dc, 0, 0);
    } catch (...) {
      SelectObject(mask_dc, old);
      DeleteDC(mask_dc);
      throw;
    }
    SelectObject(mask_dc, old);
    DeleteDC(mask_dc);
  } else {
    StretchBlt(DC, Target.left, Target.top, tw, th, source, 0, 0, width_, height_, SRCCOPY);
  }
}

void TGIFSubImage::Draw(TCanvas* ACanvas, const TRect& ARect, bool DoTransparent, bool DoTile) {
  if (Empty()) return;
  if (DoTile) {
    DrawTiles(ACanvas, ARect, DoTransparent);
    return;
  }
  int iw = image_ && image_->Width() > 0 ? image_->Width() : width_;
  int ih = image_ && image_->Height() > 0 ? image_->Height() : height_;
  int rw = ARect.right - ARect.left, rh = ARect.bottom - ARect.top;
  TRect target = Rect(ARect.left + MulDiv(left_, rw, iw), ARect.top + MulDiv(top_, rh, ih),
                      ARect.left + MulDiv(left_ + width_, rw, iw), ARect.top + MulDiv(top_ + height_, rh, ih));
  ACanvas->Lock();
  try {
    DrawPiece(ACanvas->Handle(), target, DoTransparent);
  } catch (...) {
    ACanvas->Unlock();
    throw;
  }
  ACanvas->Unlock();
}

void TGIFSubImage::DrawTiles(TCanvas* ACanvas, const TRect& ARect, bool DoTransparent) {
  if (width_ == 0 || height_ == 0) return;
  ACanvas->Lock();
  try {
    HDC dc = ACanvas->Handle();
    for (int x = ARect.left; x < ARect.right; x += width_)
      for (int y = ARect.top; y < ARect.bottom; y += height_)
        DrawPiece(dc, Rect(x, y, x + width_, y + height_), DoTransparent);
  } catch (...) {
    ACanvas->Unlock();
    throw;
  }
  ACanvas->Unlock();
}

// ---- Copying -------------------------------------------------------------------------------------

void TGIFSubImage::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (auto* other = dynamic_cast<TGIFSubImage*>(Source)) {
    Clear();
    left_ = other->left_;
    top_ = other->top_;
    width_ = other->width_;
    height_ = other->height_;
    flags_ = other->flags_;
    if (other->data_) {
      AllocData(0);
      std::memcpy(data_.get(), other->data_.get(), data_size_);
    }
    color_map_->Assign(other->color_map_.get());
    TMemoryStream stream;
    other->extensions_->SaveToStream(&stream);
    ::WriteByte(&stream, ',');  // ends the list
    stream.SetPosition(0);
    extensions_->LoadFromStream(&stream, this);
    transparent_ = other->transparent_;
    if (other->bitmap_) {
      bitmap_ = std::make_unique<TBitmap>();
      bitmap_->Assign(other->bitmap_.get());
    }
    return;
  }
  if (auto* picture = dynamic_cast<TPicture*>(Source)) {
    Assign(picture->Graphic());
    return;
  }
  if (auto* bitmap = dynamic_cast<TBitmap*>(Source)) {
    AssignFromBitmap(bitmap);
    return;
  }
  if (auto* graphic = dynamic_cast<TGraphic*>(Source)) {
    TBitmap bitmap;
    try {
      bitmap.Assign(graphic);
    } catch (EConvertError&) {
      bitmap.SetPixelFormat(pf24bit);
      bitmap.SetSize(graphic->Width(), graphic->Height());
      bitmap.Canvas()->Draw(0, 0, graphic);
    }
    AssignFromBitmap(&bitmap);
    return;
  }
  TGIFItem::Assign(Source);
}

void TGIFSubImage::AssignTo(TPersistent* Dest) {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    bitmap->Assign(Bitmap());
    return;
  }
  TGIFItem::AssignTo(Dest);
}

void TGIFSubImage::AssignFromBitmap(TBitmap* Source) {
  if (Source->Empty()) return;
  Clear();
  TGIFImage* image = image_;
  width_ = static_cast<WORD>(Source->Width());
  height_ = static_cast<WORD>(Source->Height());
  AllocData(0);
  std::unique_ptr<TBitmap> reduced;
  TBitmap* bitmap = Source;
  TPixelFormat format = Source->PixelFormat();
  if (format != pf1bit && format != pf4bit && format != pf8bit) {
    reduced.reset(ReduceBitmapColors(Source, image ? image->ReductionMethod : ReduceWebSafe,
                                     image ? image->DitherMethod : DitherNearest, nullptr,
                                     image ? image->OctreeBits : 8));
    bitmap = reduced.get();
    format = bitmap->PixelFormat();
  }
  if (image) image->FireProgress(psStarting, 0, gif_texts::kConverting);
  try {
    if (format == pf8bit) {
      if (bitmap->Palette())
        color_map_->ImportPalette(bitmap->Palette());
      else
        color_map_->ImportDIBColors(bitmap->Canvas()->Handle());
    } else if (format == pf4bit || format == pf1bit) {
      if (bitmap->Palette())
        color_map_->ImportPalette(bitmap->Palette());
      else
        color_map_->ImportDIBColors(bitmap->Canvas()->Handle());
    }
    struct Ring {
      TColor color;
      int index;
    } ring[8];
    int ring_count = 0, ring_next = 0;
    for (int y = 0; y < height_; ++y) {
      BYTE* dst = data_.get() + static_cast<uint64_t>(y) * width_;
      if (format == pf8bit) {
        std::memcpy(dst, bitmap->ScanLine(y), width_);
      } else if (format == pf4bit) {
        const BYTE* src = static_cast<const BYTE*>(bitmap->ScanLine(y));
        for (int x = 0; x < width_; ++x) dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
      } else if (format == pf1bit) {
        const BYTE* src = static_cast<const BYTE*>(bitmap->ScanLine(y));
        for (int x = 0; x < width_; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
      } else {
        if (y == 0) bitmap->SetPixelFormat(pf24bit);
        const BYTE* src = static_cast<const BYTE*>(bitmap->ScanLine(y));
        for (int x = 0; x < width_; ++x) {
          TColor color = static_cast<TColor>(src[3 * x + 2] | src[3 * x + 1] << 8 | src[3 * x] << 16);
          int index = -1;
          for (int k = 0; k < ring_count; ++k) {
            const Ring& r = ring[(ring_next - 1 - k + 8) % 8];
            if (r.color == color) {
              index = r.index;
              break;
            }
          }
          if (index < 0) {
            index = color_map_->AddUnique(color);
            ring[ring_next] = {color, index};
            ring_next = (ring_next + 1) % 8;
            ring_count = std::min(ring_count + 1, 8);
          }
          dst[x] = static_cast<BYTE>(index);
        }
      }
      if (image && (y % 32) == 31)
        image->FireProgress(psRunning, static_cast<BYTE>(MulDiv(y + 1, 100, height_)), gif_texts::kConverting);
    }
  } catch (...) {
    if (image) image->FireProgress(psEnding, 0, gif_texts::kConverting);
    throw;
  }
  if (image) image->FireProgress(psEnding, 100, gif_texts::kConverting);
  if (Source->Transparent()) {
    TBitmap mask;
    mask.Assign(Source);
    mask.Mask(Source->TransparentColor());
    AddMask(&mask);
  }
}

void TGIFSubImage::AddMask(TBitmap* Mask) {
  color_map_->Optimize();
  int count = color_map_->Count();
  if (count < 1 || count > 255) return;
  int index = color_map_->Add(clBlack);
  TDIBReader reader(Mask, pf8bit);
  bool any = false;
  for (int y = 0; y < height_ && y < Mask->Height(); ++y) {
    const BYTE* m = static_cast<const BYTE*>(reader.ScanLine(y));
    BYTE* dst = data_.get() + static_cast<uint64_t>(y) * width_;
    for (int x = 0; x < width_ && x < Mask->Width(); ++x)
      if (m[x] != 0) {
        dst[x] = static_cast<BYTE>(index);
        any = true;
      }
  }
  if (!any) {
    color_map_->Delete(index);
    return;
  }
  auto* gce = new TGIFGraphicControlExtension(this);
  extensions_->Add(gce);
  gce->SetTransparentColorIndex(index);
  gce->SetTransparent(true);
  FreeBitmap();
  FreeMask();
}

// ---- Crop and merge -----------------------------------------------------------------------------

void TGIFSubImage::Crop() {
  if (Empty() || !transparent_) return;
  const BYTE t = static_cast<BYTE>(TransparentIndex());
  int first_col = width_, last_col = -1, first_row = height_, last_row = -1;
  for (int y = 0; y < height_; ++y) {
    const BYTE* row = data_.get() + static_cast<uint64_t>(y) * width_;
    for (int x = 0; x < width_; ++x)
      if (row[x] != t) {
        first_col = std::min(first_col, x);
        last_col = std::max(last_col, x);
        first_row = std::min(first_row, y);
        last_row = std::max(last_row, y);
      }
  }
  if (last_col < 0) {
    FreeData();
    width_ = height_ = 0;
    FreeBitmap();
    FreeMask();
    return;
  }
  int nw = last_col - first_col + 1, nh = last_row - first_row + 1;
  if (nw == width_ && nh == height_) return;
  std::vector<BYTE> cut(static_cast<size_t>(nw) * nh);
  for (int y = 0; y < nh; ++y)
    std::memcpy(cut.data() + static_cast<size_t>(y) * nw,
                data_.get() + static_cast<uint64_t>(first_row + y) * width_ + first_col, nw);
  left_ = static_cast<WORD>(left_ + first_col);
  top_ = static_cast<WORD>(top_ + first_row);
  width_ = static_cast<WORD>(nw);
  height_ = static_cast<WORD>(nh);
  SetData(std::move(cut));
}

void TGIFSubImage::Merge(TGIFSubImage* Previous) {
  if (!Previous || Empty() || Previous->Empty()) return;
  int prev_disposal = Previous->gce_ ? Previous->gce_->Disposal() : 0;
  if (prev_disposal == 2 || prev_disposal == 3) return;
  TRect a = BoundsRect(), b = Previous->BoundsRect();
  TRect overlap =
      Rect(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom));
  if (overlap.left >= overlap.right || overlap.top >= overlap.bottom) return;
  TGIFColorMap* map = ActiveColorMap();
  TGIFColorMap* prev_map = Previous->ActiveColorMap();
  if (map->Count() == 0 || prev_map->Count() == 0) return;

  int t_index = transparent_ ? TransparentIndex() : -1;
  if (t_index < 0) {
    // An index this frame does not use itself, so that no opaque pixel turns clear.
    std::vector<bool> used(256, false);
    for (uint64_t i = 0; i < data_size_; ++i) used[data_[i]] = true;
    if (color_map_->Count() == 0 && image_) {
      for (int i = 0; i < image_->Images()->Count() && t_index < 0; ++i) {
        TGIFSubImage* f = image_->Images()->SubImages(i);
        if (f != this && f->transparent_ && f->color_map_->Count() == 0 &&
            !used[static_cast<size_t>(f->TransparentIndex())])
          t_index = f->TransparentIndex();
      }
    }
    if (t_index < 0 && map->Count() >= 256) return;
  }
  bool shared = map == prev_map;
  bool changed = false;
  const int prev_t = Previous->transparent_ ? Previous->TransparentIndex() : -1;
  for (int y = overlap.top; y < overlap.bottom; ++y) {
    BYTE* row = data_.get() + static_cast<uint64_t>(y - top_) * width_;
    const BYTE* prow = Previous->data_.get() + static_cast<uint64_t>(y - Previous->top_) * Previous->width_;
    for (int x = overlap.left; x < overlap.right; ++x) {
      BYTE& p = row[x - left_];
      BYTE q = prow[x - Previous->left_];
      if ((t_index >= 0 && p == t_index) || q == prev_t) continue;
      bool equal = shared ? p == q : map->Colors(p) == prev_map->Colors(q);
      if (!equal) continue;
      if (t_index < 0) t_index = map->Add(clBlack);
      p = static_cast<BYTE>(t_index);
      changed = true;
    }
  }
  if (!changed) return;
  if (!transparent_) {
    TGIFGraphicControlExtension* gce = gce_;
    if (!gce) {
      gce = new TGIFGraphicControlExtension(this);
      extensions_->Insert(0, gce);
    }
    gce->SetTransparentColorIndex(t_index);
    gce->SetTransparent(true);
  }
  FreeBitmap();
  FreeMask();
}
