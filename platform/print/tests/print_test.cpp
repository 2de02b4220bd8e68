// Printers, device modes, documents and their files, and the print dialog.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/global_memory.h"
#include "platform/gdi/engine.h"
#include "platform/gdi/gdi.h"
#include "platform/print/print.h"
#include "platform/registry/registry.h"
#include "testsupport/temp_home.h"

namespace {

class PrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KORVANE_PRINT_CUPS", "0", 1);
    unsetenv("KORVANE_PRINT_DIR");
    setenv("KORVANE_PRINT_RASTERS", "1", 1);  // the tests look at the page pixels
    KvPrintInjectFailure(0);
    KvPrintClearDocuments();
    KvPrintDialogClearScript();
    KvPrintRefresh();
    KvRegistryReload();  // the registry of this test's home
  }
  void TearDown() override {
    KvPrintInjectFailure(0);
    KvPrintDialogClearScript();
    unsetenv("KORVANE_PRINT_CUPS");
    unsetenv("KORVANE_PRINT_RASTERS");
  }
  std::string OutDir() const { return home_.path() + "/print/"; }
  kvtest::TempHome home_;
};

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Width and height from a PNG's IHDR chunk.
std::pair<int, int> PngSize(const std::string& path) {
  std::string d = Slurp(path);
  if (d.size() < 24 || d.compare(1, 3, "PNG") != 0) return {-1, -1};
  auto be = [&](size_t o) {
    return (static_cast<unsigned char>(d[o]) << 24) | (static_cast<unsigned char>(d[o + 1]) << 16) |
           (static_cast<unsigned char>(d[o + 2]) << 8) | static_cast<unsigned char>(d[o + 3]);
  };
  return {static_cast<int>(be(16)), static_cast<int>(be(20))};
}

// The samples of a PNG page (filter byte and RGB per row), inflated from its IDAT chunks
// with every chunk CRC and the stream's checksum verified; empty when anything is wrong.
std::string PngSamples(const std::string& path) {
  std::string d = Slurp(path), z;
  auto be = [&](size_t o) {
    return uint32_t(static_cast<unsigned char>(d[o])) << 24 | uint32_t(static_cast<unsigned char>(d[o + 1])) << 16 |
           uint32_t(static_cast<unsigned char>(d[o + 2])) << 8 | uint32_t(static_cast<unsigned char>(d[o + 3]));
  };
  for (size_t at = 8; at + 12 <= d.size();) {
    uint32_t n = be(at);
    if (at + 12 + n > d.size()) return {};
    const auto* type = reinterpret_cast<const Bytef*>(d.data() + at + 4);
    if (crc32(0, type, 4 + n) != be(at + 8 + n)) return {};
    if (d.compare(at + 4, 4, "IDAT") == 0) z.append(d, at + 8, n);
    at += 12 + n;
  }
  z_stream s{};
  if (inflateInit(&s) != Z_OK) return {};
  std::string out(size_t(64) << 20, '\0');
  s.next_in = reinterpret_cast<Bytef*>(z.data());
  s.avail_in = static_cast<uInt>(z.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  int rc = inflate(&s, Z_FINISH);
  out.resize(s.total_out);
  inflateEnd(&s);
  return rc == Z_STREAM_END && s.avail_in == 0 ? out : std::string();
}

std::string DefaultName() {
  char name[256];
  DWORD n = sizeof name;
  EXPECT_TRUE(GetDefaultPrinterA(name, &n));
  return name;
}

// ---- Printers ------------------------------------------------------------------------------

TEST_F(PrintTest, VirtualPrinterIsListedAndDefault) {
  std::string name = DefaultName();
  EXPECT_EQ(name, "Korvane Virtual Printer");
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, 0u);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, buf.data(), needed, &needed, &count));
  ASSERT_EQ(count, 1u);
  EXPECT_STREQ(reinterpret_cast<PRINTER_INFO_4A*>(buf.data())->pPrinterName, name.c_str());
  EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 3, buf.data(), needed, &needed, &count));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_F(PrintTest, Level2InformationCarriesPortDriverAndDeviceMode) {
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(kv::AnsiToWide(DefaultName()).c_str(), &h, nullptr));
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), needed, &needed));
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  EXPECT_EQ(std::u16string(info->pPortName), u"FILE:");
  EXPECT_FALSE(std::u16string(info->pDriverName).empty());
  ASSERT_NE(info->pDevMode, nullptr);
  EXPECT_EQ(info->pDevMode->dmSize, sizeof(DEVMODEW));
  EXPECT_EQ(info->pDevMode->dmPaperSize, DMPAPER_A4);
  EXPECT_EQ(info->pDevMode->dmPrintQuality, 600);
  EXPECT_EQ(info->pDevMode->dmYResolution, 600);
  // Every pointer lies inside the caller's buffer.
  auto inside = [&](const void* p) { return p >= buf.data() && p < buf.data() + buf.size(); };
  EXPECT_TRUE(inside(info->pPrinterName) && inside(info->pPortName) && inside(info->pDevMode));
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(ClosePrinter(h));
}

