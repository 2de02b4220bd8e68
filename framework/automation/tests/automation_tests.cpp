#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/automation/comobj.h"
#include "framework/automation/dispatch.h"
#include "framework/automation/olevariant.h"
#include "framework/automation/streamadapter.h"
#include "framework/core/strings.h"
#include "platform/base/codepage.h"
#include "platform/registry/registry.h"
#include "testsupport/temp_home.h"

namespace {

struct Var : VARIANT {
  Var() { VariantInit(this); }
  explicit Var(const char16_t* s) {
    VariantInit(this);
    vt = VT_BSTR;
    bstrVal = SysAllocString(s);
  }
  explicit Var(LONG v) {
    VariantInit(this);
    vt = VT_I4;
    lVal = v;
  }
  ~Var() { VariantClear(this); }
};

// ---------------------------------------------------------------------------------------
// OleVariant.

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

// ---------------------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------------------
// Servers of an executable: start-up switches and internal classes.

class Counter : public TAutoObject<Counter> {
 public:
  static const TDispatchTable<Counter>& DispatchTable() {
    static const TDispatchTable<Counter> t = {
        {"Value", 1, TDispKind::PropertyGet, 0, [](Counter&, TDispCall& c) { c.SetResult(7); }},
    };
    return t;
  }
};

const GUID kLib = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const GUID kIntf = {0x11111112, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const GUID kInternal = {0x11111113, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

TEST(ComServer, ExecutableSwitchesAndInternalClasses) {
  kvtest::TempHome home;
  KvRegistryReload();
  TTypeLibRecord lib{kLib, "Shell", "Shell Library", 1, 0, 0, {{kIntf, "IShellThing", "", TInterfaceKind::Dual}},
                     {},   {}};
  TComServer server;
  server.SetTypeLib(&lib);
  TAutoObjectFactory<Counter> factory(server, kInternal, "Thing", "Thing", ciInternal);
  EXPECT_EQ(factory.ProgID(), "Shell.Thing");
  EXPECT_FALSE(server.IsInprocServer());

  EXPECT_FALSE(server.Initialize({"/RegServer"}));
  EXPECT_EQ(server.StartMode(), smRegServer);
  std::string dump = kv::RegistryDump();
  EXPECT_NE(dump.find("[HKEY_CLASSES_ROOT\\TypeLib\\{11111111-2222-3333-4444-555555555555}\\1.0\\0\\win32]"),
            std::string::npos)
      << dump;
  EXPECT_NE(dump.find("[HKEY_CLASSES_ROOT\\Interface\\{11111112-2222-3333-4444-555555555555}]\n@=\"IShellThing\""),
            std::string::npos);
  EXPECT_EQ(dump.find("11111113"), std::string::npos) << "an internal class is not registered";

  TComServer again;
  again.SetTypeLib(&lib);
  EXPECT_FALSE(again.Initialize({"x", "-unregserver"}));
  EXPECT_EQ(kv::RegistryDump().find("11111111"), std::string::npos);

  TComServer automation;
  EXPECT_TRUE(automation.Initialize({"-Embedding"}));
  EXPECT_EQ(automation.StartMode(), smAutomation);
  TComServer plain;
  plain.SetTypeLib(&lib);
  EXPECT_TRUE(plain.Initialize({"page.html"}));
  EXPECT_EQ(plain.StartMode(), smStandalone);
  EXPECT_NE(kv::RegistryDump().find("11111111"), std::string::npos) << "registered at every start";

  // Internal classes are made by the program, never handed out as class objects.
  void* p = nullptr;
  EXPECT_EQ(server.GetClassObject(kInternal, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  LONG before = ComServer().ObjectCount();
  IUnknown* made = factory.CreateComObject();
  EXPECT_EQ(ComServer().ObjectCount(), before + 1);
  IDispatch* d = nullptr;
  ASSERT_EQ(made->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  EXPECT_EQ(made->QueryInterface(IID_IStream, &p), E_NOINTERFACE);
  EXPECT_EQ(factory.CreateInstance(made, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
  made->Release();
  Var v;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  ASSERT_EQ(d->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
  EXPECT_EQ(v.lVal, 7);
  UINT n = 5;
  EXPECT_EQ(d->GetTypeInfoCount(&n), S_OK);
  EXPECT_EQ(n, 0u);
  d->Release();
  EXPECT_EQ(ComServer().ObjectCount(), before);
  KvRegistryReload();
}

TEST(SafeCall, SetsTheThreadErrorObject) {
  EXPECT_EQ(SafeCall(u"Src", [] {}), S_OK);
  EXPECT_EQ(SafeCall(u"Src", [] { throw Exception("broken"); }), E_UNEXPECTED);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR s, d;
  info->GetSource(&s);
  info->GetDescription(&d);
  EXPECT_EQ(kv::BstrText(s), u"Src");
  EXPECT_EQ(kv::BstrText(d), u"broken");
  SysFreeString(s);
  SysFreeString(d);
  info->Release();
  EXPECT_EQ(SafeCall(u"", [] { throw EOleSysError("", E_ACCESSDENIED); }), E_ACCESSDENIED);
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  info->Release();
  EXPECT_THROW(OleCheck(E_FAIL), EOleSysError);
  EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
}

// ---------------------------------------------------------------------------------------

TEST(StreamAdapter, IStreamOverAFrameworkStream) {
  auto* mem = new TMemoryStream;
  TStreamAdapter* adapter = new TStreamAdapter(mem, soOwned);
  ULONG n = 0;
  ASSERT_EQ(adapter->Write("hello", 5, &n), S_OK);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(mem->Size(), 5);
  LARGE_INTEGER move;
  move.QuadPart = 1;
  ULARGE_INTEGER pos;
  ASSERT_EQ(adapter->Seek(move, STREAM_SEEK_SET, &pos), S_OK);
  EXPECT_EQ(pos.QuadPart, 1u);
  char buf[8] = {};
  EXPECT_EQ(adapter->Read(buf, 8, &n), S_FALSE);
  EXPECT_EQ(std::string(buf, n), "ello");
  STATSTG st;
  ASSERT_EQ(adapter->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 5u);
  IStream* copy = SHCreateMemStream(nullptr, 0);
  move.QuadPart = 0;
  adapter->Seek(move, STREAM_SEEK_SET, nullptr);
  ULARGE_INTEGER all, r, w;
  all.QuadPart = 3;
  ASSERT_EQ(adapter->CopyTo(copy, all, &r, &w), S_OK);
  EXPECT_EQ(w.QuadPart, 3u);
  copy->Release();
  IStream* clone = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(adapter->Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(clone, nullptr);
  adapter->Release();  // frees the owned stream too
}

}  // namespace
