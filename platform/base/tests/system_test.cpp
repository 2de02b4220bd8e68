#include "platform/base/system.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "child_process.h"
#include "platform/base/error.h"
#include "platform/base/trace.h"

namespace {

TEST(BaseMulDiv, RoundsHalfAwayFromZeroAndFailsWithMinusOne) {
  struct Case {
    INT a, b, c, expected;
  } cases[] = {
      {10, 3, 2, 15},
      {5, 1, 2, 3},    // 2.5
      {-5, 1, 2, -3},  // -2.5
      {5, -1, 2, -3},
      {-5, -1, 2, 3},
      {7, 1, -2, -4},  // -3.5
      {1, 1, 3, 0},    // 0.33
      {2, 1, 3, 1},    // 0.67
      {-2, 1, 3, -1},
      {10, 100, 3, 333},
      {50, 100, 3, 1667},
      {0, 5, 7, 0},
      {1, 1, 0, -1},  // divisor 0
      {0, 0, 0, -1},
      {INT_MAX, 2, 1, -1},                   // overflow
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX},  // 64-bit intermediate
      {INT_MIN, 1, 1, INT_MIN},
      {INT_MIN, -1, 1, -1},
      {300, 1440, 96, 4500},
  };
  for (const auto& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(BaseCommandLine, QuotesArgumentsAsThePlatformParsesThem) {
  kvtest::ChildProcess child({"command-line", "plain", "a b", "", "x\"y", "tail\\"});
  std::string line = child.ReadLine();
  std::string exe = std::string(KvProgramDirectory()) + "platform_base_helper";
  EXPECT_EQ(line, exe + " command-line plain \"a b\" \"\" \"x\\\"y\" tail\\");
  EXPECT_EQ(child.Wait(), 0);
}

TEST(BaseEnvironment, PlatformLengthRules) {
  ASSERT_TRUE(SetEnvironmentVariableA("KV_BASE_TEST_VAR", "value"));
  char buf[16];
  EXPECT_EQ(GetEnvironmentVariableA("KV_BASE_TEST_VAR", buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "value");
  EXPECT_EQ(GetEnvironmentVariableA("KV_BASE_TEST_VAR", buf, 5), 6u);  // needed, with NUL
  WCHAR wbuf[16];
  EXPECT_EQ(GetEnvironmentVariableW(u"KV_BASE_TEST_VAR", wbuf, 16), 5u);
  EXPECT_EQ(std::u16string(wbuf), u"value");

  ASSERT_TRUE(SetEnvironmentVariableA("KV_BASE_TEST_VAR", nullptr));
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableA("KV_BASE_TEST_VAR", buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(BaseNames, ComputerAndUser) {
  char buf[64];
  DWORD size = sizeof buf;
  ASSERT_TRUE(GetComputerNameA(buf, &size));
  EXPECT_EQ(size, std::string(buf).size());
  EXPECT_LE(size, static_cast<DWORD>(MAX_COMPUTERNAME_LENGTH));
  for (char c : std::string(buf)) EXPECT_FALSE(c >= 'a' && c <= 'z');
  DWORD tiny = 1;
  EXPECT_FALSE(GetComputerNameA(buf, &tiny));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(tiny, size + 1);

  size = sizeof buf;
  ASSERT_TRUE(GetUserNameA(buf, &size));
  EXPECT_EQ(size, std::string(buf).size() + 1);  // the platform counts the terminator here
}

TEST(BaseStrings, Helpers) {
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenA("abc"), 3);
  EXPECT_EQ(lstrlenW(u"ab"), 2);
  char buf[4];
  EXPECT_EQ(lstrcpynA(buf, "abcdef", 4), buf);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(lstrcpynA(buf, "x", 0), nullptr);
  EXPECT_EQ(lstrcmpiA("Hello", "hELLO"), 0);
  EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
  EXPECT_GT(lstrcmpiA("b", "A"), 0);
  EXPECT_LT(lstrcmpiA("ab", "abc"), 0);
}

TEST(BaseProgramDirectory, IsTheExecutablesFolder) {
  std::string dir = KvProgramDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(dir.front(), '/');
}

TEST(BaseTrace, PrintsOnlyWhenAskedFor) {
  unsetenv("KORVANE_TRACE");
  testing::internal::CaptureStderr();
  KvTrace("base", "quiet %d", 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  setenv("KORVANE_TRACE", "1", 1);
  testing::internal::CaptureStderr();
  KvTrace("base", "loaded %s (%d)", "x.dll", 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[korvane base] loaded x.dll (2)\n");
  unsetenv("KORVANE_TRACE");
}

}  // namespace
