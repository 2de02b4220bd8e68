#include "printer_id/serial.h"

#include <string>

#include "platform/base/file.h"
#include "platform/base/sync.h"
#include "platform/devices/serial.h"

namespace quenlow {

namespace {

constexpr DWORD kAcceptedRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                    19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr DWORD kSerialTimeoutMs = 2000;

}  // namespace

CSerial::~CSerial() { Close(); }

SerialSettings CSerial::Clamp(const SerialSettings& requested) {
  SerialSettings s = requested;
  bool known = false;
  for (DWORD rate : kAcceptedRates) known = known || rate == s.baud_rate;
  if (!known) s.baud_rate = 19200;
  if (s.byte_size < 4 || s.byte_size > 8) s.byte_size = 8;
  if (s.parity > 4) s.parity = 0;
  if (s.stop_bits > 2) s.stop_bits = 0;
  return s;
}

BOOL CSerial::Open(const WCHAR* name, ULONG_PTR settings) {
  Close();
  if (name == nullptr) return FALSE;
  // The device form of the name also reaches ports above COM9.
  std::u16string device(name);
  if (device.rfind(u"\\\\.\\", 0) != 0) device = u"\\\\.\\" + device;
  file_ = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) {
    file_ = nullptr;
    return FALSE;
  }
  bool ok = true;
  COMMTIMEOUTS timeouts{kSerialTimeoutMs, kSerialTimeoutMs, kSerialTimeoutMs, kSerialTimeoutMs, kSerialTimeoutMs};
  ok = ok && SetCommTimeouts(file_, &timeouts);
  ok = ok && SetCommMask(file_, EV_RXCHAR);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ok = ok && GetCommState(file_, &dcb);
  if (ok) {
    auto* record = reinterpret_cast<SerialSettings*>(settings);
    SerialSettings s{19200, 0, 0, 8};
    if (record != nullptr) {
      s = Clamp(*record);
      *record = s;
    }
    dcb.BaudRate = s.baud_rate;
    dcb.ByteSize = s.byte_size;
    dcb.Parity = s.parity;
    dcb.StopBits = s.stop_bits;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ok = SetCommState(file_, &dcb);
  }
  if (!ok) {
    Close();
    return FALSE;
  }
  Purge();
  return TRUE;
}

BOOL CSerial::IsOpen() { return file_ != nullptr && file_ != INVALID_HANDLE_VALUE; }

void CSerial::Purge() {
  if (IsOpen()) PurgeComm(file_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void CSerial::Close() {
  if (!IsOpen()) return;
  Purge();
  CloseHandle(file_);
  file_ = nullptr;
}

BOOL CSerial::GetStatus(WORD*) { return FALSE; }

BOOL CSerial::GetDeviceId(BYTE*, DWORD, DWORD* count) {
  if (count) *count = 0;
  return TRUE;
}

BOOL CSerial::Read(BYTE* buffer, DWORD size, DWORD* count) {
  if (count) *count = 0;
  if (!IsOpen()) return FALSE;
  DWORD errors = 0;
  COMSTAT stat{};
  if (!ClearCommError(file_, &errors, &stat)) return FALSE;
  if (stat.cbInQue == 0) return TRUE;
  const DWORD want = stat.cbInQue < size ? stat.cbInQue : size;
  DWORD done = 0;
  if (!ReadFile(file_, buffer, want, &done, nullptr)) return FALSE;
  if (count) *count = done;
  return TRUE;
}

BOOL CSerial::Write(const BYTE* buffer, DWORD count, DWORD* written) {
  if (written) *written = 0;
  if (!IsOpen()) return FALSE;
  DWORD done = 0;
  const BOOL ok = WriteFile(file_, buffer, count, &done, nullptr);
  if (written) *written = done;
  return ok;
}

}  // namespace quenlow
