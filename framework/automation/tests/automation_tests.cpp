#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/automation/comobj.h"
#include "framework/automation/olevariant.h"
#include "framework/automation/registry.h"
#include "framework/automation/streamadapter.h"
#include "framework/core/strings.h"
#include "platform/base/codepage.h"
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
        {"Boom", 14, TDispKind::Method, 0, [](Calc&, TDispCall&) { throw EConvertError("'x' is not a valid integer value"); }},
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
  TTypeLibRecord lib{kLib, "Shell", "Shell Library", 1, 0, 0,
                     {{kIntf, "IShellThing", "", TInterfaceKind::Dual}}, {}, {}};
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
// Registry classes.

class RegistryClasses : public ::testing::Test {
 protected:
  void SetUp() override { KvRegistryReload(); }
  void TearDown() override { KvRegistryReload(); }
  static DWORD TypeOf(const char* key, const char* value) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return 0xFFFF;
    DWORD type = 0xFFFF, size = 0;
    RegQueryValueExA(k, value, nullptr, &type, nullptr, &size);
    RegCloseKey(k);
    return type;
  }
  kvtest::TempHome home_;
};

TEST_F(RegistryClasses, TRegistryKeysValuesAndErrors) {
  TRegistry reg;
  EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Korvane\\", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Korvane\\");
  ASSERT_TRUE(reg.OpenKey("Sub", true));  // relative to the current key
  EXPECT_EQ(reg.CurrentPath(), "Software\\Korvane\\\\Sub");
  reg.WriteString("s", "text");
  reg.WriteInteger("i", 5);
  reg.WriteBool("b", true);
  reg.WriteFloat("f", 2.75);
  const BYTE bin[] = {1, 2, 3};
  reg.WriteBinaryData("bin", bin, 3);
  EXPECT_EQ(reg.ReadString("s"), "text");
  EXPECT_EQ(reg.ReadInteger("i"), 5);
  EXPECT_TRUE(reg.ReadBool("b"));
  EXPECT_EQ(reg.ReadFloat("f"), 2.75);
  EXPECT_EQ(TypeOf("Software\\Korvane\\Sub", "f"), static_cast<DWORD>(REG_BINARY));
  BYTE out[8];
  EXPECT_EQ(reg.ReadBinaryData("bin", out, 8), 3);
  EXPECT_EQ(reg.GetDataType("i"), rdInteger);
  EXPECT_EQ(reg.GetDataSize("s"), 5);
  EXPECT_EQ(reg.GetDataSize("none"), -1);
  EXPECT_EQ(reg.ReadString("none"), "");
  try {
    reg.ReadInteger("none");
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Failed to get data for 'none'");
  }
  try {
    reg.ReadInteger("s");
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 's'");
  }
  EXPECT_THROW(reg.ReadString("i"), ERegistryException);
  EXPECT_THROW(reg.ReadFloat("i"), ERegistryException);
  EXPECT_THROW(reg.ReadBinaryData("bin", out, 2), ERegistryException);
  reg.RenameValue("s", "t");
  EXPECT_FALSE(reg.ValueExists("s"));
  EXPECT_EQ(reg.ReadString("t"), "text");
  TStringList names;
  reg.GetValueNames(&names);
  EXPECT_EQ(names.Count(), 5);
  EXPECT_TRUE(reg.DeleteValue("t"));
  EXPECT_FALSE(reg.DeleteValue("t"));

  // Keys: existence, sub-keys, recursive delete, moving a key as the navigation-sound switch does.
  reg.CloseKey();
  EXPECT_TRUE(reg.KeyExists("Software\\Korvane\\Sub"));
  EXPECT_FALSE(reg.KeyExists("Software\\Nothing"));
  EXPECT_FALSE(reg.OpenKey("Software\\Nothing", false));
  ASSERT_TRUE(reg.OpenKey("AppEvents\\Schemes\\Apps\\Shell\\Navigating\\.Current", true));
  reg.WriteString("", "sound.wav");
  ASSERT_TRUE(reg.OpenKey("\\AppEvents\\Schemes\\Apps\\Shell\\Navigating\\", false));
  ASSERT_TRUE(reg.OpenKey(".Current\\Inner", true));
  ASSERT_TRUE(reg.OpenKey("\\AppEvents\\Schemes\\Apps\\Shell\\Navigating\\", false));
  reg.MoveKey(".Current", "Old_Current", true);
  EXPECT_FALSE(reg.KeyExists(".Current"));
  EXPECT_TRUE(reg.KeyExists("Old_Current\\Inner"));
  TStringList keys;
  reg.GetKeyNames(&keys);
  ASSERT_EQ(keys.Count(), 1);
  EXPECT_EQ(keys.Get(0), "Old_Current");
  ASSERT_TRUE(reg.OpenKey("Old_Current", false));
  EXPECT_EQ(reg.ReadString(""), "sound.wav");
  EXPECT_TRUE(reg.HasSubKeys());
  reg.CloseKey();
  EXPECT_TRUE(reg.DeleteKey("AppEvents"));  // with every sub-key
  EXPECT_FALSE(reg.KeyExists("AppEvents"));
  EXPECT_FALSE(reg.DeleteKey("AppEvents"));

  // Read-only keys refuse writes.
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Korvane\\Sub"));
  EXPECT_EQ(reg.ReadInteger("i"), 5);
  try {
    reg.WriteInteger("i", 6);
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Failed to set data for 'i'");
  }
  TRegistry machine(KEY_READ);
  machine.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(machine.OpenKey("Software", false));
}

