#include "print_control/dravik.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/graphics/jpeg.h"
#include "gif/gif_image.h"
#include "framework/graphics/printers.h"
#include "http_client/id_http.h"
#include "platform/base/codepage.h"
#include "platform/base/module.h"
#include "platform/base/global_memory.h"
#include "print_control/message_box.h"
#include "print_control/texts.h"

namespace zorbel {
namespace {

WideString U(const char* utf8) { return kv::Utf8ToWide(utf8); }
WideString A(const AnsiString& ansi) { return kv::AnsiToWide(ansi); }

// Ends the open document on every exit; a failure while ending after an earlier one
// keeps the earlier one.
class TDocumentScope {
 public:
  explicit TDocumentScope(TPrinter* printer) : printer_(printer) { printer_->BeginDoc(); }
  ~TDocumentScope() {
    if (!printer_->Printing()) return;
    try {
      printer_->EndDoc();
    } catch (...) {
    }
  }
  void End() { printer_->EndDoc(); }
  TDocumentScope(const TDocumentScope&) = delete;
  TDocumentScope& operator=(const TDocumentScope&) = delete;

 private:
  TPrinter* printer_;
};

int Dpi(int index) { return GetDeviceCaps(Printer()->Canvas()->Handle(), index); }

void CheckedRect(int64_t left, int64_t top, int64_t right, int64_t bottom, TRect& out) {
  for (int64_t v : {left, top, right, bottom})
    if (v < INT32_MIN || v > INT32_MAX) throw EConvertError("Picture rectangle is out of range");
  out = Rect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom));
}

}  // namespace

void TDravik::Start_Print(std::u16string_view value) {
  PrintStr = kv::WideToAnsi(value);
  Print();
}

void TDravik::Click() {
  if (Events) Events->RaiseOnClick();
  Print();
}

void TDravik::KeyPress(char& key) {
  SHORT wide = static_cast<SHORT>(static_cast<unsigned char>(key));
  if (Events) Events->RaiseOnKeyPress(wide);
  key = static_cast<char>(wide & 0xFF);
}

void TDravik::DebugBox(const WideString& text) {
  if (IsDebug == 1) ShowMessageBox(text);
}

void TDravik::Fail(int number, const Exception& e) {
  ErrorNum = number;
  ErrorMessage = e.Message();
  DebugBox(U(zorbel_texts::kErrorClass) + A(e.ClassName()));
  DebugBox(U(zorbel_texts::kErrorMessage) + A(e.Message()));
}

// ---- The print road ---------------------------------------------------------------------

void TDravik::Print() {
  TPrintDialog dialog(nullptr);
  if (IsPrintSetup == 1) {
    try {
      if (!dialog.Execute()) return;
    } catch (const Exception& e) {
      Fail(1, e);
      return;
    }
  }
  try {
    PrintJob();
  } catch (const Exception& e) {
    Fail(2, e);
  }
}

void TDravik::ApplyPaper(const TJobPaper& paper) {
  TPrinter* printer = Printer();
  printer->SetPrinterIndex(printer->PrinterIndex());
  AnsiString device, driver, port;
  HGLOBAL mode = nullptr;
  printer->GetPrinter(device, driver, port, mode);
  if (mode) {
    auto* dm = static_cast<DEVMODEA*>(GlobalLock(mode));
    if (!dm) throw EPrinter("The printer's device mode cannot be locked");
    dm->dmPaperSize = DMPAPER_USER;
    dm->dmPaperLength = static_cast<SHORT>(paper.Length);
    dm->dmPaperWidth = static_cast<SHORT>(paper.Width);
    dm->dmFields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
    // The device context is made after the change, so a paper that the printer refused
    // in an earlier job never stands in the way of this one. A device context that
    // refuses the paper keeps its own; the next one is made from the changed device mode
    // and the printer answers for the paper there.
    HDC dc = nullptr;
    try {
      dc = printer->Handle();
    } catch (...) {
      GlobalUnlock(mode);
      throw;
    }
    ResetDCA(dc, dm);
    GlobalUnlock(mode);
  }
  printer->SetPrinterIndex(printer->PrinterIndex());
}