TEST_F(PrintTest, UnknownNamesAndNoPrinter) {
  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterA("No Such Printer", &h, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  EXPECT_EQ(CreateDCA("WINSPOOL", "No Such Printer", nullptr, nullptr), nullptr);

  KvPrintInjectFailure(KV_PRINT_FAIL_NO_PRINTER);
  char name[64];
  DWORD n = sizeof name;
  EXPECT_FALSE(GetDefaultPrinterA(name, &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  DWORD needed = 0, count = 7;
  EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(count, 0u);
  PRINTDLGA pd{};
  pd.lStructSize = sizeof pd;
  EXPECT_FALSE(PrintDlgA(&pd));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(PDERR_NODEFAULTPRN));
}

TEST_F(PrintTest, ConfigurationFromEnvironmentAndRegistry) {
  setenv("KORVANE_PRINT_DPIX", "300", 1);
  setenv("KORVANE_PRINT_DPIY", "9999", 1);  // out of range: follows the horizontal value
  HDC dc = CreateDCA("WINSPOOL", DefaultName().c_str(), nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 300);
  DeleteDC(dc);
  unsetenv("KORVANE_PRINT_DPIX");
  unsetenv("KORVANE_PRINT_DPIY");

  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Korvane\\Print", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  DWORD dpiY = 200;
  const char name[] = "Invoice Writer";
  RegSetValueExA(key, "DpiY", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpiY), sizeof dpiY);
  RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
  RegCloseKey(key);
  EXPECT_EQ(DefaultName(), "Invoice Writer");
  dc = CreateDCA("WINSPOOL", "Invoice Writer", nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 600);  // the two axes may differ
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 200);
  DeleteDC(dc);
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Korvane\\Print");
}

TEST_F(PrintTest, CupsServerThatDoesNotAnswerLeavesTheVirtualPrinter) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);  // nobody listens on this port now
  std::string server = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  setenv("KORVANE_PRINT_CUPS", "1", 1);
  setenv("KORVANE_PRINT_CUPSSERVER", server.c_str(), 1);
  KvPrintRefresh();
  DWORD needed = 0, count = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, buf.data(), needed, &needed, &count));
  EXPECT_EQ(count, 1u);
  unsetenv("KORVANE_PRINT_CUPSSERVER");
  KvPrintRefresh();
}

// ---- Device modes ----------------------------------------------------------------------------

