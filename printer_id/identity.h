// The printer identity: the port factory and the two questions the library answers,
// the attached printer's model name and its serial number.
#pragma once

#include <memory>
#include <string>

#include "printer_id/port.h"

namespace quenlow {

// The port of the system's default printer ("USB", "LPT1", "COM2" ...), or "" when
// there is none or it has no local port.
std::u16string DefaultPrinterPort();

class CPrinterIdentity {
 public:
  CPrinterIdentity() = default;
  CPrinterIdentity(const CPrinterIdentity&) = delete;
  CPrinterIdentity& operator=(const CPrinterIdentity&) = delete;
  ~CPrinterIdentity() { ReleasePort(); }

  // Makes the port class the name asks for (no name: the default printer's port) the
  // current port, closing and deleting the previous one first, and opens it.
  BOOL OpenPort(const WCHAR* name, ULONG_PTR settings);
  CPort* current_port() const { return current_.get(); }
  void ReleasePort();

  // 1 with the value NUL-terminated in `buffer` (1024 bytes), or 0 with `buffer`
  // untouched. The port is released before the return.
  int GetPrinterName(char* buffer);
  int GetPrinterNum(char* buffer);

 private:
  int Answer(const char* key1, const char* key2, char* buffer);
  bool ExtractValue(const char* key1, const char* key2, char* buffer);

  std::unique_ptr<CPort> current_;
};

}  // namespace quenlow
