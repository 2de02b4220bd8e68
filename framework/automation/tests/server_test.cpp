// The test server KvTestServer.dll, registered with regsvr and created through COM.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/automation/comobj.h"
#include "platform/com/oleauto.h"
#include "platform/registry/registry.h"
#include "testsupport/temp_home.h"
#include "testsupport/type_text.h"
#include "testsupport/var.h"

namespace {

constexpr GUID kClsid = {0x6B1D5A20, 0x3C2F, 0x4E8A, {0x9D, 0x7B, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F}};
constexpr GUID kLibId = {0x6B1D5A1E, 0x3C2F, 0x4E8A, {0x9D, 0x7B, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F}};
constexpr GUID kIid = {0x6B1D5A1F, 0x3C2F, 0x4E8A, {0x9D, 0x7B, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F}};

std::string BinDir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string exe(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return exe.substr(0, exe.rfind('/'));
}

struct RunResult {
  int code;
  std::string output;
};

RunResult RunTool(const std::string& command) {
  RunResult r{-1, {}};
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool ServerMapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("KvTestServer.dll") != std::string::npos) return true;
  return false;
}

using kvtest::Var;

DISPID IdOf(IDispatch* d, const char16_t* name) {
  DISPID id = 0;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &n, 1, 0, &id), S_OK) << "name";
  return id;
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvRegistryReload();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
  }
  void TearDown() override {
    CoUninitialize();
    KvRegistryReload();
  }
  kvtest::TempHome home_;
  std::string bin_ = BinDir();
  std::string server_ = bin_ + "/KvTestServer.dll";
  std::string regsvr_ = bin_ + "/regsvr";
};

