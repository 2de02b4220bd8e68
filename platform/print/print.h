// Printers, device modes, printer device contexts and the print dialog.
//
// The printer list holds the virtual printer and, when a CUPS server answers, its queues.
// The virtual printer is configured by values under HKEY_CURRENT_USER\Software\Korvane\Print,
// each with an environment variable that is read when the value is absent:
//   Name          KORVANE_PRINT_NAME          "Korvane Virtual Printer"
//   Port          KORVANE_PRINT_PORT          "FILE:"
//   DpiX, DpiY    KORVANE_PRINT_DPIX, _DPIY   72..1200 dots per inch (600; DpiY follows DpiX)
//   PaperSize     KORVANE_PRINT_PAPERSIZE     a DMPAPER_* code (9, A4)
//   PaperWidth, PaperLength                   tenths of a mm, for codes without a size
//   Orientation   KORVANE_PRINT_ORIENTATION   1 portrait, 2 landscape
//   OffsetX, OffsetY KORVANE_PRINT_OFFSETX, _OFFSETY  printable offset, tenths of a mm (0)
//   OutputDir     KORVANE_PRINT_DIR           (the variable wins when set) $KORVANE_HOME/print/
//   Cups          KORVANE_PRINT_CUPS          1 lists CUPS queues (default 1; 0 under KORVANE_TEST)
//   CupsServer    KORVANE_PRINT_CUPSSERVER    host[:port] or socket path (the CUPS default)
//   DialogAnswer  KORVANE_PRINT_DIALOG        unscripted print dialog: "ok", "cancel" or "fail"
//   Rasters       KORVANE_PRINT_RASTERS       1 also writes a PNG per page (default 0)
// Every document printed on any printer is written to the output folder as one vector
// PDF and, with Rasters 1, one PNG per page at device resolution:
//   <folder>/<document>-<n>.pdf, <folder>/<document>-<n>-page<k>.png
// where <document> is the document name with the characters / \ : * ? " < > | % and
// control characters replaced by '_' ("document" when empty), <n> the smallest number
// from 1 whose PDF does not exist yet, and <k> counts pages from 1. For a CUPS queue the
// PDF is also submitted to the queue.
#pragma once

#include "platform/base/error.h"
#include "platform/base/types.h"

