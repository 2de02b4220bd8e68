// The graphic classes the framework itself registers with TPicture.
#include <mutex>

#include "framework/graphics/graphics.h"
#include "framework/graphics/jpeg.h"
#include "platform/user/clipboard.h"

void RegisterStandardGraphics() {
  static std::once_flag once;
  std::call_once(once, [] {
    TPicture::RegisterFileFormat("bmp", "Bitmaps", "TBitmap", [] { return new TBitmap; });
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", "TJPEGImage", [] { return new TJPEGImage; });
    TPicture::RegisterFileFormat("jpeg", "JPEG Image File", "TJPEGImage", [] { return new TJPEGImage; });
    TPicture::RegisterClipboardFormat(CF_BITMAP, "TBitmap", [] { return new TBitmap; });
  });
}