TEST_F(ServerTest, RegistersIsCreatedAnswersAndUnregisters) {
  RunResult reg = RunTool(regsvr_ + " " + server_);
  ASSERT_EQ(reg.code, 0) << reg.output;
  EXPECT_EQ(reg.output, "DllRegisterServer in \"" + server_ + "\" succeeded.\n");

  std::string dump = kv::RegistryDump();
  const std::string clsid = "{6B1D5A20-3C2F-4E8A-9D7B-1A2B3C4D5E6F}";
  for (const std::string& want : {
           "[HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "]\n@=\"KvTest TestObject\"\n",
           "[HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\InprocServer32]\n@=\"" + server_ +
               "\"\n\"ThreadingModel\"=\"Apartment\"\n",
           "[HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\ProgID]\n@=\"KvTest.TestObject\"\n",
           "[HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\TypeLib]\n@=\"{6B1D5A1E-3C2F-4E8A-9D7B-1A2B3C4D5E6F}\"\n",
           "[HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\Version]\n@=\"1.0\"\n",
           std::string("[HKEY_CLASSES_ROOT\\KvTest.TestObject\\CLSID]\n@=\"") + clsid + "\"\n",
           std::string(
               "[HKEY_CLASSES_ROOT\\TypeLib\\{6B1D5A1E-3C2F-4E8A-9D7B-1A2B3C4D5E6F}\\1.0]\n@=\"KvTest Library\"\n"),
           "[HKEY_CLASSES_ROOT\\TypeLib\\{6B1D5A1E-3C2F-4E8A-9D7B-1A2B3C4D5E6F}\\1.0\\0\\win32]\n@=\"" + server_ +
               "\"\n",
           "[HKEY_CLASSES_ROOT\\TypeLib\\{6B1D5A1E-3C2F-4E8A-9D7B-1A2B3C4D5E6F}\\1.0\\HELPDIR]\n@=\"" + bin_ + "\"\n",
           std::string("[HKEY_CLASSES_ROOT\\Interface\\{6B1D5A1F-3C2F-4E8A-9D7B-1A2B3C4D5E6F}\\ProxyStubClsid32]\n"
                       "@=\"{00020424-0000-0000-C000-000000000046}\"\n"),
           std::string("[HKEY_CLASSES_ROOT\\Interface\\{6B1D5A1F-3C2F-4E8A-9D7B-1A2B3C4D5E6F}\\TypeLib]\n"
                       "@=\"{6B1D5A1E-3C2F-4E8A-9D7B-1A2B3C4D5E6F}\"\n\"Version\"=\"1.0\"\n"),
       }) {
    EXPECT_NE(dump.find(want), std::string::npos) << want << "\nin:\n" << dump;
  }

  // By class ID and by ProgID.
  IDispatch* a = nullptr;
  ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&a)), S_OK);
  CLSID by_name;
  ASSERT_EQ(CLSIDFromProgID(u"KvTest.TestObject", &by_name), S_OK);
  EXPECT_TRUE(IsEqualGUID(by_name, kClsid));
  IDispatch* b = nullptr;
  ASSERT_EQ(CoCreateInstance(by_name, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_NE(a, b);  // a new object per request
  EXPECT_EQ(KvComLoadedServerCount(), 1u);

  // Names without case.
  EXPECT_EQ(IdOf(a, u"add"), 1);
  EXPECT_EQ(IdOf(a, u"ADD"), 1);
  EXPECT_EQ(IdOf(a, u"jOiN"), 2);
  DISPID id;
  LPOLESTR unknown = const_cast<LPOLESTR>(u"Nothing");
  EXPECT_EQ(a->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);

  // Arguments come last first.
  Var args[3] = {Var(u"c"), Var(u"b"), Var(u"a")};
  DISPPARAMS params = {args, nullptr, 3, 0};
  Var result;
  EXCEPINFO info{};
  ASSERT_EQ(a->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, &result, &info, nullptr), S_OK);
  EXPECT_EQ(kv::BstrText(result.bstrVal), u"a|b|c");
  Var sum_args[2] = {Var(2L), Var(u"40")};
  DISPPARAMS sum = {sum_args, nullptr, 2, 0};
  Var total;
  ASSERT_EQ(a->Invoke(1, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &sum, &total, &info, nullptr), S_OK);
  EXPECT_EQ(total.vt, VT_I4);
  EXPECT_EQ(total.lVal, 42);

  // A property put: the value is the named argument DISPID_PROPERTYPUT.
  Var value(u"changed");
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS put = {&value, &put_id, 1, 1};
  ASSERT_EQ(a->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, &info, nullptr), S_OK);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  Var name;
  ASSERT_EQ(a->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &name, &info, nullptr), S_OK);
  EXPECT_EQ(kv::BstrText(name.bstrVal), u"changed");
  Var other;
  ASSERT_EQ(b->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &other, &info, nullptr), S_OK);
  EXPECT_EQ(kv::BstrText(other.bstrVal), u"initial");

  // A C++ exception becomes DISP_E_EXCEPTION with source and description.
  ASSERT_EQ(a->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &info, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(kv::BstrText(info.bstrSource), u"KvTest.TestObject");
  EXPECT_EQ(kv::BstrText(info.bstrDescription), u"bad value");
  EXPECT_EQ(info.scode, E_UNEXPECTED);
  EXPECT_EQ(info.wCode, 0);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);

  // The same through late-bound calls by name.
  EXPECT_EQ(DispatchInvoke(b, u"join", DISPATCH_METHOD, {OleVariant("x"), OleVariant(2), OleVariant(true)}).AsString(),
            "x|2|True");
  DispatchInvoke(b, u"Name", DISPATCH_PROPERTYPUT, {OleVariant("late")});
  EXPECT_EQ(DispatchInvoke(b, u"NAME", DISPATCH_PROPERTYGET, {}).AsString(), "late");
  try {
    DispatchInvoke(b, u"Fail", DISPATCH_METHOD, {});
    FAIL() << "no exception";
  } catch (const EOleException& e) {
    EXPECT_EQ(e.Message(), "bad value");
    EXPECT_EQ(e.Source, "KvTest.TestObject");
    EXPECT_EQ(e.ErrorCode(), E_UNEXPECTED);
  }
  try {
    DispatchInvoke(b, u"Missing", DISPATCH_METHOD, {});
    FAIL() << "no exception";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), DISP_E_UNKNOWNNAME);
  }
  EXPECT_THROW(DispatchInvoke(b, 1, DISPATCH_METHOD, {OleVariant(1)}), EOleSysError);  // bad parameter count
  SHORT key = 0x21;  // an [in, out] argument, as an event sink's key code
  DispatchInvoke(b, u"Double", DISPATCH_METHOD, {OleVariant::ByRef(VT_I2, &key)});
  EXPECT_EQ(key, 0x42);

  // While objects live, or the server is locked, the library stays.
  IClassFactory* factory = nullptr;
  ASSERT_EQ(
      CoGetClassObject(kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
      S_OK);
  factory->LockServer(TRUE);
  factory->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(KvComLoadedServerCount(), 1u);
  a->Release();
  b->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(KvComLoadedServerCount(), 1u);
  factory->LockServer(FALSE);
  CoFreeUnusedLibraries();
  EXPECT_EQ(KvComLoadedServerCount(), 0u);
  EXPECT_FALSE(ServerMapped());

  RunResult unreg = RunTool(regsvr_ + " -u " + server_);
  ASSERT_EQ(unreg.code, 0) << unreg.output;
  EXPECT_EQ(unreg.output, "DllUnregisterServer in \"" + server_ + "\" succeeded.\n");
  dump = kv::RegistryDump();
  EXPECT_EQ(dump.find("6B1D5A"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("KvTest"), std::string::npos) << dump;
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &p), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CLSIDFromProgID(u"KvTest.TestObject", &by_name), CO_E_CLASSSTRING);
}

