#include <gtest/gtest.h>

#include "platform/com/oleauto.h"
#include "testsupport/var.h"

namespace {

using kvtest::Var;

TEST(SafeArray, VariantVectorAndMatrix) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 1, 3);
  ASSERT_NE(a, nullptr);
  VARTYPE vt;
  ASSERT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
  EXPECT_EQ(vt, VT_VARIANT);
  LONG lo, hi;
  SafeArrayGetLBound(a, 1, &lo);
  SafeArrayGetUBound(a, 1, &hi);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 3);
  Var item;
  item.vt = VT_BSTR;
  item.bstrVal = SysAllocString(u"two");
  LONG i = 2;
  ASSERT_EQ(SafeArrayPutElement(a, &i, &item), S_OK);
  i = 4;
  EXPECT_EQ(SafeArrayPutElement(a, &i, &item), DISP_E_BADINDEX);
  i = 0;
  EXPECT_EQ(SafeArrayPutElement(a, &i, &item), DISP_E_BADINDEX);
  Var holder;
  holder.vt = VT_ARRAY | VT_VARIANT;
  holder.parray = a;
  Var copy;
  ASSERT_EQ(VariantCopy(&copy, &holder), S_OK);
  EXPECT_NE(copy.parray, a);
  i = 2;
  Var got;
  ASSERT_EQ(SafeArrayGetElement(copy.parray, &i, &got), S_OK);
  EXPECT_EQ(kv::BstrText(got.bstrVal), u"two");
  EXPECT_NE(got.bstrVal, item.bstrVal);
  // A locked array is not destroyed.
  void* data;
  ASSERT_EQ(SafeArrayAccessData(copy.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&copy), DISP_E_ARRAYISLOCKED);
  SafeArrayUnaccessData(copy.parray);
  EXPECT_EQ(VariantClear(&copy), S_OK);
  SAFEARRAYBOUND grow{5, 1};
  ASSERT_EQ(SafeArrayRedim(a, &grow), S_OK);
  SafeArrayGetUBound(a, 1, &hi);
  EXPECT_EQ(hi, 5);

  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 10}};  // a(0..1, 10..12)
  SAFEARRAY* m = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(SafeArrayGetDim(m), 2u);
  SafeArrayGetLBound(m, 2, &lo);
  EXPECT_EQ(lo, 10);
  for (LONG r = 0; r < 2; ++r) {
    for (LONG c = 10; c < 13; ++c) {
      LONG idx[2] = {r, c};
      LONG value = r * 100 + c;
      ASSERT_EQ(SafeArrayPutElement(m, idx, &value), S_OK);
    }
  }
  // The first dimension varies fastest.
  auto* cells = static_cast<LONG*>(m->pvData);
  EXPECT_EQ(cells[0], 10);
  EXPECT_EQ(cells[1], 110);
  EXPECT_EQ(cells[2], 11);
  EXPECT_EQ(SafeArrayDestroy(m), S_OK);
  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
}

}  // namespace
