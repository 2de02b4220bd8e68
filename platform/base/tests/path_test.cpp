#include "platform/base/path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/base/error.h"
#include "testsupport/temp_home.h"

namespace {

bool IsDir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(BasePathMapping, Table) {
  kvtest::TempHome home;
  const std::string h = home.path();
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"c:\\a\\b.txt", h + "/drive_c/a/b.txt"},
      {"C:/Mixed\\Seps/f", h + "/drive_c/Mixed/Seps/f"},
      {"d:", h + "/drive_d"},
      {"D:\\", h + "/drive_d/"},
      {"c:rel\\x", h + "/drive_c/rel/x"},
      {"\\\\?\\C:\\long\\x", h + "/drive_c/long/x"},
      {"/usr/lib/x.so", "/usr/lib/x.so"},
      {"rel\\sub\\f.ini", "rel/sub/f.ini"},
      {"//tmp/x", "//tmp/x"},
      {"a:b", h + "/drive_a/b"},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::MapPath(c.in), c.out) << c.in;
  EXPECT_TRUE(IsDir(h + "/drive_c"));
  EXPECT_TRUE(IsDir(h + "/drive_d"));
}

TEST(BasePathMapping, ErrorsAndBufferSizes) {
  kvtest::TempHome home;
  char buf[8];
  SetLastError(0);
  EXPECT_EQ(KvMapPath("\\\\server\\share\\f", buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
  EXPECT_EQ(KvMapPath("", buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(KvMapPath(nullptr, buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(KvMapPath("a\\bcdefgh", buf, sizeof buf), 10u);  // needed, terminator included
  EXPECT_EQ(KvMapPath("a\\bcdef", buf, sizeof buf), 7u);
  EXPECT_STREQ(buf, "a/bcdef");
}

TEST(BasePathMapping, AnsiNamesBecomeUtf8) {
  kvtest::TempHome home;
  EXPECT_EQ(kv::MapPath("c:\\\xB7\xA2\xC6\xB1.txt"), home.path() + "/drive_c/\xE5\x8F\x91\xE7\xA5\xA8.txt");
}

TEST(BaseHomeDirectory, FollowsTheEnvironmentEachTime) {
  std::string first, second;
  {
    kvtest::TempHome a;
    first = KvHomeDirectory();
    EXPECT_EQ(first, a.path());
    setenv("KORVANE_HOME", (a.path() + "/nested/deeper/").c_str(), 1);
    EXPECT_EQ(std::string(KvHomeDirectory()), a.path() + "/nested/deeper");
    EXPECT_TRUE(IsDir(a.path() + "/nested/deeper"));
  }
  {
    kvtest::TempHome b;
    second = KvHomeDirectory();
    EXPECT_EQ(second, b.path());
  }
  EXPECT_NE(first, second);
}

TEST(BaseFolders, SystemWindowsAndTemp) {
  kvtest::TempHome home;
  char buf[512];
  UINT n = GetSystemDirectoryA(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), home.system_dir());  // no trailing separator
  EXPECT_EQ(GetSystemDirectoryA(buf, 3), n + 1);
  n = GetWindowsDirectoryA(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), home.system_dir());
  WCHAR wbuf[512];
  EXPECT_EQ(GetSystemDirectoryW(wbuf, 512), home.system_dir().size());

  unsetenv("KORVANE_SYSTEM_DIR");
  n = GetSystemDirectoryA(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), home.path() + "/system");
  EXPECT_TRUE(IsDir(home.path() + "/system"));

  DWORD t = GetTempPathA(sizeof buf, buf);
  ASSERT_GT(t, 0u);
  EXPECT_EQ(buf[t - 1], '/');
  EXPECT_EQ(GetTempPathA(1, buf), t + 1);
}

TEST(BaseFolders, TempFileNames) {
  kvtest::TempHome home;
  char name[MAX_PATH];
  std::string dir = home.path() + "/";
  UINT u = GetTempFileNameA(dir.c_str(), "kvxyz", 0, name);
  ASSERT_NE(u, 0u);
  std::string s = name;
  EXPECT_EQ(s.rfind(dir + "kvx", 0), 0u);
  EXPECT_EQ(s.substr(s.size() - 4), ".TMP");
  struct stat st;
  EXPECT_EQ(stat(name, &st), 0);  // created
  UINT v = GetTempFileNameA(home.path().c_str(), "p", 0, name);
  EXPECT_NE(v, 0u);
  EXPECT_NE(std::string(name), s);
  EXPECT_EQ(GetTempFileNameA(dir.c_str(), "ab", 0x1A2B, name), 0x1A2Bu);
  EXPECT_EQ(std::string(name), dir + "ab1A2B.TMP");
}

TEST(BaseFolders, CurrentDirectory) {
  kvtest::TempHome home;
  char saved[4096];
  DWORD n = GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_GT(n, 0u);
  ASSERT_TRUE(SetCurrentDirectoryA("c:\\"));
  char buf[4096];
  DWORD m = GetCurrentDirectoryA(sizeof buf, buf);
  EXPECT_EQ(std::string(buf, m), home.path() + "/drive_c");
  EXPECT_EQ(GetCurrentDirectoryA(2, buf), m + 1);
  EXPECT_FALSE(SetCurrentDirectoryA("c:\\missing"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(SetCurrentDirectoryA(saved));
}

}  // namespace