TEST_F(RegistryClasses, IniStyleAccess) {
  // The shell's registry values: section = sub-key, ident = value name.
  {
    TRegistryIniFile ini("\\Software\\Vendor\\App");
    ini.WriteString("Section", "name", "value");
    ini.WriteInteger("Section", "count", 5);
    ini.WriteFloat("Section", "ratio", 0.5);
    EXPECT_EQ(ini.ReadString("Section", "name", "def"), "value");
    EXPECT_EQ(ini.ReadInteger("Section", "count", -1), 5);
    EXPECT_EQ(ini.ReadFloat("Section", "ratio", 0), 0.5);
    EXPECT_EQ(ini.ReadString("Missing", "name", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("Section", "missing", -1), -1);
  }
  EXPECT_EQ(TypeOf("Software\\Vendor\\App\\Section", "count"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(TypeOf("Software\\Vendor\\App\\Section", "ratio"), static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(TypeOf("Software\\Vendor\\App\\Section", "name"), static_cast<DWORD>(REG_SZ));

  // The zone-map form: a restricted host as the DWORD "*" = 4 in the host's sub-key.
  {
    TRegistryIniFile zones("\\Software\\Vendor\\Settings\\ZoneMap\\Domains");
    zones.WriteInteger("example.com", "*", 4);
  }
  HKEY k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER,
                          "Software\\Vendor\\Settings\\ZoneMap\\Domains\\example.com",
                          0, KEY_READ, &k),
            ERROR_SUCCESS);
  DWORD zone = 0, size = 4, type = 0;
  ASSERT_EQ(RegQueryValueExA(k, "*", nullptr, &type, reinterpret_cast<BYTE*>(&zone), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(zone, 4u);
  RegCloseKey(k);

  // TRegIniFile writes integers as text and reads either form.
  TRegIniFile old("Software\\Vendor\\App");
  old.WriteInteger("Section", "text count", 12);
  EXPECT_EQ(TypeOf("Software\\Vendor\\App\\Section", "text count"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(old.ReadInteger("Section", "text count", 0), 12);
  EXPECT_EQ(old.ReadInteger("Section", "count", 0), 5);
  EXPECT_EQ(old.ReadInteger("Section", "name", 77), 77);  // text that is not a number
  old.WriteBool("", "top", true);
  EXPECT_TRUE(old.ReadBool("", "top", false));
  TStringList list;
  old.ReadSections(&list);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0), "Section");
  old.ReadSectionValues("Section", &list);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Get(0), "name=value");
  old.DeleteKey("Section", "name");
  EXPECT_EQ(old.ReadString("Section", "name", "gone"), "gone");
  old.EraseSection("Section");
  EXPECT_EQ(old.ReadInteger("Section", "count", -1), -1);
  EXPECT_THROW(old.EraseSection("Section"), ERegistryException);
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
