// Serial ports over termios (termios2, so that any rate can be set through BOTHER).
// This file must not include <termios.h>: its definitions clash with the kernel's.
#include "platform/devices/serial.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "platform/base/error.h"
#include "platform/base/kobject.h"
#include "platform/devices/device_names.h"

namespace kvdev {
namespace {

struct RateCode {
  DWORD rate;
  unsigned code;
};
constexpr RateCode kRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::mutex& MapLock() {
  static std::mutex lock;
  return lock;
}
std::map<int, std::string>& PortMap() {
  static std::map<int, std::string> map;
  return map;
}

std::string DevicePathOf(int port) {
  std::lock_guard<std::mutex> guard(MapLock());
  auto it = PortMap().find(port);
  if (it != PortMap().end()) return it->second;
  return "/dev/ttyS" + std::to_string(port - 1);
}

DWORD ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

class SerialPort : public kv::KObject {
 public:
  explicit SerialPort(int fd) : fd_(fd) {}
  ~SerialPort() override {
    if (fd_ != -1) ::close(fd_);
  }
  kv::KObjectKind Kind() const override { return kv::KObjectKind::kDevice; }

  BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override {
    COMMTIMEOUTS t = Timeouts();
    DWORD got = 0;
    DWORD error = 0;
    const bool immediate =
        t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const bool total_limit = t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
    const DWORD total = t.ReadTotalTimeoutMultiplier * size + t.ReadTotalTimeoutConstant;
    const auto start = std::chrono::steady_clock::now();
    auto last = start;
    while (got < size) {
      int wait = -1;
      if (immediate) {
        wait = 0;
      } else {
        if (total_limit) {
          const DWORD spent = ElapsedMs(start);
          if (spent >= total) break;
          wait = static_cast<int>(total - spent);
        }
        if (got > 0 && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD) {
          const DWORD gap = ElapsedMs(last);
          if (gap >= t.ReadIntervalTimeout) break;
          const int left = static_cast<int>(t.ReadIntervalTimeout - gap);
          wait = wait < 0 ? left : std::min(wait, left);
        }
      }
      pollfd p{fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, wait);
      if (r < 0) {
        if (errno == EINTR) continue;
        error = KvErrnoToError(errno);
        break;
      }
      if (r == 0) break;
      const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + got, size - got);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        error = KvErrnoToError(errno);
        break;
      }
      if (n == 0) break;
      got += static_cast<DWORD>(n);
      last = std::chrono::steady_clock::now();
      if (immediate) break;
    }
    return Finish(error, got, done, overlapped);
  }

  BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) override {
    COMMTIMEOUTS t = Timeouts();
    const bool limited = t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0;
    const DWORD total = t.WriteTotalTimeoutMultiplier * size + t.WriteTotalTimeoutConstant;
    const auto start = std::chrono::steady_clock::now();
    DWORD written = 0;
    DWORD error = 0;
    while (written < size) {
      int wait = -1;
      if (limited) {
        const DWORD spent = ElapsedMs(start);
        if (spent >= total) break;
        wait = static_cast<int>(total - spent);
      }
      pollfd p{fd_, POLLOUT, 0};
      const int r = ::poll(&p, 1, wait);
      if (r < 0) {
        if (errno == EINTR) continue;
        error = KvErrnoToError(errno);
        break;
      }
      if (r == 0) break;
      const ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + written, size - written);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        error = KvErrnoToError(errno);
        break;
      }
      written += static_cast<DWORD>(n);
    }
    return Finish(error, written, done, overlapped);
  }

  BOOL Flush() override { return ::ioctl(fd_, TCSBRK, 1) == 0 ? TRUE : Fail(); }

  BOOL GetState(DCB* dcb) {
    termios2 tio{};
    if (::ioctl(fd_, TCGETS2, &tio) != 0) return Fail();
    const DWORD length = dcb->DCBlength;
    *dcb = DCB{};
    dcb->DCBlength = length;
    dcb->fBinary = 1;
    const unsigned code = tio.c_cflag & CBAUD;
    dcb->BaudRate = code == BOTHER ? tio.c_ospeed : 0;
    for (const RateCode& r : kRates) {
      if (r.code == code) dcb->BaudRate = r.rate;
    }
    switch (tio.c_cflag & CSIZE) {
      case CS5: dcb->ByteSize = 5; break;
      case CS6: dcb->ByteSize = 6; break;
      case CS7: dcb->ByteSize = 7; break;
      default: dcb->ByteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB)) {
      dcb->Parity = NOPARITY;
    } else if (tio.c_cflag & CMSPAR) {
      dcb->Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    } else {
      dcb->Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    }
    dcb->fParity = dcb->Parity != NOPARITY;
    dcb->StopBits = (tio.c_cflag & CSTOPB) ? (dcb->ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS) : ONESTOPBIT;
    const bool rtscts = (tio.c_cflag & CRTSCTS) != 0;
    dcb->fRtsControl = rtscts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb->fOutxCtsFlow = rtscts;
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->fOutX = (tio.c_iflag & IXON) != 0;
    dcb->fInX = (tio.c_iflag & IXOFF) != 0;
    dcb->XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb->XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return TRUE;
  }

  BOOL SetState(const DCB* dcb) {
    if (dcb->BaudRate == 0 || dcb->ByteSize < 5 || dcb->ByteSize > 8 || dcb->Parity > SPACEPARITY ||
        dcb->StopBits > TWOSTOPBITS) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    termios2 tio{};
    if (::ioctl(fd_, TCGETS2, &tio) != 0) return Fail();
    // Raw line: no echo, no line editing, no translation.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CREAD | CLOCAL;
    unsigned code = BOTHER;
    for (const RateCode& r : kRates) {
      if (r.rate == dcb->BaudRate) code = r.code;
    }
    tio.c_cflag |= code;
    tio.c_ispeed = tio.c_ospeed = dcb->BaudRate;
    static constexpr unsigned kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dcb->ByteSize - 5];
    switch (dcb->Parity) {
      case ODDPARITY: tio.c_cflag |= PARENB | PARODD; break;
      case EVENPARITY: tio.c_cflag |= PARENB; break;
      case MARKPARITY: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
      case SPACEPARITY: tio.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
    if (dcb->StopBits != ONESTOPBIT) tio.c_cflag |= CSTOPB;
    if (dcb->fRtsControl == RTS_CONTROL_HANDSHAKE || dcb->fOutxCtsFlow) tio.c_cflag |= CRTSCTS;
    if (dcb->fOutX) tio.c_iflag |= IXON;
    if (dcb->fInX) tio.c_iflag |= IXOFF;
    if (dcb->fOutX || dcb->fInX) {
      tio.c_cc[VSTART] = static_cast<unsigned char>(dcb->XonChar);
      tio.c_cc[VSTOP] = static_cast<unsigned char>(dcb->XoffChar);
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::ioctl(fd_, TCSETS2, &tio) != 0) return Fail();
    return TRUE;
  }

  BOOL Purge(DWORD flags) {
    if ((flags & (PURGE_RXABORT | PURGE_RXCLEAR)) && ::ioctl(fd_, TCFLSH, TCIFLUSH) != 0) return Fail();
    if ((flags & (PURGE_TXABORT | PURGE_TXCLEAR)) && ::ioctl(fd_, TCFLSH, TCOFLUSH) != 0) return Fail();
    return TRUE;
  }

  BOOL Queues(COMSTAT* stat) {
    int in = 0, out = 0;
    if (::ioctl(fd_, FIONREAD, &in) != 0) return Fail();
    if (::ioctl(fd_, TIOCOUTQ, &out) != 0) out = 0;
    if (stat) {
      *stat = COMSTAT{};
      stat->cbInQue = static_cast<DWORD>(in);
      stat->cbOutQue = static_cast<DWORD>(out);
    }
    return TRUE;
  }

  COMMTIMEOUTS Timeouts() {
    std::lock_guard<std::mutex> guard(lock_);
    return timeouts_;
  }
  void SetTimeouts(const COMMTIMEOUTS& t) {
    std::lock_guard<std::mutex> guard(lock_);
    timeouts_ = t;
  }
  DWORD mask() {
    std::lock_guard<std::mutex> guard(lock_);
    return mask_;
  }
  void set_mask(DWORD m) {
    std::lock_guard<std::mutex> guard(lock_);
    mask_ = m;
  }

 private:
  static BOOL Fail() {
    SetLastError(KvErrnoToError(errno));
    return FALSE;
  }
  static BOOL Finish(DWORD error, DWORD bytes, DWORD* count, OVERLAPPED* overlapped) {
    if (count) *count = bytes;
    if (overlapped) kv::OverlappedComplete(overlapped, error, bytes);
    if (error != 0) {
      SetLastError(error);
      return FALSE;
    }
    return TRUE;
  }

  int fd_ = -1;
  std::mutex lock_;
  COMMTIMEOUTS timeouts_{};
  DWORD mask_ = 0;
};

