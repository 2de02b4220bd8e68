// Fuzz target: the URL record's own splitting (its component record must point into its
// own fields) and the rule that turns a content-disposition header into a file name that
// stays inside the download folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/file_names.h"
#include "download/url.h"

namespace {

void CheckComponent(const char* ptr, DWORD length, const AnsiString& field) {
  if (field.empty() ? ptr != nullptr : (ptr != field.c_str() || length != field.size())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  TUrl url;
  url.SplitUrl(input);
  CheckComponent(url.UrlComponent.lpszHostName, url.UrlComponent.dwHostNameLength, url.HostName);
  CheckComponent(url.UrlComponent.lpszUrlPath, url.UrlComponent.dwUrlPathLength, url.UrlPath);
  CheckComponent(url.UrlComponent.lpszExtraInfo, url.UrlComponent.dwExtraInfoLength, url.ExtraInfo);

  const AnsiString name = SafeFileName(ContentDispositionFileName(input), "index.html");
  if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:*?\"<>|") != AnsiString::npos)
    std::abort();
  return 0;
}
