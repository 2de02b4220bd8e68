// Internals of the print area shared by its source files (inside libplatform.so only).
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/engine.h"
#include "platform/print/print.h"

namespace kv::print {

// Everything the area keeps between calls is guarded by this one lock.
std::recursive_mutex& Lock();

// ---- Configuration (HKEY_CURRENT_USER\Software\Korvane\Print, then environment) --------
//
// Registry values (REG_SZ or REG_DWORD) and the environment variables read when the
// value is absent:
//   Name         KORVANE_PRINT_NAME         virtual printer's name
//   Port         KORVANE_PRINT_PORT         its port name ("FILE:")
//   DpiX, DpiY   KORVANE_PRINT_DPIX/_DPIY   resolution, 72..1200 (600)
//   PaperSize    KORVANE_PRINT_PAPERSIZE    DMPAPER_* code (9, A4)
//   PaperWidth, PaperLength                 tenths of a mm for DMPAPER_USER
//                KORVANE_PRINT_PAPERWIDTH/_PAPERLENGTH
//   Orientation  KORVANE_PRINT_ORIENTATION  1 portrait, 2 landscape
//   OffsetX, OffsetY KORVANE_PRINT_OFFSETX/_OFFSETY printable offset, tenths of a mm (0)
//   OutputDir    KORVANE_PRINT_DIR          output folder ($KORVANE_HOME/print/)
//   Cups         KORVANE_PRINT_CUPS         1: list CUPS queues when a server answers (1;
//                                           0 when KORVANE_TEST is set)
//   CupsServer   KORVANE_PRINT_CUPSSERVER   host[:port] or socket path (the CUPS default)
//   DialogAnswer KORVANE_PRINT_DIALOG       unscripted dialog: "ok", "cancel" or "fail"
//   Rasters      KORVANE_PRINT_RASTERS      1: the virtual printer writes a PNG per page
//                                           beside the PDF (0)
// KORVANE_PRINT_DIR, when set, wins over the registry value OutputDir.
struct Config {
  std::u16string name;
  std::u16string port;
  int dpiX = 600, dpiY = 600;
  SHORT paperSize = DMPAPER_A4;
  SHORT paperWidth = 2100, paperLength = 2970;
  SHORT orientation = DMORIENT_PORTRAIT;
  int offsetX = 0, offsetY = 0;
  std::string outputDir;  // file-system path ending in "/"
  bool cups = true;
  std::string cupsServer;
  std::string dialogAnswer = "ok";
  bool rasters = false;
};
Config ReadConfig();

// ---- Printers --------------------------------------------------------------------------
struct Printer {
  std::u16string name;
  std::u16string port;
  std::u16string driver;
  std::u16string comment;
  bool isDefault = false;
  std::string cupsQueue;         // non-empty for a CUPS queue (UTF-8)
  DEVMODEW defaults{};           // the printer's own device mode
  int offsetX = 0, offsetY = 0;  // tenths of a mm
};

// The printer list: the virtual printer first (the default), then the CUPS queues.
// Empty under KV_PRINT_FAIL_NO_PRINTER.
std::vector<Printer> Printers();
// The print dialog as a modal window a person answers (with a presenter): IDOK or
// IDCANCEL, the printer chosen and the copies; false when the window could not be made.
bool AskPrintDialog(HWND owner, const std::u16string& wanted, WORD copies, int* answer, std::u16string* printer,
                    WORD* copiesOut);
std::optional<Printer> FindPrinter(const std::u16string& name);
std::optional<Printer> DefaultPrinter();

// Device modes.
DEVMODEW DefaultDevMode(const std::u16string& name, const Config& config);
// Takes every field that `in` (an A or W device mode) marks in dmFields and holds a valid
// value; bytes beyond its dmSize are never read.
void MergeDevMode(DEVMODEW& into, const void* in, bool wide);
DEVMODEA ToAnsi(const DEVMODEW& w);
DEVMODEW ToWide(const DEVMODEA& a);
// Reads a device mode the caller passed (A or W), honouring its dmSize; nullopt when the
// block is too short to be one.
std::optional<DEVMODEW> ReadDevMode(const void* dm, bool wide);

// Page geometry of a device mode on a printer.
struct Geometry {
  int dpiX = 600, dpiY = 600;
  int widthTenths = 2100, lengthTenths = 2970;  // oriented paper
  int physWidth = 0, physHeight = 0;            // device pixels
  int offsetX = 0, offsetY = 0;                 // device pixels
  int horzRes = 0, vertRes = 0;                 // printable area, device pixels
  double widthPt = 0, heightPt = 0;             // PDF page
};
// nullopt (ERROR_INVALID_PARAMETER / ERROR_NOT_ENOUGH_MEMORY set) for a page too large.
std::optional<Geometry> ComputeGeometry(const Printer& printer, const DEVMODEW& dm);

// ---- Page output ---------------------------------------------------------------------------
// The PNG of a sheet (png_writer.cpp): the printable area's raster at its offset on the
// paper, white margins. False (ERROR_NOT_ENOUGH_MEMORY) when memory runs out.
bool EncodePagePng(const kv::gdi::SurfaceView& raster, const Geometry& g, std::string* out);
// Paints a page's record onto a cairo context whose user space is device pixels
// (pdf_replay.cpp).
void ReplayOps(cairo_t* cr, const std::vector<kv::gdi::PageOp>& ops);

// ---- CUPS ------------------------------------------------------------------------------
// Queue names when a server answers within a short time; empty otherwise.
std::vector<std::string> CupsQueues(const Config& config);
// Submits a PDF; the CUPS job number or 0 (last error set, and the server's words kept for
// KvPrintSpoolerText).
int CupsSubmit(const Config& config, const std::string& queue, const std::string& pdfPath, const std::string& title,
               int copies);
// Forgets the words of the last refusal (each EndDoc starts without them).
void ClearSpoolerText();

// Failures injected by KvPrintInjectFailure (KV_PRINT_FAIL_* bits).
DWORD& InjectedFailures();
// Forgets the CUPS queues listed so far.
void ForgetCups();

// ---- Print dialog state ---------------------------------------------------------------
DWORD& DialogError();
// The setup dialog of DocumentProperties(DM_IN_PROMPT): IDOK, IDCANCEL or -1 (failure).
int DialogAnswerForPrompt();

// ---- Strings -----------------------------------------------------------------------------
std::u16string FromAnsi(const char* s);
std::string ToAnsiString(const std::u16string& s);
std::u16string FromWide(const WCHAR* s);
std::string ToUtf8(const std::u16string& s);

}  // namespace kv::print
