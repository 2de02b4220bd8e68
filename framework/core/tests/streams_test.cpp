#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/core/classes.h"
#include "testsupport/temp_home.h"

namespace {

std::string Contents(TCustomMemoryStream& s) {
  return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

TEST(MemoryStream, GrowsAndKeepsData) {
  TMemoryStream s;
  EXPECT_EQ(s.Memory(), nullptr);
  std::string all;
  for (int i = 0; i < 5000; ++i) {
    std::string piece = std::to_string(i) + ",";
    s.WriteBuffer(piece.data(), static_cast<int>(piece.size()));
    all += piece;
  }
  EXPECT_EQ(Contents(s), all);
  EXPECT_EQ(s.Position(), s.Size());
  EXPECT_GE(s.Capacity(), s.Size());
  EXPECT_EQ(s.Capacity() % 0x2000, 0);

  // Shrinking keeps the front and pulls the position back; growing adds zeros.
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(Contents(s), "0,1");
  s.SetSize(6);
  EXPECT_EQ(Contents(s), std::string("0,1\0\0\0", 6));

  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Memory(), nullptr);

  // A first block (as a counted network read sizes it) reads as zeros too, and so does the
  // same stream grown again after its memory held other bytes.
  s.SetSize(1 << 20);
  const std::string zeros(1 << 20, '\0');
  EXPECT_EQ(Contents(s), zeros);
  std::string ones(1 << 20, '\1');
  s.SetPosition(0);
  s.WriteBuffer(ones.data(), static_cast<int>(ones.size()));
  s.SetSize(1);
  s.SetSize(1 << 20);
  EXPECT_EQ(Contents(s), "\1" + zeros.substr(1));
}

// Sized for writing: the size and position rules of SetSize, the old bytes kept; only the
// new ones are left as the memory holds them.
TEST(MemoryStream, SizedForWritingKeepsTheFrontAndTheRules) {
  TMemoryStream s;
  s.SetSizeForWriting(1 << 20);
  EXPECT_EQ(s.Size(), 1 << 20);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_GE(s.Capacity(), s.Size());
  s.WriteBuffer("abc", 3);
  s.SetSizeForWriting(5 << 20);
  EXPECT_EQ(std::string(static_cast<const char*>(s.Memory()), 3), "abc");
  s.SetPosition(4 << 20);
  s.SetSizeForWriting(2);
  EXPECT_EQ(s.Size(), 2);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_EQ(Contents(s), "ab");
  EXPECT_THROW(s.SetSizeForWriting(-1), EStreamError);
  // Afterwards SetSize zeroes again, a first block too.
  s.Clear();
  s.SetSize(1 << 20);
  EXPECT_EQ(Contents(s), std::string(1 << 20, '\0'));
}

TEST(MemoryStream, WriteBeyondTheEndFillsTheGapWithZeros) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetSize(1);  // the old bytes stay in the memory block
  s.SetPosition(4);
  s.WriteBuffer("Z", 1);
  EXPECT_EQ(Contents(s), std::string("a\0\0\0Z", 5));
}

struct SeekCase {
  int64_t offset;
  TSeekOrigin origin;
  int64_t memory;  // expected position of a 10-byte memory stream, from position 4
  int64_t string;  // and of a 10-byte string stream
};

TEST(Streams, SeekTable) {
  const SeekCase cases[] = {
      {3, soBeginning, 3, 3},
      {-5, soBeginning, 0, 0},
      {20, soBeginning, 20, 10},
      {2, soCurrent, 6, 6},
      {-9, soCurrent, 0, 0},
      {0, soEnd, 10, 10},
      {-2, soEnd, 8, 8},
      {5, soEnd, 15, 10},
      {INT64_MAX, soEnd, INT64_MAX, 10},
      {INT64_MIN, soCurrent, 0, 0},
  };
  for (const auto& c : cases) {
    TMemoryStream m;
    m.SetSize(10);
    m.SetPosition(4);
    EXPECT_EQ(m.Seek(c.offset, c.origin), c.memory) << c.offset << " " << c.origin;
    TStringStream s("0123456789");
    s.SetPosition(4);
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.string) << c.offset << " " << c.origin;
  }
  // Reading past the end gives nothing, writing there is refused for absurd positions.
  TMemoryStream m;
  m.SetSize(10);
  char b[4];
  m.SetPosition(20);
  EXPECT_EQ(m.Read(b, 4), 0);
  m.Seek(INT64_MAX, soBeginning);
  EXPECT_EQ(m.Write("x", 1), 0);
}