TEST_F(PrintTest, DocumentPropertiesMergesOnlyMarkedValidFields) {
  std::string name = DefaultName();
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterA(name.c_str(), &h, nullptr));
  LONG size = DocumentPropertiesA(nullptr, h, name.data(), nullptr, nullptr, 0);
  EXPECT_EQ(size, static_cast<LONG>(sizeof(DEVMODEA)));
  DEVMODEA dm{};
  ASSERT_EQ(DocumentPropertiesA(nullptr, h, name.data(), &dm, nullptr, DM_OUT_BUFFER), IDOK);
  EXPECT_STREQ(reinterpret_cast<const char*>(dm.dmDeviceName), name.c_str());

  struct Case {
    DWORD fields;
    SHORT size, width, length, orientation;
    SHORT wantSize, wantWidth, wantLength, wantOrientation;
  };
  const Case cases[] = {
      // user paper from length and width
      {DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH, DMPAPER_USER, 1480, 2100, 1, DMPAPER_USER, 1480, 2100, 1},
      // a size code alone brings its dimensions
      {DM_PAPERSIZE, DMPAPER_A5, 0, 0, 1, DMPAPER_A5, 1480, 2100, 1},
      // values without their field bit are ignored
      {0, DMPAPER_A5, 1000, 1000, 2, DMPAPER_A4, 2100, 2970, 1},
      // invalid values are ignored
      {DM_PAPERSIZE | DM_ORIENTATION | DM_PAPERLENGTH, 4711, 0, -5, 9, DMPAPER_A4, 2100, 2970, 1},
      // explicit dimensions override a code
      {DM_PAPERSIZE | DM_PAPERWIDTH, DMPAPER_A4, 1000, 0, 2, DMPAPER_USER, 1000, 2970, 1},
  };
  for (const Case& c : cases) {
    DEVMODEA in = dm;
    in.dmFields = c.fields;
    in.dmPaperSize = c.size;
    in.dmPaperWidth = c.width;
    in.dmPaperLength = c.length;
    in.dmOrientation = c.orientation;
    DEVMODEA out{};
    ASSERT_EQ(DocumentPropertiesA(nullptr, h, name.data(), &out, &in, DM_IN_BUFFER | DM_OUT_BUFFER), IDOK);
    EXPECT_EQ(out.dmPaperSize, c.wantSize) << c.fields;
    EXPECT_EQ(out.dmPaperWidth, c.wantWidth) << c.fields;
    EXPECT_EQ(out.dmPaperLength, c.wantLength) << c.fields;
    EXPECT_EQ(out.dmOrientation, c.wantOrientation) << c.fields;
  }
  // A block shorter than its fields: nothing past dmSize is read.
  DEVMODEA shortMode = dm;
  shortMode.dmSize = offsetof(DEVMODEA, dmOrientation) + 2;
  shortMode.dmFields = DM_ORIENTATION | DM_PAPERSIZE;
  shortMode.dmOrientation = DMORIENT_LANDSCAPE;
  shortMode.dmPaperSize = DMPAPER_A5;
  DEVMODEA out{};
  ASSERT_EQ(DocumentPropertiesA(nullptr, h, name.data(), &out, &shortMode, DM_IN_BUFFER | DM_OUT_BUFFER), IDOK);
  EXPECT_EQ(out.dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(out.dmPaperSize, DMPAPER_A4);
  // DM_IN_PROMPT answers like the dialog.
  KvPrintDialogScript(KV_PRINT_DIALOG_CANCEL, nullptr, 0, 0);
  DEVMODEA untouched{};
  EXPECT_EQ(DocumentPropertiesA(nullptr, h, name.data(), &untouched, &dm, DM_IN_BUFFER | DM_IN_PROMPT | DM_OUT_BUFFER),
            IDCANCEL);
  EXPECT_EQ(untouched.dmSize, 0);
  KvPrintDialogScript(KV_PRINT_DIALOG_OK, nullptr, 0, 0);
  EXPECT_EQ(DocumentPropertiesA(nullptr, h, name.data(), &out, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER), IDOK);
  EXPECT_EQ(out.dmSize, sizeof(DEVMODEA));
  ClosePrinter(h);
}

// ---- Documents --------------------------------------------------------------------------------

HDC UserPaperDC(const std::string& printer, SHORT widthTenths, SHORT lengthTenths) {
  DEVMODEA dm{};
  dm.dmSize = sizeof dm;
  dm.dmFields = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
  dm.dmPaperSize = DMPAPER_USER;
  dm.dmPaperWidth = widthTenths;
  dm.dmPaperLength = lengthTenths;
  return CreateDCA("WINSPOOL", printer.c_str(), nullptr, &dm);
}

int Start(HDC dc, const char* name) {
  DOCINFOA di{};
  di.cbSize = sizeof di;
  di.lpszDocName = name;
  return StartDocA(dc, &di);
}

