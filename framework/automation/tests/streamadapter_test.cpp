#include <gtest/gtest.h>

#include <string>

#include "framework/automation/streamadapter.h"

namespace {

TEST(StreamAdapter, IStreamOverAFrameworkStream) {
  auto* mem = new TMemoryStream;
  TStreamAdapter* adapter = new TStreamAdapter(mem, soOwned);
  ULONG n = 0;
  ASSERT_EQ(adapter->Write("hello", 5, &n), S_OK);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(mem->Size(), 5);
  LARGE_INTEGER move;
  move.QuadPart = 1;
  ULARGE_INTEGER pos;
  ASSERT_EQ(adapter->Seek(move, STREAM_SEEK_SET, &pos), S_OK);
  EXPECT_EQ(pos.QuadPart, 1u);
  char buf[8] = {};
  EXPECT_EQ(adapter->Read(buf, 8, &n), S_FALSE);
  EXPECT_EQ(std::string(buf, n), "ello");
  STATSTG st;
  ASSERT_EQ(adapter->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 5u);
  IStream* copy = SHCreateMemStream(nullptr, 0);
  move.QuadPart = 0;
  adapter->Seek(move, STREAM_SEEK_SET, nullptr);
  ULARGE_INTEGER all, r, w;
  all.QuadPart = 3;
  ASSERT_EQ(adapter->CopyTo(copy, all, &r, &w), S_OK);
  EXPECT_EQ(w.QuadPart, 3u);
  copy->Release();
  IStream* clone = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(adapter->Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(clone, nullptr);
  adapter->Release();  // frees the owned stream too
}

}  // namespace