TEST(Streams, ReadBufferPastTheEndRaises) {
  TMemoryStream m;
  m.WriteBuffer("hello", 5);
  m.SetPosition(2);
  char buffer[8];
  try {
    m.ReadBuffer(buffer, 4);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  m.SetPosition(0);
  m.ReadBuffer(buffer, 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_THROW(m.ReadBuffer(buffer, -1), EReadError);
  m.ReadBuffer(buffer, 0);  // nothing asked, nothing wrong
}

TEST(Streams, CopyFrom) {
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  TStringStream source(big);
  source.SetPosition(1000);

  // Count 0 copies the whole source from its start, whatever its position.
  TMemoryStream all;
  EXPECT_EQ(all.CopyFrom(&source, 0), static_cast<int64_t>(big.size()));
  EXPECT_EQ(Contents(all), big);

  // A count copies from the position; more than is left raises.
  source.SetPosition(5);
  TMemoryStream part;
  EXPECT_EQ(part.CopyFrom(&source, 100), 100);
  EXPECT_EQ(Contents(part), big.substr(5, 100));
  source.SetPosition(static_cast<int64_t>(big.size()) - 10);
  EXPECT_THROW(part.CopyFrom(&source, 11), EReadError);

  // Into a stream that takes no bytes.
  struct Full : TStream {
    int Read(void*, int) override { return 0; }
    int Write(const void*, int) override { return 0; }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
  } full;
  EXPECT_THROW(full.CopyFrom(&source, 0), EWriteError);
}

TEST(StringStream, WriteOverwritesInsteadOfCutting) {
  TStringStream s("abcdef");
  s.SetPosition(2);
  s.WriteString("XY");
  EXPECT_EQ(s.DataString(), "abXYef");
  s.Seek(0, soEnd);
  s.WriteString("!");
  EXPECT_EQ(s.DataString(), "abXYef!");
  s.SetPosition(1);
  EXPECT_EQ(s.ReadString(3), "bXY");
  EXPECT_EQ(s.ReadString(100), "ef!");
  EXPECT_EQ(s.ReadString(1), "");
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_EQ(s.DataString(), "ab");
}

class FileStreams : public ::testing::Test {
 protected:
  kvtest::TempHome home;
};

TEST_F(FileStreams, CreateWriteReopenRead) {
  std::string path = home / "data.bin";
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.Size(), 10);
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
  }
  EXPECT_EQ(kvtest::ReadFile(path), "0123");

  TMemoryStream m;
  m.LoadFromFile(path);
  EXPECT_EQ(Contents(m), "0123");
  m.Seek(0, soEnd);
  m.WriteBuffer("45", 2);
  m.SaveToFile("c:\\saved.bin");  // a Windows path, mapped into the home's drive folder
  EXPECT_EQ(kvtest::ReadFile(home / "drive_c/saved.bin"), "012345");

  TFileStream r(path, fmOpenRead | fmShareDenyNone);
  char b[8];
  EXPECT_EQ(r.Read(b, 8), 4);
  EXPECT_EQ(r.Write("x", 1), 0);  // opened for reading only
  EXPECT_THROW(r.WriteBuffer("x", 1), EWriteError);
}

TEST_F(FileStreams, OpenAndCreateErrorsNameTheFileAndTheReason) {
  std::string missing = home / "missing.bin";
  try {
    TFileStream f(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    std::string text = e.what();
    EXPECT_EQ(text.rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << text;
    EXPECT_GT(text.size(), ("Cannot open file \"" + missing + "\". ").size());
  }
  std::string no_dir = home / "no/such/dir/x.bin";
  try {
    TFileStream f(no_dir, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + no_dir + "\". ", 0), 0u);
  }
  // Invalid access or share bits are refused too.
  kvtest::WriteFile(home / "x.bin", "x");
  EXPECT_THROW(TFileStream(home / "x.bin", 3), EFOpenError);
  EXPECT_THROW(TFileStream(home / "x.bin", fmOpenRead | 0x50), EFOpenError);
  EXPECT_THROW(TMemoryStream().LoadFromFile(missing), EFOpenError);
}

TEST_F(FileStreams, ShareModes) {
  std::string path = home / "shared.bin";
  TFileStream writer(path, fmCreate);  // exclusive while it is open
  EXPECT_THROW(TFileStream(path, fmOpenRead | fmShareDenyNone), EFOpenError);
}

}  // namespace
