// Reading and writing the GIF block structure: real files against giflib, the writer's
// exact bytes, and corrupt input.
#include <gtest/gtest.h>

#include "gif/tests/gif_test_util.h"
#include "gif/texts.h"

using namespace giftest;

namespace {

class RealFile : public ::testing::TestWithParam<const char*> {};

TEST_P(RealFile, DecodesLikeGiflibAndSurvivesOurWriter) {
  std::vector<uint8_t> bytes = ReadFile(GetParam());
  ASSERT_FALSE(bytes.empty());
  peer::Image reference = peer::Decode(bytes);
  TGIFImage image;
  Warnings warnings;
  warnings.Attach(image);
  Load(image, bytes);
  EXPECT_TRUE(warnings.texts.empty()) << warnings.texts.front();
  ExpectSame(AsPeer(image), reference);

  // Written again (interlaced frames with a local table come out progressive).
  std::vector<uint8_t> again = Save(image);
  peer::Image rewritten = peer::Decode(again);
  ExpectSame(rewritten, reference, false);
  TGIFImage reread;
  Load(reread, again);
  ExpectSame(AsPeer(reread), reference, false);
}

INSTANTIATE_TEST_SUITE_P(Debian, RealFile,
                         ::testing::Values("CMakeLogo.gif", "tai-ku.gif", "pwrdLogo75.gif", "logoMed.gif", "up.gif",
                                           "bomb.gif"));

TEST(RealFiles, InterlacedTransparentFrameReadsItsFlags) {
  TGIFImage image;
  Load(image, ReadFile("tai-ku.gif"));
  TGIFSubImage* f = image.Images()->SubImages(0);
  EXPECT_TRUE(f->Interlaced());
  EXPECT_TRUE(f->Transparent());
  EXPECT_EQ(image.Version(), gv89a);
  TGIFImage small;
  Load(small, ReadFile("up.gif"));
  EXPECT_EQ(small.GlobalColorMap()->Count(), 4);
}

// A minimal file: 4x2 screen, global table of Colors entries, one frame with pixels.
std::vector<uint8_t> MakeImageBytes(TGIFImage& image, int colors, const std::function<void(TGIFSubImage*)>& more = {}) {
  image.Clear();
  for (int i = 0; i < colors; ++i) image.GlobalColorMap()->Add(static_cast<TColor>(0x010203 * (i + 1)));
  auto* f = new TGIFSubImage(&image);
  f->SetBoundsRect(0, 0, 4, 2);
  image.Images()->Add(f);
  if (more) more(f);
  return Save(image);
}

TEST(Writer, FiveColourTableIsPaddedToEightEntries) {
  TGIFImage image;
  std::vector<uint8_t> b = MakeImageBytes(image, 5);
  ASSERT_GE(b.size(), 13u + 24u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF87a");
  EXPECT_EQ(b[10] & 0x87, 0x82);  // table present, size bits 2
  for (int i = 5; i < 8; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(b[13 + 3 * i + k], 0) << i;
  EXPECT_EQ(b[13 + 24], ',');
}

TEST(Writer, CommentTextIsCutIntoSubBlocks) {
  TGIFImage image;
  std::vector<uint8_t> b = MakeImageBytes(image, 2, [](TGIFSubImage* f) {
    auto* c = new TGIFCommentExtension(f);
    c->Text()->Add(std::string(300, 'x'));
    c->Text()->Add("");
    f->Extensions()->Add(c);
  });
  EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
  size_t at = 13 + 6;
  ASSERT_EQ(b[at], '!');
  EXPECT_EQ(b[at + 1], 0xFE);
  EXPECT_EQ(b[at + 2], 255);
  EXPECT_EQ(b[at + 2 + 256], 45);
  EXPECT_EQ(b[at + 2 + 256 + 46], 0);
  EXPECT_EQ(b[at + 2 + 256 + 47], ',');
}

TEST(Writer, LoopExtensionWithAndWithoutBufferSize) {
  for (DWORD buffer : {0u, 0x01020304u}) {
    TGIFImage image;
    std::vector<uint8_t> b = MakeImageBytes(image, 2, [buffer](TGIFSubImage* f) {
      auto* loop = new TGIFAppExtNSLoop(f);
      loop->SetLoops(0x0203);
      loop->SetBufferSize(buffer);
      f->Extensions()->Add(loop);
    });
    std::vector<uint8_t> expected{'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 3, 2};
    if (buffer) expected.insert(expected.end(), {5, 2, 4, 3, 2, 1});
    expected.push_back(0);
    std::vector<uint8_t> got(b.begin() + 19, b.begin() + 19 + static_cast<long>(expected.size()));
    EXPECT_EQ(got, expected);
    TGIFImage back;
    Load(back, b);
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(back.Images()->SubImages(0)->Extensions()->Extensions(0));
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->Loops(), 0x0203);
    EXPECT_EQ(loop->BufferSize(), buffer);
  }
}

TEST(Writer, VersionFollowsTheFrames) {
  TGIFImage image;
  std::vector<uint8_t> plain = MakeImageBytes(image, 2);
  EXPECT_EQ(std::string(plain.begin(), plain.begin() + 6), "GIF87a");
  std::vector<uint8_t> b =
      MakeImageBytes(image, 2, [](TGIFSubImage* f) { f->Extensions()->Add(new TGIFGraphicControlExtension(f)); });
  EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
  TGIFImage empty;
  try {
    Save(empty);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), gif_texts::kUnsupportedVersion);
  }
}

TEST(Writer, CommentAfterTheLastImageStaysInPlace) {
  TGIFImage image;
  std::vector<uint8_t> b = MakeImageBytes(image, 2);
  b[4] = '9';    // the comment makes it a 89a file
  b.pop_back();  // trailer
  for (uint8_t c : std::vector<uint8_t>{'!', 0xFE, 2, 'h', 'i', 0, ';'}) b.push_back(c);
  TGIFImage back;
  Load(back, b);
  ASSERT_EQ(back.Images()->Count(), 2);
  EXPECT_TRUE(back.Images()->SubImages(1)->Empty());
  EXPECT_EQ(Save(back), b);
}

// ---- Tolerance and corrupt input ---------------------------------------------------------

std::vector<uint8_t> Sample() {
  TGIFImage image;
  return MakeImageBytes(image, 4, [](TGIFSubImage* f) {
    for (int i = 0; i < 8; ++i) f->Data()[i] = static_cast<BYTE>(i % 4);
  });
}

struct Outcome {
  std::string error;  // GIFException text, empty when it loaded
  std::vector<std::string> warnings;
  int frames = 0;
};

Outcome Try(const std::vector<uint8_t>& bytes) {
  Outcome out;
  TGIFImage image;
  Warnings warnings;
  warnings.Attach(image);
  TMemoryStream stream;
  Fill(stream, bytes);
  try {
    image.LoadFromStream(&stream);
  } catch (const GIFException& e) {
    out.error = e.what();
    EXPECT_EQ(stream.Position(), 0) << "a failed load leaves the stream where it was";
  }
  out.warnings = warnings.texts;
  out.frames = image.Images()->Count();
  return out;
}

TEST(Reader, ToleratedAndRefusedInput) {
  const std::vector<uint8_t> good = Sample();
  const size_t image_at = 13 + 12;  // after the 4-entry table
  auto with = [&](const std::function<void(std::vector<uint8_t>&)>& change) {
    std::vector<uint8_t> b = good;
    change(b);
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string error;
    std::string warning;
  };
  std::vector<Case> cases = {
      {"lower-case signature", with([](auto& b) {
         b[0] = 'g';
         b[1] = 'i';
         b[2] = 'f';
       }),
       "", ""},
      {"odd version", with([](auto& b) {
         b[3] = '9';
         b[4] = '9';
         b[5] = 'z';
       }),
       "", ""},
      {"four bytes in front", with([](auto& b) {
         b.insert(b.begin(), {1, 2, 3, 4});
       }),
       "", ""},
      {"five bytes in front", with([](auto& b) {
         b.insert(b.begin(), {1, 2, 3, 4, 5});
       }),
       gif_texts::kInvalidSignature, ""},
      {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 9), gif_texts::kPrematureEnd, ""},
      {"short table", std::vector<uint8_t>(good.begin(), good.begin() + 18), gif_texts::kPrematureEnd, ""},
      {"short descriptor", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(image_at) + 5),
       gif_texts::kPrematureEnd, ""},
      {"no trailer", std::vector<uint8_t>(good.begin(), good.end() - 1), "", ""},
      {"wrong trailer", with([](auto& b) { b.back() = 0x55; }), "", gif_texts::kUnknownBlock},
      {"unknown block", with([&](auto& b) { b.insert(b.end() - 1, 0x77); }), "", gif_texts::kUnknownBlock},
      {"unknown extension", with([&](auto& b) {
         b.insert(b.begin() + static_cast<long>(image_at), {'!', 0x42, 0});
       }),
       gif_texts::kUnknownExtension, ""},
      {"short application block", with([&](auto& b) {
         b.insert(b.begin() + static_cast<long>(image_at), {'!', 0xFF, 5, 'A', 'B', 'C', 'D', 'E', 0});
       }),
       gif_texts::kAppExtBlockSize, ""},
      {"short loop block", with([&](auto& b) {
         b.insert(b.begin() + static_cast<long>(image_at),
                  {'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 2, 1, 0, 0});
       }),
       gif_texts::kInvalidData, ""},
      {"short graphic control", with([&](auto& b) {
         b.resize(image_at);
         b.insert(b.end(), {'!', 0xF9, 4, 1});
       }),
       "", gif_texts::kPrematureEnd},
      {"image data cut", std::vector<uint8_t>(good.begin(), good.end() - 3), "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome o = Try(c.bytes);
    EXPECT_EQ(o.error, c.error);
    if (!c.warning.empty()) {
      EXPECT_NE(std::find(o.warnings.begin(), o.warnings.end(), c.warning), o.warnings.end());
    }
  }
}

TEST(Reader, InvalidTrailerByteOnlyWarns) {
  std::vector<uint8_t> b = Sample();
  b.back() = ';';
  b.push_back(0x55);  // ignored: the trailer came first
  EXPECT_EQ(Try(b).error, "");
  TGIFImage image;
  Warnings warnings;
  warnings.Attach(image);
  TMemoryStream s;
  Fill(s, {'X'});
  TGIFTrailer trailer(&image);
  trailer.LoadFromStream(&s);
  EXPECT_TRUE(warnings.Has(gif_texts::kInvalidTrailer));
}

TEST(Reader, ZeroWidthFrameGetsTheScreenSizeAndFramesGrowTheScreen) {
  TGIFImage image;
  std::vector<uint8_t> b = MakeImageBytes(image, 2);
  std::vector<uint8_t> zero = b;
  zero[13 + 6 + 5] = 0;  // frame width 0
  zero[13 + 6 + 6] = 0;
  Outcome o = Try(zero);
  EXPECT_EQ(o.error, "");
  EXPECT_NE(std::find(o.warnings.begin(), o.warnings.end(), gif_texts::kExceedsScreen), o.warnings.end());

  std::vector<uint8_t> small = b;
  small[6] = 2;  // screen width 2, frame is 4 wide at left 0
  TGIFImage grown;
  Load(grown, small);
  EXPECT_EQ(grown.Width(), 4);
}

TEST(Reader, HugeFrameFailsPlainlyWithoutAShortBuffer) {
  TGIFImage image;
  std::vector<uint8_t> b = MakeImageBytes(image, 2);
  for (int k : {5, 6, 7, 8}) b[13 + 6 + k] = 0xFF;  // 65535 x 65535
  TGIFImage huge;
  TMemoryStream s;
  Fill(s, b);
  EXPECT_THROW(huge.LoadFromStream(&s), EOutOfMemory);
}

TEST(Reader, TransparentFrameWithShortDataKeepsTheTransparentIndex) {
  TGIFImage image;
  std::vector<uint8_t> b = MakeImageBytes(image, 4, [](TGIFSubImage* f) {
    auto* gce = new TGIFGraphicControlExtension(f);
    f->Extensions()->Add(gce);
    gce->SetTransparentColorIndex(3);
    gce->SetTransparent(true);
  });
  // cut the image data after its code size byte
  size_t data_at = 13 + 12 + 8 + 10;
  ASSERT_EQ(b[data_at], 2);
  b.resize(data_at + 1);
  TGIFImage back;
  Load(back, b);
  TGIFSubImage* f = back.Images()->SubImages(0);
  for (uint64_t i = 0; i < f->DataSize(); ++i) EXPECT_EQ(f->Data()[i], 3);
}

TEST(Reader, ApplicationBlocksOfOtherSizesAreWrittenSoThatTheyReadBack) {
  const std::vector<uint8_t> good = Sample();
  const long image_at = 13 + 12;
  // identifier block of 13 bytes naming the loop extension: its class is the loop's
  std::vector<uint8_t> longer = good;
  longer.insert(longer.begin() + image_at,
                {'!', 0xFF, 13, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 'x', 'y', 3, 1, 5, 0, 0});
  TGIFImage image;
  Load(image, longer);
  auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(image.Images()->SubImages(0)->Extensions()->Extensions(0));
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->Loops(), 5);
  // a 10-byte identifier block stays one
  std::vector<uint8_t> ten = good;
  ten[4] = '9';
  ten.insert(ten.begin() + image_at, {'!', 0xFF, 10, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', 3, 1, 5, 0, 0});
  TGIFImage other;
  Load(other, ten);
  EXPECT_NE(dynamic_cast<TGIFUnknownAppExtension*>(other.Images()->SubImages(0)->Extensions()->Extensions(0)), nullptr);
  std::vector<uint8_t> saved = Save(other);
  EXPECT_EQ(saved, ten);
  TGIFImage again;
  Load(again, saved);
}

TEST(ColorMap, TableOperations) {
  TGIFImage image;
  TGIFColorMap* map = image.GlobalColorMap();
  Warnings warnings;
  warnings.Attach(image);
  try {
    map->Colors(0);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), gif_texts::kColorTableEmpty);
  }
  for (int i = 0; i < 256; ++i) map->Add(static_cast<TColor>(i));
  EXPECT_THROW(map->Add(0x123456), GIFException);
  TObject* sender = nullptr;
  image.OnGIFWarning = [&](TObject* s, int, const AnsiString&) { sender = s; };
  EXPECT_EQ(map->Colors(300), map->Colors(0));
  EXPECT_EQ(sender, map);  // the item that warns names itself
  warnings.Attach(image);
  map->Colors(-1);
  EXPECT_TRUE(warnings.Has(gif_texts::kInvalidColorIndex));
  EXPECT_THROW(map->Delete(256), GIFException);
  EXPECT_EQ(map->Capacity(), 256);
  map->Clear();
  map->Add(clRed);
  EXPECT_EQ(map->Capacity(), 16);
  EXPECT_EQ(map->IndexOf(clRed), 0);
  EXPECT_EQ(map->AddUnique(clRed), 0);
}

}  // namespace