extern "C" {

// Error codes of the printing functions beyond the base set.
#ifndef ERROR_INVALID_LEVEL
#define ERROR_INVALID_LEVEL 124L
#endif
#ifndef ERROR_CANCELLED
#define ERROR_CANCELLED 1223L
#endif
#ifndef ERROR_INVALID_PRINTER_NAME
#define ERROR_INVALID_PRINTER_NAME 1801L
#endif
#ifndef ERROR_INVALID_PRINTER_STATE
#define ERROR_INVALID_PRINTER_STATE 1906L
#endif
#ifndef ERROR_PRINT_CANCELLED
#define ERROR_PRINT_CANCELLED 63L
#endif

// ---- Device modes ----------------------------------------------------------------------

#define CCHDEVICENAME 32
#define CCHFORMNAME 32
#define DM_SPECVERSION 0x0401

typedef struct _devicemodeA {
  BYTE dmDeviceName[CCHDEVICENAME];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  SHORT dmOrientation;
  SHORT dmPaperSize;
  SHORT dmPaperLength;  // tenths of a millimetre
  SHORT dmPaperWidth;   // tenths of a millimetre
  SHORT dmScale;
  SHORT dmCopies;
  SHORT dmDefaultSource;
  SHORT dmPrintQuality;  // positive: horizontal dots per inch; negative: DMRES_*
  SHORT dmColor;
  SHORT dmDuplex;
  SHORT dmYResolution;
  SHORT dmTTOption;
  SHORT dmCollate;
  BYTE dmFormName[CCHFORMNAME];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
} DEVMODEA, *PDEVMODEA, *LPDEVMODEA;

typedef struct _devicemodeW {
  WCHAR dmDeviceName[CCHDEVICENAME];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  SHORT dmOrientation;
  SHORT dmPaperSize;
  SHORT dmPaperLength;
  SHORT dmPaperWidth;
  SHORT dmScale;
  SHORT dmCopies;
  SHORT dmDefaultSource;
  SHORT dmPrintQuality;
  SHORT dmColor;
  SHORT dmDuplex;
  SHORT dmYResolution;
  SHORT dmTTOption;
  SHORT dmCollate;
  WCHAR dmFormName[CCHFORMNAME];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
} DEVMODEW, *PDEVMODEW, *LPDEVMODEW;

// dmFields
#define DM_ORIENTATION 0x00000001
#define DM_PAPERSIZE 0x00000002
#define DM_PAPERLENGTH 0x00000004
#define DM_PAPERWIDTH 0x00000008
#define DM_SCALE 0x00000010
#define DM_COPIES 0x00000100
#define DM_DEFAULTSOURCE 0x00000200
#define DM_PRINTQUALITY 0x00000400
#define DM_COLOR 0x00000800
#define DM_DUPLEX 0x00001000
#define DM_YRESOLUTION 0x00002000
#define DM_TTOPTION 0x00004000
#define DM_COLLATE 0x00008000
#define DM_FORMNAME 0x00010000

#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2

#define DMPAPER_LETTER 1
#define DMPAPER_LEGAL 5
#define DMPAPER_A3 8
#define DMPAPER_A4 9
#define DMPAPER_A5 11
#define DMPAPER_B4 12
#define DMPAPER_B5 13
#define DMPAPER_USER 256

#define DMBIN_UPPER 1
#define DMBIN_MANUAL 4
#define DMBIN_AUTO 7

#define DMRES_DRAFT (-1)
#define DMRES_LOW (-2)
#define DMRES_MEDIUM (-3)
#define DMRES_HIGH (-4)

#define DMCOLOR_MONOCHROME 1
#define DMCOLOR_COLOR 2
#define DMDUP_SIMPLEX 1
#define DMCOLLATE_FALSE 0
#define DMCOLLATE_TRUE 1

// DocumentProperties modes
#define DM_UPDATE 1
#define DM_COPY 2
#define DM_PROMPT 4
#define DM_MODIFY 8
#define DM_OUT_DEFAULT DM_UPDATE
#define DM_OUT_BUFFER DM_COPY
#define DM_IN_PROMPT DM_PROMPT
#define DM_IN_BUFFER DM_MODIFY

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

// ---- Printers --------------------------------------------------------------------------

typedef struct _PRINTER_DEFAULTSA {
  LPSTR pDatatype;
  LPDEVMODEA pDevMode;
  DWORD DesiredAccess;
} PRINTER_DEFAULTSA, *LPPRINTER_DEFAULTSA;

typedef struct _PRINTER_DEFAULTSW {
  LPWSTR pDatatype;
  LPDEVMODEW pDevMode;
  DWORD DesiredAccess;
} PRINTER_DEFAULTSW, *LPPRINTER_DEFAULTSW;

typedef struct _PRINTER_INFO_1A {
  DWORD Flags;
  LPSTR pDescription;
  LPSTR pName;
  LPSTR pComment;
} PRINTER_INFO_1A;
typedef struct _PRINTER_INFO_1W {
  DWORD Flags;
  LPWSTR pDescription;
  LPWSTR pName;
  LPWSTR pComment;
} PRINTER_INFO_1W;

typedef struct _PRINTER_INFO_2A {
  LPSTR pServerName;
  LPSTR pPrinterName;
  LPSTR pShareName;
  LPSTR pPortName;
  LPSTR pDriverName;
  LPSTR pComment;
  LPSTR pLocation;
  LPDEVMODEA pDevMode;
  LPSTR pSepFile;
  LPSTR pPrintProcessor;
  LPSTR pDatatype;
  LPSTR pParameters;
  LPVOID pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
} PRINTER_INFO_2A;
typedef struct _PRINTER_INFO_2W {
  LPWSTR pServerName;
  LPWSTR pPrinterName;
  LPWSTR pShareName;
  LPWSTR pPortName;
  LPWSTR pDriverName;
  LPWSTR pComment;
  LPWSTR pLocation;
  LPDEVMODEW pDevMode;
  LPWSTR pSepFile;
  LPWSTR pPrintProcessor;
  LPWSTR pDatatype;
  LPWSTR pParameters;
  LPVOID pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
} PRINTER_INFO_2W;

typedef struct _PRINTER_INFO_4A {
  LPSTR pPrinterName;
  LPSTR pServerName;
  DWORD Attributes;
} PRINTER_INFO_4A;
typedef struct _PRINTER_INFO_4W {
  LPWSTR pPrinterName;
  LPWSTR pServerName;
  DWORD Attributes;
} PRINTER_INFO_4W;

typedef struct _PRINTER_INFO_5A {
  LPSTR pPrinterName;
  LPSTR pPortName;
  DWORD Attributes;
  DWORD DeviceNotSelectedTimeout;
  DWORD TransmissionRetryTimeout;
} PRINTER_INFO_5A;
typedef struct _PRINTER_INFO_5W {
  LPWSTR pPrinterName;
  LPWSTR pPortName;
  DWORD Attributes;
  DWORD DeviceNotSelectedTimeout;
  DWORD TransmissionRetryTimeout;
} PRINTER_INFO_5W;

#define PRINTER_ENUM_DEFAULT 0x00000001
#define PRINTER_ENUM_LOCAL 0x00000002
#define PRINTER_ENUM_CONNECTIONS 0x00000004
#define PRINTER_ENUM_NAME 0x00000008
#define PRINTER_ENUM_NETWORK 0x00000040

#define PRINTER_ATTRIBUTE_DEFAULT 0x00000004
#define PRINTER_ATTRIBUTE_NETWORK 0x00000010
#define PRINTER_ATTRIBUTE_LOCAL 0x00000040

#define PRINTER_ACCESS_USE 0x00000008

// Level 1, 2, 4, 5 are answered; other levels fail with ERROR_INVALID_LEVEL. A buffer that
// is too small fails with ERROR_INSUFFICIENT_BUFFER and *pcbNeeded set.
BOOL EnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                   LPDWORD pcReturned);
BOOL EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                   LPDWORD pcReturned);
// *pcchBuffer counts characters including the NUL. ERROR_FILE_NOT_FOUND when there is no
// printer, ERROR_INSUFFICIENT_BUFFER (with the size needed) when the buffer is short.
BOOL GetDefaultPrinterA(LPSTR pszBuffer, LPDWORD pcchBuffer);
BOOL GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer);
// ERROR_INVALID_PRINTER_NAME for a name that is not in the list.
BOOL OpenPrinterA(LPCSTR pPrinterName, HANDLE* phPrinter, LPPRINTER_DEFAULTSA pDefault);
BOOL OpenPrinterW(LPCWSTR pPrinterName, HANDLE* phPrinter, LPPRINTER_DEFAULTSW pDefault);
BOOL ClosePrinter(HANDLE hPrinter);
BOOL GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded);
BOOL GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded);
// fMode 0: the size of the printer's device mode. DM_OUT_BUFFER: the printer's device mode,
// merged with pDevModeInput when DM_IN_BUFFER is given, is copied to pDevModeOutput.
// DM_IN_PROMPT: the printer-setup dialog is answered like PrintDlg (see KvPrintDialog...).
// Answers IDOK, IDCANCEL or a negative value on failure. The printer is opened by name
// when hPrinter is null.
LONG DocumentPropertiesA(HWND hWnd, HANDLE hPrinter, LPSTR pDeviceName, PDEVMODEA pDevModeOutput,
                         PDEVMODEA pDevModeInput, DWORD fMode);
