// Printing throughput: pages of invoice-like content drawn on the virtual printer (PDF and
// PNG pages out) against a plain cairo program drawing the same into a PDF.
//
//   print_bench [pages] [dpi]      (default 100 pages, 600 dpi, 148 x 210 mm paper)
//
// Each page: 40 text runs, 10 lines and one 300 x 300 JPEG stretched into 30 x 30 mm; the
// JPEG is decoded on every page in both programs, as the print control does per item.
// Each side runs in its own child process, so the peak memory is its own.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/invoice_page.h"
#include "framework/graphics/printers.h"
#include "platform/base/codepage.h"
#include "platform/base/global_memory.h"

namespace {

using namespace bench;

constexpr double kTextStepMm = 4.5;

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
    for (int i = 0; i < kTexts; ++i) c->TextOut(Px(10, dpi), Px(TextRowMm(i, kTextStepMm), dpi), text);
    c->Pen()->SetWidth(2);
    for (int i = 0; i < kLines; ++i) {
      c->MoveTo(Px(10, dpi), Px(LineRowMm(i), dpi));
      c->LineTo(Px(138, dpi), Px(LineRowMm(i), dpi));
    }
    TStringStream s(jpeg);
    TJPEGImage image;
    image.LoadFromStream(&s);
    int l = Px(100, dpi), t = Px(20, dpi);
    c->StretchDraw(Rect(l, t, l + Px(30, dpi), t + Px(30, dpi)), &image);
  }
  p->EndDoc();
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

  Result ours = InChild([&] {
    RunVirtualPrinter(jpeg, pages, dpi);
    return 0;
  });
  Result peer = InChild([&] {
    RunPlainCairo(jpeg, pages, dpi, kTextStepMm, dir + "/peer.pdf");
    return 0;
  });
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
  std::printf("virtual printer (PDF + PNG pages): %8.3f s (cpu %7.3f s)  %7.2f pages/s  peak RSS %7.1f MB  PDF %.1f KB, PNG %.1f KB\n",
              ours.seconds, ours.cpu_seconds, pages / ours.seconds, ours.peak_kb / 1024.0, pdfBytes / 1024.0,
              pngBytes / 1024.0);
  std::printf("plain cairo (PDF only)           : %8.3f s (cpu %7.3f s)  %7.2f pages/s  peak RSS %7.1f MB  PDF %.1f KB\n",
              peer.seconds, peer.cpu_seconds, pages / peer.seconds, peer.peak_kb / 1024.0, peerBytes / 1024.0);
  std::printf("ratio virtual printer / plain cairo: time %.2f, cpu %.2f, peak memory %.2f\n", ours.seconds / peer.seconds,
              ours.cpu_seconds / peer.cpu_seconds, static_cast<double>(ours.peak_kb) / static_cast<double>(peer.peak_kb));
  return 0;
}
