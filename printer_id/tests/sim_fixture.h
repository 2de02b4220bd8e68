// The simulated printer world of the identity tests: a private home and system
// folder, the simulated USB bus and parallel-port peripheral, and the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/time.h"
#include "platform/devices/default_printer.h"
#include "platform/devices/portio.h"
#include "platform/devices/usbprint.h"
#include "testsupport/temp_home.h"

namespace quenlow_test {

// A device ID as a port delivers it: 2-byte big-endian length (counting itself), text.
inline std::vector<BYTE> DeviceId(std::string_view text) {
  const size_t length = text.size() + 2;
  std::vector<BYTE> id{static_cast<BYTE>(length >> 8), static_cast<BYTE>(length & 0xFF)};
  id.insert(id.end(), text.begin(), text.end());
  return id;
}

class SimWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    KvClockSetVirtual(TRUE);
    KvUsbSimEnable(TRUE);
    KvUsbSimClear();
    KvParportSimEnable(TRUE);
    KvParportSimReset();
    KvDevicesSetDefaultPrinterUri(nullptr, nullptr);
  }
  void TearDown() override {
    KvUsbSimClear();
    KvParportSimReset();
    KvDevicesUseCups();
    KvClockSetVirtual(FALSE);
  }

  int AddUsbPrinter(WORD vid, WORD pid, std::string_view id_text) {
    const auto id = DeviceId(id_text);
    return KvUsbSimAddPrinter(vid, pid, id.data(), static_cast<DWORD>(id.size()));
  }
  void SetParallelDeviceId(std::string_view id_text) {
    const auto id = DeviceId(id_text);
    KvParportSimSetDeviceId(id.data(), static_cast<DWORD>(id.size()));
  }

  std::string WinIoDllPath() const { return home_.system_dir() + "/WinIo.dll"; }

  kvtest::TempHome home_;
};

}  // namespace quenlow_test
