// Fuzz target: the cookie jar. The first line is the answering URL, every further line a
// Set-Cookie value (after a "s:" prefix: set from script); then the Cookie header for
// that URL, for script and for a request, and the jar's cache entries.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/scratch.h"
#include "platform/inet/internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (FuzzScratchFolder().empty()) return 0;
  setenv("KORVANE_HOME", FuzzScratchFolder().c_str(), 1);
  std::string text(reinterpret_cast<const char*>(data), size);
  const size_t nl = text.find('\n');
  kv::inet::UrlParts url;
  if (kv::inet::ParseUrl(text.substr(0, nl), &url) != 0) return 0;
  kv::inet::ResetCookies();
  size_t start = nl == std::string::npos ? text.size() : nl + 1;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const bool script = line.rfind("s:", 0) == 0;
    kv::inet::StoreCookie(url, script ? line.substr(2) : line, script);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  kv::inet::CookieHeader(url, true);
  kv::inet::CookieHeader(url, false);
  for (const auto& e : kv::inet::CookieCacheEntries()) kv::inet::DeleteCookieEntry(e.url);
  return 0;
}
