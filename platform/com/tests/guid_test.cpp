#include <gtest/gtest.h>

#include <string>

#include "platform/com/oleauto.h"

namespace {

TEST(Guid, TextForms) {
  const GUID g = {0x4EAAA8DD, 0xB1DF, 0x4F47, {0x92, 0x03, 0xCB, 0x92, 0x96, 0x50, 0x7D, 0xB3}};
  EXPECT_EQ(kv::GuidToString(g), u"{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}");
  GUID back;
  ASSERT_EQ(CLSIDFromString(u"{4eaaa8dd-b1df-4f47-9203-cb9296507db3}", &back), S_OK);
  EXPECT_TRUE(IsEqualGUID(back, g));
  OLECHAR small[38];
  EXPECT_EQ(StringFromGUID2(g, small, 38), 0);
  for (const char16_t* bad : {u"{4EAAA8DD-B1DF-4F47-9203-CB9296507DB}", u"4EAAA8DD-B1DF-4F47-9203-CB9296507DB3",
                              u"{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}x", u"{4EAAA8DD+B1DF-4F47-9203-CB9296507DB3}",
                              u"{4EAAA8DD-B1DF-4F47-9203-CB929650GDB3}"}) {
    EXPECT_EQ(IIDFromString(bad, &back), E_INVALIDARG);
  }
  LPOLESTR text;
  ASSERT_EQ(StringFromCLSID(IID_IDispatch, &text), S_OK);
  EXPECT_EQ(std::u16string(text), u"{00020400-0000-0000-C000-000000000046}");
  CoTaskMemFree(text);
}

}  // namespace
