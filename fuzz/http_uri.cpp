// Fuzz target: URL parsing and rebuilding, path merging and internet dates.
#include <cstdint>
#include <string>

#include "http_client/id_global.h"
#include "http_client/id_uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TIdURI uri(text);
  try {
    uri.Rebuild(true, true);
    uri.URI();
  } catch (const Exception&) {
  }
  const size_t cut = text.find('\n');
  if (cut != std::string::npos) {
    const std::string path = text.substr(cut + 1);
    const std::string merged = MergePath(text.substr(0, cut), path, '/');
    // An absolute path stands as it is; a merged one keeps no ".." segment: the merge
    // cannot climb above its start.
    const bool absolute = !path.empty() && path[0] == '/';
    if (!absolute && (merged.find("/../") != std::string::npos || merged.rfind("../", 0) == 0)) __builtin_trap();
  }
  std::string date = text;
  ParseInternetDate(date);
  GmtToLocal(text);
  EncodeRequestTarget(text);
  return 0;
}
