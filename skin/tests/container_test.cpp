// The container's compression (round trips through the test encoder), its body layout
// and the lookups by name, and damaged containers of every kind.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/user/user.h"
#include "platform/user/testing.h"
#include "skin/skin_reader.h"
#include "tools/skinpack/skin_packer.h"
#include "skin/texts.h"

using namespace skinpack;

namespace {

Bytes Random(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Text with words repeated at distances up to well beyond the ring buffer.
Bytes TextLike(size_t n) {
  static const char* words[] = {"Caption", "Frame",  "Stretch",    "=1\r\n", "[Personality]\r\n",
                                "Colour",  "Button", "0x00FF00FF", "Bitmap", ".bmp",
                                "Top",     "Left"};
  std::mt19937 rng(7);
  std::string s;
  while (s.size() < n) s += words[rng() % 12];
  s.resize(n);
  return ToBytes(s);
}

void Fill(TStream& stream, const Bytes& bytes) {
  stream.SetSize(0);
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

Bytes Contents(TMemoryStream& stream) {
  const auto* p = static_cast<const uint8_t*>(stream.Memory());
  return Bytes(p, p + stream.Size());
}

Bytes Unpack(const Bytes& container) {
  TMemoryStream in, out;
  Fill(in, container);
  TLZH lzh;
  lzh.Unpack(&in, &out);
  return Contents(out);
}

// The message of the ElzhException that `f` raises, or "" when it raises none.
template <typename Fn>
std::string LzhError(Fn f) {
  try {
    f();
  } catch (const ElzhException& e) {
    EXPECT_STREQ(e.ClassName(), "ElzhException");
    return e.Message();
  }
  return "";
}

// ---- compression --------------------------------------------------------------------------

TEST(SkinLzh, RoundTripsOfEveryShape) {
  struct Case {
    const char* what;
    Bytes data;
  };
  Bytes all_values;
  for (int i = 0; i < 256 * 3; ++i) all_values.push_back(static_cast<uint8_t>(i));
  const Case cases[] = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"spaces matched against the pre-filled ring", ToBytes(std::string(200, ' '))},
      {"one byte repeated", Bytes(100000, 'a')},
      {"every byte value", all_values},
      // Over 32454 literals: the tree is rebuilt at least once.
      {"random, larger than the ring", Random(70000, 1)},
      {"text, larger than the ring", TextLike(300000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes container = Container(c.data);
    EXPECT_EQ(Unpack(container), c.data);
  }
  // Matches are really taken: repetitive data shrinks to a small fraction.
  EXPECT_LT(Container(Bytes(100000, 'a')).size(), 4000u);
  EXPECT_LT(Container(TextLike(300000)).size(), 300000u / 4);
}

TEST(SkinLzh, FirstSymbolOfTheInitialTree) {
  // With every frequency 1, nine 0 bits lead to symbol 116 and nine 1 bits to 115.
  EXPECT_EQ(Unpack({1, 0, 0, 0, 0x00, 0x00}), ToBytes("t"));
  EXPECT_EQ(Unpack({1, 0, 0, 0, 0xFF, 0x80}), ToBytes("s"));
}

TEST(SkinLzh, TreeKeepsItsOrderThroughRebuilds) {
  // Skewed symbols, as real data gives: the root reaches the rebuild threshold several
  // times. After every step the tree must stay a Huffman tree in sibling order.
  lzh::Tree tree;
  tree.Start();
  std::mt19937 rng(5);
  int rebuilds = 0;
  for (int step = 0; step < 120000; ++step) {
    const int c = (rng() % 4 == 0) ? static_cast<int>(rng() % lzh::N_CHAR) : static_cast<int>(rng() % 8);
    const unsigned root_before = tree.freq[lzh::R];
    tree.Update(c);
    if (tree.freq[lzh::R] < root_before) ++rebuilds;
    if (step % 997 != 0 && step != 119999) continue;
    ASSERT_LE(tree.freq[lzh::R], lzh::MAX_FREQ);
    for (int i = 0; i + 1 < lzh::T; ++i) ASSERT_LE(tree.freq[i], tree.freq[i + 1]) << "step " << step;
    std::vector<int> leaves(lzh::N_CHAR, 0);
    for (int i = 0; i < lzh::T; ++i) {
      const int k = tree.son[i];
      if (k >= lzh::T) {
        ++leaves[static_cast<size_t>(k - lzh::T)];
        ASSERT_EQ(tree.prnt[k], i);
      } else {
        ASSERT_EQ(tree.freq[i], tree.freq[k] + tree.freq[k + 1]);
        ASSERT_EQ(tree.prnt[k], i);
        ASSERT_EQ(tree.prnt[k + 1], i);
      }
    }
    for (int n : leaves) ASSERT_EQ(n, 1);
  }
  EXPECT_GE(rebuilds, 3);
}

TEST(SkinLzh, DecodeCallsBackByteByByte) {
  const Bytes data = TextLike(5000);
  const Bytes packed = LzhCompress(data);
  size_t at = 0;
  int largest_request = 0;
  Bytes out;
  TLZH lzh;
  lzh.Decode(
      static_cast<uint32_t>(data.size()),
      [&](void* buffer, int count) {
        largest_request = std::max(largest_request, count);
        const int n = std::min<int>(count, static_cast<int>(packed.size() - at));
        std::memcpy(buffer, packed.data() + at, static_cast<size_t>(n));
        at += static_cast<size_t>(n);
        return n;
      },
      [&](uint8_t b) { out.push_back(b); });
  EXPECT_EQ(out, data);
  EXPECT_EQ(largest_request, 1);
}

TEST(SkinLzh, DamagedStreamsRaiseElzhException) {
  const Bytes good = Container(Random(20000, 2));
  Bytes half(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  EXPECT_EQ(LzhError([&] { Unpack(half); }), skin_texts::kTruncated);
  // Only the size field, or not even that.
  EXPECT_EQ(LzhError([&] { Unpack({0x10, 0, 0, 0}); }), skin_texts::kTruncated);
  EXPECT_EQ(LzhError([&] { Unpack({0x10, 0}); }), skin_texts::kTruncated);
  // A size at the limit with almost no data ends early instead of producing 64 MB.
  EXPECT_EQ(LzhError([&] { Unpack({0x00, 0x00, 0x00, 0x04, 0x12, 0x34}); }), skin_texts::kTruncated);
  // A size beyond the limit is refused before anything is allocated.
  EXPECT_EQ(LzhError([&] { Unpack({0x01, 0x00, 0x00, 0x04, 0x12, 0x34}); }), skin_texts::kRawSizeTooLarge);
  EXPECT_EQ(LzhError([&] { Unpack({0xFF, 0xFF, 0xFF, 0xFF, 0x12, 0x34}); }), skin_texts::kRawSizeTooLarge);
}

// ---- reader ---------------------------------------------------------------------------------

class SkinReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvMessageBoxLogClear();
    KvMessageBoxScriptClear();
  }

  bool Load(const Bytes& body) {
    TMemoryStream container;
    Fill(container, Container(body));
    return reader.LoadFromStream(&container);
  }

  Bytes Find(const std::string& name) {
    TMemoryStream target;
    reader.FindEntry(name, &target);
    EXPECT_EQ(target.Position(), 0);
    return Contents(target);
  }

  std::string Error(const Bytes& body) {
    return LzhError([&] { Load(body); });
  }

  TSkinReader reader;
  // The shipped skin's shape: bitmaps and the description, names in mixed case.
  const std::vector<Entry> skin = {{"Top.bmp", Random(9000, 3)},
                                   {"Menu.BMP", Random(300, 4)},
                                   {"empty.bmp", {}},
                                   {"Skin.INI", ToBytes("[Personality]\r\nTop=Top.bmp\r\n")},
                                   {"menu.bmp", ToBytes("second")},
                                   {"other.ini", ToBytes("not the first")}};
};

TEST_F(SkinReaderTest, EntriesAreFoundByLowerCaseName) {
  ASSERT_TRUE(Load(Body(20000, skin)));
  ASSERT_EQ(reader.Count(), 6);
  EXPECT_EQ(reader.Names()[1], "menu.bmp");
  EXPECT_EQ(reader.Header().FormatCode, 20000u);
  EXPECT_EQ(reader.EntrySize(0), 9000);
  EXPECT_THROW(reader.EntrySize(6), EListError);
  EXPECT_EQ(Find("Top.bmp"), skin[0].bytes);
  // Any case of the name finds it; of two equal names the first wins.
  EXPECT_EQ(Find("MENU.bmp"), skin[1].bytes);
  EXPECT_EQ(Find("skin.ini"), skin[3].bytes);
  // An entry of no bytes is found and empty.
  TMemoryStream target;
  EXPECT_TRUE(reader.FindEntry("empty.bmp", &target));
  EXPECT_EQ(target.Size(), 0);
  // A missing name empties the target.
  Fill(target, ToBytes("old"));
  EXPECT_FALSE(reader.FindEntry("absent.bmp", &target));
  EXPECT_EQ(target.Size(), 0);
  EXPECT_FALSE(reader.FindEntry("", &target));
}

TEST_F(SkinReaderTest, DescriptionIsFoundByContainment) {
  ASSERT_TRUE(Load(Body(20000, skin)));
  TMemoryStream target;
  AnsiString name = "unchanged";
  EXPECT_TRUE(reader.FindEntryContaining(".ini", &target, name));
  EXPECT_EQ(name, "skin.ini");
  EXPECT_EQ(target.Position(), 0);
  EXPECT_EQ(Contents(target), skin[3].bytes);
  // The text is compared as given against the lower-case names.
  name = "unchanged";
  EXPECT_FALSE(reader.FindEntryContaining(".INI", &target, name));
  EXPECT_EQ(name, "unchanged");
  EXPECT_EQ(target.Size(), 0);
}

TEST_F(SkinReaderTest, EveryKnownFormatSkipsItsBlock) {
  const struct {
    uint32_t format;
    int block;
  } formats[] = {{20000, 0}, {30000, 256}, {40000, 80}, {50000, 48}, {60000, 117}, {70000, 69}};
  for (const auto& f : formats) {
    SCOPED_TRACE(f.format);
    EXPECT_EQ(TSkinReader::FormatBlockSize(f.format), f.block);
    ASSERT_TRUE(Load(Body(f.format, skin, f.block)));
    EXPECT_EQ(reader.Count(), 6);
    EXPECT_EQ(Find("top.bmp"), skin[0].bytes);
    EXPECT_EQ(Find("other.ini"), skin[5].bytes);
  }
}

TEST_F(SkinReaderTest, DirectoryLinesSplitAtAnyLineBreak) {
  const std::vector<Entry> two = {{"a.bmp", ToBytes("A")}, {"b.bmp", ToBytes("BB")}};
  for (const char* separator : {"\r\n", "\n", "\r"}) {
    ASSERT_TRUE(Load(Body(20000, two, 0, separator)));
    EXPECT_EQ(reader.Count(), 2);
    EXPECT_EQ(Find("b.bmp"), ToBytes("BB"));
  }
  // A last name without a line break still counts.
  Bytes body = Body(20000, {});
  const std::string directory = "a.bmp\r\nb.bmp";
  body[4] = static_cast<uint8_t>(directory.size());
  body.insert(body.end(), directory.begin(), directory.end());
  PutI32(body, 1);
  PutI32(body, 2);
  for (uint8_t b : ToBytes("ABB")) body.push_back(b);
  ASSERT_TRUE(Load(body));
  EXPECT_EQ(reader.Count(), 2);
  EXPECT_EQ(Find("b.bmp"), ToBytes("BB"));
}

TEST_F(SkinReaderTest, EmptyDirectoryHasNoEntries) {
  ASSERT_TRUE(Load(Body(20000, {})));
  EXPECT_EQ(reader.Count(), 0);
  EXPECT_TRUE(Find("top.bmp").empty());
  TMemoryStream target;
  AnsiString name;
  EXPECT_FALSE(reader.FindEntryContaining(".ini", &target, name));
}

TEST_F(SkinReaderTest, UnknownFormatShowsTheMessageAndKeepsThePreviousSkin) {
  ASSERT_TRUE(Load(Body(20000, skin)));
  for (uint32_t format : {10000u, 20001u, 0u}) {
    KvMessageBoxLogClear();
    EXPECT_FALSE(Load(Body(format, {{"new.bmp", ToBytes("x")}})));
    ASSERT_EQ(KvMessageBoxLogCount(), 1u);
    KVMSGBOXRECORD record;
    ASSERT_TRUE(KvMessageBoxLogGet(0, &record));
    EXPECT_STREQ(record.text, "This is Older Skin File\rPlease update to new version !");
  }
  EXPECT_EQ(reader.Count(), 6);
  EXPECT_EQ(Find("top.bmp"), skin[0].bytes);
  EXPECT_TRUE(Find("new.bmp").empty());
}

TEST_F(SkinReaderTest, DamagedBodiesRaiseElzhExceptionAndKeepThePreviousSkin) {
  ASSERT_TRUE(Load(Body(20000, skin)));
  const Bytes good = Body(20000, {{"a.bmp", ToBytes("AAAA")}, {"b.bmp", ToBytes("BB")}});
  const size_t sizes_at = 16 + 14;  // after the header and "a.bmp\r\nb.bmp\r\n"
  auto with_i32 = [&](Bytes body, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) body[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    return body;
  };
  std::vector<Entry> many;
  for (int i = 0; i < 1002; ++i) many.push_back({"e" + std::to_string(i), {}});
  const struct {
    const char* what;
    Bytes body;
    const char* error;
  } cases[] = {
      {"no body", {}, skin_texts::kBodyTruncated},
      {"header cut short", Bytes(good.begin(), good.begin() + 12), skin_texts::kBodyTruncated},
      {"negative directory length", with_i32(good, 4, -1), skin_texts::kBadDirectoryLength},
      {"directory beyond the body", with_i32(good, 4, 1000), skin_texts::kBodyTruncated},
      {"format block beyond the body", Body(30000, {}, 100), skin_texts::kBodyTruncated},
      {"size table cut short", Bytes(good.begin(), good.begin() + sizes_at + 6), skin_texts::kBodyTruncated},
      {"negative entry size", with_i32(good, sizes_at, -4), skin_texts::kBadEntrySize},
      {"entry beyond the body", with_i32(good, sizes_at + 4, 3), skin_texts::kBadEntrySize},
      {"huge entry size", with_i32(good, sizes_at, 0x7FFFFFFF), skin_texts::kBadEntrySize},
      {"more entries than the size table holds", Body(20000, many), skin_texts::kTooManyEntries},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Error(c.body), c.error);
  }
  EXPECT_EQ(reader.Count(), 6);
  EXPECT_EQ(Find("menu.bmp"), skin[1].bytes);
  // Exactly the table's limit loads.
  many.pop_back();
  ASSERT_TRUE(Load(Body(20000, many)));
  EXPECT_EQ(reader.Count(), 1001);
}

TEST_F(SkinReaderTest, CorruptedContainersNeverCrash) {
  // Flipped bits anywhere in the compressed data: a load may fail either way, or read
  // garbage that still has a valid shape, but every lookup stays inside the data.
  const Bytes container = Container(Body(20000, skin));
  std::mt19937 rng(11);
  KvMessageBoxScriptClear();
  for (int round = 0; round < 200; ++round) {
    Bytes bad = container;
    for (int flips = 0; flips < 3; ++flips)
      bad[4 + rng() % (bad.size() - 4)] ^= static_cast<uint8_t>(1u << (rng() % 8));
    TMemoryStream stream;
    Fill(stream, bad);
    TSkinReader r;
    try {
      if (r.LoadFromStream(&stream)) {
        TMemoryStream target;
        AnsiString name;
        for (int i = 0; i < r.Count(); ++i) r.FindEntry(r.Names()[i], &target);
        r.FindEntryContaining(".ini", &target, name);
      }
    } catch (const ElzhException&) {
    }
  }
}

}  // namespace
