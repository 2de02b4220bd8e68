// Shared pieces of the print control's tests: a fresh virtual printer per test, the
// printed pages read back, pictures made in memory, an event sink, and registration.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/graphics/jpeg.h"
#include "framework/graphics/printers.h"
#include "platform/base/codepage.h"
#include "platform/base/module.h"
#include "platform/base/path.h"
#include "platform/print/print.h"
#include "platform/registry/registry.h"
#include "print_control/dravik.h"
#include "print_control/message_box.h"
#include "testsupport/temp_home.h"

namespace zorbel_test {

// Device pixels of the millimetre values the tests place things at, worked out by hand
// (mm x dpi / 25.4, the fraction dropped); a value missing here fails the test.
inline int Px(int mm, int dpi) {
  static const struct {
    int mm, dpi, px;
  } table[] = {
      {15, 300, 177},   {20, 300, 236},   {30, 300, 354},   {35, 300, 413},   {55, 300, 649},   {65, 300, 767},
      {95, 300, 1122},  {115, 300, 1358}, {5, 600, 118},    {7, 600, 165},    {10, 600, 236},   {11, 600, 259},
      {12, 600, 283},   {13, 600, 307},   {14, 600, 330},   {15, 600, 354},   {16, 600, 377},   {18, 600, 425},
      {20, 600, 472},   {22, 600, 519},   {23, 600, 543},   {25, 600, 590},   {27, 600, 637},   {28, 600, 661},
      {30, 600, 708},   {33, 600, 779},   {35, 600, 826},   {37, 600, 874},   {40, 600, 944},   {42, 600, 992},
      {45, 600, 1062},  {50, 600, 1181},  {60, 600, 1417},  {63, 600, 1488},  {70, 600, 1653},  {73, 600, 1724},
      {75, 600, 1771},  {80, 600, 1889},  {85, 600, 2007},  {90, 600, 2125},  {100, 600, 2362}, {103, 600, 2433},
      {120, 600, 2834}, {123, 600, 2905}, {150, 600, 3543}, {200, 600, 4724},
  };
  for (const auto& e : table)
    if (e.mm == mm && e.dpi == dpi) return e.px;
  ADD_FAILURE() << "no device pixels written down for " << mm << " mm at " << dpi << " dpi";
  return 0;
}

// A page read back from its PNG.
struct Page {
  cairo_surface_t* s;
  explicit Page(const std::string& path) : s(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Page() { cairo_surface_destroy(s); }
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;
  bool ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(s); }
  int height() const { return cairo_image_surface_get_height(s); }
  uint32_t at(int x, int y) const {
    auto* d = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    return *reinterpret_cast<const uint32_t*>(d + static_cast<size_t>(y) * stride + x * 4) & 0xFFFFFF;
  }
  bool dark(int x, int y) const {
    uint32_t p = at(x, y);
    return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 100;
  }
  // Dark pixels within [x0, x1) x [y0, y1).
  int ink(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(height(), y1); ++y)
      for (int x = std::max(0, x0); x < std::min(width(), x1); ++x) n += dark(x, y) ? 1 : 0;
    return n;
  }
};

class PrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KORVANE_PRINT_CUPS", "0", 1);
    setenv("KORVANE_PRINT_DIR", (home_.path() + "/out").c_str(), 1);
    setenv("KORVANE_PRINT_RASTERS", "1", 1);  // the tests look at the page pixels
    KvRegistryReload();
    UseDpi(600, 600);
    KvPrintInjectFailure(0);
    KvPrintClearDocuments();
    KvPrintDialogClearScript();
    zorbel::ClearMessageBoxLog();
    control_.IsPrintSetup = 0;
  }
  void TearDown() override {
    SetPrinter(nullptr);
    KvPrintInjectFailure(0);
    KvPrintDialogClearScript();
    unsetenv("KORVANE_PRINT_DPIX");
    unsetenv("KORVANE_PRINT_DPIY");
    unsetenv("KORVANE_PRINT_RASTERS");
    KvPrintRefresh();
    KvRegistryReload();
  }

  void UseDpi(int x, int y) {
    setenv("KORVANE_PRINT_DPIX", std::to_string(x).c_str(), 1);
    setenv("KORVANE_PRINT_DPIY", std::to_string(y).c_str(), 1);
    KvPrintRefresh();
    SetPrinter(new TPrinter);
  }

  // Prints a job given as UTF-8 text.
  void Print(const std::string& job) { control_.Start_Print(kv::Utf8ToWide(job)); }

  DWORD Documents() const { return KvPrintDocumentCount(); }
  KvPrintDocument LastDocument() const {
    KvPrintDocument d{};
    EXPECT_TRUE(KvPrintLastDocument(0, &d));
    return d;
  }
  std::string PagePath(const KvPrintDocument& d, unsigned page) const {
    char path[1100];
    snprintf(path, sizeof path, d.pngPattern, page);
    return path;
  }

  kvtest::TempHome home_;
  zorbel::TDravik control_;
};

// A solid black picture in a file format: "jpeg" or "bmp".
inline std::string BlackPicture(const std::string& format, int size = 16) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(size, size);
  bitmap.Canvas()->Brush()->SetColor(clBlack);
  bitmap.Canvas()->FillRect(Rect(0, 0, size, size));
  TMemoryStream out;
  if (format == "jpeg") {
    TJPEGImage jpeg;
    jpeg.Assign(&bitmap);
    jpeg.SaveToStream(&out);
  } else {
    bitmap.SaveToStream(&out);
  }
  return std::string(static_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
}

// A 4 x 4 black GIF (87a, two colours, LZW with a clear code per literal pair).
inline std::string BlackGif() {
  const unsigned char gif[] = {'G', 'I', 'F', '8', '7', 'a', 4, 0, 4, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF,
                               0xFF,  // colour 0 black, 1 white
                               ',', 0, 0, 0, 0, 4, 0, 4, 0, 0,
                               2,  // minimum code size
                               // 16 pixels of colour 0: (clear, 0, 0) x 8, end, in 3-bit codes
                               10, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x00, 0x01, 0x02, 0x05, 0, ';'};
  return std::string(reinterpret_cast<const char*>(gif), sizeof gif);
}

inline std::string Base64(const std::string& bytes) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += a[v >> 18];
    out += a[(v >> 12) & 63];
    out += a[(v >> 6) & 63];
    out += a[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += a[v >> 18];
    out += a[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? a[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

inline std::string Utf8(const WideString& w) { return kv::WideToUtf8(w); }

// A sink of the event interface that records what it is told.
class EventSink : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, zorbel::DIID_IDravikEvents)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    calls.push_back(id);
    documents_at_call.push_back(KvPrintDocumentCount());
    if (id == zorbel::kDispidOnKeyPress && params->cArgs == 1 && params->rgvarg[0].vt == (VT_I2 | VT_BYREF)) {
      key_seen = *params->rgvarg[0].piVal;
      *params->rgvarg[0].piVal = key_answer;
    }
    return S_OK;
  }
  std::atomic<ULONG> refs{1};
  std::vector<DISPID> calls;
  std::vector<DWORD> documents_at_call;
  SHORT key_seen = 0, key_answer = 0;
};

// Registers Zorbel.ocx as regsvr does (its DllRegisterServer) and unloads it again.
inline ::testing::AssertionResult RegisterZorbel() {
  HMODULE module = LoadLibraryA("Zorbel.ocx");
  if (!module) return ::testing::AssertionFailure() << "Zorbel.ocx does not load";
  auto reg = kv::ProcAddress<HRESULT (*)()>(module, "DllRegisterServer");
  HRESULT hr = reg ? reg() : E_FAIL;
  FreeLibrary(module);
  if (FAILED(hr)) return ::testing::AssertionFailure() << "DllRegisterServer failed";
  return ::testing::AssertionSuccess();
}

}  // namespace zorbel_test
