// Reads arbitrary bytes as an ICO file at a few sizes, and as one icon image, and draws
// what was made.
#include <cstdint>
#include <initializer_list>

#include "platform/gdi/gdi.h"
#include "platform/user/user.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP surface = CreateBitmap(32, 32, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, surface);
  for (int side : {0, 16, 48}) {
    if (HICON icon = KvIconFromIcoFile(data, size, side, side)) {
      DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
      DestroyIcon(icon);
    }
  }
  if (HICON icon = CreateIconFromResourceEx(const_cast<LPBYTE>(data), static_cast<DWORD>(size), TRUE, 0x00030000, 16,
                                            16, 0)) {
    DestroyIcon(icon);
  }
  SelectObject(dc, old);
  DeleteObject(surface);
  DeleteDC(dc);
  return 0;
}
