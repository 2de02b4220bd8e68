// A second GIF decoder and encoder (giflib, through its public API) to cross-check ours.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace peer {

struct Extension {
  int Label = 0;
  std::vector<std::vector<uint8_t>> Blocks;  // data sub-blocks after the label
  bool operator==(const Extension&) const = default;
};

struct Frame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Interlaced = false;
  std::vector<uint8_t> LocalColors;  // RGB triplets as in the table (count x 3)
  std::vector<uint8_t> Pixels;       // row order
  std::vector<Extension> Extensions;
};

struct Image {
  int Width = 0, Height = 0, Background = 0;
  std::vector<uint8_t> GlobalColors;
  std::vector<Frame> Frames;
  std::vector<Extension> TrailingExtensions;
};

inline std::vector<uint8_t> Colors(const ColorMapObject* map) {
  std::vector<uint8_t> out;
  if (!map) return out;
  for (int i = 0; i < map->ColorCount; ++i) {
    out.push_back(map->Colors[i].Red);
    out.push_back(map->Colors[i].Green);
    out.push_back(map->Colors[i].Blue);
  }
  return out;
}

inline std::vector<Extension> Extensions(int count, const ExtensionBlock* blocks) {
  std::vector<Extension> out;
  for (int i = 0; i < count; ++i) {
    const ExtensionBlock& b = blocks[i];
    std::vector<uint8_t> data(b.Bytes, b.Bytes + b.ByteCount);
    if (b.Function == CONTINUE_EXT_FUNC_CODE && !out.empty()) {
      out.back().Blocks.push_back(data);
    } else {
      out.push_back({b.Function, {data}});
    }
  }
  return out;
}

struct Reader {
  const std::vector<uint8_t>* data;
  size_t pos = 0;
};

inline int ReadFn(GifFileType* gif, GifByteType* buf, int n) {
  auto* r = static_cast<Reader*>(gif->UserData);
  size_t left = r->data->size() - r->pos;
  size_t k = std::min<size_t>(left, static_cast<size_t>(n));
  std::memcpy(buf, r->data->data() + r->pos, k);
  r->pos += k;
  return static_cast<int>(k);
}

// Decodes a whole file; throws on a giflib error.
inline Image Decode(const std::vector<uint8_t>& bytes) {
  Reader reader{&bytes};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFn, &error);
  if (!gif) throw std::runtime_error("DGifOpen failed: " + std::to_string(error));
  if (DGifSlurp(gif) != GIF_OK) {
    int e = gif->Error;
    DGifCloseFile(gif, &error);
    throw std::runtime_error("DGifSlurp failed: " + std::to_string(e));
  }
  Image image;
  image.Width = gif->SWidth;
  image.Height = gif->SHeight;
  image.Background = gif->SBackGroundColor;
  image.GlobalColors = Colors(gif->SColorMap);
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& s = gif->SavedImages[i];
    Frame f;
    f.Left = s.ImageDesc.Left;
    f.Top = s.ImageDesc.Top;
    f.Width = s.ImageDesc.Width;
    f.Height = s.ImageDesc.Height;
    f.Interlaced = s.ImageDesc.Interlace;
    f.LocalColors = Colors(s.ImageDesc.ColorMap);
    f.Pixels.assign(s.RasterBits, s.RasterBits + static_cast<size_t>(f.Width) * f.Height);
    f.Extensions = Extensions(s.ExtensionBlockCount, s.ExtensionBlocks);
    image.Frames.push_back(std::move(f));
  }
  image.TrailingExtensions = Extensions(gif->ExtensionBlockCount, gif->ExtensionBlocks);
  DGifCloseFile(gif, &error);
  return image;
}

// Reads a whole file record by record up to its trailer (DGifSlurp refuses a file that
// holds no image at all); throws on a giflib error. Returns the count of extensions.
inline int WalkExtensionsOnly(const std::vector<uint8_t>& bytes) {
  Reader reader{&bytes};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFn, &error);
  if (!gif) throw std::runtime_error("DGifOpen failed: " + std::to_string(error));
  int extensions = 0;
  auto fail = [&](const char* what) {
    int e = gif->Error;
    DGifCloseFile(gif, &error);
    throw std::runtime_error(std::string(what) + " failed: " + std::to_string(e));
  };
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) != GIF_OK) fail("DGifGetRecordType");
    if (type == TERMINATE_RECORD_TYPE) break;
    if (type != EXTENSION_RECORD_TYPE) fail("a record other than an extension");
    int label = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &label, &block) != GIF_OK) fail("DGifGetExtension");
    while (block)
      if (DGifGetExtensionNext(gif, &block) != GIF_OK) fail("DGifGetExtensionNext");
    ++extensions;
  }
  DGifCloseFile(gif, &error);
  return extensions;
}

inline int WriteFn(GifFileType* gif, const GifByteType* buf, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), buf, buf + n);
  return n;
}

// One frame at (0, 0) covering the screen, with a global table of 2^bits entries.
inline std::vector<uint8_t> Encode(int width, int height, int bits, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteFn, &error);
  if (!gif) throw std::runtime_error("EGifOpen failed");
  ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
  for (int i = 0; i < (1 << bits); ++i) map->Colors[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(i), 0};
  EGifPutScreenDesc(gif, width, height, bits, 0, map);
  EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
  for (int y = 0; y < height; ++y)
    EGifPutLine(gif, const_cast<GifPixelType*>(pixels.data() + static_cast<size_t>(y) * width), width);
  GifFreeMapObject(map);
  EGifCloseFile(gif, &error);
  return out;
}

}  // namespace peer
