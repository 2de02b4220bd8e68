// Printer device contexts and documents: each document becomes one vector PDF (cairo)
// and, when the printer is configured for them, one PNG per page at device resolution
// (the raster engine's page raster).
#include <cairo-pdf.h>
#include <cairo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <utility>

#include "platform/base/codepage.h"
#include "platform/base/file.h"
#include "platform/base/path.h"
#include "platform/print/print_internal.h"

namespace kv::print {

namespace {

struct Job {
  Printer printer;
  DEVMODEW dm{};
  Geometry geo;
  bool inDoc = false;
  bool inPage = false;
  int jobId = 0;
  std::string docName;              // ANSI, as given
  std::string base;                 // "<folder>/<name>-<n>"
  std::string pdfPath;              // final PDF path
  std::string reservation;          // "<base>.pdf.part": holds the number while the PDF is made
  KvAtomicFile* pdfFile = nullptr;  // the PDF as cairo writes it, put in place at EndDoc
  bool rasters = false;             // a PNG per page
  std::vector<std::string> pngs;
  cairo_surface_t* pdf = nullptr;
  cairo_t* cr = nullptr;
  DWORD pages = 0;
  Geometry firstPage;
};

std::map<HDC, Job>& Jobs() {
  // Never destroyed: a printer object freed at exit still deletes its DC through here.
  static auto* jobs = new std::map<HDC, Job>;
  return *jobs;
}

std::deque<KvPrintDocument>& Record() {
  static auto* r = new std::deque<KvPrintDocument>;
  return *r;
}

int NextJobId() {
  static int id = 0;
  return ++id;
}

void Discard(Job& job);

Job* FindJob(HDC hdc) {
  auto& jobs = Jobs();
  auto it = jobs.find(hdc);
  if (it == jobs.end()) return nullptr;
  if (!kv::gdi::IsPrinterDC(hdc)) {  // the delete observer forgets deleted DCs; belt and braces
    if (it->second.inDoc) Discard(it->second);
    jobs.erase(it);
    return nullptr;
  }
  return &it->second;
}

kv::gdi::PrinterCaps CapsOf(const Geometry& g, bool rasters) {
  kv::gdi::PrinterCaps c;
  c.pageRaster = rasters;
  c.horzRes = g.horzRes;
  c.vertRes = g.vertRes;
  c.logPixelsX = g.dpiX;
  c.logPixelsY = g.dpiY;
  c.physicalWidth = g.physWidth;
  c.physicalHeight = g.physHeight;
  c.physicalOffsetX = g.offsetX;
  c.physicalOffsetY = g.offsetY;
  c.horzSizeMm = static_cast<int>(static_cast<long long>(g.horzRes) * 254 / g.dpiX / 10);
  c.vertSizeMm = static_cast<int>(static_cast<long long>(g.vertRes) * 254 / g.dpiY / 10);
  return c;
}

bool MakeDirs(const std::string& dir) {
  std::string path;
  for (size_t i = 0; i < dir.size(); ++i) {
    path += dir[i];
    if ((dir[i] == '/' && i > 0) || i + 1 == dir.size()) {
      if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

bool Exists(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0;
}

// Document name as a file name: UTF-8, no separators or reserved characters, at most 100
// bytes cut on a character boundary.
std::string FileStem(const std::string& ansiName) {
  std::string utf8 = kv::AnsiToUtf8(ansiName);
  std::string out;
  for (unsigned char c : utf8) {
    if (c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|%", c))
      out += '_';
    else
      out += static_cast<char>(c);
  }
  if (out.size() > 100) {
    size_t n = 100;
    while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80) --n;
    out.resize(n);
  }
  if (out.empty()) out = "document";
  return out;
}

cairo_status_t AppendPdf(void* closure, const unsigned char* data, unsigned int length) {
  return KvAtomicFileWrite(static_cast<KvAtomicFile*>(closure), data, length) ? CAIRO_STATUS_SUCCESS
                                                                              : CAIRO_STATUS_WRITE_ERROR;
}

// A page's PNG: whole under its name or not there (written to a temporary file that is
// renamed), its writeback started at once but not waited for; EndDoc waits for all of a
// document's pages together (SyncPngs), so no page of the job stalls on the disk.
bool WritePagePng(const std::string& path, const std::string& data) {
  std::string temp = path + ".part";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetLastError(KvErrnoToError(errno));
    return false;
  }
  DWORD error = 0;
  for (size_t off = 0; off < data.size() && !error;) {
    ssize_t w = write(fd, data.data() + off, data.size() - off);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0)
      error = w < 0 ? KvErrnoToError(errno) : ERROR_WRITE_FAULT;
    else
      off += static_cast<size_t>(w);
  }
  if (!error) sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  if (close(fd) != 0 && !error) error = KvErrnoToError(errno);
  if (!error && rename(temp.c_str(), path.c_str()) != 0) error = KvErrnoToError(errno);
  if (error) {
    unlink(temp.c_str());
    SetLastError(error);
    return false;
  }
  return true;
}

// The pages' PNGs and their names on the disk (before the PDF is put in place).
bool SyncPngs(const std::vector<std::string>& pngs) {
  for (const std::string& p : pngs) {
    int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fdatasync(fd) != 0) {
      DWORD e = KvErrnoToError(errno);
      if (fd >= 0) close(fd);
      SetLastError(e);
      return false;
    }
    close(fd);
  }
  if (pngs.empty()) return true;
  std::string dir = pngs.front().substr(0, pngs.front().rfind('/') + 1);
  int d = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool ok = d >= 0 && fsync(d) == 0;
  DWORD e = ok ? 0 : KvErrnoToError(errno);
  if (d >= 0) close(d);
  if (!ok) SetLastError(e);
  return ok;
}

// A page without a raster that needs its pixels gets the record so far painted onto one.
void PaintPageSoFar(cairo_t* cr, const std::vector<kv::gdi::PageOp>& ops) {
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);  // the raster engine's shapes are aliased
  ReplayOps(cr, ops);
}

void Remember(const Job& job, bool aborted, bool submitted, int cupsJob) {
  KvPrintDocument d{};
  std::snprintf(d.docName, sizeof d.docName, "%s", job.docName.c_str());
  std::snprintf(d.printerName, sizeof d.printerName, "%s", ToAnsiString(job.printer.name).c_str());
  if (!aborted) std::snprintf(d.pdfPath, sizeof d.pdfPath, "%s", job.pdfPath.c_str());
  if (job.rasters) std::snprintf(d.pngPattern, sizeof d.pngPattern, "%s-page%%u.png", job.base.c_str());
  d.pages = job.pages;
  d.jobId = static_cast<DWORD>(job.jobId);
  const Geometry& g = job.pages ? job.firstPage : job.geo;
  d.dpiX = g.dpiX;
  d.dpiY = g.dpiY;
  d.pageWidthPx = g.physWidth;
  d.pageHeightPx = g.physHeight;
  d.offsetXPx = g.offsetX;
  d.offsetYPx = g.offsetY;
  d.pdfWidthPt = g.widthPt;
  d.pdfHeightPt = g.heightPt;
  d.paperSize = job.dm.dmPaperSize;
  d.paperWidth = job.dm.dmPaperWidth;
  d.paperLength = job.dm.dmPaperLength;
  d.orientation = job.dm.dmOrientation;
  d.copies = job.dm.dmCopies;
  d.aborted = aborted;
  d.submitted = submitted;
  d.cupsJob = cupsJob;
  auto& r = Record();
  r.push_back(d);
  while (r.size() > 64) r.pop_front();
}

void CloseSurface(Job& job) {
  if (job.cr) cairo_destroy(job.cr);
  if (job.pdf) {
    cairo_surface_finish(job.pdf);
    cairo_surface_destroy(job.pdf);
  }
  job.cr = nullptr;
  job.pdf = nullptr;
}

// Ends the document without output: every file of it is removed.
void Discard(Job& job) {
  CloseSurface(job);
  KvAtomicFileAbort(job.pdfFile);
  job.pdfFile = nullptr;
  unlink(job.reservation.c_str());
  for (const std::string& p : job.pngs) unlink(p.c_str());
  Remember(job, true, false, 0);
  job.inDoc = job.inPage = false;
  job.pngs.clear();
}

// After a document the page memory goes back until the next StartPage.
void ReleasePage(HDC hdc) {
  if (kv::gdi::IsPrinterDC(hdc)) kv::gdi::ReleasePrinterPage(hdc);
}

HDC CreatePrinterDCFor(const std::u16string& device, const void* dm, bool wide) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  std::optional<Printer> p = FindPrinter(device);
  if (!p) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  Job job;
  job.printer = *p;
  job.dm = p->defaults;
  if (dm) MergeDevMode(job.dm, dm, wide);
  std::optional<Geometry> geo = ComputeGeometry(job.printer, job.dm);
  if (!geo) return nullptr;
  job.geo = *geo;
  job.rasters = ReadConfig().rasters;
  HDC hdc = kv::gdi::CreatePrinterDC(CapsOf(job.geo, job.rasters));
  if (!hdc) return nullptr;
  kv::gdi::SetPrinterPagePainter(hdc, PaintPageSoFar);
  Jobs()[hdc] = std::move(job);
  // DeleteDC inside a document discards it (nothing half-written stays behind).
  kv::gdi::SetPrinterDCDeleteObserver(hdc, [](HDC dying) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    auto it = Jobs().find(dying);
    if (it == Jobs().end()) return;
    if (it->second.inDoc) Discard(it->second);
    Jobs().erase(it);
  });
  return hdc;
}

