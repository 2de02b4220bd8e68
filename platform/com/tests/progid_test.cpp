#include <gtest/gtest.h>

#include <string>

#include "platform/com/oleauto.h"
#include "platform/registry/registry.h"
#include "testsupport/temp_home.h"

namespace {

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

}  // namespace
