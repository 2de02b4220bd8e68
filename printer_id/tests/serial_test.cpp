#include "printer_id/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/devices/serial.h"
#include "printer_id/identity.h"
#include "printer_id/parallel.h"
#include "printer_id/usb.h"
#include "printer_id/tests/sim_fixture.h"

namespace {

using quenlow::CSerial;
using quenlow::SerialSettings;

TEST(SerialSettingsClamp, Table) {
  struct Case {
    SerialSettings in, out;
  } cases[] = {
      {{12345, 0, 0, 8}, {19200, 0, 0, 8}},   {{9600, 2, 2, 7}, {9600, 2, 2, 7}},
      {{256000, 4, 1, 4}, {256000, 4, 1, 4}}, {{56000, 5, 3, 9}, {56000, 0, 0, 8}},
      {{0, 0, 0, 3}, {19200, 0, 0, 8}},       {{115201, 255, 255, 0}, {19200, 0, 0, 8}},
  };
  for (const Case& c : cases) {
    const SerialSettings s = CSerial::Clamp(c.in);
    EXPECT_EQ(s.baud_rate, c.out.baud_rate) << c.in.baud_rate;
    EXPECT_EQ(s.parity, c.out.parity);
    EXPECT_EQ(s.stop_bits, c.out.stop_bits);
    EXPECT_EQ(s.byte_size, c.out.byte_size);
  }
}

// A pseudo-terminal pair stands in for the line: CSerial opens the terminal side as
// COM7, the test holds the other side.
class SerialPort : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    slave_path_ = ptsname(master_);
    KvSerialMapPort(7, slave_path_.c_str());
  }
  void TearDown() override {
    KvSerialMapPort(7, nullptr);
    if (master_ >= 0) close(master_);
  }
  // The line settings as the terminal itself has them.
  termios LineSettings() {
    termios t{};
    const int fd = open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    close(fd);
    return t;
  }

  int master_ = -1;
  std::string slave_path_;
};

TEST_F(SerialPort, OpenClampsAndWritesTheSettingsBack) {
  SerialSettings s{12345, 7, 9, 9};
  CSerial port;
  ASSERT_TRUE(port.Open(u"COM7", reinterpret_cast<ULONG_PTR>(&s)));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(s.baud_rate, 19200u);
  EXPECT_EQ(s.byte_size, 8);
  EXPECT_EQ(s.parity, 0);
  EXPECT_EQ(s.stop_bits, 0);
  port.Close();  // the exclusive open ends with the port
  const termios t = LineSettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & PARENB, 0u);
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);  // RTS handshake
}

