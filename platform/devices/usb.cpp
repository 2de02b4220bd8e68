// USB printer interfaces: the simulated bus, the real /dev/usb/lp* devices, the
// interface enumeration and the device objects CreateFileW opens on their paths.
#include <dirent.h>
#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/kobject.h"
#include "platform/devices/device_names.h"
#include "platform/devices/setupapi.h"
#include "platform/devices/usbprint.h"

namespace kvdev {
namespace {

// The printer-class driver's ioctls (usblp): device ID and vendor/product pair.
constexpr unsigned kIocGetDeviceIdNr = 1;
constexpr unsigned kIocGetVidPidNr = 6;
unsigned long LpIocGetDeviceId(unsigned length) { return _IOC(_IOC_READ, 'P', kIocGetDeviceIdNr, length); }
unsigned long LpIocGetVidPid() { return _IOC(_IOC_READ, 'P', kIocGetVidPidNr, sizeof(int) * 2); }

constexpr const char* kInterfaceSuffix = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

std::string InterfacePath(WORD vid, WORD pid, const std::string& instance) {
  char head[40];
  std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x#", vid, pid);
  return head + instance + kInterfaceSuffix;
}

// The instance part of an interface path ("simN" or "lpN"), or "" when it is none.
std::string InstanceOfPath(std::string_view name) {
  if (name.size() < 8 || name.compare(0, 4, "\\\\?\\") != 0) return {};
  name.remove_prefix(4);
  if (name.size() < 4) return {};
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.compare(0, 4, "usb#") != 0) return {};
  const size_t first = lower.find('#');
  const size_t second = lower.find('#', first + 1);
  if (second == std::string::npos) return {};
  const size_t third = lower.find('#', second + 1);
  if (third == std::string::npos || lower.compare(third, std::string::npos, kInterfaceSuffix) != 0) {
    return {};
  }
  return lower.substr(second + 1, third - second - 1);
}

// ---------------------------------------------------------------------------
// Simulated bus.

// A read has no I/O control code.
constexpr DWORD kPendingRead = 0;

struct PendingIo {
  OVERLAPPED* overlapped;
  DWORD code;  // or kPendingRead
  void* out;
  DWORD out_size;
  const void* owner;
};

struct SimPrinter {
  WORD vid = 0, pid = 0;
  std::vector<BYTE> device_id;
  WORD status = 0x18;  // selected, no error
  DWORD failures = 0;
  DWORD opens = 0, handles = 0, cancels = 0;
  bool attached = true;  // false once the bus was cleared
  std::deque<PendingIo> pending;
};

struct SimBus {
  std::mutex lock;
  bool enabled = false;
  bool enumeration_fails = false;
  std::vector<std::shared_ptr<SimPrinter>> printers;
};

SimBus& Bus() {
  static SimBus bus;
  return bus;
}

// Fills an I/O control's answer; returns the error code (0 on success).
DWORD AnswerIoControl(const SimPrinter& p, DWORD code, void* out, DWORD out_size, DWORD* bytes) {
  *bytes = 0;
  if (p.failures & KV_USBSIM_IOCTL_FAILS) return ERROR_GEN_FAILURE;
  if (code == IOCTL_USBPRINT_GET_1284_ID) {
    const DWORD n = std::min<DWORD>(out_size, static_cast<DWORD>(p.device_id.size()));
    if (n > 0 && out == nullptr) return ERROR_INVALID_PARAMETER;
    if (n > 0) std::memcpy(out, p.device_id.data(), n);
    *bytes = n;
    return 0;
  }
  if (code == IOCTL_USBPRINT_GET_LPT_STATUS) {
    const DWORD want = (p.failures & KV_USBSIM_SHORT_STATUS) ? 1 : 2;
    if (out == nullptr || out_size < want) return ERROR_INSUFFICIENT_BUFFER;
    BYTE answer[2] = {static_cast<BYTE>(p.status & 0xFF), static_cast<BYTE>(p.status >> 8)};
    std::memcpy(out, answer, want);
    *bytes = want;
    return 0;
  }
  return ERROR_NOT_SUPPORTED;
}

class SimUsbPrinterFile : public kv::KObject {
 public:
  explicit SimUsbPrinterFile(std::shared_ptr<SimPrinter> printer) : printer_(std::move(printer)) {}
  ~SimUsbPrinterFile() override {
    SimBus& bus = Bus();
    std::lock_guard<std::mutex> guard(bus.lock);
    --printer_->handles;
    // Operations still pending end with the object.
    std::erase_if(printer_->pending, [this](const PendingIo& io) { return io.owner == this; });
  }
  kv::KObjectKind Kind() const override { return kv::KObjectKind::kDevice; }