HDC CreateDCImpl(const std::u16string& driver, const std::u16string& device, const void* dm, bool wide) {
  auto lower = [](std::u16string s) {
    for (auto& c : s)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return s;
  };
  std::u16string drv = lower(driver);
  if (drv == u"display" || (drv.empty() && lower(device) == u"display")) {
    return kv::gdi::CreateDisplayDC();
  }
  if (device.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreatePrinterDCFor(device, dm, wide);
}

HDC ResetDCImpl(HDC hdc, const void* dm, bool wide) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Job* job = FindJob(hdc);
  if (!job) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (job->inPage) {  // the page's size cannot change while it is drawn
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return nullptr;
  }
  DEVMODEW next = job->dm;
  if (dm) MergeDevMode(next, dm, wide);
  std::optional<Geometry> geo = ComputeGeometry(job->printer, next);
  if (!geo) return nullptr;
  if (!kv::gdi::ResetPrinterDC(hdc, CapsOf(*geo, job->rasters))) return nullptr;
  job->dm = next;
  job->geo = *geo;
  return hdc;
}

int StartDocImpl(HDC hdc, const std::string& ansiName, const std::string& output) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Job* job = FindJob(hdc);
  if (!job) {
    SetLastError(ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (job->inDoc) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return SP_ERROR;
  }
  if (InjectedFailures() & KV_PRINT_FAIL_STARTDOC) {
    SetLastError(ERROR_PRINT_CANCELLED);
    return SP_ERROR;
  }
  Config config = ReadConfig();
  if (!MakeDirs(config.outputDir)) {
    SetLastError(KvErrnoToError(errno));
    return SP_ERROR;
  }
  std::string stem = config.outputDir + FileStem(ansiName);
  // Reserve the first free number: the PDF being written holds it exclusively.
  for (int n = 1;; ++n) {
    std::string base = stem + "-" + std::to_string(n);
    std::string part = base + ".pdf.part";
    if (Exists(base + ".pdf") || Exists(base + "-page1.png")) continue;
    int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST && n < 100000) continue;
      SetLastError(KvErrnoToError(errno));
      return SP_ERROR;
    }
    close(fd);
    job->base = base;
    job->reservation = part;
    job->pdfPath = base + ".pdf";
    break;
  }
  if (!output.empty()) {
    std::string mapped = kv::MapPath(output);
    if (!mapped.empty()) job->pdfPath = mapped;
  }
  // The PDF goes to a temporary file of its own as cairo writes it, and takes its name at
  // EndDoc: a document is never held whole in memory, nor seen half-written.
  job->pdfFile = KvAtomicFileOpen(job->pdfPath.c_str());
  if (!job->pdfFile) {
    DWORD e = GetLastError();
    unlink(job->reservation.c_str());
    SetLastError(e);
    return SP_ERROR;
  }
  job->pdf = cairo_pdf_surface_create_for_stream(AppendPdf, job->pdfFile, job->geo.widthPt, job->geo.heightPt);
  if (cairo_surface_status(job->pdf) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(job->pdf);
    job->pdf = nullptr;
    KvAtomicFileAbort(job->pdfFile);
    job->pdfFile = nullptr;
    unlink(job->reservation.c_str());
    SetLastError(ERROR_WRITE_FAULT);
    return SP_ERROR;
  }
  std::string title = kv::AnsiToUtf8(ansiName);
  cairo_pdf_surface_set_metadata(job->pdf, CAIRO_PDF_METADATA_TITLE, title.c_str());
  cairo_pdf_surface_set_metadata(job->pdf, CAIRO_PDF_METADATA_CREATOR, "Korvane");
  job->cr = cairo_create(job->pdf);
  job->docName = ansiName;
  job->inDoc = true;
  job->inPage = false;
  job->pages = 0;
  job->pngs.clear();
  job->jobId = NextJobId();
  return job->jobId;
}

