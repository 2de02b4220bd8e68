// The printer list, device modes and the spooler's printer functions.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <set>

#include "platform/base/codepage.h"
#include "platform/print/print_internal.h"

namespace kv::print {

DWORD& InjectedFailures() {
  static DWORD failures = 0;
  return failures;
}

namespace {

struct PaperDim {
  SHORT code, width, length;  // tenths of a mm
};
constexpr PaperDim kPapers[] = {
    {DMPAPER_LETTER, 2159, 2794}, {DMPAPER_LEGAL, 2159, 3556}, {DMPAPER_A3, 2970, 4200}, {DMPAPER_A4, 2100, 2970},
    {DMPAPER_A5, 1480, 2100},     {DMPAPER_B4, 2570, 3640},    {DMPAPER_B5, 1820, 2570},
};

const PaperDim* FindPaper(SHORT code) {
  for (auto& p : kPapers)
    if (p.code == code) return &p;
  return nullptr;
}

struct CupsCache {
  bool valid = false;
  std::vector<std::string> queues;
};
CupsCache& Cups() {
  static auto* c = new CupsCache;
  return *c;
}

template <typename Ch>
void CopyName(Ch* dst, size_t n, const std::u16string& name) {
  std::memset(dst, 0, n * sizeof(Ch));
  if constexpr (sizeof(Ch) == 2) {
    for (size_t i = 0; i + 1 < n && i < name.size(); ++i) dst[i] = name[i];
  } else {
    std::string a = ToAnsiString(name);
    // Cut on a character boundary: never leave a lone lead byte at the end.
    size_t len = 0;
    while (len < a.size()) {
      size_t step = IsDBCSLeadByte(static_cast<BYTE>(a[len])) && len + 1 < a.size() ? 2 : 1;
      if (len + step > n - 1) break;
      len += step;
    }
    std::memcpy(dst, a.data(), len);
  }
}

}  // namespace

DEVMODEW DefaultDevMode(const std::u16string& name, const Config& config) {
  DEVMODEW dm{};
  CopyName(dm.dmDeviceName, CCHDEVICENAME, name);
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmDriverVersion = 1;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = 0;
  dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_SCALE | DM_COPIES |
                DM_DEFAULTSOURCE | DM_PRINTQUALITY | DM_COLOR | DM_YRESOLUTION | DM_COLLATE;
  dm.dmOrientation = config.orientation;
  const PaperDim* p = FindPaper(config.paperSize);
  if (p) {
    dm.dmPaperSize = p->code;
    dm.dmPaperWidth = p->width;
    dm.dmPaperLength = p->length;
  } else {
    dm.dmPaperSize = DMPAPER_USER;
    dm.dmPaperWidth = config.paperWidth;
    dm.dmPaperLength = config.paperLength;
  }
  dm.dmScale = 100;
  dm.dmCopies = 1;
  dm.dmDefaultSource = DMBIN_AUTO;
  dm.dmPrintQuality = static_cast<SHORT>(config.dpiX);
  dm.dmYResolution = static_cast<SHORT>(config.dpiY);
  dm.dmColor = DMCOLOR_COLOR;
  dm.dmDuplex = DMDUP_SIMPLEX;
  dm.dmCollate = DMCOLLATE_FALSE;
  CopyName(dm.dmFormName, CCHFORMNAME, p ? u"" : u"User");
  return dm;
}

std::optional<DEVMODEW> ReadDevMode(const void* dm, bool wide) {
  if (!dm) return std::nullopt;
  if (wide) {
    DEVMODEW w{};
    WORD size;
    std::memcpy(&size, static_cast<const BYTE*>(dm) + offsetof(DEVMODEW, dmSize), sizeof size);
    if (size < offsetof(DEVMODEW, dmFields) + sizeof(DWORD)) return std::nullopt;
    std::memcpy(&w, dm, std::min<size_t>(size, sizeof w));
    w.dmSize = static_cast<WORD>(std::min<size_t>(size, sizeof w));
    return w;
  }
  DEVMODEA a{};
  WORD size;
  std::memcpy(&size, static_cast<const BYTE*>(dm) + offsetof(DEVMODEA, dmSize), sizeof size);
  if (size < offsetof(DEVMODEA, dmFields) + sizeof(DWORD)) return std::nullopt;
  std::memcpy(&a, dm, std::min<size_t>(size, sizeof a));
  WORD kept = static_cast<WORD>(std::min<size_t>(size, sizeof a));
  DEVMODEW w = ToWide(a);
  // Fields past the caller's block are absent: express the short size in the wide form.
  size_t tail = sizeof(DEVMODEA) - kept;
  w.dmSize = static_cast<WORD>(sizeof(DEVMODEW) - tail);
  if (kept < offsetof(DEVMODEA, dmFormName)) w.dmSize = static_cast<WORD>(kept + CCHDEVICENAME);
  return w;
}

void MergeDevMode(DEVMODEW& into, const void* in, bool wide) {
  std::optional<DEVMODEW> src = ReadDevMode(in, wide);
  if (!src) return;
  const DEVMODEW& s = *src;
  auto present = [&](DWORD flag, size_t offset, size_t size) {
    return (s.dmFields & flag) && offset + size <= s.dmSize;
  };
#define KV_HAS(flag, field) present(flag, offsetof(DEVMODEW, field), sizeof(s.field))
  DWORD taken = 0;
  if (KV_HAS(DM_ORIENTATION, dmOrientation) &&
      (s.dmOrientation == DMORIENT_PORTRAIT || s.dmOrientation == DMORIENT_LANDSCAPE)) {
    into.dmOrientation = s.dmOrientation;
    taken |= DM_ORIENTATION;
  }
  if (KV_HAS(DM_PAPERSIZE, dmPaperSize)) {
    if (const PaperDim* p = FindPaper(s.dmPaperSize)) {
      into.dmPaperSize = p->code;
      into.dmPaperWidth = p->width;
      into.dmPaperLength = p->length;
      taken |= DM_PAPERSIZE;
    } else if (s.dmPaperSize == DMPAPER_USER) {
      into.dmPaperSize = DMPAPER_USER;
      taken |= DM_PAPERSIZE;
    }
  }
  // Explicit length and width override the size code.
  if (KV_HAS(DM_PAPERLENGTH, dmPaperLength) && s.dmPaperLength >= 10) {
    into.dmPaperLength = s.dmPaperLength;
    taken |= DM_PAPERLENGTH;
  }
  if (KV_HAS(DM_PAPERWIDTH, dmPaperWidth) && s.dmPaperWidth >= 10) {
    into.dmPaperWidth = s.dmPaperWidth;
    taken |= DM_PAPERWIDTH;
  }
  if (KV_HAS(DM_SCALE, dmScale) && s.dmScale > 0) into.dmScale = s.dmScale;
  if (KV_HAS(DM_COPIES, dmCopies) && s.dmCopies >= 1) into.dmCopies = s.dmCopies;
  if (KV_HAS(DM_DEFAULTSOURCE, dmDefaultSource)) into.dmDefaultSource = s.dmDefaultSource;
  if (KV_HAS(DM_PRINTQUALITY, dmPrintQuality) && ((s.dmPrintQuality >= 72 && s.dmPrintQuality <= 1200) ||
                                                  (s.dmPrintQuality <= DMRES_DRAFT && s.dmPrintQuality >= DMRES_HIGH)))
    into.dmPrintQuality = s.dmPrintQuality;
  if (KV_HAS(DM_YRESOLUTION, dmYResolution) && s.dmYResolution >= 72 && s.dmYResolution <= 1200)
    into.dmYResolution = s.dmYResolution;
  if (KV_HAS(DM_COLOR, dmColor) && (s.dmColor == DMCOLOR_COLOR || s.dmColor == DMCOLOR_MONOCHROME))
    into.dmColor = s.dmColor;
  if (KV_HAS(DM_DUPLEX, dmDuplex) && s.dmDuplex >= 1 && s.dmDuplex <= 3) into.dmDuplex = s.dmDuplex;
  if (KV_HAS(DM_COLLATE, dmCollate) && (s.dmCollate == 0 || s.dmCollate == 1)) into.dmCollate = s.dmCollate;
  if (KV_HAS(DM_FORMNAME, dmFormName)) {
    std::memcpy(into.dmFormName, s.dmFormName, sizeof into.dmFormName);
    into.dmFormName[CCHFORMNAME - 1] = 0;
    into.dmFields |= DM_FORMNAME;
  }
#undef KV_HAS
  // A user size is reported with the length and width it is made of.
  if (taken & (DM_PAPERLENGTH | DM_PAPERWIDTH)) {
    const PaperDim* p = FindPaper(into.dmPaperSize);
    if (p && (p->width != into.dmPaperWidth || p->length != into.dmPaperLength)) into.dmPaperSize = DMPAPER_USER;
  }
}

DEVMODEA ToAnsi(const DEVMODEW& w) {
  DEVMODEA a{};
  std::u16string name(w.dmDeviceName, std::find(w.dmDeviceName, w.dmDeviceName + CCHDEVICENAME, u'\0'));
  CopyName(a.dmDeviceName, CCHDEVICENAME, name);
  std::memcpy(&a.dmSpecVersion, &w.dmSpecVersion, offsetof(DEVMODEW, dmFormName) - offsetof(DEVMODEW, dmSpecVersion));
  a.dmSize = sizeof(DEVMODEA);
  std::u16string form(w.dmFormName, std::find(w.dmFormName, w.dmFormName + CCHFORMNAME, u'\0'));
  CopyName(a.dmFormName, CCHFORMNAME, form);
  std::memcpy(&a.dmLogPixels, &w.dmLogPixels, sizeof(DEVMODEW) - offsetof(DEVMODEW, dmLogPixels));
  return a;
}

DEVMODEW ToWide(const DEVMODEA& a) {
  DEVMODEW w{};
  std::string name(reinterpret_cast<const char*>(a.dmDeviceName),
                   std::find(a.dmDeviceName, a.dmDeviceName + CCHDEVICENAME, 0) - a.dmDeviceName);
  CopyName(w.dmDeviceName, CCHDEVICENAME, FromAnsi(name.c_str()));
  std::memcpy(&w.dmSpecVersion, &a.dmSpecVersion, offsetof(DEVMODEA, dmFormName) - offsetof(DEVMODEA, dmSpecVersion));
  w.dmSize = sizeof(DEVMODEW);
  std::string form(reinterpret_cast<const char*>(a.dmFormName),
                   std::find(a.dmFormName, a.dmFormName + CCHFORMNAME, 0) - a.dmFormName);
  CopyName(w.dmFormName, CCHFORMNAME, FromAnsi(form.c_str()));
  std::memcpy(&w.dmLogPixels, &a.dmLogPixels, sizeof(DEVMODEA) - offsetof(DEVMODEA, dmLogPixels));
  return w;
}

std::optional<Geometry> ComputeGeometry(const Printer& printer, const DEVMODEW& dm) {
  Geometry g;
  g.dpiX = dm.dmPrintQuality >= 72 ? dm.dmPrintQuality : printer.defaults.dmPrintQuality;
  g.dpiY = dm.dmYResolution >= 72 ? dm.dmYResolution : printer.defaults.dmYResolution;
  if (g.dpiX < 72 || g.dpiX > 1200) g.dpiX = 600;
  if (g.dpiY < 72 || g.dpiY > 1200) g.dpiY = g.dpiX;
  int w = dm.dmPaperWidth, l = dm.dmPaperLength;
  if (w < 10 || l < 10) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return std::nullopt;
  }
  if (dm.dmOrientation == DMORIENT_LANDSCAPE) std::swap(w, l);
  g.widthTenths = w;
  g.lengthTenths = l;
  g.physWidth = static_cast<int>(static_cast<long long>(w) * g.dpiX / 254);
  g.physHeight = static_cast<int>(static_cast<long long>(l) * g.dpiY / 254);
  g.offsetX = static_cast<int>(static_cast<long long>(printer.offsetX) * g.dpiX / 254);
  g.offsetY = static_cast<int>(static_cast<long long>(printer.offsetY) * g.dpiY / 254);
  g.horzRes = g.physWidth - 2 * g.offsetX;
  g.vertRes = g.physHeight - 2 * g.offsetY;
  if (g.horzRes < 1 || g.vertRes < 1) {  // margins larger than the paper: no printable area
    g.offsetX = g.offsetY = 0;
    g.horzRes = g.physWidth;
    g.vertRes = g.physHeight;
  }
  // One page raster is 4 bytes a pixel; refuse pages beyond 256 M pixels.
  if (g.physWidth < 1 || g.physHeight < 1 || static_cast<long long>(g.physWidth) * g.physHeight > (256LL << 20)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return std::nullopt;
  }
  g.widthPt = w / 254.0 * 72.0;
  g.heightPt = l / 254.0 * 72.0;
  return g;
}