TEST_F(PrintTest, DocumentBecomesOnePdfAndOnePngPerPage) {
  HDC dc = UserPaperDC(DefaultName(), 1480, 2100);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 3496);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), 4960);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 3496);
  EXPECT_EQ(StartPage(dc), SP_ERROR);  // no document yet
  ASSERT_GT(Start(dc, kv::Utf8ToAnsi("发票/测试").c_str()), 0);
  ASSERT_GT(StartPage(dc), 0);
  RECT r{100, 100, 300, 200};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ASSERT_GT(EndPage(dc), 0);
  ASSERT_GT(StartPage(dc), 0);
  ASSERT_GT(EndPage(dc), 0);
  ASSERT_GT(EndDoc(dc), 0);

  KvPrintDocument doc{};
  ASSERT_TRUE(KvPrintLastDocument(0, &doc));
  EXPECT_EQ(doc.pages, 2u);
  EXPECT_FALSE(doc.aborted);
  EXPECT_EQ(doc.pageWidthPx, 3496);
  EXPECT_EQ(doc.pageHeightPx, 4960);
  EXPECT_NEAR(doc.pdfWidthPt, 148 / 25.4 * 72, 0.01);
  EXPECT_NEAR(doc.pdfHeightPt, 210 / 25.4 * 72, 0.01);
  EXPECT_EQ(doc.paperSize, DMPAPER_USER);
  // The separator in the name does not make a folder.
  std::string stem = OutDir() + std::string("发票_测试") + "-1";
  EXPECT_EQ(std::string(doc.pdfPath), stem + ".pdf");
  std::string pdf = Slurp(doc.pdfPath);
  EXPECT_EQ(pdf.compare(0, 5, "%PDF-"), 0);
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 419.527559 595.275591 ]"), std::string::npos);
  EXPECT_EQ(PngSize(stem + "-page1.png"), std::make_pair(3496, 4960));
  EXPECT_EQ(PngSize(stem + "-page2.png"), std::make_pair(3496, 4960));
  std::set<std::string> files;  // the document's files and no temporary beside them
  for (auto& e : std::filesystem::directory_iterator(OutDir())) files.insert(e.path().string());
  EXPECT_EQ(files, (std::set<std::string>{stem + ".pdf", stem + "-page1.png", stem + "-page2.png"}));
  // The samples: "none" filter on every row, the black rectangle and nothing else.
  std::string samples = PngSamples(stem + "-page1.png");
  const size_t row = 1 + 3 * 3496;
  ASSERT_EQ(samples.size(), row * 4960);
  size_t black = 0, filters = 0;
  for (size_t y = 0; y < 4960; ++y) {
    filters += samples[y * row] != 0;
    for (size_t x = 0; x < 3496; ++x) black += samples[y * row + 1 + 3 * x] == 0;
  }
  EXPECT_EQ(filters, 0u);
  EXPECT_EQ(black, 200u * 100u);
  EXPECT_EQ(samples[199 * row + 1 + 3 * 299], 0);
  EXPECT_EQ(samples[200 * row + 1 + 3 * 299], '\xFF');
  EXPECT_FALSE(std::filesystem::exists(stem + ".pdf.part"));

  // The next document of that name takes the next number.
  ASSERT_GT(Start(dc, kv::Utf8ToAnsi("发票/测试").c_str()), 0);
  ASSERT_GT(StartPage(dc), 0);
  ASSERT_GT(EndDoc(dc), 0);  // the open page is ended with the document
  ASSERT_TRUE(KvPrintLastDocument(0, &doc));
  EXPECT_EQ(std::string(doc.pdfPath), OutDir() + std::string("发票_测试") + "-2.pdf");
  EXPECT_EQ(doc.pages, 1u);
  DeleteDC(dc);
}

// A 4 x 4 picture (colour blocks) as a 32-bit top-down DIB.
std::vector<uint32_t> Picture(BITMAPINFO* bmi) {
  *bmi = BITMAPINFO{};
  bmi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi->bmiHeader.biWidth = 4;
  bmi->bmiHeader.biHeight = -4;
  bmi->bmiHeader.biPlanes = 1;
  bmi->bmiHeader.biBitCount = 32;
  bmi->bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> px(16);
  for (int i = 0; i < 16; ++i) px[size_t(i)] = (i % 4 < 2) == (i / 8 == 0) ? 0x0000C0u : 0xC00000u;
  return px;
}

