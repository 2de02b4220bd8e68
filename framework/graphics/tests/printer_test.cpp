// The printer object, the print dialog, and a whole page on the virtual printer checked
// in its PNG and in its PDF rendered back.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "framework/graphics/jpeg.h"
#include "framework/graphics/printers.h"
#include "platform/base/codepage.h"
#include "platform/base/global_memory.h"
#include "testsupport/temp_home.h"

namespace {

class PrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KORVANE_PRINT_CUPS", "0", 1);
    KvPrintInjectFailure(0);
    setenv("KORVANE_PRINT_RASTERS", "1", 1);  // the tests look at the page pixels
    KvPrintClearDocuments();
    KvPrintDialogClearScript();
    SetPrinter(new TPrinter);  // a fresh printer object for each test
  }
  void TearDown() override {
    SetPrinter(nullptr);
    KvPrintInjectFailure(0);
    KvPrintDialogClearScript();
    unsetenv("KORVANE_PRINT_RASTERS");
  }
  kvtest::TempHome home_;
};

// The print control's road: mm -> device pixels through 32-bit floats.
int Pixels(int mm, int dpi) {
  float t = static_cast<float>(mm) / 25.4f;
  float p = t * static_cast<float>(dpi);
  return static_cast<int>(p);
}

// Sets a user-defined paper on the printer's device mode and resets the DC with it.
void UserPaper(TPrinter* p, SHORT widthTenths, SHORT lengthTenths) {
  AnsiString device, driver, port;
  HGLOBAL mode = nullptr;
  p->SetPrinterIndex(p->PrinterIndex());
  p->GetPrinter(device, driver, port, mode);
  auto* dm = static_cast<DEVMODEA*>(GlobalLock(mode));
  dm->dmPaperSize = DMPAPER_USER;
  dm->dmPaperLength = lengthTenths;
  dm->dmPaperWidth = widthTenths;
  dm->dmFields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
  ResetDCA(p->Handle(), dm);
  GlobalUnlock(mode);
  p->SetPrinterIndex(p->PrinterIndex());
}