std::vector<Printer> Printers() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  std::vector<Printer> list;
  if (InjectedFailures() & KV_PRINT_FAIL_NO_PRINTER) return list;
  Config config = ReadConfig();
  Printer v;
  v.name = config.name;
  v.port = config.port;
  v.driver = u"Korvane PDF Writer";
  v.comment = u"Writes every document as PDF and PNG pages";
  v.isDefault = true;
  v.defaults = DefaultDevMode(v.name, config);
  v.offsetX = config.offsetX;
  v.offsetY = config.offsetY;
  list.push_back(v);
  if (config.cups) {
    CupsCache& cache = Cups();
    if (!cache.valid) {
      cache.queues = CupsQueues(config);
      cache.valid = true;
    }
    for (const std::string& q : cache.queues) {
      Printer p;
      p.name = kv::Utf8ToWide(q);
      if (p.name == v.name) continue;
      p.port = u"CUPS:" + p.name;
      p.driver = v.driver;
      p.comment = u"CUPS queue";
      p.cupsQueue = q;
      p.defaults = DefaultDevMode(p.name, config);
      p.offsetX = config.offsetX;
      p.offsetY = config.offsetY;
      list.push_back(p);
    }
  }
  return list;
}

std::optional<Printer> FindPrinter(const std::u16string& name) {
  for (Printer& p : Printers())
    if (p.name == name) return p;
  return std::nullopt;
}

