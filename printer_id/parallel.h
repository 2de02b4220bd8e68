// CParallel: a printer on a PC parallel port, read through the IEEE 1284 reverse
// channel by driving the port's registers with the port-I/O library WinIo.dll, which
// this library carries inside itself and writes out when it is missing.
#pragma once

#include <atomic>
#include <string>

#include "platform/base/sync.h"
#include "printer_id/port.h"

namespace quenlow {

class CParallel : public CPort {
 public:
  CParallel();
  ~CParallel() override;

  // Opens "LPT1".."LPT3" (also lower case, and with ":"); settings are not used.
  BOOL Open(const WCHAR* name, ULONG_PTR settings) override;
  BOOL IsOpen() override;
  void Close() override;
  BOOL GetStatus(WORD* status) override;
  BOOL GetDeviceId(BYTE* buffer, DWORD size, DWORD* count) override;
  BOOL Write(const BYTE* buffer, DWORD count, DWORD* written) override;
  BOOL Read(BYTE* buffer, DWORD size, DWORD* count) override;

  // Status flags, one line level each (the low four are the nibble-mode data lines).
  static constexpr WORD kFault = 0x01;   // nFault (nDataAvail)
  static constexpr WORD kSelect = 0x02;  // Select (XFlag)
  static constexpr WORD kPError = 0x04;  // PError (AckDataReq)
  static constexpr WORD kBusy = 0x08;    // Busy
  static constexpr WORD kAck = 0x10;     // nAck (PtrClk)

  // Edge flags recorded by each status read.
  static constexpr DWORD kAckRising = 0x200, kAckFalling = 0x100;
  static constexpr DWORD kBusyRising = 0x80, kBusyFalling = 0x40;
  static constexpr DWORD kSelectRising = 0x20, kSelectFalling = 0x10;
  static constexpr DWORD kFaultRising = 0x08, kFaultFalling = 0x04;
  static constexpr DWORD kPErrorRising = 0x02, kPErrorFalling = 0x01;

  // The status flags of a status-register value.
  static WORD StatusFlags(BYTE value);

 private:
  using GetPortValFn = BOOL (*)(WORD, DWORD*, BYTE);
  using SetPortValFn = BOOL (*)(WORD, DWORD, BYTE);
  using ShutdownWinIoFn = void (*)();
  using InitializeWinIoFn = BOOL (*)();

  enum Operation { kReadDeviceId = 1, kReadReverse = 2, kWriteForward = 3, kEndMode = 4 };

  void ResetEngine();
  bool BindWinIo();
  void ReleaseWinIo();

  // One transfer under the transfer lock, with the idle event reset while it runs.
  BOOL RunOperation(Operation operation, BYTE* buffer, DWORD count, DWORD* transferred);
  bool ReadStatus();
  bool WaitStatus(WORD mask, WORD value, DWORD polls);
  bool WaitEdge(DWORD edge, DWORD polls);
  void WriteControlRegister(BYTE value);
  void SetControlLines(BYTE lines);
  bool Negotiate(BYTE request);
  bool ReadNibbleMode();
  bool ForwardWrite();
  void Terminate();

  // Engine state.
  GetPortValFn get_port_val_ = nullptr;
  SetPortValFn set_port_val_ = nullptr;
  ShutdownWinIoFn shutdown_winio_ = nullptr;
  InitializeWinIoFn initialize_winio_ = nullptr;
  HMODULE module_ = nullptr;
  CRITICAL_SECTION transfer_lock_;
  HANDLE idle_ = nullptr;
  WORD data_register_ = 0, status_register_ = 0, control_register_ = 0;
  Operation operation_ = kEndMode;
  BYTE* buffer_ = nullptr;
  DWORD requested_ = 0;
  WORD transferred_ = 0;
  BYTE assembling_ = 0;
  WORD status_ = 0;
  std::atomic<WORD> last_status_{0};  // status_ for GetStatus while a transfer runs
  DWORD edges_ = 0;
  bool reverse_active_ = false;
  bool library_written_ = false;
  bool initialised_ = false;
  std::u16string library_path_;

  HANDLE port_file_ = INVALID_HANDLE_VALUE;
  CRITICAL_SECTION port_lock_;
};

}  // namespace quenlow
