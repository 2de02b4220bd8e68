// Optional activity trace of the platform: printed to stderr only when KORVANE_TRACE=1.
#pragma once

#include "platform/base/types.h"

extern "C" {

void KvTrace(const char* area, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The debugger output. No debugger is ever attached here, so the text goes to the trace
// (area "debug") and is dropped without KORVANE_TRACE=1, as the platform drops it.
void OutputDebugStringA(LPCSTR text);
void OutputDebugStringW(LPCWSTR text);

}  // extern "C"
