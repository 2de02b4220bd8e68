// CSerial: a serial port ("COMn").
#pragma once

#include "printer_id/port.h"

namespace quenlow {

// The settings record an Open may be given (its accepted values are written back).
struct SerialSettings {
  DWORD baud_rate;
  BYTE parity;     // 0..4: none, odd, even, mark, space
  BYTE stop_bits;  // 0..2: one, one and a half, two
  BYTE byte_size;
};

class CSerial : public CPort {
 public:
  CSerial() = default;
  ~CSerial() override;

  // `settings`: a SerialSettings* or 0 for 19200 baud, 8 bits, no parity, one stop bit.
  BOOL Open(const WCHAR* name, ULONG_PTR settings) override;
  BOOL IsOpen() override;
  void Close() override;
  BOOL GetStatus(WORD* status) override;
  BOOL GetDeviceId(BYTE* buffer, DWORD size, DWORD* count) override;
  BOOL Write(const BYTE* buffer, DWORD count, DWORD* written) override;
  BOOL Read(BYTE* buffer, DWORD size, DWORD* count) override;

  // The settings a line accepts: unknown rates become 19200, byte sizes outside 4..8
  // become 8, parity codes above 4 and stop-bit codes above 2 become 0.
  static SerialSettings Clamp(const SerialSettings& requested);

 private:
  void Purge();

  HANDLE file_ = nullptr;
};

}  // namespace quenlow