// Text, a line, a fill and a stretched picture: nothing of it reads the page's pixels.
void DrawWithoutReading(HDC dc) {
  TextOutA(dc, 40, 40, "Invoice 42", 10);
  MoveToEx(dc, 40, 120, nullptr);
  LineTo(dc, 400, 120);
  RECT r{40, 140, 200, 180};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  BITMAPINFO bmi;
  std::vector<uint32_t> px = Picture(&bmi);
  StretchDIBits(dc, 220, 140, 120, 120, 0, 0, 4, 4, px.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
}

TEST_F(PrintTest, WithoutRastersADocumentIsOnePdfAndNoPageMemory) {
  setenv("KORVANE_PRINT_RASTERS", "0", 1);
  HDC dc = UserPaperDC(DefaultName(), 1000, 1000);
  ASSERT_NE(dc, nullptr);
  ASSERT_GT(Start(dc, "plain"), 0);
  for (int page = 0; page < 2; ++page) {
    ASSERT_GT(StartPage(dc), 0);
    DrawWithoutReading(dc);
    const kv::gdi::PrinterPage* p = kv::gdi::GetPrinterPage(dc);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->raster.pixels, nullptr);  // no page-sized raster was made
    EXPECT_EQ(p->ops.size(), 4u);
    ASSERT_GT(EndPage(dc), 0);
  }
  ASSERT_GT(EndDoc(dc), 0);
  KvPrintDocument doc{};
  ASSERT_TRUE(KvPrintLastDocument(0, &doc));
  EXPECT_EQ(doc.pages, 2u);
  EXPECT_STREQ(doc.pngPattern, "");
  EXPECT_EQ(std::string(doc.pdfPath), OutDir() + "plain-1.pdf");
  EXPECT_EQ(Slurp(doc.pdfPath).compare(0, 5, "%PDF-"), 0);
  std::vector<std::string> files;
  for (auto& e : std::filesystem::directory_iterator(OutDir())) files.push_back(e.path().filename());
  EXPECT_EQ(files, std::vector<std::string>{"plain-1.pdf"});  // no PNG, no temporary left

  // Reading a pixel makes a raster for that page only, the drawing so far on it.
  ASSERT_GT(Start(dc, "plain"), 0);
  ASSERT_GT(StartPage(dc), 0);
  DrawWithoutReading(dc);
  EXPECT_EQ(GetPixel(dc, 100, 160), RGB(128, 128, 128));
  EXPECT_EQ(GetPixel(dc, 230, 150), RGB(0, 0, 0xC0));  // the picture's top-left block
  EXPECT_EQ(GetPixel(dc, 600, 600), RGB(255, 255, 255));
  EXPECT_NE(kv::gdi::GetPrinterPage(dc)->raster.pixels, nullptr);
  ASSERT_GT(EndPage(dc), 0);
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_EQ(kv::gdi::GetPrinterPage(dc)->raster.pixels, nullptr);
  ASSERT_GT(EndDoc(dc), 0);
  DeleteDC(dc);
  unsetenv("KORVANE_PRINT_RASTERS");
}

// The pixels of a binary PPM (pdftoppm's output) as 0x00RRGGBB; empty when malformed.
std::vector<uint32_t> PpmPixels(const std::string& path, int* w, int* h) {
  std::string d = Slurp(path);
  int maxval = 0, used = 0;
  if (std::sscanf(d.c_str(), "P6 %d %d %d%n", w, h, &maxval, &used) != 3 || maxval != 255) return {};
  size_t at = size_t(used) + 1;
  if (d.size() < at + size_t(*w) * size_t(*h) * 3) return {};
  std::vector<uint32_t> px(size_t(*w) * size_t(*h));
  for (size_t i = 0; i < px.size(); ++i) {
    auto c = [&](size_t k) { return uint32_t(static_cast<unsigned char>(d[at + 3 * i + k])); };
    px[i] = c(0) << 16 | c(1) << 8 | c(2);
  }
  return px;
}

