// Printing throughput: pages of invoice-like content drawn on the virtual printer against
// a plain cairo program drawing the same into a PDF. Rows: the printer without page
// rasters (PDF only), with them (PDF and a PNG per page), and with them for half the pages
// (cost per page stays).
//
//   print_bench [pages] [dpi]      (default 100 pages, 600 dpi, 148 x 210 mm paper)
//
// Each page: 40 text runs, 10 lines and one 300 x 300 JPEG stretched into 30 x 30 mm; the
// JPEG is decoded on every page in both programs, as the print control does per item.
// Each side runs in its own child process, so the peak memory is its own.
#include <algorithm>
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

  std::printf("pages: %d of %.0f x %.0f mm at %d dpi; each %d text runs, %d lines, one 300x300 JPEG\n", pages, kWidthMm,
              kHeightMm, dpi, kTexts, kLines);
  struct Row {
    const char* label;
    int pages;
    bool rasters;
  };
  double perPage[2] = {0, 0};
  const int half = std::max(1, pages / 2);
  for (Row row : {Row{"rasters off", pages, false}, Row{"rasters on", pages, true}, Row{"rasters on", half, true}}) {
    Result peer = InChild([&] {
      RunPlainCairo(jpeg, row.pages, dpi, kTextStepMm, dir + "/peer.pdf");
      return 0;
    });
    std::filesystem::remove(dir + "/peer.pdf");
    Result ours = InChild([&] {
      setenv("KORVANE_PRINT_RASTERS", row.rasters ? "1" : "0", 1);
      RunVirtualPrinter(jpeg, row.pages, dpi);
      return 0;
    });
    auto [pdfKb, pngKb] = OutputKb(dir + "/print");
    if (!ours.ok || !peer.ok) {
      std::fprintf(stderr, "print_bench: a run failed\n");
      std::filesystem::remove_all(dir);
      return 1;
    }
    char label[64];
    std::snprintf(label, sizeof label, "%s, %d p", row.label, row.pages);
    PrintRow(label, row.pages, ours, peer, pdfKb, pngKb);
    if (row.rasters) perPage[row.pages == pages ? 0 : 1] = ours.seconds / row.pages;
  }
  std::filesystem::remove_all(dir);
  std::printf("rasters on: time per page at %d pages / at %d pages: %.3f\n", pages, half, perPage[0] / perPage[1]);
  return 0;
}
