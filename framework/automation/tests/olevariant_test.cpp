#include <gtest/gtest.h>

#include <string>

#include "framework/automation/olevariant.h"
#include "platform/base/codepage.h"

namespace {

TEST(OleVariant, FrameworkConversionRules) {
  EXPECT_EQ(OleVariant("800").AsInteger(), 800);
  EXPECT_EQ(OleVariant(" 12 ").AsInteger(), 12);
  EXPECT_EQ(OleVariant(600).AsInteger(), 600);
  EXPECT_EQ(OleVariant(2.5).AsInteger(), 2);
  EXPECT_EQ(OleVariant(true).AsInteger(), -1);
  EXPECT_EQ(OleVariant(false).AsInteger(), 0);
  EXPECT_EQ(OleVariant().AsInteger(), 0);
  EXPECT_EQ(OleVariant().AsString(), "");
  EXPECT_FALSE(OleVariant().AsBoolean());
  EXPECT_EQ(OleVariant(true).AsString(), "True");
  EXPECT_EQ(OleVariant(false).AsWideString(), u"False");
  EXPECT_EQ(OleVariant(1.5).AsString(), "1.5");
  EXPECT_EQ(OleVariant(1e20).AsString(), "1E20");
  EXPECT_EQ(OleVariant(-7).AsString(), "-7");
  EXPECT_EQ(OleVariant("3.25").AsDouble(), 3.25);
  EXPECT_TRUE(OleVariant("True").AsBoolean());
  EXPECT_TRUE(OleVariant(5).AsBoolean());
  EXPECT_EQ(OleVariant(int64_t{1} << 40).AsInt64(), int64_t{1} << 40);
  // ANSI text keeps its characters through the wide form.
  std::string ansi = kv::Utf8ToAnsi("发票");
  EXPECT_EQ(OleVariant(ansi).AsWideString(), u"发票");
  EXPECT_EQ(OleVariant(u"发票").AsString(), ansi);

  try {
    OleVariant("abc").AsInteger();
    FAIL() << "no exception";
  } catch (const EVariantTypeCastError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (OleStr) into type (Integer)");
    EXPECT_STREQ(e.ClassName(), "EVariantTypeCastError");
  }
  EXPECT_THROW(OleVariant::Null().AsInteger(), EVariantTypeCastError);
  EXPECT_THROW(OleVariant::Null().AsString(), EVariantTypeCastError);
  EXPECT_THROW(OleVariant("99999999999").AsInteger(), EVariantOverflowError);
  EXPECT_THROW(OleVariant("yes").AsBoolean(), EVariantError);
  EXPECT_THROW(OleVariant(3).AsDispatch(), EVariantError);
  EXPECT_EQ(OleVariant().AsDispatch(), nullptr);

  // Copies are deep; moves leave Unassigned.
  OleVariant a(u"text");
  OleVariant b = a;
  EXPECT_NE(a.Var().bstrVal, b.Var().bstrVal);
  OleVariant c = std::move(a);
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(c.AsString(), "text");
  // By-reference values are copied as the value they refer to.
  LONG held = 9;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &held;
  OleVariant from_ref(ref);
  EXPECT_EQ(from_ref.VarType(), VT_I4);
  EXPECT_EQ(from_ref.AsInteger(), 9);
}

}  // namespace
