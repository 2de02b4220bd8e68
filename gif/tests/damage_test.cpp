// Damaged files: each kind of damage is told through a warning at load, and what our
// writer makes of the image is a well-formed file that giflib reads.
#include <gtest/gtest.h>

#include "gif/tests/gif_test_util.h"
#include "gif/texts.h"

using namespace giftest;

namespace {

using Blob = std::vector<uint8_t>;

Blob operator+(Blob a, const Blob& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A 10 x 10 screen with a global table of 4 colours.
Blob Screen() {
  return {'G', 'I', 'F', '8', '9', 'a', 10, 0, 10, 0, 0x81, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
}

Blob GraphicControl(uint8_t size, uint8_t flags, uint8_t index, uint8_t terminator) {
  return {0x21, 0xF9, size, flags, 0, 0, index, terminator};
}

Blob Descriptor() { return {0x2C, 0, 0, 0, 0, 10, 0, 10, 0, 0}; }

const Blob kTrailer{0x3B};

// The image data of Pixels, each sent as its own literal code after a clear code, packed
// as a decoder reads them, in sub-blocks of at most Block bytes. Without EndCode the
// codes just stop; without Terminator the zero-length block is missing as well.
Blob Data(int MinSize, const Blob& Pixels, bool EndCode, bool Terminator, size_t Block = 255) {
  const int clear = 1 << MinSize;
  std::vector<std::pair<int, int>> codes{{clear, MinSize + 1}};
  int size = MinSize + 1, next = clear + 2;
  for (size_t i = 0; i < Pixels.size(); ++i) {
    codes.emplace_back(Pixels[i], size);
    if (i > 0 && ++next >= (1 << size) && size < 12) ++size;  // the entry the decoder adds
  }
  if (EndCode) codes.emplace_back(clear + 1, size);
  const Blob raw = PackCodes(codes);
  Blob out{static_cast<uint8_t>(MinSize)};
  for (size_t i = 0; i < raw.size(); i += Block) {
    size_t n = std::min(Block, raw.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), raw.begin() + static_cast<long>(i), raw.begin() + static_cast<long>(i + n));
  }
  if (Terminator) out.push_back(0);
  return out;
}

Blob Pixels(size_t Count, int Colors = 4) {
  Blob px(Count);
  for (size_t i = 0; i < Count; ++i) px[i] = static_cast<uint8_t>((i * 7 + 1) % static_cast<size_t>(Colors));
  return px;
}

Blob Head(const Blob& Bytes, size_t Count) { return Blob(Bytes.begin(), Bytes.begin() + static_cast<long>(Count)); }

// A whole frame, well formed.
Blob Frame() { return Descriptor() + Data(2, Pixels(100), true, true); }

struct Case {
  std::string name;
  Blob bytes;
  std::string warning;  // empty: no warning at all
  int frames = 1;       // frames with pixels
  int pixels = 100;     // pixels of the first frame that come from the data; -1: not checked
  bool saves = true;    // false: saving refuses the image
};

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      {"well formed", Screen() + GraphicControl(4, 1, 2, 0) + Frame() + kTrailer, ""},
      {"all pixels but no end code", Screen() + Descriptor() + Data(2, Pixels(100), false, true) + kTrailer, ""},
      {"no trailer", Screen() + Frame(), ""},
      {"graphic control size byte 0xBA", Screen() + GraphicControl(0xBA, 1, 2, 0) + Frame() + kTrailer,
       gif_texts::kInvalidData},
      {"graphic control size byte 5", Screen() + GraphicControl(5, 1, 2, 7) + Blob{0} + Frame() + kTrailer,
       gif_texts::kInvalidData},
      {"graphic control terminator damaged", Screen() + GraphicControl(4, 1, 2, 9) + Frame() + kTrailer,
       gif_texts::kInvalidData},
      {"plain text size byte damaged",
       Screen() + Blob{0x21, 0x01, 13, 0, 0, 0, 0, 10, 0, 10, 0, 8, 8, 1, 0, 2, 'h', 'i', 0} + Frame() + kTrailer,
       gif_texts::kInvalidData},
      {"cut at a sub-block boundary", Screen() + Descriptor() + Head(Data(2, Pixels(100), true, true, 4), 1 + 2 * 5),
       gif_texts::kPrematureEnd, 1, -1},
      {"cut inside a comment", Screen() + Blob{0x21, 0xFE, 5, 'a', 'b'}, gif_texts::kPrematureEnd, 0},
      {"cut inside an application extension",
       Screen() + Blob{0x21, 0xFF, 11, 'X', 'Y', 'Z', 'W', 'V', 'U', 'T', 'S', '1', '.', '0', 4, 1, 2},
       gif_texts::kPrematureEnd, 0},
      {"cut right after an image descriptor", Screen() + Descriptor(), gif_texts::kPrematureEnd, 1, 0},
      {"cut after the code size byte", Screen() + Descriptor() + Blob{2}, gif_texts::kPrematureEnd, 1, 0},
      {"pixels outside the colour table", Screen() + Descriptor() + Data(3, Pixels(100, 8), true, true) + kTrailer,
       gif_texts::kInvalidColorIndex, 1, 100, false},
      {"fill beyond the colour table where the data stops",
       Screen() + GraphicControl(4, 1, 9, 0) + Descriptor() + Data(2, Pixels(50), true, true) + kTrailer,
       gif_texts::kInvalidColorIndex, 1, -1, false},
  };
  // The data stops before the last pixel: with an end code, with only the terminator
  // (the next frame is still read), and with the stream ending.
  for (int n = 1; n < 100; ++n) {
    const std::string of = " after " + std::to_string(n) + " pixels";
    cases.push_back({"end code" + of,
                     Screen() + Descriptor() + Data(2, Pixels(static_cast<size_t>(n)), true, true) + Frame() + kTrailer,
                     gif_texts::kPrematureEnd, 2, n});
    cases.push_back(
        {"terminator" + of,
         Screen() + Descriptor() + Data(2, Pixels(static_cast<size_t>(n)), false, true) + Frame() + kTrailer,
         gif_texts::kPrematureEnd, 2, n});
    cases.push_back({"stream end" + of, Screen() + Descriptor() + Data(2, Pixels(static_cast<size_t>(n)), false, false),
                     gif_texts::kPrematureEnd, 1, n});
  }
  return cases;
}

