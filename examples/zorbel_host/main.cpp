// zorbel_host: does what the invoicing page does with the print control. It creates
// "Zorbel.Dravik" through COM, sets the print properties from the options, calls
// Start_Print with the job read from a file (UTF-8) and reports ErrorNum, ErrorMessage
// and where the printed document went. With --identity it asks the control which
// printer is attached, as the page does before printing.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/com/com.h"
#include "platform/com/oleauto.h"
#include "platform/print/print.h"

namespace {

void Usage() {
  fprintf(stderr,
          "Usage: zorbel_host --job FILE [--print-setup N] [--dialog ok|cancel|fail] [--font-size N]\n"
          "                   [--repair-x MM] [--repair-y MM] [--debug N] [--png]\n"
          "       zorbel_host --identity [--debug N]\n"
          "  --identity     the attached printer's name, serial, version, production year and week\n"
          "  --print-setup  IsPrintSetup (default 0: print without the dialog)\n"
          "  --dialog       the print dialog's answer when IsPrintSetup is 1 (default ok)\n"
          "  --font-size    FontSize in points (default 0)\n"
          "  --repair-x/-y  RepairX / RepairY in millimetres (default 0)\n"
          "  --debug        IsDebug (default 0)\n"
          "  --png          the virtual printer also writes each page as a PNG beside the PDF\n");
}

bool ParseInt(const char* text, int& out) {
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (!*text || *end || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

std::u16string Wide(const char* utf8) { return kv::Utf8ToWide(utf8); }

// The page's way of talking to the control: names through GetIDsOfNames, calls through Invoke.
class Script {
 public:
  explicit Script(IDispatch* object) : object_(object) {}

  DISPID Id(const char* name) {
    std::u16string w = Wide(name);
    LPOLESTR names[] = {w.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(hr)) throw Failure(std::string("GetIDsOfNames(") + name + ")", hr, nullptr);
    return id;
  }
  void Put(const char* name, int value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&v, &named, 1, 1};
    Call(name, DISPATCH_PROPERTYPUT, params, nullptr);
  }
  // A property read, or with DISPATCH_METHOD a method call without arguments.
  VARIANT Get(const char* name, WORD flags = DISPATCH_PROPERTYGET) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    Call(name, flags, none, &result);
    return result;
  }
  // A method call with one string argument; the call takes `arg` and frees it.
  void Method(const char* name, BSTR arg) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = arg;
    DISPPARAMS params{&v, nullptr, 1, 0};
    try {
      Call(name, DISPATCH_METHOD, params, nullptr);
    } catch (...) {
      VariantClear(&v);
      throw;
    }
    VariantClear(&v);
  }

  struct Failure {
    std::string what;
    HRESULT hr;
    std::string description;
    Failure(std::string w, HRESULT h, EXCEPINFO* info) : what(std::move(w)), hr(h) {
      if (info && info->bstrDescription) description = kv::WideToUtf8(kv::BstrText(info->bstrDescription));
    }
  };

 private:
  void Call(const char* name, WORD flags, DISPPARAMS& params, VARIANT* result) {
    EXCEPINFO info{};
    HRESULT hr = object_->Invoke(Id(name), IID_NULL, 0, flags, &params, result, &info, nullptr);
    Failure failure(name, hr, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    if (FAILED(hr)) throw failure;
  }
  IDispatch* object_;
};

// UTF-8 text as a BSTR, converted in place (no wide copy besides the BSTR itself).
BSTR Utf8ToBstr(const std::string& utf8) {
  if (utf8.empty()) return SysAllocStringLen(nullptr, 0);
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  BSTR b = n > 0 ? SysAllocStringLen(nullptr, static_cast<UINT>(n)) : nullptr;
  if (b) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), b, n);
  return b;
}

std::string Utf8OfVariant(const VARIANT& v) {
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) return "?";
  std::string out = kv::WideToUtf8(kv::BstrText(text.bstrVal));
  VariantClear(&text);
  return out;
}

// The five identity calls, each printed as "Method: answer". 0, or 4 when a call failed.
int AskIdentity(IDispatch* control, int debug) {
  try {
    Script page(control);
    page.Put("IsDebug", debug);
    for (const char* method :
         {"GetPrinterName", "GetPrinterNum", "GetPrinterVer", "GetPrinterProductionYear", "GetPrinterProductionWeek"}) {
      VARIANT answer = page.Get(method, DISPATCH_METHOD);
      printf("%s: %s\n", method, Utf8OfVariant(answer).c_str());
      VariantClear(&answer);
    }
  } catch (const Script::Failure& f) {
    fprintf(stderr, "zorbel_host: %s failed (0x%08X) %s\n", f.what.c_str(), static_cast<unsigned>(f.hr),
            f.description.c_str());
    return 4;
  }
  fflush(stdout);
  return 0;
}

}  // namespace

