// Printer device contexts and documents: each document becomes one vector PDF (cairo)
// and one PNG per page at device resolution (the raster engine's page surface).
#include <cairo-pdf.h>
#include <cairo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <system_error>
#include <thread>

#include "platform/base/codepage.h"
#include "platform/base/path.h"
#include "platform/gdi/internal.h"
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
  std::string docName;  // ANSI, as given
  std::string base;     // "<folder>/<name>-<n>"
  std::string pdfPath;  // final PDF path
  std::string pdfPart;  // PDF being written
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

kv::gdi::PrinterCaps CapsOf(const Geometry& g) {
  kv::gdi::PrinterCaps c;
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
    if (c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|%", c)) out += '_';
    else out += static_cast<char>(c);
  }
  if (out.size() > 100) {
    size_t n = 100;
    while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80) --n;
    out.resize(n);
  }
  if (out.empty()) out = "document";
  return out;
}

// Writes `data` to `path` through a temporary file and a rename.
bool WriteFileReplacing(const std::string& path, const std::string& data) {
  std::string tmp = path + ".part";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetLastError(KvErrnoToError(errno));
    return false;
  }
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      close(fd);
      unlink(tmp.c_str());
      SetLastError(KvErrnoToError(e));
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 || rename(tmp.c_str(), path.c_str()) != 0) {
    SetLastError(KvErrnoToError(errno));
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

// ---- PNG of a page ------------------------------------------------------------------------

// PNG of the sheet: 8-bit RGB, filter "none" on every row, deflate at its fastest level
// (on printed pages both quicker and smaller than the run-length strategy). The printable area's raster is placed on
// the sheet at the printable offset; the margins are white.
//
// A 600 dpi sheet is some 50 MB of samples, so the rows are cut into horizontal strips that
// are deflated side by side. Each strip is a raw deflate stream ended on a byte boundary by a
// sync flush (the last one by the final block), and none refers back past its own start, so
// the strips laid end to end are one valid stream; the checksums combine.
class PngWriter {
 public:
  PngWriter(std::string* out, const kv::gdi::SurfaceView& r, const Geometry& g) : out_(out), r_(r), g_(g) {}

  bool Write() {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out_->append(reinterpret_cast<const char*>(kSignature), 8);
    unsigned char ihdr[13];
    Be32(ihdr, static_cast<uint32_t>(g_.physWidth));
    Be32(ihdr + 4, static_cast<uint32_t>(g_.physHeight));
    ihdr[8] = 8;   // bits per channel
    ihdr[9] = 2;   // RGB
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // adaptive filtering (each row says "none")
    ihdr[12] = 0;  // not interlaced
    Chunk("IHDR", ihdr, sizeof ihdr);

    std::vector<Strip> strips(StripCount());
    int rows = g_.physHeight / static_cast<int>(strips.size());
    for (size_t i = 0; i < strips.size(); ++i) {
      strips[i].y0 = static_cast<int>(i) * rows;
      strips[i].y1 = i + 1 == strips.size() ? g_.physHeight : strips[i].y0 + rows;
      strips[i].last = i + 1 == strips.size();
    }
    std::vector<std::thread> workers;
    for (size_t i = 1; i < strips.size(); ++i) {
      try {
        workers.emplace_back([this, &s = strips[i]] { Deflate(s); });
      } catch (const std::system_error&) {
        Deflate(strips[i]);  // no thread to be had: this one does it
      }
    }
    Deflate(strips[0]);
    for (std::thread& t : workers) t.join();

    std::string z = {'\x78', '\x01'};  // deflate, 32 KB window, fastest level
    uLong adler = adler32(0, nullptr, 0);
    for (const Strip& s : strips) {
      if (!s.ok) return false;
      z += s.out;
      adler = adler32_combine(adler, s.adler, static_cast<z_off_t>(s.length));
    }
    unsigned char tail[4];
    Be32(tail, static_cast<uint32_t>(adler));
    z.append(reinterpret_cast<const char*>(tail), 4);
    for (size_t at = 0; at < z.size(); at += kIdatSize)
      Chunk("IDAT", reinterpret_cast<const unsigned char*>(z.data()) + at, std::min(kIdatSize, z.size() - at));
    Chunk("IEND", nullptr, 0);
    return true;
  }

 private:
  static constexpr size_t kIdatSize = 1 << 18;

  struct Strip {
    int y0 = 0, y1 = 0;
    bool last = false;
    std::string out;  // raw deflate
    uLong adler = 1;  // over the strip's uncompressed rows
    size_t length = 0;
    bool ok = false;
  };

  // One strip per core, at most eight, none under 256 rows.
  size_t StripCount() const {
    size_t cores = std::max(1u, std::thread::hardware_concurrency());
    size_t byRows = static_cast<size_t>(std::max(1, g_.physHeight / 256));
    return std::min({cores, byRows, size_t{8}});
  }

  // Row y of the sheet: filter byte, then R, G, B per pixel.
  void FillRow(std::vector<unsigned char>& row, int y) const {
    row[0] = 0;
    std::memset(row.data() + 1, 0xFF, row.size() - 1);
    int ry = y - g_.offsetY;
    if (ry < 0 || ry >= r_.height) return;
    const uint32_t* src = reinterpret_cast<const uint32_t*>(reinterpret_cast<const unsigned char*>(r_.pixels) +
                                                            static_cast<size_t>(ry) * r_.stride);
    int w = std::min(r_.width, g_.physWidth - g_.offsetX);
    unsigned char* d = row.data() + 1 + static_cast<size_t>(g_.offsetX) * 3;
    for (int x = 0; x < w; ++x) {
      uint32_t p = src[x];
      d[0] = static_cast<unsigned char>(p >> 16);
      d[1] = static_cast<unsigned char>(p >> 8);
      d[2] = static_cast<unsigned char>(p);
      d += 3;
    }
  }

  // Runs on a worker thread: nothing may escape it.
  void Deflate(Strip& s) const noexcept {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
    try {
      std::vector<unsigned char> row(1 + static_cast<size_t>(g_.physWidth) * 3);
      std::vector<unsigned char> buf(1 << 16);
      bool ok = true;
      for (int y = s.y0; y < s.y1 && ok; ++y) {
        FillRow(row, y);
        s.adler = adler32(s.adler, row.data(), static_cast<uInt>(row.size()));
        s.length += row.size();
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        int flush = y + 1 < s.y1 ? Z_NO_FLUSH : s.last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
          z.next_out = buf.data();
          z.avail_out = static_cast<uInt>(buf.size());
          int rc = deflate(&z, flush);
          if (rc == Z_STREAM_ERROR) {
            ok = false;
            break;
          }
          s.out.append(reinterpret_cast<const char*>(buf.data()), buf.size() - z.avail_out);
          if (flush == Z_FINISH ? rc == Z_STREAM_END : z.avail_in == 0 && z.avail_out != 0) break;
        }
      }
      s.ok = ok;
    } catch (const std::bad_alloc&) {
      s.ok = false;
    }
    deflateEnd(&z);
  }

  static void Be32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
  }

  void Chunk(const char* type, const unsigned char* data, size_t size) {
    unsigned char head[8];
    Be32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    out_->append(reinterpret_cast<const char*>(head), 8);
    if (size) out_->append(reinterpret_cast<const char*>(data), size);
    uLong crc = crc32(0, head + 4, 4);
    if (size) crc = crc32(crc, data, static_cast<uInt>(size));
    unsigned char tail[4];
    Be32(tail, static_cast<uint32_t>(crc));
    out_->append(reinterpret_cast<const char*>(tail), 4);
  }

  std::string* out_;
  const kv::gdi::SurfaceView& r_;
  const Geometry& g_;
};