LONG DocumentPropertiesW(HWND hWnd, HANDLE hPrinter, LPWSTR pDeviceName, PDEVMODEW pDevModeOutput,
                         PDEVMODEW pDevModeInput, DWORD fMode);

// ---- Printer device contexts and documents ----------------------------------------------

typedef struct _DOCINFOA {
  int cbSize;
  LPCSTR lpszDocName;
  LPCSTR lpszOutput;
  LPCSTR lpszDatatype;
  DWORD fwType;
} DOCINFOA, *LPDOCINFOA;
typedef struct _DOCINFOW {
  int cbSize;
  LPCWSTR lpszDocName;
  LPCWSTR lpszOutput;
  LPCWSTR lpszDatatype;
  DWORD fwType;
} DOCINFOW, *LPDOCINFOW;

#define SP_ERROR (-1)
#define SP_APPABORT (-2)
#define SP_USERABORT (-3)
#define SP_OUTOFDISK (-4)
#define SP_OUTOFMEMORY (-5)

// A printer DC: driver "WINSPOOL" (or null) and a printer name from the list; the device
// mode (may be null: the printer's own) sets paper, orientation and resolution. Driver
// "DISPLAY" gives a screen DC. The port/output argument is not used. Free with DeleteDC;
// a document still open on a deleted DC is discarded.
HDC CreateDCA(LPCSTR pszDriver, LPCSTR pszDevice, LPCSTR pszPort, const DEVMODEA* pdm);
HDC CreateDCW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR pszPort, const DEVMODEW* pdm);
// An information context: here the same as a DC.
HDC CreateICA(LPCSTR pszDriver, LPCSTR pszDevice, LPCSTR pszPort, const DEVMODEA* pdm);
HDC CreateICW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR pszPort, const DEVMODEW* pdm);
// True when hdc is a live printer DC made by the functions above.
BOOL KvPrintIsPrinterDC(HDC hdc);