int EndPageImpl(Job& job, HDC hdc) {
  const kv::gdi::PrinterPage* page = kv::gdi::GetPrinterPage(hdc);
  if (!page) {
    SetLastError(ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  unsigned k = job.pages + 1;
  if (job.rasters) {
    std::string png = job.base + "-page" + std::to_string(k) + ".png", data;
    if (!page->raster.pixels) {  // a DC made with rasters keeps one on every page
      SetLastError(ERROR_INVALID_HANDLE);
      return SP_ERROR;
    }
    if (!EncodePagePng(page->raster, job.geo, &data)) return SP_ERROR;
    if (!WritePagePng(png, data)) return SP_ERROR;
    job.pngs.push_back(png);
  }
  const Geometry& g = job.geo;
  cairo_pdf_surface_set_size(job.pdf, g.widthPt, g.heightPt);
  cairo_save(job.cr);
  cairo_scale(job.cr, 72.0 / g.dpiX, 72.0 / g.dpiY);
  cairo_translate(job.cr, g.offsetX, g.offsetY);
  cairo_rectangle(job.cr, 0, 0, g.horzRes, g.vertRes);
  cairo_clip(job.cr);
  ReplayOps(job.cr, page->ops);
  cairo_restore(job.cr);
  cairo_show_page(job.cr);
  if (cairo_status(job.cr) != CAIRO_STATUS_SUCCESS) {
    SetLastError(ERROR_WRITE_FAULT);
    return SP_ERROR;
  }
  if (job.pages == 0) job.firstPage = job.geo;
  job.pages = k;
  job.inPage = false;
  return 1;
}

}  // namespace

}  // namespace kv::print

