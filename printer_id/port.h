// The port abstraction: one printer connection (USB, parallel or serial).
#pragma once

#include "platform/base/types.h"

namespace quenlow {

class CPort {
 public:
  CPort() = default;
  CPort(const CPort&) = delete;
  CPort& operator=(const CPort&) = delete;
  // Ports are deleted through CPort pointers; each one releases what it holds.
  virtual ~CPort() = default;

  // Opens the port; `settings` is class-specific (a serial settings record or 0).
  virtual BOOL Open(const WCHAR* name, ULONG_PTR settings) = 0;
  virtual BOOL IsOpen() = 0;
  virtual void Close() = 0;
  virtual BOOL GetStatus(WORD* status) = 0;
  // Reads the device ID (2-byte big-endian length, then the text) into buffer.
  virtual BOOL GetDeviceId(BYTE* buffer, DWORD size, DWORD* count) = 0;
  virtual BOOL Write(const BYTE* buffer, DWORD count, DWORD* written) = 0;
  virtual BOOL Read(BYTE* buffer, DWORD size, DWORD* count) = 0;
};

}  // namespace quenlow