bool WritePagePng(const Job& job, const kv::gdi::SurfaceView& r, const std::string& path) {
  std::string data;
  bool ok = false;
  try {
    ok = PngWriter(&data, r, job.geo).Write();
  } catch (const std::bad_alloc&) {
  }
  if (!ok) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  return WriteFileReplacing(path, data);
}

// ---- PDF replay of a page ------------------------------------------------------------------

void SetColor(cairo_t* cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void ClipTo(cairo_t* cr, const std::vector<RECT>& clip) {
  if (clip.empty()) return;
  cairo_new_path(cr);
  for (const RECT& r : clip) cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
  cairo_clip(cr);
}

bool SetBrushSource(cairo_t* cr, const kv::gdi::BrushInfo& b) {
  switch (b.style) {
    case BS_SOLID:
      SetColor(cr, b.color);
      return true;
    case BS_HATCHED: {
      cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
      cairo_t* c = cairo_create(s);
      if (b.bkOpaque) {
        SetColor(c, b.bkColor);
        cairo_paint(c);
      }
      SetColor(c, b.color);
      for (int i = 0; i < 8; ++i) {
        auto dot = [&](int x, int y) { cairo_rectangle(c, x, y, 1, 1); };
        switch (b.hatch) {
          case HS_HORIZONTAL: dot(i, 7); break;
          case HS_VERTICAL: dot(7, i); break;
          case HS_FDIAGONAL: dot(i, i); break;
          case HS_BDIAGONAL: dot(7 - i, i); break;
          case HS_CROSS: dot(i, 7); dot(7, i); break;
          default: dot(i, i); dot(7 - i, i); break;
        }
      }
      cairo_fill(c);
      cairo_destroy(c);
      cairo_pattern_t* pat = cairo_pattern_create_for_surface(s);
      cairo_pattern_set_extend(pat, CAIRO_EXTEND_REPEAT);
      cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
      cairo_set_source(cr, pat);
      cairo_pattern_destroy(pat);
      cairo_surface_destroy(s);
      return true;
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT: {
      if (b.patternWidth <= 0 || b.patternHeight <= 0 ||
          b.pattern.size() < static_cast<size_t>(b.patternWidth) * b.patternHeight)
        return false;
      cairo_surface_t* s = cairo_image_surface_create_for_data(
          reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(b.pattern.data())),
          CAIRO_FORMAT_RGB24, b.patternWidth, b.patternHeight, b.patternWidth * 4);
      cairo_pattern_t* pat = cairo_pattern_create_for_surface(s);
      cairo_pattern_set_extend(pat, CAIRO_EXTEND_REPEAT);
      cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
      cairo_matrix_t m;
      cairo_matrix_init_translate(&m, -b.origin.x, -b.origin.y);
      cairo_pattern_set_matrix(pat, &m);
      cairo_set_source(cr, pat);
      cairo_pattern_destroy(pat);
      cairo_surface_destroy(s);  // the pattern keeps a reference; the PDF copies at fill
      return true;
    }
    default:
      return false;
  }
}

void BuildPath(cairo_t* cr, const kv::gdi::PathInfo& p) {
  cairo_new_path(cr);
  for (size_t i = 0; i < p.subpaths.size(); ++i) {
    const auto& sp = p.subpaths[i];
    if (sp.empty()) continue;
    cairo_move_to(cr, sp[0].first, sp[0].second);
    for (size_t k = 1; k < sp.size(); ++k) cairo_line_to(cr, sp[k].first, sp[k].second);
    if (i < p.closed.size() && p.closed[i]) cairo_close_path(cr);
  }
}

void ReplayPath(cairo_t* cr, const kv::gdi::PageOp& op) {
  const kv::gdi::PathInfo& p = op.path;
  if (p.fill && p.brush.style != BS_NULL && SetBrushSource(cr, p.brush)) {
    BuildPath(cr, p);
    cairo_set_fill_rule(cr, p.fillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr);
  }
  if (p.stroke && p.pen.style != PS_NULL) {
    BuildPath(cr, p);
    SetColor(cr, p.pen.color);
    cairo_set_line_width(cr, std::max(1, p.pen.width));
    if (!p.pen.dashes.empty()) {
      std::vector<double> d(p.pen.dashes.begin(), p.pen.dashes.end());
      cairo_set_dash(cr, d.data(), static_cast<int>(d.size()), 0);
    }
    if (p.pen.geometric) {
      // The raster engine draws each dash of a styled pen as a flat segment, so the
      // pen's end cap applies to solid lines only.
      const bool flat = p.pen.endCap == PS_ENDCAP_FLAT || !p.pen.dashes.empty();
      cairo_set_line_cap(cr, flat                                 ? CAIRO_LINE_CAP_BUTT
                             : p.pen.endCap == PS_ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                                                : CAIRO_LINE_CAP_ROUND);
      cairo_set_line_join(cr, p.pen.join == PS_JOIN_BEVEL   ? CAIRO_LINE_JOIN_BEVEL
                              : p.pen.join == PS_JOIN_MITER ? CAIRO_LINE_JOIN_MITER
                                                            : CAIRO_LINE_JOIN_ROUND);
    } else {
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    }
    cairo_stroke(cr);
  }
}

void ReplayImage(cairo_t* cr, const kv::gdi::ImageInfo& im) {
  if (im.width <= 0 || im.height <= 0 ||
      im.pixels.size() < static_cast<size_t>(im.width) * im.height)
    return;
  double w = im.dst.right - im.dst.left, h = im.dst.bottom - im.dst.top;
  if (w == 0 || h == 0) return;
  cairo_surface_t* s = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(im.pixels.data())), CAIRO_FORMAT_RGB24,
      im.width, im.height, im.width * 4);
  cairo_save(cr);
  cairo_translate(cr, im.dst.left, im.dst.top);
  cairo_scale(cr, w / im.width, h / im.height);
  cairo_set_source_surface(cr, s, 0, 0);
  // Nearest neighbour, as the raster engine stretches (COLORONCOLOR).
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr, 0, 0, im.width, im.height);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_finish(s);  // the PDF has taken its copy; the pixels stay the record's
  cairo_surface_destroy(s);
}

