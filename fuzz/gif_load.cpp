// Fuzz target: reading a GIF file (TGIFImage::LoadFromStream) and drawing it, as the print
// control does with downloaded pictures, then writing what was read and reading that back.
#include <cstddef>
#include <cstdint>

#include "gif/gif_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  TMemoryStream input;
  if (size > 0) input.WriteBuffer(data, static_cast<int>(size));
  input.SetPosition(0);
  TGIFImage image;
  try {
    image.LoadFromStream(&input);
  } catch (const Exception&) {
    // A refused file must leave the stream where it was.
    if (input.Position() != 0) __builtin_trap();
    return 0;
  }
  // Writing and drawing are exercised on frames of ordinary size only: a 16000 x 16000
  // frame that a small input declares is valid but takes seconds to compress.
  uint64_t pixels = 0;
  for (int k = 0; k < image.Images()->Count(); ++k) pixels += image.Images()->SubImages(k)->DataSize();
  if (pixels > (uint64_t{1} << 22)) return 0;
  // Drawn as a picture is printed (one frame, no painter thread), plainly and dithered.
  if (!image.Empty() && pixels <= (uint64_t{1} << 18) &&
      static_cast<uint64_t>(image.Width()) * static_cast<uint64_t>(image.Height()) <= (uint64_t{1} << 18)) {
    TBitmap target;
    target.SetSize(16, 16);
    for (TGIFDrawOptions flags : {TGIFDrawOptions{DrawTransparent}, TGIFDrawOptions{DrawTransparent | DrawDithered}}) {
      image.PaintFlags = flags;
      try {
        target.Canvas()->StretchDraw(Rect(0, 0, 16, 16), &image);
      } catch (const Exception&) {
        // a drawing that cannot be made fails plainly; the print control reports it
      }
    }
  }
  TMemoryStream output;
  try {
    image.SaveToStream(&output);
  } catch (const Exception&) {
    return 0;  // e.g. pixels outside their colour table, or no frames at all
  }
  output.SetPosition(0);
  TGIFImage again;
  try {
    again.LoadFromStream(&output);
  } catch (const Exception&) {
    __builtin_trap();  // what we wrote must read back
  }
  auto frames_with_pixels = [](TGIFImage& i) {
    int n = 0;
    for (int k = 0; k < i.Images()->Count(); ++k) n += i.Images()->SubImages(k)->Empty() ? 0 : 1;
    return n;
  };
  if (frames_with_pixels(again) != frames_with_pixels(image)) __builtin_trap();
  return 0;
}