std::optional<Printer> DefaultPrinter() {
  std::vector<Printer> list = Printers();
  for (Printer& p : list)
    if (p.isDefault) return p;
  if (!list.empty()) return list.front();
  return std::nullopt;
}

void ForgetCups() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Cups().valid = false;
  Cups().queues.clear();
}

}  // namespace kv::print

using namespace kv::print;

namespace {

// An open printer.
struct PrinterHandle {
  Printer printer;
  DEVMODEW devmode;  // the printer's device mode as this handle sees it
};

std::set<PrinterHandle*>& Handles() {
  static auto* h = new std::set<PrinterHandle*>;
  return *h;
}

PrinterHandle* FindHandle(HANDLE h) {
  auto* p = static_cast<PrinterHandle*>(h);
  return Handles().count(p) ? p : nullptr;
}

template <typename Ch>
std::basic_string<Ch> Text(const std::u16string& s) {
  if constexpr (sizeof(Ch) == 2)
    return s;
  else
    return ToAnsiString(s);
}

// Packs fixed records followed by their strings and device modes into the caller's buffer.
class Packer {
 public:
  Packer(BYTE* buf, DWORD size, size_t fixed) : buf_(buf), size_(size), tail_(fixed) {}

  template <typename Ch>
  Ch* String(const std::basic_string<Ch>& s) {
    tail_ = (tail_ + alignof(Ch) - 1) & ~(alignof(Ch) - 1);
    size_t bytes = (s.size() + 1) * sizeof(Ch);
    Ch* at = nullptr;
    if (fits(bytes)) {
      at = reinterpret_cast<Ch*>(buf_ + tail_);
      std::memcpy(at, s.c_str(), bytes);
    }
    tail_ += bytes;
    return at;
  }