TEST_F(ServerTest, TypeInformationComesFromTheRegisteredLibrary) {
  ITypeLib* lib = nullptr;
  EXPECT_EQ(LoadRegTypeLib(kLibId, 1, 0, 0, &lib), TYPE_E_LIBNOTREGISTERED);
  RunResult reg = RunTool(regsvr_ + " " + server_);
  ASSERT_EQ(reg.code, 0) << reg.output;
  KvRegistryReload();  // what regsvr wrote
  EXPECT_EQ(LoadRegTypeLib(kLibId, 2, 0, 0, &lib), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(kLibId, 1, 1, 0, &lib), TYPE_E_LIBNOTREGISTERED);

  // Read from the server's file, which is not kept loaded; the library outlives it.
  ASSERT_EQ(LoadRegTypeLib(kLibId, 1, 0, 2052, &lib), S_OK);
  EXPECT_FALSE(ServerMapped());
  ASSERT_EQ(lib->GetTypeInfoCount(), 2u);
  ITypeInfo* intf = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(kIid, &intf), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(intf->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FDUAL, TYPEFLAG_FDUAL);
  intf->ReleaseTypeAttr(attr);
  // Members with a signature as declared; without one, variant parameters and result.
  EXPECT_EQ(kvtest::MemberLines(intf), (std::vector<std::string>{
                                           "Add func 1 (in i4 A, in i4 B, out retval *i4 Sum) hresult",
                                           "Join func 2 (in variant, in variant, in opt variant) variant",
                                           "Name get 3 (out retval *bstr Value) hresult",
                                           "Name put 3 (in bstr Value) hresult",
                                           "Fail func 4 () variant",
                                           "Double func 5 (in out *i4 Value) hresult",
                                           "Objects get 6 () variant",
                                       }));
  LPOLESTR names[2] = {const_cast<LPOLESTR>(u"aDD"), const_cast<LPOLESTR>(u"b")};
  MEMBERID ids[2] = {};
  EXPECT_EQ(intf->GetIDsOfNames(names, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 1);
  names[1] = const_cast<LPOLESTR>(u"C");
  EXPECT_EQ(intf->GetIDsOfNames(names, 2, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[1], MEMBERID_NIL);
  FUNCDESC* fd = nullptr;
  EXPECT_EQ(intf->GetFuncDesc(7, &fd), TYPE_E_ELEMENTNOTFOUND);

  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(kClsid, &coclass), S_OK);
  ITypeInfo* by_ref = kvtest::ImplementedType(coclass, IMPLTYPEFLAG_FDEFAULT);
  EXPECT_EQ(by_ref, intf);
  EXPECT_EQ(kvtest::ImplementedType(coclass, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE), nullptr);
  if (by_ref) by_ref->Release();
  coclass->Release();

  // The object answers the same type information.
  IDispatch* object = nullptr;
  ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
            S_OK);
  UINT count = 0;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* answered = nullptr;
  EXPECT_EQ(object->GetTypeInfo(1, 0, &answered), DISP_E_BADINDEX);
  ASSERT_EQ(object->GetTypeInfo(0, 0, &answered), S_OK);
  EXPECT_TRUE(IsEqualGUID(kvtest::TypeGuid(answered), kIid));
  EXPECT_EQ(kvtest::MemberLines(answered), kvtest::MemberLines(intf));
  ITypeLib* containing = nullptr;
  UINT index = 9;
  ASSERT_EQ(answered->GetContainingTypeLib(&containing, &index), S_OK);
  EXPECT_EQ(index, 0u);
  BSTR name = nullptr;
  EXPECT_EQ(containing->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(kv::BstrText(name), u"KvTest");
  SysFreeString(name);
  containing->Release();
  answered->Release();
  object->Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ServerMapped());
  // Still readable with the server gone.
  EXPECT_EQ(kvtest::MemberLines(intf).size(), 7u);
  intf->Release();
  lib->Release();

  ASSERT_EQ(RunTool(regsvr_ + " -u " + server_).code, 0);
  KvRegistryReload();
  EXPECT_EQ(LoadRegTypeLib(kLibId, 1, 0, 0, &lib), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadTypeLib(u"/nonexistent/KvNothing.dll", &lib), TYPE_E_CANTLOADLIBRARY);
}

