// A stand-in identity library for the tests, steered by the environment:
//   ZORBEL_FAKE_TEXT  the text written (both exports)
//   ZORBEL_FAKE_RC    the return value (default 1)
//   ZORBEL_FAKE_FILL  "1": fill all 1024 bytes with 'A', no terminator
// Built once with both exports and once (ZORBEL_FAKE_NAME_ONLY) without GetPrinterNum.
#include <cstdlib>
#include <cstring>

namespace {

int Answer(char* buffer) {
  const char* rc = std::getenv("ZORBEL_FAKE_RC");
  const char* fill = std::getenv("ZORBEL_FAKE_FILL");
  const char* text = std::getenv("ZORBEL_FAKE_TEXT");
  if (fill && std::strcmp(fill, "1") == 0) {
    std::memset(buffer, 'A', 1024);
  } else if (text) {
    std::strcpy(buffer, text);
  }
  return rc ? std::atoi(rc) : 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int GetPrinterName(char* buffer) { return Answer(buffer); }
#ifndef ZORBEL_FAKE_NAME_ONLY
extern "C" __attribute__((visibility("default"))) int GetPrinterNum(char* buffer) { return Answer(buffer); }
#endif