kv::KObject* OpenSerialPort(const char* name, DWORD, DWORD share_mode, DWORD) {
  const int port = NumberedDevice(name, "COM");
  if (port == 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const std::string path = DevicePathOf(port);
  // Non-blocking while opening, so that a line without carrier does not hold the open.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd == -1) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : KvErrnoToError(errno));
    return nullptr;
  }
  termios2 tio{};
  if (::ioctl(fd, TCGETS2, &tio) != 0) {  // not a terminal
    ::close(fd);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (share_mode == 0 && ::ioctl(fd, TIOCEXCL) != 0) {
    ::close(fd);
    SetLastError(KvErrnoToError(errno));
    return nullptr;
  }
  return new SerialPort(fd);
}

[[maybe_unused]] const bool kRegistered = [] {
  KvRegisterDeviceOpener(&OpenSerialPort);
  return true;
}();

// The serial port object of a handle, with a reference held.
class PortRef {
 public:
  explicit PortRef(HANDLE h) {
    kv::KObject* o = KvHandleGetKind(h, kv::KObjectKind::kDevice);
    port_ = dynamic_cast<SerialPort*>(o);
    if (o != nullptr && port_ == nullptr) {
      o->Release();
      SetLastError(ERROR_INVALID_HANDLE);
    }
  }
  ~PortRef() {
    if (port_) port_->Release();
  }
  PortRef(const PortRef&) = delete;
  PortRef& operator=(const PortRef&) = delete;
  SerialPort* operator->() const { return port_; }
  explicit operator bool() const { return port_ != nullptr; }

 private:
  SerialPort* port_ = nullptr;
};

}  // namespace
}  // namespace kvdev

using kvdev::PortRef;

extern "C" {

BOOL GetCommState(HANDLE file, LPDCB dcb) {
  PortRef port(file);
  if (!port) return FALSE;
  if (dcb == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return port->GetState(dcb);
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
  PortRef port(file);
  if (!port) return FALSE;
  if (dcb == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return port->SetState(dcb);
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  PortRef port(file);
  if (!port) return FALSE;
  if (timeouts == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *timeouts = port->Timeouts();
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  PortRef port(file);
  if (!port) return FALSE;
  if (timeouts == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  port->SetTimeouts(*timeouts);
  return TRUE;
}

BOOL GetCommMask(HANDLE file, LPDWORD mask) {
  PortRef port(file);
  if (!port) return FALSE;
  if (mask == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *mask = port->mask();
  return TRUE;
}

BOOL SetCommMask(HANDLE file, DWORD mask) {
  PortRef port(file);
  if (!port) return FALSE;
  port->set_mask(mask);
  return TRUE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  PortRef port(file);
  if (!port) return FALSE;
  return port->Purge(flags);
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat) {
  PortRef port(file);
  if (!port) return FALSE;
  if (errors) *errors = 0;
  return port->Queues(stat);
}

void KvSerialMapPort(int port_number, const char* posix_path) {
  std::lock_guard<std::mutex> guard(kvdev::MapLock());
  if (posix_path == nullptr || *posix_path == '\0') {
    kvdev::PortMap().erase(port_number);
  } else {
    kvdev::PortMap()[port_number] = posix_path;
  }
}

}  // extern "C"
