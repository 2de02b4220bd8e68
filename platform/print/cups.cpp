// CUPS queues: listed when a server answers, and the PDF of a document submitted to them.
#include <cups/cups.h>

#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/print/print_internal.h"

namespace kv::print {

namespace {

// The spooler's words for the last refusal on this thread (UTF-8).
std::string& SpoolerText() {
  static thread_local std::string text;
  return text;
}

// One connection to the configured server (the CUPS default when none is configured),
// given up after a second. A server given as a path is a Unix socket.
http_t* Connect(const Config& config) {
  cupsSetServer(config.cupsServer.empty() ? nullptr : config.cupsServer.c_str());
  int cancel = 0;
  return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 1000, &cancel);
}

// The queue's own account of its state ("printer-state-message", the reason given when
// it was stopped or set to reject jobs); empty when it gives none.
std::string PrinterReason(http_t* http, const std::string& queue) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                   queue.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-state-message");
  ipp_t* response = cupsDoRequest(http, request, "/");
  std::string reason;
  if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT)) {
    const char* s = ippGetString(a, 0, nullptr);
    if (s) reason = s;
  }
  ippDelete(response);
  return reason;
}

}  // namespace

void ClearSpoolerText() { SpoolerText().clear(); }

std::vector<std::string> CupsQueues(const Config& config) {
  std::vector<std::string> names;
  http_t* http = Connect(config);
  if (!http) return names;
  cups_dest_t* dests = nullptr;
  int n = cupsGetDests2(http, &dests);
  for (int i = 0; i < n; ++i)
    if (!dests[i].instance && dests[i].name) names.emplace_back(dests[i].name);
  cupsFreeDests(n, dests);
  httpClose(http);
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
  cups_option_t* options = nullptr;
  int count = 0;
  if (copies > 1) count = cupsAddOption("copies", std::to_string(copies).c_str(), count, &options);
  count = cupsAddOption("document-format", "application/pdf", count, &options);
  int job = cupsPrintFile2(http, queue.c_str(), pdfPath.c_str(), title.c_str(), count, options);
  cupsFreeOptions(count, options);
  if (job <= 0) {
    const ipp_status_t status = cupsLastError();
    std::string text = cupsLastErrorString() ? cupsLastErrorString() : "";
    if (status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS || status == IPP_STATUS_ERROR_NOT_POSSIBLE) {
      std::string reason = PrinterReason(http, queue);
      if (!reason.empty()) {
        while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
        text += (text.empty() ? "" : ": ") + reason;
      }
    }
    SpoolerText() = text;
    SetLastError(status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS ? ERROR_INVALID_PRINTER_STATE : ERROR_GEN_FAILURE);
  }
  httpClose(http);
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
