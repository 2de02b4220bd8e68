#include <gtest/gtest.h>

#include <string>

#include "framework/automation/comobj.h"
#include "platform/registry/registry.h"
#include "testsupport/temp_home.h"
#include "testsupport/var.h"

namespace {

using kvtest::Var;

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

}  // namespace
