// GIF codec throughput against giflib on the same data.
//
//   gif_bench [rounds]      (default 20)
//
// Builds one 1600 x 1200 frame of 256 colours once (smooth gradients with noisy patches,
// so the LZW table fills and clears as with photographic GIFs), then measures
//   decode: TGIFImage::LoadFromStream against DGifSlurp on the same file bytes;
//   encode: TLZWEncoder against giflib's EGifPutLine on the same pixels.
// Prints megapixels per second for both sides and our speed as a ratio of giflib's.
#include <gif_lib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "gif/gif_image.h"

namespace {

constexpr int kWidth = 1600, kHeight = 1200;

std::vector<uint8_t> MakePixels() {
  std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight);
  std::mt19937 rng(42);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      int v = ((x / 7) + (y / 5)) & 0xFF;
      if (((x / 200) + (y / 150)) % 3 == 0) v = (v + static_cast<int>(rng() % 24)) & 0xFF;
      px[static_cast<size_t>(y) * kWidth + x] = static_cast<uint8_t>(v);
    }
  return px;
}

struct Reader {
  const std::vector<uint8_t>* data;
  size_t pos;
};

int ReadFn(GifFileType* gif, GifByteType* buf, int n) {
  auto* r = static_cast<Reader*>(gif->UserData);
  size_t k = std::min<size_t>(static_cast<size_t>(n), r->data->size() - r->pos);
  std::memcpy(buf, r->data->data() + r->pos, k);
  r->pos += k;
  return static_cast<int>(k);
}

int WriteFn(GifFileType* gif, const GifByteType* buf, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), buf, buf + n);
  return n;
}

template <class F>
double Seconds(int rounds, F body) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<uint8_t> GiflibEncode(const std::vector<uint8_t>& px) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteFn, &error);
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i) map->Colors[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i), 128};
  EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
  for (int y = 0; y < kHeight; ++y)
    EGifPutLine(gif, const_cast<GifPixelType*>(px.data() + static_cast<size_t>(y) * kWidth), kWidth);
  GifFreeMapObject(map);
  EGifCloseFile(gif, &error);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const std::vector<uint8_t> px = MakePixels();

  // The file, written once by our writer.
  TGIFImage source;
  for (int i = 0; i < 256; ++i) source.GlobalColorMap()->Add(static_cast<TColor>(i | (255 - i) << 8 | 128 << 16));
  auto* frame = new TGIFSubImage(&source);
  frame->SetBoundsRect(0, 0, kWidth, kHeight);
  std::memcpy(frame->Data(), px.data(), px.size());
  source.Images()->Add(frame);
  TMemoryStream file;
  source.SaveToStream(&file);
  const auto* file_bytes = static_cast<const uint8_t*>(file.Memory());
  const std::vector<uint8_t> bytes(file_bytes, file_bytes + file.Size());

  // Both decoders must agree before they are timed.
  {
    Reader reader{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadFn, &error);
    if (!gif || DGifSlurp(gif) != GIF_OK ||
        std::memcmp(gif->SavedImages[0].RasterBits, px.data(), px.size()) != 0) {
      std::fprintf(stderr, "giflib does not read our file back\n");
      return 1;
    }
    DGifCloseFile(gif, &error);
  }

  const double mpix = static_cast<double>(kWidth) * kHeight * rounds / 1e6;
  double ours_decode = Seconds(rounds, [&] {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
    s.SetPosition(0);
    TGIFImage image;
    image.LoadFromStream(&s);
  });
  double peer_decode = Seconds(rounds, [&] {
    Reader reader{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadFn, &error);
    DGifSlurp(gif);
    DGifCloseFile(gif, &error);
  });
  size_t ours_size = 0, peer_size = 0;
  double ours_encode = Seconds(rounds, [&] {
    TMemoryStream s;
    TLZWEncoder encoder;
    encoder.Encode(&s, 8, 256, kWidth, kHeight, false, px.data());
    ours_size = static_cast<size_t>(s.Size());
  });
  double peer_encode = Seconds(rounds, [&] { peer_size = GiflibEncode(px).size(); });

  std::printf("GIF codec, %d x %d, 256 colours, %zu-byte file, %d rounds\n", kWidth, kHeight, bytes.size(), rounds);
  std::printf("decode  ours %8.1f Mpixel/s   giflib %8.1f Mpixel/s   ratio %.2f\n", mpix / ours_decode,
              mpix / peer_decode, peer_decode / ours_decode);
  std::printf("encode  ours %8.1f Mpixel/s   giflib %8.1f Mpixel/s   ratio %.2f\n", mpix / ours_encode,
              mpix / peer_encode, peer_encode / ours_encode);
  std::printf("encoded size: ours %zu bytes of data, giflib %zu bytes of file\n", ours_size, peer_size);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory %ld KB\n", usage.ru_maxrss);
  return 0;
}
