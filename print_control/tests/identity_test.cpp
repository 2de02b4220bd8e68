// The printer identity calls: the identity library loaded for each call, its two
// exports, the "-1" / "-2" answers and the parts cut from the serial.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "print_control/dravik.h"
#include "platform/base/codepage.h"
#include "platform/base/module.h"
#include "print_control/message_box.h"
#include "printer_id/tests/sim_fixture.h"

namespace {

std::string Utf8(const WideString& w) { return kv::WideToUtf8(w); }

// The fakes live in folders of their own beside the test binary.
std::string BinDir() {
  char path[4096];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return ExtractFilePath(std::string(path, n));
}

class IdentityTest : public ::testing::Test {
 protected:
  void SetUp() override { zorbel::ClearMessageBoxLog(); }
  void TearDown() override {
    unsetenv("ZORBEL_FAKE_TEXT");
    unsetenv("ZORBEL_FAKE_RC");
    unsetenv("ZORBEL_FAKE_FILL");
  }
  void UseFake(const char* kind) { control_.QuenlowLibrary = BinDir() + "zorbel_fakes/" + kind + "/Quenlow.dll"; }
  zorbel::TDravik control_;
};

TEST_F(IdentityTest, SerialParts) {
  UseFake("full");
  struct Case {
    const char* serial;
    const char* ver;
    const char* year;
    const char* week;
  } cases[] = {
      {"ABC1234567", "1", "2023", "45"},
      {"ABC12345", "1", "2023", "0"},  // 8 characters: no week
      {"ABC123", "1", "0", "0"},
      {"ABCD", "0", "0", "0"},
      {"  ABC1234567 \r\n", "1", "2023", "45"},  // trimmed first
  };
  for (const auto& c : cases) {
    setenv("ZORBEL_FAKE_TEXT", c.serial, 1);
    EXPECT_EQ(Utf8(control_.GetPrinterVer()), c.ver) << c.serial;
    EXPECT_EQ(Utf8(control_.GetPrinterProductionYear()), c.year) << c.serial;
    EXPECT_EQ(Utf8(control_.GetPrinterProductionWeek()), c.week) << c.serial;
  }
}

TEST_F(IdentityTest, MissingLibraryAndExport) {
  control_.QuenlowLibrary = BinDir() + "zorbel_fakes/none/Quenlow.dll";
  EXPECT_EQ(Utf8(control_.GetPrinterName()), "-1");
  EXPECT_EQ(Utf8(control_.GetPrinterNum()), "-1");
  EXPECT_EQ(Utf8(control_.GetPrinterVer()), "0");
  EXPECT_EQ(Utf8(control_.GetPrinterProductionYear()), "0");
  EXPECT_EQ(Utf8(control_.GetPrinterProductionWeek()), "0");
  EXPECT_TRUE(zorbel::MessageBoxLog().empty());
  control_.IsDebug = 1;
  EXPECT_EQ(Utf8(control_.GetPrinterName()), "-1");
  ASSERT_EQ(zorbel::MessageBoxLog().size(), 1u);
  EXPECT_EQ(Utf8(zorbel::MessageBoxLog()[0]), "Quenlow.dll没有找到");

  zorbel::ClearMessageBoxLog();
  UseFake("partial");
  setenv("ZORBEL_FAKE_TEXT", "Model 7", 1);
  EXPECT_EQ(Utf8(control_.GetPrinterNum()), "-2");
  EXPECT_EQ(Utf8(control_.GetPrinterVer()), "0");
  EXPECT_EQ(Utf8(zorbel::MessageBoxLog()[0]), "GetPrinterNum函数没有找到,可能是动态库版本不对，请与打印机厂商联系。");
  EXPECT_EQ(Utf8(control_.GetPrinterName()), "Model 7");
  // The library is unloaded after every call.
  EXPECT_EQ(GetModuleHandleA(control_.QuenlowLibrary.c_str()), nullptr);
}

TEST_F(IdentityTest, BufferIsZeroedBoundedAndIgnoredOnZero) {
  UseFake("full");
  control_.IsDebug = 1;
  setenv("ZORBEL_FAKE_TEXT", "X-200", 1);
  EXPECT_EQ(Utf8(control_.GetPrinterName()), "X-200");
  EXPECT_EQ(Utf8(zorbel::MessageBoxLog().back()),
            "取打印机名称调用状态如下：\r\n返回值是：1\r\n打印机名称长度：5\r\n打印机名称：X-200\r\n");
  // 0: nothing found, whatever the buffer holds.
  setenv("ZORBEL_FAKE_RC", "0", 1);
  EXPECT_EQ(Utf8(control_.GetPrinterNum()), "");
  EXPECT_EQ(Utf8(zorbel::MessageBoxLog().back()),
            "取打印机序号调用状态如下：\r\n返回值是：0\r\n打印机序号长度：0\r\n打印机序号：\r\n");
  // A library that fills the whole buffer without a terminator gives at most 1024 characters.
  setenv("ZORBEL_FAKE_RC", "1", 1);
  setenv("ZORBEL_FAKE_FILL", "1", 1);
  EXPECT_EQ(control_.GetPrinterName(), WideString(1024, u'A'));
  // A library that reports success but writes nothing leaves the zeroed buffer: no text.
  unsetenv("ZORBEL_FAKE_FILL");
  unsetenv("ZORBEL_FAKE_TEXT");
  EXPECT_EQ(Utf8(control_.GetPrinterName()), "");
  setenv("ZORBEL_FAKE_TEXT", "X-200", 1);
  // A return value other than 0 and 1 does not steer the result.
  setenv("ZORBEL_FAKE_RC", "7", 1);
  EXPECT_EQ(Utf8(control_.GetPrinterName()), "X-200");
}

class RealQuenlow : public quenlow_test::SimWorld {};

TEST_F(RealQuenlow, ThroughTheSimulatedUsbPrinter) {
  AddUsbPrinter(0x20D1, 0x200D, "MFG:Acme;MDL:TX-300;SN:1;PNO:ABC1234567;");
  zorbel::TDravik control;  // "Quenlow.dll", found beside this program
  EXPECT_EQ(Utf8(control.GetPrinterName()), "TX-300");
  EXPECT_EQ(Utf8(control.GetPrinterNum()), "ABC1234567");
  EXPECT_EQ(Utf8(control.GetPrinterVer()), "1");
  EXPECT_EQ(Utf8(control.GetPrinterProductionYear()), "2023");
  EXPECT_EQ(Utf8(control.GetPrinterProductionWeek()), "45");
}

TEST_F(RealQuenlow, NoPrinterGivesEmptyText) {
  zorbel::TDravik control;
  EXPECT_EQ(Utf8(control.GetPrinterName()), "");
  EXPECT_EQ(Utf8(control.GetPrinterVer()), "0");
}

}  // namespace
