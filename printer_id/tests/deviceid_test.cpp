#include "printer_id/deviceid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "printer_id/identity.h"
#include "printer_id/tests/sim_fixture.h"

namespace {

using quenlow_test::DeviceId;

constexpr char kUntouched = '#';

struct IdCase {
  const char* what;
  std::vector<BYTE> id;  // as the printer answers
  int name_result;
  const char* name;
  int num_result;
  const char* num;
};

std::vector<BYTE> Raw(std::initializer_list<int> head, std::string_view text) {
  std::vector<BYTE> v(head.begin(), head.end());
  v.insert(v.end(), text.begin(), text.end());
  return v;
}

const std::vector<IdCase>& Cases() {
  static const std::vector<IdCase> cases = {
      {"plain", DeviceId("MFG:Acme;MDL:X-200;SN:1;PNO:AB12345678;"), 1, "X-200", 1, "AB12345678"},
      {"MODEL before MDL", DeviceId("MDL:Short;MODEL:Long Name;PNO:1;"), 1, "Long Name", 1, "1"},
      {"MODEL after MDL wins", DeviceId("MODEL:First;MDL:Second;"), 1, "First", 0, nullptr},
      {"PNO before NUM", DeviceId("NUM:77;PNO:P-9;"), 0, nullptr, 1, "P-9"},
      {"only NUM", DeviceId("MFG:Acme;NUM:77;"), 0, nullptr, 1, "77"},
      {"no keys", DeviceId("MFG:Acme;CMD:ESC;"), 0, nullptr, 0, nullptr},
      {"keys are case-sensitive", DeviceId("mdl:x;pno:y;"), 0, nullptr, 0, nullptr},
      {"no trailing ;", DeviceId("MFG:Acme;MDL:Z-1"), 1, "Z-1", 0, nullptr},
      {"empty value takes the next pair", DeviceId("MDL:;PNO:;SN:5;"), 1, "PNO:", 1, "SN:5"},
      {"empty value at the end", DeviceId("MFG:A;MDL:;;"), 0, nullptr, 0, nullptr},
      {"length prefix larger than the data", Raw({0x03, 0xE8}, "MDL:Big;PNO:77"), 1, "Big", 1, "77"},
      {"length prefix cuts the text", Raw({0x00, 0x0A}, "MDL:ABCDEFGHIJ;"), 1, "ABCDEF", 0, nullptr},
      {"length prefix below 2", Raw({0x00, 0x01}, "MDL:X;"), 0, nullptr, 0, nullptr},
      {"a single byte received", Raw({0x00}, ""), 0, nullptr, 0, nullptr},
      {"nothing received", {}, 0, nullptr, 0, nullptr},
      {"NUL ends the text", Raw({0x00, 0x14}, std::string_view("MDL:A\0PNO:B;", 12)), 1, "A", 0, nullptr},
  };
  return cases;
}

// Parsing alone, on the bytes as received.
TEST(DeviceIdParse, Table) {
  for (const IdCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    char out[quenlow::kDeviceIdBufferSize];
    std::memset(out, kUntouched, sizeof out);
    const bool name = quenlow::ExtractDeviceIdValue(c.id.data(), c.id.size(), "MODEL:", "MDL:", out);
    EXPECT_EQ(name ? 1 : 0, c.name_result);
    if (c.name_result)
      EXPECT_STREQ(out, c.name);
    else
      EXPECT_EQ(out[0], kUntouched);
    std::memset(out, kUntouched, sizeof out);
    const bool num = quenlow::ExtractDeviceIdValue(c.id.data(), c.id.size(), "PNO:", "NUM:", out);
    EXPECT_EQ(num ? 1 : 0, c.num_result);
    if (c.num_result)
      EXPECT_STREQ(out, c.num);
    else
      EXPECT_EQ(out[0], kUntouched);
  }
}

// A text that fills the whole buffer without a ";": the value is bounded by the buffer
// and NUL-terminated inside the caller's 1024 bytes.
TEST(DeviceIdParse, ValueFillingTheBufferStaysInside) {
  std::vector<BYTE> id(2000, 'x');
  id[0] = 0xFF;
  id[1] = 0xFF;
  std::memcpy(id.data() + 2, "MDL:", 4);
  std::vector<char> out(quenlow::kDeviceIdBufferSize + 16, kUntouched);
  ASSERT_TRUE(quenlow::ExtractDeviceIdValue(id.data(), id.size(), "MODEL:", "MDL:", out.data()));
  const size_t length = std::strlen(out.data());
  EXPECT_EQ(length, quenlow::kDeviceIdBufferSize - 2 - 4);
  EXPECT_EQ(out[quenlow::kDeviceIdBufferSize], kUntouched);
}

// The same table through the export road: the printer on the simulated USB bus.
class DeviceIdThroughUsb : public quenlow_test::SimWorld {};

TEST_F(DeviceIdThroughUsb, Table) {
  for (const IdCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    KvUsbSimClear();
    KvUsbSimAddPrinter(0x20D1, 0x2010, c.id.data(), static_cast<DWORD>(c.id.size()));
    quenlow::CPrinterIdentity identity;
    char out[quenlow::kDeviceIdBufferSize];
    std::memset(out, kUntouched, sizeof out);
    EXPECT_EQ(identity.GetPrinterName(out), c.name_result);
    if (c.name_result)
      EXPECT_STREQ(out, c.name);
    else
      EXPECT_EQ(out[0], kUntouched);
    std::memset(out, kUntouched, sizeof out);
    EXPECT_EQ(identity.GetPrinterNum(out), c.num_result);
    if (c.num_result)
      EXPECT_STREQ(out, c.num);
    else
      EXPECT_EQ(out[0], kUntouched);
    // The USB printer answered, so the parallel port was never touched.
    EXPECT_EQ(KvParportSimAccessCount(), 0u);
  }
}

}  // namespace
