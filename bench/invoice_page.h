// What the printing benchmarks share: the invoice-like page (40 text runs, 10 lines and
// one 300 x 300 JPEG stretched into 30 x 30 mm on 148 x 210 mm paper), the plain cairo
// program that draws it as the peer, and a child-process runner for time and peak memory.
#pragma once

#include <cairo-pdf.h>
#include <cairo.h>
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <utility>
#include <string>

#include "bench/child.h"
#include "framework/graphics/jpeg.h"

namespace bench {

constexpr int kTexts = 40, kLines = 10;
constexpr double kWidthMm = 148, kHeightMm = 210;
inline const char kText[] = "发票号码 No. 0012345678  金额 1,234.56";

// Text row i at 10 + i * step mm; line i at 12 + i * 18 mm, from 10 to 138 mm.
inline double TextRowMm(int i, double step) { return 10 + i * step; }
inline double LineRowMm(int i) { return 12 + i * 18; }

inline int Px(double mm, int dpi) { return static_cast<int>(static_cast<float>(mm / 25.4) * static_cast<float>(dpi)); }

// A 300 x 300 colour gradient as a JPEG file image.
inline std::string MakeJpeg() {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(300, 300);
  for (int y = 0; y < 300; ++y) {
    auto* row = static_cast<unsigned char*>(b.ScanLine(y));
    for (int x = 0; x < 300; ++x) {
      row[3 * x] = static_cast<unsigned char>(x * 255 / 300);
      row[3 * x + 1] = static_cast<unsigned char>((x ^ y) & 0xFF);
      row[3 * x + 2] = static_cast<unsigned char>(y * 255 / 300);
    }
  }
  TJPEGImage j;
  j.Assign(&b);
  j.SetCompressionQuality(85);
  TStringStream s;
  j.SaveToStream(&s);
  return s.DataString();
}

// The peer: cairo alone, device pixels scaled to points as the printer's PDF does; the
// JPEG is decoded on every page, as the print control does per item.
inline void RunPlainCairo(const std::string& jpeg, int pages, int dpi, double text_step_mm, const std::string& path) {
  cairo_surface_t* pdf = cairo_pdf_surface_create(path.c_str(), kWidthMm / 25.4 * 72, kHeightMm / 25.4 * 72);
  cairo_t* cr = cairo_create(pdf);
  cairo_select_font_face(cr, "WenQuanYi Zen Hei", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  for (int page = 0; page < pages; ++page) {
    cairo_save(cr);
    cairo_scale(cr, 72.0 / dpi, 72.0 / dpi);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, 10.0 * dpi / 72);
    for (int i = 0; i < kTexts; ++i) {
      cairo_move_to(cr, Px(10, dpi), Px(TextRowMm(i, text_step_mm), dpi) + 10.0 * dpi / 72 * 0.88);
      cairo_show_text(cr, kText);
    }
    cairo_set_line_width(cr, 2);
    for (int i = 0; i < kLines; ++i) {
      cairo_move_to(cr, Px(10, dpi), Px(LineRowMm(i), dpi) + 0.5);
      cairo_line_to(cr, Px(138, dpi), Px(LineRowMm(i), dpi) + 0.5);
    }
    cairo_stroke(cr);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(cinfo.output_width),
                                                      static_cast<int>(cinfo.output_height));
    unsigned char* data = cairo_image_surface_get_data(img);
    int stride = cairo_image_surface_get_stride(img);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = data + static_cast<size_t>(cinfo.output_scanline) * stride;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    cairo_surface_mark_dirty(img);
    int l = Px(100, dpi), t = Px(20, dpi), side = Px(30, dpi);
    cairo_translate(cr, l, t);
    cairo_scale(cr, static_cast<double>(side) / 300, static_cast<double>(side) / 300);
    cairo_set_source_surface(cr, img, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(img);
    cairo_restore(cr);
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_finish(pdf);
  cairo_surface_destroy(pdf);
}

// One row of a benchmark: our side against the plain cairo program run just before it.
inline void PrintRow(const char* label, int pages, const Result& ours, const Result& peer, double pdfKb, double pngKb) {
  std::printf(
      "%-12s ours %7.3f s  %6.1f ms/page  peak %6.1f MB | plain cairo %6.3f s  peak %5.1f MB | "
      "ratio time %5.2f  memory %5.2f  (PDF %.0f KB, PNG %.0f KB)\n",
      label, ours.seconds, 1000 * ours.seconds / pages, ours.peak_kb / 1024.0, peer.seconds, peer.peak_kb / 1024.0,
      ours.seconds / peer.seconds, static_cast<double>(ours.peak_kb) / static_cast<double>(peer.peak_kb), pdfKb, pngKb);
}

// Bytes of the PDF and PNG files in a folder, in KB; the folder is emptied.
inline std::pair<double, double> OutputKb(const std::string& dir) {
  std::uintmax_t pdf = 0, png = 0;
  if (std::filesystem::exists(dir))
    for (auto& e : std::filesystem::directory_iterator(dir)) {
      if (e.path().extension() == ".png") png += e.file_size();
      if (e.path().extension() == ".pdf") pdf += e.file_size();
    }
  std::filesystem::remove_all(dir);
  return {pdf / 1024.0, png / 1024.0};
}

}  // namespace bench