using namespace kv::print;

extern "C" {

HDC CreateDCA(LPCSTR pszDriver, LPCSTR pszDevice, LPCSTR, const DEVMODEA* pdm) {
  return CreateDCImpl(FromAnsi(pszDriver), FromAnsi(pszDevice), pdm, false);
}
HDC CreateDCW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR, const DEVMODEW* pdm) {
  return CreateDCImpl(FromWide(pszDriver), FromWide(pszDevice), pdm, true);
}
HDC CreateICA(LPCSTR pszDriver, LPCSTR pszDevice, LPCSTR port, const DEVMODEA* pdm) {
  return CreateDCA(pszDriver, pszDevice, port, pdm);
}
HDC CreateICW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR port, const DEVMODEW* pdm) {
  return CreateDCW(pszDriver, pszDevice, port, pdm);
}

BOOL KvPrintIsPrinterDC(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return FindJob(hdc) != nullptr;
}

HDC ResetDCA(HDC hdc, const DEVMODEA* lpdm) { return ResetDCImpl(hdc, lpdm, false); }
HDC ResetDCW(HDC hdc, const DEVMODEW* lpdm) { return ResetDCImpl(hdc, lpdm, true); }

int StartDocA(HDC hdc, const DOCINFOA* di) {
  if (!di || di->cbSize < static_cast<int>(offsetof(DOCINFOA, lpszDocName) + sizeof(LPCSTR))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SP_ERROR;
  }
  std::string out =
      (di->cbSize >= static_cast<int>(offsetof(DOCINFOA, lpszDatatype)) && di->lpszOutput) ? di->lpszOutput : "";
  return StartDocImpl(hdc, di->lpszDocName ? di->lpszDocName : "", out);
}

