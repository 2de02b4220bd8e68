// Helpers shared by the GIF codec tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "gif/gif_image.h"
#include "gif/tests/giflib_peer.h"

namespace giftest {

inline std::vector<uint8_t> ReadFile(const std::string& name) {
  std::ifstream in(std::string(GIF_TEST_DATA) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void Fill(TMemoryStream& stream, const std::vector<uint8_t>& bytes) {
  stream.Clear();
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  stream.SetPosition(0);
}

inline std::vector<uint8_t> Bytes(TMemoryStream& stream) {
  const auto* p = static_cast<const uint8_t*>(stream.Memory());
  return std::vector<uint8_t>(p, p + stream.Size());
}

inline std::vector<uint8_t> Save(TGIFImage& image) {
  TMemoryStream stream;
  image.SaveToStream(&stream);
  return Bytes(stream);
}

// Codes (value, width in bits) packed least significant bit first, as a decoder reads
// them; the last byte is filled up with zero bits.
inline std::vector<uint8_t> PackCodes(const std::vector<std::pair<int, int>>& Codes) {
  std::vector<uint8_t> raw;
  uint32_t bits = 0;
  int count = 0;
  for (auto [code, width] : Codes) {
    bits |= static_cast<uint32_t>(code) << count;
    for (count += width; count >= 8; count -= 8, bits >>= 8) raw.push_back(static_cast<uint8_t>(bits));
  }
  if (count > 0) raw.push_back(static_cast<uint8_t>(bits));
  return raw;
}

// Records the image's warnings.
struct Warnings {
  std::vector<std::string> texts;
  void Attach(TGIFImage& image) {
    image.OnGIFWarning = [this](TObject*, int, const AnsiString& m) { texts.push_back(m); };
  }
  bool Has(const std::string& m) const { return std::find(texts.begin(), texts.end(), m) != texts.end(); }
};

inline void Load(TGIFImage& image, const std::vector<uint8_t>& bytes) {
  TMemoryStream stream;
  Fill(stream, bytes);
  image.LoadFromStream(&stream);
}

inline std::vector<uint8_t> TableBytes(TGIFColorMap* map) {
  std::vector<uint8_t> out;
  for (int i = 0; i < map->Count(); ++i) {
    TGIFRGB c = map->Entry(i);
    out.insert(out.end(), {c.Red, c.Green, c.Blue});
  }
  return out;
}

// An extension as giflib sees it: the label and its data sub-blocks.
inline peer::Extension AsPeer(TGIFExtension* ext) {
  TMemoryStream s;
  ext->SaveToStream(&s);
  std::vector<uint8_t> b = Bytes(s);
  peer::Extension out;
  out.Label = b.at(1);
  size_t pos = 2;
  while (pos < b.size() && b[pos] != 0) {
    size_t n = b[pos];
    out.Blocks.emplace_back(b.begin() + static_cast<long>(pos) + 1, b.begin() + static_cast<long>(pos + 1 + n));
    pos += 1 + n;
  }
  return out;
}

// Our reading of an image in giflib's terms.
inline peer::Image AsPeer(TGIFImage& image) {
  peer::Image out;
  out.Width = image.Width();
  out.Height = image.Height();
  out.Background = image.Header()->BackgroundColorIndex();
  out.GlobalColors = TableBytes(image.GlobalColorMap());
  for (int i = 0; i < image.Images()->Count(); ++i) {
    TGIFSubImage* f = image.Images()->SubImages(i);
    std::vector<peer::Extension> exts;
    for (int e = 0; e < f->Extensions()->Count(); ++e) exts.push_back(AsPeer(f->Extensions()->Extensions(e)));
    if (f->Empty()) {
      out.TrailingExtensions.insert(out.TrailingExtensions.end(), exts.begin(), exts.end());
      continue;
    }
    peer::Frame pf;
    pf.Left = f->Left();
    pf.Top = f->Top();
    pf.Width = f->Width();
    pf.Height = f->Height();
    pf.Interlaced = f->Interlaced();
    pf.LocalColors = TableBytes(f->ColorMap());
    pf.Pixels.assign(f->Data(), f->Data() + f->DataSize());
    pf.Extensions = exts;
    out.Frames.push_back(std::move(pf));
  }
  return out;
}

inline void ExpectSame(const peer::Image& a, const peer::Image& b, bool CompareInterlace = true) {
  EXPECT_EQ(a.Width, b.Width);
  EXPECT_EQ(a.Height, b.Height);
  EXPECT_EQ(a.Background, b.Background);
  EXPECT_EQ(a.GlobalColors, b.GlobalColors);
  ASSERT_EQ(a.Frames.size(), b.Frames.size());
  for (size_t i = 0; i < a.Frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const peer::Frame &x = a.Frames[i], &y = b.Frames[i];
    EXPECT_EQ(x.Left, y.Left);
    EXPECT_EQ(x.Top, y.Top);
    EXPECT_EQ(x.Width, y.Width);
    EXPECT_EQ(x.Height, y.Height);
    if (CompareInterlace) {
      EXPECT_EQ(x.Interlaced, y.Interlaced);
    }
    EXPECT_EQ(x.LocalColors, y.LocalColors);
    EXPECT_TRUE(x.Pixels == y.Pixels);
    EXPECT_EQ(x.Extensions, y.Extensions);
  }
  EXPECT_EQ(a.TrailingExtensions, b.TrailingExtensions);
}

// A frame of random pixels below 2^bits on a global table of 2^bits grays.
inline void MakeRandomImage(TGIFImage& image, int width, int height, int bits, unsigned seed, bool interlaced = false) {
  image.Clear();
  for (int i = 0; i < (1 << bits); ++i) {
    int v = (i * 255) / std::max(1, (1 << bits) - 1);
    image.GlobalColorMap()->Add(static_cast<TColor>(v | (v << 8) | ((255 - v) << 16)));
  }
  auto* frame = new TGIFSubImage(&image);
  frame->SetBoundsRect(0, 0, width, height);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(0, (1 << bits) - 1);
  for (uint64_t i = 0; i < frame->DataSize(); ++i) frame->Data()[i] = static_cast<BYTE>(dist(rng));
  frame->SetInterlaced(interlaced);
  image.Images()->Add(frame);
}

}  // namespace giftest
