#include <gtest/gtest.h>

#include "framework/core/registry.h"
#include "framework/core/strings.h"
#include "testsupport/temp_home.h"

namespace {

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
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vendor\\Settings\\ZoneMap\\Domains\\example.com", 0, KEY_READ, &k),
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

}  // namespace
