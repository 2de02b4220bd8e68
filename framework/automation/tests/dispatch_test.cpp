#include <gtest/gtest.h>

#include "framework/automation/dispatch.h"
#include "framework/core/exception.h"
#include "testsupport/var.h"

namespace {

using kvtest::Var;

// Dispatch tables, used directly by a class that implements IDispatch itself.

struct Calc {
  int last = 0;
  static const TDispatchTable<Calc>& Table() {
    static const TDispatchTable<Calc> t = {
        {"Sub", 10, TDispKind::Method, 2,
         [](Calc& c, TDispCall& call) {
           c.last = call.Value(0).AsInteger() - call.Value(1).AsInteger();
           call.SetResult(c.last);
         }},
        {"Opt", 11, TDispKind::Method, 2,
         [](Calc&, TDispCall& call) { call.SetResult(call.Value(1).IsEmpty() ? "missing" : "given"); }, 1},
        {"Last", 12, TDispKind::PropertyGet, 0, [](Calc& c, TDispCall& call) { call.SetResult(c.last); }},
        {"Twice", 13, TDispKind::Method, 1,
         [](Calc&, TDispCall& call) { call.SetArg(0, call.Value(0).AsInteger() * 2); }},
        {"Boom", 14, TDispKind::Method, 0,
         [](Calc&, TDispCall&) { throw EConvertError("'x' is not a valid integer value"); }},
        {"Raw", 15, TDispKind::Method, 0, [](Calc&, TDispCall&) { throw 42; }},
    };
    return t;
  }
  HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* p, VARIANT* r, EXCEPINFO* e, const TDispErrorStyle& s = {}) {
    return Table().Invoke(this, id, flags, p, r, e, nullptr, s);
  }
};

TEST(DispatchTable, ChecksCallsAndReportsExceptions) {
  Calc calc;
  Var r;
  EXCEPINFO info{};
  Var two[2] = {Var(3L), Var(10L)};  // Sub(10, 3)
  DISPPARAMS p2 = {two, nullptr, 2, 0};
  ASSERT_EQ(calc.Invoke(10, DISPATCH_METHOD, &p2, &r, &info), S_OK);
  EXPECT_EQ(r.lVal, 7);
  struct Case {
    DISPID id;
    WORD flags;
    UINT args;
    UINT named;
    HRESULT want;
  };
  DISPID named[1] = {DISPID_PROPERTYPUT};
  const Case cases[] = {
      {99, DISPATCH_METHOD, 0, 0, DISP_E_MEMBERNOTFOUND},
      {10, DISPATCH_METHOD, 1, 0, DISP_E_BADPARAMCOUNT},
      {10, DISPATCH_METHOD, 2, 1, DISP_E_NONAMEDARGS},
      {12, DISPATCH_PROPERTYPUT, 1, 1, DISP_E_MEMBERNOTFOUND},  // read-only
      {10, DISPATCH_PROPERTYGET, 2, 0, DISP_E_MEMBERNOTFOUND},  // a method is not a property
      {12, DISPATCH_METHOD, 0, 0, S_OK},                        // a getter called as a method
      {11, DISPATCH_METHOD, 0, 0, DISP_E_BADPARAMCOUNT},
      {11, DISPATCH_METHOD, 3, 0, DISP_E_BADPARAMCOUNT},
  };
  for (const auto& c : cases) {
    Var args[3] = {Var(1L), Var(2L), Var(3L)};
    DISPPARAMS p = {args, c.named ? named : nullptr, c.args, c.named};
    Var out;
    EXPECT_EQ(calc.Invoke(c.id, c.flags, &p, &out, &info), c.want) << c.id << " " << c.args;
  }
  // An optional argument left out reads as Unassigned.
  Var one[1] = {Var(1L)};
  DISPPARAMS p1 = {one, nullptr, 1, 0};
  Var opt;
  ASSERT_EQ(calc.Invoke(11, DISPATCH_METHOD, &p1, &opt, &info), S_OK);
  EXPECT_EQ(kv::BstrText(opt.bstrVal), u"missing");
  // An [in, out] argument.
  SHORT cell = 21;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I2;
  ref.piVal = &cell;
  DISPPARAMS pr = {&ref, nullptr, 1, 0};
  ASSERT_EQ(calc.Invoke(13, DISPATCH_METHOD, &pr, nullptr, &info), S_OK);
  EXPECT_EQ(cell, 42);
  Var by_value(5L);
  DISPPARAMS pv = {&by_value, nullptr, 1, 0};
  EXPECT_EQ(calc.Invoke(13, DISPATCH_METHOD, &pv, nullptr, &info), DISP_E_EXCEPTION);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);

  // A conversion that fails inside the member is an exception of the member.
  Var bad[2] = {Var(1L), Var(u"abc")};
  DISPPARAMS pb = {bad, nullptr, 2, 0};
  EXPECT_EQ(calc.Invoke(10, DISPATCH_METHOD, &pb, &r, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(kv::BstrText(info.bstrSource), u"EVariantTypeCastError");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);

  // The browser host's style: code 9999, the exception's class as source.
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  TDispErrorStyle host{9999, u""};
  ASSERT_EQ(calc.Invoke(14, DISPATCH_METHOD, &none, nullptr, &info, host), DISP_E_EXCEPTION);
  EXPECT_EQ(info.wCode, 9999);
  EXPECT_EQ(info.scode, 0);
  EXPECT_EQ(kv::BstrText(info.bstrSource), u"EConvertError");
  EXPECT_EQ(kv::BstrText(info.bstrDescription), u"'x' is not a valid integer value");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  // Anything thrown is caught; no exception information asked for is fine too.
  EXPECT_EQ(calc.Invoke(15, DISPATCH_METHOD, &none, nullptr, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(calc.Invoke(10, DISPATCH_METHOD, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST(DispatchCall, TextOfStringArgumentsIsReadInPlace) {
  Var text(u"job"), number(LONG{42}), empty;
  empty.vt = VT_BSTR;  // a null BSTR is the empty text
  BSTR held = SysAllocString(u"by ref");
  Var by_ref;
  by_ref.vt = VT_BSTR | VT_BYREF;
  by_ref.pbstrVal = &held;
  // Arguments are passed last first.
  VARIANT args[] = {empty, by_ref, number, text};
  DISPPARAMS params = {args, nullptr, 4, 0};
  TDispCall call(&params, nullptr, DISPATCH_METHOD, false);
  WideString converted;
  std::u16string_view v = call.Text(0, converted);
  EXPECT_EQ(v, u"job");
  EXPECT_EQ(v.data(), text.bstrVal);  // no copy
  EXPECT_TRUE(converted.empty());
  EXPECT_EQ(call.Text(1, converted), u"42");  // any other type is converted
  EXPECT_EQ(call.Text(2, converted).data(), held);
  EXPECT_EQ(call.Text(3, converted), u"");
  EXPECT_THROW(call.Text(4, converted), EVariantError);
  by_ref.vt = VT_EMPTY;  // the BSTR is freed below, not by the variant
  SysFreeString(held);

  VARIANT put_args[] = {text};
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put = {put_args, &named, 1, 1};
  TDispCall put_call(&put, nullptr, DISPATCH_PROPERTYPUT, true);
  EXPECT_EQ(put_call.PutText(converted).data(), text.bstrVal);
  EXPECT_THROW(call.PutText(converted), EVariantError);  // not a put
}

}  // namespace
