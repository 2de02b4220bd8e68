// TPrinter and TPrintDialog over the platform's spooler and print dialog.
#include "framework/graphics/printers.h"

#include <cstring>

#include "framework/core/sysutils.h"
#include "platform/base/global_memory.h"

namespace {
// The spooler's refusal in words (the code itself when the system has no text for it).
AnsiString SpoolerMessage(DWORD error) {
  AnsiString m = error ? SysErrorMessage(error) : AnsiString();
  if (m.empty()) m = "Printer error " + std::to_string(error);
  return m;
}
}  // namespace

// ---- TPrinterCanvas ---------------------------------------------------------------------------

void TPrinterCanvas::UpdateFont() {
  int dpi = GetDeviceCaps(printer_->Handle(), LOGPIXELSY);
  if (dpi > 0 && dpi != Font()->PixelsPerInch()) {
    int size = Font()->Size();
    Font()->SetPixelsPerInch(dpi);
    Font()->SetSize(size);
  }
}

void TPrinterCanvas::CreateHandle() {
  HDC dc = printer_->Handle();
  UpdateFont();
  SetHandle(dc);
}

// ---- TPrinter -----------------------------------------------------------------------------------

TPrinter::TPrinter() = default;

TPrinter::~TPrinter() {
  if (printing_) Abort();
  FreeDC();
  FreeDeviceMode();
}

void TPrinter::RaiseError(const AnsiString& Message) { throw EPrinter(Message); }

void TPrinter::LoadPrinters() {
  if (printers_) return;
  printers_ = std::make_unique<TStringList>();
  ports_.clear();
  DWORD needed = 0, count = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 5, nullptr, 0, &needed, &count);
  if (needed == 0) return;
  std::vector<BYTE> buf(needed);
  if (!EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 5, buf.data(), needed, &needed, &count))
    return;
  auto* info = reinterpret_cast<PRINTER_INFO_5A*>(buf.data());
  for (DWORD i = 0; i < count; ++i) {
    printers_->Add(info[i].pPrinterName ? info[i].pPrinterName : "");
    ports_.push_back(info[i].pPortName ? info[i].pPortName : "");
  }
}

TStrings* TPrinter::Printers() {
  LoadPrinters();
  return printers_.get();
}

void TPrinter::Refresh() {
  FreeDC();
  FreeDeviceMode();
  printers_.reset();
  ports_.clear();
  printer_index_ = -1;
  device_.clear();
}

int TPrinter::PrinterIndex() {
  LoadPrinters();
  if (printer_index_ == -1 && printers_->Count() > 0) {
    // The default printer's place in the list.
    char name[512];
    DWORD n = sizeof name;
    if (GetDefaultPrinterA(name, &n)) {
      int i = printers_->IndexOf(name);
      if (i >= 0) return i;
    }
    return 0;
  }
  return printer_index_;
}

void TPrinter::SetPrinterIndex(int Value) {
  if (printing_) RaiseError("Printing in progress");
  LoadPrinters();
  if (Value == -1) {
    printer_index_ = -1;
    Value = PrinterIndex();
    if (printers_->Count() == 0) RaiseError("There is no default printer currently selected");
  } else if (Value < 0 || Value >= printers_->Count()) {
    RaiseError("Printer selected is not valid");
  }
  FreeDC();
  // Selecting the printer already selected keeps its device mode (and the changes made
  // to it); another printer starts from its own.
  if (printers_->Strings(Value) != device_) FreeDeviceMode();
  printer_index_ = Value;
  device_ = printers_->Strings(Value);
  port_ = ports_[static_cast<size_t>(Value)];
  driver_ = "WINSPOOL";
}

void TPrinter::EnsureDeviceMode() {
  if (device_.empty()) {
    LoadPrinters();
    if (printers_->Count() == 0) RaiseError("There is no default printer currently selected");
    SetPrinterIndex(PrinterIndex());
  }
  if (devmode_) return;
  HANDLE h = nullptr;
  if (!OpenPrinterA(device_.c_str(), &h, nullptr)) RaiseError("Printer selected is not valid");
  LONG size = DocumentPropertiesA(nullptr, h, const_cast<LPSTR>(device_.c_str()), nullptr, nullptr, 0);
  HGLOBAL mem = size > 0 ? GlobalAlloc(GHND, static_cast<SIZE_T>(size)) : nullptr;
  bool ok = false;
  if (mem) {
    auto* dm = static_cast<DEVMODEA*>(GlobalLock(mem));
    ok = DocumentPropertiesA(nullptr, h, const_cast<LPSTR>(device_.c_str()), dm, nullptr, DM_OUT_BUFFER) >= 0;
    GlobalUnlock(mem);
  }
  ClosePrinter(h);
  if (!ok) {
    if (mem) GlobalFree(mem);
    RaiseError("Printer selected is not valid");
  }
  devmode_ = mem;
}

void TPrinter::GetPrinter(AnsiString& Device, AnsiString& Driver, AnsiString& Port, HGLOBAL& DeviceMode) {
  EnsureDeviceMode();
  Device = device_;
  Driver = driver_;
  Port = port_;
  DeviceMode = devmode_;
}

