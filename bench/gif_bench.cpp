// GIF codec throughput against giflib on the same data.
//
//   gif_bench [rounds]      (default 20)
//
// Two 1600 x 1200 frames of 256 colours, each written once by our writer:
//   picture: smooth gradients with noisy patches, so the LZW table fills and clears as
//            with photographic GIFs;
//   random:  random 8-bit indices, so the codes are 12 bits wide nearly all the way and
//            the encoder's table clears are forced (the decoder's worst case).
// For each it measures
//   decode: TGIFImage::LoadFromStream against DGifSlurp on the same file bytes;
//   encode: TLZWEncoder against giflib's EGifPutLine on the same pixels.
// Rounds of the two sides alternate and the fastest round of each counts, so that other
// load on the machine disturbs the comparison as little as possible. Prints megapixels
// per second for both sides and our speed as a ratio of giflib's (above 1: we are faster).
#include <gif_lib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "gif/gif_image.h"

namespace {

constexpr int kWidth = 1600, kHeight = 1200;

std::vector<uint8_t> PicturePixels() {
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

std::vector<uint8_t> RandomPixels() {
  std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight);
  std::mt19937 rng(7);
  for (auto& p : px) p = static_cast<uint8_t>(rng() >> 24);
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

double SecondsOf(auto body) {
  auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The fastest round of each side, the two sides taking turns.
std::pair<double, double> Race(int rounds, auto ours, auto peer) {
  double best_ours = 1e30, best_peer = 1e30;
  for (int i = 0; i < rounds; ++i) {
    best_ours = std::min(best_ours, SecondsOf(ours));
    best_peer = std::min(best_peer, SecondsOf(peer));
  }
  return {best_ours, best_peer};
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

// The file our writer makes of the pixels.
std::vector<uint8_t> OurFile(const std::vector<uint8_t>& px) {
  TGIFImage source;
  for (int i = 0; i < 256; ++i) source.GlobalColorMap()->Add(static_cast<TColor>(i | (255 - i) << 8 | 128 << 16));
  auto* frame = new TGIFSubImage(&source);
  frame->SetBoundsRect(0, 0, kWidth, kHeight);
  std::memcpy(frame->Data(), px.data(), px.size());
  source.Images()->Add(frame);
  TMemoryStream file;
  source.SaveToStream(&file);
  const auto* p = static_cast<const uint8_t*>(file.Memory());
  return std::vector<uint8_t>(p, p + file.Size());
}

// Both decoders must give back the pixels before they are timed.
bool BothRead(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& px) {
  Reader reader{&bytes, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFn, &error);
  bool ok = gif && DGifSlurp(gif) == GIF_OK && std::memcmp(gif->SavedImages[0].RasterBits, px.data(), px.size()) == 0;
  if (gif) DGifCloseFile(gif, &error);
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  s.SetPosition(0);
  TGIFImage image;
  image.LoadFromStream(&s);
  return ok && image.Images()->Count() == 1 &&
         std::memcmp(image.Images()->SubImages(0)->Data(), px.data(), px.size()) == 0;
}

bool Run(const char* name, const std::vector<uint8_t>& px, int rounds) {
  const std::vector<uint8_t> bytes = OurFile(px);
  if (!BothRead(bytes, px)) {
    std::fprintf(stderr, "%s: the decoders do not read our file back\n", name);
    return false;
  }
  auto [ours_decode, peer_decode] = Race(
      rounds,
      [&] {
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
        s.SetPosition(0);
        TGIFImage image;
        image.LoadFromStream(&s);
      },
      [&] {
        Reader reader{&bytes, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, ReadFn, &error);
        DGifSlurp(gif);
        DGifCloseFile(gif, &error);
      });
  size_t ours_size = 0, peer_size = 0;
  auto [ours_encode, peer_encode] = Race(
      rounds,
      [&] {
        TMemoryStream s;
        TLZWEncoder encoder;
        encoder.Encode(&s, 8, 256, kWidth, kHeight, false, px.data());
        ours_size = static_cast<size_t>(s.Size());
      },
      [&] { peer_size = GiflibEncode(px).size(); });

  const double mpix = static_cast<double>(kWidth) * kHeight / 1e6;
  std::printf("%s: %zu-byte file\n", name, bytes.size());
  std::printf("  decode  ours %8.1f Mpixel/s   giflib %8.1f Mpixel/s   ratio %.2f\n", mpix / ours_decode,
              mpix / peer_decode, peer_decode / ours_decode);
  std::printf("  encode  ours %8.1f Mpixel/s   giflib %8.1f Mpixel/s   ratio %.2f\n", mpix / ours_encode,
              mpix / peer_encode, peer_encode / ours_encode);
  std::printf("  encoded size: ours %zu bytes of data, giflib %zu bytes of file\n", ours_size, peer_size);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  std::printf("GIF codec, %d x %d, 256 colours, fastest of %d rounds\n", kWidth, kHeight, rounds);
  if (!Run("picture", PicturePixels(), rounds)) return 1;
  if (!Run("random", RandomPixels(), rounds)) return 1;
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory %ld KB\n", usage.ru_maxrss);
  return 0;
}
