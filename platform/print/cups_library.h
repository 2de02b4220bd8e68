// libcups, loaded when a CUPS server is first asked for something (the printer list with
// CUPS queues on, a job for a queue, the default printer's port): a process that never
// talks to CUPS never maps it, nor the TLS, Kerberos, D-Bus and Avahi libraries it pulls
// in. Shared by the print and devices areas inside libplatform.so.
#pragma once

#include <cups/cups.h>

namespace kv::print {

#define KV_CUPS_FUNCTIONS(X) \
  X(cupsAddOption)           \
  X(cupsDoRequest)           \
  X(cupsEncryption)          \
  X(cupsFreeDests)           \
  X(cupsFreeOptions)         \
  X(cupsGetDest)             \
  X(cupsGetDests2)           \
  X(cupsGetOption)           \
  X(cupsLastError)           \
  X(cupsLastErrorString)     \
  X(cupsPrintFile2)          \
  X(cupsServer)              \
  X(cupsSetServer)           \
  X(httpAssembleURIf)        \
  X(httpClose)               \
  X(httpConnect2)            \
  X(ippAddString)            \
  X(ippDelete)               \
  X(ippFindAttribute)        \
  X(ippGetString)            \
  X(ippNewRequest)           \
  X(ippPort)

struct CupsLibrary {
#define KV_CUPS_POINTER(name) decltype(&::name) name = nullptr;
  KV_CUPS_FUNCTIONS(KV_CUPS_POINTER)
#undef KV_CUPS_POINTER
};

// The library's functions, loaded on the first call; nullptr when libcups.so.2 or one of
// them is missing (then no CUPS server is reachable).
const CupsLibrary* Cups();

}  // namespace kv::print