  template <typename T>
  T* Block(const T& value) {
    tail_ = (tail_ + alignof(T) - 1) & ~(alignof(T) - 1);
    T* at = nullptr;
    if (fits(sizeof(T))) {
      at = reinterpret_cast<T*>(buf_ + tail_);
      std::memcpy(static_cast<void*>(at), &value, sizeof(T));
    }
    tail_ += sizeof(T);
    return at;
  }

  size_t needed() const { return tail_; }
  bool ok() const { return buf_ && tail_ <= size_; }

 private:
  bool fits(size_t bytes) const { return buf_ && tail_ + bytes <= size_; }
  BYTE* buf_;
  DWORD size_;
  size_t tail_;
};

template <typename Ch>
struct InfoTypes;
template <>
struct InfoTypes<char> {
  using I1 = PRINTER_INFO_1A;
  using I2 = PRINTER_INFO_2A;
  using I4 = PRINTER_INFO_4A;
  using I5 = PRINTER_INFO_5A;
  using DM = DEVMODEA;
  static DM Mode(const DEVMODEW& w) { return ToAnsi(w); }
};
template <>
struct InfoTypes<char16_t> {
  using I1 = PRINTER_INFO_1W;
  using I2 = PRINTER_INFO_2W;
  using I4 = PRINTER_INFO_4W;
  using I5 = PRINTER_INFO_5W;
  using DM = DEVMODEW;
  static DM Mode(const DEVMODEW& w) { return w; }
};

size_t FixedSize(DWORD level, bool wide) {
  switch (level) {
    case 1: return wide ? sizeof(PRINTER_INFO_1W) : sizeof(PRINTER_INFO_1A);
    case 2: return wide ? sizeof(PRINTER_INFO_2W) : sizeof(PRINTER_INFO_2A);
    case 4: return wide ? sizeof(PRINTER_INFO_4W) : sizeof(PRINTER_INFO_4A);
    case 5: return wide ? sizeof(PRINTER_INFO_5W) : sizeof(PRINTER_INFO_5A);
    default: return 0;
  }
}

// Fills record `index` of `level` for printer p (records live at the buffer's start).
template <typename Ch>
void FillInfo(Packer& pk, BYTE* buf, size_t index, DWORD level, const Printer& p, const DEVMODEW& dm) {
  using T = InfoTypes<Ch>;
  DWORD attrs = PRINTER_ATTRIBUTE_LOCAL | (p.isDefault ? PRINTER_ATTRIBUTE_DEFAULT : 0);
  std::basic_string<Ch> name = Text<Ch>(p.name), port = Text<Ch>(p.port);
  bool write = pk.ok() || buf;  // records are written when the whole block fits (checked below)
  (void)write;
  switch (level) {
    case 1: {
      typename T::I1 r{};
      r.Flags = 0x00800000;  // PRINTER_ENUM_ICON8: a printer
      std::basic_string<Ch> desc = name + Text<Ch>(u",") + Text<Ch>(p.driver) + Text<Ch>(u",") + port;
      r.pDescription = pk.String(desc);
      r.pName = pk.String(name);
      r.pComment = pk.String(Text<Ch>(p.comment));
      if (buf) std::memcpy(buf + index * sizeof r, &r, sizeof r);
      break;
    }
    case 2: {
      typename T::I2 r{};
      r.pServerName = nullptr;
      r.pPrinterName = pk.String(name);
      r.pShareName = pk.String(Text<Ch>(u""));
      r.pPortName = pk.String(port);
      r.pDriverName = pk.String(Text<Ch>(p.driver));
      r.pComment = pk.String(Text<Ch>(p.comment));
      r.pLocation = pk.String(Text<Ch>(u""));
      r.pDevMode = pk.Block(T::Mode(dm));
      r.pSepFile = pk.String(Text<Ch>(u""));
      r.pPrintProcessor = pk.String(Text<Ch>(u"KvPrint"));
      r.pDatatype = pk.String(Text<Ch>(u"RAW"));
      r.pParameters = pk.String(Text<Ch>(u""));
      r.Attributes = attrs;
      r.Priority = 1;
      r.DefaultPriority = 1;
      if (buf) std::memcpy(static_cast<void*>(buf + index * sizeof r), &r, sizeof r);
      break;
    }
    case 4: {
      typename T::I4 r{};
      r.pPrinterName = pk.String(name);
      r.pServerName = nullptr;
      r.Attributes = attrs;
      if (buf) std::memcpy(buf + index * sizeof r, &r, sizeof r);
      break;
    }
    case 5: {
      typename T::I5 r{};
      r.pPrinterName = pk.String(name);
      r.pPortName = pk.String(port);
      r.Attributes = attrs;
      r.DeviceNotSelectedTimeout = 15000;
      r.TransmissionRetryTimeout = 45000;
      if (buf) std::memcpy(buf + index * sizeof r, &r, sizeof r);
      break;
    }
  }
}

// Two passes: size first, then the records when the buffer holds everything.
template <typename Ch>
BOOL Pack(const std::vector<std::pair<Printer, DEVMODEW>>& items, DWORD level, LPBYTE buf, DWORD cbBuf,
          LPDWORD needed) {
  size_t fixed = FixedSize(level, sizeof(Ch) == 2);
  if (!fixed) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  Packer sizing(nullptr, 0, fixed * items.size());
  for (size_t i = 0; i < items.size(); ++i) FillInfo<Ch>(sizing, nullptr, i, level, items[i].first, items[i].second);
  size_t total = sizing.needed();
  if (needed) *needed = static_cast<DWORD>(total);
  if (cbBuf < total || (!buf && total)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!total) return TRUE;
  Packer pk(buf, cbBuf, fixed * items.size());
  for (size_t i = 0; i < items.size(); ++i) FillInfo<Ch>(pk, buf, i, level, items[i].first, items[i].second);
  return TRUE;
}

template <typename Ch>
BOOL EnumPrintersT(DWORD Flags, const Ch* Name, DWORD Level, LPBYTE buf, DWORD cbBuf, LPDWORD pcbNeeded,
                   LPDWORD pcReturned) {
  if (pcReturned) *pcReturned = 0;
  if (pcbNeeded) *pcbNeeded = 0;
  if (!pcbNeeded || !pcReturned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!FixedSize(Level, sizeof(Ch) == 2)) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  std::vector<std::pair<Printer, DEVMODEW>> items;
  // A server name other than the local machine has no printers.
  bool remote = (Flags & PRINTER_ENUM_NAME) && Name && Name[0];
  if (!remote && (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS | PRINTER_ENUM_NAME | PRINTER_ENUM_DEFAULT))) {
    for (Printer& p : Printers()) {
      if ((Flags & PRINTER_ENUM_DEFAULT) && !p.isDefault) continue;
      items.emplace_back(p, p.defaults);
    }
  }
  if (!Pack<Ch>(items, Level, buf, cbBuf, pcbNeeded)) return FALSE;
  *pcReturned = static_cast<DWORD>(items.size());
  return TRUE;
}

