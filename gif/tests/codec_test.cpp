// LZW decoding and both encoders, checked against giflib.
#include <gtest/gtest.h>

#include "gif/tests/gif_test_util.h"
#include "gif/texts.h"

using namespace giftest;

namespace {

struct RoundTripCase {
  int width, height, bits;
  bool interlaced;
  TGIFEncoderKind kind;
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, OurWriterIsReadBackIdenticallyByUsAndByGiflib) {
  const RoundTripCase c = GetParam();
  TGIFImage image;
  MakeRandomImage(image, c.width, c.height, c.bits, 1234u + static_cast<unsigned>(c.bits), c.interlaced);
  image.EncoderKind = c.kind;
  peer::Image expected = AsPeer(image);
  std::vector<uint8_t> bytes = Save(image);

  TGIFImage again;
  Warnings warnings;
  warnings.Attach(again);
  Load(again, bytes);
  EXPECT_TRUE(warnings.texts.empty());
  ExpectSame(AsPeer(again), expected);
  ExpectSame(peer::Decode(bytes), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RoundTrip,
    ::testing::Values(RoundTripCase{1, 1, 1, false, CompressLZW}, RoundTripCase{1, 1, 8, false, CompressRLE},
                      RoundTripCase{37, 23, 1, false, CompressLZW}, RoundTripCase{37, 23, 2, false, CompressLZW},
                      RoundTripCase{64, 64, 3, false, CompressLZW}, RoundTripCase{64, 64, 4, true, CompressLZW},
                      RoundTripCase{50, 41, 5, false, CompressLZW}, RoundTripCase{50, 41, 6, false, CompressLZW},
                      RoundTripCase{77, 70, 7, true, CompressLZW},
                      // strings longer than a row, carried over several rows
                      RoundTripCase{3, 400, 1, false, CompressLZW}, RoundTripCase{2, 300, 1, true, CompressLZW},
                      // more than 4096 codes: the encoder must clear its table
                      RoundTripCase{300, 200, 8, false, CompressLZW}, RoundTripCase{300, 200, 8, true, CompressLZW},
                      RoundTripCase{37, 23, 1, false, CompressRLE}, RoundTripCase{64, 64, 3, false, CompressRLE},
                      RoundTripCase{64, 64, 4, true, CompressRLE}, RoundTripCase{300, 200, 8, false, CompressRLE}));

// The image data of the first frame of a saved file: everything after the descriptor and
// tables, up to the trailer.
std::vector<uint8_t> EncodeData(TGIFEncoder& encoder, int bits, int w, int h, const std::vector<uint8_t>& px) {
  TMemoryStream s;
  encoder.Encode(&s, bits, 1 << bits, w, h, false, px.data());
  return Bytes(s);
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& data, int w, int h, std::vector<std::string>* warnings,
                            BYTE fill = 0, int64_t* left_at = nullptr) {
  TMemoryStream s;
  Fill(s, data);
  std::vector<uint8_t> px(static_cast<size_t>(w) * h, fill);
  DecodeGIFData(&s, px.data(), w, h, false, [warnings](const char* m) {
    if (warnings) warnings->push_back(m);
  });
  if (left_at) *left_at = s.Position();
  return px;
}

// Sub-blocks re-cut into blocks of Size bytes.
std::vector<uint8_t> Rechunk(const std::vector<uint8_t>& data, size_t size) {
  std::vector<uint8_t> raw;
  size_t pos = 1;
  while (data[pos] != 0) {
    raw.insert(raw.end(), data.begin() + static_cast<long>(pos) + 1,
               data.begin() + static_cast<long>(pos + 1 + data[pos]));
    pos += 1 + data[pos];
  }
  std::vector<uint8_t> out{data[0]};
  for (size_t i = 0; i < raw.size(); i += size) {
    size_t n = std::min(size, raw.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), raw.begin() + static_cast<long>(i), raw.begin() + static_cast<long>(i + n));
  }
  out.push_back(0);
  return out;
}

std::vector<uint8_t> RandomPixels(int n, int bits, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> px(static_cast<size_t>(n));
  for (auto& p : px) p = static_cast<uint8_t>(rng() & ((1u << bits) - 1));
  return px;
}

TEST(Decoder, CodesSpanningOneByteSubBlocksAtTwelveBits) {
  const int w = 128, h = 128;
  std::vector<uint8_t> px = RandomPixels(w * h, 8, 7);
  TLZWEncoder encoder;
  std::vector<uint8_t> data = EncodeData(encoder, 8, w, h, px);
  std::vector<std::string> warnings;
  EXPECT_EQ(Decode(Rechunk(data, 1), w, h, &warnings), px);
  EXPECT_TRUE(warnings.empty());
}

TEST(Decoder, GiflibEncodedDataDecodes) {
  const int w = 97, h = 61;
  std::vector<uint8_t> px = RandomPixels(w * h, 4, 9);
  std::vector<uint8_t> file = peer::Encode(w, h, 4, px);
  TGIFImage image;
  Load(image, file);
  ASSERT_EQ(image.Images()->Count(), 1);
  TGIFSubImage* f = image.Images()->SubImages(0);
  EXPECT_EQ(std::vector<uint8_t>(f->Data(), f->Data() + f->DataSize()), px);
}

TEST(Decoder, MinimumCodeSizeAboveEightIsEight) {
  const int w = 20, h = 10;
  std::vector<uint8_t> px = RandomPixels(w * h, 8, 3);
  TLZWEncoder encoder;
  std::vector<uint8_t> data = EncodeData(encoder, 8, w, h, px);
  data[0] = 11;
  EXPECT_EQ(Decode(data, w, h, nullptr), px);
}

TEST(Decoder, DataThatEndsEarlyKeepsTheFill) {
  const int w = 64, h = 64;
  std::vector<uint8_t> px = RandomPixels(w * h, 8, 5);
  TLZWEncoder encoder;
  std::vector<uint8_t> data = EncodeData(encoder, 8, w, h, px);
  data.resize(data.size() / 2);  // cut inside a sub-block, no terminator
  std::vector<std::string> warnings;
  std::vector<uint8_t> got = Decode(data, w, h, &warnings, 7);
  EXPECT_FALSE(warnings.empty());
  size_t same = 0;
  while (same < got.size() && got[same] == px[same]) ++same;
  EXPECT_GT(same, 1000u);
  for (size_t i = same + 4096; i < got.size(); ++i) ASSERT_EQ(got[i], 7) << i;
}

TEST(Decoder, StreamWithoutEndCodeStillLeavesAfterTheTerminator) {
  // Clear, four pixels, no end code: 3-bit codes 4,1,2,3,0 then the terminator, then 0x3B.
  std::vector<uint8_t> data{2, 2, 0x8C, 0x06, 0, 0x3B};
  int64_t left = 0;
  std::vector<uint8_t> got = Decode(data, 2, 2, nullptr, 9, &left);
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(left, 5);
}

TEST(Decoder, CodeAboveNextFreeStopsWithAWarning) {
  // min size 2: codes 4 (clear), 1, then 7 while next free is 6.
  std::vector<uint8_t> data{2, 2, 0xCC, 0x01, 0};
  std::vector<std::string> warnings;
  std::vector<uint8_t> got = Decode(data, 4, 1, &warnings, 3);
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 3, 3, 3}));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], gif_texts::kInvalidData);
}