// Text, then operations that read the page: a PATINVERT bar over the text and a MaskBlt
// that inverts the text's end (DSTINVERT where the mask is 1).
void DrawWithRops(HDC dc) {
  HFONT font = CreateFontA(60, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Sans");
  HGDIOBJ old = SelectObject(dc, font);
  TextOutA(dc, 20, 20, "INVOICE 0042", 12);
  SelectObject(dc, old);
  DeleteObject(font);
  HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 0));
  old = SelectObject(dc, yellow);
  PatBlt(dc, 10, 40, 300, 30, PATINVERT);  // white turns blue, black text yellow
  SelectObject(dc, old);
  DeleteObject(yellow);
  // A 64 x 32 mask of 16-pixel cells, rows of 8 bytes.
  BYTE bits[8 * 32];
  for (int y = 0; y < 32; ++y)
    for (int b = 0; b < 8; ++b) bits[y * 8 + b] = ((b / 2 + y / 16) % 2) ? 0xFF : 0x00;
  HBITMAP mask = CreateBitmap(64, 32, 1, 1, bits);
  MaskBlt(dc, 300, 10, 64, 32, nullptr, 0, 0, mask, 0, 0, MAKEROP4(DSTINVERT, 0x00AA0029));
  DeleteObject(mask);
}

// Both documents rendered back by the same renderer: the raster patches of the page that
// made its raster mid-page hold the pixels the page with a raster all along has.
TEST_F(PrintTest, RasterOperationsGiveTheSamePixelsWithAndWithoutRasters) {
  setenv("KORVANE_PRINT_DPIX", "150", 1);
  std::vector<uint32_t> rendered[2];
  int w = 0, h = 0;
  for (int rasters = 0; rasters < 2; ++rasters) {
    setenv("KORVANE_PRINT_RASTERS", rasters ? "1" : "0", 1);
    HDC dc = UserPaperDC(DefaultName(), 1000, 254);
    ASSERT_NE(dc, nullptr);
    ASSERT_GT(Start(dc, "rops"), 0);
    ASSERT_GT(StartPage(dc), 0);
    DrawWithRops(dc);
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);
    KvPrintDocument doc{};
    ASSERT_TRUE(KvPrintLastDocument(0, &doc));
    EXPECT_EQ(doc.pngPattern[0] != 0, rasters == 1);
    std::string out = home_ / ("page" + std::to_string(rasters));
    std::string cmd = "pdftoppm -r 150 -singlefile '" + std::string(doc.pdfPath) + "' '" + out + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    rendered[rasters] = PpmPixels(out + ".ppm", &w, &h);
    ASSERT_EQ(rendered[rasters].size(), 591u * 150u);
  }
  unsetenv("KORVANE_PRINT_DPIX");
  unsetenv("KORVANE_PRINT_RASTERS");
  auto blue = [](uint32_t c) { return (c >> 16) < 64 && ((c >> 8) & 255) < 64 && (c & 255) > 192; };
  auto black = [](uint32_t c) { return (c >> 16) < 64 && ((c >> 8) & 255) < 64 && (c & 255) < 64; };
  size_t differ = 0, blueArea = 0, blackArea = 0;
  for (size_t i = 0; i < rendered[0].size(); ++i) {
    uint32_t a = rendered[0][i], b = rendered[1][i];
    int worst = 0;
    for (int k = 0; k < 24; k += 8) worst = std::max(worst, std::abs(int((a >> k) & 255) - int((b >> k) & 255)));
    differ += worst > 32;
    blueArea += blue(b);
    blackArea += black(b);
  }
  EXPECT_LT(differ, rendered[0].size() / 1000) << differ;
  EXPECT_GT(blueArea, 300u * 30u / 2);  // the bar is there: white turned blue
  EXPECT_GT(blackArea, 64u * 32u / 2);  // and the mask's inverted cells
}