TEST_F(ServerTest, RegsvrCommandLineAndFailures) {
  RunResult r = RunTool(regsvr_);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("Usage: regsvr"), std::string::npos);
  EXPECT_EQ(RunTool(regsvr_ + " -x " + server_).code, 1);
  EXPECT_EQ(RunTool(regsvr_ + " a.dll b.dll").code, 1);
  r = RunTool(regsvr_ + " " + home_.path() + "/Missing.dll");
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.output.find("failed to load"), std::string::npos) << r.output;
  // A loadable file without the entry points.
  r = RunTool(regsvr_ + " " + bin_ + "/libplatform.so");
  EXPECT_EQ(r.code, 4) << r.output;
  EXPECT_NE(r.output.find("has no DllRegisterServer entry point"), std::string::npos) << r.output;
  // A server whose registration fails: the tool says so and ends with an error.
  kvtest::WriteFile(home_ / "registry.txt", "torn");
  r = RunTool(regsvr_ + " " + server_);
  EXPECT_EQ(r.code, 5) << r.output;
  EXPECT_NE(r.output.find("DllRegisterServer in \"" + server_ + "\" failed, return code 0x80040201"), std::string::npos)
      << r.output;
  std::filesystem::remove(home_ / "registry.txt");
  // Silent and "/U" spelling.
  r = RunTool(regsvr_ + " /s " + server_);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.output, "");
  r = RunTool(regsvr_ + " /U /S " + server_);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(kv::RegistryDump().find("KvTest"), std::string::npos);
  // A relative file name is registered by its full path.
  r = RunTool("cd " + bin_ + " && ./regsvr ./KvTestServer.dll");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(kv::RegistryDump().find("@=\"" + server_ + "\"\n\"ThreadingModel\""), std::string::npos);
  // A bare name is found in the current folder too.
  std::string copy = home_ / "Copy.dll";
  std::filesystem::copy_file(server_, copy);
  r = RunTool("cd " + home_.path() + " && " + regsvr_ + " -u Copy.dll");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(r.output, "DllUnregisterServer in \"Copy.dll\" succeeded.\n");
  EXPECT_EQ(kv::RegistryDump().find("KvTest"), std::string::npos);
}

}  // namespace
