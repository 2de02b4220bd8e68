#include "printer_id/parallel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/system.h"
#include "printer_id/identity.h"
#include "printer_id/tests/sim_fixture.h"
#include "printer_id/winio_image.h"

namespace {

namespace fs = std::filesystem;
using quenlow::CParallel;

constexpr DWORD kSlowPolls = 0x8FFF;
constexpr DWORD kQuickPolls = 255;

std::string DriverPath() { return std::string(KvProgramDirectory()) + "WinIo.sys"; }

class ParallelPort : public quenlow_test::SimWorld {
 protected:
  void SetUp() override {
    SimWorld::SetUp();
    ASSERT_FALSE(fs::exists(DriverPath())) << "a WinIo.sys was left next to the test";
  }
};

TEST(ParallelStatus, FlagsFromTheRegister) {
  EXPECT_EQ(CParallel::StatusFlags(0x00), CParallel::kBusy);
  EXPECT_EQ(CParallel::StatusFlags(0x80), 0);
  EXPECT_EQ(CParallel::StatusFlags(0xD8), CParallel::kFault | CParallel::kSelect | CParallel::kAck);
  EXPECT_EQ(CParallel::StatusFlags(0x20 | 0x80), CParallel::kPError);
}

// The device ID comes in nibble by nibble, byte for byte as the peripheral sent it;
// the mode is ended afterwards and the port released with the idle control value.
TEST_F(ParallelPort, NibbleModeDeviceId) {
  const std::string text = "MFG:Acme;MDL:LP-7;PNO:Q1234567;";
  const auto sent = quenlow_test::DeviceId(text);
  KvParportSimSetDeviceId(sent.data(), static_cast<DWORD>(sent.size()));
  {
    CParallel port;
    ASSERT_TRUE(port.Open(u"LPT1", 0));
    EXPECT_TRUE(port.IsOpen());
    std::vector<BYTE> id(1024, 0);
    DWORD count = 0;
    ASSERT_TRUE(port.GetDeviceId(id.data(), 1024, &count));
    ASSERT_EQ(count, sent.size());
    EXPECT_EQ(std::vector<BYTE>(id.begin(), id.begin() + count), sent);
    EXPECT_EQ(KvParportSimLastRequest(), 0x04);
    EXPECT_EQ(KvParportSimNegotiations(), 1u);
    EXPECT_EQ(KvParportSimTerminations(), 1u);

    // Without a buffer just the length field is read.
    ASSERT_TRUE(port.GetDeviceId(nullptr, 0, &count));
    EXPECT_EQ(count, sent.size());
    EXPECT_EQ(KvParportSimTerminations(), 2u);
  }
  EXPECT_EQ(KvParportSimControlRegister(), 0x0C);
  EXPECT_FALSE(KvParportSimInitialized());
}

TEST_F(ParallelPort, SilentPeripheralFailsAfterTheNegotiationPolls) {
  KvParportSimSetBehaviour(KV_PPSIM_SILENT, 0);
  CParallel port;
  ASSERT_TRUE(port.Open(u"LPT1", 0));
  const DWORD before = KvParportSimStatusReads();
  BYTE id[1024];
  DWORD count = 7;
  EXPECT_FALSE(port.GetDeviceId(id, sizeof id, &count));
  EXPECT_EQ(count, 0u);
  // One status read to start, the negotiation's long wait, the termination's two waits.
  EXPECT_EQ(KvParportSimStatusReads() - before, 1 + kSlowPolls + 2 * kQuickPolls);
  // The mode was ended: the host's lines are back in compatibility mode.
  EXPECT_EQ(KvParportSimControlRegister(), 0x0C);
  // The failed transfer left the port idle: the status is read again.
  const DWORD after = KvParportSimStatusReads();
  WORD status = 0;
  EXPECT_TRUE(port.GetStatus(&status));
  EXPECT_EQ(KvParportSimStatusReads(), after + 1);
}

TEST_F(ParallelPort, BehavioursOfThePeripheral) {
  struct Case {
    const char* what;
    DWORD behaviour, argument;
    BOOL result;
    DWORD count;
  } cases[] = {
      {"refuses the mode", KV_PPSIM_REFUSE, 0, FALSE, 0},
      {"drops out after 5 bytes", KV_PPSIM_DROP_OUT, 5, FALSE, 5},
      {"has no data", KV_PPSIM_NO_DATA, 0, TRUE, 0},
      {"announces its data from reverse idle", KV_PPSIM_IDLE_DATA, 0, TRUE, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KvParportSimReset();
    SetParallelDeviceId("MDL:Never;");
    KvParportSimSetBehaviour(c.behaviour, c.argument);
    CParallel port;
    ASSERT_TRUE(port.Open(u"LPT1", 0));
    BYTE id[1024];
    DWORD count = 99;
    EXPECT_EQ(port.GetDeviceId(id, sizeof id, &count), c.result);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(KvParportSimNegotiations(), 1u);
    port.Close();
    EXPECT_EQ(KvParportSimControlRegister(), 0x0C);
  }
}

// Plain reverse-channel reads keep the mode between calls; any other operation ends it.
TEST_F(ParallelPort, ReverseReadsKeepTheMode) {
  const BYTE data[] = {'h', 'e', 'l', 'l', 'o', 0x00, 0xFF, 0x5A};
  KvParportSimSetReverseData(data, sizeof data);
  CParallel port;
  ASSERT_TRUE(port.Open(u"lpt1", 0));
  BYTE got[16] = {};
  DWORD count = 0;
  ASSERT_TRUE(port.Read(got, 5, &count));
  EXPECT_EQ(count, 5u);
  ASSERT_TRUE(port.Read(got + 5, 16, &count));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(0, std::memcmp(got, data, sizeof data));
  EXPECT_EQ(KvParportSimLastRequest(), 0x00);
  EXPECT_EQ(KvParportSimNegotiations(), 1u);
  EXPECT_EQ(KvParportSimTerminations(), 0u);
  port.Close();
  EXPECT_EQ(KvParportSimTerminations(), 1u);
}

TEST_F(ParallelPort, ForwardWrite) {
  CParallel port;
  ASSERT_TRUE(port.Open(u"LPT1:", 0));
  WORD status = 0;
  ASSERT_TRUE(port.GetStatus(&status));
  EXPECT_EQ(status, CParallel::kFault | CParallel::kSelect);  // ready
  const BYTE text[] = {'A', 'B', 'C'};
  DWORD written = 0;
  ASSERT_TRUE(port.Write(text, 3, &written));
  EXPECT_EQ(written, 3u);
  BYTE received[8] = {};
  ASSERT_EQ(KvParportSimReceived(received, sizeof received), 3u);
  EXPECT_EQ(0, std::memcmp(received, text, 3));
}

// A printer that stops taking the strobed bytes: the write fails, and the count says
// how many bytes it took.
TEST_F(ParallelPort, ForwardWriteWithoutAcknowledgeFails) {
  struct Case {
    const char* what;
    DWORD behaviour, argument, taken;
  } cases[] = {
      {"never takes a byte", KV_PPSIM_SILENT, 0, 0},
      {"stops after two bytes", KV_PPSIM_DROP_OUT, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KvParportSimReset();
    KvParportSimSetBehaviour(c.behaviour, c.argument);
    CParallel port;
    ASSERT_TRUE(port.Open(u"LPT1", 0));
    const BYTE text[] = {'A', 'B', 'C', 'D', 'E'};
    DWORD written = 99;
    EXPECT_FALSE(port.Write(text, sizeof text, &written));
    EXPECT_EQ(written, c.taken);
    EXPECT_EQ(KvParportSimReceived(nullptr, 0), c.taken);
  }
}

TEST_F(ParallelPort, NamesOutsideTheTableNeverTouchThePortLibrary) {
  for (const char16_t* name : {u"LPT0", u"LPT4", u"Lpt1", u"LPT1 ", u"COM1", u""}) {
    CParallel port;
    EXPECT_FALSE(port.Open(name, 0));
    EXPECT_FALSE(port.IsOpen());
  }
  EXPECT_FALSE(fs::exists(WinIoDllPath()));
  EXPECT_EQ(KvParportSimAccessCount(), 0u);
  EXPECT_FALSE(KvParportSimInitialized());
}

TEST_F(ParallelPort, NoPortFileReleasesTheLibrary) {
  KvParportSimSetPort(2);  // the peripheral sits on LPT2; LPT1 does not exist
  CParallel port;
  EXPECT_FALSE(port.Open(u"LPT1", 0));
  EXPECT_FALSE(KvParportSimInitialized());
  EXPECT_FALSE(fs::exists(WinIoDllPath()));
  EXPECT_TRUE(port.Open(u"LPT2", 0));
}

// The port-I/O library's files: written when absent and removed again; used as found
// and kept when present; the driver removed right after initialisation.
TEST_F(ParallelPort, LibraryWrittenByUsIsDeletedAtRelease) {
  CParallel port;
  ASSERT_TRUE(port.Open(u"LPT1", 0));
  EXPECT_TRUE(fs::exists(WinIoDllPath()));
  EXPECT_EQ(fs::file_size(WinIoDllPath()), quenlow::kWinIoDllImageSize);
  EXPECT_FALSE(fs::exists(DriverPath()));
  EXPECT_TRUE(KvParportSimInitialized());
  port.Close();
  EXPECT_FALSE(fs::exists(WinIoDllPath()));
  EXPECT_FALSE(KvParportSimInitialized());
}

TEST_F(ParallelPort, LibraryFoundIsUsedAndKept) {
  {
    std::ofstream out(WinIoDllPath(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(quenlow::kWinIoDllImage),
              static_cast<std::streamsize>(quenlow::kWinIoDllImageSize));
  }
  {
    CParallel port;
    ASSERT_TRUE(port.Open(u"LPT1", 0));
  }
  EXPECT_TRUE(fs::exists(WinIoDllPath()));
}

TEST_F(ParallelPort, DriverFoundIsKept) {
  {
    std::ofstream out(DriverPath(), std::ios::binary);
    out << "KVPORTIO-DRIVER 1\nkept\n";
  }
  CParallel port;
  const BOOL opened = port.Open(u"LPT1", 0);
  const bool kept = fs::exists(DriverPath());
  fs::remove(DriverPath());
  EXPECT_TRUE(opened);
  EXPECT_TRUE(kept);
}

TEST_F(ParallelPort, BrokenLibraryFailsAndStays) {
  {
    std::ofstream out(WinIoDllPath(), std::ios::binary);
    out << "not a library";
  }
  CParallel port;
  EXPECT_FALSE(port.Open(u"LPT1", 0));
  EXPECT_TRUE(fs::exists(WinIoDllPath()));
  EXPECT_FALSE(KvParportSimInitialized());
  EXPECT_EQ(KvParportSimAccessCount(), 0u);
}

// A library at the path that lacks the port-I/O entry points: Open fails without calling
// into it, and the file, not ours, stays.
TEST_F(ParallelPort, LibraryWithoutTheEntryPointsFails) {
  fs::copy_file(std::string(KvProgramDirectory()) + "Quenlow.dll", WinIoDllPath());
  CParallel port;
  EXPECT_FALSE(port.Open(u"LPT1", 0));
  EXPECT_FALSE(port.IsOpen());
  port.Close();
  EXPECT_TRUE(fs::exists(WinIoDllPath()));
  EXPECT_FALSE(fs::exists(DriverPath()));
  EXPECT_FALSE(KvParportSimInitialized());
  EXPECT_EQ(KvParportSimAccessCount(), 0u);
}

TEST_F(ParallelPort, SystemDirectoryTooLong) {
  const std::string deep = home_.path() + "/" + std::string(240, 'd');
  fs::create_directories(deep);
  setenv("KORVANE_SYSTEM_DIR", deep.c_str(), 1);
  CParallel port;
  EXPECT_FALSE(port.Open(u"LPT1", 0));
  EXPECT_FALSE(fs::exists(deep + "/WinIo.dll"));
  EXPECT_EQ(KvParportSimAccessCount(), 0u);
}

// Without parallel ports the library does not initialise: nothing it wrote is left
// and nothing was called that did not come up.
TEST_F(ParallelPort, InitialisationFailureLeavesNothingBehind) {
  if (fs::exists("/dev/parport0") || fs::exists("/dev/parport1") || fs::exists("/dev/parport2")) {
    GTEST_SKIP() << "this machine has a parallel port";
  }
  KvParportSimEnable(FALSE);
  CParallel port;
  EXPECT_FALSE(port.Open(u"LPT1", 0));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(fs::exists(WinIoDllPath()));
  EXPECT_FALSE(fs::exists(DriverPath()));
}

// The export road when no USB printer answers.
TEST_F(ParallelPort, ExportRoadFallsBackToLpt1) {
  SetParallelDeviceId("MFG:Acme;MODEL:Parallel One;NUM:5150;");
  quenlow::CPrinterIdentity identity;
  char out[1024];
  ASSERT_EQ(identity.GetPrinterName(out), 1);
  EXPECT_STREQ(out, "Parallel One");
  ASSERT_EQ(identity.GetPrinterNum(out), 1);
  EXPECT_STREQ(out, "5150");
  EXPECT_EQ(identity.current_port(), nullptr);
  EXPECT_FALSE(KvParportSimInitialized());
  EXPECT_FALSE(fs::exists(WinIoDllPath()));
}

// No USB printer and no printer on the first parallel port: 0, whatever the other
// ports have.
TEST_F(ParallelPort, ExportRoadWithNeitherPrinter) {
  for (int lpt : {0, 2, 3}) {
    SCOPED_TRACE(lpt);
    KvParportSimReset();
    SetParallelDeviceId("MDL:Elsewhere;PNO:9;");
    KvParportSimSetPort(lpt);
    quenlow::CPrinterIdentity identity;
    char out[1024];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(identity.GetPrinterName(out), 0);
    EXPECT_EQ(identity.GetPrinterNum(out), 0);
    EXPECT_EQ(out[0], '#');
    EXPECT_EQ(KvParportSimAccessCount(), 0u);
    EXPECT_FALSE(KvParportSimInitialized());
    EXPECT_FALSE(fs::exists(WinIoDllPath()));
  }
}

}  // namespace