void TPrinter::SetPrinter(const AnsiString& Device, const AnsiString& Driver, const AnsiString& Port,
                          HGLOBAL DeviceMode) {
  if (printing_) RaiseError("Printing in progress");
  LoadPrinters();
  int i = printers_->IndexOf(Device);
  if (i < 0) {
    if (DeviceMode && DeviceMode != devmode_) GlobalFree(DeviceMode);
    RaiseError("Printer selected is not valid");
  }
  FreeDC();
  if (DeviceMode != devmode_) FreeDeviceMode();
  printer_index_ = i;
  device_ = Device;
  driver_ = Driver.empty() ? AnsiString("WINSPOOL") : Driver;
  port_ = Port.empty() ? ports_[static_cast<size_t>(i)] : Port;
  devmode_ = DeviceMode;
}

void TPrinter::FreeDC() {
  if (canvas_) canvas_->SetHandle(nullptr);
  if (dc_) DeleteDC(dc_);
  dc_ = nullptr;
}

void TPrinter::FreeDeviceMode() {
  if (devmode_) GlobalFree(devmode_);
  devmode_ = nullptr;
}

HDC TPrinter::Handle() {
  if (!dc_) {
    EnsureDeviceMode();
    auto* dm = static_cast<const DEVMODEA*>(GlobalLock(devmode_));
    dc_ = CreateDCA(driver_.c_str(), device_.c_str(), nullptr, dm);
    GlobalUnlock(devmode_);
    if (!dc_) RaiseError("Printer selected is not valid");
  }
  return dc_;
}

TCanvas* TPrinter::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TPrinterCanvas>(this);
  return canvas_.get();
}

int TPrinter::PageWidth() { return GetDeviceCaps(Handle(), HORZRES); }
int TPrinter::PageHeight() { return GetDeviceCaps(Handle(), VERTRES); }

void TPrinter::BeginDoc() {
  if (printing_) RaiseError("Printing in progress");
  HDC dc = Handle();
  printing_ = true;
  aborted_ = false;
  page_number_ = 1;
  DOCINFOA di{};
  di.cbSize = sizeof di;
  di.lpszDocName = Title.c_str();
  if (StartDocA(dc, &di) <= 0 || StartPage(dc) <= 0) {
    DWORD e = GetLastError();
    AbortDoc(dc);
    printing_ = false;
    page_number_ = 0;
    RaiseError(SpoolerMessage(e));
  }
  Canvas()->Refresh();
  static_cast<TPrinterCanvas*>(Canvas())->UpdateFont();
}

void TPrinter::NewPage() {
  if (!printing_) RaiseError("Printer is not currently printing");
  if (EndPage(dc_) <= 0 || StartPage(dc_) <= 0) RaiseError(SpoolerMessage(GetLastError()));
  ++page_number_;
  Canvas()->Refresh();
}

void TPrinter::EndDoc() {
  if (!printing_) RaiseError("Printer is not currently printing");
  bool failed = false;
  DWORD e = 0;
  if (!aborted_) {
    if (EndPage(dc_) <= 0) failed = true, e = GetLastError();
    if (::EndDoc(dc_) <= 0 && !failed) failed = true, e = GetLastError();
  }
  printing_ = false;
  aborted_ = false;
  page_number_ = 0;
  if (!failed) return;
  // A spooler that refused the job says why (a queue that rejects jobs gives its reason).
  char text[1024];
  if (KvPrintSpoolerText(text, sizeof text) > 0) RaiseError(text);
  RaiseError(SpoolerMessage(e));
}

void TPrinter::Abort() {
  if (!printing_) RaiseError("Printer is not currently printing");
  AbortDoc(dc_);
  aborted_ = true;
  printing_ = false;
  page_number_ = 0;
}

TPrinterOrientation TPrinter::Orientation() {
  EnsureDeviceMode();
  auto* dm = static_cast<const DEVMODEA*>(GlobalLock(devmode_));
  TPrinterOrientation o = dm->dmOrientation == DMORIENT_LANDSCAPE ? poLandscape : poPortrait;
  GlobalUnlock(devmode_);
  return o;
}

void TPrinter::ChangeDeviceMode(DWORD Field, SHORT DEVMODEA::*Member, SHORT Value) {
  if (printing_) RaiseError("Printing in progress");
  EnsureDeviceMode();
  auto* dm = static_cast<DEVMODEA*>(GlobalLock(devmode_));
  dm->*Member = Value;
  dm->dmFields |= Field;
  if (dc_ && !ResetDCA(dc_, dm)) {
    GlobalUnlock(devmode_);
    FreeDC();  // made anew from the device mode at next use
    return;
  }
  GlobalUnlock(devmode_);
  if (canvas_) canvas_->Refresh();
}

void TPrinter::SetOrientation(TPrinterOrientation Value) {
  ChangeDeviceMode(DM_ORIENTATION, &DEVMODEA::dmOrientation,
                   Value == poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT);
}

