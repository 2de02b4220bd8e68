// TJPEGImage over libjpeg. The library reports errors by longjmp; each call into it is
// wrapped in a plain function without C++ objects, and the caller turns a failure into EJPEG.
#include "framework/graphics/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace {

struct ErrorMgr {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->jump, 1);
}

void Silent(j_common_ptr, int) {}

struct Decoded {
  int width = 0, height = 0, components = 0;  // components 1 (gray) or 3 (B, G, R)
  unsigned char* pixels = nullptr;            // malloc'ed, rows top-down, width*components each
};

// Reads the header only (pixels null) or the whole image. False with `message` set.
bool DecodeJpeg(const unsigned char* data, size_t size, bool headerOnly, int scaleDenom, bool gray, bool fast,
                Decoded* out, char* message) {
  jpeg_decompress_struct cinfo;
  ErrorMgr err;
  // Written after setjmp: volatile, so the error path sees their values.
  unsigned char* volatile pixels = nullptr;
  unsigned char* volatile cmyk = nullptr;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = Silent;
  err.message[0] = 0;
  if (setjmp(err.jump)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
    jpeg_destroy_decompress(&cinfo);
    std::free(pixels);
    std::free(cmyk);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned>(scaleDenom);
  bool isCmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  if (gray)
    cinfo.out_color_space = JCS_GRAYSCALE;
  else if (isCmyk)
    cinfo.out_color_space = JCS_CMYK;
  else
    cinfo.out_color_space = JCS_EXT_BGR;
  if (fast) {
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
  }
  jpeg_calc_output_dimensions(&cinfo);
  out->width = static_cast<int>(cinfo.output_width);
  out->height = static_cast<int>(cinfo.output_height);
  out->components = gray ? 1 : 3;
  if (headerOnly) {
    jpeg_destroy_decompress(&cinfo);
    return true;
  }
  if (static_cast<unsigned long long>(out->width) * out->height > (256ULL << 20)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "JPEG image too large (%dx%d)", out->width, out->height);
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  size_t rowBytes = static_cast<size_t>(out->width) * out->components;
  pixels = static_cast<unsigned char*>(std::malloc(rowBytes * out->height));
  if (isCmyk && !gray) cmyk = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(out->width) * 4));
  if (!pixels || (isCmyk && !gray && !cmyk)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "Out of memory");
    jpeg_destroy_decompress(&cinfo);
    std::free(pixels);
    std::free(cmyk);
    return false;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    unsigned char* row = pixels + rowBytes * cinfo.output_scanline;
    if (cmyk) {
      JSAMPROW r = cmyk;
      jpeg_read_scanlines(&cinfo, &r, 1);
      // Inverted CMYK as written by most producers: each channel times K.
      for (int x = 0; x < out->width; ++x) {
        int c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
        row[3 * x] = static_cast<unsigned char>(y * k / 255);
        row[3 * x + 1] = static_cast<unsigned char>(m * k / 255);
        row[3 * x + 2] = static_cast<unsigned char>(c * k / 255);
      }
    } else {
      JSAMPROW r = row;
      jpeg_read_scanlines(&cinfo, &r, 1);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::free(cmyk);
  out->pixels = pixels;
  return true;
}

// Encodes rows (B, G, R or gray), top-down. The file is malloc'ed into *outData.
bool EncodeJpeg(const unsigned char* pixels, int width, int height, int components, int quality, bool progressive,
                unsigned char** outData, unsigned long* outSize, char* message) {
  jpeg_compress_struct cinfo;
  ErrorMgr err;
  *outData = nullptr;
  *outSize = 0;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = Silent;
  if (setjmp(err.jump)) {
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
    jpeg_destroy_compress(&cinfo);
    std::free(*outData);
    *outData = nullptr;
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, outData, outSize);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  size_t rowBytes = static_cast<size_t>(width) * components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW r = const_cast<unsigned char*>(pixels + rowBytes * cinfo.next_scanline);
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

int Denominator(TJPEGScale s) { return 1 << static_cast<int>(s); }

}  // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

bool TJPEGImage::Empty() const { return data_.empty() && (!bitmap_ || bitmap_->Empty()); }

int TJPEGImage::Width() const {
  if (bitmap_) return bitmap_->Width();
  int d = Denominator(scale_);
  return (header_width_ + d - 1) / d;
}

int TJPEGImage::Height() const {
  if (bitmap_) return bitmap_->Height();
  int d = Denominator(scale_);
  return (header_height_ + d - 1) / d;
}

void TJPEGImage::SetWidth(int) { throw EJPEG("Cannot change the size of a JPEG image"); }
void TJPEGImage::SetHeight(int) { throw EJPEG("Cannot change the size of a JPEG image"); }

void TJPEGImage::SetCompressionQuality(int Value) { quality_ = std::clamp(Value, 1, 100); }

void TJPEGImage::FreeBitmap() {
  // Only a decoded bitmap can be made again from the data.
  if (!data_.empty()) bitmap_.reset();
}

void TJPEGImage::SetGrayscale(bool Value) {
  if (Value == grayscale_) return;
  grayscale_ = Value;
  FreeBitmap();
  Changed(this);
}

void TJPEGImage::SetScale(TJPEGScale Value) {
  if (Value == scale_) return;
  scale_ = Value;
  FreeBitmap();
  Changed(this);
}

void TJPEGImage::SetPerformance(TJPEGPerformance Value) {
  if (Value == performance_) return;
  performance_ = Value;
  FreeBitmap();
}

void TJPEGImage::SetPixelFormat(TJPEGPixelFormat Value) {
  if (Value == pixel_format_) return;
  pixel_format_ = Value;
  FreeBitmap();
  Changed(this);
}

