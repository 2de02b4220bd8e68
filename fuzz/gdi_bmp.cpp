// Decodes arbitrary bytes as a BMP file, both into a packed DIB and into a DIB section,
// and writes what decoded back out.
#include <cstdint>

#include "platform/gdi/gdi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KVDIB dib{};
  if (KvBmpDecode(data, size, &dib)) {
    void* out = nullptr;
    SIZE_T out_size = 0;
    if (KvBmpEncode(dib.info, dib.bits, &out, &out_size)) KvGdiFree(out);
    KvDibFree(&dib);
  }
  HPALETTE palette = nullptr;
  if (HBITMAP bitmap = KvBmpLoad(data, size, &palette)) {
    SIZE_T needed = KvBmpSave(bitmap, nullptr, 0);
    (void)needed;
    DeleteObject(bitmap);
  }
  if (palette) DeleteObject(palette);
  return 0;
}
