#include "printer_id/identity.h"

#include <vector>

#include "platform/devices/default_printer.h"
#include "printer_id/deviceid.h"
#include "printer_id/parallel.h"
#include "printer_id/serial.h"
#include "printer_id/usb.h"

namespace quenlow {

namespace {

constexpr DWORD kMaxPortName = 261;

bool Contains(const std::u16string& s, const char16_t* a, const char16_t* b) {
  return s.find(a) != std::u16string::npos || s.find(b) != std::u16string::npos;
}

}  // namespace

std::u16string DefaultPrinterPort() {
  WCHAR port[kMaxPortName] = {};
  if (!KvDefaultPrinterPortW(port, kMaxPortName, nullptr, 0)) return {};
  return port;
}

void CPrinterIdentity::ReleasePort() {
  if (current_) current_->Close();
  current_.reset();
}

BOOL CPrinterIdentity::OpenPort(const WCHAR* name, ULONG_PTR settings) {
  ReleasePort();
  const std::u16string port = name != nullptr ? std::u16string(name) : DefaultPrinterPort();
  if (port.empty()) return FALSE;
  if (Contains(port, u"LPT", u"lpt")) {
    current_ = std::make_unique<CParallel>();
  } else if (Contains(port, u"COM", u"com")) {
    current_ = std::make_unique<CSerial>();
  } else if (Contains(port, u"USB", u"usb")) {
    current_ = std::make_unique<CUSB>();
  } else {
    return FALSE;
  }
  return current_->Open(port.c_str(), settings);
}

bool CPrinterIdentity::ExtractValue(const char* key1, const char* key2, char* buffer) {
  if (!current_ || !current_->IsOpen()) return false;
  std::vector<BYTE> id(kDeviceIdBufferSize, 0);
  DWORD count = 0;
  if (!current_->GetDeviceId(id.data(), static_cast<DWORD>(id.size()), &count)) return false;
  return ExtractDeviceIdValue(id.data(), count, key1, key2, buffer);
}

int CPrinterIdentity::Answer(const char* key1, const char* key2, char* buffer) {
  if (buffer == nullptr) return 0;
  if (!OpenPort(u"USB", 2) && !OpenPort(u"LPT1", 0)) {
    ReleasePort();
    return 0;
  }
  const bool found = ExtractValue(key1, key2, buffer);
  ReleasePort();
  return found ? 1 : 0;
}

int CPrinterIdentity::GetPrinterName(char* buffer) { return Answer("MODEL:", "MDL:", buffer); }

int CPrinterIdentity::GetPrinterNum(char* buffer) { return Answer("PNO:", "NUM:", buffer); }

}  // namespace quenlow