  BOOL IoControl(DWORD code, void*, DWORD, void* out, DWORD out_size, DWORD* returned,
                 OVERLAPPED* overlapped) override {
    SimBus& bus = Bus();
    std::unique_lock<std::mutex> guard(bus.lock);
    SimPrinter& p = *printer_;
    if (!p.attached) {
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return FALSE;
    }
    if ((p.failures & KV_USBSIM_IOCTL_PENDS) && overlapped != nullptr) {
      kv::OverlappedBegin(overlapped);
      p.pending.push_back({overlapped, code, out, out_size, this});
      SetLastError(ERROR_IO_PENDING);
      return FALSE;
    }
    DWORD bytes = 0;
    const DWORD error = AnswerIoControl(p, code, out, out_size, &bytes);
    guard.unlock();
    if (returned) *returned = bytes;
    if (overlapped) kv::OverlappedComplete(overlapped, error, bytes);
    if (error != 0) {
      SetLastError(error);
      return FALSE;
    }
    return TRUE;
  }

  BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override {
    // The simulated printers have no back channel data.
    if (done) *done = 0;
    if (overlapped != nullptr) {
      SimBus& bus = Bus();
      std::unique_lock<std::mutex> guard(bus.lock);
      if (printer_->failures & KV_USBSIM_READ_PENDS) {
        kv::OverlappedBegin(overlapped);
        printer_->pending.push_back({overlapped, kPendingRead, buffer, size, this});
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
      }
      guard.unlock();
      kv::OverlappedComplete(overlapped, 0, 0);
    }
    return TRUE;
  }

  BOOL Write(const void*, DWORD size, DWORD* done, OVERLAPPED* overlapped) override {
    if (done) *done = size;
    if (overlapped) kv::OverlappedComplete(overlapped, 0, size);
    return TRUE;
  }

  BOOL Cancel() override {
    std::vector<OVERLAPPED*> aborted;
    {
      SimBus& bus = Bus();
      std::lock_guard<std::mutex> guard(bus.lock);
      {
        SimPrinter& p = *printer_;
        for (auto it = p.pending.begin(); it != p.pending.end();) {
          if (it->owner == this) {
            aborted.push_back(it->overlapped);
            it = p.pending.erase(it);
          } else {
            ++it;
          }
        }
        if (!aborted.empty()) ++p.cancels;
      }
    }
    for (OVERLAPPED* ov : aborted) kv::OverlappedComplete(ov, ERROR_OPERATION_ABORTED, 0);
    return TRUE;
  }

 private:
  std::shared_ptr<SimPrinter> printer_;
};

// ---------------------------------------------------------------------------
// Real printers: /dev/usb/lpN of the kernel's printer-class driver.

bool ReadHexFile(const std::string& path, WORD* value) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return false;
  unsigned v = 0;
  const bool ok = std::fscanf(f, "%4x", &v) == 1;
  std::fclose(f);
  if (ok) *value = static_cast<WORD>(v);
  return ok;
}

