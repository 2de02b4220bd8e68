// CUPS queues: listed when a server answers, and the PDF of a document submitted to them.
#include <cstring>
#include <iterator>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/system_library.h"
#include "platform/print/cups_library.h"
#include "platform/print/print_internal.h"

namespace kv::print {

const CupsLibrary* Cups() {
  static const CupsLibrary* library = []() -> const CupsLibrary* {
    static CupsLibrary l;
#define KV_CUPS_NAME(name) #name,
#define KV_CUPS_SLOT(name) reinterpret_cast<void**>(&l.name),
    const char* const names[] = {KV_CUPS_FUNCTIONS(KV_CUPS_NAME)};
    void** const slots[] = {KV_CUPS_FUNCTIONS(KV_CUPS_SLOT)};
#undef KV_CUPS_NAME
#undef KV_CUPS_SLOT
    return kv::base::BindSystemLibrary("libcups.so.2", names, slots, std::size(names)) ? &l : nullptr;
  }();
  return library;
}

namespace {

// The spooler's words for the last refusal on this thread (UTF-8).
std::string& SpoolerText() {
  static thread_local std::string text;
  return text;
}

// One connection to the configured server (the CUPS default when none is configured),
// given up after a second. A server given as a path is a Unix socket. Null as well when
// there is no CUPS library to connect with.
http_t* Connect(const Config& config) {
  const CupsLibrary* c = Cups();
  if (!c) return nullptr;
  c->cupsSetServer(config.cupsServer.empty() ? nullptr : config.cupsServer.c_str());
  int cancel = 0;
  return c->httpConnect2(c->cupsServer(), c->ippPort(), nullptr, AF_UNSPEC, c->cupsEncryption(), 1, 1000, &cancel);
}

// The queue's own account of its state ("printer-state-message", the reason given when
// it was stopped or set to reject jobs); empty when it gives none.
std::string PrinterReason(const CupsLibrary& c, http_t* http, const std::string& queue) {
  char uri[HTTP_MAX_URI];
  c.httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", c.ippPort(), "/printers/%s",
                     queue.c_str());
  ipp_t* request = c.ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  c.ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  c.ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-state-message");
  ipp_t* response = c.cupsDoRequest(http, request, "/");
  std::string reason;
  if (ipp_attribute_t* a = c.ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT)) {
    const char* s = c.ippGetString(a, 0, nullptr);
    if (s) reason = s;
  }
  c.ippDelete(response);
  return reason;
}

}  // namespace

void ClearSpoolerText() { SpoolerText().clear(); }

std::vector<std::string> CupsQueues(const Config& config) {
  std::vector<std::string> names;
  http_t* http = Connect(config);
  if (!http) return names;
  const CupsLibrary& c = *Cups();
  cups_dest_t* dests = nullptr;
  int n = c.cupsGetDests2(http, &dests);
  for (int i = 0; i < n; ++i)
    if (!dests[i].instance && dests[i].name) names.emplace_back(dests[i].name);
  c.cupsFreeDests(n, dests);
  c.httpClose(http);
  return names;
}

int CupsSubmit(const Config& config, const std::string& queue, const std::string& pdfPath, const std::string& title,
               int copies) {
  SpoolerText().clear();
  http_t* http = Connect(config);
  if (!http) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return 0;
  }
  const CupsLibrary& c = *Cups();
  cups_option_t* options = nullptr;
  int count = 0;
  if (copies > 1) count = c.cupsAddOption("copies", std::to_string(copies).c_str(), count, &options);
  count = c.cupsAddOption("document-format", "application/pdf", count, &options);
  int job = c.cupsPrintFile2(http, queue.c_str(), pdfPath.c_str(), title.c_str(), count, options);
  c.cupsFreeOptions(count, options);
  if (job <= 0) {
    const ipp_status_t status = c.cupsLastError();
    std::string text = c.cupsLastErrorString() ? c.cupsLastErrorString() : "";
    if (status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS || status == IPP_STATUS_ERROR_NOT_POSSIBLE) {
      std::string reason = PrinterReason(c, http, queue);
      if (!reason.empty()) {
        while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
        text += (text.empty() ? "" : ": ") + reason;
      }
    }
    SpoolerText() = text;
    SetLastError(status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS ? ERROR_INVALID_PRINTER_STATE : ERROR_GEN_FAILURE);
  }
  c.httpClose(http);
  return job;
}

}  // namespace kv::print

extern "C" DWORD KvPrintSpoolerText(LPSTR buffer, DWORD size) {
  const std::string text = kv::Utf8ToAnsi(kv::print::SpoolerText());
  if (!buffer || size == 0) return static_cast<DWORD>(text.size());
  const size_t n = std::min<size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}