TEST_F(SerialPort, DefaultsAndRatesWithoutATermiosConstant) {
  {
    CSerial port;
    ASSERT_TRUE(port.Open(u"COM7", 0));
  }
  const termios defaults = LineSettings();
  EXPECT_EQ(cfgetospeed(&defaults), static_cast<speed_t>(B19200));

  SerialSettings s{56000, 2, 2, 7};
  CSerial port;
  ASSERT_TRUE(port.Open(u"com7", reinterpret_cast<ULONG_PTR>(&s)));
  EXPECT_EQ(s.baud_rate, 56000u);
  EXPECT_EQ(s.parity, 2);
  EXPECT_EQ(s.stop_bits, 2);
  EXPECT_EQ(s.byte_size, 7);
  port.Close();
  // Read back through the communications functions on a second open of the line.
  HANDLE h = CreateFileW(u"\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(h, &dcb));
  EXPECT_EQ(dcb.BaudRate, 56000u);  // a pseudo-terminal keeps 8 bits without parity
  CloseHandle(h);
}

TEST_F(SerialPort, ByteSizeTheLineCannotTakeFailsOpen) {
  SerialSettings s{9600, 0, 0, 4};
  CSerial port;
  EXPECT_FALSE(port.Open(u"COM7", reinterpret_cast<ULONG_PTR>(&s)));
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPort, ReadsWhatIsQueuedAndWrites) {
  CSerial port;
  ASSERT_TRUE(port.Open(u"COM7", 0));
  BYTE buffer[16];
  DWORD count = 99;
  ASSERT_TRUE(port.Read(buffer, sizeof buffer, &count));  // nothing queued: no wait
  EXPECT_EQ(count, 0u);

  ASSERT_EQ(write(master_, "ping", 4), 4);
  // The kernel hands the bytes to the line asynchronously: ask until they are queued.
  count = 0;
  for (int i = 0; i < 5000 && count == 0; ++i) {
    ASSERT_TRUE(port.Read(buffer, 2, &count));
    if (count == 0) poll(nullptr, 0, 1);
  }
  ASSERT_EQ(count, 2u);  // at most the buffer
  EXPECT_EQ(0, std::memcmp(buffer, "pi", 2));

  DWORD written = 0;
  ASSERT_TRUE(port.Write(reinterpret_cast<const BYTE*>("pong"), 4, &written));
  EXPECT_EQ(written, 4u);
  char echo[4] = {};
  ASSERT_EQ(read(master_, echo, 4), 4);
  EXPECT_EQ(0, std::memcmp(echo, "pong", 4));

  WORD status = 0;
  EXPECT_FALSE(port.GetStatus(&status));
  count = 5;
  EXPECT_TRUE(port.GetDeviceId(buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);
}

TEST_F(SerialPort, MissingPortFails) {
  CSerial port;
  EXPECT_FALSE(port.Open(u"COM200", 0));
  EXPECT_FALSE(port.IsOpen());
  WORD status;
  DWORD count;
  BYTE b;
  EXPECT_FALSE(port.Read(&b, 1, &count));
  EXPECT_FALSE(port.Write(&b, 1, &count));
  EXPECT_FALSE(port.GetStatus(&status));
}

// The factory picks the class from the default printer's port.
class DefaultPort : public quenlow_test::SimWorld {};

TEST_F(DefaultPort, UriToPortTable) {
  struct Case {
    const char* uri;
    const char16_t* port;
  } cases[] = {
      {"usb://Acme/LP-7?serial=123", u"USB"},
      {"USB://Acme/LP-7", u"USB"},
      {"parallel:/dev/lp0", u"LPT1"},
      {"parallel:/dev/parport2", u"LPT3"},
      {"serial:/dev/ttyS0?baud=9600", u"COM1"},
      {"serial:/dev/ttyS12", u"COM13"},
      // COM4 would open /dev/ttyS3, another line.
      {"serial:/dev/ttyUSB3", u""},
      {"serial:/dev/tty", u""},
      {"serial:/dev/ttyS", u""},
      {"parallel:/dev/usb/lp0", u""},  // a USB printer, not the parallel port
      {"parallel:/dev/lpx", u""},
      {"socket://10.0.0.7:9100", u""},
      {"ipp://printer.local/ipp/print", u""},
      {"file:///dev/null", u""},
      {"", u""},
      {"no scheme", u""},
  };
  for (const Case& c : cases) {
    WCHAR port[16] = {u'?'};
    KvDevicePortOfUri(c.uri, port, 16);
    EXPECT_EQ(std::u16string(port), std::u16string(c.port)) << c.uri;
  }
}

TEST_F(DefaultPort, FactoryPicksTheClass) {
  AddUsbPrinter(0x20D1, 0x2010, "MDL:Default;");
  quenlow::CPrinterIdentity identity;

  KvDevicesSetDefaultPrinterUri("Office", "usb://Acme/LP-7?serial=1");
  EXPECT_EQ(quenlow::DefaultPrinterPort(), u"USB");
  EXPECT_TRUE(identity.OpenPort(nullptr, 0));
  EXPECT_NE(dynamic_cast<quenlow::CUSB*>(identity.current_port()), nullptr);

  KvDevicesSetDefaultPrinterUri("Desk", "parallel:/dev/lp0");
  EXPECT_TRUE(identity.OpenPort(nullptr, 0));
  EXPECT_NE(dynamic_cast<quenlow::CParallel*>(identity.current_port()), nullptr);
  // The previous port was closed and deleted before the new one was made.
  EXPECT_EQ(KvUsbSimOpenHandles(0), 0u);

  KvDevicesSetDefaultPrinterUri("Net", "socket://10.0.0.7:9100");
  EXPECT_EQ(quenlow::DefaultPrinterPort(), u"");
  EXPECT_FALSE(identity.OpenPort(nullptr, 0));
  EXPECT_EQ(identity.current_port(), nullptr);
  EXPECT_FALSE(KvParportSimInitialized());

  KvDevicesSetDefaultPrinterUri(nullptr, nullptr);
  EXPECT_FALSE(identity.OpenPort(nullptr, 0));
  EXPECT_FALSE(identity.OpenPort(u"PRN", 0));
}

}  // namespace