void TDravik::PrintJob() {
  const std::shared_ptr<const AnsiString> text = PrintStr.Share();
  TPrintJob job(*text);
  ApplyPaper(job.Paper());
  TPrinter* printer = Printer();
  TDocumentScope document(printer);
  const auto& pages = job.Pages();
  for (size_t p = 0; p < pages.size(); ++p) {
    if (p > 0) printer->NewPage();
    for (std::string_view item : TPrintJob::Items(pages[p])) DrawItem(item);
  }
  document.End();
}

int TDravik::PixelsX(int mm) { return MmToPixels(static_cast<int64_t>(mm) + RepairX, Dpi(LOGPIXELSX)); }
int TDravik::PixelsY(int mm) { return MmToPixels(static_cast<int64_t>(mm) + RepairY, Dpi(LOGPIXELSY)); }

void TDravik::DrawItem(std::string_view ansi) {
  const WideString item = kv::AnsiToWide(ansi);
  TCanvas* canvas = Printer()->Canvas();
  switch (TJobItemKind kind = ItemKind(item)) {
    case TJobItemKind::Text: {
      TTextItem t = ParseTextItem(item, FontSize);
      int x = PixelsX(t.X), y = PixelsY(t.Y);
      canvas->Font()->SetSize(t.Size);
      canvas->TextOut(x, y, kv::WideToAnsi(t.Text));
      break;
    }
    case TJobItemKind::Line: {
      TLineItem l = ParseLineItem(item);
      int x1 = PixelsX(l.X1), y1 = PixelsY(l.Y1), x2 = PixelsX(l.X2), y2 = PixelsY(l.Y2);
      canvas->Pen()->SetStyle(l.Style);
      canvas->Pen()->SetWidth(l.Width);
      canvas->MoveTo(x1, y1);
      canvas->LineTo(x2, y2);
      break;
    }
    case TJobItemKind::Picture:
    case TJobItemKind::FetchedPicture: DrawPicture(kind, item); break;
  }
}

// ---- Picture items -----------------------------------------------------------------------

AnsiString PictureKind(const TMemoryStream& stream) {
  unsigned char head[20] = {};
  const int64_t size = const_cast<TMemoryStream&>(stream).Size();
  if (size > 0) std::memcpy(head, stream.Memory(), static_cast<size_t>(std::min<int64_t>(size, 20)));
  if (std::memcmp(head, "GIF", 3) == 0) return "GIF";
  if (std::memcmp(head, "BM", 2) == 0) return "BMP";
  if (std::memcmp(head + 6, "JFIF", 4) == 0) return "JPG";
  if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return "JPG";
  if (head[0] == 0x89 && std::memcmp(head + 1, "PNG", 3) == 0) return "PNG";
  return "UNKONWN";
}

TRect TDravik::PictureRect(const TPictureRect& mm) {
  const int64_t left = PixelsX(mm.X), top = PixelsY(mm.Y);
  const int64_t width = MmToPixels(mm.W, Dpi(LOGPIXELSX)), height = MmToPixels(mm.H, Dpi(LOGPIXELSY));
  TRect r;
  CheckedRect(left, top, left + width, top + height, r);
  return r;
}

void TDravik::DrawPicture(TJobItemKind kind, const WideString& item) {
  TPictureFields fields = SplitPictureItem(item, kind);
  TMemoryStream stream;
  if (kind == TJobItemKind::Picture) {
    std::string bytes = DecodeBase64(fields.Data);
    stream.Write(bytes.data(), static_cast<int>(bytes.size()));
  } else {
    // The download comes before the number fields are converted.
    auto http = std::make_unique<TIdHTTP>(this);
    http->Get(kv::WideToAnsi(fields.Data), &stream);
  }
  TRect rect = PictureRect(ConvertPictureFields(fields));
  stream.SetPosition(0);
  DrawPictureStream(stream, rect);
}

