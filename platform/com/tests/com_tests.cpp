#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/com/connpoint.h"
#include "platform/com/oleauto.h"
#include "platform/registry/registry.h"
#include "testsupport/temp_home.h"

namespace {

// A VARIANT that clears itself.
struct Var : VARIANT {
  Var() { VariantInit(this); }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};

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
  struct ValueObject final : IDispatch {
    int refs = 1;
    HRESULT QueryInterface(REFIID riid, void** p) override {
      if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *p = this;
        ++refs;
        return S_OK;
      }
      *p = nullptr;
      return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT* n) override {
      *n = 0;
      return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
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

TEST(ProgId, LooksUpTheClassesTree) {
  kvtest::TempHome home;
  KvRegistryReload();
  const GUID g = {0x4EAAA8DD, 0xB1DF, 0x4F47, {0x92, 0x03, 0xCB, 0x92, 0x96, 0x50, 0x7D, 0xB3}};
  CLSID c;
  EXPECT_EQ(CLSIDFromProgID(u"Zorbel.Dravik", &c), CO_E_CLASSSTRING);
  LPOLESTR prog;
  EXPECT_EQ(ProgIDFromCLSID(g, &prog), REGDB_E_CLASSNOTREG);
  ASSERT_EQ(
      RegSetValueA(HKEY_CLASSES_ROOT, "Zorbel.Dravik\\CLSID", REG_SZ, "{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}", 0),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "CLSID\\{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}\\ProgID", REG_SZ,
                         "Zorbel.Dravik", 0),
            ERROR_SUCCESS);
  ASSERT_EQ(CLSIDFromProgID(u"zorbel.dravik", &c), S_OK);
  EXPECT_TRUE(IsEqualGUID(c, g));
  ASSERT_EQ(CLSIDFromString(u"Zorbel.Dravik", &c), S_OK);
  ASSERT_EQ(ProgIDFromCLSID(g, &prog), S_OK);
  EXPECT_EQ(std::u16string(prog), u"Zorbel.Dravik");
  CoTaskMemFree(prog);
  // Without COM initialised nothing is created; an unregistered class is reported as such.
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(g, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), CO_E_NOTINITIALIZED);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoCreateInstance(g, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "CLSID\\{4EAAA8DD-B1DF-4F47-9203-CB9296507DB3}\\InprocServer32", REG_SZ,
                         "c:\\nowhere\\Missing.ocx", 0),
            ERROR_SUCCESS);
  HRESULT hr = CoCreateInstance(g, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_WIN32);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(CoCreateInstance(g, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  CoUninitialize();
  CoUninitialize();
  KvRegistryReload();
}

TEST(MemoryStream, ReadWriteSeekClone) {
  const BYTE start[] = {1, 2, 3};
  IStream* s = SHCreateMemStream(start, 3);
  ASSERT_NE(s, nullptr);
  BYTE buf[8];
  ULONG n = 0;
  EXPECT_EQ(s->Read(buf, 8, &n), S_FALSE);
  EXPECT_EQ(n, 3u);
  LARGE_INTEGER move;
  move.QuadPart = 5;
  ULARGE_INTEGER pos;
  ASSERT_EQ(s->Seek(move, STREAM_SEEK_SET, &pos), S_OK);  // beyond the end: a write fills the gap
  ASSERT_EQ(s->Write("\x09", 1, &n), S_OK);
  STATSTG st;
  ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 6u);
  move.QuadPart = -1;
  EXPECT_EQ(s->Seek(move, STREAM_SEEK_SET, &pos), STG_E_INVALIDFUNCTION);
  move.QuadPart = INT64_MAX;
  ASSERT_EQ(s->Seek(move, STREAM_SEEK_SET, &pos), S_OK);
  EXPECT_EQ(s->Seek(move, STREAM_SEEK_CUR, &pos), STG_E_INVALIDFUNCTION);  // past any position
  EXPECT_EQ(s->Write("\x09", 1, &n), STG_E_MEDIUMFULL);
  EXPECT_EQ(s->Read(buf, 8, &n), S_FALSE);
  EXPECT_EQ(n, 0u);
  IStream* c;
  ASSERT_EQ(s->Clone(&c), S_OK);
  move.QuadPart = 0;
  c->Seek(move, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(c->Read(buf, 6, &n), S_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 6), std::string("\x01\x02\x03\x00\x00\x09", 6));
  IStream* copy = SHCreateMemStream(nullptr, 0);
  c->Seek(move, STREAM_SEEK_SET, nullptr);
  ULARGE_INTEGER all, r, w;
  all.QuadPart = 100;
  ASSERT_EQ(c->CopyTo(copy, all, &r, &w), S_OK);
  EXPECT_EQ(w.QuadPart, 6u);
  void* q;
  EXPECT_EQ(s->QueryInterface(IID_ISequentialStream, &q), S_OK);
  static_cast<IUnknown*>(q)->Release();
  EXPECT_EQ(s->QueryInterface(IID_IDispatch, &q), E_NOINTERFACE);
  copy->Release();
  c->Release();
  s->Release();
  IStream* g;
  EXPECT_EQ(CreateStreamOnHGlobal(reinterpret_cast<HGLOBAL>(1), TRUE, &g), E_INVALIDARG);
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &g), S_OK);
  g->Release();
}