template <typename Ch>
BOOL GetDefaultPrinterT(Ch* buf, LPDWORD cch) {
  if (!cch) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<Printer> p = DefaultPrinter();
  if (!p) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  std::basic_string<Ch> name = Text<Ch>(p->name);
  DWORD need = static_cast<DWORD>(name.size() + 1);
  if (!buf || *cch < need) {
    *cch = need;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buf, name.c_str(), need * sizeof(Ch));
  *cch = need;
  return TRUE;
}

BOOL OpenPrinterImpl(const std::u16string& name, HANDLE* ph, const void* dm, bool wide) {
  if (!ph) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *ph = nullptr;
  std::lock_guard<std::recursive_mutex> g(Lock());
  std::optional<Printer> p = name.empty() ? DefaultPrinter() : FindPrinter(name);
  if (!p) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  auto* h = new PrinterHandle{*p, p->defaults};
  if (dm) MergeDevMode(h->devmode, dm, wide);
  Handles().insert(h);
  *ph = h;
  return TRUE;
}

template <typename Ch>
BOOL GetPrinterT(HANDLE hPrinter, DWORD Level, LPBYTE buf, DWORD cbBuf, LPDWORD pcbNeeded) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  PrinterHandle* h = FindHandle(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pcbNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Pack<Ch>({{h->printer, h->devmode}}, Level, buf, cbBuf, pcbNeeded);
}

