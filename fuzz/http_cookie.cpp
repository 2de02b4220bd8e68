// Fuzz target: cookies. The first line is the answering host, every further line a
// "Set-cookie" (or, after a "2:" prefix, a "Set-cookie2") value; then the header for a
// URL of that host is built.
#include <cstdint>
#include <string>

#include "http_client/id_cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  const size_t nl = text.find('\n');
  const std::string host = nl == std::string::npos ? text : text.substr(0, nl);
  TIdCookieManager manager(nullptr);
  size_t start = nl == std::string::npos ? text.size() : nl + 1;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    try {
      if (line.rfind("2:", 0) == 0)
        manager.AddCookie2(line.substr(2), host);
      else
        manager.AddCookie(line, host);
    } catch (const Exception&) {
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  manager.GenerateCookieList("http://" + host + "/a/b", true);
  manager.GenerateCookieList("http://" + host + "/", false);
  return 0;
}
