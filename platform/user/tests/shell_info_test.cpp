// The shell's file information: type names from the registry's classes or made from the
// extension, the page and folder icons at both sizes, and the refused arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/base/error.h"
#include "platform/registry/registry.h"
#include "platform/user/shell_info.h"
#include "testsupport/temp_home.h"

namespace {

class ShellInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvRegistryReload();
    SetDefault(".txt", "txtfile");
    SetDefault("txtfile", "Text Document");
    SetDefault(".dangling", "nosuchclass");
  }
  void TearDown() override { KvRegistryReload(); }
  static void SetDefault(const char* key, const char* value) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
    RegSetValueExA(k, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(strlen(value) + 1));
    RegCloseKey(k);
  }
  static SHFILEINFOA Info(const std::string& path, DWORD attributes, UINT flags, DWORD_PTR expect = 1) {
    SHFILEINFOA info{};
    EXPECT_EQ(SHGetFileInfoA(path.c_str(), attributes, &info, sizeof info, flags), expect) << path;
    return info;
  }

  kvtest::TempHome home_;
};

TEST_F(ShellInfoTest, TypeNamesByNameAndAttributes) {
  const struct {
    const char* path;
    DWORD attributes;
    const char* type;
  } cases[] = {
      {"C:\\Downloads\\readme.txt", FILE_ATTRIBUTE_NORMAL, "Text Document"},  // the class's name
      {"report.TXT", FILE_ATTRIBUTE_NORMAL, "Text Document"},                 // extensions without case
      {"setup.msi", FILE_ATTRIBUTE_NORMAL, "MSI File"},                       // no class
      {"a.b/archive.tar.gz", FILE_ATTRIBUTE_NORMAL, "GZ File"},               // the last extension
      {"x.dangling", FILE_ATTRIBUTE_NORMAL, "DANGLING File"},                 // a class without a name
      {"dir.v2/README", FILE_ATTRIBUTE_NORMAL, "File"},                       // no extension in the name
      {"photos.txt", FILE_ATTRIBUTE_DIRECTORY, "File Folder"},
  };
  for (const auto& c : cases) {
    SHFILEINFOA info = Info(c.path, c.attributes, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
    EXPECT_STREQ(info.szTypeName, c.type) << c.path;
    EXPECT_EQ(info.hIcon, nullptr);
  }
}

TEST_F(ShellInfoTest, WithoutTheAttributesFlagThePathMustBeThere) {
  const std::string file = home_.path() + "/notes.txt";
  std::ofstream(file) << "n";
  EXPECT_STREQ(Info(file, FILE_ATTRIBUTE_DIRECTORY, SHGFI_TYPENAME).szTypeName, "Text Document")
      << "the attributes given are ignored";
  EXPECT_STREQ(Info(home_.path(), 0, SHGFI_TYPENAME).szTypeName, "File Folder");
  SetLastError(0);
  Info(home_.path() + "/missing.txt", 0, SHGFI_TYPENAME, 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ShellInfoTest, PageAndFolderIconsAtBothSizes) {
  const struct {
    DWORD attributes;
    UINT size_flag;
    int side;
    COLORREF middle;
  } cases[] = {
      {FILE_ATTRIBUTE_NORMAL, SHGFI_LARGEICON, 32, RGB(255, 255, 255)},
      {FILE_ATTRIBUTE_NORMAL, SHGFI_SMALLICON, 16, RGB(255, 255, 255)},
      {FILE_ATTRIBUTE_DIRECTORY, SHGFI_LARGEICON, 32, RGB(240, 200, 80)},
      {FILE_ATTRIBUTE_DIRECTORY, SHGFI_SMALLICON, 16, RGB(240, 200, 80)},
  };
  for (const auto& c : cases) {
    SHFILEINFOA info = Info("f.bin", c.attributes, SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | c.size_flag);
    ASSERT_NE(info.hIcon, nullptr);
    EXPECT_EQ(info.szTypeName[0], '\0') << "no type name asked for";
    // Drawn over grey: the corner shows the ground, the middle the picture.
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateBitmap(c.side, c.side, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, c.side, c.side};
    HBRUSH grey = CreateSolidBrush(RGB(50, 60, 70));
    FillRect(dc, &all, grey);
    DeleteObject(grey);
    ASSERT_TRUE(DrawIconEx(dc, 0, 0, info.hIcon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(50, 60, 70)) << c.side;
    EXPECT_EQ(GetPixel(dc, c.side / 2, c.side * 11 / 16), c.middle) << c.side;
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    EXPECT_TRUE(DestroyIcon(info.hIcon)) << "a new icon for the caller";
  }
}

TEST_F(ShellInfoTest, RefusedArguments) {
  SHFILEINFOA info{};
  const struct {
    const char* path;
    SHFILEINFOA* info;
    UINT size;
    UINT flags;
    DWORD error;
  } cases[] = {
      {nullptr, &info, sizeof info, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES, ERROR_INVALID_PARAMETER},
      {"a.txt", nullptr, sizeof info, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES, ERROR_INVALID_PARAMETER},
      {"a.txt", &info, sizeof info - 1, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES, ERROR_INVALID_PARAMETER},
      {"a.txt", &info, sizeof info, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES | 0x200, ERROR_NOT_SUPPORTED},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(SHGetFileInfoA(c.path, 0, c.info, c.size, c.flags), 0u);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

}  // namespace