void RealVendorProduct(int n, WORD* vid, WORD* pid) {
  *vid = *pid = 0;
  // sysfs: the class device's parent interface sits below the USB device.
  const std::string base = "/sys/class/usbmisc/lp" + std::to_string(n) + "/device/../";
  if (ReadHexFile(base + "idVendor", vid) && ReadHexFile(base + "idProduct", pid)) return;
  const std::string dev = "/dev/usb/lp" + std::to_string(n);
  const int fd = ::open(dev.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  int pair[2] = {0, 0};
  if (::ioctl(fd, LpIocGetVidPid(), pair) == 0) {
    *vid = static_cast<WORD>(pair[0]);
    *pid = static_cast<WORD>(pair[1]);
  }
  ::close(fd);
}

std::vector<std::string> RealInterfaces() {
  std::vector<int> numbers;
  if (DIR* dir = ::opendir("/dev/usb")) {
    while (dirent* e = ::readdir(dir)) {
      int n = -1;
      char tail = 0;
      if (std::sscanf(e->d_name, "lp%d%c", &n, &tail) == 1 && n >= 0) numbers.push_back(n);
    }
    ::closedir(dir);
  }
  std::sort(numbers.begin(), numbers.end());
  std::vector<std::string> paths;
  for (int n : numbers) {
    WORD vid = 0, pid = 0;
    RealVendorProduct(n, &vid, &pid);
    paths.push_back(InterfacePath(vid, pid, "lp" + std::to_string(n)));
  }
  return paths;
}

class RealUsbPrinterFile : public kv::KObject {
 public:
  explicit RealUsbPrinterFile(int fd) : fd_(fd) {}
  ~RealUsbPrinterFile() override { ::close(fd_); }
  kv::KObjectKind Kind() const override { return kv::KObjectKind::kDevice; }

  BOOL IoControl(DWORD code, void*, DWORD, void* out, DWORD out_size, DWORD* returned,
                 OVERLAPPED* overlapped) override {
    DWORD bytes = 0;
    DWORD error = 0;
    if (code == IOCTL_USBPRINT_GET_1284_ID) {
      // The driver answers with the ID's 2-byte big-endian length, then the text.
      std::vector<unsigned char> id(1024, 0);
      if (::ioctl(fd_, LpIocGetDeviceId(static_cast<unsigned>(id.size())), id.data()) < 0) {
        error = KvErrnoToError(errno);
      } else {
        const size_t declared = (static_cast<size_t>(id[0]) << 8) | id[1];
        const size_t have = std::clamp<size_t>(declared, 2, id.size());
        bytes = static_cast<DWORD>(std::min<size_t>(have, out_size));
        if (bytes > 0 && out == nullptr) {
          error = ERROR_INVALID_PARAMETER;
          bytes = 0;
        } else if (bytes > 0) {
          std::memcpy(out, id.data(), bytes);
        }
      }
    } else if (code == IOCTL_USBPRINT_GET_LPT_STATUS) {
      int status = 0;
      if (out == nullptr || out_size < 2) {
        error = ERROR_INSUFFICIENT_BUFFER;
      } else if (::ioctl(fd_, LPGETSTATUS, &status) < 0) {
        error = KvErrnoToError(errno);
      } else {
        const BYTE answer[2] = {static_cast<BYTE>(status & 0xFF), 0};
        std::memcpy(out, answer, 2);
        bytes = 2;
      }
    } else {
      error = ERROR_NOT_SUPPORTED;
    }
    return Finish(error, bytes, returned, overlapped);
  }

  BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override {
    // Only what the printer has already sent: a printer that says nothing never blocks.
    DWORD bytes = 0;
    DWORD error = 0;
    pollfd p{fd_, POLLIN, 0};
    if (size > 0 && ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n < 0 && errno != EAGAIN) error = KvErrnoToError(errno);
      if (n > 0) bytes = static_cast<DWORD>(n);
    }
    return Finish(error, bytes, done, overlapped);
  }

  BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override {
    DWORD written = 0;
    DWORD error = 0;
    while (written < size) {
      const ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + written, size - written);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = KvErrnoToError(errno);
        break;
      }
      written += static_cast<DWORD>(n);
    }
    return Finish(error, written, done, overlapped);
  }

 private:
  static BOOL Finish(DWORD error, DWORD bytes, DWORD* count, OVERLAPPED* overlapped) {
    if (count) *count = bytes;
    if (overlapped) kv::OverlappedComplete(overlapped, error, bytes);
    if (error != 0) {
      SetLastError(error);
      return FALSE;
    }
    return TRUE;
  }
  int fd_;
};