TEST_F(PrintTest, OutputFolderFromEnvironment) {
  std::string dir = home_ / "elsewhere";
  setenv("KORVANE_PRINT_DIR", dir.c_str(), 1);
  HDC dc = CreateDCA("WINSPOOL", DefaultName().c_str(), nullptr, nullptr);
  ASSERT_GT(Start(dc, "doc"), 0);
  ASSERT_GT(StartPage(dc), 0);
  ASSERT_GT(EndDoc(dc), 0);
  EXPECT_TRUE(std::filesystem::exists(dir + "/doc-1.pdf"));
  EXPECT_EQ(PngSize(dir + "/doc-1-page1.png"), std::make_pair(4960, 7015));  // A4 at 600 dpi
  DeleteDC(dc);
  unsetenv("KORVANE_PRINT_DIR");
}

TEST_F(PrintTest, RefusedOrAbortedDocumentsLeaveNoFiles) {
  std::string printer = DefaultName();
  HDC dc = CreateDCA("WINSPOOL", printer.c_str(), nullptr, nullptr);
  ASSERT_NE(dc, nullptr);

  KvPrintInjectFailure(KV_PRINT_FAIL_STARTDOC);
  EXPECT_EQ(Start(dc, "refused"), SP_ERROR);
  KvPrintInjectFailure(0);

  ASSERT_GT(Start(dc, "aborted"), 0);
  ASSERT_GT(StartPage(dc), 0);
  ASSERT_GT(EndPage(dc), 0);
  EXPECT_TRUE(std::filesystem::exists(OutDir() + "aborted-1-page1.png"));
  ASSERT_GT(AbortDoc(dc), 0);

  ASSERT_GT(Start(dc, "enddoc"), 0);
  ASSERT_GT(StartPage(dc), 0);
  KvPrintInjectFailure(KV_PRINT_FAIL_ENDDOC);
  EXPECT_EQ(EndDoc(dc), SP_ERROR);
  KvPrintInjectFailure(0);
  EXPECT_EQ(EndDoc(dc), SP_ERROR);  // the document is gone

  ASSERT_GT(Start(dc, "deleted"), 0);
  ASSERT_GT(StartPage(dc), 0);
  DeleteDC(dc);  // inside a document

  std::error_code ec;
  auto files = std::distance(std::filesystem::directory_iterator(OutDir(), ec), std::filesystem::directory_iterator());
  EXPECT_EQ(files, 0);
  EXPECT_EQ(KvPrintDocumentCount(), 3u);
  KvPrintDocument doc{};
  for (DWORD i = 0; i < 3; ++i) {
    ASSERT_TRUE(KvPrintLastDocument(i, &doc));
    EXPECT_TRUE(doc.aborted);
    EXPECT_STREQ(doc.pdfPath, "");
  }
  EXPECT_FALSE(KvPrintLastDocument(3, &doc));
}

TEST_F(PrintTest, ResetDCChangesThePageBetweenPagesOnly) {
  HDC dc = UserPaperDC(DefaultName(), 1000, 500);
  ASSERT_EQ(GetDeviceCaps(dc, HORZRES), 2362);
  DEVMODEA land{};
  land.dmSize = sizeof land;
  land.dmFields = DM_ORIENTATION;
  land.dmOrientation = DMORIENT_LANDSCAPE;
  ASSERT_GT(Start(dc, "reset"), 0);
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_EQ(ResetDCA(dc, &land), nullptr);  // not while a page is drawn
  ASSERT_GT(EndPage(dc), 0);
  EXPECT_EQ(ResetDCA(dc, &land), dc);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1181);
  ASSERT_GT(StartPage(dc), 0);
  ASSERT_GT(EndDoc(dc), 0);
  EXPECT_EQ(PngSize(OutDir() + "reset-1-page1.png"), std::make_pair(2362, 1181));
  EXPECT_EQ(PngSize(OutDir() + "reset-1-page2.png"), std::make_pair(1181, 2362));
  DeleteDC(dc);
}

TEST_F(PrintTest, PrintableOffsetPlacesTheAreaOnTheSheet) {
  setenv("KORVANE_PRINT_OFFSETX", "50", 1);  // 5 mm
  setenv("KORVANE_PRINT_OFFSETY", "100", 1);
  HDC dc = UserPaperDC(DefaultName(), 1000, 1000);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 118);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETY), 236);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 2362 - 2 * 118);
  ASSERT_GT(Start(dc, "offset"), 0);
  ASSERT_GT(StartPage(dc), 0);
  ASSERT_GT(EndDoc(dc), 0);
  EXPECT_EQ(PngSize(OutDir() + "offset-1-page1.png"), std::make_pair(2362, 2362));
  DeleteDC(dc);
  unsetenv("KORVANE_PRINT_OFFSETX");
  unsetenv("KORVANE_PRINT_OFFSETY");
}

