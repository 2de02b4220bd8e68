// CUSB: a USB printer-class printer, found through the device-interface enumeration.
#pragma once

#include "platform/base/file.h"
#include "printer_id/port.h"

namespace quenlow {

class CUSB : public CPort {
 public:
  CUSB();
  ~CUSB() override;

  // Opens the first preferred printer enumerated, else the last other one; name and
  // settings are not used.
  BOOL Open(const WCHAR* name, ULONG_PTR settings) override;
  BOOL IsOpen() override;
  void Close() override;
  BOOL GetStatus(WORD* status) override;
  BOOL GetDeviceId(BYTE* buffer, DWORD size, DWORD* count) override;
  BOOL Write(const BYTE* buffer, DWORD count, DWORD* written) override;
  BOOL Read(BYTE* buffer, DWORD size, DWORD* count) override;

  // The preferred printers (vendor ID, product ID).
  static bool IsPreferred(WORD vendor_id, WORD product_id);
  // Vendor and product ID read from an interface path: the second and third pieces
  // of the path split at "_" start with them in hexadecimal. False when absent.
  static bool ParseVendorProduct(const WCHAR* path, WORD* vendor_id, WORD* product_id);

 private:
  // An overlapped I/O control with a fresh event, waited for at most the time-out;
  // a time-out cancels the control and waits for it to end.
  BOOL IoControl(DWORD code, void* out, DWORD out_size, DWORD* returned);
  HANDLE OpenPath(const WCHAR* path);

  HANDLE device_ = INVALID_HANDLE_VALUE;
  OVERLAPPED read_{};
  OVERLAPPED write_{};
};

}  // namespace quenlow