int FramesWithPixels(TGIFImage& image) {
  int n = 0;
  for (int i = 0; i < image.Images()->Count(); ++i) n += image.Images()->SubImages(i)->Empty() ? 0 : 1;
  return n;
}

TEST(Damage, EveryDamageIsWarnedAboutAndWhatWeWriteGiflibReads) {
  const Blob expected = Pixels(100);
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    TGIFImage image;
    Warnings warnings;
    warnings.Attach(image);
    Load(image, c.bytes);
    if (c.warning.empty()) {
      EXPECT_TRUE(warnings.texts.empty()) << warnings.texts.front();
    } else {
      EXPECT_TRUE(warnings.Has(c.warning)) << (warnings.texts.empty() ? "no warning" : warnings.texts.front());
    }
    ASSERT_EQ(FramesWithPixels(image), c.frames);
    if (c.frames > 0 && c.pixels >= 0) {
      // The pixels the data reaches, then the fill.
      TGIFSubImage* f = image.Images()->SubImages(image.Images()->Count() - c.frames);
      Blob got(f->Data(), f->Data() + f->DataSize());
      Blob want(100, 0);
      std::copy(expected.begin(), expected.begin() + c.pixels, want.begin());
      EXPECT_EQ(got, c.saves ? want : Pixels(100, 8));
    }
    if (!c.saves) {
      try {
        Save(image);
        FAIL() << "saved";
      } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), gif_texts::kColorNotInTable);
      }
      continue;
    }
    const Blob saved = Save(image);
    try {
      if (c.frames > 0) {
        EXPECT_EQ(static_cast<int>(peer::Decode(saved).Frames.size()), c.frames);
      } else {
        EXPECT_EQ(peer::WalkExtensionsOnly(saved), 1);
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << "giflib: " << e.what();
      continue;
    }
    // Our reader finds in it what it found in the damaged file, now without a word.
    TGIFImage again;
    Warnings quiet;
    quiet.Attach(again);
    Load(again, saved);
    EXPECT_TRUE(quiet.texts.empty()) << quiet.texts.front();
    EXPECT_EQ(FramesWithPixels(again), c.frames);
  }
}

TEST(Damage, GraphicControlIsWrittenInItsWellFormedLayout) {
  // A damaged size byte or terminator is not copied: the block is written from its fields.
  for (const Blob& gce : {GraphicControl(0xBA, 1, 2, 0), GraphicControl(4, 1, 2, 9)}) {
    TGIFImage image;
    Load(image, Screen() + gce + Frame() + kTrailer);
    const Blob saved = Save(image);
    const Blob good = GraphicControl(4, 1, 2, 0);
    EXPECT_NE(std::search(saved.begin(), saved.end(), good.begin(), good.end()), saved.end());
    peer::Image read = peer::Decode(saved);
    ASSERT_EQ(read.Frames.size(), 1u);
    ASSERT_EQ(read.Frames[0].Extensions.size(), 1u);
    EXPECT_EQ(read.Frames[0].Extensions[0], (peer::Extension{0xF9, {{1, 0, 0, 2}}}));
  }
  // A size byte of 5 leaves the block detached from its frame; written back in its
  // layout it stands in front of the frame again, so the transparency reaches giflib.
  TGIFImage image;
  Load(image, Screen() + GraphicControl(5, 1, 2, 7) + Blob{0} + Frame() + kTrailer);
  peer::Image read = peer::Decode(Save(image));
  ASSERT_EQ(read.Frames.size(), 1u);
  ASSERT_EQ(read.Frames[0].Extensions.size(), 1u);
  EXPECT_EQ(read.Frames[0].Extensions[0], (peer::Extension{0xF9, {{1, 0, 0, 2}}}));
}

}  // namespace
