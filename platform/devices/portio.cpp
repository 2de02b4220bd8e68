// Parallel-port register access: the simulated peripheral or ppdev, and the "LPTn"
// device files.
#include "platform/devices/portio.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/base/error.h"
#include "platform/base/kobject.h"
#include "platform/devices/device_names.h"
#include "platform/devices/ieee1284_peripheral.h"

namespace kvdev {
namespace {

constexpr WORD kPortBases[3] = {0x378, 0x278, 0x3BC};

// Port number (1..3) and register offset of an I/O address; false outside the blocks.
bool DecodeAddress(WORD address, int* port, unsigned* offset) {
  for (int i = 0; i < 3; ++i) {
    if (address >= kPortBases[i] && address <= kPortBases[i] + 2) {
      *port = i + 1;
      *offset = address - kPortBases[i];
      return true;
    }
  }
  return false;
}

// A claimed ppdev port.
struct RealPort {
  int fd = -1;
  bool reverse = false;
  uint8_t control = 0x0C;
};

struct PortIoState {
  std::mutex lock;
  bool simulated = false;
  bool initialised = false;
  int sim_port = 1;
  Ieee1284Peripheral peripheral;
  bool sim_initialised = false;
  RealPort real[3];
};

PortIoState& State() {
  static PortIoState state;
  return state;
}

// Runs f on the port state under its lock.
template <class F>
auto Locked(F f) {
  auto& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return f(s);
}

std::string ParportPath(int port) { return "/dev/parport" + std::to_string(port - 1); }

// Opens and claims a real port on first use.
bool ClaimReal(RealPort& p, int port) {
  if (p.fd >= 0) return true;
  const int fd = ::open(ParportPath(port).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(KvErrnoToError(errno));
    return false;
  }
  if (::ioctl(fd, PPCLAIM) != 0) {
    SetLastError(KvErrnoToError(errno));
    ::close(fd);
    return false;
  }
  p.fd = fd;
  p.reverse = false;
  return true;
}

void ReleaseReal(RealPort& p) {
  if (p.fd < 0) return;
  ::ioctl(p.fd, PPRELEASE);
  ::close(p.fd);
  p.fd = -1;
}

bool RealRead(RealPort& p, int port, unsigned offset, uint8_t* value) {
  if (!ClaimReal(p, port)) return false;
  unsigned char v = 0;
  int rc = 0;
  switch (offset) {
    case 0: rc = ::ioctl(p.fd, PPRDATA, &v); break;
    case 1: rc = ::ioctl(p.fd, PPRSTATUS, &v); break;
    default:
      v = p.control;  // the last value written, direction bit included
      break;
  }
  if (rc != 0) {
    SetLastError(KvErrnoToError(errno));
    return false;
  }
  *value = v;
  return true;
}

bool RealWrite(RealPort& p, int port, unsigned offset, uint8_t value) {
  if (!ClaimReal(p, port)) return false;
  int rc = 0;
  if (offset == 0) {
    unsigned char v = value;
    rc = ::ioctl(p.fd, PPWDATA, &v);
  } else if (offset == 2) {
    // The direction bit is not part of the control lines ppdev writes.
    const bool reverse = (value & 0x20) != 0;
    if (reverse != p.reverse) {
      int dir = reverse ? 1 : 0;
      rc = ::ioctl(p.fd, PPDATADIR, &dir);
      if (rc == 0) p.reverse = reverse;
    }
    if (rc == 0) {
      unsigned char v = value & 0x0F;
      rc = ::ioctl(p.fd, PPWCONTROL, &v);
    }
    if (rc == 0) p.control = value;
  } else {
    SetLastError(ERROR_ACCESS_DENIED);  // the status register is read-only
    return false;
  }
  if (rc != 0) {
    SetLastError(KvErrnoToError(errno));
    return false;
  }
  return true;
}

bool ReadByteLocked(PortIoState& s, WORD address, uint8_t* value) {
  int port = 0;
  unsigned offset = 0;
  if (!DecodeAddress(address, &port, &offset)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (s.simulated) {
    *value = port == s.sim_port ? s.peripheral.ReadRegister(offset) : 0xFF;
    return true;
  }
  return RealRead(s.real[port - 1], port, offset, value);
}

bool WriteByteLocked(PortIoState& s, WORD address, uint8_t value) {
  int port = 0;
  unsigned offset = 0;
  if (!DecodeAddress(address, &port, &offset)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (s.simulated) {
    if (port == s.sim_port) s.peripheral.WriteRegister(offset, value);
    return true;
  }
  return RealWrite(s.real[port - 1], port, offset, value);
}

// "LPTn" opened as a file: it stands for the port being there. Data goes through the
// registers, so reading and writing the file is not supported.
class ParallelPortFile : public kv::KObject {
 public:
  explicit ParallelPortFile(int fd) : fd_(fd) {}
  ~ParallelPortFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  kv::KObjectKind Kind() const override { return kv::KObjectKind::kDevice; }
  BOOL Read(void*, DWORD, DWORD* done, OVERLAPPED*) override { return Unsupported(done); }
  BOOL Write(const void*, DWORD, DWORD* done, OVERLAPPED*) override { return Unsupported(done); }

 private:
  static BOOL Unsupported(DWORD* done) {
    if (done) *done = 0;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  int fd_;
};

kv::KObject* OpenParallelPort(const char* name, DWORD, DWORD, DWORD) {
  const int port = NumberedDevice(name, "LPT");
  if (port == 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  PortIoState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.simulated) {
    if (port != s.sim_port) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    return new ParallelPortFile(-1);
  }
  if (port > 3) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const int fd = ::open(ParportPath(port).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : KvErrnoToError(errno));
    return nullptr;
  }
  return new ParallelPortFile(fd);
}

[[maybe_unused]] const bool kRegistered = [] {
  KvRegisterDeviceOpener(&OpenParallelPort);
  return true;
}();

}  // namespace
}  // namespace kvdev

using kvdev::Locked;
using kvdev::PortIoState;

extern "C" {

BOOL KvPortIoInitialize(void) {
  return Locked([&](PortIoState& s) {
    if (s.simulated) {
      s.initialised = true;
      s.sim_initialised = true;
      return TRUE;
    }
    // Real side: at least one port must be there; each is claimed on its first use.
    bool any = false;
    for (int i = 0; i < 3 && !any; ++i) {
      const int fd = ::open(kvdev::ParportPath(i + 1).c_str(), O_RDWR | O_CLOEXEC);
      if (fd >= 0) {
        any = true;
        ::close(fd);
      } else {
        SetLastError(KvErrnoToError(errno));
      }
    }
    if (!any) return FALSE;
    s.initialised = true;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

void KvPortIoShutdown(void) {
  Locked([&](PortIoState& s) {
    for (auto& p : s.real) kvdev::ReleaseReal(p);
    s.initialised = false;
    s.sim_initialised = false;
  });
}

BOOL KvPortIoRead(WORD port, DWORD* value, BYTE size) {
  return Locked([&](PortIoState& s) {
    if (value == nullptr || (size != 1 && size != 2 && size != 4)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!s.initialised) {
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    }
    DWORD v = 0;
    for (BYTE i = 0; i < size; ++i) {
      uint8_t b = 0;
      if (!kvdev::ReadByteLocked(s, static_cast<WORD>(port + i), &b)) return FALSE;
      v |= static_cast<DWORD>(b) << (8 * i);
    }
    *value = v;
    return TRUE;
  });
}

BOOL KvPortIoWrite(WORD port, DWORD value, BYTE size) {
  return Locked([&](PortIoState& s) {
    if (size != 1 && size != 2 && size != 4) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!s.initialised) {
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    }
    for (BYTE i = 0; i < size; ++i) {
      if (!kvdev::WriteByteLocked(s, static_cast<WORD>(port + i), static_cast<uint8_t>(value >> (8 * i)))) {
        return FALSE;
      }
    }
    return TRUE;
  });
}

void KvParportSimEnable(BOOL on) {
  Locked([&](PortIoState& s) { s.simulated = on != FALSE; });
}

void KvParportSimReset(void) {
  Locked([&](PortIoState& s) {
    s.peripheral = kvdev::Ieee1284Peripheral();
    s.peripheral.SetBehaviour(kvdev::PeripheralBehaviour::kNormal, 0);
    s.sim_port = 1;
    s.sim_initialised = false;
    if (s.simulated) s.initialised = false;
  });
}

void KvParportSimSetPort(int port_number) {
  Locked([&](PortIoState& s) { s.sim_port = port_number >= 1 && port_number <= 3 ? port_number : 0; });
}

void KvParportSimSetBehaviour(DWORD behaviour, DWORD argument) {
  using B = kvdev::PeripheralBehaviour;
  B b = B::kNormal;
  switch (behaviour) {
    case KV_PPSIM_REFUSE: b = B::kRefuse; break;
    case KV_PPSIM_SILENT: b = B::kSilent; break;
    case KV_PPSIM_DROP_OUT: b = B::kDropOut; break;
    case KV_PPSIM_NO_DATA: b = B::kNoData; break;
    case KV_PPSIM_IDLE_DATA: b = B::kIdleData; break;
    default: break;
  }
  Locked([&](PortIoState& s) { s.peripheral.SetBehaviour(b, argument); });
}

void KvParportSimSetDeviceId(const BYTE* bytes, DWORD size) {
  Locked([&](PortIoState& s) { s.peripheral.SetDeviceId(bytes, bytes ? size : 0); });
}

void KvParportSimSetReverseData(const BYTE* bytes, DWORD size) {
  Locked([&](PortIoState& s) { s.peripheral.SetReverseData(bytes, bytes ? size : 0); });
}

DWORD KvParportSimStatusReads(void) {
  return Locked([&](PortIoState& s) { return s.peripheral.status_reads(); });
}

DWORD KvParportSimAccessCount(void) {
  return Locked([&](PortIoState& s) { return s.peripheral.accesses(); });
}

DWORD KvParportSimNegotiations(void) {
  return Locked([&](PortIoState& s) { return s.peripheral.negotiations(); });
}

DWORD KvParportSimTerminations(void) {
  return Locked([&](PortIoState& s) { return s.peripheral.terminations(); });
}

int KvParportSimLastRequest(void) {
  return Locked([&](PortIoState& s) { return s.peripheral.last_request(); });
}

BYTE KvParportSimControlRegister(void) {
  return Locked([&](PortIoState& s) { return s.peripheral.control_register(); });
}

BOOL KvParportSimInitialized(void) {
  return Locked([&](PortIoState& s) { return s.sim_initialised ? TRUE : FALSE; });
}

DWORD KvParportSimReceived(BYTE* buffer, DWORD size) {
  return Locked([&](PortIoState& s) {
    const auto& r = s.peripheral.received();
    if (buffer != nullptr) std::copy_n(r.begin(), std::min<size_t>(size, r.size()), buffer);
    return static_cast<DWORD>(r.size());
  });
}

}  // extern "C"