TEST(Decoder, CodesThatReferToThemselvesDecodeAsRuns) {
  // Each code names the entry it is about to create (clear, 1, 6, 7, 8, end): runs of
  // 1, 2, 3 and 4 pixels. The code size grows to 4 bits before the 8. The end code comes
  // two pixels early: those keep the fill, and the frame is reported short.
  const std::vector<uint8_t> raw = PackCodes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {8, 4}, {5, 4}});
  std::vector<uint8_t> data{2, static_cast<uint8_t>(raw.size())};
  data.insert(data.end(), raw.begin(), raw.end());
  data.push_back(0);
  std::vector<std::string> warnings;
  EXPECT_EQ(Decode(data, 12, 1, &warnings, 3), (std::vector<uint8_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3, 3}));
  EXPECT_EQ(warnings, std::vector<std::string>{gif_texts::kPrematureEnd});
}

TEST(Decoder, GarbageNeverRunsPastTheBuffers) {
  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> data{static_cast<uint8_t>(rng() % 12)};
    int blocks = 1 + static_cast<int>(rng() % 4);
    for (int b = 0; b < blocks; ++b) {
      int n = 1 + static_cast<int>(rng() % 255);
      data.push_back(static_cast<uint8_t>(n));
      for (int i = 0; i < n; ++i) data.push_back(static_cast<uint8_t>(rng()));
    }
    if (rng() & 1) data.push_back(0);
    try {
      Decode(data, 33, 17, nullptr);
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), gif_texts::kCircularEntry);
    }
  }
}

TEST(Encoder, SmallTablesUseMinimumCodeSizeTwo) {
  for (int bits : {0, 1}) {
    TLZWEncoder encoder;
    std::vector<uint8_t> px(12, 0);
    TMemoryStream s;
    encoder.Encode(&s, bits, 2, 4, 3, false, px.data());
    EXPECT_EQ(static_cast<const uint8_t*>(s.Memory())[0], 2);
  }
}

TEST(Encoder, PixelOutsideTheTableIsRefused) {
  TLZWEncoder encoder;
  std::vector<uint8_t> px{0, 1, 5, 2};
  TMemoryStream s;
  try {
    encoder.Encode(&s, 2, 5, 4, 1, false, px.data());
    FAIL() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), gif_texts::kColorNotInTable);
  }
}

TEST(Encoder, RunLengthOutputIsSmallForFlatFramesAndDecodesExactly) {
  const int w = 400, h = 300;
  std::vector<uint8_t> px(static_cast<size_t>(w) * h, 5);
  for (int y = 100; y < 200; ++y)
    for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = 9;  // a second band
  TRLEEncoder rle;
  std::vector<uint8_t> data = EncodeData(rle, 4, w, h, px);
  EXPECT_LT(data.size(), 1500u);
  EXPECT_EQ(Decode(data, w, h, nullptr), px);
  // and a standard decoder agrees
  TGIFImage image;
  MakeRandomImage(image, w, h, 4, 1);
  std::memcpy(image.Images()->SubImages(0)->Data(), px.data(), px.size());
  image.EncoderKind = CompressRLE;
  peer::Image decoded = peer::Decode(Save(image));
  EXPECT_EQ(decoded.Frames.at(0).Pixels, px);
}

TEST(Encoder, FrameWithoutPixelsWritesOnlyTheEndCode) {
  TLZWEncoder encoder;
  TMemoryStream s;
  encoder.Encode(&s, 2, 4, 0, 0, false, nullptr);
  // min size 2, one block of one byte holding the 3-bit end code 5, terminator
  EXPECT_EQ(Bytes(s), (std::vector<uint8_t>{2, 1, 5, 0}));
}

}  // namespace
