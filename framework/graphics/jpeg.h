// TJPEGImage: a JPEG file as a graphic, decoded and encoded with libjpeg.
#pragma once

#include <memory>
#include <string>

#include "framework/graphics/graphics.h"

// The library's error message, as the library words it.
KV_EXCEPTION(EJPEG, EInvalidGraphic);

enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPixelFormat { jf24Bit, jf8Bit };

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;
  KV_CLASS_NAME(TJPEGImage)

  bool Empty() const override;
  // The decoded size (after Scale).
  int Width() const override;
  int Height() const override;
  // A JPEG's size comes from its data: EJPEG "Cannot change the size of a JPEG image".
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;

  // 1..100, used when the image is encoded from a bitmap (default 90).
  int CompressionQuality() const { return quality_; }
  void SetCompressionQuality(int Value);
  bool Grayscale() const { return grayscale_; }
  void SetGrayscale(bool Value);
  TJPEGScale Scale() const { return scale_; }
  void SetScale(TJPEGScale Value);
  TJPEGPerformance Performance() const { return performance_; }
  void SetPerformance(TJPEGPerformance Value);
  TJPEGPixelFormat PixelFormat() const { return pixel_format_; }
  void SetPixelFormat(TJPEGPixelFormat Value);
  bool ProgressiveEncoding = false;

  // Reads the rest of the stream as a JPEG file (EJPEG when its header is not valid).
  void LoadFromStream(TStream* Stream) override;
  // Writes the JPEG file; an image assigned from a bitmap is encoded first.
  void SaveToStream(TStream* Stream) override;
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  HPALETTE Palette() override;

  // Decodes now (otherwise the first draw does it).
  void DIBNeeded();
  // Encodes now from the bitmap.
  void Compress();
  // The decoded picture (owned by the image).
  TBitmap* Bitmap();

 private:
  void FreeBitmap();
  std::string data_;                 // the JPEG file
  std::unique_ptr<TBitmap> bitmap_;  // decoded (or assigned) pixels
  int header_width_ = 0, header_height_ = 0;
  int quality_ = 90;
  bool grayscale_ = false;
  TJPEGScale scale_ = jsFullSize;
  TJPEGPerformance performance_ = jpBestQuality;
  TJPEGPixelFormat pixel_format_ = jf24Bit;
};
