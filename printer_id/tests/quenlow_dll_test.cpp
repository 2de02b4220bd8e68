// Quenlow.dll as its caller sees it: loaded by name, two C exports, a 1024-byte buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/base/module.h"
#include "printer_id/tests/sim_fixture.h"

namespace {

using Export = int (*)(char*);

class QuenlowDll : public quenlow_test::SimWorld {
 protected:
  void SetUp() override {
    SimWorld::SetUp();
    module_ = LoadLibraryA("Quenlow.dll");
    ASSERT_NE(module_, nullptr);
    name_ = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module_, "GetPrinterName")));
    num_ = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module_, "GetPrinterNum")));
    ASSERT_NE(name_, nullptr);
    ASSERT_NE(num_, nullptr);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    SimWorld::TearDown();
  }

  HMODULE module_ = nullptr;
  Export name_ = nullptr;
  Export num_ = nullptr;
};

TEST_F(QuenlowDll, ExportsOnlyTheTwoFunctions) {
  EXPECT_EQ(GetProcAddress(module_, "_ZN7quenlow20ExtractDeviceIdValueEPKhmPKcS3_Pc"), nullptr);
  EXPECT_EQ(GetProcAddress(module_, "kWinIoDllImage"), nullptr);
}

TEST_F(QuenlowDll, UsbPrinterAnswersAndLptIsNeverTouched) {
  const int usb = AddUsbPrinter(0x20D1, 0x200D, "MFG:Acme;MDL:X-200;SN:1;PNO:AB12345678;");
  SetParallelDeviceId("MDL:Parallel;PNO:P1;");
  char buffer[1024];
  ASSERT_EQ(name_(buffer), 1);
  EXPECT_STREQ(buffer, "X-200");
  ASSERT_EQ(num_(buffer), 1);
  EXPECT_STREQ(buffer, "AB12345678");
  EXPECT_EQ(KvUsbSimOpenHandles(usb), 0u);
  EXPECT_EQ(KvUsbSimOpenCount(usb), 2u);
  EXPECT_EQ(KvParportSimAccessCount(), 0u);
  EXPECT_FALSE(std::filesystem::exists(WinIoDllPath()));
}

TEST_F(QuenlowDll, WithoutUsbTheFirstParallelPortAnswers) {
  SetParallelDeviceId("MDL:Parallel;PNO:P1;");
  char buffer[1024];
  ASSERT_EQ(name_(buffer), 1);
  EXPECT_STREQ(buffer, "Parallel");
  ASSERT_EQ(num_(buffer), 1);
  EXPECT_STREQ(buffer, "P1");
  EXPECT_FALSE(KvParportSimInitialized());
  EXPECT_FALSE(std::filesystem::exists(WinIoDllPath()));
}

TEST_F(QuenlowDll, NoPrinterLeavesTheBufferUntouched) {
  KvParportSimSetBehaviour(KV_PPSIM_SILENT, 0);
  char buffer[1024];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(name_(buffer), 0);
  EXPECT_EQ(num_(buffer), 0);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(name_(nullptr), 0);
}

}  // namespace
