#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "platform/com/oleauto.h"
#include "testsupport/dispatch_stub.h"
#include "testsupport/var.h"

namespace {

using kvtest::Var;

// Builds a source value from a compact description.
void Make(VARIANT& v, VARTYPE vt, double num, const char16_t* text) {
  VariantInit(&v);
  v.vt = vt;
  switch (vt) {
    case VT_BSTR: v.bstrVal = SysAllocString(text); break;
    case VT_I2: v.iVal = static_cast<SHORT>(num); break;
    case VT_I4: v.lVal = static_cast<LONG>(num); break;
    case VT_I8: v.llVal = static_cast<LONGLONG>(num); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(num); break;
    case VT_R4: v.fltVal = static_cast<float>(num); break;
    case VT_R8: v.dblVal = num; break;
    case VT_DATE: v.date = num; break;
    case VT_CY: v.cyVal.int64 = static_cast<LONGLONG>(num * 10000); break;
    case VT_BOOL: v.boolVal = num != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_ERROR: v.scode = static_cast<SCODE>(num); break;
    default: break;
  }
}

// The converted value as text, for a table of expectations.
std::string Show(const VARIANT& v) {
  char buf[64];
  switch (v.vt) {
    case VT_EMPTY: return "empty";
    case VT_NULL: return "null";
    case VT_I2: return "i2:" + std::to_string(v.iVal);
    case VT_I4: return "i4:" + std::to_string(v.lVal);
    case VT_I8: return "i8:" + std::to_string(v.llVal);
    case VT_UI1: return "ui1:" + std::to_string(v.bVal);
    case VT_UI4: return "ui4:" + std::to_string(v.ulVal);
    case VT_R4: snprintf(buf, sizeof buf, "r4:%.9g", v.fltVal); return buf;
    case VT_R8: snprintf(buf, sizeof buf, "r8:%.17g", v.dblVal); return buf;
    case VT_DATE: snprintf(buf, sizeof buf, "date:%.17g", v.date); return buf;
    case VT_CY: return "cy:" + std::to_string(v.cyVal.int64);
    case VT_BOOL: return "bool:" + std::to_string(v.boolVal);
    case VT_BSTR: {
      std::string s = "bstr:";
      for (UINT i = 0; i < SysStringLen(v.bstrVal); ++i) s += static_cast<char>(v.bstrVal[i]);
      return s;
    }
    default: return "vt:" + std::to_string(v.vt);
  }
}

struct ChangeCase {
  VARTYPE from;
  double num;
  const char16_t* text;
  VARTYPE to;
  USHORT flags;
  HRESULT hr;
  const char* want;  // Show() of the result when hr is S_OK
};

TEST(VariantChangeType, FollowsThePlatformRules) {
  const ChangeCase cases[] = {
      // text -> numbers
      {VT_BSTR, 0, u"12", VT_I4, 0, S_OK, "i4:12"},
      {VT_BSTR, 0, u"  -12  ", VT_I4, 0, S_OK, "i4:-12"},
      {VT_BSTR, 0, u"+7", VT_I2, 0, S_OK, "i2:7"},
      {VT_BSTR, 0, u"1,234", VT_I4, 0, S_OK, "i4:1234"},
      {VT_BSTR, 0, u"2.5", VT_I4, 0, S_OK, "i4:2"},  // half to even
      {VT_BSTR, 0, u"3.5", VT_I4, 0, S_OK, "i4:4"},
      {VT_BSTR, 0, u"-2.5", VT_I4, 0, S_OK, "i4:-2"},
      {VT_BSTR, 0, u"2.50001", VT_I4, 0, S_OK, "i4:3"},
      {VT_BSTR, 0, u"1e3", VT_I4, 0, S_OK, "i4:1000"},
      {VT_BSTR, 0, u"&HFF", VT_I4, 0, S_OK, "i4:255"},
      {VT_BSTR, 0, u"&HFFFF", VT_I2, 0, S_OK, "i2:-1"},
      {VT_BSTR, 0, u"&O17", VT_I4, 0, S_OK, "i4:15"},
      {VT_BSTR, 0, u"2147483647", VT_I4, 0, S_OK, "i4:2147483647"},
      {VT_BSTR, 0, u"-2147483648", VT_I4, 0, S_OK, "i4:-2147483648"},
      {VT_BSTR, 0, u"9223372036854775807", VT_I8, 0, S_OK, "i8:9223372036854775807"},
      {VT_BSTR, 0, u"2147483648", VT_I4, 0, DISP_E_OVERFLOW, nullptr},
      {VT_BSTR, 0, u"99999999999999999999999", VT_I4, 0, DISP_E_OVERFLOW, nullptr},
      {VT_BSTR, 0, u"32768", VT_I2, 0, DISP_E_OVERFLOW, nullptr},
      {VT_BSTR, 0, u"-1", VT_UI1, 0, DISP_E_OVERFLOW, nullptr},
      {VT_BSTR, 0, u"abc", VT_I4, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_BSTR, 0, u"12abc", VT_I4, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_BSTR, 0, u"", VT_I4, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_BSTR, 0, u"   ", VT_I4, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_BSTR, 0, u"1.5", VT_R8, 0, S_OK, "r8:1.5"},
      {VT_BSTR, 0, u" .25 ", VT_R8, 0, S_OK, "r8:0.25"},
      {VT_BSTR, 0, u"-1.5E-3", VT_R8, 0, S_OK, "r8:-0.0015"},
      {VT_BSTR, 0, u"1e400", VT_R8, 0, DISP_E_OVERFLOW, nullptr},
      {VT_BSTR, 0, u"1e39", VT_R4, 0, DISP_E_OVERFLOW, nullptr},
      {VT_BSTR, 0, u"1.5.5", VT_R8, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_BSTR, 0, u"12.34567", VT_CY, 0, S_OK, "cy:123457"},
      // text -> BOOL
      {VT_BSTR, 0, u"True", VT_BOOL, 0, S_OK, "bool:-1"},
      {VT_BSTR, 0, u" false ", VT_BOOL, 0, S_OK, "bool:0"},
      {VT_BSTR, 0, u"0", VT_BOOL, 0, S_OK, "bool:0"},
      {VT_BSTR, 0, u"-3", VT_BOOL, 0, S_OK, "bool:-1"},
      {VT_BSTR, 0, u"yes", VT_BOOL, 0, DISP_E_TYPEMISMATCH, nullptr},
      // numbers -> text
      {VT_I4, -42, nullptr, VT_BSTR, 0, S_OK, "bstr:-42"},
      {VT_R8, 0.1, nullptr, VT_BSTR, 0, S_OK, "bstr:0.1"},
      {VT_R8, 1.0 / 3, nullptr, VT_BSTR, 0, S_OK, "bstr:0.333333333333333"},
      {VT_R8, 0.1 + 0.2, nullptr, VT_BSTR, 0, S_OK, "bstr:0.3"},
      {VT_R8, 1e20, nullptr, VT_BSTR, 0, S_OK, "bstr:1E+20"},
      {VT_R8, 1.5e-7, nullptr, VT_BSTR, 0, S_OK, "bstr:1.5E-07"},
      {VT_R8, -0.0, nullptr, VT_BSTR, 0, S_OK, "bstr:0"},
      {VT_R8, 123456789012345.0, nullptr, VT_BSTR, 0, S_OK, "bstr:123456789012345"},
      {VT_R4, 0.1, nullptr, VT_BSTR, 0, S_OK, "bstr:0.1"},
      {VT_CY, 12.5, nullptr, VT_BSTR, 0, S_OK, "bstr:12.5"},
      {VT_CY, -0.0001, nullptr, VT_BSTR, 0, S_OK, "bstr:-0.0001"},
      {VT_BOOL, 1, nullptr, VT_BSTR, 0, S_OK, "bstr:-1"},
      {VT_BOOL, 0, nullptr, VT_BSTR, 0, S_OK, "bstr:0"},
      {VT_BOOL, 1, nullptr, VT_BSTR, VARIANT_ALPHABOOL, S_OK, "bstr:True"},
      {VT_BOOL, 0, nullptr, VT_BSTR, VARIANT_LOCALBOOL, S_OK, "bstr:False"},
      {VT_DATE, 45296.5, nullptr, VT_BSTR, 0, S_OK, "bstr:2024-1-5 12:00:00"},
      {VT_DATE, 45296, nullptr, VT_BSTR, 0, S_OK, "bstr:2024-1-5"},
      {VT_DATE, 0.25, nullptr, VT_BSTR, 0, S_OK, "bstr:6:00:00"},
      {VT_DATE, -1.25, nullptr, VT_BSTR, 0, S_OK, "bstr:1899-12-29 6:00:00"},
      // between numbers
      {VT_R8, 2.5, nullptr, VT_I4, 0, S_OK, "i4:2"},
      {VT_R8, -3.5, nullptr, VT_I4, 0, S_OK, "i4:-4"},
      {VT_R8, 3e9, nullptr, VT_I4, 0, DISP_E_OVERFLOW, nullptr},
      {VT_R8, NAN, nullptr, VT_I4, 0, DISP_E_OVERFLOW, nullptr},
      {VT_I4, 70000, nullptr, VT_I2, 0, DISP_E_OVERFLOW, nullptr},
      {VT_I4, 255, nullptr, VT_UI1, 0, S_OK, "ui1:255"},
      {VT_I4, 256, nullptr, VT_UI1, 0, DISP_E_OVERFLOW, nullptr},
      {VT_I4, 7, nullptr, VT_R8, 0, S_OK, "r8:7"},
      {VT_CY, 2.5, nullptr, VT_I4, 0, S_OK, "i4:2"},
      {VT_CY, 3.5, nullptr, VT_I4, 0, S_OK, "i4:4"},
      {VT_R8, 1.23456, nullptr, VT_CY, 0, S_OK, "cy:12346"},
      {VT_DATE, 1.75, nullptr, VT_I4, 0, S_OK, "i4:2"},
      {VT_R8, 3e6, nullptr, VT_DATE, 0, DISP_E_OVERFLOW, nullptr},
      // BOOL <-> numbers
      {VT_BOOL, 1, nullptr, VT_I4, 0, S_OK, "i4:-1"},
      {VT_BOOL, 1, nullptr, VT_R8, 0, S_OK, "r8:-1"},
      {VT_BOOL, 1, nullptr, VT_UI1, 0, S_OK, "ui1:255"},
      {VT_I4, 5, nullptr, VT_BOOL, 0, S_OK, "bool:-1"},
      {VT_R8, 0.0, nullptr, VT_BOOL, 0, S_OK, "bool:0"},
      // empty and null
      {VT_EMPTY, 0, nullptr, VT_I4, 0, S_OK, "i4:0"},
      {VT_EMPTY, 0, nullptr, VT_BSTR, 0, S_OK, "bstr:"},
      {VT_EMPTY, 0, nullptr, VT_BOOL, 0, S_OK, "bool:0"},
      {VT_EMPTY, 0, nullptr, VT_R8, 0, S_OK, "r8:0"},
      {VT_NULL, 0, nullptr, VT_I4, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_NULL, 0, nullptr, VT_BSTR, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_NULL, 0, nullptr, VT_NULL, 0, S_OK, "null"},
      {VT_I4, 3, nullptr, VT_EMPTY, 0, S_OK, "empty"},
      // text -> DATE
      {VT_BSTR, 0, u"2024-01-05", VT_DATE, 0, S_OK, "date:45296"},
      {VT_BSTR, 0, u"2024/1/5 18:00", VT_DATE, 0, S_OK, "date:45296.75"},
      {VT_BSTR, 0, u"6:00 PM", VT_DATE, 0, S_OK, "date:0.75"},
      {VT_BSTR, 0, u"2024-02-30", VT_DATE, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_BSTR, 0, u"soon", VT_DATE, 0, DISP_E_TYPEMISMATCH, nullptr},
      // types that do not convert
      {VT_ERROR, 5, nullptr, VT_I4, 0, DISP_E_TYPEMISMATCH, nullptr},
      {VT_I4, 1, nullptr, VT_BYREF | VT_I4, 0, DISP_E_BADVARTYPE, nullptr},
      {VT_I4, 1, nullptr, 99, 0, DISP_E_BADVARTYPE, nullptr},
      {99, 0, nullptr, VT_I4, 0, DISP_E_BADVARTYPE, nullptr},
  };
  for (const auto& c : cases) {
    VARIANT src;
    Make(src, c.from, c.num, c.text);
    Var dst;
    HRESULT hr = VariantChangeType(&dst, &src, c.flags, c.to);
    std::string where = Show(src) + " -> vt " + std::to_string(c.to);
    EXPECT_EQ(hr, c.hr) << where;
    if (c.want && hr == S_OK) {
      EXPECT_EQ(Show(dst), c.want) << where;
    }
    if (hr != S_OK) {
      EXPECT_EQ(dst.vt, VT_EMPTY) << where << ": a failure leaves the destination alone";
    }
    if (src.vt != 99) VariantClear(&src);
  }
}

TEST(VariantChangeType, InPlaceByRefAndObjects) {
  // In place: the source is replaced by the result.
  Var v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"41");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 41);
  // A failed in-place conversion keeps the source.
  Var s;
  s.vt = VT_BSTR;
  s.bstrVal = SysAllocString(u"x");
  EXPECT_EQ(VariantChangeType(&s, &s, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(s.vt, VT_BSTR);
  EXPECT_EQ(kv::BstrText(s.bstrVal), u"x");

  // By reference: the value pointed at converts; the referenced BSTR stays owned by its holder.
  BSTR held = SysAllocString(u"7");
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &held;
  Var out;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal, 7.0);
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_I2;
  inner.iVal = 3;
  VARIANT vref;
  VariantInit(&vref);
  vref.vt = VT_BYREF | VT_VARIANT;
  vref.pvarVal = &inner;
  ASSERT_EQ(VariantChangeType(&out, &vref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(kv::BstrText(out.bstrVal), u"3");
  VariantClear(&ref);  // does not free `held`
  EXPECT_EQ(kv::BstrText(held), u"7");
  SysFreeString(held);

  // An object converts through its value property.
  struct ValueObject final : kvtest::DispatchStub {
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT*) override {
      if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || params->cArgs) return DISP_E_MEMBERNOTFOUND;
      result->vt = VT_BSTR;
      result->bstrVal = SysAllocString(u"123");
      return S_OK;
    }
  } object;
  Var d;
  d.vt = VT_DISPATCH;
  d.pdispVal = &object;
  object.AddRef();
  ASSERT_EQ(VariantChangeType(&out, &d, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 123);
  EXPECT_EQ(VariantChangeType(&out, &d, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(VariantChangeType(&out, &d, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(out.punkVal, static_cast<IUnknown*>(&object));
  EXPECT_EQ(object.refs, 3);
  VariantClear(&out);
  VariantClear(&d);
  EXPECT_EQ(object.refs, 1);
}

}  // namespace