kv::KObject* OpenUsbPrinter(const char* name, DWORD, DWORD, DWORD) {
  const std::string instance = InstanceOfPath(name);
  if (instance.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  SimBus& bus = Bus();
  std::unique_lock<std::mutex> guard(bus.lock);
  if (bus.enabled) {
    size_t index = 0;
    char tail = 0;
    if (std::sscanf(instance.c_str(), "sim%zu%c", &index, &tail) != 1 || index >= bus.printers.size()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    const std::shared_ptr<SimPrinter>& p = bus.printers[index];
    if (p->failures & KV_USBSIM_OPEN_FAILS) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    ++p->opens;
    ++p->handles;
    return new SimUsbPrinterFile(p);
  }
  guard.unlock();
  int n = -1;
  char tail = 0;
  if (std::sscanf(instance.c_str(), "lp%d%c", &n, &tail) != 1 || n < 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const std::string dev = "/dev/usb/lp" + std::to_string(n);
  const int fd = ::open(dev.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : KvErrnoToError(errno));
    return nullptr;
  }
  return new RealUsbPrinterFile(fd);
}

[[maybe_unused]] const bool kRegistered = [] {
  KvRegisterDeviceOpener(&OpenUsbPrinter);
  return true;
}();

// ---------------------------------------------------------------------------
// Device information sets.

struct DeviceInfoSet {
  std::vector<std::u16string> paths;
};

std::mutex& SetsLock() {
  static std::mutex lock;
  return lock;
}
std::set<DeviceInfoSet*>& LiveSets() {
  static std::set<DeviceInfoSet*> sets;
  return sets;
}

DeviceInfoSet* FindSet(HDEVINFO handle) {
  std::lock_guard<std::mutex> guard(SetsLock());
  auto* set = static_cast<DeviceInfoSet*>(handle);
  return LiveSets().count(set) ? set : nullptr;
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

template <class F, class R>
R WithPrinter(int index, F f, R otherwise) {
  SimBus& bus = Bus();
  std::lock_guard<std::mutex> guard(bus.lock);
  if (index < 0 || static_cast<size_t>(index) >= bus.printers.size()) return otherwise;
  return f(*bus.printers[index]);
}

}  // namespace
}  // namespace kvdev

using namespace kvdev;

extern "C" {

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, LPCWSTR, HWND, DWORD flags) {
  if (class_guid == nullptr && !(flags & DIGCF_ALLCLASSES)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto set = std::make_unique<DeviceInfoSet>();
  const bool printers =
      (flags & DIGCF_DEVICEINTERFACE) && (class_guid == nullptr || SameGuid(*class_guid, GUID_DEVINTERFACE_USBPRINT));
  if (printers) {
    std::vector<std::string> paths;
    {
      SimBus& bus = Bus();
      std::lock_guard<std::mutex> guard(bus.lock);
      if (bus.enabled) {
        if (bus.enumeration_fails) {
          SetLastError(ERROR_GEN_FAILURE);
          return INVALID_HANDLE_VALUE;
        }
        for (size_t i = 0; i < bus.printers.size(); ++i) {
          const SimPrinter& p = *bus.printers[i];
          paths.push_back(InterfacePath(p.vid, p.pid, "sim" + std::to_string(i)));
        }
      }
    }
    if (!Bus().enabled) paths = RealInterfaces();
    for (const std::string& p : paths) set->paths.emplace_back(p.begin(), p.end());
  }
  std::lock_guard<std::mutex> guard(SetsLock());
  DeviceInfoSet* raw = set.release();
  LiveSets().insert(raw);
  SetLastError(ERROR_SUCCESS);
  return raw;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA, const GUID* guid, DWORD index,
                                 PSP_DEVICE_INTERFACE_DATA data) {
  DeviceInfoSet* set = FindSet(handle);
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (guid == nullptr || data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (!SameGuid(*guid, GUID_DEVINTERFACE_USBPRINT) || index >= set->paths.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->InterfaceClassGuid = GUID_DEVINTERFACE_USBPRINT;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = index;
  return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detail_size,
                                      DWORD* required_size, PSP_DEVINFO_DATA) {
  DeviceInfoSet* set = FindSet(handle);
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (data == nullptr || data->Reserved >= set->paths.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string& path = set->paths[data->Reserved];
  const DWORD need =
      static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR));
  if (required_size) *required_size = need;
  if (detail == nullptr) {
    if (detail_size != 0) {
      SetLastError(ERROR_INVALID_USER_BUFFER);
      return FALSE;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (detail_size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
  std::lock_guard<std::mutex> guard(SetsLock());
  auto* set = static_cast<DeviceInfoSet*>(handle);
  if (LiveSets().erase(set) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete set;
  return TRUE;
}

void KvUsbSimEnable(BOOL on) {
  SimBus& bus = Bus();
  std::lock_guard<std::mutex> guard(bus.lock);
  bus.enabled = on != FALSE;
}

void KvUsbSimClear(void) {
  SimBus& bus = Bus();
  std::vector<OVERLAPPED*> aborted;
  {
    std::lock_guard<std::mutex> guard(bus.lock);
    for (auto& p : bus.printers) {
      for (const PendingIo& io : p->pending) aborted.push_back(io.overlapped);
      p->pending.clear();
      p->attached = false;  // handles still open now answer "not connected"
    }
    bus.printers.clear();
    bus.enumeration_fails = false;
  }
  for (OVERLAPPED* ov : aborted) kv::OverlappedComplete(ov, ERROR_DEVICE_NOT_CONNECTED, 0);
}

int KvUsbSimAddPrinter(WORD vendor_id, WORD product_id, const BYTE* device_id, DWORD device_id_size) {
  SimBus& bus = Bus();
  std::lock_guard<std::mutex> guard(bus.lock);
  auto p = std::make_shared<SimPrinter>();
  p->vid = vendor_id;
  p->pid = product_id;
  if (device_id != nullptr) p->device_id.assign(device_id, device_id + device_id_size);
  bus.printers.push_back(std::move(p));
  return static_cast<int>(bus.printers.size() - 1);
}

void KvUsbSimSetFailures(int index, DWORD failures) {
  WithPrinter(
      index,
      [&](SimPrinter& p) {
        p.failures = failures;
        return 0;
      },
      0);
}

void KvUsbSimSetStatus(int index, WORD status) {
  WithPrinter(
      index,
      [&](SimPrinter& p) {
        p.status = status;
        return 0;
      },
      0);
}

void KvUsbSimSetEnumerationFails(BOOL fails) {
  SimBus& bus = Bus();
  std::lock_guard<std::mutex> guard(bus.lock);
  bus.enumeration_fails = fails != FALSE;
}

DWORD KvUsbSimOpenCount(int index) {
  return WithPrinter(
      index, [](SimPrinter& p) { return p.opens; }, DWORD{0});
}

DWORD KvUsbSimOpenHandles(int index) {
  return WithPrinter(
      index, [](SimPrinter& p) { return p.handles; }, DWORD{0});
}

DWORD KvUsbSimCancelCount(int index) {
  return WithPrinter(
      index, [](SimPrinter& p) { return p.cancels; }, DWORD{0});
}

BOOL KvUsbSimCompletePending(int index) {
  OVERLAPPED* ov = nullptr;
  DWORD error = 0, bytes = 0;
  {
    SimBus& bus = Bus();
    std::lock_guard<std::mutex> guard(bus.lock);
    if (index < 0 || static_cast<size_t>(index) >= bus.printers.size()) return FALSE;
    SimPrinter& p = *bus.printers[index];
    if (p.pending.empty()) return FALSE;
    const PendingIo io = p.pending.front();
    p.pending.pop_front();
    if (io.code != kPendingRead) error = AnswerIoControl(p, io.code, io.out, io.out_size, &bytes);
    ov = io.overlapped;
  }
  kv::OverlappedComplete(ov, error, bytes);
  return TRUE;
}

}  // extern "C"
