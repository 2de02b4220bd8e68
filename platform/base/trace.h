// Optional activity trace of the platform: printed to stderr only when KORVANE_TRACE=1.
#pragma once

extern "C" {

void KvTrace(const char* area, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

}  // extern "C"