void TDravik::DrawPictureStream(TMemoryStream& stream, const TRect& rect) {
  AnsiString kind = PictureKind(stream);
  if (IsDebug == 1) {
    stream.SaveToFile("c:\\mytest.jpg");
    stream.SetPosition(0);
  }
  std::unique_ptr<TGraphic> graphic;
  if (kind == "GIF") {
    graphic = std::make_unique<TGIFImage>();
  } else if (kind == "JPG") {
    graphic = std::make_unique<TJPEGImage>();
  } else if (kind == "BMP") {
    graphic = std::make_unique<TBitmap>();
  } else {
    DebugBox(U(zorbel_texts::kUnsupportedPictureOpen) + A(kind) + U(zorbel_texts::kUnsupportedPictureClose));
    return;
  }
  graphic->LoadFromStream(&stream);
  const int width = graphic->Width(), height = graphic->Height();
  // Beyond these a picture cannot be held as one surface (the PDF's limit a side) or
  // drawn within bounded memory (4 bytes a pixel).
  if (width > kMaxPictureSide || height > kMaxPictureSide || static_cast<int64_t>(width) * height > kMaxPicturePixels)
    throw EInvalidGraphic(kind + " picture of " + IntToStr(width) + " x " + IntToStr(height) +
                          " pixels is too large to print (at most " + IntToStr(kMaxPictureSide) +
                          " pixels a side and " + IntToStr(static_cast<int>(kMaxPicturePixels)) + " pixels)");
  TCanvas* canvas = Printer()->Canvas();
  const int rect_width = rect.right - rect.left, rect_height = rect.bottom - rect.top;
  if (rect_width <= 0 || rect_height <= 0 || (width <= rect_width && height <= rect_height)) {
    canvas->StretchDraw(rect, graphic.get());
    return;
  }
  // A picture larger than its rectangle is first reduced to the rectangle's device
  // pixels, so the page never holds more of it than can be printed.
  TBitmap reduced;
  reduced.SetPixelFormat(pf24bit);
  reduced.SetSize(std::min(width, rect_width), std::min(height, rect_height));
  reduced.Canvas()->Brush()->SetColor(clWhite);
  reduced.Canvas()->FillRect(Rect(0, 0, reduced.Width(), reduced.Height()));
  reduced.Canvas()->StretchDraw(Rect(0, 0, reduced.Width(), reduced.Height()), graphic.get());
  canvas->StretchDraw(rect, &reduced);
}

// ---- Printer identity ---------------------------------------------------------------------

WideString TDravik::CallIdentity(bool name) {
  const char* export_name = name ? "GetPrinterName" : "GetPrinterNum";
  // A bare name is searched in this module's own folder first.
  HMODULE library = LoadLibraryA(QuenlowLibrary.c_str());
  if (!library) {
    DebugBox(U(zorbel_texts::kQuenlowMissing));
    return u"-1";
  }
  struct TUnload {
    HMODULE module;
    ~TUnload() { FreeLibrary(module); }
  } unload{library};
  auto call = kv::ProcAddress<int (*)(char*)>(library, export_name);
  if (!call) {
    DebugBox(A(export_name) + U(zorbel_texts::kExportMissing));
    return u"-2";
  }
  std::vector<char> buffer(1024, '\0');
  const int rc = call(buffer.data());
  // 0 means nothing was found: the export writes nothing then.
  AnsiString text = rc == 0 ? AnsiString() : AnsiString(buffer.data(), strnlen(buffer.data(), buffer.size()));
  text = Trim(text);
  DebugBox(U(name ? zorbel_texts::kNameState : zorbel_texts::kNumState) + A(IntToStr(rc)) + u"\r\n" +
           U(name ? zorbel_texts::kNameLength : zorbel_texts::kNumLength) + A(IntToStr(static_cast<int>(text.size()))) +
           u"\r\n" + U(name ? zorbel_texts::kNameText : zorbel_texts::kNumText) + A(text) + u"\r\n");
  return A(text);
}

WideString TDravik::GetPrinterName() { return CallIdentity(true); }
WideString TDravik::GetPrinterNum() { return CallIdentity(false); }

WideString TDravik::GetPrinterVer() {
  WideString serial = GetPrinterNum();
  return serial.size() >= 5 ? serial.substr(3, 1) : u"0";
}

WideString TDravik::GetPrinterProductionYear() {
  WideString serial = GetPrinterNum();
  return serial.size() >= 7 ? u"20" + serial.substr(4, 2) : u"0";
}

WideString TDravik::GetPrinterProductionWeek() {
  WideString serial = GetPrinterNum();
  return serial.size() >= 9 ? serial.substr(6, 2) : u"0";
}

}  // namespace zorbel