TEST(ErrorInfo, ThreadErrorObject) {
  ICreateErrorInfo* create;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetSource(const_cast<LPOLESTR>(u"Korvane.BrowserToHost"));
  create->SetDescription(const_cast<LPOLESTR>(u"bad value"));
  IErrorInfo* info;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  create->Release();
  SetErrorInfo(0, info);
  info->Release();
  IErrorInfo* got;
  ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
  BSTR d;
  got->GetDescription(&d);
  EXPECT_EQ(kv::BstrText(d), u"bad value");
  SysFreeString(d);
  got->Release();
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
}

}  // namespace

namespace {

// An event source with one outgoing dispatch interface.
const IID kEvents = {0xE02B8B3B, 0x956C, 0x400B, {0x88, 0xE0, 0x76, 0x4E, 0xDE, 0xC1, 0xB7, 0x51}};

struct Source final : IConnectionPointContainer {
  int refs = 1;
  kv::ConnectionPoint* point = new kv::ConnectionPoint(this, kEvents);
  ~Source() {
    point->Detach();
    point->Release();
  }
  HRESULT QueryInterface(REFIID riid, void** p) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPointContainer)) {
      *p = this;
      ++refs;
      return S_OK;
    }
    *p = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override {
    *out = new kv::EnumConnectionPoints({point});
    return S_OK;
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    *out = nullptr;
    if (!IsEqualIID(riid, kEvents)) return CONNECT_E_NOCONNECTION;
    point->AddRef();
    *out = point;
    return S_OK;
  }
};

struct Sink final : IDispatch {
  int refs = 1;
  int calls = 0;
  bool speaks_events = true;
  HRESULT QueryInterface(REFIID riid, void** p) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        (speaks_events && IsEqualIID(riid, kEvents))) {
      *p = this;
      ++refs;
      return S_OK;
    }
    *p = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    ++calls;
    return S_OK;
  }
};

TEST(ConnectionPoint, AdviseRaiseUnadviseAndEnumerate) {
  Sink sink, mute;
  mute.speaks_events = false;
  {
    Source source;
    IConnectionPoint* cp = nullptr;
    ASSERT_EQ(source.FindConnectionPoint(kEvents, &cp), S_OK);
    EXPECT_EQ(cp, source.point);
    cp->Release();
    EXPECT_EQ(source.FindConnectionPoint(IID_IDispatch, &cp), CONNECT_E_NOCONNECTION);
    cp = source.point;
    DWORD c1 = 0, c2 = 0, none = 7;
    ASSERT_EQ(cp->Advise(&sink, &c1), S_OK);
    ASSERT_EQ(cp->Advise(&sink, &c2), S_OK);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(cp->Advise(&mute, &none), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(none, 0u);
    EXPECT_EQ(sink.refs, 3);
    for (IUnknown* s : source.point->Sinks()) {
      static_cast<IDispatch*>(s)->Invoke(201, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
      s->Release();
    }
    EXPECT_EQ(sink.calls, 2);
    IEnumConnections* e;
    ASSERT_EQ(cp->EnumConnections(&e), S_OK);
    CONNECTDATA items[3];
    ULONG got = 0;
    EXPECT_EQ(e->Next(3, items, &got), S_FALSE);
    EXPECT_EQ(got, 2u);
    for (ULONG i = 0; i < got; ++i) items[i].pUnk->Release();
    e->Release();
    EXPECT_EQ(cp->Unadvise(c1), S_OK);
    EXPECT_EQ(cp->Unadvise(c1), CONNECT_E_NOCONNECTION);
    IConnectionPointContainer* back = nullptr;
    ASSERT_EQ(cp->GetConnectionPointContainer(&back), S_OK);
    EXPECT_EQ(back, &source);
    back->Release();
    IEnumConnectionPoints* points;
    ASSERT_EQ(source.EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* first = nullptr;
    EXPECT_EQ(points->Next(1, &first, nullptr), S_OK);
    EXPECT_EQ(first, cp);
    first->Release();
    points->Release();
  }
  // The source went away: its sinks were let go.
  EXPECT_EQ(sink.refs, 1);
}

}  // namespace
