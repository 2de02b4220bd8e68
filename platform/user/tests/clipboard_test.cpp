// The in-process clipboard: formats by name, the opener's ownership and the data it frees.
#include <gtest/gtest.h>

#include <thread>

#include "platform/base/global_memory.h"
#include "platform/user/clipboard.h"

namespace {

TEST(ClipboardStandIn, FormatsByNameAndOwnership) {
  UINT gif = RegisterClipboardFormatA("GIF Image");
  EXPECT_GE(gif, 0xC000u);
  EXPECT_EQ(RegisterClipboardFormatA("gif image"), gif);
  EXPECT_NE(RegisterClipboardFormatA("Other"), gif);
  EXPECT_EQ(RegisterClipboardFormatA(""), 0u);
  char name[32];
  EXPECT_EQ(GetClipboardFormatNameA(gif, name, sizeof name), 9);
  EXPECT_STREQ(name, "GIF Image");

  EXPECT_EQ(SetClipboardData(gif, GlobalAlloc(GHND, 4)), nullptr) << "not open";
  ASSERT_TRUE(OpenClipboard(nullptr));
  std::thread other([] { EXPECT_FALSE(OpenClipboard(nullptr)); });
  other.join();
  HGLOBAL stray = GlobalAlloc(GHND, 4);
  EXPECT_EQ(SetClipboardData(gif, stray), nullptr) << "not emptied by this opener";
  GlobalFree(stray);
  DWORD blocks = KvGlobalBlockCount();
  ASSERT_TRUE(EmptyClipboard());
  HGLOBAL data = GlobalAlloc(GHND, 4);
  EXPECT_EQ(SetClipboardData(gif, data), data);
  EXPECT_TRUE(IsClipboardFormatAvailable(gif));
  EXPECT_EQ(GetClipboardData(gif), data);
  EXPECT_EQ(EnumClipboardFormats(0), gif);
  EXPECT_EQ(EnumClipboardFormats(gif), 0u);
  ASSERT_TRUE(EmptyClipboard());  // frees the block it owned
  EXPECT_EQ(KvGlobalBlockCount(), blocks);
  EXPECT_FALSE(IsClipboardFormatAvailable(gif));
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
}

}  // namespace