// ---- Print dialog ---------------------------------------------------------------------------------

TEST_F(PrintTest, PrintDialogAnswersFromScriptThenSetting) {
  PRINTDLGA pd{};
  pd.lStructSize = sizeof pd - 1;
  EXPECT_FALSE(PrintDlgA(&pd));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));

  pd.lStructSize = sizeof pd;
  pd.Flags = PD_RETURNDC | PD_USEDEVMODECOPIES;
  KvPrintDialogScript(KV_PRINT_DIALOG_OK, nullptr, 3, 0);
  ASSERT_TRUE(PrintDlgA(&pd));
  ASSERT_NE(pd.hDevMode, nullptr);
  ASSERT_NE(pd.hDevNames, nullptr);
  auto* dn = static_cast<DEVNAMES*>(GlobalLock(pd.hDevNames));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dn) + dn->wDeviceOffset), DefaultName());
  EXPECT_EQ(dn->wDefault, DN_DEFAULTPRN);
  GlobalUnlock(pd.hDevNames);
  auto* dm = static_cast<DEVMODEA*>(GlobalLock(pd.hDevMode));
  EXPECT_EQ(dm->dmCopies, 3);
  GlobalUnlock(pd.hDevMode);
  EXPECT_TRUE(KvPrintIsPrinterDC(pd.hDC));
  DeleteDC(pd.hDC);

  HGLOBAL mode = pd.hDevMode, names = pd.hDevNames;
  KvPrintDialogScript(KV_PRINT_DIALOG_CANCEL, nullptr, 0, 0);
  EXPECT_FALSE(PrintDlgA(&pd));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_EQ(pd.hDevMode, mode);  // untouched by Cancel
  KvPrintDialogScript(KV_PRINT_DIALOG_FAIL, nullptr, 0, PDERR_PRINTERNOTFOUND);
  EXPECT_FALSE(PrintDlgA(&pd));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(PDERR_PRINTERNOTFOUND));
  KvPrintDialogScript(KV_PRINT_DIALOG_OK, "Nobody's Printer", 0, 0);
  EXPECT_FALSE(PrintDlgA(&pd));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(PDERR_PRINTERNOTFOUND));

  setenv("KORVANE_PRINT_DIALOG", "cancel", 1);  // no script left: the setting answers
  EXPECT_FALSE(PrintDlgA(&pd));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  unsetenv("KORVANE_PRINT_DIALOG");
  EXPECT_EQ(KvPrintDialogShownCount(), 5u);
  GlobalFree(mode);
  GlobalFree(names);
}

TEST_F(PrintTest, PrintDialogReadsCallerBlocksWithinTheirSize) {
  for (SIZE_T size : {SIZE_T(0), SIZE_T(4), SIZE_T(50)}) {
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.hDevMode = GlobalAlloc(GHND, size);
    if (size >= 40) {
      auto* dm = static_cast<DEVMODEA*>(GlobalLock(pd.hDevMode));
      dm->dmSize = sizeof(DEVMODEA);  // claims more than the block holds
      dm->dmFields = DM_ORIENTATION | DM_COPIES;
      GlobalUnlock(pd.hDevMode);
    }
    pd.hDevNames = GlobalAlloc(GHND, 3);  // too short to be device names
    KvPrintDialogScript(KV_PRINT_DIALOG_OK, nullptr, 0, 0);
    ASSERT_TRUE(PrintDlgA(&pd)) << size;
    auto* dm = static_cast<DEVMODEA*>(GlobalLock(pd.hDevMode));
    EXPECT_EQ(dm->dmOrientation, DMORIENT_PORTRAIT);
    GlobalUnlock(pd.hDevMode);
    GlobalFree(pd.hDevMode);
    GlobalFree(pd.hDevNames);
  }
}

}  // namespace
