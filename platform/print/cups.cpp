// CUPS queues: listed when a server answers, and the PDF of a document submitted to them.
#include <cups/cups.h>

#include <string>

#include "platform/print/print_internal.h"

namespace kv::print {

namespace {

// One connection to the configured (or default) server, given up after a second.
http_t* Connect(const Config& config) {
  if (!config.cupsServer.empty()) cupsSetServer(config.cupsServer.c_str());
  int cancel = 0;
  return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 1000, &cancel);
}

}  // namespace

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

int CupsSubmit(const Config& config, const std::string& queue, const std::string& pdfPath,
               const std::string& title, int copies) {
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
  httpClose(http);
  if (job <= 0) SetLastError(ERROR_GEN_FAILURE);
  return job;
}

}  // namespace kv::print
