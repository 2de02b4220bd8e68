// Global memory blocks: lock counts, reallocation and refused handles.
#include <gtest/gtest.h>

#include "platform/base/error.h"
#include "platform/base/global_memory.h"

namespace {

TEST(GlobalMemory, MoveableBlockLockCountsAndFree) {
  DWORD before = KvGlobalBlockCount();
  HGLOBAL h = GlobalAlloc(GHND, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 16u);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[15], 0);  // zero-initialised
  EXPECT_EQ(GlobalLock(h), p);
  EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 2u);
  EXPECT_TRUE(GlobalUnlock(h));  // still locked once
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GetLastError(), 158u);  // not locked
  HGLOBAL bigger = GlobalReAlloc(h, 64, GMEM_MOVEABLE | GMEM_ZEROINIT);
  EXPECT_EQ(bigger, h);
  EXPECT_EQ(GlobalSize(h), 64u);
  EXPECT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(KvGlobalBlockCount(), before);
}

TEST(GlobalMemory, BadHandlesAreRefused) {
  int local = 0;
  HGLOBAL bogus = &local;
  EXPECT_EQ(GlobalLock(bogus), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GlobalSize(bogus), 0u);
  EXPECT_EQ(GlobalFree(bogus), bogus);
  HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 8);
  EXPECT_EQ(GlobalLock(fixed), fixed);  // a fixed block's handle is its address
  EXPECT_EQ(GlobalFree(fixed), nullptr);
  EXPECT_EQ(GlobalFree(fixed), fixed);  // twice: refused, not a double free
}

}  // namespace
