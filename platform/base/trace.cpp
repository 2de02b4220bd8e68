// Optional activity trace.
#include "platform/base/trace.h"

#include <string>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/base/codepage.h"

extern "C" {

void KvTrace(const char* area, const char* fmt, ...) {
  const char* on = std::getenv("KORVANE_TRACE");
  if (!on || std::strcmp(on, "1") != 0 || !fmt) return;
  char text[2048];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  std::fprintf(stderr, "[korvane %s] %s\n", area ? area : "-", text);
}

void OutputDebugStringA(LPCSTR text) {
  if (text) KvTrace("debug", "%s", kv::AnsiToUtf8(text).c_str());
}

void OutputDebugStringW(LPCWSTR text) {
  if (text) KvTrace("debug", "%s", kv::WideToUtf8(text).c_str());
}

}  // extern "C"