void TJPEGImage::LoadFromStream(TStream* Stream) {
  int64_t start = Stream->Position();
  int64_t size = Stream->Size() - start;
  if (size <= 0 || size > (1LL << 31) - 1) throw EJPEG("JPEG datastream contains no image");
  std::string data(static_cast<size_t>(size), '\0');
  Stream->ReadBuffer(data.data(), static_cast<int>(size));
  Decoded d;
  char message[JMSG_LENGTH_MAX];
  if (!DecodeJpeg(reinterpret_cast<const unsigned char*>(data.data()), data.size(), true, 1, false, false, &d,
                  message)) {
    Stream->SetPosition(start);
    throw EJPEG(message);
  }
  data_.swap(data);
  header_width_ = d.width;
  header_height_ = d.height;
  bitmap_.reset();
  Changed(this);
}

void TJPEGImage::DIBNeeded() {
  if (bitmap_ || data_.empty()) return;
  Progress(this, psStarting, 0, false, Rect(0, 0, 0, 0), "Decoding...");
  Decoded d;
  char message[JMSG_LENGTH_MAX];
  bool gray = grayscale_ || pixel_format_ == jf8Bit;
  if (!DecodeJpeg(reinterpret_cast<const unsigned char*>(data_.data()), data_.size(), false, Denominator(scale_), gray,
                  performance_ == jpBestSpeed, &d, message)) {
    Progress(this, psEnding, 0, false, Rect(0, 0, 0, 0), "Decoding...");
    throw EJPEG(message);
  }
  std::unique_ptr<unsigned char, decltype(&std::free)> hold(d.pixels, &std::free);
  auto b = std::make_unique<TBitmap>();
  if (gray) {
    b->SetPixelFormat(pf8bit);
    std::vector<BYTE> block(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 256;
    for (int i = 0; i < 256; ++i)
      lp->palPalEntry[i] = PALETTEENTRY{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    HPALETTE pal = CreatePalette(lp);
    b->SetSize(d.width, d.height);
    b->SetPalette(pal);
    DeleteObject(pal);
  } else {
    b->SetPixelFormat(pf24bit);
    b->SetSize(d.width, d.height);
  }
  size_t rowBytes = static_cast<size_t>(d.width) * d.components;
  for (int y = 0; y < d.height; ++y) std::memcpy(b->ScanLine(y), d.pixels + rowBytes * y, rowBytes);
  bitmap_ = std::move(b);
  Progress(this, psEnding, 100, false, Rect(0, 0, 0, 0), "Decoding...");
}

TBitmap* TJPEGImage::Bitmap() {
  DIBNeeded();
  if (!bitmap_) bitmap_ = std::make_unique<TBitmap>();
  return bitmap_.get();
}

void TJPEGImage::Compress() {
  if (!bitmap_ || bitmap_->Empty()) return;
  TBitmap rows;
  rows.Assign(bitmap_.get());
  bool gray = grayscale_;  // gray rows are made from the colour ones by luma weights
  rows.SetPixelFormat(pf24bit);
  int w = rows.Width(), h = rows.Height();
  int comps = gray ? 1 : 3;
  std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * comps);
  for (int y = 0; y < h; ++y) {
    auto* src = static_cast<const unsigned char*>(rows.ScanLine(y));
    unsigned char* dst = pixels.data() + static_cast<size_t>(y) * w * comps;
    if (gray) {
      for (int x = 0; x < w; ++x)
        dst[x] = static_cast<unsigned char>((src[3 * x] * 29 + src[3 * x + 1] * 150 + src[3 * x + 2] * 77) >> 8);
    } else {
      std::memcpy(dst, src, static_cast<size_t>(w) * 3);
    }
  }
  unsigned char* out = nullptr;
  unsigned long size = 0;
  char message[JMSG_LENGTH_MAX];
  if (!EncodeJpeg(pixels.data(), w, h, comps, quality_, ProgressiveEncoding, &out, &size, message))
    throw EJPEG(message);
  data_.assign(reinterpret_cast<const char*>(out), size);
  std::free(out);
  header_width_ = w * Denominator(scale_);
  header_height_ = h * Denominator(scale_);
}

void TJPEGImage::SaveToStream(TStream* Stream) {
  if (data_.empty()) Compress();
  if (data_.empty()) return;
  Stream->WriteBuffer(data_.data(), static_cast<int>(data_.size()));
}

void TJPEGImage::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (auto* j = dynamic_cast<TJPEGImage*>(Source)) {
    data_ = j->data_;
    header_width_ = j->header_width_;
    header_height_ = j->header_height_;
    quality_ = j->quality_;
    grayscale_ = j->grayscale_;
    scale_ = j->scale_;
    performance_ = j->performance_;
    pixel_format_ = j->pixel_format_;
    bitmap_.reset();
    if (j->bitmap_ && j->data_.empty()) {
      bitmap_ = std::make_unique<TBitmap>();
      bitmap_->Assign(j->bitmap_.get());
    }
    Changed(this);
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    // Kept as pixels; encoded with CompressionQuality when saved.
    data_.clear();
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->Assign(b);
    header_width_ = b->Width();
    header_height_ = b->Height();
    scale_ = jsFullSize;
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TJPEGImage::Draw(TCanvas* ACanvas, const TRect& R) {
  TBitmap* b = Bitmap();
  if (!b->Empty()) ACanvas->StretchDraw(R, b);
}

HPALETTE TJPEGImage::Palette() { return bitmap_ ? bitmap_->Palette() : nullptr; }
