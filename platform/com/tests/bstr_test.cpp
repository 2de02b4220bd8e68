#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/com/oleauto.h"
#include "testsupport/var.h"

namespace {

using kvtest::Var;

TEST(Bstr, LengthPrefixAndTerminator) {
  BSTR b = SysAllocStringLen(u"ab\0cd", 5);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 5u);
  EXPECT_EQ(SysStringByteLen(b), 10u);
  DWORD prefix;
  memcpy(&prefix, reinterpret_cast<BYTE*>(b) - 4, 4);
  EXPECT_EQ(prefix, 10u);
  EXPECT_EQ(b[5], u'\0');
  EXPECT_EQ(kv::BstrText(b), std::u16string(u"ab\0cd", 5));
  // Reallocation may take its text from the old string.
  ASSERT_TRUE(SysReAllocStringLen(&b, b + 3, 2));
  EXPECT_EQ(kv::BstrText(b), u"cd");
  SysFreeString(b);
  BSTR odd = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(odd), 3u);
  EXPECT_EQ(SysStringLen(odd), 1u);
  Var v;
  v.vt = VT_BSTR;
  v.bstrVal = odd;
  Var copy;
  ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
  EXPECT_EQ(SysStringByteLen(copy.bstrVal), 3u);
  EXPECT_NE(copy.bstrVal, v.bstrVal);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  BSTR zeros = SysAllocStringLen(nullptr, 3);
  EXPECT_EQ(zeros[0] | zeros[1] | zeros[2] | zeros[3], 0);
  SysFreeString(zeros);
}

}  // namespace