// The printer setup dialog for DM_IN_PROMPT: answers like the print dialog.
int PromptAnswer();

template <typename DM>
LONG DocumentPropertiesT(HANDLE hPrinter, const std::u16string& deviceName, DM* out, const DM* in, DWORD fMode) {
  constexpr bool wide = sizeof(DM) == sizeof(DEVMODEW);
  std::lock_guard<std::recursive_mutex> g(Lock());
  DEVMODEW dm;
  if (hPrinter) {
    PrinterHandle* h = FindHandle(hPrinter);
    if (!h) {
      SetLastError(ERROR_INVALID_HANDLE);
      return -1;
    }
    dm = h->devmode;
  } else {
    std::optional<Printer> p = FindPrinter(deviceName);
    if (!p) {
      SetLastError(ERROR_INVALID_PRINTER_NAME);
      return -1;
    }
    dm = p->defaults;
  }
  if (fMode == 0) return static_cast<LONG>(sizeof(DM));
  if ((fMode & DM_IN_BUFFER) && in) MergeDevMode(dm, in, wide);
  LONG answer = IDOK;
  if (fMode & DM_IN_PROMPT) answer = PromptAnswer();
  if (answer != IDOK) return answer;  // a cancelled setup leaves the caller's buffer alone
  if (fMode & DM_OUT_BUFFER) {
    if (!out) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    if constexpr (wide) {
      *out = dm;
    } else {
      *out = ToAnsi(dm);
    }
  }
  return answer;
}

}  // namespace

