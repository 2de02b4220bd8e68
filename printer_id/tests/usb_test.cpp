#include "printer_id/usb.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/time.h"
#include "printer_id/identity.h"
#include "printer_id/tests/sim_fixture.h"

namespace {

using quenlow::CUSB;

TEST(UsbPath, VendorAndProductFromPath) {
  struct Case {
    const char16_t* path;
    bool ok;
    WORD vid, pid;
  } cases[] = {
      {u"\\\\?\\usb#vid_20d1&pid_2010#sim0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", true, 0x20D1, 0x2010},
      {u"\\\\?\\USB#VID_08BD&PID_020B#5&2a&0&1#{guid}", true, 0x08BD, 0x020B},
      {u"x_1_2", true, 0x1, 0x2},
      {u"x_12345_abcdef", true, 0x1234, 0xABCD},  // at most four digits each
      {u"no pieces", false, 0, 0},
      {u"one_piece", false, 0, 0},
      {u"a_zz_12", false, 0, 0},
  };
  for (const Case& c : cases) {
    WORD vid = 0, pid = 0;
    EXPECT_EQ(CUSB::ParseVendorProduct(c.path, &vid, &pid), c.ok);
    if (c.ok) {
      EXPECT_EQ(vid, c.vid);
      EXPECT_EQ(pid, c.pid);
    }
  }
}

class UsbPort : public quenlow_test::SimWorld {};

// Which printer of a bus CUSB opens.
TEST_F(UsbPort, SelectionTable) {
  struct Printer {
    WORD vid, pid;
    DWORD failures;
  };
  struct Case {
    const char* what;
    std::vector<Printer> bus;
    int opened;  // index, or -1 when Open fails
  };
  const Case cases[] = {
      {"preferred first", {{0x20D1, 0x200E, 0}, {0x1234, 0x0001, 0}}, 0},
      {"preferred last", {{0x1234, 0x0001, 0}, {0x20D1, 0x200E, 0}}, 1},
      {"preferred in the middle", {{0x1234, 1, 0}, {0x08BD, 0x020B, 0}, {0x1234, 2, 0}}, 1},
      {"first preferred enumerated wins", {{0x08BD, 0x020B, 0}, {0x20D1, 0x2010, 0}}, 0},
      {"only unlisted: the last", {{0x1111, 1, 0}, {0x2222, 2, 0}, {0x3333, 3, 0}}, 2},
      {"preferred open fails: the last unlisted",
       {{0x1111, 1, 0}, {0x20D1, 0x2010, KV_USBSIM_OPEN_FAILS}, {0x2222, 2, 0}},
       2},
      {"preferred open fails, next preferred", {{0x20D1, 0x2010, KV_USBSIM_OPEN_FAILS}, {0x0401, 0x0210, 0}}, 1},
      {"every open fails", {{0x20D1, 0x2010, KV_USBSIM_OPEN_FAILS}, {0x1111, 1, KV_USBSIM_OPEN_FAILS}}, -1},
      {"no printer", {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KvUsbSimClear();
    for (const Printer& p : c.bus) {
      const int i = AddUsbPrinter(p.vid, p.pid, "MDL:x;");
      KvUsbSimSetFailures(i, p.failures);
    }
    CUSB usb;
    EXPECT_EQ(usb.Open(u"USB", 2), c.opened >= 0 ? TRUE : FALSE);
    EXPECT_EQ(usb.IsOpen(), c.opened >= 0 ? TRUE : FALSE);
    for (size_t i = 0; i < c.bus.size(); ++i) {
      EXPECT_EQ(KvUsbSimOpenHandles(static_cast<int>(i)), static_cast<int>(i) == c.opened ? 1u : 0u) << "printer " << i;
    }
    usb.Close();
    for (size_t i = 0; i < c.bus.size(); ++i) EXPECT_EQ(KvUsbSimOpenHandles(static_cast<int>(i)), 0u);
  }
}

TEST_F(UsbPort, EnumerationFailureFailsOpen) {
  AddUsbPrinter(0x20D1, 0x2010, "MDL:x;");
  KvUsbSimSetEnumerationFails(TRUE);
  CUSB usb;
  EXPECT_FALSE(usb.Open(u"USB", 2));
  EXPECT_EQ(KvUsbSimOpenCount(0), 0u);
}

TEST_F(UsbPort, StatusAndDeviceId) {
  const int i = AddUsbPrinter(0x20D1, 0x2010, "MDL:S;");
  KvUsbSimSetStatus(i, 0x0018);
  CUSB usb;
  WORD status = 0;
  EXPECT_FALSE(usb.GetStatus(&status));  // not open
  ASSERT_TRUE(usb.Open(nullptr, 0));
  EXPECT_FALSE(usb.GetStatus(nullptr));
  ASSERT_TRUE(usb.GetStatus(&status));
  EXPECT_EQ(status, 0x0018);
  BYTE id[1024];
  DWORD count = 0;
  ASSERT_TRUE(usb.GetDeviceId(id, sizeof id, &count));
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(0, std::memcmp(id, "\x00\x08MDL:S;", 8));

  const BYTE job[] = {0x1B, '@', '\n'};
  DWORD written = 0;
  ASSERT_TRUE(usb.Write(job, sizeof job, &written));
  EXPECT_EQ(written, sizeof job);
  ASSERT_TRUE(usb.Read(id, sizeof id, &count));
  EXPECT_EQ(count, 0u);  // the printer has sent nothing back

  KvUsbSimSetFailures(i, KV_USBSIM_SHORT_STATUS);
  EXPECT_FALSE(usb.GetStatus(&status));
  KvUsbSimSetFailures(i, KV_USBSIM_IOCTL_FAILS);
  EXPECT_FALSE(usb.GetStatus(&status));
  EXPECT_FALSE(usb.GetDeviceId(id, sizeof id, &count));
}

// A printer that never answers: each I/O control gives up after 2000 ms, cancels the
// control and waits for it, so a late answer cannot land in the caller's buffer.
TEST_F(UsbPort, SilentPrinterTimesOutAndCancels) {
  const int i = AddUsbPrinter(0x20D1, 0x2010, "MDL:late;");
  CUSB usb;
  ASSERT_TRUE(usb.Open(nullptr, 0));
  KvUsbSimSetFailures(i, KV_USBSIM_IOCTL_PENDS);
  const DWORD start = KvClockNow();
  {
    std::vector<BYTE> id(1024, 0xEE);
    DWORD count = 99;
    EXPECT_FALSE(usb.GetDeviceId(id.data(), static_cast<DWORD>(id.size()), &count));
    EXPECT_EQ(id[0], 0xEE);
  }
  EXPECT_EQ(KvClockNow() - start, 2000u);
  EXPECT_EQ(KvUsbSimCancelCount(i), 1u);
  EXPECT_FALSE(KvUsbSimCompletePending(i));  // nothing left that could write

  WORD status = 0;
  EXPECT_FALSE(usb.GetStatus(&status));
  EXPECT_EQ(KvClockNow() - start, 4000u);
  EXPECT_EQ(KvUsbSimCancelCount(i), 2u);

  // A read from the back channel that never ends is given up the same way.
  KvUsbSimSetFailures(i, KV_USBSIM_READ_PENDS);
  BYTE back[16];
  DWORD count = 99;
  EXPECT_FALSE(usb.Read(back, sizeof back, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(KvClockNow() - start, 6000u);
  EXPECT_EQ(KvUsbSimCancelCount(i), 3u);
  EXPECT_FALSE(KvUsbSimCompletePending(i));
}

TEST_F(UsbPort, ExportRoadDestroysThePort) {
  const int i = AddUsbPrinter(0x20D1, 0x2010, "MDL:Road;PNO:42;");
  quenlow::CPrinterIdentity identity;
  char out[1024];
  ASSERT_EQ(identity.GetPrinterName(out), 1);
  EXPECT_STREQ(out, "Road");
  EXPECT_EQ(identity.current_port(), nullptr);
  EXPECT_EQ(KvUsbSimOpenHandles(i), 0u);
  EXPECT_EQ(KvUsbSimOpenCount(i), 1u);
  ASSERT_EQ(identity.GetPrinterNum(out), 1);
  EXPECT_STREQ(out, "42");
  EXPECT_EQ(KvUsbSimOpenHandles(i), 0u);
  EXPECT_EQ(KvParportSimAccessCount(), 0u);
}

// On a machine with a USB printer, its model is read through the kernel's driver.
TEST(UsbRealPrinter, ReadsTheModel) {
  bool any = false;
  if (DIR* dir = opendir("/dev/usb")) {
    while (dirent* e = readdir(dir)) any = any || std::strncmp(e->d_name, "lp", 2) == 0;
    closedir(dir);
  }
  if (!any) GTEST_SKIP() << "no /dev/usb/lp* on this machine";
  kvtest::TempHome home;
  KvUsbSimEnable(FALSE);
  KvParportSimEnable(TRUE);
  KvParportSimSetPort(0);  // only the USB printer may answer
  quenlow::CPrinterIdentity identity;
  char out[1024] = {};
  EXPECT_EQ(identity.GetPrinterName(out), 1);
  EXPECT_GT(std::strlen(out), 0u);
  std::printf("USB printer model: %s\n", out);
}

}  // namespace