// A 32-bit image read back from a PNG file.
struct Image {
  cairo_surface_t* s = nullptr;
  explicit Image(const std::string& path) : s(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Image() { cairo_surface_destroy(s); }
  bool ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(s); }
  int height() const { return cairo_image_surface_get_height(s); }
  uint32_t at(int x, int y) const {
    auto* d = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    return *reinterpret_cast<const uint32_t*>(d + static_cast<size_t>(y) * stride + x * 4) & 0xFFFFFF;
  }
  // Pixels darker than light grey within [x0, x1) x [y0, y1).
  int ink(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(height(), y1); ++y)
      for (int x = std::max(0, x0); x < std::min(width(), x1); ++x) {
        uint32_t p = at(x, y);
        if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 160) ++n;
      }
    return n;
  }
  bool reddish(int x, int y) const {
    uint32_t p = at(x, y);
    return ((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80;
  }
};

// Checks the must-show page on an image of the page at `dpi`.
void CheckPage(const Image& img, int dpi) {
  auto px = [&](int mm) { return Pixels(mm, dpi); };
  // "发票" in 12 points at (20 mm, 15 mm): ink inside its cell, none left of or above it.
  int cell = 12 * dpi / 72;
  EXPECT_GT(img.ink(px(20), px(15), px(20) + 2 * cell + cell / 2, px(15) + cell + cell / 4), 20 * dpi / 150);
  EXPECT_EQ(img.ink(0, 0, px(20) - 2, px(15) + cell), 0);
  EXPECT_EQ(img.ink(px(20), 0, px(20) + 2 * cell, px(15) - 2), 0);
  // The dotted 3-pixel line from (20, 60) to (120, 60): ink along it with gaps between
  // the dots, none beside it.
  int y = px(60);
  for (int mm = 25; mm < 120; mm += 10) EXPECT_GT(img.ink(px(mm), y - 3, px(mm + 2), y + 4), 0) << mm;
  int inked_columns = 0;
  for (int x = px(30); x < px(30) + 120; ++x) inked_columns += img.ink(x, y - 3, x + 1, y + 4) > 0;
  EXPECT_GT(inked_columns, 30);
  EXPECT_LT(inked_columns, 90);
  EXPECT_EQ(img.ink(px(20), y + 8, px(120), y + 30), 0);
  EXPECT_EQ(img.ink(px(20), y - 30, px(120), y - 8), 0);
  EXPECT_EQ(img.ink(px(121), y - 3, px(130), y + 4), 0);
  // The JPEG in the 30 x 30 mm rectangle at (100, 20).
  int l = px(100), t = px(20), r = l + px(30), b = t + px(30);
  EXPECT_TRUE(img.reddish((l + r) / 2, (t + b) / 2));
  EXPECT_TRUE(img.reddish(l + 3, t + 3));
  EXPECT_TRUE(img.reddish(r - 4, b - 4));
  EXPECT_EQ(img.at(r + 4, (t + b) / 2), 0xFFFFFFu);
  EXPECT_EQ(img.at((l + r) / 2, b + 4), 0xFFFFFFu);
}

TEST_F(PrinterTest, InvoicePageOnTheVirtualPrinter) {
  TPrinter* p = Printer();
  UserPaper(p, 1480, 2100);
  p->Title = "invoice";
  p->BeginDoc();
  EXPECT_TRUE(p->Printing());
  EXPECT_EQ(p->PageWidth(), 3496);
  EXPECT_EQ(p->PageHeight(), 4960);
  TCanvas* c = p->Canvas();
  EXPECT_EQ(c->Font()->PixelsPerInch(), 600);
  c->Font()->SetSize(12);
  EXPECT_EQ(c->Font()->Height(), -100);
  c->TextOut(Pixels(20, 600), Pixels(15, 600), kv::Utf8ToAnsi("发票"));
  c->Pen()->SetStyle(psDot);
  c->Pen()->SetWidth(3);
  c->MoveTo(Pixels(20, 600), Pixels(60, 600));
  c->LineTo(Pixels(120, 600), Pixels(60, 600));

  std::unique_ptr<TBitmap> red(new TBitmap);
  red->SetPixelFormat(pf24bit);
  red->SetSize(300, 300);
  red->Canvas()->Brush()->SetColor(clRed);
  red->Canvas()->FillRect(Rect(0, 0, 300, 300));
  TJPEGImage jpeg;
  jpeg.Assign(red.get());
  TMemoryStream s;
  jpeg.SaveToStream(&s);
  s.SetPosition(0);
  TJPEGImage loaded;
  loaded.LoadFromStream(&s);
  int l = Pixels(100, 600), t = Pixels(20, 600);
  c->StretchDraw(Rect(l, t, l + Pixels(30, 600), t + Pixels(30, 600)), &loaded);
  p->EndDoc();
  EXPECT_FALSE(p->Printing());

  KvPrintDocument doc{};
  ASSERT_TRUE(KvPrintLastDocument(0, &doc));
  EXPECT_EQ(doc.pages, 1u);
  EXPECT_NEAR(doc.pdfWidthPt, 148 / 25.4 * 72, 0.01);
  EXPECT_NEAR(doc.pdfHeightPt, 210 / 25.4 * 72, 0.01);
  char png[1100];
  std::snprintf(png, sizeof png, doc.pngPattern, 1u);
  Image page(png);
  ASSERT_TRUE(page.ok());
  EXPECT_EQ(page.width(), 3496);
  EXPECT_EQ(page.height(), 4960);
  CheckPage(page, 600);

  // The PDF, rendered back at the device's resolution, has the same ink in the same places.
  if (std::system("command -v pdftoppm > /dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm is not installed";
  std::string out = home_ / "back";
  std::string cmd =
      "pdftoppm -r 600 -aa no -aaVector no -png -singlefile '" + std::string(doc.pdfPath) + "' '" + out + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  Image back(out + ".png");
  ASSERT_TRUE(back.ok());
  EXPECT_NEAR(back.width(), 3496, 1);
  EXPECT_NEAR(back.height(), 4960, 1);
  CheckPage(back, 600);
}

TEST_F(PrinterTest, PrinterListIndexAndDeviceMode) {
  TPrinter* p = Printer();
  ASSERT_EQ(p->Printers()->Count(), 1);
  EXPECT_EQ(p->Printers()->Strings(0), "Korvane Virtual Printer");
  EXPECT_EQ(p->PrinterIndex(), 0);
  EXPECT_THROW(p->SetPrinterIndex(1), EPrinter);
  AnsiString device, driver, port;
  HGLOBAL mode = nullptr;
  p->GetPrinter(device, driver, port, mode);
  EXPECT_EQ(device, "Korvane Virtual Printer");
  EXPECT_EQ(port, "FILE:");
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(static_cast<DEVMODEA*>(GlobalLock(mode))->dmPaperSize, DMPAPER_A4);
  GlobalUnlock(mode);
  EXPECT_EQ(p->Orientation(), poPortrait);
  p->SetOrientation(poLandscape);
  EXPECT_EQ(p->PageWidth(), 7015);
  p->SetCopies(2);
  EXPECT_EQ(p->Copies(), 2);

  // SetPrinter takes a device mode of the caller's, which the printer object owns from then on.
  p->GetPrinter(device, driver, port, mode);
  const auto* cur = static_cast<const DEVMODEA*>(GlobalLock(mode));
  HGLOBAL own = GlobalAlloc(GHND, cur->dmSize + cur->dmDriverExtra);
  auto* dm = static_cast<DEVMODEA*>(GlobalLock(own));
  std::memcpy(dm, cur, cur->dmSize + cur->dmDriverExtra);
  GlobalUnlock(mode);
  dm->dmOrientation = DMORIENT_PORTRAIT;
  GlobalUnlock(own);
  p->SetPrinter(device, driver, port, own);
  EXPECT_EQ(p->Orientation(), poPortrait);
  EXPECT_EQ(p->PageWidth(), 4960);
  HGLOBAL mine = nullptr;
  p->GetPrinter(device, driver, port, mine);
  EXPECT_EQ(mine, own);
  EXPECT_THROW(p->SetPrinter("No Such Printer", driver, port, nullptr), EPrinter);
  EXPECT_EQ(p->PrinterIndex(), 0);
}

TEST_F(PrinterTest, SpoolerRefusalsBecomeExceptions) {
  TPrinter* p = Printer();
  KvPrintInjectFailure(KV_PRINT_FAIL_STARTDOC);
  EXPECT_THROW(p->BeginDoc(), EPrinter);
  EXPECT_FALSE(p->Printing());
  KvPrintInjectFailure(0);

  p->BeginDoc();
  EXPECT_THROW(p->BeginDoc(), EPrinter);  // printing in progress
  p->Canvas()->TextOut(10, 10, "x");
  KvPrintInjectFailure(KV_PRINT_FAIL_ENDDOC);
  EXPECT_THROW(p->EndDoc(), EPrinter);
  EXPECT_FALSE(p->Printing());
  KvPrintInjectFailure(0);

  p->BeginDoc();
  p->NewPage();
  EXPECT_EQ(p->PageNumber(), 2);
  p->Abort();
  EXPECT_TRUE(p->Aborted());
  EXPECT_FALSE(p->Printing());
  KvPrintDocument doc{};
  ASSERT_TRUE(KvPrintLastDocument(0, &doc));
  EXPECT_TRUE(doc.aborted);

  SetPrinter(new TPrinter);
  KvPrintInjectFailure(KV_PRINT_FAIL_NO_PRINTER);
  EXPECT_EQ(Printer()->Printers()->Count(), 0);
  EXPECT_THROW(Printer()->BeginDoc(), EPrinter);
}

TEST_F(PrinterTest, PrintDialogAppliesTheChoice) {
  TPrintDialog dialog(nullptr);
  KvPrintDialogScript(KV_PRINT_DIALOG_OK, "Korvane Virtual Printer", 4, 0);
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.Copies, 4);
  EXPECT_EQ(Printer()->Copies(), 4);
  KvPrintDialogScript(KV_PRINT_DIALOG_CANCEL, nullptr, 0, 0);
  EXPECT_FALSE(dialog.Execute());
  KvPrintDialogScript(KV_PRINT_DIALOG_FAIL, nullptr, 0, CDERR_INITIALIZATION);
  EXPECT_THROW(dialog.Execute(), EPrinter);
  EXPECT_EQ(KvPrintDialogShownCount(), 3u);
  EXPECT_EQ(Printer()->Copies(), 4);  // Cancel and failure leave the choice as it was
}

}  // namespace