namespace kv::print {
DWORD& DialogError() {
  static DWORD e = 0;
  return e;
}
}  // namespace kv::print

namespace {
int PromptAnswer() { return kv::print::DialogAnswerForPrompt(); }
}  // namespace

extern "C" {

BOOL EnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE p, DWORD cb, LPDWORD need, LPDWORD ret) {
  return EnumPrintersT<char>(Flags, Name, Level, p, cb, need, ret);
}
BOOL EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE p, DWORD cb, LPDWORD need, LPDWORD ret) {
  return EnumPrintersT<char16_t>(Flags, Name, Level, p, cb, need, ret);
}
BOOL GetDefaultPrinterA(LPSTR buf, LPDWORD cch) { return GetDefaultPrinterT<char>(buf, cch); }
BOOL GetDefaultPrinterW(LPWSTR buf, LPDWORD cch) { return GetDefaultPrinterT<char16_t>(buf, cch); }

BOOL OpenPrinterA(LPCSTR name, HANDLE* ph, LPPRINTER_DEFAULTSA def) {
  return OpenPrinterImpl(FromAnsi(name), ph, def ? def->pDevMode : nullptr, false);
}
BOOL OpenPrinterW(LPCWSTR name, HANDLE* ph, LPPRINTER_DEFAULTSW def) {
  return OpenPrinterImpl(FromWide(name), ph, def ? def->pDevMode : nullptr, true);
}

BOOL ClosePrinter(HANDLE hPrinter) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  PrinterHandle* h = FindHandle(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Handles().erase(h);
  delete h;
  return TRUE;
}

BOOL GetPrinterA(HANDLE h, DWORD Level, LPBYTE p, DWORD cb, LPDWORD need) {
  return GetPrinterT<char>(h, Level, p, cb, need);
}
BOOL GetPrinterW(HANDLE h, DWORD Level, LPBYTE p, DWORD cb, LPDWORD need) {
  return GetPrinterT<char16_t>(h, Level, p, cb, need);
}

LONG DocumentPropertiesA(HWND, HANDLE hPrinter, LPSTR pDeviceName, PDEVMODEA out, PDEVMODEA in, DWORD fMode) {
  return DocumentPropertiesT<DEVMODEA>(hPrinter, FromAnsi(pDeviceName), out, in, fMode);
}
LONG DocumentPropertiesW(HWND, HANDLE hPrinter, LPWSTR pDeviceName, PDEVMODEW out, PDEVMODEW in, DWORD fMode) {
  return DocumentPropertiesT<DEVMODEW>(hPrinter, FromWide(pDeviceName), out, in, fMode);
}

void KvPrintInjectFailure(DWORD failures) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  InjectedFailures() = failures;
}

void KvPrintRefresh(void) { kv::print::ForgetCups(); }

}  // extern "C"
