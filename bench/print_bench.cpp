// Printing throughput: pages of invoice-like content drawn on the virtual printer (PDF and
// PNG pages out) against a plain cairo program drawing the same into a PDF.
//
//   print_bench [pages] [dpi]      (default 100 pages, 600 dpi, 148 x 210 mm paper)
//
// Each page: 40 text runs, 10 lines and one 300 x 300 JPEG stretched into 30 x 30 mm; the
// JPEG is decoded on every page in both programs, as the print control does per item.
// Each side runs in its own child process, so the peak memory is its own.
#include <cairo-pdf.h>
#include <cairo.h>
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/graphics/jpeg.h"
#include "framework/graphics/printers.h"
#include "platform/base/codepage.h"
#include "platform/print/globalmem.h"

namespace {

constexpr int kTexts = 40, kLines = 10;
constexpr double kWidthMm = 148, kHeightMm = 210;
const char kText[] = "发票号码 No. 0012345678  金额 1,234.56";

std::string MakeJpeg() {
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

int Px(double mm, int dpi) { return static_cast<int>(static_cast<float>(mm / 25.4) * static_cast<float>(dpi)); }

void RunVirtualPrinter(const std::string& jpeg, int pages, int dpi) {
  TPrinter* p = Printer();
  AnsiString device, driver, port;
  HGLOBAL mode = nullptr;
  p->GetPrinter(device, driver, port, mode);
  auto* dm = static_cast<DEVMODEA*>(GlobalLock(mode));
  dm->dmPaperSize = DMPAPER_USER;
  dm->dmPaperWidth = static_cast<SHORT>(kWidthMm * 10);
  dm->dmPaperLength = static_cast<SHORT>(kHeightMm * 10);
  dm->dmPrintQuality = static_cast<SHORT>(dpi);
  dm->dmYResolution = static_cast<SHORT>(dpi);
  dm->dmFields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_PRINTQUALITY | DM_YRESOLUTION;
  ResetDCA(p->Handle(), dm);
  GlobalUnlock(mode);
  std::string text = kv::Utf8ToAnsi(kText);
  p->Title = "bench";
  p->BeginDoc();
  TCanvas* c = p->Canvas();
  c->Font()->SetSize(10);
  for (int page = 0; page < pages; ++page) {
    if (page) p->NewPage();
    for (int i = 0; i < kTexts; ++i) c->TextOut(Px(10, dpi), Px(10 + i * 4.5, dpi), text);
    c->Pen()->SetWidth(2);
    for (int i = 0; i < kLines; ++i) {
      c->MoveTo(Px(10, dpi), Px(12 + i * 18, dpi));
      c->LineTo(Px(138, dpi), Px(12 + i * 18, dpi));
    }
    TStringStream s(jpeg);
    TJPEGImage image;
    image.LoadFromStream(&s);
    int l = Px(100, dpi), t = Px(20, dpi);
    c->StretchDraw(Rect(l, t, l + Px(30, dpi), t + Px(30, dpi)), &image);
  }
  p->EndDoc();
}

// The peer: cairo alone, device pixels scaled to points as the printer's PDF does.
void RunPlainCairo(const std::string& jpeg, int pages, int dpi, const std::string& path) {
  double wPt = kWidthMm / 25.4 * 72, hPt = kHeightMm / 25.4 * 72;
  cairo_surface_t* pdf = cairo_pdf_surface_create(path.c_str(), wPt, hPt);
  cairo_t* cr = cairo_create(pdf);
  cairo_select_font_face(cr, "WenQuanYi Zen Hei", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  for (int page = 0; page < pages; ++page) {
    cairo_save(cr);
    cairo_scale(cr, 72.0 / dpi, 72.0 / dpi);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, 10.0 * dpi / 72);
    for (int i = 0; i < kTexts; ++i) {
      cairo_move_to(cr, Px(10, dpi), Px(10 + i * 4.5, dpi) + 10.0 * dpi / 72 * 0.88);
      cairo_show_text(cr, kText);
    }
    cairo_set_line_width(cr, 2);
    for (int i = 0; i < kLines; ++i) {
      cairo_move_to(cr, Px(10, dpi), Px(12 + i * 18, dpi) + 0.5);
      cairo_line_to(cr, Px(138, dpi), Px(12 + i * 18, dpi) + 0.5);
    }
    cairo_stroke(cr);
    // Decode the JPEG into an image surface.
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

struct Result {
  double seconds = 0;
  long peakKb = 0;
  bool ok = false;
};

// Runs `work` in a child; its wall time comes back through a pipe, its peak RSS from wait4.
template <typename F>
Result InChild(F work) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    auto t0 = std::chrono::steady_clock::now();
    work();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ssize_t n = write(fds[1], &s, sizeof s);
    _exit(n == sizeof s ? 0 : 1);
  }
  close(fds[1]);
  Result r;
  ssize_t n = read(fds[0], &r.seconds, sizeof r.seconds);
  close(fds[0]);
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  r.peakKb = ru.ru_maxrss;
  r.ok = n == sizeof r.seconds && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  int pages = argc > 1 ? std::atoi(argv[1]) : 100;
  int dpi = argc > 2 ? std::atoi(argv[2]) : 600;
  if (pages < 1 || dpi < 72 || dpi > 1200) {
    std::fprintf(stderr, "usage: print_bench [pages >= 1] [dpi 72..1200]\n");
    return 2;
  }
  char tmpl[] = "/tmp/print_bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::string dir = tmpl;
  setenv("KORVANE_HOME", dir.c_str(), 1);
  setenv("KORVANE_PRINT_CUPS", "0", 1);
  std::string jpeg = MakeJpeg();

  Result ours = InChild([&] { RunVirtualPrinter(jpeg, pages, dpi); });
  Result peer = InChild([&] { RunPlainCairo(jpeg, pages, dpi, dir + "/peer.pdf"); });
  std::uintmax_t pngBytes = 0, pdfBytes = 0;
  for (auto& e : std::filesystem::directory_iterator(dir + "/print")) {
    if (e.path().extension() == ".png") pngBytes += e.file_size();
    if (e.path().extension() == ".pdf") pdfBytes += e.file_size();
  }
  std::uintmax_t peerBytes = std::filesystem::exists(dir + "/peer.pdf") ? std::filesystem::file_size(dir + "/peer.pdf") : 0;
  std::filesystem::remove_all(dir);
  if (!ours.ok || !peer.ok) {
    std::fprintf(stderr, "print_bench: a run failed\n");
    return 1;
  }
  std::printf("pages: %d of %.0f x %.0f mm at %d dpi; each %d text runs, %d lines, one 300x300 JPEG\n", pages,
              kWidthMm, kHeightMm, dpi, kTexts, kLines);
  std::printf("virtual printer (PDF + PNG pages): %8.3f s  %7.2f pages/s  peak RSS %7.1f MB  PDF %.1f KB, PNG %.1f KB\n",
              ours.seconds, pages / ours.seconds, ours.peakKb / 1024.0, pdfBytes / 1024.0, pngBytes / 1024.0);
  std::printf("plain cairo (PDF only)           : %8.3f s  %7.2f pages/s  peak RSS %7.1f MB  PDF %.1f KB\n",
              peer.seconds, pages / peer.seconds, peer.peakKb / 1024.0, peerBytes / 1024.0);
  std::printf("ratio virtual printer / plain cairo: time %.2f, peak memory %.2f\n", ours.seconds / peer.seconds,
              static_cast<double>(ours.peakKb) / static_cast<double>(peer.peakKb));
  return 0;
}
