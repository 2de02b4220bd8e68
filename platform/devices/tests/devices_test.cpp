#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/file.h"
#include "platform/base/module.h"
#include "platform/base/sync.h"
#include "platform/base/system.h"
#include "platform/devices/default_printer.h"
#include "platform/devices/portio.h"
#include "platform/devices/serial.h"
#include "platform/devices/setupapi.h"
#include "platform/devices/usbprint.h"
#include "platform/devices/winio_driver.h"

namespace {

// ---- Interface enumeration and the USB printer devices.

class UsbBus : public ::testing::Test {
 protected:
  void SetUp() override {
    KvUsbSimEnable(TRUE);
    KvUsbSimClear();
  }
  void TearDown() override { KvUsbSimClear(); }

  static std::u16string PathOf(HDEVINFO set, DWORD index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, index, &data)) return {};
    DWORD need = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &need, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<DWORD> storage(need / sizeof(DWORD) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, need - 1, nullptr, nullptr));
    EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, need, nullptr, nullptr));
    return detail->DevicePath;
  }
};

TEST_F(UsbBus, EnumerationListsTheBusInOrder) {
  const BYTE id[] = {0, 6, 'M', 'D', 'L', ':'};
  KvUsbSimAddPrinter(0x20D1, 0x2010, id, sizeof id);
  KvUsbSimAddPrinter(0x0ABC, 0x0001, id, sizeof id);
  HDEVINFO set =
      SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  EXPECT_EQ(PathOf(set, 0), u"\\\\?\\usb#vid_20d1&pid_2010#sim0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  EXPECT_EQ(PathOf(set, 1), u"\\\\?\\usb#vid_0abc&pid_0001#sim1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 2, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  data.cbSize = 3;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  // Another interface class has no members here.
  const GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  set = SetupDiGetClassDevsW(&other, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  data.cbSize = sizeof data;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &other, 0, &data));
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(UsbBus, PrinterThatLeavesTheBus) {
  const BYTE id[] = {0, 8, 'M', 'D', 'L', ':', 'A', ';'};
  KvUsbSimAddPrinter(0x20D1, 0x2010, id, sizeof id);
  const char16_t* path = u"\\\\?\\usb#vid_20d1&pid_2010#sim0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
  HANDLE h = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  BYTE out[16];
  DWORD got = 0;
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, out, sizeof out, &got, nullptr));
  EXPECT_EQ(got, sizeof id);
  EXPECT_FALSE(DeviceIoControl(h, 0x220038, nullptr, 0, out, sizeof out, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  KvUsbSimClear();
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, out, sizeof out, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  CloseHandle(h);
  EXPECT_EQ(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A late answer completes the pending control and signals its event.
TEST_F(UsbBus, PendingControlCompletesLate) {
  const BYTE id[] = {0, 4, 'A', ';'};
  const int i = KvUsbSimAddPrinter(0x20D1, 0x2010, id, sizeof id);
  KvUsbSimSetFailures(i, KV_USBSIM_IOCTL_PENDS);
  HANDLE h = CreateFileW(u"\\\\?\\usb#vid_20d1&pid_2010#sim0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
                         GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  BYTE out[8] = {};
  DWORD got = 0;
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, out, sizeof out, &got, &ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(KvUsbSimCompletePending(i));
  EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(GetOverlappedResult(h, &ov, &got, FALSE));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(0, std::memcmp(out, id, 4));
  CloseHandle(ov.hEvent);
  CloseHandle(h);
}

// ---- Register access and the simulated peripheral.

class PortIo : public ::testing::Test {
 protected:
  void SetUp() override {
    KvParportSimEnable(TRUE);
    KvParportSimReset();
  }
  void TearDown() override {
    KvPortIoShutdown();
    KvParportSimReset();
  }
  static BYTE Status() {
    DWORD v = 0;
    EXPECT_TRUE(KvPortIoRead(0x379, &v, 1));
    return static_cast<BYTE>(v);
  }
  static void Control(BYTE v) { EXPECT_TRUE(KvPortIoWrite(0x37A, v, 1)); }
};

TEST_F(PortIo, AccessRules) {
  DWORD v = 0;
  EXPECT_FALSE(KvPortIoRead(0x379, &v, 1));  // before initialisation
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  ASSERT_TRUE(KvPortIoInitialize());
  EXPECT_TRUE(KvParportSimInitialized());
  EXPECT_FALSE(KvPortIoRead(0x379, &v, 3));
  EXPECT_FALSE(KvPortIoRead(0x300, &v, 1));
  EXPECT_FALSE(KvPortIoRead(0x379, nullptr, 1));
  EXPECT_FALSE(KvPortIoWrite(0x37B, 0, 1));
  ASSERT_TRUE(KvPortIoWrite(0x378, 0xA5, 1));
  ASSERT_TRUE(KvPortIoRead(0x378, &v, 2));  // data and status together
  EXPECT_EQ(v & 0xFF, 0xA5u);
  EXPECT_EQ(v >> 8, 0xD8u);                 // compatibility idle: nAck, nFault, Select high, not busy
  ASSERT_TRUE(KvPortIoRead(0x279, &v, 1));  // nothing attached to port 2
  EXPECT_EQ(v, 0xFFu);
  KvPortIoShutdown();
  EXPECT_FALSE(KvParportSimInitialized());
  EXPECT_FALSE(KvPortIoRead(0x379, &v, 1));
}

// Event 2 answers the negotiation; after events 3 and 4 XFlag tells the requested mode
// apart: low accepts nibble mode, high accepts a device-ID request, low refuses the rest.
TEST_F(PortIo, NegotiationXFlagTable) {
  struct Case {
    BYTE request;
    bool select;
  } cases[] = {{0x00, false}, {0x04, true}, {0x01, false}, {0x10, false}};
  ASSERT_TRUE(KvPortIoInitialize());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    Control(0x0C);
    ASSERT_TRUE(KvPortIoWrite(0x378, c.request, 1));
    Control(0x06);                     // event 1: nSelectIn high, nAutoFd low (nStrobe, nInit high)
    EXPECT_EQ(Status() & 0x78, 0x38);  // nAck low; PError, Select, nFault high
    Control(0x07);                     // event 3: nStrobe low
    Control(0x04);                     // event 4: nStrobe and nAutoFd high
    const BYTE s = Status();
    EXPECT_EQ((s & 0x10) != 0, c.select);
    EXPECT_NE(s & 0x40, 0);  // event 6
    // Terminate: nSelectIn low, then host acknowledge.
    Control(0x0C);
    EXPECT_EQ(Status() & 0x40, 0);
    Control(0x0E);
    EXPECT_NE(Status() & 0x40, 0);
    Control(0x0C);
  }
  EXPECT_EQ(KvParportSimNegotiations(), 4u);
  EXPECT_EQ(KvParportSimTerminations(), 4u);
}

TEST_F(PortIo, ParallelPortDeviceFile) {
  HANDLE h = CreateFileW(u"LPT1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  BYTE b = 0;
  EXPECT_FALSE(WriteFile(h, &b, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  CloseHandle(h);
  EXPECT_EQ(CreateFileW(u"\\\\.\\LPT2", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  KvParportSimSetPort(0);
  EXPECT_EQ(CreateFileW(u"LPT1", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

// The real side on a machine without parallel ports or USB printers fails plainly.
TEST(RealDevices, AbsentHardwareFails) {
  namespace fs = std::filesystem;
  const bool parport = fs::exists("/dev/parport0") || fs::exists("/dev/parport1") || fs::exists("/dev/parport2");
  const bool usb_printer = fs::exists("/dev/usb/lp0");
  if (parport || usb_printer) GTEST_SKIP() << "this machine has the hardware";
  KvParportSimEnable(FALSE);
  KvUsbSimEnable(FALSE);
  EXPECT_FALSE(KvPortIoInitialize());
  DWORD v = 0;
  EXPECT_FALSE(KvPortIoRead(0x379, &v, 1));
  EXPECT_EQ(CreateFileW(u"LPT1", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  HDEVINFO set =
      SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &data));
  SetupDiDestroyDeviceInfoList(set);
  EXPECT_EQ(CreateFileW(u"\\\\?\\usb#vid_20d1&pid_2010#lp0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", GENERIC_READ, 0,
                        nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// ---- WinIo.dll and its driver file next to the executable.

class WinIoLibrary : public PortIo {
 protected:
  using InitFn = BOOL (*)();
  std::string DriverPath() const { return std::string(KvProgramDirectory()) + "WinIo.sys"; }
  void TearDown() override {
    std::filesystem::remove(DriverPath());
    PortIo::TearDown();
  }
  BOOL Initialise() {
    HMODULE m = LoadLibraryA(KV_TEST_WINIO_PATH);
    EXPECT_NE(m, nullptr);
    if (m == nullptr) return FALSE;
    auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(m, "InitializeWinIo")));
    auto shut = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(m, "ShutdownWinIo")));
    EXPECT_NE(init, nullptr);
    EXPECT_NE(shut, nullptr);
    EXPECT_NE(GetProcAddress(m, "GetPortVal"), nullptr);
    EXPECT_NE(GetProcAddress(m, "SetPortVal"), nullptr);
    const BOOL ok = init ? init() : FALSE;
    if (ok && shut) shut();
    FreeLibrary(m);
    return ok;
  }
};

TEST_F(WinIoLibrary, NeedsItsDriverFile) {
  ASSERT_FALSE(std::filesystem::exists(DriverPath()));
  EXPECT_FALSE(Initialise());
  {
    std::ofstream out(DriverPath(), std::ios::binary);
    out << "something else entirely";
  }
  EXPECT_FALSE(Initialise());
  {
    std::ofstream out(DriverPath(), std::ios::binary | std::ios::trunc);
    out.write(kvdev::kWinIoDriverImage, kvdev::kWinIoDriverImageSize);
  }
  EXPECT_TRUE(Initialise());
}

// ---- Serial ports.

class SerialLine : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    KvSerialMapPort(12, ptsname(master_));
  }
  void TearDown() override {
    KvSerialMapPort(12, nullptr);
    close(master_);
  }
  int master_ = -1;
};

TEST_F(SerialLine, QueuesPurgeAndNames) {
  HANDLE h = CreateFileW(u"\\\\.\\COM12", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // Opened without sharing: a second open is refused.
  EXPECT_EQ(CreateFileW(u"COM12", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(h, &dcb));
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  ASSERT_TRUE(SetCommState(h, &dcb));
  dcb.ByteSize = 9;
  EXPECT_FALSE(SetCommState(h, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  ASSERT_EQ(write(master_, "abc", 3), 3);
  COMSTAT stat{};
  DWORD errors = 7;
  // The kernel hands the bytes to the line asynchronously: ask until they are queued.
  for (int i = 0; i < 5000 && stat.cbInQue < 3; ++i) {
    ASSERT_TRUE(ClearCommError(h, &errors, &stat));
    if (stat.cbInQue < 3) poll(nullptr, 0, 1);
  }
  EXPECT_EQ(stat.cbInQue, 3u);
  EXPECT_EQ(errors, 0u);
  ASSERT_TRUE(PurgeComm(h, PURGE_RXCLEAR));
  ASSERT_TRUE(ClearCommError(h, &errors, &stat));
  EXPECT_EQ(stat.cbInQue, 0u);

  COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(h, &t));
  BYTE b[4];
  DWORD n = 9;
  ASSERT_TRUE(ReadFile(h, b, sizeof b, &n, nullptr));  // returns at once with nothing
  EXPECT_EQ(n, 0u);
  CloseHandle(h);

  // The communications functions refuse other handles.
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(GetCommState(event, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(event);
  EXPECT_FALSE(PurgeComm(nullptr, PURGE_RXCLEAR));
}

// ---- The default printer's port.

TEST(DefaultPrinter, PortAndName) {
  WCHAR port[8], name[32];
  KvDevicesSetDefaultPrinterUri(nullptr, nullptr);
  EXPECT_FALSE(KvDefaultPrinterPortW(port, 8, name, 32));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));

  KvDevicesSetDefaultPrinterUri("前台打印机", "serial:/dev/ttyS1?baud=9600");
  ASSERT_TRUE(KvDefaultPrinterPortW(port, 8, name, 32));
  EXPECT_EQ(std::u16string(port), u"COM2");
  EXPECT_EQ(std::u16string(name), u"前台打印机");
  EXPECT_FALSE(KvDefaultPrinterPortW(port, 4, name, 32));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_FALSE(KvDefaultPrinterPortW(port, 8, name, 3));

  KvDevicesSetDefaultPrinterUri("Net", "ipp://host/ipp/print");
  EXPECT_FALSE(KvDefaultPrinterPortW(port, 8, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
  KvDevicesUseCups();
}

}  // namespace