// Paths and text as vectors, images as images; what the raster engine could not
// express as vectors arrives as raster patches (Image ops of final page pixels).
void ReplayPage(cairo_t* cr, const kv::gdi::PrinterPage& page) {
  for (const kv::gdi::PageOp& op : page.ops) {
    cairo_save(cr);
    ClipTo(cr, op.clip);
    switch (op.kind) {
      case kv::gdi::PageOp::Kind::Path:
        if (!op.isRop2 && (op.rop == BLACKNESS || op.rop == WHITENESS)) {
          kv::gdi::PageOp copy = op;
          copy.path.brush.style = BS_SOLID;
          copy.path.brush.color = op.rop == WHITENESS ? 0xFFFFFF : 0;
          ReplayPath(cr, copy);
        } else {
          ReplayPath(cr, op);
        }
        break;
      case kv::gdi::PageOp::Kind::Text:
        kv::gdi::DrawTextOnCairo(cr, op.text);
        break;
      case kv::gdi::PageOp::Kind::Image:
        ReplayImage(cr, op.image);
        break;
    }
    cairo_restore(cr);
  }
}

void Remember(const Job& job, bool aborted, bool submitted, int cupsJob) {
  KvPrintDocument d{};
  std::snprintf(d.docName, sizeof d.docName, "%s", job.docName.c_str());
  std::snprintf(d.printerName, sizeof d.printerName, "%s", ToAnsiString(job.printer.name).c_str());
  if (!aborted) std::snprintf(d.pdfPath, sizeof d.pdfPath, "%s", job.pdfPath.c_str());
  std::snprintf(d.pngPattern, sizeof d.pngPattern, "%s-page%%u.png", job.base.c_str());
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
  unlink(job.pdfPart.c_str());
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
  HDC hdc = kv::gdi::CreatePrinterDC(CapsOf(job.geo));
  if (!hdc) return nullptr;
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
  if (!kv::gdi::ResetPrinterDC(hdc, CapsOf(*geo))) return nullptr;
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
    job->pdfPart = part;
    job->pdfPath = base + ".pdf";
    break;
  }
  if (!output.empty()) {
    std::string mapped = kv::MapPath(output);
    if (!mapped.empty()) job->pdfPath = mapped;
  }
  job->pdf = cairo_pdf_surface_create(job->pdfPart.c_str(), job->geo.widthPt, job->geo.heightPt);
  if (cairo_surface_status(job->pdf) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(job->pdf);
    job->pdf = nullptr;
    unlink(job->pdfPart.c_str());
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
  std::string png = job.base + "-page" + std::to_string(k) + ".png";
  if (!WritePagePng(job, page->raster, png)) return SP_ERROR;
  job.pngs.push_back(png);
  const Geometry& g = job.geo;
  cairo_pdf_surface_set_size(job.pdf, g.widthPt, g.heightPt);
  cairo_save(job.cr);
  cairo_scale(job.cr, 72.0 / g.dpiX, 72.0 / g.dpiY);
  cairo_translate(job.cr, g.offsetX, g.offsetY);
  cairo_rectangle(job.cr, 0, 0, g.horzRes, g.vertRes);
  cairo_clip(job.cr);
  ReplayPage(job.cr, *page);
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
  std::string out = (di->cbSize >= static_cast<int>(offsetof(DOCINFOA, lpszDatatype)) && di->lpszOutput)
                        ? di->lpszOutput : "";
  return StartDocImpl(hdc, di->lpszDocName ? di->lpszDocName : "", out);
}

int StartDocW(HDC hdc, const DOCINFOW* di) {
  if (!di || di->cbSize < static_cast<int>(offsetof(DOCINFOW, lpszDocName) + sizeof(LPCWSTR))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SP_ERROR;
  }
  std::string out = (di->cbSize >= static_cast<int>(offsetof(DOCINFOW, lpszDatatype)) && di->lpszOutput)
                        ? ToAnsiString(di->lpszOutput) : "";
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
  bool ok = cairo_surface_status(job->pdf) == CAIRO_STATUS_SUCCESS;
  CloseSurface(*job);
  if (!ok || rename(job->pdfPart.c_str(), job->pdfPath.c_str()) != 0) {
    Discard(*job);
    ReleasePage(hdc);
    SetLastError(ERROR_WRITE_FAULT);
    return SP_ERROR;
  }
  bool submitted = false;
  int cupsJob = 0;
  if (!job->printer.cupsQueue.empty()) {
    cupsJob = CupsSubmit(ReadConfig(), job->printer.cupsQueue, job->pdfPath,
                         kv::AnsiToUtf8(job->docName), job->dm.dmCopies);
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
