#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/com/oleauto.h"

namespace {

TEST(MemoryStream, ReadWriteSeekClone) {
  const BYTE start[] = {1, 2, 3};
  IStream* s = SHCreateMemStream(start, 3);
  ASSERT_NE(s, nullptr);
  BYTE buf[8];
  ULONG n = 0;
  EXPECT_EQ(s->Read(buf, 8, &n), S_FALSE);
  EXPECT_EQ(n, 3u);
  LARGE_INTEGER move;
  move.QuadPart = 5;
  ULARGE_INTEGER pos;
  ASSERT_EQ(s->Seek(move, STREAM_SEEK_SET, &pos), S_OK);  // beyond the end: a write fills the gap
  ASSERT_EQ(s->Write("\x09", 1, &n), S_OK);
  STATSTG st;
  ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 6u);
  move.QuadPart = -1;
  EXPECT_EQ(s->Seek(move, STREAM_SEEK_SET, &pos), STG_E_INVALIDFUNCTION);
  move.QuadPart = INT64_MAX;
  ASSERT_EQ(s->Seek(move, STREAM_SEEK_SET, &pos), S_OK);
  EXPECT_EQ(s->Seek(move, STREAM_SEEK_CUR, &pos), STG_E_INVALIDFUNCTION);  // past any position
  EXPECT_EQ(s->Write("\x09", 1, &n), STG_E_MEDIUMFULL);
  EXPECT_EQ(s->Read(buf, 8, &n), S_FALSE);
  EXPECT_EQ(n, 0u);
  IStream* c;
  ASSERT_EQ(s->Clone(&c), S_OK);
  move.QuadPart = 0;
  c->Seek(move, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(c->Read(buf, 6, &n), S_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 6), std::string("\x01\x02\x03\x00\x00\x09", 6));
  IStream* copy = SHCreateMemStream(nullptr, 0);
  c->Seek(move, STREAM_SEEK_SET, nullptr);
  ULARGE_INTEGER all, r, w;
  all.QuadPart = 100;
  ASSERT_EQ(c->CopyTo(copy, all, &r, &w), S_OK);
  EXPECT_EQ(w.QuadPart, 6u);
  void* q;
  EXPECT_EQ(s->QueryInterface(IID_ISequentialStream, &q), S_OK);
  static_cast<IUnknown*>(q)->Release();
  EXPECT_EQ(s->QueryInterface(IID_IDispatch, &q), E_NOINTERFACE);
  copy->Release();
  c->Release();
  s->Release();
  IStream* g;
  EXPECT_EQ(CreateStreamOnHGlobal(reinterpret_cast<HGLOBAL>(1), TRUE, &g), E_INVALIDARG);
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &g), S_OK);
  g->Release();
}

}  // namespace