int StartDocW(HDC hdc, const DOCINFOW* di) {
  if (!di || di->cbSize < static_cast<int>(offsetof(DOCINFOW, lpszDocName) + sizeof(LPCWSTR))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SP_ERROR;
  }
  std::string out = (di->cbSize >= static_cast<int>(offsetof(DOCINFOW, lpszDatatype)) && di->lpszOutput)
                        ? ToAnsiString(di->lpszOutput)
                        : "";
  return StartDocImpl(hdc, ToAnsiString(FromWide(di->lpszDocName)), out);
}

int StartPage(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Job* job = FindJob(hdc);
  if (!job) {
    SetLastError(ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (!job->inDoc || job->inPage) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return SP_ERROR;
  }
  if (InjectedFailures() & KV_PRINT_FAIL_STARTPAGE) {
    SetLastError(ERROR_PRINT_CANCELLED);
    return SP_ERROR;
  }
  if (!kv::gdi::BeginPrinterPage(hdc)) return SP_ERROR;
  job->inPage = true;
  return 1;
}

int EndPage(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Job* job = FindJob(hdc);
  if (!job) {
    SetLastError(ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (!job->inDoc || !job->inPage) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return SP_ERROR;
  }
  return EndPageImpl(*job, hdc);
}

int EndDoc(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  ClearSpoolerText();
  Job* job = FindJob(hdc);
  if (!job) {
    SetLastError(ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (!job->inDoc) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return SP_ERROR;
  }
  // A page still open is ended with the document, so its drawing is not lost.
  if (job->inPage && EndPageImpl(*job, hdc) == SP_ERROR) {
    DWORD e = GetLastError();
    Discard(*job);
    ReleasePage(hdc);
    SetLastError(e);
    return SP_ERROR;
  }
  if (InjectedFailures() & KV_PRINT_FAIL_ENDDOC) {
    Discard(*job);
    ReleasePage(hdc);
    SetLastError(ERROR_PRINT_CANCELLED);
    return SP_ERROR;
  }
  cairo_surface_finish(job->pdf);
  bool ok = cairo_surface_status(job->pdf) == CAIRO_STATUS_SUCCESS && SyncPngs(job->pngs);
  CloseSurface(*job);
  KvAtomicFile* pdfFile = std::exchange(job->pdfFile, nullptr);
  if (!ok) KvAtomicFileAbort(pdfFile);
  if (!ok || !KvAtomicFileCommit(pdfFile)) {
    Discard(*job);
    ReleasePage(hdc);
    SetLastError(ERROR_WRITE_FAULT);
    return SP_ERROR;
  }
  unlink(job->reservation.c_str());
  bool submitted = false;
  int cupsJob = 0;
  if (!job->printer.cupsQueue.empty()) {
    cupsJob =
        CupsSubmit(ReadConfig(), job->printer.cupsQueue, job->pdfPath, kv::AnsiToUtf8(job->docName), job->dm.dmCopies);
    submitted = cupsJob > 0;
  }
  Remember(*job, false, submitted, cupsJob);
  job->inDoc = job->inPage = false;
  job->pngs.clear();
  ReleasePage(hdc);
  if (!job->printer.cupsQueue.empty() && !submitted) return SP_ERROR;
  return 1;
}

int AbortDoc(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Job* job = FindJob(hdc);
  if (!job) {
    SetLastError(ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (!job->inDoc) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return SP_ERROR;
  }
  Discard(*job);
  ReleasePage(hdc);
  return 1;
}

DWORD KvPrintDocumentCount(void) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return static_cast<DWORD>(Record().size());
}

BOOL KvPrintLastDocument(DWORD index, KvPrintDocument* out) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto& r = Record();
  if (!out || index >= r.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *out = r[r.size() - 1 - index];
  return TRUE;
}

void KvPrintClearDocuments(void) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Record().clear();
}

}  // extern "C"
