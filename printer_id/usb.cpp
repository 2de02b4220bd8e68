#include "printer_id/usb.h"

#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/sync.h"
#include "platform/devices/serial.h"
#include "platform/devices/setupapi.h"

namespace quenlow {

namespace {

constexpr DWORD kIoTimeoutMs = 2000;
constexpr DWORD kMaxInterfaces = 127;

struct VidPid {
  WORD vid, pid;
};
// In the order of preference.
constexpr VidPid kPreferred[] = {
    {0x20D1, 0x2010}, {0x20D1, 0x200D}, {0x0401, 0x0210}, {0x20D1, 0x200E}, {0x08BD, 0x020B},
};

// Up to four hexadecimal digits at the start of `s` (after blanks), as "%4x" reads.
bool ReadHex4(std::u16string_view s, WORD* value) {
  size_t i = 0;
  while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
  unsigned v = 0;
  int digits = 0;
  for (; i < s.size() && digits < 4; ++i, ++digits) {
    const char16_t c = s[i];
    unsigned d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      break;
    v = v * 16 + d;
  }
  if (digits == 0) return false;
  *value = static_cast<WORD>(v);
  return true;
}

// Waits for a pending operation; after a time-out the operation is cancelled and
// waited for, so nothing writes into the caller's buffer after the return.
BOOL FinishPending(HANDLE device, OVERLAPPED* ov, DWORD timeout, DWORD* transferred) {
  if (WaitForSingleObject(ov->hEvent, timeout) == WAIT_OBJECT_0) {
    return GetOverlappedResult(device, ov, transferred, FALSE);
  }
  CancelIo(device);
  DWORD ignored = 0;
  GetOverlappedResult(device, ov, &ignored, TRUE);
  *transferred = 0;
  SetLastError(ERROR_TIMEOUT);
  return FALSE;
}

}  // namespace

CUSB::CUSB() {
  read_.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  write_.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  if (read_.hEvent) ResetEvent(read_.hEvent);
  if (write_.hEvent) ResetEvent(write_.hEvent);
}

CUSB::~CUSB() {
  Close();
  if (read_.hEvent) CloseHandle(read_.hEvent);
  if (write_.hEvent) CloseHandle(write_.hEvent);
}

bool CUSB::IsPreferred(WORD vendor_id, WORD product_id) {
  for (const VidPid& p : kPreferred) {
    if (p.vid == vendor_id && p.pid == product_id) return true;
  }
  return false;
}

bool CUSB::ParseVendorProduct(const WCHAR* path, WORD* vendor_id, WORD* product_id) {
  if (path == nullptr) return false;
  const std::u16string_view s(path);
  const size_t first = s.find(u'_');
  if (first == std::u16string_view::npos) return false;
  const size_t second = s.find(u'_', first + 1);
  if (second == std::u16string_view::npos) return false;
  const size_t third = s.find(u'_', second + 1);
  return ReadHex4(s.substr(first + 1, second - first - 1), vendor_id) &&
         ReadHex4(
             s.substr(second + 1, third == std::u16string_view::npos ? std::u16string_view::npos : third - second - 1),
             product_id);
}

HANDLE CUSB::OpenPath(const WCHAR* path) {
  return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

BOOL CUSB::Open(const WCHAR*, ULONG_PTR) {
  Close();
  HDEVINFO set =
      SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return FALSE;

  std::u16string fallback;
  bool ran_out = false;
  for (DWORD index = 0; index < kMaxInterfaces; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, index, &data)) {
      ran_out = true;
      break;
    }
    DWORD need = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &need, nullptr);
    if (need < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<DWORD> storage((need + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, need, nullptr, nullptr)) continue;

    WORD vid = 0, pid = 0;
    if (ParseVendorProduct(detail->DevicePath, &vid, &pid) && IsPreferred(vid, pid)) {
      device_ = OpenPath(detail->DevicePath);
      if (device_ != INVALID_HANDLE_VALUE) break;
    } else {
      fallback = detail->DevicePath;
    }
  }
  if (device_ == INVALID_HANDLE_VALUE && ran_out && !fallback.empty()) {
    device_ = OpenPath(fallback.c_str());
  }
  SetupDiDestroyDeviceInfoList(set);
  if (device_ == INVALID_HANDLE_VALUE) return FALSE;
  CancelIo(device_);
  PurgeComm(device_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  return TRUE;
}

BOOL CUSB::IsOpen() { return device_ != nullptr && device_ != INVALID_HANDLE_VALUE; }

void CUSB::Close() {
  if (IsOpen()) CloseHandle(device_);
  device_ = INVALID_HANDLE_VALUE;
}

BOOL CUSB::IoControl(DWORD code, void* out, DWORD out_size, DWORD* returned) {
  *returned = 0;
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (ov.hEvent == nullptr) return FALSE;
  DWORD got = 0;
  BOOL ok = DeviceIoControl(device_, code, nullptr, 0, out, out_size, &got, &ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    ok = FinishPending(device_, &ov, kIoTimeoutMs, &got);
  }
  CloseHandle(ov.hEvent);
  if (ok) *returned = got;
  return ok;
}

BOOL CUSB::GetStatus(WORD* status) {
  if (status == nullptr || !IsOpen()) return FALSE;
  BYTE answer[2] = {0, 0};
  DWORD got = 0;
  if (!IoControl(IOCTL_USBPRINT_GET_LPT_STATUS, answer, sizeof answer, &got)) return FALSE;
  if (got != sizeof answer) return FALSE;
  *status = static_cast<WORD>(answer[0] | (answer[1] << 8));
  return TRUE;
}

BOOL CUSB::GetDeviceId(BYTE* buffer, DWORD size, DWORD* count) {
  if (!IsOpen()) return FALSE;
  DWORD got = 0;
  if (!IoControl(IOCTL_USBPRINT_GET_1284_ID, buffer, size, &got)) return FALSE;
  if (count) *count = got;
  return TRUE;
}

BOOL CUSB::Write(const BYTE* buffer, DWORD count, DWORD* written) {
  if (!IsOpen() || write_.hEvent == nullptr) return FALSE;
  ResetEvent(write_.hEvent);
  DWORD done = 0;
  BOOL ok = WriteFile(device_, buffer, count, &done, &write_);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    ok = GetOverlappedResult(device_, &write_, &done, TRUE);
  }
  if (!ok) PurgeComm(device_, PURGE_TXABORT | PURGE_TXCLEAR);
  if (written) *written = ok ? done : 0;
  return ok;
}

BOOL CUSB::Read(BYTE* buffer, DWORD size, DWORD* count) {
  if (!IsOpen() || read_.hEvent == nullptr) return FALSE;
  DWORD errors = 0;
  COMSTAT stat{};
  DWORD want = size;
  if (ClearCommError(device_, &errors, &stat) && stat.cbInQue < size) want = stat.cbInQue;
  ResetEvent(read_.hEvent);
  DWORD done = 0;
  BOOL ok = ReadFile(device_, buffer, want, &done, &read_);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    ok = FinishPending(device_, &read_, kIoTimeoutMs, &done);
  }
  if (!ok) PurgeComm(device_, PURGE_RXABORT | PURGE_RXCLEAR);
  if (count) *count = ok ? done : 0;
  return ok;
}

}  // namespace quenlow