int TPrinter::Copies() {
  EnsureDeviceMode();
  auto* dm = static_cast<const DEVMODEA*>(GlobalLock(devmode_));
  int c = dm->dmCopies;
  GlobalUnlock(devmode_);
  return c;
}

void TPrinter::SetCopies(int Value) {
  ChangeDeviceMode(DM_COPIES, &DEVMODEA::dmCopies, static_cast<SHORT>(std::max(1, Value)));
}

namespace {
// Not freed at exit: the platform's printer DCs may be gone by then.
TPrinter*& ThePrinter() {
  static TPrinter* p = nullptr;
  return p;
}
}  // namespace

TPrinter* Printer() {
  if (!ThePrinter()) ThePrinter() = new TPrinter;
  return ThePrinter();
}

TPrinter* SetPrinter(TPrinter* NewPrinter) {
  delete ThePrinter();
  ThePrinter() = NewPrinter;
  return NewPrinter;
}

// ---- TPrintDialog --------------------------------------------------------------------------------

namespace {

// A copy of a global block (the dialog replaces the copy, never the printer's own).
HGLOBAL CopyBlock(HGLOBAL h) {
  if (!h) return nullptr;
  SIZE_T size = GlobalSize(h);
  HGLOBAL copy = GlobalAlloc(GHND, size);
  if (!copy) return nullptr;
  std::memcpy(GlobalLock(copy), GlobalLock(h), size);
  GlobalUnlock(h);
  GlobalUnlock(copy);
  return copy;
}

AnsiString NameAt(const DEVNAMES* dn, WORD offset) { return AnsiString(reinterpret_cast<const char*>(dn) + offset); }

}  // namespace

bool TPrintDialog::Execute() {
  TPrinter* printer = Printer();
  AnsiString device, driver, port;
  HGLOBAL devmode = nullptr;
  printer->GetPrinter(device, driver, port, devmode);

  PRINTDLGA pd{};
  pd.lStructSize = sizeof pd;
  pd.hDevMode = CopyBlock(devmode);
  pd.Flags = PD_USEDEVMODECOPIES;
  if (Collate) pd.Flags |= PD_COLLATE;
  if (!Options.Contains(poPrintToFile)) pd.Flags |= PD_HIDEPRINTTOFILE;
  if (!Options.Contains(poPageNums)) pd.Flags |= PD_NOPAGENUMS;
  if (!Options.Contains(poSelection)) pd.Flags |= PD_NOSELECTION;
  if (Options.Contains(poDisablePrintToFile)) pd.Flags |= PD_DISABLEPRINTTOFILE;
  if (PrintToFile) pd.Flags |= PD_PRINTTOFILE;
  if (!Options.Contains(poWarning)) pd.Flags |= PD_NOWARNING;
  if (Options.Contains(poHelp)) pd.Flags |= PD_SHOWHELP;
  if (PrintRange == prSelection) pd.Flags |= PD_SELECTION;
  if (PrintRange == prPageNums) pd.Flags |= PD_PAGENUMS;
  pd.nCopies = static_cast<WORD>(Copies > 0 ? Copies : 1);
  pd.nFromPage = static_cast<WORD>(FromPage);
  pd.nToPage = static_cast<WORD>(ToPage);
  pd.nMinPage = static_cast<WORD>(MinPage);
  pd.nMaxPage = static_cast<WORD>(MaxPage);

  if (OnShow) OnShow(this);
  BOOL ok = PrintDlgA(&pd);
  DWORD error = ok ? 0 : CommDlgExtendedError();
  if (OnClose) OnClose(this);
  if (!ok) {
    if (pd.hDevMode) GlobalFree(pd.hDevMode);
    if (pd.hDevNames) GlobalFree(pd.hDevNames);
    if (error) throw EPrinter("Print dialog failed (" + std::to_string(error) + ")");
    return false;
  }
  AnsiString newDevice = device, newDriver = driver, newPort = port;
  if (pd.hDevNames) {
    auto* dn = static_cast<const DEVNAMES*>(GlobalLock(pd.hDevNames));
    newDriver = NameAt(dn, dn->wDriverOffset);
    newDevice = NameAt(dn, dn->wDeviceOffset);
    newPort = NameAt(dn, dn->wOutputOffset);
    GlobalUnlock(pd.hDevNames);
    GlobalFree(pd.hDevNames);
  }
  int copies = pd.nCopies;
  if (pd.hDevMode) {
    auto* dm = static_cast<const DEVMODEA*>(GlobalLock(pd.hDevMode));
    if (pd.Flags & PD_USEDEVMODECOPIES) copies = dm->dmCopies;
    GlobalUnlock(pd.hDevMode);
  }
  printer->SetPrinter(newDevice, newDriver, newPort, pd.hDevMode);  // the printer owns it now
  Copies = copies;
  Collate = (pd.Flags & PD_COLLATE) != 0;
  PrintToFile = (pd.Flags & PD_PRINTTOFILE) != 0;
  PrintRange = (pd.Flags & PD_SELECTION) ? prSelection : (pd.Flags & PD_PAGENUMS) ? prPageNums : prAllPages;
  FromPage = pd.nFromPage;
  ToPage = pd.nToPage;
  return true;
}
