#include "printer_id/parallel.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/module.h"
#include "platform/base/path.h"
#include "platform/base/time.h"
#include "platform/devices/winio_driver.h"
#include "printer_id/winio_image.h"

namespace quenlow {

namespace {

// Poll limits: handshakes the peripheral answers at once, and its slower answers.
constexpr DWORD kQuickPolls = 255;
constexpr DWORD kSlowPolls = 0x8FFF;
constexpr UINT kMaxSystemDirectory = 239;

// Register value of the idle control lines: nInit high, nSelectIn low (selected).
constexpr BYTE kControlIdle = 0x0C;
constexpr BYTE kControlStrobe = 0x0D;

// Control line levels (the register inverts nStrobe, nAutoFd and nSelectIn).
constexpr BYTE kStrobe = 0x01;
constexpr BYTE kAutoFd = 0x02;
constexpr BYTE kInit = 0x04;
constexpr BYTE kSelectIn = 0x08;
constexpr BYTE kInvertedLines = 0x0B;

// Extensibility request values.
constexpr BYTE kRequestNibble = 0x00;
constexpr BYTE kRequestDeviceId = 0x04;

struct PortEntry {
  std::u16string_view name;
  WORD data;
};
constexpr PortEntry kPorts[] = {
    {u"LPT1", 0x378},  {u"lpt1", 0x378}, {u"LPT1:", 0x378}, {u"LPT2", 0x278},  {u"lpt2", 0x278},
    {u"LPT2:", 0x278}, {u"LPT3", 0x3BC}, {u"lpt3", 0x3BC},  {u"LPT3:", 0x3BC},
};

bool FileExists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Writes a new file; a file left incomplete is removed again.
bool WriteNewFile(const std::u16string& path, const void* data, size_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  return ok;
}

// The executable's folder with its trailing separator.
std::u16string ExecutableDirectory() {
  WCHAR path[1024];
  const DWORD n = GetModuleFileNameW(nullptr, path, 1024);
  if (n == 0 || n >= 1024) return {};
  std::u16string s(path, n);
  const size_t slash = s.find_last_of(u"\\/");
  return slash == std::u16string::npos ? std::u16string() : s.substr(0, slash + 1);
}

// An entry point of a loaded module, as the function type it has.
template <class Fn>
Fn Bind(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

WORD CParallel::StatusFlags(BYTE v) {
  WORD f = 0;
  if (v & 0x08) f |= kFault;
  if (v & 0x10) f |= kSelect;
  if (v & 0x20) f |= kPError;
  if (!(v & 0x80)) f |= kBusy;  // the register reads Busy inverted
  if (v & 0x40) f |= kAck;
  return f;
}

CParallel::CParallel() {
  InitializeCriticalSection(&transfer_lock_);
  InitializeCriticalSection(&port_lock_);
  idle_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  ResetEngine();
}

CParallel::~CParallel() {
  Close();
  if (idle_) CloseHandle(idle_);
  DeleteCriticalSection(&port_lock_);
  DeleteCriticalSection(&transfer_lock_);
}

void CParallel::ResetEngine() {
  operation_ = kEndMode;
  buffer_ = nullptr;
  requested_ = 0;
  transferred_ = 0;
  assembling_ = 0;
  status_ = 0;
  last_status_.store(0, std::memory_order_relaxed);
  edges_ = 0;
  reverse_active_ = false;
  if (idle_) SetEvent(idle_);
}

BOOL CParallel::Open(const WCHAR* name, ULONG_PTR) {
  Close();
  ResetEngine();
  if (name == nullptr) return FALSE;
  const PortEntry* entry = nullptr;
  for (const PortEntry& p : kPorts) {
    if (p.name == name) entry = &p;
  }
  if (entry == nullptr) return FALSE;
  data_register_ = entry->data;
  status_register_ = static_cast<WORD>(entry->data + 1);
  control_register_ = static_cast<WORD>(entry->data + 2);

  if (!BindWinIo()) {
    ReleaseWinIo();
    return FALSE;
  }
  if (!ReadStatus()) {
    ReleaseWinIo();
    return FALSE;
  }
  // The port's device name, without the ":" the table allows.
  std::u16string device = u"\\\\.\\" + std::u16string(entry->name.substr(0, 4));
  port_file_ = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port_file_ == INVALID_HANDLE_VALUE) {
    ReleaseWinIo();
    return FALSE;
  }
  return TRUE;
}

bool CParallel::BindWinIo() {
  WCHAR system[260];
  const UINT length = GetSystemDirectoryW(system, 260);
  if (length == 0 || length >= kMaxSystemDirectory) return false;
  library_path_ = std::u16string(system, length) + u"\\WinIo.dll";
  if (!FileExists(library_path_) && WriteNewFile(library_path_, kWinIoDllImage, kWinIoDllImageSize)) {
    library_written_ = true;
  }
  module_ = LoadLibraryW(library_path_.c_str());
  if (module_ == nullptr) return false;
  initialize_winio_ = Bind<InitializeWinIoFn>(module_, "InitializeWinIo");
  shutdown_winio_ = Bind<ShutdownWinIoFn>(module_, "ShutdownWinIo");
  get_port_val_ = Bind<GetPortValFn>(module_, "GetPortVal");
  set_port_val_ = Bind<SetPortValFn>(module_, "SetPortVal");
  if (!initialize_winio_ || !shutdown_winio_ || !get_port_val_ || !set_port_val_) return false;

  // The driver file must stand next to the executable while the library initialises.
  const std::u16string driver = ExecutableDirectory() + u"WinIo.sys";
  const bool driver_written =
      !FileExists(driver) && WriteNewFile(driver, kvdev::kWinIoDriverImage, kvdev::kWinIoDriverImageSize);
  initialised_ = initialize_winio_() != FALSE;
  if (driver_written) DeleteFileW(driver.c_str());
  return initialised_;
}

void CParallel::ReleaseWinIo() {
  // Only what was bound and initialised is called.
  if (initialised_) {
    if (set_port_val_) set_port_val_(control_register_, kControlIdle, 1);
    if (shutdown_winio_) shutdown_winio_();
  }
  initialised_ = false;
  get_port_val_ = nullptr;
  set_port_val_ = nullptr;
  shutdown_winio_ = nullptr;
  initialize_winio_ = nullptr;
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  if (library_written_) {
    library_written_ = false;
    DeleteFileW(library_path_.c_str());
  }
}

BOOL CParallel::IsOpen() {
  return get_port_val_ && set_port_val_ && shutdown_winio_ && initialize_winio_ && module_ && port_file_ != nullptr &&
         port_file_ != INVALID_HANDLE_VALUE;
}

void CParallel::Close() {
  if (initialised_) {
    DWORD ignored = 0;
    RunOperation(kEndMode, nullptr, 0, &ignored);
  }
  ReleaseWinIo();
  if (port_file_ != nullptr && port_file_ != INVALID_HANDLE_VALUE) CloseHandle(port_file_);
  port_file_ = INVALID_HANDLE_VALUE;
}

BOOL CParallel::GetStatus(WORD* status) {
  if (status == nullptr || port_file_ == INVALID_HANDLE_VALUE) return FALSE;
  if (WaitForSingleObject(idle_, 0) == WAIT_OBJECT_0) {
    EnterCriticalSection(&transfer_lock_);
    ReadStatus();
    LeaveCriticalSection(&transfer_lock_);
  }
  *status = last_status_.load(std::memory_order_relaxed) & 0x0F;
  return TRUE;
}

BOOL CParallel::GetDeviceId(BYTE* buffer, DWORD size, DWORD* count) {
  if (port_file_ == INVALID_HANDLE_VALUE) return FALSE;
  EnterCriticalSection(&port_lock_);
  BOOL ok;
  DWORD got = 0;
  if (buffer == nullptr) {
    // Just the length field.
    BYTE length[2] = {0, 0};
    ok = RunOperation(kReadDeviceId, length, 2, &got);
    if (count) *count = got < 2 ? 0 : static_cast<DWORD>((length[0] << 8) | length[1]);
  } else {
    ok = RunOperation(kReadDeviceId, buffer, size, &got);
    if (count) *count = got;
  }
  LeaveCriticalSection(&port_lock_);
  return ok;
}

BOOL CParallel::Read(BYTE* buffer, DWORD size, DWORD* count) {
  EnterCriticalSection(&port_lock_);
  DWORD got = 0;
  const BOOL ok = RunOperation(kReadReverse, buffer, size, &got);
  if (count) *count = got;
  if (!ok || got == 0) Sleep(10);
  LeaveCriticalSection(&port_lock_);
  return ok;
}

BOOL CParallel::Write(const BYTE* buffer, DWORD count, DWORD* written) {
  EnterCriticalSection(&port_lock_);
  DWORD done = 0;
  const BOOL ok = RunOperation(kWriteForward, const_cast<BYTE*>(buffer), count, &done);
  if (written) *written = done;
  LeaveCriticalSection(&port_lock_);
  return ok;
}

BOOL CParallel::RunOperation(Operation operation, BYTE* buffer, DWORD count, DWORD* transferred) {
  *transferred = 0;
  if (module_ == nullptr || get_port_val_ == nullptr || set_port_val_ == nullptr) return FALSE;
  if (buffer == nullptr && operation != kEndMode && count != 0) return FALSE;

  ResetEvent(idle_);
  EnterCriticalSection(&transfer_lock_);
  operation_ = operation;
  buffer_ = buffer;
  requested_ = count > 0xFFFF ? 0xFFFF : count;  // the count of bytes moved is 16-bit
  transferred_ = 0;

  bool ok = ReadStatus();
  if (ok) {
    if (reverse_active_ && operation != kReadReverse) Terminate();
    switch (operation) {
      case kEndMode: break;
      case kWriteForward: ok = ForwardWrite(); break;
      case kReadDeviceId:
      case kReadReverse: {
        if (!reverse_active_) {
          const BYTE request = operation == kReadDeviceId ? kRequestNibble | kRequestDeviceId : kRequestNibble;
          if (!Negotiate(request)) {
            Terminate();
            ok = false;
            break;
          }
        }
        const bool read = ReadNibbleMode();
        reverse_active_ = read;
        if (!read || operation == kReadDeviceId) Terminate();
        ok = read;
        break;
      }
    }
  }
  *transferred = transferred_;
  buffer_ = nullptr;
  LeaveCriticalSection(&transfer_lock_);
  SetEvent(idle_);
  return ok ? TRUE : FALSE;
}

bool CParallel::ReadStatus() {
  DWORD value = 0;
  if (get_port_val_ == nullptr || !get_port_val_(status_register_, &value, 1)) return false;
  const WORD now = StatusFlags(static_cast<BYTE>(value));
  const WORD rose = static_cast<WORD>(now & ~status_);
  const WORD fell = static_cast<WORD>(~now & status_);
  auto edge = [&](WORD flag, DWORD rising, DWORD falling) {
    if (rose & flag) edges_ |= rising;
    if (fell & flag) edges_ |= falling;
  };
  edge(kAck, kAckRising, kAckFalling);
  edge(kBusy, kBusyRising, kBusyFalling);
  edge(kSelect, kSelectRising, kSelectFalling);
  edge(kFault, kFaultRising, kFaultFalling);
  edge(kPError, kPErrorRising, kPErrorFalling);
  status_ = now;
  last_status_.store(now, std::memory_order_relaxed);
  return true;
}

bool CParallel::WaitStatus(WORD mask, WORD value, DWORD polls) {
  edges_ = 0;
  for (DWORD i = 0; i < polls; ++i) {
    if (!ReadStatus()) return false;
    if ((status_ & mask) == value) return true;
  }
  return false;
}

bool CParallel::WaitEdge(DWORD edge, DWORD polls) {
  edges_ = 0;
  for (DWORD i = 0; i < polls; ++i) {
    if (!ReadStatus()) return false;
    if (edges_ & edge) return true;
  }
  return false;
}

void CParallel::WriteControlRegister(BYTE value) { set_port_val_(control_register_, value, 1); }

void CParallel::SetControlLines(BYTE lines) { WriteControlRegister(lines ^ kInvertedLines); }

bool CParallel::Negotiate(BYTE request) {
  // Event 0: the request on the data lines; event 1: 1284Active high, HostBusy low.
  set_port_val_(data_register_, request, 1);
  SetControlLines(kStrobe | kInit | kSelectIn);
  // Event 2: the peripheral answers with nAck low and PError, nFault, Select high.
  if (!WaitStatus(kAck | kPError | kFault | kSelect, kPError | kFault | kSelect, kSlowPolls)) {
    return false;
  }
  // Events 3 and 4: the request is strobed in, then HostBusy and HostClk go high.
  SetControlLines(kInit | kSelectIn);
  Sleep(1);
  SetControlLines(kStrobe | kAutoFd | kInit | kSelectIn);
  // Events 5 and 6: the peripheral sets XFlag and its data state, then nAck high.
  WaitStatus(kAck, kAck, kQuickPolls);
  return true;
}

bool CParallel::ReadNibbleMode() {
  if (!WaitStatus(kAck, kAck, kSlowPolls)) return false;
  // XFlag: high accepts the device-ID request, low accepts plain nibble mode.
  const bool xflag = (status_ & kSelect) != 0;
  if (operation_ == kReadDeviceId ? !xflag : xflag) return false;

  const BYTE active = kStrobe | kInit | kSelectIn;
  const bool perror = (status_ & kPError) != 0;
  const bool fault = (status_ & kFault) != 0;
  if (perror && fault) {
    // No data: the host stays busy.
    SetControlLines(active | kAutoFd);
    return true;
  }
  if (perror) {
    // The peripheral announces data from reverse idle: acknowledge it, wait for it.
    SetControlLines(active);
    SetControlLines(active | kAutoFd);
    if (!WaitStatus(kPError, 0, kSlowPolls)) return false;
  }
  while (!(status_ & kPError) && !(status_ & kFault) && transferred_ < requested_) {
    BYTE nibbles[2];
    for (BYTE& nibble : nibbles) {
      SetControlLines(active);  // event 7: HostBusy low, ready for a nibble
      if (!WaitEdge(kAckFalling, kSlowPolls)) return false;
      nibble = static_cast<BYTE>(status_ & 0x0F);
      SetControlLines(active | kAutoFd);  // event 9: HostBusy high, nibble taken
      if (!WaitEdge(kAckRising, kSlowPolls)) return false;
    }
    assembling_ = static_cast<BYTE>((nibbles[1] << 4) + nibbles[0]);
    buffer_[transferred_++] = assembling_;
  }
  return true;
}

bool CParallel::ForwardWrite() {
  WriteControlRegister(kControlIdle);
  if (!ReadStatus()) return false;
  constexpr WORD kReady = kFault | kSelect;     // nFault high, Select high, PError low, Busy low
  if ((status_ & 0x0F) != kReady) return true;  // printer not ready: nothing written
  while (transferred_ < requested_) {
    if (!WaitStatus(0x0F, kReady, kQuickPolls)) return false;
    set_port_val_(data_register_, buffer_[transferred_], 1);
    WriteControlRegister(kControlStrobe);
    // The byte counts only when the printer took it (Busy high).
    const bool taken = WaitStatus(kBusy, kBusy, kQuickPolls);
    WriteControlRegister(kControlIdle);
    if (!taken) return false;
    ++transferred_;
  }
  return true;
}

void CParallel::Terminate() {
  // Event 22: 1284Active low, HostBusy high; event 24: nAck low.
  SetControlLines(kStrobe | kAutoFd | kInit);
  WaitEdge(kAckFalling, kQuickPolls);
  // Event 25: host acknowledge; event 27: nAck high.
  SetControlLines(kStrobe | kInit);
  WaitEdge(kAckRising, kQuickPolls);
  Sleep(1);
  // Event 28: host acknowledge released; compatibility mode.
  SetControlLines(kStrobe | kAutoFd | kInit);
  for (int i = 0; i < 3; ++i) {
    SetControlLines(kStrobe | kAutoFd | kInit | kSelectIn);
    SetControlLines(kStrobe | kAutoFd | kInit);
  }
  reverse_active_ = false;
}

}  // namespace quenlow
