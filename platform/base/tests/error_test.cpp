#include "platform/base/error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/base/system.h"

namespace {

constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

TEST(BaseLastError, IsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seen = 1;
  std::thread([&] {
    seen = GetLastError();
    SetLastError(ERROR_TIMEOUT);
  }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(BaseFormatMessage, GivesThePlatformTexts) {
  struct Case {
    DWORD code;
    const char* text;
  } cases[] = {
      {2, "The system cannot find the file specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {183, "Cannot create a file when that file already exists.\r\n"},
      {1460, "This operation returned because the timeout period expired.\r\n"},
      {12007, "The server name or address could not be resolved\r\n"},
      {12029, "A connection with the server could not be established\r\n"},
  };
  for (const auto& c : cases) {
    char buf[256];
    DWORD n = FormatMessageA(kSystem, nullptr, c.code, 0, buf, sizeof buf, nullptr);
    EXPECT_EQ(std::string(buf, n), c.text);
    WCHAR wbuf[256];
    DWORD wn = FormatMessageW(kSystem, nullptr, c.code, 0, wbuf, 256, nullptr);
    EXPECT_EQ(std::u16string(wbuf, wn), std::u16string(c.text, c.text + n));
  }
}

TEST(BaseFormatMessage, MaxWidthTurnsTheLineBreakIntoASpace) {
  char buf[64];
  DWORD n = FormatMessageA(kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, 5, 0, buf, sizeof buf, nullptr);
  EXPECT_EQ(std::string(buf, n), "Access is denied. ");
  EXPECT_EQ(FormatMessageA(kSystem | 40, nullptr, 5, 0, buf, sizeof buf, nullptr), 0u);
}

TEST(BaseFormatMessage, FailsPlainly) {
  char buf[256];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, 12345, 0, buf, sizeof buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, 5, 0, buf, 5, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "x", 0, 0, buf, sizeof buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(BaseFormatMessage, AllocatesTheBufferWhenAsked) {
  char* text = nullptr;
  DWORD n = FormatMessageA(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 2, 0, reinterpret_cast<LPSTR>(&text), 0,
                           nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, n), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(text[n], '\0');
  EXPECT_EQ(LocalFree(text), nullptr);
}

TEST(BaseErrnoMapping, CoversTheCommonCodes) {
  struct Case {
    int e;
    DWORD error;
  } cases[] = {
      {0, ERROR_SUCCESS},
      {ENOENT, ERROR_FILE_NOT_FOUND},
      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EACCES, ERROR_ACCESS_DENIED},
      {EPERM, ERROR_ACCESS_DENIED},
      {EEXIST, ERROR_FILE_EXISTS},
      {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
      {EBADF, ERROR_INVALID_HANDLE},
      {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
      {EINVAL, ERROR_INVALID_PARAMETER},
      {EPIPE, ERROR_BROKEN_PIPE},
      {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
      {ETIMEDOUT, ERROR_TIMEOUT},
      {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
      {ENOSPC, ERROR_DISK_FULL},
      {EIO, ERROR_GEN_FAILURE},
      {-12345, ERROR_GEN_FAILURE},
  };
  for (const auto& c : cases) EXPECT_EQ(KvErrnoToError(c.e), c.error) << c.e;
}

}  // namespace
