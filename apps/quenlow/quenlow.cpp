// Quenlow.dll: tells which printer is attached, from its IEEE 1284 device ID, read
// over USB or, failing that, the first parallel port.
#include "printer_id/identity.h"

namespace {

// The library's state lives from load to unload; what a call opens it closes again.
quenlow::CPrinterIdentity& Identity() {
  static quenlow::CPrinterIdentity identity;
  return identity;
}

}  // namespace

#define QUENLOW_EXPORT extern "C" __attribute__((visibility("default")))

// 1: the model name is in `buffer` (at least 1024 bytes); 0: not found, `buffer`
// untouched.
QUENLOW_EXPORT int GetPrinterName(char* buffer) {
  try {
    return Identity().GetPrinterName(buffer);
  } catch (...) {
    return 0;
  }
}

// 1: the serial number is in `buffer`; 0: not found, `buffer` untouched.
QUENLOW_EXPORT int GetPrinterNum(char* buffer) {
  try {
    return Identity().GetPrinterNum(buffer);
  } catch (...) {
    return 0;
  }
}