// Changes the device mode of a printer DC; refused while a page is open.
HDC ResetDCA(HDC hdc, const DEVMODEA* lpdm);
HDC ResetDCW(HDC hdc, const DEVMODEW* lpdm);
// The job number (> 0) or SP_ERROR. lpszOutput, when given, names the PDF's file (a
// Windows or POSIX path) instead of the output folder; the PNG pages stay in the folder.
int StartDocA(HDC hdc, const DOCINFOA* lpdi);
int StartDocW(HDC hdc, const DOCINFOW* lpdi);
int StartPage(HDC hdc);
int EndPage(HDC hdc);
int EndDoc(HDC hdc);
int AbortDoc(HDC hdc);

// ---- Print dialog ----------------------------------------------------------------------

typedef UINT_PTR (*LPPRINTHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
typedef UINT_PTR (*LPSETUPHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagPDA {
  DWORD lStructSize;
  HWND hwndOwner;
  HGLOBAL hDevMode;
  HGLOBAL hDevNames;
  HDC hDC;
  DWORD Flags;
  WORD nFromPage;
  WORD nToPage;
  WORD nMinPage;
  WORD nMaxPage;
  WORD nCopies;
  HINSTANCE hInstance;
  LPARAM lCustData;
  LPPRINTHOOKPROC lpfnPrintHook;
  LPSETUPHOOKPROC lpfnSetupHook;
  LPCSTR lpPrintTemplateName;
  LPCSTR lpSetupTemplateName;
  HGLOBAL hPrintTemplate;
  HGLOBAL hSetupTemplate;
} PRINTDLGA, *LPPRINTDLGA;

typedef struct tagPDW {
  DWORD lStructSize;
  HWND hwndOwner;
  HGLOBAL hDevMode;
  HGLOBAL hDevNames;
  HDC hDC;
  DWORD Flags;
  WORD nFromPage;
  WORD nToPage;
  WORD nMinPage;
  WORD nMaxPage;
  WORD nCopies;
  HINSTANCE hInstance;
  LPARAM lCustData;
  LPPRINTHOOKPROC lpfnPrintHook;
  LPSETUPHOOKPROC lpfnSetupHook;
  LPCWSTR lpPrintTemplateName;
  LPCWSTR lpSetupTemplateName;
  HGLOBAL hPrintTemplate;
  HGLOBAL hSetupTemplate;
} PRINTDLGW, *LPPRINTDLGW;

// Offsets in characters from the start of the block.
typedef struct tagDEVNAMES {
  WORD wDriverOffset;
  WORD wDeviceOffset;
  WORD wOutputOffset;
  WORD wDefault;
} DEVNAMES, *LPDEVNAMES;
#define DN_DEFAULTPRN 0x0001

#define PD_ALLPAGES 0x00000000
#define PD_SELECTION 0x00000001
#define PD_PAGENUMS 0x00000002
#define PD_NOSELECTION 0x00000004
#define PD_NOPAGENUMS 0x00000008
#define PD_COLLATE 0x00000010
#define PD_PRINTTOFILE 0x00000020
#define PD_PRINTSETUP 0x00000040
#define PD_NOWARNING 0x00000080
#define PD_RETURNDC 0x00000100
#define PD_RETURNIC 0x00000200
#define PD_RETURNDEFAULT 0x00000400
#define PD_SHOWHELP 0x00000800
#define PD_ENABLEPRINTHOOK 0x00001000
#define PD_ENABLESETUPHOOK 0x00002000
#define PD_USEDEVMODECOPIES 0x00040000
#define PD_USEDEVMODECOPIESANDCOLLATE 0x00040000
#define PD_DISABLEPRINTTOFILE 0x00080000
#define PD_HIDEPRINTTOFILE 0x00100000
#define PD_NONETWORKBUTTON 0x00200000

#define CDERR_DIALOGFAILURE 0xFFFF
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define CDERR_MEMALLOCFAILURE 0x0009
#define CDERR_MEMLOCKFAILURE 0x000A
#define PDERR_SETUPFAILURE 0x1001
#define PDERR_PARSEFAILURE 0x1002
#define PDERR_RETDEFFAILURE 0x1003
#define PDERR_LOADDRVFAILURE 0x1004
#define PDERR_GETDEVMODEFAIL 0x1005
#define PDERR_INITFAILURE 0x1006
#define PDERR_NODEVICES 0x1007
#define PDERR_NODEFAULTPRN 0x1008
#define PDERR_DNDMMISMATCH 0x1009
#define PDERR_CREATEICFAILURE 0x100A
#define PDERR_PRINTERNOTFOUND 0x100B

// TRUE for OK; FALSE for Cancel (CommDlgExtendedError 0) or failure (its code). On OK,
// hDevMode and hDevNames hold new moveable blocks for the chosen printer (the caller's
// old blocks are freed), and with PD_RETURNDC hDC a printer DC.
BOOL PrintDlgA(LPPRINTDLGA lppd);
BOOL PrintDlgW(LPPRINTDLGW lppd);
DWORD CommDlgExtendedError(void);

// ---- Test-facing side and configuration -------------------------------------------------

// Scripted answers of the print dialog (PrintDlg and DocumentProperties with DM_IN_PROMPT),
// used first-in first-out. Without a scripted answer the dialog answers from the
// registry value DialogAnswer ("ok" (default), "cancel" or "fail").
#define KV_PRINT_DIALOG_OK 1
#define KV_PRINT_DIALOG_CANCEL 2
#define KV_PRINT_DIALOG_FAIL 3
// printer: name to choose (null or empty: the printer the caller passed, or the default);
// copies: 0 keeps the caller's; error: CommDlgExtendedError code for KV_PRINT_DIALOG_FAIL.
void KvPrintDialogScript(int answer, LPCSTR printer, WORD copies, DWORD error);
void KvPrintDialogClearScript(void);
// Number of times the dialog was shown (scripted or not) since the last clear.
DWORD KvPrintDialogShownCount(void);

// Failure injection: a set of KV_PRINT_FAIL_* bits, kept until changed.
#define KV_PRINT_FAIL_NO_PRINTER 0x1  // the printer list is empty
#define KV_PRINT_FAIL_STARTDOC 0x2    // StartDoc answers SP_ERROR
#define KV_PRINT_FAIL_ENDDOC 0x4      // EndDoc answers SP_ERROR; the document is discarded
#define KV_PRINT_FAIL_STARTPAGE 0x8   // StartPage answers SP_ERROR
void KvPrintInjectFailure(DWORD failures);

// Forgets the printer list (CUPS queues are asked again) and the configuration read so far.
void KvPrintRefresh(void);

// The spooler's own words for the job it refused in the last EndDoc on this thread (for a
// CUPS queue: the server's answer and the printer's reason), ANSI; empty when that EndDoc
// was not refused by a spooler. Copies at most size - 1 characters and a NUL; returns the
// characters copied, or with a null buffer the length of the whole text.
DWORD KvPrintSpoolerText(LPSTR buffer, DWORD size);

// Record of the documents ended (EndDoc) or aborted since the last clear, newest last.
typedef struct KvPrintDocument {
  CHAR docName[260];      // as given to StartDoc, ANSI
  CHAR printerName[260];  // ANSI
  CHAR pdfPath[1024];     // empty when the document was aborted or refused
  CHAR pngPattern[1024];  // the page PNG names with "%u" for the page number; empty when
                          // the printer writes no page rasters (configuration "Rasters")
  DWORD pages;
  DWORD jobId;
  LONG dpiX, dpiY;
  LONG pageWidthPx, pageHeightPx;                                 // physical page in device pixels (the PNG size)
  LONG offsetXPx, offsetYPx;                                      // printable area's corner on the physical page
  double pdfWidthPt, pdfHeightPt;                                 // PDF page size of the first page in points
  SHORT paperSize, paperWidth, paperLength, orientation, copies;  // device mode used
  BOOL aborted;    // AbortDoc, DeleteDC inside a document, or EndDoc refused
  BOOL submitted;  // handed to a CUPS queue
  LONG cupsJob;    // the CUPS job number, 0 when not submitted
} KvPrintDocument;
DWORD KvPrintDocumentCount(void);
// index 0 is the newest document. FALSE when there is no such document.
BOOL KvPrintLastDocument(DWORD index, KvPrintDocument* out);
void KvPrintClearDocuments(void);

}  // extern "C"
