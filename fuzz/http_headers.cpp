// Fuzz target: a received head parsed into the response record, folding of the values
// back into request lines, and the base64 decoder.
#include <cstdint>
#include <string>

#include "http_client/id_auth.h"
#include "http_client/id_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TIdResponseHeaderInfo response;
  response.HeaderLines.SetText(text);
  response.ParseHeaderLines();
  TIdHeaderList list(40);
  for (int i = 0; i < response.HeaderLines.Count() && i < 64; ++i)
    list.SetValue("X-" + std::to_string(i), response.HeaderLines.Values(i));
  TIdBasicAuthentication basic;
  basic.SetAuthParams(response.WWWAuthenticate);
  basic.NextStep();
  try {
    TIdDecoderMIME::DecodeText(text.substr(0, text.size() / 4 * 4));
  } catch (const Exception&) {
  }
  return 0;
}
