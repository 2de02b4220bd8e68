// WinIo.dll: the port-I/O library that the parallel-port engine loads by path.
//
// InitializeWinIo needs its driver file "WinIo.sys" next to the executable (it is
// read once, at initialisation, and may be removed afterwards); the register access
// itself is libplatform's (portio.h), which runs either ppdev or the simulated
// peripheral.
#include <cstring>
#include <string>

#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/sync.h"
#include "platform/base/system.h"
#include "platform/devices/portio.h"
#include "platform/devices/winio_driver.h"

#define WINIO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool DriverFilePresent() {
  const std::string path = std::string(KvProgramDirectory()) + "WinIo.sys";
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char head[kvdev::kWinIoDriverMagicSize] = {};
  DWORD got = 0;
  const BOOL ok = ReadFile(file, head, sizeof head, &got, nullptr);
  CloseHandle(file);
  if (!ok || got != sizeof head || std::memcmp(head, kvdev::kWinIoDriverImage, sizeof head) != 0) {
    SetLastError(ERROR_BAD_FORMAT);
    return false;
  }
  return true;
}

}  // namespace

WINIO_EXPORT BOOL InitializeWinIo() {
  if (!DriverFilePresent()) return FALSE;
  return KvPortIoInitialize();
}

WINIO_EXPORT void ShutdownWinIo() { KvPortIoShutdown(); }

WINIO_EXPORT BOOL GetPortVal(WORD port, DWORD* value, BYTE size) { return KvPortIoRead(port, value, size); }

WINIO_EXPORT BOOL SetPortVal(WORD port, DWORD value, BYTE size) { return KvPortIoWrite(port, value, size); }