// fontconfig keeps its cache until the process ends; those blocks are the library's own.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
  const char* job_file = nullptr;
  const char* dialog = "ok";
  bool identity = false;
  int print_setup = 0, font_size = 0, repair_x = 0, repair_y = 0, debug = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    int* target = a == "--print-setup" ? &print_setup
                  : a == "--font-size" ? &font_size
                  : a == "--repair-x"  ? &repair_x
                  : a == "--repair-y"  ? &repair_y
                  : a == "--debug"     ? &debug
                                       : nullptr;
    if ((target || a == "--job" || a == "--dialog") && !value) {
      Usage();
      return 1;
    }
    if (target) {
      if (!ParseInt(value, *target)) {
        fprintf(stderr, "zorbel_host: %s needs a whole number, not \"%s\"\n", a.c_str(), value);
        return 1;
      }
      ++i;
    } else if (a == "--job") {
      job_file = argv[++i];
    } else if (a == "--dialog") {
      dialog = argv[++i];
    } else if (a == "--identity") {
      identity = true;
    } else if (a == "--png") {
      setenv("KORVANE_PRINT_RASTERS", "1", 1);  // read when the printer DC is made
    } else {
      Usage();
      return 1;
    }
  }
  if (!job_file == !identity) {
    Usage();
    return 1;
  }
  std::string job;
  if (job_file) {
    std::ifstream in(job_file, std::ios::binary);
    if (!in) {
      fprintf(stderr, "zorbel_host: cannot read %s\n", job_file);
      return 1;
    }
    job.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    while (!job.empty() && (job.back() == '\n' || job.back() == '\r')) job.pop_back();
    if (job.size() > 0x1FFFFFF0u) {
      fprintf(stderr, "zorbel_host: %s is too large for one job\n", job_file);
      return 1;
    }
  }

  int answer = std::strcmp(dialog, "ok") == 0       ? KV_PRINT_DIALOG_OK
               : std::strcmp(dialog, "cancel") == 0 ? KV_PRINT_DIALOG_CANCEL
               : std::strcmp(dialog, "fail") == 0   ? KV_PRINT_DIALOG_FAIL
                                                    : 0;
  if (!answer) {
    Usage();
    return 1;
  }
  if (print_setup == 1) KvPrintDialogScript(answer, nullptr, 0, CDERR_DIALOGFAILURE);

  if (FAILED(OleInitialize(nullptr))) {
    fprintf(stderr, "zorbel_host: COM could not be initialised\n");
    return 2;
  }
  int rc = 0;
  CLSID clsid;
  IDispatch* control = nullptr;
  HRESULT hr = CLSIDFromProgID(u"Zorbel.Dravik", &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&control));
  if (FAILED(hr)) {
    fprintf(stderr, "zorbel_host: \"Zorbel.Dravik\" could not be created (0x%08X); register Zorbel.ocx first\n",
            static_cast<unsigned>(hr));
    OleUninitialize();
    return 3;
  }
  if (identity) {
    rc = AskIdentity(control, debug);
    control->Release();
    OleUninitialize();
    return rc;
  }
  KvPrintClearDocuments();
  try {
    Script page(control);
    page.Put("IsPrintSetup", print_setup);
    page.Put("FontSize", font_size);
    page.Put("RepairX", repair_x);
    page.Put("RepairY", repair_y);
    page.Put("IsDebug", debug);
    // The job travels as the page's BSTR only: the file's text goes once converted.
    BSTR job_text = Utf8ToBstr(job);
    std::string().swap(job);
    if (!job_text) throw Script::Failure("Start_Print", E_OUTOFMEMORY, nullptr);
    page.Method("Start_Print", job_text);
    VARIANT num = page.Get("ErrorNum");
    VARIANT message = page.Get("ErrorMessage");
    printf("ErrorNum: %s\nErrorMessage: %s\n", Utf8OfVariant(num).c_str(), Utf8OfVariant(message).c_str());
    VariantClear(&num);
    VariantClear(&message);
  } catch (const Script::Failure& f) {
    fprintf(stderr, "zorbel_host: %s failed (0x%08X) %s\n", f.what.c_str(), static_cast<unsigned>(f.hr),
            f.description.c_str());
    rc = 4;
  }
  KvPrintDocument doc;
  if (KvPrintLastDocument(0, &doc)) {
    printf("Pages: %u (%ld x %ld pixels at %ld x %ld dpi)\n", static_cast<unsigned>(doc.pages),
           static_cast<long>(doc.pageWidthPx), static_cast<long>(doc.pageHeightPx), static_cast<long>(doc.dpiX),
           static_cast<long>(doc.dpiY));
    printf("PDF: %s\n", doc.pdfPath);
    for (DWORD k = 1; doc.pngPattern[0] && k <= doc.pages; ++k) {
      char png[1100];
      snprintf(png, sizeof png, doc.pngPattern, static_cast<unsigned>(k));
      printf("PNG: %s\n", png);
    }
  } else {
    printf("Nothing was printed.\n");
  }
  fflush(stdout);
  control->Release();
  OleUninitialize();
  return rc;
}
