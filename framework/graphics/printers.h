// The framework's printer object and print dialog, over platform/print.
#pragma once

#include <memory>

#include "framework/core/strings.h"
#include "framework/graphics/graphics.h"
#include "platform/print/print.h"

KV_EXCEPTION(EPrinter, Exception);

enum TPrinterOrientation { poPortrait, poLandscape };

class TPrinter;

// The printer's canvas: the printer DC, fonts sized by the printer's resolution.
class TPrinterCanvas : public TCanvas {
 public:
  explicit TPrinterCanvas(TPrinter* Printer) : printer_(Printer) {}
  KV_CLASS_NAME(TPrinterCanvas)
  // Points stay points on the printer: the font follows the DC's LOGPIXELSY.
  void UpdateFont();

 protected:
  void CreateHandle() override;

 private:
  TPrinter* printer_;
};

class TPrinter : public TObject {
 public:
  TPrinter();
  ~TPrinter() override;
  KV_CLASS_NAME(TPrinter)

  // Printer names as the spooler lists them.
  TStrings* Printers();
  // -1: the default printer. EPrinter "Printer selected is not valid" for a bad index.
  int PrinterIndex();
  void SetPrinterIndex(int Value);
  // The current printer's names and its device mode (a global memory handle that stays
  // the printer object's). EPrinter "There is no default printer currently selected".
  void GetPrinter(AnsiString& Device, AnsiString& Driver, AnsiString& Port, HGLOBAL& DeviceMode);
  // Selects a printer by name and takes ownership of DeviceMode (may be null: the
  // printer's own device mode).
  void SetPrinter(const AnsiString& Device, const AnsiString& Driver, const AnsiString& Port, HGLOBAL DeviceMode);
  // Forgets the printer list (asked again at next use).
  void Refresh();

  // EPrinter "Printing in progress" when a document is open; the spooler's refusal as
  // EPrinter with its message.
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  bool Aborted() const { return aborted_; }
  bool Printing() const { return printing_; }
  int PageNumber() const { return page_number_; }

  TCanvas* Canvas();
  // The printer DC (made from the device mode on first use).
  HDC Handle();
  int PageWidth();
  int PageHeight();
  TPrinterOrientation Orientation();
  void SetOrientation(TPrinterOrientation Value);
  int Copies();
  void SetCopies(int Value);
  AnsiString Title;

 private:
  friend class TPrinterCanvas;
  void LoadPrinters();
  void EnsureDeviceMode();
  void FreeDC();
  void FreeDeviceMode();
  // Changes one device-mode field and resets the DC with it.
  void ChangeDeviceMode(DWORD Field, SHORT DEVMODEA::*Member, SHORT Value);
  [[noreturn]] void RaiseError(const AnsiString& Message);

  std::unique_ptr<TStringList> printers_;
  std::vector<AnsiString> ports_;
  int printer_index_ = -1;
  AnsiString device_, driver_, port_;
  HGLOBAL devmode_ = nullptr;
  HDC dc_ = nullptr;
  std::unique_ptr<TPrinterCanvas> canvas_;
  bool printing_ = false;
  bool aborted_ = false;
  int page_number_ = 0;
};

// The process's printer object (made on first use, kept to the end of the process).
TPrinter* Printer();
// Replaces it (the old one is freed); returns the new one.
TPrinter* SetPrinter(TPrinter* NewPrinter);

enum TPrintRange { prAllPages, prSelection, prPageNums };
enum TPrintDialogOption { poPrintToFile, poPageNums, poSelection, poWarning, poHelp, poDisablePrintToFile };
using TPrintDialogOptions = Set<TPrintDialogOption, poPrintToFile, poDisablePrintToFile>;

// The print dialog: Execute shows it for Printer() and applies the choice to it.
class TPrintDialog : public TComponent {
 public:
  explicit TPrintDialog(TComponent* AOwner) : TComponent(AOwner) {}
  KV_CLASS_NAME(TPrintDialog)

  // True for OK (the chosen printer and device mode go to Printer()), false for Cancel.
  // A dialog that fails raises EPrinter "Print dialog failed (%d)" with its error code.
  bool Execute();

  bool Collate = false;
  int Copies = 0;
  int FromPage = 0;
  int ToPage = 0;
  int MinPage = 0;
  int MaxPage = 0;
  TPrintDialogOptions Options;
  bool PrintToFile = false;
  TPrintRange PrintRange = prAllPages;
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
};
